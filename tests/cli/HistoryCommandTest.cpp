// SPDX-License-Identifier: GPL-3.0-or-later
// The run history as the real executable keeps it: every backup leaves one line, 'history'
// and 'list' show it, and a history that cannot be written costs the run nothing.
#include "CliTest.h"
#include "support/TestTree.h"

#include "support/TestMount.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

using stowmere::cli::test::ChildProcess;
using stowmere::cli::test::cliExecutable;
using stowmere::cli::test::CliTest;
using stowmere::cli::test::ProcessResult;
using stowmere::testing::TestMount;

namespace {

class HistoryCommand : public CliTest {
protected:
    void SetUp() override
    {
        docs = temp.folder("src/Docs");
        temp.file("src/Docs/a.txt", "a");
        temp.file("src/Docs/Sub/b.txt", "bb");
        dest = temp.folder("dest");
        ok({"new-set", "Nightly", dest});
        ok({"add-paths", "Nightly", docs});
    }

    std::string historyFile() const { return state + "/stowmere/history.jsonl"; }

    std::vector<nlohmann::json> records() const
    {
        std::vector<nlohmann::json> lines;
        std::ifstream in(historyFile());
        for (std::string line; std::getline(in, line);)
            lines.push_back(nlohmann::json::parse(line));
        return lines;
    }

    std::string docs, dest;
};

} // namespace

TEST_F(HistoryCommand, EachRunLeavesOneLineWithItsOutcome)
{
    EXPECT_EQ(ok({"list"}), "1\tNightly\t" + dest + "\tnever\t-\n");

    ok({"backup", "Nightly", "--quiet"});
    ok({"backup", "Nightly", "--incremental", "--quiet"});
    ok({"backup", "Nightly", "--dry-run"});
    // A missing item: done, with warnings.
    temp.file("src/gone.txt", "soon gone");
    ok({"add-paths", "Nightly", temp.path("src/gone.txt")});
    std::filesystem::remove(temp.path("src/gone.txt"));
    EXPECT_EQ(cli({"backup", "Nightly", "--quiet"}).exitCode, 1);

    const std::vector<nlohmann::json> lines = records();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0]["mode"], "full");
    EXPECT_EQ(lines[0]["outcome"], "ok");
    EXPECT_EQ(lines[0]["files"], 2);
    EXPECT_EQ(lines[0]["bytes"], 3);
    EXPECT_EQ(lines[1]["mode"], "incremental");
    EXPECT_EQ(lines[1]["files"], 0);
    EXPECT_EQ(lines[2]["mode"], "dry run");
    EXPECT_EQ(lines[3]["outcome"], "warnings");
    EXPECT_EQ(lines[3]["not_found"], nlohmann::json::array({temp.path("src/gone.txt")}));
    for (const nlohmann::json& line : lines) {
        EXPECT_EQ(line["data_folder"], std::filesystem::canonical(data).string());
        EXPECT_EQ(line["set"], 1);
        EXPECT_EQ(line["description"], "Nightly");
        EXPECT_EQ(line["destination"], dest);
        EXPECT_EQ(line["program"], "stowmere-cli");
        EXPECT_FALSE(line["file_system"]["id"].get<std::string>().empty());
    }

    // 'list' keeps its columns and adds the last real run.
    EXPECT_EQ(ok({"list"}),
              "1\tNightly\t" + dest + "\t" + lines[3]["start"].get<std::string>() + "\twarnings\n");
    const std::string text = ok({"history", "Nightly"});
    EXPECT_NE(text.find("\t1\tNightly\tfull\tok\t2 files\t3 Bytes\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\tdry run\tok\t"), std::string::npos) << text;
    EXPECT_NE(text.find("\twarnings\t2 files\t3 Bytes\n  not found: " + temp.path("src/gone.txt") + "\n"),
              std::string::npos)
        << text;
    const std::string json = ok({"history", "1", "--json"});
    EXPECT_EQ(std::count(json.begin(), json.end(), '\n'), 4);
}

TEST_F(HistoryCommand, ClosingTheTerminalStopsTheRunAndRecordsItCancelled)
{
    const std::string large = temp.allocatedFile("src/Big/large.bin", std::size_t{512} << 20);
    ok({"new-set", "Big", dest});
    ok({"add-paths", "Big", temp.path("src/Big")});
    ChildProcess child(cliExecutable(), {"--data", data, "backup", "Big"}, {"XDG_STATE_HOME=" + state});
    ASSERT_TRUE(child.waitForError("[1/1] " + temp.path("src/Big"), std::chrono::seconds(30)));
    child.sendSignal(SIGHUP);
    const ProcessResult result = child.finish();

    EXPECT_EQ(result.exitCode, 129) << result.err;
    EXPECT_NE(result.err.find("Backup interrupted"), std::string::npos) << result.err;
    const std::vector<nlohmann::json> lines = records();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["outcome"], "cancelled");
    EXPECT_FALSE(std::filesystem::exists(dest + "/Big/large.bin"));
}

