// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/LocalDestination.h"
#include "platform/Beneath.h"

#include "support/TestTree.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using stowmere::backup::DestinationKind;
using stowmere::backup::FolderHandle;
using stowmere::backup::LocalDestination;
using stowmere::backup::RunLockResult;
using stowmere::backup::VersionPlace;
using stowmere::backup::WriteRequest;
using stowmere::files::BeneathMethod;
using stowmere::testing::TestTree;

namespace {

/// Runs each case with openat2 and again with the name-by-name walk of older kernels.
class LocalDestinationTest : public ::testing::TestWithParam<BeneathMethod> {
protected:
    void SetUp() override { stowmere::files::setBeneathMethod(GetParam()); }
    void TearDown() override { stowmere::files::setBeneathMethod(BeneathMethod::Automatic); }

    std::unique_ptr<LocalDestination> open()
    {
        std::error_code error;
        auto destination = LocalDestination::open(tree.path("dest"), error);
        EXPECT_TRUE(destination) << error.message();
        return destination;
    }

    TestTree tree;
};

} // namespace

TEST_P(LocalDestinationTest, NothingIsReachedThroughALinkBelowTheDestination)
{
    tree.file("dest/a/b/file.txt", "copy");
    tree.file("victim/secret.txt", "theirs");
    std::filesystem::create_directory_symlink(tree.path("victim"), tree.path("dest/a/link"));
    auto destination = open();
    std::error_code error;
    EXPECT_TRUE(destination->openFolder("a/b", error)) << error.message();
    for (const char* escape : {"a/link", "a/link/", "a/../../victim", "../victim", "/tmp", "a/b/../../.."}) {
        EXPECT_FALSE(destination->openFolder(escape, error)) << escape;
        EXPECT_TRUE(error) << escape;
    }
    const FolderHandle a = destination->openFolder("a", error);
    ASSERT_TRUE(a);
    EXPECT_FALSE(destination->openFolder(a, "link", error));
    EXPECT_FALSE(destination->openFile(a, "link", error));

    // A link where a folder is to be made gives way to a real folder; the place it led to
    // is untouched.
    bool created = false;
    const FolderHandle made = destination->makeFolder(a, "link", 0755, created, error);
    ASSERT_TRUE(made) << error.message();
    EXPECT_TRUE(created);
    EXPECT_EQ(destination->status(a, "link").kind, DestinationKind::Folder);
    EXPECT_EQ(tree.read("victim/secret.txt"), "theirs");

    // Removing a tree that holds a link removes the link, never what it leads to.
    std::filesystem::create_directory_symlink(tree.path("victim"), tree.path("dest/a/b/inner"));
    EXPECT_FALSE(destination->remove(a, "b"));
    EXPECT_FALSE(tree.exists("dest/a/b"));
    EXPECT_EQ(tree.read("victim/secret.txt"), "theirs");
}

TEST_P(LocalDestinationTest, APathLongerThanTheSystemLimitIsReachedNameByName)
{
    tree.folder("dest");
    auto destination = open();
    std::error_code error;
    FolderHandle folder = destination->root();
    const std::string name(200, 'n');
    std::string relative;
    for (int depth = 0; depth < 25; ++depth) {
        bool created = false;
        folder = destination->makeFolder(folder, name, 0755, created, error);
        ASSERT_TRUE(folder) << depth << ": " << error.message();
        relative += (relative.empty() ? "" : "/") + name;
    }
    ASSERT_GT(relative.size(), 4096U);
    EXPECT_TRUE(destination->openFolder(relative, error)) << error.message();
    const std::string source = tree.file("source.txt", "deep");
    auto writer = destination->writer();
    WriteRequest request;
    request.folder = folder;
    request.name = "file.txt";
    request.source = source;
    EXPECT_TRUE(writer->write(request).succeeded());
    EXPECT_EQ(destination->status(folder, "file.txt").size, 4U);
    EXPECT_FALSE(destination->remove(destination->root(), name));
}

TEST_P(LocalDestinationTest, AReplacedCopyIsKeptOnlyOnceTheNewOneIsComplete)
{
    tree.file("dest/file.txt", "old copy");
    tree.folder("dest/kept");
    const std::string source = tree.file("source.txt", "new copy");
    auto destination = open();
    std::error_code error;
    const FolderHandle kept = destination->openFolder("kept", error);
    ASSERT_TRUE(kept);
    auto writer = destination->writer();
    WriteRequest request;
    request.folder = destination->root();
    request.name = "file.txt";
    request.source = source;
    bool asked = false;
    request.keepReplaced = [&](std::error_code&) -> std::optional<VersionPlace> {
        asked = true;
        // The new copy is complete by now: the old one is still under its name.
        EXPECT_EQ(tree.read("dest/file.txt"), "old copy");
        return VersionPlace{kept, "file.txt"};
    };
    ASSERT_TRUE(writer->write(request).succeeded());
    EXPECT_TRUE(asked);
    EXPECT_EQ(tree.read("dest/file.txt"), "new copy");
    EXPECT_EQ(tree.read("dest/kept/file.txt"), "old copy");

    // A copy that cannot be kept leaves the old one where it was.
    tree.file("source.txt", "newest");
    request.keepReplaced = [&](std::error_code& failure) -> std::optional<VersionPlace> {
        failure = std::make_error_code(std::errc::no_space_on_device);
        return std::nullopt;
    };
    const auto outcome = writer->write(request);
    EXPECT_FALSE(outcome.succeeded());
    EXPECT_TRUE(outcome.keepFailed);
    EXPECT_EQ(tree.read("dest/file.txt"), "new copy");
    EXPECT_EQ(tree.countStartingWith("dest", ".stowmere-tmp-"), 0U);
}

TEST_P(LocalDestinationTest, TheRunLockIsNeverTakenThroughALink)
{
    tree.folder("dest");
    const std::string elsewhere = tree.path("created-elsewhere");
    std::filesystem::create_symlink(elsewhere, tree.path("dest/.stowmere-run.lock"));
    auto destination = open();
    std::error_code error;
    EXPECT_EQ(destination->takeRunLock(error), RunLockResult::Failed);
    EXPECT_EQ(error.value(), ELOOP);
    EXPECT_FALSE(tree.exists("created-elsewhere"));

    std::filesystem::remove(tree.path("dest/.stowmere-run.lock"));
    EXPECT_EQ(destination->takeRunLock(error), RunLockResult::Taken);
    auto second = open();
    EXPECT_EQ(second->takeRunLock(error), RunLockResult::Busy);
    destination->releaseRunLock();
    EXPECT_EQ(second->takeRunLock(error), RunLockResult::Taken);
}

INSTANTIATE_TEST_SUITE_P(Beneath, LocalDestinationTest,
                         ::testing::Values(BeneathMethod::Automatic, BeneathMethod::ComponentWalk),
                         [](const auto& info) {
                             return info.param == BeneathMethod::Automatic ? std::string("Openat2")
                                                                           : std::string("ComponentWalk");
                         });
