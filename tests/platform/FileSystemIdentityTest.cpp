// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FileSystemIdentity.h"

#include "support/TempFolder.h"
#include "support/TestMount.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/mount.h>

using stowmere::files::highestFolderOnSameDevice;
using stowmere::files::identifyFileSystem;
using stowmere::files::mountPointFromMountInfo;
using stowmere::files::mountPointsBelow;
using stowmere::testing::TempFolder;
using stowmere::testing::TestMount;

TEST(FileSystemIdentityTest, ADriveMountedAndUnmountedUnderAPathChangesItsIdentity)
{
    TestMount drive(TestMount::Kind::Tmpfs, 1 << 20);
    if (!drive.mounted())
        GTEST_SKIP() << drive.why();
    std::filesystem::create_directories(drive.path() + "/Backup");
    std::string error;
    const auto onDrive = identifyFileSystem(drive.path() + "/Backup", error);
    ASSERT_TRUE(onDrive) << error;
    EXPECT_EQ(onDrive->mountPoint, drive.path());
    EXPECT_FALSE(onDrive->key.empty());
    const auto again = identifyFileSystem(drive.path(), error);
    ASSERT_TRUE(again) << error;
    EXPECT_EQ(*again, *onDrive) << "the same file system gives the same identity";

    // Unplugged: the path now falls through to the file system below.
    ASSERT_EQ(::umount2(drive.path().c_str(), MNT_DETACH), 0);
    const auto below = identifyFileSystem(drive.path(), error);
    ASSERT_TRUE(below) << error;
    EXPECT_NE(below->key, onDrive->key);
    EXPECT_NE(below->mountPoint, drive.path());
    // Mounted again, as a re-plugged drive would be, so the guard's object can detach it.
    ASSERT_EQ(::mount("tmpfs", drive.path().c_str(), "tmpfs", 0, "size=1m"), 0);
}

TEST(FileSystemIdentityTest, WithoutAMountTableTheFoldersTellWhereTheFileSystemBegins)
{
    // What a chroot sees: the table names no mount that holds the path.
    TestMount drive(TestMount::Kind::Tmpfs, 1 << 20);
    if (!drive.mounted())
        GTEST_SKIP() << drive.why();
    std::filesystem::create_directories(drive.path() + "/Backup/Deep");
    EXPECT_EQ(highestFolderOnSameDevice(drive.path() + "/Backup/Deep"), drive.path());
    EXPECT_EQ(highestFolderOnSameDevice(drive.path()), drive.path());
    EXPECT_EQ(highestFolderOnSameDevice("/"), "/");
    EXPECT_EQ(highestFolderOnSameDevice(drive.path() + "/missing"), "");

    // Wherever a temporary folder lies, its file system's top is found, above it or at it.
    const TempFolder folder{"identity"};
    const std::string path = std::filesystem::canonical(folder.path()).string();
    const std::string top = highestFolderOnSameDevice(path);
    ASSERT_FALSE(top.empty());
    EXPECT_TRUE(top == "/" || path == top || path.starts_with(top + "/")) << top;
    std::string error;
    const auto identity = identifyFileSystem(path, error);
    ASSERT_TRUE(identity) << error;
    EXPECT_FALSE(identity->mountPoint.empty());
}

TEST(FileSystemIdentityTest, AMissingPathIsAnErrorThatNamesIt)
{
    TempFolder folder{"identity"};
    const std::string missing = (folder.path() / "not-there").string();
    std::string error;
    EXPECT_FALSE(identifyFileSystem(missing, error));
    EXPECT_NE(error.find(missing), std::string::npos) << error;
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
}

TEST(FileSystemIdentityTest, MountInfoPicksTheInnermostMountOfTheDeviceAndDecodesEscapes)
{
    const std::string mountInfo = "22 27 0:21 / /proc rw,relatime - proc proc rw\n"
                                  "27 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
                                  "40 27 8:1 /home /srv/home\\040data rw - ext4 /dev/sda1 rw\n"
                                  "41 27 8:2 / /media/usb rw - vfat /dev/sdb1 rw\n";
    EXPECT_EQ(mountPointFromMountInfo(mountInfo, 8, 1, "/srv/home data/me"), "/srv/home data");
    EXPECT_EQ(mountPointFromMountInfo(mountInfo, 8, 1, "/srv/home datax"), "/");
    EXPECT_EQ(mountPointFromMountInfo(mountInfo, 8, 2, "/media/usb/Backup"), "/media/usb");
    EXPECT_EQ(mountPointFromMountInfo(mountInfo, 8, 3, "/media/usb/Backup"), "");
}

TEST(FileSystemIdentity, MountPointsBelowAPathAreThoseStrictlyInsideIt)
{
    const std::string mountInfo = "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
                                  "23 22 0:5 / /home rw - ext4 /dev/sda2 rw\n"
                                  "24 23 0:6 / /home/ann/My\\040Disk rw - vfat /dev/sdb1 rw\n"
                                  "25 22 0:7 / /homework rw - tmpfs tmpfs rw\n";
    EXPECT_EQ(mountPointsBelow(mountInfo, "/home"), (std::vector<std::string>{"/home/ann/My Disk"}));
    EXPECT_EQ(mountPointsBelow(mountInfo, "/"),
              (std::vector<std::string>{"/home", "/home/ann/My Disk", "/homework"}));
    EXPECT_TRUE(mountPointsBelow(mountInfo, "/home/ann/My Disk").empty());
}

TEST(FileSystemIdentity, AKeyIsDescribedByWhereItsDriveIsMountedAndAnUnknownOneByNothing)
{
    TestMount drive(TestMount::Kind::Tmpfs, 64 * 1024);
    if (!drive.mounted())
        GTEST_SKIP() << drive.why();
    std::string error;
    const auto identity = identifyFileSystem(drive.path(), error);
    ASSERT_TRUE(identity) << error;
    const auto described = stowmere::files::describeFileSystem(identity->key);
    ASSERT_TRUE(described) << identity->key;
    EXPECT_EQ(described->mountPoint, drive.path());
    EXPECT_TRUE(described->label.empty()) << "a tmpfs has no label";

    EXPECT_FALSE(stowmere::files::describeFileSystem("uuid:0000-not-a-drive"));
    EXPECT_FALSE(stowmere::files::describeFileSystem("fsid:00000000deadbeef"));
    EXPECT_FALSE(stowmere::files::describeFileSystem(""));
}
