// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/ContentHash.h"

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace stowmere::backup {
namespace {

/// Large enough that the system calls cost nothing beside the reading itself, small
/// enough to stay in the processor's cache while it is hashed.
constexpr std::size_t kReadSize = std::size_t{256} * 1024;

int lowerHexValue(char digit)
{
    if (digit >= '0' && digit <= '9')
        return digit - '0';
    if (digit >= 'a' && digit <= 'f')
        return digit - 'a' + 10;
    return -1;
}

} // namespace

std::string ContentHash::hex() const
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text(bytes.size() * 2, '0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        text[2 * i] = kDigits[bytes[i] >> 4];
        text[2 * i + 1] = kDigits[bytes[i] & 0x0F];
    }
    return text;
}

std::optional<ContentHash> ContentHash::fromHex(std::string_view text)
{
    ContentHash hash;
    if (text.size() != hash.bytes.size() * 2)
        return std::nullopt;
    for (std::size_t i = 0; i < hash.bytes.size(); ++i) {
        const int high = lowerHexValue(text[2 * i]);
        const int low = lowerHexValue(text[2 * i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        hash.bytes[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return hash;
}

void ContentHasher::add(std::span<const std::byte> bytes)
{
    m_digest.add(bytes);
}

ContentHash ContentHasher::result() const
{
    return ContentHash{m_digest.result()};
}

FileHashResult hashFile(int fd, const HashProgress& progress)
{
    FileHashResult result;
    // The whole file is read once, front to back: the kernel may read far ahead.
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    // One buffer a thread, made once: hashing many small copies must not cost an
    // allocation, and a zeroing, of the whole buffer for each.
    thread_local const std::unique_ptr<std::byte[]> reused =
        std::make_unique_for_overwrite<std::byte[]>(kReadSize);
    const std::span<std::byte> buffer(reused.get(), kReadSize);
    ContentHasher hasher;
    off_t offset = 0;
    for (;;) {
        const ssize_t got = ::pread(fd, buffer.data(), buffer.size(), offset);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            result.error = std::error_code(errno, std::system_category());
            return result;
        }
        if (got == 0)
            break;
        hasher.add(std::span(buffer.data(), static_cast<std::size_t>(got)));
        offset += got;
        result.bytes += static_cast<std::uint64_t>(got);
        if (progress && !progress(result.bytes)) {
            result.cancelled = true;
            return result;
        }
    }
    result.hash = hasher.result();
    return result;
}

} // namespace stowmere::backup
