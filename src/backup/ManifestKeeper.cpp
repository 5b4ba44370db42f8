// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/ManifestKeeper.h"

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
                                const std::optional<ContentHash>& written, std::uint64_t bytes)
{
    const std::string relative = folder->relative().empty() ? name : folder->relative() + '/' + name;
    if (m_marked.erase(relative) > 0)
        ++m_healed;
    if (!openJournal())
        return;
    // A copy that cannot be recorded now stays without a record: verification hashes it
    // and lists it as unrecorded, which is all that is lost. Told once.
    const std::error_code error = written ? m_journal->recordCopy(folder, name, *written, bytes, m_cancel)
                                          : m_journal->recordCopy(folder, name, m_cancel);
    if (error == std::errc::operation_canceled)
        return; // hashed again by the next verification, as any unrecorded copy
    if (error)
        noteFailure("Cannot record the copy " + m_destination.pathOf(relative) +
                    " in the manifest: " + error.message());
}

bool ManifestKeeper::openJournal()
{
    if (!m_journal && !m_failed) {
        // Opened with the first record: a run that records nothing leaves no journal.
        std::error_code error;
        m_journal = ManifestJournal::open(m_destination, error);
        if (!m_journal) {
            m_failed = true;
            if (error != std::errc::not_supported)
                m_notes.push_back("Cannot record the copies in the manifest " +
                                  m_destination.pathOf(kManifestJournalName) + ": " + error.message());
        }
    }
    return m_journal != nullptr;
}

void ManifestKeeper::noteUpToDate(std::string_view relative)
{
    if (!m_failed)
        m_upToDate.add(relative);
}

std::uint64_t ManifestKeeper::recordUpToDate()
{
    if (m_upToDate.empty() || m_failed || cancelled())
        return 0;
    // The reader must see what this run recorded so far.
    flush();
    ManifestReader manifest(m_destination, m_cancel);
    // A manifest that cannot be read at all would make every copy look unrecorded.
    for (const ManifestDamage& damage : manifest.damage())
        if (damage.line == 0 && damage.reason.starts_with("cannot be read"))
            return 0;
    const ManifestRecord* record = manifest.next();
    std::uint64_t recorded = 0;
    std::string folderPath;
    FolderHandle folder;
    const std::error_code error = m_upToDate.drain(
        [&](const std::string& path) {
            while (record != nullptr && manifestPathLess(record->path, path))
                record = manifest.next();
            // Known, even as damaged: verification keeps what it found.
            if ((record != nullptr && record->path == path) || m_failed || cancelled())
                return;
            const std::size_t slash = path.rfind('/');
            const std::string parent = slash == std::string::npos ? std::string() : path.substr(0, slash);
            const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
            if (!folder || parent != folderPath) {
                std::error_code openError;
                folder = m_destination.openFolder(parent, openError);
                folderPath = parent;
                if (!folder)
                    return; // gone or replaced since the walk: nothing to record
            }
            if (!openJournal())
                return;
            const std::error_code hashError = m_journal->recordCopy(folder, name, m_cancel);
            if (!hashError)
                ++recorded;
            else if (hashError != std::errc::operation_canceled &&
                     hashError != std::errc::no_such_file_or_directory)
                noteFailure("Cannot record the copy " + m_destination.pathOf(path) +
                            " in the manifest: " + hashError.message());
        },
        m_cancel);
    // A manifest cut short by its damage or by cancel can only make a copy look unrecorded,
    // never the other way round: the worst is a copy hashed twice.
    if (error && error != std::errc::operation_canceled)
        noteFailure("Cannot list the copies found up to date for the manifest: " + error.message());
    flush();
    return recorded;
}

void ManifestKeeper::flush()
{
    if (!m_journal)
        return;
    if (const std::error_code error = m_journal->flush())
        noteFailure("Cannot record the copies in the manifest " + m_destination.pathOf(kManifestJournalName) +
                    ": " + error.message());
}

void ManifestKeeper::noteFailure(std::string text)
{
    // Told once: a copy that cannot be recorded stays without a record, which the next
    // verification hashes and lists as unrecorded.
    if (m_failed)
        return;
    m_failed = true;
    m_notes.push_back(std::move(text));
}

} // namespace stowmere::backup
