// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/FieldDef.h"
#include "store/TDataTable.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace stowmere::store {

inline constexpr const char* kCategoryFileName = "Category.cds";
inline constexpr const char* kPathFileName = "Path.cds";

/// Columns of the backup-set table: Category_No (automatic), Category_Description (50
/// bytes), Category_BackupDirectory (255 bytes).
std::vector<FieldDef> categoryFieldDefs();
/// Columns of the path table: Path_No (automatic), Category_No, Path_Item (255 bytes).
std::vector<FieldDef> pathFieldDefs();

inline constexpr const char* kCategoryIndexFieldNames = "Category_Description";
inline constexpr const char* kPathIndexFieldNames = "Category_No;Path_Item";

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
void loadTableFile(TDataTable& table, const std::string& path);
/// Writes the table to a file through a temporary file that replaces the old one only when
/// complete, so a failed save leaves the old file as it was. Errors name the file.
void saveTableFile(const TDataTable& table, const std::string& path);

/// Opens the backup-set table from dataFolder/Category.cds: read when the file exists,
/// created empty from the column definitions otherwise (no file is written until the
/// table is closed with changes). Browses by description. On failure the table stays
/// closed and a StoreError names the file. When opened is given it receives the bytes the
/// table was loaded from (none when there was no file), for tableFileChanged before saving.
void OpenCategoryTable(TDataTable& table, const std::string& dataFolder, TableFileImage* opened = nullptr);
/// The same for the path table and Path.cds; its visible range follows categories' current
/// row, browsing by Category_No;Path_Item. Call it after OpenCategoryTable (also when that
/// failed: the link is made, and the path table then shows no rows).
void OpenPathTable(TDataTable& table, const std::string& dataFolder, TDataTable& categories,
                   TableFileImage* opened = nullptr);
/// Finishes a pending row, writes the table to its file when rows changed since it was
/// opened (never otherwise), and closes it. When the write fails the table stays open and
/// unchanged, and a StoreError names the file and the reason.
void CloseTable(TDataTable& table);

} // namespace stowmere::store
