// SPDX-License-Identifier: GPL-3.0-or-later
#include "placement/IniFile.h"
#include "placement/IniFileError.h"

#include "support/FileContents.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

namespace fs = std::filesystem;
using stowmere::placement::IniFile;
using stowmere::placement::IniFileError;
using stowmere::testing::readText;
using stowmere::testing::TempFolder;
using stowmere::testing::writeText;

namespace {

class IniFileTest : public ::testing::Test {
protected:
    TempFolder m_folder{"ini"};
    fs::path m_file = m_folder.path() / "stowmere.INI";
};

} // namespace

TEST_F(IniFileTest, MissingFileSectionOrKeyGivesDefaults)
{
    IniFile missing(m_file.string());
    EXPECT_EQ(missing.readString("PlacedWindow", "NormPos", "none"), "none");
    EXPECT_EQ(missing.readInteger("PlacedWindow", "ShowCmd", 7), 7);
    EXPECT_FALSE(missing.sectionExists("PlacedWindow"));

    writeText(m_file, "[PlacedWindow]\nFlags=0\nEmpty=\n");
    IniFile file(m_file.string());
    EXPECT_EQ(file.readString("Other", "Flags", "d"), "d");
    EXPECT_EQ(file.readString("PlacedWindow", "ShowCmd", "d"), "d");
    EXPECT_EQ(file.readString("PlacedWindow", "Empty", "d"), "")
        << "a present empty value is not the default";
    EXPECT_EQ(file.readInteger("PlacedWindow", "Empty", 5), 5);
}

TEST_F(IniFileTest, NamesMatchWithoutCaseAndBlanksAroundAreIgnored)
{
    writeText(m_file, "  [ placedwindow ]  \r\n  normpos  =  1,2,3,4  \r\nnormpos=second\r\n");
    IniFile file(m_file.string());
    EXPECT_EQ(file.readString("PlacedWindow", "NormPos", ""), "1,2,3,4") << "the first occurrence wins";
}

TEST_F(IniFileTest, ReadsIntegersInDecimalAndHexadecimal)
{
    writeText(m_file, "[S]\n"
                      "a=42\nb=-17\nc=+8\nd=0x1F\ne=0X1f\nf=0xFFFFFFFF\ng=0x\nh=12abc\ni=0x1G\n"
                      "j=2147483647\nk=2147483648\nl=-2147483648\nm=0x100000000\nn= 9 \no=\"3\"\np=+-1\n");
    IniFile file(m_file.string());
    EXPECT_EQ(file.readInteger("S", "a", 0), 42);
    EXPECT_EQ(file.readInteger("S", "b", 0), -17);
    EXPECT_EQ(file.readInteger("S", "c", 0), 8);
    EXPECT_EQ(file.readInteger("S", "d", 0), 31);
    EXPECT_EQ(file.readInteger("S", "e", 0), 31);
    EXPECT_EQ(file.readInteger("S", "f", 0), -1) << "hexadecimal is a 32-bit pattern";
    EXPECT_EQ(file.readInteger("S", "g", 99), 99) << "\"0x\" alone is no number";
    EXPECT_EQ(file.readInteger("S", "h", 99), 99);
    EXPECT_EQ(file.readInteger("S", "i", 99), 99);
    EXPECT_EQ(file.readInteger("S", "j", 0), 2147483647);
    EXPECT_EQ(file.readInteger("S", "k", 99), 99) << "out of range";
    EXPECT_EQ(file.readInteger("S", "l", 0), -2147483647 - 1);
    EXPECT_EQ(file.readInteger("S", "m", 99), 99);
    EXPECT_EQ(file.readInteger("S", "n", 0), 9);
    EXPECT_EQ(file.readInteger("S", "o", 0), 3);
    EXPECT_EQ(file.readInteger("S", "p", 99), 99);
}

