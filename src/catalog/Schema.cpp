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

std::vector<store::FieldDef> optionsFieldDefs()
{
    using store::FieldDef;
    return {FieldDef::integer(std::string(kOptionsCategoryNo)),
            FieldDef::memo(std::string(kOptionsExclusions)),
            FieldDef::integer(std::string(kOptionsKeepVersions)),
            FieldDef::integer(std::string(kOptionsKeepDays)),
            FieldDef::boolean(std::string(kOptionsCacheDirTag)),
            FieldDef::boolean(std::string(kOptionsGuard)),
            FieldDef::string(std::string(kOptionsDriveIdentity), kDriveIdentitySize),
            FieldDef::string(std::string(kOptionsSetIdentity), kSetIdentitySize),
            FieldDef::boolean(std::string(kOptionsMirror)),
            FieldDef::integer(std::string(kOptionsKeepDaily)),
            FieldDef::integer(std::string(kOptionsKeepWeekly)),
            FieldDef::integer(std::string(kOptionsKeepMonthly))};
}

} // namespace stowmere::catalog::schema
