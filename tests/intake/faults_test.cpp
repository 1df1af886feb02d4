// Fault tests of the source intake: extreme line shapes through the line reader, within bounded memory.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "intake/source_copy.h"

namespace folivane {
namespace {

// The peak resident memory of this process in bytes, reset on request. Linux keeps the peak in
// /proc/self/status (VmHWM) and resets it when "5" is written to /proc/self/clear_refs.
class PeakMemory {
 public:
  static bool Reset() {
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
  }
  static qint64 Bytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    const auto match =
        QRegularExpression(QStringLiteral("VmHWM:\\s+(\\d+) kB")).match(QString::fromLatin1(status.readAll()));
    return match.hasMatch() ? match.captured(1).toLongLong() * 1024 : -1;
  }
  static qint64 Current() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    const auto match =
        QRegularExpression(QStringLiteral("VmRSS:\\s+(\\d+) kB")).match(QString::fromLatin1(status.readAll()));
    return match.hasMatch() ? match.captured(1).toLongLong() * 1024 : -1;
  }
};

// Writes `input` to a file of its own and gives the file's name.
QByteArray FileHolding(const QTemporaryDir& dir, const QByteArray& input) {
  QFile file(dir.filePath(QStringLiteral("source.pb")));
  EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(input) == input.size());
  return QFile::encodeName(file.fileName());
}

// Reads `input` from a file through the intake and gives the growth of peak memory above the
// memory in use before the read (the input itself already counted).
qint64 PeakGrowthOfReading(const QByteArray& input, SourceText& out) {
  QTemporaryDir dir;
  const QByteArray path = FileHolding(dir, input);
  const qint64 before = PeakMemory::Current();
  if (!PeakMemory::Reset() || before < 0) return -1;
  EXPECT_EQ(ReadSourceFile(path, out), QString());
  return PeakMemory::Bytes() - before;
}

constexpr qint64 kMiB = 1024 * 1024;

// AddressSanitizer keeps freed blocks in quarantine and pads every block, so peak memory says
// nothing about the reader there; such a build still reads the input through.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kPeakMemoryMeans = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kPeakMemoryMeans = false;
#else
constexpr bool kPeakMemoryMeans = true;
#endif
#else
constexpr bool kPeakMemoryMeans = true;
#endif

TEST(IntakeFaults, TenMillionEmptyLinesCostOnlyTheLineList) {
  constexpr qsizetype kLines = 10'000'000;
  const QByteArray input(kLines, '\n');
  SourceText text;
  const qint64 growth = PeakGrowthOfReading(input, text);
  if (growth < 0) GTEST_SKIP() << "peak memory cannot be reset here";
  ASSERT_EQ(text.lines.size(), kLines);
  EXPECT_TRUE(text.lines.front().isEmpty());
  EXPECT_TRUE(text.lines.back().isEmpty());
  // An empty line owns no text: the list's own slots (with room to grow) are all it may cost.
  const qint64 listSlots = kLines * qint64(sizeof(QString));
  if (kPeakMemoryMeans) EXPECT_LE(growth, 2 * listSlots + 16 * kMiB) << "peak growth " << growth / kMiB << " MiB";
}

TEST(IntakeFaults, OneLineOfFiftyMegabytesCostsASmallMultipleOfItsSize) {
  constexpr qsizetype kBytes = 50 * kMiB;
  QByteArray input(kBytes, 'a');
  input[kBytes / 2] = 'z';
  SourceText text;
  const qint64 growth = PeakGrowthOfReading(input, text);
  if (growth < 0) GTEST_SKIP() << "peak memory cannot be reset here";
  ASSERT_EQ(text.lines.size(), 1);
  ASSERT_EQ(text.lines.front().size(), kBytes);
  EXPECT_EQ(text.lines.front().at(kBytes / 2), u'z');
  // The line as UTF-16 (two bytes a unit), its bytes gathered once, and growing room for both.
  if (kPeakMemoryMeans) EXPECT_LE(growth, 6 * kBytes) << "peak growth " << growth / kMiB << " MiB";
}

// Long lines across read sizes: a sequence split by a read is whole, one cut off by the end of
// the input or broken by a line end gives U+FFFD, and the line end still ends the line.
TEST(IntakeFaults, SequencesAtReadEdgesOfLongLines) {
  const qsizetype edge = 4096 * 3 - 1;
  const QString plain(edge, u'b');
  const struct {
    const char* name;
    QByteArray tail;
    QStringList lines;  // after the `edge` bytes "b" that start the first line
    QString ideVersion;
  } cases[] = {
      {"split by a refill", "\xE2\x82\xAC\n", {plain + QStringLiteral("\u20ac")}, {}},
      {"cut off by the end", "\xE2\x82", {plain + QStringLiteral("\ufffd")}, {}},
      {"broken by the LF",
       "\xE2\x82\n; IDE Options = 6.10\n",
       {plain + QStringLiteral("\ufffd")},
       QStringLiteral(" 6.10")},
      {"options block after a whole sequence",
       "\xC3\xA9\n; IDE Options = 6.10\n",
       {plain + QStringLiteral("\u00e9")},
       QStringLiteral(" 6.10")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QByteArray input = QByteArray(edge, 'b') + c.tail;
    SourceText text;
    QTemporaryDir dir;
    EXPECT_EQ(ReadSourceFile(FileHolding(dir, input), text, {kMaxCopyBytes, kMaxCopyLines, "utf-8"}), QString());
    EXPECT_EQ(text.lines, c.lines);
    EXPECT_EQ(text.ideVersion, c.ideVersion);
  }
}

}  // namespace
}  // namespace folivane
