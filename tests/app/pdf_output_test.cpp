// folivane-pdf end to end: the words of its PDF, recovered with pdftotext -bbox, sit where the
// layout puts them (device x = xMin x 600 / 72 - 99 on the A4 600 dpi target).
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSizeF>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cmath>

namespace {

struct Word {
  bool operator==(const Word&) const = default;
  QString text;
  double x = 0;  // device pixels from the printable area's left edge
  double right = 0;
  double y = 0;  // device pixels from the printable area's top edge
};
using Page = QList<Word>;

double DeviceX(double points) { return points * 600.0 / 72.0 - 99.0; }
double DeviceY(double points) { return points * 600.0 / 72.0 - 119.0; }

// Every case runs on both engines: the PDF writer of our own and Qt's.
class PdfOutputTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    if (QStandardPaths::findExecutable(u"pdftotext"_qs).isEmpty()) GTEST_SKIP() << "pdftotext missing";
  }

  QString Source(int lines) {
    QByteArray text;
    for (int i = 1; i <= lines; ++i) text += "Row" + QByteArray::number(i) + " = " + QByteArray::number(i * 7) + "\n";
    text += "; IDE Options = PureBasic 6.10 LTS\n; Folding = -\n";
    const QString path = dir_.filePath(u"listing.pb"_qs);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    return path;
  }

  // Runs folivane-pdf with the system paper `paperSize` and reads back its pages; empty when it
  // failed.
  QList<Page> Print(const QString& source, const QStringList& options, const QString& paperSize = u"a4"_qs) {
    const QString pdf = dir_.filePath(u"out.pdf"_qs);
    QProcess renderer;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"PAPERSIZE"_qs, paperSize);
    renderer.setProcessEnvironment(environment);
    renderer.start(FOLIVANE_PDF, options + QStringList{u"--engine"_qs, QString::fromLatin1(GetParam()),
                                                       u"--clock"_qs, u"2027-03-01T14:05:09"_qs,
                                                       u"--source-name"_qs, u"/work/Tool.pb"_qs, source, pdf});
    if (!renderer.waitForFinished(60000)) return {};
    exitCode_ = renderer.exitCode();
    if (exitCode_ != 0) return {};
    QProcess extract;
    extract.start(u"pdftotext"_qs, {u"-bbox"_qs, pdf, u"-"_qs});
    if (!extract.waitForFinished(60000)) return {};
    const QString html = QString::fromUtf8(extract.readAllStandardOutput());

    QList<Page> pages;
    static const QRegularExpression tag(
        uR"re(<page width="([\d.]+)" height="([\d.]+)"|<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="[\d.]+">([^<]*)</word>)re"_qs);
    for (auto match = tag.globalMatch(html); match.hasNext();) {
      const auto m = match.next();
      if (m.captured(0).startsWith(u"<page ")) {
        pages.append(Page());
        pageSize_ = QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble());
      } else if (!pages.isEmpty()) {
        pages.last().append(Word{m.captured(6), DeviceX(m.captured(3).toDouble()),
                                 DeviceX(m.captured(5).toDouble()), DeviceY(m.captured(4).toDouble())});
      }
    }
    return pages;
  }

  static const Word* Find(const Page& page, const QString& text) {
    for (const Word& word : page)
      if (word.text == text) return &word;
    return nullptr;
  }

  QTemporaryDir dir_;
  int exitCode_ = -1;
  QSizeF pageSize_;  // in points, of the last page read back
};

TEST_P(PdfOutputTest, EveryPageCarriesBannerFooterAndHeaderWhenAskedFor) {
  const QList<Page> pages = Print(Source(150), {u"--font-size"_qs, u"regular"_qs, u"--page-header"_qs, u"every"_qs});
  ASSERT_EQ(pages.size(), 3);  // 70 + 70 + 10 rows
  for (qsizetype i = 0; i < pages.size(); ++i) {
    SCOPED_TRACE(i + 1);
    EXPECT_TRUE(Find(pages[i], u"SOURCE"_qs) && Find(pages[i], u"CODE"_qs));
    EXPECT_TRUE(Find(pages[i], QString::number(i + 1)));
    EXPECT_TRUE(Find(pages[i], u"Tool.pb"_qs));
    EXPECT_TRUE(Find(pages[i], u"March"_qs));
  }
  EXPECT_TRUE(Find(pages[0], u"Row70"_qs));
  EXPECT_TRUE(Find(pages[1], u"Row71"_qs));
  EXPECT_TRUE(Find(pages[2], u"Row150"_qs));
  EXPECT_FALSE(Find(pages[2], u"Folding"_qs));
}

