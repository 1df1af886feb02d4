#include "surface/painter_surface.h"

#include <QFontDatabase>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QFile>
#include <gtest/gtest.h>

#include <climits>
#include <iterator>
#include <vector>

#include "surface/fonts.h"
#include "surface/logo.h"

namespace folivane {
namespace {

const QString kJobName = QStringLiteral("PureBasic - Folivane");

// Renders a rectangle of one PDF page (in printable-area pixels) at 600 dpi in 8-bit grey.
QImage Rasterise(const QString& pdf, int page, const QRect& area) {
  const QRect onPage = area.translated(PdfPrintableArea(QPageSize(QPageSize::A4)).topLeft());
  const QString prefix = pdf + QStringLiteral(".crop");
  QProcess process;
  process.start(QStringLiteral("pdftoppm"),
                {QStringLiteral("-r"), QStringLiteral("600"), QStringLiteral("-gray"), QStringLiteral("-f"),
                 QString::number(page), QStringLiteral("-l"), QString::number(page), QStringLiteral("-x"),
                 QString::number(onPage.x()), QStringLiteral("-y"), QString::number(onPage.y()), QStringLiteral("-W"),
                 QString::number(onPage.width()), QStringLiteral("-H"), QString::number(onPage.height()),
                 QStringLiteral("-singlefile"), pdf, prefix});
  if (!process.waitForFinished(60000) || process.exitCode() != 0) return {};
  QImage image(prefix + QStringLiteral(".pgm"));
  return image.convertToFormat(QImage::Format_Grayscale8);
}

QString PdfInfo(const QString& pdf) {
  QProcess process;
  process.start(QStringLiteral("pdfinfo"), {pdf});
  process.waitForFinished(60000);
  return QString::fromUtf8(process.readAllStandardOutput());
}

int Grey(const QImage& image, int x, int y) { return qGray(image.pixel(x, y)); }

int CountPixels(const QImage& image, const QRect& rect, bool (*test)(int)) {
  int count = 0;
  for (int y = rect.top(); y <= rect.bottom(); ++y)
    for (int x = rect.left(); x <= rect.right(); ++x) count += test(Grey(image, x, y));
  return count;
}
bool IsWhite(int grey) { return grey >= 250; }
bool IsInk(int grey) { return grey < 128; }

class PdfSurfaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"pdftoppm", "pdfinfo", "pdftotext"})
      if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
        GTEST_SKIP() << tool << " (poppler-utils) is not installed";
    ASSERT_TRUE(dir_.isValid());
    path_ = dir_.filePath(QStringLiteral("job.pdf"));
    output_.setFileName(path_);
    ASSERT_TRUE(output_.open(QIODevice::WriteOnly));
    surface_ = PainterSurface::ForPdf(output_);
    ASSERT_TRUE(surface_->ShowPrintDialog());
    ASSERT_GT(surface_->OpenJob(kJobName), 0);
    ASSERT_TRUE(surface_->BeginDrawing());
    body_ = MakeFont(QStringLiteral("Courier New"), 46, 96);
  }

  void Finish() {
    surface_->EndDrawing();
    surface_->CloseJob();
    output_.close();
  }

  QTemporaryDir dir_;
  QString path_;
  QFile output_;
  std::unique_ptr<PainterSurface> surface_;
  Font body_;
};

TEST_F(PdfSurfaceTest, PrintableAreaPageSizeAndTitle) {
  EXPECT_EQ(surface_->PrintableWidth(), 4760);
  EXPECT_EQ(surface_->PrintableHeight(), 6779);
  surface_->NextPage();
  Finish();
  const QString info = PdfInfo(path_);
  for (const char* line : {"Page size: +595 x 842 pts \\(A4\\)\n", "Title: +PureBasic - Folivane\n", "Pages: +2\n"})
    EXPECT_TRUE(info.contains(QRegularExpression(QString::fromLatin1(line)))) << line << qPrintable(info);
}

