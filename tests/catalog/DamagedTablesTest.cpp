// SPDX-License-Identifier: GPL-3.0-or-later
// The shared table of damaged files, run against the catalog both front ends use.
#include "support/DamagedTables.h"
#include "catalog/Catalog.h"
#include "catalog/Errors.h"
#include "support/FileContents.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

using namespace stowmere::catalog;
using stowmere::testing::DamagedTables;
using stowmere::testing::readBytes;
using stowmere::testing::writeBytes;

namespace {

class DamagedTablesInTheCatalog : public ::testing::TestWithParam<DamagedTables> {};

std::string caseName(const ::testing::TestParamInfo<DamagedTables>& info)
{
    return info.param.name;
}

} // namespace

TEST_P(DamagedTablesInTheCatalog, AreRefusedOrReportedAndNeverOverwritten)
{
    const DamagedTables& damage = GetParam();
    stowmere::testing::TempFolder folder;
    writeBytes(folder.path() / "Category.cds", damage.category);
    writeBytes(folder.path() / "Path.cds", damage.path);

    Catalog catalog(folder.str());
    catalog.openForChange();
    if (damage.expect == DamagedTables::Expect::Refused) {
        ASSERT_EQ(catalog.openErrors().size(), 1u);
        const std::string& error = catalog.openErrors()[0];
        EXPECT_NE(error.find(folder.str() + "/" + damage.file), std::string::npos) << error;
        EXPECT_NE(error.find(damage.message), std::string::npos) << error;
        EXPECT_THROW(catalog.addSet("new", "/dest"), ChangesRefused);
    } else {
        EXPECT_TRUE(catalog.openErrors().empty()) << catalog.openErrors()[0];
        if (damage.expect == DamagedTables::Expect::Reported) {
            ASSERT_EQ(catalog.notices().size(), 1u);
            EXPECT_NE(catalog.notices()[0].find(damage.message), std::string::npos) << catalog.notices()[0];
        } else {
            EXPECT_TRUE(catalog.notices().empty());
        }
        EXPECT_EQ(catalog.nextSetNumber(), damage.nextSetNumber);
        EXPECT_EQ(catalog.addSet("new", "/dest"), damage.nextSetNumber);
        EXPECT_TRUE(catalog.paths(damage.nextSetNumber).empty()) << "a new set inherits no paths";
    }
    EXPECT_EQ(catalog.save().status, Catalog::SaveStatus::Saved);
    EXPECT_EQ(readBytes(folder.path() / "Path.cds"), damage.path) << "the path file is never rewritten";
    if (damage.expect == DamagedTables::Expect::Refused) {
        EXPECT_EQ(readBytes(folder.path() / "Category.cds"), damage.category);
    }
}

INSTANTIATE_TEST_SUITE_P(Catalog, DamagedTablesInTheCatalog,
                         ::testing::ValuesIn(stowmere::testing::damagedTableCases()), caseName);
