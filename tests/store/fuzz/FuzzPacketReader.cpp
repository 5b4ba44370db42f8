// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer entry: any bytes must give a result or a refusal, never a crash; a packet the
// table accepts must save to bytes that load and save to the same bytes again.
#include "store/PacketContents.h"
#include "store/StoreError.h"
#include "store/Table.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace stowmere::store;
    const auto bytes = std::as_bytes(std::span(data, size));
    (void)readPacketContents(bytes);

    Table table;
    try {
        table.loadFromBytes(bytes);
    } catch (const StoreError&) {
        return 0;
    }
    for (std::size_t record = 0; record < table.recordCount(); ++record)
        for (std::size_t i = 0; i < table.fieldCount(); ++i)
            (void)table.recordAsString(record, i);
    try {
        // A new row (all defaults) may be refused by the table's rules, but once it is in,
        // the table must still save: every column it accepted has to be writable.
        try {
            table.insert();
            table.post();
        } catch (const StoreError&) {
            if (table.isActive())
                table.cancel();
        }
        const auto saved = table.saveToBytes();
        Table again;
        again.loadFromBytes(saved);
        if (again.saveToBytes() != saved)
            std::abort();
    } catch (const StoreError&) {
        // A table read from a file always saves; a refusal here is a fault.
        std::abort();
    }
    return 0;
}
