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

// The third status pane after a load that failed, while the built-in surface answers in the
// library's place: "Library failed to load: SIGBUS in library load; the built-in surface
// answers".
QString LibraryLoadFailedText(const QString& reason);

// A library file's time written and size as a load found them (`exists` false: no file).
struct LibraryFileStamp {
    bool exists = false;
    std::filesystem::file_time_type time{};
    std::uintmax_t size = 0;
    bool operator==(const LibraryFileStamp&) const = default;
};
LibraryFileStamp StampOfLibraryFile(const std::string& path);

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
    // Watches `path` as it was when it was loaded: a file that has changed since (while the
    // load ran or its message was open) is reloaded once quiet, as a change seen now would be.
    void Watch(const std::string& path, const LibraryFileStamp& loaded);
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
    LibraryFileStamp m_loaded;  // the file as loaded
};

}  // namespace velmor
