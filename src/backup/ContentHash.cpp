// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/ContentHash.h"

#include <cerrno>
#include <condition_variable>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace stowmere::backup {
namespace {

/// Large enough that the system calls cost nothing beside the reading itself, small
/// enough to stay in the processor's cache while it is hashed.
constexpr std::size_t kReadSize = std::size_t{256} * 1024;

int hexValue(char digit)
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
        const int high = hexValue(text[2 * i]);
        const int low = hexValue(text[2 * i + 1]);
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

namespace {

/// Files from this size on are read on a thread of their own while this one hashes: the
/// copy out of the page cache and the hashing each take about as long, and a file this
/// large pays for the thread many times over.
constexpr std::uint64_t kOverlapFrom = std::uint64_t{16} << 20;
constexpr std::size_t kChunk = std::size_t{256} << 10;
constexpr std::size_t kChunks = 4;

/// Reads fd front to back into a ring of chunks on a thread of its own; the caller takes
/// each filled chunk in order and gives it back once hashed.
class ChunkReader {
public:
    explicit ChunkReader(int fd) : m_fd(fd), m_chunks(kChunks)
    {
        for (Chunk& chunk : m_chunks)
            chunk.bytes = std::make_unique_for_overwrite<std::byte[]>(kChunk);
        m_thread = std::thread([this] { readAll(); });
    }
    ~ChunkReader()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }
    ChunkReader(const ChunkReader&) = delete;
    ChunkReader& operator=(const ChunkReader&) = delete;

    /// The next chunk's bytes; empty at the end of the file or on an error (in error).
    std::span<const std::byte> take(std::error_code& error)
    {
        std::unique_lock lock(m_mutex);
        Chunk& chunk = m_chunks[m_taken % kChunks];
        m_changed.wait(lock, [&] { return chunk.filled || m_done; });
        if (!chunk.filled) {
            error = m_error;
            return {};
        }
        return {chunk.bytes.get(), chunk.size};
    }
    /// Gives the chunk last taken back for reading into.
    void giveBack()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_chunks[m_taken % kChunks].filled = false;
            ++m_taken;
        }
        m_changed.notify_all();
    }

private:
    struct Chunk {
        std::unique_ptr<std::byte[]> bytes;
        std::size_t size = 0;
        bool filled = false;
    };

    void readAll()
    {
        off_t offset = 0;
        for (std::size_t next = 0;; ++next) {
            Chunk& chunk = m_chunks[next % kChunks];
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [&] { return !chunk.filled || m_stop; });
                if (m_stop)
                    return;
            }
            ssize_t got = 0;
            do
                got = ::pread(m_fd, chunk.bytes.get(), kChunk, offset);
            while (got < 0 && errno == EINTR);
            const std::lock_guard lock(m_mutex);
            if (got <= 0) {
                if (got < 0)
                    m_error = std::error_code(errno, std::system_category());
                m_done = true;
                m_changed.notify_all();
                return;
            }
            offset += got;
            chunk.size = static_cast<std::size_t>(got);
            chunk.filled = true;
            m_changed.notify_all();
        }
    }

    int m_fd;
    std::vector<Chunk> m_chunks;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::size_t m_taken = 0;
    bool m_done = false;
    bool m_stop = false;
    std::error_code m_error;
    std::thread m_thread;
};

/// hashFile for a large file: reading on another thread, hashing on this one.
std::optional<FileHashResult> hashOverlapped(int fd, const HashProgress& progress)
{
    std::optional<ChunkReader> reader;
    try {
        reader.emplace(fd);
    } catch (const std::system_error&) {
        return std::nullopt; // no thread to be had: read and hash on this one
    }
    FileHashResult result;
    ContentHasher hasher;
    for (;;) {
        const std::span<const std::byte> bytes = reader->take(result.error);
        if (bytes.empty())
            break;
        hasher.add(bytes);
        result.bytes += bytes.size();
        reader->giveBack();
        if (progress && !progress(result.bytes)) {
            result.cancelled = true;
            return result;
        }
    }
    if (!result.error)
        result.hash = hasher.result();
    return result;
}

} // namespace

FileHashResult hashFile(int fd, const HashProgress& progress)
{
    // The whole file is read once, front to back: the kernel may read far ahead.
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    if (struct stat info{}; ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                            static_cast<std::uint64_t>(info.st_size) >= kOverlapFrom)
        if (std::optional<FileHashResult> result = hashOverlapped(fd, progress))
            return *result;
    FileHashResult result;
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
