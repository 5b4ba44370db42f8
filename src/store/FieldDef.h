// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/PacketFormat.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace stowmere::store {

/// The store's logical field types; the numbers are the store's own and are what a packet's
/// type word maps back to.
enum class FieldType : std::uint16_t {
    Unknown = 0,
    String = 1, ///< 8-bit (UTF-8) text
    Date = 2,
    Blob = 3,
    Boolean = 4, ///< 16-bit
    SmallInt = 5,
    Integer = 6, ///< 32-bit, also auto-increment
    Float = 7,
    Bcd = 8,
    Bytes = 9,
    Time = 10,
    DateTime = 11,
    Word = 12,
    LongWord = 13,
    Extended = 14,
    VarBytes = 15,
    LargeInt = 18,
    LargeUInt = 19,
    Adt = 20,
    Array = 21,
    Reference = 22,
    DataSet = 23,
    SqlTimeStamp = 24,
    FmtBcd = 25,
    ShortInt = 0x1001,
    Byte = 0x1002,
    Boolean8 = 0x1003,
    Boolean32 = 0x1004,
    WideString = 0x1007,
};

/// A column of a table: what the store keeps of a column descriptor and its properties.
struct FieldDef {
    std::string name;
    FieldType type = FieldType::Unknown;
    std::uint32_t size = 0;       ///< declared size: bytes of text or binary data ("WIDTH")
    std::uint32_t byteLength = 0; ///< width the store keeps (text: size + 1)
    std::uint16_t attributes = 0; ///< packet::kAttr* bits
    std::uint8_t subtype = 0;     ///< packet::kSubtypeAutoinc etc.
    std::uint16_t decimals = 0;
    bool calculated = false;
    std::vector<Property> properties; ///< other properties, written back after the generated ones

    bool isAutoIncrement() const { return subtype == packet::kSubtypeAutoinc; }
    bool isReadOnly() const { return (attributes & packet::kAttrReadOnly) != 0; }
    bool isRequired() const { return (attributes & packet::kAttrRequired) != 0; }

    /// A text column of size bytes.
    static FieldDef string(std::string name, std::uint32_t size);
    /// A 32-bit integer column.
    static FieldDef integer(std::string name);
    /// A read-only 32-bit integer column numbered by the store.
    static FieldDef autoIncrement(std::string name);
    /// A text column of any length (a blob of subtype "Text").
    static FieldDef memo(std::string name);
    /// A 16-bit boolean column.
    static FieldDef boolean(std::string name);
};

/// The type word a column of this type and byte length is written with (0 for types the
/// writer has none for).
std::uint32_t typeWordFor(FieldType type, std::uint32_t byteLength);
/// The logical type a column type word maps back to.
FieldType fieldTypeFor(std::uint32_t typeWord);
/// The in-memory width of fixed numeric, boolean and date kinds; 0 for the others.
std::uint32_t naturalWidth(FieldType type);

bool isTextType(FieldType type);
bool isSignedType(FieldType type);   ///< integers and the integer-valued date and time kinds
bool isUnsignedType(FieldType type); ///< unsigned integers and booleans
bool isStructuredType(FieldType type);

/// The value of a field as text: numbers in decimal, booleans as "True"/"False", text and
/// binary data as their bytes.
std::string valueToText(const FieldDef& field, std::string_view payload);
/// The payload for a text value. Throws StoreError naming the field when the text does not
/// fit the field or is not a valid value for it; text is never cut.
std::string valueFromText(const FieldDef& field, std::string_view text);
/// The value of a numeric field (text fields are parsed). Throws StoreError when the value
/// is not an integer.
std::int64_t valueToInteger(const FieldDef& field, std::string_view payload);
/// The payload for an integer value. Throws StoreError when it is out of the field's range.
std::string valueFromInteger(const FieldDef& field, std::int64_t value);

} // namespace stowmere::store
