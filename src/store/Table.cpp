// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/Table.h"

#include "store/FieldCodec.h"
#include "store/StoreError.h"
#include "store/TablePacketReader.h"
#include "store/TablePacketWriter.h"

#include <algorithm>
#include <limits>

namespace stowmere::store {

// --- Row data --------------------------------------------------------------------------------

Table::Values Table::unpack(std::uint32_t slot) const
{
    Values values(m_fields.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        if (const auto value = fieldOf(slot, i))
            values[i] = std::string(*value);
    return values;
}

std::optional<std::string_view> Table::fieldOf(std::uint32_t slot, std::size_t field) const
{
    return packedField(m_rows[slot].data, field);
}

// --- Life cycle ------------------------------------------------------------------------------

Table::Table() = default;

Table::~Table() = default;

void Table::setFieldDefs(std::vector<FieldDef> fields)
{
    if (isActive())
        throwError("Cannot change the columns of an open table");
    m_fields = std::move(fields);
}

void Table::resetContent()
{
    m_rows.clear();
    m_rows.shrink_to_fit();
    m_orders.clear();
    m_tableProperties.clear();
    m_autoIncField.reset();
    m_autoIncNext = 1;
    m_readOnly = m_disableInserts = m_disableEdits = m_disableDeletes = m_changePacket = false;
    m_browse = 0;
    m_rangeBegin = m_rangeEnd = 0;
    m_current.reset();
    m_position = 0;
    m_buffer.clear();
    m_modified = false;
    m_insertReturn.reset();
    m_changeCount = 0;
}

void Table::createDataSet()
{
    if (isActive())
        close();
    std::vector<FieldDef> fields = m_fields;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        FieldDef& field = fields[i];
        if (field.name.size() > packet::kMaxNameLength)
            throwError("Fieldname " + field.name + " exceeds " + std::to_string(packet::kMaxNameLength) +
                           " chars",
                       rc::InvalidArgument);
        if (field.name.empty() || field.name == "RowState")
            throwError("Invalid field name " + quoted(field.name), rc::InvalidArgument);
        for (std::size_t j = 0; j < i; ++j)
            if (fields[j].name == field.name)
                throwError("Duplicate field name " + quoted(field.name), rc::InvalidArgument);
        switch (field.type) {
        case FieldType::String:
            field.byteLength = field.size + 1;
            break;
        case FieldType::WideString:
            field.byteLength = (field.size + 1) * 2;
            break;
        case FieldType::Bytes:
            field.byteLength = field.size;
            break;
        case FieldType::VarBytes:
            field.byteLength = field.size + 2;
            break;
        case FieldType::Blob:
            field.byteLength = 0;
            break;
        case FieldType::Bcd:
        case FieldType::FmtBcd:
            if (field.byteLength == 0)
                throwError("Field " + quoted(field.name) + " needs a byte width", rc::InvalidArgument);
            break;
        default:
            field.byteLength = naturalWidth(field.type);
            if (field.byteLength == 0)
                throwError("Field " + quoted(field.name) + " has a type the table cannot hold",
                           rc::UnsupportedType);
        }
        // A text or binary column without a size could not be read back (its width would
        // be unknown), so it is refused now rather than when the file is next opened.
        const bool sized = field.type == FieldType::String || field.type == FieldType::WideString ||
                           field.type == FieldType::Bytes || field.type == FieldType::VarBytes;
        const std::uint32_t largest = field.type == FieldType::WideString ? 0x7FFF : 0xFFFF;
        if (sized && (field.size == 0 || field.size > largest))
            throwError("Field " + quoted(field.name) + " needs a size from 1 to " + std::to_string(largest),
                       rc::InvalidArgument);
        FieldCodec codec;
        if (FieldCodec::make(typeWordFor(field.type, field.byteLength), codec) != rc::Ok)
            throwError("Field " + quoted(field.name) + " has a type the table cannot hold",
                       rc::UnsupportedType);
        if (field.isAutoIncrement())
            field.attributes |= packet::kAttrReadOnly;
    }
    resetContent();
    m_fields = std::move(fields);
    for (std::size_t i = 0; i < m_fields.size(); ++i)
        if (m_fields[i].isAutoIncrement() && m_fields[i].byteLength == 4) {
            m_autoIncField = i;
            break;
        }
    m_collator = std::make_unique<KeyCollator>(0);
    m_orders.emplace_back(kDefaultOrderName, std::vector<KeyColumn>{}, IndexUniqueness::None);
    openCommon();
}

void Table::openCommon()
{
    m_state = DataSetState::Browse;
    try {
        for (RowOrder& order : m_orders)
            order.build(orderedRows());
        applyIndexFieldNames();
    } catch (...) {
        close();
        throw;
    }
    updateRange();
    setCurrent(isEmpty() ? std::nullopt : std::optional<std::size_t>(m_rangeBegin));
}

void Table::close()
{
    resetContent();
    m_state = DataSetState::Inactive;
}

void Table::checkActive() const
{
    if (!isActive())
        throwError("Cannot perform this operation on a closed dataset");
}

void Table::checkEditing() const
{
    checkActive();
    if (m_state != DataSetState::Edit && m_state != DataSetState::Insert)
        throwError("Dataset not in edit or insert mode");
}

// --- Fields ----------------------------------------------------------------------------------

std::optional<std::size_t> Table::findField(std::string_view name) const
{
    for (std::size_t i = 0; i < m_fields.size(); ++i)
        if (m_fields[i].name == name)
            return i;
    return std::nullopt;
}

Field Table::fieldByName(std::string_view name)
{
    const auto index = findField(name);
    if (!index)
        throwError("Field " + quoted(name) + " not found");
    return Field(*this, *index);
}

Field Table::field(std::size_t index)
{
    if (index >= m_fields.size())
        throwError("Field index out of range");
    return Field(*this, index);
}

std::optional<std::string_view> Table::currentValue(std::size_t field) const
{
    if (m_state == DataSetState::Edit || m_state == DataSetState::Insert) {
        const auto& value = m_buffer[field];
        return value ? std::optional<std::string_view>(*value) : std::nullopt;
    }
    if (!m_current || !isActive())
        return std::nullopt;
    return fieldOf(*m_current, field);
}

void Table::setCurrentValue(std::size_t field, std::optional<std::string> value)
{
    if (m_fields[field].isReadOnly())
        throwError("Field " + quoted(m_fields[field].name) + " cannot be modified");
    m_buffer[field] = std::move(value);
    m_modified = true;
}

// --- Orders --------------------------------------------------------------------------------

OrderedRows Table::orderedRows() const
{
    return OrderedRows{m_fields, m_rows, *m_collator};
}

void Table::applyIndexFieldNames()
{
    // The field-sorted order is temporary: it is replaced whenever other names are set.
    const std::optional<std::uint32_t> keep = m_current;
    std::erase_if(m_orders, [](const RowOrder& order) { return order.isFieldSorted(); });
    m_browse = 0;
    if (!m_indexFieldNames.empty()) {
        auto keys = RowOrder::keyColumns(m_fields, m_indexFieldNames);
        std::string name = m_fields[keys.front().field].name;
        RowOrder order(std::move(name), std::move(keys), IndexUniqueness::None, true);
        order.build(orderedRows());
        m_orders.push_back(std::move(order));
        m_browse = m_orders.size() - 1;
    }
    m_current = keep;
}

void Table::setIndexFieldNames(std::string_view names)
{
    if (isActive()) {
        checkBrowseMode();
        const std::string previous = m_indexFieldNames;
        m_indexFieldNames = names;
        try {
            applyIndexFieldNames();
        } catch (...) {
            m_indexFieldNames = previous;
            applyIndexFieldNames();
            throw;
        }
        afterRowsChanged(m_current);
    } else {
        m_indexFieldNames = names;
    }
}

// --- The current row ----------------------------------------------------------------------------

void Table::updateRange()
{
    m_rangeBegin = 0;
    m_rangeEnd = browseOrder().rowSlots().size();
}

std::optional<std::size_t> Table::positionOfCurrent() const
{
    if (!m_current)
        return std::nullopt;
    const auto& slots = browseOrder().rowSlots();
    if (m_position >= m_rangeBegin && m_position < m_rangeEnd && slots[m_position] == *m_current)
        return m_position;
    const auto begin = slots.begin() + static_cast<std::ptrdiff_t>(m_rangeBegin);
    const auto end = slots.begin() + static_cast<std::ptrdiff_t>(m_rangeEnd);
    const auto it = std::find(begin, end, *m_current);
    if (it == end)
        return std::nullopt;
    m_position = static_cast<std::size_t>(it - slots.begin());
    return m_position;
}

void Table::setCurrent(std::optional<std::size_t> position)
{
    if (position) {
        m_current = browseOrder().rowSlots()[*position];
        m_position = *position;
    } else {
        m_current.reset();
    }
}

void Table::afterRowsChanged(std::optional<std::uint32_t> preferSlot)
{
    updateRange();
    m_current = preferSlot;
    if (const auto position = positionOfCurrent())
        setCurrent(position);
    else
        setCurrent(isEmpty() ? std::nullopt : std::optional<std::size_t>(m_rangeBegin));
}

bool Table::isEmpty() const
{
    return !isActive() || m_rangeBegin == m_rangeEnd;
}

std::size_t Table::recordCount() const
{
    return isActive() ? m_rangeEnd - m_rangeBegin : 0;
}

std::uint32_t Table::recordSlot(std::size_t record) const
{
    if (record >= recordCount())
        throwError("Record index out of range");
    return browseOrder().rowSlots()[m_rangeBegin + record];
}

std::optional<std::string_view> Table::recordValue(std::size_t record, std::size_t field) const
{
    if (field >= m_fields.size())
        throwError("Field index out of range");
    return fieldOf(recordSlot(record), field);
}

std::string Table::recordAsString(std::size_t record, std::size_t field) const
{
    const auto value = recordValue(record, field);
    return value ? valueToText(m_fields[field], *value) : std::string();
}

std::optional<std::int64_t> Table::recordAsInteger(std::size_t record, std::size_t field) const
{
    const auto value = recordValue(record, field);
    if (!value)
        return std::nullopt;
    return valueToInteger(m_fields[field], *value);
}

std::pair<std::size_t, std::size_t> Table::recordsWithKey(const std::vector<std::string>& keyValues) const
{
    if (!isActive())
        return {0, 0};
    const RowOrder& order = browseOrder();
    if (keyValues.size() > order.keys().size())
        throwError("The browsing order has fewer key fields than values given", rc::InvalidArgument);
    std::vector<std::string> payloads;
    payloads.reserve(keyValues.size());
    for (std::size_t i = 0; i < keyValues.size(); ++i) {
        try {
            payloads.push_back(valueFromText(m_fields[order.keys()[i].field], keyValues[i]));
        } catch (const StoreError&) {
            return {0, 0}; // a value the key field cannot hold matches no row
        }
    }
    const RowOrder::Key key(payloads.begin(), payloads.end());
    const auto [begin, end] = order.equalRange(orderedRows(), key, m_rangeBegin, m_rangeEnd);
    return {begin - m_rangeBegin, end - m_rangeBegin};
}

bool Table::locate(std::string_view fieldName, std::string_view value)
{
    checkActive();
    checkBrowseMode();
    const std::size_t field = fieldByName(fieldName).index();
    const FieldDef& def = m_fields[field];
    const auto& slots = browseOrder().rowSlots();
    for (std::size_t position = m_rangeBegin; position < m_rangeEnd; ++position) {
        const auto stored = fieldOf(slots[position], field);
        if (!stored)
            continue;
        const bool equal =
            def.type == FieldType::String ? *stored == value : valueToText(def, *stored) == value;
        if (equal) {
            setCurrent(position);
            return true;
        }
    }
    return false;
}

// --- Editing ---------------------------------------------------------------------------------

void Table::checkBrowseMode()
{
    if (m_state != DataSetState::Edit && m_state != DataSetState::Insert)
        return;
    if (m_modified)
        post();
    else
        cancel();
}

void Table::insert()
{
    checkActive();
    checkBrowseMode();
    if (m_readOnly || m_disableInserts)
        throwError("Inserting rows is not allowed in this table");
    m_insertReturn = m_current;
    m_buffer.assign(m_fields.size(), std::nullopt);
    m_state = DataSetState::Insert;
    m_modified = false;
}

void Table::edit()
{
    checkActive();
    if (m_state == DataSetState::Edit || m_state == DataSetState::Insert)
        return;
    if (!m_current || !positionOfCurrent())
        throwError("Cannot perform this operation on an empty dataset");
    if (m_readOnly || m_disableEdits)
        throwError("Editing rows is not allowed in this table");
    m_buffer = unpack(*m_current);
    m_state = DataSetState::Edit;
    m_modified = false;
}

void Table::post()
{
    checkActive();
    if (m_state == DataSetState::Insert)
        postInsert();
    else if (m_state == DataSetState::Edit)
        postEdit();
}

void Table::postInsert()
{
    Values values = m_buffer;
    if (m_autoIncField) {
        if (m_autoIncNext > std::numeric_limits<std::int32_t>::max())
            throwError("No automatic numbers are left for field " + quoted(m_fields[*m_autoIncField].name),
                       rc::KeyViolation);
        values[*m_autoIncField] = valueFromInteger(m_fields[*m_autoIncField], m_autoIncNext);
    }
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        const bool empty = !values[i] || (m_fields[i].type == FieldType::String && values[i]->empty());
        if (m_fields[i].isRequired() && empty)
            throwError("Field " + quoted(m_fields[i].name) + " must have a value", rc::RequiredFieldMissing);
    }
    const OrderedRows rows = orderedRows();
    for (const RowOrder& order : m_orders)
        if (order.isUnique() && order.hasDuplicate(rows, order.keyOf(values), std::nullopt))
            throwError("Key violation in order " + quoted(order.name()), rc::KeyViolation);

