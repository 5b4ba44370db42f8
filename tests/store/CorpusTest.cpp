// SPDX-License-Identifier: GPL-3.0-or-later
// The fuzzing corpus as a regression test: every file gives a result or a refusal, and a
// file the table accepts takes a new row and saves to bytes that read back to the same bytes.
#include "TestHelpers.h"
#include "support/FileContents.h"

#include "store/PacketContents.h"
#include "store/StoreError.h"
#include "store/TDataTable.h"

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
        TDataTable table;
        try {
            table.LoadFromBytes(bytes);
        } catch (const StoreError& error) {
            EXPECT_NE(error.code(), rc::Ok) << error.what();
            EXPECT_FALSE(table.Active());
            continue;
        }
        ++accepted;
        for (std::size_t record = 0; record < table.RecordCount(); ++record)
            for (std::size_t i = 0; i < table.FieldCount(); ++i)
                (void)table.RecordAsString(record, i);
        try {
            table.Insert();
            table.Post();
        } catch (const StoreError&) {
            table.Cancel(); // refused by the table's rules; the table must still save
        }
        const auto saved = table.SaveToBytes();
        TDataTable again;
        again.LoadFromBytes(saved);
        EXPECT_EQ(again.SaveToBytes(), saved);
    }
    EXPECT_GE(files, 19u);
    EXPECT_GE(accepted, 7u);
}
