#include "app/startup.h"

#include "app/command_line.h"

namespace folivane {

Road RunStartup(RunState& state, const QStringList& parameters, const RoadEnds& ends) {
  state.settings = LoadSettings(SettingsFilePath(state.settingsDirectory));

  ParameterCursor cursor(parameters);
  if (cursor.Count() == 0) {
    if (ends.showSettings) ends.showSettings(state);
    return Road::Settings;
  }

  state.tempSourcePath = cursor.Fetch();
  state.sourcePath = cursor.Fetch();
  state.selectionText = cursor.Fetch();
  ReadSourceCopy(state.tempSourcePath, state.sourcePath, state.source, CopyDisposal::Delete);
  if (!state.source.lines.isEmpty() && ends.printSource) ends.printSource(state);
  return Road::Print;
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
