// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/FileQueries.h"

#include <cstdint>
#include <optional>
#include <string>

namespace stowmere::backup {

/// The incremental rule: a copy is up to date when it is a file of the source's size whose
/// modification time, cut down to the destination's granularity (in nanoseconds), is not
/// older than the source's. A copy newer than its source is kept, as the user may have
/// reasons for it.
bool isUpToDate(const files::FileStatus& target, const files::FileStatus& source, std::int64_t granularity);

/// Whether two times are equal once cut down to the granularity.
bool sameTime(const timespec& a, const timespec& b, std::int64_t granularity);

/// The finest modification-time step the file system holding folder keeps, in
/// nanoseconds, found by writing a known time to a temporary file and reading it back:
/// 1 on ext4, 2,000,000,000 on FAT. 1 when it cannot be found out (copying too much is
/// safe; skipping a changed file is not).
std::int64_t probeTimeGranularity(const std::string& folder);
/// The same for an open folder.
std::int64_t probeTimeGranularity(int folderFd);

/// The time granularity guessed without writing, from the kind of file system holding
/// folder: 2 s for FAT, 10 ms for exFAT, else 1.
std::int64_t guessTimeGranularity(const std::string& folder);
/// The same for an open folder.
std::int64_t guessTimeGranularity(int folderFd);

class Destination;

/// The granularity of one destination, found the first time it is needed: measured by a
/// run that writes, guessed by one that must not. Many runs never need it.
class TimeGranularity {
public:
    TimeGranularity(Destination& destination, bool mayWrite)
        : m_destination(destination), m_mayWrite(mayWrite)
    {
    }

    std::int64_t get();
    /// Takes a granularity another run found, so that both decide alike.
    void set(std::int64_t value) { m_value = value; }

private:
    Destination& m_destination;
    bool m_mayWrite;
    std::optional<std::int64_t> m_value;
};

} // namespace stowmere::backup
