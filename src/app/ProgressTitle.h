// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/TimeLeft.h"

#include <QCoreApplication>
#include <QString>

#include <cstdint>

namespace stowmere::app {

/// The progress window's title during a run: "Progress", and "Progress - 3 min left" once
/// the run's total bytes are counted and its rate is steady. Bytes done are those of the
/// files copied whole plus the part of the file being copied.
class ProgressTitle {
    Q_DECLARE_TR_FUNCTIONS(stowmere::app::ProgressTitle)

public:
    using Clock = backup::TimeLeftEstimator::Clock;

    /// Starts over for a new run: no total, nothing done.
    void reset();
    /// The bytes the run will copy, once counted completely.
    void setTotal(std::uint64_t bytes) { m_estimator.setTotal(bytes); }
    /// Files copied whole, in bytes; the file being copied starts again from 0.
    void setBytesCopied(Clock::time_point now, std::uint64_t bytes);
    /// How far the file being copied has come.
    void setFileProgress(Clock::time_point now, std::uint64_t done);

    QString title() const;

private:
    std::uint64_t m_copied = 0;
    std::uint64_t m_inFlight = 0;
    backup::TimeLeftEstimator m_estimator;
};

} // namespace stowmere::app
