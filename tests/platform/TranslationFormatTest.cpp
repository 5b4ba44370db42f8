// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Translation.h"

#include <gtest/gtest.h>

using stowmere::translation::format;

TEST(TranslationFormat, FillsInOrderOrByPositionAndLeavesTheRestAlone)
{
    EXPECT_EQ(format("%s needs %s, not '%s'", "--guard", "on or off", std::string("x")),
              "--guard needs on or off, not 'x'");
    EXPECT_EQ(format("%d/%d files, %zu left", 3, 10u, std::size_t{7}), "3/10 files, 7 left");
    // A translation may put the arguments in another order.
    EXPECT_EQ(format("braucht %1$s; in %3$s sind %2$s frei", "5 MB", "1 MB", "/backup"),
              "braucht 5 MB; in /backup sind 1 MB frei");
    EXPECT_EQ(format("100%% of %s", "a"), "100% of a");
    // An argument's own percent signs are never read as conversions.
    EXPECT_EQ(format("%s and %s", "%s", "b"), "%s and b");
    // A missing argument, an unknown conversion and a trailing % stay as written.
    EXPECT_EQ(format("%s and %s", "a"), "a and %s");
    EXPECT_EQ(format("%x %5$s %", "a"), "%x %5$s %");
    EXPECT_EQ(format("%lu bytes", -1), "-1 bytes");
}
