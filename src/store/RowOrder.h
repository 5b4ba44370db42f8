// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/FieldDef.h"
#include "store/KeyCollator.h"
#include "store/TablePacket.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace stowmere::store {

/// What an order arranges: a table's columns, its row storage and its collation. Rows are
/// named by their slot, their index in rows.
struct OrderedRows {
    const std::vector<FieldDef>& fields;
    const std::vector<PackedRow>& rows;
    const KeyCollator& collator;

    /// The stored value of a field of the row in slot; none for null.
    std::optional<std::string_view> value(std::uint32_t slot, std::size_t field) const
    {
        return packedField(rows[slot].data, field);
    }
};

/// One arrangement of a table's live rows, kept as slot numbers: by key columns, or without
/// keys in the order rows were placed. Sorting is stable, so rows with equal keys keep the
/// order in which they were placed. The order holds no reference to the rows; each call that
/// compares takes them, and the slots stay valid while the table keeps its rows.
class RowOrder {
public:
    using Values = std::vector<std::optional<std::string>>;
    using Key = std::vector<std::optional<std::string_view>>;

    RowOrder(std::string name, std::vector<KeyColumn> keys, IndexUniqueness uniqueness,
             bool fieldSorted = false);

    /// The ascending, case-sensitive key columns for field names separated by ';'. Throws
    /// "Field '%s' not found", "Field index out of range" for a calculated field, and
    /// refuses more than 16 names or a field that cannot be compared.
    static std::vector<KeyColumn> keyColumns(const std::vector<FieldDef>& fields, std::string_view names);

    const std::string& name() const { return m_name; }
    const std::vector<KeyColumn>& keys() const { return m_keys; }
    IndexUniqueness uniqueness() const { return m_uniqueness; }
    bool isUnique() const { return m_uniqueness != IndexUniqueness::None; }
    /// Built for a browse order by field names, rather than read from the packet.
    bool isFieldSorted() const { return m_fieldSorted; }
    const std::vector<std::uint32_t>& rowSlots() const { return m_slots; }

    /// Takes every live row and sorts them by the keys. Throws a key violation when a unique
    /// order finds two rows with equal keys.
    void build(const OrderedRows& rows);

    /// The key of a row given by its field values, or by its slot.
    Key keyOf(const Values& values) const;
    Key keyOfSlot(const OrderedRows& rows, std::uint32_t slot) const;
    /// Compares the first columns key columns of the row in slot with key: <0, 0 or >0.
    int compareRowToKey(const OrderedRows& rows, std::uint32_t slot, const Key& key,
                        std::size_t columns) const;

    /// Where a row with this key goes: after every row whose key compares equal.
    std::size_t placeFor(const OrderedRows& rows, const Key& key) const;
    /// Whether a row other than except has this key.
    bool hasDuplicate(const OrderedRows& rows, const Key& key, std::optional<std::uint32_t> except) const;
    /// The positions [first, last) within [begin, end) whose leading key.size() columns
    /// equal key.
    std::pair<std::size_t, std::size_t> equalRange(const OrderedRows& rows, const Key& key, std::size_t begin,
                                                   std::size_t end) const;

    /// The position of slot, or nothing when the order does not hold it.
    std::optional<std::size_t> positionOf(std::uint32_t slot) const;
    void insertAt(std::size_t position, std::uint32_t slot);
    /// Takes slot out, when the order holds it.
    void remove(std::uint32_t slot);
    /// Moves slot, whose key changed, to where its new key places it.
    void reposition(const OrderedRows& rows, std::uint32_t slot);

private:
    int compareValues(const OrderedRows& rows, const KeyColumn& key, std::optional<std::string_view> a,
                      std::optional<std::string_view> b) const;
    void sortSlots(const OrderedRows& rows, std::uint32_t* first, std::uint32_t* last,
                   std::size_t column) const;

    std::string m_name;
    std::vector<KeyColumn> m_keys;
    IndexUniqueness m_uniqueness = IndexUniqueness::None;
    bool m_fieldSorted = false;
    std::vector<std::uint32_t> m_slots;
};

} // namespace stowmere::store
