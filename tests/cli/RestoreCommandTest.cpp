// SPDX-License-Identifier: GPL-3.0-or-later
// Versions and restore, run as the real executable over real backups.
#include "CliTest.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <utime.h>

using stowmere::cli::test::CliTest;
using stowmere::cli::test::ProcessResult;
namespace fs = std::filesystem;

namespace {

class RestoreCommand : public CliTest {
protected:
    void SetUp() override
    {
        docs = temp.folder("src/Docs");
        write("src/Docs/a.txt", "first", 1'600'000'000);
        write("src/Docs/Sub/b.txt", "bee", 1'600'000'100);
        write("src/note.txt", "note", 1'600'000'200);
        ok({"new-set", "Set", temp.folder("dest")});
        ok({"add-paths", "Set", docs, temp.path("src/note.txt")});
        ok({"backup", "Set", "--quiet"});
    }

    void write(const std::string& relative, const std::string& contents, std::time_t modified)
    {
        const std::string path = temp.file(relative, contents);
        const utimbuf times{modified, modified};
        ::utime(path.c_str(), &times);
    }

    std::time_t modified(const std::string& relative) const
    {
        struct stat info {};
        ::stat(temp.path(relative).c_str(), &info);
        return info.st_mtim.tv_sec;
    }

    /// The run folders in the versions folder, oldest first.
    std::vector<std::string> runFolders() const
    {
        std::vector<std::string> names = temp.names("dest/.stowmere-versions");
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string docs;
};

} // namespace

TEST_F(RestoreCommand, VersionsListsWhatEachRunReplacedAndTheLimitPrunesTheOldest)
{
    write("src/Docs/a.txt", "second", 1'650'000'000);
    ok({"backup", "Set", "--quiet"});
    write("src/Docs/a.txt", "third!", 1'700'000'000);
    ok({"backup", "Set", "--quiet", "--incremental"});
    const auto folders = runFolders();
    ASSERT_EQ(folders.size(), 2U);

    const std::string listed = ok({"versions", "Set"});
    const std::string a = docs + "/a.txt";
    EXPECT_NE(listed.find(folders[0] + "\t"), std::string::npos) << listed;
    EXPECT_NE(listed.find("\t5\t" + a + "\n"), std::string::npos) << listed;
    EXPECT_NE(listed.find("\t6\t" + a + "\n"), std::string::npos) << listed;
    EXPECT_LT(listed.find("\t5\t" + a), listed.find("\t6\t" + a)) << "oldest first";
    EXPECT_EQ(listed.find("b.txt"), std::string::npos) << "an unchanged file keeps no version";
    EXPECT_EQ(ok({"versions", "Set", temp.path("src/note.txt")}), "");

    ok({"options", "Set", "--keep-versions", "1"});
    write("src/note.txt", "note 2", 1'700'000'000);
    ok({"backup", "Set", "--quiet", "--incremental"});
    EXPECT_EQ(runFolders().size(), 1U);
    EXPECT_EQ(ok({"versions", "Set", docs}), "");
}

TEST_F(RestoreCommand, ADeletedFileAndAWholeFolderComeBackAsTheyWere)
{
    fs::remove(temp.path("src/note.txt"));
    fs::remove_all(docs);
    ok({"restore", "Set", temp.path("src/note.txt"), docs});
    EXPECT_EQ(temp.read("src/note.txt"), "note");
    EXPECT_EQ(modified("src/note.txt"), 1'600'000'200);
    EXPECT_EQ(temp.read("src/Docs/a.txt"), "first");
    EXPECT_EQ(temp.read("src/Docs/Sub/b.txt"), "bee");
    EXPECT_EQ(modified("src/Docs/Sub/b.txt"), 1'600'000'100);
    EXPECT_FALSE(temp.exists("src/Docs/.stowmere-versions"));

    // Into another folder, the original left alone.
    ok({"restore", "Set", docs, "--to", temp.folder("elsewhere")});
    EXPECT_EQ(temp.read("elsewhere/Docs/Sub/b.txt"), "bee");
}

TEST_F(RestoreCommand, AFileThatDiffersIsReplacedOnlyWithOverwrite)
{
    write("src/Docs/a.txt", "newer work", 1'700'000'000);
    const ProcessResult kept = cli({"restore", "Set", docs});
    EXPECT_EQ(kept.exitCode, 1);
    EXPECT_NE(kept.err.find("Kept " + docs + "/a.txt"), std::string::npos) << kept.err;
    EXPECT_EQ(temp.read("src/Docs/a.txt"), "newer work");

    ok({"restore", "Set", docs + "/a.txt", "--overwrite"});
    EXPECT_EQ(temp.read("src/Docs/a.txt"), "first");
}

TEST_F(RestoreCommand, AtPicksTheCopyThatWasCurrentThen)
{
    write("src/Docs/a.txt", "second", 1'650'000'000);
    ok({"backup", "Set", "--quiet"});
    write("src/Docs/a.txt", "third!", 1'700'000'000);
    ok({"backup", "Set", "--quiet"});
    // The runs came within a second or two; their folders and records are given the stamps
    // of three runs a year apart.
    const auto folders = runFolders();
    ASSERT_EQ(folders.size(), 2U);
    std::vector<std::string> records = temp.names("dest/.stowmere-runs");
    std::sort(records.begin(), records.end());
    ASSERT_EQ(records.size(), 3U);
    ASSERT_EQ(records[1], folders[0]);
    const auto restamp = [&](const std::string& folder, const std::string& name) {
        fs::rename(temp.path(folder + "/" + name.substr(0, name.find('|'))),
                   temp.path(folder + "/" + name.substr(name.find('|') + 1)));
    };
    restamp("dest/.stowmere-runs", records[0] + "|2019-01-01T000000Z");
    restamp("dest/.stowmere-runs", records[1] + "|2020-01-01T000000Z");
    restamp("dest/.stowmere-runs", records[2] + "|2021-01-01T000000Z");
    restamp("dest/.stowmere-versions", folders[0] + "|2020-01-01T000000Z");
    restamp("dest/.stowmere-versions", folders[1] + "|2021-01-01T000000Z");

    const std::string a = docs + "/a.txt";
    const auto restoredAt = [&](const std::string& time) {
        ok({"restore", "Set", a, "--at", time, "--to", temp.folder("at")});
        const std::string contents = temp.read("at/a.txt");
        fs::remove(temp.path("at/a.txt"));
        return contents;
    };
    EXPECT_EQ(restoredAt("2019-12-31"), "first");
    EXPECT_EQ(restoredAt("2020-06-01 12:00"), "second");
    EXPECT_EQ(restoredAt("2021-01-01T000001Z"), "third!");
    EXPECT_EQ(cli({"restore", "Set", a, "--at", "yesterday"}).exitCode, 3);
    EXPECT_EQ(cli({"restore", "Set", a, "--at", "2018-06-01", "--to", temp.folder("at")}).exitCode, 3)
        << "nothing was backed up yet";
}

TEST_F(RestoreCommand, TwoItemsWithOneCopyPlaceNeedAFolderToRestoreTo)
{
    const std::string other = temp.folder("other/Docs");
    write("other/Docs/a.txt", "other", 1'600'000'000);
    ok({"add-paths", "Set", other});
    const ProcessResult refused = cli({"restore", "Set", docs + "/a.txt"});
    EXPECT_EQ(refused.exitCode, 3);
    EXPECT_NE(refused.err.find("--to"), std::string::npos) << refused.err;
    ok({"restore", "Set", docs + "/a.txt", "--to", temp.folder("picked")});
    EXPECT_TRUE(temp.exists("picked/a.txt"));

    const ProcessResult unknown = cli({"restore", "Set", temp.path("nowhere/x")});
    EXPECT_EQ(unknown.exitCode, 3);
    EXPECT_NE(unknown.err.find("Not a file or folder of this backup set"), std::string::npos);
}
