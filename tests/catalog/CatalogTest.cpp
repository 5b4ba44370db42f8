// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/Catalog.h"
#include "catalog/Errors.h"
#include "catalog/Messages.h"
#include "catalog/Schema.h"
#include "store/StoreError.h"
#include "store/Table.h"
#include "support/FileContents.h"
#include "support/TableFileBytes.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace stowmere::catalog;
using stowmere::testing::readBytes;
using stowmere::testing::TempFolder;
using stowmere::testing::writeBytes;
using stowmere::testing::writeText;
namespace fs = std::filesystem;

namespace {

constexpr std::chrono::milliseconds kShortWait{50};

std::vector<std::string> descriptions(const Catalog& catalog)
{
    std::vector<std::string> result;
    for (const BackupSet& set : catalog.sets())
        result.push_back(set.description);
    return result;
}

std::vector<std::string> items(const Catalog& catalog, std::int32_t set)
{
    std::vector<std::string> result;
    for (const PathEntry& path : catalog.paths(set))
        result.push_back(path.item);
    return result;
}

template <typename Action> std::string refusalOf(Action action)
{
    try {
        action();
    } catch (const RuleRefusal& refusal) {
        return refusal.what();
    }
    return "(done)";
}

/// Worked file 1: one set "abc", "D:\Bak", number 1.
std::vector<std::byte> workedFile1()
{
    return stowmere::testing::categoryFileBytes({{1, "abc", "D:\\Bak"}}, 2);
}

} // namespace

TEST(Catalog, MissingFilesGiveEmptyTablesAndNothingIsWrittenUntilSomethingChanges)
{
    TempFolder folder;
    Catalog catalog(folder.str());
    catalog.open();
    EXPECT_TRUE(catalog.openErrors().empty());
    EXPECT_TRUE(catalog.sets().empty());
    EXPECT_FALSE(catalog.hasChanges());
    EXPECT_EQ(catalog.save().status, Catalog::SaveStatus::Saved);
    EXPECT_TRUE(fs::is_empty(folder.path())) << "no table file and no lock file";
}

TEST(Catalog, WorkedFilesComeOutByteForByte)
{
    TempFolder folder;
    Catalog catalog(folder.str());
    catalog.open();
    EXPECT_EQ(catalog.addSet("abc", "D:\\Bak"), 1);
    EXPECT_EQ(catalog.save().status, Catalog::SaveStatus::Saved);
    EXPECT_EQ(readBytes(folder.path() / "Category.cds"), workedFile1());
    EXPECT_FALSE(fs::exists(folder.path() / "Path.cds")) << "the path table did not change";

    // Worked file 2: a new path table with no rows, from the catalog's column set.
    stowmere::store::Table paths;
    paths.setFieldDefs(schema::pathFieldDefs());
    paths.createDataSet();
    EXPECT_EQ(paths.saveToBytes(), stowmere::testing::pathFileBytes({}, 1));
}

TEST(Catalog, SetsAndPathsFollowTheRulesOfTheWindow)
{
    TempFolder folder;
    Catalog catalog(folder.str());
    catalog.open();
    EXPECT_EQ(refusalOf([&] { catalog.addSet("", "/dest"); }), messages::kDescriptionMissing);
    EXPECT_EQ(refusalOf([&] { catalog.addSet("abc", ""); }), messages::kDestinationMissing);
    EXPECT_TRUE(catalog.sets().empty()) << "a refused set is not made";
    try {
        catalog.addSet("", "");
    } catch (const RuleRefusal& refusal) {
        EXPECT_EQ(refusal.field(), RuleRefusal::Field::Description) << "the description is checked first";
    }
    EXPECT_THROW(catalog.addSet(std::string(51, 'x'), "/dest"), stowmere::store::StoreError);

    const std::int32_t photos = catalog.addSet("Photos", "/backup/photos");
    const std::int32_t docs = catalog.addSet("Docs", "/backup/docs");
    EXPECT_EQ(descriptions(catalog), (std::vector<std::string>{"Docs", "Photos"}));
    catalog.addPath(docs, "/home/u/b");
    catalog.addPath(docs, "/home/u/a");
    const std::int32_t twice = catalog.addPath(docs, "/home/u/b");
    catalog.addPath(photos, "/home/u/pics");
    EXPECT_EQ(items(catalog, docs), (std::vector<std::string>{"/home/u/a", "/home/u/b", "/home/u/b"}));
    EXPECT_EQ(refusalOf([&] { catalog.addPath(99, "/x"); }), messages::kSetNotFound);
    EXPECT_NE(refusalOf([&] { catalog.addPath(docs, std::string("/a\0b", 4)); }).find("zero byte"),
              std::string::npos);

    EXPECT_EQ(refusalOf([&] { catalog.deleteSet(docs); }), messages::kDeletePathsFirst);
    EXPECT_TRUE(catalog.deletePath(twice));
    EXPECT_FALSE(catalog.deletePath(twice)) << "already gone";
    EXPECT_EQ(catalog.removePaths(docs, "/home/u/nothing"), 0u);
    EXPECT_EQ(catalog.removePaths(docs, "/home/u/a") + catalog.removePaths(docs, "/home/u/b"), 2u);
    catalog.deleteSet(docs);
    EXPECT_EQ(descriptions(catalog), std::vector<std::string>{"Photos"});
    EXPECT_EQ(items(catalog, photos), std::vector<std::string>{"/home/u/pics"})
        << "the other set keeps its paths";

    const RunRequest request = catalog.runRequest(photos, true, [](std::size_t) { return true; });
    EXPECT_EQ(request.set.destination, "/backup/photos");
    EXPECT_EQ(request.items, std::vector<std::string>{"/home/u/pics"});
    EXPECT_EQ(request.checkedCount(), 1u);
    EXPECT_TRUE(request.settings().incremental);
    EXPECT_EQ(request.startCheck().information, "Backup To Folder /backup/photos does not exist.");
    EXPECT_EQ(refusalOf([&] { catalog.runRequest(docs, false, {}); }), messages::kSetNotFound);
}

