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
}  // namespace folivane::painter_test
