// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace stowmere::backup {

/// A backup set's exclusion patterns, matched against paths below a backed-up item.
///
/// One pattern a line, as in a .gitignore: "*" and "?" match within one name, a "**"
/// component any number of folders (none included), a trailing "/" makes a pattern match
/// folders only. A pattern with a "/" at its start or inside it is matched against the
/// whole path below the item; one without matches a name at any depth. Any match
/// excludes, whatever the order of the patterns.
class Exclusions {
public:
    Exclusions() = default;
    explicit Exclusions(const std::vector<std::string>& patterns);

    bool empty() const { return m_patterns.empty(); }

    /// Whether the entry at relative (below the item, names separated by "/", no leading
    /// separator; a file item's own name) is left out. folder: the entry is a folder.
    bool excludes(std::string_view relative, bool folder) const;

    /// Name of the tag file that marks a folder as a cache, and the signature that must
    /// begin it for the mark to count.
    static constexpr std::string_view kCacheDirTag = "CACHEDIR.TAG";
    static constexpr std::string_view kCacheDirSignature = "Signature: 8a477f597d28d172789f06886806bc55";

    /// Whether the open folder folderFd holds a regular file CACHEDIR.TAG that begins with
    /// the signature. A tag without it (a cache's own notes, say) marks nothing.
    static bool hasCacheDirTag(int folderFd);

private:
    struct Pattern {
        std::string text;                  ///< without its leading and trailing "/"
        std::vector<std::string> segments; ///< text split at "/", for a pattern with "**"
        bool folderOnly = false;
        bool anchored = false; ///< matched against the whole path, not the name
        bool anyDepth = false; ///< holds a "**" component
    };

    static bool matchSegments(const std::vector<std::string>& pattern,
                              const std::vector<std::string_view>& path);

    std::vector<Pattern> m_patterns;
};

} // namespace stowmere::backup