TEST_F(PdfSurfaceTest, FilledBoxCoversExactlyItsPixels) {
  const QRect boxes[] = {
      {1000, 1000, 37, 23}, {1200, 1003, 1, 1}, {1300, 1001, 4692, 2}, {0, 0, 3, 5}, {4757, 6776, 3, 3}};
  for (const QRect& box : boxes) surface_->FillBox(box.x(), box.y(), box.width(), box.height(), kBlack);
  Finish();
  for (const QRect& box : boxes) {
    const QRect around = box.adjusted(-4, -4, 4, 4).intersected(QRect(0, 0, 4760, 6779));
    const QImage image = Rasterise(path_, 1, around);
    ASSERT_FALSE(image.isNull());
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) {
        const bool inside = box.contains(around.topLeft() + QPoint(x, y));
        ASSERT_EQ(Grey(image, x, y), inside ? 0 : 255)
            << "box " << box.x() << "," << box.y() << " pixel " << x << "," << y;
      }
  }
}

TEST_F(PdfSurfaceTest, NothingIsDrawnOutsideThePrintableArea) {
  surface_->FillBox(-50, -50, 5000, 7000, kBlack);
  Finish();
  // Strips across each edge of the printable area, reaching to the edges of the sheet. The
  // rasteriser smooths the clip edge, so the pixels next to it may be grey.
  const QRect area(0, 0, 4760, 6779);
  const QRect clearlyInside = area.adjusted(1, 1, -1, -1);
  const QRect nearEdge = area.adjusted(-1, -1, 1, 1);
  const QRect strips[] = {
      {-99, -119, 4958, 129}, {-99, 6769, 4958, 129}, {-99, -119, 109, 7017}, {4750, -119, 109, 7017}};
  for (const QRect& strip : strips) {
    const QImage image = Rasterise(path_, 1, strip);
    ASSERT_EQ(image.size(), strip.size());
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) {
        const QPoint point = strip.topLeft() + QPoint(x, y);
        if (clearlyInside.contains(point)) {
          ASSERT_EQ(Grey(image, x, y), 0) << point.x() << "," << point.y();
        } else if (!nearEdge.contains(point)) {
          ASSERT_EQ(Grey(image, x, y), 255) << point.x() << "," << point.y();
        }
      }
  }
}

TEST_F(PdfSurfaceTest, FontPixelSizeIsTheEmHeightInDevicePixels) {
  surface_->UseFont(body_);
  surface_->SetForeground(kBlack);
  surface_->SetBackground(kWhite);
  surface_->SetTransparentText();
  surface_->PutText(1000, 1000, QStringLiteral("H"));
  Finish();
  const QImage image = Rasterise(path_, 1, QRect(1000, 1000, 100, 100));
  int top = -1, bottom = -1;
  for (int y = 0; y < image.height(); ++y) {
    if (CountPixels(image, QRect(0, y, image.width(), 1), IsInk) == 0) continue;
    if (top < 0) top = y;
    bottom = y;
  }
  // Liberation Mono's capital height is 0.66 em and its ascent 0.83 em: 40 and 51 pixels at 61.
  ASSERT_GE(top, 0);
  EXPECT_NEAR(bottom - top + 1, 40, 2);
  EXPECT_NEAR(bottom + 1, 51, 2);
}

TEST_F(PdfSurfaceTest, RightAlignedTextEndsAtItsX) {
  surface_->UseFont(body_);
  surface_->SetForeground(kBlack);
  surface_->SetBackground(kWhite);
  surface_->SetTransparentText();
  const QString text = QStringLiteral("Page 12");
  const int end = 4416;
  const int width = surface_->MeasureText(text);
  ASSERT_GT(width, 0);
  EXPECT_EQ(surface_->PutText(end - width, 2000, text), end);
  Finish();
  const QImage image = Rasterise(path_, 1, QRect(end - width - 20, 2000, width + 40, 80));
  int first = -1, last = -1;
  for (int x = 0; x < image.width(); ++x) {
    if (CountPixels(image, QRect(x, 0, 1, image.height()), IsInk) == 0) continue;
    if (first < 0) first = x;
    last = x;
  }
  ASSERT_GE(first, 0);
  EXPECT_GE(first, 20);
  EXPECT_LT(last, 20 + width);
  EXPECT_GT(last, 20 + width - width / 7 / 2);  // the "2" inks most of its cell
}

