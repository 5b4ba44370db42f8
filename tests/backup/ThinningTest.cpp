// SPDX-License-Identifier: GPL-3.0-or-later
// Thinning the run folders by days, weeks and months: which folders the rules keep, and
// that every moment a kept folder stands for comes back whole after the others went.
#include "backup/BackupEngine.h"
#include "backup/LocalDestination.h"
#include "backup/MomentTree.h"
#include "backup/VersionStore.h"

#include "RecordingObserver.h"
#include "support/TestTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

using namespace stowmere::backup;
using stowmere::testing::RecordingObserver;
using stowmere::testing::TestTree;
namespace fs = std::filesystem;

namespace {

constexpr std::time_t kHour = 3600;
constexpr std::time_t kDay = 24 * kHour;
/// 2024-01-01 10:00 UTC, a Monday.
constexpr std::time_t kStart = 1'704'103'200;

/// Days, weeks and months are those of local time: the tests fix it.
class Utc : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* zone = std::getenv("TZ");
        m_zone = zone ? std::optional<std::string>(zone) : std::nullopt;
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }
    void TearDown() override
    {
        if (m_zone)
            ::setenv("TZ", m_zone->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

private:
    std::optional<std::string> m_zone;
};

std::vector<std::size_t> keptIndexes(const std::vector<std::time_t>& times,
                                     const VersionStore::KeepRules& rules, std::time_t now)
{
    const std::vector<bool> kept = VersionStore::keptByRules(times, rules, now);
    std::vector<std::size_t> indexes;
    for (std::size_t i = 0; i < kept.size(); ++i)
        if (kept[i])
            indexes.push_back(i);
    return indexes;
}

/// Says yes to removals that look like a missing source: the history below empties folders.
class AllowingObserver : public RecordingObserver {
public:
    AllowingObserver() : RecordingObserver({true}) {}
    bool allowMassRemoval(const std::string&, std::uint64_t, std::uint64_t, bool) override { return true; }
};

class Thinning : public Utc {
protected:
    void run()
    {
        BackupSettings settings;
        settings.destination = tree.folder("dest");
        settings.incremental = true;
        settings.keepVersions = 100;
        settings.mirror = true;
        AllowingObserver observer;
        std::atomic<bool> cancel{false};
        BackupEngine(settings, observer, cancel).runBackup({tree.path("src")});
        ASSERT_TRUE(observer.errors.empty()) << observer.errors.front();
        snapshots.push_back(sourceTree());
    }

    /// Every entry below the source folder: "F contents", "L target" or "D".
    std::map<std::string, std::string> sourceTree() const
    {
        std::map<std::string, std::string> entries;
        const fs::path root = tree.path("src");
        for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it)
            entries["src/" + it->path().lexically_relative(root).string()] = describe(it->path());
        return entries;
    }

    static std::string describe(const fs::path& path)
    {
        const fs::file_status status = fs::symlink_status(path);
        if (fs::is_symlink(status))
            return "L " + fs::read_symlink(path).string();
        if (fs::is_directory(status))
            return "D";
        std::ifstream in(path, std::ios::binary);
        std::ostringstream contents;
        contents << in.rdbuf();
        return "F " + contents.str();
    }

    /// The destination's tree at moment, as a restore would give it.
    std::map<std::string, std::string> momentTree(std::time_t moment)
    {
        std::error_code error;
        const std::unique_ptr<LocalDestination> destination =
            LocalDestination::open(tree.path("dest"), error);
        std::map<std::string, std::string> entries;
        MomentTree moments(*destination, moment);
        const std::atomic<bool> never{false};
        moments.visit(
            "src",
            [&](const std::string& below, const MomentEntry& entry) {
                if (!below.empty())
                    entries["src/" + below] = describe(entry.path);
                return true;
            },
            never);
        return entries;
    }

    /// Gives the runs (records and folders, oldest first) the stamps of the times given.
    void restamp(const std::vector<std::time_t>& times)
    {
        std::vector<std::string> records = tree.names("dest/.stowmere-runs");
        std::sort(records.begin(), records.end(), [](const std::string& a, const std::string& b) {
            return VersionStore::parseStamp(a) < VersionStore::parseStamp(b);
        });
        ASSERT_EQ(records.size(), times.size());
        for (std::size_t i = 0; i < records.size(); ++i) {
            const std::string name = VersionStore::stampOf(times[i]);
            fs::rename(tree.path("dest/.stowmere-runs/" + records[i]),
                       tree.path("dest/.stowmere-runs/" + name));
            if (tree.exists("dest/.stowmere-versions/" + records[i]))
                fs::rename(tree.path("dest/.stowmere-versions/" + records[i]),
                           tree.path("dest/.stowmere-versions/" + name));
        }
    }

    TestTree tree;
    std::vector<std::map<std::string, std::string>> snapshots;
};

} // namespace

