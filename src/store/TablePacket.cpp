// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/TablePacket.h"

#include <cstring>

namespace stowmere::store {

std::string packRow(const std::vector<std::optional<std::string>>& values)
{
    std::size_t size = 0;
    for (const auto& value : values)
        size += value ? 5 + value->size() : 1;
    std::string data;
    data.reserve(size);
    for (const auto& value : values) {
        if (!value) {
            data.push_back('\1');
            continue;
        }
        data.push_back('\0');
        const auto length = static_cast<std::uint32_t>(value->size());
        data.append(reinterpret_cast<const char*>(&length), 4);
        data.append(*value);
    }
    return data;
}

std::optional<std::string_view> packedField(std::string_view data, std::size_t index)
{
    std::size_t pos = 0;
    for (std::size_t i = 0;; ++i) {
        if (pos >= data.size())
            return std::nullopt;
        if (data[pos] != '\0') {
            if (i == index)
                return std::nullopt;
            ++pos;
            continue;
        }
        std::uint32_t stored = 0;
        std::memcpy(&stored, data.data() + pos + 1, 4);
        const std::size_t length = stored;
        if (i == index)
            return data.substr(pos + 5, length);
        pos += 5 + length;
    }
}

} // namespace stowmere::store
