// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/BackupEngine.h"
#include "backup/BackupStartCheck.h"
#include "backup/CopySink.h"
#include "backup/FailureReport.h"
#include "backup/OpenDestination.h"
#include "backup/ReverseText.h"
#include "backup/RunLog.h"
#include "platform/Paths.h"

#include "RecordingObserver.h"
#include "support/FileSizeLimit.h"
#include "support/LocalTime.h"
#include "support/TestTree.h"

#include <gtest/gtest.h>

#include <clocale>

using namespace stowmere::backup;
using stowmere::testing::FileSizeLimit;
using stowmere::testing::RecordingObserver;
using stowmere::testing::TestTree;

namespace {

// Single file copies through the run's copy sink, as the run makes them for file items.
class CopyOneFileTest : public ::testing::Test {
protected:
    struct Copier {
        Copier(const std::string& dest, BackupObserver& observer, std::atomic<bool>& cancel)
            : destination(openDestination(dest, error)), record(result, observer),
              granularity(*destination, false), sink(settings, *destination, record, cancel, granularity)
        {
            sink.start();
        }
        std::error_code error;
        std::unique_ptr<Destination> destination;
        BackupSettings settings;
        BackupResult result;
        RunLog record;
        TimeGranularity granularity;
        CopySink sink;
    };
    void copy(const std::string& source, const std::string& target)
    {
        if (!m_copier)
            m_copier = std::make_unique<Copier>(tree.path(), observer, cancel);
        const std::string folder = stowmere::paths::parentFolder(target);
        const stowmere::files::FileStatus status = stowmere::files::statusOf(source);
        m_copier->sink.entry({source, target, folder, false, 0, &status, {}, Verdict::Unknown});
    }
    const BackupResult& result() const { return m_copier->result; }

    TestTree tree;
    RecordingObserver observer{{}};
    std::atomic<bool> cancel{false};

private:
    std::unique_ptr<Copier> m_copier;
};

} // namespace

TEST_F(CopyOneFileTest, MissingTargetFolderGivesTheSevenLineBox)
{
    const std::string source = tree.file("src/a.txt", "a");
    const std::string target = tree.path("missing/a.txt");

    copy(source, target);

    ASSERT_EQ(observer.errors.size(), 1u);
    EXPECT_EQ(observer.errors[0],
              "Could not backup file: " + source +
                  "\r\n\r\nDrive could be full.\r\n\r\nAvailable space on drive " + tree.path("missing/") +
                  " 0 Bytes\r\n\r\nOr try running this application with administrator rights." +
                  "\r\n\r\nReason: No such file or directory");
    EXPECT_TRUE(cancel);
    EXPECT_EQ(observer.counter, 0u);
    EXPECT_FALSE(tree.exists("missing"));
}

TEST_F(CopyOneFileTest, FailureNamesFreeSpaceOfTheTargetFolder)
{
    const std::string source = tree.file("src/a.txt", "a");
    tree.folder("dest");

    // A name longer than any file system takes: the write fails in a folder that is there.
    copy(source, tree.path("dest/" + std::string(300, 'n')));

    ASSERT_EQ(observer.errors.size(), 1u);
    const std::string line5 = "Available space on drive " + tree.path("dest/") + " ";
    const std::size_t at = observer.errors[0].find(line5);
    ASSERT_NE(at, std::string::npos) << observer.errors[0];
    const std::string size = observer.errors[0].substr(at + line5.size());
    EXPECT_TRUE(size.find(" GB\r\n") != std::string::npos || size.find(" MB\r\n") != std::string::npos ||
                size.find(" KB\r\n") != std::string::npos || size.find(" Bytes\r\n") != std::string::npos)
        << size;
    EXPECT_EQ(tree.countStartingWith("dest", ".stowmere-tmp-"), 0u);
}

TEST_F(CopyOneFileTest, PathBelowARegularFileFails)
{
    const std::string source = tree.file("src/a.txt", "a");
    tree.file("plain", "p");
    copy(source, tree.path("plain/a.txt"));
    EXPECT_EQ(observer.errors.size(), 1u);
    EXPECT_TRUE(cancel);
}

TEST_F(CopyOneFileTest, DiskFillingPartWayKeepsTheOldTargetAndLeavesNoTemporaryFile)
{
    const std::string source = tree.file("src/big.bin", std::string(256 * 1024, 'n'));
    tree.file("dest/big.bin", "previous backup");
    {
        FileSizeLimit limit(64 * 1024);
        copy(source, tree.path("dest/big.bin"));
    }
    EXPECT_EQ(observer.errors.size(), 1u);
    EXPECT_TRUE(cancel);
    EXPECT_EQ(tree.read("dest/big.bin"), "previous backup");
    EXPECT_EQ(tree.countStartingWith("dest", ".stowmere-tmp-"), 0u);
    EXPECT_TRUE(result().copyFailed);
    EXPECT_EQ(result().failedFile, source);
}

