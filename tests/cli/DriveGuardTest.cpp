// SPDX-License-Identifier: GPL-3.0-or-later
// The destination guard, with a real tmpfs mounted and unmounted under the destination.
#include "CliTest.h"
#include "support/TestMount.h"

#include <gtest/gtest.h>

#include <sys/mount.h>

using stowmere::cli::test::CliTest;
using stowmere::cli::test::ProcessResult;
using stowmere::testing::TestMount;

namespace {

class DriveGuard : public CliTest {
protected:
    std::string driveOf(const std::string& set)
    {
        const std::string shown = ok({"options", set});
        const std::size_t at = shown.find("drive\t");
        return shown.substr(at + 6, shown.find('\n', at) - at - 6);
    }
};

} // namespace

TEST_F(DriveGuard, ADestinationThatFallsThroughToAnotherDriveStopsTheRunUntilAccepted)
{
    TestMount drive(TestMount::Kind::Tmpfs, 8 << 20);
    if (!drive.mounted())
        GTEST_SKIP() << drive.why();
    const std::string dest = drive.path();
    temp.file("src/a.txt", "data");
    ok({"new-set", "Docs", dest});
    ok({"add-paths", "Docs", temp.path("src/a.txt")});

    // The first run records the drive it found.
    EXPECT_EQ(driveOf("Docs"), "-");
    ok({"backup", "Docs", "--quiet"});
    const std::string recorded = driveOf("Docs");
    EXPECT_NE(recorded, "-");
    ok({"backup", "Docs", "--quiet"});

    // The drive goes; its mount point stays as an empty folder of the disk below.
    ASSERT_EQ(::umount2(dest.c_str(), MNT_DETACH), 0);
    const ProcessResult stopped = cli({"backup", "Docs", "--quiet"});
    EXPECT_EQ(stopped.exitCode, 3);
    EXPECT_NE(stopped.err.find("The Backup To Folder " + dest +
                               " is on a different drive than at the last backup.\nNothing was copied. "
                               "Connect the backup drive, or run 'stowmere-cli backup 1 --accept-new-drive' "
                               "if the drive was replaced.\n"),
              std::string::npos)
        << stopped.err;
    EXPECT_FALSE(temp.exists("mount/mount/a.txt"));
    EXPECT_EQ(driveOf("Docs"), recorded);

    // A dry run only says so.
    const ProcessResult preview = cli({"backup", "Docs", "--dry-run"});
    EXPECT_EQ(preview.exitCode, 0) << preview.err;
    EXPECT_NE(preview.err.find("different drive"), std::string::npos);

    // Accepted, the run goes ahead and the new drive becomes the one to expect.
    ok({"backup", "Docs", "--quiet", "--accept-new-drive"});
    EXPECT_NE(driveOf("Docs"), recorded);
    ok({"backup", "Docs", "--quiet"});

    // With the guard off nothing is asked.
    ok({"options", "Docs", "--guard", "off"});
    TestMount other(TestMount::Kind::Tmpfs, 8 << 20);
    ASSERT_TRUE(other.mounted());
    ok({"new-set", "Other", other.path()});
    ok({"add-paths", "Other", temp.path("src/a.txt")});
    ok({"backup", "Other", "--quiet"});
}
