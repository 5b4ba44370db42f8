// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Locations.h"

#include "support/FileContents.h"
#include "support/ScopedEnv.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

namespace fs = std::filesystem;
namespace locations = stowmere::locations;
using stowmere::testing::ScopedEnv;
using stowmere::testing::TempFolder;
using stowmere::testing::writeText;

TEST(Locations, DataFolderIsExecutableFolderWhenWritable)
{
    const TempFolder temp("exe");
    const fs::path& folder = temp.path();
    EXPECT_EQ(locations::dataFolderFor(folder.string()), folder.string());
}

TEST(Locations, DataFolderFallsBackToXdgDataHomeForReadOnlyFileSystem)
{
    // /proc/1 refuses writes even to root and holds no Category.cds.
    ScopedEnv data("XDG_DATA_HOME", "/var/tmp/xdg-data");
    EXPECT_EQ(locations::dataFolderFor("/proc/1"), "/var/tmp/xdg-data/stowmere");
    ScopedEnv relative("XDG_DATA_HOME", "relative/ignored");
    ScopedEnv home("HOME", "/home/someone");
    EXPECT_EQ(locations::dataFolderFor("/proc/1"), "/home/someone/.local/share/stowmere");
}

TEST(Locations, IniFileIsNamedAfterExecutableInConfigHome)
{
    ScopedEnv config("XDG_CONFIG_HOME", "/var/tmp/cfg/");
    EXPECT_EQ(locations::configFolder(), "/var/tmp/cfg");
    EXPECT_EQ(locations::iniFilePath(), "/var/tmp/cfg/platform_tests.INI");
    ScopedEnv unset("XDG_CONFIG_HOME", nullptr);
    ScopedEnv home("HOME", "/home/someone");
    EXPECT_EQ(locations::configFolder(), "/home/someone/.config");
}

TEST(Locations, StateFolderIsUnderXdgStateHome)
{
    ScopedEnv state("XDG_STATE_HOME", "/var/tmp/state/");
    EXPECT_EQ(locations::stateFolder(), "/var/tmp/state/stowmere");
    ScopedEnv relative("XDG_STATE_HOME", "relative/ignored");
    ScopedEnv home("HOME", "/home/someone");
    EXPECT_EQ(locations::stateFolder(), "/home/someone/.local/state/stowmere");
}

TEST(Locations, EnsureFolderCreatesParentsAndNamesFolderOnFailure)
{
    const TempFolder temp("ensure");
    const fs::path& folder = temp.path();
    locations::ensureFolder((folder / "a/b/c").string());
    EXPECT_TRUE(fs::is_directory(folder / "a/b/c"));
    writeText(folder / "file", "x");
    try {
        locations::ensureFolder((folder / "file/sub").string());
        FAIL() << "a folder below a regular file cannot be created";
    } catch (const std::system_error& error) {
        EXPECT_NE(std::string(error.what()).find((folder / "file/sub").string()), std::string::npos);
    }
}

TEST(Locations, EnsureFolderMakesEachMissingFolderPrivateAndLeavesExistingOnes)
{
    const TempFolder temp("ensure");
    const fs::path& folder = temp.path();
    fs::create_directory(folder / "shared");
    fs::permissions(folder / "shared", fs::perms(0755));
    const mode_t oldMask = ::umask(022);
    locations::ensureFolder((folder / "shared/.local/share/stowmere").string());
    ::umask(oldMask);
    EXPECT_EQ(fs::status(folder / "shared").permissions(), fs::perms(0755));
    EXPECT_EQ(fs::status(folder / "shared/.local").permissions(), fs::perms(0700));
    EXPECT_EQ(fs::status(folder / "shared/.local/share/stowmere").permissions(), fs::perms(0700));
}

TEST(Locations, InstalledProgramAlwaysUsesXdgDataFolder)
{
    const TempFolder temp("installed");
    const fs::path bin = temp.path() / "usr/bin";
    fs::create_directories(bin);
    ScopedEnv data("XDG_DATA_HOME", "/var/tmp/xdg-data");
    // Writable (the tests run as root) and even holding a table file: still not used.
    writeText(bin / "Category.cds", "x");
    EXPECT_EQ(locations::dataFolderFor(bin.string(), bin.string()), "/var/tmp/xdg-data/stowmere");
    EXPECT_EQ(locations::dataFolderFor(bin.string(), bin.string() + "/"), "/var/tmp/xdg-data/stowmere");
    // The configured prefix may run through a link; /proc/self/exe never does.
    fs::create_directory_symlink(temp.path() / "usr", temp.path() / "prefix");
    EXPECT_EQ(locations::dataFolderFor(bin.string(), (temp.path() / "prefix/bin").string()),
              "/var/tmp/xdg-data/stowmere");
    // Anywhere else, such as a build folder, the folder beside the executable stays.
    EXPECT_EQ(locations::dataFolderFor(bin.string(), (temp.path() / "usr/local/bin").string()), bin.string());
    EXPECT_EQ(locations::dataFolderFor(bin.string()), bin.string());
}

TEST(Locations, ConfiguredInstallFolderIsAbsolute)
{
    const std::string bin = locations::installedBinFolder();
    ASSERT_FALSE(bin.empty());
    EXPECT_EQ(bin.front(), '/');
    // A test executable never runs from the install folder, so it keeps the old rule.
    EXPECT_NE(locations::executableFolder(), bin);
}
