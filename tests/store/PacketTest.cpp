// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestHelpers.h"

#include "store/PacketContents.h"
#include "store/PacketReader.h"
#include "store/PacketWriter.h"
#include "store/StoreError.h"
#include "store/Table.h"

#include <gtest/gtest.h>

using namespace stowmere::store;
using namespace testing_helpers;

namespace {

std::span<const std::byte> asBytes(std::string_view text)
{
    return std::as_bytes(std::span(text.data(), text.size()));
}

std::string tail(const std::vector<std::byte>& packet, std::size_t from)
{
    return std::string(reinterpret_cast<const char*>(packet.data()) + from, packet.size() - from);
}

ResultCode loadCode(std::span<const std::byte> packet)
{
    Table table;
    try {
        table.loadFromBytes(packet);
    } catch (const StoreError& error) {
        EXPECT_FALSE(table.isActive());
        return error.code();
    }
    return rc::Ok;
}

// A packet of one 8-bit string column with the given properties and no rows.
std::vector<std::byte> oneColumnPacket(const std::string& name, std::uint32_t typeWord,
                                       const std::vector<Property>& properties)
{
    PacketWriter writer;
    EXPECT_EQ(writer.beginPacket(3, 1), rc::Ok);
    std::vector<std::byte> packet;
    EXPECT_EQ(writer.addColumn({name.substr(0, 31), typeWord, 0}), rc::Ok);
    for (const Property& property : properties)
        EXPECT_EQ(writer.addProperty(PropertyScope::Column, property.name, property.typeWord,
                                     asBytes(property.value)),
                  rc::Ok);
    EXPECT_EQ(writer.finish(packet), rc::Ok);
    return packet;
}

} // namespace

TEST(PacketRows, PathRowsWithValuesAndWithANullPath)
{
    Table paths;
    paths.setFieldDefs(pathFieldDefs());
    paths.createDataSet();
    paths.insert();
    paths.fieldByName("Category_No").setAsInteger(1);
    paths.fieldByName("Path_Item").setAsString("C:\\x.txt");
    paths.post();
    EXPECT_EQ(tail(paths.saveToBytes(), 135), std::string("\0\0\1\0\0\0\1\0\0\0\x08\0C:\\x.txt", 20));

    Table nullPath;
    nullPath.setFieldDefs(pathFieldDefs());
    nullPath.createDataSet();
    nullPath.insert();
    nullPath.fieldByName("Category_No").setAsInteger(1);
    nullPath.post();
    const auto saved = nullPath.saveToBytes();
    EXPECT_EQ(tail(saved, 135), std::string("\0\x10\1\0\0\0\1\0\0\0", 10));
    Table reread;
    reread.loadFromBytes(saved);
    EXPECT_TRUE(reread.fieldByName("Path_Item").isNull());
    EXPECT_FALSE(reread.fieldByName("Category_No").isNull());
}

TEST(PacketRows, EmptyTextIsOneZeroByteAndLongTextATwoBytePrefix)
{
    Table table;
    table.setFieldDefs(categoryFieldDefs());
    table.createDataSet();
    table.insert();
    table.fieldByName("Category_Description").setAsString("");
    table.fieldByName("Category_BackupDirectory").setAsString(std::string(255, 'p'));
    table.post();
    const auto saved = table.saveToBytes();
    // Row: status, field bits, number, description 01 00, folder FF 00 + 255 bytes.
    EXPECT_EQ(tail(saved, 175), std::string("\0\0\1\0\0\0\1\0\xFF\0", 10) + std::string(255, 'p'));
    Table reread;
    reread.loadFromBytes(saved);
    EXPECT_FALSE(reread.fieldByName("Category_Description").isNull());
    EXPECT_EQ(reread.fieldByName("Category_Description").asString(), "");
    EXPECT_EQ(reread.fieldByName("Category_BackupDirectory").asString(), std::string(255, 'p'));
}

TEST(PacketRows, PrefixWidthChangesBetweenSizes253And254)
{
    for (const std::uint32_t size : {253u, 254u, 255u}) {
        Table table;
        table.setFieldDefs({FieldDef::string("Text", size)});
        table.createDataSet();
        table.insert();
        table.fieldByName("Text").setAsString(std::string(size, 't'));
        table.post();
        const auto saved = table.saveToBytes();
        const PacketContents contents = readPacketContents(saved);
        ASSERT_EQ(contents.result, rc::Ok);
        EXPECT_EQ(contents.columns[0].descriptor.typeWord, size <= 253 ? 0x00490001u : 0x00490002u) << size;
        EXPECT_EQ(saved.size(), contents.rowDataOffset + 2 + (size <= 253 ? 1 : 2) + size) << size;
        Table reread;
        reread.loadFromBytes(saved);
        EXPECT_EQ(reread.fieldByName("Text").asString(), std::string(size, 't'));
    }
}

