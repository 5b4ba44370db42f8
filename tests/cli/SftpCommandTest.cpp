// SPDX-License-Identifier: GPL-3.0-or-later
// Backups to a folder on a server, through the real executable and a real sshd.
#include "CliTest.h"
#include "support/TestMount.h"
#include "support/TestSshServer.h"

#include <gtest/gtest.h>

#include <filesystem>

using stowmere::cli::test::CliTest;
using stowmere::cli::test::ProcessResult;
using stowmere::testing::TestSshServer;

namespace {

class SftpCommand : public CliTest {
protected:
    void SetUp() override
    {
        if (!server().running())
            GTEST_SKIP() << server().why();
        extraEnvironment = {"HOME=" + server().home(), "SSH_AUTH_SOCK="};
        server().setKnown(TestSshServer::Known::Key);
        temp.file("src/Docs/a.txt", "a");
        temp.file("src/Docs/Sub/b.txt", "bb");
        temp.file("src/notes.txt", "notes");
        temp.folder("dest");
        url = server().url(temp.path("dest"));
        ok({"new-set", "Offsite", url});
        ok({"add-paths", "Offsite", temp.path("src/Docs"), temp.path("src/notes.txt")});
    }

    static TestSshServer& server() { return TestSshServer::shared(); }

    std::string url;
};

} // namespace

TEST_F(SftpCommand, ABackupGoesToTheServerAndAnIncrementalOneCopiesOnlyWhatChanged)
{
    const ProcessResult first = cli({"backup", "Offsite"});
    ASSERT_EQ(first.exitCode, 0) << first.err;
    EXPECT_EQ(temp.read("dest/Docs/Sub/b.txt"), "bb");
    EXPECT_EQ(temp.read("dest/notes.txt"), "notes");
    EXPECT_FALSE(temp.exists("dest/.stowmere-run.lock"));

    temp.file("src/Docs/a.txt", "changed", std::time(nullptr) + 5);
    const ProcessResult second = cli({"backup", "Offsite", "--incremental", "--json"});
    ASSERT_EQ(second.exitCode, 0) << second.err;
    EXPECT_EQ(temp.read("dest/Docs/a.txt"), "changed");
    EXPECT_NE(second.out.find("\"files\":1,"), std::string::npos) << second.out;
    // The replaced copy is kept on the server, and the history names the server folder.
    EXPECT_TRUE(temp.exists("dest/.stowmere-versions")) << second.out;
    EXPECT_NE(ok({"history", "Offsite", "--json"}).find(url), std::string::npos);
}

TEST_F(SftpCommand, AnUnknownHostIsRefusedUntilTrustHostAcceptsItsKey)
{
    server().setKnown(TestSshServer::Known::Nothing);
    const ProcessResult refused = cli({"backup", "Offsite"});
    EXPECT_EQ(refused.exitCode, 3);
    EXPECT_NE(refused.err.find(server().hostFingerprint()), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("stowmere-cli trust-host 1"), std::string::npos) << refused.err;
    EXPECT_FALSE(temp.exists("dest/notes.txt"));

    const std::string shown = ok({"trust-host", "Offsite", "--yes"});
    EXPECT_NE(shown.find(server().hostFingerprint()), std::string::npos) << shown;
    EXPECT_NE(shown.find("ssh-ed25519"), std::string::npos) << shown;
    EXPECT_EQ(cli({"backup", "Offsite"}).exitCode, 0);
    EXPECT_EQ(temp.read("dest/notes.txt"), "notes");
    EXPECT_NE(ok({"trust-host", "Offsite"}).find("known already"), std::string::npos);
}

