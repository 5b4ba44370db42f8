// SPDX-License-Identifier: GPL-3.0-or-later
// dump on damaged table files: whatever the bytes, it prints what it could read, names the
// result code and byte offset, exits 3 and never crashes.
#include "cli/TableDump.h"
#include "store/PacketContents.h"

#include "ChildProcess.h"
#include "WorkedFiles.h"
#include "support/TestTree.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

using stowmere::cli::TableDump;
using stowmere::cli::test::ChildProcess;
using stowmere::cli::test::cliExecutable;
using stowmere::cli::test::workedCategoryFile;
using stowmere::testing::TestTree;

namespace {

TableDump::Outcome dumpOf(std::span<const std::byte> bytes, std::string* text = nullptr)
{
    std::ostringstream out;
    const TableDump::Outcome outcome = TableDump::dump(bytes, out);
    if (text)
        *text = out.str();
    return outcome;
}

/// The damaged variants of a good file: every truncation and every byte inverted.
std::vector<std::vector<std::byte>> damagedVariants(const std::vector<std::byte>& good)
{
    std::vector<std::vector<std::byte>> variants;
    for (std::size_t length = 0; length < good.size(); ++length)
        variants.emplace_back(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(length));
    for (std::size_t i = 0; i < good.size(); ++i) {
        std::vector<std::byte> flipped = good;
        flipped[i] ^= std::byte{0xFF};
        variants.push_back(std::move(flipped));
    }
    return variants;
}

} // namespace

TEST(DumpDamagedFiles, EveryTruncationStopsWithinTheFile)
{
    const std::vector<std::byte> good = workedCategoryFile();
    for (std::size_t length = 0; length < good.size(); ++length) {
        const std::span<const std::byte> prefix(good.data(), length);
        std::string text;
        const TableDump::Outcome outcome = dumpOf(prefix, &text);
        EXPECT_EQ(outcome.resultCode, 0x4005) << "length " << length;
        EXPECT_LE(outcome.offset, length) << "length " << length;
        EXPECT_NE(text.find("Reading stopped: result code 0x4005"), std::string::npos) << "length " << length;
    }
}

TEST(DumpDamagedFiles, AgreesWithTheStoreReaderOnEveryCorruptedByte)
{
    for (const std::vector<std::byte>& bytes : damagedVariants(workedCategoryFile())) {
        const stowmere::store::PacketContents contents = stowmere::store::readPacketContents(bytes);
        const TableDump::Outcome outcome = dumpOf(bytes);
        EXPECT_EQ(outcome.resultCode, contents.result);
        if (outcome.resultCode != 0) {
            EXPECT_EQ(outcome.offset, contents.offset);
            EXPECT_LE(outcome.offset, bytes.size());
        }
    }
}

TEST(DumpDamagedFiles, TheExecutableExitsThreeWithCodeAndOffsetForEveryDamagedFile)
{
    TestTree temp{"cli"};
    std::vector<std::string> files;
    // The reader's fuzz corpus, when the tree has one, and damaged files of our own.
    const std::filesystem::path corpus = STOWMERE_STORE_CORPUS_DIR;
    if (std::filesystem::is_directory(corpus))
        for (const auto& entry : std::filesystem::directory_iterator(corpus))
            if (entry.is_regular_file())
                files.push_back(entry.path().string());
    const auto variants = damagedVariants(workedCategoryFile());
    for (std::size_t i = 0; i < variants.size(); i += 7) {
        const std::string name = temp.path("damaged" + std::to_string(i) + ".cds");
        std::ofstream(name, std::ios::binary)
            .write(reinterpret_cast<const char*>(variants[i].data()),
                   static_cast<std::streamsize>(variants[i].size()));
        files.push_back(name);
    }

    const std::regex stopLine(
        "Reading stopped: result code 0x[0-9A-F]{4} \\([^\\n]*\\) at byte offset [0-9]+\\n$");
    std::size_t damaged = 0;
    for (const std::string& file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::span<const std::byte> bytes(reinterpret_cast<const std::byte*>(raw.data()), raw.size());
        const bool isDamaged = stowmere::store::readPacketContents(bytes).result != 0;

        const auto result = ChildProcess::run(cliExecutable(), {"dump", file});
        ASSERT_EQ(result.signal, 0) << file;
        if (isDamaged) {
            ++damaged;
            EXPECT_EQ(result.exitCode, 3) << file;
            EXPECT_TRUE(std::regex_search(result.out, stopLine)) << file << "\n" << result.out;
            EXPECT_NE(result.err.find("result code 0x"), std::string::npos) << file;
            EXPECT_NE(result.err.find("at byte offset "), std::string::npos) << file;
        } else {
            EXPECT_EQ(result.exitCode, 0) << file << "\n" << result.err;
        }
    }
    EXPECT_GE(damaged, 28u) << "every sampled truncation is damaged";
}

TEST(DumpDamagedFiles, UnreadableFileIsAnErrorNotADump)
{
    TestTree temp{"cli"};
    for (const std::string& path : {temp.path("missing.cds"), temp.folder("folder.cds")}) {
        const auto result = ChildProcess::run(cliExecutable(), {"dump", path});
        EXPECT_EQ(result.exitCode, 3);
        EXPECT_EQ(result.out, "");
        EXPECT_NE(result.err.find(path), std::string::npos);
    }
}
