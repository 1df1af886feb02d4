// folivane-pdf as a person meets it in a shell: a good run says nothing, it tells its version, and
// a long job shows its progress on a terminal.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {

class PdfShellUse : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(home_.isValid());
    ASSERT_TRUE(QDir(home_.path()).mkdir("tmp"));
  }

  // Runs folivane-pdf as cron or `su -` would: no runtime folder, no display, a private home and
  // temporary folder. Gives the exit code and what came on standard output and standard error.
  int Run(const QStringList& arguments, QByteArray& output, QByteArray& errors) {
    return Run(FOLIVANE_PDF, arguments, output, errors);
  }
  int Run(const QString& program, const QStringList& arguments, QByteArray& output, QByteArray& errors) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR"})
      environment.remove(name);
    environment.insert("HOME", home_.path());
    environment.insert("XDG_CONFIG_HOME", home_.path() + "/.config");
    environment.insert("TMPDIR", home_.filePath("tmp"));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(home_.path());
    process.start(program, arguments);
    if (!process.waitForFinished(60000)) {
      process.kill();
      process.waitForFinished();
      return -1;
    }
    output = process.readAllStandardOutput();
    errors = process.readAllStandardError();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  }

  QTemporaryDir home_;
};

TEST_F(PdfShellUse, GoodRunWithoutRuntimeFolderSaysNothingAndLeavesNothing) {
  QByteArray output, errors;
  EXPECT_EQ(Run({FOLIVANE_SAMPLE, "out.pdf"}, output, errors), 0);
  EXPECT_EQ(errors, "");
  EXPECT_EQ(output, "");
  EXPECT_EQ(QDir(home_.filePath("tmp")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
            QStringList());
}

TEST_F(PdfShellUse, VersionIsTheProjectsOnStandardOutput) {
  QByteArray output, errors;
  EXPECT_EQ(Run({"--version"}, output, errors), 0);
  EXPECT_EQ(output, "folivane-pdf " FOLIVANE_VERSION "\n");
  EXPECT_EQ(errors, "");
}

// On a terminal a job of some seconds shows its progress, and clears it at the end; --quiet not.
TEST_F(PdfShellUse, LongJobShowsProgressOnATerminalOnly) {
  QFile source(home_.filePath("long.pb"));
  ASSERT_TRUE(source.open(QIODevice::WriteOnly));
  source.write(QByteArray("Debug 1\n").repeated(1500000));
  source.close();
  QByteArray terminal, errors;
  // script(1) runs the command on a pseudo-terminal and copies what it shows to standard output.
  const QString command = QStringLiteral("'%1' %2 long.pb long.pdf");
  EXPECT_EQ(Run("script", {"-qfec", command.arg(FOLIVANE_PDF, ""), "/dev/null"}, terminal, errors), 0);
  EXPECT_TRUE(terminal.contains("pages written, line ")) << terminal.left(200).constData();
  EXPECT_TRUE(terminal.endsWith("\r\033[K")) << terminal.right(80).constData();
  EXPECT_EQ(Run("script", {"-qfec", command.arg(FOLIVANE_PDF, "--quiet"), "/dev/null"}, terminal, errors), 0);
  EXPECT_EQ(terminal, "");
}

}  // namespace
