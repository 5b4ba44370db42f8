// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/PathSpool.h"

#include "backup/ScratchFile.h"
#include "platform/LastError.h"
#include "platform/WriteAll.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <unistd.h>
#include <utility>

namespace stowmere::backup {

namespace {

using files::lastError;
using files::writeAll;

constexpr std::size_t kBuffer = std::size_t{64} * 1024;
/// Paths merged between two looks at the cancel flag.
constexpr std::size_t kPathsPerCancelLook = 4096;

// Paths are kept with each separator turned into NUL, which no name holds: plain byte
// order is then the manifest's order (a folder's tree before its siblings), and sorting
// compares with memcmp.
std::string toKey(std::string_view path)
{
    std::string key(path);
    std::replace(key.begin(), key.end(), '/', '\0');
    return key;
}

void fromKey(std::string& key)
{
    std::replace(key.begin(), key.end(), '\0', '/');
}

} // namespace

/// One sorted run: the paths still in memory, or a scratch file of them, each path as its
/// length (four bytes) and its bytes, since a name may hold any byte but NUL and '/'.
class PathSpool::Run {
public:
    explicit Run(std::vector<std::string> paths) : m_paths(std::move(paths)) { advance(); }
    explicit Run(files::UniqueFd fd) : m_fd(std::move(fd)), m_inMemory(false) { advance(); }

    const std::string* head() const { return m_done ? nullptr : &m_head; }
    const std::error_code& error() const { return m_error; }

    void advance()
    {
        if (m_inMemory) {
            if (m_next == m_paths.size()) {
                m_done = true;
                m_paths = {};
                return;
            }
            m_head = std::move(m_paths[m_next++]);
            return;
        }
        std::uint32_t length = 0;
        if (!take(reinterpret_cast<char*>(&length), sizeof length)) {
            m_done = true;
            return;
        }
        m_head.resize(length);
        if (!take(m_head.data(), length)) {
            if (!m_error)
                m_error = std::make_error_code(std::errc::io_error); // cut short
            m_done = true;
        }
    }

private:
    /// Reads exactly count bytes; false at the end or on an error (then in m_error).
    bool take(char* out, std::size_t count)
    {
        while (count > 0) {
            if (m_at == m_filled) {
                const ssize_t got = ::read(m_fd.get(), m_buffer.data(), m_buffer.size());
                if (got < 0 && errno == EINTR)
                    continue;
                if (got < 0)
                    m_error = lastError();
                if (got <= 0)
                    return false;
                m_at = 0;
                m_filled = static_cast<std::size_t>(got);
            }
            const std::size_t part = std::min(count, m_filled - m_at);
            std::memcpy(out, m_buffer.data() + m_at, part);
            m_at += part;
            out += part;
            count -= part;
        }
        return true;
    }

    std::vector<std::string> m_paths;
    std::size_t m_next = 0;
    files::UniqueFd m_fd;
    std::vector<char> m_buffer = std::vector<char>(kBuffer);
    std::size_t m_at = 0;
    std::size_t m_filled = 0;
    bool m_inMemory = true;
    bool m_done = false;
    std::string m_head;
    std::error_code m_error;
};

void PathSpool::add(std::string_view path)
{
    if (m_paths.empty())
        m_paths.reserve(kRunPaths);
    m_paths.push_back(toKey(path));
    ++m_size;
    if (m_paths.size() == kRunPaths)
        spill();
}

void PathSpool::spill()
{
    std::sort(m_paths.begin(), m_paths.end());
    m_paths.erase(std::unique(m_paths.begin(), m_paths.end()), m_paths.end());
    std::error_code error;
    files::UniqueFd fd = openScratchFile(error);
    std::string buffer;
    for (const std::string& path : m_paths) {
        if (error)
            break;
        const auto length = static_cast<std::uint32_t>(path.size());
        buffer.append(reinterpret_cast<const char*>(&length), sizeof length);
        buffer.append(path);
        if (buffer.size() >= kBuffer) {
            error = writeAll(fd.get(), buffer);
            buffer.clear();
        }
    }
    if (!error)
        error = writeAll(fd.get(), buffer);
    if (!error && ::lseek(fd.get(), 0, SEEK_SET) != 0)
        error = lastError();
    if (error) {
        // Told when the paths are drained; the run is lost either way.
        m_spillError = error;
    } else {
        m_spilled.push_back(std::move(fd));
    }
    m_paths.clear();
}

std::error_code PathSpool::drain(const std::function<void(const std::string&)>& visit,
                                 const std::atomic<bool>* cancel)
{
    std::sort(m_paths.begin(), m_paths.end());
    std::vector<std::unique_ptr<Run>> runs;
    for (files::UniqueFd& fd : m_spilled)
        runs.push_back(std::make_unique<Run>(std::move(fd)));
    runs.push_back(std::make_unique<Run>(std::move(m_paths)));
    m_spilled.clear();
    m_paths.clear();
    m_size = 0;
    std::error_code error = std::exchange(m_spillError, {});
    std::string last;
    bool any = false;
    for (std::size_t count = 0;; ++count) {
        if (cancel != nullptr && count % kPathsPerCancelLook == 0 && cancel->load())
            return std::make_error_code(std::errc::operation_canceled);
        // Few runs (one per kRunPaths paths): a look at each head costs less than a heap.
        Run* chosen = nullptr;
        for (const auto& run : runs)
            if (run->head() != nullptr && (chosen == nullptr || *run->head() < *chosen->head()))
                chosen = run.get();
        if (chosen == nullptr)
            break;
        if (!any || *chosen->head() != last) {
            last = *chosen->head();
            any = true;
            std::string path = last;
            fromKey(path);
            visit(path);
        }
        chosen->advance();
    }
    for (const auto& run : runs)
        if (!error && run->error())
            error = run->error();
    return error;
}

} // namespace stowmere::backup
