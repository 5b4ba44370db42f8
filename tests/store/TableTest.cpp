// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestHelpers.h"

#include "store/PacketContents.h"
#include "store/StoreError.h"
#include "store/TDataTable.h"
#include "store/TablePacket.h"
#include "store/TablePacketWriter.h"

#include <gtest/gtest.h>

using namespace stowmere::store;
using namespace testing_helpers;

namespace {

void openCategories(TDataTable& table)
{
    table.SetFieldDefs(categoryFieldDefs());
    table.SetIndexFieldNames(kCategoryIndexFieldNames);
    table.CreateDataSet();
}

void addCategory(TDataTable& table, const std::string& description, const std::string& folder = "/backup")
{
    table.Insert();
    table.FieldByName("Category_Description").SetAsString(description);
    table.FieldByName("Category_BackupDirectory").SetAsString(folder);
    table.Post();
}

std::vector<std::string> column(const TDataTable& table, const std::string& field)
{
    std::vector<std::string> values;
    for (std::size_t record = 0; record < table.RecordCount(); ++record)
        values.push_back(table.RecordAsString(record, *table.FindField(field)));
    return values;
}

ResultCode codeOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const StoreError& error) {
        return error.code();
    }
    return rc::Ok;
}

} // namespace

TEST(TableOrder, DescriptionsDifferingInCaseAreNeighboursAndEqualOnesFollow)
{
    TDataTable table;
    openCategories(table);
    for (const char* description : {"b", "B", "a", "Docs", "A", "docs"})
        addCategory(table, description);
    EXPECT_EQ(column(table, "Category_Description"),
              (std::vector<std::string>{"a", "A", "b", "B", "docs", "Docs"}));

    // An equal description goes after the existing one, whatever the table size.
    addCategory(table, "docs", "/second");
    ASSERT_TRUE(table.Locate("Category_Description", "docs"));
    EXPECT_EQ(table.FieldByName("Category_BackupDirectory").AsString(), "/backup");
    EXPECT_EQ(column(table, "Category_BackupDirectory")[5], "/second");
}

TEST(TableOrder, EqualKeysKeepPlacementOrderAtAnySize)
{
    // Loaded rows are sorted in one go (not placed one by one), so this pins the stable
    // sort for sizes well past the small-table case.
    for (const int count : {9, 10, 11, 500}) {
        TDataTable table;
        openCategories(table);
        for (int i = 0; i < count; ++i)
            addCategory(table, i % 2 ? "same" : "Same", "/" + std::to_string(i));
        TDataTable reread;
        reread.SetIndexFieldNames(kCategoryIndexFieldNames);
        reread.LoadFromBytes(table.SaveToBytes());
        // "same" sorts before "Same"; within each, the order in which they were added.
        std::vector<std::string> expected;
        for (int i = 1; i < count; i += 2)
            expected.push_back("/" + std::to_string(i));
        for (int i = 0; i < count; i += 2)
            expected.push_back("/" + std::to_string(i));
        EXPECT_EQ(column(reread, "Category_BackupDirectory"), expected) << count << " rows";
    }
}

TEST(TableOrder, ResortingTheDisplayLeavesTheSavedBytesUnchanged)
{
    TDataTable table;
    openCategories(table);
    for (const char* description : {"zeta", "alpha", "Mid"})
        addCategory(table, description);
    const auto saved = table.SaveToBytes();
    table.SetIndexFieldNames("Category_BackupDirectory;Category_No");
    EXPECT_EQ(table.SaveToBytes(), saved);
    table.SetIndexFieldNames("");
    EXPECT_EQ(column(table, "Category_Description"), (std::vector<std::string>{"zeta", "alpha", "Mid"}));
    EXPECT_EQ(table.SaveToBytes(), saved);
}

TEST(TableOrder, UnknownIndexFieldsAreRefusedAndTheOldOrderKept)
{
    TDataTable table;
    openCategories(table);
    addCategory(table, "b");
    addCategory(table, "a");
    try {
        table.SetIndexFieldNames("Category_Description;Nope");
        FAIL();
    } catch (const StoreError& error) {
        EXPECT_STREQ(error.what(), "Field 'Nope' not found");
    }
    EXPECT_EQ(table.IndexFieldNames(), kCategoryIndexFieldNames);
    EXPECT_EQ(column(table, "Category_Description"), (std::vector<std::string>{"a", "b"}));
    EXPECT_THROW(table.FieldByName("Nope"), StoreError);
    EXPECT_THROW(table.Fields(3), StoreError);
}

