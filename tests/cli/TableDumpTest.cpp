// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/TableDump.h"

#include "WorkedFiles.h"

#include <gtest/gtest.h>

#include <sstream>

using stowmere::cli::TableDump;
using stowmere::cli::test::emptyPathFile;
using stowmere::cli::test::workedCategoryFile;

namespace {

std::string dumpText(const std::vector<std::byte>& bytes, TableDump::Outcome* outcome = nullptr)
{
    std::ostringstream out;
    const TableDump::Outcome result = TableDump::dump(bytes, out);
    if (outcome)
        *outcome = result;
    return out.str();
}

std::span<const std::byte> bytesOf(std::string_view text)
{
    return {reinterpret_cast<const std::byte*>(text.data()), text.size()};
}

} // namespace

TEST(TableDump, WorkedBackupSetFileIsShownWhole)
{
    TableDump::Outcome outcome;
    const std::string text = dumpText(workedCategoryFile(), &outcome);
    EXPECT_EQ(outcome.resultCode, 0);
    EXPECT_EQ(text,
              "File size: 193 bytes\n"
              "Header\n"
              "  signature:        0xBDE01996\n"
              "  major version:    1\n"
              "  minor version:    0\n"
              "  header size:      24\n"
              "  column count:     3\n"
              "  row count:        1\n"
              "  packet flags:     0x00000003 (metadata, row data offset valid)\n"
              "  row data offset:  175\n"
              "Columns\n"
              "  1. \"Category_No\"\n"
              "     type:        0x00010004 (signed integer, 4 bytes)\n"
              "     attributes:  0x0002 (read-only)\n"
              "     property \"SUBTYPE\": 0x00490002 (string, 2-byte length) = \"Autoinc\" (subtype 29)\n"
              "  2. \"Category_Description\"\n"
              "     type:        0x00490001 (string, 1-byte length)\n"
              "     attributes:  0x0000\n"
              "     property \"WIDTH\": 0x00020002 (unsigned integer, 2 bytes) = 50\n"
              "  3. \"Category_BackupDirectory\"\n"
              "     type:        0x00490002 (string, 2-byte length)\n"
              "     attributes:  0x0000\n"
              "     property \"WIDTH\": 0x00020002 (unsigned integer, 2 bytes) = 255\n"
              "Table properties\n"
              "  \"AUTOINCVALUE\": 0x00010004 (signed integer, 4 bytes) = 2\n"
              "Rows\n"
              "  row 1 (status 0x00)\n"
              "     Category_No = 1\n"
              "     Category_Description = \"abc\"\n"
              "     Category_BackupDirectory = \"D:\\\\Bak\"\n"
              "End of data at byte offset 193 of 193\n");
}

TEST(TableDump, EmptyTableHasColumnsAndNoRows)
{
    TableDump::Outcome outcome;
    const std::string text = dumpText(emptyPathFile(), &outcome);
    EXPECT_EQ(outcome.resultCode, 0);
    EXPECT_NE(text.find("  2. \"Category_No\"\n     type:        0x00010004 (signed integer, 4 bytes)\n"
                        "     attributes:  0x0000\n  3."),
              std::string::npos);
    EXPECT_NE(text.find("= 1\nRows\nEnd of data at byte offset 135 of 135\n"), std::string::npos);
}

TEST(TableDump, TruncatedFileStopsWithCodeAndOffset)
{
    std::vector<std::byte> bytes = workedCategoryFile();
    bytes.resize(190); // inside the destination text of the row
    TableDump::Outcome outcome;
    const std::string text = dumpText(bytes, &outcome);
    EXPECT_EQ(outcome.resultCode, 0x4005);
    EXPECT_EQ(outcome.offset, 185u); // where the unreadable value starts
    EXPECT_NE(text.find("     Category_Description = \"abc\"\n     Category_BackupDirectory = (unreadable)\n"
                        "Reading stopped: result code 0x4005 ("),
              std::string::npos);
    EXPECT_NE(text.find(") at byte offset 185\n"), std::string::npos);
}

TEST(TableDump, ForeignBytesStopAtTheStart)
{
    for (const std::string_view text : {std::string_view(""), std::string_view("ab"),
                                        std::string_view("<?xml version=\"1.0\"?><DATAPACKET/>")}) {
        std::ostringstream out;
        const TableDump::Outcome outcome = TableDump::dump(bytesOf(text), out);
        EXPECT_EQ(outcome.resultCode, 0x4005) << text;
        EXPECT_EQ(outcome.offset, 0u) << text;
        EXPECT_EQ(out.str().find("Columns"), std::string::npos);
    }
}

TEST(TableDump, VersionTooHighShowsTheHeaderItRead)
{
    std::vector<std::byte> bytes = workedCategoryFile();
    bytes[4] = std::byte{4};
    TableDump::Outcome outcome;
    const std::string text = dumpText(bytes, &outcome);
    EXPECT_EQ(outcome.resultCode, 0x4005);
    EXPECT_NE(text.find("  major version:    4\n"), std::string::npos);
    EXPECT_NE(text.find("Reading stopped: result code 0x4005"), std::string::npos);
}

TEST(TableDump, ValuesAreShownByTheirTypeWords)
{
    const auto value = [](std::uint32_t typeWord, std::initializer_list<unsigned> bytes) {
        std::vector<std::byte> payload;
        for (const unsigned b : bytes)
            payload.push_back(static_cast<std::byte>(b));
        return TableDump::formatValue(typeWord, payload);
    };
    EXPECT_EQ(value(0x00010004, {0xFF, 0xFF, 0xFF, 0xFF}), "-1");
    EXPECT_EQ(value(0x00010001, {0x80}), "-128");
    EXPECT_EQ(value(0x00020004, {0xFF, 0xFF, 0xFF, 0xFF}), "4294967295");
    EXPECT_EQ(value(0x00030002, {0x01, 0x00}), "true");
    EXPECT_EQ(value(0x00040008, {0, 0, 0, 0, 0, 0, 0xF8, 0x3F}), "1.5");
    EXPECT_EQ(value(0x00490001, {0x00}), "\"\""); // the stored form of an empty string
    EXPECT_EQ(value(0x00490001, {'a', '"', 0x0A, 0xC3, 0xA9, 0xFF}), "\"a\\\"\\x0Aé\\xFF\"");
    EXPECT_EQ(value(0x004A0001, {'h', 0, 'i', 0}), "\"hi\"");
    EXPECT_EQ(value(0x00820002, {1, 0, 2, 0x80}), "[1, 32770]");
    EXPECT_EQ(value(0x004B0001, {0xDE, 0xAD}), "DE AD");
    EXPECT_EQ(value(0x00060004, {}), "(no bytes)");
}

TEST(TableDump, TypeWordsAndAttributesAreNamed)
{
    EXPECT_EQ(TableDump::describeTypeWord(0x00490002), "0x00490002 (string, 2-byte length)");
    EXPECT_EQ(TableDump::describeTypeWord(0x00820004),
              "0x00820004 (unsigned integer, array of 4-byte elements)");
    EXPECT_EQ(TableDump::describeTypeWord(0x010C0003), "0x010C0003 (structured, count 3, flags 0x01000000)");
    EXPECT_EQ(TableDump::describeTypeWord(0x003F0001), "0x003F0001 (unknown base type 63, 1 byte)");
    EXPECT_EQ(TableDump::describeAttributes(0x0006), "0x0006 (read-only, required)");
    EXPECT_EQ(TableDump::describeAttributes(0x8001), "0x8001 (hidden, unknown bits 0x8000)");
}
