// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FileCopier.h"
#include "platform/FileQueries.h"
#include "platform/FolderListing.h"
#include "platform/FreeSpace.h"
#include "platform/ModificationStamp.h"

#include "support/FileContents.h"
#include "support/LocalTime.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace stowmere::files;
using stowmere::testing::localTime;
using stowmere::testing::readText;
using stowmere::testing::TempFolder;
using stowmere::testing::writeText;

namespace {

class FileServicesTest : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return (m_folder.path() / name).string(); }
    std::string write(const std::string& name, const std::string& contents) const
    {
        writeText(m_folder.path() / name, contents);
        return path(name);
    }
    std::size_t temporaryFiles(const fs::path& folder) const
    {
        return static_cast<std::size_t>(std::count_if(
            fs::directory_iterator(folder), fs::directory_iterator(), [](const fs::directory_entry& entry) {
                return entry.path().filename().string().starts_with(FileCopier::kTemporaryPrefix);
            }));
    }

    TempFolder m_folder{"files"};
};

} // namespace

TEST_F(FileServicesTest, CopyKeepsContentsPermissionsAndNanosecondTime)
{
    std::string contents(3 * 1024 * 1024 + 17, '\0');
    for (std::size_t i = 0; i < contents.size(); ++i)
        contents[i] = static_cast<char>(i * 7 + i / 4096);
    const std::string source = write("source.bin", contents);
    ASSERT_EQ(::chmod(source.c_str(), 0751), 0);
    const timespec times[2] = {{1600000000, 123456789}, {1700000000, 987654321}};
    ASSERT_EQ(::utimensat(AT_FDCWD, source.c_str(), times, 0), 0);
    write("target.bin", "old");

    FileCopier copier;
    EXPECT_FALSE(copier.copy(source, path("target.bin")));

    EXPECT_EQ(readText(path("target.bin")), contents);
    struct stat info {};
    ASSERT_EQ(::stat(path("target.bin").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0751u);
    EXPECT_EQ(info.st_mtim.tv_sec, 1700000000);
    EXPECT_EQ(info.st_mtim.tv_nsec, 987654321);
    EXPECT_EQ(temporaryFiles(m_folder.path()), 0u);
}

TEST_F(FileServicesTest, CopyKeepsEveryPermissionBitWhateverTheUmask)
{
    const mode_t oldMask = ::umask(022);
    FileCopier copier;
    for (const mode_t mode : {0666, 0444, 04755, 02770, 0600, 0400}) {
        const std::string source = write("mode-source", "m");
        ASSERT_EQ(::chmod(source.c_str(), mode), 0);
        EXPECT_FALSE(copier.copy(source, path("mode-target")));
        struct stat info {};
        ASSERT_EQ(::stat(path("mode-target").c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, mode) << std::oct << mode;
        fs::remove(source);
    }
    ::umask(oldMask);
}

TEST_F(FileServicesTest, CopyAcrossFileSystemsAndFromFilesWithoutSize)
{
    if (!fs::is_directory("/dev/shm"))
        GTEST_SKIP() << "no second file system to copy to";
    const TempFolder otherFolder("files", "/dev/shm");
    const fs::path& other = otherFolder.path();
    const std::string contents(2 * 1024 * 1024 + 5, 'q');
    const std::string source = write("cross.bin", contents);

    FileCopier copier;
    const std::error_code crossed = copier.copy(source, (other / "cross.bin").string());
    const std::string copied = readText((other / "cross.bin").string());
    // /proc files report a size of 0 yet have contents.
    const std::error_code proc = copier.copy("/proc/self/status", path("status"));

    EXPECT_FALSE(crossed) << crossed.message();
    EXPECT_EQ(copied, contents);
    EXPECT_FALSE(proc) << proc.message();
    EXPECT_NE(readText(path("status")).find("Name:"), std::string::npos);
}

TEST_F(FileServicesTest, CopyOfEmptyFileAndOntoItself)
{
    const std::string empty = write("empty", "");
    FileCopier copier;
    EXPECT_FALSE(copier.copy(empty, path("empty copy")));
    EXPECT_TRUE(fs::exists(path("empty copy")));
    EXPECT_EQ(fs::file_size(path("empty copy")), 0u);
    const std::string self = write("self", "same file");
    EXPECT_FALSE(copier.copy(self, self));
    EXPECT_EQ(readText(self), "same file");
}

TEST_F(FileServicesTest, CopyRefusesWhatIsNotARegularFileAndFailsCleanly)
{
    ASSERT_EQ(::mkfifo(path("pipe").c_str(), 0600), 0);
    fs::create_directory(path("folder"));
    const std::string source = write("a.txt", "a");
    write("plain", "p");
    FileCopier copier;

    EXPECT_TRUE(copier.copy(path("pipe"), path("pipe copy"))) << "a FIFO must neither block nor be copied";
    EXPECT_TRUE(copier.copy(path("folder"), path("folder copy")));
    EXPECT_TRUE(copier.copy(path("missing"), path("missing copy")));
    EXPECT_EQ(copier.copy(source, path("folder")), std::errc::is_a_directory);
    EXPECT_EQ(copier.copy(source, path("plain/a.txt")), std::errc::not_a_directory);
    EXPECT_EQ(copier.copy(source, path("no/a.txt")), std::errc::no_such_file_or_directory);
    EXPECT_EQ(copier.copy(source, "/proc/1/a.txt").value() != 0, true);
    EXPECT_FALSE(fs::exists(path("pipe copy")));
    EXPECT_TRUE(fs::is_directory(path("folder")));
    EXPECT_EQ(temporaryFiles(m_folder.path()), 0u);
}

TEST_F(FileServicesTest, KindsFollowLinksAndOnlyRegularFilesAreFiles)
{
    write("file", "f");
    fs::create_directory(path("dir"));
    ASSERT_EQ(::mkfifo(path("pipe").c_str(), 0600), 0);
    fs::create_symlink(path("file"), path("file link"));
    fs::create_directory_symlink(path("dir"), path("dir link"));
    fs::create_symlink(path("nothing"), path("dangling"));
    write(".hidden", "h");
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = path("sock");
    const bool haveSocket = socketPath.size() < sizeof address.sun_path;
    if (haveSocket) {
        socketPath.copy(address.sun_path, socketPath.size());
        ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    }
    ::close(sock);

    EXPECT_TRUE(isFile(path("file")));
    EXPECT_TRUE(isFile(path("file link")));
    EXPECT_TRUE(isFolder(path("dir link")));
    EXPECT_FALSE(isFile(path("dir")));
    EXPECT_FALSE(isFolder(path("file")));
    EXPECT_EQ(kindOf(path("pipe")), EntryKind::Other);
    EXPECT_EQ(kindOf(path("dangling")), EntryKind::Missing);
    EXPECT_EQ(kindOf("/dev/null"), EntryKind::Other);

    std::vector<FolderEntry> entries = listFolder(m_folder.str());
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    std::vector<std::pair<std::string, EntryKind>> seen;
    for (const FolderEntry& entry : entries)
        seen.emplace_back(entry.name, entry.kind);
    std::vector<std::pair<std::string, EntryKind>> expected = {
        {".hidden", EntryKind::File},    {"dangling", EntryKind::Missing}, {"dir", EntryKind::Folder},
        {"dir link", EntryKind::Folder}, {"file", EntryKind::File},        {"file link", EntryKind::File},
        {"pipe", EntryKind::Other}};
    if (haveSocket)
        expected.emplace_back("sock", EntryKind::Other);
    EXPECT_EQ(seen, expected);

    EXPECT_THROW(listFolder(path("missing")), std::system_error);
    EXPECT_THROW(listFolder(path("file")), std::system_error);
}

TEST_F(FileServicesTest, MakeFolderCreatesOneLevelOnly)
{
    EXPECT_TRUE(makeFolder(path("one")));
    EXPECT_FALSE(makeFolder(path("one"))) << "an existing folder is not created again";
    EXPECT_FALSE(makeFolder(path("two/three")));
    EXPECT_FALSE(fs::exists(path("two")));
}

TEST(ModificationStampTest, PacksLocalDateAndTimeAndRejectsYearsOutsideTheLayout)
{
    EXPECT_EQ(packStamp(localTime(1980, 1, 1, 0, 0, 0)), 0x00210000u);
    EXPECT_EQ(packStamp(localTime(1979, 12, 31, 23, 59, 59)), kUnreadableStamp);
    EXPECT_EQ(packStamp(localTime(2024, 2, 29, 13, 45, 31)),
              (((2024u - 1980) << 9 | 2u << 5 | 29u) << 16) | (13u << 11 | 45u << 5 | 15u));
    EXPECT_EQ(packStamp(localTime(2107, 12, 31, 23, 59, 58)), 0xFF9FBF7Du);
    EXPECT_EQ(packStamp(localTime(2108, 1, 1, 0, 0, 0)), kUnreadableStamp);
    // Seconds count in two-second steps.
    EXPECT_EQ(packStamp(localTime(2020, 5, 5, 5, 5, 4)), packStamp(localTime(2020, 5, 5, 5, 5, 5)));
    EXPECT_LT(packStamp(localTime(2020, 5, 5, 5, 5, 5)), packStamp(localTime(2020, 5, 5, 5, 5, 6)));
    EXPECT_EQ(modificationStamp("/no/such/file"), kUnreadableStamp);
}

TEST(FreeSpaceTest, KnownForAnExistingFolderZeroOtherwise)
{
    EXPECT_GT(freeBytes(fs::temp_directory_path().string()), 0u);
    EXPECT_EQ(freeBytes("/no/such/folder"), 0u);
}
