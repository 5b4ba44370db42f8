// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Locations.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <unistd.h>

namespace fs = std::filesystem;
namespace locations = stowmere::locations;

namespace {

class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (m_old)
            setenv(m_name, m_old->c_str(), 1);
        else
            unsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

fs::path freshFolder(const char* name)
{
    const fs::path folder = fs::temp_directory_path() / (std::string(name) + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

} // namespace

TEST(Locations, DataFolderIsExecutableFolderWhenWritable)
{
    const fs::path folder = freshFolder("stowmere-exe-");
    EXPECT_EQ(locations::dataFolderFor(folder.string()), folder.string());
    fs::remove_all(folder);
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

TEST(Locations, EnsureFolderCreatesParentsAndNamesFolderOnFailure)
{
    const fs::path folder = freshFolder("stowmere-ensure-");
    locations::ensureFolder((folder / "a/b/c").string());
    EXPECT_TRUE(fs::is_directory(folder / "a/b/c"));
    std::ofstream(folder / "file") << "x";
    try {
        locations::ensureFolder((folder / "file/sub").string());
        FAIL() << "a folder below a regular file cannot be created";
    } catch (const std::system_error& error) {
        EXPECT_NE(std::string(error.what()).find((folder / "file/sub").string()), std::string::npos);
    }
    fs::remove_all(folder);
}
