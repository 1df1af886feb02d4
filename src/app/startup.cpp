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

void ChooseQtPlatform() {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
  const QByteArray chosen = qgetenv("QT_QPA_PLATFORM");
  if (!chosen.isEmpty()) {
    // Qt tries the platforms of a list in turn; ending it with offscreen turns a display that
    // cannot be reached into a quiet run instead of an abort.
    if (!chosen.contains("offscreen")) qputenv("QT_QPA_PLATFORM", chosen + ";offscreen");
    return;
  }
  QByteArray list;
  if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) list += "wayland;";
  if (!qEnvironmentVariableIsEmpty("DISPLAY")) list += "xcb;";
  list += "offscreen";
  qputenv("QT_QPA_PLATFORM", list);
#endif
}

}  // namespace folivane
