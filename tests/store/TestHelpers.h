// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/FieldDef.h"

#include <cstddef>
#include <initializer_list>
#include <string>
#include <vector>

namespace testing_helpers {

// Two tables shaped like the program's backup-set and path tables, the store's own test
// subjects (the program's column set itself belongs to the catalog).
inline std::vector<stowmere::store::FieldDef> categoryFieldDefs()
{
    using stowmere::store::FieldDef;
    return {FieldDef::autoIncrement("Category_No"), FieldDef::string("Category_Description", 50),
            FieldDef::string("Category_BackupDirectory", 255)};
}

inline std::vector<stowmere::store::FieldDef> pathFieldDefs()
{
    using stowmere::store::FieldDef;
    return {FieldDef::autoIncrement("Path_No"), FieldDef::integer("Category_No"),
            FieldDef::string("Path_Item", 255)};
}

inline constexpr const char* kCategoryIndexFieldNames = "Category_Description";
inline constexpr const char* kPathIndexFieldNames = "Category_No;Path_Item";

inline std::vector<std::byte> bytes(std::initializer_list<int> values)
{
    std::vector<std::byte> out;
    for (const int value : values)
        out.push_back(static_cast<std::byte>(value));
    return out;
}

inline void append(std::vector<std::byte>& out, std::initializer_list<int> values)
{
    for (const int value : values)
        out.push_back(static_cast<std::byte>(value));
}

inline void append(std::vector<std::byte>& out, std::string_view text)
{
    for (const char c : text)
        out.push_back(static_cast<std::byte>(c));
}

/// Worked file 1: the backup-set table after adding "abc" with folder "D:\Bak".
inline std::vector<std::byte> workedFile1()
{
    std::vector<std::byte> f =
        bytes({0x96, 0x19, 0xE0, 0xBD, 1, 0, 0, 0, 0x18, 0, 0, 0, 3, 0, 1, 0, 0, 0, 3, 0, 0, 0, 0xAF, 0});
    append(f, {11});
    append(f, "Category_No");
    append(f, {0x04, 0x00, 0x01, 0x00, 0x02, 0x00, 0x01, 0x00, 7});
    append(f, "SUBTYPE");
    append(f, {0x02, 0x00, 0x49, 0x00, 0x08, 0x00});
    append(f, "Autoinc");
    append(f, {0, 20});
    append(f, "Category_Description");
    append(f, {0x01, 0x00, 0x49, 0x00, 0x00, 0x00, 0x01, 0x00, 5});
    append(f, "WIDTH");
    append(f, {0x02, 0x00, 0x02, 0x00, 0x32, 0x00, 24});
    append(f, "Category_BackupDirectory");
    append(f, {0x02, 0x00, 0x49, 0x00, 0x00, 0x00, 0x01, 0x00, 5});
    append(f, "WIDTH");
    append(f, {0x02, 0x00, 0x02, 0x00, 0xFF, 0x00});
    append(f, {0x01, 0x00, 12});
    append(f, "AUTOINCVALUE");
    append(f, {0x04, 0x00, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00});
    append(f, {0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x03});
    append(f, "abc");
    append(f, {0x06, 0x00});
    append(f, "D:\\Bak");
    return f;
}

/// Worked file 2: a new path table with no rows.
inline std::vector<std::byte> workedFile2()
{
    std::vector<std::byte> f =
        bytes({0x96, 0x19, 0xE0, 0xBD, 1, 0, 0, 0, 0x18, 0, 0, 0, 3, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0x87, 0});
    append(f, {7});
    append(f, "Path_No");
    append(f, {0x04, 0x00, 0x01, 0x00, 0x02, 0x00, 0x01, 0x00, 7});
    append(f, "SUBTYPE");
    append(f, {0x02, 0x00, 0x49, 0x00, 0x08, 0x00});
    append(f, "Autoinc");
    append(f, {0, 11});
    append(f, "Category_No");
    append(f, {0x04, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 9});
    append(f, "Path_Item");
    append(f, {0x02, 0x00, 0x49, 0x00, 0x00, 0x00, 0x01, 0x00, 5});
    append(f, "WIDTH");
    append(f, {0x02, 0x00, 0x02, 0x00, 0xFF, 0x00});
    append(f, {0x01, 0x00, 12});
    append(f, "AUTOINCVALUE");
    append(f, {0x04, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00});
    return f;
}

} // namespace testing_helpers
