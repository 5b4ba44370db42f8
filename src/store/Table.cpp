// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/Table.h"

#include "store/FieldCodec.h"
#include "store/StoreError.h"
#include "store/TablePacketReader.h"
#include "store/TablePacketWriter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace stowmere::store {
namespace {

[[noreturn]] void fail(const std::string& message, ResultCode code = rc::Ok)
{
    throw StoreError(code, message);
}

std::vector<std::string_view> splitNames(std::string_view names)
{
    std::vector<std::string_view> parts;
    while (!names.empty()) {
        const std::size_t end = names.find(';');
        const std::string_view part = names.substr(0, end);
        if (!part.empty())
            parts.push_back(part);
        if (end == std::string_view::npos)
            break;
        names.remove_prefix(end + 1);
    }
    return parts;
}

int sign(int value)
{
    return (value > 0) - (value < 0);
}

// Runs of at most this many rows are sorted by direct comparison, larger ones by sort keys.
constexpr std::size_t kDirectCompareRows = 4096;

template <typename T> int threeWay(T a, T b)
{
    return (a > b) - (a < b);
}

// Floats with a total order: a NaN (which a damaged file can hold) sorts above every number
// and equals another NaN, so sorting and key checks stay consistent.
template <typename T> int compareFloats(T a, T b)
{
    // Unordered with itself: a NaN, or an 80-bit pattern that is no valid number.
    const bool nanA = std::isunordered(a, a);
    const bool nanB = std::isunordered(b, b);
    if (nanA || nanB)
        return (nanA ? 1 : 0) - (nanB ? 1 : 0);
    return threeWay(a, b);
}

std::uint64_t readRaw(std::string_view payload)
{
    return le::read(reinterpret_cast<const std::byte*>(payload.data()),
                    std::min<std::size_t>(payload.size(), 8));
}

// A number whose unsigned order equals the value order of an integer-like field, so that
// keys sort without decoding twice per comparison.
std::uint64_t orderedInteger(FieldType type, std::string_view payload)
{
    std::uint64_t raw = readRaw(payload);
    if (isSignedType(type)) {
        const std::size_t width = std::min<std::size_t>(payload.size(), 8);
        if (width > 0 && width < 8 && (raw >> (8 * width - 1)) != 0)
            raw |= ~std::uint64_t{0} << (8 * width);
        raw ^= std::uint64_t{1} << 63;
    }
    return raw;
}

double storedDouble(std::string_view payload)
{
    double value = 0;
    std::memcpy(&value, payload.data(), std::min(payload.size(), sizeof value));
    return value;
}

long double storedExtended(std::string_view payload)
{
    long double value = 0;
    std::memcpy(&value, payload.data(), std::min(payload.size(), sizeof value));
    return value;
}

} // namespace

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

bool Table::isLive(const Row& row)
{
    return (row.status & (packet::kRowOriginal | packet::kRowDeleted | packet::kRowFreeSlot)) == 0;
}

// --- Life cycle ------------------------------------------------------------------------------

Table::Table() = default;

Table::~Table() = default;

void Table::setFieldDefs(std::vector<FieldDef> fields)
{
    if (isActive())
        fail("Cannot change the columns of an open table");
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
            fail("Fieldname " + field.name + " exceeds " + std::to_string(packet::kMaxNameLength) + " chars",
                 rc::InvalidArgument);
        if (field.name.empty() || field.name == "RowState")
            fail("Invalid field name " + quoted(field.name), rc::InvalidArgument);
        for (std::size_t j = 0; j < i; ++j)
            if (fields[j].name == field.name)
                fail("Duplicate field name " + quoted(field.name), rc::InvalidArgument);
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
                fail("Field " + quoted(field.name) + " needs a byte width", rc::InvalidArgument);
            break;
        default:
            field.byteLength = naturalWidth(field.type);
            if (field.byteLength == 0)
                fail("Field " + quoted(field.name) + " has a type the table cannot hold",
                     rc::UnsupportedType);
        }
        // A text or binary column without a size could not be read back (its width would
        // be unknown), so it is refused now rather than when the file is next opened.
        const bool sized = field.type == FieldType::String || field.type == FieldType::WideString ||
                           field.type == FieldType::Bytes || field.type == FieldType::VarBytes;
        const std::uint32_t largest = field.type == FieldType::WideString ? 0x7FFF : 0xFFFF;
        if (sized && (field.size == 0 || field.size > largest))
            fail("Field " + quoted(field.name) + " needs a size from 1 to " + std::to_string(largest),
                 rc::InvalidArgument);
        FieldCodec codec;
        if (FieldCodec::make(typeWordFor(field.type, field.byteLength), codec) != rc::Ok)
            fail("Field " + quoted(field.name) + " has a type the table cannot hold", rc::UnsupportedType);
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
    m_orders.push_back(Order{kDefaultOrderName, {}, IndexUniqueness::None, false, {}});
    openCommon();
}

