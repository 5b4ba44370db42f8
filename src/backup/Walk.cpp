// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/Walk.h"

#include "backup/BackupStartCheck.h"
#include "backup/FolderStream.h"
#include "backup/PathText.h"
#include "backup/ReverseText.h"
#include "platform/OpenFolder.h"
#include "platform/Paths.h"
#include "platform/ScopeExit.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <optional>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace stowmere::backup {
namespace {

using files::EntryKind;

// Whether two links hold the same target text.
bool sameLinkText(const std::string& source, const std::string& target)
{
    char sourceText[PATH_MAX];
    char targetText[PATH_MAX];
    const ssize_t sourceLength = ::readlink(source.c_str(), sourceText, sizeof sourceText);
    const ssize_t targetLength = ::readlink(target.c_str(), targetText, sizeof targetText);
    return sourceLength >= 0 && sourceLength == targetLength &&
           std::memcmp(sourceText, targetText, static_cast<std::size_t>(sourceLength)) == 0;
}

} // namespace

Walk::Walk(const WalkSettings& settings, const Exclusions& exclusions, const std::atomic<bool>& cancelFlag,
           TimeGranularity& granularity, RunSink& sink)
    : m_dest(settings.destination), m_incremental(settings.incremental),
      m_honourCacheDirTag(settings.honourCacheDirTag), m_parallelScan(settings.parallelScan),
      m_exclusions(exclusions), m_cancelFlag(cancelFlag), m_granularity(granularity), m_sink(sink)
{
}

Walk::Outcome Walk::item(const std::string& item)
{
    // An item checked after the run started escaped the check before it.
    if (LieInsideEachOther(m_dest.empty() ? std::string(1, paths::kSeparator) : m_dest, item))
        return Outcome::Overlap;
    // What the item is on disk decides how it is walked, not whether its name has a dot:
    // "My.Data" may be a folder and "Makefile" a file.
    switch (files::kindOf(item)) {
    case EntryKind::File:
        fileItem(item);
        return Outcome::Walked;
    case EntryKind::Folder:
        folderItem(item);
        return Outcome::Walked;
    case EntryKind::Missing:
    case EntryKind::Other:
        break;
    }
    m_sink.missingItem(item);
    return Outcome::Missing;
}

std::string Walk::baseName(const std::string& item)
{
    if (paths::isRoot(item))
        return {};
    // The text after the last separator; empty when the item ends with one.
    const std::string reversed = ReverseText(item);
    const std::size_t separator = reversed.find(paths::kSeparator);
    std::string base = ReverseText(std::string_view(reversed).substr(0, separator));
    // "." and ".." name no folder of their own: a base of ".." would put the copy beside
    // the destination instead of inside it.
    if (base == "." || base == "..")
        return {};
    return base;
}

void Walk::fileItem(const std::string& item)
{
    if (files::onPseudoFileSystem(item)) {
        m_sink.notBackedUp(item, kPseudoFileSystemReason);
        return;
    }
    const std::string name = paths::fileNamePart(item);
    if (m_exclusions.excludes(name, false)) {
        m_sink.excluded(item);
        return;
    }
    const std::string folder = m_dest.empty() ? std::string(1, paths::kSeparator) : m_dest;
    const std::string target = m_dest + paths::kSeparator + name;
    const files::FileStatus source = files::statusOf(item);
    files::FileStatus existing;
    struct stat targetInfo {};
    if (::lstat(target.c_str(), &targetInfo) == 0) {
        existing = files::statusFromStat(targetInfo);
        // The item is its own copy (an item of the destination itself, reached through a
        // link or a mount): nothing to do.
        if (existing.identity == source.identity)
            return;
    }
    const Verdict decided = looksAtTargets() ? classify(existing, source) : Verdict::Unknown;
    if (decided == Verdict::Same && !m_sink.wantsUnchanged())
        return;
    m_sink.entry({item, target, folder, false, 0, &source, existing, decided});
}