TEST(TableNumbering, NumbersAreNeverReusedAcrossSaveAndLoad)
{
    TDataTable table;
    openCategories(table);
    for (const char* description : {"one", "two", "three"})
        addCategory(table, description);
    ASSERT_TRUE(table.Locate("Category_Description", "two"));
    EXPECT_EQ(table.FieldByName("Category_No").AsInteger(), 2);
    table.Delete();
    const auto saved = table.SaveToBytes();
    EXPECT_EQ(table.AutoIncValue(), 4);

    TDataTable reread;
    reread.SetIndexFieldNames(kCategoryIndexFieldNames);
    reread.LoadFromBytes(saved);
    EXPECT_EQ(reread.AutoIncValue(), 4);
    addCategory(reread, "four");
    EXPECT_EQ(reread.FieldByName("Category_No").AsInteger(), 4);
    EXPECT_EQ(reread.AutoIncValue(), 5);
    const PacketContents contents = readPacketContents(reread.SaveToBytes());
    ASSERT_EQ(contents.tableProperties.size(), 1u);
    EXPECT_EQ(contents.tableProperties[0].name, "AUTOINCVALUE");
    EXPECT_EQ(contents.tableProperties[0].value, std::string("\x05\0\0\0", 4));
    // File order: one, three, then four.
    ASSERT_EQ(contents.rows.size(), 3u);
    EXPECT_EQ(contents.rows[0].fields[1].value, "one");
    EXPECT_EQ(contents.rows[1].fields[1].value, "three");
    EXPECT_EQ(contents.rows[2].fields[1].value, "four");
}

TEST(TableNumbering, CallerValuesAreOverwrittenAndFailedInsertsUseNoNumber)
{
    TDataTable table;
    auto fields = categoryFieldDefs();
    fields[1].attributes |= 0x0004; // description required
    table.SetFieldDefs(fields);
    table.CreateDataSet();
    EXPECT_THROW(table.FieldByName("Category_No").SetAsInteger(7), StoreError); // read-only
    table.Insert();
    EXPECT_EQ(codeOf([&] { table.Post(); }), rc::RequiredFieldMissing);
    table.FieldByName("Category_Description").SetAsString("");
    EXPECT_EQ(codeOf([&] { table.Post(); }), rc::RequiredFieldMissing);
    table.FieldByName("Category_Description").SetAsString("x");
    table.Post();
    EXPECT_EQ(table.FieldByName("Category_No").AsInteger(), 1);
}

TEST(TableEditing, FinishingPostsModifiedRowsAndCancelsUntouchedOnes)
{
    TDataTable table;
    openCategories(table);
    addCategory(table, "kept");

    table.Insert();
    EXPECT_EQ(table.State(), TDataSetState::dsInsert);
    table.CheckBrowseMode(); // nothing typed: the new row disappears
    EXPECT_EQ(table.State(), TDataSetState::dsBrowse);
    EXPECT_EQ(table.RecordCount(), 1u);
    EXPECT_EQ(table.AutoIncValue(), 2);

    table.Insert();
    table.FieldByName("Category_Description").SetAsString("typed");
    table.CheckBrowseMode(); // typed: posted, with an empty destination folder
    EXPECT_EQ(table.RecordCount(), 2u);
    ASSERT_TRUE(table.Locate("Category_Description", "typed"));
    EXPECT_EQ(table.FieldByName("Category_BackupDirectory").AsString(), "");

    table.Edit();
    table.FieldByName("Category_Description").SetAsString("changed");
    table.Cancel();
    EXPECT_EQ(table.FieldByName("Category_Description").AsString(), "typed");
    EXPECT_THROW(table.FieldByName("Category_Description").SetAsString("browse"), StoreError);
    const std::size_t changes = table.ChangeCount();
    table.Edit();
    ASSERT_TRUE(table.Locate("Category_Description", "kept")); // unmodified edit: cancelled, not counted
    EXPECT_EQ(table.State(), TDataSetState::dsBrowse);
    EXPECT_EQ(table.ChangeCount(), changes);
}

