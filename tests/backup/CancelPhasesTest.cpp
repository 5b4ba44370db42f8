// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/BackupEngine.h"
#include "backup/LocalDestination.h"
#include "backup/Manifest.h"
#include "backup/Restore.h"
#include "backup/VersionStore.h"

#include "RecordingObserver.h"
#include "support/TestTree.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

using namespace stowmere::backup;
using stowmere::testing::RecordingObserver;
using stowmere::testing::TestTree;

namespace {

namespace fs = std::filesystem;

/// Only a guard against a hang: a phase that looks at the flag ends far sooner, even in a
/// build with the sanitizers on a loaded machine (where merging 300,000 records to the
/// half-way point alone took more than 5 s).
constexpr auto kHangGuard = std::chrono::seconds(120);

/// Runs work on its own thread and waits for it no longer than the hang guard.
template <typename Work> auto within(Work work)
{
    auto done = std::async(std::launch::async, std::move(work));
    EXPECT_EQ(done.wait_for(kHangGuard), std::future_status::ready) << "the phase did not stop";
    return done.get();
}

std::size_t entriesIn(const std::string& folder)
{
    std::error_code error;
    std::size_t count = 0;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        ++count;
    return count;
}

/// Tells when the first chunk of a restore is written, and cancels it there.
class CancelAtFirstChunk : public RestoreObserver {
public:
    explicit CancelAtFirstChunk(std::atomic<bool>& cancel) : m_cancel(cancel) {}
    void progress(const std::string&, std::uint64_t, std::uint64_t) override { m_cancel = true; }

private:
    std::atomic<bool>& m_cancel;
};

} // namespace

TEST(CancelPhases, HashingALargeCopyForTheManifestStopsAndRecordsNothing)
{
    TestTree tree;
    tree.allocatedFile("dest/big.img", std::size_t{128} << 20);
    std::error_code error;
    const auto destination = LocalDestination::open(tree.path("dest"), error);
    ASSERT_TRUE(destination) << error.message();
    auto journal = ManifestJournal::open(*destination, error);
    ASSERT_TRUE(journal) << error.message();
    std::atomic<bool> cancel{true};
    EXPECT_EQ(within([&] { return journal->recordCopy(destination->root(), "big.img", &cancel); }),
              std::errc::operation_canceled);
    ManifestReader reader(*destination);
    EXPECT_EQ(reader.next(), nullptr) << "a copy cut short is not recorded";
    // Not cancelled, the same copy is recorded.
    cancel = false;
    EXPECT_FALSE(journal->recordCopy(destination->root(), "big.img", &cancel));
    EXPECT_FALSE(journal->flush());
    ManifestReader again(*destination);
    const ManifestRecord* record = again.next();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->size, std::uint64_t{128} << 20);
}

TEST(CancelPhases, MergingALongJournalStopsAndLeavesBothFilesAsTheyWere)
{
    TestTree tree;
    tree.folder("dest");
    // A journal of many copies, in the order made (not sorted).
    constexpr std::size_t kRecords = 300000;
    {
        std::string text = std::string(kJournalHeader) + '\n';
        for (std::size_t i = 0; i < kRecords; ++i) {
            ManifestRecord record;
            record.path = "d" + std::to_string(i % 97) + "/f" + std::to_string(kRecords - i);
            record.size = i;
            text += encodeManifestLine(record);
        }
        std::ofstream(tree.path("dest/.stowmere-manifest.journal"), std::ios::binary) << text;
    }
    const std::string journalBefore = tree.read("dest/.stowmere-manifest.journal");
    std::error_code error;
    const auto destination = LocalDestination::open(tree.path("dest"), error);
    ASSERT_TRUE(destination);
    std::atomic<bool> cancel{false};
    std::size_t visited = 0;
    std::vector<ManifestDamage> damage;
    // Cancelled half-way through the records it writes.
    const bool merged = within([&] {
        return compactManifest(
            *destination, damage, error,
            [&](const ManifestRecord&) {
                if (++visited == kRecords / 2)
                    cancel = true;
            },
            &cancel);
    });
    EXPECT_FALSE(merged);
    EXPECT_EQ(error, std::errc::operation_canceled);
    EXPECT_LT(visited, kRecords);
    EXPECT_FALSE(tree.exists("dest/.stowmere-manifest"));
    EXPECT_EQ(tree.read("dest/.stowmere-manifest.journal"), journalBefore);

    // Cancelled while the journal is sorted: the same.
    ManifestReader cut(*destination, &cancel);
    EXPECT_TRUE(cut.cancelled());

    // The next merge, not cancelled, keeps every record.
    cancel = false;
    ASSERT_TRUE(compactManifest(*destination, damage, error, {}, &cancel)) << error.message();
    std::size_t count = 0;
    ManifestReader reader(*destination);
    while (reader.next() != nullptr)
        ++count;
    EXPECT_EQ(count, kRecords);
}

