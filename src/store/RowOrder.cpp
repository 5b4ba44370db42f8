// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/RowOrder.h"

#include "store/FieldCodec.h"
#include "store/StoreError.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace stowmere::store {
namespace {

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

bool isLive(const PackedRow& row)
{
    return (row.status & (packet::kRowOriginal | packet::kRowDeleted | packet::kRowFreeSlot)) == 0;
}

} // namespace

RowOrder::RowOrder(std::string name, std::vector<KeyColumn> keys, IndexUniqueness uniqueness,
                   bool fieldSorted)
    : m_name(std::move(name)), m_keys(std::move(keys)), m_uniqueness(uniqueness), m_fieldSorted(fieldSorted)
{
}

std::vector<KeyColumn> RowOrder::keyColumns(const std::vector<FieldDef>& fields, std::string_view names)
{
    const auto parts = splitNames(names);
    if (parts.size() > 16)
        throwError("An order can have at most 16 key fields", rc::InvalidArgument);
    std::vector<KeyColumn> keys;
    for (const std::string_view name : parts) {
        const auto it = std::find_if(fields.begin(), fields.end(),
                                     [&](const FieldDef& field) { return field.name == name; });
        if (it == fields.end())
            throwError("Field " + quoted(name) + " not found");
        if (it->calculated)
            throwError("Field index out of range");
        keys.push_back({static_cast<std::size_t>(it - fields.begin()), false, false});
    }
    for (const KeyColumn& key : keys) {
        const FieldDef& field = fields[key.field];
        if (field.type == FieldType::Blob || isStructuredType(field.type) || field.type == FieldType::Unknown)
            throwError("Field " + quoted(field.name) + " cannot be used in an order", rc::UnsupportedType);
    }
    return keys;
}

// --- Key comparison --------------------------------------------------------------------------

