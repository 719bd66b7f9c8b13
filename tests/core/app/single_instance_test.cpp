#include "core/app/single_instance.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

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

}  // namespace
}  // namespace velmor
