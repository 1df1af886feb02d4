#include <gtest/gtest.h>

#include "layout/geometry.h"

namespace folivane {
namespace {

struct ScaleCase {
  int width;
  int height;
  int horizontalFactor;
  int verticalFactor;
};

TEST(LayoutScaleTest, FactorsAreWholeDivisionsOfThePrintableArea) {
  const ScaleCase cases[] = {
      {4760, 6779, 23, 26}, {2400, 3200, 11, 12}, {204, 260, 1, 1}, {407, 519, 1, 1}, {203, 6779, 0, 26},
      {4760, 259, 23, 0},   {0, 0, 0, 0},         {-500, -800, 0, 0},
  };
  for (const ScaleCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
    const LayoutScale scale = ComputeLayoutScale(c.width, c.height);
    EXPECT_EQ(scale.printableWidth, c.width);
    EXPECT_EQ(scale.printableHeight, c.height);
    EXPECT_EQ(scale.horizontalFactor, c.horizontalFactor);
    EXPECT_EQ(scale.verticalFactor, c.verticalFactor);
    EXPECT_EQ(scale.horizontalOffset, 0);
    EXPECT_EQ(scale.verticalOffset, 0);
    EXPECT_EQ(IsUsableScale(scale), c.horizontalFactor > 0 && c.verticalFactor > 0);
  }
}

TEST(LayoutScaleTest, GridCornerAndBoxesMapByTheFactors) {
  const LayoutScale scale = ComputeLayoutScale(4760, 6779);
  const DevicePoint corner = ToDevice(scale, 204, 260);
  EXPECT_EQ(corner.x, 4692);
  EXPECT_EQ(corner.y, 6760);
  const DevicePoint logo = ToDevice(scale, 165, 10);
  EXPECT_EQ(logo.x, 3795);
  EXPECT_EQ(logo.y, 260);
  EXPECT_EQ(ToDeviceWidth(scale, 180), 4140);
  EXPECT_EQ(ToDeviceHeight(scale, 4), 104);
}

TEST(SizeProfileTest, WrapLimitGrowsWithTheHorizontalFactor) {
  const struct {
    int horizontalFactor;
    int regular;
    int large;
  } cases[] = {
      {23, 4200, 4100},  // 600 dpi: the limits as they stand
      {46, 8400, 8200},  // 1200 dpi
      {11, 2008, 1960},  // rounded down from 2008.7 and 1960.9
      {0, 0, 0},
      {10526880, 1922299826, 1876530782},  // the factor of the widest 32-bit area, without overflow
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.horizontalFactor);
    LayoutScale scale;
    scale.horizontalFactor = c.horizontalFactor;
    EXPECT_EQ(ScaledWrapLimit(kRegularProfile, scale), c.regular);
    EXPECT_EQ(ScaledWrapLimit(kLargeProfile, scale), c.large);
  }
}

TEST(FontSizeTest, HeldFloatRoundsHalfToEven) {
  const struct {
    int horizontalFactor;
    FontSize fontSize;
    JobFontSizes sizes;
  } cases[] = {
      {23, FontSize::Regular, {46, 51, 46, 58, 92}},  // 50.6 -> 51, 57.5 -> 58
      {23, FontSize::Large, {62, 51, 46, 58, 92}},  // 62.1 -> 62
      {25, FontSize::Large, {68, 55, 50, 62, 100}},  // 67.5 -> 68, 62.5 -> 62
      {11, FontSize::Large, {30, 24, 22, 28, 44}},  // 29.7 -> 30, 24.2 -> 24, 27.5 -> 28
      {11, FontSize::Regular, {22, 24, 22, 28, 44}},
      {5, FontSize::Regular, {10, 11, 10, 12, 20}},  // 12.5 -> 12
      {0, FontSize::Regular, {0, 0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "factor " << c.horizontalFactor << " large " << (c.fontSize == FontSize::Large));
    LayoutScale scale;
    scale.horizontalFactor = c.horizontalFactor;
    const JobFontSizes sizes = ComputeFontSizes(SelectProfile(c.fontSize), scale);
    EXPECT_EQ(sizes.body, c.sizes.body);
    EXPECT_EQ(sizes.banner, c.sizes.banner);
    EXPECT_EQ(sizes.footer, c.sizes.footer);
    EXPECT_EQ(sizes.version, c.sizes.version);
    EXPECT_EQ(sizes.fileName, c.sizes.fileName);
  }
}

}  // namespace
}  // namespace folivane
