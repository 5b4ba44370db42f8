// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace stowmere::files {

/// The 128-bit digest (XXH3-128, canonical byte order) of bytes fed in pieces. The copier
/// takes it of the bytes it writes, so that a small copy need not be read back to be
/// recorded; what the backup layer calls a content hash is this digest.
class ContentDigest {
public:
    using Bytes = std::array<std::uint8_t, 16>;

    ContentDigest();
    ~ContentDigest();
    ContentDigest(const ContentDigest&) = delete;
    ContentDigest& operator=(const ContentDigest&) = delete;

    /// Starts again, as if nothing had been fed.
    void reset();
    void add(std::span<const std::byte> bytes);
    Bytes result() const;

private:
    struct State;
    std::unique_ptr<State, void (*)(State*)> m_state;
};

} // namespace stowmere::files
