#include "app/single_instance.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "temp_dir.h"

namespace velmor {
namespace {

using test::TempDir;

// A second process that takes the lock in `directory`, reports on `ready` whether it got it,
// and then waits until `release` is closed (or until it is killed).
struct OtherCopy {
    pid_t pid = -1;
    int ready = -1;
    int release = -1;

    explicit OtherCopy(const std::string& directory) {
        int readyPipe[2], releasePipe[2];
        if (::pipe(readyPipe) != 0 || ::pipe(releasePipe) != 0) return;
        pid = ::fork();
        if (pid == 0) {
            ::close(readyPipe[0]);
            ::close(releasePipe[1]);
            const char got = AcquireSingleInstance(directory) ? '1' : '0';
            if (::write(readyPipe[1], &got, 1) != 1) ::_exit(2);
            char unused;
            while (::read(releasePipe[0], &unused, 1) > 0) {
            }
            ::_exit(0);
        }
        ::close(readyPipe[1]);
        ::close(releasePipe[0]);
        ready = readyPipe[0];
        release = releasePipe[1];
    }

    // Whether the other process got the lock.
    bool Acquired() {
        char got = 0;
        return ::read(ready, &got, 1) == 1 && got == '1';
    }

    int Finish(bool kill) {
        if (kill) ::kill(pid, SIGKILL);
        ::close(release);
        ::close(ready);
        int status = 0;
        ::waitpid(pid, &status, 0);
        return status;
    }
};

TEST(SingleInstanceTest, SecondCopyIsRefusedUntilTheFirstEnds) {
    TempDir dir;
    OtherCopy first(dir.Path());
    ASSERT_GT(first.pid, 0);
    ASSERT_TRUE(first.Acquired());
    EXPECT_FALSE(AcquireSingleInstance(dir.Path()));
    EXPECT_FALSE(AcquireSingleInstance(dir.Path()));  // a refusal keeps nothing open
    const int status = first.Finish(false);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    EXPECT_TRUE(AcquireSingleInstance(dir.Path()));
    EXPECT_TRUE(AcquireSingleInstance(dir.Path()));  // asking again in the same process

    // Now this process is the running copy.
    OtherCopy second(dir.Path());
    ASSERT_GT(second.pid, 0);
    EXPECT_FALSE(second.Acquired());
    second.Finish(false);
}

TEST(SingleInstanceTest, KilledCopyReleasesTheLock) {
    TempDir dir;
    OtherCopy first(dir.Path());
    ASSERT_GT(first.pid, 0);
    ASSERT_TRUE(first.Acquired());
    EXPECT_FALSE(AcquireSingleInstance(dir.Path()));
    const int status = first.Finish(true);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_TRUE(AcquireSingleInstance(dir.Path()));
}

TEST(SingleInstanceTest, LockFileNamesAndPlaces) {
    TempDir dir;
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0700), 0);
    EXPECT_EQ(SingleInstanceLockPath(dir.Path()), dir.Path() + "/UniqueName_Velmor");
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0777), 0);  // shared: the user id goes in the name
    EXPECT_EQ(SingleInstanceLockPath(dir.Path() + "/"),
              dir.Path() + "/UniqueName_Velmor-" + std::to_string(::geteuid()));

    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string savedValue = saved ? saved : "";
    ::setenv("XDG_RUNTIME_DIR", dir.Path().c_str(), 1);
    EXPECT_EQ(SingleInstanceLockDirectory(), dir.Path());
    ::setenv("XDG_RUNTIME_DIR", "relative/dir", 1);
    EXPECT_NE(SingleInstanceLockDirectory(), "relative/dir");
    ::setenv("XDG_RUNTIME_DIR", (dir.Path() + "/missing").c_str(), 1);
    EXPECT_NE(SingleInstanceLockDirectory(), dir.Path() + "/missing");
    if (saved) {
        ::setenv("XDG_RUNTIME_DIR", savedValue.c_str(), 1);
    } else {
        ::unsetenv("XDG_RUNTIME_DIR");
    }
}

TEST(SingleInstanceTest, NoPlaceForALockStillRuns) {
    TempDir dir;
    EXPECT_TRUE(AcquireSingleInstance(dir.Path() + "/missing"));
    // A symbolic link planted under the lock's name is not followed.
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0700), 0);
    const std::string target = dir.File("elsewhere");
    ASSERT_EQ(::symlink(target.c_str(), dir.File("UniqueName_Velmor").c_str()), 0);
    EXPECT_TRUE(AcquireSingleInstance(dir.Path()));
    struct stat info {};
    EXPECT_NE(::stat(target.c_str(), &info), 0);
}

}  // namespace
}  // namespace velmor
