// Start-up and dispatch: settings first, then printing or the settings window.
#pragma once

#include <functional>

#include <QStringList>

#include "app/run_state.h"

namespace folivane {

// The ends of the two modes, apart so that the start-up order can be checked without a printer
// or a window.
struct ModeEnds {
  std::function<void(RunState&)> printSource;  // called only when the source holds a line
  std::function<void(RunState&)> showSettings;
};

// The IDE hands over the copy, the source and the selection: three parameters, the last maybe empty.
inline constexpr qsizetype kIdeParameterCount = 3;

// Loads the settings from state.settingsDirectory, then prints when any parameter is given (even
// an empty one) and shows the settings otherwise. Parameters are the platform's own
// bytes: file calls use them as they are, and only texts shown or parsed are decoded. The file
// named first is deleted once read only when all three of the IDE's parameters are there: a
// person who names a file to print keeps it.
void RunStartup(RunState& state, const QList<QByteArray>& parameters, const ModeEnds& ends);

// What a person asking from a shell gets: the usage for a lone "--help", the version for a lone
// "--version", to be written to standard output; empty for every other command line.
QByteArray AnswerToShell(const QList<QByteArray>& parameters);

}  // namespace folivane
