// SPDX-License-Identifier: GPL-3.0-or-later
// Restores and kept versions read from a folder on a server, and what a run does with links
// planted there, through the real executable and a real sshd.
#include "CliTest.h"
#include "support/TestSshServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <thread>

#include <ctime>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using stowmere::cli::test::CliTest;
using stowmere::cli::test::ProcessResult;
using stowmere::testing::TestSshServer;

namespace {

class SftpRestoreCommand : public CliTest {
protected:
    void SetUp() override
    {
        if (!server().running())
            GTEST_SKIP() << server().why();
        extraEnvironment = {"HOME=" + server().home(), "SSH_AUTH_SOCK="};
        server().setKnown(TestSshServer::Known::Key);
        temp.file("src/Docs/a.txt", "first version", kFirst);
        temp.file("src/Docs/Sub/b.txt", std::string(300000, 'b'), kFirst + 7);
        temp.file("src/Docs/run.sh", "#!/bin/sh\n", kFirst + 9);
        ::chmod(temp.path("src/Docs/run.sh").c_str(), 0750);
        ::chmod(temp.path("src/Docs/a.txt").c_str(), 0640);
        std::filesystem::create_symlink("Sub/b.txt", temp.path("src/Docs/link"));
        temp.folder("dest");
        ok({"new-set", "Offsite", server().url(temp.path("dest"))});
        ok({"add-paths", "Offsite", temp.path("src/Docs")});
    }

    static TestSshServer& server() { return TestSshServer::shared(); }

    struct stat statOf(const std::string& relative) const
    {
        struct stat info {};
        EXPECT_EQ(::lstat(temp.path(relative).c_str(), &info), 0) << relative;
        return info;
    }

    static std::string linkText(const std::string& path)
    {
        std::error_code error;
        return std::filesystem::read_symlink(path, error).string();
    }

    static constexpr std::time_t kFirst = 1700000000;
    static constexpr std::time_t kSecond = 1700003600;
};

} // namespace

TEST_F(SftpRestoreCommand, CurrentCopiesAndKeptVersionsComeBackWithTheirBytesBitsAndTimes)
{
    ASSERT_EQ(cli({"backup", "Offsite"}).exitCode, 0);
    // The moment between the two runs, in a second of its own.
    const std::time_t between = std::time(nullptr);
    while (std::time(nullptr) == between)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    temp.file("src/Docs/a.txt", "second, longer version", kSecond);
    const ProcessResult second = cli({"backup", "Offsite", "--incremental"});
    ASSERT_EQ(second.exitCode, 0) << second.err;

    const std::string listed = ok({"versions", "Offsite"});
    EXPECT_NE(listed.find(temp.path("src/Docs/a.txt")), std::string::npos) << listed;
    EXPECT_NE(listed.find("\t13\t"), std::string::npos) << listed; // the first version's size
    EXPECT_EQ(listed.find("b.txt"), std::string::npos) << listed;

    const ProcessResult current =
        cli({"restore", "Offsite", temp.path("src/Docs"), "--to", temp.path("now")});
    ASSERT_EQ(current.exitCode, 0) << current.err;
    EXPECT_EQ(temp.read("now/Docs/a.txt"), "second, longer version");
    EXPECT_EQ(temp.read("now/Docs/Sub/b.txt"), std::string(300000, 'b'));
    EXPECT_EQ(linkText(temp.path("now/Docs/link")), "Sub/b.txt");
    EXPECT_EQ(statOf("now/Docs/a.txt").st_mtim.tv_sec, kSecond);
    EXPECT_EQ(statOf("now/Docs/Sub/b.txt").st_mtim.tv_sec, kFirst + 7);
    EXPECT_EQ(statOf("now/Docs/a.txt").st_mode & 07777, 0640U);
    EXPECT_EQ(statOf("now/Docs/run.sh").st_mode & 07777, 0750U);
    EXPECT_EQ(temp.countStartingWith("now/Docs", ".stowmere-tmp-"), 0U);
    EXPECT_FALSE(temp.exists("now/Docs/.stowmere-versions"));
    EXPECT_FALSE(temp.exists("dest/.stowmere-run.lock"));

    // The copies as they were before the second run: its kept version stands in. The record
    // of the runs on the server tells that nothing was there before the first.
    std::tm parts{};
    ::gmtime_r(&between, &parts);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H%M%SZ", &parts);
    const ProcessResult old =
        cli({"restore", "Offsite", temp.path("src/Docs"), "--to", temp.path("old"), "--at", stamp});
    ASSERT_EQ(old.exitCode, 0) << old.err;
    EXPECT_EQ(temp.read("old/Docs/a.txt"), "first version");
    EXPECT_EQ(statOf("old/Docs/a.txt").st_mtim.tv_sec, kFirst);
    EXPECT_EQ(statOf("old/Docs/a.txt").st_mode & 07777, 0640U);
    EXPECT_EQ(temp.read("old/Docs/Sub/b.txt"), std::string(300000, 'b'));
    EXPECT_EQ(
        cli({"restore", "Offsite", temp.path("src/Docs"), "--to", temp.path("none"), "--at", "2000-01-01"})
            .exitCode,
        3);

    // Over the original place: what is there already as in the backup is left alone, a
    // difference is kept unless --overwrite.
    temp.file("src/Docs/a.txt", "edited since", kSecond + 60);
    const ProcessResult kept = cli({"restore", "Offsite", temp.path("src/Docs")});
    EXPECT_EQ(kept.exitCode, 1) << kept.err;
    EXPECT_NE(kept.err.find("Kept " + temp.path("src/Docs/a.txt")), std::string::npos) << kept.err;
    EXPECT_EQ(temp.read("src/Docs/a.txt"), "edited since");
    EXPECT_NE(kept.err.find("already as in the backup"), std::string::npos) << kept.err;
    ASSERT_EQ(cli({"restore", "Offsite", temp.path("src/Docs/a.txt"), "--overwrite"}).exitCode, 0);
    EXPECT_EQ(temp.read("src/Docs/a.txt"), "second, longer version");
}

