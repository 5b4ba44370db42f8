// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/Catalog.h"
#include "catalog/Errors.h"
#include "catalog/Messages.h"
#include "catalog/Schema.h"
#include "catalog/SetIdentity.h"
#include "store/Table.h"
#include "store/TableFiles.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

using namespace stowmere::catalog;
using stowmere::testing::TempFolder;

namespace {

bool isThinningColumn(const std::string& name)
{
    return name == schema::kOptionsKeepDaily || name == schema::kOptionsKeepWeekly ||
           name == schema::kOptionsKeepMonthly;
}

} // namespace

namespace {

/// "description -> destination: item, item" per set of a data folder as read back, in the
/// list's order.
std::vector<std::string> contents(const std::string& folder)
{
    Catalog catalog(folder);
    catalog.open();
    EXPECT_TRUE(catalog.openErrors().empty());
    std::vector<std::string> lines;
    for (const BackupSet& set : catalog.sets()) {
        std::string line = set.description + " -> " + set.destination + ":";
        for (const PathEntry& path : catalog.paths(set.number))
            line += " " + path.item;
        lines.push_back(line);
    }
    return lines;
}

void rename(Catalog& catalog, std::int32_t number, const std::string& description,
            const std::string& destination)
{
    catalog.updateSet(number, description, destination);
}

Catalog::SaveResult saved(Catalog& catalog, const Catalog::Question& ask = {})
{
    Catalog::SaveResult result = catalog.save(ask);
    EXPECT_EQ(result.status, Catalog::SaveStatus::Saved) << result.reason;
    return result;
}

/// A window (reads, keeps the files unlocked) and a command (locks from read to write) on
/// one data folder that holds "Docs" (set 1, /etc/docs) and "Music" (set 2, no paths).
class ConcurrentChanges : public ::testing::Test {
protected:
    ConcurrentChanges()
    {
        Catalog first(data);
        first.openForChange();
        first.addPath(first.addSet("Docs", "/backup/docs"), "/etc/docs");
        first.addSet("Music", "/backup/music");
        saved(first);
        window.open();
    }

    /// What another program does while the window is open, saved at once.
    void elsewhere(const std::function<void(Catalog&)>& change)
    {
        Catalog command(data);
        command.openForChange();
        change(command);
        saved(command);
    }

    TempFolder temp{"concurrent"};
    std::string data = temp.str();
    Catalog window{data};
    std::vector<std::string> questions;
    Catalog::Question record = [this](const std::string& text) {
        questions.push_back(text);
        return true;
    };
};

} // namespace

TEST_F(ConcurrentChanges, ChangesToDifferentSetsAndPathsAreAllKeptWithoutAQuestion)
{
    window.addPath(1, "/etc/window");
    window.deletePath(1); // /etc/docs
    window.addSet("Window set", "/backup/window");
    SetOptions options;
    options.exclusions = {"*.o"};
    window.setOptions(2, options);
    elsewhere([](Catalog& command) {
        command.addPath(1, "/etc/command");
        command.addPath(command.addSet("Command set", "/backup/command"), "/etc/other");
        rename(command, 2, "Songs", "/backup/music");
        SetOptions theirs;
        theirs.keepVersions = 9;
        command.setOptions(2, theirs);
    });
    const Catalog::SaveResult result = saved(window, record);
    EXPECT_TRUE(questions.empty()) << questions.front();
    EXPECT_TRUE(result.merged);
    EXPECT_EQ(result.renumbered, (std::map<std::int32_t, std::int32_t>{{3, 4}}));
    EXPECT_EQ(contents(data),
              (std::vector<std::string>{"Command set -> /backup/command: /etc/other",
                                        "Docs -> /backup/docs: /etc/command /etc/window",
                                        "Songs -> /backup/music:", "Window set -> /backup/window:"}));
    // Each side changed another field of the options: both changes hold.
    Catalog reread(data);
    reread.open();
    EXPECT_EQ(reread.options(2).exclusions, std::vector<std::string>{"*.o"});
    EXPECT_EQ(reread.options(2).keepVersions, 9);
    // The window's tables now hold the merged sets, and a later save adds nothing twice.
    window.addPath(4, "/etc/later");
    saved(window);
    EXPECT_EQ(contents(data).back(), "Window set -> /backup/window: /etc/later");
}

