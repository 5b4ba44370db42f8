// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/Mirror.h"

#include "platform/Paths.h"
#include "platform/Translation.h"

#include <algorithm>
#include <system_error>

namespace stowmere::backup {
namespace {

using translation::format;

} // namespace

std::string notMirroredText(const std::string& item)
{
    return format(
        _("Nothing was moved out of the copy of %s: it shares its folder in the destination with other "
          "items, so what the folder lacks is not gone from them."),
        item);
}

std::string massRemovalText(const std::string& item, std::uint64_t files, std::uint64_t copies,
                            bool sourceEmpty)
{
    const std::string why =
        sourceEmpty ? format(ngettext("the folder is empty while its copy holds %d file",
                                      "the folder is empty while its copy holds %d files", files),
                             files)
                    : format(ngettext("%d file of the %s of its copy are no longer in the folder",
                                      "%d files of the %s of its copy are no longer in the folder", files),
                             files, format(ngettext("%d file", "%d files", copies), copies));
    return format(
        _("Nothing was moved out of the copy of %s: %s. A disk not plugged in or a folder emptied by "
          "mistake looks the same, so the copy stays as it is."),
        item, why);
}

std::string removedText(std::uint64_t removed, const std::string& runFolder)
{
    return format(ngettext("%d copy whose source is gone was moved into %s.",
                           "%d copies whose sources are gone were moved into %s.", removed),
                  removed, runFolder);
}

namespace {

/// The files, links and specials below the copy folder at relative, itself excluded.
std::uint64_t filesBelow(Destination& destination, const std::string& relative,
                         const std::atomic<bool>& cancelFlag)
{
    std::uint64_t files = 0;
    std::vector<std::string> pending{relative};
    while (!pending.empty() && !cancelFlag.load()) {
        const std::string folderPath = std::move(pending.back());
        pending.pop_back();
        std::error_code error;
        const FolderHandle folder = destination.openFolder(folderPath, error);
        if (!folder)
            continue;
        for (const DestinationEntry& entry : destination.listKinds(folder, error)) {
            if (entry.kind == DestinationKind::Folder)
                pending.push_back(joinRelative(folderPath, entry.name));
            else
                ++files;
        }
    }
    return files;
}

} // namespace

void planRemovals(Destination& destination, const Exclusions& exclusions, const std::atomic<bool>& cancelFlag,
                  const std::string& folderSource, const std::string& rel, const std::string& relative,
                  const std::vector<std::string>& names, const std::vector<DestinationEntry>& copies,
                  RemovalPlan& plan)
{
    std::string below;
    for (const DestinationEntry& entry : copies) {
        const bool isFolder = entry.kind == DestinationKind::Folder;
        if (!isFolder)
            ++plan.copies;
        if (std::binary_search(names.begin(), names.end(), entry.name))
            continue;
        below = rel;
        below += paths::kSeparator;
        below += entry.name;
        // What the set leaves out is not the run's to take away.
        if (exclusions.excludes(below, isFolder))
            continue;
        Removal removal{paths::join(folderSource, entry.name), joinRelative(relative, entry.name), entry.kind,
                        1};
        if (isFolder) {
            removal.files = filesBelow(destination, removal.relative, cancelFlag);
            plan.copies += removal.files;
        }
        plan.removedFiles += removal.files;
        plan.removals.push_back(std::move(removal));
    }
}

} // namespace stowmere::backup
