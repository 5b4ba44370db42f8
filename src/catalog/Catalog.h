// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalog/Entities.h"
#include "catalog/RunRequest.h"
#include "catalog/TablesLock.h"
#include "store/TableFiles.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace stowmere::store {
class Table;
}

namespace stowmere::catalog {

/// The backup sets and their paths in a data folder (Category.cds and Path.cds), with every
/// rule about them: what a readable pair of files is, how sets are numbered, what may be
/// added, changed and deleted, with the program's own messages, and how the files are
/// saved without losing another program's change. The window and the command line only
/// ask it and show its answers.
///
/// Sets are named by their number (Category_No), paths by theirs (Path_No). Not
/// thread-safe: one thread owns a catalog.
class Catalog {
public:
    /// How long a writer waits for another program that holds the tables' lock.
    static constexpr std::chrono::milliseconds kLockWait{10000};

    explicit Catalog(std::string dataFolder, std::chrono::milliseconds lockWait = kLockWait);
    ~Catalog();
    Catalog(const Catalog&) = delete;
    Catalog& operator=(const Catalog&) = delete;

    const std::string& dataFolder() const { return m_dataFolder; }
    const std::string& categoryFile() const { return m_categoryFile; }
    const std::string& pathFile() const { return m_pathFile; }
    const std::string& optionsFile() const { return m_optionsFile; }

    // --- Opening ----------------------------------------------------------------------------

    /// Reads both files; a missing file gives an empty table. A file that cannot be read or
    /// breaks a rule (columns and their types, numbers missing or shared, a zero byte in a
    /// path) leaves its table closed with a message in openErrors(), and the file is never
    /// written; the path file is not read when the set file failed. Path rows of a set that
    /// does not exist are reported in notices() and kept as they are.
    void open();
    /// open() for a read-modify-write (the command line): first takes the tables' lock,
    /// creating the data folder when needed, and holds it through save() until
    /// releaseLock() is called or the catalog goes. Throws TablesBusy after the wait, TableFileError when the
    /// lock file cannot be made.
    /// Options.cds is changed under the same lock: its rows only ever change with the
    /// sets they belong to.
    void openForChange();
    void releaseLock();
    bool holdsLock() const { return m_lock.has_value(); }

    /// One message per table file that could not be read, naming the file and the reason.
    const std::vector<std::string>& openErrors() const { return m_openErrors; }
    /// Reports about the files that were read, each to be shown once.
    const std::vector<std::string>& notices() const { return m_notices; }
    bool setsReadable() const;
    bool pathsReadable() const;
    /// Throws ChangesRefused, saying why, while a table file could not be read.
    void checkChangesAllowed() const;
    /// Whether Options.cds was read (a missing file reads as a table without rows). A
    /// damaged one is told once in notices(), never written, and every set has the
    /// defaults meanwhile; the sets and paths stay usable.
    bool optionsReadable() const;

    // --- Reading ----------------------------------------------------------------------------

    /// Every set, in the list's order (by description; equal descriptions in the order the
    /// sets were made).
    std::vector<BackupSet> sets() const;
    std::optional<BackupSet> findSet(std::int32_t number) const;
    /// The paths of a set, in the list's order (by path text).
    std::vector<PathEntry> paths(std::int32_t setNumber) const;
    /// The options of a set: its row of Options.cds, else the defaults.
    SetOptions options(std::int32_t setNumber) const;
    /// The number the next new set gets: above every set number that any table holds.
    std::int32_t nextSetNumber() const;
    /// A backup run of the set over its paths in list order. Throws RuleRefusal with "Could
    /// not find Backup in dataset" for a set that does not exist.
    RunRequest runRequest(std::int32_t setNumber, bool incremental, CheckedQuery isChecked) const;

    // --- Changing ---------------------------------------------------------------------------
    // Every change throws ChangesRefused while a table file could not be read, RuleRefusal
    // with the program's message when a rule refuses it, and store::StoreError naming the
    // column when a text does not fit it.

    /// Adds a set as the editor's Save does, with an identity of its own; returns its number.
    /// The description must be given, without control characters (a tab or line break would
    /// forge a set of its own in the tab-separated listings); the destination must be given,
    /// without a zero byte, and a server folder must be a valid sftp:// address.
    std::int32_t addSet(const std::string& description, const std::string& destination);
    /// Deletes a set that has no paths ("Delete file and folder list before deleting Backup."),
    /// and its options. Its daily schedule, if it has one for this data folder, goes once
    /// the deletion is saved.
    void deleteSet(std::int32_t number);
    /// Replaces the options of a set. Also ChangesRefused while Options.cds could not be
    /// read; RuleRefusal for a count below zero or a pattern that is empty or holds a line
    /// break or a zero byte.
    void setOptions(std::int32_t setNumber, const SetOptions& options);
    /// Records the drive a successful run found the set's destination on; nothing changes
    /// when it is the one recorded.
    void recordDriveIdentity(std::int32_t setNumber, const std::string& identity);
    /// Adds a path to a set; returns its number.
    std::int32_t addPath(std::int32_t setNumber, const std::string& item);
    /// Deletes one path; false when there is no such path.
    bool deletePath(std::int32_t pathNumber);
    /// Deletes every path of a set whose text is item; the number deleted.
    std::size_t removePaths(std::int32_t setNumber, const std::string& item);