TEST(PacketFrame, UnknownPropertiesSurviveAfterTheGeneratedOnes)
{
    PacketWriter writer;
    ASSERT_EQ(writer.beginPacket(3, 2), rc::Ok);
    ASSERT_EQ(writer.addColumn({"No", 0x00010004, 0x0002}), rc::Ok);
    ASSERT_EQ(writer.addProperty(PropertyScope::Column, "MINVALUE", 0x00010004,
                                 asBytes(std::string("\5\0\0\0", 4))),
              rc::Ok);
    ASSERT_EQ(writer.addProperty(PropertyScope::Column, "SUBTYPE", 0x00490002,
                                 asBytes(std::string("Autoinc\0", 8))),
              rc::Ok);
    ASSERT_EQ(writer.addColumn({"Name", 0x00490001, 0}), rc::Ok);
    ASSERT_EQ(writer.addProperty(PropertyScope::Column, "X-NOTE", 0x00490001, asBytes("hello")), rc::Ok);
    ASSERT_EQ(
        writer.addProperty(PropertyScope::Column, "WIDTH", 0x00020002, asBytes(std::string("\x0A\0", 2))),
        rc::Ok);
    ASSERT_EQ(writer.addProperty(PropertyScope::Table, "TABLENAME", 0x00490001, asBytes("sets")), rc::Ok);
    ASSERT_EQ(writer.addProperty(PropertyScope::Table, "AUTOINCVALUE", 0x00010004,
                                 asBytes(std::string("\7\0\0\0", 4))),
              rc::Ok);
    ASSERT_EQ(writer.addProperty(PropertyScope::Table, "ZZ", 0x00820002, asBytes(std::string("\1\0\2\0", 4))),
              rc::Ok);
    std::vector<std::byte> packet;
    ASSERT_EQ(writer.finish(packet), rc::Ok);

    Table table;
    table.loadFromBytes(packet);
    EXPECT_EQ(table.autoIncValue(), 7);
    const PacketContents saved = readPacketContents(table.saveToBytes());
    ASSERT_EQ(saved.result, rc::Ok);
    ASSERT_EQ(saved.columns.size(), 2u);
    const auto names = [](const std::vector<Property>& properties) {
        std::vector<std::string> out;
        for (const Property& property : properties)
            out.push_back(property.name);
        return out;
    };
    EXPECT_EQ(names(saved.columns[0].properties), (std::vector<std::string>{"SUBTYPE", "MINVALUE"}));
    EXPECT_EQ(names(saved.columns[1].properties), (std::vector<std::string>{"WIDTH", "X-NOTE"}));
    EXPECT_EQ(names(saved.tableProperties), (std::vector<std::string>{"AUTOINCVALUE", "TABLENAME", "ZZ"}));
    EXPECT_EQ(saved.columns[0].properties[1], (Property{"MINVALUE", 0x00010004, std::string("\5\0\0\0", 4)}));
    EXPECT_EQ(saved.columns[1].properties[1], (Property{"X-NOTE", 0x00490001, "hello"}));
    EXPECT_EQ(saved.tableProperties[2], (Property{"ZZ", 0x00820002, std::string("\1\0\2\0", 4)}));
}

TEST(PacketFrame, LongColumnNamesAreCutTo31Characters)
{
    // Written by hand: the writer itself refuses such names.
    auto packet = oneColumnPacket("Short", 0x00490001, {{"WIDTH", 0x00020002, std::string("\x0A\0", 2)}});
    const std::string longName(40, 'n');
    packet[24] = std::byte{40};
    packet.erase(packet.begin() + 25, packet.begin() + 30);
    packet.insert(packet.begin() + 25, reinterpret_cast<const std::byte*>(longName.data()),
                  reinterpret_cast<const std::byte*>(longName.data()) + longName.size());
    packet[22] = static_cast<std::byte>(packet.size());
    Table table;
    table.loadFromBytes(packet);
    EXPECT_EQ(table.fieldDefs()[0].name, std::string(31, 'n'));

    Table created;
    created.setFieldDefs({FieldDef::string(std::string(32, 'n'), 5)});
    try {
        created.createDataSet();
        FAIL();
    } catch (const StoreError& error) {
        EXPECT_STREQ(error.what(), ("Fieldname " + std::string(32, 'n') + " exceeds 31 chars").c_str());
    }
}