TEST_F(PdfSurfaceTest, WhiteTextOnABlackBoxLeavesNoWhiteCell) {
  const Font banner = MakeFont(QStringLiteral("Courier New Bold"), 51, 96);
  const QString text = QStringLiteral("SOURCE CODE");
  const QRect box(500, 500, 1500, 200);
  struct Case {
    bool transparent;
    bool expectWhiteCell;
  } cases[] = {{true, false}, {false, true}};
  for (const Case& c : cases) {
    SetUp();
    surface_->FillBox(box.x(), box.y(), box.width(), box.height(), kBlack);
    surface_->UseFont(banner);
    surface_->SetForeground(kWhite);
    surface_->SetBackground(kWhite);
    if (c.transparent) surface_->SetTransparentText();
    const int width = surface_->MeasureText(text);
    surface_->PutText(600, 550, text);
    Finish();
    const QImage image = Rasterise(path_, 1, QRect(600, 550, width, 60));
    // The top rows of the cell lie above every capital: they show the cell's background.
    const int whiteTop = CountPixels(image, QRect(0, 0, width, 4), IsWhite);
    EXPECT_EQ(whiteTop == 4 * width, c.expectWhiteCell) << "transparent " << c.transparent;
    EXPECT_GT(CountPixels(image, image.rect(), IsWhite), width) << "transparent " << c.transparent;
  }
}

TEST_F(PdfSurfaceTest, BoxColourDoesNotChangeTheTextColour) {
  surface_->UseFont(body_);
  surface_->SetTransparentText();
  surface_->SetForeground(kWhite);
  surface_->SetBackground(kBlack);
  surface_->FillBox(1000, 1000, 1000, 100, kBlack);
  surface_->PutText(1010, 1010, QStringLiteral("MMMM"));
  surface_->FillBox(1000, 1200, 1000, 100, kBlack);
  surface_->PutText(1010, 1210, QStringLiteral("MMMM"));
  Finish();
  for (int y : {1010, 1210}) {
    const QImage image = Rasterise(path_, 1, QRect(1010, y, 100, 60));
    EXPECT_GT(CountPixels(image, image.rect(), IsWhite), 500) << "text at " << y;
  }
}

TEST_F(PdfSurfaceTest, FontColoursAndModeSurviveAPageBreak) {
  enum class Setup { kOpaqueWhiteOnBlack, kOpaqueBlackOnWhite, kTransparentWhite };
  struct Case {
    Setup setup;
    bool whiteCell;     // the top rows of the cell on page 2 are white
    bool inkExpected;   // dark pixels in the cell
    bool whiteLetters;  // white pixels inside a dark cell
  };
  const Case cases[] = {{Setup::kOpaqueWhiteOnBlack, false, true, true},
                        {Setup::kOpaqueBlackOnWhite, true, true, false},
                        {Setup::kTransparentWhite, true, false, false}};
  const Font big = MakeFont(QStringLiteral("Courier New"), 92, 96);
  for (const Case& c : cases) {
    SetUp();
    surface_->UseFont(big);
    const bool white = c.setup != Setup::kOpaqueBlackOnWhite;
    surface_->SetForeground(white ? kWhite : kBlack);
    surface_->SetBackground(white ? kBlack : kWhite);
    if (c.setup == Setup::kTransparentWhite) surface_->SetTransparentText();
    surface_->PutText(100, 100, QStringLiteral("page one"));
    surface_->NextPage();
    const QString text = QStringLiteral("MMMM");
    const int width = surface_->MeasureText(text);
    surface_->PutText(1000, 1000, text);
    Finish();
    const QImage image = Rasterise(path_, 2, QRect(1000, 1000, width, 130));
    const int whiteTop = CountPixels(image, QRect(0, 0, width, 4), IsWhite);
    EXPECT_EQ(whiteTop == 4 * width, c.whiteCell) << static_cast<int>(c.setup);
    const int ink = CountPixels(image, image.rect(), IsInk);
    if (c.whiteLetters) {
      EXPECT_GT(CountPixels(image, image.rect(), IsWhite), 1000) << static_cast<int>(c.setup);
    }
    if (c.inkExpected) {
      EXPECT_GT(ink, 1000) << static_cast<int>(c.setup);
    } else {
      EXPECT_EQ(ink, 0) << "white text on white paper leaves the page white";
    }
    // The font carried over: four 123-pixel "M" cells are 4 x 74 pixels wide.
    EXPECT_EQ(width, 4 * 74);
  }
}

