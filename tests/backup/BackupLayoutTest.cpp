// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/BackupLayout.h"

#include <gtest/gtest.h>

using stowmere::backup::BackupLayout;

TEST(BackupLayout, OriginalPathsMapToTheirCopiesAndBack)
{
    const BackupLayout layout("/backup/",
                              {"/home/u/Docs", "/home/u/notes.txt", "/home/u/Docs/Deep", "/srv/"});
    EXPECT_EQ(layout.destination(), "/backup");
    const auto relativeOf = [&](const std::string& path) {
        const auto location = layout.locate(path);
        return location ? location->item + " -> " + location->relative : std::string("none");
    };
    EXPECT_EQ(relativeOf("/home/u/notes.txt"), "/home/u/notes.txt -> notes.txt");
    EXPECT_EQ(relativeOf("/home/u/Docs"), "/home/u/Docs -> Docs");
    EXPECT_EQ(relativeOf("/home/u/Docs/a/b.txt"), "/home/u/Docs -> Docs/a/b.txt");
    // The deepest item that holds a path has its own copy of it.
    EXPECT_EQ(relativeOf("/home/u/Docs/Deep/x"), "/home/u/Docs/Deep -> Deep/x");
    // An item ending with a separator is copied straight into the destination.
    EXPECT_EQ(relativeOf("/srv/www/index.html"), "/srv/ -> www/index.html");
    EXPECT_EQ(relativeOf("/home/u/Docsx"), "none");
    EXPECT_EQ(relativeOf("/home/u"), "none");

    EXPECT_EQ(layout.originalOf("Docs/a/b.txt"), "/home/u/Docs/a/b.txt");
    EXPECT_EQ(layout.originalOf("notes.txt"), "/home/u/notes.txt");
    EXPECT_EQ(layout.originalOf("www/index.html"), "/srv/www/index.html");
}

TEST(BackupLayout, ItemsWhoseCopiesShareAPlaceAreFound)
{
    const BackupLayout apart("/backup", {"/a/Docs", "/b/Pictures", "/a/Docs"});
    EXPECT_EQ(apart.sharingWith("/a/Docs"), "");
    const BackupLayout sharing("/backup", {"/a/Docs", "/b/Docs"});
    EXPECT_EQ(sharing.sharingWith("/a/Docs"), "/b/Docs");
    // What goes straight into the destination can meet any other item's copies.
    const BackupLayout root("/backup", {"/", "/b/Docs"});
    EXPECT_EQ(root.sharingWith("/b/Docs"), "/");
}
