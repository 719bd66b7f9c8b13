// The edit fields of the main window's column and the state each one shows. One table (in
// field_binding.cpp) names every field with the value it holds, its default, how it is read and
// when it is enabled; reading, writing and enabling the fields all go through it.
#pragma once

#include <QString>
#include <vector>

#include "core/app/session_file.h"
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

// A session's [ANALYSIS] (core/app/session_file.h) from the window: every field as ReadFields
// would read it (into a copy; the state is not changed), the display r range and the cursor
// point, which have no field, the mesh pattern and the check boxes "Ray Trace", "Cursor",
// "Verbose" and "Use Interpreter", in the table's order.
std::vector<SessionEntry> AnalysisEntries(const MainControls& controls, const VelmorState& state);
// A session's [ANALYSIS] into the window: the state back to the window's initial values (its
// mode flags kept) and every field written from it; then, in order, a field's value typed into
// the field (the display z fields, which are not read, into the state too) and the other values
// into the state; then the fields read as ReadFields reads them. The entries are those the
// session reader took (each value reads as its key's kind); "Use Interpreter" is left to the
// caller, and the check boxes and pattern list to show the state.
void ApplyAnalysisEntries(const MainControls& controls, VelmorState& state,
                          const std::vector<SessionEntry>& entries);
// The text a field shows for a value: "%.3f" when that reads back to the same double, else the
// shortest text that does.
QString FieldTextOf(double value);

}  // namespace velmor