TEST(TableEditing, TextThatDoesNotFitIsRefusedNotCut)
{
    TDataTable table;
    openCategories(table);
    table.Insert();
    const std::string fifty(50, 'd');
    table.FieldByName("Category_Description").SetAsString(fifty);
    try {
        table.FieldByName("Category_Description").SetAsString(fifty + "x");
        FAIL();
    } catch (const StoreError& error) {
        const std::string text = error.what();
        EXPECT_NE(text.find("Category_Description"), std::string::npos) << text;
        EXPECT_NE(text.find("50"), std::string::npos) << text;
    }
    // Sizes count bytes: 25 two-byte characters fill the column, one more does not fit.
    std::string umlauts;
    for (int i = 0; i < 25; ++i)
        umlauts += "\xC3\xBC";
    table.FieldByName("Category_Description").SetAsString(umlauts);
    EXPECT_THROW(table.FieldByName("Category_Description").SetAsString(umlauts + "a"), StoreError);
    EXPECT_EQ(table.FieldByName("Category_Description").AsString(), umlauts);
    const std::string path(255, 'p');
    table.FieldByName("Category_BackupDirectory").SetAsString(path);
    EXPECT_THROW(table.FieldByName("Category_BackupDirectory").SetAsString(path + "/"), StoreError);
    table.Post();
    EXPECT_EQ(table.FieldByName("Category_BackupDirectory").AsString(), path);
}

TEST(TableEditing, DeleteMovesToTheFollowingRow)
{
    TDataTable table;
    openCategories(table);
    for (const char* description : {"a", "b", "c"})
        addCategory(table, description);
    ASSERT_TRUE(table.Locate("Category_Description", "b"));
    table.Delete();
    EXPECT_EQ(table.FieldByName("Category_Description").AsString(), "c");
    table.Delete();
    EXPECT_EQ(table.FieldByName("Category_Description").AsString(), "a");
    table.Delete();
    EXPECT_TRUE(table.IsEmpty());
    EXPECT_THROW(table.Delete(), StoreError);
    EXPECT_THROW(table.Edit(), StoreError);
    EXPECT_EQ(table.ChangeCount(), 6u);
}

TEST(TableEditing, LocateMatchesWholeValuesCaseSensitively)
{
    TDataTable table;
    openCategories(table);
    addCategory(table, "Same", "/first");
    addCategory(table, "same", "/lower");
    addCategory(table, "Same", "/second");
    ASSERT_TRUE(table.Locate("Category_BackupDirectory", "/second"));
    EXPECT_FALSE(table.Locate("Category_Description", "Sam"));
    EXPECT_FALSE(table.Locate("Category_Description", "SAME"));
    EXPECT_EQ(table.FieldByName("Category_BackupDirectory").AsString(), "/second") << "a miss does not move";
    ASSERT_TRUE(table.Locate("Category_Description", "Same"));
    EXPECT_EQ(table.FieldByName("Category_BackupDirectory").AsString(), "/first");
    ASSERT_TRUE(table.Locate("Category_No", "2"));
    EXPECT_EQ(table.FieldByName("Category_Description").AsString(), "same");
}

TEST(TableEditing, AKeylessBrowsingOrderTakesNewRowsAtTheCurrentOne)
{
    TDataTable table;
    table.SetFieldDefs(categoryFieldDefs());
    table.CreateDataSet();
    for (const char* description : {"first", "second"})
        addCategory(table, description);
    // "second" went in at the current row, "first".
    EXPECT_EQ(column(table, "Category_Description"), (std::vector<std::string>{"second", "first"}));
    ASSERT_TRUE(table.Locate("Category_Description", "first"));
    addCategory(table, "inserted");
    EXPECT_EQ(column(table, "Category_Description"),
              (std::vector<std::string>{"second", "inserted", "first"}));
}

TEST(TableNumbering, ATableWhoseRowsWereAllDeletedKeepsItsNextNumber)
{
    TDataTable table;
    openCategories(table);
    addCategory(table, "a");
    addCategory(table, "b");
    ASSERT_TRUE(table.Locate("Category_Description", "a"));
    table.Delete();
    table.Delete();
    const auto saved = table.SaveToBytes();
    const PacketContents contents = readPacketContents(saved);
    EXPECT_EQ(contents.rowCount, 0u);
    EXPECT_EQ(contents.rowDataOffset, saved.size());
    EXPECT_EQ(contents.tableProperties[0].value, std::string("\x03\0\0\0", 4));
}

TEST(TableNumbering, AFileWithoutAutoIncValueGivesNewRowsNoNumber)
{
    auto file = testing_helpers::workedFile1();
    // Rename the table property so that it is kept as an unknown one.
    file[155] = std::byte{'X'};
    TDataTable table;
    table.LoadFromBytes(file);
    EXPECT_FALSE(table.AutoIncValue());
    addCategory(table, "new");
    EXPECT_TRUE(table.FieldByName("Category_No").IsNull());
    const PacketContents contents = readPacketContents(table.SaveToBytes());
    ASSERT_EQ(contents.tableProperties.size(), 1u);
    EXPECT_EQ(contents.tableProperties[0].name, "XUTOINCVALUE");
}

