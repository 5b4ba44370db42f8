// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/ResultCode.h"

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace stowmere::store {

/// The error the table layer raises. what() is a complete English sentence for the user;
/// code() is the store's result code (0 for errors that have none, such as an unknown field
/// name) and offset() the byte where reading a packet stopped, when a read failed.
class StoreError : public std::runtime_error {
public:
    StoreError(ResultCode code, const std::string& message, std::optional<std::size_t> offset = {});

    /// An error for a failed operation: "<what failed>: <text of code>" (and " at byte N").
    static StoreError fromCode(ResultCode code, const std::string& context,
                               std::optional<std::size_t> offset = {});

    ResultCode code() const { return m_code; }
    std::optional<std::size_t> offset() const { return m_offset; }

private:
    ResultCode m_code;
    std::optional<std::size_t> m_offset;
};

/// A name or value as the messages show it: in single quotes.
std::string quoted(std::string_view name);

/// Raises a StoreError with the message and the result code (none by default).
[[noreturn]] inline void throwError(const std::string& message, ResultCode code = rc::Ok)
{
    throw StoreError(code, message);
}

} // namespace stowmere::store
