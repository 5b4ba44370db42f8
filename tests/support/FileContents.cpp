// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/FileContents.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace stowmere::testing {

std::string readText(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::vector<std::byte> readBytes(const std::filesystem::path& path)
{
    const std::string text = readText(path);
    const auto* begin = reinterpret_cast<const std::byte*>(text.data());
    return {begin, begin + text.size()};
}

void writeText(const std::filesystem::path& path, std::string_view text)
{
    writeBytes(path, std::as_bytes(std::span(text.data(), text.size())));
}

void writeBytes(const std::filesystem::path& path, std::span<const std::byte> data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    out.close();
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

} // namespace stowmere::testing
