// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/Destination.h"
#include "backup/Manifest.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace stowmere::backup {

/// What verification found wrong with one copy.
enum class VerifyFinding {
    Damaged,           ///< its content differs from the record while size and time match
    Missing,           ///< recorded, not there
    ChangedOutside,    ///< its size or time differ from the record (or it is no file now)
    Unrecorded,        ///< a copy without a record: hashed, and recorded from now on
    DiffersFromSource, ///< its source has its size and time, yet other content
    Unreadable,        ///< the copy (or its folder) cannot be read
};

/// The finding as a word for output: "damaged", "changed outside", ...
std::string_view findingWord(VerifyFinding finding);
/// Whether the finding is one the backup must be told about (all but Unrecorded).
bool isFault(VerifyFinding finding);

struct VerifyProblem {
    VerifyFinding finding = VerifyFinding::Damaged;
    std::string path;   ///< full path of the copy
    std::string detail; ///< what differs, or the system's reason
};

struct VerifyCounts {
    std::uint64_t matched = 0; ///< copies whose content matches the record
    std::uint64_t damaged = 0;
    std::uint64_t missing = 0;
    std::uint64_t changedOutside = 0;
    std::uint64_t unrecorded = 0;
    std::uint64_t differsFromSource = 0;
    std::uint64_t unreadable = 0;
    std::uint64_t comparedWithSource = 0; ///< copies whose source could be compared
    std::uint64_t bytesRead = 0;          ///< of the copies (and sources) read

    std::uint64_t faults() const
    {
        return damaged + missing + changedOutside + differsFromSource + unreadable;
    }
};

/// What a verification found, in the order met.
struct VerifyResult {
    VerifyCounts counts;
    /// The first kMaxProblems problems; counts has them all.
    std::vector<VerifyProblem> problems;
    static constexpr std::size_t kMaxProblems = 1000;
    std::vector<ManifestDamage> manifestDamage;
    /// Why the destination could not be read at all (or is busy); empty when it could.
    std::string destinationError;
    bool cancelled = false;

    enum class Outcome {
        AllMatch,      ///< every recorded copy is as recorded
        Faults,        ///< something is damaged, missing, changed, or the manifest is damaged
        Unreadable,    ///< the destination could not be read
        NothingChecked ///< no copy was there to compare with a record
    };
    Outcome outcome() const;
};

/// Hears a verification as it goes, from the thread it runs on.
class VerifyObserver {
public:
    virtual ~VerifyObserver() = default;
    /// With VerifySettings::countFirst: what the manifest records of the items.
    virtual void totals(std::uint64_t files, std::uint64_t bytes)
    {
        (void)files;
        (void)bytes;
    }
    /// Bytes read so far, and the copy being read.
    virtual void progress(std::uint64_t bytes, const std::string& path)
    {
        (void)bytes;
        (void)path;
    }
    virtual void problem(const VerifyProblem& problem) { (void)problem; }
};

struct VerifySettings {
    /// The backup set's "Backup To Folder".
    std::string destination;
    /// The set's items: each one's copy is verified, whatever it holds now.
    std::vector<std::string> items;
    /// Also compare each copy with its source where the source's size and time equal the
    /// copy's.
    bool againstSource = false;
    /// Read the manifest once first, so that the observer hears the totals.
    bool countFirst = false;
};

/// Holder word of the run lock while a verification runs.
inline constexpr const char* kVerifyHolder = "verify";

/// Reads every copy of the items in the destination and compares it with the manifest:
/// the destination alone is needed (a backup disk can be verified on another machine),
/// the sources only with againstSource. Holds the run lock when it can, so that no run
/// changes the copies meanwhile, and then records what it hashed and found in the
/// journal, so that copies without a record have one from now on and the next run copies
/// again those found damaged or missing. cancel stops it between reads.
VerifyResult verify(const VerifySettings& settings, VerifyObserver& observer,
                    const std::atomic<bool>& cancel);
VerifyResult verify(Destination& destination, const VerifySettings& settings, VerifyObserver& observer,
                    const std::atomic<bool>& cancel);

} // namespace stowmere::backup
