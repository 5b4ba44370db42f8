// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestHelpers.h"

#include "store/PacketContents.h"
#include "store/StoreError.h"
#include "store/Table.h"
#include "store/TablePacket.h"
#include "store/TablePacketWriter.h"

#include <gtest/gtest.h>

using namespace stowmere::store;
using namespace testing_helpers;

namespace {

void openCategories(Table& table)
{
    table.setFieldDefs(categoryFieldDefs());
    table.setIndexFieldNames(kCategoryIndexFieldNames);
    table.createDataSet();
}

void addCategory(Table& table, const std::string& description, const std::string& folder = "/backup")
{
    table.insert();
    table.fieldByName("Category_Description").setAsString(description);
    table.fieldByName("Category_BackupDirectory").setAsString(folder);
    table.post();
}

std::vector<std::string> column(const Table& table, const std::string& field)
{
    std::vector<std::string> values;
    for (std::size_t record = 0; record < table.recordCount(); ++record)
        values.push_back(table.recordAsString(record, *table.findField(field)));
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
    Table table;
    openCategories(table);
    for (const char* description : {"b", "B", "a", "Docs", "A", "docs"})
        addCategory(table, description);
    EXPECT_EQ(column(table, "Category_Description"),
              (std::vector<std::string>{"a", "A", "b", "B", "docs", "Docs"}));

    // An equal description goes after the existing one, whatever the table size.
    addCategory(table, "docs", "/second");
    ASSERT_TRUE(table.locate("Category_Description", "docs"));
    EXPECT_EQ(table.fieldByName("Category_BackupDirectory").asString(), "/backup");
    EXPECT_EQ(column(table, "Category_BackupDirectory")[5], "/second");
}

TEST(TableOrder, EqualKeysKeepPlacementOrderAtAnySize)
{
    // Loaded rows are sorted in one go (not placed one by one), so this pins the stable
    // sort for sizes well past the small-table case.
    for (const int count : {9, 10, 11, 500}) {
        Table table;
        openCategories(table);
        for (int i = 0; i < count; ++i)
            addCategory(table, i % 2 ? "same" : "Same", "/" + std::to_string(i));
        Table reread;
        reread.setIndexFieldNames(kCategoryIndexFieldNames);
        reread.loadFromBytes(table.saveToBytes());
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
    Table table;
    openCategories(table);
    for (const char* description : {"zeta", "alpha", "Mid"})
        addCategory(table, description);
    const auto saved = table.saveToBytes();
    table.setIndexFieldNames("Category_BackupDirectory;Category_No");
    EXPECT_EQ(table.saveToBytes(), saved);
    table.setIndexFieldNames("");
    EXPECT_EQ(column(table, "Category_Description"), (std::vector<std::string>{"zeta", "alpha", "Mid"}));
    EXPECT_EQ(table.saveToBytes(), saved);
}

TEST(TableOrder, UnknownIndexFieldsAreRefusedAndTheOldOrderKept)
{
    Table table;
    openCategories(table);
    addCategory(table, "b");
    addCategory(table, "a");
    try {
        table.setIndexFieldNames("Category_Description;Nope");
        FAIL();
    } catch (const StoreError& error) {
        EXPECT_STREQ(error.what(), "Field 'Nope' not found");
    }
    EXPECT_EQ(table.indexFieldNames(), kCategoryIndexFieldNames);
    EXPECT_EQ(column(table, "Category_Description"), (std::vector<std::string>{"a", "b"}));
    EXPECT_THROW(table.fieldByName("Nope"), StoreError);
    EXPECT_THROW(table.field(3), StoreError);
}

TEST(TableNumbering, NumbersAreNeverReusedAcrossSaveAndLoad)
{
    Table table;
    openCategories(table);
    for (const char* description : {"one", "two", "three"})
        addCategory(table, description);
    ASSERT_TRUE(table.locate("Category_Description", "two"));
    EXPECT_EQ(table.fieldByName("Category_No").asInteger(), 2);
    table.remove();
    const auto saved = table.saveToBytes();
    EXPECT_EQ(table.autoIncValue(), 4);

    Table reread;
    reread.setIndexFieldNames(kCategoryIndexFieldNames);
    reread.loadFromBytes(saved);
    EXPECT_EQ(reread.autoIncValue(), 4);
    addCategory(reread, "four");
    EXPECT_EQ(reread.fieldByName("Category_No").asInteger(), 4);
    EXPECT_EQ(reread.autoIncValue(), 5);
    const PacketContents contents = readPacketContents(reread.saveToBytes());
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
    Table table;
    auto fields = categoryFieldDefs();
    fields[1].attributes |= 0x0004; // description required
    table.setFieldDefs(fields);
    table.createDataSet();
    EXPECT_THROW(table.fieldByName("Category_No").setAsInteger(7), StoreError); // read-only
    table.insert();
    EXPECT_EQ(codeOf([&] { table.post(); }), rc::RequiredFieldMissing);
    table.fieldByName("Category_Description").setAsString("");
    EXPECT_EQ(codeOf([&] { table.post(); }), rc::RequiredFieldMissing);
    table.fieldByName("Category_Description").setAsString("x");
    table.post();
    EXPECT_EQ(table.fieldByName("Category_No").asInteger(), 1);
}

TEST(TableEditing, FinishingPostsModifiedRowsAndCancelsUntouchedOnes)
{
    Table table;
    openCategories(table);
    addCategory(table, "kept");

    table.insert();
    EXPECT_EQ(table.state(), DataSetState::Insert);
    table.checkBrowseMode(); // nothing typed: the new row disappears
    EXPECT_EQ(table.state(), DataSetState::Browse);
    EXPECT_EQ(table.recordCount(), 1u);
    EXPECT_EQ(table.autoIncValue(), 2);

    table.insert();
    table.fieldByName("Category_Description").setAsString("typed");
    table.checkBrowseMode(); // typed: posted, with an empty destination folder
    EXPECT_EQ(table.recordCount(), 2u);
    ASSERT_TRUE(table.locate("Category_Description", "typed"));
    EXPECT_EQ(table.fieldByName("Category_BackupDirectory").asString(), "");

    table.edit();
    table.fieldByName("Category_Description").setAsString("changed");
    table.cancel();
    EXPECT_EQ(table.fieldByName("Category_Description").asString(), "typed");
    EXPECT_THROW(table.fieldByName("Category_Description").setAsString("browse"), StoreError);
    const std::size_t changes = table.changeCount();
    table.edit();
    ASSERT_TRUE(table.locate("Category_Description", "kept")); // unmodified edit: cancelled, not counted
    EXPECT_EQ(table.state(), DataSetState::Browse);
    EXPECT_EQ(table.changeCount(), changes);
}

TEST(TableEditing, TextThatDoesNotFitIsRefusedNotCut)
{
    Table table;
    openCategories(table);
    table.insert();
    const std::string fifty(50, 'd');
    table.fieldByName("Category_Description").setAsString(fifty);
    try {
        table.fieldByName("Category_Description").setAsString(fifty + "x");
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
    table.fieldByName("Category_Description").setAsString(umlauts);
    EXPECT_THROW(table.fieldByName("Category_Description").setAsString(umlauts + "a"), StoreError);
    EXPECT_EQ(table.fieldByName("Category_Description").asString(), umlauts);
    const std::string path(255, 'p');
    table.fieldByName("Category_BackupDirectory").setAsString(path);
    EXPECT_THROW(table.fieldByName("Category_BackupDirectory").setAsString(path + "/"), StoreError);
    table.post();
    EXPECT_EQ(table.fieldByName("Category_BackupDirectory").asString(), path);
}

TEST(TableEditing, DeleteMovesToTheFollowingRow)
{
    Table table;
    openCategories(table);
    for (const char* description : {"a", "b", "c"})
        addCategory(table, description);
    ASSERT_TRUE(table.locate("Category_Description", "b"));
    table.remove();
    EXPECT_EQ(table.fieldByName("Category_Description").asString(), "c");
    table.remove();
    EXPECT_EQ(table.fieldByName("Category_Description").asString(), "a");
    table.remove();
    EXPECT_TRUE(table.isEmpty());
    EXPECT_THROW(table.remove(), StoreError);
    EXPECT_THROW(table.edit(), StoreError);
    EXPECT_EQ(table.changeCount(), 6u);
}

TEST(TableEditing, LocateMatchesWholeValuesCaseSensitively)
{
    Table table;
    openCategories(table);
    addCategory(table, "Same", "/first");
    addCategory(table, "same", "/lower");
    addCategory(table, "Same", "/second");
    ASSERT_TRUE(table.locate("Category_BackupDirectory", "/second"));
    EXPECT_FALSE(table.locate("Category_Description", "Sam"));
    EXPECT_FALSE(table.locate("Category_Description", "SAME"));
    EXPECT_EQ(table.fieldByName("Category_BackupDirectory").asString(), "/second") << "a miss does not move";
    ASSERT_TRUE(table.locate("Category_Description", "Same"));
    EXPECT_EQ(table.fieldByName("Category_BackupDirectory").asString(), "/first");
    ASSERT_TRUE(table.locate("Category_No", "2"));
    EXPECT_EQ(table.fieldByName("Category_Description").asString(), "same");
}

TEST(TableEditing, AKeylessBrowsingOrderTakesNewRowsAtTheCurrentOne)
{
    Table table;
    table.setFieldDefs(categoryFieldDefs());
    table.createDataSet();
    for (const char* description : {"first", "second"})
        addCategory(table, description);
    // "second" went in at the current row, "first".
    EXPECT_EQ(column(table, "Category_Description"), (std::vector<std::string>{"second", "first"}));
    ASSERT_TRUE(table.locate("Category_Description", "first"));
    addCategory(table, "inserted");
    EXPECT_EQ(column(table, "Category_Description"),
              (std::vector<std::string>{"second", "inserted", "first"}));
}

TEST(TableNumbering, ATableWhoseRowsWereAllDeletedKeepsItsNextNumber)
{
    Table table;
    openCategories(table);
    addCategory(table, "a");
    addCategory(table, "b");
    ASSERT_TRUE(table.locate("Category_Description", "a"));
    table.remove();
    table.remove();
    const auto saved = table.saveToBytes();
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
    Table table;
    table.loadFromBytes(file);
    EXPECT_FALSE(table.autoIncValue());
    addCategory(table, "new");
    EXPECT_TRUE(table.fieldByName("Category_No").isNull());
    const PacketContents contents = readPacketContents(table.saveToBytes());
    ASSERT_EQ(contents.tableProperties.size(), 1u);
    EXPECT_EQ(contents.tableProperties[0].name, "XUTOINCVALUE");
}

TEST(TableIndexes, AKeyedStoredOrderFromTheFileDecidesTheFileOrderAndIsEnforced)
{
    // A file whose stored order is keyed by the description, descending and unique.
    Table plain;
    plain.setFieldDefs(categoryFieldDefs());
    plain.createDataSet();
    TableFrame frame;
    frame.fields = plain.fieldDefs();
    frame.defaultKeys = {KeyColumn{1, true, false}};
    frame.uniqueness = IndexUniqueness::Primary;
    frame.autoIncValue = 3;
    const std::vector<PackedRow> rows = {{0, packRow({std::string("\x01\0\0\0", 4), "b", "/x"})},
                                         {0, packRow({std::string("\x02\0\0\0", 4), "a", "/x"})}};
    const std::vector<std::uint32_t> order = {0, 1};
    const auto file = writeTablePacket(frame, rows, order);

    Table table;
    table.loadFromBytes(file);
    EXPECT_EQ(codeOf([&] { addCategory(table, "a"); }), rc::KeyViolation);
    EXPECT_EQ(table.state(), DataSetState::Insert) << "the refused row stays pending";
    table.cancel();
    EXPECT_EQ(table.autoIncValue(), 3) << "a refused insert uses no number";
    EXPECT_EQ(table.saveToBytes(), file);

    addCategory(table, "c");
    const PacketContents contents = readPacketContents(table.saveToBytes());
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
    Table table;
    table.setFieldDefs(fields);
    table.createDataSet();
    table.insert();
    for (std::size_t i = 0; i < kinds.size(); ++i)
        table.field(i).setAsString(kinds[i].text);
    table.post();
    table.insert();
    table.field(2).setAsInteger(-1);
    table.post();
    const auto saved = table.saveToBytes();
    Table reread;
    reread.setIndexFieldNames("f2");
    reread.loadFromBytes(saved);
    ASSERT_EQ(reread.fieldDefs().size(), kinds.size());
    EXPECT_TRUE(reread.field(0).isNull()) << "the row with -1 sorts first";
    ASSERT_TRUE(reread.locate("f2", kinds[2].text));
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        EXPECT_EQ(reread.fieldDefs()[i].type, kinds[i].type) << i;
        const bool padded = kinds[i].type == FieldType::Bytes || kinds[i].type == FieldType::Bcd ||
                            kinds[i].type == FieldType::SqlTimeStamp;
        if (!padded) {
            EXPECT_EQ(reread.field(i).asString(), kinds[i].text) << i;
        }
    }
    EXPECT_EQ(reread.field(17).asString(), std::string("ab\0", 3)) << "fixed bytes keep their width";
    EXPECT_EQ(reread.saveToBytes(), saved);
    EXPECT_EQ(reread.fieldByName("f0").asInteger(), -128);
    EXPECT_THROW(reread.fieldByName("f15").asInteger(), StoreError) << "text that is not a number";
}

TEST(TableReading, RecordsAreReadThroughAConstTableWithoutMovingTheCurrentRow)
{
    Table table;
    table.setFieldDefs(pathFieldDefs());
    table.setIndexFieldNames(kPathIndexFieldNames);
    table.createDataSet();
    const auto add = [&](std::int64_t set, const std::string& path) {
        table.insert();
        table.fieldByName("Category_No").setAsInteger(set);
        table.fieldByName("Path_Item").setAsString(path);
        table.post();
    };
    add(2, "/b");
    add(1, "/z");
    add(2, "/a");
    add(3, "/c");
    ASSERT_TRUE(table.locate("Path_Item", "/a"));
    table.edit();
    table.fieldByName("Path_Item").setAsString("/pending");

    const Table& reader = table;
    ASSERT_EQ(reader.recordCount(), 4u);
    EXPECT_EQ(reader.recordAsString(1, 2), "/a") << "records follow the browse order";
    EXPECT_EQ(reader.recordAsInteger(1, 0), 3);
    EXPECT_EQ(reader.recordsWithKey({"2"}), (std::pair<std::size_t, std::size_t>{1, 3}));
    EXPECT_EQ(reader.recordsWithKey({"4"}).first, reader.recordsWithKey({"4"}).second);
    EXPECT_EQ(reader.recordsWithKey({"not a number"}).first, reader.recordsWithKey({"not a number"}).second);
    EXPECT_EQ(reader.recordsWithKey({"2", "/b"}), (std::pair<std::size_t, std::size_t>{2, 3}));
    EXPECT_THROW((void)reader.recordValue(4, 0), StoreError);
    EXPECT_THROW((void)reader.recordValue(0, 3), StoreError);
    EXPECT_EQ(table.state(), DataSetState::Edit) << "reading left the pending edit alone";
    EXPECT_EQ(table.fieldByName("Path_Item").asString(), "/pending");
    table.cancel();
    EXPECT_EQ(table.fieldByName("Path_Item").asString(), "/a") << "and the current row where it was";
}

TEST(TableNumbering, RaisingTheNextNumberRestoresNumberingToATableReadWithoutIt)
{
    // Worked file 1 without its "AUTOINCVALUE": the table property count becomes 0.
    std::vector<std::byte> file = workedFile1();
    file.erase(file.begin() + 154, file.begin() + 175);
    file[152] = std::byte{0};
    file[22] = std::byte{154};
    Table table;
    table.loadFromBytes(file);
    EXPECT_FALSE(table.autoIncValue()) << "a file without the property has no numbering";
    EXPECT_TRUE(table.raiseAutoIncValue(7));
    EXPECT_EQ(table.autoIncValue(), 7);
    EXPECT_TRUE(table.raiseAutoIncValue(3));
    EXPECT_EQ(table.autoIncValue(), 7) << "never lowered";
    addCategory(table, "next");
    EXPECT_EQ(table.fieldByName("Category_No").asInteger(), 7);

    Table unnumbered;
    unnumbered.setFieldDefs({FieldDef::integer("N")});
    unnumbered.createDataSet();
    EXPECT_FALSE(unnumbered.raiseAutoIncValue(5));
}
