#include "surface/fonts.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QScreen>
#include <cstdint>

namespace folivane {

namespace {

constexpr int kFallbackDisplayDpi = 96;
constexpr int kPointsPerInch = 72;
const QString kBoldSuffix = QStringLiteral(" Bold");

// number x numerator / denominator with the quotient rounded half away from zero, in 64 bits so
// that the product cannot overflow; -1 for a zero denominator or a quotient outside int.
int MultiplyDivide(int number, int numerator, int denominator) {
  if (denominator == 0) return -1;
  const std::int64_t product = std::int64_t{number} * numerator;
  std::int64_t magnitude = product < 0 ? -product : product;
  const std::int64_t divisor = denominator < 0 ? -std::int64_t{denominator} : denominator;
  magnitude = (magnitude + divisor / 2) / divisor;
  const bool negative = (product < 0) != (denominator < 0);
  const std::int64_t quotient = negative ? -magnitude : magnitude;
  if (quotient > INT32_MAX || quotient < INT32_MIN) return -1;
  return static_cast<int>(quotient);
}

}  // namespace

int ReadDisplayResolution() {
  if (qGuiApp == nullptr) return kFallbackDisplayDpi;
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return kFallbackDisplayDpi;
  const int dpi = qRound(screen->logicalDotsPerInchY());
  return dpi > 0 ? dpi : kFallbackDisplayDpi;
}

Font MakeFont(const QString& faceName, int pointSize, int displayDpi) {
  Font font;
  font.pixelSize = MultiplyDivide(pointSize, displayDpi, kPointsPerInch);
  // A font needs a positive height; a collapsed layout (factor 0) asks for none.
  if (font.pixelSize <= 0) {
    font.pixelSize = 0;
    return font;
  }

  // Face names such as "Arial Bold" name a bold face in their own right on the original
  // platform; fontconfig knows them only as a family plus a weight and would otherwise hand
  // out an unrelated sans-serif.
  QString family = faceName;
  bool bold = false;
  if (faceName.endsWith(kBoldSuffix) && !QFontDatabase::families().contains(faceName)) {
    family = faceName.left(faceName.size() - kBoldSuffix.size());
    bold = true;
  }

  QFont qfont(family);
  qfont.setPixelSize(font.pixelSize);
  qfont.setWeight(bold ? QFont::Bold : QFont::Normal);
  qfont.setItalic(false);
  qfont.setUnderline(false);
  qfont.setStrikeOut(false);
  // Full hinting makes every advance a whole device pixel, so widths of plain text add up.
  qfont.setHintingPreference(QFont::PreferFullHinting);
  // Text is placed advance by advance, as the printer drivers of the original platform do.
  qfont.setKerning(false);
  font.qfont = qfont;
  font.valid = true;
  return font;
}

}  // namespace folivane
