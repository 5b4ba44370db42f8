// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/BackupEngine.h"
#include "backup/LocalDestination.h"
#include "backup/Manifest.h"
#include "backup/ManifestKeeper.h"
#include "backup/Verifier.h"
#include "platform/FileCopier.h"

#include "RecordingObserver.h"
#include "support/TestTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

using namespace stowmere::backup;
using stowmere::testing::RecordingObserver;
using stowmere::testing::TestTree;

namespace {

/// Keeps every problem told.
class Problems : public VerifyObserver {
public:
    void problem(const VerifyProblem& problem) override { told.push_back(problem); }
    std::vector<VerifyProblem> told;
};

std::string wholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeWhole(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

/// Changes one byte of a file in place and puts its time back: what rot looks like.
void flipByte(const std::string& path, std::size_t at)
{
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    std::string bytes = wholeFile(path);
    bytes.at(at) = static_cast<char>(bytes[at] ^ 0x20);
    writeWhole(path, bytes);
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

class Verification : public ::testing::Test {
protected:
    void SetUp() override
    {
        tree.file("src/docs/a.txt", "alpha");
        tree.file("src/docs/b.txt", "bravo bravo");
        tree.file("src/docs/deep/c.txt", std::string(300000, 'c'));
        tree.file("src/docs/a.txt.old", "old alpha");
        tree.file("src/note.txt", "a note");
        tree.folder("dest");
    }

    BackupResult backUp(bool incremental = false)
    {
        BackupSettings settings;
        settings.destination = tree.path("dest");
        settings.incremental = incremental;
        RecordingObserver observer({true, true});
        std::atomic<bool> cancel{false};
        return BackupEngine(settings, observer, cancel).runBackup(items());
    }

    std::vector<std::string> items() const { return {tree.path("src/docs"), tree.path("src/note.txt")}; }

    VerifyResult verify(bool againstSource = false)
    {
        VerifySettings settings;
        settings.destination = tree.path("dest");
        settings.items = items();
        settings.againstSource = againstSource;
        std::atomic<bool> cancel{false};
        problems.told.clear();
        return stowmere::backup::verify(settings, problems, cancel);
    }

    /// A backup whose copies are all recorded.
    void recordedBackup()
    {
        backUp();
        ASSERT_EQ(verify().outcome(), VerifyResult::Outcome::AllMatch);
    }

    std::vector<std::string> found(VerifyFinding finding) const
    {
        std::vector<std::string> paths;
        for (const VerifyProblem& problem : problems.told)
            if (problem.finding == finding)
                paths.push_back(problem.path);
        return paths;
    }

    TestTree tree;
    Problems problems;
};

TEST_F(Verification, ARunRecordsEveryCopyItMakes)
{
    const BackupResult result = backUp();
    EXPECT_EQ(result.filesCopied, 5u);
    const VerifyResult verified = verify();
    EXPECT_EQ(verified.outcome(), VerifyResult::Outcome::AllMatch);
    EXPECT_EQ(verified.counts.matched, 5u);
    EXPECT_TRUE(problems.told.empty());
}

TEST_F(Verification, ARunStoppedMidWayKeepsWhatItRecorded)
{
    BackupSettings settings;
    settings.destination = tree.path("dest");
    settings.parallelCopy = false;
    RecordingObserver observer({true, true});
    std::atomic<bool> cancel{false};
    observer.onFileCopied = [&cancel](std::uint64_t count) {
        if (count == 2)
            cancel = true;
    };
    const BackupResult stopped = BackupEngine(settings, observer, cancel).runBackup(items());
    ASSERT_TRUE(stopped.cancelled);
    const VerifyResult result = verify();
    EXPECT_EQ(result.outcome(), VerifyResult::Outcome::AllMatch);
    EXPECT_EQ(result.counts.matched, stopped.filesCopied);
    EXPECT_EQ(result.counts.unrecorded, 0u);
}

TEST_F(Verification, TheNextRunCopiesAgainWhatWasFoundDamagedOrMissingAndSaysSo)
{
    for (const bool incremental : {true, false}) {
        SCOPED_TRACE(incremental ? "incremental" : "full");
        backUp();
        flipByte(tree.path("dest/docs/deep/c.txt"), 7);
        std::filesystem::remove(tree.path("dest/docs/b.txt"));
        ASSERT_EQ(verify().counts.faults(), 2u);

        BackupSettings settings;
        settings.destination = tree.path("dest");
        settings.incremental = incremental;
        RecordingObserver observer({true, true});
        std::atomic<bool> cancel{false};
        const BackupResult healed = BackupEngine(settings, observer, cancel).runBackup(items());
        EXPECT_EQ(healed.healed, 2u);
        if (incremental) {
            EXPECT_EQ(healed.filesCopied, 2u) << "only the damaged and the missing copy";
        }
        ASSERT_EQ(observer.information.size(), 1u);
        EXPECT_EQ(observer.information.front(),
                  "2 copies that verification had found damaged or missing were copied again.");
        EXPECT_EQ(tree.read("dest/docs/deep/c.txt"), tree.read("src/docs/deep/c.txt"));
        EXPECT_EQ(verify().outcome(), VerifyResult::Outcome::AllMatch);
        EXPECT_EQ(backUp(true).healed, 0u) << "healed once is enough";
    }
}

TEST_F(Verification, CopiesWithoutRecordsAreHashedListedAndRecordedForTheNextVerification)
{
    backUp();
    // A backup made before there was a manifest.
    std::filesystem::remove(tree.path("dest/.stowmere-manifest"));
    std::filesystem::remove(tree.path("dest/.stowmere-manifest.journal"));
    const VerifyResult first = verify();
    EXPECT_EQ(first.outcome(), VerifyResult::Outcome::NothingChecked);
    EXPECT_EQ(first.counts.unrecorded, 5u);
    EXPECT_EQ(found(VerifyFinding::Unrecorded).front(), tree.path("dest/docs/a.txt"));

    const VerifyResult second = verify();
    EXPECT_EQ(second.outcome(), VerifyResult::Outcome::AllMatch);
    EXPECT_EQ(second.counts.matched, 5u);
    EXPECT_EQ(second.counts.bytesRead, 5u + 11 + 300000 + 9 + 6);
    EXPECT_TRUE(problems.told.empty());
}

TEST_F(Verification, ARunHashesAndRecordsOnceTheUpToDateCopiesTheManifestLacks)
{
    tree.file("src/docs/shared.txt", "one file, two names");
    ASSERT_EQ(::link(tree.path("src/docs/shared.txt").c_str(), tree.path("src/docs/shared2.txt").c_str()), 0);
    backUp();
    // A backup made before there was a manifest, and one file changed since.
    std::filesystem::remove(tree.path("dest/.stowmere-manifest"));
    std::filesystem::remove(tree.path("dest/.stowmere-manifest.journal"));
    tree.file("src/docs/b.txt", "bravo, longer now");

    BackupSettings settings;
    settings.destination = tree.path("dest");
    settings.incremental = true;
    RecordingObserver observer({true, true});
    std::atomic<bool> cancel{false};
    const BackupResult result = BackupEngine(settings, observer, cancel).runBackup(items());
    EXPECT_EQ(result.filesCopied, 1u);
    EXPECT_EQ(
        result.notes,
        std::vector<std::string>{
            "6 copies found up to date had no record in the manifest: they are hashed and recorded now."});
    EXPECT_TRUE(observer.information.empty()) << "housekeeping, kept in the history only";

    const VerifyResult verified = verify();
    EXPECT_EQ(verified.outcome(), VerifyResult::Outcome::AllMatch);
    EXPECT_EQ(verified.counts.matched, 7u);
    EXPECT_EQ(verified.counts.unrecorded, 0u);

    RecordingObserver again({true, true});
    EXPECT_TRUE(BackupEngine(settings, again, cancel).runBackup(items()).notes.empty())
        << "recorded once is enough";
}

TEST_F(Verification, ACopyFoundDamagedIsNeverRecordedAsSoundForBeingUpToDate)
{
    recordedBackup();
    flipByte(tree.path("dest/docs/a.txt"), 1);
    ASSERT_EQ(verify().counts.damaged, 1u);
    std::error_code error;
    auto destination = LocalDestination::open(tree.path("dest"), error);
    ASSERT_TRUE(destination) << error.message();
    // Unrecorded: a.txt.old, whose record goes through the journal as removed.
    {
        auto journal = ManifestJournal::open(*destination, error);
        ASSERT_TRUE(journal) << error.message();
        ManifestRecord removed;
        removed.path = "docs/a.txt.old";
        removed.mark = ManifestMark::Removed;
        ASSERT_FALSE(journal->add(removed));
    }
    ManifestKeeper keeper(*destination);
    EXPECT_TRUE(keeper.isMarked("docs/a.txt"));
    for (const char* path : {"docs/a.txt.old", "docs/a.txt", "note.txt", "docs/a.txt.old"})
        keeper.noteUpToDate(path);
    EXPECT_EQ(keeper.recordUpToDate(), 1u);
    EXPECT_TRUE(keeper.notes().empty());

    const VerifyResult result = verify();
    EXPECT_EQ(result.counts.damaged, 1u);
    EXPECT_EQ(result.counts.unrecorded, 0u);
    EXPECT_EQ(result.counts.matched, 4u);
}

TEST_F(Verification, TellsRotMissingCopiesHandMadeChangesAndStrangers)
{
    recordedBackup();
    flipByte(tree.path("dest/docs/deep/c.txt"), 123456);
    std::filesystem::remove(tree.path("dest/docs/b.txt"));
    tree.file("dest/note.txt", "replaced by hand");
    // Same size, another time: changed outside, not damaged.
    tree.file("dest/docs/a.txt.old", "old ALPHA", 1000000000);
    tree.file("dest/docs/stranger.txt", "put here by hand");

    const VerifyResult result = verify();
    EXPECT_EQ(result.outcome(), VerifyResult::Outcome::Faults);
    EXPECT_EQ(found(VerifyFinding::Damaged), std::vector<std::string>{tree.path("dest/docs/deep/c.txt")});
    EXPECT_EQ(found(VerifyFinding::Missing), std::vector<std::string>{tree.path("dest/docs/b.txt")});
    EXPECT_EQ(found(VerifyFinding::ChangedOutside),
              (std::vector<std::string>{tree.path("dest/docs/a.txt.old"), tree.path("dest/note.txt")}));
    EXPECT_EQ(found(VerifyFinding::Unrecorded),
              std::vector<std::string>{tree.path("dest/docs/stranger.txt")});
    EXPECT_EQ(result.counts.matched, 1u);
    EXPECT_EQ(result.counts.faults(), 4u);

    // Found again next time: marking them for the next run does not make them good.
    const std::uint64_t journalSize =
        std::filesystem::file_size(tree.path("dest/.stowmere-manifest.journal"));
    const VerifyResult again = verify();
    EXPECT_EQ(again.counts.damaged, 1u);
    EXPECT_EQ(again.counts.missing, 1u);
    EXPECT_EQ(again.counts.unrecorded, 0u);
    EXPECT_EQ(std::filesystem::file_size(tree.path("dest/.stowmere-manifest.journal")), journalSize);
}

TEST_F(Verification, CopiesWrongFromTheStartDifferFromTheirSource)
{
    recordedBackup();
    // The source changed in place with its size and time kept: the copy never had this.
    flipByte(tree.path("src/docs/a.txt"), 0);
    // A source changed the usual way is not compared: the next backup copies it.
    tree.file("src/note.txt", "a newer note");

    EXPECT_EQ(verify().outcome(), VerifyResult::Outcome::AllMatch);
    const VerifyResult result = verify(true);
    EXPECT_EQ(result.outcome(), VerifyResult::Outcome::Faults);
    EXPECT_EQ(found(VerifyFinding::DiffersFromSource),
              std::vector<std::string>{tree.path("dest/docs/a.txt")});
    EXPECT_EQ(result.counts.comparedWithSource, 4u);
}

TEST_F(Verification, AnotherSetsCopiesAndTheDestinationsOwnFilesAreNotLookedAt)
{
    recordedBackup();
    tree.file("dest/other-set/x.txt", "not ours");
    tree.file("dest/.stowmere-versions/20260101T000000Z/docs/a.txt", "kept");
    const VerifyResult result = verify();
    EXPECT_EQ(result.outcome(), VerifyResult::Outcome::AllMatch);
    EXPECT_TRUE(problems.told.empty());
}

TEST_F(Verification, AnItemCopiedStraightIntoTheDestinationCoversAllOfIt)
{
    tree.file("flat/one.txt", "one");
    tree.file("flat/sub/two.txt", "two");
    VerifySettings settings;
    settings.destination = tree.path("dest");
    settings.items = {tree.path("flat") + "/"};
    BackupSettings backup;
    backup.destination = settings.destination;
    RecordingObserver observer({true});
    std::atomic<bool> cancel{false};
    BackupEngine(backup, observer, cancel).runBackup(settings.items);
    stowmere::backup::verify(settings, problems, cancel);
    std::filesystem::remove(tree.path("dest/sub/two.txt"));
    problems.told.clear();
    const VerifyResult result = stowmere::backup::verify(settings, problems, cancel);
    EXPECT_EQ(result.counts.matched, 1u);
    EXPECT_EQ(found(VerifyFinding::Missing), std::vector<std::string>{tree.path("dest/sub/two.txt")});
    EXPECT_TRUE(found(VerifyFinding::Unrecorded).empty()) << "the manifest is no copy";
}

TEST_F(Verification, ABusyOrMissingDestinationIsUnreadable)
{
    recordedBackup();
    std::error_code error;
    auto other = LocalDestination::open(tree.path("dest"), error);
    ASSERT_EQ(other->takeRunLock("backup", error), RunLockResult::Taken);
    VerifyResult busy = verify();
    EXPECT_EQ(busy.outcome(), VerifyResult::Outcome::Unreadable);
    EXPECT_EQ(busy.destinationError, "Another backup into " + tree.path("dest") + " is running.");
    other->releaseRunLock();

    std::filesystem::rename(tree.path("dest"), tree.path("unplugged"));
    EXPECT_EQ(verify().outcome(), VerifyResult::Outcome::Unreadable);
}

TEST_F(Verification, ACancelStopsBetweenReads)
{
    recordedBackup();
    VerifySettings settings;
    settings.destination = tree.path("dest");
    settings.items = items();
    std::atomic<bool> cancel{false};
    class Canceller : public VerifyObserver {
    public:
        explicit Canceller(std::atomic<bool>& cancel) : m_cancel(cancel) {}
        void progress(std::uint64_t bytes, const std::string&) override
        {
            if (bytes > 0)
                m_cancel = true;
        }

    private:
        std::atomic<bool>& m_cancel;
    } canceller(cancel);
    const VerifyResult result = stowmere::backup::verify(settings, canceller, cancel);
    EXPECT_TRUE(result.cancelled);
    EXPECT_LT(result.counts.matched, 5u);
    EXPECT_EQ(result.counts.missing, 0u) << "what was not reached is not missing";
}

// The manifest file itself.

TEST(ManifestLines, RoundTripAnyPathAndRefuseDamagedLines)
{
    ManifestRecord record;
    record.path = "odd names/with\nnewline and \\ backslash/\xC3\xA9t\xC3\xA9 \x01.txt";
    record.hash = *ContentHash::fromHex("00112233445566778899aabbccddeeff");
    record.size = 1234567890123;
    record.modified = {1796756441, 999999999};
    record.mark = ManifestMark::Damaged;
    const std::string line = encodeManifestLine(record);
    ASSERT_EQ(std::count(line.begin(), line.end(), '\n'), 1);
    std::string reason;
    const auto back = decodeManifestLine(std::string_view(line).substr(0, line.size() - 1), reason);
    ASSERT_TRUE(back) << reason;
    EXPECT_EQ(back->path, record.path);
    EXPECT_EQ(back->hash, record.hash);
    EXPECT_EQ(back->size, record.size);
    EXPECT_EQ(back->modified.tv_nsec, record.modified.tv_nsec);
    EXPECT_EQ(back->mark, ManifestMark::Damaged);

    const auto lineFor = [](const std::string& path) {
        ManifestRecord outside;
        outside.path = path;
        const std::string text = encodeManifestLine(outside);
        return text.substr(0, text.size() - 1);
    };
    std::string flipped = line.substr(0, line.size() - 1);
    flipped[30] ^= 1;
    for (const std::string& bad : {flipped, std::string("garbage"), std::string(), lineFor("../escape"),
                                   lineFor("/absolute"), lineFor("a//b"), lineFor("a/./b")}) {
        EXPECT_FALSE(decodeManifestLine(bad, reason)) << bad;
        EXPECT_FALSE(reason.empty());
    }
}

TEST(ManifestLines, AFoldersTreeSortsRightAfterItsName)
{
    std::vector<std::string> paths{"a.txt", "a/z", "a", "a b", "a/b/c", "ab", "a/b.txt"};
    std::sort(paths.begin(), paths.end(), manifestPathLess);
    EXPECT_EQ(paths, (std::vector<std::string>{"a", "a/b/c", "a/b.txt", "a/z", "a b", "a.txt", "ab"}));
    EXPECT_TRUE(manifestPathWithin("a/b", "a"));
    EXPECT_FALSE(manifestPathWithin("ab", "a"));
    EXPECT_TRUE(manifestPathWithin("ab", ""));
}

class DamagedManifest : public Verification, public ::testing::WithParamInterface<const char*> {};

TEST_P(DamagedManifest, IsToldWithItsPlaceAndTheRestIsStillChecked)
{
    recordedBackup();
    std::vector<ManifestDamage> damage;
    std::error_code error;
    auto destination = LocalDestination::open(tree.path("dest"), error);
    ASSERT_TRUE(compactManifest(*destination, damage, error)) << error.message();
    const std::string manifest = tree.path("dest/.stowmere-manifest");
    std::string bytes = wholeFile(manifest);
    ASSERT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 7) << bytes;
    const std::size_t thirdLine = [&] {
        std::size_t at = 0;
        for (int i = 0; i < 2; ++i)
            at = bytes.find('\n', at) + 1;
        return at;
    }();
    const std::string kind = GetParam();
    std::uint64_t wantedLine = 0;
    if (kind == "cut inside a line") {
        bytes.resize(bytes.size() - 40);
        wantedLine = 6;
    } else if (kind == "cut after a line") {
        bytes.resize(bytes.rfind('\n', bytes.size() - 2) + 1);
    } else if (kind == "a flipped byte") {
        bytes[thirdLine + 20] ^= 0x01;
        wantedLine = 3;
    } else if (kind == "lines swapped") {
        const std::size_t fourth = bytes.find('\n', thirdLine) + 1;
        const std::size_t fifth = bytes.find('\n', fourth) + 1;
        bytes = bytes.substr(0, thirdLine) + bytes.substr(fourth, fifth - fourth) +
                bytes.substr(thirdLine, fourth - thirdLine) + bytes.substr(fifth);
        wantedLine = 4;
    } else if (kind == "a newer format") {
        bytes.replace(0, bytes.find('\n'), "stowmere-manifest 9");
        wantedLine = 1;
    } else if (kind == "binary noise") {
        bytes = std::string("\x00\xff\x10garbage\n\n\xfe", 13);
        wantedLine = 1;
    }
    writeWhole(manifest, bytes);

    const VerifyResult result = verify();
    EXPECT_EQ(result.outcome(), VerifyResult::Outcome::Faults);
    ASSERT_FALSE(result.manifestDamage.empty());
    EXPECT_EQ(result.manifestDamage.front().file, manifest);
    if (wantedLine > 0) {
        EXPECT_EQ(result.manifestDamage.front().line, wantedLine) << result.manifestDamage.front().text();
    }
    // Every copy was still read: each is either matched or without a record now.
    EXPECT_EQ(result.counts.matched + result.counts.unrecorded, 5u);
    if (kind != "a newer format" && kind != "binary noise") {
        EXPECT_GE(result.counts.matched, 3u);
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, DamagedManifest,
                         ::testing::Values("cut inside a line", "cut after a line", "a flipped byte",
                                           "lines swapped", "a newer format", "binary noise"),
                         [](const auto& info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), ' ', '_');
                             return name;
                         });

TEST(ManifestJournal, AKilledWritersTornLineIsDroppedAndTheNextLineStartsAfresh)
{
    TestTree tree;
    tree.file("dest/a.txt", "a");
    tree.file("dest/b.txt", "b");
    std::error_code error;
    auto destination = LocalDestination::open(tree.path("dest"), error);
    {
        auto journal = ManifestJournal::open(*destination, error);
        ASSERT_TRUE(journal) << error.message();
        ASSERT_FALSE(journal->recordCopy(destination->root(), "a.txt"));
    }
    const std::string journalPath = tree.path("dest/.stowmere-manifest.journal");
    const std::string whole = wholeFile(journalPath);
    // A second line cut off by a kill.
    std::ofstream(journalPath, std::ios::app | std::ios::binary) << whole.substr(whole.find('\n') + 1, 30);
    {
        auto journal = ManifestJournal::open(*destination, error);
        ASSERT_TRUE(journal);
        ASSERT_FALSE(journal->recordCopy(destination->root(), "b.txt"));
    }
    ManifestReader reader(*destination);
    std::vector<std::string> paths;
    for (const ManifestRecord* record = reader.next(); record != nullptr; record = reader.next())
        paths.push_back(record->path);
    EXPECT_EQ(paths, (std::vector<std::string>{"a.txt", "b.txt"}));
    ASSERT_EQ(reader.damage().size(), 1u) << "the torn line, now inside the journal";
    EXPECT_EQ(reader.damage().front().line, 3u);
}

TEST(ManifestJournal, LaterLinesWinAndAJournalLongerThanOneSortRunMergesInOrder)
{
    TestTree tree;
    tree.folder("dest");
    std::error_code error;
    auto destination = LocalDestination::open(tree.path("dest"), error);
    const std::size_t count = ManifestReader::kSortRun * 2 + 10;
    const auto pathOf = [](std::size_t i) {
        return "f/" + std::to_string(i % 1000) + "/" + std::to_string(i);
    };
    {
        auto journal = ManifestJournal::open(*destination, error);
        ASSERT_TRUE(journal);
        for (std::size_t i = count; i-- > 0;) {
            ManifestRecord record;
            record.path = pathOf(i);
            record.size = 1;
            ASSERT_FALSE(journal->add(record));
        }
        // Later: a new size for some, the end of others.
        for (std::size_t i = 0; i < count; i += 7) {
            ManifestRecord record;
            record.path = pathOf(i);
            record.size = 2;
            record.mark = i % 2 == 0 ? ManifestMark::Recorded : ManifestMark::Removed;
            ASSERT_FALSE(journal->add(record));
        }
    }
    std::vector<ManifestDamage> damage;
    ASSERT_TRUE(compactManifest(*destination, damage, error)) << error.message();
    EXPECT_TRUE(damage.empty());
    EXPECT_FALSE(tree.exists("dest/.stowmere-manifest.journal"));
    ManifestReader reader(*destination);
    std::string last;
    std::size_t seen = 0;
    std::size_t resized = 0;
    for (const ManifestRecord* record = reader.next(); record != nullptr; record = reader.next()) {
        if (seen > 0) {
            ASSERT_TRUE(manifestPathLess(last, record->path)) << last << " then " << record->path;
        }
        last = record->path;
        ++seen;
        resized += record->size == 2 ? 1 : 0;
    }
    const std::size_t changed = (count + 6) / 7;
    EXPECT_EQ(seen, count - changed / 2);
    EXPECT_EQ(resized, changed - changed / 2);
    EXPECT_TRUE(reader.damage().empty());
}

} // namespace

