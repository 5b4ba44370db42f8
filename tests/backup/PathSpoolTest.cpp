// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/PathSpool.h"
#include "backup/Manifest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

using namespace stowmere::backup;

namespace {

std::vector<std::string> drained(PathSpool& spool, std::error_code& error,
                                 const std::atomic<bool>* cancel = nullptr)
{
    std::vector<std::string> paths;
    error = spool.drain([&paths](const std::string& path) { paths.push_back(path); }, cancel);
    return paths;
}

} // namespace

TEST(PathSpool, GivesBackEachPathOnceInTheManifestsOrderAcrossSpilledRuns)
{
    // More than two runs' worth, with repeats across runs, names with any byte but NUL and
    // '/', and a folder's tree that must come before a sibling sharing its name's start.
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < PathSpool::kRunPaths + PathSpool::kRunPaths / 2; ++i)
        paths.push_back("f" + std::to_string(i % 997) + "/n" + std::to_string(i));
    paths.insert(paths.end(), {"a/z", "a.txt", "a", "line\nbreak", "\xff\xfe", "a/z", "f1/n1"});
    std::vector<std::string> expected = paths;
    std::sort(expected.begin(), expected.end(),
              [](const std::string& a, const std::string& b) { return manifestPathLess(a, b); });
    expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
    std::shuffle(paths.begin(), paths.end(), std::mt19937(7));
    // Each path again, so that one repeats within and across runs.
    const std::vector<std::string> again(paths.begin(),
                                         paths.begin() + static_cast<std::ptrdiff_t>(PathSpool::kRunPaths));
    paths.insert(paths.end(), again.begin(), again.end());

    PathSpool spool;
    for (const std::string& path : paths)
        spool.add(path);
    EXPECT_EQ(spool.size(), paths.size());
    std::error_code error;
    const std::vector<std::string> got = drained(spool, error);
    EXPECT_FALSE(error) << error.message();
    EXPECT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected);
    EXPECT_TRUE(spool.empty());
    EXPECT_TRUE(drained(spool, error).empty());
}

TEST(PathSpool, ACancelStopsTheMergeAndSaysSo)
{
    PathSpool spool;
    for (std::size_t i = 0; i < PathSpool::kRunPaths + 10; ++i)
        spool.add(std::to_string(i));
    std::atomic<bool> cancel{true};
    std::error_code error;
    EXPECT_TRUE(drained(spool, error, &cancel).empty());
    EXPECT_EQ(error, std::errc::operation_canceled);
}
