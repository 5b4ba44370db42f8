// SPDX-License-Identifier: GPL-3.0-or-later
// The set commands run as the real executable on real data folders.
#include "CliTest.h"
#include "WorkedFiles.h"
#include "support/TestTree.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

using stowmere::cli::test::ChildProcess;
using stowmere::cli::test::cliExecutable;
using stowmere::cli::test::CliTest;
using stowmere::cli::test::ProcessResult;
using stowmere::testing::TestTree;

namespace {

class SetCommands : public CliTest {
protected:
};

} // namespace

TEST_F(SetCommands, NewSetInEmptyFolderWritesTheWindowsBytes)
{
    EXPECT_EQ(ok({"new-set", "abc", "D:\\Bak"}), "1\tabc\tD:\\Bak\n");
    EXPECT_EQ(temp.bytes("data/Category.cds"), stowmere::cli::test::workedCategoryFile());
    // The path table did not change, so no file is written for it.
    EXPECT_FALSE(temp.exists("data/Path.cds"));
}

TEST_F(SetCommands, ReadingCommandsWriteNothing)
{
    EXPECT_EQ(ok({"list"}), "");
    EXPECT_TRUE(temp.names("data").empty());
    ok({"new-set", "abc", "/b"});
    const auto before = std::filesystem::last_write_time(temp.path("data/Category.cds"));
    ok({"list"});
    ok({"paths", "abc"});
    EXPECT_EQ(std::filesystem::last_write_time(temp.path("data/Category.cds")), before);
    // The lock file of the one command that changed the tables stays; readers take no lock.
    // The new set's identity is in the options file.
    EXPECT_EQ(temp.names("data"),
              (std::vector<std::string>{".stowmere-tables.lock", "Category.cds", "Options.cds"}));
}

TEST_F(SetCommands, ListFollowsTheWindowsOrderAndNumbersAreNeverReused)
{
    for (const char* description : {"b", "B", "a", "A", "b"})
        ok({"new-set", description, "/dest"});
    // Case-different descriptions are neighbours, lower case first; an equal description
    // goes after the one already there.
    EXPECT_EQ(ok({"list"}), "3\ta\t/dest\tnever\t-\n4\tA\t/dest\tnever\t-\n1\tb\t/dest\tnever\t-\n5\tb\t/"
                            "dest\tnever\t-\n2\tB\t/dest\tnever\t-\n");

    ok({"delete-set", "4"});
    ok({"delete-set", "5"});
    EXPECT_EQ(ok({"new-set", "c", "/dest"}), "6\tc\t/dest\n");
    EXPECT_EQ(ok({"list"}),
              "3\ta\t/dest\tnever\t-\n1\tb\t/dest\tnever\t-\n2\tB\t/dest\tnever\t-\n6\tc\t/dest\tnever\t-\n");
}

TEST_F(SetCommands, NewSetIsRefusedWithTheEditorsMessages)
{
    struct Case {
        std::string description, destination, message;
    };
    const std::vector<Case> cases{
        {"", "", "Please insert Category Description.\n"},
        {"", "/dest", "Please insert Category Description.\n"},
        {"abc", "", "Please select Backup To Directory.\n"},
        // One line, as the editor's field takes it: a line break or tab would split the list.
        {"Two\nlines", "/dest",
         "A description is one line of text: it cannot hold a line break, a tab or "
         "another control character.\n"},
        {"tab\there", "/dest",
         "A description is one line of text: it cannot hold a line break, a tab or "
         "another control character.\n"},
    };
    for (const Case& c : cases) {
        const ProcessResult result = cli({"new-set", c.description, c.destination});
        EXPECT_EQ(result.exitCode, 3);
        EXPECT_EQ(result.err, c.message);
    }
    EXPECT_EQ(temp.names("data"), std::vector<std::string>{".stowmere-tables.lock"})
        << "a refused set leaves no table file behind, only the lock every change takes";
}

