// Rounding of the float sizes: fonts and the logo are sized from a value held as a 32-bit float.
#pragma once

#include <cmath>

namespace folivane {

// The nearest integer, an exact half going to the even neighbour (57.5 -> 58, 62.5 -> 62); 0 for
// NaN, negative values and values beyond int. The float widens to double exactly, so the halfway
// test needs no rounding mode.
inline int RoundHalfToEven(float value) {
  if (!(value >= 0.0f) || value > 2.0e9f) return 0;
  const double held = value;
  const double lower = std::floor(held);
  const double fraction = held - lower;
  const bool up = fraction > 0.5 || (fraction == 0.5 && std::fmod(lower, 2.0) != 0.0);
  return static_cast<int>(up ? lower + 1.0 : lower);
}

}  // namespace folivane
