// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/ContentDigest.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>

namespace stowmere::backup {

/// The 128-bit content hash of a copy (XXH3-128): fast enough to hash at the speed the
/// disk reads, wide enough that two different contents never meet by chance. Written as
/// 32 hexadecimal digits in the canonical order, as `xxhsum -H2` prints it, so a user can
/// check one copy by hand.
struct ContentHash {
    files::ContentDigest::Bytes bytes{};

    std::string hex() const;
    /// The hash written by hex(); none for anything else.
    static std::optional<ContentHash> fromHex(std::string_view text);
    bool operator==(const ContentHash&) const = default;
};

/// Hashes bytes fed in pieces.
class ContentHasher {
public:
    void add(std::span<const std::byte> bytes);
    ContentHash result() const;

private:
    files::ContentDigest m_digest;
};

/// Called as a file is read: bytes read so far. false stops the reading.
using HashProgress = std::function<bool(std::uint64_t done)>;

/// What hashing an open file found.
struct FileHashResult {
    ContentHash hash;
    std::uint64_t bytes = 0; ///< bytes read
    bool cancelled = false;
    std::error_code error; ///< why reading failed; the hash is then meaningless
};

/// Reads the open file fd from its start to its end and hashes what it holds.
FileHashResult hashFile(int fd, const HashProgress& progress = {});

} // namespace stowmere::backup
