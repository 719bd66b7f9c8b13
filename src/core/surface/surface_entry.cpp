#include "core/surface/surface_entry.h"

namespace velmor {

namespace {

using Entry0 = int (*)(USER_DATA*, FIXED_DATA*);
using Entry1 = int (*)(USER_DATA*, FIXED_DATA2*);
using Entry2 = int (*)(USER_DATA*, FIXED_DATA3*);
using Entry3 = int (*)(USER_DATA*, FIXED_DATA4*);
using Entry4 = int (*)(USER_DATA*, FIXED_DATA5*);

}  // namespace

SurfaceEntry FindSurfaceEntry(const DynamicLibrary& library) {
    for (int version = kRecordVersion0; version <= kLastRecordVersion; ++version) {
        if (void* address = library.OwnSymbol(kSurfaceEntryNames[version])) {
            return {address, version};
        }
    }
    if (void* address = library.SymbolByOrdinal(1)) return {address, kRecordVersion0};
    return {};
}

int CallSurfaceEntry(const SurfaceEntry& entry, USER_DATA* ud, unsigned char* fd) {
    switch (entry.recordVersion) {
        case kRecordVersion1:
            return reinterpret_cast<Entry1>(entry.address)(ud, reinterpret_cast<FIXED_DATA2*>(fd));
        case kRecordVersion2:
            return reinterpret_cast<Entry2>(entry.address)(ud, reinterpret_cast<FIXED_DATA3*>(fd));
        case kRecordVersion3:
            return reinterpret_cast<Entry3>(entry.address)(ud, reinterpret_cast<FIXED_DATA4*>(fd));
        case kRecordVersion4:
            return reinterpret_cast<Entry4>(entry.address)(ud, reinterpret_cast<FIXED_DATA5*>(fd));
        default:
            return reinterpret_cast<Entry0>(entry.address)(ud, reinterpret_cast<FIXED_DATA*>(fd));
    }
}

}  // namespace velmor
