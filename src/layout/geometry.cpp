#include "layout/geometry.h"

#include "base/rounding.h"

#include <algorithm>
#include <cmath>

namespace folivane {

LayoutScale ComputeLayoutScale(int printableWidth, int printableHeight) {
  LayoutScale scale;
  scale.printableWidth = printableWidth;
  scale.printableHeight = printableHeight;
  // A negative size from a broken driver must not yield a negative factor.
  scale.horizontalFactor = printableWidth > 0 ? printableWidth / kGridWidth : 0;
  scale.verticalFactor = printableHeight > 0 ? printableHeight / kGridHeight : 0;
  return scale;
}

bool IsUsableScale(const LayoutScale& scale) { return scale.horizontalFactor > 0 && scale.verticalFactor > 0; }

SizeProfile SelectProfile(FontSize fontSize) { return fontSize == FontSize::Large ? kLargeProfile : kRegularProfile; }

int ScaledWrapLimit(const SizeProfile& profile, const LayoutScale& scale) {
  // Split into whole multiples of the reference factor and the rest, so that every product stays
  // inside 32 bits for any factor a 32-bit printable width gives; the result equals the plain
  // wrapLimit x factor / 23 rounded down.
  const int factor = std::max(scale.horizontalFactor, 0);
  const int whole = factor / kReferenceHorizontalFactor;
  const int rest = factor % kReferenceHorizontalFactor;
  return profile.wrapLimit * whole + profile.wrapLimit * rest / kReferenceHorizontalFactor;
}

int FontPointSize(float sizeFactor, int horizontalFactor) {
  // volatile keeps the product a true 32-bit float even where the compiler could widen it.
  volatile float product = sizeFactor * static_cast<float>(horizontalFactor);
  return RoundHalfToEven(product);
}

JobFontSizes ComputeFontSizes(const SizeProfile& profile, const LayoutScale& scale) {
  const int factor = scale.horizontalFactor;
  return JobFontSizes{FontPointSize(profile.bodyFontFactor, factor), FontPointSize(kBannerFontFactor, factor),
                      FontPointSize(kFooterFontFactor, factor), FontPointSize(kVersionFontFactor, factor),
                      FontPointSize(kFileNameFontFactor, factor)};
}

DevicePoint ToDevice(const LayoutScale& scale, int layoutX, int layoutY) {
  return DevicePoint{(layoutX + scale.horizontalOffset) * scale.horizontalFactor,
                     (layoutY + scale.verticalOffset) * scale.verticalFactor};
}

int ToDeviceWidth(const LayoutScale& scale, int layoutWidth) { return layoutWidth * scale.horizontalFactor; }

int ToDeviceHeight(const LayoutScale& scale, int layoutHeight) { return layoutHeight * scale.verticalFactor; }

}  // namespace folivane
