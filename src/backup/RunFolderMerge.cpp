// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/RunFolderMerge.h"

#include "backup/OwnNames.h"
#include "backup/RunHistory.h"
#include "backup/RunRecord.h"
#include "backup/VersionStore.h"

#include <algorithm>
#include <unistd.h>

namespace stowmere::backup {

std::error_code removeTree(Destination& destination, const FolderHandle& parent, const std::string& name,
                           const std::atomic<bool>* cancel)
{
    if (cancel == nullptr)
        return destination.remove(parent, name);
    if (cancel->load())
        return std::make_error_code(std::errc::operation_canceled);
    std::error_code error;
    const FolderHandle folder = destination.openFolder(parent, name, error);
    if (!folder)
        return destination.remove(parent, name); // a file or a link: one entry
    // A read-only folder (kept with its source's bits) must open up before its entries go.
    destination.setMode(folder, 0700);
    const std::vector<DestinationEntry> entries = destination.list(folder, error);
    if (error)
        return error;
    for (const DestinationEntry& entry : entries) {
        if (cancel->load())
            return std::make_error_code(std::errc::operation_canceled);
        error = entry.kind == DestinationKind::Folder ? removeTree(destination, folder, entry.name, cancel)
                                                      : destination.remove(folder, entry.name);
        if (error)
            return error;
    }
    return destination.removeEmptyFolder(parent, name);
}

RunFolderMerge::RunFolderMerge(Destination& destination, std::string into, std::string from,
                               std::vector<std::string> covering)
    : m_destination(destination), m_into(std::move(into)), m_from(std::move(from)),
      m_covering(std::move(covering))
{
}

bool RunFolderMerge::coveredBelow(const std::string& relative) const
{
    const std::string prefix = relative + '/';
    const auto at = std::lower_bound(m_covering.begin(), m_covering.end(), prefix);
    return at != m_covering.end() && at->compare(0, prefix.size(), prefix) == 0;
}

FolderHandle RunFolderMerge::intoFolder(const std::string& relative, std::error_code& error)
{
    const std::string top = std::string(kVersionsFolderName) + '/' + m_into;
    if (FolderHandle folder = m_destination.openFolder(relative.empty() ? top : top + '/' + relative, error))
        return folder;
    FolderHandle folder = m_destination.openFolder(top, error);
    std::size_t from = 0;
    while (folder && from < relative.size()) {
        std::size_t next = relative.find('/', from);
        if (next == std::string::npos)
            next = relative.size();
        bool created = false;
        folder = m_destination.makeFolder(folder, relative.substr(from, next - from), 0777, created, error);
        from = next + 1;
    }
    return folder;
}

std::error_code RunFolderMerge::mergeFolder(const FolderHandle& from, const std::string& relative,
                                            const std::atomic<bool>* cancel)
{
    std::error_code error;
    const std::vector<DestinationEntry> entries = m_destination.list(from, error);
    if (error)
        return error;
    FolderHandle into;
    for (const DestinationEntry& entry : entries) {
        if (cancel && cancel->load())
            return std::make_error_code(std::errc::operation_canceled);
        const std::string path = relative.empty() ? entry.name : relative + '/' + entry.name;
        if (RunHistory::atOrBelowAny(m_covering, path)) {
            // The older run decides here: the newer copy tells nothing of its moment.
            if ((error = removeTree(m_destination, from, entry.name, cancel)))
                return error;
            continue;
        }
        if (!into && !(into = intoFolder(relative, error)))
            return error;
        const DestinationEntry there = m_destination.status(into, entry.name);
        const bool bothFolders =
            there.kind == DestinationKind::Folder && entry.kind == DestinationKind::Folder;
        if (there.kind != DestinationKind::Missing && !bothFolders) {
            if ((error = removeTree(m_destination, from, entry.name, cancel)))
                return error;
            continue;
        }
        if (bothFolders || (entry.kind == DestinationKind::Folder && coveredBelow(path))) {
            const FolderHandle below = m_destination.openFolder(from, entry.name, error);
            if (!below)
                return error;
            if ((error = mergeFolder(below, path, cancel)))
                return error;
            m_destination.removeEmptyFolder(from, entry.name);
            continue;
        }
        if ((error = m_destination.rename(from, entry.name, into, entry.name)))
            return error;
    }
    return {};
}

std::error_code RunFolderMerge::mergeRecord()
{
    const RunHistory history(m_destination);
    RecordedRun newer;
    newer.name = m_from;
    newer.recorded = true;
    const RunFacts facts = history.facts(newer);
    std::string lines;
    const auto add = [&](std::string_view word, const std::vector<std::string>& paths) {
        for (const std::string& path : paths) {
            if (RunHistory::atOrBelowAny(m_covering, path))
                continue;
            lines += word;
            lines += ' ';
            lines += escapeRecordPath(path);
            lines += '\n';
        }
    };
    add("added", facts.added);
    add("replaced", facts.replaced);
    add("removed", facts.removed);
    if (lines.empty())
        return {};
    std::error_code error;
    const FolderHandle records = m_destination.openFolder(kRunRecordsFolderName, error);
    if (!records)
        return {};
    // An older run without a record (made before records were kept) gains none: a record
    // of only the newer facts would pass for a whole one.
    if (m_destination.status(records, m_into).kind != DestinationKind::File)
        return {};
    const std::unique_ptr<DestinationAppender> appender = m_destination.openAppend(records, m_into, error);
    if (!appender)
        return error;
    // A run killed inside a line left it unfinished: the facts start on a line of their own.
    return appender->append("\n" + lines);
}

std::error_code RunFolderMerge::run(const std::atomic<bool>* cancel)
{
    std::error_code error;
    const FolderHandle versions = m_destination.openFolder(kVersionsFolderName, error);
    if (!versions)
        return error;
    if (const FolderHandle from = m_destination.openFolder(versions, m_from, error)) {
        // The copies first, then the facts: until the facts are there, a copy moved over
        // tells the older moment the same from either folder.
        if ((error = mergeFolder(from, {}, cancel)))
            return error;
    }
    if ((error = mergeRecord()))
        return error;
    if ((error = removeTree(m_destination, versions, m_from, cancel)) &&
        error != std::errc::no_such_file_or_directory)
        return error;
    if (const FolderHandle records = m_destination.openFolder(kRunRecordsFolderName, error))
        m_destination.remove(records, m_from);
    return {};
}

} // namespace stowmere::backup
