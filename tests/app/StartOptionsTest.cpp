// SPDX-License-Identifier: GPL-3.0-or-later
// The window's command line: help and version answer without a display, and an argument
// the program does not know is an error instead of a window opened regardless.
#include "app/StartOptions.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>

using stowmere::app::StartOptions;

namespace {

struct Outcome {
    int exitCode = -1;
    std::string output;
};

/// Runs the real program with arguments, without any display to reach (standard error
/// joins standard output).
Outcome runWithoutDisplay(const std::string& arguments, const std::string& platform = {},
                          const std::string& locale = "LC_ALL=C.UTF-8 LANGUAGE=")
{
    std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + locale + ' ';
    if (!platform.empty())
        command += "QT_QPA_PLATFORM=" + platform + ' ';
    command += std::string("'") + STOWMERE_APP_EXECUTABLE + "' " + arguments + " 2>&1 </dev/null";
    Outcome outcome;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return outcome;
    std::array<char, 4096> buffer{};
    for (std::size_t got; (got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;)
        outcome.output.append(buffer.data(), got);
    const int status = ::pclose(pipe);
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return outcome;
}

} // namespace

TEST(StartOptions, HelpAndVersionWinOverEverythingElseUpToTheEndOfOptions)
{
    using Action = StartOptions::Action;
    EXPECT_EQ(StartOptions::beforeQt({}), Action::OpenWindow);
    EXPECT_EQ(StartOptions::beforeQt({"-platform", "offscreen"}), Action::OpenWindow);
    EXPECT_EQ(StartOptions::beforeQt({"--bogus", "--help"}), Action::ShowHelp);
    EXPECT_EQ(StartOptions::beforeQt({"-h"}), Action::ShowHelp);
    EXPECT_EQ(StartOptions::beforeQt({"--version", "--help"}), Action::ShowVersion);
    EXPECT_EQ(StartOptions::beforeQt({"-v"}), Action::ShowVersion);
    EXPECT_EQ(StartOptions::beforeQt({"--", "--help"}), Action::OpenWindow);

    EXPECT_EQ(StartOptions::leftOverError({}), "");
    EXPECT_EQ(StartOptions::leftOverError({"--bogus", "x"}), "stowmere: unknown option '--bogus'");
    EXPECT_EQ(StartOptions::leftOverError({"file.txt"}), "stowmere: unexpected argument 'file.txt'");
    EXPECT_EQ(StartOptions::leftOverError({"--", "--help"}), "stowmere: unexpected argument '--help'");
}

TEST(StartOptions, TheProgramAnswersHelpAndVersionWithoutADisplay)
{
    const Outcome help = runWithoutDisplay("--help");
    EXPECT_EQ(help.exitCode, 0) << help.output;
    EXPECT_EQ(help.output, StartOptions::helpText());

    const Outcome version = runWithoutDisplay("--version");
    EXPECT_EQ(version.exitCode, 0) << version.output;
    EXPECT_EQ(version.output, StartOptions::versionText() + '\n');
    EXPECT_EQ(version.output.rfind("stowmere ", 0), 0u);
    EXPECT_GT(version.output.size(), std::string("stowmere \n").size());
}

TEST(StartOptions, HelpSpeaksTheUsersLanguageAndKeepsTheOptionNames)
{
    const Outcome german = runWithoutDisplay("--help", {}, "LC_ALL=de_DE.UTF-8 LANGUAGE=de");
    EXPECT_EQ(german.exitCode, 0) << german.output;
    EXPECT_EQ(german.output.rfind("Aufruf: stowmere [-h|--help] [-v|--version] [Qt-Optionen]\n", 0), 0u)
        << german.output;
    EXPECT_NE(german.output.find("  -v, --version  die Version zeigen und beenden\n"), std::string::npos);
    const Outcome french = runWithoutDisplay("-h", {}, "LANG=fr_FR.UTF-8 LC_ALL= LANGUAGE=");
    EXPECT_NE(french.output.find("afficher cette aide et quitter"), std::string::npos) << french.output;
    // A mistake is told in the language too, once Qt has taken its own options.
    const Outcome unknown =
        runWithoutDisplay("-platform offscreen --bogus", {}, "LC_ALL=de_DE.UTF-8 LANGUAGE=de");
    EXPECT_EQ(unknown.exitCode, 2) << unknown.output;
    EXPECT_NE(unknown.output.find("stowmere: unbekannte Option „--bogus“\nAufruf: stowmere"),
              std::string::npos)
        << unknown.output;
}

TEST(StartOptions, AnUnknownOptionIsAnErrorWithAUsageLineAndNoWindow)
{
    // Qt's own options are taken by Qt; what is left over stops the program.
    const Outcome unknown = runWithoutDisplay("-platform offscreen --bogus");
    EXPECT_EQ(unknown.exitCode, 2) << unknown.output;
    // Qt may add notes of its own about the session; ours is there in full.
    EXPECT_NE(unknown.output.find("stowmere: unknown option '--bogus'\n" + StartOptions::usageLine() + '\n'),
              std::string::npos)
        << unknown.output;

    const Outcome stray = runWithoutDisplay("notes.txt", "offscreen");
    EXPECT_EQ(stray.exitCode, 2) << stray.output;
    EXPECT_NE(stray.output.find("stowmere: unexpected argument 'notes.txt'\n"), std::string::npos)
        << stray.output;
}