TEST_F(SftpCommand, AChangedHostKeyIsAlwaysRefusedAndNothingIsWritten)
{
    server().setKnown(TestSshServer::Known::OtherKey);
    const ProcessResult refused = cli({"backup", "Offsite"});
    EXPECT_EQ(refused.exitCode, 3);
    EXPECT_NE(refused.err.find("HAS CHANGED"), std::string::npos) << refused.err;
    EXPECT_TRUE(std::filesystem::is_empty(temp.path("dest")));
    EXPECT_EQ(cli({"trust-host", "Offsite", "--yes"}).exitCode, 3);
    EXPECT_EQ(cli({"backup", "Offsite"}).exitCode, 3);
}

TEST_F(SftpCommand, AMissingServerFolderOrAMalformedAddressIsNamed)
{
    ok({"new-set", "Gone", server().url(temp.path("not-there"))});
    ok({"add-paths", "Gone", temp.path("src/notes.txt")});
    const ProcessResult missing = cli({"backup", "Gone"});
    EXPECT_EQ(missing.exitCode, 3);
    EXPECT_NE(
        missing.err.find("Backup To Folder " + server().url(temp.path("not-there")) + " does not exist."),
        std::string::npos)
        << missing.err;

    const ProcessResult malformed = cli({"new-set", "Bad", "sftp://host:99999/x"});
    EXPECT_EQ(malformed.exitCode, 3);
    EXPECT_NE(malformed.err.find("port"), std::string::npos) << malformed.err;
}

TEST_F(SftpCommand, AStaleLockIsTakenOverWithALineInTheOutputAndTheHistory)
{
    temp.file("dest/.stowmere-run.lock", "backup\nhost vanished-laptop\npid 77\n", std::time(nullptr) - 600);
    const ProcessResult run = cli({"backup", "Offsite"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("vanished-laptop"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("taken over"), std::string::npos) << run.err;
    EXPECT_EQ(temp.read("dest/notes.txt"), "notes");
    EXPECT_NE(ok({"history", "Offsite"}).find("note: The run lock of"), std::string::npos);
    EXPECT_NE(ok({"history", "Offsite", "--json"}).find("\"notes\":["), std::string::npos);

    // A fresh lock keeps the next run out, and says whose it is.
    temp.file("dest/.stowmere-run.lock", "backup\nhost busy-laptop\npid 77\n");
    const ProcessResult refused = cli({"backup", "Offsite"});
    EXPECT_NE(refused.exitCode, 0);
    EXPECT_NE(refused.err.find("Another backup into"), std::string::npos) << refused.err;
}

TEST_F(SftpCommand, AServerFolderOnAnotherFileSystemThanAtTheLastRunIsRefusedUntilAccepted)
{
    ASSERT_EQ(cli({"backup", "Offsite"}).exitCode, 0);
    stowmere::testing::TestMount other(stowmere::testing::TestMount::Kind::Tmpfs, 4 << 20);
    if (!other.mounted())
        GTEST_SKIP() << other.why();
    // The server's disk is not there any more: its mount point stands in the folder's place.
    std::filesystem::rename(temp.path("dest"), temp.path("dest-disk"));
    std::filesystem::create_directory_symlink(other.path(), temp.path("dest"));

    const ProcessResult moved = cli({"backup", "Offsite"});
    EXPECT_NE(moved.exitCode, 0);
    EXPECT_NE(moved.err.find("Nothing was copied"), std::string::npos) << moved.err;
    // The server and its folder are named, never a drive to connect.
    EXPECT_NE(moved.err.find("The Backup To Folder " + temp.path("dest") + " on the server "),
              std::string::npos)
        << moved.err;
    EXPECT_NE(moved.err.find("Check that the server and its disk"), std::string::npos) << moved.err;
    EXPECT_EQ(moved.err.find("drive"), moved.err.find("new-drive") + 4) << moved.err;
    EXPECT_TRUE(std::filesystem::is_empty(other.path()));

    const ProcessResult accepted = cli({"backup", "Offsite", "--accept-new-drive"});
    ASSERT_EQ(accepted.exitCode, 0) << accepted.err;
    EXPECT_EQ(temp.read("dest/notes.txt"), "notes");
    EXPECT_EQ(cli({"backup", "Offsite"}).exitCode, 0);
}
