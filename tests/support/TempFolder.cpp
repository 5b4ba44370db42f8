// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/TempFolder.h"

#include <atomic>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace stowmere::testing {

TempFolder::TempFolder(std::string_view tag) : TempFolder(tag, fs::temp_directory_path()) {}

TempFolder::TempFolder(std::string_view tag, const fs::path& parent)
{
    // The process id keeps parallel test executables apart, the serial the folders of one.
    static std::atomic<unsigned> serial{0};
    m_path = parent / ("stowmere-" + std::string(tag) + "-" + std::to_string(::getpid()) + "-" +
                       std::to_string(serial++));
    // Whatever an earlier process with the same id left there would spoil the test.
    fs::remove_all(m_path);
    fs::create_directories(m_path);
}

TempFolder::~TempFolder()
{
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
}

} // namespace stowmere::testing
