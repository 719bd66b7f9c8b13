// The entry point of a loaded surface library and the call through it. The program (running a
// library in its own process) and the helper process `velmor-surface-host` both find and call
// the entry this way, so both send every request through the same layout rules.
#pragma once

#include <iterator>

#include "core/surface/dynamic_library.h"
#include "core/surface/records.h"

namespace velmor {

// Entry point names in lookup order; the position is the record version.
inline constexpr const char* kSurfaceEntryNames[] = {
    "UserDefinedSurface",   // record version 0, FIXED_DATA
    "UserDefinedSurface2",  // record version 1, FIXED_DATA2
    "UserDefinedSurface3",  // record version 2, FIXED_DATA3
    "UserDefinedSurface4",  // record version 3, FIXED_DATA4
    "UserDefinedSurface5",  // record version 4, FIXED_DATA5
};
static_assert(std::size(kSurfaceEntryNames) == kLastRecordVersion + 1);

// Why a library without any of the entry points cannot be used.
inline constexpr const char* kNoSurfaceEntryText =
    "none of the entry points UserDefinedSurface .. UserDefinedSurface5";

struct SurfaceEntry {
    void* address = nullptr;  // nullptr: the library has no entry point
    int recordVersion = kRecordVersion0;
};

// The first entry point the library itself defines, by name; failing that the export with
// ordinal 1, taken as record version 0. An entry that a library it depends on defines does not
// count. Asked again on every call: nothing is cached.
SurfaceEntry FindSurfaceEntry(const DynamicLibrary& library);

// Calls the entry with `ud` and the FIXED_DATA area `fd` (kFixedDataAreaSize bytes) read through
// the layout of the entry's version, and returns the entry's result. The area is always as large
// as FIXED_DATA4, the largest version, so a library that stays inside its own record stays
// inside the area.
int CallSurfaceEntry(const SurfaceEntry& entry, USER_DATA* ud, unsigned char* fd);

}  // namespace velmor
