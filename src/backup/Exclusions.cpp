// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/Exclusions.h"

#include "platform/UniqueFd.h"

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

namespace stowmere::backup {
namespace {

std::vector<std::string_view> split(std::string_view text)
{
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find('/', start);
        parts.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos)
            return parts;
        start = end + 1;
    }
}

bool matches(const std::string& pattern, std::string_view text)
{
    // fnmatch wants terminated text; names are short, so a copy costs little.
    const std::string subject(text);
    return ::fnmatch(pattern.c_str(), subject.c_str(), FNM_PATHNAME) == 0;
}

} // namespace

Exclusions::Exclusions(const std::vector<std::string>& patterns)
{
    for (const std::string& given : patterns) {
        Pattern pattern;
        std::string_view text = given;
        while (!text.empty() && text.back() == '/') {
            pattern.folderOnly = true;
            text.remove_suffix(1);
        }
        while (!text.empty() && text.front() == '/') {
            pattern.anchored = true;
            text.remove_prefix(1);
        }
        if (text.empty())
            continue;
        if (text.find('/') != std::string_view::npos)
            pattern.anchored = true;
        for (const std::string_view segment : split(text)) {
            pattern.segments.emplace_back(segment);
            if (segment == "**")
                pattern.anyDepth = true;
        }
        // Unanchored, "**" is a name like any other: it matches every name, as "*" does.
        if (!pattern.anchored && pattern.anyDepth)
            text = "*";
        pattern.text = std::string(text);
        m_patterns.push_back(std::move(pattern));
    }
}

bool Exclusions::matchSegments(const std::vector<std::string>& pattern,
                               const std::vector<std::string_view>& path)
{
    // matched[n]: whether the pattern's segments from p on match the path's names from n
    // on, for the p of the round before. Built from the last segment back, each (segment,
    // name) pair is looked at once at most: time grows with the product of the two lengths,
    // never exponentially with the number of "**", however many a pattern holds.
    const std::size_t names = path.size();
    std::vector<char> matched(names + 1, 0);
    std::vector<char> before(names + 1, 0);
    matched[names] = 1;
    for (std::size_t p = pattern.size(); p-- > 0;) {
        if (pattern[p] == "**") {
            if (p + 1 == pattern.size()) {
                // A trailing "**" matches what lies inside, not the folder itself.
                for (std::size_t n = 0; n <= names; ++n)
                    before[n] = n < names ? 1 : 0;
            } else {
                // Any number of names, none included, then the rest of the pattern.
                char any = 0;
                for (std::size_t n = names + 1; n-- > 0;) {
                    any = static_cast<char>(any | matched[n]);
                    before[n] = any;
                }
            }
        } else {
            before[names] = 0;
            for (std::size_t n = 0; n < names; ++n)
                before[n] = matched[n + 1] && matches(pattern[p], path[n]) ? 1 : 0;
        }
        matched.swap(before);
    }
    return matched[0] != 0;
}

bool Exclusions::excludes(std::string_view relative, bool folder) const
{
    if (m_patterns.empty())
        return false;
    while (!relative.empty() && relative.front() == '/')
        relative.remove_prefix(1);
    const std::size_t slash = relative.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? relative : relative.substr(slash + 1);
    std::vector<std::string_view> parts;
    for (const Pattern& pattern : m_patterns) {
        if (pattern.folderOnly && !folder)
            continue;
        if (!pattern.anchored) {
            if (matches(pattern.text, name))
                return true;
        } else if (!pattern.anyDepth) {
            if (matches(pattern.text, relative))
                return true;
        } else {
            if (parts.empty())
                parts = split(relative);
            if (matchSegments(pattern.segments, parts))
                return true;
        }
    }
    return false;
}

bool Exclusions::hasCacheDirTag(int folderFd)
{
    const std::string name(kCacheDirTag);
    files::UniqueFd tag(::openat(folderFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!tag)
        return false;
    struct stat info {};
    if (::fstat(tag.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    std::array<char, kCacheDirSignature.size()> start{};
    std::size_t done = 0;
    while (done < start.size()) {
        const ssize_t got = ::read(tag.get(), start.data() + done, start.size() - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += static_cast<std::size_t>(got);
    }
    return std::string_view(start.data(), start.size()) == kCacheDirSignature;
}

} // namespace stowmere::backup
