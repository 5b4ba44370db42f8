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

bool Exclusions::matchSegments(const std::vector<std::string>& pattern, std::size_t p,
                               const std::vector<std::string_view>& path, std::size_t n)
{
    while (p < pattern.size()) {
        if (pattern[p] == "**") {
            // A trailing "**" matches what lies inside, not the folder itself.
            if (p + 1 == pattern.size())
                return n < path.size();
            for (std::size_t skip = n; skip <= path.size(); ++skip)
                if (matchSegments(pattern, p + 1, path, skip))
                    return true;
            return false;
        }
        if (n >= path.size() || !matches(pattern[p], path[n]))
            return false;
        ++p;
        ++n;
    }
    return n == path.size();
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
            if (matchSegments(pattern.segments, 0, parts, 0))
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
