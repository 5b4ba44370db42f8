// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/FieldDef.h"

#include <string_view>
#include <vector>

// The two table files of the backup sets and their columns. Every name of a file or column
// is spelled here once.
namespace stowmere::catalog::schema {

inline constexpr std::string_view kCategoryFileName = "Category.cds";
inline constexpr std::string_view kPathFileName = "Path.cds";
/// The per-set options, a table of its own so that the two files above keep their columns.
inline constexpr std::string_view kOptionsFileName = "Options.cds";
/// The advisory lock every read-modify-write of the table files holds, in the folder of
/// the table files (of the files their links name, when they are links).
inline constexpr std::string_view kLockFileName = ".stowmere-tables.lock";

// Columns of Category.cds.
inline constexpr std::string_view kCategoryNo = "Category_No";
inline constexpr std::string_view kCategoryDescription = "Category_Description";
inline constexpr std::string_view kCategoryBackupDirectory = "Category_BackupDirectory";
inline constexpr std::uint32_t kDescriptionSize = 50;
inline constexpr std::uint32_t kBackupDirectorySize = 255;

// Columns of Path.cds; its Category_No names the set a path belongs to.
inline constexpr std::string_view kPathNo = "Path_No";
inline constexpr std::string_view kPathCategoryNo = kCategoryNo;
inline constexpr std::string_view kPathItem = "Path_Item";
inline constexpr std::uint32_t kPathItemSize = 255;

// Columns of Options.cds: one row per set that has an identity or options other than the defaults, keyed
// by the set's Category_No.
inline constexpr std::string_view kOptionsCategoryNo = kCategoryNo;
inline constexpr std::string_view kOptionsExclusions = "Options_Exclusions";
inline constexpr std::string_view kOptionsKeepVersions = "Options_KeepVersions";
inline constexpr std::string_view kOptionsKeepDays = "Options_KeepDays";
inline constexpr std::string_view kOptionsCacheDirTag = "Options_CacheDirTag";
inline constexpr std::string_view kOptionsGuard = "Options_Guard";
inline constexpr std::string_view kOptionsDriveIdentity = "Options_DriveIdentity";
inline constexpr std::uint32_t kDriveIdentitySize = 255;
/// The set's own identity, written when the set is made. A file from before it existed is
/// read without the column, which is added when the file is next written.
inline constexpr std::string_view kOptionsSetIdentity = "Options_SetIdentity";
inline constexpr std::uint32_t kSetIdentitySize = 64;
/// Whether runs carry the removals of the sources into the copies; added later than the
/// identity, and read as off from a file without it.
inline constexpr std::string_view kOptionsMirror = "Options_Mirror";
/// How many days, weeks and months keep their newest run folder; added later than mirror,
/// and read as 0 from a file without them.
inline constexpr std::string_view kOptionsKeepDaily = "Options_KeepDaily";
inline constexpr std::string_view kOptionsKeepWeekly = "Options_KeepWeekly";
inline constexpr std::string_view kOptionsKeepMonthly = "Options_KeepMonthly";
inline constexpr std::string_view kOptionsOrder = "Category_No";

/// The orders the lists show: sets by description, paths by set and then by text.
inline constexpr std::string_view kCategoryOrder = "Category_Description";
inline constexpr std::string_view kPathOrder = "Category_No;Path_Item";

/// Category_No (numbered by the store), Category_Description, Category_BackupDirectory.
std::vector<store::FieldDef> categoryFieldDefs();
/// Path_No (numbered by the store), Category_No, Path_Item.
std::vector<store::FieldDef> pathFieldDefs();
/// Category_No, the exclusions (a memo, one pattern a line), versions and days to keep,
/// CACHEDIR.TAG honoured, the guard, the destination's recorded file system, the set's
/// identity, mirror, and the days, weeks and months that keep a run folder.
std::vector<store::FieldDef> optionsFieldDefs();

} // namespace stowmere::catalog::schema
