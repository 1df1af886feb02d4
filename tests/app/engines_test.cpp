// folivane-pdf's two engines on the bundled sample: the PDF writer of our own must give the page
// that Qt's engine gives, word for word, place for place and nearly pixel for pixel.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

QByteArray RunTool(const QString& program, const QStringList& arguments, int* status = nullptr) {
  QProcess process;
  process.start(program, arguments);
  process.waitForFinished(120000);
  if (status) *status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  return process.readAllStandardOutput();
}

class EnginesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    for (const char* tool : {"pdftotext", "pdftoppm", "qpdf"}) {
      if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) GTEST_SKIP() << tool << " missing";
    }
  }

  QString Print(const QString& engine) {
    const QString pdf = dir_.filePath(engine + u".pdf"_qs);
    int status = -1;
    RunTool(FOLIVANE_PDF, {u"--engine"_qs, engine, u"--clock"_qs, u"2027-03-01T14:05:09"_qs,
                           u"--font-size"_qs, u"regular"_qs, u"--page-header"_qs, u"every"_qs,
                           FOLIVANE_SAMPLE, pdf}, &status);
    EXPECT_EQ(status, 0) << qPrintable(engine);
    return pdf;
  }

  // Words with where they start, in points; the ends differ by the widths a font program gives.
  static QStringList WordPlaces(const QString& pdf) {
    const QString html = QString::fromUtf8(RunTool(u"pdftotext"_qs, {u"-bbox"_qs, pdf, u"-"_qs}));
    static const QRegularExpression word(uR"re(<word xMin="([\d.]+)" yMin="([\d.]+)"[^>]*>([^<]*)<)re"_qs);
    QStringList places;
    for (auto it = word.globalMatch(html); it.hasNext();) {
      const auto m = it.next();
      places.append(u"%1 %2 %3"_qs.arg(m.captured(1).toDouble(), 0, 'f', 2)
                        .arg(m.captured(2).toDouble(), 0, 'f', 2)
                        .arg(m.captured(3)));
    }
    return places;
  }

  QList<QImage> Render(const QString& pdf, const QString& prefix) {
    RunTool(u"pdftoppm"_qs, {u"-r"_qs, u"100"_qs, u"-gray"_qs, pdf, dir_.filePath(prefix)});
    QList<QImage> pages;
    for (const QString& name : QDir(dir_.path()).entryList({prefix + u"-*.pgm"_qs}, QDir::Files, QDir::Name))
      pages.append(QImage(dir_.filePath(name)).convertToFormat(QImage::Format_Grayscale8));
    return pages;
  }

  QTemporaryDir dir_;
};

TEST_F(EnginesTest, SampleReadsTheSameAndPassesQpdfCheck) {
  const QString own = Print(u"native"_qs);
  const QString qt = Print(u"qt"_qs);
  int status = -1;
  RunTool(u"qpdf"_qs, {u"--check"_qs, own}, &status);
  EXPECT_EQ(status, 0);
  const QByteArray ownText = RunTool(u"pdftotext"_qs, {own, u"-"_qs});
  EXPECT_GT(ownText.size(), 1000);
  EXPECT_EQ(ownText, RunTool(u"pdftotext"_qs, {qt, u"-"_qs}));
  const QStringList ownPlaces = WordPlaces(own);
  const QStringList qtPlaces = WordPlaces(qt);
  ASSERT_EQ(ownPlaces.size(), qtPlaces.size());
  for (qsizetype i = 0; i < ownPlaces.size(); ++i) ASSERT_EQ(ownPlaces[i], qtPlaces[i]) << "word " << i;
}

// Both are rasterised by the same renderer; edges of glyphs may shade a few grey levels apart
// (anti-aliasing of outlines from two font programs), nothing more.
TEST_F(EnginesTest, SamplePagesLookTheSameAt100Dpi) {
  const QList<QImage> own = Render(Print(u"native"_qs), u"own"_qs);
  const QList<QImage> qt = Render(Print(u"qt"_qs), u"qt"_qs);
  ASSERT_FALSE(own.isEmpty());
  ASSERT_EQ(own.size(), qt.size());
  constexpr int kShade = 4;  // grey levels of 255
  for (qsizetype page = 0; page < own.size(); ++page) {
    ASSERT_EQ(own[page].size(), qt[page].size());
    qint64 differing = 0;
    for (int y = 0; y < own[page].height(); ++y) {
      const uchar* a = own[page].constScanLine(y);
      const uchar* b = qt[page].constScanLine(y);
      for (int x = 0; x < own[page].width(); ++x) differing += std::abs(a[x] - b[x]) > kShade;
    }
    const double share = double(differing) / (qint64{own[page].width()} * own[page].height());
    EXPECT_LE(share, 0.005) << "page " << page + 1;
  }
}

}  // namespace