TEST(PacketFrame, HeaderAndColumnRulesGiveTheirResultCodes)
{
    // A varying text column needs its width.
    EXPECT_EQ(loadCode(oneColumnPacket("T", 0x00490001, {})), rc::InvalidArgument);
    // A fixed text column takes it from the type word.
    EXPECT_EQ(loadCode(oneColumnPacket("T", 0x00090010, {})), rc::Ok);
    // SUBTYPE must be text.
    EXPECT_EQ(loadCode(oneColumnPacket("N", 0x00010004, {{"SUBTYPE", 0x00010004, std::string(4, '\0')}})),
              rc::InvalidArgument);

    auto major4 = workedFile1();
    major4[4] = std::byte{4};
    EXPECT_EQ(loadCode(major4), rc::BadPacket);
    auto minor4 = workedFile1();
    minor4[6] = std::byte{4};
    EXPECT_EQ(loadCode(minor4), rc::BadPacket);
    auto major3 = workedFile1();
    major3[4] = std::byte{3};
    EXPECT_EQ(loadCode(major3), rc::Ok);

    // The alternative signature is read without a version check.
    auto alternative = workedFile1();
    alternative[0] = std::byte{0xCD};
    alternative[1] = std::byte{0xAB};
    alternative[2] = alternative[3] = std::byte{0};
    alternative[4] = std::byte{9};
    EXPECT_EQ(loadCode(alternative), rc::Ok);

    const std::string xml = "<?xml version=\"1.0\"?><DATAPACKET/>";
    EXPECT_EQ(loadCode(asBytes(xml)), rc::BadPacket) << "the textual form is refused";

    auto noMetadata = workedFile1();
    noMetadata[18] = std::byte{2};
    EXPECT_EQ(loadCode(noMetadata), rc::NoMetadata);
}

// Every damaged packet is refused with its code, never read past its end.
struct Damage {
    const char* name;
    std::size_t at;
    std::vector<int> bytes; // written at `at`
    ResultCode code;
    bool tableLevel = false; // refused by the table's rules, while the packet reads cleanly
};

class DamagedPacket : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedPacket, IsRefusedWithItsCode)
{
    auto packet = workedFile1();
    const Damage& damage = GetParam();
    for (std::size_t i = 0; i < damage.bytes.size(); ++i)
        packet[damage.at + i] = static_cast<std::byte>(damage.bytes[i]);
    EXPECT_EQ(loadCode(packet), damage.code);
    const PacketContents contents = readPacketContents(packet);
    EXPECT_EQ(contents.result == rc::Ok, damage.code == rc::Ok || damage.tableLevel);
}

INSTANTIATE_TEST_SUITE_P(
    Store, DamagedPacket,
    ::testing::Values(Damage{"intact", 0, {}, rc::Ok}, Damage{"bad_signature", 0, {0x97}, rc::BadPacket},
                      Damage{"header_size_past_end", 8, {0xFF, 0x01}, rc::BadPacket},
                      Damage{"header_size_below_24", 8, {0x10}, rc::BadPacket},
                      Damage{"no_columns", 12, {0, 0}, rc::BadPacket},
                      Damage{"too_many_columns", 12, {0x40, 0}, rc::BadPacket},
                      Damage{"row_count_past_end", 14, {0x10, 0x27}, rc::BadPacket},
                      Damage{"two_rows_for_one", 14, {2}, rc::BadPacket},
                      Damage{"name_length_past_end", 24, {0xFF}, rc::BadPacket},
                      Damage{"base_type_19", 38, {0x13}, rc::OutOfOrder},
                      Damage{"property_count_past_end", 42, {0xFF, 0xFF}, rc::BadPacket},
                      Damage{"varying_array_property", 52, {0x02, 0x00, 0xC9}, rc::UnsupportedType},
                      Damage{"integer_size_3", 36, {0x03}, rc::UnsupportedType},
                      Damage{"table_property_count_past_end", 152, {0x09}, rc::BadPacket},
                      Damage{"value_length_past_end", 185, {0x40}, rc::BadPacket},
                      Damage{"text_longer_than_width", 105, {0x02}, rc::InvalidArgument, true},
                      Damage{"null_and_unchanged", 176, {0x03}, rc::BadPacket},
                      Damage{"row_data_offset_disagrees", 22, {0xB0}, rc::BadPacket}),
    [](const ::testing::TestParamInfo<Damage>& info) { return std::string(info.param.name); });