TEST(CancelPhases, PruningALargeRunFolderStopsBetweenEntriesAndTheNextPruneFinishes)
{
    TestTree tree;
    constexpr int kFolders = 100;
    constexpr int kFiles = 300;
    const std::string old = "dest/.stowmere-versions/2020-01-01T000000Z";
    for (int folder = 0; folder < kFolders; ++folder) {
        const std::string path = tree.folder(old + "/f" + std::to_string(folder));
        for (int file = 0; file < kFiles; ++file)
            std::ofstream(path + "/" + std::to_string(file));
    }
    tree.file("dest/.stowmere-versions/2021-01-01T000000Z/kept.txt", "newer");
    std::error_code error;
    const auto destination = LocalDestination::open(tree.path("dest"), error);
    ASSERT_TRUE(destination);
    const VersionStore store(*destination);
    std::atomic<bool> cancel{false};
    std::atomic<bool> pruneDone{false};
    // Cancel as soon as the first folder of the old run is gone, as a user would mid-way.
    std::thread watcher([&] {
        while (!pruneDone && entriesIn(tree.path(old)) == kFolders)
            std::this_thread::yield();
        cancel = true;
    });
    std::string message;
    const std::size_t deleted = within([&] {
        const std::size_t count = store.prune(1, 0, std::time(nullptr), message, &cancel);
        pruneDone = true;
        return count;
    });
    watcher.join();
    EXPECT_EQ(deleted, 0u);
    EXPECT_TRUE(message.empty()) << message;
    EXPECT_TRUE(tree.exists(old)) << "stopped before the whole run folder went";
    EXPECT_GT(entriesIn(tree.path(old)), 0u);
    EXPECT_EQ(tree.read("dest/.stowmere-versions/2021-01-01T000000Z/kept.txt"), "newer");

    cancel = false;
    EXPECT_EQ(store.prune(1, 0, std::time(nullptr), message, &cancel), 1u);
    EXPECT_FALSE(tree.exists(old));
}

TEST(CancelPhases, ARestoreCancelledMidFileLeavesNothingUnderAFinalName)
{
    TestTree tree;
    tree.file("src/Data/small.txt", "small");
    tree.allocatedFile("src/Data/big.img", std::size_t{256} << 20);
    BackupSettings settings;
    settings.destination = tree.path("dest");
    std::atomic<bool> cancel{false};
    RecordingObserver quiet({true});
    tree.folder("dest");
    ASSERT_EQ(BackupEngine(settings, quiet, cancel).runBackup({tree.path("src/Data")}).filesCopied, 2u);

    RestoreRequest request;
    request.destination = tree.path("dest");
    request.items = {tree.path("src/Data")};
    request.paths = {tree.path("src/Data/big.img")};
    request.to = tree.path("back");
    tree.folder("back");
    CancelAtFirstChunk canceller(cancel);
    const RestoreResult result = within([&] { return restore(request, canceller, cancel); });
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(result.restored, 0u);
    EXPECT_TRUE(tree.names("back").empty()) << "neither the file nor a temporary is left";

    // Cancelled while the copies to restore are still being listed: nothing is written.
    request.paths = {tree.path("src/Data")};
    RestoreObserver plain;
    const RestoreResult early = within([&] { return restore(request, plain, cancel); });
    EXPECT_TRUE(early.cancelled);
    EXPECT_TRUE(tree.names("back").empty());
}
