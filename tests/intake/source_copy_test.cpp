// Source copy cases: IDE options marker and version, file-name part, reading and deleting the copy.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <functional>

#include "intake/source_copy.h"
#include "chunked_source.h"

// The suite is linked with --wrap=read: the intake's read(2) calls come here first, so that a test
// can step in between the intake and the copy, as another process or a failing disk could.
extern "C" ssize_t __real_read(int descriptor, void* buffer, size_t size);

namespace {
std::function<ssize_t(int descriptor, void* buffer, size_t size)> readHook;
}  // namespace

extern "C" ssize_t __wrap_read(int descriptor, void* buffer, size_t size) {
  return readHook ? readHook(descriptor, buffer, size) : __real_read(descriptor, buffer, size);
}

namespace folivane {
namespace {

QString Text(QStringView text) { return text.toString(); }

struct MarkerCase {
  const char* name;
  QByteArray bytes;
  QStringList lines;
  QString ideVersion;
};

void PrintTo(const MarkerCase& c, std::ostream* out) { *out << c.name; }

class MarkerCases : public ::testing::TestWithParam<MarkerCase> {};

TEST_P(MarkerCases, LinesBeforeTheOptionsBlockAndTheLastVersion) {
  ChunkedSource source(GetParam().bytes);
  SourceText text;
  text.lines = {"stale"};
  text.ideVersion = "stale";
  ReadSourceLines(source, text);
  EXPECT_EQ(text.lines, GetParam().lines);
  EXPECT_EQ(text.ideVersion, GetParam().ideVersion);
}

const MarkerCase kMarkers[] = {
    {"NoBlock", "a\nb\n", {"a", "b"}, ""},
    {"Typical",
     "x\r\n; IDE Options = PureBasic 6.10 LTS (Windows - x64)\r\n; Folding = -\r\n",
     {"x"},
     " PureBasic 6.10 LTS (Windows - x64)"},
    {"VersionEndsAtEqualsSign", "x\n; IDE Options = v6 = more = rest\n", {"x"}, " v6 "},
    {"MarkerAlone", "x\n; IDE Options =", {"x"}, ""},
    {"OnlyTheBlock", "; IDE Options = V\n; Cursor = 1\n", {}, " V"},
    {"LastMarkerDecides", "a\n; IDE Options = one\nb\n; IDE Options = two\nc\n", {"a"}, " two"},
    {"MarkerInTheMiddleCutsTheRest", "a\n\n; IDE Options =X\nb\n", {"a", ""}, "X"},
    {"OtherLetterCase", "; ide options = v\n", {"; ide options = v"}, ""},
    {"LeadingBlank", " ; IDE Options = v\n", {" ; IDE Options = v"}, ""},
    {"LeadingTab", "\t; IDE Options = v\n", {"\t; IDE Options = v"}, ""},
    {"TooShort", "; IDE Options \n", {"; IDE Options "}, ""},
    {"NoBlankBeforeEquals", "; IDE Options= v\n", {"; IDE Options= v"}, ""},
    {"ByteOrderMarkHidesMarker", "\xEF\xBB\xBF; IDE Options = v\nb\n", {Text(u"\uFEFF; IDE Options = v"), "b"}, ""},
};
INSTANTIATE_TEST_SUITE_P(Marker, MarkerCases, ::testing::ValuesIn(kMarkers),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FileNamePart, Cases) {
  const struct {
    QString path;
    QString name;
  } cases[] = {
      {R"(C:\Work\Tool.pb)", "Tool.pb"},
      {"src/main.pbi", "main.pbi"},
      {R"(C:\mixed/dir\last.pb)", "last.pb"},
      {"/a\\b/c.pb", "c.pb"},
      {"plain.pb", "plain.pb"},
      {"\"quoted.pb\"", "quoted.pb"},
      {"\"dir\\in quotes.pb\"", "in quotes.pb"},
      {"name\"tail", "name"},
      {R"(C:\dir\)", ""},
      {"dir/", ""},
      {"", ""},
      {"\"", ""},
      {"\"\"", ""},
      {"\"a\"b", "a"},
  };
  for (const auto& c : cases) EXPECT_EQ(FileNamePart(c.path), c.name) << c.path.toStdString();
}

bool Exists(const QString& path) {
  struct stat entry {};
  return ::lstat(QFile::encodeName(path).constData(), &entry) == 0;
}

// The intake on paths given as text, as the tests name their files; a read hook lasts for one call.
bool ReadCopy(const QString& copy, const QString& source, SourceText& out, const CopyReading& how = {}) {
  const bool read = ReadSourceCopy(QFile::encodeName(copy), QFile::encodeName(source), out, how);
  readHook = nullptr;
  return read;
}

int OpenDescriptorCount() {
  return static_cast<int>(QDir("/proc/self/fd").entryList(QDir::AllEntries | QDir::System).size());
}

class SourceCopy : public ::testing::Test {
 protected:
  QString PathOf(const QString& name) const { return dir_.filePath(name); }
  QString Write(const QString& name, const QByteArray& bytes) const {
    QFile file(PathOf(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return file.fileName();
  }
  QString Link(const QString& name, const QString& target) const {
    const QByteArray link = QFile::encodeName(PathOf(name));
    EXPECT_EQ(::symlink(QFile::encodeName(target).constData(), link.constData()), 0);
    return PathOf(name);
  }

  QTemporaryDir dir_;
  SourceText text_;
};

TEST_F(SourceCopy, ReadsClosesAndDeletes) {
  const QString copy = Write("copy.pb", "a\r\nb\n; IDE Options = v\n");
  const int descriptors = OpenDescriptorCount();
  EXPECT_TRUE(ReadCopy(copy, "/elsewhere/Main.pb", text_));
  EXPECT_EQ(text_.lines, QStringList({"a", "b"}));
  EXPECT_EQ(text_.ideVersion, " v");
  EXPECT_FALSE(Exists(copy));
  EXPECT_EQ(OpenDescriptorCount(), descriptors);
}

TEST_F(SourceCopy, EmptyCopyIsReadAndDeleted) {
  const QString copy = Write("copy.pb", "");
  EXPECT_TRUE(ReadCopy(copy, "", text_));
  EXPECT_TRUE(text_.lines.isEmpty());
  EXPECT_FALSE(Exists(copy));
}

TEST_F(SourceCopy, KeepDisposalLeavesTheFile) {
  const QString copy = Write("user.pb", "a\n");
  EXPECT_TRUE(ReadCopy(copy, "", text_, {CopyDisposal::Keep, {}}));
  EXPECT_EQ(text_.lines, QStringList({"a"}));
  EXPECT_TRUE(Exists(copy));
}

TEST_F(SourceCopy, FailedReadKeepsLinesSoFarAndStillClosesAndDeletes) {
  const QString copy = Write("copy.pb", "one\ntwo\nthree\n");
  const int descriptors = OpenDescriptorCount();
  ssize_t left = 6;
  readHook = [&](int descriptor, void* buffer, size_t size) -> ssize_t {
    if (left <= 0) {
      errno = EIO;
      return -1;
    }
    const ssize_t count = __real_read(descriptor, buffer, std::min<size_t>(size, size_t(left)));
    left -= count;
    return count;
  };
  EXPECT_TRUE(ReadCopy(copy, "", text_));
  EXPECT_EQ(text_.lines, QStringList({"one", "tw"}));
  EXPECT_FALSE(Exists(copy));
  EXPECT_EQ(OpenDescriptorCount(), descriptors);
}

TEST_F(SourceCopy, PathsWithoutFileNameAreLeftAlone) {
  const QString backslashName = Write("copy\\", "a\n");  // a legal name on this platform
  for (const QString& path : {QString(), dir_.path() + "/", backslashName}) {
    text_.lines = {"stale"};
    EXPECT_FALSE(ReadCopy(path, "", text_)) << path.toStdString();
    EXPECT_TRUE(text_.lines.isEmpty());
  }
  EXPECT_TRUE(Exists(dir_.path()));
  EXPECT_TRUE(Exists(backslashName));
}

TEST_F(SourceCopy, MissingCopyReadsNothing) {
  EXPECT_FALSE(ReadCopy(PathOf("absent.pb"), "", text_));
  EXPECT_TRUE(text_.lines.isEmpty());
}

TEST_F(SourceCopy, PathWithNulNamesNoOtherFile) {
  const QString prefix = Write("copy", "a\n");
  EXPECT_FALSE(ReadCopy(prefix + QChar(u'\0') + "tail", "", text_));
  EXPECT_TRUE(Exists(prefix));
}

TEST_F(SourceCopy, CopyLockedByAnotherIsNeitherReadNorDeleted) {
  const QString copy = Write("copy.pb", "a\n");
  const int holder = ::open(QFile::encodeName(copy).constData(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
  EXPECT_FALSE(ReadCopy(copy, "", text_));
  EXPECT_TRUE(text_.lines.isEmpty());
  EXPECT_TRUE(Exists(copy));
  ::close(holder);
}

TEST_F(SourceCopy, UnreadableCopyIsStillDeleted) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  const QString copy = Write("copy.pb", "a\n");
  ASSERT_EQ(::chmod(QFile::encodeName(copy).constData(), 0), 0);
  EXPECT_FALSE(ReadCopy(copy, "", text_));
  EXPECT_FALSE(Exists(copy));
}

// Things that are no regular file: never read (a FIFO must not block) and never deleted.
TEST_F(SourceCopy, NonRegularFilesStay) {
  const QByteArray fifo = QFile::encodeName(PathOf("fifo"));
  ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
  ASSERT_TRUE(QDir(dir_.path()).mkdir("directory"));
  const QByteArray socketPath = QFile::encodeName(PathOf("socket"));
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(socketPath.size(), static_cast<qsizetype>(sizeof address.sun_path));
  std::memcpy(address.sun_path, socketPath.constData(), static_cast<size_t>(socketPath.size()));
  const int socketDescriptor = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_EQ(::bind(socketDescriptor, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ::close(socketDescriptor);
  QStringList paths = {PathOf("fifo"), PathOf("directory"), PathOf("socket")};
  const QByteArray device = QFile::encodeName(PathOf("zero"));
  if (::mknod(device.constData(), S_IFCHR | 0600, makedev(1, 5)) == 0) paths << PathOf("zero");
  else ADD_FAILURE() << "no device node made; the device case is untested";

  const int descriptors = OpenDescriptorCount();
  for (const QString& path : paths) {
    EXPECT_FALSE(ReadCopy(path, "", text_)) << path.toStdString();
    EXPECT_TRUE(text_.lines.isEmpty());
    EXPECT_TRUE(Exists(path)) << path.toStdString();
  }
  EXPECT_EQ(OpenDescriptorCount(), descriptors);
}

TEST_F(SourceCopy, SymbolicLinkIsReadThroughOnlyToARegularFileAndOnlyTheLinkIsDeleted) {
  const QString target = Write("target.pb", "a\n");
  const QString link = Link("link.pb", target);
  EXPECT_TRUE(ReadCopy(link, "", text_));
  EXPECT_EQ(text_.lines, QStringList({"a"}));
  EXPECT_FALSE(Exists(link));
  EXPECT_TRUE(Exists(target));

  const QByteArray fifo = QFile::encodeName(PathOf("fifo"));
  ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
  for (const QString& leadsTo : {PathOf("fifo"), dir_.path(), QString("/dev/zero"), PathOf("absent")}) {
    const QString other = Link("other", leadsTo);
    EXPECT_FALSE(ReadCopy(other, "", text_)) << leadsTo.toStdString();
    EXPECT_TRUE(text_.lines.isEmpty());
    EXPECT_FALSE(Exists(other));
  }
  EXPECT_TRUE(Exists(PathOf("fifo")));
  EXPECT_TRUE(Exists("/dev/zero"));
}

TEST_F(SourceCopy, CopyThatIsTheSourceItselfStays) {
  const QString source = Write("Main.pb", "a\n");
  const QString hardLink = PathOf("hard.pb");
  ASSERT_EQ(::link(QFile::encodeName(source).constData(), QFile::encodeName(hardLink).constData()), 0);
  const QString copyLink = Link("copy-link.pb", source);
  const QString sourceLink = Link("source-link.pb", source);
  const struct {
    QString copy, source;
  } cases[] = {{source, source}, {hardLink, source}, {copyLink, source}, {source, sourceLink}};
  for (const auto& c : cases) {
    EXPECT_TRUE(ReadCopy(c.copy, c.source, text_)) << c.copy.toStdString();
    EXPECT_EQ(text_.lines, QStringList({"a"}));
    EXPECT_TRUE(Exists(c.copy)) << c.copy.toStdString();
  }
  EXPECT_TRUE(Exists(source));
}

// Runs `action` once, at the first read of the copy, as another process could at any moment.
void ActingDuringTheRead(std::function<void()> action) {
  readHook = [action = std::move(action)](int descriptor, void* buffer, size_t size) mutable {
    if (action) std::exchange(action, nullptr)();
    return __real_read(descriptor, buffer, size);
  };
}

// A file put in the copy's place while it is read (an editor saving the source over it, another
// file renamed onto it, one held locked) is not the copy and is never deleted.
TEST_F(SourceCopy, FileRenamedOntoTheCopyDuringTheReadStays) {
  const struct {
    const char* name;
    bool sameAsSource;
    bool locked;
  } cases[] = {
      {"editor saves the source", true, false}, {"another file", false, false}, {"a locked file", false, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QString copy = Write("Main.pb", "old\n");
    const QString saved = Write("Main.pb.new", "new\n");
    const int holder = c.locked ? ::open(QFile::encodeName(saved).constData(), O_RDONLY | O_CLOEXEC) : -1;
    if (c.locked) {
      ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    }
    ActingDuringTheRead(
        [&] { ASSERT_TRUE(QFile::rename(saved, copy) || (QFile::remove(copy) && QFile::rename(saved, copy))); });
    EXPECT_TRUE(ReadCopy(copy, c.sameAsSource ? copy : PathOf("elsewhere.pb"), text_));
    EXPECT_EQ(text_.lines, QStringList({"old"}));
    QFile left(copy);
    ASSERT_TRUE(left.open(QIODevice::ReadOnly));
    EXPECT_EQ(left.readAll(), "new\n");
    if (holder >= 0) ::close(holder);
    QFile::remove(copy);
  }
}

// A copy is read no further than its size when it was opened, and never beyond the intake's
// bounds: a file that keeps growing, or reads on past its size of 0, ends.
TEST_F(SourceCopy, ReadingEndsAtTheSizeWhenOpenedAndAtTheBounds) {
  const QString copy = Write("copy.pb", "one\ntwo\n");
  ActingDuringTheRead([&] {
    QFile grow(copy);
    ASSERT_TRUE(grow.open(QIODevice::Append));
    grow.write(QByteArray(1 << 20, 'x'));
  });
  EXPECT_TRUE(ReadCopy(copy, "", text_));
  EXPECT_EQ(text_.lines, QStringList({"one", "two"}));
  EXPECT_TRUE(text_.cutShort);

  EXPECT_TRUE(ReadCopy("/proc/self/pagemap", "", text_, {CopyDisposal::Keep, {}}));
  EXPECT_TRUE(text_.lines.isEmpty());

  const QByteArray lines = QByteArray("line\n").repeated(10);
  for (const IntakeOptions& bounds :
       {IntakeOptions{10, kMaxCopyLines, "auto"}, IntakeOptions{kMaxCopyBytes, 2, "auto"}}) {
    ChunkedSource source(lines);
    ReadSourceLines(source, text_, bounds);
    EXPECT_EQ(text_.lines, QStringList({"line", "line"}));
    EXPECT_TRUE(text_.cutShort);
  }
  ChunkedSource whole(lines);
  ReadSourceLines(whole, text_, IntakeOptions{50, 10, "auto"});
  EXPECT_EQ(text_.lines.size(), 10);
  EXPECT_FALSE(text_.cutShort);
}

// A file that a person named is read beside other readers (two folivane-pdf runs of one source
// in parallel), but not while folivane holds it as the IDE's copy.
TEST_F(SourceCopy, NamedFilesAreReadBesideOtherReaders) {
  const QByteArray path = QFile::encodeName(Write("a.pb", "Debug 1\n"));
  const int other = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(::flock(other, LOCK_SH), 0);
  EXPECT_EQ(ReadSourceFile(path, text_), QString());
  EXPECT_EQ(text_.lines, QStringList({"Debug 1"}));
  ASSERT_EQ(::flock(other, LOCK_EX), 0);
  EXPECT_EQ(ReadSourceFile(path, text_), u"another process holds it locked"_qs);
  ::close(other);
}

// A pipe is read to its end, or to the bounds, which are those of a file.
TEST_F(SourceCopy, StreamsAreReadWithinTheBounds) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  ASSERT_EQ(::write(ends[1], "line\n line\n line\n", 18), 18);
  ::close(ends[1]);
  const QByteArray path = "/proc/self/fd/" + QByteArray::number(ends[0]);
  EXPECT_EQ(ReadSourceFile(path, text_, IntakeOptions{kMaxCopyBytes, 2, "auto"}), QString());
  EXPECT_EQ(text_.lines, QStringList({"line", " line"}));
  EXPECT_TRUE(text_.cutShort);
  ::close(ends[0]);
  ASSERT_EQ(::pipe(ends), 0);
  ASSERT_EQ(::write(ends[1], "line\n line\n", 12), 12);
  ::close(ends[1]);
  EXPECT_EQ(ReadSourceFile("/proc/self/fd/" + QByteArray::number(ends[0]), text_, IntakeOptions{7, 10, "auto"}),
            QString());
  EXPECT_EQ(text_.lines, QStringList({"line", " l"}));
  EXPECT_TRUE(text_.cutShort);
  ::close(ends[0]);
}

}  // namespace
}  // namespace folivane
