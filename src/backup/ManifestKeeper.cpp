// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/ManifestKeeper.h"

#include <algorithm>

namespace stowmere::backup {

ManifestKeeper::ManifestKeeper(Destination& destination, const std::atomic<bool>* cancel)
    : m_destination(destination), m_cancel(cancel)
{
    const auto learn = [this](const ManifestRecord& record) {
        if (record.mark == ManifestMark::Damaged && m_marked.size() < kMaxMarked)
            m_marked.insert(record.path);
    };
    std::vector<ManifestDamage> damage;
    std::error_code error;
    // A journal left behind (a killed run, a verification) is merged before this run adds
    // to it, so the journal stays short and the sorted file holds nearly everything.
    if (!compactManifest(destination, damage, error, learn, cancel)) {
        if (error != std::errc::operation_canceled)
            m_notes.push_back("The manifest in " + destination.pathOf("") + " cannot be rewritten: " +
                              error.message() + ". Its journal keeps growing until it can.");
    } else if (const auto marked = markedInManifest(destination); marked && *marked > 0 && m_marked.empty()) {
        ManifestReader reader(destination, cancel);
        for (const ManifestRecord* record = reader.next(); record != nullptr && !cancelled();
             record = reader.next())
            learn(*record);
    }
    for (const ManifestDamage& place : damage)
        m_notes.push_back(
            "The manifest is damaged, " + place.text() +
            ". What could not be read is left out; the next verification hashes those copies anew.");
}

void ManifestKeeper::recordCopy(const FolderHandle& folder, const std::string& name,
                                const files::CopyOutcome* written)
{
    const std::string relative = folder->relative().empty() ? name : folder->relative() + '/' + name;
    if (m_marked.erase(relative) > 0)
        ++m_healed;
    if (!m_journal && !m_failed) {
        // Opened with the first copy: a run that copies nothing leaves no journal.
        std::error_code error;
        m_journal = ManifestJournal::open(m_destination, error);
        if (!m_journal) {
            m_failed = true;
            if (error != std::errc::not_supported)
                m_notes.push_back("Cannot record the copies in the manifest " +
                                  m_destination.pathOf(kManifestJournalName) + ": " + error.message());
        }
    }
    if (!m_journal)
        return;
    // A copy that cannot be recorded now stays without a record: verification hashes it
    // and lists it as unrecorded, which is all that is lost. Told once.
    std::error_code error;
    if (written && written->contentHash) {
        ManifestRecord record;
        record.path = relative;
        std::copy(written->contentHash->begin(), written->contentHash->end(), record.hash.bytes.begin());
        record.size = written->bytes;
        record.modified = written->copyModified;
        error = m_journal->add(record);
    } else {
        error = m_journal->recordCopy(folder, name, m_cancel);
    }
    if (error == std::errc::operation_canceled)
        return; // hashed again by the next verification, as any unrecorded copy
    if (error && !m_failed) {
        m_failed = true;
        m_notes.push_back("Cannot record the copy " + m_destination.pathOf(relative) +
                          " in the manifest: " + error.message());
    }
}

} // namespace stowmere::backup
