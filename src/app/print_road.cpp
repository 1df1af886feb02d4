#include "app/print_road.h"

namespace folivane {

PrintRequest MakePrintRequest(const RunState& state, LocalClock clock) {
  PrintRequest request;
  request.sourceLines = state.source.lines;
  request.sourceText = state.source.text;
  request.ideVersion = state.source.ideVersion;
  request.sourcePath = state.sourcePath;
  request.selection = state.selectionText;
  request.fontSize = state.settings.FontSize;
  request.pageHeader = state.settings.PageHeader;
  request.displayDpi = state.displayDpi;
  request.clock = std::move(clock);
  return request;
}

void PrintSource(RunState& state, DrawingSurface& surface, LocalClock clock) {
  RunPrintDriver(surface, MakePrintRequest(state, std::move(clock)));
}

}  // namespace folivane
