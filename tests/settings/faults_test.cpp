// Fault tests of the settings file: huge and random files, and a save that the disk cannot take.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>
#include <limits>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "settings/settings.h"
#include "support/settings_choices.h"

namespace folivane {
namespace {

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

constexpr qsizetype kHundredMegabytes = 100 * 1024 * 1024;

struct HugeCase {
  const char* name;
  QByteArray head;
  QByteArray repeated;  // up to 100 MB
  QByteArray tail;
  qint32 fontSize;  // the values expected, as the file keeps them
  qint32 pageHeader;
};

// Only the first 64 KiB of a settings file count: what stands further on reads as absent, and a
// file that reads on for ever ends there too.
TEST(SettingsFaults, HugeFilesAreReadOnlyInTheirFirstPart) {
  const HugeCase cases[] = {
      {"the group up front, then comments", "[Settings]\r\nFontSize = 0\r\n",
       "; a comment line of the user's own\r\n", "PageHeader = 0\r\n", 0, 1},
      {"comments, then the group", "", "; a comment line of the user's own\r\n",
       "[Settings]\r\nFontSize = 0\r\nPageHeader = 0\r\n", 1, 1},
      {"one line without an end", "", "x", "", 1, 1},
      {"a value of 100 MB of digits", "[Settings]\nFontSize = ", "7777777777", "\nPageHeader=0",
       std::numeric_limits<qint32>::max(), 1},
  };
  QTemporaryDir dir;
  const QString path = dir.filePath("Folivane.ini");
  for (const HugeCase& c : cases) {
    SCOPED_TRACE(c.name);
    {
      QByteArray text = c.head;
      text.reserve(kHundredMegabytes + c.repeated.size() + c.tail.size());
      while (text.size() < kHundredMegabytes) text.append(c.repeated);
      text.append(c.tail);
      ASSERT_TRUE(WriteFile(path, text));
    }
    const Settings loaded = LoadSettings(path);
    EXPECT_EQ(loaded.fontSize == FontSize::Large, c.fontSize == 0);
    EXPECT_EQ(loaded.headerPlacement == HeaderPlacement::FirstPage, c.pageHeader == 0);
  }
  ASSERT_TRUE(QFile::remove(path));
  ASSERT_TRUE(QFile::link(QStringLiteral("/proc/self/pagemap"), path));
  EXPECT_EQ(LoadSettings(path).fontSize == FontSize::Large, 1 == 0);
}

// A save never replaces what is not a regular file: a FIFO named Folivane.ini, or one that
// Folivane.ini links to, stays a FIFO; a link to a regular file is written through.
TEST(SettingsFaults, SaveLeavesFilesThatAreNoRegularFilesAlone) {
  QTemporaryDir dir;
  const QString fifo = dir.filePath("fifo");
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  const QString linked = dir.filePath("linked.ini");
  ASSERT_TRUE(QFile::link(fifo, linked));
  for (const QString& path : {fifo, linked}) {
    SCOPED_TRACE(path.toStdString());
    EXPECT_FALSE(SaveSettings(path, Choices(0, 0)));
    EXPECT_TRUE(QFileInfo(fifo).isReadable() && !QFileInfo(fifo).isFile());
  }
  EXPECT_TRUE(QFileInfo(linked).isSymLink());
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 2);

  const QString regular = dir.filePath("regular.ini");
  ASSERT_TRUE(WriteFile(regular, "[Settings]\r\n"));
  const QString toRegular = dir.filePath("Folivane.ini");
  ASSERT_TRUE(QFile::link(regular, toRegular));
  EXPECT_TRUE(SaveSettings(toRegular, Choices(0, 0)));
  EXPECT_TRUE(QFileInfo(toRegular).isSymLink());
  EXPECT_EQ(LoadSettings(regular).fontSize == FontSize::Large, 0 == 0);
}

TEST(SettingsFaults, RandomBytesReadWithoutFaultAndSaveAgain) {
  QTemporaryDir dir;
  const QString path = dir.filePath("Folivane.ini");
  std::mt19937 random(20260);
  for (int round = 0; round < 40; ++round) {
    QByteArray text(1 + random() % 200000, '\0');
    // Some rounds draw from the bytes that shape an INI text, so that groups and keys occur.
    const char shaping[] = "[]=;\r\n \tSettingsFontSizePageHeader0123456789-+\xEF\xBB\xBF\xC3\xA9";
    for (char& byte : text)
      byte = round % 2 ? char(random()) : shaping[random() % (sizeof shaping - 1)];
    ASSERT_TRUE(WriteFile(path, text));
    LoadSettings(path);
    ASSERT_TRUE(SaveSettings(path, Choices(0, 1)));
    const Settings loaded = LoadSettings(path);
    EXPECT_EQ(loaded.fontSize == FontSize::Large, 0 == 0);
    EXPECT_EQ(loaded.headerPlacement == HeaderPlacement::FirstPage, 1 == 0);
  }
}

// Runs SaveSettings in a child process whose files may not grow beyond `fileSizeLimit` bytes, as
// on a full disk: the write fails (SIGXFSZ ignored, so the write call reports the error). The
// child's exit code is 0 when the save reported success, 1 when it reported failure.
int SaveWithFileSizeLimit(const QString& path, const Settings& settings, rlim_t fileSizeLimit) {
  const pid_t child = ::fork();
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{fileSizeLimit, fileSizeLimit};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(2);
    ::_exit(SaveSettings(path, settings) ? 0 : 1);
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A save the disk cannot take must leave the old file as it was and report the failure.
TEST(SettingsFaults, SaveOntoAFullDiskLeavesTheOldFileIntact) {
  QTemporaryDir dir;
  const QString path = dir.filePath("Folivane.ini");
  const QByteArray old = "\xEF\xBB\xBF[Settings]\r\nFontSize = 0\r\nPageHeader = 0\r\n; the user's notes\r\n";
  // 0: not even a first byte fits; 20: the new text is cut off in the middle.
  for (const rlim_t limit : {rlim_t(0), rlim_t(20)}) {
    SCOPED_TRACE(limit);
    ASSERT_TRUE(WriteFile(path, old));
    EXPECT_EQ(SaveWithFileSizeLimit(path, Choices(1, 1), limit), 1);
    EXPECT_EQ(ReadFile(path), old);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Folivane.ini"});
    const Settings loaded = LoadSettings(path);
    EXPECT_EQ(loaded.fontSize == FontSize::Large, 0 == 0);
    EXPECT_EQ(loaded.headerPlacement == HeaderPlacement::FirstPage, 0 == 0);
  }
  // With room enough the same save goes through.
  EXPECT_EQ(SaveWithFileSizeLimit(path, Choices(1, 1), 4096), 0);
  EXPECT_EQ(LoadSettings(path).fontSize == FontSize::Large, 1 == 0);
}

}  // namespace
}  // namespace folivane