TEST(Catalog, NumbersAreNeverReusedAcrossSaves)
{
    TempFolder folder;
    {
        Catalog catalog(folder.str());
        catalog.open();
        for (const char* name : {"a", "b", "c"})
            catalog.addSet(name, "/dest");
        catalog.deleteSet(2);
        ASSERT_EQ(catalog.save().status, Catalog::SaveStatus::Saved);
    }
    Catalog catalog(folder.str());
    catalog.open();
    EXPECT_EQ(catalog.nextSetNumber(), 4);
    EXPECT_EQ(catalog.addSet("d", "/dest"), 4);
}

TEST(Catalog, UpdateSetChecksLikeAddSetAndARefusalLeavesTheSetAsItWas)
{
    TempFolder folder;
    Catalog catalog(folder.str());
    catalog.open();
    const std::int32_t docs = catalog.addSet("Docs", "/backup/docs");
    const std::string docsIdentity = catalog.findSet(docs)->identity;
    EXPECT_FALSE(docsIdentity.empty()) << "a set is given its identity when it is made";
    const BackupSet before{docs, "Docs", "/backup/docs", docsIdentity};

    EXPECT_EQ(refusalOf([&] { catalog.updateSet(docs, " ", "/backup/papers"); }),
              messages::kDescriptionMissing);
    EXPECT_EQ(refusalOf([&] { catalog.updateSet(docs, "Papers", ""); }), messages::kDestinationMissing);
    EXPECT_EQ(refusalOf([&] { catalog.updateSet(docs, "Pa\tpers", "/backup/papers"); }),
              messages::kDescriptionControl);
    EXPECT_NE(
        refusalOf([&] { catalog.updateSet(docs, "Papers", std::string("/a\0b", 4)); }).find("zero byte"),
        std::string::npos);
    EXPECT_THROW(catalog.updateSet(docs, std::string(51, 'x'), "/backup/papers"),
                 stowmere::store::StoreError);
    EXPECT_EQ(catalog.findSet(docs), before) << "nothing of a refused change is kept";
    EXPECT_EQ(refusalOf([&] { catalog.updateSet(99, "Papers", "/backup/papers"); }), messages::kSetNotFound);

    catalog.updateSet(docs, "Papers", "/backup/papers");
    EXPECT_EQ(catalog.findSet(docs), (BackupSet{docs, "Papers", "/backup/papers", docsIdentity}))
        << "the set keeps its number and identity";
    EXPECT_EQ(catalog.sets().size(), 1u);
}

