// The surface library as the main window runs it: "Open DLL ...", "Reload DLL", "Run library
// in-process", the message and status pane of a library fault, and "Reload when the file
// changes". The main window's part of these is in library_session.cpp; here are the file watch
// and the fault message it uses.
#pragma once

#include <QFileSystemWatcher>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "core/surface/provider.h"

namespace velmor {

// A library file that changed on disk is reloaded once it has been quiet this long.
inline constexpr int kReloadQuietMs = 500;

// The message after a library fault: what happened, in which request, with which inputs; after
// a fault outside a load also that every call answers -1 until "Reload DLL".
QString LibraryFaultMessage(const LibraryFault& fault, bool whileLoading);

// "Reload when the file changes": watches a library file and its directory (a rebuild replaces
// the file, a new one under the old name, which ends a watch on the file itself). Once the file's
// time written or size differs from what it was when the watch began and nothing has changed for
// kReloadQuietMs, it runs `reload`; while `busy` answers true (a sampling pass, a long loop or a
// dialog under way) it looks again after `retryMs`.
class CLibraryFileWatch {
public:
    CLibraryFileWatch(std::function<bool()> busy, std::function<void()> reload, int retryMs);
    CLibraryFileWatch(const CLibraryFileWatch&) = delete;
    CLibraryFileWatch& operator=(const CLibraryFileWatch&) = delete;

    // Watches `path` from now on (its present time and size are the loaded ones); an empty path
    // watches nothing.
    void Watch(const std::string& path);
    void Stop() { Watch(std::string()); }

private:
    void OnFileEvent();
    void OnQuiet();

    std::function<bool()> m_busy;
    std::function<void()> m_reload;
    int m_retryMs;
    QFileSystemWatcher m_watcher;
    QTimer m_quiet;
    std::string m_path;
    std::filesystem::file_time_type m_time{};  // the file as loaded
    std::uintmax_t m_size = 0;
};

}  // namespace velmor