void Table::openCommon()
{
    m_state = DataSetState::Browse;
    try {
        for (Order& order : m_orders)
            buildOrder(order);
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
        fail("Cannot perform this operation on a closed dataset");
}

void Table::checkEditing() const
{
    checkActive();
    if (m_state != DataSetState::Edit && m_state != DataSetState::Insert)
        fail("Dataset not in edit or insert mode");
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
        fail("Field " + quoted(name) + " not found");
    return Field(*this, *index);
}

Field Table::field(std::size_t index)
{
    if (index >= m_fields.size())
        fail("Field index out of range");
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
        fail("Field " + quoted(m_fields[field].name) + " cannot be modified");
    m_buffer[field] = std::move(value);
    m_modified = true;
}

// --- Key comparison and orders ---------------------------------------------------------------

int Table::compareValues(const KeyColumn& key, std::optional<std::string_view> a,
                         std::optional<std::string_view> b) const
{
    int result = 0;
    if (!a || !b) {
        result = (a ? 1 : 0) - (b ? 1 : 0); // null sorts below every value
    } else {
        const FieldType type = m_fields[key.field].type;
        switch (type) {
        case FieldType::String:
            result = m_collator->compare(*a, *b, key.caseInsensitive);
            break;
        case FieldType::WideString:
            result = m_collator->compareUtf16(*a, *b, key.caseInsensitive);
            break;
        case FieldType::Float:
        case FieldType::DateTime:
            result = compareFloats(storedDouble(*a), storedDouble(*b));
            break;
        case FieldType::Extended:
            result = compareFloats(storedExtended(*a), storedExtended(*b));
            break;
        default:
            if (isSignedType(type) || isUnsignedType(type))
                result = threeWay(orderedInteger(type, *a), orderedInteger(type, *b));
            else
                result = sign(a->compare(*b));
        }
    }
    result = sign(result);
    return key.descending ? -result : result;
}

int Table::compareRowToKey(const Order& order, std::uint32_t slot, const Key& key, std::size_t columns) const
{
    for (std::size_t i = 0; i < columns; ++i) {
        const int result = compareValues(order.keys[i], fieldOf(slot, order.keys[i].field), key[i]);
        if (result != 0)
            return result;
    }
    return 0;
}

Table::Key Table::keyOf(const Order& order, const Values& values) const
{
    Key key;
    key.reserve(order.keys.size());
    for (const KeyColumn& column : order.keys) {
        const auto& value = values[column.field];
        key.push_back(value ? std::optional<std::string_view>(*value) : std::nullopt);
    }
    return key;
}

Table::Key Table::keyOfSlot(const Order& order, std::uint32_t slot) const
{
    Key key;
    key.reserve(order.keys.size());
    for (const KeyColumn& column : order.keys)
        key.push_back(fieldOf(slot, column.field));
    return key;
}

std::vector<KeyColumn> Table::keyColumns(std::string_view fields) const
{
    const auto names = splitNames(fields);
    if (names.size() > 16)
        fail("An order can have at most 16 key fields", rc::InvalidArgument);
    std::vector<KeyColumn> keys;
    for (const std::string_view name : names) {
        const auto index = findField(name);
        if (!index)
            fail("Field " + quoted(name) + " not found");
        if (m_fields[*index].calculated)
            fail("Field index out of range");
        keys.push_back({*index, false, false});
    }
    checkKeyTypes(keys);
    return keys;
}

void Table::checkKeyTypes(const std::vector<KeyColumn>& keys) const
{
    for (const KeyColumn& key : keys) {
        const FieldDef& field = m_fields[key.field];
        if (field.type == FieldType::Blob || isStructuredType(field.type) || field.type == FieldType::Unknown)
            fail("Field " + quoted(field.name) + " cannot be used in an order", rc::UnsupportedType);
    }
}

void Table::buildOrder(Order& order) const
{
    order.rowSlots.clear();
    order.rowSlots.reserve(m_rows.size());
    for (std::uint32_t slot = 0; slot < m_rows.size(); ++slot)
        if (isLive(m_rows[slot]))
            order.rowSlots.push_back(slot);
    if (order.keys.empty())
        return;
    sortSlots(order, order.rowSlots.data(), order.rowSlots.data() + order.rowSlots.size(), 0);
    if (order.uniqueness != IndexUniqueness::None) {
        for (std::size_t i = 1; i < order.rowSlots.size(); ++i)
            if (compareRowToKey(order, order.rowSlots[i], keyOfSlot(order, order.rowSlots[i - 1]),
                                order.keys.size()) == 0)
                fail("Key violation in order " + quoted(order.name), rc::KeyViolation);
    }
}

// Sorts [first, last) by key column `column` and then each run of equal values by the next
// column. Every pass is a stable sort over slots that arrive in slot order, so rows with
// equal keys keep the order in which they were placed, whatever the number of rows. Text
// keys of many rows are compared through ICU sort keys, built one run at a time so that the
// extra memory stays small when a leading column splits the rows into groups. Small runs
// (a backup set's paths) compare directly: ICU stops at the first difference there, which
// costs far less than building a whole sort key per row (measured about 8 times less for
// runs of 200 paths).
void Table::sortSlots(const Order& order, std::uint32_t* first, std::uint32_t* last, std::size_t column) const
{
    if (column >= order.keys.size() || last - first < 2)
        return;
    const KeyColumn& key = order.keys[column];
    const FieldType type = m_fields[key.field].type;
    const auto count = static_cast<std::size_t>(last - first);
    const auto recurseOverRuns = [&](auto&& equal) {
        std::uint32_t* runStart = first;
        for (std::uint32_t* it = first + 1; it <= last; ++it) {
            if (it == last ||
                !equal(static_cast<std::size_t>(runStart - first), static_cast<std::size_t>(it - first))) {
                sortSlots(order, runStart, it, column + 1);
                runStart = it;
            }
        }
    };

    if (isTextType(type) && count <= kDirectCompareRows) {
        // The values are looked up once; the rows do not change while they are sorted.
        using Entry = std::pair<std::uint32_t, std::optional<std::string_view>>;
        std::vector<Entry> entries(count);
        for (std::size_t i = 0; i < count; ++i)
            entries[i] = {first[i], fieldOf(first[i], key.field)};
        std::stable_sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
            return compareValues(key, a.second, b.second) < 0;
        });
        for (std::size_t i = 0; i < count; ++i)
            first[i] = entries[i].first;
        recurseOverRuns([&](std::size_t a, std::size_t b) {
            return compareValues(key, entries[a].second, entries[b].second) == 0;
        });
        return;
    }

    if (isTextType(type)) {
        struct Entry {
            std::uint32_t slot;
            std::uint32_t offset;
            std::uint32_t length;
            bool null;
        };
        std::string arena;
        std::vector<Entry> entries(count);
        for (std::size_t i = 0; i < count; ++i) {
            const auto value = fieldOf(first[i], key.field);
            const auto offset = static_cast<std::uint32_t>(arena.size());
            if (value) {
                if (type == FieldType::String)
                    m_collator->appendSortKey(*value, key.caseInsensitive, arena);
                else
                    m_collator->appendSortKeyUtf16(*value, key.caseInsensitive, arena);
            }
            entries[i] = {first[i], offset, static_cast<std::uint32_t>(arena.size() - offset), !value};
        }
        const auto compare = [&](const Entry& a, const Entry& b) {
            if (a.null || b.null)
                return (a.null ? 0 : 1) - (b.null ? 0 : 1);
            return sign(std::string_view(arena)
                            .substr(a.offset, a.length)
                            .compare(std::string_view(arena).substr(b.offset, b.length)));
        };
        std::stable_sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
            const int result = compare(a, b);
            return key.descending ? result > 0 : result < 0;
        });
        for (std::size_t i = 0; i < count; ++i)
            first[i] = entries[i].slot;
        recurseOverRuns([&](std::size_t a, std::size_t b) { return compare(entries[a], entries[b]) == 0; });
        return;
    }

    if (isSignedType(type) || isUnsignedType(type)) {
        struct Entry {
            std::uint32_t slot;
            bool null;
            std::uint64_t value;
        };
        std::vector<Entry> entries(count);
        for (std::size_t i = 0; i < count; ++i) {
            const auto value = fieldOf(first[i], key.field);
            entries[i] = {first[i], !value, value ? orderedInteger(type, *value) : 0};
        }
        const auto compare = [](const Entry& a, const Entry& b) {
            if (a.null || b.null)
                return (a.null ? 0 : 1) - (b.null ? 0 : 1);
            return threeWay(a.value, b.value);
        };
        std::stable_sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
            const int result = compare(a, b);
            return key.descending ? result > 0 : result < 0;
        });
        for (std::size_t i = 0; i < count; ++i)
            first[i] = entries[i].slot;
        recurseOverRuns([&](std::size_t a, std::size_t b) { return compare(entries[a], entries[b]) == 0; });
        return;
    }

    std::stable_sort(first, last, [&](std::uint32_t a, std::uint32_t b) {
        return compareValues(key, fieldOf(a, key.field), fieldOf(b, key.field)) < 0;
    });
    recurseOverRuns([&](std::size_t a, std::size_t b) {
        return compareValues(key, fieldOf(first[a], key.field), fieldOf(first[b], key.field)) == 0;
    });
}

