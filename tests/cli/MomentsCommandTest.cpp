// SPDX-License-Identifier: GPL-3.0-or-later
// Any moment of a backup restored with --at and listed with versions --at, through the
// real executable, over a history of edits, renames, removals and changes of kind: each
// moment is compared with a copy of the source taken right after its run.
#include "CliTest.h"

#include <gtest/gtest.h>

#include <csignal>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

using stowmere::cli::test::ChildProcess;
using stowmere::cli::test::cliExecutable;
using stowmere::cli::test::CliTest;
using stowmere::cli::test::ProcessResult;
namespace fs = std::filesystem;

namespace {

/// Every entry below root by its relative path: "F contents", "L target" or "D".
std::map<std::string, std::string> treeOf(const fs::path& root)
{
    std::map<std::string, std::string> tree;
    if (!fs::exists(fs::symlink_status(root)))
        return tree;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        const fs::path& path = it->path();
        // Lexically: fs::relative would resolve a link to what it points to.
        const std::string relative = path.lexically_relative(root).string();
        if (fs::is_symlink(fs::symlink_status(path))) {
            tree[relative] = "L " + fs::read_symlink(path).string();
        } else if (fs::is_directory(fs::symlink_status(path))) {
            tree[relative] = "D";
        } else {
            std::ifstream in(path, std::ios::binary);
            std::ostringstream contents;
            contents << in.rdbuf();
            tree[relative] = "F " + contents.str();
        }
    }
    return tree;
}

class MomentsCommand : public CliTest {
protected:
    void SetUp() override
    {
        docs = temp.folder("src/Docs");
        ok({"new-set", "Set", temp.folder("dest")});
        ok({"add-paths", "Set", docs});
        ok({"options", "Set", "--mirror", "on", "--keep-versions", "20"});
    }

    /// Runs a backup in a second of its own and takes a snapshot of the source as the run
    /// left it; returns the moment to restore it by.
    std::time_t step(const std::vector<std::string>& extra = {"--allow-mass-removal"})
    {
        waitForNextSecond();
        std::vector<std::string> words = {"backup", "Set", "--quiet", "--incremental"};
        words.insert(words.end(), extra.begin(), extra.end());
        last = cli(words);
        const std::time_t moment = std::time(nullptr);
        snapshots.emplace_back(moment, treeOf(docs));
        waitForNextSecond();
        return moment;
    }

    static void waitForNextSecond()
    {
        const std::time_t now = std::time(nullptr);
        while (std::time(nullptr) == now)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }

    static std::string stamp(std::time_t time)
    {
        std::tm parts{};
        ::gmtime_r(&time, &parts);
        char text[32];
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
        return text;
    }

    /// The tree restored at moment into a fresh folder.
    std::map<std::string, std::string> restoredAt(std::time_t moment)
    {
        const std::string into = temp.path("restored" + std::to_string(++restores));
        const ProcessResult result = cli({"restore", "Set", docs, "--at", stamp(moment), "--to", into});
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return treeOf(fs::path(into) / "Docs");
    }

    void expectEveryMoment()
    {
        for (std::size_t i = 0; i < snapshots.size(); ++i)
            EXPECT_EQ(restoredAt(snapshots[i].first), snapshots[i].second) << "moment " << i + 1;
    }

    void write(const std::string& relative, const std::string& contents)
    {
        temp.file("src/Docs/" + relative, contents);
    }

    std::string docs;
    ProcessResult last;
    std::vector<std::pair<std::time_t, std::map<std::string, std::string>>> snapshots;
    int restores = 0;
};

} // namespace

