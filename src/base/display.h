// Whether this run can show a window: the settings window and the print dialog ask the same.
#pragma once

namespace folivane {

// True in a widget application on a platform with a display; false without an application or
// on the platforms that have none (offscreen, minimal, minimalegl).
bool CanShowWindows();

}  // namespace folivane
