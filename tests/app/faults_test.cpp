// Fault tests of the two programs run as processes: hostile sources, huge parameters, odd paths.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
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
