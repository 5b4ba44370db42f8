// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestHelpers.h"

#include "store/TDataTable.h"

#include <gtest/gtest.h>

using namespace stowmere::store;
using namespace testing_helpers;

TEST(WorkedFiles, FirstBackupSetOfANewTableIsWrittenByteForByte)
{
    TDataTable table;
    table.SetFieldDefs(categoryFieldDefs());
    table.SetIndexFieldNames(kCategoryIndexFieldNames);
    table.CreateDataSet();
    table.Insert();
    table.FieldByName("Category_Description").SetAsString("abc");
    table.FieldByName("Category_BackupDirectory").SetAsString("D:\\Bak");
    table.Post();
    EXPECT_EQ(table.FieldByName("Category_No").AsInteger(), 1);

    const std::vector<std::byte> saved = table.SaveToBytes();
    ASSERT_EQ(saved.size(), 193u);
    EXPECT_EQ(saved, workedFile1());

    TDataTable reread;
    reread.LoadFromBytes(saved);
    EXPECT_EQ(reread.RecordCount(), 1u);
    EXPECT_EQ(reread.FieldByName("Category_No").AsInteger(), 1);
    EXPECT_EQ(reread.FieldByName("Category_Description").AsString(), "abc");
    EXPECT_EQ(reread.FieldByName("Category_BackupDirectory").AsString(), "D:\\Bak");
    EXPECT_EQ(reread.AutoIncValue(), 2);
    EXPECT_EQ(reread.SaveToBytes(), saved);
}

TEST(WorkedFiles, NewEmptyPathTableIsWrittenByteForByte)
{
    TDataTable table;
    table.SetFieldDefs(pathFieldDefs());
    table.CreateDataSet();
    const std::vector<std::byte> saved = table.SaveToBytes();
    ASSERT_EQ(saved.size(), 135u);
    EXPECT_EQ(saved, workedFile2());

    TDataTable reread;
    reread.LoadFromBytes(saved);
    EXPECT_TRUE(reread.IsEmpty());
    EXPECT_EQ(reread.AutoIncValue(), 1);
    ASSERT_EQ(reread.FieldDefs().size(), 3u);
    EXPECT_TRUE(reread.FieldDefs()[0].isAutoIncrement());
    EXPECT_TRUE(reread.FieldDefs()[0].isReadOnly());
    EXPECT_EQ(reread.FieldDefs()[2].size, 255u);
    EXPECT_EQ(reread.SaveToBytes(), saved);
}
