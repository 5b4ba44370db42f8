// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/CountSink.h"

#include "backup/PreviewSink.h"

#include <sys/stat.h>

namespace stowmere::backup {

CountSink::CountSink(const BackupSettings& settings, BackupObserver& observer, const PreviewTotals& before)
    : m_settings(settings), m_observer(observer), m_before(before)
{
}

bool CountSink::entry(const EntryFacts& entry)
{
    if (entry.special() != 0) {
        // Made, not copied: no bytes. A socket is never made.
        if (entry.special() == S_IFSOCK)
            return true;
    } else if (!entry.link) {
        // Gone or changed since its folder was read: the copy will list it, not copy it.
        if (entry.sourceStatus->kind != files::EntryKind::File)
            return true;
        if (laterName(entry)) {
            ++m_counted.files;
            return true;
        }
        m_counted.bytes += entry.sourceStatus->size;
        m_counted.allocatedChange += allocatedBytes(entry.source, true);
        // A copy that differs is kept as a version when the set keeps any: it frees nothing.
        const bool keptAside = m_settings.keepVersions > 0 && entry.verdict != Verdict::Replace;
        if (entry.targetStatus.kind == files::EntryKind::File && !keptAside)
            m_counted.allocatedChange -= static_cast<std::int64_t>(entry.targetAllocated);
    }
    ++m_counted.files;
    const std::uint64_t files = m_before.files + m_counted.files;
    // The space needed is known once the count is complete.
    if (files % kTellEvery == 0)
        m_observer.totalsCounted({files, m_before.bytes + m_counted.bytes, m_before.neededBytes(), false});
    return true;
}

} // namespace stowmere::backup