TEST_F(PdfSurfaceTest, APageWithEveryOperation) {
  const QImage logo = PrepareLogo(4760);
  const Font footer = MakeFont(QStringLiteral("Arial"), 46, 96);
  surface_->SetTransparentText();
  surface_->FillBox(0, 0, 4692, 260, kBlack);
  surface_->UseFont(MakeFont(QStringLiteral("Courier New Bold"), 51, 96));
  surface_->SetForeground(kWhite);
  surface_->SetBackground(kBlack);
  surface_->PutText(1840, 78, QStringLiteral("SOURCE CODE"));
  surface_->PutImage(logo, 0, 312);
  surface_->PutImage(QImage(), 600, 312);
  surface_->UseFont(body_);
  surface_->SetForeground(kBlack);
  surface_->SetBackground(kWhite);
  const int x = surface_->PutText(575, 988, QStringLiteral("If a > 0 : Debug \"ok\" : EndIf"));
  EXPECT_EQ(x, 575 + surface_->MeasureText(QStringLiteral("If a > 0 : Debug \"ok\" : EndIf")));
  surface_->UseFont(footer);
  surface_->FillBox(0, 6450, 4692, 3, kBlack);
  surface_->PutText(0, 6500, QStringLiteral("07.12.2025 - 06:30:00"));
  Finish();

  // The logo is copied pixel for pixel.
  const QImage drawn = Rasterise(path_, 1, QRect(0, 312, logo.width(), logo.height()));
  ASSERT_EQ(drawn.size(), logo.size());
  long long difference = 0;
  for (int y = 0; y < logo.height(); ++y)
    for (int x2 = 0; x2 < logo.width(); ++x2) difference += std::abs(Grey(drawn, x2, y) - qGray(logo.pixel(x2, y)));
  // The rasteriser places the page grid a third of a pixel off and interpolates images, so
  // edges differ a little; a JPEG copy or a missing or misplaced logo would differ a lot.
  EXPECT_LT(difference / (logo.width() * logo.height()), 6);
  // Nothing where the null image would have gone, beyond the logo.
  const QImage right = Rasterise(path_, 1, QRect(600, 312, 400, 300));
  EXPECT_EQ(CountPixels(right, right.rect(), IsInk), 0);
  const QImage body = Rasterise(path_, 1, QRect(575, 988, 400, 70));
  EXPECT_GT(CountPixels(body, body.rect(), IsInk), 500);
}

TEST_F(PdfSurfaceTest, PlacedGlyphsMatchShapedText) {
  // Transparent text of additive units is drawn from cached advances; opaque text is shaped by
  // drawText. On white paper with a white background both must give the same pixels and text.
  const QString line = QStringLiteral("  Procedure.s Gr\u00FC\u00DFe(\u03A9, \u0416) ; ~{}[]|");
  surface_->UseFont(body_);
  surface_->SetForeground(kBlack);
  surface_->SetBackground(kWhite);
  const int width = surface_->MeasureText(line);
  EXPECT_EQ(surface_->PutText(500, 1000, line), 500 + width);
  surface_->SetTransparentText();
  EXPECT_EQ(surface_->PutText(500, 1200, line), 500 + width);
  surface_->NextPage();
  surface_->PutText(500, 1000, line);
  Finish();
  const QImage shaped = Rasterise(path_, 1, QRect(500, 1000, width, 80));
  const QImage placed = Rasterise(path_, 1, QRect(500, 1200, width, 80));
  ASSERT_FALSE(shaped.isNull());
  EXPECT_GT(CountPixels(placed, placed.rect(), IsInk), 1000);
  EXPECT_TRUE(shaped == placed);

  QProcess process;
  process.start(QStringLiteral("pdftotext"), {QStringLiteral("-f"), QStringLiteral("2"), path_, QStringLiteral("-")});
  ASSERT_TRUE(process.waitForFinished(60000));
  EXPECT_EQ(QString::fromUtf8(process.readAllStandardOutput()).trimmed(), line.trimmed());
}

