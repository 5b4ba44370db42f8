// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ProgressTitle.h"

#include "app/StringConversion.h"

namespace stowmere::app {

void ProgressTitle::reset()
{
    m_copied = 0;
    m_inFlight = 0;
    m_estimator = backup::TimeLeftEstimator();
}

void ProgressTitle::setBytesCopied(Clock::time_point now, std::uint64_t bytes)
{
    m_copied = bytes;
    m_inFlight = 0;
    m_estimator.update(now, m_copied);
}

void ProgressTitle::setFileProgress(Clock::time_point now, std::uint64_t done)
{
    m_inFlight = done;
    m_estimator.update(now, m_copied + m_inFlight);
}

QString ProgressTitle::title() const
{
    const auto left = m_estimator.timeLeft();
    if (!left)
        return tr("Progress");
    return tr("Progress - %1").arg(toQString(backup::formatTimeLeft(*left)));
}

} // namespace stowmere::app