TEST(ManifestHashes, AreWhatXxhsumPrintsForCopiesHashedAsTheyAreWrittenAndReadBack)
{
    // Sizes on both sides of the largest copy hashed as it is written.
    TestTree tree;
    tree.file("src/empty", "");
    tree.file("src/small", "three");
    tree.file("src/limit", std::string(stowmere::files::FileCopier::kDigestedInMemory, 'l'));
    tree.file("src/over", std::string(stowmere::files::FileCopier::kDigestedInMemory + 1, 'o'));
    // Many reads long, in pieces that differ, so that a piece hashed twice, out of order or
    // not at all changes the hash.
    std::string large((std::size_t{16} << 20) + 12345, '\0');
    for (std::size_t i = 0; i < large.size(); ++i)
        large[i] = static_cast<char>((i * 2654435761U) >> 13);
    tree.file("src/large", large);
    tree.folder("dest");
    BackupSettings settings;
    settings.destination = tree.path("dest");
    RecordingObserver observer({true});
    std::atomic<bool> cancel{false};
    ASSERT_FALSE(BackupEngine(settings, observer, cancel).runBackup({tree.path("src")}).copyFailed);

    std::error_code error;
    const auto destination = LocalDestination::open(tree.path("dest"), error);
    ASSERT_TRUE(destination) << error.message();
    ManifestReader reader(*destination);
    std::map<std::string, std::string> recorded;
    for (const ManifestRecord* record = reader.next(); record != nullptr; record = reader.next())
        recorded[record->path] = record->hash.hex();
    ASSERT_EQ(recorded.size(), 5u);
    for (const auto& [path, hash] : recorded) {
        const std::string output = tree.path("xxhsum.out");
        ASSERT_EQ(std::system(("xxhsum -H2 '" + tree.path("dest/" + path) + "' > '" + output + "'").c_str()),
                  0);
        EXPECT_EQ(wholeFile(output).substr(0, 32), hash) << path;
    }

    // A large file's reading stops when told, and says so.
    const int fd = ::open(tree.path("dest/src/large").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    std::uint64_t seen = 0;
    const FileHashResult stopped = hashFile(fd, [&seen](std::uint64_t done) {
        seen = done;
        return false;
    });
    ::close(fd);
    EXPECT_TRUE(stopped.cancelled);
    EXPECT_FALSE(stopped.error);
    EXPECT_EQ(stopped.bytes, seen);
    EXPECT_LT(stopped.bytes, large.size());
}

TEST(ManifestHashes, ASmallFileWithHolesKeepsThemAndIsRecordedAsItIs)
{
    TestTree tree;
    tree.folder("src");
    const std::string sparse = tree.path("src/sparse.img");
    {
        // 512 KiB of which only the last 4 KiB hold data.
        std::ofstream(sparse, std::ios::binary);
        ASSERT_EQ(::truncate(sparse.c_str(), 508 * 1024), 0);
        std::ofstream(sparse, std::ios::binary | std::ios::app) << std::string(4096, 'd');
    }
    struct stat source {};
    ASSERT_EQ(::stat(sparse.c_str(), &source), 0);
    if (source.st_blocks * 512 >= source.st_size)
        GTEST_SKIP() << "this file system keeps no holes";
    tree.folder("dest");
    BackupSettings settings;
    settings.destination = tree.path("dest");
    RecordingObserver observer({true});
    std::atomic<bool> cancel{false};
    ASSERT_FALSE(BackupEngine(settings, observer, cancel).runBackup({tree.path("src")}).copyFailed);

    struct stat copy {};
    ASSERT_EQ(::stat(tree.path("dest/src/sparse.img").c_str(), &copy), 0);
    EXPECT_EQ(copy.st_size, source.st_size);
    EXPECT_LT(copy.st_blocks * 512, copy.st_size) << "the holes were filled";
    VerifySettings check;
    check.destination = tree.path("dest");
    check.items = {tree.path("src")};
    Problems problems;
    EXPECT_EQ(stowmere::backup::verify(check, problems, cancel).outcome(), VerifyResult::Outcome::AllMatch);
}