int RowOrder::compareValues(const OrderedRows& rows, const KeyColumn& key, std::optional<std::string_view> a,
                            std::optional<std::string_view> b) const
{
    int result = 0;
    if (!a || !b) {
        result = (a ? 1 : 0) - (b ? 1 : 0); // null sorts below every value
    } else {
        const FieldType type = rows.fields[key.field].type;
        switch (type) {
        case FieldType::String:
            result = rows.collator.compare(*a, *b, key.caseInsensitive);
            break;
        case FieldType::WideString:
            result = rows.collator.compareUtf16(*a, *b, key.caseInsensitive);
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

int RowOrder::compareRowToKey(const OrderedRows& rows, std::uint32_t slot, const Key& key,
                              std::size_t columns) const
{
    for (std::size_t i = 0; i < columns; ++i) {
        const int result = compareValues(rows, m_keys[i], rows.value(slot, m_keys[i].field), key[i]);
        if (result != 0)
            return result;
    }
    return 0;
}

RowOrder::Key RowOrder::keyOf(const Values& values) const
{
    Key key;
    key.reserve(m_keys.size());
    for (const KeyColumn& column : m_keys) {
        const auto& value = values[column.field];
        key.push_back(value ? std::optional<std::string_view>(*value) : std::nullopt);
    }
    return key;
}

RowOrder::Key RowOrder::keyOfSlot(const OrderedRows& rows, std::uint32_t slot) const
{
    Key key;
    key.reserve(m_keys.size());
    for (const KeyColumn& column : m_keys)
        key.push_back(rows.value(slot, column.field));
    return key;
}

// --- Sorting ---------------------------------------------------------------------------------

void RowOrder::build(const OrderedRows& rows)
{
    m_slots.clear();
    m_slots.reserve(rows.rows.size());
    for (std::uint32_t slot = 0; slot < rows.rows.size(); ++slot)
        if (isLive(rows.rows[slot]))
            m_slots.push_back(slot);
    if (m_keys.empty())
        return;
    sortSlots(rows, m_slots.data(), m_slots.data() + m_slots.size(), 0);
    if (isUnique()) {
        for (std::size_t i = 1; i < m_slots.size(); ++i)
            if (compareRowToKey(rows, m_slots[i], keyOfSlot(rows, m_slots[i - 1]), m_keys.size()) == 0)
                throwError("Key violation in order " + quoted(m_name), rc::KeyViolation);
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
void RowOrder::sortSlots(const OrderedRows& rows, std::uint32_t* first, std::uint32_t* last,
                         std::size_t column) const
{
    if (column >= m_keys.size() || last - first < 2)
        return;
    const KeyColumn& key = m_keys[column];
    const FieldType type = rows.fields[key.field].type;
    const auto count = static_cast<std::size_t>(last - first);
    const auto recurseOverRuns = [&](auto&& equal) {
        std::uint32_t* runStart = first;
        for (std::uint32_t* it = first + 1; it <= last; ++it) {
            if (it == last ||
                !equal(static_cast<std::size_t>(runStart - first), static_cast<std::size_t>(it - first))) {
                sortSlots(rows, runStart, it, column + 1);
                runStart = it;
            }
        }
    };

    // Sorts entries that carry their row's slot by a three-way compare of their values, puts
    // the rows back in that order and orders each run of equal values by the next key.
    const auto sortEntries = [&](auto& entries, const auto& compare) {
        std::stable_sort(entries.begin(), entries.end(), [&](const auto& a, const auto& b) {
            const int result = compare(a, b);
            return key.descending ? result > 0 : result < 0;
        });
        for (std::size_t i = 0; i < count; ++i)
            first[i] = entries[i].slot;
        recurseOverRuns([&](std::size_t a, std::size_t b) { return compare(entries[a], entries[b]) == 0; });
    };

    if (isTextType(type) && count <= kDirectCompareRows) {
        // The values are looked up once; the rows do not change while they are sorted.
        using Entry = std::pair<std::uint32_t, std::optional<std::string_view>>;
        std::vector<Entry> entries(count);
        for (std::size_t i = 0; i < count; ++i)
            entries[i] = {first[i], rows.value(first[i], key.field)};
        std::stable_sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
            return compareValues(rows, key, a.second, b.second) < 0;
        });
        for (std::size_t i = 0; i < count; ++i)
            first[i] = entries[i].first;
        recurseOverRuns([&](std::size_t a, std::size_t b) {
            return compareValues(rows, key, entries[a].second, entries[b].second) == 0;
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
            const auto value = rows.value(first[i], key.field);
            const auto offset = static_cast<std::uint32_t>(arena.size());
            if (value) {
                if (type == FieldType::String)
                    rows.collator.appendSortKey(*value, key.caseInsensitive, arena);
                else
                    rows.collator.appendSortKeyUtf16(*value, key.caseInsensitive, arena);
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
        sortEntries(entries, compare);
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
            const auto value = rows.value(first[i], key.field);
            entries[i] = {first[i], !value, value ? orderedInteger(type, *value) : 0};
        }
        const auto compare = [](const Entry& a, const Entry& b) {
            if (a.null || b.null)
                return (a.null ? 0 : 1) - (b.null ? 0 : 1);
            return threeWay(a.value, b.value);
        };
        sortEntries(entries, compare);
        return;
    }

    std::stable_sort(first, last, [&](std::uint32_t a, std::uint32_t b) {
        return compareValues(rows, key, rows.value(a, key.field), rows.value(b, key.field)) < 0;
    });
    recurseOverRuns([&](std::size_t a, std::size_t b) {
        return compareValues(rows, key, rows.value(first[a], key.field), rows.value(first[b], key.field)) ==
               0;
    });
}

// --- Placement -------------------------------------------------------------------------------

std::size_t RowOrder::placeFor(const OrderedRows& rows, const Key& key) const
{
    // After the last row whose key compares equal: equal keys stay in placement order.
    const auto it =
        std::upper_bound(m_slots.begin(), m_slots.end(), key, [&](const Key& value, std::uint32_t slot) {
            return compareRowToKey(rows, slot, value, m_keys.size()) > 0;
        });
    return static_cast<std::size_t>(it - m_slots.begin());
}

bool RowOrder::hasDuplicate(const OrderedRows& rows, const Key& key,
                            std::optional<std::uint32_t> except) const
{
    auto it =
        std::lower_bound(m_slots.begin(), m_slots.end(), key, [&](std::uint32_t slot, const Key& value) {
            return compareRowToKey(rows, slot, value, m_keys.size()) < 0;
        });
    for (; it != m_slots.end() && compareRowToKey(rows, *it, key, m_keys.size()) == 0; ++it)
        if (!except || *it != *except)
            return true;
    return false;
}

std::pair<std::size_t, std::size_t> RowOrder::equalRange(const OrderedRows& rows, const Key& key,
                                                         std::size_t begin, std::size_t end) const
{
    const std::size_t columns = key.size();
    const auto first = m_slots.begin() + static_cast<std::ptrdiff_t>(begin);
    const auto last = m_slots.begin() + static_cast<std::ptrdiff_t>(end);
    const auto lower = std::lower_bound(first, last, key, [&](std::uint32_t slot, const Key& value) {
        return compareRowToKey(rows, slot, value, columns) < 0;
    });
    const auto upper = std::upper_bound(lower, last, key, [&](const Key& value, std::uint32_t slot) {
        return compareRowToKey(rows, slot, value, columns) > 0;
    });
    return {static_cast<std::size_t>(lower - m_slots.begin()),
            static_cast<std::size_t>(upper - m_slots.begin())};
}

std::optional<std::size_t> RowOrder::positionOf(std::uint32_t slot) const
{
    const auto it = std::find(m_slots.begin(), m_slots.end(), slot);
    if (it == m_slots.end())
        return std::nullopt;
    return static_cast<std::size_t>(it - m_slots.begin());
}

void RowOrder::insertAt(std::size_t position, std::uint32_t slot)
{
    m_slots.insert(m_slots.begin() + static_cast<std::ptrdiff_t>(position), slot);
}

void RowOrder::remove(std::uint32_t slot)
{
    const auto it = std::find(m_slots.begin(), m_slots.end(), slot);
    if (it != m_slots.end())
        m_slots.erase(it);
}

void RowOrder::reposition(const OrderedRows& rows, std::uint32_t slot)
{
    remove(slot);
    insertAt(placeFor(rows, keyOfSlot(rows, slot)), slot);
}

} // namespace stowmere::store