TEST_F(PdfSurfaceTest, EmptyTextDrawsAndMeasuresNothing) {
  surface_->UseFont(body_);
  surface_->SetForeground(kBlack);
  surface_->SetBackground(kBlack);  // opaque black would show a cell if anything were drawn
  EXPECT_EQ(surface_->MeasureText(QString()), 0);
  EXPECT_EQ(surface_->PutText(1000, 1000, QString()), 1000);
  Finish();
  const QImage image = Rasterise(path_, 1, QRect(990, 990, 100, 100));
  EXPECT_EQ(CountPixels(image, image.rect(), IsInk), 0);
}

TEST_F(PdfSurfaceTest, AdditiveAdvancesAddUpToMeasuredWidths) {
  surface_->UseFont(body_);
  const struct {
    char16_t unit;
    bool additive;
  } units[] = {{u'A', true},
               {u' ', true},
               {u'~', true},
               {u'\u00E9', true},
               {u'\u03A9', true},
               {u'\u0416', true},
               {u'\u2500', true},
               {u'\t', false},
               {u'\0', false},
               {u'\u0301', false},
               {char16_t{0xD83D}, false},
               {char16_t{0xDE00}, false},
               {u'\u4E2D', false},
               {u'\u0628', false},
               {u'\u200D', false},
               {u'\u00AD', false},
               {u'\uE000', false}};
  for (const auto& u : units) EXPECT_EQ(surface_->AdditiveAdvance(u.unit) >= 0, u.additive) << int(u.unit);
  EXPECT_EQ(surface_->AdditiveAdvance(u'M'), surface_->MeasureText(QStringLiteral("M")));

  std::vector<char16_t> additive;
  for (int unit = 0; unit < 0x3000; ++unit)
    if (surface_->AdditiveAdvance(static_cast<char16_t>(unit)) >= 0) additive.push_back(static_cast<char16_t>(unit));
  ASSERT_GT(additive.size(), 500u);
  QRandomGenerator random(20251207);
  for (int round = 0; round < 300; ++round) {
    QString text;
    int sum = 0;
    const int length = 1 + random.bounded(120);
    for (int i = 0; i < length; ++i) {
      const char16_t unit = additive[random.bounded(static_cast<int>(additive.size()))];
      text.append(QChar(unit));
      sum += surface_->AdditiveAdvance(unit);
    }
    ASSERT_EQ(surface_->MeasureText(text), sum) << qPrintable(text);
  }
}

TEST_F(PdfSurfaceTest, AdditiveAdvanceIsOnlyPromisedForFixedPitchFontsWithoutKerning) {
  surface_->UseFont(MakeFont(QStringLiteral("Arial"), 46, 96));
  EXPECT_EQ(surface_->AdditiveAdvance(u'A'), -1);
  Font kerning = body_;
  kerning.qfont.setKerning(true);
  surface_->UseFont(kerning);
  EXPECT_EQ(surface_->AdditiveAdvance(u'A'), -1);
  surface_->UseFont(body_);
  EXPECT_EQ(surface_->AdditiveAdvance(u'A'), 37);
  EXPECT_EQ(surface_->WidestAdvance(), 37);
  EXPECT_EQ(surface_->MeasureText(QString(80, QLatin1Char('M'))), 80 * 37);
}