TEST_F(Utc, EachRuleKeepsTheNewestFolderOfItsPeriodsAndAnyRuleKeeps)
{
    // Two runs on Monday 1 January, one on Tuesday, one the next Monday, one in February.
    const std::vector<std::time_t> times = {kStart, kStart + 8 * kHour, kStart + kDay, kStart + 7 * kDay,
                                            kStart + 35 * kDay};
    const std::time_t now = kStart + 36 * kDay;
    VersionStore::KeepRules rules;
    rules.daily = 3;
    EXPECT_EQ(keptIndexes(times, rules, now), (std::vector<std::size_t>{2, 3, 4}));
    rules = {};
    rules.weekly = 2;
    EXPECT_EQ(keptIndexes(times, rules, now), (std::vector<std::size_t>{3, 4}));
    rules.weekly = 3;
    EXPECT_EQ(keptIndexes(times, rules, now), (std::vector<std::size_t>{2, 3, 4}));
    rules = {};
    rules.monthly = 5;
    EXPECT_EQ(keptIndexes(times, rules, now), (std::vector<std::size_t>{3, 4}));
    // The count keeps the newest, the age limit takes from the count alone.
    rules = {};
    rules.versions = 2;
    rules.days = 30;
    rules.daily = 1;
    rules.monthly = 2;
    EXPECT_EQ(keptIndexes(times, rules, now), (std::vector<std::size_t>{3, 4}));
    rules.versions = 4;
    rules.days = 0;
    EXPECT_EQ(keptIndexes(times, rules, now), (std::vector<std::size_t>{1, 2, 3, 4}));
    EXPECT_TRUE(keptIndexes(times, {}, now).empty());
}

TEST_F(Thinning, EveryKeptMomentComesBackWholeAfterTheFoldersBetweenGo)
{
    tree.file("src/a.txt", "a one");
    tree.file("src/keep.txt", "kept");
    tree.file("src/sub/b.txt", "bee");
    tree.file("src/sub/deep/c.txt", "sea");
    fs::create_symlink("a.txt", tree.path("src/link"));
    run(); // 1: everything added
    tree.file("src/a.txt", "a two");
    fs::rename(tree.path("src/sub/b.txt"), tree.path("src/sub/b2.txt"));
    tree.file("src/sub/new.txt", "added in run 2");
    run(); // 2
    fs::remove_all(tree.path("src/sub"));
    tree.file("src/sub", "a file now");
    tree.file("src/a.txt", "a three");
    run(); // 3
    fs::remove(tree.path("src/sub"));
    tree.file("src/sub/new.txt", "new again");
    fs::remove(tree.path("src/link"));
    tree.file("src/link/inside.txt", "link became a folder");
    run(); // 4
    fs::remove_all(tree.path("src/link"));
    tree.file("src/keep.txt", "kept, then edited");
    tree.file("src/a.txt", "a five");
    run(); // 5
    tree.file("src/a.txt", "a six");
    fs::remove(tree.path("src/sub/new.txt"));
    run(); // 6

    // Run 1 in December; 2 in January; 3 and 4 in February; 5 and 6 in March.
    const std::vector<std::time_t> times = {kStart - 20 * kDay, kStart,
                                            kStart + 31 * kDay, kStart + 40 * kDay,
                                            kStart + 61 * kDay, kStart + 70 * kDay};
    restamp(times);
    for (std::size_t i = 0; i < times.size(); ++i)
        ASSERT_EQ(momentTree(times[i] + kHour), snapshots[i]) << "before thinning, moment " << i + 1;

    // The newest folder of each month stays: those of runs 2, 4 and 6, standing for the
    // moments just before them (after runs 1, 3 and 5); those of runs 3 and 5 go.
    const VersionStore store(tree.path("dest"));
    VersionStore::KeepRules rules;
    rules.monthly = 12;
    std::string failure;
    EXPECT_EQ(store.prune(rules, times.back() + kDay, failure), 2u);
    EXPECT_EQ(failure, "");
    EXPECT_EQ(store.runFolders().size(), 3u);
    EXPECT_EQ(tree.names("dest/.stowmere-runs").size(), 4u)
        << "run 1's record, and those of the kept folders";
    for (const std::size_t kept : {0u, 2u, 4u, 5u})
        EXPECT_EQ(momentTree(times[kept] + kHour), snapshots[kept]) << "after thinning, moment " << kept + 1;
}