TEST(Catalog, ADescriptionTypedIntoAnEditorClosedByItsTitleBarIsKept)
{
    TempFolder folder;
    Catalog catalog(folder.str());
    catalog.open();
    const std::int32_t docs = catalog.addSet("Docs", "/backup/docs");
    const std::string docsIdentity = catalog.findSet(docs)->identity;

    // A new set is made without a folder and with an identity of its own.
    EXPECT_EQ(catalog.keepTypedDescription(std::nullopt, "Typed"), 2);
    ASSERT_TRUE(catalog.findSet(2));
    EXPECT_EQ(catalog.findSet(2)->description, "Typed");
    EXPECT_EQ(catalog.findSet(2)->destination, "");
    EXPECT_NE(catalog.findSet(2)->identity, docsIdentity);

    // An existing set keeps its folder.
    EXPECT_EQ(catalog.keepTypedDescription(docs, "Papers"), docs);
    EXPECT_EQ(catalog.findSet(docs), (BackupSet{docs, "Papers", "/backup/docs", docsIdentity}));

    EXPECT_THROW(catalog.keepTypedDescription(std::nullopt, std::string(51, 'x')),
                 stowmere::store::StoreError);
    EXPECT_EQ(catalog.sets().size(), 2u) << "a description that does not fit leaves no row behind";
    EXPECT_EQ(refusalOf([&] { catalog.keepTypedDescription(99, "x"); }), messages::kSetNotFound);
}

TEST(Catalog, AFileOfAnotherTableOrWithColumnsOfTheWrongTypeIsRefused)
{
    TempFolder folder;
    // The path table's file in the place of the set table's: it has a Category_No, but one
    // the store does not number, so new sets would get none.
    writeBytes(folder.path() / "Category.cds", stowmere::testing::pathFileBytes({}, 1));
    Catalog catalog(folder.str());
    catalog.open();
    ASSERT_EQ(catalog.openErrors().size(), 1u);
    EXPECT_NE(
        catalog.openErrors()[0].find("Category.cds: it has no column 'Category_No' of the expected type"),
        std::string::npos)
        << catalog.openErrors()[0];
    EXPECT_FALSE(catalog.setsReadable());
    EXPECT_FALSE(catalog.pathsReadable()) << "paths are not read without their sets";
}

TEST(Catalog, WhileAFileCannotBeReadNothingCanBeChangedOrWritten)
{
    TempFolder folder;
    writeBytes(folder.path() / "Category.cds", workedFile1());
    writeText(folder.path() / "Path.cds", "damaged");
    Catalog catalog(folder.str());
    catalog.open();
    ASSERT_EQ(catalog.openErrors().size(), 1u);
    EXPECT_NE(catalog.openErrors()[0].find("Path.cds"), std::string::npos);
    EXPECT_EQ(descriptions(catalog), std::vector<std::string>{"abc"}) << "the sets are still shown";
    try {
        catalog.deleteSet(1);
        FAIL() << "a set whose paths could not be read was deleted";
    } catch (const ChangesRefused& refusal) {
        EXPECT_NE(std::string(refusal.what()).find("Path.cds"), std::string::npos) << refusal.what();
    }
    EXPECT_THROW(catalog.addSet("new", "/dest"), ChangesRefused);
    EXPECT_THROW(catalog.updateSet(1, "new", "/dest"), ChangesRefused);
    EXPECT_THROW(catalog.keepTypedDescription(1, "new"), ChangesRefused);
    EXPECT_THROW(catalog.addPath(1, "/x"), ChangesRefused);
    EXPECT_FALSE(catalog.hasChanges());
    EXPECT_EQ(catalog.save().status, Catalog::SaveStatus::Saved);
    EXPECT_EQ(readBytes(folder.path() / "Category.cds"), workedFile1());
    EXPECT_EQ(stowmere::testing::readText(folder.path() / "Path.cds"), "damaged");
}

TEST(Catalog, AFileChangedOnDiskGetsThisCatalogsChangesOnTopAndADamagedOneIsNeverOverwritten)
{
    TempFolder folder;
    Catalog mine(folder.str());
    mine.open();
    mine.addSet("Mine", "/mine");
    {
        Catalog theirs(folder.str());
        theirs.openForChange();
        theirs.addSet("Theirs", "/theirs");
        ASSERT_EQ(theirs.save().status, Catalog::SaveStatus::Saved);
    }
    Catalog::SaveResult result = mine.save();
    EXPECT_EQ(result.status, Catalog::SaveStatus::Saved);
    EXPECT_TRUE(result.merged);
    EXPECT_EQ(result.renumbered, (std::map<std::int32_t, std::int32_t>{{1, 2}}))
        << "both sets were numbered 1; this one goes past the file's highest";
    Catalog reread(folder.str());
    reread.open();
    EXPECT_EQ(descriptions(reread), (std::vector<std::string>{"Mine", "Theirs"}));
    EXPECT_EQ(reread.findSet(2)->description, "Mine");
    EXPECT_EQ(reread.findSet(2)->identity, mine.findSet(2)->identity) << "the set keeps its identity";

    // A file damaged meanwhile cannot be merged with: nothing is written, and giving up
    // leaves it as it is.
    mine.addSet("More", "/more");
    writeText(folder.path() / "Category.cds", "theirs");
    result = mine.save();
    EXPECT_EQ(result.status, Catalog::SaveStatus::Failed);
    EXPECT_NE(result.reason.find("Category.cds"), std::string::npos) << result.reason;
    EXPECT_EQ(descriptions(mine), (std::vector<std::string>{"Mine", "More", "Theirs"}))
        << "nothing is lost here";
    mine.keepFileOnDisk(result.file);
    EXPECT_EQ(mine.save().status, Catalog::SaveStatus::Saved);
    EXPECT_EQ(stowmere::testing::readText(folder.path() / "Category.cds"), "theirs");
}

