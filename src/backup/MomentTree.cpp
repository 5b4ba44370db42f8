// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/MomentTree.h"

#include "backup/OwnNames.h"

#include <algorithm>

namespace stowmere::backup {
namespace {

std::string childOf(const std::string& relative, const std::string& name)
{
    return relative.empty() ? name : relative + '/' + name;
}

const DestinationEntry* findEntry(const std::vector<DestinationEntry>& sorted, const std::string& name)
{
    const auto at = std::lower_bound(
        sorted.begin(), sorted.end(), name,
        [](const DestinationEntry& entry, const std::string& key) { return entry.name < key; });
    return at != sorted.end() && at->name == name && at->kind != DestinationKind::Missing ? &*at : nullptr;
}

} // namespace

MomentTree::MomentTree(Destination& destination, std::time_t at) : m_destination(destination)
{
    const RunHistory history(destination);
    for (const RecordedRun& run : history.runs()) {
        if (run.time <= at)
            continue;
        Layer layer;
        layer.run = run.name;
        std::error_code error;
        if (run.kept)
            layer.top = destination.openFolder(std::string(kVersionsFolderName) + '/' + run.name, error);
        layer.facts = history.facts(run);
        if (!run.recorded || !layer.facts.readable)
            m_unrecorded.push_back(run.name);
        m_layers.push_back(std::move(layer));
    }
    m_layers.push_back(Layer{{}, destination.root(), {}});
}

int MomentTree::decide(const std::vector<const DestinationEntry*>& found, const std::string& relative) const
{
    for (std::size_t i = 0; i < m_layers.size(); ++i) {
        if (found[i])
            return static_cast<int>(i);
        const RunFacts& facts = m_layers[i].facts;
        // The first later run that touched the path decides: a folder it removed whole did
        // not hold it, and what it added was not there before it.
        if (RunHistory::atOrBelowAny(facts.kept, relative) || RunHistory::atOrBelowAny(facts.added, relative))
            return -1;
    }
    return -1;
}

MomentEntry MomentTree::entryOf(std::size_t layer, const std::vector<FolderHandle>& folders,
                                const std::vector<const DestinationEntry*>& found,
                                const std::string& relative) const
{
    std::size_t from = layer;
    // A folder in a run folder that the run did not remove whole was made there only to
    // hold what the run replaced below it: its bits and times are those of the folder as a
    // later run or the current tree has it.
    if (found[layer]->kind == DestinationKind::Folder && !m_layers[layer].run.empty() &&
        !RunHistory::atOrBelowAny(m_layers[layer].facts.kept, relative)) {
        for (std::size_t later = layer + 1; later < m_layers.size(); ++later) {
            if (found[later] && found[later]->kind == DestinationKind::Folder &&
                (m_layers[later].run.empty() ||
                 RunHistory::atOrBelowAny(m_layers[later].facts.kept, relative))) {
                from = later;
                break;
            }
        }
    }
    const FolderHandle& folder = folders[from];
    return {folder, found[from]->name, m_destination.pathOf(*folder, found[from]->name), *found[from],
            m_layers[from].run};
}

std::vector<FolderHandle> MomentTree::foldersBelow(std::size_t layer,
                                                   const std::vector<FolderHandle>& folders,
                                                   const std::vector<const DestinationEntry*>& found) const
{
    std::vector<FolderHandle> below(m_layers.size());
    // The layers before the deciding one hold nothing here (else they would have decided).
    for (std::size_t i = layer; i < m_layers.size(); ++i) {
        if (!found[i] || found[i]->kind != DestinationKind::Folder || !folders[i])
            continue;
        std::error_code error;
        // Opened without following a link: one swapped in since the listing leads nowhere.
        below[i] = m_destination.openFolder(folders[i], found[i]->name, error);
    }
    return below;
}

bool MomentTree::walk(const std::string& relative, const std::string& below,
                      const std::vector<FolderHandle>& folders, const Visitor& visitor,
                      const std::atomic<bool>& cancel, std::size_t levels)
{
    if (cancel.load())
        return false;
    if (levels == 0)
        return true;
    std::vector<std::vector<DestinationEntry>> listings(m_layers.size());
    std::vector<std::string> names;
    for (std::size_t i = 0; i < m_layers.size(); ++i) {
        if (!folders[i])
            continue;
        std::error_code error;
        listings[i] = m_destination.list(folders[i], error);
        std::sort(listings[i].begin(), listings[i].end(),
                  [](const DestinationEntry& a, const DestinationEntry& b) { return a.name < b.name; });
        for (const DestinationEntry& entry : listings[i])
            names.push_back(entry.name);
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    std::vector<const DestinationEntry*> found(m_layers.size());
    for (const std::string& name : names) {
        // The destination's own files are no part of any moment; below its top level every
        // name is a copy's.
        if (relative.empty() && isOwnTopLevelName(name))
            continue;
        const std::string child = childOf(relative, name);
        for (std::size_t i = 0; i < m_layers.size(); ++i)
            found[i] = findEntry(listings[i], name);
        const int layer = decide(found, child);
        if (layer < 0)
            continue;
        const auto at = static_cast<std::size_t>(layer);
        const MomentEntry entry = entryOf(at, folders, found, child);
        const std::string childBelow = childOf(below, name);
        if (!visitor(childBelow, entry))
            return false;
        if (found[at]->kind == DestinationKind::Folder &&
            !walk(child, childBelow, foldersBelow(at, folders, found), visitor, cancel,
                  levels == kAllLevels ? levels : levels - 1))
            return false;
    }
    return true;
}

bool MomentTree::visit(const std::string& relative, const Visitor& visitor, const std::atomic<bool>& cancel,
                       std::size_t levels)
{
    std::vector<FolderHandle> folders(m_layers.size());
    if (relative.empty()) {
        for (std::size_t i = 0; i < m_layers.size(); ++i)
            folders[i] = m_layers[i].top;
        const FolderHandle root = m_destination.root();
        MomentEntry top{nullptr, {}, m_destination.location(), m_destination.status(root), {}};
        if (top.entry.kind != DestinationKind::Folder || !visitor({}, top))
            return false;
        return walk({}, {}, folders, visitor, cancel, levels);
    }
    const std::size_t slash = relative.rfind('/');
    const std::string parent = slash == std::string::npos ? std::string() : relative.substr(0, slash);
    const std::string name = slash == std::string::npos ? relative : relative.substr(slash + 1);
    std::vector<DestinationEntry> entries(m_layers.size());
    std::vector<const DestinationEntry*> found(m_layers.size());
    for (std::size_t i = 0; i < m_layers.size(); ++i) {
        if (!m_layers[i].top)
            continue;
        std::error_code error;
        if (parent.empty())
            folders[i] = m_layers[i].top;
        else if (m_layers[i].run.empty())
            folders[i] = m_destination.openFolder(parent, error);
        else
            folders[i] = m_destination.openFolder(
                std::string(kVersionsFolderName) + '/' + m_layers[i].run + '/' + parent, error);
        if (!folders[i])
            continue;
        entries[i] = m_destination.status(folders[i], name);
        if (entries[i].kind != DestinationKind::Missing) {
            entries[i].name = name;
            found[i] = &entries[i];
        }
    }
    const int layer = decide(found, relative);
    if (layer < 0)
        return false;
    const auto at = static_cast<std::size_t>(layer);
    if (!visitor({}, entryOf(at, folders, found, relative)))
        return false;
    if (found[at]->kind != DestinationKind::Folder)
        return true;
    return walk(relative, {}, foldersBelow(at, folders, found), visitor, cancel, levels);
}

} // namespace stowmere::backup
