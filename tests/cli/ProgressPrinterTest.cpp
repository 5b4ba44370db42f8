// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/ProgressPrinter.h"

#include <gtest/gtest.h>

#include <sstream>

using stowmere::cli::ProgressPrinter;

namespace {

void runTwoItems(ProgressPrinter& printer)
{
    printer.start(2);
    printer.itemStarted("/src/a.txt");
    printer.fileStarted("/src/a.txt");
    printer.fileCopied();
    printer.itemDone();
    printer.itemStarted("/src/Docs");
    printer.fileStarted("/src/Docs/x");
    printer.fileCopied();
    printer.fileStarted("/src/Docs/y");
    printer.fileCopied();
    printer.itemDone();
    printer.finish("Backup finished");
}

} // namespace

TEST(ProgressPrinter, PlainModeWritesOneLinePerItemAndNoCarriageReturns)
{
    std::ostringstream out;
    ProgressPrinter printer(out, ProgressPrinter::Mode::Plain);
    runTwoItems(printer);
    EXPECT_EQ(out.str(), "[1/2] /src/a.txt\n"
                         "[2/2] /src/Docs\n"
                         "Backup finished: 2 of 2 items done, 3 files copied.\n");
    EXPECT_EQ(printer.filesCopied(), 3u);
}

TEST(ProgressPrinter, QuietModeShowsOnlyFailures)
{
    std::ostringstream out;
    ProgressPrinter printer(out, ProgressPrinter::Mode::Quiet);
    runTwoItems(printer);
    EXPECT_EQ(out.str(), "");
    printer.failure("Could not backup file: /a\r\n\r\nDrive could be full.");
    EXPECT_EQ(out.str(), "Could not backup file: /a\n\nDrive could be full.\n");
}

TEST(ProgressPrinter, TerminalLineIsRedrawnInPlaceAndClearedAtTheEnd)
{
    std::ostringstream out;
    ProgressPrinter printer(out, ProgressPrinter::Mode::Terminal, 60, std::chrono::milliseconds(0));
    runTwoItems(printer);
    const std::string text = out.str();
    EXPECT_NE(text.find("\r\x1b[K[1/2] 1 file copied  /src/a.txt"), std::string::npos);
    EXPECT_NE(text.find("\r\x1b[K[2/2] 3 files copied  /src/Docs/y"), std::string::npos);
    // Only the summary ends a line; the live line never scrolls.
    EXPECT_EQ(text.find('\n'), text.size() - 1);
    EXPECT_NE(text.rfind("\r\x1b[KBackup finished: 2 of 2 items done, 3 files copied.\n"), std::string::npos);
}

TEST(ProgressPrinter, TerminalLineShowsFilesAndBytesOfTheTotals)
{
    std::ostringstream out;
    ProgressPrinter printer(out, ProgressPrinter::Mode::Terminal, 100, std::chrono::milliseconds(0));
    printer.start(1);
    printer.totals(4096, 3 * 1024 * 1024, false);
    EXPECT_NE(out.str().find("\r\x1b[K[0/1] counting: 4096 files, 3.00 MB"), std::string::npos) << out.str();
    printer.totals(5000, 4 * 1024 * 1024, true);
    printer.itemStarted("/src");
    printer.fileStarted("/src/a");
    printer.fileProgress(1536 * 1024);
    EXPECT_NE(out.str().find("[0/1] 0/5000 files, 1.50 MB of 4.00 MB  /src/a"), std::string::npos)
        << out.str();
    printer.bytesCopied(2560 * 1024);
    printer.fileCopied();
    EXPECT_NE(out.str().find("[0/1] 1/5000 files, 2.50 MB of 4.00 MB  /src/a"), std::string::npos)
        << out.str();
}

TEST(ProgressPrinter, PlainLinesStayAsTheyWereWithTotals)
{
    std::ostringstream out;
    ProgressPrinter printer(out, ProgressPrinter::Mode::Plain);
    printer.start(1);
    printer.totals(10, 100, false);
    printer.totals(10, 100, true);
    printer.itemStarted("/src");
    printer.fileProgress(50);
    printer.bytesCopied(100);
    printer.fileCopied();
    printer.itemDone();
    printer.finish("Backup finished");
    EXPECT_EQ(out.str(), "[1/1] /src\nBackup finished: 1 of 1 item done, 1 file copied.\n");
}