TEST_F(HistoryCommand, RefusedCancelledAndFailedRunsAreRecorded)
{
    // Refused at start: the destination is missing.
    ok({"new-set", "Elsewhere", temp.path("nowhere")});
    ok({"add-paths", "Elsewhere", docs});
    EXPECT_EQ(cli({"backup", "Elsewhere"}).exitCode, 3);

    // Cancelled half-way through a large file.
    const std::string large = temp.allocatedFile("src/Big/large.bin", std::size_t{512} << 20);
    ok({"new-set", "Big", dest});
    ok({"add-paths", "Big", temp.path("src/Big")});
    {
        ChildProcess child(cliExecutable(), {"--data", data, "backup", "Big"}, {"XDG_STATE_HOME=" + state});
        ASSERT_TRUE(child.waitForError("[1/1] " + temp.path("src/Big"), std::chrono::seconds(30)));
        child.sendSignal(SIGINT);
        EXPECT_EQ(child.finish().exitCode, 130);
    }

    std::vector<nlohmann::json> lines = records();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0]["outcome"], "refused");
    EXPECT_EQ(lines[0]["reason"], "Backup To Folder " + temp.path("nowhere") + " does not exist.");
    EXPECT_EQ(lines[0].count("file_system"), 0u);
    EXPECT_EQ(lines[1]["outcome"], "cancelled");

    // Failing: the destination fills up half-way.
    TestMount disk(TestMount::Kind::Tmpfs, 256 * 1024);
    if (!disk.mounted())
        GTEST_SKIP() << disk.why();
    temp.file("src/Full/big.bin", std::string(600 * 1024, 'x'));
    ok({"new-set", "Full", disk.path()});
    ok({"add-paths", "Full", temp.path("src/Full")});
    EXPECT_EQ(cli({"backup", "Full", "--force", "--quiet"}).exitCode, 2);
    // And the same run stopped by the space check before it starts.
    const ProcessResult refused = cli({"backup", "Full", "--quiet"});
    EXPECT_EQ(refused.exitCode, 3);

    lines = records();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[2]["outcome"], "failed");
    EXPECT_EQ(lines[2]["failed"][0]["path"], temp.path("src/Full/big.bin"));
    EXPECT_EQ(lines[2]["file_system"]["mount_point"], disk.path());
    EXPECT_EQ(lines[3]["outcome"], "refused");
    EXPECT_NE(lines[3]["reason"].get<std::string>().find("This backup needs "), std::string::npos);
    EXPECT_NE(ok({"list"}).find("\tFull\t" + disk.path() + "\t" + lines[3]["start"].get<std::string>() +
                                "\trefused\n"),
              std::string::npos);
}

TEST_F(HistoryCommand, AHistoryThatCannotBeWrittenCostsTheRunNothing)
{
    // A file where the state folder should be.
    std::ofstream(temp.path("blocked")) << "in the way";
    state = temp.path("blocked");
    const ProcessResult run = cli({"backup", "Nightly", "--quiet"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(std::filesystem::exists(dest + "/Docs/Sub/b.txt"));
    const std::string warning = "stowmere-cli: warning: Cannot record the run in " + temp.path("blocked") +
                                "/stowmere/history.jsonl: ";
    EXPECT_EQ(run.err.substr(0, warning.size()), warning) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;

    // A failing run keeps its own exit code.
    ok({"add-paths", "Nightly", temp.file("src/gone.txt", "x")});
    std::filesystem::remove(temp.path("src/gone.txt"));
    EXPECT_EQ(cli({"backup", "Nightly", "--quiet"}).exitCode, 1);
}

TEST_F(HistoryCommand, DamagedLinesAreSkippedWithAWarning)
{
    ok({"backup", "Nightly", "--quiet"});
    std::ofstream(historyFile(), std::ios::app) << "{\"cut off\n";
    ok({"backup", "Nightly", "--quiet", "--incremental"});
    const ProcessResult history = cli({"history"});
    EXPECT_EQ(history.exitCode, 0);
    EXPECT_EQ(std::count(history.out.begin(), history.out.end(), '\n'), 2) << history.out;
    EXPECT_NE(history.err.find("stowmere-cli: warning: " + historyFile() + ", line 2: not JSON"),
              std::string::npos)
        << history.err;
    // A deleted set's runs are still found by its number; a number never used has none.
    EXPECT_EQ(ok({"history", "9"}), "");
    EXPECT_EQ(cli({"history", "Unknown"}).exitCode, 3);
}
