// Start-up and dispatch: settings first, then the print road or the settings road.
#pragma once

#include <functional>

#include <QStringList>

#include "app/run_state.h"

namespace folivane {

enum class Road { Print, Settings };

// The ends of the two roads, apart so that the start-up order can be checked without a printer
// or a window.
struct RoadEnds {
  std::function<void(RunState&)> printSource;     // called only when the source holds a line
  std::function<void(RunState&)> showSettings;
};

// Loads the settings from state.settingsDirectory, then takes the print road when any parameter
// is given (even an empty one) and the settings road otherwise. Parameters are the platform's own
// bytes: file calls use them as they are, and only texts shown or parsed are decoded.
Road RunStartup(RunState& state, const QList<QByteArray>& parameters, const RoadEnds& ends);

// Makes sure a QGuiApplication can start: without any display the offscreen platform is chosen,
// and an unusable display falls back to it instead of aborting.
void ChooseQtPlatform();

}  // namespace folivane