TEST_F(SetCommands, WhatTheProgramWritesForItselfIsPrivateWhateverTheUmask)
{
    namespace fs = std::filesystem;
    // A state folder that is not there yet, with a parent of the usual 0755.
    state = temp.folder("home") + "/.local/state";
    fs::permissions(temp.path("home"), fs::perms(0755));
    const mode_t oldMask = ::umask(022);
    ok({"new-set", "Docs", temp.folder("dest")});
    ok({"add-paths", "Docs", temp.file("src/a.txt", "a")});
    ok({"options", "Docs", "--keep-versions", "3"});
    ok({"backup", "Docs", "--quiet"});
    ::umask(oldMask);

    for (const char* name : {"Category.cds", "Path.cds", "Options.cds", ".stowmere-tables.lock"})
        EXPECT_EQ(fs::status(data + "/" + name).permissions(), fs::perms(0600)) << name;
    EXPECT_EQ(fs::status(state).permissions(), fs::perms(0700));
    EXPECT_EQ(fs::status(state + "/stowmere").permissions(), fs::perms(0700));
    EXPECT_EQ(fs::status(state + "/stowmere/history.jsonl").permissions(), fs::perms(0600));
    EXPECT_EQ(fs::status(temp.path("home")).permissions(), fs::perms(0755))
        << "a folder it found is left as it was";
}

TEST_F(SetCommands, TextTooLongForItsColumnIsRefusedNotCut)
{
    const std::string fifty(50, 'd');
    ok({"new-set", fifty, "/dest"});
    const ProcessResult tooLong = cli({"new-set", fifty + "e", "/dest"});
    EXPECT_EQ(tooLong.exitCode, 3);
    EXPECT_NE(tooLong.err.find("Category_Description"), std::string::npos) << tooLong.err;
    // 49 bytes and a two-byte character make 51 bytes.
    EXPECT_EQ(cli({"new-set", std::string(49, 'd') + "é", "/dest"}).exitCode, 3);
    const ProcessResult longFolder = cli({"new-set", "x", "/" + std::string(255, 'f')});
    EXPECT_EQ(longFolder.exitCode, 3);
    EXPECT_NE(longFolder.err.find("Category_BackupDirectory"), std::string::npos) << longFolder.err;
    EXPECT_EQ(ok({"list"}), "1\t" + fifty + "\t/dest\tnever\t-\n");
}

TEST_F(SetCommands, PathsAreStoredFullAndListedInTheWindowsOrder)
{
    ok({"new-set", "Docs", "/dest"});
    ok({"new-set", "Other", "/dest"});
    const std::string b = temp.file("src/b.txt", "b");
    const std::string a = temp.folder("src/a");
    temp.file("src/c.txt", "c");
    ok({"add-paths", "Docs", b, a + "/"});
    ok({"add-paths", "Other", temp.path("src/c.txt")});
    // A relative path is taken from the current folder of the command.
    ChildProcess child("/bin/sh",
                       {"-c", "cd \"$1\" && exec \"$2\" --data \"$3\" add-paths Docs ./src/../src/c.txt",
                        "sh", temp.path(), cliExecutable(), data});
    EXPECT_EQ(child.finish().exitCode, 0);

    EXPECT_EQ(ok({"paths", "Docs"}), a + "\n" + b + "\n" + temp.path("src/c.txt") + "\n");
    EXPECT_EQ(ok({"paths", "2"}), temp.path("src/c.txt") + "\n");
}

TEST_F(SetCommands, AddPathsRefusesAMissingPathAndAddsNothing)
{
    ok({"new-set", "Docs", "/dest"});
    const std::string a = temp.file("src/a.txt", "a");
    const ProcessResult result = cli({"add-paths", "Docs", a, temp.path("src/missing.txt")});
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_NE(result.err.find("No such file or folder: " + temp.path("src/missing.txt")), std::string::npos);
    EXPECT_EQ(ok({"paths", "Docs"}), "");
    EXPECT_FALSE(temp.exists("data/Path.cds"));
}

