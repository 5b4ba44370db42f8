// SPDX-License-Identifier: GPL-3.0-or-later
// The table files under the real executable: damaged files, concurrent writers, the lock
// and links.
#include "ChildProcess.h"
#include "support/TestTree.h"

#include "platform/FileLock.h"
#include "support/DamagedTables.h"
#include "support/TableFileBytes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <set>
#include <sstream>

using stowmere::cli::test::ChildProcess;
using stowmere::cli::test::cliExecutable;
using stowmere::cli::test::ProcessResult;
using stowmere::testing::DamagedTables;
using stowmere::testing::TestTree;
namespace fs = std::filesystem;

namespace {

ProcessResult cli(const std::string& data, std::vector<std::string> words)
{
    words.insert(words.begin(), {"--data", data});
    return ChildProcess::run(cliExecutable(), words);
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

void writeFile(const std::string& path, const std::vector<std::byte>& bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    std::fclose(file);
}

class DamagedTablesInTheCommandLine : public ::testing::TestWithParam<DamagedTables> {};

std::string caseName(const ::testing::TestParamInfo<DamagedTables>& info)
{
    return info.param.name;
}

} // namespace

TEST_P(DamagedTablesInTheCommandLine, AreRefusedOrReportedAndNeverOverwritten)
{
    const DamagedTables& damage = GetParam();
    TestTree temp{"cli"};
    const std::string data = temp.folder("data");
    writeFile(data + "/Category.cds", damage.category);
    writeFile(data + "/Path.cds", damage.path);

    const ProcessResult list = cli(data, {"list"});
    const ProcessResult newSet = cli(data, {"new-set", "new", "/dest"});
    if (damage.expect == DamagedTables::Expect::Refused) {
        for (const ProcessResult* result : {&list, &newSet}) {
            EXPECT_EQ(result->exitCode, 3);
            EXPECT_NE(result->err.find(data + "/" + damage.file), std::string::npos) << result->err;
            EXPECT_NE(result->err.find(damage.message), std::string::npos) << result->err;
        }
        EXPECT_EQ(temp.bytes("data/Category.cds"), damage.category);
    } else {
        EXPECT_EQ(list.exitCode, 0) << list.err;
        EXPECT_EQ(newSet.exitCode, 0) << newSet.err;
        EXPECT_EQ(lines(newSet.out).at(0).substr(0, lines(newSet.out).at(0).find('\t')),
                  std::to_string(damage.nextSetNumber));
        const bool reported = damage.expect == DamagedTables::Expect::Reported;
        EXPECT_EQ(list.err.find(damage.message) != std::string::npos && !damage.message.empty(), reported)
            << list.err;
        const ProcessResult paths = cli(data, {"paths", std::to_string(damage.nextSetNumber)});
        EXPECT_EQ(paths.exitCode, 0);
        EXPECT_EQ(paths.out, "") << "a new set inherits no paths";
    }
    EXPECT_EQ(temp.bytes("data/Path.cds"), damage.path) << "the path file is never rewritten";
}

INSTANTIATE_TEST_SUITE_P(CommandLine, DamagedTablesInTheCommandLine,
                         ::testing::ValuesIn(stowmere::testing::damagedTableCases()), caseName);

TEST(TablesSafety, DumpRefusesBytesAfterTheLastRow)
{
    TestTree temp{"cli"};
    std::vector<std::byte> file = stowmere::testing::pathFileBytes({{1, 1, "/a"}, {2, 1, "/b"}}, 3);
    const std::size_t end = file.size();
    stowmere::testing::setRowCount(file, 1);
    writeFile(temp.path("Path.cds"), file);
    const ProcessResult dump = ChildProcess::run(cliExecutable(), {"dump", temp.path("Path.cds")});
    EXPECT_EQ(dump.exitCode, 3);
    EXPECT_NE(dump.err.find("0x4005"), std::string::npos) << dump.err;
    const std::size_t secondRow = 1 + 1 + 4 + 4 + 2 + 2; // status, field bits, numbers, "/b"
    EXPECT_NE(dump.err.find("at byte offset " + std::to_string(end - secondRow)), std::string::npos)
        << dump.err;
}

TEST(TablesSafety, ConcurrentWritersNeverLoseAnUpdate)
{
    TestTree temp{"cli"};
    const std::string data = temp.folder("data");
    ASSERT_EQ(cli(data, {"new-set", "Docs", "/dest"}).exitCode, 0);
    constexpr int kWriters = 40;
    std::vector<std::string> files;
    for (int i = 0; i < kWriters; ++i)
        files.push_back(temp.file("src/file" + std::to_string(i), "x"));

    std::vector<std::unique_ptr<ChildProcess>> children;
    for (const std::string& file : files)
        children.push_back(std::make_unique<ChildProcess>(
            cliExecutable(), std::vector<std::string>{"--data", data, "add-paths", "Docs", file}));
    std::set<std::string> kept;
    std::set<std::string> refused;
    for (int i = 0; i < kWriters; ++i) {
        const ProcessResult result = children[static_cast<std::size_t>(i)]->finish();
        (result.exitCode == 0 ? kept : refused).insert(files[static_cast<std::size_t>(i)]);
        if (result.exitCode != 0) {
            EXPECT_EQ(result.err, "The backup sets are being changed by another program; try again.\n");
        }
    }
    const ProcessResult paths = cli(data, {"paths", "Docs"});
    const std::vector<std::string> listed = lines(paths.out);
    EXPECT_EQ(std::set<std::string>(listed.begin(), listed.end()), kept)
        << "every command that exited 0 kept its path, and no other path is there";
    EXPECT_EQ(listed.size(), kept.size());
    EXPECT_EQ(kept.size() + refused.size(), static_cast<std::size_t>(kWriters));
}

TEST(TablesSafety, AWriterGivesUpAfterTenSecondsWhileAnotherHoldsTheLock)
{
    TestTree temp{"cli"};
    const std::string data = temp.folder("data");
    ASSERT_EQ(cli(data, {"new-set", "Docs", "/dest"}).exitCode, 0);
    const std::string before = temp.read("data/Category.cds");
    auto lock =
        stowmere::files::FileLock::acquire(data + "/.stowmere-tables.lock", std::chrono::milliseconds(0));
    ASSERT_TRUE(lock);

    const ProcessResult reader = cli(data, {"list"});
    EXPECT_EQ(reader.exitCode, 0) << "reading needs no lock";
    const ProcessResult writer = cli(data, {"new-set", "Other", "/dest"});
    EXPECT_EQ(writer.exitCode, 3);
    EXPECT_EQ(writer.err, "The backup sets are being changed by another program; try again.\n");
    EXPECT_EQ(temp.read("data/Category.cds"), before);

    lock->release();
    EXPECT_EQ(cli(data, {"new-set", "Other", "/dest"}).exitCode, 0);
}

TEST(TablesSafety, TableFilesThatAreLinksStayLinks)
{
    TestTree temp{"cli"};
    const std::string data = temp.folder("data");
    const std::string synced = temp.folder("synced");
    fs::create_symlink(synced + "/Category.cds", data + "/Category.cds");
    fs::create_symlink(synced + "/Path.cds", data + "/Path.cds");
    ASSERT_EQ(cli(data, {"new-set", "Docs", "/dest"}).exitCode, 0);
    ASSERT_EQ(cli(data, {"add-paths", "Docs", temp.file("src/a", "a")}).exitCode, 0);
    EXPECT_TRUE(fs::is_symlink(data + "/Category.cds"));
    EXPECT_TRUE(fs::is_symlink(data + "/Path.cds"));
    EXPECT_EQ(cli(synced, {"paths", "Docs"}).out, temp.path("src/a") + "\n")
        << "the linked files hold the change";
    EXPECT_TRUE(fs::exists(synced + "/.stowmere-tables.lock"));
}
