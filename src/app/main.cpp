// folivane: prints a source handed over by the IDE, or shows the settings window.
#include <QFile>
#include <cstdio>

#include "app/print_road.h"
#include "app/qt_session.h"
#include "app/qt_threads.h"
#include "app/startup.h"
#include "settings/settings_window.h"
#include "base/diagnostics.h"
#include "surface/fonts.h"
#include "surface/print_surface.h"

namespace {

QList<QByteArray> ProgramParameters(int argc, char** argv) {
  QList<QByteArray> parameters;
  for (int i = 1; i < argc; ++i) parameters.append(QByteArray(argv[i]));
  return parameters;
}

void Run(int argc, char** argv) {
  using namespace folivane;
  const QList<QByteArray> parameters = ProgramParameters(argc, argv);
  if (const QByteArray answer = AnswerToShell(parameters); !answer.isEmpty()) {
    std::fwrite(answer.constData(), 1, static_cast<std::size_t>(answer.size()), stdout);
    return;
  }

  // A parameter such as "-platform" stays the IDE's parameter: Qt never sees it.
  const QtSession qt = QtSession::Desktop("folivane");

  RunState state;
  state.request.displayDpi = ReadDisplayResolution();
  state.settingsDirectory = SettingsDirectory();

  ModeEnds ends;
  QtThreads threads;
  ends.printSource = [&threads](RunState& run) {
    // Qt scales the logo on its thread pool; where threads are scarce that would wait for ever.
    threads = StartQtThreads();
    if (threads.started == 0) {
      qCInfo(lcPrint, "no thread can be started (too many processes, or too little memory): nothing printed");
      return;
    }
    if (lcPrint().isInfoEnabled()) {
      if (const QString missing = DescribeCharactersWithoutGlyph(run.request); !missing.isEmpty())
        qCInfo(lcPrint, "%s", qUtf8Printable(missing));
    }
    PrintSurface printer;
    PrintSource(run, printer, SystemLocalClock());
  };
  ends.showSettings = [](RunState& run) { RunSettingsWindow(SettingsFilePath(run.settingsDirectory), run.settings); };
  RunStartup(state, parameters, ends);
  // Qt's pool, and the application's end with it, would wait for the thread that never started.
  if (threads.stranded) EndProcess(0);
}

}  // namespace

int main(int argc, char** argv) {
  // Nothing is ever reported and every run ends with 0, whatever went wrong on the way.
  try {
    Run(argc, argv);
  } catch (...) {
  }
  return 0;
}
