// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/Schema.h"

#include <string>

namespace stowmere::catalog::schema {

std::vector<store::FieldDef> categoryFieldDefs()
{
    using store::FieldDef;
    return {FieldDef::autoIncrement(std::string(kCategoryNo)),
            FieldDef::string(std::string(kCategoryDescription), kDescriptionSize),
            FieldDef::string(std::string(kCategoryBackupDirectory), kBackupDirectorySize)};
}

std::vector<store::FieldDef> pathFieldDefs()
{
    using store::FieldDef;
    return {FieldDef::autoIncrement(std::string(kPathNo)), FieldDef::integer(std::string(kPathCategoryNo)),
            FieldDef::string(std::string(kPathItem), kPathItemSize)};
}

} // namespace stowmere::catalog::schema
