// SPDX-License-Identifier: GPL-3.0-or-later
// The walk and its sinks reach existing copies only through the destination: run here
// against a real folder that the walk knows only by a name no local path has, as a
// destination on another machine would be known.
#include "backup/BackupEngine.h"
#include "backup/CopySink.h"
#include "backup/LocalDestination.h"
#include "backup/PreviewSink.h"
#include "backup/RunLog.h"
#include "backup/Walk.h"

#include "RecordingObserver.h"
#include "support/TestTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>

using namespace stowmere::backup;
using stowmere::testing::RecordingObserver;
using stowmere::testing::TestTree;

namespace {

/// A local folder behind another name, counting the calls that look at copies.
class RenamedDestination final : public Destination {
public:
    RenamedDestination(std::unique_ptr<LocalDestination> real, std::string name)
        : m_real(std::move(real)), m_name(std::move(name))
    {
    }

    int lists = 0;
    int entryLookups = 0;

    const std::string& location() const override { return m_name; }
    FolderHandle root() override { return m_real->root(); }
    FolderHandle openFolder(std::string_view relative, std::error_code& error) override
    {
        return m_real->openFolder(relative, error);
    }
    FolderHandle openFolder(const FolderHandle& parent, const std::string& name,
                            std::error_code& error) override
    {
        return m_real->openFolder(parent, name, error);
    }
    FolderHandle makeFolder(const FolderHandle& parent, const std::string& name, mode_t mode, bool& created,
                            std::error_code& error) override
    {
        return m_real->makeFolder(parent, name, mode, created, error);
    }
    // As a destination over a network would.
    bool prefersListing() const override { return true; }
    std::vector<DestinationEntry> list(const FolderHandle& folder, std::error_code& error) override
    {
        ++lists;
        return m_real->list(folder, error);
    }
    DestinationEntry status(const FolderHandle& folder, const std::string& name) override
    {
        ++entryLookups;
        return m_real->status(folder, name);
    }
    DestinationEntry status(const FolderHandle& folder) override { return m_real->status(folder); }
    std::optional<std::string> readLink(const FolderHandle& folder, const std::string& name,
                                        std::error_code& error) override
    {
        return m_real->readLink(folder, name, error);
    }
    stowmere::files::UniqueFd openFile(const FolderHandle& folder, const std::string& name,
                                       std::error_code& error) override
    {
        return m_real->openFile(folder, name, error);
    }
    std::unique_ptr<DestinationWriter> writer() override { return m_real->writer(); }
    std::error_code setMode(const FolderHandle& folder, const std::string& name, mode_t mode) override
    {
        return m_real->setMode(folder, name, mode);
    }
    std::error_code setMode(const FolderHandle& folder, mode_t mode) override
    {
        return m_real->setMode(folder, mode);
    }
    std::error_code setTimes(const FolderHandle& folder, const std::string& name, const timespec& accessed,
                             const timespec& modified) override
    {
        return m_real->setTimes(folder, name, accessed, modified);
    }
    std::error_code rename(const FolderHandle& from, const std::string& fromName, const FolderHandle& to,
                           const std::string& toName) override
    {
        return m_real->rename(from, fromName, to, toName);
    }
    std::error_code remove(const FolderHandle& folder, const std::string& name) override
    {
        return m_real->remove(folder, name);
    }
    std::error_code removeEmptyFolder(const FolderHandle& folder, const std::string& name) override
    {
        return m_real->removeEmptyFolder(folder, name);
    }
    std::size_t removeLeftovers(const FolderHandle& folder) override
    {
        return m_real->removeLeftovers(folder);
    }
    RunLockResult takeRunLock(std::string_view holder, std::error_code& error) override
    {
        return m_real->takeRunLock(holder, error);
    }
    std::string runLockHolder() override { return m_real->runLockHolder(); }
    void releaseRunLock() override { m_real->releaseRunLock(); }
    std::error_code checkWritable() override { return m_real->checkWritable(); }
    std::uint64_t freeBytes() override { return m_real->freeBytes(); }
    std::optional<stowmere::files::FileSystemIdentity> identity(std::string& error) override
    {
        return m_real->identity(error);
    }
    std::int64_t timeGranularity(bool measure) override { return m_real->timeGranularity(measure); }

private:
    std::unique_ptr<LocalDestination> m_real;
    std::string m_name;
};

constexpr const char* kRemoteName = "sftp://backup.invalid/srv/copies";

class WalkThroughDestinationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (int folder = 0; folder < 3; ++folder) {
            for (int file = 0; file < 4; ++file)
                tree.file("src/f" + std::to_string(folder) + "/" + std::to_string(file) + ".txt", "data",
                          1'600'000'000);
        }
        tree.folder("dest");
        // A first, ordinary run fills the destination.
        BackupSettings settings;
        settings.destination = tree.path("dest");
        std::atomic<bool> cancel{false};
        RecordingObserver observer({true});
        BackupEngine(settings, observer, cancel).runBackup({tree.path("src")});
        ASSERT_TRUE(tree.exists("dest/src/f2/3.txt"));
    }

