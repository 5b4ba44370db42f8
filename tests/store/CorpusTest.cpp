// SPDX-License-Identifier: GPL-3.0-or-later
// The fuzzing corpus as a regression test: every file gives a result or a refusal, and a
// file the table accepts takes a new row and saves to bytes that read back to the same bytes.
#include "TestHelpers.h"
#include "support/FileContents.h"

#include "store/PacketContents.h"
#include "store/StoreError.h"
#include "store/Table.h"

#include <gtest/gtest.h>

using namespace stowmere::store;

TEST(Corpus, EveryFileIsReadOrRefusedWithoutCrashing)
{
    std::size_t files = 0;
    std::size_t accepted = 0;
    for (const auto& entry : std::filesystem::directory_iterator(STOWMERE_CORPUS_DIR)) {
        ++files;
        SCOPED_TRACE(entry.path().filename().string());
        const auto bytes = stowmere::testing::readBytes(entry.path());
        const PacketContents contents = readPacketContents(bytes);
        EXPECT_LE(contents.offset, bytes.size());
        Table table;
        try {
            table.loadFromBytes(bytes);
        } catch (const StoreError& error) {
            EXPECT_NE(error.code(), rc::Ok) << error.what();
            EXPECT_FALSE(table.isActive());
            continue;
        }
        ++accepted;
        for (std::size_t record = 0; record < table.recordCount(); ++record)
            for (std::size_t i = 0; i < table.fieldCount(); ++i)
                (void)table.recordAsString(record, i);
        try {
            table.insert();
            table.post();
        } catch (const StoreError&) {
            table.cancel(); // refused by the table's rules; the table must still save
        }
        const auto saved = table.saveToBytes();
        Table again;
        again.loadFromBytes(saved);
        EXPECT_EQ(again.saveToBytes(), saved);
    }
    EXPECT_GE(files, 19u);
    EXPECT_GE(accepted, 7u);
}
