// The program itself, started as a user starts it under a real X display: --help and
// --version, a file of the command line, and a second start handing its file to the running
// copy (which opens it) and ending. The copies run from a folder of the test's own (their
// settings file beside them) with a runtime and configuration folder of their own, so they
// never meet a developer's running Velmor; each is ended by its process id.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "temp_dir.h"
#include "test_paths.h"
#include "x11_window_titles.h"

namespace velmor::test {
namespace {

namespace fs = std::filesystem;

class VelmorStartTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no display";
        // The program and its helper in a folder of their own: the settings file goes beside.
        for (const char* name : {"velmor", "velmor-surface-host"})
            fs::copy_file(fs::path(VELMOR_PROGRAM_PATH).parent_path() / name, m_dir.File(name));
        fs::create_directories(m_dir.File("run"));
        ::chmod(m_dir.File("run").c_str(), 0700);
        fs::create_directories(m_dir.File("config"));
    }
    void TearDown() override {
        for (pid_t pid : m_started) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
    }
    // Starts the copied program; output into files of the test's folder.
    pid_t Start(std::vector<std::string> args, const std::string& name) {
        args.insert(args.begin(), m_dir.File("velmor"));
        std::vector<char*> argv;
        for (std::string& word : args) argv.push_back(word.data());
        argv.push_back(nullptr);
        const std::string out = m_dir.File(name + ".out"), err = m_dir.File(name + ".err");
        const std::string run = m_dir.File("run"), config = m_dir.File("config");
        const pid_t child = ::fork();
        if (child == 0) {
            ::setenv("XDG_RUNTIME_DIR", run.c_str(), 1);
            ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
            ::setenv("QT_QPA_PLATFORM", "xcb", 1);
            const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (o < 0 || e < 0) ::_exit(126);
            ::dup2(o, 1);
            ::dup2(e, 2);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        return child;
    }
    pid_t StartRunning(std::vector<std::string> args) {
        const pid_t pid = Start(std::move(args), "first");
        if (pid > 0) m_started.push_back(pid);
        return pid;
    }
    // A start that ends by itself: its exit status, or -1.
    int Run(std::vector<std::string> args, const std::string& name) {
        const pid_t pid = Start(std::move(args), name);
        int status = 0;
        for (int i = 0; i < 1200; ++i) {  // two minutes at most
            const pid_t done = ::waitpid(pid, &status, WNOHANG);
            if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        return -1;
    }
    // Waits (up to two minutes) until a window of that title is on the display.
    bool WindowShown(const std::string& title) {
        for (int i = 0; i < 1200; ++i) {
            for (const std::string& shown : X11WindowTitles())
                if (shown == title) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }
    std::string Titles() {
        std::string all;
        for (const std::string& title : X11WindowTitles()) all += "\"" + title + "\" ";
        return all;
    }

    TempDir m_dir;
    std::vector<pid_t> m_started;
};

TEST_F(VelmorStartTest, HelpAndVersionPrintAndEndBadArgumentsAreRefused) {
    EXPECT_EQ(Run({"--help"}, "help"), 0);
    EXPECT_NE(ReadFile(m_dir.File("help.out")).find("Usage: velmor [FILE]"), std::string::npos);
    EXPECT_EQ(Run({"--version"}, "version"), 0);
    EXPECT_EQ(ReadFile(m_dir.File("version.out")), "Velmor 1.0\n");
    EXPECT_EQ(Run({"--frobnicate"}, "bad"), 2);
    EXPECT_NE(ReadFile(m_dir.File("bad.err")).find("unknown option --frobnicate"),
              std::string::npos);
    EXPECT_EQ(Run({"a.so", "b.so"}, "two"), 2);
}

// The first copy opens the session of its command line; second starts hand a library, nothing
// (the window is raised) and another session to it, each ending at once with status 0.
TEST_F(VelmorStartTest, ASecondStartHandsItsFileToTheRunningCopy) {
    std::ofstream(m_dir.File("lens.ini"))
        << "[SESSION]\nVERSION=1\nSOURCE=library\nLIBRARY=" << LibPath("even_asphere")
        << "\n[RECORDS]\nparam[1]=0.001000\n";
    std::ofstream(m_dir.File("plain.ini")) << "[SESSION]\nVERSION=1\nSOURCE=builtin\n";
    ASSERT_GT(StartRunning({m_dir.File("lens.ini")}), 0);
    ASSERT_TRUE(WindowShown("Velmor - even_asphere.so - lens.ini"))
        << Titles() << ReadFile(m_dir.File("first.err"));
    ASSERT_TRUE(fs::exists(m_dir.File("run/UniqueName_Velmor.socket")));

    EXPECT_EQ(Run({LibPath("microlens_array5")}, "second"), 0)
        << ReadFile(m_dir.File("second.err"));
    EXPECT_TRUE(WindowShown("Velmor - microlens_array5.so - lens.ini")) << Titles();
    EXPECT_EQ(Run({}, "raise"), 0) << ReadFile(m_dir.File("raise.err"));
    // A relative path names a file of the second start's folder.
    const fs::path before = fs::current_path();
    fs::current_path(m_dir.Path());
    EXPECT_EQ(Run({"plain.ini"}, "third"), 0) << ReadFile(m_dir.File("third.err"));
    fs::current_path(before);
    EXPECT_TRUE(WindowShown("Velmor - plain.ini")) << Titles();
    EXPECT_NE(ReadFile(m_dir.File("Velmor.ini")).find("FILE1=" + m_dir.File("plain.ini")),
              std::string::npos);
}

}  // namespace
}  // namespace velmor::test
