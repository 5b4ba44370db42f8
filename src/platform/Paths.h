// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace stowmere::paths {

inline constexpr char kSeparator = '/';

/// True for the file-system root, which keeps its trailing separator like a drive root.
/// Decided by meaning: "/", "//" and "/./" are all the root.
bool isRoot(std::string_view path);

/// The path with one trailing separator removed, unless the path is the root.
std::string withoutTrailingSeparator(std::string_view path);

/// The path with exactly one trailing separator ("/usr" -> "/usr/", "/" -> "/").
std::string withTrailingSeparator(std::string_view path);

/// The text after the last separator: "/home/a/b.txt" -> "b.txt", "/home/a/" -> "", "/" -> "".
std::string fileNamePart(std::string_view path);

/// Everything before the last separator; the root's parent is the root itself.
std::string parentFolder(std::string_view path);

/// Joins a folder and a relative name with exactly one separator between them: the
/// folder's own trailing separator (the root's) serves, separators leading the name are
/// dropped ("/dest" + "/sub" is "/dest/sub", never "/dest//sub"), and an empty folder
/// stands for the root, as a destination "/" does once its separator is taken off.
std::string join(std::string_view folder, std::string_view name);

} // namespace stowmere::paths
