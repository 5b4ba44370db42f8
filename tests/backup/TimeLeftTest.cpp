// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/TimeLeft.h"

#include <gtest/gtest.h>

using stowmere::backup::formatTimeLeft;
using stowmere::backup::TimeLeftEstimator;
using namespace std::chrono_literals;

namespace {

/// Feeds the estimator a steady rate (amount per second) from start for a number of
/// tenths of a second.
void feed(TimeLeftEstimator& estimator, TimeLeftEstimator::Clock::time_point& now, std::uint64_t& done,
          std::uint64_t perSecond, int tenths)
{
    for (int i = 0; i < tenths; ++i) {
        now += 100ms;
        done += perSecond / 10;
        estimator.update(now, done);
    }
}

} // namespace

TEST(TimeLeftEstimator, NoEstimateUntilTheTotalAndASteadyRateAreKnown)
{
    TimeLeftEstimator estimator;
    auto now = TimeLeftEstimator::Clock::time_point{} + 1h;
    std::uint64_t done = 0;
    estimator.update(now, done);
    feed(estimator, now, done, 1000, 29);
    EXPECT_FALSE(estimator.rate());
    EXPECT_FALSE(estimator.timeLeft());
    feed(estimator, now, done, 1000, 2);
    ASSERT_TRUE(estimator.rate());
    EXPECT_NEAR(*estimator.rate(), 1000.0, 1.0);
    // A rate, but no total yet.
    EXPECT_FALSE(estimator.timeLeft());
    estimator.setTotal(done + 60'000);
    ASSERT_TRUE(estimator.timeLeft());
    EXPECT_NEAR(static_cast<double>(estimator.timeLeft()->count()), 60.0, 1.0);
}

TEST(TimeLeftEstimator, FollowsAChangeOfRateSmoothly)
{
    TimeLeftEstimator estimator;
    auto now = TimeLeftEstimator::Clock::time_point{} + 1h;
    std::uint64_t done = 0;
    estimator.setTotal(10'000'000);
    estimator.update(now, done);
    feed(estimator, now, done, 10'000, 100);
    const double before = static_cast<double>(estimator.timeLeft()->count());
    // The run slows to a tenth: one second later the estimate has moved, but not jumped.
    feed(estimator, now, done, 1'000, 10);
    const double soon = static_cast<double>(estimator.timeLeft()->count());
    EXPECT_GT(soon, before);
    EXPECT_LT(soon, before * 3);
    // Well after the window, it has settled on the new rate.
    feed(estimator, now, done, 1'000, 400);
    EXPECT_NEAR(*estimator.rate(), 1000.0, 1.0);
    EXPECT_NEAR(static_cast<double>(estimator.timeLeft()->count()),
                static_cast<double>(10'000'000 - done) / 1000,
                static_cast<double>(10'000'000 - done) / 1000 * 0.05);
}

TEST(TimeLeftEstimator, AnAmountThatGoesBackIsTakenAsStandingStill)
{
    TimeLeftEstimator estimator;
    auto now = TimeLeftEstimator::Clock::time_point{} + 1h;
    estimator.setTotal(100'000);
    estimator.update(now, 0);
    estimator.update(now + 2s, 20'000);
    // A copy cut off takes its bytes back.
    estimator.update(now + 4s, 10'000);
    ASSERT_TRUE(estimator.rate());
    EXPECT_GE(*estimator.rate(), 0.0);
    EXPECT_NEAR(*estimator.rate(), 5000.0, 1.0);
    // Done, or beyond: nothing left.
    estimator.update(now + 5s, 120'000);
    EXPECT_EQ(estimator.timeLeft(), 0s);
}

TEST(TimeLeftEstimator, StalledRunHasNoEstimate)
{
    TimeLeftEstimator estimator;
    auto now = TimeLeftEstimator::Clock::time_point{} + 1h;
    estimator.setTotal(1000);
    for (int i = 0; i < 100; ++i)
        estimator.update(now + i * 100ms, 0);
    EXPECT_FALSE(estimator.timeLeft());
}

TEST(formatTimeLeft, SecondsMinutesAndHours)
{
    EXPECT_EQ(formatTimeLeft(0s), "5 s left");
    EXPECT_EQ(formatTimeLeft(1s), "5 s left");
    EXPECT_EQ(formatTimeLeft(5s), "5 s left");
    EXPECT_EQ(formatTimeLeft(6s), "10 s left");
    EXPECT_EQ(formatTimeLeft(55s), "55 s left");
    EXPECT_EQ(formatTimeLeft(56s), "1 min left");
    EXPECT_EQ(formatTimeLeft(60s), "1 min left");
    EXPECT_EQ(formatTimeLeft(61s), "2 min left");
    EXPECT_EQ(formatTimeLeft(180s), "3 min left");
    EXPECT_EQ(formatTimeLeft(59min), "59 min left");
    EXPECT_EQ(formatTimeLeft(59min + 1s), "1 h left");
    EXPECT_EQ(formatTimeLeft(60min), "1 h left");
    EXPECT_EQ(formatTimeLeft(2h + 4min + 1s), "2 h 5 min left");
    EXPECT_EQ(formatTimeLeft(9h + 59min), "9 h 59 min left");
    EXPECT_EQ(formatTimeLeft(9h + 59min + 1s), "10 h left");
    EXPECT_EQ(formatTimeLeft(13h + 1s), "14 h left");
}