TEST_F(SetCommands, RemovePathsRemovesEveryCopyAndReportsTheOnesNotThere)
{
    ok({"new-set", "Docs", "/dest"});
    const std::string a = temp.file("src/a.txt", "a");
    const std::string b = temp.file("src/b.txt", "b");
    ok({"add-paths", "Docs", a, a, b});
    EXPECT_EQ(ok({"paths", "Docs"}), a + "\n" + a + "\n" + b + "\n");

    const ProcessResult result = cli({"remove-paths", "Docs", a, "/not/there"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "Could not find Path in dataset: /not/there\n");
    EXPECT_EQ(ok({"paths", "Docs"}), b + "\n");
}

TEST_F(SetCommands, DeleteSetNeedsAnEmptyPathList)
{
    ok({"new-set", "Docs", "/dest"});
    ok({"add-paths", "Docs", temp.file("src/a.txt", "a")});
    const std::string before = temp.read("data/Category.cds");
    const ProcessResult refused = cli({"delete-set", "Docs"});
    EXPECT_EQ(refused.exitCode, 3);
    EXPECT_EQ(refused.err, "Delete file and folder list before deleting Backup.\n");
    EXPECT_EQ(temp.read("data/Category.cds"), before);

    ok({"remove-paths", "Docs", temp.path("src/a.txt")});
    ok({"delete-set", "Docs"});
    EXPECT_EQ(ok({"list"}), "");
}

TEST_F(SetCommands, AmbiguousOrUnknownSetIsAnError)
{
    ok({"new-set", "dup", "/one"});
    ok({"new-set", "dup", "/two"});
    const ProcessResult ambiguous = cli({"paths", "dup"});
    EXPECT_EQ(ambiguous.exitCode, 3);
    EXPECT_NE(ambiguous.err.find("\n  1\tdup\t/one\n  2\tdup\t/two\n"), std::string::npos) << ambiguous.err;
    EXPECT_EQ(ok({"paths", "2"}), "");
    EXPECT_EQ(cli({"delete-set", "nope"}).exitCode, 3);
    EXPECT_EQ(ok({"list"}), "1\tdup\t/one\tnever\t-\n2\tdup\t/two\tnever\t-\n");
}

TEST_F(SetCommands, UnusableDataFilesStopEveryCommand)
{
    const ProcessResult noFolder =
        ChildProcess::run(cliExecutable(), {"--data", temp.path("nowhere"), "list"});
    EXPECT_EQ(noFolder.exitCode, 3);
    EXPECT_NE(noFolder.err.find("nowhere"), std::string::npos);

    temp.file("data/Category.cds", "this is not a table file");
    for (const std::vector<std::string>& words :
         {std::vector<std::string>{"list"}, {"new-set", "a", "/b"}, {"backup", "1"}}) {
        const ProcessResult result = cli(words);
        EXPECT_EQ(result.exitCode, 3) << words.front();
        EXPECT_NE(result.err.find("Category.cds"), std::string::npos) << result.err;
    }
    EXPECT_EQ(temp.read("data/Category.cds"), "this is not a table file");
}

TEST(DefaultDataFolder, IsTheFolderOfTheExecutables)
{
    // A copy of the executable in a folder of its own finds its data files beside it.
    TestTree temp{"cli"};
    const std::string copy = temp.folder("bin") + "/stowmere-cli";
    std::filesystem::copy_file(cliExecutable(), copy);
    std::filesystem::permissions(copy, std::filesystem::perms::owner_all);
    EXPECT_EQ(ChildProcess::run(copy, {"new-set", "abc", "D:\\Bak"}).exitCode, 0);
    EXPECT_EQ(temp.bytes("bin/Category.cds"), stowmere::cli::test::workedCategoryFile());
    EXPECT_EQ(ChildProcess::run(copy, {"list"}).out, "1\tabc\tD:\\Bak\tnever\t-\n");
}
