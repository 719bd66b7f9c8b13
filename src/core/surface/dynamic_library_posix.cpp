// Shared objects through dlopen (Linux and other POSIX systems).
#include <dlfcn.h>
#include <link.h>

#include <cstring>
#include <map>
#include <mutex>

#include "core/app/regular_file.h"
#include "core/surface/dynamic_library.h"

namespace velmor {

namespace {

// DllMain's reasons, as windows.h numbers them.
constexpr std::uint32_t kDllProcessDetach = 0;
constexpr std::uint32_t kDllProcessAttach = 1;

// BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID): int, a pointer, 32-bit unsigned, a pointer.
using DllMainFunction = int (*)(void*, std::uint32_t, void*);

// How many DynamicLibrary objects hold each loaded file (dlopen answers one handle per file).
// Never destroyed: a library may still be closed while the program ends.
struct Openings {
    std::mutex mutex;
    std::map<void*, int> count;
};
Openings& LoadedFiles() {
    static Openings* openings = new Openings;
    return *openings;
}

struct SegmentSearch {
    const link_map* map;
    std::vector<std::pair<std::uintptr_t, std::uintptr_t>>* segments;
};

// Collects the loadable segments of the object whose load bias and name are the link map's.
int CollectSegments(dl_phdr_info* info, size_t, void* data) {
    auto* search = static_cast<SegmentSearch*>(data);
    const char* name = info->dlpi_name != nullptr ? info->dlpi_name : "";
    const char* wanted = search->map->l_name != nullptr ? search->map->l_name : "";
    if (info->dlpi_addr != search->map->l_addr || std::strcmp(name, wanted) != 0) return 0;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& header = info->dlpi_phdr[i];
        if (header.p_type != PT_LOAD) continue;
        const std::uintptr_t start = info->dlpi_addr + header.p_vaddr;
        search->segments->emplace_back(start, start + header.p_memsz);
    }
    return 1;
}

}  // namespace

bool DynamicLibrary::Load(const std::string& path) {
    // dlopen searches the library path for a bare file name; the user chose a file, so a
    // name without a slash means the file in the working directory.
    const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    // dlopen would wait on a named pipe chosen by mistake: only a regular file is loaded.
    const int fd = OpenRegularFile(file, nullptr, &m_error);
    if (fd < 0) return false;
    CloseFile(fd);
    dlerror();
    m_handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (m_handle == nullptr) {
        const char* reason = dlerror();
        m_error = reason != nullptr ? reason : "cannot load the library";
        return false;
    }
    // Where the library itself lies, so that OwnSymbol can tell its exports from those of the
    // libraries it depends on (dlsym searches those too).
    link_map* map = nullptr;
    if (dlinfo(m_handle, RTLD_DI_LINKMAP, &map) == 0 && map != nullptr) {
        SegmentSearch search{map, &m_segments};
        dl_iterate_phdr(CollectSegments, &search);
    }
    m_dllMain = OwnSymbol("DllMain");
    if (!NotifyDllMain(kDllProcessAttach)) {
        // As the Windows loader does: the library is told it goes, then unloaded.
        Close();
        m_error = "its DllMain answered FALSE to DLL_PROCESS_ATTACH";
        return false;
    }
    return true;
}

void DynamicLibrary::Close() {
    if (m_handle != nullptr) {
        NotifyDllMain(kDllProcessDetach);
        dlclose(m_handle);
        m_handle = nullptr;
    }
    m_dllMain = nullptr;
    m_segments.clear();
}

bool DynamicLibrary::NotifyDllMain(std::uint32_t reason) {
    Openings& files = LoadedFiles();
    int openings = 0;
    {
        std::lock_guard<std::mutex> lock(files.mutex);
        int& count = files.count[m_handle];
        openings = reason == kDllProcessAttach ? ++count : --count;
        if (openings == 0) files.count.erase(m_handle);
    }
    const bool first = reason == kDllProcessAttach && openings == 1;
    const bool last = reason == kDllProcessDetach && openings == 0;
    if (m_dllMain == nullptr || !(first || last)) return true;
    return reinterpret_cast<DllMainFunction>(m_dllMain)(m_handle, reason, nullptr) != 0;
}

void* DynamicLibrary::Symbol(const char* name) const {
    if (m_handle == nullptr || name == nullptr) return nullptr;
    return dlsym(m_handle, name);
}

void* DynamicLibrary::OwnSymbol(const char* name) const {
    void* address = Symbol(name);
    if (address == nullptr) return nullptr;
    const auto at = reinterpret_cast<std::uintptr_t>(address);
    for (const auto& [start, end] : m_segments) {
        if (at >= start && at < end) return address;
    }
    return nullptr;
}

void* DynamicLibrary::SymbolByOrdinal(int /*ordinal*/) const {
    // Shared objects export by name only: a function exported by number alone does not exist.
    return nullptr;
}

}  // namespace velmor