    /// Changes a set's description and destination, with the checks of addSet (each
    /// refusal names the field it is about); RuleRefusal "Could not find Backup in dataset"
    /// when there is no such set. On any failure the set stays as it was.
    void updateSet(std::int32_t number, const std::string& description, const std::string& destination);
    /// The editor closed by its title bar after its description was typed into: the
    /// description is kept as typed, without the Save's checks, and a new set (number none)
    /// is made without a destination. Returns the set's number.
    std::int32_t keepTypedDescription(std::optional<std::int32_t> number, const std::string& description);

    // --- Saving -----------------------------------------------------------------------------

    enum class SaveStatus {
        Saved,  ///< every changed table is written (or there was nothing to write)
        Failed, ///< file could not be written (reason says why); the tables before it are written
    };
    struct SaveResult {
        SaveStatus status = SaveStatus::Saved;
        std::string file;
        std::string reason;
        /// What was done besides writing, a line each: the schedules of deleted sets
        /// removed, or why one could not be, and what became of changes another program
        /// made to the same sets.
        std::vector<std::string> notes;
        /// The tables were read again and now also hold another program's changes.
        bool merged = false;
        /// Sets that took another number in the merge: new sets numbered past the file's
        /// highest, and the copies a "keep both" made (old number to new).
        std::map<std::int32_t, std::int32_t> renumbered;
    };
    /// A question the save asks when this catalog and another program changed the same set.
    /// Yes (true) takes the answer that loses nothing, which is also the answer without a
    /// question.
    using Question = std::function<bool(const std::string& text)>;

    /// Whether a table has changes that save() would write.
    bool hasChanges() const;
    /// Writes every changed table, under the tables' lock (the one openForChange holds, or
    /// one taken for the save and let go before it returns). When a file no longer holds
    /// what was read (another program saved meanwhile), the three files are read again
    /// under the lock and this catalog's own changes (sets added, edited and deleted, paths
    /// added and deleted, options) are applied on top of what they hold, new sets numbered
    /// past the file's highest number: nothing either side did is lost. ask is asked only
    /// when the same set was changed on both sides; without it every such question takes
    /// its default. A table file that cannot be read is never written.
    SaveResult save(const Question& ask = {});
    /// The user gave up writing file: the table's changes are not written.
    void keepFileOnDisk(const std::string& file);

    /// The three files' images in the order sets, paths, options.
    using Images = std::array<store::TableFileImage, 3>;

private:
    struct TableState;

    void reset();
    /// The files' bytes as this catalog read or last wrote them.
    Images imagesRead() const;
    /// Reads the tables from images instead of the files when given.
    void readTables(const Images* images = nullptr);
    void readTable(TableState& table, std::string_view order, const store::TableFileImage* image);
    void checkSets();
    void checkPaths();
    void readOptions(const store::TableFileImage* image);
    /// Rebuilds an Options.cds read from before set identities or mirror with the columns
    /// added, keeping every row's values.
    void addMissingColumns();
    /// The identity of a set from its row of Options.cds; empty when it has none.
    std::string identityOf(std::int32_t setNumber) const;
    /// Stores a set's identity in its row of Options.cds, making the row when needed.
    void writeIdentity(std::int32_t setNumber, const std::string& identity);
    /// Writes options into the set's row of Options.cds, making it when needed.
    void writeOptionsRow(std::int32_t setNumber, const SetOptions& options);
    /// Checks and writes a set (number none: a new one); returns its number. The merge
    /// writes through it too, so a description another program stored is taken as it is.
    std::int32_t storeSet(std::optional<std::int32_t> number, const std::string& description,
                          const std::string& destination);
    /// Writes a set's row (destination none: left as it is); returns the set's number.
    std::int32_t writeSetRow(std::optional<std::int32_t> number, const std::string& description,
                             const std::optional<std::string>& destination);
    /// A set just written: a new one gets its identity.
    void setPosted(std::int32_t number, bool isNew);
    /// Applies this catalog's changes since images were read on top of the files as they
    /// are now (read under the lock); on failure the catalog is as before and the result
    /// says why.
    std::optional<SaveResult> mergeWithFiles(const Question& ask, SaveResult& result);
    void checkOptions();
    void dropOptions();
    void reportOrphanPaths();
    void raiseNumbering();
    std::int64_t highestNumber(const store::Table& table, std::string_view column) const;
    std::int64_t highestSetNumber() const;
    TableState* tableOfFile(const std::string& file);
    std::vector<TableState*> allTables() const;
    std::vector<TableState*> tablesToWrite();

    std::string m_dataFolder;
    std::string m_categoryFile;
    std::string m_pathFile;
    std::string m_optionsFile;
    std::chrono::milliseconds m_lockWait;
    std::unique_ptr<store::Table> m_category;
    std::unique_ptr<store::Table> m_paths;
    std::unique_ptr<store::Table> m_options;
    std::unique_ptr<TableState> m_categoryState;
    std::unique_ptr<TableState> m_pathState;
    std::unique_ptr<TableState> m_optionsState;
    std::optional<TablesLock> m_lock;
    std::vector<std::string> m_openErrors;
    std::vector<std::string> m_notices;
    std::int64_t m_highestPathNumber = 0;
    /// Sets deleted since the set file was last written, whose schedules go when it is.
    std::vector<std::int32_t> m_deletedSets;
};

} // namespace stowmere::catalog
