// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/Field.h"
#include "store/FieldDef.h"
#include "store/KeyCollator.h"
#include "store/PacketFormat.h"
#include "store/RowOrder.h"
#include "store/TablePacket.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace stowmere::store {

enum class DataSetState { Inactive, Browse, Edit, Insert };

/// An in-memory table with a current row: the rows of one data packet, their stored order
/// and a browsing order (each a RowOrder), and automatic numbering. Every failure raises
/// StoreError. Change logging is always off: posted inserts and edits and deletions change
/// the rows directly. Not thread-safe: one thread (the user-interface thread) owns a table.
class Table {
public:
    static constexpr const char* kDefaultOrderName = "DEFAULT_ORDER";

    Table();
    ~Table();
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    // --- Definition, opening and closing -------------------------------------------------

    /// Column definitions used by createDataSet(); replaced by the file's columns on load.
    void setFieldDefs(std::vector<FieldDef> fields);
    const std::vector<FieldDef>& fieldDefs() const { return m_fields; }
    /// Creates an empty, open table from the field definitions. Throws for a column name of
    /// more than 31 bytes ("Fieldname %s exceeds 31 chars") or a text column without a size.
    void createDataSet();
    /// Replaces the table by the rows of a packet and opens it. On failure the table is left
    /// closed without data (its previous field definitions kept) and the StoreError carries
    /// the result code and the byte offset where reading stopped.
    void loadFromBytes(std::span<const std::byte> packet);
    /// The table as a binary packet: every row in the default order. Pending inserts or
    /// edits are not included (finish them first).
    std::vector<std::byte> saveToBytes() const;
    /// Closes without saving; pending changes are dropped.
    void close();
    bool isActive() const { return m_state != DataSetState::Inactive; }

    /// The file the table is bound to (set by the table file functions).
    const std::string& fileName() const { return m_fileName; }
    void setFileName(std::string fileName) { m_fileName = std::move(fileName); }

    // --- Fields ---------------------------------------------------------------------------

    std::size_t fieldCount() const { return m_fields.size(); }
    /// Throws "Field '%s' not found".
    Field fieldByName(std::string_view name);
    /// Throws "Field index out of range".
    Field field(std::size_t index);
    /// The field's index, or nothing.
    std::optional<std::size_t> findField(std::string_view name) const;

    // --- Reading without the current row ---------------------------------------------------
    // Records are the rows in the browse order, numbered from 0 to
    // recordCount() - 1. Reading them moves nothing and finishes no pending row, so a const
    // table can be read. A record number is valid until the rows or the order
    // change.

    /// The stored value of a field of a record; none for null. Throws "Field index out of
    /// range" or "Record index out of range".
    std::optional<std::string_view> recordValue(std::size_t record, std::size_t field) const;
    /// The value as text; an empty text for null.
    std::string recordAsString(std::size_t record, std::size_t field) const;
    /// The value as an integer; none for null. Throws StoreError when it is not a number.
    std::optional<std::int64_t> recordAsInteger(std::size_t record, std::size_t field) const;
    /// The records [first, last) whose leading key fields of the browse order equal these
    /// values, given as text (first == last when none does).
    std::pair<std::size_t, std::size_t> recordsWithKey(const std::vector<std::string>& keyValues) const;

    /// No row, or the table is closed.
    bool isEmpty() const;
    std::size_t recordCount() const;

    // --- The current row -------------------------------------------------------------------
    // locate() and insert() first finish a pending insert or edit: it is posted when a field
    // was modified and cancelled otherwise.

    /// Makes current the first row, in the browse order, whose field equals value exactly
    /// (case-sensitive, whole value). False, without moving, when none does.
    bool locate(std::string_view fieldName, std::string_view value);

    void insert();
    void edit();
    void post();
    void cancel();
    void remove();
    /// Posts a pending row that was modified, cancels one that was not.
    void checkBrowseMode();
    DataSetState state() const { return m_state; }
    bool isModified() const { return m_modified; }

    // --- Orders ---------------------------------------------------------------------------

    /// Browse by these fields (separated by ';'), ascending and case-sensitive; rows with
    /// equal keys keep the order they were placed in. Empty: browse by the default order.
    /// Throws "Field '%s' not found" / "Field index out of range".
    void setIndexFieldNames(std::string_view names);
    const std::string& indexFieldNames() const { return m_indexFieldNames; }

    // --- Numbering and changes ------------------------------------------------------------

    /// The next automatic number, when the table has an auto-increment column.
    std::optional<std::int32_t> autoIncValue() const;
    /// Makes the next automatic number at least atLeast. A table read without numbering (a
    /// packet without "AUTOINCVALUE") gets it back on its first auto-increment column of
    /// four bytes; a table without such a column is left as it is. Returns whether the
    /// table numbers new rows now.
    bool raiseAutoIncValue(std::int64_t atLeast);
    /// Inserts, edits and deletes posted since the table was opened or the count was reset.
    std::size_t changeCount() const { return m_changeCount; }
    void resetChangeCount() { m_changeCount = 0; }

    /// Table properties kept from the packet and written back unchanged.
    const std::vector<Property>& tableProperties() const { return m_tableProperties; }
    std::uint32_t locale() const { return m_collator ? m_collator->lcid() : 0; }

private:
    friend class Field;

    using Row = PackedRow;
    using Values = RowOrder::Values;

    // Row data
    Values unpack(std::uint32_t slot) const;
    std::optional<std::string_view> fieldOf(std::uint32_t slot, std::size_t field) const;

    std::uint32_t recordSlot(std::size_t record) const;

    // Fields of the current row
    std::optional<std::string_view> currentValue(std::size_t field) const;
    void setCurrentValue(std::size_t field, std::optional<std::string> value);
    void checkActive() const;
    void checkEditing() const;

    // Orders
    OrderedRows orderedRows() const;
    RowOrder& browseOrder() { return m_orders[m_browse]; }
    const RowOrder& browseOrder() const { return m_orders[m_browse]; }
    void applyIndexFieldNames();

    // The current row
    void updateRange();
    std::optional<std::size_t> positionOfCurrent() const;
    void setCurrent(std::optional<std::size_t> position);
    void afterRowsChanged(std::optional<std::uint32_t> preferSlot);
    void postInsert();
    void postEdit();
    void resetContent();
    void openCommon();

    std::vector<FieldDef> m_fields;
    std::vector<Row> m_rows;
    std::vector<RowOrder> m_orders; // [0] is the stored order
    std::vector<Property> m_tableProperties;
    std::optional<std::size_t> m_autoIncField;
    std::int64_t m_autoIncNext = 1;
    std::unique_ptr<KeyCollator> m_collator;
    bool m_readOnly = false;
    bool m_disableInserts = false;
    bool m_disableEdits = false;
    bool m_disableDeletes = false;
    bool m_changePacket = false;

    std::size_t m_browse = 0;
    std::string m_indexFieldNames;
    std::size_t m_rangeBegin = 0;
    std::size_t m_rangeEnd = 0;
    std::optional<std::uint32_t> m_current;
    mutable std::size_t m_position = 0; // cached position of m_current in the browse order

    DataSetState m_state = DataSetState::Inactive;
    Values m_buffer;
    bool m_modified = false;
    std::optional<std::uint32_t> m_insertReturn;
    std::size_t m_changeCount = 0;
    std::string m_fileName;
};

} // namespace stowmere::store
