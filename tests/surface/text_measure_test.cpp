#include "surface/text_measure.h"

#include <QImage>
#include <gtest/gtest.h>

#include <vector>

namespace folivane {
namespace {

QImage PrinterResolution() {
  QImage device(1, 1, QImage::Format_RGB32);
  device.setDotsPerMeterX(qRound(600 / 0.0254));
  device.setDotsPerMeterY(qRound(600 / 0.0254));
  return device;
}

// A page selects the header's, the footer's and the body's fonts in turn, and measures the same
// texts in each again: every font must keep its own widths, kerning included.
TEST(TextMeasurerTest, FontsSelectedInTurnKeepTheirOwnWidths) {
  const QImage device = PrinterResolution();
  auto font = [](const char* family, int points, bool kerning) {
    QFont made(QString::fromLatin1(family), points);
    made.setKerning(kerning);
    return made;
  };
  const std::vector<QFont> fonts = {font("Arial", 10, true), font("Arial", 10, false), font("Arial", 12, true),
                                    font("Courier New", 10, false)};
  const QString texts[] = {QStringLiteral("AVAWA To Ty"),
                           QStringLiteral("December 08, 2026 - 7:56:53 AM: AVAWA To. Ty, Wo"),
                           QStringLiteral("Page 12")};
  std::vector<int> alone;
  for (const QFont& each : fonts) {
    TextMeasurer fresh;
    fresh.SetDevice(&device);
    fresh.SelectFont(each);
    for (const QString& text : texts) alone.push_back(fresh.MeasureText(text));
  }
  ASSERT_NE(alone[1], alone[4]) << "kerning makes no difference here";

  TextMeasurer shared;
  shared.SetDevice(&device);
  for (int round = 0; round < 3; ++round) {
    for (std::size_t f = 0; f < fonts.size(); ++f) {
      shared.SelectFont(QFont(fonts[f]));
      for (std::size_t t = 0; t < std::size(texts); ++t)
        EXPECT_EQ(shared.MeasureText(texts[t]), alone[f * std::size(texts) + t]) << "font " << f << ", text " << t;
    }
  }
}

}  // namespace
}  // namespace folivane
