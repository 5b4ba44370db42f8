// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestHelpers.h"
#include "support/FileContents.h"
#include "support/FileSizeLimit.h"
#include "support/TempFolder.h"

#include "store/StoreError.h"
#include "store/TDataTable.h"
#include "store/TableFiles.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace stowmere::store;
using namespace testing_helpers;
using stowmere::testing::FileSizeLimit;
using stowmere::testing::readBytes;
using stowmere::testing::TempFolder;
using stowmere::testing::writeBytes;
using stowmere::testing::writeText;
namespace fs = std::filesystem;

namespace {

void addCategory(TDataTable& table, const std::string& description)
{
    table.Insert();
    table.FieldByName("Category_Description").SetAsString(description);
    table.FieldByName("Category_BackupDirectory").SetAsString("/backup");
    table.Post();
}

} // namespace

TEST(TableFiles, FirstStartWithoutFilesLeavesNoFilesWhenNothingChanged)
{
    TempFolder folder;
    TDataTable categories;
    TDataTable paths;
    OpenCategoryTable(categories, folder.str());
    OpenPathTable(paths, folder.str(), categories);
    EXPECT_TRUE(categories.IsEmpty());
    EXPECT_TRUE(paths.IsEmpty());
    CloseTable(paths);
    CloseTable(categories);
    EXPECT_TRUE(fs::is_empty(folder.path()));
}

TEST(TableFiles, OnlyTheChangedTableIsRewrittenAtClose)
{
    TempFolder folder;
    {
        TDataTable categories;
        TDataTable paths;
        OpenCategoryTable(categories, folder.str());
        OpenPathTable(paths, folder.str(), categories);
        addCategory(categories, "abc");
        paths.Insert();
        paths.FieldByName("Path_Item").SetAsString("/home/u");
        paths.Post();
        EXPECT_FALSE(fs::exists(folder.path() / "Category.cds")) << "nothing is written before close";
        CloseTable(paths);
        CloseTable(categories);
    }
    const auto pathBytes = readBytes(folder.path() / "Path.cds");
    const auto pathTime = fs::last_write_time(folder.path() / "Path.cds");

    TDataTable categories;
    TDataTable paths;
    OpenCategoryTable(categories, folder.str());
    OpenPathTable(paths, folder.str(), categories);
    EXPECT_EQ(paths.FieldByName("Path_Item").AsString(), "/home/u") << "the range follows the first set";
    EXPECT_EQ(paths.FieldByName("Category_No").AsInteger(), 1);
    addCategory(categories, "def");
    CloseTable(paths);
    CloseTable(categories);
    EXPECT_EQ(readBytes(folder.path() / "Path.cds"), pathBytes);
    EXPECT_EQ(fs::last_write_time(folder.path() / "Path.cds"), pathTime);

    TDataTable reread;
    OpenCategoryTable(reread, folder.str());
    EXPECT_EQ(reread.RecordCount(), 2u);
}

TEST(TableFiles, AFileThatIsNotAPacketLeavesTheTableClosedAndTheFileAlone)
{
    TempFolder folder;
    const std::string text = "not a table";
    writeText(folder.path() / "Category.cds", text);
    TDataTable categories;
    try {
        OpenCategoryTable(categories, folder.str());
        FAIL();
    } catch (const StoreError& error) {
        EXPECT_EQ(error.code(), rc::BadPacket);
        EXPECT_NE(std::string(error.what()).find((folder.path() / "Category.cds").string()), std::string::npos)
            << error.what();
    }
    EXPECT_FALSE(categories.Active());
    CloseTable(categories);
    EXPECT_EQ(readBytes(folder.path() / "Category.cds").size(), text.size());
}

TEST(TableFiles, ATruncatedFileIsRefusedWithTheOffsetWhereReadingStopped)
{
    TempFolder folder;
    auto file = workedFile1();
    file.resize(190); // the last value runs past the end
    writeBytes(folder.path() / "Category.cds", file);
    TDataTable categories;
    try {
        OpenCategoryTable(categories, folder.str());
        FAIL();
    } catch (const StoreError& error) {
        EXPECT_EQ(error.code(), rc::BadPacket);
        EXPECT_EQ(error.offset(), 185u);
        EXPECT_NE(std::string(error.what()).find("byte 185"), std::string::npos) << error.what();
    }
    EXPECT_FALSE(categories.Active());
    EXPECT_EQ(categories.RecordCount(), 0u);
}

