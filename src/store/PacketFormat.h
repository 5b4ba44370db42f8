// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace stowmere::store {

/// Constants and small value types of the binary data packet shared by the writer, the
/// reader and the table.
namespace packet {

inline constexpr std::uint32_t kSignature = 0xBDE01996;
/// An alternative signature that is read as a binary packet without a version check.
inline constexpr std::uint32_t kAlternativeSignature = 0x0000ABCD;
inline constexpr std::size_t kHeaderSize = 24;
inline constexpr std::uint16_t kHighestVersion = 3;
inline constexpr std::size_t kMaxNameLength = 31;

// Names of the properties that the packet gives a meaning to
inline constexpr std::string_view kUniqueKey = "UNIQUE_KEY";
inline constexpr std::string_view kPrimaryKey = "PRIMARY_KEY";
inline constexpr std::string_view kDefaultOrder = "DEFAULT_ORDER";
inline constexpr std::string_view kChangeLog = "CHANGE_LOG";
inline constexpr std::string_view kAutoIncValue = "AUTOINCVALUE";
inline constexpr std::string_view kSubtype = "SUBTYPE";
inline constexpr std::string_view kWidth = "WIDTH";
inline constexpr std::string_view kElements = "ELEMENTS";
inline constexpr std::string_view kDecimals = "DECIMALS";
inline constexpr std::string_view kCalculated = "CALCULATED";

// Packet flags
inline constexpr std::uint32_t kFlagMetadata = 0x00000001;
inline constexpr std::uint32_t kFlagRowDataOffset = 0x00000002;

// Type word bits
inline constexpr std::uint32_t kSizeMask = 0x0000FFFF;
inline constexpr std::uint32_t kBaseTypeMask = 0x003F0000;
inline constexpr int kBaseTypeShift = 16;
inline constexpr std::uint32_t kVarying = 0x00400000;
inline constexpr std::uint32_t kArray = 0x00800000;

inline constexpr std::uint32_t baseType(std::uint32_t typeWord)
{
    return (typeWord & kBaseTypeMask) >> kBaseTypeShift;
}
inline constexpr std::uint32_t sizeOf(std::uint32_t typeWord)
{
    return typeWord & kSizeMask;
}

// Base types
inline constexpr std::uint32_t kBaseSigned = 1;
inline constexpr std::uint32_t kBaseUnsigned = 2;
inline constexpr std::uint32_t kBaseBoolean = 3;
inline constexpr std::uint32_t kBaseFloat = 4;
inline constexpr std::uint32_t kBaseBcd = 5;
inline constexpr std::uint32_t kBaseDate = 6;
inline constexpr std::uint32_t kBaseTime = 7;
inline constexpr std::uint32_t kBaseDateTime = 8;
inline constexpr std::uint32_t kBaseString = 9;
inline constexpr std::uint32_t kBaseWideString = 10;
inline constexpr std::uint32_t kBaseBytes = 11;
inline constexpr std::uint32_t kBaseStructured = 12;
inline constexpr std::uint32_t kBaseArrayColumn = 13;
inline constexpr std::uint32_t kBaseNestedTable = 14;
inline constexpr std::uint32_t kBaseReference = 15;
inline constexpr std::uint32_t kBaseBytesAlias = 16;
inline constexpr std::uint32_t kBaseTimeStamp = 17;
inline constexpr std::uint32_t kBaseFmtBcd = 18;
inline constexpr std::uint32_t kHighestBaseType = 18;

// Common property type words
inline constexpr std::uint32_t kTypeString2 = 0x00490002; // 8-bit string, 2-byte prefix
inline constexpr std::uint32_t kTypeUInt16 = 0x00020002;
inline constexpr std::uint32_t kTypeInt32 = 0x00010004;
inline constexpr std::uint32_t kTypeUInt16Array = 0x00820002;
inline constexpr std::uint32_t kTypeUInt32Array = 0x00820004;

// Column attribute bits
inline constexpr std::uint16_t kAttrHidden = 0x0001;
inline constexpr std::uint16_t kAttrReadOnly = 0x0002;
inline constexpr std::uint16_t kAttrRequired = 0x0004;
inline constexpr std::uint16_t kAttrLink = 0x0008;

// Row status bits
inline constexpr std::uint8_t kRowOriginal = 0x01;
inline constexpr std::uint8_t kRowDeleted = 0x02;
inline constexpr std::uint8_t kRowInserted = 0x04;
inline constexpr std::uint8_t kRowModified = 0x08;
inline constexpr std::uint8_t kRowFreeSlot = 0x20;

// Field status values in the field status bits
inline constexpr std::uint8_t kFieldHasValue = 0;
inline constexpr std::uint8_t kFieldNull = 1;
inline constexpr std::uint8_t kFieldUnchanged = 2;

// Subtype codes the table relies on
inline constexpr std::uint8_t kSubtypeText = 22; ///< a memo: text of any length in a blob
inline constexpr std::uint8_t kSubtypeAutoinc = 29;
inline constexpr std::uint8_t kSubtypeUnknown = 255;

/// The subtype code for a "SUBTYPE" name, or kSubtypeUnknown.
std::uint8_t subtypeFromName(std::string_view name);
/// The "SUBTYPE" name of a code, or an empty view when the code has none.
std::string_view subtypeName(std::uint8_t code);

/// Number of bytes of field status bits in a row of columnCount columns.
inline constexpr std::size_t fieldStatusBytes(std::size_t columnCount)
{
    return (columnCount + 3) / 4;
}

} // namespace packet

enum class PropertyScope { Column, Table };

/// One column descriptor as it stands in a packet.
struct ColumnDescriptor {
    std::string name;
    std::uint32_t typeWord = 0;
    std::uint16_t attributes = 0;

    bool operator==(const ColumnDescriptor&) const = default;
};

/// A named value of a column or of the table. value holds the encoded payload without any
/// length prefix: for a fixed type exactly its size in bytes, for a varying type the bytes
/// the prefix counts, for an array type the elements without the element count.
struct Property {
    std::string name;
    std::uint32_t typeWord = 0;
    std::string value;

    bool operator==(const Property&) const = default;
};

} // namespace stowmere::store
