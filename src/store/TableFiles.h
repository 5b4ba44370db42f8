// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/Table.h"

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace stowmere::store {

/// The whole content of a file. Throws StoreError naming the file and the reason.
std::vector<std::byte> readTableFile(const std::string& path);
/// A table file's bytes as read, or none when there was no file.
using TableFileImage = std::optional<std::vector<std::byte>>;
/// readTableFile, but a file that does not exist gives none instead of an error.
TableFileImage readTableFileImage(const std::string& path);
/// Whether path no longer holds image: other bytes, or a file that appeared or went away
/// since. A file that cannot be read now counts as unchanged, because writing it fails the
/// same way and says why, while a false alarm would stop the save.
bool tableFileChanged(const std::string& path, const TableFileImage& image);
/// Loads a table from a file, binding it to the file. Errors name the file.
void loadTableFile(Table& table, const std::string& path);
/// Loads a table from bytes read from path, binding it to the file. Errors name the file.
void loadTableBytes(Table& table, std::span<const std::byte> bytes, const std::string& path);
/// The bytes saveTableFile would write for the table. Errors name the file.
std::vector<std::byte> tableFileBytes(const Table& table, const std::string& path);
/// Replaces the file at path with bytes as saveTableFile does (through links, atomically).
void writeTableFile(const std::string& path, std::span<const std::byte> bytes);
/// Writes the table to a file through a temporary file that replaces the old one only when
/// complete, so a failed save leaves the old file as it was. A symbolic link is saved
/// through: the file it names is replaced, in that file's folder, and the link stays.
/// Errors name the file.
void saveTableFile(const Table& table, const std::string& path);

/// The file path names once every symbolic link on its last component is followed (the
/// path itself when it is no link). A link to a missing file gives the missing file's
/// path. Throws StoreError naming path for a loop of links or an unreadable link.
std::string followLinks(const std::string& path);

} // namespace stowmere::store
