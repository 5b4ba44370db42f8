// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/HardLinkMap.h"

namespace stowmere::backup {

const HardLinkMap::Copy* HardLinkMap::copyOf(const files::FileIdentity& source) const
{
    const auto found = m_copies.find(source);
    return found == m_copies.end() ? nullptr : &found->second;
}

void HardLinkMap::remember(const files::FileIdentity& source, std::uint32_t links, std::string copy,
                           const files::FileIdentity& copyIdentity)
{
    if (links < 2)
        return;
    m_copies[source] = {std::move(copy), copyIdentity, links - 1};
}

void HardLinkMap::met(const files::FileIdentity& source)
{
    const auto found = m_copies.find(source);
    if (found == m_copies.end())
        return;
    // Names made since the scan may outnumber the count; the last one known lets go.
    if (--found->second.namesLeft == 0)
        m_copies.erase(found);
}

bool HardLinkMap::metBefore(const files::FileIdentity& source, std::uint32_t links)
{
    if (copyOf(source) != nullptr) {
        met(source);
        return true;
    }
    remember(source, links, {});
    return false;
}

} // namespace stowmere::backup
