// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/UniqueFd.h"

#include <string_view>

namespace stowmere::files {

/// How names are resolved beneath a folder.
enum class BeneathMethod {
    /// openat2 with RESOLVE_BENEATH and RESOLVE_NO_SYMLINKS where the kernel has it, else
    /// the component walk.
    Automatic,
    /// One openat with O_NOFOLLOW per component, as on kernels before 5.6.
    ComponentWalk,
};

/// Opens relative, a '/'-separated path below the open folder rootFd, without following
/// any link on the way, the last component included, and without ever leaving the folder:
/// a link fails with ELOOP (or ENOTDIR where a folder was asked for), a ".." with EXDEV,
/// an absolute path with EXDEV. An empty path (or ".") opens the folder itself again.
/// flags are open's (O_CLOEXEC and O_NOFOLLOW are added); error is set when the result
/// is not valid. Paths of any length work: only each name is bounded.
UniqueFd openBeneath(int rootFd, std::string_view relative, int flags, int& error);

/// The method in use; tests switch to the component walk to try it on any kernel.
BeneathMethod beneathMethod();
void setBeneathMethod(BeneathMethod method);

} // namespace stowmere::files
