// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Utf8.h"

#include <gtest/gtest.h>

namespace utf8 = stowmere::utf8;

TEST(Utf8, PrefixNeverSplitsAMultiByteCharacter)
{
    const std::string text = "ab\xC3\xA9"
                             "cd"; // "abécd", é is two bytes
    EXPECT_EQ(utf8::prefixWithin(text, 2), "ab");
    EXPECT_EQ(utf8::prefixWithin(text, 3), "ab"); // would cut é in half
    EXPECT_EQ(utf8::prefixWithin(text, 4), "ab\xC3\xA9");
    EXPECT_EQ(utf8::prefixWithin(text, 100), text);
    const std::string euro = "\xE2\x82\xAC\xE2\x82\xAC"; // two three-byte characters
    EXPECT_EQ(utf8::prefixWithin(euro, 5), "\xE2\x82\xAC");
    EXPECT_EQ(utf8::prefixWithin(euro, 6), euro);
}

TEST(Utf8, ValidityRejectsMalformedSequences)
{
    EXPECT_TRUE(utf8::isValid("plain ascii"));
    EXPECT_TRUE(utf8::isValid("\xF0\x9F\x98\x80"));
    EXPECT_FALSE(utf8::isValid("\xC3"));             // truncated
    EXPECT_FALSE(utf8::isValid("\xC0\xAF"));         // overlong
    EXPECT_FALSE(utf8::isValid("\xED\xA0\x80"));     // surrogate
    EXPECT_FALSE(utf8::isValid("\xF4\x90\x80\x80")); // past U+10FFFF
}
