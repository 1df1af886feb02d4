// The end of the print road: the source of the run printed through a surface.
#pragma once

#include "app/run_state.h"
#include "layout/print_driver.h"
#include "surface/drawing_surface.h"

namespace folivane {

// The print request for the run's source, its selection and its settings.
PrintRequest MakePrintRequest(const RunState& state, LocalClock clock);

// Runs the print driver on the surface for the run's source.
void PrintSource(RunState& state, DrawingSurface& surface, LocalClock clock);

}  // namespace folivane