TEST_F(ConcurrentChanges, ASetChangedOnBothSidesIsAskedAboutAndKeptTwiceByDefault)
{
    rename(window, 1, "Docs here", "/backup/docs");
    window.addPath(1, "/etc/window");
    elsewhere([](Catalog& command) { rename(command, 1, "Docs there", "/backup/docs"); });
    const Catalog::SaveResult result = saved(window); // no one to ask: the default
    EXPECT_EQ(result.renumbered, (std::map<std::int32_t, std::int32_t>{{1, 3}}));
    EXPECT_EQ(contents(data), (std::vector<std::string>{"Docs here -> /backup/docs: /etc/docs /etc/window",
                                                        "Docs there -> /backup/docs: /etc/docs /etc/window",
                                                        "Music -> /backup/music:"}));
    Catalog reread(data);
    reread.open();
    EXPECT_NE(reread.findSet(3)->identity, reread.findSet(1)->identity) << "the copy is a set of its own";

    // Different fields of one set are no conflict; the same field is, and No takes this side.
    rename(window, 3, "Docs here", "/backup/elsewhere");
    elsewhere([](Catalog& command) { rename(command, 3, "Docs again", "/backup/docs"); });
    saved(window, record);
    EXPECT_TRUE(questions.empty());
    rename(window, 3, "Mine", "/backup/elsewhere");
    elsewhere([](Catalog& command) { rename(command, 3, "Theirs", "/backup/elsewhere"); });
    saved(window, [this](const std::string& text) {
        questions.push_back(text);
        return false;
    });
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_NE(questions[0].find("\"Theirs\" was changed by another program"), std::string::npos)
        << questions[0];
    reread.open();
    EXPECT_EQ(reread.findSet(3)->description, "Mine");
    EXPECT_EQ(reread.sets().size(), 3u);
}

TEST_F(ConcurrentChanges, DeletionsOnOneSideMeetChangesOnTheOther)
{
    // Deleted here, untouched there: deleted. Deleted there, changed here: kept by default.
    window.deleteSet(2);
    window.addPath(1, "/etc/window");
    elsewhere([](Catalog& command) {
        command.deletePath(1);
        command.deleteSet(1);
    });
    const Catalog::SaveResult result = saved(window, record);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0], messages::setDeletedElsewhereQuestion("Docs"));
    EXPECT_EQ(contents(data), std::vector<std::string>{"Docs -> /backup/docs: /etc/docs /etc/window"});
    ASSERT_EQ(result.renumbered.size(), 1u) << "the kept set takes a number the file never gave";

    // A set deleted here that the other program gave a path keeps it, and says so.
    const std::int32_t docs = result.renumbered.begin()->second;
    window.deletePath(window.paths(docs)[0].number);
    window.deletePath(window.paths(docs)[0].number);
    window.deleteSet(docs);
    elsewhere([docs](Catalog& command) { command.addPath(docs, "/etc/command"); });
    const Catalog::SaveResult kept = saved(window, record);
    ASSERT_EQ(kept.notes.size(), 1u);
    EXPECT_EQ(kept.notes[0], messages::keptForItsPaths("Docs"));
    EXPECT_EQ(contents(data), std::vector<std::string>{"Docs -> /backup/docs: /etc/command"});
}

TEST_F(ConcurrentChanges, ANeverSavedSetsRunsAreNotTheNextSetsOfItsNumber)
{
    const std::int32_t lost = window.addSet("Tiny disk", "/backup/tiny");
    const std::string lostIdentity = window.findSet(lost)->identity;
    // The window ends without saving (killed); the next program gives the number again.
    Catalog next(data);
    next.openForChange();
    const std::int32_t made = next.addSet("Photos", "/backup/photos");
    ASSERT_EQ(made, lost);
    EXPECT_NE(next.findSet(made)->identity, lostIdentity);
    EXPECT_TRUE(identityMade(lostIdentity).has_value());
}

TEST_F(ConcurrentChanges, AnOptionsFileFromBeforeIdentitiesIsReadAndGetsTheColumnWhenWritten)
{
    // Options.cds as it was written before sets had an identity.
    using stowmere::store::FieldDef;
    stowmere::store::Table old;
    std::vector<FieldDef> columns = schema::optionsFieldDefs();
    // Neither the identity nor mirror nor thinning, which came after it.
    while (columns.back().name == schema::kOptionsSetIdentity ||
           columns.back().name == schema::kOptionsMirror || isThinningColumn(columns.back().name))
        columns.pop_back();
    ASSERT_EQ(columns.size(), schema::optionsFieldDefs().size() - 5);
    old.setFieldDefs(columns);
    old.createDataSet();
    old.insert();
    old.fieldByName(schema::kOptionsCategoryNo).setAsInteger(2);
    old.fieldByName(schema::kOptionsExclusions).setAsString("*.tmp\n");
    old.fieldByName(schema::kOptionsKeepVersions).setAsInteger(3);
    old.post();
    const std::string file = data + "/Options.cds";
    stowmere::store::saveTableFile(old, file);
    const auto oldBytes = stowmere::store::readTableFileImage(file);

    Catalog reader(data);
    reader.open();
    EXPECT_TRUE(reader.optionsReadable()) << (reader.notices().empty() ? "" : reader.notices()[0]);
    EXPECT_EQ(reader.options(2).exclusions, std::vector<std::string>{"*.tmp"});
    EXPECT_EQ(reader.options(2).keepVersions, 3);
    EXPECT_TRUE(reader.findSet(2)->identity.empty());
    EXPECT_FALSE(reader.hasChanges()) << "reading alone rewrites nothing";

    const std::int32_t made = reader.addSet("New", "/backup/new");
    saved(reader);
    Catalog reread(data);
    reread.open();
    EXPECT_EQ(reread.options(2).keepVersions, 3);
    EXPECT_EQ(reread.findSet(made)->identity, reader.findSet(made)->identity);
    EXPECT_NE(stowmere::store::readTableFileImage(file), oldBytes);
}

