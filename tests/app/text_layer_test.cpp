// What copy and search give in the three engines behind nearly every PDF viewer: poppler
// (pdftotext), MuPDF (mutool) and PDF.js (Firefox), on a source in many scripts.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <map>
#include <vector>

namespace {

QString RunTool(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.start(program, arguments);
  process.waitForFinished(120000);
  EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << qPrintable(program);
  EXPECT_EQ(process.exitCode(), 0) << qPrintable(program) << " " << process.readAllStandardError().constData();
  return QString::fromUtf8(process.readAllStandardOutput());
}

class TextLayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    for (const char* tool : {"pdftotext", "mutool", "node"})
      if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) GTEST_SKIP() << tool << " missing";
    if (!QFile::exists(FOLIVANE_PDFJS_DIR "/node_modules/pdfjs-dist")) GTEST_SKIP() << "pdfjs-dist not installed";
  }

  QString Print(const QString& source, const QString& engine = u"native"_qs) {
    const QString pdf = dir_.filePath(engine + u".pdf"_qs);
    RunTool(FOLIVANE_PDF, {u"--engine"_qs, engine, u"--clock"_qs, u"2027-03-01T14:05:09"_qs, source, pdf});
    return pdf;
  }

  static std::map<QString, QString> Extracted(const QString& pdf) {
    return {{u"pdftotext"_qs, RunTool(u"pdftotext"_qs, {u"-enc"_qs, u"UTF-8"_qs, pdf, u"-"_qs})},
            {u"mutool"_qs, RunTool(u"mutool"_qs, {u"draw"_qs, u"-q"_qs, u"-F"_qs, u"txt"_qs, pdf})},
            {u"pdf.js"_qs, RunTool(u"node"_qs, {FOLIVANE_PDFJS_DIR "/pdf-text.mjs", pdf})}};
  }

  QTemporaryDir dir_;
};

// Left-to-right lines come back exactly; right-to-left and Thai lines, whose order each engine
// makes up for itself, with every letter.
TEST_F(TextLayerTest, EveryScriptReadsBackInEveryEngine) {
  QFile file(FOLIVANE_SAMPLES "/languages.pb");
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
  ASSERT_GE(lines.size(), 11);
  for (const auto& [engine, text] : Extracted(Print(FOLIVANE_SAMPLES "/languages.pb"))) {
    for (const QString& line : lines) {
      const bool visualOrder = line.contains(QRegularExpression(u"[\u0590-\u06FF\u0E00-\u0E7F]"_qs));
      if (!visualOrder) {
        EXPECT_TRUE(text.contains(line)) << qPrintable(engine) << ": " << qPrintable(line);
        continue;
      }
      for (QChar letter : line) {
        if (letter.isSpace()) continue;
        EXPECT_GE(text.count(letter), line.count(letter))
            << qPrintable(engine) << ": " << qPrintable(QString(letter)) << " of " << qPrintable(line);
      }
    }
  }
}

// Fonts are named as font managers name them: the PostScript name behind the subset tag.
TEST_F(TextLayerTest, FontsGoByTheirPostScriptNames) {
  const QString fonts = RunTool(u"pdffonts"_qs, {Print(FOLIVANE_SAMPLES "/languages.pb")});
  EXPECT_TRUE(fonts.contains(QRegularExpression(u"\\+LiberationMono\\s"_qs))) << qPrintable(fonts);
  EXPECT_FALSE(fonts.contains(u"LiberationMono-Regular"_qs)) << qPrintable(fonts);
}

// Glyphs written in one string stand where Qt's own engine draws them, as MuPDF places them:
// it reads widths as whole thousandths of the em.
TEST_F(TextLayerTest, GlyphsStandWhereQtDrawsThem) {
  const QString source = dir_.filePath(u"rows.pb"_qs);
  QFile file(source);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(
      "Debug \"Ti\xe1\xba\xbfng Vi\xe1\xbb\x87t, qu\xe1\xba\xa3n l\xc3\xbd ch\xc6\xb0\xc6\xa1ng tr\xc3\xacnh\"\n");
  file.write(QByteArray(100, 'x') +
             "\n; Gr\xc3\xbc\xc3\x9f"
             "e, caf\xc3\xa9 = 1 + 2 * 3\n");
  file.close();
  auto places = [](const QString& pdf) {
    const QString trace = RunTool(u"mutool"_qs, {u"trace"_qs, pdf});
    static const QRegularExpression glyph(uR"re(<g unicode="[^"]*" glyph="[^"]*" x="([-\d.]+)" y="([-\d.]+)")re"_qs);
    std::multimap<double, double> xByY;
    for (auto it = glyph.globalMatch(trace); it.hasNext();) {
      const auto m = it.next();
      xByY.emplace(m.captured(2).toDouble(), m.captured(1).toDouble());
    }
    return xByY;
  };
  const auto native = places(Print(source));
  const auto qt = places(Print(source, u"qt"_qs));
  ASSERT_EQ(native.size(), qt.size());
  ASSERT_GT(native.size(), 150u);
  std::map<double, std::vector<double>> nativeRows, qtRows;
  for (const auto& [y, x] : native) nativeRows[y].push_back(x);
  for (const auto& [y, x] : qt) qtRows[y].push_back(x);
  ASSERT_EQ(nativeRows.size(), qtRows.size());
  for (auto& [y, xs] : nativeRows) {
    std::vector<double>& expected = qtRows[y];
    std::sort(xs.begin(), xs.end());
    std::sort(expected.begin(), expected.end());
    ASSERT_EQ(xs.size(), expected.size()) << "row at " << y;
    for (std::size_t i = 0; i < xs.size(); ++i)
      EXPECT_NEAR(xs[i], expected[i], 0.01) << "row at " << y << ", glyph " << i;
  }
}

}  // namespace
