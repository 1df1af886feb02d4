// Runs the built folivane as the IDE would and checks that every road ends with 0 and no hang.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

class FolivaneExecutableTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(home_.isValid()); }

  // Runs folivane without a display, with a private home, and gives its exit code (-1 for a crash
  // or a run that did not end within 20 seconds).
  int Run(const QStringList& arguments, QByteArray* output = nullptr) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) environment.remove(name);
    environment.insert("HOME", home_.path());
    environment.insert("XDG_CONFIG_HOME", home_.path() + "/.config");
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(home_.path());
    process.start(FOLIVANE_EXECUTABLE, arguments);
    if (!process.waitForFinished(20000)) {
      process.kill();
      process.waitForFinished();
      return -1;
    }
    if (output) *output = process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  }

  QString Write(const QString& name, const QByteArray& bytes) {
    const QString path = home_.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
  }

  QTemporaryDir home_;
};

TEST_F(FolivaneExecutableTest, SettingsRoadWithoutDisplayEndsWithZeroAndSavesNothing) {
  EXPECT_EQ(Run({}), 0);
  EXPECT_FALSE(QFile::exists(home_.filePath(".config/Folivane.ini")));
}

TEST_F(FolivaneExecutableTest, PrintRoadReadsAndDeletesTheCopy) {
  const QString copy = Write("copy.pb", "Debug \"Hello\"\n; IDE Options = PureBasic 6.10\n");
  EXPECT_EQ(Run({copy, "/src/Hello.pb", ""}), 0);
  EXPECT_FALSE(QFile::exists(copy));
}

TEST_F(FolivaneExecutableTest, FailuresOfStartupEndWithZero) {
  const QString empty = Write("empty.pb", "");
  const QString optionsOnly = Write("options.pb", "; IDE Options = PureBasic 6.10\n");
  const QString kept = Write("kept.pb", "x\n");
  EXPECT_EQ(Run({""}), 0);
  EXPECT_EQ(Run({home_.path() + "/"}), 0);
  EXPECT_EQ(Run({home_.filePath("missing.pb")}), 0);
  EXPECT_EQ(Run({empty, "/src/Hello.pb", ""}), 0);
  EXPECT_FALSE(QFile::exists(empty));
  EXPECT_EQ(Run({optionsOnly, "/src/Hello.pb", ""}), 0);
  EXPECT_FALSE(QFile::exists(optionsOnly));
  // Parameters that Qt would take for its own stay the IDE's.
  EXPECT_EQ(Run({"-platform", "xcb", "-style"}), 0);
  EXPECT_EQ(Run({QString(10000, u'x'), QString(10000, u'y'), QString(10000, u'z')}), 0);
  // A copy that is the source itself is read but never deleted.
  EXPECT_EQ(Run({kept, kept, ""}), 0);
  EXPECT_TRUE(QFile::exists(kept));
}

// Started from a shell: a file a person names is printed and kept, and --help and --version answer
// on standard output without touching a file of that name.
TEST_F(FolivaneExecutableTest, ShellUserKeepsNamedFilesAndGetsAnswers) {
  const QString mine = Write("mine.pb", "Debug 1\n");
  EXPECT_EQ(Run({mine}), 0);
  EXPECT_TRUE(QFile::exists(mine));
  EXPECT_EQ(Run({mine, "/src/Hello.pb"}), 0);
  EXPECT_TRUE(QFile::exists(mine));

  const QString named = Write("--help", "Debug 2\n");
  QByteArray output;
  EXPECT_EQ(Run({"--help"}, &output), 0);
  EXPECT_TRUE(output.startsWith("Usage: folivane")) << output.constData();
  EXPECT_TRUE(QFile::exists(named));
  EXPECT_EQ(Run({"--version"}, &output), 0);
  EXPECT_EQ(output, "folivane " FOLIVANE_VERSION "\n");
}

TEST_F(FolivaneExecutableTest, SpecialFilesAreNeitherReadNorDeleted) {
  const QString fifo = home_.filePath("fifo.pb");
  ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  EXPECT_EQ(Run({fifo}), 0);
  EXPECT_TRUE(QFile::exists(fifo));

  EXPECT_EQ(Run({home_.path()}), 0);
  EXPECT_TRUE(QDir(home_.path()).exists());

  // A node like /dev/zero, made in the private folder so that a fault cannot harm the system.
  const QString zero = home_.filePath("zero.pb");
  if (mknod(QFile::encodeName(zero).constData(), S_IFCHR | 0600, makedev(1, 5)) == 0) {
    EXPECT_EQ(Run({zero}), 0);
    EXPECT_TRUE(QFile::exists(zero));
  }
}

}  // namespace
