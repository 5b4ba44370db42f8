// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Paths.h"

namespace stowmere::paths {

bool isRoot(std::string_view path)
{
    if (path.empty())
        return false;
    // Every component must be empty or "." for the path to name the root.
    std::size_t start = 0;
    if (path.front() != kSeparator)
        return false;
    while (start < path.size()) {
        const std::size_t end = path.find(kSeparator, start);
        const std::string_view component =
            path.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (!component.empty() && component != ".")
            return false;
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    return true;
}

std::string withoutTrailingSeparator(std::string_view path)
{
    if (!path.empty() && path.back() == kSeparator && !isRoot(path))
        path.remove_suffix(1);
    return std::string(path);
}

std::string withTrailingSeparator(std::string_view path)
{
    std::string result(path);
    if (result.empty() || result.back() != kSeparator)
        result.push_back(kSeparator);
    return result;
}

std::string fileNamePart(std::string_view path)
{
    const std::size_t slash = path.rfind(kSeparator);
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string parentFolder(std::string_view path)
{
    const std::string trimmed = withoutTrailingSeparator(path);
    const std::size_t slash = trimmed.rfind(kSeparator);
    if (slash == std::string::npos)
        return {};
    if (slash == 0)
        return std::string(1, kSeparator);
    return trimmed.substr(0, slash);
}

std::string join(std::string_view folder, std::string_view name)
{
    while (!name.empty() && name.front() == kSeparator)
        name.remove_prefix(1);
    std::string result;
    result.reserve(folder.size() + 1 + name.size());
    result.append(folder);
    if (result.empty() || result.back() != kSeparator)
        result.push_back(kSeparator);
    result.append(name);
    return result;
}

} // namespace stowmere::paths