TEST(Catalog, AFailedWriteKeepsTheOldFileAndTheChangesForAnotherTry)
{
    TempFolder folder;
    const fs::path data = folder.path() / "data";
    fs::create_directories(data);
    Catalog catalog(data.string());
    catalog.open();
    catalog.addSet("abc", "D:\\Bak");
    // The data folder goes away and a regular file takes its name.
    fs::rename(data, folder.path() / "moved");
    writeText(data, "in the way");
    const Catalog::SaveResult failed = catalog.save();
    EXPECT_EQ(failed.status, Catalog::SaveStatus::Failed);
    EXPECT_EQ(failed.file, data.string() + "/Category.cds");
    EXPECT_FALSE(failed.reason.empty());
    EXPECT_TRUE(catalog.hasChanges());

    fs::remove(data);
    fs::rename(folder.path() / "moved", data);
    EXPECT_EQ(catalog.save().status, Catalog::SaveStatus::Saved);
    EXPECT_EQ(readBytes(data / "Category.cds"), workedFile1());
}

TEST(Catalog, AWriterWaitsForTheLockAndGivesUpWithTheBusyMessage)
{
    TempFolder folder;
    Catalog holder(folder.str(), kShortWait);
    holder.openForChange();
    EXPECT_TRUE(fs::exists(folder.path() / ".stowmere-tables.lock"));

    Catalog second(folder.str(), kShortWait);
    try {
        second.openForChange();
        FAIL() << "two writers at once";
    } catch (const TablesBusy& busy) {
        EXPECT_EQ(busy.what(), std::string(messages::kTablesBusy));
    }
    // A reader does not wait; a save without the lock of its own waits and then fails.
    Catalog window(folder.str(), kShortWait);
    window.open();
    window.addSet("abc", "/dest");
    const Catalog::SaveResult busy = window.save();
    EXPECT_EQ(busy.status, Catalog::SaveStatus::Failed);
    EXPECT_EQ(busy.reason, messages::kTablesBusy);
    EXPECT_FALSE(fs::exists(folder.path() / "Category.cds"));

    holder.releaseLock();
    EXPECT_EQ(window.save().status, Catalog::SaveStatus::Saved);
    second.openForChange();
    EXPECT_EQ(descriptions(second), std::vector<std::string>{"abc"}) << "read under the lock, after the save";
}

TEST(Catalog, TablesThatAreLinksAreSavedThroughAndLockedWhereTheyLie)
{
    TempFolder folder;
    const fs::path synced = folder.path() / "synced";
    const fs::path data = folder.path() / "data";
    fs::create_directories(synced);
    fs::create_directories(data);
    writeBytes(synced / "Category.cds", workedFile1());
    fs::create_symlink(synced / "Category.cds", data / "Category.cds");
    fs::create_symlink(synced / "Path.cds", data / "Path.cds"); // not there yet

    Catalog catalog(data.string(), kShortWait);
    catalog.openForChange();
    EXPECT_TRUE(fs::exists(synced / ".stowmere-tables.lock"));
    EXPECT_FALSE(fs::exists(data / ".stowmere-tables.lock"));
    {
        // Another data folder that links to the same files waits for the same lock.
        const fs::path other = folder.path() / "other";
        fs::create_directories(other);
        fs::create_symlink(synced / "Category.cds", other / "Category.cds");
        Catalog second(other.string(), kShortWait);
        EXPECT_THROW(second.openForChange(), TablesBusy);
    }
    catalog.addPath(1, "/home/u/a");
    catalog.addSet("def", "/dest");
    ASSERT_EQ(catalog.save().status, Catalog::SaveStatus::Saved);
    EXPECT_TRUE(fs::is_symlink(data / "Category.cds"));
    EXPECT_TRUE(fs::is_symlink(data / "Path.cds"));
    EXPECT_TRUE(fs::is_regular_file(synced / "Path.cds"));

    Catalog reread(synced.string());
    reread.open();
    EXPECT_EQ(descriptions(reread), (std::vector<std::string>{"abc", "def"}));
    EXPECT_EQ(items(reread, 1), std::vector<std::string>{"/home/u/a"});
}
