// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/MomentBrowser.h"

#include "backup/OpenDestination.h"
#include "backup/Restore.h"
#include "backup/RunHistory.h"
#include "platform/Paths.h"

#include <algorithm>
#include <atomic>
#include <system_error>

namespace stowmere::backup {

namespace {

/// The destination of a set, opened to read; null for a local one that is not there.
std::unique_ptr<Destination> openIfThere(const std::string& destination, const BackupLayout& layout)
{
    const bool remote = isRemoteLocation(destination);
    const std::string shown =
        layout.destination().empty() ? std::string(1, paths::kSeparator) : layout.destination();
    std::error_code error;
    std::unique_ptr<Destination> copies = openDestination(remote ? destination : shown, error);
    if (!copies && (remote || error != std::errc::no_such_file_or_directory))
        copies = openCopies(remote ? destination : shown, shown);
    return copies;
}

} // namespace

MomentBrowser::MomentBrowser(const std::string& destination, std::vector<std::string> items, std::time_t at)
    : m_layout(destination, items), m_items(std::move(items)), m_copies(openIfThere(destination, m_layout))
{
    if (m_copies)
        m_tree.emplace(*m_copies, at);
}

MomentBrowser::~MomentBrowser() = default;

void MomentBrowser::visit(const std::string& original, std::size_t levels,
                          const std::function<void(const MomentFile&)>& told)
{
    std::string relative;
    if (!original.empty()) {
        const auto location = m_layout.locate(original);
        if (!location)
            throw RestoreRefusal("Not a file or folder of this backup set: " + original);
        relative = location->relative;
    }
    if (!m_tree)
        return;
    const std::atomic<bool> never{false};
    m_tree->visit(
        relative,
        [&](const std::string& below, const MomentEntry& entry) {
            const std::string full = below.empty()      ? relative
                                     : relative.empty() ? below
                                                        : relative + '/' + below;
            if (full.empty())
                return true; // the destination itself
            told(MomentFile{full, m_layout.originalOf(full), entry.run, entry.entry});
            return true;
        },
        never, levels);
}

std::vector<MomentFile> MomentBrowser::items()
{
    std::vector<MomentFile> found;
    for (const std::string& item : m_items) {
        const auto location = m_layout.locate(item);
        if (!location)
            continue;
        // The root, or an item copied straight into the destination: its copy is the
        // destination itself, a folder while there is one.
        if (location->relative.empty()) {
            if (m_tree) {
                MomentFile top{{}, item, {}, m_copies->status(m_copies->root())};
                if (top.entry.kind == DestinationKind::Folder)
                    found.push_back(std::move(top));
            }
            continue;
        }
        visit(item, 0, [&](const MomentFile& file) {
            found.push_back(file);
            found.back().original = item;
        });
    }
    return found;
}

std::vector<MomentFile> MomentBrowser::children(const std::string& original)
{
    std::vector<MomentFile> found;
    const auto location = m_layout.locate(original);
    // An item copied straight into the destination shares it with the other items' copies:
    // only what came from the item is its own.
    const bool shared = location && location->relative.empty();
    std::string prefix = original;
    if (shared && !prefix.empty() && prefix.back() != '/')
        prefix += '/';
    visit(original, 1, [&](const MomentFile& file) {
        // The folder itself comes first (but for the destination itself); what it holds follows.
        if (location && file.relative == location->relative)
            return;
        if (shared && file.original.compare(0, prefix.size(), prefix) != 0)
            return;
        found.push_back(file);
    });
    return found;
}

std::vector<std::string> MomentBrowser::unrecorded() const
{
    return m_tree ? m_tree->unrecorded() : std::vector<std::string>{};
}

std::vector<std::time_t> recordedMoments(const std::string& destination)
{
    const std::unique_ptr<Destination> copies = openIfThere(destination, BackupLayout(destination, {}));
    std::vector<std::time_t> moments;
    if (!copies)
        return moments;
    for (const RecordedRun& run : RunHistory(*copies).runs()) {
        if (moments.empty() || moments.back() != run.time)
            moments.push_back(run.time);
    }
    std::reverse(moments.begin(), moments.end());
    return moments;
}

std::vector<std::string> listMoment(const std::string& destination, const std::vector<std::string>& items,
                                    std::time_t at, const std::string& path,
                                    const std::function<void(const MomentFile&)>& told)
{
    MomentBrowser browser(destination, items, at);
    browser.visit(path, MomentTree::kAllLevels, told);
    return browser.unrecorded();
}

} // namespace stowmere::backup
