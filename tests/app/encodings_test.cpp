// Sources saved in legacy code pages print with every character and every line number right.
// The samples are our own UTF-8 texts, turned into each code page by iconv.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

struct Sample {
  const char* file;      // in FOLIVANE_SAMPLES, UTF-8
  const char* codePage;  // as iconv names it
  const char* forced;    // an --encoding that must give the same, or empty
};

class Encodings : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    for (const char* tool : {"iconv", "pdftotext"})
      if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) GTEST_SKIP() << tool << " missing";
  }

  static int Run(const QString& program, const QStringList& arguments, QByteArray* output = nullptr) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) return -1;
    if (output) *output = process.readAllStandardOutput();
    return process.exitCode();
  }

  QString Write(const QString& name, const QByteArray& bytes) {
    QFile file(dir_.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return file.fileName();
  }

  // The printed rows as pdftotext reads them, blanks left out: line number, then the text.
  QStringList PrintedRows(const QString& source, const QStringList& options = {}) {
    const QString pdf = dir_.filePath("out.pdf");
    QFile::remove(pdf);
    if (Run(FOLIVANE_PDF, options + QStringList{"--clock", "2027-03-01T14:05:09", source, pdf}) != 0) return {};
    QByteArray text;
    Run("pdftotext", {"-layout", pdf, "-"}, &text);
    QStringList rows;
    for (const QString& line : QString::fromUtf8(text).split(u'\n'))
      rows.append(QString(line).remove(QRegularExpression("\\s")));
    return rows;
  }

  static QStringList Expected(const QString& utf8Text) {
    QStringList rows;
    const QStringList lines = utf8Text.split(u'\n');
    for (qsizetype k = 0; k < lines.size(); ++k)
      if (k + 1 < lines.size() || !lines[k].isEmpty())
        rows.append(QString::number(k + 1) + QString(lines[k]).remove(QRegularExpression("\\s")));
    return rows;
  }

  QTemporaryDir dir_;
};

TEST_F(Encodings, LegacyCodePagesAreDetectedAndPrintEveryCharacterOnItsLine) {
  const Sample samples[] = {
      {"french.txt", "WINDOWS-1252", "windows-1252"}, {"german.txt", "WINDOWS-1252", ""},
      {"russian.txt", "WINDOWS-1251", "windows-1251"}, {"chinese.txt", "GBK", "gbk"},
      {"japanese.txt", "SHIFT_JIS", "shift_jis"}, {"korean.txt", "CP949", "windows-949"},
      {"turkish.txt", "CP1254", "windows-1254"}, {"vietnamese.txt", "CP1258", "windows-1258"},
  };
  for (const Sample& sample : samples) {
    SCOPED_TRACE(sample.file);
    const QString utf8 = QString(FOLIVANE_SAMPLES) + "/" + sample.file;
    QByteArray legacy;
    ASSERT_EQ(Run("iconv", {"-f", "UTF-8", "-t", sample.codePage, utf8}, &legacy), 0);
    const QString source = Write("legacy.pb", legacy);
    QFile original(utf8);
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    const QStringList expected = Expected(QString::fromUtf8(original.readAll()));

    QStringList rows = PrintedRows(source);
    for (const QString& row : expected) EXPECT_TRUE(rows.contains(row)) << row.toStdString();
    if (*sample.forced) {
      EXPECT_EQ(PrintedRows(source, {"--encoding", sample.forced}), rows);
    }
  }
}

// A UTF-8 source with a line from a legacy code page keeps its UTF-8 lines as written: only the
// stray line is read in the code page, and a lead byte at a line's end never takes the line end.
TEST_F(Encodings, StrayBytesSpoilNothingButThemselves) {
  const QString source = Write("stray.pb", "; Gr\xC3\xBC\xC3\x9F" "e \xC3\xA9t\xC3\xA9\n; caf\xE9\n; line3\n");
  const QStringList rows = PrintedRows(source);
  EXPECT_TRUE(rows.contains(QString::fromUtf8("1;Grüßeété")));
  EXPECT_TRUE(rows.contains(QString::fromUtf8("2;café")));
  EXPECT_TRUE(rows.contains("3;line3"));
  EXPECT_EQ(Run(FOLIVANE_PDF, {"--encoding", "bogus", source, dir_.filePath("bogus.pdf")}), 2);
}

}  // namespace
