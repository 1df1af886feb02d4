// The settings file: what loading accepts, the exact bytes of a save, and saves that must not lose data.
#include "settings/settings.h"
#include "support/settings_choices.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <limits>

namespace folivane {
namespace {

const QByteArray kSaved11 =
    "\xEF\xBB\xBF\r\n[Settings]\r\nFontSize = 1\r\nPageHeader = 1\r\n";

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(bytes);
}

struct LoadCase {
  const char* name;
  QByteArray file;
  qint32 fontSize;
  qint32 pageHeader;
};

TEST(LoadSettings, ReaderRules) {
  constexpr qint32 kMax = std::numeric_limits<qint32>::max();
  const LoadCase cases[] = {
      {"as written", kSaved11, 1, 1},
      {"zeros", "\xEF\xBB\xBF\r\n[Settings]\r\nFontSize = 0\r\nPageHeader = 0\r\n", 0, 0},
      {"empty file", "", 1, 1},
      {"lower case, no blanks", "[settings]\nfontsize=0\npageheader=0", 0, 0},
      {"letters, empty, no equals", "[Settings]\nFontSize = abc\nPageHeader =", 0, 0},
      {"key without equals then LF", "[Settings]\nFontSize\nPageHeader=0\n", 0, 0},
      {"zero with trailing blanks", "[Settings]\r\nFontSize = 0  \t\r\n", 0, 1},
      {"two counts as regular", "[Settings]\r\nFontSize = 2\r\nPageHeader = -1\r\n", 2, -1},
      {"blank inside the brackets", "[ Settings]\nFontSize=0\nPageHeader=0", 1, 1},
      {"no closing bracket", "[Settings\nFontSize=0\nPageHeader=0", 0, 0},
      {"text after the bracket", "[Settings] ; x\nFontSize=0", 0, 1},
      {"keys before any group", "FontSize=0\nPageHeader=0\n[Settings]\n", 1, 1},
      {"first of two groups", "[Settings]\nFontSize=0\n[SETTINGS]\nPageHeader=0", 0, 1},
      {"first of two keys", "[Settings]\nFontSize=0\nFONTSIZE=5", 0, 1},
      {"key in a later group", "[Settings]\nFontSize=0\n[Other]\nPageHeader=0", 0, 1},
      {"CR only", "[Settings]\rFontSize=0\rPageHeader=0\r", 0, 0},
      {"runs of line ends", "\r\n\n\r[Settings]\n\r\n\rFontSize=0\r\r\r\nPageHeader=0", 0, 0},
      {"leading blanks", " \t[Settings]\n\t FontSize \t= \t0\n   \n\t\t", 0, 1},
      {"blank last line without end", "[Settings]\nPageHeader=0\n \t ", 1, 0},
      {"comments are not keys", ";FontSize=0\n[Settings]\n ; PageHeader=0\nFontSize=3", 3, 1},
      {"semicolon later in a line", "[Settings]\nFontSize = 0 ; regular\nPageHeader; =0", 0, 1},
      {"latin-1 comment", "; Einstellungen f\xFCr den Druck\r\n[Settings]\r\nFontSize = 0\r\n", 0, 1},
      {"byte order mark and LF", "\xEF\xBB\xBF[Settings]\nPageHeader=0\n", 1, 0},
      {"broken byte order mark is latin-1", "\xEF\xBB[Settings]\nPageHeader=0\n", 1, 1},
      {"out of range saturates", "[Settings]\nFontSize=99999999999\nPageHeader=-99999999999", kMax,
       std::numeric_limits<qint32>::min()},
      {"NUL bytes are ordinary", QByteArray("[Settings]\nFont\0Size=0\nPageHeader=0\0", 36), 1, 0},
  };
  QTemporaryDir dir;
  const QString path = dir.filePath("Folivane.ini");
  for (const LoadCase& c : cases) {
    WriteFile(path, c.file);
    const Settings settings = LoadSettings(path);
    EXPECT_EQ(settings.fontSize == FontSize::Large, c.fontSize == 0) << c.name;
    EXPECT_EQ(settings.headerPlacement == HeaderPlacement::FirstPage, c.pageHeader == 0) << c.name;
    EXPECT_EQ(ReadFile(path), c.file) << c.name;
  }
}

TEST(LoadSettings, MissingOrUnreadableGivesDefaults) {
  QTemporaryDir dir;
  for (const QString& path : {dir.filePath("none.ini"), dir.path(), QString()}) {
    const Settings settings = LoadSettings(path);
    EXPECT_EQ(settings.fontSize == FontSize::Large, 1 == 0);
    EXPECT_EQ(settings.headerPlacement == HeaderPlacement::FirstPage, 1 == 0);
  }
  EXPECT_FALSE(QFile::exists(dir.filePath("none.ini")));
}

TEST(SaveSettings, WritesExactBytes) {
  QTemporaryDir dir;
  const QString path = dir.filePath("Folivane.ini");
  const std::pair<Settings, QByteArray> cases[] = {
      {Choices(1, 1), kSaved11},
      {Choices(0, 0), "\xEF\xBB\xBF\r\n[Settings]\r\nFontSize = 0\r\nPageHeader = 0\r\n"},
      {Choices(1, 0), "\xEF\xBB\xBF\r\n[Settings]\r\nFontSize = 1\r\nPageHeader = 0\r\n"},
  };
  for (const auto& [settings, bytes] : cases) {
    ASSERT_TRUE(SaveSettings(path, settings));
    EXPECT_EQ(ReadFile(path), bytes);
    const Settings loaded = LoadSettings(path);
    EXPECT_EQ(loaded.fontSize, settings.fontSize);
    EXPECT_EQ(loaded.headerPlacement, settings.headerPlacement);
  }
  EXPECT_EQ(kSaved11.size(), 47);
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Folivane.ini"});
}

TEST(SaveSettings, ReplacesWholeExistingFile) {
  QTemporaryDir dir;
  const QString path = dir.filePath("Folivane.ini");
  WriteFile(path, "; mine\r\n[Other]\r\nX = 1\r\n[Settings]\r\n; keep?\r\nFontSize = 0\r\nExtra = 3\r\n");
  ASSERT_TRUE(SaveSettings(path, Settings{}));
  EXPECT_EQ(ReadFile(path), kSaved11);
}

TEST(SaveSettings, CreatesMissingFolders) {
  QTemporaryDir dir;
  const QString path = SettingsFilePath(dir.filePath("a/b/"));
  ASSERT_TRUE(SaveSettings(path, Choices(0, 1)));
  EXPECT_EQ(LoadSettings(path).fontSize == FontSize::Large, 0 == 0);
}

TEST(SaveSettings, EmptyDirectoryMeansWorkingDirectory) {
  QTemporaryDir dir;
  const QString previous = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(dir.path()));
  EXPECT_EQ(SettingsFilePath(QString()), "Folivane.ini");
  const bool saved = SaveSettings(SettingsFilePath(QString()), Choices(0, 0));
  const Settings loaded = LoadSettings(SettingsFilePath(QString()));
  QDir::setCurrent(previous);
  EXPECT_TRUE(saved);
  EXPECT_EQ(ReadFile(dir.filePath("Folivane.ini")).size(), 47);
  EXPECT_EQ(loaded.fontSize == FontSize::Large, 0 == 0);
  EXPECT_EQ(loaded.headerPlacement == HeaderPlacement::FirstPage, 0 == 0);
}

