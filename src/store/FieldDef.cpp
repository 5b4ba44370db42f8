// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/FieldDef.h"

#include "store/FieldCodec.h"
#include "store/StoreError.h"

#include <unicode/ustring.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace stowmere::store {
namespace {

[[noreturn]] void invalidValue(const FieldDef& field, std::string_view text, const char* kind)
{
    throw StoreError(rc::InvalidArgument,
                     quoted(text) + " is not a valid " + kind + " value for field " + quoted(field.name));
}

[[noreturn]] void tooLong(const FieldDef& field, std::size_t bytes)
{
    throw StoreError(rc::InvalidArgument,
                     "Value of field " + quoted(field.name) + " is " + std::to_string(bytes) +
                         " bytes long; the field holds at most " + std::to_string(field.size) + " bytes");
}

std::string bytesOf(std::uint64_t value, std::size_t width)
{
    std::string out(width, '\0');
    le::write(reinterpret_cast<std::byte*>(out.data()), value, width);
    return out;
}

std::uint64_t readUnsigned(std::string_view payload)
{
    return le::read(reinterpret_cast<const std::byte*>(payload.data()),
                    std::min<std::size_t>(payload.size(), 8));
}

std::int64_t readSigned(std::string_view payload)
{
    const std::size_t width = std::min<std::size_t>(payload.size(), 8);
    std::uint64_t raw = readUnsigned(payload);
    if (width > 0 && width < 8 && (raw >> (8 * width - 1)) != 0)
        raw |= ~std::uint64_t{0} << (8 * width); // sign-extend
    return static_cast<std::int64_t>(raw);
}

double readDouble(std::string_view payload)
{
    double value = 0;
    if (payload.size() >= sizeof value)
        std::memcpy(&value, payload.data(), sizeof value);
    return value;
}

std::string utf16ToUtf8(std::string_view payload)
{
    std::u16string units(payload.size() / 2, u'\0');
    std::memcpy(units.data(), payload.data(), units.size() * 2);
    std::string out(units.size() * 3, '\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &length, units.data(),
                       static_cast<int32_t>(units.size()), 0xFFFD, nullptr, &status);
    out.resize(U_SUCCESS(status) ? static_cast<std::size_t>(length) : 0);
    return out;
}

std::string utf8ToUtf16(const FieldDef& field, std::string_view text)
{
    std::u16string units(text.size(), u'\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8(units.data(), static_cast<int32_t>(units.size()), &length, text.data(),
                  static_cast<int32_t>(text.size()), &status);
    if (U_FAILURE(status))
        invalidValue(field, text, "UTF-8 text");
    if (static_cast<std::size_t>(length) > field.size)
        tooLong(field, static_cast<std::size_t>(length));
    return std::string(reinterpret_cast<const char*>(units.data()), static_cast<std::size_t>(length) * 2);
}

std::string fixedWidth(const FieldDef& field, std::string_view payload)
{
    if (field.byteLength != 0 && payload.size() > field.byteLength)
        tooLong(field, payload.size());
    std::string out(payload);
    out.resize(field.byteLength, '\0');
    return out;
}

} // namespace

FieldDef FieldDef::string(std::string name, std::uint32_t size)
{
    FieldDef field;
    field.name = std::move(name);
    field.type = FieldType::String;
    field.size = size;
    field.byteLength = size + 1;
    return field;
}

FieldDef FieldDef::integer(std::string name)
{
    FieldDef field;
    field.name = std::move(name);
    field.type = FieldType::Integer;
    field.byteLength = 4;
    return field;
}

FieldDef FieldDef::autoIncrement(std::string name)
{
    FieldDef field = integer(std::move(name));
    field.subtype = packet::kSubtypeAutoinc;
    field.attributes = packet::kAttrReadOnly;
    return field;
}

FieldDef FieldDef::memo(std::string name)
{
    FieldDef field;
    field.name = std::move(name);
    field.type = FieldType::Blob;
    field.subtype = packet::kSubtypeText;
    return field;
}

FieldDef FieldDef::boolean(std::string name)
{
    FieldDef field;
    field.name = std::move(name);
    field.type = FieldType::Boolean;
    field.byteLength = naturalWidth(FieldType::Boolean);
    return field;
}

