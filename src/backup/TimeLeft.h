// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <utility>

namespace stowmere::backup {

/// Estimates how long a run has left from how fast it has been going lately.
///
/// The rate is measured over a sliding window of the last seconds (so a run that slows
/// down on a slower part of the tree is seen to), and smoothed, so that one large file
/// or a burst of small ones does not make the estimate jump. No estimate is given until
/// the total is known and the rate has been measured for a few seconds: an early guess is
/// worse than none. Amounts are whatever the caller counts (bytes, or files when the run
/// copies nothing but empty files); they are taken as never going back.
class TimeLeftEstimator {
public:
    using Clock = std::chrono::steady_clock;

    explicit TimeLeftEstimator(std::chrono::milliseconds window = std::chrono::seconds(10),
                               std::chrono::milliseconds settle = std::chrono::seconds(3));

    /// The amount the run will have done at its end; 0 while it is not known.
    void setTotal(std::uint64_t total) { m_total = total; }
    std::uint64_t total() const { return m_total; }

    /// The amount done by now.
    void update(Clock::time_point now, std::uint64_t done);

    /// Amount per second, once it has been measured long enough.
    std::optional<double> rate() const;
    /// What is left, at the smoothed rate; none before the total and a steady rate are known.
    std::optional<std::chrono::seconds> timeLeft() const;

private:
    std::chrono::milliseconds m_window;
    std::chrono::milliseconds m_settle;
    std::uint64_t m_total = 0;
    std::uint64_t m_done = 0;
    std::deque<std::pair<Clock::time_point, std::uint64_t>> m_samples;
    std::optional<Clock::time_point> m_first;
    std::optional<Clock::time_point> m_smoothedAt;
    double m_smoothed = 0;
};

/// The time left as the progress title shows it: "45 s left" (5-second steps, rounded up,
/// below a minute), "3 min left" (rounded up, below an hour), "2 h 5 min left" (below ten
/// hours), "14 h left".
std::string formatTimeLeft(std::chrono::seconds left);

} // namespace stowmere::backup