TEST(TableIndexes, AKeyedStoredOrderFromTheFileDecidesTheFileOrderAndIsEnforced)
{
    // A file whose stored order is keyed by the description, descending and unique.
    TDataTable plain;
    plain.SetFieldDefs(categoryFieldDefs());
    plain.CreateDataSet();
    TableFrame frame;
    frame.fields = plain.FieldDefs();
    frame.defaultKeys = {KeyColumn{1, true, false}};
    frame.uniqueness = TIndexUniqueness::iuPrimary;
    frame.autoIncValue = 3;
    const std::vector<PackedRow> rows = {{0, packRow({std::string("\x01\0\0\0", 4), "b", "/x"})},
                                         {0, packRow({std::string("\x02\0\0\0", 4), "a", "/x"})}};
    const std::vector<std::uint32_t> order = {0, 1};
    const auto file = writeTablePacket(frame, rows, order);

    TDataTable table;
    table.LoadFromBytes(file);
    EXPECT_EQ(codeOf([&] { addCategory(table, "a"); }), rc::KeyViolation);
    EXPECT_EQ(table.State(), TDataSetState::dsInsert) << "the refused row stays pending";
    table.Cancel();
    EXPECT_EQ(table.AutoIncValue(), 3) << "a refused insert uses no number";
    EXPECT_EQ(table.SaveToBytes(), file);

    addCategory(table, "c");
    const PacketContents contents = readPacketContents(table.SaveToBytes());
    ASSERT_EQ(contents.rows.size(), 3u);
    EXPECT_EQ(contents.rows[0].fields[1].value, "c") << "descending by description";
    EXPECT_EQ(contents.rows[2].fields[1].value, "a");
    EXPECT_EQ(contents.tableProperties[0].name, "DEFAULT_ORDER");
}

TEST(TableFields, EveryColumnKindTheReaderAcceptsRoundTrips)
{
    struct Kind {
        FieldType type;
        std::uint32_t size;
        std::uint32_t byteLength;
        const char* text;
    };
    const std::vector<Kind> kinds = {
        {FieldType::ShortInt, 0, 0, "-128"},
        {FieldType::SmallInt, 0, 0, "-32768"},
        {FieldType::Integer, 0, 0, "2147483647"},
        {FieldType::LargeInt, 0, 0, "-9223372036854775808"},
        {FieldType::Byte, 0, 0, "255"},
        {FieldType::Word, 0, 0, "65535"},
        {FieldType::LongWord, 0, 0, "4294967295"},
        {FieldType::LargeUInt, 0, 0, "18446744073709551615"},
        {FieldType::Boolean8, 0, 0, "True"},
        {FieldType::Boolean, 0, 0, "False"},
        {FieldType::Boolean32, 0, 0, "True"},
        {FieldType::Float, 0, 0, "2.5"},
        {FieldType::Date, 0, 0, "738000"},
        {FieldType::Time, 0, 0, "3600000"},
        {FieldType::DateTime, 0, 0, "45000.5"},
        {FieldType::String, 12, 0, "t\xC3\xA9xt"},
        {FieldType::WideString, 4, 0, "w\xC3\xA9"},
        {FieldType::Bytes, 3, 0, "ab"},
        {FieldType::VarBytes, 300, 0, "v\x01"},
        {FieldType::Blob, 0, 0, "blob"},
        {FieldType::Bcd, 0, 34, ""},
        {FieldType::SqlTimeStamp, 0, 0, ""},
    };
    std::vector<FieldDef> fields;
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        FieldDef field;
        field.name = "f" + std::to_string(i);
        field.type = kinds[i].type;
        field.size = kinds[i].size;
        field.byteLength = kinds[i].byteLength;
        fields.push_back(field);
    }
    TDataTable table;
    table.SetFieldDefs(fields);
    table.CreateDataSet();
    table.Insert();
    for (std::size_t i = 0; i < kinds.size(); ++i)
        table.Fields(i).SetAsString(kinds[i].text);
    table.Post();
    table.Insert();
    table.Fields(2).SetAsInteger(-1);
    table.Post();
    const auto saved = table.SaveToBytes();
    TDataTable reread;
    reread.SetIndexFieldNames("f2");
    reread.LoadFromBytes(saved);
    ASSERT_EQ(reread.FieldDefs().size(), kinds.size());
    EXPECT_TRUE(reread.Fields(0).IsNull()) << "the row with -1 sorts first";
    ASSERT_TRUE(reread.Locate("f2", kinds[2].text));
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        EXPECT_EQ(reread.FieldDefs()[i].type, kinds[i].type) << i;
        const bool padded = kinds[i].type == FieldType::Bytes || kinds[i].type == FieldType::Bcd ||
                            kinds[i].type == FieldType::SqlTimeStamp;
        if (!padded) {
            EXPECT_EQ(reread.Fields(i).AsString(), kinds[i].text) << i;
        }
    }
    EXPECT_EQ(reread.Fields(17).AsString(), std::string("ab\0", 3)) << "fixed bytes keep their width";
    EXPECT_EQ(reread.SaveToBytes(), saved);
    EXPECT_EQ(reread.FieldByName("f0").AsInteger(), -128);
    EXPECT_THROW(reread.FieldByName("f15").AsInteger(), StoreError) << "text that is not a number";
}