TEST(DamagedPacket, EveryTruncationIsRefused)
{
    const auto packet = workedFile1();
    for (std::size_t size = 0; size < packet.size(); ++size) {
        const std::span<const std::byte> cut(packet.data(), size);
        EXPECT_EQ(loadCode(cut), rc::BadPacket) << size << " bytes";
        const PacketContents contents = readPacketContents(cut);
        EXPECT_NE(contents.result, rc::Ok);
        EXPECT_LE(contents.offset, size);
    }
}

TEST(PacketContentsDump, HandsBackWhatWasReadBeforeTheFailure)
{
    auto packet = workedFile1();
    packet.resize(188);
    const PacketContents contents = readPacketContents(packet);
    EXPECT_EQ(contents.result, rc::BadPacket);
    EXPECT_EQ(contents.offset, 185u);
    EXPECT_EQ(contents.rowCount, 1u);
    EXPECT_EQ(contents.rowDataOffset, 175u);
    ASSERT_EQ(contents.columns.size(), 3u);
    EXPECT_EQ(contents.columns[1].descriptor.name, "Category_Description");
    EXPECT_EQ(contents.columns[1].properties[0].name, "WIDTH");
    ASSERT_EQ(contents.tableProperties.size(), 1u);
    ASSERT_EQ(contents.rows.size(), 1u);
    ASSERT_EQ(contents.rows[0].fields.size(), 2u);
    EXPECT_EQ(contents.rows[0].fields[1].value, "abc");
}

TEST(PacketWriterRules, RefusedCallsLeaveThePacketAlone)
{
    PacketWriter writer;
    EXPECT_EQ(writer.beginPacket(4, 1), rc::BadPacket);
    ASSERT_EQ(writer.beginPacket(3, 1), rc::Ok);
    EXPECT_EQ(writer.addColumn({"RowState", 0x00010004, 0}), rc::OutOfOrder);
    EXPECT_EQ(writer.addColumn({"Bad", 0x00130004, 0}), rc::OutOfOrder);
    ASSERT_EQ(writer.addColumn({"N", 0x00010004, 0}), rc::Ok);
    EXPECT_EQ(writer.addColumn({"M", 0x00010004, 0}), rc::OutOfOrder) << "more columns than declared";
    const std::size_t size = writer.size();
    EXPECT_EQ(writer.putField(0, nullptr, 0), rc::InvalidArgument) << "a row starts with its status byte";
    EXPECT_EQ(writer.size(), size);
    const std::byte status{0};
    const std::byte value[4] = {std::byte{9}, {}, {}, {}};
    ASSERT_EQ(writer.putField(0, &status, 1), rc::Ok);
    ASSERT_EQ(writer.putField(0, value, 4), rc::Ok);
    EXPECT_EQ(writer.addProperty(PropertyScope::Table, "LATE", 0x00010004, asBytes(std::string(4, '\0'))),
              rc::OutOfOrder);
    ASSERT_EQ(writer.putField(0, &status, 1), rc::Ok); // a row left incomplete is not counted
    std::vector<std::byte> packet;
    ASSERT_EQ(writer.finish(packet), rc::Ok);
    const PacketContents contents = readPacketContents(packet);
    EXPECT_EQ(contents.rowCount, 1u);
    EXPECT_EQ(packet.size(), contents.offset + 2) << "the incomplete row's bytes stay in the packet";
    EXPECT_EQ(contents.result, rc::BadPacket) << "and a reader refuses them as bytes after the last row";
}

