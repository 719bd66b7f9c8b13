// One loaded shared library: open by path, look exports up, close. The surface provider keeps
// at most one of these for the user's surface library.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace velmor {

class DynamicLibrary {
public:
    DynamicLibrary() = default;
    ~DynamicLibrary();
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // Loads the library at `path`, closing any library held before. Every symbol is resolved
    // at load time and nothing is made visible to later loads. A path without a directory is
    // taken relative to the working directory, never searched for in the system's library
    // directories. A library written for Windows may define DllMain: it is called as the Windows
    // loader calls it (see NotifyDllMain; in the Windows build the loader itself calls it), and
    // FALSE from it fails the load. False when the file is missing or not loadable, or its
    // DllMain refused; Error() then tells why.
    bool Open(const std::string& path);
    // Unloads the library, after DllMain was told (DLL_PROCESS_DETACH) when this was the last
    // opening of it.
    void Close();
    bool IsOpen() const { return m_handle != nullptr; }

    // Address of the export named `name`, or nullptr. The loader also searches the libraries
    // this one depends on.
    void* Symbol(const char* name) const;
    // Address of the export named `name` when the library itself defines it (the address lies in
    // the library's own mapped segments, or on Windows in the DLL's own module), else nullptr: a
    // name that only a library it depends on exports (or a DLL's export forwarded to another
    // DLL) is not found.
    void* OwnSymbol(const char* name) const;
    // Address of the export with the given ordinal when it is the library's own, or nullptr.
    // Shared objects carry no ordinals, so on Linux this always answers "not found".
    void* SymbolByOrdinal(int ordinal) const;

    // The loader's reason for the last failed Open (empty after a successful one).
    const std::string& Error() const { return m_error; }

private:
    // The system's side of Open (dynamic_library_posix.cpp, dynamic_library_win.cpp), for a path
    // that is not empty, with nothing held and no error.
    bool Load(const std::string& path);

    // DllMain(handle, reason, NULL) of the library's own object (the name as C, never one a
    // library it depends on exports), when it defines one: DLL_PROCESS_ATTACH after the first
    // opening of the file in this process and DLL_PROCESS_DETACH before the last one is closed,
    // as the Windows loader counts a library's loads. Returns what DllMain answered (true when
    // there is none). The only place that calls DllMain: a build for Windows, whose loader calls
    // it itself, leaves this out.
    bool NotifyDllMain(std::uint32_t reason);

    void* m_handle = nullptr;
    void* m_dllMain = nullptr;  // the library's own DllMain, or nullptr
    std::string m_error;
    // The address ranges [first, second) the library's own loadable segments occupy.
    std::vector<std::pair<std::uintptr_t, std::uintptr_t>> m_segments;
};

}  // namespace velmor
