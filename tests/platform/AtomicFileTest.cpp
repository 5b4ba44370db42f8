// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/AtomicFile.h"

#include "support/FileContents.h"
#include "support/FileSizeLimit.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

namespace fs = std::filesystem;
using stowmere::testing::FileSizeLimit;
using stowmere::testing::readText;
using stowmere::testing::TempFolder;

namespace {

std::span<const std::byte> bytesOf(const std::string& text)
{
    return std::as_bytes(std::span(text.data(), text.size()));
}

class AtomicFileTest : public ::testing::Test {
protected:
    TempFolder m_folder{"atomic"};
};

} // namespace

TEST_F(AtomicFileTest, WritesNewFileAndReplacesOldOne)
{
    const fs::path target = m_folder.path() / "Category.cds";
    stowmere::writeFileAtomically(target.string(), bytesOf("first"));
    EXPECT_EQ(readText(target), "first");
    stowmere::writeFileAtomically(target.string(), bytesOf("second, longer"));
    EXPECT_EQ(readText(target), "second, longer");
    EXPECT_EQ(std::distance(fs::directory_iterator(m_folder.path()), fs::directory_iterator()), 1)
        << "no temporary file is left behind";
}

TEST_F(AtomicFileTest, FailedWriteKeepsOldFileAndNamesTarget)
{
    const fs::path target = m_folder.path() / "Path.cds";
    stowmere::writeFileAtomically(target.string(), bytesOf("old contents"));
    const std::string big(64 * 1024, 'x');
    try {
        FileSizeLimit limit(4096);
        stowmere::writeFileAtomically(target.string(), bytesOf(big));
        FAIL() << "a write past the file-size limit must fail";
    } catch (const std::system_error& error) {
        EXPECT_NE(std::string(error.what()).find(target.string()), std::string::npos) << error.what();
    }
    EXPECT_EQ(readText(target), "old contents");
    EXPECT_EQ(std::distance(fs::directory_iterator(m_folder.path()), fs::directory_iterator()), 1);
}

TEST_F(AtomicFileTest, MissingFolderFailsWithItsName)
{
    const fs::path target = m_folder.path() / "missing" / "Category.cds";
    EXPECT_THROW(stowmere::writeFileAtomically(target.string(), bytesOf("x")), std::system_error);
    EXPECT_FALSE(fs::exists(target));
}

TEST_F(AtomicFileTest, NewFileIsPrivateWhateverTheUmaskAndAReplacedOneKeepsItsMode)
{
    const mode_t oldMask = ::umask(022);
    const fs::path created = m_folder.path() / "Options.cds";
    stowmere::writeFileAtomically(created.string(), bytesOf("x"));
    const fs::path shared = m_folder.path() / "shared.INI";
    stowmere::writeFileAtomically(shared.string(), bytesOf("x"));
    fs::permissions(shared, fs::perms(0640));
    stowmere::writeFileAtomically(shared.string(), bytesOf("y"));
    ::umask(oldMask);

    EXPECT_EQ(fs::status(created).permissions(), fs::perms(0600));
    EXPECT_EQ(fs::status(shared).permissions(), fs::perms(0640)) << "the owner's choice stays";
}