Verdict Walk::classify(const files::FileStatus& target, const files::FileStatus& source)
{
    if (target.kind != EntryKind::File)
        return Verdict::New;
    if (target.size != source.size)
        return Verdict::Size;
    if (!isUpToDate(target, source, m_granularity.get()))
        return Verdict::Newer;
    return m_incremental ? Verdict::Same : Verdict::Replace;
}

void Walk::folderItem(const std::string& item)
{
    const std::string base = baseName(item);
    FolderScan scan(item, scanSettings(base), m_exclusions, m_cancelFlag);
    // The stream goes first, so its thread has stopped before the scan it drives goes.
    FolderStream stream([&scan](const std::atomic<bool>& stop) { return scan.next(stop); }, scanAhead(),
                        kMaxFilesAhead);
    const ScopeExit done([this] { m_sink.folderItemDone(); });
    while (!cancelled()) {
        FolderRecord record = stream.take();
        if (record.error)
            std::rethrow_exception(record.error);
        // What the scan met on its way here is told now, on this thread and in the order
        // met, whether the scan ran ahead or not.
        for (const ScanExclusion& left : record.exclusions)
            m_sink.excluded(left.path);
        if (record.end)
            break;
        if (record.index > 0)
            m_sink.foldersListed(record.index + 1);
        if (record.unreadable)
            m_sink.notBackedUp(item + record.rel, record.unreadableReason);
        if (cancelled())
            break;
        folder(item, base, record);
    }
}

ScanSettings Walk::scanSettings(const std::string& base) const
{
    ScanSettings settings;
    settings.lookAtFiles = looksAtTargets();
    settings.honourCacheDirTag = m_honourCacheDirTag;
    settings.maxFilesPerFolder = kMaxFilesAhead;
    // A full copy reads every file: read ahead, the disk works on the next files while the
    // sink writes the last ones. An incremental run copies few of the files it scans.
    if (!m_incremental && m_sink.readsFiles() && scanAhead())
        settings.prefetchBytes = kPrefetchBytes;
    // A destination inside the item must not be copied into itself, nor the item's own
    // copy from an earlier run.
    for (const std::string& folder :
         {m_dest.empty() ? std::string(1, paths::kSeparator) : m_dest, m_dest + paths::kSeparator + base}) {
        if (const auto identity = files::identityOf(folder))
            settings.excluded.push_back(*identity);
    }
    return settings;
}

bool Walk::scanAhead() const
{
    return m_parallelScan && std::thread::hardware_concurrency() > 1;
}

void Walk::folder(const std::string& item, const std::string& base, const FolderRecord& record)
{
    try {
        if (record.unreadable)
            return; // told as the record was taken
        const std::string source = item + record.rel;
        const std::string target = m_dest + paths::kSeparator + base + record.rel;
        // The destination itself (an item copied straight into it) keeps its own bits.
        const FolderFacts facts{source, target, record.mode, record.index == 0 && base.empty()};
        // Where each copy is looked at, the folder is held open: that spares walking both
        // full paths for every file. A copy folder that opens needs no making.
        std::optional<files::OpenFolder> lookup;
        if (looksAtTargets())
            lookup.emplace(target, files::OpenFolder::Purpose::LookUp);
        bool created = false;
        if (!lookup || !lookup->isOpen()) {
            if (!m_sink.makeFolder(facts, created))
                return;
            if (created)
                lookup.reset(); // it holds nothing yet
            else if (lookup)
                lookup.emplace(target, files::OpenFolder::Purpose::LookUp);
        }
        files::FileStatus existing;
        if (!created) {
            existing = lookup ? lookup->status() : files::statusOf(target);
            // The destination reached again through a mount: its files are their own copies.
            if (existing.identity == record.identity)
                return;
        }
        m_sink.folderReady(facts, created ? nullptr : &existing);
        if (record.skip)
            return; // a pseudo file system's mount point: made, never read

        if (record.files) {
            // The scan's list may be stale by now: a folder gone since is told as the folder
            // that cannot be read, before its first file, not as many failed files.
            entries(facts, record.rel, *record.files, lookup ? &*lookup : nullptr, created, false);
            return;
        }
        // Too many files to keep while scanning: the folder is read again now.
        std::vector<ScannedFile> files;
        {
            const files::OpenFolder sourceRead(source);
            std::vector<files::FolderEntry> found;
            try {
                found = sourceRead.entries();
            } catch (const std::system_error& error) {
                m_sink.notBackedUp(source, error.code().message());
                return;
            }
            files.reserve(found.size());
            const bool look = looksAtTargets();
            for (files::FolderEntry& entry : found) {
                if (!entry.link && entry.kind != EntryKind::File)
                    continue;
                ScannedFile& file = files.emplace_back();
                if (look && !entry.link)
                    file.status = sourceRead.entryStatus(entry.name);
                file.name = std::move(entry.name);
                file.link = entry.link;
            }
        }
        entries(facts, record.rel, files, lookup ? &*lookup : nullptr, created, true);
    } catch (const std::exception& error) {
        m_sink.failed(error.what());
    }
}