std::uint32_t typeWordFor(FieldType type, std::uint32_t byteLength)
{
    const std::uint32_t prefix = byteLength <= 254 ? 1 : 2;
    switch (type) {
    case FieldType::String:
        return 0x00490000 | prefix;
    case FieldType::Date:
        return 0x00060004;
    case FieldType::Blob:
        return 0x004B0004;
    case FieldType::Boolean:
        return 0x00030002;
    case FieldType::SmallInt:
        return 0x00010002;
    case FieldType::Integer:
        return 0x00010004;
    case FieldType::Float:
        return 0x00040008;
    case FieldType::Bcd:
        return 0x00050000 + (byteLength & 0xFFFF);
    case FieldType::Bytes:
        return 0x000B0000 + (byteLength & 0xFFFF);
    case FieldType::Time:
        return 0x00070004;
    case FieldType::DateTime:
        return 0x00080008;
    case FieldType::Word:
        return 0x00020002;
    case FieldType::LongWord:
        return 0x00020004;
    case FieldType::Extended:
        return 0x0004000A;
    case FieldType::VarBytes:
        return 0x004B0000 | prefix;
    case FieldType::LargeInt:
        return 0x00010008;
    case FieldType::LargeUInt:
        return 0x00020008;
    case FieldType::Adt:
        return 0x010C0000;
    case FieldType::Array:
        return 0x030D0000;
    case FieldType::Reference:
        return 0x010F0000;
    case FieldType::DataSet:
        return 0x050E0000;
    case FieldType::SqlTimeStamp:
        return 0x00110010;
    case FieldType::FmtBcd:
        return 0x00120000 + (byteLength & 0xFFFF);
    case FieldType::ShortInt:
        return 0x00010001;
    case FieldType::Byte:
        return 0x00020001;
    case FieldType::Boolean8:
        return 0x00030001;
    case FieldType::Boolean32:
        return 0x00030004;
    case FieldType::WideString:
        return 0x004A0000 | prefix;
    case FieldType::Unknown:
        break;
    }
    return 0;
}

FieldType fieldTypeFor(std::uint32_t typeWord)
{
    const std::uint32_t size = packet::sizeOf(typeWord);
    const bool varying = (typeWord & packet::kVarying) != 0;
    switch (packet::baseType(typeWord)) {
    case packet::kBaseSigned:
        return size == 1   ? FieldType::ShortInt
               : size == 2 ? FieldType::SmallInt
               : size == 4 ? FieldType::Integer
               : size == 8 ? FieldType::LargeInt
                           : FieldType::Unknown;
    case packet::kBaseUnsigned:
        return size == 1   ? FieldType::Byte
               : size == 2 ? FieldType::Word
               : size == 4 ? FieldType::LongWord
               : size == 8 ? FieldType::LargeUInt
                           : FieldType::Unknown;
    case packet::kBaseBoolean:
        return size == 1   ? FieldType::Boolean8
               : size == 2 ? FieldType::Boolean
               : size == 4 ? FieldType::Boolean32
                           : FieldType::Unknown;
    case packet::kBaseFloat:
        return size == 8 ? FieldType::Float : size == 10 ? FieldType::Extended : FieldType::Unknown;
    case packet::kBaseBcd:
        return FieldType::Bcd;
    case packet::kBaseDate:
        return FieldType::Date;
    case packet::kBaseTime:
        return FieldType::Time;
    case packet::kBaseDateTime:
        return FieldType::DateTime;
    case packet::kBaseString:
        return FieldType::String;
    case packet::kBaseWideString:
        return FieldType::WideString;
    case packet::kBaseBytes:
    case packet::kBaseBytesAlias:
        if (!varying)
            return FieldType::Bytes;
        return size == 4 ? FieldType::Blob : FieldType::VarBytes;
    case packet::kBaseStructured:
        return FieldType::Adt;
    case packet::kBaseArrayColumn:
        return FieldType::Array;
    case packet::kBaseNestedTable:
        return FieldType::DataSet;
    case packet::kBaseReference:
        return FieldType::Reference;
    case packet::kBaseTimeStamp:
        return FieldType::SqlTimeStamp;
    case packet::kBaseFmtBcd:
        return FieldType::FmtBcd;
    default:
        return FieldType::Unknown;
    }
}

std::uint32_t naturalWidth(FieldType type)
{
    switch (type) {
    case FieldType::ShortInt:
    case FieldType::Byte:
    case FieldType::Boolean8:
        return 1;
    case FieldType::SmallInt:
    case FieldType::Word:
    case FieldType::Boolean:
        return 2;
    case FieldType::Integer:
    case FieldType::LongWord:
    case FieldType::Boolean32:
    case FieldType::Date:
    case FieldType::Time:
        return 4;
    case FieldType::LargeInt:
    case FieldType::LargeUInt:
    case FieldType::Float:
    case FieldType::DateTime:
        return 8;
    case FieldType::Extended:
        return 10;
    case FieldType::SqlTimeStamp:
        return 16;
    default:
        return 0;
    }
}

bool isTextType(FieldType type)
{
    return type == FieldType::String || type == FieldType::WideString;
}

bool isSignedType(FieldType type)
{
    return type == FieldType::ShortInt || type == FieldType::SmallInt || type == FieldType::Integer ||
           type == FieldType::LargeInt || type == FieldType::Date || type == FieldType::Time;
}

bool isUnsignedType(FieldType type)
{
    return type == FieldType::Byte || type == FieldType::Word || type == FieldType::LongWord ||
           type == FieldType::LargeUInt || type == FieldType::Boolean || type == FieldType::Boolean8 ||
           type == FieldType::Boolean32;
}

