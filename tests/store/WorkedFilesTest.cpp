// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestHelpers.h"

#include "store/Table.h"

#include <gtest/gtest.h>

using namespace stowmere::store;
using namespace testing_helpers;

TEST(WorkedFiles, FirstBackupSetOfANewTableIsWrittenByteForByte)
{
    Table table;
    table.setFieldDefs(categoryFieldDefs());
    table.setIndexFieldNames(kCategoryIndexFieldNames);
    table.createDataSet();
    table.insert();
    table.fieldByName("Category_Description").setAsString("abc");
    table.fieldByName("Category_BackupDirectory").setAsString("D:\\Bak");
    table.post();
    EXPECT_EQ(table.fieldByName("Category_No").asInteger(), 1);

    const std::vector<std::byte> saved = table.saveToBytes();
    ASSERT_EQ(saved.size(), 193u);
    EXPECT_EQ(saved, workedFile1());

    Table reread;
    reread.loadFromBytes(saved);
    EXPECT_EQ(reread.recordCount(), 1u);
    EXPECT_EQ(reread.fieldByName("Category_No").asInteger(), 1);
    EXPECT_EQ(reread.fieldByName("Category_Description").asString(), "abc");
    EXPECT_EQ(reread.fieldByName("Category_BackupDirectory").asString(), "D:\\Bak");
    EXPECT_EQ(reread.autoIncValue(), 2);
    EXPECT_EQ(reread.saveToBytes(), saved);
}

TEST(WorkedFiles, NewEmptyPathTableIsWrittenByteForByte)
{
    Table table;
    table.setFieldDefs(pathFieldDefs());
    table.createDataSet();
    const std::vector<std::byte> saved = table.saveToBytes();
    ASSERT_EQ(saved.size(), 135u);
    EXPECT_EQ(saved, workedFile2());

    Table reread;
    reread.loadFromBytes(saved);
    EXPECT_TRUE(reread.isEmpty());
    EXPECT_EQ(reread.autoIncValue(), 1);
    ASSERT_EQ(reread.fieldDefs().size(), 3u);
    EXPECT_TRUE(reread.fieldDefs()[0].isAutoIncrement());
    EXPECT_TRUE(reread.fieldDefs()[0].isReadOnly());
    EXPECT_EQ(reread.fieldDefs()[2].size, 255u);
    EXPECT_EQ(reread.saveToBytes(), saved);
}