// Makes a folder unwritable even for root (immutable flag) and restores it on leaving.
class UnwritableFolder {
 public:
  explicit UnwritableFolder(const QString& path) : path_(QFile::encodeName(path)) {
    ::chmod(path_.constData(), 0555);
    if (::geteuid() == 0) immutable_ = SetImmutable(true);
  }
  ~UnwritableFolder() {
    if (immutable_) SetImmutable(false);
    ::chmod(path_.constData(), 0755);
  }
  bool Effective() const {
    const QByteArray probe = path_ + "/probe";
    const int fd = ::open(probe.constData(), O_CREAT | O_WRONLY, 0644);
    if (fd < 0) return true;
    ::close(fd);
    ::unlink(probe.constData());
    return false;
  }

 private:
  bool SetImmutable(bool on) {
    const int fd = ::open(path_.constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    ::close(fd);
    return done;
  }

  QByteArray path_;
  bool immutable_ = false;
};

TEST(SaveSettings, FailedSaveLeavesOldFileIntact) {
  QTemporaryDir dir;
  const QString folder = dir.filePath("locked");
  ASSERT_TRUE(QDir().mkpath(folder));
  const QString path = SettingsFilePath(folder + "/");
  const QByteArray old = "[Settings]\nFontSize=0\n; my notes\n";
  WriteFile(path, old);
  bool saved = true;
  {
    UnwritableFolder lock(folder);
    if (!lock.Effective()) GTEST_SKIP() << "cannot make a folder unwritable here";
    saved = SaveSettings(path, Choices(1, 1));
  }
  EXPECT_FALSE(saved);
  EXPECT_EQ(ReadFile(path), old);
  EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"Folivane.ini"});
}

TEST(SettingsDirectory, EndsWithSlash) {
  const QString directory = SettingsDirectory();
  EXPECT_TRUE(directory.isEmpty() || directory.endsWith('/'));
  EXPECT_EQ(SettingsFilePath("/x/"), "/x/Folivane.ini");
}

}  // namespace
}  // namespace folivane