TEST_F(ConcurrentChanges, AnOptionsFileFromBeforeMirrorIsReadAsOffAndKeepsItsIdentitiesWhenWritten)
{
    using stowmere::store::FieldDef;
    const std::int32_t number = window.addSet("Photos", "/backup/photos");
    const std::string identity = window.findSet(number)->identity;
    stowmere::store::Table old;
    std::vector<FieldDef> columns = schema::optionsFieldDefs();
    while (isThinningColumn(columns.back().name))
        columns.pop_back();
    ASSERT_EQ(columns.back().name, schema::kOptionsMirror);
    columns.pop_back();
    old.setFieldDefs(columns);
    old.createDataSet();
    old.insert();
    old.fieldByName(schema::kOptionsCategoryNo).setAsInteger(number);
    old.fieldByName(schema::kOptionsKeepVersions).setAsInteger(4);
    old.fieldByName(schema::kOptionsSetIdentity).setAsString(identity);
    old.post();
    saved(window);
    stowmere::store::saveTableFile(old, data + "/Options.cds");

    Catalog reader(data);
    reader.openForChange();
    ASSERT_TRUE(reader.optionsReadable());
    EXPECT_FALSE(reader.options(number).mirror);
    EXPECT_EQ(reader.findSet(number)->identity, identity);
    stowmere::catalog::SetOptions options = reader.options(number);
    options.mirror = true;
    reader.setOptions(number, options);
    saved(reader);

    Catalog reread(data);
    reread.open();
    EXPECT_TRUE(reread.options(number).mirror);
    EXPECT_EQ(reread.options(number).keepVersions, 4);
    EXPECT_EQ(reread.findSet(number)->identity, identity);
}

TEST_F(ConcurrentChanges, AnOptionsFileFromBeforeThinningKeepsNoPeriodsAndTakesThemWhenWritten)
{
    using stowmere::store::FieldDef;
    const std::int32_t number = window.addSet("Photos", "/backup/photos");
    stowmere::store::Table old;
    std::vector<FieldDef> columns = schema::optionsFieldDefs();
    while (isThinningColumn(columns.back().name))
        columns.pop_back();
    ASSERT_EQ(columns.size(), schema::optionsFieldDefs().size() - 3);
    old.setFieldDefs(columns);
    old.createDataSet();
    old.insert();
    old.fieldByName(schema::kOptionsCategoryNo).setAsInteger(number);
    old.fieldByName(schema::kOptionsKeepVersions).setAsInteger(4);
    old.fieldByName(schema::kOptionsMirror).setAsInteger(1);
    old.fieldByName(schema::kOptionsSetIdentity).setAsString(window.findSet(number)->identity);
    old.post();
    saved(window);
    stowmere::store::saveTableFile(old, data + "/Options.cds");

    Catalog reader(data);
    reader.openForChange();
    ASSERT_TRUE(reader.optionsReadable()) << (reader.notices().empty() ? "" : reader.notices()[0]);
    stowmere::catalog::SetOptions options = reader.options(number);
    EXPECT_EQ(options.keepDaily, 0);
    EXPECT_EQ(options.keepWeekly, 0);
    EXPECT_EQ(options.keepMonthly, 0);
    EXPECT_TRUE(options.mirror);
    options.keepDaily = 7;
    options.keepMonthly = 12;
    reader.setOptions(number, options);
    options.keepWeekly = -1;
    EXPECT_THROW(reader.setOptions(number, options), stowmere::catalog::RuleRefusal);
    saved(reader);

    Catalog reread(data);
    reread.open();
    EXPECT_EQ(reread.options(number).keepDaily, 7);
    EXPECT_EQ(reread.options(number).keepWeekly, 0);
    EXPECT_EQ(reread.options(number).keepMonthly, 12);
    EXPECT_EQ(reread.options(number).keepVersions, 4);
}