TEST_F(MomentsCommand, EachMomentOfAHistoryComesBackAsTheSourceWasThen)
{
    write("a.txt", "a one");
    write("keep.txt", "untouched");
    write("sub/b.txt", "bee");
    write("sub/deep/c.txt", "sea");
    fs::create_symlink("a.txt", temp.path("src/Docs/link"));
    step();
    // An edit, a rename, a new file.
    write("a.txt", "a two, longer");
    fs::rename(temp.path("src/Docs/sub/b.txt"), temp.path("src/Docs/sub/b-renamed.txt"));
    write("new.txt", "new");
    step();
    // A folder becomes a file, a link becomes a folder, a file becomes a link.
    fs::remove_all(temp.path("src/Docs/sub"));
    write("sub", "now a file");
    fs::remove(temp.path("src/Docs/link"));
    write("link/inside.txt", "in a folder now");
    fs::remove(temp.path("src/Docs/new.txt"));
    fs::create_symlink("keep.txt", temp.path("src/Docs/new.txt"));
    step();
    // And back: the file becomes a folder again, with a name the older folder had.
    fs::remove(temp.path("src/Docs/sub"));
    write("sub/deep/c.txt", "sea again");
    write("a.txt", "a three");
    step();
    // A removal of a whole folder and the edit of a file that was there from the start.
    fs::remove_all(temp.path("src/Docs/link"));
    write("keep.txt", "touched at last");
    step();
    ASSERT_EQ(last.exitCode, 0) << last.err;
    expectEveryMoment();

    // Before the first run there was nothing.
    const ProcessResult before =
        cli({"restore", "Set", docs, "--at", stamp(snapshots.front().first - 5), "--to", temp.path("none")});
    EXPECT_EQ(before.exitCode, 3);
    EXPECT_NE(before.err.find("no backup copy"), std::string::npos) << before.err;

    // One file of a moment alone, and the listing of that moment.
    const std::string into = temp.path("one");
    ok({"restore", "Set", docs + "/sub/b.txt", "--at", stamp(snapshots[0].first), "--to", into});
    EXPECT_EQ(temp.read("one/b.txt"), "bee");
    const std::string listed = ok({"versions", "Set", "--at", stamp(snapshots[1].first), docs});
    EXPECT_NE(listed.find(docs + "/sub/b-renamed.txt\n"), std::string::npos) << listed;
    EXPECT_NE(listed.find(docs + "/sub/\n"), std::string::npos) << listed;
    EXPECT_EQ(listed.find(docs + "/sub/b.txt\n"), std::string::npos) << "renamed before that moment";
    EXPECT_EQ(listed.find("inside.txt"), std::string::npos) << "added after that moment";
    EXPECT_NE(listed.find("current\t"), std::string::npos) << listed;
}

TEST_F(MomentsCommand, AnEmptiedFolderOrAMissingItemRemovesNothingFromAnyMoment)
{
    write("a.txt", "a");
    write("sub/b.txt", "b");
    step();
    // The folder emptied, and mass removal not allowed: the copies stay.
    fs::remove_all(temp.path("src/Docs/sub"));
    fs::remove(temp.path("src/Docs/a.txt"));
    const std::time_t emptied = step({});
    // The item unplugged: missing altogether.
    fs::rename(docs, temp.path("src/elsewhere"));
    const std::time_t missing = step({});
    fs::rename(temp.path("src/elsewhere"), docs);
    const std::map<std::string, std::string> first = snapshots.front().second;
    EXPECT_EQ(restoredAt(emptied), first);
    EXPECT_EQ(restoredAt(missing), first);
}

TEST_F(MomentsCommand, ABackupOfAnOlderVersionWithoutRecordsStillRestoresWhatItReplaced)
{
    write("a.txt", "first");
    const std::time_t one = step();
    write("a.txt", "second");
    write("added.txt", "later");
    step();
    // As a destination written before runs kept a record.
    fs::remove_all(temp.path("dest/.stowmere-runs"));
    const std::string into = temp.path("old");
    const ProcessResult result = cli({"restore", "Set", docs, "--at", stamp(one), "--to", into});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(temp.read("old/Docs/a.txt"), "first");
    EXPECT_NE(result.err.find("kept no record of the files they added"), std::string::npos) << result.err;
}

