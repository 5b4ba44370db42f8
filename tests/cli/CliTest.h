// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ChildProcess.h"
#include "support/TestTree.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace stowmere::cli::test {

/// A test that runs the real stowmere-cli on a fresh temporary folder: cli() runs one
/// command on the data folder and returns what the process left, ok() runs one that must
/// succeed and returns its standard output. The child's state and config folders are kept
/// inside the temporary folder, so a test never writes into the home folder of whoever
/// runs it.
class CliTest : public ::testing::Test {
protected:
    ProcessResult cli(std::vector<std::string> words, const std::string& dataFolder = {}) const
    {
        words.insert(words.begin(), {"--data", dataFolder.empty() ? data : dataFolder});
        // No session bus unless a test brings its own: a failing run must not show a
        // notification on the desktop of whoever runs the tests.
        std::vector<std::string> environment = {"XDG_STATE_HOME=" + state,
                                                "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus"};
        environment.insert(environment.end(), extraEnvironment.begin(), extraEnvironment.end());
        return ChildProcess::run(cliExecutable(), words, environment);
    }
    /// Lets other users read the tables of the data folder, which the program keeps private
    /// to their owner, for a test that runs a command as another user.
    void shareTables() const
    {
        for (const auto& entry : std::filesystem::directory_iterator(data))
            std::filesystem::permissions(entry.path(), std::filesystem::perms(0644));
    }
    std::string ok(std::vector<std::string> words, const std::string& dataFolder = {}) const
    {
        const ProcessResult result = cli(std::move(words), dataFolder);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return result.out;
    }

    stowmere::testing::TestTree temp{"cli"};
    std::string data = temp.folder("data");
    /// XDG_STATE_HOME of the child: where a run's history goes.
    std::string state = temp.folder("state");
    /// More NAME=value settings for the child's environment; they replace inherited ones.
    std::vector<std::string> extraEnvironment;
};

} // namespace stowmere::cli::test