    if (m_rows.size() >= std::numeric_limits<std::uint32_t>::max())
        throwError("The table is full", rc::OutOfMemory);
    const auto slot = static_cast<std::uint32_t>(m_rows.size());
    m_rows.push_back(Row{0, packRow(values)});
    for (std::size_t i = 0; i < m_orders.size(); ++i) {
        RowOrder& order = m_orders[i];
        std::size_t position = order.rowSlots().size();
        if (!order.keys().empty()) {
            position = order.placeFor(rows, order.keyOf(values));
        } else if (i == m_browse && m_insertReturn) {
            // A key-less browsing order takes the new row at the current one.
            position = order.positionOf(*m_insertReturn).value_or(order.rowSlots().size());
        }
        order.insertAt(position, slot);
    }
    if (m_autoIncField)
        ++m_autoIncNext;
    ++m_changeCount;
    m_state = DataSetState::Browse;
    m_buffer.clear();
    m_modified = false;
    m_insertReturn.reset();
    afterRowsChanged(slot);
}

void Table::postEdit()
{
    const std::uint32_t slot = *m_current;
    Values values = m_buffer;
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        const bool empty = !values[i] || (m_fields[i].type == FieldType::String && values[i]->empty());
        if (m_fields[i].isRequired() && empty)
            throwError("Field " + quoted(m_fields[i].name) + " must have a value", rc::RequiredFieldMissing);
    }
    const OrderedRows rows = orderedRows();
    for (const RowOrder& order : m_orders)
        if (order.isUnique() && order.hasDuplicate(rows, order.keyOf(values), slot))
            throwError("Key violation in order " + quoted(order.name()), rc::KeyViolation);

    std::vector<bool> moved(m_orders.size(), false);
    for (std::size_t i = 0; i < m_orders.size(); ++i) {
        const RowOrder& order = m_orders[i];
        if (!order.keys().empty())
            moved[i] = order.compareRowToKey(rows, slot, order.keyOf(values), order.keys().size()) != 0;
    }
    m_rows[slot].data = packRow(values);
    for (std::size_t i = 0; i < m_orders.size(); ++i) {
        // A row whose key did not change keeps its place among rows with equal keys.
        if (moved[i])
            m_orders[i].reposition(rows, slot);
    }
    ++m_changeCount;
    m_state = DataSetState::Browse;
    m_buffer.clear();
    m_modified = false;
    afterRowsChanged(slot);
}

