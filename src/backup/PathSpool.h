// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/UniqueFd.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace stowmere::backup {

/// Paths collected in any order and given back once each, in the manifest's order, with
/// memory bounded whatever their number: they are sorted a run of kRunPaths at a time,
/// each full run kept in a local scratch file, and the runs merged as they are read.
class PathSpool {
public:
    static constexpr std::size_t kRunPaths = 32768;

    PathSpool() = default;
    PathSpool(const PathSpool&) = delete;
    PathSpool& operator=(const PathSpool&) = delete;

    void add(std::string_view path);
    bool empty() const { return m_size == 0; }
    /// Paths added, repeats included.
    std::size_t size() const { return m_size; }

    /// Calls visit for each path, in the manifest's order, each once. Stops early, with
    /// operation_canceled, once cancel is set; with the error when a scratch file cannot
    /// be written or read back. The spool is empty afterwards.
    std::error_code drain(const std::function<void(const std::string&)>& visit,
                          const std::atomic<bool>* cancel = nullptr);

private:
    class Run;
    void spill();

    std::vector<std::string> m_paths;
    std::vector<files::UniqueFd> m_spilled;
    std::error_code m_spillError;
    std::size_t m_size = 0;
};

} // namespace stowmere::backup
