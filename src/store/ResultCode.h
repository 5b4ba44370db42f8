// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace stowmere::store {

/// The 16-bit code every packet and table operation returns; 0 is success.
using ResultCode = std::uint16_t;

namespace rc {
inline constexpr ResultCode Ok = 0;
inline constexpr ResultCode NestedLevelOpen = 0x2103; // row data started inside a nested level, or no codecs
inline constexpr ResultCode NoMoreData = 0x2202;      // no more columns, properties or rows
inline constexpr ResultCode OutOfMemory = 0x2501;
inline constexpr ResultCode KeyViolation = 0x2601;
inline constexpr ResultCode RequiredFieldMissing = 0x2604;
inline constexpr ResultCode FieldIsNull = 0x260C;
inline constexpr ResultCode InvalidArgument = 0x2702; // bad argument or buffer too small
inline constexpr ResultCode NoSuchIndex = 0x270D;
inline constexpr ResultCode UnsupportedType = 0x2710;
inline constexpr ResultCode DefaultOrderLocked = 0x2733;
inline constexpr ResultCode OutOfOrder = 0x2A04; // call out of order or out of range
inline constexpr ResultCode NoMetadata = 0x4003;
inline constexpr ResultCode BadPacket = 0x4005; // not a packet this reader can read
} // namespace rc

/// A readable English text for a result code, e.g. "key violation".
std::string resultCodeText(ResultCode code);

} // namespace stowmere::store
