// SPDX-License-Identifier: GPL-3.0-or-later
#include "ChildProcess.h"

#include <gtest/gtest.h>

using stowmere::cli::test::ChildProcess;
using stowmere::cli::test::cliExecutable;

TEST(CliProcess, HelpForTheToolAndEachCommandExitsZero)
{
    const auto whole = ChildProcess::run(cliExecutable(), {"--help"});
    EXPECT_EQ(whole.exitCode, 0);
    EXPECT_NE(whole.out.find("Usage: stowmere-cli COMMAND"), std::string::npos);
    for (const char* command :
         {"list", "paths", "new-set", "add-paths", "remove-paths", "delete-set", "backup", "dump"}) {
        const auto result = ChildProcess::run(cliExecutable(), {command, "--help"});
        EXPECT_EQ(result.exitCode, 0) << command;
        EXPECT_NE(result.out.find(std::string("Usage: stowmere-cli ") + command), std::string::npos)
            << command;
        EXPECT_EQ(ChildProcess::run(cliExecutable(), {"help", command}).out, result.out) << command;
    }
}

TEST(CliProcess, UsageErrorsExitThreeWithOneLine)
{
    for (const std::vector<std::string>& words : {std::vector<std::string>{},
                                                  {"nonsense"},
                                                  {"paths"},
                                                  {"list", "--bogus"},
                                                  {"backup", "x", "--only"}}) {
        const auto result = ChildProcess::run(cliExecutable(), words);
        EXPECT_EQ(result.exitCode, 3);
        EXPECT_EQ(result.out, "");
        ASSERT_FALSE(result.err.empty());
        EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
        EXPECT_EQ(result.err.rfind("stowmere-cli: ", 0), 0u) << result.err;
    }
}

TEST(CliProcess, VersionIsOneLineFromTheBuildAlsoAfterACommand)
{
    const auto version = ChildProcess::run(cliExecutable(), {"--version"});
    EXPECT_EQ(version.exitCode, 0) << version.err;
    EXPECT_EQ(version.out.rfind("stowmere-cli ", 0), 0u) << version.out;
    EXPECT_EQ(version.out.find('\n'), version.out.size() - 1) << version.out;
    EXPECT_GT(version.out.size(), std::string("stowmere-cli \n").size());
    EXPECT_EQ(ChildProcess::run(cliExecutable(), {"list", "--version"}).out, version.out);
}
