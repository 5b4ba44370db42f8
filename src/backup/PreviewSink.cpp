// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/PreviewSink.h"

#include "backup/NodeRefusal.h"
#include "backup/PathText.h"
#include "platform/FileNode.h"
#include "platform/Paths.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace stowmere::backup {
namespace {

// The word a preview uses for what an entry of the destination is.
const char* kindWord(const files::FileStatus& status)
{
    if (status.link)
        return "link";
    switch (status.kind) {
    case files::EntryKind::File:
        return "file";
    case files::EntryKind::Folder:
        return "folder";
    case files::EntryKind::Missing:
    case files::EntryKind::Other:
        break;
    }
    return "special";
}

} // namespace

std::int64_t allocatedBytes(const std::string& path, bool follow)
{
    struct stat info {};
    if ((follow ? ::stat(path.c_str(), &info) : ::lstat(path.c_str(), &info)) != 0)
        return 0;
    return static_cast<std::int64_t>(info.st_blocks) * 512;
}

PreviewSink::PreviewSink(const BackupSettings& settings, Destination& destination, RunLog& record)
    : m_settings(settings), m_destination(destination), m_record(record), m_totals(record.result().preview)
{
}

bool PreviewSink::start()
{
    // What taking the lock would find, without making the lock file: a destination that
    // cannot be written refuses the run with the same words.
    const std::error_code error = m_destination.checkWritable();
    if (!error)
        return true;
    BackupResult& result = m_record.result();
    result.refused = true;
    result.refusal = "Cannot open the lock file " + m_destination.pathOf(BackupEngine::kRunLockName) + ": " +
                     systemText(error.value());
    return false;
}

void PreviewSink::notBackedUp(const std::string& path, const std::string& reason)
{
    m_record.observer().previewEntry({PreviewEntry::Kind::Unreadable, path, {}, 0, reason, {}, {}});
    m_record.notBackedUp(path, reason);
}

void PreviewSink::excluded(const std::string& path)
{
    m_record.excluded();
    m_record.observer().previewEntry({PreviewEntry::Kind::Excluded, path, {}, 0, {}, {}, {}});
}

void PreviewSink::missingItem(const std::string& item)
{
    m_record.observer().previewEntry({PreviewEntry::Kind::Missing, item, {}, 0, {}, {}, {}});
}

void PreviewSink::failed(const std::string& text)
{
    m_record.showError(text);
}

void PreviewSink::foldersListed(std::size_t count)
{
    m_record.observer().foldersListed(count);
}

bool PreviewSink::makeFolder(const FolderFacts& folder, bool& created)
{
    // A folder the run would make: everything in it is new. Something else standing in its
    // place would give way to it.
    PreviewEntry told{PreviewEntry::Kind::Mkdir, folder.source, folder.target, 0, {}, {}, {}};
    const std::size_t slash = folder.relative.rfind('/');
    std::error_code error;
    const FolderHandle parent = slash == std::string_view::npos
                                    ? m_destination.root()
                                    : m_destination.openFolder(folder.relative.substr(0, slash), error);
    if (parent && !folder.relative.empty()) {
        const DestinationEntry there =
            m_destination.status(parent, std::string(folder.relative.substr(slash + 1)));
        if (there.kind != DestinationKind::Missing && there.kind != DestinationKind::Folder) {
            told.kind = PreviewEntry::Kind::Replace;
            told.was = kindWord(statusOf(there));
            told.becomes = "folder";
        }
    }
    m_record.observer().previewEntry(told);
    ++m_totals.folders;
    created = true;
    return true;
}