bool isStructuredType(FieldType type)
{
    return type == FieldType::Adt || type == FieldType::Array || type == FieldType::Reference ||
           type == FieldType::DataSet;
}

std::string valueToText(const FieldDef& field, std::string_view payload)
{
    char text[64];
    switch (field.type) {
    case FieldType::Boolean:
    case FieldType::Boolean8:
    case FieldType::Boolean32:
        return readUnsigned(payload) != 0 ? "True" : "False";
    case FieldType::Float:
    case FieldType::DateTime:
        std::snprintf(text, sizeof text, "%.15g", readDouble(payload));
        return text;
    case FieldType::Extended: {
        long double value = 0;
        std::memcpy(&value, payload.data(), std::min(payload.size(), sizeof value));
        std::snprintf(text, sizeof text, "%.18Lg", value);
        return text;
    }
    case FieldType::WideString:
        return utf16ToUtf8(payload);
    default:
        break;
    }
    if (isSignedType(field.type))
        return std::to_string(readSigned(payload));
    if (isUnsignedType(field.type))
        return std::to_string(readUnsigned(payload));
    return std::string(payload);
}

std::string valueFromText(const FieldDef& field, std::string_view text)
{
    switch (field.type) {
    case FieldType::String:
        if (text.size() > field.size)
            tooLong(field, text.size());
        return std::string(text);
    case FieldType::WideString:
        return utf8ToUtf16(field, text);
    case FieldType::Boolean:
    case FieldType::Boolean8:
    case FieldType::Boolean32: {
        std::string lower(text);
        for (char& c : lower)
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        if (lower == "true" || lower == "1")
            return bytesOf(1, naturalWidth(field.type));
        if (lower == "false" || lower == "0")
            return bytesOf(0, naturalWidth(field.type));
        invalidValue(field, text, "boolean");
    }
    case FieldType::Float:
    case FieldType::DateTime: {
        const std::string copy(text);
        char* end = nullptr;
        errno = 0;
        const double value = std::strtod(copy.c_str(), &end);
        if (copy.empty() || *end != '\0' || errno == ERANGE)
            invalidValue(field, text, "floating-point");
        std::string out(sizeof value, '\0');
        std::memcpy(out.data(), &value, sizeof value);
        return out;
    }
    case FieldType::VarBytes:
        if (text.size() > field.size)
            tooLong(field, text.size());
        return std::string(text);
    case FieldType::Blob:
        return std::string(text);
    default:
        break;
    }
    if (isUnsignedType(field.type)) {
        std::uint64_t value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (text.empty() || error != std::errc() || end != text.data() + text.size())
            invalidValue(field, text, "integer");
        const std::uint32_t width = naturalWidth(field.type);
        if (width < 8 && value >= (std::uint64_t{1} << (8 * width)))
            invalidValue(field, text, "integer");
        return bytesOf(value, width);
    }
    if (isSignedType(field.type)) {
        std::int64_t value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (text.empty() || error != std::errc() || end != text.data() + text.size())
            invalidValue(field, text, "integer");
        return valueFromInteger(field, value);
    }
    return fixedWidth(field, text);
}

std::int64_t valueToInteger(const FieldDef& field, std::string_view payload)
{
    if (isSignedType(field.type))
        return readSigned(payload);
    if (isUnsignedType(field.type))
        return static_cast<std::int64_t>(readUnsigned(payload));
    if (field.type == FieldType::Float || field.type == FieldType::DateTime)
        return static_cast<std::int64_t>(readDouble(payload));
    const std::string text = valueToText(field, payload);
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        invalidValue(field, text, "integer");
    return value;
}

std::string valueFromInteger(const FieldDef& field, std::int64_t value)
{
    const std::uint32_t width = naturalWidth(field.type);
    if (isSignedType(field.type)) {
        const int bits = static_cast<int>(8 * width);
        if (bits < 64) {
            const std::int64_t limit = std::int64_t{1} << (bits - 1);
            if (value < -limit || value >= limit)
                invalidValue(field, std::to_string(value), "integer");
        }
        return bytesOf(static_cast<std::uint64_t>(value), width);
    }
    if (isUnsignedType(field.type)) {
        const int bits = static_cast<int>(8 * width);
        if (value < 0 || (bits < 64 && static_cast<std::uint64_t>(value) >= (std::uint64_t{1} << bits)))
            invalidValue(field, std::to_string(value), "integer");
        return bytesOf(static_cast<std::uint64_t>(value), width);
    }
    if (field.type == FieldType::Float || field.type == FieldType::DateTime) {
        const double number = static_cast<double>(value);
        std::string out(sizeof number, '\0');
        std::memcpy(out.data(), &number, sizeof number);
        return out;
    }
    return valueFromText(field, std::to_string(value));
}

} // namespace stowmere::store
