// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "support/TempFolder.h"

#include <cstddef>
#include <string>

namespace stowmere::testing {

/// A real file system mounted on a fresh folder for as long as the object lives, for tests
/// that need a file system's own limits: a small tmpfs that fills up, a FAT volume that
/// keeps two-second times and holds no links. The mount is detached when the object goes,
/// also when a test fails half-way, so nothing stays mounted; its FUSE server, if any, ends
/// with it. mounted() is false (and why() says why) where this process may not mount.
class TestMount {
public:
    enum class Kind {
        Tmpfs, ///< a tmpfs of the given size
        Fat    ///< a FAT volume of the given size in an image file, through FUSE (fusefat)
    };

    TestMount(Kind kind, std::size_t bytes);
    ~TestMount();
    TestMount(const TestMount&) = delete;
    TestMount& operator=(const TestMount&) = delete;

    bool mounted() const { return m_mounted; }
    const std::string& why() const { return m_why; }
    /// The mount point.
    std::string path() const { return (m_folder.path() / "mount").string(); }

private:
    void mountFat(std::size_t bytes);

    TempFolder m_folder{"mount"};
    bool m_mounted = false;
    std::string m_why;
};

} // namespace stowmere::testing
