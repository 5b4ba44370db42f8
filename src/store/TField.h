// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/FieldDef.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace stowmere::store {

class TDataTable;

/// A handle on one field of a table's current row (or of the row being inserted or edited).
/// Cheap to copy; valid while its table keeps its columns.
class TField {
public:
    TField(TDataTable& table, std::size_t index) : m_table(&table), m_index(index) {}

    const FieldDef& Def() const;
    const std::string& FieldName() const { return Def().name; }
    FieldType DataType() const { return Def().type; }
    std::uint32_t Size() const { return Def().size; }
    std::size_t Index() const { return m_index; }

    bool IsNull() const;
    /// The value as text; an empty text for null.
    std::string AsString() const;
    /// The value as an integer; 0 for null. Throws StoreError when it is not a number.
    std::int64_t AsInteger() const;

    /// Writing needs the table in edit or insert state. Text that does not fit the field is
    /// refused with a StoreError naming the field and its size, never cut.
    void SetAsString(std::string_view text);
    void SetAsInteger(std::int64_t value);
    void Clear();

private:
    TDataTable* m_table;
    std::size_t m_index;
};

} // namespace stowmere::store
