// Settings from the numbers the settings file keeps (0 for Large and for the first page only), as
// the case tables of the settings tests give them.
#pragma once

#include "settings/settings.h"

namespace folivane {

inline Settings Choices(qint32 fontSize, qint32 pageHeader) {
  Settings settings;
  if (fontSize == 0) settings.fontSize = FontSize::Large;
  if (pageHeader == 0) settings.headerPlacement = HeaderPlacement::FirstPage;
  return settings;
}

}  // namespace folivane
