// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ProcessPriority.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace priority = stowmere::priority;

namespace {

int niceNow()
{
    errno = 0;
    return getpriority(PRIO_PROCESS, 0);
}

// Each case runs in a child process so the test runner's own priority is left alone.
template <typename Body> int inChild(Body body)
{
    const pid_t child = fork();
    if (child == 0)
        _exit(body());
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 255;
}

} // namespace

TEST(ProcessPriority, NeverFailsAndEndsAtTheLowestAllowedNice)
{
    EXPECT_EQ(inChild([] {
                  const int allowed = priority::lowestAllowedNice();
                  const auto result = priority::raiseProcessPriority();
                  if (result == priority::PriorityResult::Failed)
                      return 1;
                  return niceNow() == allowed ? 0 : 2;
              }),
              0);
}

TEST(ProcessPriority, WithoutPrivilegeTheRefusalCountsAsUnchanged)
{
    // A soft RLIMIT_NICE of 0 allows nothing below the current nice value, also for a
    // process that started at a raised nice value; only root can still go lower.
    EXPECT_EQ(inChild([] {
                  if (setpriority(PRIO_PROCESS, 0, 5) != 0)
                      return 3;
                  rlimit limit{0, 0};
                  if (setrlimit(RLIMIT_NICE, &limit) != 0)
                      return 4;
                  const auto result = priority::raiseProcessPriority();
                  if (geteuid() == 0)
                      return result == priority::PriorityResult::Raised && niceNow() == 0 ? 0 : 5;
                  return result == priority::PriorityResult::Unchanged && niceNow() == 5 ? 0 : 6;
              }),
              0);
}

TEST(ProcessPriority, AnAlreadyLowestNiceIsUnchanged)
{
    EXPECT_EQ(inChild([] {
                  priority::raiseProcessPriority();
                  return priority::raiseProcessPriority() == priority::PriorityResult::Unchanged ? 0 : 1;
              }),
              0);
}

TEST(ProcessPriority, NeverGoesBelowNiceZeroEvenForRoot)
{
    EXPECT_EQ(inChild([] {
                  if (priority::raiseProcessPriority() == priority::PriorityResult::Failed)
                      return 1;
                  return niceNow() >= 0 && priority::lowestAllowedNice() >= 0 ? 0 : 2;
              }),
              0);
    // A process started below 0 by its parent keeps that value: it is not lowered further.
    EXPECT_EQ(inChild([] {
                  if (setpriority(PRIO_PROCESS, 0, -3) != 0)
                      return 0; // not privileged: nothing to check
                  priority::raiseProcessPriority();
                  return niceNow() == -3 ? 0 : 2;
              }),
              0);
}
