// Starting the Windows helper `velmor-surface-host.exe` under wine, for a Windows DLL on Linux:
// where wine is, which prefix it runs in (its own, never the user's ~/.wine), the environment
// (no installer dialogs, no debug output, no display: a library's message box fails at once
// instead of waiting for a click), paths in the Windows form, and a wineserver kept running for
// a while so that later starts are fast.
#pragma once

#include <string>
#include <vector>

namespace velmor {

inline constexpr const char* kWindowsHelperExecutableName = "velmor-surface-host.exe";
// The environment variable naming the prefix instead of ~/.cache/Velmor/wine.
inline constexpr const char* kWinePrefixVariable = "VELMOR_WINE_PREFIX";
inline constexpr const char* kWineMissingText =
    "A Windows DLL needs wine to load: install wine (on Debian and Ubuntu: sudo apt-get install "
    "wine wine64), so that wine64 is on PATH or at /usr/lib/wine/wine64";
// How long wine may take to start the helper: the first start in a fresh prefix creates the
// prefix (some 10-20 s). The library time limit does not run meanwhile: no library call is made.
inline constexpr double kWineStartLimitSeconds = 300;
// The wineserver started for the helpers stays this long after the last wine process ended.
inline constexpr int kWineServerLingerSeconds = 120;
// Wine's own start-up needs some data of its own: a smaller data limit is raised to this.
inline constexpr unsigned long long kWineMinimumDataBytes = 256ull << 20;

// How the Windows helper runs. Every field empty: the defaults.
struct WineLaunch {
    // The wine loaders tried in order: a name without '/' is looked up on PATH. Empty: wine64
    // on PATH, then /usr/lib/wine/wine64.
    std::vector<std::string> wineCandidates;
    // The Windows helper. Empty: velmor-surface-host.exe beside the running executable.
    std::string helperPath;
    // The prefix. Empty: $VELMOR_WINE_PREFIX, else ~/.cache/Velmor/wine.
    std::string prefix;
};

// The first candidate that names an executable file, or "" when none does.
std::string FindWine(const std::vector<std::string>& candidates);
std::vector<std::string> DefaultWineCandidates();
std::string DefaultWindowsHelperPath();
// `configured` when set, else $VELMOR_WINE_PREFIX when set, else ~/.cache/Velmor/wine.
std::string WinePrefix(const std::string& configured);
// "/home/a/x.dll" as wine's Windows programs name it: "Z:\home\a\x.dll".
std::string WindowsPathOf(const std::string& unixPath);

// What the helper is started with: the loader, its arguments and its environment (the
// program's own with WINEPREFIX, WINEDLLOVERRIDES and WINEDEBUG set and DISPLAY removed).
struct WineCommand {
    std::string wine;
    std::vector<std::string> arguments;  // the Windows helper, then `helperArguments`
    std::vector<std::string> environment;
};

// Everything needed to start the Windows helper with `helperArguments` (paths already in the
// Windows form): wine found, the prefix folder made when missing, a wineserver started for the
// prefix when none runs. False with *error set (kWineMissingText when wine is not found).
bool PrepareWineCommand(const WineLaunch& launch, const std::vector<std::string>& helperArguments,
                        WineCommand* command, std::string* error);

}  // namespace velmor
