// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/Catalog.h"
#include "catalog/Errors.h"
#include "support/FileContents.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace stowmere::catalog;
using stowmere::testing::readBytes;
using stowmere::testing::TempFolder;
using stowmere::testing::writeText;

namespace {

SetOptions someOptions()
{
    SetOptions options;
    options.exclusions = {"*.o", "build/", "/cache/**"};
    options.keepVersions = 2;
    options.keepDays = 30;
    options.cacheDirTag = false;
    options.guard = false;
    options.driveIdentity = "uuid:1234-ABCD";
    return options;
}

} // namespace

TEST(SetOptions, AreKeptInTheirOwnFileAndReadBackWhileTheSetFilesKeepTheirBytes)
{
    TempFolder folder;
    std::int32_t set = 0;
    {
        Catalog catalog(folder.path().string());
        catalog.openForChange();
        set = catalog.addSet("Docs", "/backup");
        // A new set's row holds its identity and the defaults.
        EXPECT_EQ(catalog.options(set), SetOptions{});
        EXPECT_FALSE(catalog.findSet(set)->identity.empty());
        ASSERT_EQ(catalog.save().status, Catalog::SaveStatus::Saved);
    }
    const auto setBytes = readBytes(folder.path() / "Category.cds");
    {
        Catalog catalog(folder.path().string());
        catalog.openForChange();
        catalog.setOptions(set, someOptions());
        ASSERT_EQ(catalog.save().status, Catalog::SaveStatus::Saved);
    }
    EXPECT_EQ(readBytes(folder.path() / "Category.cds"), setBytes);
    Catalog catalog(folder.path().string());
    catalog.open();
    EXPECT_EQ(catalog.options(set), someOptions());

    // Setting the same options again changes nothing that would be written.
    catalog.setOptions(set, someOptions());
    EXPECT_FALSE(catalog.hasChanges());
}

TEST(SetOptions, ValuesOutOfRangeAndPatternsThatWouldSplitAreRefused)
{
    TempFolder folder;
    Catalog catalog(folder.path().string());
    catalog.open();
    const std::int32_t set = catalog.addSet("Docs", "/backup");
    const auto refused = [&](SetOptions options) {
        try {
            catalog.setOptions(set, options);
        } catch (const RuleRefusal&) {
            return true;
        }
        return false;
    };
    SetOptions options;
    options.keepVersions = -1;
    EXPECT_TRUE(refused(options));
    options = {};
    options.keepDays = -1;
    EXPECT_TRUE(refused(options));
    options = {};
    options.exclusions = {"a\nb"};
    EXPECT_TRUE(refused(options));
    options.exclusions = {""};
    EXPECT_TRUE(refused(options));
    options.exclusions = {"ok"};
    options.keepVersions = 0;
    EXPECT_FALSE(refused(options));
    EXPECT_THROW(catalog.setOptions(set + 1, options), RuleRefusal);
}

TEST(SetOptions, DeletingASetDeletesItsOptionsSoANewSetNeverInheritsThem)
{
    TempFolder folder;
    Catalog catalog(folder.path().string());
    catalog.open();
    const std::int32_t first = catalog.addSet("Old", "/backup");
    catalog.setOptions(first, someOptions());
    ASSERT_EQ(catalog.save().status, Catalog::SaveStatus::Saved);
    catalog.deleteSet(first);
    ASSERT_EQ(catalog.save().status, Catalog::SaveStatus::Saved);

    Catalog reopened(folder.path().string());
    reopened.open();
    EXPECT_EQ(reopened.options(first), SetOptions{});
    const std::int32_t next = reopened.addSet("New", "/backup");
    EXPECT_EQ(reopened.options(next), SetOptions{});
}

TEST(SetOptions, ADamagedFileIsReportedNeverWrittenAndEverySetHasTheDefaults)
{
    TempFolder folder;
    std::int32_t set = 0;
    {
        Catalog catalog(folder.path().string());
        catalog.open();
        set = catalog.addSet("Docs", "/backup");
        ASSERT_EQ(catalog.save().status, Catalog::SaveStatus::Saved);
    }
    const std::string damaged = "not a table file";
    writeText(folder.path() / "Options.cds", damaged);

    Catalog catalog(folder.path().string());
    catalog.open();
    EXPECT_TRUE(catalog.openErrors().empty());
    ASSERT_EQ(catalog.notices().size(), 1U);
    EXPECT_NE(catalog.notices().front().find("Options.cds"), std::string::npos);
    EXPECT_NE(catalog.notices().front().find("default options"), std::string::npos);
    EXPECT_FALSE(catalog.optionsReadable());
    EXPECT_EQ(catalog.options(set), SetOptions{});
    EXPECT_THROW(catalog.setOptions(set, someOptions()), ChangesRefused);

    // The sets themselves are still changed and saved, the damaged file left as it was.
    catalog.addSet("More", "/backup");
    ASSERT_EQ(catalog.save().status, Catalog::SaveStatus::Saved);
    EXPECT_EQ(stowmere::testing::readText(folder.path() / "Options.cds"), damaged);
}

TEST(SetOptions, SettingOptionsAgainReplacesTheSetsOneRow)
{
    TempFolder folder;
    std::int32_t set = 0;
    {
        Catalog catalog(folder.path().string());
        catalog.open();
        set = catalog.addSet("Docs", "/backup");
        catalog.setOptions(set, someOptions());
        catalog.setOptions(set, SetOptions{});
        ASSERT_EQ(catalog.save().status, Catalog::SaveStatus::Saved);
    }
    Catalog catalog(folder.path().string());
    catalog.open();
    // A second row would make the file unreadable; there is one, with the last options.
    EXPECT_TRUE(catalog.optionsReadable());
    EXPECT_EQ(catalog.options(set), SetOptions{});
}
