// How the program runs surface libraries: the [LIBRARY_HOST] section of the settings file.
#pragma once

#include <string>

#include "core/app/settings_file.h"
#include "core/host/guarded_library.h"
#include "core/host/wine_launch.h"

namespace velmor {

inline constexpr const char* kSectionLibraryHost = "LIBRARY_HOST";
inline constexpr const char* kKeyWaitMs = "WAIT_MS";
inline constexpr const char* kKeyTimeoutS = "TIMEOUT_S";
inline constexpr const char* kKeyMemoryMb = "MEMORY_MB";
inline constexpr const char* kKeyReloadOnChange = "RELOAD_ON_CHANGE";
inline constexpr const char* kKeyInProcess = "IN_PROCESS";
inline constexpr const char* kKeyFences = "FENCES";
inline constexpr const char* kKeyAllowProcesses = "ALLOW_PROCESSES";

struct LibraryHostSettings {
    // IN_PROCESS=1: load the library into the program itself (for running the program under a
    // debugger); a fault of the library is then a fault of the program.
    bool inProcess = false;
    // RELOAD_ON_CHANGE=1: reload the library when its file is replaced on disk.
    bool reloadOnChange = true;
    // WAIT_MS=2000, TIMEOUT_S=60, MEMORY_MB=4096, FENCES=1, ALLOW_PROCESSES=0
    LibraryLimits limits;
    std::string helperPath;  // empty: velmor-surface-host beside the executable
    WineLaunch wine;         // how a Windows DLL's helper runs (defaults when empty)
};

// The section's values, each with its default when missing. A wait below 0 counts as 0, a time
// limit below 1 s as 1 s, a memory limit below 0 as none (0).
LibraryHostSettings ReadLibraryHostSettings(const SettingsFile& file);

}  // namespace velmor
