// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/TimeLeft.h"

#include <algorithm>
#include <cmath>

namespace stowmere::backup {
namespace {

using Seconds = std::chrono::duration<double>;

// How quickly the smoothed rate follows the measured one.
constexpr double kSmoothingSeconds = 5.0;

} // namespace

TimeLeftEstimator::TimeLeftEstimator(std::chrono::milliseconds window, std::chrono::milliseconds settle)
    : m_window(window), m_settle(settle)
{
}

void TimeLeftEstimator::update(Clock::time_point now, std::uint64_t done)
{
    // A copy cut off half-way takes its bytes back; the rate must not go below zero for it.
    m_done = std::max(m_done, done);
    if (!m_first)
        m_first = now;
    if (!m_samples.empty() && now <= m_samples.back().first) {
        m_samples.back().second = m_done;
    } else {
        m_samples.emplace_back(now, m_done);
    }
    // Keep one sample older than the window, so that the window is always spanned.
    while (m_samples.size() > 2 && now - m_samples[1].first >= m_window)
        m_samples.pop_front();

    const auto measured = rate();
    if (!measured)
        return;
    if (!m_smoothedAt) {
        m_smoothed = *measured;
    } else {
        const double elapsed = Seconds(now - *m_smoothedAt).count();
        m_smoothed += (1.0 - std::exp(-elapsed / kSmoothingSeconds)) * (*measured - m_smoothed);
    }
    m_smoothedAt = now;
}

std::optional<double> TimeLeftEstimator::rate() const
{
    if (m_samples.size() < 2 || !m_first)
        return std::nullopt;
    const auto& [lastTime, lastDone] = m_samples.back();
    if (lastTime - *m_first < m_settle)
        return std::nullopt;
    const auto& [firstTime, firstDone] = m_samples.front();
    const double seconds = Seconds(lastTime - firstTime).count();
    if (seconds <= 0)
        return std::nullopt;
    return static_cast<double>(lastDone - firstDone) / seconds;
}

std::optional<std::chrono::seconds> TimeLeftEstimator::timeLeft() const
{
    if (m_total == 0 || !m_smoothedAt || m_smoothed <= 0)
        return std::nullopt;
    const std::uint64_t left = m_total > m_done ? m_total - m_done : 0;
    const double seconds = std::ceil(static_cast<double>(left) / m_smoothed);
    // Past a year the figure means nothing but "stalled".
    return std::chrono::seconds(static_cast<std::int64_t>(std::min(seconds, 366.0 * 24 * 3600)));
}

std::string formatTimeLeft(std::chrono::seconds left)
{
    const std::int64_t seconds = std::max<std::int64_t>(left.count(), 0);
    if (seconds <= 55)
        return std::to_string(std::max<std::int64_t>((seconds + 4) / 5 * 5, 5)) + " s left";
    const std::int64_t minutes = (seconds + 59) / 60;
    if (minutes < 60)
        return std::to_string(minutes) + " min left";
    if (minutes < std::int64_t{10} * 60) {
        const std::int64_t hours = minutes / 60;
        const std::int64_t rest = minutes % 60;
        return std::to_string(hours) + " h" + (rest > 0 ? " " + std::to_string(rest) + " min" : "") + " left";
    }
    return std::to_string((minutes + 59) / 60) + " h left";
}

} // namespace stowmere::backup