void Table::cancel()
{
    checkActive();
    if (m_state == DataSetState::Insert) {
        m_state = DataSetState::Browse;
        m_buffer.clear();
        m_modified = false;
        afterRowsChanged(m_insertReturn);
        m_insertReturn.reset();
    } else if (m_state == DataSetState::Edit) {
        m_state = DataSetState::Browse;
        m_buffer.clear();
        m_modified = false;
    }
}

void Table::remove()
{
    checkActive();
    if (m_state == DataSetState::Insert) {
        cancel();
        return;
    }
    const auto position = positionOfCurrent();
    if (!position)
        throwError("Cannot perform this operation on an empty dataset");
    if (m_readOnly || m_disableDeletes)
        throwError("Deleting rows is not allowed in this table");
    if (m_state == DataSetState::Edit) {
        m_state = DataSetState::Browse;
        m_buffer.clear();
        m_modified = false;
    }
    const std::uint32_t slot = *m_current;
    for (RowOrder& order : m_orders)
        order.remove(slot);
    m_rows[slot].status = packet::kRowFreeSlot;
    std::string().swap(m_rows[slot].data);
    ++m_changeCount;
    updateRange();
    // The row that followed the deleted one becomes current, or the new last row.
    if (isEmpty())
        setCurrent(std::nullopt);
    else
        setCurrent(std::clamp(*position, m_rangeBegin, m_rangeEnd - 1));
}

