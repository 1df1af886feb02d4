#include "surface/painter_surface.h"

#include <QFontDatabase>
#include <QRandomGenerator>
#include <gtest/gtest.h>

#include <climits>
#include <iterator>
#include <vector>

#include "painter_pdf_job.h"
#include "surface/fonts.h"
#include "surface/logo.h"

namespace folivane::painter_test {
namespace {

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

}  // namespace
}  // namespace folivane::painter_test
