// SPDX-License-Identifier: GPL-3.0-or-later
// backup --dry-run as the real executable: what it prints, in text and as JSON Lines, and
// that it leaves the destination exactly as it was.
#include "CliTest.h"
#include "support/TestMount.h"
#include "support/TestTree.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using stowmere::cli::test::ChildProcess;
using stowmere::cli::test::cliExecutable;
using stowmere::cli::test::CliTest;
using stowmere::cli::test::ProcessResult;
using stowmere::testing::TestMount;
using stowmere::testing::TestTree;

namespace {

class DryRunCommand : public CliTest {
protected:
    void SetUp() override
    {
        docs = temp.folder("src/Docs");
        temp.file("src/Docs/a.txt", "a");
        temp.file("src/Docs/Sub/b.txt", "bb");
        notes = temp.file("src/notes.txt", "notes");
        dest = temp.folder("dest");
        ok({"new-set", "Nightly", dest});
        ok({"add-paths", "Nightly", docs, notes});
    }
    static std::vector<nlohmann::json> jsonLines(const std::string& out)
    {
        std::vector<nlohmann::json> lines;
        std::istringstream in(out);
        for (std::string line; std::getline(in, line);)
            lines.push_back(nlohmann::json::parse(line));
        return lines;
    }

    std::string docs, notes, dest;
};

} // namespace

