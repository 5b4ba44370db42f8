// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/FileQueries.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>

namespace stowmere::backup {

/// The copies of the files with several names met so far in one item: for each such file
/// (by device and inode), the path below the destination of the copy of the first name
/// met, which its later names are made links to. Only files with more than one name are
/// held, and each only until all its names are met, so memory grows with them alone.
class HardLinkMap {
public:
    /// The copy the later names of a file are made names of.
    struct Copy {
        std::string path; ///< below the destination
        /// The copy's own identity, when it was looked at; zero when not.
        files::FileIdentity identity;
        std::uint32_t namesLeft = 0;
    };

    /// The copy of the first name of the file source, or null when none was made yet.
    const Copy* copyOf(const files::FileIdentity& source) const;
    /// The first name of source, which has links names in all, was copied to copy (whose
    /// identity is copyIdentity, when known).
    void remember(const files::FileIdentity& source, std::uint32_t links, std::string copy,
                  const files::FileIdentity& copyIdentity = {});
    /// Another name of source was met: once all were, the file is forgotten.
    void met(const files::FileIdentity& source);
    /// For a sink that only tells or counts: whether another name of source (links names
    /// in all) was met before in this item, which the run makes a name of that copy at no
    /// cost in bytes; the first name met is remembered.
    bool metBefore(const files::FileIdentity& source, std::uint32_t links);
    void clear() { m_copies.clear(); }
    std::size_t size() const { return m_copies.size(); }

private:
    struct Hash {
        std::size_t operator()(const files::FileIdentity& identity) const
        {
            return std::hash<std::uint64_t>()(identity.inode * 31 + identity.device);
        }
    };
    std::unordered_map<files::FileIdentity, Copy, Hash> m_copies;
};

} // namespace stowmere::backup
