// Font requests for a print job: face names and point sizes turned into fonts of device-pixel height.
#pragma once

#include "surface/drawing_surface.h"

namespace folivane {

// The display's logical dots per inch in y, read once at start-up; 96 when there is no screen.
// Needs a QGuiApplication.
int ReadDisplayResolution();

// A font of the face name whose character height in device pixels is
// pointSize x displayDpi / 72, rounded half away from zero.
Font MakeFont(const QString& faceName, int pointSize, int displayDpi);

}  // namespace folivane
