// SPDX-License-Identifier: GPL-3.0-or-later
// When stowmere-cli counts a run's copies before it starts, on a real tmpfs far smaller than
// the disk the sources lie on (so that the copies never surely fit by that measure alone).
#include "CliTest.h"
#include "support/TestMount.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

using stowmere::cli::test::CliTest;
using stowmere::cli::test::ProcessResult;
using stowmere::testing::TestMount;

namespace {

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

void writeBytes(const std::string& path, std::size_t bytes)
{
    std::ofstream file(path, std::ios::binary);
    const std::string block(1 << 20, 'x');
    for (std::size_t written = 0; written < bytes; written += block.size())
        file.write(block.data(), static_cast<std::streamsize>(std::min(block.size(), bytes - written)));
}

} // namespace

using CountBeforeRun = CliTest;

TEST_F(CountBeforeRun, TheLastIncrementalRunsFilesThatStillFitWithRoomToSpareSpareTheCount)
{
    TestMount drive(TestMount::Kind::Tmpfs, 96 << 20);
    if (!drive.mounted())
        GTEST_SKIP() << drive.why();
    temp.file("src/tree/small.txt", "small");
    ok({"new-set", "Docs", drive.path()});
    ok({"add-paths", "Docs", temp.path("src/tree")});

    // Without a last run to go by, a file that cannot fit is found by the count before
    // anything is written.
    writeBytes(temp.path("src/tree/big.bin"), 120 << 20);
    const ProcessResult counted = cli({"backup", "Docs", "--incremental"});
    EXPECT_EQ(counted.exitCode, 3) << counted.err;
    EXPECT_TRUE(contains(counted.err, "This backup needs ")) << counted.err;
    EXPECT_FALSE(std::ifstream(drive.path() + "/tree/small.txt").good());

    // A run of the small tree records what its files held.
    std::remove(temp.path("src/tree/big.bin").c_str());
    ok({"backup", "Docs", "--incremental", "--quiet"});

    // The next run trusts that record: no count, and a tree that grew beyond the free space
    // fails as a full destination does, with the copy under way never in place.
    writeBytes(temp.path("src/tree/big.bin"), 120 << 20);
    const ProcessResult trusted = cli({"backup", "Docs", "--incremental"});
    EXPECT_EQ(trusted.exitCode, 2) << trusted.err;
    EXPECT_FALSE(contains(trusted.err, "This backup needs ")) << trusted.err;
    EXPECT_FALSE(std::ifstream(drive.path() + "/tree/big.bin").good());

    // --only runs a part of the set: the record of the whole says nothing about it, and a
    // count runs again.
    const ProcessResult part = cli({"backup", "Docs", "--incremental", "--only", temp.path("src/tree")});
    EXPECT_EQ(part.exitCode, 3) << part.err;
    EXPECT_TRUE(contains(part.err, "This backup needs ")) << part.err;
}