TEST_F(PdfSurfaceTest, AnEmptyFontKeepsTheCurrentFont) {
  surface_->UseFont(body_);
  const int before = surface_->MeasureText(QStringLiteral("abc"));
  surface_->UseFont(MakeFont(QStringLiteral("Arial"), 0, 96));
  EXPECT_EQ(surface_->MeasureText(QStringLiteral("abc")), before);
}

// Units that the body font has and lacks: CJK and emoji from fallback fonts (or the font's own
// box where the machine has none), marks, joiners, right-to-left and joining scripts.
const char32_t kMixedCharacters[] = {
    U'A',      U'm',          U' ',          U'(',          U')',          U'1',          U'.',
    U'\u00E9', U'\u03A9',     U'\u0416',     U'\u2500',     U'\u4E2D',     U'\u6587',     U'\u3002',
    U'\uFF21', U'\u0301',     U'\u0308',     U'\u20DD',     U'\u200D',     U'\uFE0F',     U'\u00AD',
    U'\u05D0', U'\u05D1',     U'\u0628',     U'\u0644',     U'\u0627',     U'\u0915',     U'\u094D',
    U'\u0937', U'\u0E01',     U'\u0E34',     U'\u2603',     U'\u265E',     U'\u2764',     U'\uFDFD',
    U'\t',     U'\U0001F600', U'\U0001F468', U'\U0001F3FD', U'\U0001F1E9', U'\U0001F1EA', U'\U00020000'};

QString RandomMixedText(QRandomGenerator& random, int length) {
  QString text;
  for (int i = 0; i < length; ++i) {
    // Half plain letters, so that most cuts are additive and most chunks short.
    const char32_t character = random.bounded(2) == 0
                                   ? char32_t(u'a' + random.bounded(26))
                                   : kMixedCharacters[random.bounded(int(std::size(kMixedCharacters)))];
    text.append(QString::fromUcs4(&character, 1));
  }
  return text;
}

// Positions where widths are promised to add up: both neighbouring units are additive.
std::vector<qsizetype> AdditiveCuts(DrawingSurface& surface, const QString& text) {
  std::vector<qsizetype> cuts;
  for (qsizetype i = 1; i < text.size(); ++i)
    if (surface.AdditiveAdvance(text[i - 1].unicode()) >= 0 && surface.AdditiveAdvance(text[i].unicode()) >= 0)
      cuts.push_back(i);
  return cuts;
}

TEST_F(PdfSurfaceTest, WidthsAddUpAtAdditiveCuts) {
  const bool hasCjkFont = QFontDatabase::families(QFontDatabase::SimplifiedChinese).size() > 0;
  RecordProperty("cjk_font", hasCjkFont ? "yes" : "no");
  const Font fonts[] = {body_, MakeFont(QStringLiteral("Courier New"), 10, 96),
                        MakeFont(QStringLiteral("Courier New Bold"), 51, 96)};
  QRandomGenerator random(20251208);
  for (const Font& font : fonts) {
    surface_->UseFont(font);
    EXPECT_EQ(surface_->AdditiveAdvance(u'\u4E2D'), -1);
    EXPECT_EQ(surface_->AdditiveAdvance(u'\u2603'), -1) << "drawn from a fallback font";
    for (int round = 0; round < 400; ++round) {
      const QString text = RandomMixedText(random, 2 + random.bounded(60));
      const std::vector<qsizetype> cuts = AdditiveCuts(*surface_, text);
      if (cuts.empty()) continue;
      const int whole = surface_->MeasureText(text);
      const qsizetype cut = cuts[random.bounded(int(cuts.size()))];
      ASSERT_EQ(whole, surface_->MeasureText(text.left(cut)) + surface_->MeasureText(text.mid(cut)))
          << font.pixelSize << " cut at " << cut << " of " << qPrintable(text);
      // Cut at every additive cut: the chunks add up as well.
      qint64 sum = 0;
      qsizetype from = 0;
      for (qsizetype to : cuts) {
        sum += surface_->MeasureText(text.mid(from, to - from));
        from = to;
      }
      sum += surface_->MeasureText(text.mid(from));
      ASSERT_EQ(whole, sum) << font.pixelSize << " " << qPrintable(text);
    }
  }
}

