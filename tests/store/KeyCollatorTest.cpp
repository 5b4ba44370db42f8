// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestHelpers.h"

#include "store/KeyCollator.h"
#include "store/Table.h"

#include <gtest/gtest.h>

#include <random>

using namespace stowmere::store;
using namespace testing_helpers;

TEST(KeyCollator, CaseSensitiveKeysPutCaseVariantsNextToEachOther)
{
    const KeyCollator collator;
    EXPECT_LT(collator.compare("a", "A", false), 0);
    EXPECT_LT(collator.compare("A", "b", false), 0);
    EXPECT_LT(collator.compare("docs", "Docs", false), 0);
    EXPECT_LT(collator.compare("Docs", "documents", false), 0);
    EXPECT_EQ(collator.compare("Docs", "docs", true), 0);
    EXPECT_LT(collator.compare("\xC3\xA9t\xC3\xA9", "f", false), 0)
        << "accented letters sort with their base letter";
    EXPECT_EQ(collator.compare("same", "same", false), 0);
}

TEST(KeyCollator, SortKeysOrderLikeComparisonsAlsoForMalformedText)
{
    const KeyCollator collator;
    const std::vector<std::string> texts = {"a",       "A",        "b",     "",         "/home/x",
                                            "/home/X", "\xFF\xFE", "a\xC3", "\xC3\xA9", "e"};
    for (const bool caseInsensitive : {false, true})
        for (const std::string& a : texts)
            for (const std::string& b : texts) {
                std::string keyA;
                std::string keyB;
                collator.appendSortKey(a, caseInsensitive, keyA);
                collator.appendSortKey(b, caseInsensitive, keyB);
                const int byKey = (keyA > keyB) - (keyA < keyB);
                EXPECT_EQ(byKey, collator.compare(a, b, caseInsensitive)) << a << " / " << b;
            }
}

TEST(KeyCollator, UnknownLocalesFallBackToTheRootLocale)
{
    EXPECT_FALSE(KeyCollator::isInstalledLocale(0));
    EXPECT_TRUE(KeyCollator::isInstalledLocale(0x0407)); // German
    EXPECT_EQ(KeyCollator(0x7FFF).lcid(), 0u);
}

// Large runs are sorted through sort keys, small ones by direct comparison; both must give
// the collation order with equal keys in placement order.
TEST(KeyCollator, LargeTablesSortLikeSmallOnes)
{
    std::mt19937 random(5);
    const std::vector<std::string> words = {"alpha", "Alpha", "ALPHA", "beta", "Beta", "\xC3\xA9t\xC3\xA9",
                                            "Ete",   "ete"};
    Table table;
    table.setFieldDefs(categoryFieldDefs());
    table.setIndexFieldNames("Category_No"); // new rows go to the end of the file order
    table.createDataSet();
    for (int i = 0; i < 5000; ++i) {
        table.insert();
        table.fieldByName("Category_Description").setAsString(words[random() % words.size()]);
        table.post();
    }
    Table sorted;
    sorted.setIndexFieldNames(kCategoryIndexFieldNames);
    sorted.loadFromBytes(table.saveToBytes());
    const KeyCollator collator;
    std::string previous;
    std::int64_t previousNo = 0;
    std::size_t rows = 0;
    for (; rows < sorted.recordCount(); ++rows) {
        const std::string description = sorted.recordAsString(rows, 1);
        const std::int64_t number = *sorted.recordAsInteger(rows, 0);
        if (rows > 0) {
            const int order = collator.compare(previous, description, false);
            ASSERT_LE(order, 0) << previous << " before " << description;
            if (order == 0) {
                ASSERT_LT(previousNo, number)
                    << "equal keys keep placement order: " << previous << " " << description;
            }
        }
        previous = description;
        previousNo = number;
    }
    EXPECT_EQ(rows, 5000u);
}
