// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/resource.h>

namespace stowmere::testing {

/// Lowers the file-size limit of the process while the object lives, so writes past it
/// fail with EFBIG instead of raising SIGXFSZ: a disk that fills part-way, which also
/// works for root.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

} // namespace stowmere::testing
