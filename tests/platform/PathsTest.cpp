// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Paths.h"

#include <gtest/gtest.h>

namespace paths = stowmere::paths;

TEST(Paths, RootIsRecognisedByMeaningNotLength)
{
    EXPECT_TRUE(paths::isRoot("/"));
    EXPECT_TRUE(paths::isRoot("//"));
    EXPECT_TRUE(paths::isRoot("/./"));
    EXPECT_FALSE(paths::isRoot("/a"));
    EXPECT_FALSE(paths::isRoot("a/"));
    EXPECT_FALSE(paths::isRoot(""));
}

TEST(Paths, TrailingSeparatorRemovedOnceButRootKeepsIt)
{
    EXPECT_EQ(paths::withoutTrailingSeparator("/backup/"), "/backup");
    EXPECT_EQ(paths::withoutTrailingSeparator("/backup"), "/backup");
    EXPECT_EQ(paths::withoutTrailingSeparator("/"), "/");
    EXPECT_EQ(paths::withTrailingSeparator("/usr"), "/usr/");
    EXPECT_EQ(paths::withTrailingSeparator("/"), "/");
}

TEST(Paths, FileNamePartIsTextAfterLastSeparator)
{
    EXPECT_EQ(paths::fileNamePart("/home/a/b.txt"), "b.txt");
    EXPECT_EQ(paths::fileNamePart("/home/a/"), "");
    EXPECT_EQ(paths::fileNamePart("/"), "");
    EXPECT_EQ(paths::fileNamePart("plain"), "plain");
}

TEST(Paths, ParentAndJoin)
{
    EXPECT_EQ(paths::parentFolder("/home/a/b.txt"), "/home/a");
    EXPECT_EQ(paths::parentFolder("/home"), "/");
    EXPECT_EQ(paths::parentFolder("/"), "/");
    EXPECT_EQ(paths::join("/dest", "sub/file"), "/dest/sub/file");
    EXPECT_EQ(paths::join("/dest/", "/file"), "/dest/file");
    EXPECT_EQ(paths::join("/", "file"), "/file");
}

TEST(Paths, JoinPutsExactlyOneSeparatorBetweenFolderAndName)
{
    const std::pair<std::pair<const char*, const char*>, const char*> table[] = {
        {{"/dest", "name"}, "/dest/name"},
        {{"/dest/", "name"}, "/dest/name"},
        {{"/dest", "/Sub"}, "/dest/Sub"}, // a relative folder as a scan names it
        {{"/dest/", "//Sub/f"}, "/dest/Sub/f"},
        {{"/", "/etc"}, "/etc"},
        {{"", "name"}, "/name"}, // a destination "/" with its separator taken off
        {{"", "/name"}, "/name"},
        {{"rel", "name"}, "rel/name"},
        {{"/dest", ""}, "/dest/"},
        {{"/dest", "a b/ü"}, "/dest/a b/ü"},
    };
    for (const auto& [input, joined] : table)
        EXPECT_EQ(paths::join(input.first, input.second), joined) << input.first << " + " << input.second;
}
