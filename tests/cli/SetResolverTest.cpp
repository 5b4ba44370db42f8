// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/SetResolver.h"

#include <gtest/gtest.h>

using stowmere::cli::BackupSetEntry;
using stowmere::cli::SetNotFound;
using stowmere::cli::SetResolver;

namespace {

SetResolver sample()
{
    return SetResolver(
        {{3, "Docs", "/b/docs"}, {1, "Photos", "/b/p"}, {7, "Photos", "/b/p2"}, {2, "7", "/b/seven"}});
}

std::string failureOf(const SetResolver& resolver, const std::string& set)
{
    try {
        resolver.resolve(set);
    } catch (const SetNotFound& error) {
        return error.what();
    }
    return "(resolved)";
}

} // namespace

TEST(SetResolver, FindsBySetDescriptionOrNumber)
{
    const SetResolver resolver = sample();
    EXPECT_EQ(resolver.resolve("Docs"), 0u);
    EXPECT_EQ(resolver.resolve("3"), 0u);
    EXPECT_EQ(resolver.resolve("1"), 1u);
    EXPECT_EQ(resolver.resolve("2"), 3u);
}

TEST(SetResolver, DescriptionsMatchExactlyAndCaseSensitively)
{
    const SetResolver resolver = sample();
    EXPECT_NE(failureOf(resolver, "docs").find("No backup set is named \"docs\""), std::string::npos);
    EXPECT_NE(failureOf(resolver, "Docs ").find("No backup set"), std::string::npos);
    EXPECT_NE(failureOf(resolver, "99").find("or has the number 99"), std::string::npos);
    // Signs, spaces and overflow are not numbers; they are descriptions that match nothing.
    EXPECT_NE(failureOf(resolver, "+3"), "(resolved)");
    EXPECT_NE(failureOf(resolver, "99999999999"), "(resolved)");
}

TEST(SetResolver, AmbiguousSetListsEveryCandidate)
{
    const SetResolver resolver = sample();
    const std::string text = failureOf(resolver, "Photos");
    EXPECT_NE(text.find("names more than one backup set"), std::string::npos);
    EXPECT_NE(text.find("\n  1\tPhotos\t/b/p"), std::string::npos);
    EXPECT_NE(text.find("\n  7\tPhotos\t/b/p2"), std::string::npos);

    // "7" is both set number 7 and the description of set 2.
    const std::string numeric = failureOf(resolver, "7");
    EXPECT_NE(numeric.find("\n  7\tPhotos\t/b/p2"), std::string::npos);
    EXPECT_NE(numeric.find("\n  2\t7\t/b/seven"), std::string::npos);
}
