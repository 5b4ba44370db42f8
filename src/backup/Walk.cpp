// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/Walk.h"

#include "backup/BackupStartCheck.h"
#include "backup/FolderStream.h"
#include "backup/OwnNames.h"
#include "backup/PathText.h"
#include "backup/ReverseText.h"
#include "platform/FileNode.h"
#include "platform/OpenFolder.h"
#include "platform/Paths.h"
#include "platform/ScopeExit.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace stowmere::backup {
namespace {

using files::EntryKind;

// The path of a folder of a folder item's copy below the destination: base, then the
// folder's path below the item ("" or "/a/b").
std::string copyRelative(const std::string& base, const std::string& rel)
{
    std::string relative = base + rel;
    const std::size_t start = relative.find_first_not_of(paths::kSeparator);
    relative.erase(0, start == std::string::npos ? relative.size() : start);
    return relative;
}

bool byEntryName(const DestinationEntry& a, const DestinationEntry& b)
{
    return a.name < b.name;
}

} // namespace

Walk::Walk(const WalkSettings& settings, Destination& destination, const Exclusions& exclusions,
           const std::atomic<bool>& cancelFlag, TimeGranularity& granularity, RunSink& sink)
    : m_dest(settings.destination), m_destination(destination), m_incremental(settings.incremental),
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
    if (isOwnTopLevelName(name)) {
        m_sink.notBackedUp(item, kOwnNameReason);
        return;
    }
    const std::string folder = m_dest.empty() ? std::string(1, paths::kSeparator) : m_dest;
    const std::string target = m_dest + paths::kSeparator + name;
    const files::FileStatus source = files::statusOf(item);
    if (source.kind == EntryKind::File)
        m_sourceBytes += source.size;
    const DestinationEntry copy = m_destination.status(m_destination.root(), name);
    const files::FileStatus existing = statusOf(copy);
    // The item is its own copy (an item of the destination itself, reached through a link
    // or a mount): nothing to do.
    if (copy.kind != DestinationKind::Missing && existing.identity == source.identity)
        return;
    const Verdict decided = looksAtTargets() ? classify(existing, source) : Verdict::Unknown;
    if (decided == Verdict::Same && !m_sink.wantsUnchanged()) {
        m_sink.upToDate({}, name);
        return;
    }
    m_sink.entry({item, target, folder, false, 0, &source, existing, decided, copy.allocated, nullptr});
}

Verdict Walk::classify(const files::FileStatus& target, const files::FileStatus& source)
{
    if (target.kind != EntryKind::File)
        return Verdict::New;
    if (target.size != source.size)
        return Verdict::Size;
    if (!isUpToDate(target, source, m_granularity.get())) {
        const bool sourceNewer = target.modified.tv_sec != source.modified.tv_sec
                                     ? target.modified.tv_sec < source.modified.tv_sec
                                     : target.modified.tv_nsec < source.modified.tv_nsec;
        return sourceNewer ? Verdict::Newer : Verdict::Older;
    }
    return m_incremental ? Verdict::Same : Verdict::Replace;
}

Verdict Walk::classifySpecial(const DestinationEntry& copy, const ScannedFile& source)
{
    if (copy.kind != DestinationKind::Other || copy.format != source.special)
        return Verdict::Special;
    if (files::isDeviceFormat(source.special) && copy.device != source.device)
        return Verdict::Special;
    if (!sameTime(copy.modified, source.status.modified, m_granularity.get()))
        return Verdict::Special;
    return Verdict::Same;
}

