// Drawing a text at layout coordinates, left- or right-aligned, on a transparent background.
#pragma once

#include <QString>

#include "layout/geometry.h"
#include "surface/drawing_surface.h"

namespace folivane {

void PlaceText(DrawingSurface& surface, const LayoutScale& scale, int x, int y, const QString& text, Align alignment);

}  // namespace folivane