TEST_F(DryRunCommand, ListsEachEntryThenTheTotalsAndWritesNothing)
{
    const ProcessResult result = cli({"backup", "Nightly", "--dry-run"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "mkdir    " + dest +
                              "/Docs\n"
                              "new      " +
                              docs +
                              "/a.txt\n"
                              "mkdir    " +
                              dest +
                              "/Docs/Sub\n"
                              "new      " +
                              docs +
                              "/Sub/b.txt\n"
                              "new      " +
                              notes +
                              "\n"
                              "Would copy 3 files (8 Bytes) and create 2 folders\n");
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(temp.names("dest").empty()) << "not even the run's lock file";

    ok({"backup", "Nightly", "--quiet"});
    temp.file("src/notes.txt", "notes, longer");
    const ProcessResult again = cli({"backup", "Nightly", "--dry-run", "--incremental"});
    EXPECT_EQ(again.out,
              "size     " + notes + "\nWould copy 1 file (13 Bytes) and create 0 folders; 2 up to date\n");
    const ProcessResult verbose = cli({"backup", "Nightly", "-n", "--incremental", "--verbose"});
    EXPECT_NE(verbose.out.find("same     " + docs + "/a.txt\n"), std::string::npos) << verbose.out;
}

TEST_F(DryRunCommand, JsonLinesKeepTheBytesOfNamesThatAreNotUtf8)
{
    const std::string odd = temp.file("src/Docs/caf\xE9\\x.txt", "latin-1");
    const ProcessResult result = cli({"backup", "Nightly", "--dry-run", "--json"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const auto lines = jsonLines(result.out);
    ASSERT_FALSE(lines.empty());
    const nlohmann::json& totals = lines.back();
    EXPECT_EQ(totals["kind"], "totals");
    EXPECT_EQ(totals["files"], 4);
    EXPECT_EQ(totals["bytes"], 15);
    EXPECT_EQ(totals["folders"], 2);
    bool found = false;
    for (const nlohmann::json& line : lines) {
        if (line["kind"] == "new" && line["path"] == docs + "/caf\\xE9\\x5Cx.txt") {
            found = true;
            EXPECT_EQ(line["size"], 7);
            EXPECT_EQ(line["target"], dest + "/Docs/caf\\xE9\\x5Cx.txt");
        }
    }
    EXPECT_TRUE(found) << result.out;
    // A valid name keeps its backslash as it is.
    EXPECT_NE(result.out.find("\"path\":\"" + notes + "\""), std::string::npos);
    static_cast<void>(odd);
}

TEST_F(DryRunCommand, ExitCodesAreThoseOfARealRun)
{
    std::filesystem::remove(notes);
    const ProcessResult missing = cli({"backup", "Nightly", "--dry-run"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.out.find("missing  " + notes + "\n"), std::string::npos) << missing.out;
    EXPECT_NE(missing.err.find("These items were not found and were not backed up:\n" + notes),
              std::string::npos);

    std::filesystem::remove(dest);
    const ProcessResult noDestination = cli({"backup", "Nightly", "--dry-run", "--json"});
    EXPECT_EQ(noDestination.exitCode, 3);
    EXPECT_EQ(noDestination.err, "Backup To Folder " + dest + " does not exist.\n");
    EXPECT_FALSE(std::filesystem::exists(dest));

    EXPECT_EQ(cli({"paths", "Nightly", "--json"}).exitCode, 3)
        << "--json belongs to backup, list and history";
    EXPECT_EQ(cli({"list", "--dry-run"}).exitCode, 3);
}

TEST_F(DryRunCommand, WhatAnotherUserCannotReadIsListedAsUnreadable)
{
    if (::getuid() != 0 || ::access("/usr/bin/setpriv", X_OK) != 0)
        GTEST_SKIP() << "needs root and setpriv to run the preview as another user";
    const std::string hidden = temp.folder("src/Docs/Private");
    temp.file("src/Docs/Private/p.txt", "p");
    ASSERT_EQ(::chmod(hidden.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(dest.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(temp.path().c_str(), 0755), 0);
    shareTables();
    const ProcessResult result = ChildProcess::run(
        "/usr/bin/setpriv", {"--reuid=nobody", "--regid=nogroup", "--clear-groups", cliExecutable(), "--data",
                             data, "backup", "Nightly", "--dry-run"});
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_NE(result.out.find("unreadable " + hidden + ": Permission denied\n"), std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("; 1 unreadable\n"), std::string::npos) << result.out;
    EXPECT_TRUE(temp.names("dest").empty());
}

namespace {

/// A tmpfs of a given size over a folder, unmounted at the end.
std::vector<std::string> namesIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST_F(DryRunCommand, ARunThatCannotFitStopsBeforeCopyingUnlessForced)
{
    const TestMount disk(TestMount::Kind::Tmpfs, 256 * 1024);
    if (!disk.mounted())
        GTEST_SKIP() << disk.why();
    const std::string small = disk.path();
    // Sparse: eight mebibytes long, a few bytes on disk; it fits.
    const std::string sparse = temp.sparseFile("src/sparse.img", 8 << 20);
    ok({"new-set", "Sparse", small});
    ok({"add-paths", "Sparse", sparse});
    const ProcessResult fits = cli({"backup", "Sparse", "--quiet"});
    EXPECT_EQ(fits.exitCode, 0) << fits.err;

    temp.file("src/Docs/big.bin", std::string(600 * 1024, 'x'));
    ok({"new-set", "Small", small});
    ok({"add-paths", "Small", docs, notes});
    const ProcessResult refused = cli({"backup", "Small"});
    EXPECT_EQ(refused.exitCode, 3);
    // The big file and three small ones of a page each, on disk; the lock file holds a
    // page with the word of its last holder, the manifest of the first backup another, and
    // its record a third.
    EXPECT_NE(refused.err.find("This backup needs 612.00 KB; 244.00 KB is free at " + small +
                               ".\nNothing was copied; --force starts the backup anyway.\n"),
              std::string::npos)
        << refused.err;
    EXPECT_EQ(namesIn(small), (std::vector<std::string>{".stowmere-manifest", ".stowmere-run.lock",
                                                        ".stowmere-runs", "sparse.img"}))
        << "not a byte copied";

    const ProcessResult forced = cli({"backup", "Small", "--force"});
    EXPECT_EQ(forced.exitCode, 2) << forced.err;
    EXPECT_NE(forced.err.find("Drive could be full."), std::string::npos) << forced.err;
}