    std::unique_ptr<RenamedDestination> destination()
    {
        std::error_code error;
        auto real = LocalDestination::open(tree.path("dest"), error);
        EXPECT_TRUE(real) << error.message();
        return std::make_unique<RenamedDestination>(std::move(real), kRemoteName);
    }

    TestTree tree;
};

TEST_F(WalkThroughDestinationTest, PreviewJudgesEveryCopyFromOneListingPerFolder)
{
    tree.file("src/f0/added.txt", "new");
    tree.file("src/f1/0.txt", "data", 1'700'000'000);
    tree.file("src/f2/1.txt", "longer data", 1'600'000'000);

    auto renamed = destination();
    BackupSettings settings;
    settings.destination = kRemoteName;
    settings.incremental = true;
    settings.dryRun = true;
    BackupResult result;
    RecordingObserver observer({true});
    RunLog record(result, observer);
    std::atomic<bool> cancel{false};
    TimeGranularity granularity(*renamed, false);
    PreviewSink preview(settings, *renamed, record);
    ASSERT_TRUE(preview.start());
    const Exclusions none;
    Walk walk({kRemoteName, true, false, false}, *renamed, none, cancel, granularity, preview);
    EXPECT_EQ(walk.item(tree.path("src")), Walk::Outcome::Walked);

    std::map<std::string, PreviewEntry::Kind> kinds;
    for (const PreviewEntry& entry : observer.previews)
        kinds[entry.target] = entry.kind;
    const std::string copies = std::string(kRemoteName) + "/src/";
    EXPECT_EQ(kinds[copies + "f0/added.txt"], PreviewEntry::Kind::New);
    EXPECT_EQ(kinds[copies + "f1/0.txt"], PreviewEntry::Kind::Newer);
    EXPECT_EQ(kinds[copies + "f2/1.txt"], PreviewEntry::Kind::Size);
    EXPECT_EQ(kinds[copies + "f0/0.txt"], PreviewEntry::Kind::Same);
    EXPECT_EQ(kinds[copies + "f2/3.txt"], PreviewEntry::Kind::Same);
    EXPECT_EQ(result.preview.same, 10u);
    // The item's folder and its three folders: one listing each, no look-up per file.
    EXPECT_EQ(renamed->lists, 4);
    EXPECT_EQ(renamed->entryLookups, 0);
}

TEST_F(WalkThroughDestinationTest, IncrementalRunCopiesOnlyWhatChangedIntoTheRealFolder)
{
    tree.file("src/f1/0.txt", "changed", 1'700'000'000);
    tree.file("src/f3/new.txt", "new");

    auto renamed = destination();
    BackupSettings settings;
    settings.destination = kRemoteName;
    settings.incremental = true;
    BackupResult result;
    RecordingObserver observer({true});
    RunLog record(result, observer);
    std::atomic<bool> cancel{false};
    TimeGranularity granularity(*renamed, true);
    {
        CopySink copy(settings, *renamed, record, cancel, granularity);
        ASSERT_TRUE(copy.start());
        const Exclusions none;
        Walk walk({kRemoteName, true, false, false}, *renamed, none, cancel, granularity, copy);
        EXPECT_EQ(walk.item(tree.path("src")), Walk::Outcome::Walked);
        copy.finish(true);
    }

    EXPECT_TRUE(observer.errors.empty()) << observer.errors.front();
    EXPECT_EQ(result.filesCopied, 2u);
    EXPECT_EQ(tree.read("dest/src/f1/0.txt"), "changed");
    EXPECT_EQ(tree.read("dest/src/f3/new.txt"), "new");
    std::vector<std::string> targets = observer.targets;
    std::sort(targets.begin(), targets.end());
    EXPECT_EQ(targets, (std::vector<std::string>{std::string(kRemoteName) + "/src/f1/0.txt",
                                                 std::string(kRemoteName) + "/src/f3/new.txt"}));
}

} // namespace
