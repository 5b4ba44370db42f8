// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace stowmere::priority {

/// The outcome of asking for a higher process priority.
enum class PriorityResult {
    Raised,    ///< the nice value was lowered
    Unchanged, ///< the user may not go lower than the current value; a normal outcome
    Failed,    ///< the system refused for a reason other than missing privilege
};

/// Raises the calling process's priority as far as the user may by lowering its nice
/// value (never real-time scheduling, and never a nice value below 0, either of which
/// could starve the desktop). The lowest value allowed comes from RLIMIT_NICE; root may go
/// to 0. A refusal for lack of privilege counts as Unchanged, the way a desktop platform
/// silently grants a lower class.
PriorityResult raiseProcessPriority();

/// The lowest nice value the caller may set, as RLIMIT_NICE allows (20 - limit) but not
/// below 0, or the current nice value when nothing lower is allowed or it is below 0
/// already.
int lowestAllowedNice();

} // namespace stowmere::priority
