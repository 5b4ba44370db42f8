// SPDX-License-Identifier: GPL-3.0-or-later
// Saving over another program's change: this catalog's changes since its files were read
// are found by comparing the tables with what the files held then, and applied to the files
// as they are now, so that two windows and any number of commands lose nothing of each
// other's work.
#include "catalog/Catalog.h"
#include "catalog/Errors.h"
#include "catalog/Messages.h"
#include "catalog/Schema.h"
#include "store/Table.h"

#include <algorithm>
#include <set>

namespace stowmere::catalog {
namespace {

/// What a catalog holds, by number.
struct Snapshot {
    std::map<std::int32_t, BackupSet> sets;
    std::map<std::int32_t, PathEntry> paths;
    std::map<std::int32_t, SetOptions> options;
    std::map<std::int32_t, std::vector<std::string>> items; ///< each set's path texts
};

Snapshot snapshotOf(const Catalog& catalog)
{
    Snapshot snapshot;
    for (BackupSet& set : catalog.sets()) {
        const std::int32_t number = set.number;
        for (PathEntry& path : catalog.paths(number)) {
            snapshot.items[number].push_back(path.item);
            snapshot.paths.emplace(path.number, std::move(path));
        }
        snapshot.options.emplace(number, catalog.options(number));
        snapshot.sets.emplace(number, std::move(set));
    }
    return snapshot;
}

bool sameRow(const BackupSet& a, const BackupSet& b)
{
    return a.description == b.description && a.destination == b.destination;
}

/// The value of one field after both sides changed from base: the side that changed it,
/// or none when both did, differently.
template <typename Value>
std::optional<Value> mergedField(const Value& base, const Value& here, const Value& there)
{
    if (here == base || here == there)
        return there;
    if (there == base)
        return here;
    return std::nullopt;
}

/// Both lists of patterns, the other program's first, each pattern once.
std::vector<std::string> bothLists(const std::vector<std::string>& there,
                                   const std::vector<std::string>& here)
{
    std::vector<std::string> result = there;
    for (const std::string& pattern : here)
        if (std::find(result.begin(), result.end(), pattern) == result.end())
            result.push_back(pattern);
    return result;
}

} // namespace

std::optional<Catalog::SaveResult> Catalog::mergeWithFiles(const Question& ask, SaveResult& result)
{
    const auto answer = [&ask](const std::string& question) { return !ask || ask(question); };

    // What the files held when this catalog read them, and what they hold now.
    Catalog base(m_dataFolder, m_lockWait);
    base.reset();
    const Images images = imagesRead();
    base.readTables(&images);
    Catalog disk(m_dataFolder, m_lockWait);
    disk.open();
    if (!disk.setsReadable() || !disk.pathsReadable())
        return SaveResult{SaveStatus::Failed,
                          m_categoryFile,
                          disk.openErrors().empty() ? "The file cannot be read." : disk.openErrors().front(),
                          {},
                          false,
                          {}};
    const Snapshot was = snapshotOf(base);
    const Snapshot here = snapshotOf(*this);
    const Snapshot there = snapshotOf(disk);
    const bool optionsHere = optionsReadable() && base.optionsReadable();

    // From here on the tables hold the files as they are now, and this catalog's changes are
    // made again on them. The sets deleted here are deleted again below, with their
    // schedules.
    reset();
    readTables();
    result.merged = true;
    const bool mergeOptions = optionsHere && optionsReadable();

    const auto pathsChangedHere = [&](std::int32_t number) {
        const auto before = was.items.find(number);
        const auto now = here.items.find(number);
        return (before == was.items.end() ? std::vector<std::string>{} : before->second) !=
               (now == here.items.end() ? std::vector<std::string>{} : now->second);
    };
    const auto optionsChangedHere = [&](std::int32_t number) {
        return optionsHere && was.options.count(number) != 0 &&
               here.options.at(number) != was.options.at(number);
    };
    const auto addPathOnce = [&](std::int32_t setNumber, const std::string& item) {
        for (const PathEntry& path : paths(setNumber))
            if (path.item == item)
                return;
        addPath(setNumber, item);
    };
    const auto optionsOnDisk = [&](std::int32_t number) {
        const auto found = there.options.find(number);
        return found == there.options.end() ? SetOptions{} : found->second;
    };

    // Where each set of this catalog ends up (its number in the merged tables); a set that
    // is not in it was let go.
    std::map<std::int32_t, std::int32_t> placed;
    // Sets taken whole from this catalog, paths and options included.
    std::set<std::int32_t> restored;
    // Sets kept twice: the other program's under the number, this catalog's as a copy.
    std::vector<std::pair<std::int32_t, std::int32_t>> copies;

    for (const auto& [number, mine] : here.sets) {
        const auto before = was.sets.find(number);
        if (before == was.sets.end())
            continue; // new here: added below, past the file's numbers
        const auto theirs = there.sets.find(number);
        if (theirs == there.sets.end()) {
            if (sameRow(mine, before->second) && !pathsChangedHere(number) && !optionsChangedHere(number))
                continue;
            if (!answer(messages::setDeletedElsewhereQuestion(mine.description)))
                continue;
            const std::int32_t kept = addSet(mine.description, mine.destination);
            if (!mine.identity.empty())
                writeIdentity(kept, mine.identity);
            const auto items = here.items.find(number);
            if (items != here.items.end())
                for (const std::string& item : items->second)
                    addPath(kept, item);
            if (mergeOptions && here.options.at(number) != SetOptions{})
                setOptions(kept, here.options.at(number));
            placed[number] = kept;
            restored.insert(number);
            if (kept != number)
                result.renumbered[number] = kept;
            continue;
        }
        placed[number] = number;
        if (sameRow(mine, before->second))
            continue;
        const auto description =
            mergedField(before->second.description, mine.description, theirs->second.description);
        const auto destination =
            mergedField(before->second.destination, mine.destination, theirs->second.destination);
        if (description && destination) {
            if (*description != theirs->second.description || *destination != theirs->second.destination) {
                storeSet(number, *description, *destination);
            }
            continue;
        }
        if (answer(messages::setChangedOnBothSidesQuestion(theirs->second, mine))) {
            const std::int32_t copy = addSet(mine.description, mine.destination);
            copies.emplace_back(number, copy);
            result.renumbered[number] = copy;
            result.notes.push_back(messages::keptBoth(theirs->second.description, mine.description));
        } else {
            storeSet(number, mine.description, mine.destination);
        }
    }

    // New sets of this catalog, numbered past every number the files hold now.
    for (const auto& [number, mine] : here.sets) {
        if (was.sets.count(number) != 0)
            continue;
        const std::int32_t added = addSet(mine.description, mine.destination);
        if (!mine.identity.empty())
            writeIdentity(added, mine.identity);
        if (mergeOptions && here.options.at(number) != SetOptions{})
            setOptions(added, here.options.at(number));
        placed[number] = added;
        restored.insert(number);
        if (added != number)
            result.renumbered[number] = added;
        const auto items = here.items.find(number);
        if (items != here.items.end())
            for (const std::string& item : items->second)
                addPath(added, item);
    }

    // Paths deleted here go where they still are; paths added here join their set once.
    for (const auto& [number, path] : was.paths) {
        if (here.paths.count(number) != 0 || restored.count(path.setNumber) != 0)
            continue;
        const auto now = there.paths.find(number);
        if (now != there.paths.end() && now->second.item == path.item &&
            now->second.setNumber == path.setNumber)
            deletePath(number);
    }
    for (const auto& [number, path] : here.paths) {
        if (was.paths.count(number) != 0 || restored.count(path.setNumber) != 0)
            continue;
        const auto target = placed.find(path.setNumber);
        if (target != placed.end())
            addPathOnce(target->second, path.item);
    }

    // Options, a field at a time: a field changed on one side takes that side's value.
    if (mergeOptions) {
        for (const auto& entry : here.options) {
            // Named, not bound: the field merge below captures them.
            const std::int32_t number = entry.first;
            const SetOptions& mine = entry.second;
            const auto target = placed.find(number);
            if (target == placed.end() || restored.count(number) != 0 || was.options.count(number) == 0)
                continue;
            const SetOptions& before = was.options.at(number);
            if (mine == before)
                continue;
            const SetOptions theirs = optionsOnDisk(number);
            SetOptions merged = theirs;
            bool conflict = false;
            const auto field = [&](auto member) {
                if (const auto value = mergedField(before.*member, mine.*member, theirs.*member))
                    merged.*member = *value;
                else
                    conflict = true;
            };
            field(&SetOptions::keepVersions);
            field(&SetOptions::keepDays);
            field(&SetOptions::cacheDirTag);
            field(&SetOptions::guard);
            field(&SetOptions::mirror);
            field(&SetOptions::keepDaily);
            field(&SetOptions::keepWeekly);
            field(&SetOptions::keepMonthly);
            // The drive a successful run found: the later run, this one, knows best.
            merged.driveIdentity =
                mine.driveIdentity != before.driveIdentity ? mine.driveIdentity : theirs.driveIdentity;
            if (const auto patterns = mergedField(before.exclusions, mine.exclusions, theirs.exclusions))
                merged.exclusions = *patterns;
            else
                merged.exclusions = bothLists(theirs.exclusions, mine.exclusions);
            if (conflict) {
                const std::string description = here.sets.at(number).description;
                if (!answer(messages::optionsChangedOnBothSidesQuestion(description))) {
                    merged.keepVersions = mine.keepVersions;
                    merged.keepDays = mine.keepDays;
                    merged.cacheDirTag = mine.cacheDirTag;
                    merged.guard = mine.guard;
                    merged.mirror = mine.mirror;
                    merged.keepDaily = mine.keepDaily;
                    merged.keepWeekly = mine.keepWeekly;
                    merged.keepMonthly = mine.keepMonthly;
                }
            }
            setOptions(target->second, merged);
        }
    }

    // A set kept twice: the copy gets the set's merged paths and options.
    for (const auto& [number, copy] : copies) {
        for (const PathEntry& path : paths(number))
            addPath(copy, path.item);
        if (mergeOptions)
            setOptions(copy, options(number));
    }

    // Sets deleted here, unless the other program changed them or gave them paths.
    for (const auto& [number, before] : was.sets) {
        if (here.sets.count(number) != 0)
            continue;
        const auto theirs = there.sets.find(number);
        if (theirs == there.sets.end())
            continue;
        if (!sameRow(theirs->second, before) &&
            answer(messages::setChangedElsewhereDeletedHereQuestion(theirs->second.description)))
            continue;
        if (!paths(number).empty()) {
            result.notes.push_back(messages::keptForItsPaths(theirs->second.description));
            continue;
        }
        deleteSet(number);
    }
    return std::nullopt;
}

} // namespace stowmere::catalog
