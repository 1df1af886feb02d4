// Page geometry: the 204 x 260 layout grid over the printable area, the two size profiles and font sizes.
#pragma once

#include <QtGlobal>

#include "settings/print_choices.h"

namespace folivane {

inline constexpr int kGridWidth = 204;
inline constexpr int kGridHeight = 260;

// Device pixels per layout unit on each axis, fixed once per job from the printable area.
struct LayoutScale {
  int printableWidth = 0;
  int printableHeight = 0;
  int horizontalFactor = 0;
  int verticalFactor = 0;
  int horizontalOffset = 0;
  int verticalOffset = 0;
};

LayoutScale ComputeLayoutScale(int printableWidth, int printableHeight);

// A factor of 0 (an area narrower than 204 or lower than 260 pixels) collapses every position onto
// the corner, so such a device gets no job at all.
bool IsUsableScale(const LayoutScale& scale);

struct SizeProfile {
  int lineStep = 0;      // layout units of y added before each row
  int top = 0;           // row position before the first row of a page with the full header
  int bottomLimit = 0;   // a row drawn below this ends the page
  int wrapLimit = 0;     // device pixels at kReferenceHorizontalFactor; see ScaledWrapLimit
  int numberColumn = 0;  // right edge of the line numbers, layout units of x
  int textColumn = 0;    // left edge of the row text, layout units of x
  float bodyFontFactor = 0.0f;
};

inline constexpr SizeProfile kRegularProfile{3, 35, 242, 4200, 18, 23, 2.0f};
inline constexpr SizeProfile kLargeProfile{4, 34, 240, 4100, 20, 25, 2.7f};

SizeProfile SelectProfile(FontSize fontSize);

// The horizontal factor of a 600 dpi printer on A4 (a printable width of 4760 pixels), at which
// the profiles' wrap limits hold as they stand.
inline constexpr int kReferenceHorizontalFactor = 23;

// The profile's wrap limit grown with the horizontal factor (wrap limit x factor / 23, rounded
// down), so that a row holds the same characters on every printer as the body font grows with
// the factor. It is compared with measured device widths directly.
int ScaledWrapLimit(const SizeProfile& profile, const LayoutScale& scale);

inline constexpr float kBannerFontFactor = 2.2f;
inline constexpr float kFooterFontFactor = 2.0f;
inline constexpr float kVersionFontFactor = 2.5f;
inline constexpr float kFileNameFontFactor = 4.0f;

// Point size = sizeFactor x horizontalFactor formed and held as a 32-bit float, then rounded to
// the nearest integer with an exact half going to the even neighbour (57.5 -> 58, 62.5 -> 62).
int FontPointSize(float sizeFactor, int horizontalFactor);

struct JobFontSizes {
  int body = 0;
  int banner = 0;
  int footer = 0;
  int version = 0;
  int fileName = 0;
};

JobFontSizes ComputeFontSizes(const SizeProfile& profile, const LayoutScale& scale);

struct DevicePoint {
  int x = 0;
  int y = 0;
};

DevicePoint ToDevice(const LayoutScale& scale, int layoutX, int layoutY);
int ToDeviceWidth(const LayoutScale& scale, int layoutWidth);
int ToDeviceHeight(const LayoutScale& scale, int layoutHeight);

}  // namespace folivane
