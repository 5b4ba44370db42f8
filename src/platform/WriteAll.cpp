// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/WriteAll.h"

#include <cerrno>
#include <unistd.h>

namespace stowmere::files {

std::error_code writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return {errno, std::system_category()};
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return {};
}

} // namespace stowmere::files
