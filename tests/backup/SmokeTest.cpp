// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/FailureReport.h"
#include <gtest/gtest.h>
TEST(Smoke, Builds) { EXPECT_EQ(stowmere::backup::FormatByteSize(0), "0 Bytes"); }
