#include "layout/place_text.h"

namespace folivane {

void PlaceText(DrawingSurface& surface, const LayoutScale& scale, int x, int y, const QString& text, Align alignment) {
  DevicePoint device = ToDevice(scale, x, y);
  surface.SetTransparentText();
  if (alignment == Align::Right) device.x -= surface.MeasureText(text);
  surface.PutText(device.x, device.y, text);
}

}  // namespace folivane
