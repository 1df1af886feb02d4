// Fault tests of the two programs run as processes: hostile sources, huge parameters, odd paths.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

constexpr int kCrashedOrHung = -1;

// A real executable of the system, as if the IDE had handed over the wrong file.
QByteArray Executable() {
  QFile file(QStringLiteral("/bin/true"));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray(40000, '\x7f');
}

class ProgramFaults : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(home_.isValid()); }

  // The exit code, or kCrashedOrHung for a crash or a run that did not end within 60 seconds.
  // Runs with a private home and settings folder and without a display.
  int Run(const QString& program, const QStringList& arguments) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) environment.remove(name);
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("HOME", home_.path());
    environment.insert("XDG_CONFIG_HOME", home_.path() + "/.config");
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(home_.path());
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    if (!process.waitForFinished(60000)) {
      process.kill();
      process.waitForFinished();
      return kCrashedOrHung;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : kCrashedOrHung;
  }

  QString Write(const QString& name, const QByteArray& bytes) {
    const QString path = home_.filePath(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
    return path;
  }

  static bool IsPdf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(5) == "%PDF-" && file.size() > 1000;
  }

  // Runs a bash command line in the private home, with PDF and SOURCE naming the programs' paths.
  int Shell(const QString& commandLine) {
    return Run(QStringLiteral("/bin/bash"), {"-c", "PDF='" FOLIVANE_PDF_EXECUTABLE "'; IDE='" FOLIVANE_EXECUTABLE
                                                 "'; " + commandLine});
  }

  static QByteArray Contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  QStringList HiddenFiles() const {
    return QDir(home_.path()).entryList(QDir::Hidden | QDir::Files).filter(QRegularExpression("^\\."));
  }

  QTemporaryDir home_;
};

// A folder and file name with blanks, double quotes and letters beyond ASCII.
const QString kOddFolder = QStringLiteral("my \"quoted\" sources \u00e4\u00f6\u00fc \u6587\u4ef6");
const QString kOddName = QStringLiteral("Gr\u00fcn \"Haus\" \u0416 \U0001F331.pb");

struct SourceCase {
  const char* name;
  QByteArray bytes;
  int pdfExit;  // folivane-pdf: 0 printed, 1 nothing to print
};

const SourceCase kSources[] = {
    {"empty", QByteArray(), 1},
    {"only NULs", QByteArray(3000, '\0'), 0},
    {"only the options block", "; IDE Options = PureBasic 6.10\n", 1},
    {"executable", Executable(), 0},
    {"one long line", QByteArray(100000, 'W'), 0},
    {"bytes 80 to FF", [] {
       QByteArray bytes;
       for (int round = 0; round < 50; ++round)
         for (int byte = 0x80; byte <= 0xFF; ++byte) bytes.append(char(byte));
       return bytes;
     }(), 0},
};

TEST_F(ProgramFaults, PdfRendererEndsWithADefinedCodeOnHostileSources) {
  for (const SourceCase& c : kSources) {
    SCOPED_TRACE(c.name);
    const QString source = Write(kOddFolder + "/" + kOddName, c.bytes);
    const QString output = home_.filePath(kOddFolder + "/out \"" + QString::fromUtf8(c.name) + "\" \u00e9.pdf");
    QFile::remove(output);
    EXPECT_EQ(Run(FOLIVANE_PDF_EXECUTABLE, {source, output, "--clock", "2027-03-01T14:05:09"}), c.pdfExit);
    if (c.pdfExit == 0) {
      EXPECT_TRUE(IsPdf(output));
    }
    EXPECT_TRUE(QFile::exists(source));
  }
}