bool PreviewSink::entry(const EntryFacts& entry)
{
    PreviewEntry told{PreviewEntry::Kind::New, entry.source, entry.target, 0, {}, {}, {}};
    BackupObserver& observer = m_record.observer();
    const files::FileStatus& copy = entry.targetStatus;
    if (entry.link) {
        if (copy.kind != files::EntryKind::Missing && !copy.link) {
            told.kind = PreviewEntry::Kind::Replace;
            told.was = kindWord(copy);
            told.becomes = "link";
            ++m_totals.files;
        } else if (entry.verdict == Verdict::Same) {
            told.kind = PreviewEntry::Kind::Same;
            ++m_totals.same;
        } else {
            told.kind = PreviewEntry::Kind::Link;
            ++m_totals.files;
        }
        observer.previewEntry(told);
        return true;
    }
    if (entry.special() != 0)
        return special(entry, told);
    const files::FileStatus& source = *entry.sourceStatus;
    if (source.kind != files::EntryKind::File) {
        // Gone or changed since the folder was read: the run would list it as not read.
        notBackedUp(entry.source, source.kind == files::EntryKind::Missing
                                      ? systemText(ENOENT)
                                      : "it is no longer what it was when the folder was read");
        return true;
    }
    told.size = source.size;
    const bool anotherName = laterName(entry);
    switch (entry.verdict) {
    case Verdict::Same:
        told.kind = PreviewEntry::Kind::Same;
        told.size = 0;
        ++m_totals.same;
        observer.previewEntry(told);
        return true;
    case Verdict::Size:
        told.kind = PreviewEntry::Kind::Size;
        break;
    case Verdict::Newer:
        told.kind = PreviewEntry::Kind::Newer;
        break;
    case Verdict::Older:
        told.kind = PreviewEntry::Kind::Older;
        break;
    case Verdict::Replace:
        told.kind = PreviewEntry::Kind::Replace;
        break;
    case Verdict::New:
    case Verdict::Unknown:
    case Verdict::Link:
    case Verdict::Special:
        told.kind = PreviewEntry::Kind::New;
        if (copy.kind != files::EntryKind::Missing && (copy.link || copy.kind != files::EntryKind::File)) {
            told.kind = PreviewEntry::Kind::Replace;
            told.was = kindWord(copy);
            told.becomes = "file";
        }
        break;
    }
    ++m_totals.files;
    if (anotherName) {
        // Made a name of the copy of a name met before: nothing is copied.
        told.size = 0;
        observer.previewEntry(told);
        return true;
    }
    m_totals.bytes += told.size;
    if (m_settings.countAllocated) {
        m_totals.allocatedChange += allocatedBytes(entry.source, true);
        // A copy that differs is kept as a version when the set keeps any: it frees nothing.
        const bool keptAside = m_settings.keepVersions > 0 && told.kind != PreviewEntry::Kind::Replace;
        if (entry.targetStatus.kind == files::EntryKind::File && !keptAside)
            m_totals.allocatedChange -= static_cast<std::int64_t>(entry.targetAllocated);
    }
    observer.previewEntry(told);
    return true;
}

} // namespace stowmere::backup

namespace stowmere::backup {

bool PreviewSink::special(const EntryFacts& entry, PreviewEntry& told)
{
    const mode_t format = entry.special();
    if (const std::optional<std::string> refusal = specialRefusal(format, m_destination)) {
        notBackedUp(entry.source, *refusal);
        return true;
    }
    const files::FileStatus& copy = entry.targetStatus;
    if (entry.verdict == Verdict::Same) {
        told.kind = PreviewEntry::Kind::Same;
        ++m_totals.same;
    } else {
        told.kind = files::isDeviceFormat(format) ? PreviewEntry::Kind::Device : PreviewEntry::Kind::Fifo;
        if (told.kind == PreviewEntry::Kind::Device)
            told.becomes = files::specialKindWord(format);
        // A copy of another kind gives way to it.
        if (copy.kind != files::EntryKind::Missing && (copy.link || copy.kind != files::EntryKind::Other)) {
            told.kind = PreviewEntry::Kind::Replace;
            told.was = kindWord(copy);
            told.becomes = files::specialKindWord(format);
        }
        ++m_totals.files;
    }
    m_record.observer().previewEntry(told);
    return true;
}

} // namespace stowmere::backup
