// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/AtomicFile.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string readAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::span<const std::byte> bytesOf(const std::string& text)
{
    return std::as_bytes(std::span(text.data(), text.size()));
}

class AtomicFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_folder = fs::temp_directory_path() / ("stowmere-atomic-" + std::to_string(getpid()));
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
    }
    void TearDown() override { fs::remove_all(m_folder); }
    fs::path m_folder;
};

// Lowers the file-size limit so writes past it fail with EFBIG: a disk that fills part-way,
// which also works for root.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int);
};

} // namespace

TEST_F(AtomicFileTest, WritesNewFileAndReplacesOldOne)
{
    const fs::path target = m_folder / "Category.cds";
    stowmere::writeFileAtomically(target.string(), bytesOf("first"));
    EXPECT_EQ(readAll(target), "first");
    stowmere::writeFileAtomically(target.string(), bytesOf("second, longer"));
    EXPECT_EQ(readAll(target), "second, longer");
    EXPECT_EQ(std::distance(fs::directory_iterator(m_folder), fs::directory_iterator()), 1)
        << "no temporary file is left behind";
}

TEST_F(AtomicFileTest, FailedWriteKeepsOldFileAndNamesTarget)
{
    const fs::path target = m_folder / "Path.cds";
    stowmere::writeFileAtomically(target.string(), bytesOf("old contents"));
    const std::string big(64 * 1024, 'x');
    try {
        FileSizeLimit limit(4096);
        stowmere::writeFileAtomically(target.string(), bytesOf(big));
        FAIL() << "a write past the file-size limit must fail";
    } catch (const std::system_error& error) {
        EXPECT_NE(std::string(error.what()).find(target.string()), std::string::npos) << error.what();
    }
    EXPECT_EQ(readAll(target), "old contents");
    EXPECT_EQ(std::distance(fs::directory_iterator(m_folder), fs::directory_iterator()), 1);
}

TEST_F(AtomicFileTest, MissingFolderFailsWithItsName)
{
    const fs::path target = m_folder / "missing" / "Category.cds";
    EXPECT_THROW(stowmere::writeFileAtomically(target.string(), bytesOf("x")), std::system_error);
    EXPECT_FALSE(fs::exists(target));
}
