// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestHelpers.h"
#include "support/FileContents.h"
#include "support/FileSizeLimit.h"
#include "support/TempFolder.h"

#include "store/StoreError.h"
#include "store/Table.h"
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

void addCategory(Table& table, const std::string& description)
{
    table.insert();
    table.fieldByName("Category_Description").setAsString(description);
    table.fieldByName("Category_BackupDirectory").setAsString("/backup");
    table.post();
}

void createCategories(Table& table)
{
    table.setFieldDefs(categoryFieldDefs());
    table.createDataSet();
}

} // namespace

TEST(TableFiles, ATruncatedFileIsRefusedWithTheFileAndTheOffsetWhereReadingStopped)
{
    TempFolder folder;
    auto file = workedFile1();
    file.resize(190); // the last value runs past the end
    writeBytes(folder.path() / "Category.cds", file);
    Table categories;
    try {
        loadTableFile(categories, (folder.path() / "Category.cds").string());
        FAIL();
    } catch (const StoreError& error) {
        EXPECT_EQ(error.code(), rc::BadPacket);
        EXPECT_EQ(error.offset(), 185u);
        EXPECT_NE(std::string(error.what()).find((folder.path() / "Category.cds").string() + ": "),
                  std::string::npos)
            << error.what();
        EXPECT_NE(std::string(error.what()).find("byte 185"), std::string::npos) << error.what();
    }
    EXPECT_FALSE(categories.isActive());
}

TEST(TableFiles, AFailedSaveKeepsTheOldFileAndLeavesNoTemporaryFile)
{
    TempFolder folder;
    const std::string path = (folder.path() / "Category.cds").string();
    Table categories;
    createCategories(categories);
    addCategory(categories, "first");
    saveTableFile(categories, path);
    const auto before = readBytes(path);

    for (int i = 0; i < 200; ++i)
        addCategory(categories, "set " + std::to_string(i));
    try {
        FileSizeLimit limit(1024);
        saveTableFile(categories, path);
        FAIL() << "the write must fail";
    } catch (const StoreError& error) {
        EXPECT_NE(std::string(error.what()).find("Category.cds"), std::string::npos) << error.what();
    }
    EXPECT_EQ(readBytes(path), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 1);
}

TEST(TableFiles, SavingIntoAMissingFolderNamesTheFile)
{
    TempFolder folder;
    const std::string missing = (folder.path() / "missing").string();
    Table categories;
    createCategories(categories);
    addCategory(categories, "x");
    try {
        saveTableFile(categories, missing + "/Category.cds");
        FAIL();
    } catch (const StoreError& error) {
        EXPECT_NE(std::string(error.what()).find(missing + "/Category.cds"), std::string::npos)
            << error.what();
    }
    EXPECT_FALSE(fs::exists(missing));
}

TEST(TableFiles, SavingThroughALinkReplacesTheFileItNamesAndKeepsTheLink)
{
    TempFolder folder;
    fs::create_directories(folder.path() / "synced" / "deeper");
    const fs::path real = folder.path() / "synced" / "deeper" / "Category.cds";
    writeText(real, "old contents");
    fs::create_directories(folder.path() / "data");
    // A relative link to a relative link, as a user's dot-file set-up might make.
    fs::create_symlink("deeper/Category.cds", folder.path() / "synced" / "Category.cds");
    fs::create_symlink("../synced/Category.cds", folder.path() / "data" / "Category.cds");
    const std::string link = (folder.path() / "data" / "Category.cds").string();
    EXPECT_EQ(followLinks(link),
              (folder.path() / "data" / ".." / "synced" / "deeper" / "Category.cds").string());

    Table categories;
    createCategories(categories);
    addCategory(categories, "abc");
    saveTableFile(categories, link);
    EXPECT_TRUE(fs::is_symlink(link)) << "the link is still a link";
    EXPECT_TRUE(fs::is_symlink(folder.path() / "synced" / "Category.cds"));
    EXPECT_EQ(readBytes(real), categories.saveToBytes()) << "and the file it names holds the table";
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path() / "data"), fs::directory_iterator()), 1);
    EXPECT_EQ(std::distance(fs::directory_iterator(real.parent_path()), fs::directory_iterator()), 1)
        << "no temporary file is left beside the real file";

    // A link to a file that is not there yet is saved through as well.
    const fs::path dangling = folder.path() / "data" / "Path.cds";
    fs::create_symlink("../synced/Path.cds", dangling);
    saveTableFile(categories, dangling.string());
    EXPECT_TRUE(fs::is_symlink(dangling));
    EXPECT_TRUE(fs::is_regular_file(folder.path() / "synced" / "Path.cds"));

    const fs::path loop = folder.path() / "loop.cds";
    fs::create_symlink("loop.cds", loop);
    EXPECT_THROW(saveTableFile(categories, loop.string()), StoreError);
}

TEST(TableFiles, AChangeIsTheFileNoLongerHoldingTheBytesTheTableWasOpenedFrom)
{
    TempFolder folder;
    const fs::path file = folder.path() / "Category.cds";
    TableFileImage opened = readTableFileImage(file.string());
    EXPECT_FALSE(opened) << "no file was read";
    EXPECT_FALSE(tableFileChanged(file.string(), opened));
    writeText(file, "someone else's");
    EXPECT_TRUE(tableFileChanged(file.string(), opened)) << "a file that appeared";

    fs::remove(file);
    Table categories;
    createCategories(categories);
    addCategory(categories, "abc");
    saveTableFile(categories, file.string());
    const std::vector<std::byte> saved = readBytes(file);
    opened = readTableFileImage(file.string());
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
