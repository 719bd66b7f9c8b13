#include "core/app/single_instance.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>

#include "temp_dir.h"

namespace velmor {
namespace {

using test::TempDir;

// Starts a process that takes the lock in `directory` and holds it until it is killed;
// `got` tells whether it got the lock.
pid_t StartCopy(const std::string& directory, bool* got) {
    int fds[2];
    if (::pipe(fds) != 0) return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        const char answer = AcquireSingleInstance(directory) ? '1' : '0';
        if (::write(fds[1], &answer, 1) != 1) ::_exit(2);
        for (;;) ::pause();
    }
    char answer = 0;
    *got = ::read(fds[0], &answer, 1) == 1 && answer == '1';
    ::close(fds[0]);
    ::close(fds[1]);
    return pid;
}

void Kill(pid_t pid) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

TEST(SingleInstanceTest, SecondCopyIsRefusedUntilTheFirstEnds) {
    TempDir dir;
    bool got = false;
    const pid_t first = StartCopy(dir.Path(), &got);
    ASSERT_GT(first, 0);
    ASSERT_TRUE(got);
    EXPECT_FALSE(AcquireSingleInstance(dir.Path()));
    EXPECT_FALSE(AcquireSingleInstance(dir.Path()));  // a refusal keeps nothing open
    Kill(first);  // the kernel releases the lock of a copy that died
    EXPECT_TRUE(AcquireSingleInstance(dir.Path()));
    EXPECT_TRUE(AcquireSingleInstance(dir.Path()));  // asking again in the same process

    const pid_t second = StartCopy(dir.Path(), &got);  // now this process is the running copy
    ASSERT_GT(second, 0);
    EXPECT_FALSE(got);
    Kill(second);
}

TEST(SingleInstanceTest, LockFileNamesAndPlaces) {
    TempDir dir;
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0700), 0);
    EXPECT_EQ(SingleInstanceLockPath(dir.Path()), dir.Path() + "/UniqueName_Velmor");
    // No place for a lock still runs; a symbolic link planted under its name is not followed.
    EXPECT_TRUE(AcquireSingleInstance(dir.Path() + "/missing"));
    const std::string target = dir.File("elsewhere");
    ASSERT_EQ(::symlink(target.c_str(), dir.File("UniqueName_Velmor").c_str()), 0);
    EXPECT_TRUE(AcquireSingleInstance(dir.Path()));
    EXPECT_FALSE(std::filesystem::exists(target));
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0777), 0);  // shared: the user id goes in the name
    EXPECT_EQ(SingleInstanceLockPath(dir.Path() + "/"),
              dir.Path() + "/UniqueName_Velmor-" + std::to_string(::geteuid()));
}

// The channel of a second start: the running copy's socket (0600, replacing one a crashed copy
// left) takes a forked start's argument whole and confirms it; without a listener the start
// is told no copy takes files.
TEST(SingleInstanceTest, SecondStartHandsItsArgumentToTheRunningCopy) {
    TempDir dir;
    ::chmod(dir.Path().c_str(), 0700);
    std::string reason;
    EXPECT_FALSE(HandToRunningCopy("/tmp/a.so", &reason, dir.Path(), 5));
    EXPECT_NE(reason.find("takes no files"), std::string::npos) << reason;

    // A channel left behind by a copy that is gone.
    const int stale = ListenForSecondStarts(dir.Path());
    ASSERT_GE(stale, 0);
    ::close(stale);
    const int listening = ListenForSecondStarts(dir.Path());
    ASSERT_GE(listening, 0);
    struct stat info {};
    ASSERT_EQ(::stat(SingleInstanceChannelPath(dir.Path()).c_str(), &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    std::string argument;
    EXPECT_FALSE(ReceiveSecondStart(listening, &argument));  // nothing waiting

    const std::string path = "/home/ann/lens work/microlens \xE3\x83\xAC.so";
    for (const std::string& sent : {path, std::string()}) {
        const pid_t child = ::fork();
        if (child == 0) {
            std::string why;
            ::_exit(HandToRunningCopy(sent, &why, dir.Path(), 30) ? 0 : 1);
        }
        // The start waits for the confirmation, which comes once the message is taken.
        bool received = false;
        for (int i = 0; i < 3000 && !received; ++i) {
            received = ReceiveSecondStart(listening, &argument);
            if (!received) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_TRUE(received);
        EXPECT_EQ(argument, sent);
        int status = -1;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    ::close(listening);
}

}  // namespace
}  // namespace velmor