TEST(TableFiles, AFileOfAnotherTableIsRefused)
{
    TempFolder folder;
    writeBytes(folder.path() / "Category.cds", workedFile2());
    TDataTable categories;
    EXPECT_THROW(OpenCategoryTable(categories, folder.str()), StoreError);
    EXPECT_FALSE(categories.Active());
}

TEST(TableFiles, AFailedSaveKeepsTheOldFileAndTheTableOpen)
{
    TempFolder folder;
    TDataTable categories;
    OpenCategoryTable(categories, folder.str());
    addCategory(categories, "first");
    CloseTable(categories);
    const auto before = readBytes(folder.path() / "Category.cds");

    OpenCategoryTable(categories, folder.str());
    for (int i = 0; i < 200; ++i)
        addCategory(categories, "set " + std::to_string(i));
    try {
        FileSizeLimit limit(1024);
        CloseTable(categories);
        FAIL() << "the write must fail";
    } catch (const StoreError& error) {
        EXPECT_NE(std::string(error.what()).find("Category.cds"), std::string::npos) << error.what();
    }
    EXPECT_EQ(readBytes(folder.path() / "Category.cds"), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 1);
    ASSERT_TRUE(categories.Active()) << "nothing is lost: the caller can retry";
    EXPECT_EQ(categories.RecordCount(), 201u);
    CloseTable(categories);
    TDataTable reread;
    OpenCategoryTable(reread, folder.str());
    EXPECT_EQ(reread.RecordCount(), 201u);
}

TEST(TableFiles, SavingIntoAMissingFolderNamesTheFile)
{
    TempFolder folder;
    const std::string missing = (folder.path() / "missing").string();
    TDataTable categories;
    OpenCategoryTable(categories, missing);
    addCategory(categories, "x");
    try {
        CloseTable(categories);
        FAIL();
    } catch (const StoreError& error) {
        EXPECT_NE(std::string(error.what()).find(missing + "/Category.cds"), std::string::npos) << error.what();
    }
    EXPECT_TRUE(categories.Active());
    EXPECT_FALSE(fs::exists(missing));
}

TEST(TableFiles, PathTableOpensBesideAFailedBackupSetTable)
{
    TempFolder folder;
    const std::string text = "broken";
    writeText(folder.path() / "Category.cds", text);
    TDataTable categories;
    EXPECT_THROW(OpenCategoryTable(categories, folder.str()), StoreError);
    TDataTable paths;
    OpenPathTable(paths, folder.str(), categories);
    EXPECT_TRUE(paths.IsEmpty());
    EXPECT_FALSE(paths.Locate("Path_Item", "x"));
}

TEST(TableFiles, AChangeIsTheFileNoLongerHoldingTheBytesTheTableWasOpenedFrom)
{
    TempFolder folder;
    const fs::path file = folder.path() / "Category.cds";
    TableFileImage opened = std::vector<std::byte>{};
    TDataTable categories;
    OpenCategoryTable(categories, folder.str(), &opened);
    EXPECT_FALSE(opened) << "no file was read";
    EXPECT_FALSE(tableFileChanged(file.string(), opened));
    writeText(file, "someone else's");
    EXPECT_TRUE(tableFileChanged(file.string(), opened)) << "a file that appeared";

    fs::remove(file);
    addCategory(categories, "abc");
    CloseTable(categories);
    const std::vector<std::byte> saved = readBytes(file);
    OpenCategoryTable(categories, folder.str(), &opened);
    ASSERT_TRUE(opened);
    EXPECT_EQ(*opened, saved);
    writeBytes(file, saved);
    EXPECT_FALSE(tableFileChanged(file.string(), opened)) << "rewritten with the same bytes";
    std::vector<std::byte> edited = saved;
    edited.back() ^= std::byte{1};
    writeBytes(file, edited);
    EXPECT_TRUE(tableFileChanged(file.string(), opened));
    fs::remove(file);
    EXPECT_TRUE(tableFileChanged(file.string(), opened)) << "a file that went away";

    // Unreadable now (its folder is a file): the save is left to fail and say why.
    const fs::path blocked = folder.path() / "blocked";
    writeText(blocked, "");
    EXPECT_FALSE(tableFileChanged((blocked / "Category.cds").string(), opened));
    EXPECT_THROW(readTableFileImage((blocked / "Category.cds").string()), StoreError);
}