TEST_F(CopyOneFileTest, ReplacesOlderAndNewerTargetsAndCountsEachCopy)
{
    const std::time_t base = stowmere::testing::localTime(2021, 6, 7, 8, 9, 10);
    for (int i = 0; i < 10; ++i)
        tree.file("src/f" + std::to_string(i), "new " + std::to_string(i), base);
    tree.file("dest/f0", "older", base - 100);
    tree.file("dest/f1", "newer", base + 100);
    for (int i = 0; i < 10; ++i)
        copy(tree.path("src/f" + std::to_string(i)), tree.path("dest/f" + std::to_string(i)));
    EXPECT_EQ(tree.read("dest/f0"), "new 0");
    EXPECT_EQ(tree.read("dest/f1"), "new 1");
    EXPECT_EQ(observer.counter, 10u);
    EXPECT_EQ(result().filesCopied, 10u);
    EXPECT_TRUE(observer.errors.empty());
    EXPECT_FALSE(cancel);
}

TEST(FormatByteSizeTest, EveryUnitBoundaryFallsIntoTheLowerUnit)
{
    std::setlocale(LC_NUMERIC, "C");
    const std::pair<std::uint64_t, const char*> table[] = {
        {0, "0 Bytes"},
        {1023, "1023 Bytes"},
        {1024, "1024 Bytes"},
        {1025, "1.00 KB"},
        {1536, "1.50 KB"},
        {1048575, "1024.00 KB"},
        {1048576, "1024.00 KB"},
        {1048577, "1.00 MB"},
        {1073741823, "1024.00 MB"},
        {1073741824, "1024.00 MB"},
        {1073741825, "1.00 GB"},
        {1610612736, "1.50 GB"},
        {10737418240ull, "10.00 GB"},
        {UINT64_MAX, "17179869184.00 GB"},
    };
    for (const auto& [bytes, text] : table)
        EXPECT_EQ(formatByteSize(bytes), text) << bytes;
}

TEST(FailureReportTest, TextsAreBuiltWithCarriageReturnLineFeeds)
{
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_EQ(copyFailureText("/data/a.txt", "/backup/", 1610612736),
              "Could not backup file: /data/a.txt\r\n\r\nDrive could be full.\r\n\r\n"
              "Available space on drive /backup/ 1.50 GB\r\n\r\n"
              "Or try running this application with administrator rights.");
    EXPECT_EQ(folderPartOf("/backup/a.txt"), "/backup/");
    EXPECT_EQ(folderPartOf("/a.txt"), "/");
    EXPECT_EQ(folderPartOf("a.txt"), "");
    EXPECT_EQ(missingItemsText({"/a", "/b c"}),
              "These items were not found and were not backed up:\r\n/a\r\n/b c");
}

TEST(FailureReportTest, FreeSpaceIsZeroForAFolderThatDoesNotExist)
{
    EXPECT_EQ(freeSpaceOf("/no/such/folder/anywhere"), 0u);
    EXPECT_GT(freeSpaceOf("/"), 0u);
}

TEST(ReverseTextTest, ReversesCharactersAndKeepsMultiByteCharactersWhole)
{
    EXPECT_EQ(reverseText(""), "");
    EXPECT_EQ(reverseText("a"), "a");
    EXPECT_EQ(reverseText("/home/Data"), "ataD/emoh/");
    EXPECT_EQ(reverseText("aé€😀"), "😀€éa");
    // A stray byte is one character; reversing twice gives the text back.
    const std::string broken = "a\xC3z\x80";
    EXPECT_EQ(reverseText(broken), "\x80z\xC3"
                                   "a");
    EXPECT_EQ(reverseText(reverseText(broken)), broken);
}

TEST(BackupStartCheckTest, ChecksComeInTheirOrder)
{
    TestTree tree;
    const std::string folder = tree.folder("dest");
    const std::string missing = tree.path("missing");

    EXPECT_EQ(checkBackupStart(missing, 0, 0, true).information,
              "Backup To Folder " + missing + " does not exist.");
    EXPECT_EQ(checkBackupStart("", 3, 1, false).information, "Backup To Folder does not exist.");
    const std::string plain = tree.file("plain", "x");
    EXPECT_EQ(checkBackupStart(plain, 3, 1, false).information,
              "Backup To Folder " + plain + " does not exist.");
    EXPECT_EQ(checkBackupStart(folder, 0, 0, true).information, "File and folder list is empty.");
    EXPECT_EQ(checkBackupStart(folder, 3, 0, true).information, "No file or folder is selected for Backup.");

    const BackupStartCheck silent = checkBackupStart(folder, 3, 1, true);
    EXPECT_FALSE(silent.start);
    EXPECT_TRUE(silent.information.empty());

    const BackupStartCheck go = checkBackupStart(folder + "/", 3, 1, false);
    EXPECT_TRUE(go.start);
    EXPECT_TRUE(go.information.empty());
}
