#include "core/host/library_host_settings.h"

namespace velmor {

LibraryHostSettings ReadLibraryHostSettings(const SettingsFile& file) {
    LibraryHostSettings settings;
    LibraryLimits& limits = settings.limits;
    const char* section = kSectionLibraryHost;
    limits.waitMs = file.GetInt(section, kKeyWaitMs, limits.waitMs);
    if (limits.waitMs < 0) limits.waitMs = 0;
    const int timeout = file.GetInt(section, kKeyTimeoutS, static_cast<int>(limits.timeoutSeconds));
    limits.timeoutSeconds = timeout < 1 ? 1 : timeout;
    const int memory = file.GetInt(section, kKeyMemoryMb, static_cast<int>(limits.memoryMb));
    limits.memoryMb = memory < 0 ? 0 : memory;
    limits.fences = file.GetInt(section, kKeyFences, 1) != 0;
    limits.allowProcesses = file.GetInt(section, kKeyAllowProcesses, 0) != 0;
    settings.reloadOnChange = file.GetInt(section, kKeyReloadOnChange, 1) != 0;
    settings.inProcess = file.GetInt(section, kKeyInProcess, 0) != 0;
    return settings;
}

}  // namespace velmor