TEST_F(IniFileTest, QuotedValuesRoundTrip)
{
    const std::vector<std::string> values = {
        "\"quoted\"", "'single'", "\"",    "\"\"",    "''",        "\"mixed'",
        "plain",      "",         " lead", "trail\t", "a \"b\" c",
    };
    {
        IniFile file(m_file.string());
        for (std::size_t i = 0; i < values.size(); ++i)
            file.writeString("Values", "k" + std::to_string(i), values[i]);
        file.release();
    }
    const std::string text = readText(m_file);
    EXPECT_NE(text.find("k0=\"\"quoted\"\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("k1=\"'single'\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("k6=plain\n"), std::string::npos) << text;

    IniFile file(m_file.string());
    for (std::size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(file.readString("Values", "k" + std::to_string(i), "default"), values[i]) << i;
}

TEST_F(IniFileTest, ReadTextIsCutAt2047BytesOnACharacterBoundary)
{
    {
        IniFile file(m_file.string());
        file.writeString("S", "exact", std::string(2047, 'x'));
        file.writeString("S", "long", std::string(2048, 'y'));
        // 2046 bytes and then a two-byte character that would end at byte 2048.
        file.writeString("S", "utf8", std::string(2046, 'z') + "\xC3\xA9");
        file.release();
    }
    IniFile file(m_file.string());
    EXPECT_EQ(file.readString("S", "exact", "").size(), 2047u);
    EXPECT_EQ(file.readString("S", "long", ""), std::string(2047, 'y'));
    EXPECT_EQ(file.readString("S", "utf8", ""), std::string(2046, 'z'));
}

TEST_F(IniFileTest, WritingKeepsOtherSectionsKeysAndCommentsByteForByte)
{
    const std::string original = "; settings\r\n"
                                 "[Other]\r\n"
                                 "Key = Value with  spaces\r\n"
                                 "\r\n"
                                 "[PlacedWindow]\r\n"
                                 "Flags=0\r\n"
                                 "Custom=keep me\r\n"
                                 "\r\n"
                                 "[Last]\r\n"
                                 "x=1";
    writeText(m_file, original);
    {
        IniFile file(m_file.string());
        file.writeInteger("PlacedWindow", "Flags", 2);
        file.writeString("PlacedWindow", "NormPos", "1,2,3,4");
        file.writeBool("New", "Visible", true);
        file.writeBool("New", "Hidden", false);
        file.release();
    }
    EXPECT_EQ(readText(m_file), "; settings\r\n"
                                "[Other]\r\n"
                                "Key = Value with  spaces\r\n"
                                "\r\n"
                                "[PlacedWindow]\r\n"
                                "Flags=2\r\n"
                                "Custom=keep me\r\n"
                                "NormPos=1,2,3,4\r\n"
                                "\r\n"
                                "[Last]\r\n"
                                "x=1\r\n"
                                "\r\n"
                                "[New]\r\n"
                                "Visible=1\r\n"
                                "Hidden=0\r\n");
}

TEST_F(IniFileTest, UnchangedValuesDoNotRewriteTheFile)
{
    writeText(m_file, "[S]\nFlags = 0\n");
    IniFile file(m_file.string());
    file.writeInteger("S", "flags", 0);
    EXPECT_FALSE(file.modified());
    file.release();
    EXPECT_EQ(readText(m_file), "[S]\nFlags = 0\n");
}

TEST_F(IniFileTest, EraseSectionRemovesEveryOccurrenceAndNothingElse)
{
    writeText(m_file, "[A]\na=1\n[PlacedWindow]\nx=1\n\n[B]\nb=2\n[placedwindow]\ny=2\n");
    {
        IniFile file(m_file.string());
        file.eraseSection("PlacedWindow");
        EXPECT_FALSE(file.sectionExists("PlacedWindow"));
        file.eraseSection("Missing");
        file.release();
    }
    EXPECT_EQ(readText(m_file), "[A]\na=1\n[B]\nb=2\n");
}

TEST_F(IniFileTest, ReadSectionListsKeysInFileOrder)
{
    writeText(m_file, "[S]\n; comment\nb=1\nnot a key\na=2\n[T]\nc=3\n");
    IniFile file(m_file.string());
    EXPECT_EQ(file.readSection("S"), (std::vector<std::string>{"b", "a"}));
    EXPECT_TRUE(file.readSection("Missing").empty());
}

TEST_F(IniFileTest, RefusesNamesAndValuesThatWouldBreakTheFile)
{
    IniFile file(m_file.string());
    EXPECT_THROW(file.writeString("S", "a=b", "v"), std::invalid_argument);
    EXPECT_THROW(file.writeString("S", "", "v"), std::invalid_argument);
    EXPECT_THROW(file.writeString("S", "[x", "v"), std::invalid_argument);
    EXPECT_THROW(file.writeString("S", ";x", "v"), std::invalid_argument);
    EXPECT_THROW(file.writeString("S]", "k", "v"), std::invalid_argument);
    EXPECT_THROW(file.writeString("", "k", "v"), std::invalid_argument);
    EXPECT_THROW(file.writeString("S", "k", "line\n[Injected]"), std::invalid_argument);
    EXPECT_THROW(file.writeString("S", "k", "cr\r"), std::invalid_argument);
    EXPECT_FALSE(file.modified());
}

TEST_F(IniFileTest, RefusedWriteNamesTheFile)
{
    const fs::path regular = m_folder.path() / "regular";
    writeText(regular, "x");
    const std::string below = (regular / "stowmere.INI").string();
    IniFile file(below);
    EXPECT_EQ(file.readString("S", "k", "d"), "d");
    file.writeString("S", "k", "v");
    try {
        file.release();
        FAIL() << "writing below a regular file must fail";
    } catch (const IniFileError& error) {
        EXPECT_EQ(std::string(error.what()), "Unable to write to " + below);
        EXPECT_FALSE(error.reason().empty());
    }
    EXPECT_EQ(readText(regular), "x");
}

TEST_F(IniFileTest, ReleaseCreatesMissingFoldersPrivately)
{
    const fs::path nested = m_folder.path() / "config" / "deeper" / "stowmere.INI";
    IniFile file(nested.string());
    file.writeInteger("S", "k", 1);
    const mode_t oldMask = ::umask(022);
    file.release();
    ::umask(oldMask);
    EXPECT_EQ(readText(nested), "[S]\nk=1\n");
    // The window's placement is the user's own business.
    EXPECT_EQ(fs::status(nested).permissions(), fs::perms(0600));
    EXPECT_EQ(fs::status(nested.parent_path()).permissions(), fs::perms(0700));
    EXPECT_EQ(fs::status(m_folder.path() / "config").permissions(), fs::perms(0700));
}

TEST_F(IniFileTest, UnreadableFileIsNeverOverwritten)
{
    // A folder where the file should be cannot be read as a file; its content must survive.
    fs::create_directories(m_file);
    writeText(m_file / "inside", "data");
    IniFile file(m_file.string());
    EXPECT_EQ(file.readInteger("S", "k", 3), 3);
    EXPECT_THROW(file.writeInteger("S", "k", 1), IniFileError);
    EXPECT_THROW(file.eraseSection("S"), IniFileError);
    EXPECT_EQ(readText(m_file / "inside"), "data");
}

TEST_F(IniFileTest, ByteOrderMarkBeforeFirstSectionIsNotPartOfItsName)
{
    writeText(m_file, "\xEF\xBB\xBF[PlacedWindow]\nShowCmd=3\n");
    IniFile file(m_file.string());
    EXPECT_EQ(file.readInteger("PlacedWindow", "ShowCmd", 0), 3);
    file.writeInteger("PlacedWindow", "ShowCmd", 1);
    file.release();
    EXPECT_EQ(readText(m_file), "\xEF\xBB\xBF[PlacedWindow]\nShowCmd=1\n");
}

TEST_F(IniFileTest, FifoInPlaceOfTheFileNeitherHangsNorIsReplaced)
{
    ASSERT_EQ(mkfifo(m_file.c_str(), 0600), 0);
    IniFile file(m_file.string());
    EXPECT_EQ(file.readString("S", "k", "d"), "d");
    EXPECT_THROW(file.writeString("S", "k", "v"), IniFileError);
    EXPECT_TRUE(fs::is_fifo(m_file));
}

TEST_F(IniFileTest, WritesThroughASymbolicLinkToItsTarget)
{
    const fs::path target = m_folder.path() / "dotfiles" / "real.INI";
    fs::create_directories(target.parent_path());
    writeText(target, "[A]\na=1\n");
    fs::create_symlink(target, m_file);
    IniFile file(m_file.string());
    EXPECT_EQ(file.readInteger("A", "a", 0), 1);
    file.writeInteger("A", "a", 2);
    file.release();
    EXPECT_TRUE(fs::is_symlink(m_file));
    EXPECT_EQ(readText(target), "[A]\na=2\n");
}
