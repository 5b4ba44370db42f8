// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/BackupExitCode.h"

#include <gtest/gtest.h>

#include <csignal>

using stowmere::backup::BackupResult;
using stowmere::cli::backupExitCode;
using stowmere::cli::ExitCode;

TEST(BackupExitCode, WorseOutcomesOutrankMilderOnes)
{
    BackupResult clean;
    EXPECT_EQ(backupExitCode(clean, 0), ExitCode::Success);

    BackupResult missing;
    missing.missingItems = {"/gone"};
    EXPECT_EQ(backupExitCode(missing, 0), ExitCode::ItemsNotFound);

    BackupResult interrupted = missing;
    interrupted.cancelled = true;
    EXPECT_EQ(backupExitCode(interrupted, SIGINT), ExitCode::Interrupted);
    EXPECT_EQ(backupExitCode(interrupted, SIGTERM), ExitCode::Terminated);

    BackupResult failed = interrupted;
    failed.copyFailed = true;
    EXPECT_EQ(backupExitCode(failed, SIGINT), ExitCode::CopyFailed);

    BackupResult unexpected;
    unexpected.otherErrors = 1;
    EXPECT_EQ(backupExitCode(unexpected, 0), ExitCode::CopyFailed) << "skipped data is never a success";

    // Files that could not be read were left out while the run went on: like missing items.
    BackupResult unread;
    unread.notBackedUpCount = 1;
    EXPECT_EQ(backupExitCode(unread, 0), ExitCode::ItemsNotFound);
    unread.copyFailed = true;
    EXPECT_EQ(backupExitCode(unread, 0), ExitCode::CopyFailed);

    // A run that never started (another run holds the destination) did nothing.
    BackupResult refused;
    refused.refused = true;
    EXPECT_EQ(backupExitCode(refused, 0), ExitCode::NotStarted);
}

TEST(BackupExitCode, SignalAfterTheLastItemStopsNothing)
{
    BackupResult complete;
    EXPECT_EQ(backupExitCode(complete, SIGINT), ExitCode::Success);
}
