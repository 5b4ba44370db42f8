// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/Mirror.h"

#include "platform/OpenFolder.h"
#include "platform/Paths.h"

#include <algorithm>
#include <system_error>

namespace stowmere::backup {
namespace {

bool byName(const files::FolderEntry& a, const files::FolderEntry& b)
{
    return a.name < b.name;
}

const files::FolderEntry* findEntry(const std::vector<files::FolderEntry>& sorted, const std::string& name)
{
    const auto found = std::lower_bound(
        sorted.begin(), sorted.end(), name,
        [](const files::FolderEntry& entry, const std::string& wanted) { return entry.name < wanted; });
    return found != sorted.end() && found->name == name ? &*found : nullptr;
}

std::string count(std::uint64_t number, const char* one, const char* many)
{
    return std::to_string(number) + ' ' + (number == 1 ? one : many);
}

} // namespace

std::string NotMirroredText(const std::string& item)
{
    return "Nothing was moved out of the copy of " + item +
           ": it shares its folder in the destination with other items, so what the folder "
           "lacks is not gone from them.";
}

std::string MassRemovalText(const std::string& item, std::uint64_t files, std::uint64_t copies,
                            bool sourceEmpty)
{
    const std::string why =
        sourceEmpty ? "the folder is empty while its copy holds " + count(files, "file", "files")
                    : count(files, "file", "files") + " of the " + count(copies, "file", "files") +
                          " of its copy are no longer in the folder";
    return "Nothing was moved out of the copy of " + item + ": " + why +
           ". A disk not plugged in or a folder emptied by mistake looks the same, so the copy stays as it "
           "is.";
}

std::string RemovedText(std::uint64_t removed, const std::string& runFolder)
{
    return count(removed, "copy whose source is gone was", "copies whose sources are gone were") +
           " moved into " + runFolder + ".";
}

MirrorPlanner::MirrorPlanner(Destination& destination, const Exclusions& exclusions, bool honourCacheDirTag,
                             const std::atomic<bool>& cancelFlag)
    : m_destination(destination), m_exclusions(exclusions), m_honourCacheDirTag(honourCacheDirTag),
      m_cancelFlag(cancelFlag), m_destinationIdentity(destination.status(destination.root()).identity)
{
}

RemovalPlan MirrorPlanner::plan(const std::string& item, const std::string& base)
{
    RemovalPlan plan;
    if (base.empty())
        return plan;
    // A stack of folders still to compare: the copy's depth bounds it, not its size, as
    // each holds the names of one folder's sub-folders at most.
    std::vector<Pending> pending{{item, std::string(), base}};
    bool top = true;
    while (!pending.empty()) {
        if (cancelled()) {
            plan.complete = false;
            break;
        }
        const Pending folder = std::move(pending.back());
        pending.pop_back();
        compare(folder, pending, plan, top);
        top = false;
    }
    return plan;
}

void MirrorPlanner::compare(const Pending& folder, std::vector<Pending>& pending, RemovalPlan& plan, bool top)
{
    std::error_code error;
    const FolderHandle copy = m_destination.openFolder(folder.relative, error);
    if (!copy)
        return; // no copy folder (or a link in its place): nothing of it can go
    std::vector<DestinationEntry> copies = m_destination.listKinds(copy, error);
    if (error)
        return;
    // Only a source folder whose listing could be read tells what is gone from it.
    const files::OpenFolder source(folder.source);
    if (!source.isOpen())
        return;
    if (!top) {
        const files::FileStatus status = source.status();
        if (m_destinationIdentity != files::FileIdentity{} && status.identity == m_destinationIdentity)
            return;
        if (files::onPseudoFileSystem(source.fd()))
            return;
    }
    std::vector<files::FolderEntry> entries;
    try {
        entries = source.entries();
    } catch (const std::system_error&) {
        return;
    }
    if (top)
        plan.sourceEmpty = entries.empty();
    std::sort(entries.begin(), entries.end(), byName);
    // A cache the run leaves out keeps its copy, whatever it holds now.
    if (!top && m_honourCacheDirTag && findEntry(entries, std::string(Exclusions::kCacheDirTag)) &&
        Exclusions::hasCacheDirTag(source.fd()))
        return;
    std::sort(copies.begin(), copies.end(),
              [](const DestinationEntry& a, const DestinationEntry& b) { return a.name > b.name; });
    const std::size_t firstRemoval = plan.removals.size();
    std::string rel;
    for (const DestinationEntry& entry : copies) {
        const bool isFolder = entry.kind == DestinationKind::Folder;
        if (!isFolder)
            ++plan.copies;
        rel = folder.rel;
        rel += paths::kSeparator;
        rel += entry.name;
        if (const files::FolderEntry* found = findEntry(entries, entry.name)) {
            if (isFolder && !found->link && found->kind == files::EntryKind::Folder &&
                !m_exclusions.excludes(rel, true))
                pending.push_back(
                    {paths::join(folder.source, entry.name), rel, joinRelative(folder.relative, entry.name)});
            continue;
        }
        // What the set leaves out is not the run's to take away.
        if (m_exclusions.excludes(rel, isFolder))
            continue;
        Removal removal{paths::join(folder.source, entry.name), joinRelative(folder.relative, entry.name),
                        entry.kind, 1};
        if (isFolder) {
            removal.files = filesBelow(removal.relative);
            plan.copies += removal.files;
        }
        plan.removedFiles += removal.files;
        plan.removals.push_back(std::move(removal));
    }
    // The copies were taken in reverse order, so that the stack gives the sub-folders back
    // in the order of their names; the removals go in that order too.
    std::reverse(plan.removals.begin() + static_cast<std::ptrdiff_t>(firstRemoval), plan.removals.end());
}

std::uint64_t MirrorPlanner::filesBelow(const std::string& relative)
{
    std::uint64_t files = 0;
    std::vector<std::string> pending{relative};
    while (!pending.empty() && !cancelled()) {
        const std::string folderPath = std::move(pending.back());
        pending.pop_back();
        std::error_code error;
        const FolderHandle folder = m_destination.openFolder(folderPath, error);
        if (!folder)
            continue;
        for (const DestinationEntry& entry : m_destination.listKinds(folder, error)) {
            if (entry.kind == DestinationKind::Folder)
                pending.push_back(joinRelative(folderPath, entry.name));
            else
                ++files;
        }
    }
    return files;
}

} // namespace stowmere::backup