TEST_F(SftpRestoreCommand, ALinkPlantedInAServersCopyIsNeverReadThrough)
{
    ASSERT_EQ(cli({"backup", "Offsite"}).exitCode, 0);
    temp.file("secret/b.txt", "not the user's");
    std::filesystem::remove_all(temp.path("dest/Docs/Sub"));
    std::filesystem::create_directory_symlink(temp.path("secret"), temp.path("dest/Docs/Sub"));

    const ProcessResult restored =
        cli({"restore", "Offsite", temp.path("src/Docs"), "--to", temp.path("out")});
    EXPECT_EQ(restored.exitCode, 0) << restored.err;
    EXPECT_EQ(temp.read("out/Docs/a.txt"), "first version");
    // The planted link comes back as the link it is, never as what it leads to.
    EXPECT_EQ(linkText(temp.path("out/Docs/Sub")), temp.path("secret"));
    EXPECT_FALSE(std::filesystem::is_directory(std::filesystem::symlink_status(temp.path("out/Docs/Sub"))));
}

TEST_F(SftpRestoreCommand, ARunNeverWritesThroughLinksPlantedInTheServerFolder)
{
    temp.file("outside/a.txt", "theirs");
    temp.file("outside/keep/Sub/b.txt", "theirs too");
    std::filesystem::create_directory_symlink(temp.path("outside/keep"), temp.path("dest/Docs"));
    std::filesystem::create_directory_symlink(temp.path("outside"), temp.path("dest/.stowmere-versions"));

    const ProcessResult first = cli({"backup", "Offsite"});
    ASSERT_EQ(first.exitCode, 0) << first.err;
    EXPECT_EQ(temp.read("outside/keep/Sub/b.txt"), "theirs too");
    EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::symlink_status(temp.path("dest/Docs"))));
    EXPECT_EQ(temp.read("dest/Docs/Sub/b.txt"), std::string(300000, 'b'));

    // A link put in place of a copy and of a folder of copies between two runs.
    std::filesystem::remove(temp.path("dest/Docs/a.txt"));
    std::filesystem::create_symlink(temp.path("outside/a.txt"), temp.path("dest/Docs/a.txt"));
    std::filesystem::remove_all(temp.path("dest/Docs/Sub"));
    std::filesystem::create_directory_symlink(temp.path("outside/keep/Sub"), temp.path("dest/Docs/Sub"));
    temp.file("src/Docs/a.txt", "second", kSecond);
    temp.file("src/Docs/Sub/b.txt", "changed", kSecond);
    const ProcessResult second = cli({"backup", "Offsite"});
    ASSERT_EQ(second.exitCode, 0) << second.err;
    EXPECT_EQ(temp.read("outside/a.txt"), "theirs");
    EXPECT_EQ(temp.read("outside/keep/Sub/b.txt"), "theirs too");
    EXPECT_EQ(temp.read("dest/Docs/a.txt"), "second");
    EXPECT_EQ(temp.read("dest/Docs/Sub/b.txt"), "changed");
    EXPECT_EQ(temp.names("outside"), (std::vector<std::string>{"a.txt", "keep"}));
}
