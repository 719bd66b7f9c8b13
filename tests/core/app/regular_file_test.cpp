#include "core/app/regular_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "hang_guard.h"
#include "temp_dir.h"

namespace velmor {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TEST(RegularFileTest, InputsAreRegularFilesOpenedForBlockingReads) {
    TempDir dir;
    WriteFile(dir.File("a.txt"), "abc");
    ASSERT_TRUE(test::MakeFifo(dir.File("pipe")));
    const test::HangGuard guard("opening a named pipe");
    long long size = -1;
    std::string reason;
    const int fd = OpenRegularFile(dir.File("a.txt"), &size, &reason);
    ASSERT_GE(fd, 0) << reason;
    EXPECT_EQ(size, 3);
    EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
    ::close(fd);
    for (const std::string& path : {dir.File("pipe"), dir.Path(), std::string("/dev/zero")}) {
        EXPECT_EQ(OpenRegularFile(path, &size, &reason), -1);
        EXPECT_EQ(reason, "not a regular file") << path;
    }
    EXPECT_EQ(OpenRegularFile(dir.File("missing"), &size, &reason), -1);
    EXPECT_EQ(reason, "No such file or directory");
}

// A whole file within its limit is read; anything else gives its error number, its reason and
// no bytes: a missing file, no regular file (without waiting on a pipe), a file over the limit
// and a read that fails (/proc/self/mem is a regular file whose first page cannot be read).
TEST(RegularFileTest, WholeFilesAreReadWithinTheirLimitOrNotAtAll) {
    TempDir dir;
    WriteFile(dir.File("four.txt"), "1234");
    ASSERT_TRUE(test::MakeFifo(dir.File("pipe")));
    const test::HangGuard guard("reading a named pipe");
    std::string bytes = "left over";
    std::string reason;
    EXPECT_EQ(ReadWholeFile(dir.File("four.txt"), 4, &bytes, &reason), 0);
    EXPECT_EQ(bytes, "1234");
    const struct {
        std::string path;
        long long limit;
        int error;
        const char* reason;
    } failures[] = {
        {dir.File("missing"), 100, ENOENT, "No such file or directory"},
        {dir.File("pipe"), 100, EINVAL, "not a regular file"},
        {dir.Path(), 100, EINVAL, "not a regular file"},
        {dir.File("four.txt"), 3, EFBIG, "File too large"},
        {"/proc/self/mem", 100, EIO, "Input/output error"},
    };
    for (const auto& failure : failures) {
        bytes = "left over";
        EXPECT_EQ(ReadWholeFile(failure.path, failure.limit, &bytes, &reason), failure.error)
            << failure.path;
        EXPECT_EQ(reason, failure.reason) << failure.path;
        EXPECT_EQ(bytes, "") << failure.path;
    }
}

TEST(RegularFileTest, OutputsReplaceTheTargetOnlyWhenCommitted) {
    TempDir dir;
    const std::string target = dir.File("out.txt");
    WriteFile(target, "old");
    std::string reason;
    {
        ReplacingFile file;
        ASSERT_TRUE(file.Open(target, &reason)) << reason;
        EXPECT_TRUE(file.Write("new, but never committed"));
    }
    EXPECT_EQ(ReadFile(target), "old");
    ReplacingFile file;
    ASSERT_TRUE(file.Open(target, &reason));
    EXPECT_TRUE(file.Write("12345") && file.WriteAt(1, "ab") && file.Commit(&reason));
    EXPECT_EQ(ReadFile(target), "1ab45");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);

    // A link to nowhere is not followed into a new file; a missing target is fine.
    ASSERT_EQ(::symlink(dir.File("nowhere/x").c_str(), dir.File("dangling").c_str()), 0);
    EXPECT_FALSE(CheckOutputTarget(dir.File("dangling"), &reason));
    EXPECT_EQ(reason, "No such file or directory");
    EXPECT_TRUE(CheckOutputTarget(dir.File("new.txt"), &reason));
    EXPECT_FALSE(ReplaceFileContents(dir.Path(), "x", &reason));
    EXPECT_EQ(reason, "not a regular file");
}

}  // namespace
}  // namespace velmor
