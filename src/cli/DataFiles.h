// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/SetResolver.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace stowmere::cli {

/// A data file could not be read or written, or was changed by another program meanwhile.
class DataFileError : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

/// A backup-set or path operation was refused by the window's rules; what() is the
/// window's own message.
class RuleRefusal : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

/// The two tables of a data folder, Category.cds and Path.cds, worked on with the same
/// operations as the main window. Both files are read once when the object is made; save()
/// writes only the tables that changed, each with an atomic replace, and refuses to
/// overwrite a file that another program changed since it was read.
class DataFiles {
public:
    /// Reads both files of folder; a missing file gives an empty table. Throws
    /// DataFileError naming the file when one cannot be read.
    explicit DataFiles(std::string folder);
    ~DataFiles();
    DataFiles(const DataFiles&) = delete;
    DataFiles& operator=(const DataFiles&) = delete;

    const std::string& folder() const { return m_folder; }

    /// Every backup set, in the window's list order.
    std::vector<BackupSetEntry> sets();
    /// The paths of the set at index (into sets()), in the window's list order.
    std::vector<std::string> paths(std::size_t setIndex);

    /// Adds a backup set as the editor's Save does; returns its number. Throws RuleRefusal
    /// for an empty description or folder, StoreError for text too long for its column.
    std::int32_t addSet(const std::string& description, const std::string& destination);
    /// Adds one path row to the set at index.
    void addPath(std::size_t setIndex, const std::string& path);
    /// Deletes every path row of the set at index whose text is path; the number deleted.
    std::size_t removePath(std::size_t setIndex, const std::string& path);
    /// Deletes the set at index. Throws RuleRefusal while the set still has paths.
    void deleteSet(std::size_t setIndex);

    /// Writes the changed tables. Throws DataFileError when a file was changed by another
    /// program since it was read (nothing is written then) or a write fails.
    void save();

private:
    struct Tables;

    std::string m_folder;
    std::unique_ptr<Tables> m_tables;
};

} // namespace stowmere::cli
