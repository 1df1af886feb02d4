#include "surface/fonts.h"
#include "surface/glyph_coverage.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <gtest/gtest.h>

namespace folivane {
namespace {

struct PixelSizeCase {
  int pointSize;
  int dpi;
  int pixelSize;
};

TEST(MakeFont, PixelSizeIsPointSizeAtDisplayResolutionRoundedHalfAwayFromZero) {
  const PixelSizeCase cases[] = {
      {46, 96, 61}, {62, 96, 83}, {51, 96, 68}, {58, 96, 77}, {92, 96, 123}, {46, 120, 77},  // 76.67
      {3, 12, 1},                                                                            // exactly 0.5 goes up
      {9, 4, 1},                                                                             // exactly 0.5 goes up
      {1, 96, 1},                                                                            // 1.33
  };
  for (const auto& c : cases) {
    const Font font = MakeFont(QStringLiteral("Courier New"), c.pointSize, c.dpi);
    EXPECT_TRUE(font.valid) << c.pointSize << " at " << c.dpi;
    EXPECT_EQ(font.pixelSize, c.pixelSize) << c.pointSize << " at " << c.dpi;
    EXPECT_EQ(font.qfont.pixelSize(), c.pixelSize) << c.pointSize << " at " << c.dpi;
  }
}

TEST(MakeFont, NoHeightGivesAnEmptyFont) {
  for (int pointSize : {0, -5}) {
    const Font font = MakeFont(QStringLiteral("Arial"), pointSize, 96);
    EXPECT_FALSE(font.valid) << pointSize;
    EXPECT_EQ(font.pixelSize, 0) << pointSize;
  }
  EXPECT_FALSE(MakeFont(QStringLiteral("Arial"), 46, 0).valid);
  EXPECT_FALSE(MakeFont(QStringLiteral("Arial"), 2000000000, 96).valid);
}

struct FaceCase {
  const char* face;
  const char* family;
  bool bold;
};

TEST(MakeFont, FaceNamesResolveToMetricCompatibleFamilies) {
  const FaceCase cases[] = {
      {"Courier New", "Liberation Mono", false},
      {"Courier New Bold", "Liberation Mono", true},
      {"Arial", "Liberation Sans", false},
      {"Arial Bold", "Liberation Sans", true},
  };
  for (const auto& c : cases) {
    const Font font = MakeFont(QString::fromLatin1(c.face), 46, 96);
    ASSERT_TRUE(font.valid) << c.face;
    const QFontInfo info(font.qfont);
    EXPECT_EQ(info.family(), QString::fromLatin1(c.family)) << c.face;
    EXPECT_EQ(info.bold(), c.bold) << c.face;
    EXPECT_FALSE(info.italic()) << c.face;
  }
}

TEST(MakeFont, InstalledFamilyEndingInBoldKeepsItsName) {
  // "DejaVu Sans Bold" is no family; "DejaVu Sans" is. Only names that are no family are split.
  const Font split = MakeFont(QStringLiteral("DejaVu Sans Bold"), 20, 96);
  EXPECT_EQ(split.qfont.family(), QStringLiteral("DejaVu Sans"));
  EXPECT_EQ(split.qfont.weight(), QFont::Bold);
  const Font plain = MakeFont(QStringLiteral("DejaVu Sans"), 20, 96);
  EXPECT_EQ(plain.qfont.weight(), QFont::Normal);
}

TEST(MakeFont, LatinAdvancesAreWholePixelsThatAddUp) {
  const Font font = MakeFont(QStringLiteral("Courier New"), 46, 96);
  const QFontMetrics metrics(font.qfont);
  const int one = metrics.horizontalAdvance(QLatin1Char('M'));
  EXPECT_EQ(metrics.horizontalAdvance(QString(80, QLatin1Char('M'))), 80 * one);
}

TEST(CharactersWithoutGlyph, NamesEachUncoveredCharacterOnceInCodePointOrder) {
  const QStringList families{QStringLiteral("Courier New"), QStringLiteral("Arial")};
  EXPECT_TRUE(CharactersWithoutGlyph({QStringLiteral("If a\t= 1 : b\x7f"), QString()}, families).isEmpty());
  // Unassigned code points have no glyph anywhere, in and beyond the first plane; a Latin and a
  // Chinese letter, a no-break space and a zero-width space (which needs none) are no loss.
  const QString beyond = QString::fromUcs4(U"\U000E0080", 1);
  const QStringList lines{u"caf\u00e9 \u0378\u4e2d"_qs + beyond, u"\u00a0\u200b\u0378"_qs + beyond + u"\u0377"_qs};
  EXPECT_EQ(CharactersWithoutGlyph(lines, families), (QList<char32_t>{0x378, 0xE0080}));
}

}  // namespace
}  // namespace folivane
