// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <utility>

namespace stowmere {

/// Runs an action when the scope it was made in ends, by any way out (a return, an
/// exception): the one helper for "undo this whatever happens" in the program.
template <typename Action> class [[nodiscard]] ScopeExit {
public:
    explicit ScopeExit(Action action) : m_action(std::move(action)) {}
    ~ScopeExit() { m_action(); }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    ScopeExit(ScopeExit&&) = delete;
    ScopeExit& operator=(ScopeExit&&) = delete;

private:
    Action m_action;
};

} // namespace stowmere