void Walk::folderItem(const std::string& item)
{
    const std::string base = baseName(item);
    if (isOwnTopLevelName(base)) {
        m_sink.notBackedUp(item, kOwnNameReason);
        return;
    }
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
        for (const ScanExclusion& left : record.exclusions) {
            if (left.ownName)
                m_sink.notBackedUp(left.path, kOwnNameReason);
            else
                m_sink.excluded(left.path);
        }
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

ScanSettings Walk::scanSettings(const std::string& base)
{
    ScanSettings settings;
    settings.lookAtFiles = looksAtFiles();
    settings.honourCacheDirTag = m_honourCacheDirTag;
    settings.maxFilesPerFolder = kMaxFilesAhead;
    settings.leaveOutOwnNames = base.empty();
    settings.keepOtherNames = m_removals != nullptr;
    // A full copy reads every file: read ahead, the disk works on the next files while the
    // sink writes the last ones. An incremental run copies few of the files it scans.
    if (!m_incremental && m_sink.readsFiles() && scanAhead())
        settings.prefetchBytes = kPrefetchBytes;
    // A destination inside the item must not be copied into itself, nor the item's own
    // copy from an earlier run.
    for (const std::string& relative : {std::string(), base}) {
        if (const auto identity = copyFolderIdentity(relative))
            settings.excluded.push_back(*identity);
    }
    return settings;
}

std::optional<files::FileIdentity> Walk::copyFolderIdentity(const std::string& relative)
{
    if (!m_destination.tellsIdentities())
        return std::nullopt;
    std::error_code error;
    const FolderHandle folder = m_destination.openFolder(relative, error);
    if (!folder)
        return std::nullopt;
    const DestinationEntry entry = m_destination.status(folder);
    if (entry.kind != DestinationKind::Folder || entry.identity == files::FileIdentity{})
        return std::nullopt;
    return entry.identity;
}

void Walk::noteRemovals(const FolderFacts& folder, const std::string& rel, bool top,
                        std::vector<std::string> names, const CopyListing& copies)
{
    if (top)
        m_removals->sourceEmpty = names.empty();
    if (!folder.copy)
        return;
    std::sort(names.begin(), names.end());
    // The listing the walk compares files with serves when it has one; a full copy, or a
    // folder too large to list at once, lists the kinds alone.
    std::vector<DestinationEntry> listed;
    const std::vector<DestinationEntry>* entries = &copies.entries;
    if (!copies.folder || copies.byName) {
        std::error_code error;
        listed = m_destination.listKinds(folder.copy, error);
        if (error)
            return; // a copy folder that cannot be listed keeps all it holds
        std::sort(listed.begin(), listed.end(), byEntryName);
        entries = &listed;
    }
    planRemovals(m_destination, m_exclusions, m_cancelFlag, folder.source, rel, std::string(folder.relative),
                 names, *entries, *m_removals);
}

DestinationEntry Walk::copyOf(const CopyListing& copies, const std::string& name)
{
    if (copies.byName)
        return m_destination.status(copies.folder, name);
    DestinationEntry wanted;
    wanted.name = name;
    const auto found = std::lower_bound(copies.entries.begin(), copies.entries.end(), wanted, byEntryName);
    if (found != copies.entries.end() && found->name == name)
        return *found;
    return wanted; // kind Missing
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
        const std::string relative = copyRelative(base, record.rel);
        FolderFacts facts{source, target, record.mode, record.index == 0 && base.empty(), nullptr, relative};
        // A copy folder that opens needs no making; where it is missing, or something else
        // stands in its place, the sink makes it.
        std::error_code error;
        facts.copy = m_destination.openFolder(relative, error);
        bool created = false;
        if (!facts.copy) {
            if (!m_sink.makeFolder(facts, created))
                return;
            if (!created)
                facts.copy = m_destination.openFolder(relative, error);
        }
        files::FileStatus existing;
        if (!created) {
            existing = facts.copy ? statusOf(m_destination.status(facts.copy)) : files::FileStatus{};
            // The destination reached again through a mount: its files are their own copies.
            if (existing.kind != EntryKind::Missing && existing.identity == record.identity)
                return;
        }
        // Where each copy is looked at, the folder is listed once: kinds, sizes and times of
        // all its entries in one call. A folder made just now holds nothing.
        CopyListing copies;
        if (looksAtTargets() && !created && facts.copy) {
            copies.folder = facts.copy;
            // A folder whose files the scan could not keep is as large on the destination:
            // its entries are asked for one by one, not held all at once.
            copies.byName = !record.files || !m_destination.prefersListing();
            if (!copies.byName) {
                copies.entries = m_destination.list(facts.copy, error);
                if (error)
                    copies.byName = true;
                else
                    std::sort(copies.entries.begin(), copies.entries.end(), byEntryName);
            }
        }
        m_sink.folderReady(facts, created ? nullptr : &existing);
        if (record.skip)
            return; // a pseudo file system's mount point: made, never read

        if (record.files) {
            if (m_removals && !created) {
                std::vector<std::string> names = record.otherNames;
                names.reserve(names.size() + record.files->size());
                for (const ScannedFile& file : *record.files)
                    names.push_back(file.name);
                noteRemovals(facts, record.rel, record.index == 0, std::move(names), copies);
            }
            // The scan's list may be stale by now: a folder gone since is told as the folder
            // that cannot be read, before its first file, not as many failed files.
            entries(facts, record.rel, *record.files, copies, false);
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
            if (m_removals && !created) {
                std::vector<std::string> names;
                names.reserve(found.size());
                for (const files::FolderEntry& entry : found)
                    names.push_back(entry.name);
                noteRemovals(facts, record.rel, record.index == 0, std::move(names), copies);
            }
            files.reserve(found.size());
            const bool look = looksAtFiles();
            // The scan told the top folder's own names of an item copied straight into the
            // destination.
            const bool ownNamesLeftOut = record.index == 0 && base.empty();
            for (files::FolderEntry& entry : found) {
                if (!isFileEntry(entry))
                    continue;
                if (ownNamesLeftOut && isOwnTopLevelName(entry.name))
                    continue;
                // Looking at each of a million files takes seconds.
                if (look && files.size() % 1024 == 1023 && cancelled())
                    return;
                ScannedFile& file = files.emplace_back();
                lookAtSpecial(sourceRead.fd(), entry, file);
                if (look && !entry.link && file.special == 0)
                    file.status = sourceRead.entryStatus(entry.name);
                file.name = std::move(entry.name);
                file.link = entry.link;
            }
        }
        entries(facts, record.rel, files, copies, true);
    } catch (const std::exception& error) {
        m_sink.failed(error.what());
    }
}

