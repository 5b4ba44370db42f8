// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/BackupEngine.h"

#include "backup/BackupStartCheck.h"
#include "backup/CopySink.h"
#include "backup/CountSink.h"
#include "backup/FailureReport.h"
#include "backup/Mirror.h"
#include "backup/OpenDestination.h"
#include "backup/PathText.h"
#include "backup/PreviewSink.h"
#include "backup/RunLog.h"
#include "backup/Walk.h"
#include "platform/Paths.h"

#include <cerrno>
#include <exception>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <system_error>

namespace stowmere::backup {
namespace {

RunTotals totalsOf(const PreviewTotals& counted, bool complete)
{
    return {counted.files, counted.bytes, counted.neededBytes(), complete};
}

} // namespace

const char* previewKindName(PreviewEntry::Kind kind)
{
    switch (kind) {
    case PreviewEntry::Kind::New:
        return "new";
    case PreviewEntry::Kind::Size:
        return "size";
    case PreviewEntry::Kind::Newer:
        return "newer";
    case PreviewEntry::Kind::Older:
        return "older";
    case PreviewEntry::Kind::Replace:
        return "replace";
    case PreviewEntry::Kind::Mkdir:
        return "mkdir";
    case PreviewEntry::Kind::Link:
        return "link";
    case PreviewEntry::Kind::Fifo:
        return "fifo";
    case PreviewEntry::Kind::Device:
        return "device";
    case PreviewEntry::Kind::Same:
        return "same";
    case PreviewEntry::Kind::Excluded:
        return "excluded";
    case PreviewEntry::Kind::Missing:
        return "missing";
    case PreviewEntry::Kind::Unreadable:
        return "unreadable";
    case PreviewEntry::Kind::Remove:
        return "remove";
    }
    return "";
}

bool previewKindCopiesFile(PreviewEntry::Kind kind)
{
    return kind == PreviewEntry::Kind::New || kind == PreviewEntry::Kind::Size ||
           kind == PreviewEntry::Kind::Newer || kind == PreviewEntry::Kind::Older ||
           kind == PreviewEntry::Kind::Replace;
}

BackupEngine::BackupEngine(BackupSettings settings, BackupObserver& observer, std::atomic<bool>& cancelFlag)
    : m_settings(std::move(settings)), m_observer(observer), m_cancelFlag(cancelFlag),
      m_dest(m_settings.destination), m_exclusions(m_settings.exclusions)
{
    // Only one separator goes, even from the root: "/" becomes "", so that the targets
    // made by appending "/" + name come out as "/name".
    if (!m_dest.empty() && m_dest.back() == paths::kSeparator)
        m_dest.pop_back();
}

BackupEngine::~BackupEngine() = default;

std::string BackupEngine::destinationFolder() const
{
    return m_dest.empty() ? std::string(1, paths::kSeparator) : m_dest;
}

std::string BackupEngine::baseName(const std::string& item)
{
    return Walk::baseName(item);
}

BackupResult BackupEngine::runBackup(const std::vector<std::string>& items)
{
    m_result = {};
    RunLog record(m_result, m_observer);
    std::error_code openError;
    const std::unique_ptr<Destination> destination = openDestination(m_settings.destination, openError);
    std::optional<PreviewSink> preview;
    std::optional<CopySink> copy;
    // A preview must not write, not even to find out how fine the destination's times are.
    std::optional<TimeGranularity> granularity;
    RunSink* sink = nullptr;
    bool started = false;
    if (!destination) {
        // A destination that cannot be opened cannot take the lock either: both a run and
        // a preview refuse with the words of the lock.
        m_result.refused = true;
        if (!isRemoteLocation(m_settings.destination))
            m_result.refusal = "Cannot open the lock file " + paths::join(destinationFolder(), kRunLockName) +
                               ": " + systemText(openError.value());
        else if (openError == std::errc::no_such_file_or_directory)
            m_result.refusal = missingDestinationText(m_settings.destination);
        else
            m_result.refusal = openError.message();
    } else {
        granularity.emplace(*destination, !dryRun());
        if (dryRun()) {
            started = preview.emplace(m_settings, *destination, record).start();
            sink = &*preview;
        } else {
            started = copy.emplace(m_settings, *destination, record, m_cancelFlag, *granularity).start();
            sink = &*copy;
        }
    }
    if (!started) {
        m_observer.closeProgress();
        // Another run is news; a destination that cannot even take the lock is a failure.
        if (m_result.refusal == destinationBusyText(m_settings.destination, kBackupHolder) ||
            m_result.refusal == destinationBusyText(m_settings.destination, kRestoreHolder))
            m_observer.showInformation(m_result.refusal);
        else
            m_observer.showError(m_result.refusal);
        return m_result;
    }
    const std::size_t count = items.size();
    m_itemTotals.assign(m_settings.countFirst && !dryRun() ? count : 0, std::nullopt);
    m_counted = {};
    if (!m_itemTotals.empty() && !countCheckedItems(items, *destination, *granularity)) {
        copy->finish(false);
        m_observer.closeProgress();
        return m_result;
    }
    const WalkSettings walkSettings{m_dest, m_settings.incremental, m_settings.honourCacheDirTag,
                                    m_settings.parallelScan};
    Walk walk(walkSettings, *destination, m_exclusions, m_cancelFlag, *granularity, *sink);
    bool stopped = false;
    for (std::size_t i = 0; i < count && !stopped; ++i) {
        if (!m_observer.isItemChecked(i)) {
            uncountItem(i);
            continue;
        }
        m_observer.itemStarted(i, items[i]);
        // An item checked after the count joins the totals now.
        if (!m_itemTotals.empty() && !m_itemTotals[i]) {
            countItem(i, items[i], *destination, *granularity);
            tellTotals();
        }
        try {
            // The previous item is unchecked here as well as after its own step, so a
            // failed item loses its check once a later checked item is reached.
            if (i > 0)
                m_observer.uncheckItem(i - 1);
            const std::string& item = items[i];
            const std::size_t errorsBefore = m_result.otherErrors;
            // A mirrored item's removals are found as the walk compares each folder.
            const bool mirrored = m_settings.mirror && ownsItsCopy(items, i);
            RemovalPlan removals;
            walk.collectRemovals(mirrored ? &removals : nullptr);
            const Walk::Outcome outcome = walk.item(item);
            walk.collectRemovals(nullptr);
            if (outcome == Walk::Outcome::Overlap) {
                m_observer.showInformation(overlapText(m_settings.destination, item));
                m_observer.itemDone();
                continue;
            }
            if (outcome == Walk::Outcome::Missing)
                m_result.missingItems.push_back(item);
            // Only a folder walked to its end, with nothing gone wrong on the way, tells what
            // is gone from it.
            if (m_settings.mirror && outcome == Walk::Outcome::Walked && !cancelled() &&
                !m_result.copyFailed && m_result.otherErrors == errorsBefore &&
                files::kindOf(item) == files::EntryKind::Folder) {
                if (mirrored) {
                    mirrorItem(item, *destination, copy ? &*copy : nullptr, record, removals);
                } else {
                    std::string text = notMirroredText(item);
                    m_result.notes.push_back(text);
                    m_observer.showInformation(text);
                }
            }
            m_observer.itemDone();
            if (cancelled()) {
                m_observer.closeProgress();
                m_result.cancelled = true;
                stopped = true;
                continue;
            }
            m_observer.uncheckItem(i);
        } catch (const std::exception& error) {
            record.showError(error.what());
        }
    }
    m_result.sourceBytes = walk.sourceBytes();
    if (copy && m_result.removed > 0) {
        std::string text = removedText(m_result.removed, copy->removalsFolder());
        m_result.notes.push_back(text);
        m_observer.showInformation(text);
    }
    // Nothing is written any more: another run may start while the boxes below are open.
    if (copy)
        copy->finish(!stopped);
    if (!stopped && !dryRun()) {
        m_observer.runComplete();
        m_observer.closeProgress();
    }
    // Items that vanished are told once at the end rather than passed over in silence.
    if (!m_result.missingItems.empty())
        m_observer.showError(missingItemsText(m_result.missingItems));
    if (m_result.notBackedUpCount > 0)
        m_observer.showInformation(notBackedUpText(m_result.notBackedUp, m_result.notBackedUpCount));
    if (!m_result.notKept.empty()) {
        std::string text;
        for (const std::string& line : m_result.notKept)
            text += (text.empty() ? "" : "\r\n") + line;
        m_observer.showInformation(text);
    }
    return m_result;
}

bool BackupEngine::ownsItsCopy(const std::vector<std::string>& items, std::size_t index) const
{
    const std::string base = Walk::baseName(items[index]);
    if (base.empty())
        return false;
    for (std::size_t other = 0; other < items.size(); ++other) {
        if (other != index && Walk::baseName(items[other]) == base)
            return false;
    }
    return true;
}

void BackupEngine::mirrorItem(const std::string& item, Destination& destination, CopySink* copy,
                              RunLog& record, const RemovalPlan& plan)
{
    if (!plan.complete || cancelled() || plan.removals.empty())
        return;
    if (plan.massive() &&
        !m_observer.allowMassRemoval(item, plan.removedFiles, plan.copies, plan.sourceEmpty)) {
        m_result.notes.push_back(massRemovalText(item, plan.removedFiles, plan.copies, plan.sourceEmpty));
        return;
    }
    if (dryRun() || !copy) {
        for (const Removal& removal : plan.removals) {
            m_observer.previewEntry({PreviewEntry::Kind::Remove,
                                     removal.source,
                                     destination.pathOf(removal.relative),
                                     0,
                                     {},
                                     {},
                                     {}});
            ++m_result.preview.removals;
        }
        return;
    }
    for (const Removal& removal : plan.removals) {
        if (cancelled())
            return;
        // A source back in its place since the comparison keeps its copy; so does one
        // that cannot be looked at.
        struct stat source {};
        if (::lstat(removal.source.c_str(), &source) == 0 || errno != ENOENT)
            continue;
        if (const std::error_code error = copy->moveIntoVersions(removal.relative)) {
            record.showError("Could not move " + destination.pathOf(removal.relative) +
                             " into the versions folder: " + error.message());
            return;
        }
        ++m_result.removed;
    }
}

bool BackupEngine::countCheckedItems(const std::vector<std::string>& items, Destination& destination,
                                     TimeGranularity& granularity)
{
    for (std::size_t i = 0; i < items.size() && !cancelled(); ++i) {
        if (m_observer.isItemChecked(i))
            countItem(i, items[i], destination, granularity);
    }
    if (cancelled()) {
        m_result.cancelled = true;
        return false;
    }
    tellTotals();
    const std::uint64_t needed = m_counted.neededBytes();
    const std::uint64_t free = destination.freeBytes();
    // A server that does not tell its free space (no statvfs) is not taken for a full one.
    const bool unknown = free == 0 && isRemoteLocation(m_settings.destination);
    if (!unknown && needed > free && !m_observer.startWithoutSpace(needed, free, m_settings.destination)) {
        m_result.refused = true;
        m_result.refusedForSpace = true;
        m_result.refusal = notEnoughSpaceLine(needed, free, m_settings.destination);
        return false;
    }
    return true;
}

void BackupEngine::countItem(std::size_t index, const std::string& item, Destination& destination,
                             TimeGranularity& granularity)
{
    CountSink counter(m_settings, m_observer, m_counted);
    // An incremental run must skip the files the count left out: both use the granularity
    // the run finds. A full run's count only needs it to tell a changed copy from one
    // copied again, which a guess does without writing.
    TimeGranularity guessed(destination, false);
    if (m_settings.incremental)
        guessed.set(granularity.get());
    const WalkSettings walkSettings{m_dest, m_settings.incremental, m_settings.honourCacheDirTag,
                                    m_settings.parallelScan};
    Walk walk(walkSettings, destination, m_exclusions, m_cancelFlag, guessed, counter);
    try {
        walk.item(item);
    } catch (const std::exception&) {
        // The copy of the item meets the same error and tells it.
    }
    const PreviewTotals& counted = counter.counted();
    m_itemTotals[index] = counted;
    m_counted.files += counted.files;
    m_counted.bytes += counted.bytes;
    m_counted.allocatedChange += counted.allocatedChange;
}

void BackupEngine::uncountItem(std::size_t index)
{
    if (index >= m_itemTotals.size() || !m_itemTotals[index])
        return;
    const PreviewTotals& counted = *m_itemTotals[index];
    m_counted.files -= counted.files;
    m_counted.bytes -= counted.bytes;
    m_counted.allocatedChange -= counted.allocatedChange;
    m_itemTotals[index].reset();
    tellTotals();
}

void BackupEngine::tellTotals()
{
    m_result.totals = totalsOf(m_counted, true);
    m_observer.totalsCounted(m_result.totals);
}

BackupResult runBackup(const BackupSettings& settings, const std::vector<std::string>& items,
                       BackupObserver& observer, std::atomic<bool>& cancelFlag)
{
    return BackupEngine(settings, observer, cancelFlag).runBackup(items);
}

} // namespace stowmere::backup
