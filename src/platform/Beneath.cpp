// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Beneath.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <linux/openat2.h>
#include <string>
#include <sys/syscall.h>
#include <unistd.h>

namespace stowmere::files {
namespace {

std::atomic<BeneathMethod> g_method{BeneathMethod::Automatic};
/// Cleared once the kernel has said it has no openat2 (or a filter refuses it).
std::atomic<bool> g_haveOpenat2{true};

// openat2 takes the path whole, and the kernel refuses paths of PATH_MAX or more: a
// longer one is walked name by name.
constexpr std::size_t kLongestWholePath = 4000;

UniqueFd openat2Beneath(int rootFd, const std::string& relative, int flags, int& error, bool& unavailable)
{
    open_how how{};
    how.flags = static_cast<std::uint64_t>(flags | O_CLOEXEC | O_NOFOLLOW);
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    for (;;) {
        const long fd = ::syscall(SYS_openat2, rootFd, relative.c_str(), &how, sizeof how);
        if (fd >= 0)
            return UniqueFd(static_cast<int>(fd));
        if (errno == EINTR || errno == EAGAIN)
            continue;
        error = errno;
        unavailable = error == ENOSYS || error == EPERM;
        return {};
    }
}

UniqueFd walkBeneath(int rootFd, std::string_view relative, int flags, int& error)
{
    // Every component but the last is a folder to go through, opened with O_PATH so that
    // a folder without read permission can still be passed.
    UniqueFd current;
    int at = rootFd;
    std::size_t from = 0;
    std::string name;
    for (;;) {
        while (from < relative.size() && relative[from] == '/')
            ++from;
        std::size_t end = relative.find('/', from);
        if (end == std::string_view::npos)
            end = relative.size();
        name.assign(relative.substr(from, end - from));
        std::size_t next = end;
        while (next < relative.size() && relative[next] == '/')
            ++next;
        const bool last = next >= relative.size();
        if (name == "..") {
            error = EXDEV;
            return {};
        }
        if (name.empty() || name == ".") {
            if (!last) {
                from = next;
                continue;
            }
            name = ".";
        }
        const int openFlags =
            last ? (flags | O_CLOEXEC | O_NOFOLLOW) : (O_PATH | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
        UniqueFd opened(::openat(at, name.c_str(), openFlags, 0600));
        if (!opened) {
            error = errno;
            // An O_PATH open of a link with O_NOFOLLOW and O_DIRECTORY says ENOTDIR: what
            // openat2 says for a link on the way is clearer.
            return {};
        }
        if (last)
            return opened;
        current = std::move(opened);
        at = current.get();
        from = next;
    }
}

} // namespace

UniqueFd openBeneath(int rootFd, std::string_view relative, int flags, int& error)
{
    error = 0;
    if (!relative.empty() && relative.front() == '/') {
        error = EXDEV;
        return {};
    }
    if (g_method.load(std::memory_order_relaxed) == BeneathMethod::Automatic &&
        g_haveOpenat2.load(std::memory_order_relaxed) && relative.size() < kLongestWholePath) {
        bool unavailable = false;
        const std::string path = relative.empty() ? std::string(".") : std::string(relative);
        UniqueFd fd = openat2Beneath(rootFd, path, flags, error, unavailable);
        if (fd || !unavailable)
            return fd;
        g_haveOpenat2.store(false, std::memory_order_relaxed);
    }
    return walkBeneath(rootFd, relative, flags, error);
}

BeneathMethod beneathMethod()
{
    return g_method.load();
}

void setBeneathMethod(BeneathMethod method)
{
    g_method.store(method);
}

} // namespace stowmere::files
