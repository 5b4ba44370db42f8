// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/TemporaryFile.h"
#include "platform/FileCopier.h"

#include "support/FileContents.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using stowmere::files::CopyOutcome;
using stowmere::files::FileCopier;
using stowmere::files::TemporaryFile;
using stowmere::testing::readText;
using stowmere::testing::TempFolder;
using stowmere::testing::writeText;

namespace {

std::vector<std::string> namesIn(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void writeAll(const TemporaryFile& file, const std::string& text)
{
    ASSERT_EQ(::write(file.fd(), text.data(), text.size()), static_cast<ssize_t>(text.size()));
}

} // namespace

TEST(TemporaryFileTest, OnlyThePrefixWithEightLettersOrDigitsIsATemporaryName)
{
    EXPECT_FALSE(TemporaryFile::isTemporaryName(".stowmere-tmp-Ab3dE6g"));
    EXPECT_TRUE(TemporaryFile::isTemporaryName(".stowmere-tmp-Ab3dE6g8"));
    EXPECT_FALSE(TemporaryFile::isTemporaryName(".stowmere-tmp-Ab3dE6g89"));
    EXPECT_FALSE(TemporaryFile::isTemporaryName(".stowmere-tmp-Ab3dE6g."));
    EXPECT_FALSE(TemporaryFile::isTemporaryName(".stowmere-run.lock"));
    EXPECT_FALSE(TemporaryFile::isTemporaryName("stowmere-tmp-Ab3dE6g8x"));
    EXPECT_TRUE(TemporaryFile::isTemporaryName(fs::path(TemporaryFile::freshName("/x")).filename().string()));
}

TEST(TemporaryFileTest, CommitNamesANewFileAndReplacesAnOldOneLeavingNothingElse)
{
    const TempFolder folder("temporary");
    const std::string target = (folder.path() / "file.txt").string();
    for (const std::string text : {"first", "second, longer"}) {
        std::error_code error;
        TemporaryFile file = TemporaryFile::create(folder.str(), 0644, error);
        ASSERT_FALSE(error) << error.message();
        writeAll(file, text);
        ASSERT_FALSE(file.commit(target));
        EXPECT_EQ(readText(target), text);
        EXPECT_EQ(namesIn(folder.path()), std::vector<std::string>{"file.txt"});
    }
}

TEST(TemporaryFileTest, FailedCommitAndAbandonedFilesLeaveNothingBehind)
{
    const TempFolder folder("temporary");
    fs::create_directories(folder.path() / "busy" / "inside");
    {
        std::error_code error;
        TemporaryFile file = TemporaryFile::create(folder.str(), 0644, error);
        writeAll(file, "data");
        EXPECT_TRUE(file.commit((folder.path() / "busy").string()))
            << "a folder cannot be replaced by a file";
    }
    {
        std::error_code error;
        TemporaryFile file = TemporaryFile::create(folder.str(), 0644, error);
        writeAll(file, "abandoned");
    }
    EXPECT_EQ(namesIn(folder.path()), std::vector<std::string>{"busy"});
    std::error_code error;
    TemporaryFile::create((folder.path() / "missing").string(), 0644, error);
    EXPECT_EQ(error, std::errc::no_such_file_or_directory);
}

TEST(TemporaryFileTest, LeftoversOfAKilledWriterAreRemovedAndNothingElse)
{
    const TempFolder folder("temporary");
    for (const std::string name : {".stowmere-tmp-Ab3dE6g8", ".stowmere-tmp-00000000", ".stowmere-tmp-short",
                                   ".stowmere-run.lock", "data.txt"})
        writeText(folder.path() / name, "x");
    fs::create_symlink("nowhere", folder.path() / ".stowmere-tmp-LinkLink");
    EXPECT_EQ(TemporaryFile::removeLeftovers(folder.str()), 3u);
    EXPECT_EQ(namesIn(folder.path()),
              (std::vector<std::string>{".stowmere-run.lock", ".stowmere-tmp-short", "data.txt"}));
    EXPECT_EQ(TemporaryFile::removeLeftovers((folder.path() / "missing").string()), 0u);
}

TEST(FileCopierSidesTest, FailuresAreTiedToTheSourceOrTheDestination)
{
    const TempFolder folder("sides");
    const std::string source = (folder.path() / "a.txt").string();
    writeText(source, "a");
    fs::create_directory(folder.path() / "folder");
    FileCopier copier;

    CopyOutcome outcome =
        copier.copyFile((folder.path() / "gone.txt").string(), (folder.path() / "g").string());
    EXPECT_EQ(outcome.status, CopyOutcome::Status::SourceFailed);
    EXPECT_EQ(outcome.error, std::errc::no_such_file_or_directory);

    outcome = copier.copyFile((folder.path() / "folder").string(), (folder.path() / "f").string());
    EXPECT_EQ(outcome.status, CopyOutcome::Status::SourceFailed);
    EXPECT_TRUE(outcome.changedKind);

    outcome = copier.copyFile(source, (folder.path() / "no" / "a.txt").string());
    EXPECT_EQ(outcome.status, CopyOutcome::Status::DestinationFailed);
    outcome = copier.copyFile(source, (folder.path() / "folder").string());
    EXPECT_EQ(outcome.status, CopyOutcome::Status::DestinationFailed);
    EXPECT_EQ(outcome.error, std::errc::is_a_directory);

    // A hard link of the source is the source: it is not copied onto itself.
    fs::create_hard_link(source, folder.path() / "twin.txt");
    outcome = copier.copyFile(source, (folder.path() / "twin.txt").string());
    EXPECT_EQ(outcome.status, CopyOutcome::Status::SameFile);
    EXPECT_EQ(fs::hard_link_count(source), 2u) << "the twin was left as it was";
}

TEST(FileCopierSidesTest, LinksAreRecreatedWithTheirTextAndReplacedOnlyWhenItChanged)
{
    const TempFolder folder("links");
    const std::string link = (folder.path() / "link").string();
    const std::string copy = (folder.path() / "copy").string();
    fs::create_symlink("../somewhere/else", link);
    FileCopier copier;
    EXPECT_EQ(copier.copyLink(link, copy, true).status, CopyOutcome::Status::Copied);
    EXPECT_EQ(fs::read_symlink(copy), "../somewhere/else");
    EXPECT_EQ(copier.copyLink(link, copy, true).status, CopyOutcome::Status::Unchanged);
    EXPECT_EQ(copier.copyLink(link, copy, false).status, CopyOutcome::Status::Copied);

    // A file where the link goes is replaced in one step.
    writeText(folder.path() / "was-a-file", "old");
    EXPECT_EQ(copier.copyLink(link, (folder.path() / "was-a-file").string(), true).status,
              CopyOutcome::Status::Copied);
    EXPECT_TRUE(fs::is_symlink(folder.path() / "was-a-file"));

    writeText(folder.path() / "plain", "p");
    const CopyOutcome notALink = copier.copyLink((folder.path() / "plain").string(), copy, false);
    EXPECT_EQ(notALink.status, CopyOutcome::Status::SourceFailed);
    EXPECT_TRUE(notALink.changedKind);
    for (const auto& entry : fs::directory_iterator(folder.path()))
        EXPECT_FALSE(TemporaryFile::isTemporaryName(entry.path().filename().string()));
}