TEST_F(ProgramFaults, PdfRendererTakesHugeParameters) {
  const QString source = Write("Greenhouse.pb", "Debug 1\nDebug 2\n; IDE Options = PureBasic 6.10\n");
  const QString output = home_.filePath("out.pdf");
  const QString huge(10000, u'7');
  const struct {
    const char* name;
    QStringList arguments;
    int exit;
  } cases[] = {
      {"selection", {"--selection", huge + "x1x" + huge + "x1", source, output}, 0},
      {"selection of letters", {"--selection", QString(10000, u'x'), source, output}, 0},
      {"source name", {"--source-name", QString(10000, u'\u00e9') + ".pb", source, output}, 0},
      {"source name of one folder", {"--source-name", QString(10000, u'/'), source, output}, 0},
      {"source path", {home_.filePath(QString(10000, u's')), output}, 1},
      {"output path", {source, home_.filePath(QString(10000, u'o'))}, 1},
      {"option", {"--" + QString(10000, u'o'), source, output}, 2},
      {"clock", {"--clock", huge, source, output}, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QFile::remove(output);
    EXPECT_EQ(Run(FOLIVANE_PDF_EXECUTABLE, c.arguments), c.exit);
    if (c.exit == 0) {
      EXPECT_TRUE(IsPdf(output));
    }
  }
}

// OUTPUT that is SOURCE, by its name or through a link, is refused and SOURCE keeps its bytes.
TEST_F(ProgramFaults, PdfRendererNeverWritesOverItsSource) {
  const QByteArray bytes = "Debug 1\nDebug 2\n";
  const QString source = Write("a.pb", bytes);
  QFile::link(source, home_.filePath("link.pdf"));
  QFile::copy(source, home_.filePath("copy.pb"));
  ASSERT_EQ(Shell("ln a.pb hard.pdf"), 0);
  for (const char* output : {"a.pb", "hard.pdf", "link.pdf", "./a.pb"}) {
    SCOPED_TRACE(output);
    EXPECT_EQ(Run(FOLIVANE_PDF_EXECUTABLE, {source, home_.filePath(output)}), 1);
    EXPECT_EQ(Contents(source), bytes);
  }
  // A link to another file is written through: the file it leads to gets the PDF.
  QFile::link(home_.filePath("copy.pb"), home_.filePath("other.pdf"));
  EXPECT_EQ(Run(FOLIVANE_PDF_EXECUTABLE, {source, home_.filePath("other.pdf")}), 0);
  EXPECT_TRUE(IsPdf(home_.filePath("copy.pb")));
  EXPECT_TRUE(QFileInfo(home_.filePath("other.pdf")).isSymLink());
}

// A write that fails (a file size limit stands in for a full disk) or a signal in the middle of
// a render leaves the old OUTPUT as it was and no temporary file behind.
TEST_F(ProgramFaults, PdfRendererReplacesOutputOnlyWithAWholePdf) {
  Write("a.pb", QByteArray("Debug 1\n").repeated(40000));
  const QByteArray old = "%PDF-1.4 an old, good document";
  Write("out.pdf", old);
  EXPECT_EQ(Shell("ulimit -f 40; exec \"$PDF\" a.pb out.pdf"), 1);
  EXPECT_EQ(Contents(home_.filePath("out.pdf")), old);
  // Long enough to be still rendering when the signal comes.
  Write("b.pb", QByteArray("Debug 1\n").repeated(1000000));
  EXPECT_EQ(Shell("\"$PDF\" b.pb out.pdf & sleep 0.3; kill -TERM $!; wait $!; test $? -eq 143"), 0);
  const QByteArray after = Contents(home_.filePath("out.pdf"));
  EXPECT_TRUE(after == old || IsPdf(home_.filePath("out.pdf")));
  EXPECT_EQ(HiddenFiles(), QStringList());
}

// Outputs that are not regular files are opened once and get the whole PDF, with exit 0.
TEST_F(ProgramFaults, PdfRendererWritesStreamsWhole) {
  Write("a.pb", "Debug 1\n");
  const struct {
    const char* name;
    const char* commandLine;
  } cases[] = {
      {"standard output", "set -o pipefail; \"$PDF\" a.pb - | cat > got.pdf"},
      {"FIFO", "mkfifo f.pdf && { cat f.pdf > got.pdf & } && timeout 30 \"$PDF\" a.pb f.pdf; s=$?; wait; exit $s"},
      {"/dev/stdout", "set -o pipefail; \"$PDF\" a.pb /dev/stdout | cat > got.pdf"},
      {"/dev/null", "\"$PDF\" a.pb /dev/null && cp /dev/null got.pdf && \"$PDF\" a.pb got.pdf"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QFile::remove(home_.filePath("got.pdf"));
    QFile::remove(home_.filePath("f.pdf"));
    EXPECT_EQ(Shell(c.commandLine), 0);
    const QByteArray pdf = Contents(home_.filePath("got.pdf"));
    EXPECT_TRUE(pdf.startsWith("%PDF-") && pdf.trimmed().endsWith("%%EOF"));
  }
}

// File names are the platform's bytes: a name that is not UTF-8 names that file and no other.
TEST_F(ProgramFaults, PathsThatAreNotUtf8NameTheirOwnFiles) {
  ASSERT_EQ(Shell("printf 'Debug 1\\n' > \"$(printf 'copy\\377.pb')\"; "
                  "printf 'Debug 2\\n' > \"$(printf 'copy\\357\\277\\275.pb')\""), 0);
  EXPECT_EQ(Shell("\"$PDF\" \"$(printf 'copy\\377.pb')\" \"$(printf 'out\\377.pdf')\" && "
                  "test -s \"$(printf 'out\\377.pdf')\""), 0);
  EXPECT_EQ(Shell("\"$IDE\" \"$(printf 'copy\\377.pb')\" src.pb ''; "
                  "test ! -e \"$(printf 'copy\\377.pb')\" && test -e \"$(printf 'copy\\357\\277\\275.pb')\""), 0);
}

// The print road without a printer to choose: every input ends with 0, and a readable copy is deleted.
TEST_F(ProgramFaults, PrintRoadEndsWithZeroOnHostileSources) {
  for (const SourceCase& c : kSources) {
    SCOPED_TRACE(c.name);
    const QString copy = Write(kOddFolder + "/PB_EditorOutput " + kOddName, c.bytes);
    EXPECT_EQ(Run(FOLIVANE_EXECUTABLE, {copy, home_.filePath(kOddFolder + "/" + kOddName), "1x1x3x1"}), 0);
    EXPECT_FALSE(QFile::exists(copy));
  }
}

TEST_F(ProgramFaults, PrintRoadTakesHugeParameters) {
  const QString huge(10000, u'7');
  const struct {
    const char* name;
    QString sourcePath;
    QString selection;
  } cases[] = {
      {"selection", "/src/Greenhouse.pb", huge + "x1x" + huge + "x1"},
      {"source path", "/src/" + QString(10000, u'\u00e9') + ".pb", "1x1x1x1"},
      {"both", QString(10000, u'"'), QString(10000, u'x')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QString copy = Write("copy.pb", "Debug 1\n; IDE Options = PureBasic 6.10\n");
    EXPECT_EQ(Run(FOLIVANE_EXECUTABLE, {copy, c.sourcePath, c.selection}), 0);
    EXPECT_FALSE(QFile::exists(copy));
  }
  EXPECT_EQ(Run(FOLIVANE_EXECUTABLE, {home_.filePath(QString(10000, u'c')), huge, huge}), 0);
}

}  // namespace