bool Table::raiseAutoIncValue(std::int64_t atLeast)
{
    checkActive();
    if (!m_autoIncField) {
        for (std::size_t i = 0; i < m_fields.size(); ++i)
            if (m_fields[i].isAutoIncrement() && m_fields[i].byteLength == 4) {
                m_autoIncField = i;
                m_autoIncNext = 1;
                break;
            }
        if (!m_autoIncField)
            return false;
    }
    m_autoIncNext = std::max(m_autoIncNext, atLeast);
    return true;
}

std::optional<std::int32_t> Table::autoIncValue() const
{
    if (!m_autoIncField)
        return std::nullopt;
    return static_cast<std::int32_t>(
        std::min<std::int64_t>(m_autoIncNext, std::numeric_limits<std::int32_t>::max()));
}

// --- Packets ---------------------------------------------------------------------------------

void Table::loadFromBytes(std::span<const std::byte> bytes)
{
    if (isActive())
        close();
    TablePacket packet = readTablePacket(bytes);

    // Everything was read: the table takes the new content.
    resetContent();
    m_fields = std::move(packet.fields);
    m_rows = std::move(packet.rows);
    m_tableProperties = std::move(packet.tableProperties);
    m_readOnly = packet.readOnly;
    m_disableInserts = packet.disableInserts;
    m_disableEdits = packet.disableEdits;
    m_disableDeletes = packet.disableDeletes;
    m_changePacket = packet.changePacket;
    if (packet.autoIncValue) {
        for (std::size_t i = 0; i < m_fields.size(); ++i)
            if (m_fields[i].isAutoIncrement() && m_fields[i].byteLength == 4) {
                m_autoIncField = i;
                m_autoIncNext = *packet.autoIncValue;
                break;
            }
    }
    try {
        m_collator = std::make_unique<KeyCollator>(packet.lcid);
    } catch (...) {
        resetContent();
        throw;
    }
    m_orders.emplace_back(kDefaultOrderName, std::move(packet.defaultKeys), packet.uniqueness);
    openCommon();
}

std::vector<std::byte> Table::saveToBytes() const
{
    checkActive();
    TableFrame frame;
    frame.fields = m_fields;
    frame.tableProperties = m_tableProperties;
    frame.defaultKeys = m_orders[0].keys();
    frame.uniqueness = m_orders[0].uniqueness();
    frame.changePacket = m_changePacket;
    if (m_autoIncField)
        frame.autoIncValue = m_autoIncNext;
    // Rows in the default order, which for a key-less default order is the order in which
    // rows were read and posted; browsing orders never change it.
    return writeTablePacket(frame, m_rows, m_orders[0].rowSlots());
}

} // namespace stowmere::store
