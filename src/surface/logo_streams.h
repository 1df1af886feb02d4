// The logo's image streams deflated at build time, for the PDF writer to find instead of deflating.
#pragma once

#include <span>

#include "pdf/image_stream.h"

namespace folivane {

extern const std::span<const KnownImageStream> kLogoStreams;

}  // namespace folivane