void Walk::entries(const FolderFacts& folder, const std::string& rel, const std::vector<ScannedFile>& files,
                   const files::OpenFolder* targetLookup, bool targetNew, bool sourceSeen)
{
    std::vector<bool> leftOut;
    if (!m_exclusions.empty()) {
        leftOut.resize(files.size());
        std::string relative;
        for (std::size_t i = 0; i < files.size(); ++i) {
            relative = rel;
            relative += paths::kSeparator;
            relative += files[i].name;
            leftOut[i] = m_exclusions.excludes(relative, false);
        }
    }
    m_sink.beginEntries(folder, files, leftOut);
    try {
        walkEntries(folder, files, leftOut, targetLookup, targetNew, sourceSeen);
    } catch (...) {
        m_sink.abandonEntries();
        throw;
    }
    m_sink.endEntries();
}

void Walk::walkEntries(const FolderFacts& folder, const std::vector<ScannedFile>& files,
                       const std::vector<bool>& leftOut, const files::OpenFolder* targetLookup,
                       bool targetNew, bool sourceSeen)
{
    const bool look = looksAtTargets();
    const bool classifyLinks = m_sink.looksAtTargets();
    for (std::size_t i = 0; i < files.size(); ++i) {
        const ScannedFile& file = files[i];
        if (!leftOut.empty() && leftOut[i]) {
            m_sink.excluded(paths::join(folder.source, file.name));
            continue;
        }
        if (cancelled())
            return;
        files::FileStatus targetStatus;
        if (targetLookup && !targetNew && (!file.link || classifyLinks))
            targetStatus = targetLookup->entryStatus(file.name);
        Verdict decided = Verdict::Unknown;
        if (file.link) {
            decided = Verdict::Link;
            // An incremental run leaves a link whose copy already points the same way; a
            // sink that writes finds that out as it makes the link.
            if (classifyLinks && m_incremental && targetStatus.kind != EntryKind::Missing &&
                sameLinkText(paths::join(folder.source, file.name), paths::join(folder.target, file.name)))
                decided = Verdict::Same;
        } else if (look) {
            decided = classify(targetStatus, file.status);
        }
        // A file found up to date needs nothing of its folder, not even that it is still there.
        if (decided == Verdict::Same && !m_sink.wantsUnchanged())
            continue;
        if (!sourceSeen) {
            if (!files::isFolder(folder.source)) {
                m_sink.notBackedUp(folder.source, SystemText(ENOENT));
                return;
            }
            sourceSeen = true;
        }
        const std::string source = paths::join(folder.source, file.name);
        const std::string target = paths::join(folder.target, file.name);
        if (!m_sink.entry({source, target, folder.target, file.link, i, look ? &file.status : nullptr,
                           targetStatus, decided}))
            return;
    }
}

} // namespace stowmere::backup
