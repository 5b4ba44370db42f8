// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/RunHistory.h"
#include "catalog/SetIdentity.h"

#include "support/FileContents.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using stowmere::backup::BackupResult;
using stowmere::backup::BackupSettings;
using stowmere::catalog::BackupSet;
using stowmere::catalog::RunHistory;
using stowmere::catalog::RunMode;
using stowmere::catalog::RunOutcome;
using stowmere::catalog::RunRecord;
using stowmere::testing::TempFolder;

namespace {

/// A set from before sets had an identity, known by its number.
BackupSet numbered(std::int32_t number)
{
    BackupSet set;
    set.number = number;
    return set;
}

class RunHistoryTest : public ::testing::Test {
protected:
    RunRecord record(std::int32_t set, RunOutcome outcome, RunMode mode = RunMode::Full,
                     const std::string& folder = "/data") const
    {
        RunRecord run;
        run.dataFolder = folder;
        run.setNumber = set;
        run.description = "Set " + std::to_string(set);
        run.destination = "/media/usb";
        run.start = RunRecord::Clock::from_time_t(1'800'000'000 + static_cast<std::time_t>(++m_clock));
        run.end = run.start + std::chrono::seconds(5);
        run.mode = mode;
        run.outcome = outcome;
        run.files = m_clock;
        return run;
    }

    std::vector<RunRecord> all(const RunHistory& history, std::vector<std::string>& warnings) const
    {
        std::vector<RunRecord> runs;
        history.read([&](RunRecord&& run) { runs.push_back(std::move(run)); }, warnings);
        return runs;
    }

    TempFolder temp{"history"};
    std::string file = (temp.path() / "state" / "stowmere" / "history.jsonl").string();
    mutable std::uint64_t m_clock = 0;
};

} // namespace

TEST_F(RunHistoryTest, ARecordReadsBackAsWritten)
{
    RunRecord run = record(7, RunOutcome::Failed, RunMode::Incremental);
    run.bytes = 123456789012;
    run.missingItems = {"/home/ann/gone"};
    run.failures = {{"/home/ann/a", "Permission denied"},
                    {std::string("/home/ann/\xE9t\xE9"), "Input/output error"}};
    run.failureCount = 250;
    run.reason = "No space left on device";
    run.fileSystem = "uuid:1234-ABCD";
    run.mountPoint = "/media/usb";
    run.program = "stowmere";
    const RunHistory history(file);
    ASSERT_EQ(history.append(run), "");

    std::vector<std::string> warnings;
    const std::vector<RunRecord> runs = all(history, warnings);
    EXPECT_TRUE(warnings.empty());
    ASSERT_EQ(runs.size(), 1u);
    const RunRecord& back = runs[0];
    EXPECT_EQ(back.dataFolder, "/data");
    EXPECT_EQ(back.setNumber, 7);
    EXPECT_EQ(back.start, run.start);
    EXPECT_EQ(back.end, run.end);
    EXPECT_EQ(back.mode, RunMode::Incremental);
    EXPECT_EQ(back.outcome, RunOutcome::Failed);
    EXPECT_EQ(back.bytes, 123456789012u);
    EXPECT_EQ(back.missingItems, run.missingItems);
    ASSERT_EQ(back.failures.size(), 2u);
    // A name that is not UTF-8 keeps its bytes as escapes.
    EXPECT_EQ(back.failures[1].path, "/home/ann/\\xE9t\\xE9");
    EXPECT_EQ(back.failureCount, 250u);
    EXPECT_EQ(back.reason, run.reason);
    EXPECT_EQ(back.fileSystem, "uuid:1234-ABCD");
    EXPECT_EQ(back.mountPoint, "/media/usb");
    EXPECT_EQ(back.program, "stowmere");

    // Private: the history names the user's files.
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(RunHistoryTest, TimesAreUtcIso8601)
{
    EXPECT_EQ(stowmere::catalog::isoTime(RunRecord::Clock::from_time_t(0)), "1970-01-01T00:00:00Z");
    const auto parsed = stowmere::catalog::parseIsoTime("2026-12-08T04:12:38Z");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(stowmere::catalog::isoTime(*parsed), "2026-12-08T04:12:38Z");
    for (const char* bad : {"2026-12-08 04:12:38", "2026-13-08T04:12:38Z", "2026-12-08T04:12:38Z+", ""})
        EXPECT_FALSE(stowmere::catalog::parseIsoTime(bad)) << bad;
}

TEST_F(RunHistoryTest, LastBackupTextIsInLocalTime)
{
    const char* zone = std::getenv("TZ");
    const std::string saved = zone ? zone : "";
    ::setenv("TZ", "UTC-2", 1);
    ::tzset();
    RunRecord run = record(1, RunOutcome::Warnings);
    run.start = *stowmere::catalog::parseIsoTime("2026-12-08T04:12:38Z");
    run.files = 1;
    EXPECT_EQ(stowmere::catalog::lastBackupText(run), "Last backup: 2026-12-08 06:12, 1 file, warnings");
    run.files = 120;
    run.outcome = RunOutcome::Ok;
    EXPECT_EQ(stowmere::catalog::lastBackupText(run), "Last backup: 2026-12-08 06:12, 120 files, ok");
    if (zone)
        ::setenv("TZ", saved.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}

TEST_F(RunHistoryTest, DamagedLinesAreSkippedWithAWarning)
{
    const RunHistory history(file);
    ASSERT_EQ(history.append(record(1, RunOutcome::Ok)), "");
    {
        std::ofstream out(file, std::ios::app);
        out << "{\"data_folder\":\"/data\",\"set\":1,\"start\":\"2026-12\n"; // cut off
        out << "not json at all\n";                                          // garbage
        out << "[1,2,3]\n";                                                  // not an object
        out << "{\"data_folder\":\"/data\",\"set\":\"one\"}\n";              // wrong type
        out << "\n";                                                         // blank: no warning
    }
    ASSERT_EQ(history.append(record(1, RunOutcome::Warnings)), "");

    std::vector<std::string> warnings;
    const std::vector<RunRecord> runs = all(history, warnings);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[1].outcome, RunOutcome::Warnings);
    ASSERT_EQ(warnings.size(), 4u);
    EXPECT_NE(warnings[0].find(file + ", line 2: "), std::string::npos) << warnings[0];
    EXPECT_NE(warnings[3].find("line 5: \"set\" has the wrong type; skipped"), std::string::npos)
        << warnings[3];
}

TEST_F(RunHistoryTest, TheLastBackupIsTheLastGoodRealRunOfThatSet)
{
    const RunHistory history(file);
    std::vector<std::string> warnings;
    EXPECT_FALSE(history.lastBackup("/data", numbered(1), warnings));

    ASSERT_EQ(history.append(record(1, RunOutcome::Ok)), "");
    ASSERT_EQ(history.append(record(1, RunOutcome::Warnings, RunMode::Incremental)), "");
    const std::uint64_t good = m_clock;
    ASSERT_EQ(history.append(record(1, RunOutcome::Failed)), "");
    ASSERT_EQ(history.append(record(1, RunOutcome::Cancelled)), "");
    ASSERT_EQ(history.append(record(1, RunOutcome::Refused)), "");
    ASSERT_EQ(history.append(record(1, RunOutcome::Ok, RunMode::DryRun)), "");
    // The same number in another data folder is another set.
    ASSERT_EQ(history.append(record(1, RunOutcome::Ok, RunMode::Full, "/other")), "");
    ASSERT_EQ(history.append(record(2, RunOutcome::Ok)), "");

    const auto last = history.lastBackup("/data", numbered(1), warnings);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->files, good);
    EXPECT_EQ(last->outcome, RunOutcome::Warnings);

    // The last run of any outcome, dry runs left out, is what 'list' shows.
    const auto lastRuns = history.lastRuns("/data", {numbered(1), numbered(2), numbered(3)}, warnings);
    ASSERT_EQ(lastRuns.size(), 2u);
    EXPECT_EQ(lastRuns.at(1).outcome, RunOutcome::Refused);
    EXPECT_EQ(history.runsOf("/data", 1, warnings).size(), 6u);
    EXPECT_EQ(history.runsOf("/data", warnings).size(), 7u);
    EXPECT_TRUE(warnings.empty());
}

TEST_F(RunHistoryTest, RotationKeepsTheNewestLinesAndOneOldFile)
{
    // A small limit: each line is some 300 bytes.
    const RunHistory history(file, 2000);
    for (int i = 0; i < 40; ++i)
        ASSERT_EQ(history.append(record(1, RunOutcome::Ok)), "");
    ASSERT_TRUE(std::filesystem::exists(history.oldFile()));
    EXPECT_LT(std::filesystem::file_size(file), 2000u + 400u);
    EXPECT_LT(std::filesystem::file_size(history.oldFile()), 2000u + 400u);

    std::vector<std::string> warnings;
    const std::vector<RunRecord> runs = all(history, warnings);
    EXPECT_TRUE(warnings.empty());
    // Whatever was dropped with the older file, what is kept is the newest, in order.
    ASSERT_GE(runs.size(), 6u);
    for (std::size_t i = 0; i < runs.size(); ++i)
        EXPECT_EQ(runs[i].files, 40 - runs.size() + 1 + i);
    const auto last = history.lastBackup("/data", numbered(1), warnings);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->files, 40u);
}

