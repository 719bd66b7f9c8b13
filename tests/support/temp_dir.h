// The one temporary directory of the tests: a fresh directory per object, removed with
// everything in it at the end; and whole-file reads and writes of bytes.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#ifdef _WIN32
#include <process.h>
#endif
#ifdef QT_CORE_LIB
#include <QString>
#endif

namespace velmor::test {

class TempDir {
public:
    TempDir() {
#ifdef _WIN32
        // No mkdtemp: a name of the process id and a counter, taken when nobody has it.
        static int next = 0;
        const std::filesystem::path folder = std::filesystem::temp_directory_path();
        for (int attempt = 0; attempt < 1000 && m_path.empty(); ++attempt) {
            const std::filesystem::path candidate =
                folder /
                ("velmor-test-" + std::to_string(::_getpid()) + "-" + std::to_string(next++));
            std::error_code error;
            if (std::filesystem::create_directory(candidate, error)) m_path = candidate.string();
        }
        if (m_path.empty()) ADD_FAILURE() << "no temporary directory";
#else
        std::string pattern =
            (std::filesystem::temp_directory_path() / "velmor-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr)
            m_path = pattern;
        else
            ADD_FAILURE() << "no temporary directory";
#endif
    }
    ~TempDir() {
        std::error_code ignored;
        if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const {
        return m_path;
    }
    std::string File(const std::string& name) const {
        return m_path + "/" + name;
    }
#ifdef QT_CORE_LIB
    QString QFilePath(const std::string& name) const {
        return QString::fromStdString(File(name));
    }
#endif

private:
    std::string m_path;
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace velmor::test
