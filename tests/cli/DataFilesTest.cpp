// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/DataFiles.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

using stowmere::cli::DataFileError;
using stowmere::cli::DataFiles;
using stowmere::cli::RuleRefusal;
using stowmere::cli::test::TempFolder;

namespace {

std::string failureOf(DataFiles& files)
{
    try {
        files.save();
    } catch (const DataFileError& error) {
        return error.what();
    }
    return "(saved)";
}

} // namespace

TEST(DataFiles, AFileChangedByAnotherProgramIsNotOverwritten)
{
    TempFolder temp;
    const std::string folder = temp.folder("data");
    {
        DataFiles first(folder);
        first.addSet("one", "/dest");
        first.save();
    }
    DataFiles mine(folder);
    {
        DataFiles theirs(folder);
        theirs.addSet("theirs", "/dest");
        theirs.save();
    }
    const std::string theirBytes = temp.read("data/Category.cds");
    mine.addSet("mine", "/dest");
    const std::string text = failureOf(mine);
    EXPECT_NE(text.find("Category.cds"), std::string::npos) << text;
    EXPECT_NE(text.find("changed by another program"), std::string::npos) << text;
    EXPECT_EQ(temp.read("data/Category.cds"), theirBytes);
}

TEST(DataFiles, AFileCreatedMeanwhileCountsAsChanged)
{
    TempFolder temp;
    const std::string folder = temp.folder("data");
    DataFiles mine(folder);
    temp.file("data/Category.cds", "someone else's");
    mine.addSet("mine", "/dest");
    EXPECT_NE(failureOf(mine).find("changed by another program"), std::string::npos);
    EXPECT_EQ(temp.read("data/Category.cds"), "someone else's");
}

TEST(DataFiles, OnlyTheChangedTableIsWritten)
{
    TempFolder temp;
    const std::string folder = temp.folder("data");
    {
        DataFiles files(folder);
        files.addSet("one", "/dest");
        files.addPath(0, "/src/a");
        files.save();
    }
    const auto pathTime = std::filesystem::last_write_time(temp.path("data/Path.cds"));
    // Another program's change to the table this command does not touch is no conflict.
    const std::string before = temp.read("data/Path.cds");
    DataFiles files(folder);
    files.addSet("two", "/dest");
    files.save();
    EXPECT_EQ(std::filesystem::last_write_time(temp.path("data/Path.cds")), pathTime);
    EXPECT_EQ(temp.read("data/Path.cds"), before);
    EXPECT_EQ(files.sets().size(), 2u);
}

TEST(DataFiles, AFailedSaveNamesTheFileAndKeepsTheOldOne)
{
    TempFolder temp;
    const std::string folder = temp.folder("data");
    DataFiles files(folder);
    files.addSet("one", "/dest");
    // The folder vanishes between reading and writing.
    std::filesystem::remove(folder);
    temp.file("data", "now a regular file");
    const std::string text = failureOf(files);
    EXPECT_NE(text.find("Category.cds"), std::string::npos) << text;
    EXPECT_EQ(temp.read("data"), "now a regular file");
}

TEST(DataFiles, RulesOfTheWindowAreKept)
{
    TempFolder temp;
    DataFiles files(temp.folder("data"));
    EXPECT_THROW(files.addSet("", "/dest"), RuleRefusal);
    EXPECT_THROW(files.addSet("abc", ""), RuleRefusal);
    files.addSet("abc", "/dest");
    files.addPath(0, "/src/x");
    EXPECT_THROW(files.deleteSet(0), RuleRefusal);
    EXPECT_EQ(files.removePath(0, "/src/y"), 0u);
    EXPECT_EQ(files.removePath(0, "/src/x"), 1u);
    files.deleteSet(0);
    EXPECT_TRUE(files.sets().empty());
}