TEST(ProgressPrinter, TerminalLineFitsTheWidthAndHidesControlCharacters)
{
    std::ostringstream out;
    ProgressPrinter printer(out, ProgressPrinter::Mode::Terminal, 40, std::chrono::milliseconds(0));
    printer.start(1);
    printer.itemStarted("/very/long/folder/name/that/goes/on/and/on/file\n.txt");
    const std::string text = out.str();
    const std::string line = text.substr(text.rfind("\x1b[K") + 3);
    EXPECT_LE(line.size(), 39u);
    EXPECT_NE(line.find("..."), std::string::npos);
    EXPECT_EQ(line.find('\n'), std::string::npos);
    EXPECT_NE(line.find("\\n.txt"), std::string::npos);
}

TEST(ProgressPrinter, ALongCountOnANarrowTerminalNeverWraps)
{
    // Whatever the counts and the path, no redraw reaches the last column: a wrapped line
    // would leave a stale row behind at every update.
    for (const std::size_t width : {60u, 40u, 12u}) {
        std::ostringstream out;
        ProgressPrinter printer(out, ProgressPrinter::Mode::Terminal, width, std::chrono::milliseconds(0));
        printer.start(12345);
        printer.totals(9876543, std::uint64_t{1} << 41, true);
        printer.itemStarted("/home/someone/Pictures/2024/Holiday in the mountains/IMG_0001.jpg");
        printer.fileStarted("/home/someone/Pictures/2024/Holiday in the mountains/IMG_0002.jpg");
        printer.fileProgress(std::uint64_t{1} << 40);
        const std::string text = out.str();
        for (std::size_t at = text.find("\x1b[K"); at != std::string::npos;
             at = text.find("\x1b[K", at + 3)) {
            const std::size_t end = text.find('\r', at);
            const std::string line = text.substr(at + 3, end == std::string::npos ? end : end - at - 3);
            EXPECT_LT(line.size(), width) << width << ": " << line;
        }
    }
}

TEST(ProgressPrinter, ControlCharactersInNamesAreEscapedOnEveryLine)
{
    std::ostringstream out;
    ProgressPrinter printer(out, ProgressPrinter::Mode::Plain);
    printer.start(1);
    printer.itemStarted("/src/evil\nname\x1b[2J");
    printer.failure(
        "These files could not be read and were not backed up:\r\n/src/a\tb\x7f: Permission denied"
        "\r\n/src/c\rd: No such file or directory");
    EXPECT_EQ(out.str(), "[1/1] /src/evil\\nname\\x1b[2J\n"
                         "These files could not be read and were not backed up:\n"
                         "/src/a\\tb\\x7f: Permission denied\n"
                         "/src/c\\rd: No such file or directory\n");
    EXPECT_EQ(ProgressPrinter::escapeControl("plain \xc3\xa9 text"), "plain \xc3\xa9 text") << "UTF-8 stays";
}

TEST(ProgressPrinter, FailureClearsTheLiveLineFirst)
{
    std::ostringstream out;
    ProgressPrinter printer(out, ProgressPrinter::Mode::Terminal, 80, std::chrono::milliseconds(0));
    printer.start(1);
    printer.itemStarted("/a");
    printer.failure("boom");
    EXPECT_NE(out.str().find("/a\r\x1b[Kboom\n"), std::string::npos);
}

TEST(ProgressPrinter, ShortenMiddleKeepsBothEndsAndWholeCharacters)
{
    EXPECT_EQ(ProgressPrinter::shortenMiddle("/short", 10), "/short");
    EXPECT_EQ(ProgressPrinter::shortenMiddle("abcdefghij", 10), "abcdefghij");
    EXPECT_EQ(ProgressPrinter::shortenMiddle("abcdefghijk", 10), "abc...hijk");
    // Each "é" is two bytes but one character: never cut in the middle of one.
    const std::string shortened = ProgressPrinter::shortenMiddle("éééééééééééé", 7);
    EXPECT_EQ(shortened, "éé...éé");
}
