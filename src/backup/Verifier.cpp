// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/Verifier.h"

#include "backup/FailureReport.h"
#include "backup/OpenDestination.h"
#include "backup/OwnNames.h"
#include "backup/TimeGranularity.h"
#include "backup/Walk.h"
#include "platform/ScopeExit.h"
#include "platform/UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>

namespace stowmere::backup {
namespace {

using files::UniqueFd;

bool sameStamp(const timespec& a, const timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

std::string stampText(const timespec& time)
{
    std::tm parts{};
    ::localtime_r(&time.tv_sec, &parts);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return text;
}

std::string kindText(DestinationKind kind)
{
    switch (kind) {
    case DestinationKind::Folder:
        return "it is a folder now";
    case DestinationKind::Link:
        return "it is a link now";
    case DestinationKind::File:
    case DestinationKind::Missing:
    case DestinationKind::Other:
        break;
    }
    return "it is no regular file now";
}

/// One item's copy: where it lies in the destination and where its source was.
struct ItemRoot {
    std::string relative; ///< "" when the item is copied straight into the destination
    std::vector<std::string> items;
};

class Verification {
public:
    Verification(Destination& destination, const VerifySettings& settings, VerifyObserver& observer,
                 const std::atomic<bool>& cancel)
        : m_destination(destination), m_settings(settings), m_observer(observer), m_cancel(cancel)
    {
    }

    VerifyResult run()
    {
        std::error_code error;
        switch (m_destination.takeRunLock(kVerifyHolder, error)) {
        case RunLockResult::Taken:
            m_mayRecord = true;
            break;
        case RunLockResult::Busy:
            m_result.destinationError =
                destinationBusyText(m_destination.location(), m_destination.runLockHolder());
            return std::move(m_result);
        case RunLockResult::Unsupported:
        case RunLockResult::Failed:
            // A destination that cannot be written (a read-only disk) is verified all the
            // same; it only keeps no record of what was found.
            break;
        }
        const ScopeExit unlock([this] {
            // What was found is in the journal before another run may merge it.
            if (m_journal)
                static_cast<void>(m_journal->flush());
            m_destination.releaseRunLock();
        });
        {
            std::error_code listError;
            m_destination.list(m_destination.root(), listError);
            if (listError) {
                m_result.destinationError =
                    "Cannot read " + m_destination.pathOf("") + ": " + listError.message();
                return std::move(m_result);
            }
        }
        makeRoots();
        if (m_settings.countFirst)
            countTotals();
        if (m_settings.againstSource)
            m_granularity = m_destination.timeGranularity(false);

        ManifestReader manifest(m_destination, &m_cancel);
        m_manifest = &manifest;
        m_record = manifest.next();
        for (const ItemRoot& root : m_roots) {
            if (cancelled())
                break;
            m_root = &root;
            verifyRoot(root.relative);
        }
        m_result.manifestDamage = manifest.damage();
        m_result.cancelled = cancelled();
        return std::move(m_result);
    }

private:
    bool cancelled() const { return m_cancel.load(); }

    void makeRoots()
    {
        for (const std::string& item : m_settings.items) {
            const std::string relative = Walk::baseName(item);
            const auto same = std::find_if(m_roots.begin(), m_roots.end(), [&relative](const ItemRoot& root) {
                return root.relative == relative;
            });
            if (same != m_roots.end())
                same->items.push_back(item);
            else
                m_roots.push_back({relative, {item}});
        }
        std::sort(m_roots.begin(), m_roots.end(), [](const ItemRoot& a, const ItemRoot& b) {
            return manifestPathLess(a.relative, b.relative);
        });
        // An item copied straight into the destination covers the whole of it: its walk
        // meets every other item's copy, which takes its sources from there.
        if (!m_roots.empty() && m_roots.front().relative.empty()) {
            m_allItems = std::move(m_roots);
            m_roots.clear();
            m_roots.push_back({"", {}});
        }
    }

    void countTotals()
    {
        ManifestReader manifest(m_destination, &m_cancel);
        std::uint64_t files = 0;
        std::uint64_t bytes = 0;
        for (const ManifestRecord* record = manifest.next(); record != nullptr && !cancelled();
             record = manifest.next()) {
            const bool ours = std::any_of(m_roots.begin(), m_roots.end(), [record](const ItemRoot& root) {
                return manifestPathWithin(record->path, root.relative);
            });
            if (ours) {
                ++files;
                bytes += record->size;
            }
        }
        m_observer.totals(files, bytes);
    }

    void advanceRecord() { m_record = m_manifest->next(); }

    /// The record of path, taken off the stream; none when it has none.
    std::optional<ManifestRecord> takeRecord(const std::string& path)
    {
        if (m_record == nullptr || m_record->path != path)
            return std::nullopt;
        std::optional<ManifestRecord> record = *m_record;
        advanceRecord();
        return record;
    }

    /// Every record before path (within the root being walked) names a copy not found.
    void missingBefore(const std::string* path)
    {
        while (m_record != nullptr && !cancelled() && manifestPathWithin(m_record->path, m_root->relative) &&
               (path == nullptr || manifestPathLess(m_record->path, *path))) {
            const ManifestRecord record = *m_record;
            advanceRecord();
            report(VerifyFinding::Missing, record.path, "recorded, not in the backup");
            ++m_result.counts.missing;
            markDamaged(record);
        }
    }

    void verifyRoot(const std::string& relative)
    {
        // Records of other sets' items or of items no longer in the set are not looked at.
        while (m_record != nullptr && manifestPathLess(m_record->path, relative) &&
               !manifestPathWithin(m_record->path, relative))
            advanceRecord();
        if (relative.empty()) {
            walkFolder(m_destination.root(), "");
        } else {
            const DestinationEntry entry = m_destination.status(m_destination.root(), relative);
            visit(m_destination.root(), entry, relative);
        }
        if (!cancelled())
            missingBefore(nullptr);
    }

    void visit(const FolderHandle& folder, const DestinationEntry& entry, const std::string& path)
    {
        switch (entry.kind) {
        case DestinationKind::File:
            checkFile(folder, entry, path);
            return;
        case DestinationKind::Folder: {
            if (const auto record = takeRecord(path))
                changed(*record, kindText(entry.kind));
            std::error_code error;
            const FolderHandle inner = m_destination.openFolder(folder, entry.name, error);
            if (!inner) {
                unreadableFolder(path, error);
                return;
            }
            walkFolder(inner, path);
            return;
        }
        case DestinationKind::Link:
        case DestinationKind::Other:
            if (const auto record = takeRecord(path))
                changed(*record, kindText(entry.kind));
            return;
        case DestinationKind::Missing:
            return;
        }
    }

    void walkFolder(const FolderHandle& folder, const std::string& relative)
    {
        std::error_code error;
        std::vector<DestinationEntry> entries = m_destination.list(folder, error);
        if (error) {
            unreadableFolder(relative, error);
            return;
        }
        // The manifest's order: a folder's names sorted byte by byte, each folder's tree in
        // its place, so the walk and the records meet in one pass.
        std::sort(entries.begin(), entries.end(),
                  [](const DestinationEntry& a, const DestinationEntry& b) { return a.name < b.name; });
        for (const DestinationEntry& entry : entries) {
            if (cancelled())
                return;
            // Only the destination's top level holds its own files: below it, every name
            // is a copy's.
            if (relative.empty() && isOwnTopLevelName(entry.name))
                continue;
            const std::string path = joinRelative(relative, entry.name);
            missingBefore(&path);
            visit(folder, entry, path);
        }
    }

    void unreadableFolder(const std::string& relative, const std::error_code& error)
    {
        report(VerifyFinding::Unreadable, relative, "the folder cannot be read: " + error.message());
        ++m_result.counts.unreadable;
        // What is recorded below it cannot be told missing: it was not looked at.
        while (m_record != nullptr && manifestPathWithin(m_record->path, relative))
            advanceRecord();
    }

    void changed(const ManifestRecord& record, const std::string& detail)
    {
        report(VerifyFinding::ChangedOutside, record.path, detail);
        ++m_result.counts.changedOutside;
    }

    void checkFile(const FolderHandle& folder, const DestinationEntry& entry, const std::string& path)
    {
        const std::optional<ManifestRecord> record = takeRecord(path);
        if (record && (record->size != entry.size || !sameStamp(record->modified, entry.modified))) {
            std::string detail;
            if (record->size != entry.size)
                detail = "size " + std::to_string(entry.size) + ", recorded " + std::to_string(record->size);
            else
                detail =
                    "modified " + stampText(entry.modified) + ", recorded " + stampText(record->modified);
            changed(*record, detail);
            if (!m_settings.againstSource)
                return;
        }
        std::optional<ContentHash> hash = hashCopy(folder, entry, path);
        if (!hash)
            return;
        if (!record) {
            report(VerifyFinding::Unrecorded, path, "hashed and recorded now");
            ++m_result.counts.unrecorded;
            ManifestRecord added;
            added.path = path;
            added.hash = *hash;
            added.size = entry.size;
            added.modified = entry.modified;
            journal(added);
        } else if (record->size == entry.size && sameStamp(record->modified, entry.modified)) {
            if (*hash == record->hash) {
                ++m_result.counts.matched;
                if (record->mark == ManifestMark::Damaged) {
                    // Mended since (copied back by hand): a good copy again.
                    ManifestRecord mended = *record;
                    mended.mark = ManifestMark::Recorded;
                    journal(mended);
                }
            } else {
                report(VerifyFinding::Damaged, path,
                       "its content differs from the record while its size and time match");
                ++m_result.counts.damaged;
                markDamaged(*record);
            }
        }
        if (m_settings.againstSource)
            compareWithSource(path, entry, *hash);
    }

    std::optional<ContentHash> hashCopy(const FolderHandle& folder, const DestinationEntry& entry,
                                        const std::string& path)
    {
        std::error_code error;
        UniqueFd fd = m_destination.openFile(folder, entry.name, error);
        if (!fd) {
            unreadable(path, error);
            return std::nullopt;
        }
        const std::uint64_t before = m_result.counts.bytesRead;
        const std::string full = m_destination.pathOf(path);
        m_observer.progress(before, full);
        const FileHashResult hashed = hashFile(fd.get(), [&](std::uint64_t done) {
            m_observer.progress(before + done, full);
            return !cancelled();
        });
        m_result.counts.bytesRead += hashed.bytes;
        if (hashed.cancelled)
            return std::nullopt;
        if (hashed.error) {
            unreadable(path, hashed.error);
            return std::nullopt;
        }
        return hashed.hash;
    }

    void unreadable(const std::string& path, const std::error_code& error)
    {
        report(VerifyFinding::Unreadable, path, "cannot be read: " + error.message());
        ++m_result.counts.unreadable;
    }

    void compareWithSource(const std::string& path, const DestinationEntry& copy, const ContentHash& hash)
    {
        const std::vector<std::string>& items =
            m_root->relative.empty() && !m_allItems.empty() ? itemsFor(path) : m_root->items;
        for (const std::string& item : items) {
            const std::string root = Walk::baseName(item);
            if (!manifestPathWithin(path, root))
                continue;
            std::string source = item;
            if (root.empty()) {
                if (source.empty() || source.back() != '/')
                    source += '/';
                source += path;
            } else {
                source += path.substr(root.size());
            }
            // The item itself may be a link to its file; inside a folder a link was copied
            // as a link, so a file there is never reached through one.
            const bool isItem = path == root;
            struct stat info {};
            if ((isItem ? ::stat(source.c_str(), &info) : ::lstat(source.c_str(), &info)) != 0 ||
                !S_ISREG(info.st_mode) || static_cast<std::uint64_t>(info.st_size) != copy.size ||
                !sameTime(info.st_mtim, copy.modified, m_granularity))
                continue;
            UniqueFd fd(::open(source.c_str(),
                               O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (isItem ? 0 : O_NOFOLLOW)));
            if (!fd)
                continue;
            const std::uint64_t before = m_result.counts.bytesRead;
            const FileHashResult hashed = hashFile(fd.get(), [&](std::uint64_t done) {
                m_observer.progress(before + done, source);
                return !cancelled();
            });
            m_result.counts.bytesRead += hashed.bytes;
            if (hashed.cancelled || hashed.error)
                return;
            ++m_result.counts.comparedWithSource;
            if (hashed.hash != hash) {
                report(VerifyFinding::DiffersFromSource, path,
                       "its source " + source + " has its size and time, yet other content");
                ++m_result.counts.differsFromSource;
            }
            return;
        }
    }

    /// The items whose copy path lies in, when one item covers the whole destination:
    /// the item copied under path's first name before those copied straight in.
    const std::vector<std::string>& itemsFor(const std::string& path)
    {
        m_itemsForPath.clear();
        for (const ItemRoot& root : m_allItems)
            if (!root.relative.empty() && manifestPathWithin(path, root.relative))
                m_itemsForPath.insert(m_itemsForPath.end(), root.items.begin(), root.items.end());
        for (const ItemRoot& root : m_allItems)
            if (root.relative.empty())
                m_itemsForPath.insert(m_itemsForPath.end(), root.items.begin(), root.items.end());
        return m_itemsForPath;
    }

    void report(VerifyFinding finding, const std::string& relative, std::string detail)
    {
        VerifyProblem problem{finding, m_destination.pathOf(relative), std::move(detail)};
        m_observer.problem(problem);
        if (m_result.problems.size() < VerifyResult::kMaxProblems)
            m_result.problems.push_back(std::move(problem));
    }

    /// Marks the record so that the next run copies the file again.
    void markDamaged(const ManifestRecord& record)
    {
        if (record.mark == ManifestMark::Damaged)
            return;
        ManifestRecord marked = record;
        marked.mark = ManifestMark::Damaged;
        journal(marked);
    }

    void journal(const ManifestRecord& record)
    {
        if (!m_mayRecord)
            return;
        if (!m_journal) {
            std::error_code error;
            m_journal = ManifestJournal::open(m_destination, error);
            if (!m_journal) {
                // Read-only: what is found is still told, only not kept.
                m_mayRecord = false;
                return;
            }
        }
        if (m_journal->add(record))
            m_mayRecord = false;
    }

    Destination& m_destination;
    const VerifySettings& m_settings;
    VerifyObserver& m_observer;
    const std::atomic<bool>& m_cancel;
    VerifyResult m_result;
    std::vector<ItemRoot> m_roots;
    std::vector<ItemRoot> m_allItems; ///< every item, when one covers the destination
    std::vector<std::string> m_itemsForPath;
    const ItemRoot* m_root = nullptr;
    ManifestReader* m_manifest = nullptr;
    const ManifestRecord* m_record = nullptr;
    std::unique_ptr<ManifestJournal> m_journal;
    bool m_mayRecord = false;
    std::int64_t m_granularity = 1;
};

} // namespace

std::string_view findingWord(VerifyFinding finding)
{
    switch (finding) {
    case VerifyFinding::Damaged:
        return "damaged";
    case VerifyFinding::Missing:
        return "missing";
    case VerifyFinding::ChangedOutside:
        return "changed outside";
    case VerifyFinding::Unrecorded:
        return "unrecorded";
    case VerifyFinding::DiffersFromSource:
        return "differs from source";
    case VerifyFinding::Unreadable:
        return "unreadable";
    }
    return "unknown";
}

bool isFault(VerifyFinding finding)
{
    return finding != VerifyFinding::Unrecorded;
}

VerifyResult::Outcome VerifyResult::outcome() const
{
    if (!destinationError.empty())
        return Outcome::Unreadable;
    if (counts.faults() > 0 || !manifestDamage.empty())
        return Outcome::Faults;
    if (counts.matched == 0)
        return Outcome::NothingChecked;
    return Outcome::AllMatch;
}

VerifyResult verify(Destination& destination, const VerifySettings& settings, VerifyObserver& observer,
                    const std::atomic<bool>& cancel)
{
    return Verification(destination, settings, observer, cancel).run();
}

VerifyResult verify(const VerifySettings& settings, VerifyObserver& observer, const std::atomic<bool>& cancel)
{
    std::error_code error;
    const std::unique_ptr<Destination> destination = openDestination(settings.destination, error);
    if (!destination) {
        VerifyResult result;
        result.destinationError = "Cannot read " + settings.destination + ": " + error.message();
        return result;
    }
    return verify(*destination, settings, observer, cancel);
}

} // namespace stowmere::backup
