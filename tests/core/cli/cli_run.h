// Runs the built velmor-cli as a separate process and takes apart what it printed.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace velmor::test {

struct CliRun {
    int status = -1;  // exit status, or -1 when the program did not exit normally
    std::string out;  // stdout
    std::string err;  // stderr
};

inline std::string CliPath() {
#ifdef VELMOR_CLI_PATH
    return VELMOR_CLI_PATH;
#else
    return {};
#endif
}

inline std::string LibPath(const std::string& name) {
    return std::string(VELMOR_LIB_DIR) + "/" + name + ".so";
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// A fresh directory per test, removed with everything in it at the end.
class CliTempDir {
public:
    CliTempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "velmor-cli-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) m_path = pattern;
    }
    ~CliTempDir() {
        std::error_code error;
        if (!m_path.empty()) std::filesystem::remove_all(m_path, error);
    }
    CliTempDir(const CliTempDir&) = delete;
    CliTempDir& operator=(const CliTempDir&) = delete;
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Runs velmor-cli with `args`; stdout and stderr go through files, so any amount of output is
// taken whole. `environment` entries ("NAME=VALUE") go in front of the inherited variables,
// so they win over those of the same name.
inline CliRun RunCli(const std::vector<std::string>& args,
                     const std::vector<std::string>& environment = {}) {
    CliRun run;
    CliTempDir dir;
    const std::string outPath = dir.File("stdout"), errPath = dir.File("stderr");
    std::vector<std::string> words{CliPath()};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    // The child's environment is made here: nothing but exec runs after the fork.
    std::vector<std::string> variables(environment);
    for (char** entry = environ; *entry != nullptr; ++entry) variables.emplace_back(*entry);
    std::vector<char*> envp;
    for (std::string& variable : variables) envp.push_back(variable.data());
    envp.push_back(nullptr);

    const pid_t child = ::fork();
    if (child == 0) {
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0) ::_exit(126);
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    int status = 0;
    if (child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status)) {
        run.status = WEXITSTATUS(status);
    }
    run.out = ReadFile(outPath);
    run.err = ReadFile(errPath);
    return run;
}

// NAME<TAB>VALUE lines as a map (the last line of a name wins) and in order.
struct Lines {
    std::map<std::string, std::string> values;
    std::vector<std::pair<std::string, std::string>> ordered;

    bool Has(const std::string& name) const { return values.count(name) != 0; }
    const std::string& operator[](const std::string& name) const {
        static const std::string kMissing = "<missing>";
        auto it = values.find(name);
        return it == values.end() ? kMissing : it->second;
    }
    double Number(const std::string& name) const {
        return std::strtod((*this)[name].c_str(), nullptr);
    }
};

inline Lines ParseLines(const std::string& text) {
    Lines lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t tab = line.find('\t');
        std::string name = line.substr(0, tab);
        std::string value = tab == std::string::npos ? std::string() : line.substr(tab + 1);
        lines.values[name] = value;
        lines.ordered.emplace_back(std::move(name), std::move(value));
    }
    return lines;
}

// A bad invocation: status 2, nothing on stdout, one line on stderr naming the program.
inline void ExpectRefused(const CliRun& run, const std::string& mentions) {
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("velmor-cli: ", 0), 0u) << run.err;
    ASSERT_FALSE(run.err.empty());
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
    EXPECT_NE(run.err.find(mentions), std::string::npos) << run.err;
}

}  // namespace velmor::test

// Every test needs the program; without the windows it is not built.
#define REQUIRE_CLI()                                                    \
    do {                                                                 \
        if (::velmor::test::CliPath().empty())                           \
            GTEST_SKIP() << "velmor-cli is built only with the windows"; \
    } while (0)