TEST_P(PdfOutputTest, RowsSitOnTheTextAndNumberColumns) {
  const QList<Page> pages = Print(Source(12), {u"--font-size"_qs, u"regular"_qs});
  ASSERT_EQ(pages.size(), 1);
  for (const char* name : {"Row1", "Row9", "Row12"}) {
    const Word* row = Find(pages[0], QString::fromLatin1(name));
    ASSERT_TRUE(row) << name;
    EXPECT_NEAR(row->x, 23 * 23, 3.0) << name;  // text column 23 x factor 23
  }
  // The numbers 9 and 12 end at the number column, 18 x 23.
  for (const Word& word : pages[0]) {
    bool isNumber = false;
    const int n = word.text.toInt(&isNumber);
    if (isNumber && (n == 9 || n == 12) && word.x < 23 * 23) {
      EXPECT_NEAR(word.right, 18 * 23, 4.0) << n;
    }
  }
  // "Page 1" ends at x 192 x 23 = 4416.
  const Word* page = Find(pages[0], u"Page"_qs);
  ASSERT_TRUE(page);
  const Word& pageNumber = pages[0][pages[0].indexOf(*page) + 1];
  EXPECT_EQ(pageNumber.text, u"1"_qs);
  EXPECT_NEAR(pageNumber.right, 4416, 4.0);
  const Word* banner = Find(pages[0], u"SOURCE"_qs);
  ASSERT_TRUE(banner);
  EXPECT_NEAR(banner->x, 13 * 23, 6.0);
}

TEST_P(PdfOutputTest, LargeTextWithHeaderOnTheFirstPageOnly) {
  const QList<Page> pages = Print(Source(150), {u"--font-size"_qs, u"large"_qs, u"--page-header"_qs, u"first"_qs});
  ASSERT_EQ(pages.size(), 3);  // 52 + 58 + 40 rows
  EXPECT_TRUE(Find(pages[0], u"Tool.pb"_qs));
  EXPECT_TRUE(Find(pages[0], u"Row52"_qs));
  EXPECT_FALSE(Find(pages[0], u"Row53"_qs));
  for (qsizetype i = 1; i < pages.size(); ++i) {
    SCOPED_TRACE(i + 1);
    EXPECT_FALSE(Find(pages[i], u"Tool.pb"_qs));
    EXPECT_FALSE(Find(pages[i], u"PureBasic"_qs));
    const Word* banner = Find(pages[i], u"SOURCE"_qs);
    ASSERT_TRUE(banner);
    EXPECT_LT(banner->y, 15 * 26);  // the banner moves up to y 10
  }
  EXPECT_TRUE(Find(pages[1], u"Row53"_qs));
  EXPECT_TRUE(Find(pages[1], u"Row110"_qs));
  EXPECT_TRUE(Find(pages[2], u"Row111"_qs));
}

TEST_P(PdfOutputTest, SelectionPrintsOnlyItsLines) {
  const QList<Page> pages = Print(Source(40), {u"--selection"_qs, u"12x5x20x1"_qs});
  ASSERT_EQ(pages.size(), 1);
  EXPECT_FALSE(Find(pages[0], u"Row11"_qs));
  EXPECT_TRUE(Find(pages[0], u"Row12"_qs));
  EXPECT_TRUE(Find(pages[0], u"Row20"_qs));
  EXPECT_FALSE(Find(pages[0], u"Row21"_qs));
}

TEST_P(PdfOutputTest, PaperFromTheOptionElseFromPapersize) {
  // US Letter: 5100 x 6600 pixels less the margins leave 4902 x 6362, factors 24 and 24.
  const QList<Page> letter = Print(Source(80), {u"--paper"_qs, u"LETTER"_qs});
  ASSERT_EQ(letter.size(), 2);  // 70 rows a page, whatever the paper
  EXPECT_EQ(pageSize_, QSizeF(612, 792));
  EXPECT_TRUE(Find(letter[0], u"Row70"_qs));
  const Word* page = Find(letter[0], u"Page"_qs);
  ASSERT_TRUE(page);
  EXPECT_NEAR(letter[0][letter[0].indexOf(*page) + 1].right, 192 * 24, 4.0);
  for (const Word& word : letter[0]) {
    EXPECT_LE(word.right, 4902) << word.text.toStdString();
    EXPECT_LE(word.y, 6362) << word.text.toStdString();
  }

  ASSERT_EQ(Print(Source(1), {}, u"legal"_qs).size(), 1);
  EXPECT_EQ(pageSize_, QSizeF(612, 1008));
  EXPECT_TRUE(Print(Source(1), {u"--paper"_qs, u"a44"_qs}).isEmpty());
  EXPECT_EQ(exitCode_, 2);
}

INSTANTIATE_TEST_SUITE_P(Engines, PdfOutputTest, ::testing::Values("native", "qt"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