TEST_F(PdfSurfaceTest, LongTextsMeasureTheirTrueWidth) {
  surface_->UseFont(body_);
  constexpr int kMegabyte = 1 << 20;
  const QString plain(kMegabyte, u'M');
  EXPECT_EQ(surface_->MeasureText(plain), kMegabyte * 37);

  // One chunk of three units near each end; everything else is 37 pixels a unit.
  QString mixed = plain;
  mixed[5] = u'\u4E2D';
  mixed[kMegabyte - 9] = u'\u0301';
  const int shaped =
      surface_->MeasureText(QStringLiteral("M\u4E2DM")) + surface_->MeasureText(QStringLiteral("M\u0301M"));
  EXPECT_EQ(surface_->MeasureText(mixed), (kMegabyte - 6) * 37 + shaped);
  EXPECT_EQ(surface_->MeasureText(mixed),
            surface_->MeasureText(mixed.left(500000)) + surface_->MeasureText(mixed.mid(500000)));

  // A long stretch with no additive cut at all.
  const QString cjk(300000, u'\u4E2D');
  EXPECT_EQ(surface_->MeasureText(cjk), 300000LL * surface_->MeasureText(QStringLiteral("\u4E2D")));

  // 6 million units of a 368-pixel advance are wider than any int.
  surface_->UseFont(MakeFont(QStringLiteral("Courier New"), 460, 96));
  const int advance = surface_->AdditiveAdvance(u'M');
  ASSERT_GT(advance, 300);
  EXPECT_EQ(surface_->MeasureText(QString(5000000, u'M')), 5000000 * advance);
  EXPECT_EQ(surface_->MeasureText(QString(6000000, u'M')), INT_MAX);
}

TEST_F(PdfSurfaceTest, LongTextIsDrawnWhereItBelongs) {
  surface_->UseFont(body_);
  surface_->SetForeground(kBlack);
  surface_->SetBackground(kWhite);
  constexpr int kMegabyte = 1 << 20;
  QString line(kMegabyte, u'x');
  for (int i = 0; i < kMegabyte; i += 3) line[i] = QChar(u'a' + i % 26);
  line[7] = u'\u4E2D';
  line[kMegabyte - 7] = u'\u0301';
  const int width = surface_->MeasureText(line);
  for (bool transparent : {false, true}) {
    if (transparent) surface_->SetTransparentText();
    const int top = transparent ? 2000 : 1000;
    // Left-aligned: starts exactly as its beginning alone does.
    EXPECT_EQ(surface_->PutText(500, top, line), 500 + width);
    surface_->PutText(500, top + 200, line.left(200));
    // Right-aligned at 4000: only its end shows, ending there.
    EXPECT_EQ(surface_->PutText(4000 - width, top + 400, line), 4000);
    surface_->PutText(4000 - surface_->MeasureText(line.right(60)), top + 600, line.right(60));
  }
  Finish();
  for (int top : {1000, 2000}) {
    const QImage whole = Rasterise(path_, 1, QRect(500, top, 4260, 80));
    const QImage start = Rasterise(path_, 1, QRect(500, top + 200, 4260, 80));
    ASSERT_FALSE(whole.isNull());
    EXPECT_TRUE(whole == start) << top;
    const QImage rightAligned = Rasterise(path_, 1, QRect(0, top + 400, 4760, 80));
    const QImage end = Rasterise(path_, 1, QRect(0, top + 600, 4760, 80));
    EXPECT_GT(CountPixels(end, end.rect(), IsInk), 1000);
    const QRect tail(2000, 0, 2760, 80);
    EXPECT_TRUE(rightAligned.copy(tail) == end.copy(tail)) << top;
    EXPECT_EQ(CountPixels(rightAligned, QRect(4001, 0, 759, 80), IsInk), 0) << top;
  }
}

}  // namespace
}  // namespace folivane
