// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/ResultCode.h"

#include <cstdio>

namespace stowmere::store {

std::string resultCodeText(ResultCode code)
{
    switch (code) {
    case rc::Ok:
        return "success";
    case rc::NestedLevelOpen:
        return "row data cannot be read or written for these columns";
    case rc::NoMoreData:
        return "no more data";
    case rc::OutOfMemory:
        return "out of memory";
    case rc::KeyViolation:
        return "key violation: the key already exists in a unique order";
    case rc::RequiredFieldMissing:
        return "a required field has no value";
    case rc::FieldIsNull:
        return "the field is null";
    case rc::InvalidArgument:
        return "invalid value or value too long";
    case rc::NoSuchIndex:
        return "no order of that name";
    case rc::UnsupportedType:
        return "field type not supported";
    case rc::DefaultOrderLocked:
        return "the default order cannot be changed or dropped";
    case rc::OutOfOrder:
        return "operation out of order or out of range";
    case rc::NoMetadata:
        return "the data packet has no column descriptions";
    case rc::BadPacket:
        return "not a data packet this program can read (wrong version, truncated or inconsistent)";
    default: {
        char text[40];
        std::snprintf(text, sizeof text, "unknown result code 0x%04X", code);
        return text;
    }
    }
}

} // namespace stowmere::store
