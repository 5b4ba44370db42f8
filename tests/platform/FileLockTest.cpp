// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FileLock.h"

#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

using namespace std::chrono_literals;
using stowmere::files::FileLock;
using stowmere::testing::TempFolder;

namespace {

// Whether a child process, with its own open file, can take the lock at once.
bool otherProcessCanLock(const std::string& path)
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(FileLock::acquire(path, 0ms) ? 0 : 1);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

TEST(FileLockTest, ExcludesOtherHoldersUntilReleasedOrDestroyed)
{
    TempFolder folder{"lock"};
    const std::string path = (folder.path() / ".lock").string();
    auto first = FileLock::acquire(path, 0ms);
    ASSERT_TRUE(first);
    EXPECT_FALSE(FileLock::acquire(path, 0ms)) << "a second open file in the same process is refused";
    EXPECT_FALSE(FileLock::acquire(path, 30ms)) << "a bounded wait gives up";
    EXPECT_FALSE(otherProcessCanLock(path));
    first->release();
    EXPECT_TRUE(otherProcessCanLock(path));
    {
        auto second = FileLock::acquire(path, 0ms);
        ASSERT_TRUE(second);
    }
    EXPECT_TRUE(FileLock::acquire(path, 0ms)) << "destroying the holder lets go";
}

TEST(FileLockTest, MissingFolderIsAnErrorNamingTheFile)
{
    TempFolder folder{"lock"};
    const std::string path = (folder.path() / "gone" / ".lock").string();
    try {
        FileLock::acquire(path, 0ms);
        FAIL() << "no error";
    } catch (const std::system_error& error) {
        EXPECT_NE(std::string(error.what()).find(path), std::string::npos);
    }
}
