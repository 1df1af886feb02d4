#include "app/startup.h"

#include <QFile>

namespace folivane {

Mode RunStartup(RunState& state, const QList<QByteArray>& parameters, const ModeEnds& ends) {
  state.settings = LoadSettings(SettingsFilePath(state.settingsDirectory));

  if (parameters.isEmpty()) {
    if (ends.showSettings) ends.showSettings(state);
    return Mode::Settings;
  }

  const auto parameter = [&](qsizetype index) { return parameters.value(index); };
  state.tempSourceFile = parameter(0);
  state.sourceFile = parameter(1);
  state.request.sourcePath = QFile::decodeName(state.sourceFile);
  state.request.selection = QFile::decodeName(parameter(2));
  ReadSourceCopy(state.tempSourceFile, state.sourceFile, state.request.source);
  if (!state.request.source.lines.isEmpty() && ends.printSource) ends.printSource(state);
  return Mode::Print;
}

}  // namespace folivane
