// The edit fields of the main window's column and the state each one shows. One table (in
// field_binding.cpp) names every field with the value it holds, its default, how it is read and
// when it is enabled; reading, writing and enabling the fields all go through it.
#pragma once

#include "ui/app/main_layout.h"
#include "ui/app/velmor_state.h"

namespace velmor {

// Every field the user types into, into the state, in this order: analysis x min and max, y min
// and max, "delta 2D" x and y, "delta 3D" x and y, display x min and max, y min and max, n min
// and max, "n1", "n2". A text that does not convert or fit gives the
// field's default, written back with "%f"; a step below kMinimumSampleStep in magnitude becomes
// that step, written back the same way. The display x and y fields show three decimals, so
// reading them rounds those ranges; a display range that would lose all its width keeps its
// value (the n fields then show it again). The display z fields are not read.
void ReadFields(const MainControls& controls, VelmorState& state);
// Every field from the state, "%.3f".
void WriteFields(const MainControls& controls, const VelmorState& state);
// The display x, y, z and n fields from the state, "%.3f".
void ShowDisplayRanges(const MainControls& controls, const VelmorState& state);
// Enables the fields by what the state allows: the display x, y and z fields never (the program
// writes them), the display n fields for a gradient-index surface, "n1" and "n2" in interpreter
// mode, "delta 3D" x and y by the mesh pattern (each equilateral pattern takes one of them);
// the others stay enabled.
void EnableFields(const MainControls& controls, const VelmorState& state);

}  // namespace velmor
