// Drawing a text at layout coordinates, left- or right-aligned, on a transparent background.
#pragma once

#include <QString>

#include "layout/geometry.h"
#include "surface/drawing_surface.h"

namespace folivane {

// Alignment kAlignRight (1) makes the text end at x; any other value starts it there.
void PlaceText(DrawingSurface& surface, const LayoutScale& scale, int x, int y, const QString& text, int alignment);

}  // namespace folivane
