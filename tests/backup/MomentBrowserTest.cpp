// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/MomentBrowser.h"
#include "backup/BackupEngine.h"
#include "backup/Restore.h"

#include "RecordingObserver.h"
#include "support/TestTree.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <thread>

using stowmere::backup::BackupEngine;
using stowmere::backup::BackupSettings;
using stowmere::backup::MomentBrowser;
using stowmere::backup::MomentFile;
using stowmere::backup::recordedMoments;
using stowmere::backup::RestoreRefusal;
using stowmere::testing::RecordingObserver;
using stowmere::testing::TestTree;

namespace {

class MomentBrowsing : public ::testing::Test {
protected:
    /// A run in a second of its own; returns its moment.
    std::time_t run(const std::vector<std::string>& items)
    {
        waitForNextSecond();
        const std::time_t moment = std::time(nullptr);
        BackupSettings settings;
        settings.destination = tree.path("dest");
        settings.keepVersions = 10;
        RecordingObserver observer({true, true});
        std::atomic<bool> cancel{false};
        EXPECT_FALSE(BackupEngine(settings, observer, cancel).runBackup(items).copyFailed);
        waitForNextSecond();
        return moment;
    }

    static void waitForNextSecond()
    {
        const std::time_t now = std::time(nullptr);
        while (std::time(nullptr) == now)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }

    static std::vector<std::string> names(const std::vector<MomentFile>& files)
    {
        std::vector<std::string> found;
        for (const MomentFile& file : files)
            found.push_back(file.original);
        return found;
    }

    TestTree tree;
};

} // namespace

TEST_F(MomentBrowsing, EachMomentIsReadOneFolderAtATimeAsItStood)
{
    tree.file("src/Docs/a.txt", "one", 1'600'000'000);
    tree.file("src/Docs/sub/b.txt", "bee", 1'600'000'000);
    tree.file("src/Flat/f.txt", "flat", 1'600'000'000);
    tree.folder("dest");
    const std::string docs = tree.path("src/Docs");
    // A folder item ending in a separator is copied straight into the destination.
    const std::string flat = tree.path("src/Flat") + "/";
    const std::time_t first = run({docs, flat});
    tree.file("src/Docs/a.txt", "two", 1'650'000'000);
    tree.file("src/Docs/c.txt", "new", 1'650'000'000);
    const std::time_t second = run({docs, flat});

    const std::vector<std::time_t> moments = recordedMoments(tree.path("dest"));
    ASSERT_EQ(moments.size(), 2U);
    EXPECT_EQ(moments[0], second) << "newest first";
    EXPECT_EQ(moments[1], first);

    MomentBrowser now(tree.path("dest"), {docs, flat}, second);
    EXPECT_EQ(names(now.items()), (std::vector<std::string>{docs, flat}));
    EXPECT_EQ(names(now.children(docs)),
              (std::vector<std::string>{docs + "/a.txt", docs + "/c.txt", docs + "/sub"}))
        << "one level only, in byte order";
    EXPECT_EQ(names(now.children(docs + "/sub")), (std::vector<std::string>{docs + "/sub/b.txt"}));
    EXPECT_EQ(names(now.children(flat)), (std::vector<std::string>{flat + "f.txt"}))
        << "the destination's other copies are not the item's";

    MomentBrowser then(tree.path("dest"), {docs, flat}, first);
    const std::vector<MomentFile> before = then.children(docs);
    ASSERT_EQ(names(before), (std::vector<std::string>{docs + "/a.txt", docs + "/sub"}));
    EXPECT_FALSE(before[0].run.empty()) << "the first a.txt is kept in the second run's folder";
    EXPECT_EQ(before[0].entry.size, 3U);
    EXPECT_THROW(then.children(tree.path("elsewhere")), RestoreRefusal);
}

TEST_F(MomentBrowsing, ADestinationThatIsNotThereHeldNothingAtAnyMoment)
{
    EXPECT_TRUE(recordedMoments(tree.path("nowhere")).empty());
    MomentBrowser browser(tree.path("nowhere"), {tree.path("src")}, std::time(nullptr));
    EXPECT_TRUE(browser.items().empty());
    EXPECT_TRUE(browser.children(tree.path("src")).empty());
}
