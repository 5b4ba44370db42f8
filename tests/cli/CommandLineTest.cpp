// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CommandLine.h"

#include <gtest/gtest.h>

using stowmere::cli::Command;
using stowmere::cli::CommandLine;
using stowmere::cli::UsageError;

namespace {

CommandLine parse(std::vector<std::string> words)
{
    return CommandLine::parse(words);
}

std::string reasonFor(std::vector<std::string> words)
{
    try {
        CommandLine::parse(words);
    } catch (const UsageError& error) {
        return error.what();
    }
    return "(accepted)";
}

} // namespace

TEST(CommandLine, OptionsMayStandAnywhere)
{
    const CommandLine line =
        parse({"--data", "/d", "backup", "--incremental", "Docs", "--only", "/a", "/b", "-q"});
    EXPECT_EQ(line.command, Command::Backup);
    EXPECT_EQ(line.dataFolder, "/d");
    EXPECT_TRUE(line.incremental);
    EXPECT_TRUE(line.quiet);
    ASSERT_TRUE(line.only);
    EXPECT_EQ(line.onlyPaths, (std::vector<std::string>{"/a", "/b"}));
    EXPECT_EQ(line.arguments, (std::vector<std::string>{"Docs"}));

    EXPECT_EQ(parse({"list", "--data=/x"}).dataFolder, "/x");
}

TEST(CommandLine, DoubleDashPassesWordsThatLookLikeOptions)
{
    const CommandLine line = parse({"add-paths", "Docs", "--", "-odd", "--help"});
    EXPECT_FALSE(line.help);
    EXPECT_EQ(line.arguments, (std::vector<std::string>{"Docs", "-odd", "--help"}));

    const CommandLine only = parse({"backup", "Docs", "--only", "--", "-x"});
    EXPECT_EQ(only.onlyPaths, (std::vector<std::string>{"-x"}));
}

TEST(CommandLine, HelpNeedsNoArguments)
{
    EXPECT_TRUE(parse({"--help"}).help);
    const CommandLine commandHelp = parse({"backup", "--help"});
    EXPECT_TRUE(commandHelp.help);
    EXPECT_EQ(commandHelp.command, Command::Backup);
    const CommandLine topic = parse({"help", "dump"});
    EXPECT_EQ(topic.command, Command::Help);
    EXPECT_EQ(topic.helpTopic, Command::Dump);
}

TEST(CommandLine, WrongArgumentCountsAreRefusedWithTheirReason)
{
    EXPECT_NE(reasonFor({}).find("no command given"), std::string::npos);
    EXPECT_NE(reasonFor({"paths"}).find("paths: missing SET"), std::string::npos);
    EXPECT_NE(reasonFor({"new-set", "abc"}).find("new-set: missing DEST"), std::string::npos);
    EXPECT_NE(reasonFor({"add-paths", "Docs"}).find("add-paths: missing PATH"), std::string::npos);
    EXPECT_NE(reasonFor({"remove-paths"}).find("remove-paths: missing SET"), std::string::npos);
    EXPECT_NE(reasonFor({"list", "extra"}).find("unexpected argument 'extra'"), std::string::npos);
    EXPECT_NE(reasonFor({"delete-set", "a", "b"}).find("unexpected argument 'b'"), std::string::npos);
    EXPECT_NE(reasonFor({"dump"}).find("dump: missing FILE"), std::string::npos);
    EXPECT_NE(reasonFor({"paths", ""}).find("empty"), std::string::npos);
    // The window's own message answers an empty description, so new-set lets it through.
    EXPECT_EQ(reasonFor({"new-set", "", ""}), "(accepted)");
}

TEST(CommandLine, UnknownWordsAndMisplacedOptionsAreRefused)
{
    EXPECT_NE(reasonFor({"frobnicate"}).find("unknown command 'frobnicate'"), std::string::npos);
    EXPECT_NE(reasonFor({"list", "--colour"}).find("unknown option '--colour'"), std::string::npos);
    EXPECT_NE(reasonFor({"list", "--incremental"}).find("--incremental belongs to the backup command"),
              std::string::npos);
    EXPECT_NE(reasonFor({"paths", "x", "--only", "/a"}).find("--only belongs"), std::string::npos);
    EXPECT_NE(reasonFor({"backup", "Docs", "--only"}).find("--only needs at least one PATH"),
              std::string::npos);
    EXPECT_NE(reasonFor({"list", "--data"}).find("--data needs a folder"), std::string::npos);
    EXPECT_NE(reasonFor({"help", "nothing"}).find("unknown command 'nothing'"), std::string::npos);
}

TEST(CommandLine, ReasonsAreOneLineAndPointAtTheHelp)
{
    const std::string reason = reasonFor({"backup"});
    EXPECT_EQ(reason.find('\n'), std::string::npos);
    EXPECT_NE(reason.find("stowmere-cli backup --help"), std::string::npos);
}

TEST(CommandLine, NotifyTakesOneOfThreeWordsForARealBackupOnly)
{
    using stowmere::cli::NotifyMode;
    EXPECT_FALSE(parse({"backup", "Docs"}).notify);
    EXPECT_EQ(parse({"backup", "Docs", "--notify", "always"}).notify, NotifyMode::Always);
    EXPECT_EQ(parse({"--notify=never", "backup", "Docs"}).notify, NotifyMode::Never);
    EXPECT_EQ(parse({"backup", "--notify", "failures", "Docs"}).notify, NotifyMode::Failures);
    // The value is never taken for the set, nor a set for the value.
    EXPECT_EQ(parse({"backup", "--notify", "never", "always"}).arguments,
              (std::vector<std::string>{"always"}));

    EXPECT_NE(reasonFor({"backup", "Docs", "--notify"}).find("--notify needs always, failures or never"),
              std::string::npos);
    EXPECT_NE(reasonFor({"backup", "Docs", "--notify", "Always"}).find("not 'Always'"), std::string::npos);
    EXPECT_NE(reasonFor({"backup", "Docs", "--notify="}).find("not ''"), std::string::npos);
    EXPECT_NE(reasonFor({"list", "--notify", "always"}).find("--notify belongs to the backup command"),
              std::string::npos);
    EXPECT_NE(reasonFor({"backup", "Docs", "--dry-run", "--notify", "always"}).find("not to a --dry-run"),
              std::string::npos);
}
