#include "app/print_road.h"

namespace folivane {

void PrintSource(RunState& state, DrawingSurface& surface, LocalClock clock) {
  state.request.fontSize = state.settings.FontSize != 0 ? FontSize::Regular : FontSize::Large;
  state.request.headerPlacement =
      state.settings.PageHeader != 0 ? HeaderPlacement::EveryPage : HeaderPlacement::FirstPage;
  state.request.clock = std::move(clock);
  RunPrintDriver(surface, state.request);
}

}  // namespace folivane