std::size_t Table::placeInOrder(const Order& order, const Key& key) const
{
    // After the last row whose key compares equal: equal keys stay in placement order.
    const auto it = std::upper_bound(order.rowSlots.begin(), order.rowSlots.end(), key,
                                     [&](const Key& value, std::uint32_t slot) {
                                         return compareRowToKey(order, slot, value, order.keys.size()) > 0;
                                     });
    return static_cast<std::size_t>(it - order.rowSlots.begin());
}

bool Table::hasDuplicate(const Order& order, const Key& key, std::optional<std::uint32_t> except) const
{
    auto it = std::lower_bound(order.rowSlots.begin(), order.rowSlots.end(), key,
                               [&](std::uint32_t slot, const Key& value) {
                                   return compareRowToKey(order, slot, value, order.keys.size()) < 0;
                               });
    for (; it != order.rowSlots.end() && compareRowToKey(order, *it, key, order.keys.size()) == 0; ++it)
        if (!except || *it != *except)
            return true;
    return false;
}

void Table::applyIndexFieldNames()
{
    // The field-sorted order is temporary: it is replaced whenever other names are set.
    const std::optional<std::uint32_t> keep = m_current;
    std::erase_if(m_orders, [](const Order& order) { return order.fieldSorted; });
    m_browse = 0;
    if (!m_indexFieldNames.empty()) {
        Order order;
        order.keys = keyColumns(m_indexFieldNames);
        order.name = m_fields[order.keys.front().field].name;
        order.fieldSorted = true;
        buildOrder(order);
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
    m_rangeEnd = browseOrder().rowSlots.size();
}

std::optional<std::size_t> Table::positionOfCurrent() const
{
    if (!m_current)
        return std::nullopt;
    const auto& slots = browseOrder().rowSlots;
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
        m_current = browseOrder().rowSlots[*position];
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
        fail("Record index out of range");
    return browseOrder().rowSlots[m_rangeBegin + record];
}

std::optional<std::string_view> Table::recordValue(std::size_t record, std::size_t field) const
{
    if (field >= m_fields.size())
        fail("Field index out of range");
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
    const Order& order = browseOrder();
    if (keyValues.size() > order.keys.size())
        fail("The browsing order has fewer key fields than values given", rc::InvalidArgument);
    std::vector<std::string> payloads;
    payloads.reserve(keyValues.size());
    for (std::size_t i = 0; i < keyValues.size(); ++i) {
        try {
            payloads.push_back(valueFromText(m_fields[order.keys[i].field], keyValues[i]));
        } catch (const StoreError&) {
            return {0, 0}; // a value the key field cannot hold matches no row
        }
    }
    Key key(payloads.begin(), payloads.end());
    const std::size_t columns = key.size();
    const auto first = order.rowSlots.begin() + static_cast<std::ptrdiff_t>(m_rangeBegin);
    const auto last = order.rowSlots.begin() + static_cast<std::ptrdiff_t>(m_rangeEnd);
    const auto begin = std::lower_bound(first, last, key, [&](std::uint32_t slot, const Key& value) {
        return compareRowToKey(order, slot, value, columns) < 0;
    });
    const auto end = std::upper_bound(begin, last, key, [&](const Key& value, std::uint32_t slot) {
        return compareRowToKey(order, slot, value, columns) > 0;
    });
    return {static_cast<std::size_t>(begin - first), static_cast<std::size_t>(end - first)};
}

bool Table::locate(std::string_view fieldName, std::string_view value)
{
    checkActive();
    checkBrowseMode();
    const std::size_t field = fieldByName(fieldName).index();
    const FieldDef& def = m_fields[field];
    const auto& slots = browseOrder().rowSlots;
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
        fail("Inserting rows is not allowed in this table");
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
        fail("Cannot perform this operation on an empty dataset");
    if (m_readOnly || m_disableEdits)
        fail("Editing rows is not allowed in this table");
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
            fail("No automatic numbers are left for field " + quoted(m_fields[*m_autoIncField].name),
                 rc::KeyViolation);
        values[*m_autoIncField] = valueFromInteger(m_fields[*m_autoIncField], m_autoIncNext);
    }
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        const bool empty = !values[i] || (m_fields[i].type == FieldType::String && values[i]->empty());
        if (m_fields[i].isRequired() && empty)
            fail("Field " + quoted(m_fields[i].name) + " must have a value", rc::RequiredFieldMissing);
    }
    for (const Order& order : m_orders)
        if (order.uniqueness != IndexUniqueness::None &&
            hasDuplicate(order, keyOf(order, values), std::nullopt))
            fail("Key violation in order " + quoted(order.name), rc::KeyViolation);

    if (m_rows.size() >= std::numeric_limits<std::uint32_t>::max())
        fail("The table is full", rc::OutOfMemory);
    const auto slot = static_cast<std::uint32_t>(m_rows.size());
    m_rows.push_back(Row{0, packRow(values)});
    for (std::size_t i = 0; i < m_orders.size(); ++i) {
        Order& order = m_orders[i];
        std::size_t position = order.rowSlots.size();
        if (!order.keys.empty()) {
            position = placeInOrder(order, keyOf(order, values));
        } else if (i == m_browse && m_insertReturn) {
            // A key-less browsing order takes the new row at the current one.
            const auto it = std::find(order.rowSlots.begin(), order.rowSlots.end(), *m_insertReturn);
            position = static_cast<std::size_t>(it - order.rowSlots.begin());
        }
        order.rowSlots.insert(order.rowSlots.begin() + static_cast<std::ptrdiff_t>(position), slot);
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
            fail("Field " + quoted(m_fields[i].name) + " must have a value", rc::RequiredFieldMissing);
    }
    for (const Order& order : m_orders)
        if (order.uniqueness != IndexUniqueness::None && hasDuplicate(order, keyOf(order, values), slot))
            fail("Key violation in order " + quoted(order.name), rc::KeyViolation);

    std::vector<bool> moved(m_orders.size(), false);
    for (std::size_t i = 0; i < m_orders.size(); ++i) {
        const Order& order = m_orders[i];
        if (!order.keys.empty())
            moved[i] = compareRowToKey(order, slot, keyOf(order, values), order.keys.size()) != 0;
    }
    m_rows[slot].data = packRow(values);
    for (std::size_t i = 0; i < m_orders.size(); ++i) {
        // A row whose key did not change keeps its place among rows with equal keys.
        if (!moved[i])
            continue;
        Order& order = m_orders[i];
        order.rowSlots.erase(std::find(order.rowSlots.begin(), order.rowSlots.end(), slot));
        const std::size_t position = placeInOrder(order, keyOfSlot(order, slot));
        order.rowSlots.insert(order.rowSlots.begin() + static_cast<std::ptrdiff_t>(position), slot);
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
        fail("Cannot perform this operation on an empty dataset");
    if (m_readOnly || m_disableDeletes)
        fail("Deleting rows is not allowed in this table");
    if (m_state == DataSetState::Edit) {
        m_state = DataSetState::Browse;
        m_buffer.clear();
        m_modified = false;
    }
    const std::uint32_t slot = *m_current;
    for (Order& order : m_orders) {
        const auto it = std::find(order.rowSlots.begin(), order.rowSlots.end(), slot);
        if (it != order.rowSlots.end())
            order.rowSlots.erase(it);
    }
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
    m_orders.push_back(Order{kDefaultOrderName, std::move(packet.defaultKeys), packet.uniqueness, false, {}});
    openCommon();
}

std::vector<std::byte> Table::saveToBytes() const
{
    checkActive();
    TableFrame frame;
    frame.fields = m_fields;
    frame.tableProperties = m_tableProperties;
    frame.defaultKeys = m_orders[0].keys;
    frame.uniqueness = m_orders[0].uniqueness;
    frame.changePacket = m_changePacket;
    if (m_autoIncField)
        frame.autoIncValue = m_autoIncNext;
    // Rows in the default order, which for a key-less default order is the order in which
    // rows were read and posted; browsing orders never change it.
    return writeTablePacket(frame, m_rows, m_orders[0].rowSlots);
}

} // namespace stowmere::store