void Walk::entries(const FolderFacts& folder, const std::string& rel, const std::vector<ScannedFile>& files,
                   const CopyListing& copies, bool sourceSeen)
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
        walkEntries(folder, files, leftOut, copies, sourceSeen);
    } catch (...) {
        m_sink.abandonEntries();
        throw;
    }
    m_sink.endEntries();
}

void Walk::walkEntries(const FolderFacts& folder, const std::vector<ScannedFile>& files,
                       const std::vector<bool>& leftOut, const CopyListing& copies, bool sourceSeen)
{
    const bool look = looksAtTargets();
    const bool classifyLinks = m_sink.looksAtTargets();
    const bool keepsLinks = m_sink.keepsHardLinks();
    for (std::size_t i = 0; i < files.size(); ++i) {
        const ScannedFile& file = files[i];
        if (!leftOut.empty() && leftOut[i]) {
            m_sink.excluded(paths::join(folder.source, file.name));
            continue;
        }
        if (cancelled())
            return;
        if (look && !file.link && file.status.kind == EntryKind::File)
            m_sourceBytes += file.status.size;
        DestinationEntry copy;
        if (copies.folder && (!file.link || classifyLinks))
            copy = copyOf(copies, file.name);
        const files::FileStatus targetStatus = statusOf(copy);
        Verdict decided = Verdict::Unknown;
        if (file.special != 0) {
            decided = look ? classifySpecial(copy, file) : Verdict::Special;
        } else if (file.link) {
            decided = Verdict::Link;
            // An incremental run leaves a link whose copy already points the same way; a
            // sink that writes finds that out as it makes the link.
            if (classifyLinks && m_incremental && copy.kind == DestinationKind::Link &&
                sameLinkText(m_destination, copies.folder, file.name, paths::join(folder.source, file.name)))
                decided = Verdict::Same;
        } else if (look) {
            decided = classify(targetStatus, file.status);
        }
        // A file found up to date needs nothing of its folder, not even that it is still there;
        // one of several names of a file still has to share its copy with the others.
        if (decided == Verdict::Same && !m_sink.wantsUnchanged() &&
            !(keepsLinks && !file.link && file.special == 0 && file.status.links > 1)) {
            if (!file.link && file.special == 0)
                m_sink.upToDate(folder.relative, file.name);
            continue;
        }
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
                           targetStatus, decided, copy.allocated, &file}))
            return;
    }
}

} // namespace stowmere::backup
