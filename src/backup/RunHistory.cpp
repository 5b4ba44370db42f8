// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/RunHistory.h"

#include "backup/OwnNames.h"
#include "backup/RunRecord.h"
#include "backup/VersionStore.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <unistd.h>

namespace stowmere::backup {

std::vector<RecordedRun> RunHistory::runs() const
{
    std::map<std::pair<std::time_t, unsigned>, RecordedRun> found;
    std::error_code error;
    const FolderHandle versions = m_destination.openFolder(kVersionsFolderName, error);
    const auto note = [&](const std::string& name, bool record) {
        const auto stamp = VersionStore::parseStamp(name);
        if (!stamp)
            return;
        RecordedRun& run = found[*stamp];
        run.name = name;
        run.time = stamp->first;
        run.suffix = stamp->second;
        (record ? run.recorded : run.kept) = true;
    };
    if (versions)
        for (const DestinationEntry& entry : m_destination.list(versions, error))
            if (entry.kind == DestinationKind::Folder)
                note(entry.name, false);
    if (const FolderHandle records = m_destination.openFolder(kRunRecordsFolderName, error))
        for (const DestinationEntry& entry : m_destination.list(records, error))
            if (entry.kind == DestinationKind::File)
                note(entry.name, true);
    std::vector<RecordedRun> runs;
    runs.reserve(found.size());
    for (auto& [key, run] : found)
        runs.push_back(std::move(run));
    return runs;
}

RunFacts RunHistory::facts(const RecordedRun& run) const
{
    RunFacts facts;
    if (!run.recorded)
        return facts;
    std::error_code error;
    const FolderHandle records = m_destination.openFolder(kRunRecordsFolderName, error);
    files::UniqueFd fd = records ? m_destination.openFile(records, run.name, error) : files::UniqueFd();
    if (!fd) {
        facts.readable = false;
        return facts;
    }
    // Read a block at a time: a record of a run that added a million files is long.
    std::string pending;
    std::uint64_t total = 0;
    char block[65536];
    bool header = false;
    const auto line = [&](std::string_view text) {
        if (!header) {
            header = text == kRunRecordHeader;
            return;
        }
        const std::size_t space = text.find(' ');
        const std::string_view word = text.substr(0, space);
        const std::string_view rest =
            space == std::string_view::npos ? std::string_view() : text.substr(space + 1);
        if (word == "end")
            facts.complete = true;
        else if (word == "added")
            facts.added.push_back(unescapeRecordPath(rest));
        else if (word == "replaced")
            facts.replaced.push_back(unescapeRecordPath(rest));
        else if (word == "removed")
            facts.removed.push_back(unescapeRecordPath(rest));
        // Other words (the moment, lines of later layouts) tell nothing needed here.
    };
    for (;;) {
        const ssize_t got = ::read(fd.get(), block, sizeof block);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            facts.readable = false;
            break;
        }
        if (got == 0)
            break;
        total += static_cast<std::uint64_t>(got);
        pending.append(block, static_cast<std::size_t>(got));
        std::size_t from = 0;
        for (std::size_t end; (end = pending.find('\n', from)) != std::string::npos; from = end + 1)
            line(std::string_view(pending).substr(from, end - from));
        pending.erase(0, from);
    }
    // What follows the last newline is a line a killed run tore: it tells nothing.
    // A record starts with its header in its first write: without it, it is no record.
    if (!header && total > 0)
        facts.readable = false;
    facts.kept = facts.removed;
    facts.kept.insert(facts.kept.end(), facts.replaced.begin(), facts.replaced.end());
    for (std::vector<std::string>* list : {&facts.added, &facts.replaced, &facts.removed, &facts.kept}) {
        std::sort(list->begin(), list->end());
        list->erase(std::unique(list->begin(), list->end()), list->end());
    }
    return facts;
}

bool RunHistory::atOrBelowAny(const std::vector<std::string>& sorted, const std::string& path)
{
    if (sorted.empty())
        return false;
    for (std::size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1))
        if (std::binary_search(sorted.begin(), sorted.end(), path.substr(0, slash)))
            return true;
    return std::binary_search(sorted.begin(), sorted.end(), path);
}

} // namespace stowmere::backup