TEST_F(MomentsCommand, ARecordWithATornLineOrNoEndStillReadsAndPruningDropsRecordsWithTheirFolders)
{
    write("a.txt", "first");
    const std::time_t one = step();
    write("a.txt", "second");
    write("b.txt", "added");
    step();
    const std::vector<std::string> records = temp.names("dest/.stowmere-runs");
    ASSERT_EQ(records.size(), 2u);
    // A killed run leaves a record without its end, its last line torn.
    const std::string newest = temp.path("dest/.stowmere-runs/" + std::max(records[0], records[1]));
    std::string text = temp.read("dest/.stowmere-runs/" + std::max(records[0], records[1]));
    ASSERT_NE(text.find("end\n"), std::string::npos);
    text.erase(text.find("end\n"));
    std::ofstream(newest, std::ios::trunc) << text << "added Docs/b.t";
    EXPECT_EQ(restoredAt(one), snapshots[0].second);

    // With one run folder kept, the moments before the pruned one go with their records.
    ok({"options", "Set", "--keep-versions", "1"});
    write("a.txt", "third");
    step();
    write("a.txt", "fourth");
    step();
    EXPECT_EQ(temp.names("dest/.stowmere-versions").size(), 1u);
    EXPECT_EQ(temp.names("dest/.stowmere-runs").size(), 1u);
    EXPECT_EQ(restoredAt(snapshots[2].first), snapshots[2].second);
}

TEST_F(MomentsCommand, TimesAreReadInTheFormsTheHelpNames)
{
    write("a.txt", "first");
    step();
    for (const char* time : {"2999-01-01", "2999-01-01 10:00", "2999-01-01T10:00:05", "2999-01-01T10:00:05Z",
                             "2999-01-01T10:00:05.250+01:00", "2999-01-01T10:00-0530", "2999-01-01T000000Z"})
        EXPECT_EQ(cli({"versions", "Set", "--at", time}).exitCode, 0) << time;
    for (const char* time :
         {"yesterday", "2999-01-01Z", "2999-01-01T10:00+25:00", "2999-01-01T10:00:05.", ""})
        EXPECT_EQ(cli({"versions", "Set", "--at", time}).exitCode, 3) << time;
    EXPECT_NE(ok({"help", "versions"}).find("--at TIME"), std::string::npos);
    EXPECT_EQ(cli({"history", "--at", "2999-01-01"}).exitCode, 3);
}

TEST_F(MomentsCommand, ARunKilledAtAnyPointLosesNothingAndLeavesAReadableRecord)
{
    for (int i = 0; i < 300; ++i)
        write("f" + std::to_string(i % 10) + "/file" + std::to_string(i), std::string(2000, 'a'));
    step();
    // Points of the run to kill it at: the record begun, the run folder made, well under way.
    const std::vector<std::function<bool()>> points = {
        [&] { return temp.exists("dest/.stowmere-runs") && temp.names("dest/.stowmere-runs").size() > 1; },
        [&] { return temp.names("dest/.stowmere-versions").size() > std::size_t(snapshots.size() - 1); },
        [&] { return false; }, // killed after a few milliseconds, wherever it is
    };
    for (std::size_t point = 0; point < points.size(); ++point) {
        // Every file changes, half of the folders go: the run has much to do.
        for (int i = 0; i < 300; ++i)
            if (fs::exists(temp.path("src/Docs/f" + std::to_string(i % 10))))
                write("f" + std::to_string(i % 10) + "/file" + std::to_string(i),
                      std::string(2000 + point, 'b' + static_cast<char>(point)));
        if (point == 0)
            for (int f = 0; f < 5; ++f)
                fs::remove_all(temp.path("src/Docs/f" + std::to_string(f)));
        waitForNextSecond();
        ChildProcess child(
            cliExecutable(),
            {"--data", data, "backup", "Set", "--quiet", "--incremental", "--allow-mass-removal"},
            {"XDG_STATE_HOME=" + state});
        const auto start = std::chrono::steady_clock::now();
        while (!points[point]() &&
               std::chrono::steady_clock::now() - start < std::chrono::milliseconds(point == 2 ? 30 : 20000))
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        child.sendSignal(SIGKILL);
        child.finish();
        // The record of the killed run reads, and the moment before it is whole.
        EXPECT_EQ(cli({"versions", "Set", "--at", "2999-01-01"}).exitCode, 0);
        EXPECT_EQ(restoredAt(snapshots.back().first), snapshots.back().second) << "before kill " << point;
        // The next run finishes what the killed one began.
        step();
        ASSERT_EQ(last.exitCode, 0) << last.err;
    }
    expectEveryMoment();
}