TEST(PacketWriterRules, BufferGrowsByTheStatedSteps)
{
    PacketWriter writer;
    ASSERT_EQ(writer.beginPacket(3, 1), rc::Ok);
    EXPECT_EQ(writer.capacity(), 32768u);
    ASSERT_EQ(writer.addColumn({"Blob", 0x004B0004, 0}), rc::Ok);
    std::vector<std::size_t> capacities{writer.capacity()};
    const std::string chunk(1000, 'b');
    const std::byte status{0};
    while (capacities.size() < 6) {
        ASSERT_EQ(writer.putField(0, &status, 1), rc::Ok);
        ASSERT_EQ(writer.putField(0, reinterpret_cast<const std::byte*>(chunk.data()), chunk.size()), rc::Ok);
        if (writer.capacity() != capacities.back())
            capacities.push_back(writer.capacity());
    }
    // 32 KiB, then alternately at least 32 KiB and at least the capacity (at most 1,024,000).
    EXPECT_EQ(capacities, (std::vector<std::size_t>{32768, 65536, 131072, 163840, 327680, 360448}));
    ASSERT_EQ(writer.putField(0, &status, 1), rc::Ok);
    const std::string big(2'000'000, 'x');
    ASSERT_EQ(writer.putField(0, reinterpret_cast<const std::byte*>(big.data()), big.size()), rc::Ok);
    EXPECT_GE(writer.capacity(), writer.size());
}

TEST(PacketReaderRules, CallsOutOfOrderAndShortBuffers)
{
    const auto packet = workedFile1();
    PacketReader reader;
    ASSERT_EQ(reader.open(packet), rc::Ok);
    ColumnDescriptor column;
    ASSERT_EQ(reader.nextColumn(column), rc::Ok);
    EXPECT_EQ(reader.nextColumn(column), rc::OutOfOrder) << "SUBTYPE is still unread";
    Property property;
    PropertyScope scope = PropertyScope::Table;
    const std::size_t before = reader.offset();
    EXPECT_EQ(reader.nextProperty(property, scope, 7), rc::InvalidArgument);
    EXPECT_EQ(reader.offset(), before) << "nothing consumed";
    ASSERT_EQ(reader.nextProperty(property, scope, 8), rc::Ok);
    EXPECT_EQ(scope, PropertyScope::Column);
    EXPECT_EQ(property.value, std::string("Autoinc\0", 8));
    EXPECT_EQ(reader.nextProperty(property, scope), rc::NoMoreData);
    ASSERT_EQ(reader.nextColumn(column), rc::Ok);
    ASSERT_EQ(reader.nextProperty(property, scope), rc::Ok);
    ASSERT_EQ(reader.nextColumn(column), rc::Ok);
    ASSERT_EQ(reader.nextProperty(property, scope), rc::Ok);
    EXPECT_EQ(reader.nextProperty(property, scope), rc::NoMoreData) << "end of the last column";
    ASSERT_EQ(reader.nextProperty(property, scope), rc::Ok);
    EXPECT_EQ(scope, PropertyScope::Table);
    EXPECT_EQ(property.name, "AUTOINCVALUE");
    EXPECT_EQ(reader.nextProperty(property, scope), rc::NoMoreData);

    std::uint8_t status = 0xFF;
    std::span<const std::byte> value;
    ASSERT_EQ(reader.nextField(status, value), rc::Ok);
    EXPECT_EQ(status, 0);
    ASSERT_EQ(reader.nextField(status, value), rc::Ok);
    EXPECT_EQ(value.size(), 4u);
    EXPECT_EQ(reader.nextField(status, value, 2), rc::InvalidArgument);
    ASSERT_EQ(reader.nextField(status, value, 3), rc::Ok);
    ASSERT_EQ(reader.nextField(status, value), rc::Ok);
    EXPECT_EQ(reader.nextField(status, value), rc::NoMoreData);
}

TEST(PacketReaderRules, NullFieldsAndTrailingBytes)
{
    auto packet = workedFile1();
    packet[176] = std::byte{0x10}; // the folder is null: its bytes become trailing bytes
    PacketReader reader;
    ASSERT_EQ(reader.open(packet), rc::Ok);
    const PacketContents contents = readPacketContents(packet);
    EXPECT_EQ(contents.rows[0].fields[2].status, 1);
    EXPECT_EQ(contents.result, rc::BadPacket) << "bytes after the last row are damage";
    EXPECT_EQ(contents.offset, 185u) << "reading stops at the first byte no row holds";
    Table table;
    try {
        table.loadFromBytes(packet);
        ADD_FAILURE() << "loaded";
    } catch (const StoreError& error) {
        EXPECT_EQ(error.code(), rc::BadPacket);
        EXPECT_EQ(error.offset(), 185u);
    }

    packet = workedFile1();
    packet[176] = std::byte{0x10};
    packet[14] = std::byte{2}; // ...unless the header counts them as one more row
    packet.erase(packet.begin() + 185, packet.end());
    append(packet, {0, 0x10, 2, 0, 0, 0, 1, 'x'});
    EXPECT_EQ(readPacketContents(packet).result, rc::Ok);
}
