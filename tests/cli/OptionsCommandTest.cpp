// SPDX-License-Identifier: GPL-3.0-or-later
// The options command run as the real executable on real data folders.
#include "CliTest.h"

#include <gtest/gtest.h>

#include <filesystem>

using stowmere::cli::test::CliTest;
using stowmere::cli::test::ProcessResult;

namespace {

class OptionsCommand : public CliTest {
protected:
    void SetUp() override { ok({"new-set", "Docs", temp.folder("dest")}); }
};

constexpr const char* kDefaults = "keep-versions\t5\n"
                                  "keep-days\t0\n"
                                  "keep-daily\t0\n"
                                  "keep-weekly\t0\n"
                                  "keep-monthly\t0\n"
                                  "cachedir-tag\ton\n"
                                  "guard\ton\n"
                                  "mirror\toff\n"
                                  "drive\t-\n";

} // namespace

TEST_F(OptionsCommand, ShowsTheDefaultsThenTheChangesWhichAreKept)
{
    // The set's row holds only its identity: showing the options writes nothing.
    const auto identityRow = temp.bytes("data/Options.cds");
    EXPECT_EQ(ok({"options", "Docs"}), kDefaults);
    EXPECT_EQ(temp.bytes("data/Options.cds"), identityRow);

    EXPECT_EQ(ok({"options", "Docs", "--exclude", "*.o", "--exclude=build/", "--keep-versions", "1",
                  "--keep-days", "7", "--cachedir-tag", "off", "--guard", "off"}),
              "exclude\t*.o\nexclude\tbuild/"
              "\nkeep-versions\t1\nkeep-days\t7\nkeep-daily\t0\nkeep-weekly\t0\nkeep-monthly\t0\n"
              "cachedir-tag\toff\n"
              "guard\toff\nmirror\toff\ndrive\t-\n");
    const std::string thinned =
        ok({"options", "Docs", "--keep-daily", "7", "--keep-weekly=4", "--keep-monthly", "12"});
    EXPECT_NE(thinned.find("keep-days\t7\nkeep-daily\t7\nkeep-weekly\t4\nkeep-monthly\t12\n"),
              std::string::npos)
        << thinned;
    ok({"options", "Docs", "--keep-daily", "0", "--keep-weekly", "0", "--keep-monthly", "0"});
    // Adding a pattern twice keeps one; removing one leaves the others in their order.
    EXPECT_EQ(
        ok({"options", "1", "--exclude", "build/", "--no-exclude", "*.o", "--exclude", "*.tmp"}),
        "exclude\tbuild/"
        "\nexclude\t*.tmp\nkeep-versions\t1\nkeep-days\t7\nkeep-daily\t0\nkeep-weekly\t0\nkeep-monthly\t0\n"
        "cachedir-tag\toff\n"
        "guard\toff\nmirror\toff\ndrive\t-\n");
}

TEST_F(OptionsCommand, MistakesChangeNothing)
{
    const auto before = temp.bytes("data/Options.cds");
    const auto refused = [&](std::vector<std::string> words) {
        const ProcessResult result = cli(std::move(words));
        EXPECT_EQ(result.exitCode, 3) << result.err;
        return result.err;
    };
    EXPECT_NE(refused({"options", "Docs", "--no-exclude", "*.o"}).find("Not an exclusion pattern"),
              std::string::npos);
    EXPECT_NE(refused({"options", "Docs", "--keep-versions", "-1"}).find("whole number"), std::string::npos);
    EXPECT_NE(refused({"options", "Docs", "--keep-monthly", "-1"}).find("whole number"), std::string::npos);
    EXPECT_NE(refused({"backup", "Docs", "--keep-daily", "2"}).find("belongs to the options command"),
              std::string::npos);
    EXPECT_NE(refused({"options", "Docs", "--guard", "yes"}).find("on or off"), std::string::npos);
    EXPECT_NE(refused({"backup", "Docs", "--keep-days", "2"}).find("belongs to the options command"),
              std::string::npos);
    EXPECT_NE(refused({"options", "Docs", "--accept-new-drive"}).find("backup command"), std::string::npos);
    EXPECT_NE(refused({"options", "Docs", "--mirror", "maybe"}).find("on or off"), std::string::npos);
    EXPECT_NE(refused({"options", "Docs", "--allow-mass-removal"}).find("backup command"), std::string::npos);
    EXPECT_EQ(temp.bytes("data/Options.cds"), before);
}

TEST_F(OptionsCommand, ADamagedOptionsFileIsReportedLeftAsItIsAndTheDefaultsShown)
{
    temp.file("data/Options.cds", "damaged");
    const ProcessResult shown = cli({"options", "Docs"});
    EXPECT_EQ(shown.exitCode, 0);
    EXPECT_EQ(shown.out, kDefaults);
    EXPECT_NE(shown.err.find("Options.cds"), std::string::npos) << shown.err;
    EXPECT_NE(shown.err.find("default options"), std::string::npos) << shown.err;

    const ProcessResult changed = cli({"options", "Docs", "--guard", "off"});
    EXPECT_EQ(changed.exitCode, 3);
    EXPECT_EQ(temp.read("data/Options.cds"), "damaged");
    // The sets themselves can still be changed.
    ok({"new-set", "More", "/b"});
    EXPECT_EQ(temp.read("data/Options.cds"), "damaged");
}

