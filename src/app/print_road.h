// The end of the print mode: the source of the run printed through a surface.
#pragma once

#include "app/run_state.h"
#include "surface/drawing_surface.h"

namespace folivane {

// Names the characters of the request that no installed font can draw, which print as empty
// boxes; empty when every character has a glyph.
QString DescribeCharactersWithoutGlyph(const PrintRequest& request);

// Runs the print driver on the surface for the run's request, with the run's settings and clock.
void PrintSource(RunState& state, DrawingSurface& surface, LocalClock clock);

}  // namespace folivane
