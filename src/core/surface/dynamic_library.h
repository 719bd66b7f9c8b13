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
    // directories. False when the file is missing or not loadable; Error() then tells why.
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return m_handle != nullptr; }

    // Address of the export named `name`, or nullptr. The loader also searches the libraries
    // this one depends on.
    void* Symbol(const char* name) const;
    // Address of the export named `name` when the library itself defines it (the address lies in
    // the library's own mapped segments), else nullptr: a name that only a library it depends
    // on exports is not found.
    void* OwnSymbol(const char* name) const;
    // Address of the export with the given ordinal, or nullptr. Shared objects carry no
    // ordinals, so this always answers "not found" here.
    void* SymbolByOrdinal(int ordinal) const;

    // The loader's reason for the last failed Open (empty after a successful one).
    const std::string& Error() const { return m_error; }

private:
    void* m_handle = nullptr;
    std::string m_error;
    // The address ranges [first, second) the library's own loadable segments occupy.
    std::vector<std::pair<std::uintptr_t, std::uintptr_t>> m_segments;
};

}  // namespace velmor
