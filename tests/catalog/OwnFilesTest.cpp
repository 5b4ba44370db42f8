// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/Catalog.h"
#include "catalog/RunHistory.h"
#include "catalog/RunRecord.h"
#include "platform/WholeFile.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using stowmere::catalog::Catalog;
using stowmere::catalog::RunHistory;
using stowmere::catalog::RunRecord;
using stowmere::testing::TempFolder;

namespace {

// Runs body in a child that an alarm ends should it block, so that a file opened the
// blocking way fails the test instead of hanging it. The child's exit code is body's.
int inChild(const std::function<int()>& body)
{
    const pid_t child = ::fork();
    if (child == 0) {
        ::alarm(60);
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

bool names(const std::string& text, const std::string& path)
{
    return text.find(path) != std::string::npos && text.find("not a regular file") != std::string::npos;
}

} // namespace

TEST(FilesReadForItself, AFifoOrADeviceInTheirPlaceIsRefusedAtOnceWithItsName)
{
    TempFolder folder;
    const std::string fifo = (folder.path() / "pipe").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int code = inChild([&] {
        int failures = 0;
        for (const std::string& path : {fifo, std::string("/dev/null")}) {
            try {
                stowmere::files::readWholeFile(path);
                failures += 1;
            } catch (const stowmere::files::ReadError& error) {
                failures += names(error.what(), path) && error.reason() == "not a regular file" ? 0 : 1;
            }
        }
        try {
            stowmere::files::readWholeFile(folder.str());
            failures += 1;
        } catch (const stowmere::files::ReadError& error) {
            failures += error.error() == EISDIR && !error.missing() ? 0 : 1;
        }
        try {
            stowmere::files::readWholeFile((folder.path() / "missing").string());
            failures += 1;
        } catch (const stowmere::files::ReadError& error) {
            failures += error.missing() ? 0 : 1;
        }
        return failures;
    });
    EXPECT_EQ(code, 0) << "above 100: ended by a signal (a blocked open)";
}

TEST(FilesReadForItself, AFifoAtATableFileStopsTheOpenWithAMessageNotForEver)
{
    TempFolder folder;
    const std::string table = (folder.path() / "Category.cds").string();
    ASSERT_EQ(::mkfifo(table.c_str(), 0600), 0);
    const int code = inChild([&] {
        Catalog catalog(folder.str());
        try {
            catalog.open();
        } catch (const std::exception& error) {
            return names(error.what(), table) ? 0 : 2;
        }
        for (const std::string& error : catalog.openErrors())
            if (names(error, table))
                return 0;
        return 3;
    });
    EXPECT_EQ(code, 0) << "2: another message, 3: no message, above 100: it blocked";
}

TEST(FilesReadForItself, AFifoAtTheRunHistoryNeitherBlocksTheRecordNorTheReading)
{
    TempFolder folder;
    const std::string file = (folder.path() / "history.jsonl").string();
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    const int code = inChild([&] {
        const RunHistory history(file);
        RunRecord run;
        run.dataFolder = "/data";
        run.start = RunRecord::Clock::from_time_t(1'800'000'000);
        run.end = run.start;
        if (!names(history.append(run), file))
            return 2;
        std::vector<std::string> warnings;
        history.read([](RunRecord&&) {}, warnings);
        return warnings.size() == 1 && names(warnings.front(), file) ? 0 : 3;
    });
    EXPECT_EQ(code, 0) << "2: the record was not refused by name, 3: nor the reading, above 100: it blocked";
}