TEST_F(RunHistoryTest, ProgramsAppendingAtOnceLoseOrTearNoLine)
{
    // Four processes append 200 records each: first into one file, then with the file
    // rotated under them again and again.
    for (const std::uint64_t rotateSize : {RunHistory::kRotateSize, std::uint64_t{64} * 1024}) {
        std::filesystem::remove(file);
        std::filesystem::remove(file + ".1");
        const RunHistory history(file, rotateSize);
        std::vector<pid_t> children;
        for (int child = 1; child <= 4; ++child) {
            const pid_t pid = ::fork();
            ASSERT_GE(pid, 0);
            if (pid == 0) {
                bool failed = false;
                for (int i = 0; i < 200; ++i)
                    failed |= !history.append(record(child, RunOutcome::Ok)).empty();
                ::_exit(failed ? 1 : 0);
            }
            children.push_back(pid);
        }
        for (const pid_t pid : children) {
            int status = 0;
            ASSERT_EQ(::waitpid(pid, &status, 0), pid);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        std::vector<std::string> warnings;
        const std::vector<RunRecord> runs = all(history, warnings);
        EXPECT_TRUE(warnings.empty()) << warnings.front();
        if (rotateSize == RunHistory::kRotateSize) {
            std::map<std::int32_t, std::size_t> perSet;
            for (const RunRecord& run : runs)
                ++perSet[run.setNumber];
            for (int child = 1; child <= 4; ++child)
                EXPECT_EQ(perSet[child], 200u) << child;
        } else {
            EXPECT_LT(std::filesystem::file_size(file), rotateSize + 4 * 400);
        }
    }
}

TEST_F(RunHistoryTest, AFolderThatCannotBeMadeIsReportedNotThrown)
{
    const std::string blocker = (temp.path() / "blocker").string();
    stowmere::testing::writeText(blocker, "a file where the folder should be");
    const RunHistory history(blocker + "/stowmere/history.jsonl");
    const std::string error = history.append(record(1, RunOutcome::Ok));
    EXPECT_NE(error.find("Cannot record the run in " + blocker + "/stowmere/history.jsonl"),
              std::string::npos)
        << error;
    std::vector<std::string> warnings;
    EXPECT_FALSE(history.lastBackup("/data", numbered(1), warnings));
}

TEST(RunRecordTest, OutcomeAndCountsComeFromTheResult)
{
    const TempFolder temp("record");
    const BackupSet set{4, "Docs", temp.str(), ""};
    BackupSettings settings;
    settings.destination = temp.str();
    settings.incremental = true;
    const auto start = RunRecord::Clock::now();

    BackupResult result;
    result.filesCopied = 3;
    result.bytesCopied = 300;
    EXPECT_EQ(stowmere::catalog::makeRunRecord(temp.str(), set, settings, result, start, "x").outcome,
              RunOutcome::Ok);
    result.notBackedUp.assign(150, {"/src/unreadable", "Permission denied"});
    result.notBackedUpCount = 160;
    result.missingItems = {"/src/gone"};
    RunRecord run = stowmere::catalog::makeRunRecord(temp.str(), set, settings, result, start, "x");
    EXPECT_EQ(run.outcome, RunOutcome::Warnings);
    EXPECT_EQ(run.mode, RunMode::Incremental);
    EXPECT_EQ(run.files, 3u);
    EXPECT_EQ(run.bytes, 300u);
    EXPECT_EQ(run.failures.size(), RunRecord::kMaxFailures);
    EXPECT_EQ(run.failureCount, 160u);
    EXPECT_EQ(run.setNumber, 4);
    EXPECT_EQ(run.description, "Docs");
    // The destination exists: its file system is named, with where it is mounted.
    EXPECT_FALSE(run.fileSystem.empty());
    EXPECT_FALSE(run.mountPoint.empty());

    // A failed copy cancels the run itself: the record says failed, naming the file first.
    result.cancelled = true;
    result.copyFailed = true;
    result.failedFile = "/src/big";
    result.failureReason = "No space left on device";
    run = stowmere::catalog::makeRunRecord(temp.str(), set, settings, result, start, "x");
    EXPECT_EQ(run.outcome, RunOutcome::Failed);
    EXPECT_EQ(run.failures.front().path, "/src/big");
    EXPECT_EQ(run.failureCount, 161u);
    EXPECT_EQ(run.reason, "No space left on device");

    result.copyFailed = false;
    EXPECT_EQ(stowmere::catalog::outcomeOf(result), RunOutcome::Cancelled);
    result.refused = true;
    EXPECT_EQ(stowmere::catalog::outcomeOf(result), RunOutcome::Refused);

    settings.dryRun = true;
    result = {};
    result.preview.files = 9;
    result.preview.bytes = 900;
    run = stowmere::catalog::makeRunRecord(temp.str(), set, settings, result, start, "x");
    EXPECT_EQ(run.mode, RunMode::DryRun);
    EXPECT_EQ(run.files, 9u);
    EXPECT_FALSE(run.isBackup());

    // A destination that is not there has no file system to name.
    settings.destination = temp.str() + "/missing";
    run = stowmere::catalog::makeRefusedRecord(temp.str(), set, settings, "Backup To Folder does not exist.",
                                               start, "x");
    EXPECT_EQ(run.outcome, RunOutcome::Refused);
    EXPECT_TRUE(run.fileSystem.empty());
}

TEST_F(RunHistoryTest, ARunOfADeletedSetIsNeverShownAsTheNextSetGivenItsNumber)
{
    using stowmere::catalog::newSetIdentity;
    const RunHistory history(file);
    // An old line without an identity, a run of a set since deleted, then a run of the set
    // that now has number 1.
    ASSERT_EQ(history.append(record(1, RunOutcome::Ok)), "");
    RunRecord deletedRun = record(1, RunOutcome::Ok);
    deletedRun.setIdentity = newSetIdentity(deletedRun.start - std::chrono::hours(1));
    ASSERT_EQ(history.append(deletedRun), "");
    RunRecord ownRun = record(1, RunOutcome::Warnings);
    const BackupSet set{1, "Set 1", "/media/usb", newSetIdentity(ownRun.start)};
    ownRun.setIdentity = set.identity;
    ASSERT_EQ(history.append(ownRun), "");

    std::vector<std::string> warnings;
    const std::vector<RunRecord> runs = history.runsOf("/data", set, warnings);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].toJsonLine(), ownRun.toJsonLine());
    EXPECT_EQ(history.lastBackups("/data", {set}, warnings).at(1).toJsonLine(), ownRun.toJsonLine());
    EXPECT_EQ(history.runsOf("/data", 1, warnings).size(), 3u) << "by number: every run under it";

    // A set from before identities keeps the lines without one, and only those.
    const std::vector<RunRecord> old =
        history.runsOf("/data", BackupSet{1, "Set 1", "/media/usb", ""}, warnings);
    ASSERT_EQ(old.size(), 1u);
    EXPECT_TRUE(old[0].setIdentity.empty());
    // A line without identity written after a set was made is that set's (an older program
    // ran it); one written before belongs to an earlier holder of the number.
    RunRecord late = record(1, RunOutcome::Ok);
    ASSERT_EQ(history.append(late), "");
    EXPECT_EQ(history.runsOf("/data", set, warnings).size(), 2u);
    EXPECT_TRUE(warnings.empty());
}