TEST_F(OptionsCommand, DeletingASetDeletesItsOptions)
{
    ok({"options", "Docs", "--keep-versions", "2"});
    ok({"delete-set", "Docs"});
    ok({"new-set", "Docs", "/b"});
    EXPECT_EQ(ok({"options", "Docs"}), kDefaults);
}

TEST_F(OptionsCommand, ABackupLeavesOutWhatTheSetExcludesAndTheDryRunCountsIt)
{
    const std::string docs = temp.folder("src/Docs");
    temp.file("src/Docs/a.txt", "a");
    temp.file("src/Docs/b.o", "object");
    temp.file("src/Docs/.cache/CACHEDIR.TAG", "Signature: 8a477f597d28d172789f06886806bc55");
    ok({"add-paths", "Docs", docs});
    ok({"options", "Docs", "--exclude", "*.o"});

    const ProcessResult preview = cli({"backup", "Docs", "--dry-run"});
    EXPECT_EQ(preview.exitCode, 0) << preview.err;
    EXPECT_NE(preview.out.find("excluded " + docs + "/b.o\n"), std::string::npos) << preview.out;
    EXPECT_NE(preview.out.find("excluded " + docs + "/.cache\n"), std::string::npos) << preview.out;
    EXPECT_NE(preview.out.find("; 2 excluded\n"), std::string::npos) << preview.out;
    EXPECT_EQ(preview.out.find("not found"), std::string::npos) << preview.out;

    ok({"backup", "Docs", "--quiet"});
    EXPECT_TRUE(temp.exists("dest/Docs/a.txt"));
    EXPECT_FALSE(temp.exists("dest/Docs/b.o"));
    EXPECT_FALSE(temp.exists("dest/Docs/.cache"));

    ok({"options", "Docs", "--cachedir-tag", "off"});
    ok({"backup", "Docs", "--quiet"});
    EXPECT_TRUE(temp.exists("dest/Docs/.cache/CACHEDIR.TAG"));
}

TEST_F(OptionsCommand, MirrorMovesWhatTheSourceLostIntoVersionsAndRefusesAnEmptiedFolderUnlessAllowed)
{
    const std::string docs = temp.folder("src/Docs");
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"})
        temp.file(std::string("src/Docs/") + name, name);
    ok({"add-paths", "Docs", docs});
    EXPECT_NE(ok({"options", "Docs", "--mirror", "on"}).find("mirror\ton\n"), std::string::npos);
    ok({"backup", "Docs", "--quiet"});
    std::filesystem::remove(temp.path("src/Docs/b.txt"));

    const ProcessResult preview = cli({"backup", "Docs", "--dry-run", "--incremental"});
    EXPECT_EQ(preview.exitCode, 0) << preview.err;
    EXPECT_NE(preview.out.find("remove   " + docs + "/b.txt\n"), std::string::npos) << preview.out;
    EXPECT_NE(preview.out.find("; 1 to move into versions"), std::string::npos) << preview.out;
    const ProcessResult json = cli({"backup", "Docs", "--dry-run", "--json", "--incremental"});
    EXPECT_NE(json.out.find(R"({"kind":"remove","path":")" + docs + "/b.txt\""), std::string::npos)
        << json.out;
    EXPECT_TRUE(temp.exists("dest/Docs/b.txt"));

    const ProcessResult moved = cli({"backup", "Docs", "--incremental"});
    EXPECT_EQ(moved.exitCode, 0) << moved.err;
    EXPECT_NE(moved.err.find("1 copy whose source is gone was moved into"), std::string::npos) << moved.err;
    EXPECT_FALSE(temp.exists("dest/Docs/b.txt"));
    EXPECT_NE(ok({"history", "Docs"}).find("moved into versions: 1 copy whose source was gone"),
              std::string::npos);

    // The folder emptied: nothing moves without --allow-mass-removal, and the run says so.
    for (const char* name : {"a.txt", "c.txt", "d.txt"})
        std::filesystem::remove(temp.path(std::string("src/Docs/") + name));
    const ProcessResult refused = cli({"backup", "Docs", "--incremental"});
    EXPECT_NE(refused.err.find("the folder is empty while its copy holds 3 files"), std::string::npos)
        << refused.err;
    EXPECT_NE(refused.err.find("--allow-mass-removal"), std::string::npos) << refused.err;
    EXPECT_TRUE(temp.exists("dest/Docs/a.txt"));
    const ProcessResult allowed = cli({"backup", "Docs", "--incremental", "--allow-mass-removal"});
    EXPECT_EQ(allowed.exitCode, 0) << allowed.err;
    EXPECT_FALSE(temp.exists("dest/Docs/a.txt"));
}