TEST(TableReading, RecordsAreReadThroughAConstTableWithoutMovingTheCurrentRow)
{
    TDataTable table;
    table.SetFieldDefs(pathFieldDefs());
    table.SetIndexFieldNames(kPathIndexFieldNames);
    table.CreateDataSet();
    const auto add = [&](std::int64_t set, const std::string& path) {
        table.Insert();
        table.FieldByName("Category_No").SetAsInteger(set);
        table.FieldByName("Path_Item").SetAsString(path);
        table.Post();
    };
    add(2, "/b");
    add(1, "/z");
    add(2, "/a");
    add(3, "/c");
    ASSERT_TRUE(table.Locate("Path_Item", "/a"));
    table.Edit();
    table.FieldByName("Path_Item").SetAsString("/pending");

    const TDataTable& reader = table;
    ASSERT_EQ(reader.RecordCount(), 4u);
    EXPECT_EQ(reader.RecordAsString(1, 2), "/a") << "records follow the browse order";
    EXPECT_EQ(reader.RecordAsInteger(1, 0), 3);
    EXPECT_EQ(reader.RecordsWithKey({"2"}), (std::pair<std::size_t, std::size_t>{1, 3}));
    EXPECT_EQ(reader.RecordsWithKey({"4"}).first, reader.RecordsWithKey({"4"}).second);
    EXPECT_EQ(reader.RecordsWithKey({"not a number"}).first, reader.RecordsWithKey({"not a number"}).second);
    EXPECT_EQ(reader.RecordsWithKey({"2", "/b"}), (std::pair<std::size_t, std::size_t>{2, 3}));
    EXPECT_THROW((void)reader.RecordValue(4, 0), StoreError);
    EXPECT_THROW((void)reader.RecordValue(0, 3), StoreError);
    EXPECT_EQ(table.State(), TDataSetState::dsEdit) << "reading left the pending edit alone";
    EXPECT_EQ(table.FieldByName("Path_Item").AsString(), "/pending");
    table.Cancel();
    EXPECT_EQ(table.FieldByName("Path_Item").AsString(), "/a") << "and the current row where it was";
}

TEST(TableNumbering, RaisingTheNextNumberRestoresNumberingToATableReadWithoutIt)
{
    // Worked file 1 without its "AUTOINCVALUE": the table property count becomes 0.
    std::vector<std::byte> file = workedFile1();
    file.erase(file.begin() + 154, file.begin() + 175);
    file[152] = std::byte{0};
    file[22] = std::byte{154};
    TDataTable table;
    table.LoadFromBytes(file);
    EXPECT_FALSE(table.AutoIncValue()) << "a file without the property has no numbering";
    EXPECT_TRUE(table.RaiseAutoIncValue(7));
    EXPECT_EQ(table.AutoIncValue(), 7);
    EXPECT_TRUE(table.RaiseAutoIncValue(3));
    EXPECT_EQ(table.AutoIncValue(), 7) << "never lowered";
    addCategory(table, "next");
    EXPECT_EQ(table.FieldByName("Category_No").AsInteger(), 7);

    TDataTable unnumbered;
    unnumbered.SetFieldDefs({FieldDef::integer("N")});
    unnumbered.CreateDataSet();
    EXPECT_FALSE(unnumbered.RaiseAutoIncValue(5));
}
