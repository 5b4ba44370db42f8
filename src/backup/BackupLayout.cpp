// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/BackupLayout.h"

#include "backup/BackupEngine.h"
#include "platform/Paths.h"

namespace stowmere::backup {
namespace {

/// The part of path below folder ("" for folder itself), or none when path is not in it.
std::optional<std::string> below(const std::string& folder, const std::string& path)
{
    if (path == folder)
        return std::string();
    const std::string prefix = paths::withTrailingSeparator(folder);
    if (path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0)
        return path.substr(prefix.size());
    return std::nullopt;
}

std::string joined(const std::string& base, const std::string& rest)
{
    if (base.empty())
        return rest;
    return rest.empty() ? base : base + paths::kSeparator + rest;
}

} // namespace

BackupLayout::BackupLayout(const std::string& destination, std::vector<std::string> items)
    : m_destination(destination), m_items(std::move(items))
{
    if (!m_destination.empty() && m_destination.back() == paths::kSeparator)
        m_destination.pop_back();
    for (const std::string& item : m_items)
        m_bases.push_back(BackupEngine::baseName(item));
}

std::optional<BackupLayout::Location> BackupLayout::locate(const std::string& given) const
{
    // A folder as the set lists an item copied straight into the destination, with its
    // trailing separator, is the folder.
    const std::string original = given.size() > 1 ? paths::withoutTrailingSeparator(given) : given;
    std::optional<Location> found;
    std::size_t depth = 0;
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        const std::string item = paths::withoutTrailingSeparator(m_items[i]);
        const auto rest = below(item, original);
        if (!rest)
            continue;
        if (found && item.size() <= depth)
            continue;
        found = Location{m_items[i], joined(m_bases[i], *rest)};
        depth = item.size();
    }
    return found;
}

std::string BackupLayout::sharingWith(const std::string& item) const
{
    const std::string base = BackupEngine::baseName(item);
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        if (m_items[i] == item)
            continue;
        if (m_bases[i] == base || m_bases[i].empty() || base.empty())
            return m_items[i];
    }
    return {};
}

std::string BackupLayout::originalOf(std::string_view relative) const
{
    const std::string path(relative);
    std::string throughRoot;
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        const std::string item = paths::withoutTrailingSeparator(m_items[i]);
        if (m_bases[i].empty()) {
            if (throughRoot.empty())
                throughRoot = paths::join(item, path);
            continue;
        }
        if (const auto rest = below(m_bases[i], path))
            return rest->empty() ? item : paths::join(item, *rest);
    }
    return throughRoot;
}

} // namespace stowmere::backup
