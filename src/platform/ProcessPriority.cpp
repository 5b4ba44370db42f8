// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ProcessPriority.h"

#include <algorithm>
#include <cerrno>
#include <sys/resource.h>
#include <unistd.h>

namespace stowmere::priority {
namespace {

// A backup must never starve the machine, even one run as root: the nice value it asks for
// never goes below the default of 0.
constexpr int kHighestPriorityNice = 0;

// getpriority may legitimately return -1, so errno has to be cleared and checked.
bool currentNice(int& nice)
{
    errno = 0;
    const int value = getpriority(PRIO_PROCESS, 0);
    if (value == -1 && errno != 0)
        return false;
    nice = value;
    return true;
}

} // namespace

int lowestAllowedNice()
{
    int current = 0;
    if (!currentNice(current))
        return 0;
    if (current <= kHighestPriorityNice)
        return current;
    if (geteuid() == 0)
        return kHighestPriorityNice;
    rlimit limit{};
    if (getrlimit(RLIMIT_NICE, &limit) != 0)
        return current;
    if (limit.rlim_cur == RLIM_INFINITY)
        return kHighestPriorityNice;
    // RLIMIT_NICE n allows nice values down to 20 - n; never go above the current value.
    const long ceiling = 20 - static_cast<long>(std::min<rlim_t>(limit.rlim_cur, 40));
    return static_cast<int>(std::clamp<long>(std::min<long>(ceiling, current), kHighestPriorityNice, 19));
}

PriorityResult raiseProcessPriority()
{
    int current = 0;
    if (!currentNice(current))
        return PriorityResult::Failed;
    const int target = lowestAllowedNice();
    if (target >= current)
        return PriorityResult::Unchanged;
    if (setpriority(PRIO_PROCESS, 0, target) == 0)
        return PriorityResult::Raised;
    if (errno == EPERM || errno == EACCES)
        return PriorityResult::Unchanged;
    return PriorityResult::Failed;
}

} // namespace stowmere::priority
