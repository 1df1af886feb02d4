#include "app/startup.h"

#include <QFile>

namespace folivane {

void RunStartup(RunState& state, const QList<QByteArray>& parameters, const ModeEnds& ends) {
  state.settings = LoadSettings(SettingsFilePath(state.settingsDirectory));

  if (parameters.isEmpty()) {
    if (ends.showSettings) ends.showSettings(state);
    return;
  }

  const auto parameter = [&](qsizetype index) { return parameters.value(index); };
  state.tempSourceFile = parameter(0);
  state.sourceFile = parameter(1);
  state.request.sourcePath = QFile::decodeName(state.sourceFile);
  state.request.selection = QFile::decodeName(parameter(2));
  CopyReading how;
  if (parameters.size() < kIdeParameterCount) how.disposal = CopyDisposal::Keep;
  ReadSourceCopy(state.tempSourceFile, state.sourceFile, state.request.source, how);
  if (!state.request.source.lines.isEmpty() && ends.printSource) ends.printSource(state);
}

QByteArray AnswerToShell(const QList<QByteArray>& parameters) {
  if (parameters.size() != 1) return {};
  if (parameters[0] == "--version") return QByteArray("folivane " FOLIVANE_VERSION "\n");
  if (parameters[0] != "--help") return {};
  return QByteArray(
      "Usage: folivane TEMPFILE FILE SELECTION\n"
      "       folivane FILE\n"
      "       folivane\n"
      "Print PureBasic source code, as an external tool of the PureBasic IDE.\n"
      "\n"
      "With the IDE's three parameters (\"%TEMPFILE\" \"%FILE\" \"%SELECTION\") folivane reads the\n"
      "temporary copy TEMPFILE, deletes it, shows the print dialog and prints the source with the\n"
      "file name of FILE in the header; only the selected lines when SELECTION (start line x start\n"
      "column x end line x end column, e.g. 12x1x20x5) covers more than one place.\n"
      "With fewer parameters it prints the file named first and keeps it.\n"
      "Without parameters it shows the settings window (body text size, page header).\n"
      "\n"
      "  --help     show this help and exit\n"
      "  --version  show the version and exit\n"
      "\n"
      "folivane shows no messages and exits with 0; QT_LOGGING_RULES=\"folivane.*=true\" traces\n"
      "its work on standard error. folivane-pdf prints the same pages to a PDF file.\n");
}

}  // namespace folivane
