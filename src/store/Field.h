// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/FieldDef.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace stowmere::store {

class Table;

/// A handle on one field of a table's current row (or of the row being inserted or edited).
/// Cheap to copy; valid while its table keeps its columns.
class Field {
public:
    Field(Table& table, std::size_t index) : m_table(&table), m_index(index) {}

    const FieldDef& def() const;
    const std::string& fieldName() const { return def().name; }
    FieldType dataType() const { return def().type; }
    std::uint32_t size() const { return def().size; }
    std::size_t index() const { return m_index; }

    bool isNull() const;
    /// The value as text; an empty text for null.
    std::string asString() const;
    /// The value as an integer; 0 for null. Throws StoreError when it is not a number.
    std::int64_t asInteger() const;

    /// Writing needs the table in edit or insert state. Text that does not fit the field is
    /// refused with a StoreError naming the field and its size, never cut.
    void setAsString(std::string_view text);
    void setAsInteger(std::int64_t value);
    void clear();

private:
    Table* m_table;
    std::size_t m_index;
};

} // namespace stowmere::store
