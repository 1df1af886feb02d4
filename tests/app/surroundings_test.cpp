// folivane-pdf in hostile surroundings, run as a process: scarce threads and memory, link chains,
// long names, readers that leave, sources that are streams, and refusals that say why.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <unistd.h>

namespace {

constexpr int kCrashedOrHung = -1;

struct Outcome {
  int exit = kCrashedOrHung;  // or the exit code
  QByteArray errors;          // folivane-pdf's own lines on standard error
};

// The program's own messages, without what Qt or the shell may say around them.
QByteArray OwnMessages(const QByteArray& errors) {
  QByteArray own;
  for (const QByteArray& line : errors.split('\n'))
    if (line.startsWith("folivane-pdf:")) own += line + '\n';
  return own;
}

class Surroundings : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(home_.isValid());
    // Reachable by the unprivileged user of the permission cases.
    QFile::setPermissions(home_.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                            QFileDevice::ReadOther | QFileDevice::ExeOther);
    QDir(home_.path()).mkdir("tmp");
  }

  // Runs a bash command line in the private home; PDF names folivane-pdf, SCARCITY the library
  // that makes threads or memory scarce, TMPDIR a folder of the test's own.
  Outcome Shell(const QString& commandLine, int seconds = 60) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("HOME", home_.path());
    environment.insert("XDG_CONFIG_HOME", home_.path() + "/.config");
    environment.insert("XDG_RUNTIME_DIR", home_.path());
    environment.insert("TMPDIR", home_.filePath("tmp"));
    environment.insert("PDF", FOLIVANE_PDF_EXECUTABLE);
    environment.insert("SCARCITY", FOLIVANE_SCARCITY);
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(home_.path());
    process.start("/bin/bash", {"-c", commandLine});
    if (!process.waitForFinished(seconds * 1000)) {
      process.kill();
      process.waitForFinished();
      return {kCrashedOrHung, OwnMessages(process.readAllStandardError())};
    }
    const int exit = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : kCrashedOrHung;
    return {exit, OwnMessages(process.readAllStandardError())};
  }

  QString Write(const QString& name, const QByteArray& bytes) {
    const QString path = home_.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
    return path;
  }

  QByteArray Contents(const QString& name) const {
    QFile file(home_.filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  bool IsPdf(const QString& name) const {
    const QByteArray pdf = Contents(name);
    return pdf.startsWith("%PDF-") && pdf.trimmed().endsWith("%%EOF");
  }

  // Temporary files left beside the outputs or in TMPDIR.
  QStringList LeftBehind() const {
    QStringList left = QDir(home_.path()).entryList(QDir::Hidden | QDir::Files).filter(QRegularExpression("^\\."));
    left += QDir(home_.filePath("tmp")).entryList(QDir::Files | QDir::Hidden);
    return left;
  }

  QTemporaryDir home_;
};

const QByteArray kOld = "%PDF-1.4 an old, good document";

#ifndef FOLIVANE_SANITIZED
// Under a task limit Qt's image scaling waited for ever for a thread that never started, and a
// half-made worker pool aborted; fewer threads must only be slower.
TEST_F(Surroundings, ThreadsThatCannotStartMakeItSlowerNotStuck) {
  Write("a.pb", QByteArray("Debug 1\n").repeated(400));
  ASSERT_EQ(Shell("exec \"$PDF\" --clock 2027-03-01T14:05:09 a.pb free.pdf").exit, 0);
  for (int threads : {1, 2, 3}) {
    SCOPED_TRACE(threads);
    QFile::remove(home_.filePath("scarce.pdf"));
    const Outcome run = Shell(QString("FOLIVANE_SCARCE_THREADS=%1 LD_PRELOAD=$SCARCITY exec \"$PDF\" "
                                      "--clock 2027-03-01T14:05:09 a.pb scarce.pdf")
                                  .arg(threads),
                              30);
    EXPECT_EQ(run.exit, 0) << run.errors.toStdString();
    EXPECT_EQ(Contents("scarce.pdf"), Contents("free.pdf"));
  }
  Write("out.pdf", kOld);
  const Outcome none = Shell("FOLIVANE_SCARCE_THREADS=0 LD_PRELOAD=$SCARCITY exec \"$PDF\" a.pb out.pdf", 30);
  EXPECT_EQ(none.exit, 1);
  EXPECT_TRUE(none.errors.contains("folivane-pdf: cannot start a thread")) << none.errors.toStdString();
  EXPECT_EQ(Contents("out.pdf"), kOld);
  EXPECT_EQ(LeftBehind(), QStringList());
}

// Out of memory on a deflating thread aborted and left a hidden partial file; on the drawing
// thread it was reported as "std::bad_alloc".
TEST_F(Surroundings, OutOfMemoryIsReportedAndLeavesTheOldOutput) {
  Write("a.pb", QByteArray("Debug 1\n").repeated(750000));
  Write("out.pdf", kOld);
  for (const char* where :
       {"FOLIVANE_SCARCE_MEMORY=65536 FOLIVANE_SCARCE_MEMORY_ON=workers", "FOLIVANE_SCARCE_MEMORY=10000000"}) {
    SCOPED_TRACE(where);
    const Outcome run = Shell(QString("%1 LD_PRELOAD=$SCARCITY exec \"$PDF\" a.pb out.pdf").arg(where), 60);
    EXPECT_EQ(run.exit, 1);
    EXPECT_EQ(run.errors, "folivane-pdf: out of memory\n");
    EXPECT_EQ(Contents("out.pdf"), kOld);
    EXPECT_EQ(LeftBehind(), QStringList());
  }
}
#endif

// As the shell's ">" does: the chain is followed to its end, which gets the PDF; no link changes.
TEST_F(Surroundings, OutputThroughAChainOfLinksReachesItsLastTarget) {
  Write("a.pb", "Debug 1\n");
  QDir(home_.path()).mkdir("pdfs");
  ASSERT_EQ(Shell("ln -s pdfs/real.pdf mid.pdf && ln -s mid.pdf out.pdf && exec \"$PDF\" a.pb out.pdf").exit, 0);
  EXPECT_TRUE(IsPdf("pdfs/real.pdf"));
  EXPECT_EQ(QFileInfo(home_.filePath("mid.pdf")).symLinkTarget(), home_.filePath("pdfs/real.pdf"));
  EXPECT_EQ(QFileInfo(home_.filePath("out.pdf")).symLinkTarget(), home_.filePath("mid.pdf"));
  EXPECT_EQ(LeftBehind(), QStringList());
}

// The temporary file beside OUTPUT is named after it, and must still fit the longest name.
TEST_F(Surroundings, OutputNamesUpToTheLongestAreWritten) {
  Write("a.pb", "Debug 1\n");
  for (const QString& name : {QString(83, u'\u6587') + ".pdf", QString(251, u'n') + ".pdf"}) {
    SCOPED_TRACE(name.toStdString());
    const Outcome run = Shell("exec \"$PDF\" a.pb '" + name + "'");
    EXPECT_EQ(run.exit, 0) << run.errors.toStdString();
    EXPECT_TRUE(IsPdf(name));
  }
  EXPECT_EQ(LeftBehind(), QStringList());
}

// "| head" leaves after a few bytes: the scratch file goes, whether the reader's leaving comes
// as SIGPIPE or, where the caller ignores that signal, as EPIPE; nothing is said.
TEST_F(Surroundings, AReaderThatLeavesLeavesNoScratchFile) {
  QByteArray rows;  // rows that differ, for a PDF larger than a pipe holds
  for (int i = 0; i < 20000; ++i) rows += "Row" + QByteArray::number(i) + " = " + QByteArray::number(i * 7919) + "\n";
  Write("a.pb", rows);
  for (const char* signal : {"", "trap '' PIPE; "}) {
    SCOPED_TRACE(signal);
    const Outcome run = Shell(QString(signal) + "\"$PDF\" a.pb - | head -c 100 >/dev/null; exit ${PIPESTATUS[0]}");
    EXPECT_EQ(run.exit, 141);
    EXPECT_EQ(run.errors, QByteArray());
    EXPECT_EQ(LeftBehind(), QStringList());
  }
}

// Pipes, FIFOs and standard input are read to their end; a device is refused at once.
TEST_F(Surroundings, SourcesThatAreStreamsAreRead) {
  const struct {
    const char* name;
    const char* commandLine;
  } cases[] = {
      {"standard input", "printf 'Debug 1\\n' | \"$PDF\" - got.pdf"},
      {"/dev/stdin", "printf 'Debug 1\\n' | \"$PDF\" /dev/stdin got.pdf"},
      {"process substitution", "\"$PDF\" <(printf 'Debug 1\\n') got.pdf"},
      {"FIFO", "mkfifo f.pb && { printf 'Debug 1\\n' > f.pb & } && \"$PDF\" f.pb got.pdf"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QFile::remove(home_.filePath("got.pdf"));
    QFile::remove(home_.filePath("f.pb"));
    const Outcome run = Shell(c.commandLine, 30);
    EXPECT_EQ(run.exit, 0) << run.errors.toStdString();
    EXPECT_TRUE(IsPdf("got.pdf"));
  }
  const Outcome zero = Shell("exec \"$PDF\" /dev/zero got.pdf", 30);
  EXPECT_EQ(zero.exit, 1);
  EXPECT_EQ(zero.errors, "folivane-pdf: cannot read /dev/zero: is a device\n");
}

// Every refusal names its reason. The permission cases run as an unprivileged user.
TEST_F(Surroundings, RefusalsSayWhy) {
  Write("a.pb", "Debug 1\n");
  Write("secret.pb", "Debug 1\n");
  QDir(home_.path()).mkdir("folder");
  QDir(home_.path()).mkdir("u");
  QFile::setPermissions(home_.filePath("u"), QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther |
                                                 QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                 QFileDevice::ExeOwner);
  Write("u/old.pdf", kOld);
  QFile::setPermissions(home_.filePath("u/old.pdf"), QFileDevice::ReadOwner | QFileDevice::ReadOther);
  QFile::setPermissions(home_.filePath("secret.pb"), QFileDevice::Permissions());
  QFile::setPermissions(home_.filePath("a.pb"), QFileDevice::ReadOwner | QFileDevice::ReadOther);
  const QString unprivileged = ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
  const struct {
    QString commandLine;
    const char* says;
  } cases[] = {
      {"\"$PDF\" folder out.pdf", "cannot read folder: is a folder"},
      {"\"$PDF\" missing.pb out.pdf", "cannot read missing.pb: no such file"},
      {unprivileged + "\"$PDF\" secret.pb out.pdf", "cannot read secret.pb: permission denied"},
      {"\"$PDF\" - out.pdf < /dev/null", "cannot read standard input: is a device"},
      {"\"$PDF\" a.pb folder", "cannot write folder: is a folder"},
      {"\"$PDF\" a.pb nowhere/out.pdf", "cannot write nowhere/out.pdf: no such folder"},
      {unprivileged + "\"$PDF\" a.pb u/old.pdf", "cannot write u/old.pdf: permission denied"},
      {unprivileged + "\"$PDF\" a.pb out.pdf", "cannot write out.pdf: permission denied"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.commandLine.toStdString());
    const Outcome run = Shell(c.commandLine);
    EXPECT_EQ(run.exit, 1);
    EXPECT_EQ(run.errors, "folivane-pdf: " + QByteArray(c.says) + "\n");
  }
  EXPECT_EQ(Contents("u/old.pdf"), kOld);
  // A file system mounted read-only, in a mount namespace of the run's own where one can be made.
  const Outcome readOnly = Shell(
      "mkdir ro && { unshare -rm true 2>/dev/null || exit 77; } && unshare -rm sh -c "
      "'mount -t tmpfs -o ro none ro || exit 77; exec \"$PDF\" a.pb ro/out.pdf'");
  if (readOnly.exit != 77) {
    EXPECT_EQ(readOnly.errors, "folivane-pdf: cannot write ro/out.pdf: read-only file system\n");
  }
}

}  // namespace
