// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/Catalog.h"

#include "backup/SftpUrl.h"
#include "catalog/Errors.h"
#include "catalog/Messages.h"
#include "catalog/Schema.h"
#include "catalog/SetSchedules.h"
#include "platform/Locations.h"
#include "platform/Paths.h"
#include "store/StoreError.h"
#include "store/Table.h"

#include <algorithm>
#include <map>

namespace stowmere::catalog {
namespace {

using store::Table;

std::string text(std::string_view view)
{
    return std::string(view);
}

std::size_t fieldIndex(const Table& table, std::string_view column)
{
    // The columns were checked when the table was read, so a miss is a programming error.
    const auto index = table.findField(column);
    if (!index)
        throw store::StoreError(store::rc::Ok, "Field '" + text(column) + "' not found");
    return *index;
}

std::int32_t toNumber(std::optional<std::int64_t> value)
{
    return static_cast<std::int32_t>(value.value_or(0));
}

bool blank(std::string_view text)
{
    return text.find_first_not_of(" \t") == std::string_view::npos;
}

/// The description is listed one set a line, tab-separated; a line break or tab in it
/// would forge a set of its own in every such list.
void checkDescriptionText(const std::string& description)
{
    if (std::any_of(description.begin(), description.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }))
        throw RuleRefusal(_(messages::kDescriptionControl.data()));
}

/// A path or folder must be a name the file system can hold; a zero byte would end it early
/// and the engine would back up another file than the one listed.
void checkPathText(const std::string& path, std::string_view what)
{
    if (path.find('\0') != std::string::npos)
        throw RuleRefusal(messages::zeroByteInPath(what));
}

} // namespace

struct Catalog::TableState {
    Table* table = nullptr;
    std::string file;
    /// Read (or created empty) and checked; a table that is not is never written.
    bool readable = false;
    /// The file's bytes as read or last written; none when there was no file.
    store::TableFileImage image;
    /// The user chose to keep the file as it is on disk.
    bool keepOnDisk = false;
};

Catalog::Catalog(std::string dataFolder, std::chrono::milliseconds lockWait)
    : m_dataFolder(std::move(dataFolder)),
      m_categoryFile(paths::join(m_dataFolder, text(schema::kCategoryFileName))),
      m_pathFile(paths::join(m_dataFolder, text(schema::kPathFileName))),
      m_optionsFile(paths::join(m_dataFolder, text(schema::kOptionsFileName))), m_lockWait(lockWait),
      m_category(std::make_unique<Table>()), m_paths(std::make_unique<Table>()),
      m_options(std::make_unique<Table>()), m_categoryState(std::make_unique<TableState>()),
      m_pathState(std::make_unique<TableState>()), m_optionsState(std::make_unique<TableState>())
{
    m_categoryState->table = m_category.get();
    m_categoryState->file = m_categoryFile;
    m_pathState->table = m_paths.get();
    m_pathState->file = m_pathFile;
    m_optionsState->table = m_options.get();
    m_optionsState->file = m_optionsFile;
}

Catalog::~Catalog() = default;

// --- Opening ---------------------------------------------------------------------------------

void Catalog::reset()
{
    m_category->close();
    m_paths->close();
    m_options->close();
    for (TableState* state : allTables()) {
        state->readable = false;
        state->image.reset();
        state->keepOnDisk = false;
    }
    m_openErrors.clear();
    m_notices.clear();
    m_deletedSets.clear();
}

Catalog::Images Catalog::imagesRead() const
{
    return {m_categoryState->image, m_pathState->image, m_optionsState->image};
}

void Catalog::open()
{
    reset();
    readTables();
}

void Catalog::openForChange()
{
    reset();
    m_lock.reset();
    try {
        // The fallback folder under the user's data home is made only when first needed.
        locations::ensureFolder(m_dataFolder);
    } catch (const std::exception& error) {
        throw TableFileError(error.what());
    }
    m_lock = TablesLock::acquire({m_categoryFile, m_pathFile}, m_lockWait);
    readTables();
}

void Catalog::releaseLock()
{
    m_lock.reset();
}

void Catalog::readTables(const Images* images)
{
    const auto imageOf = [images](std::size_t index) { return images ? &(*images)[index] : nullptr; };
    // The orders are set once the columns are known to be there.
    m_category->setIndexFieldNames({});
    m_category->setFieldDefs(schema::categoryFieldDefs());
    m_paths->setIndexFieldNames({});
    m_paths->setFieldDefs(schema::pathFieldDefs());
    try {
        readTable(*m_categoryState, schema::kCategoryOrder, imageOf(0));
        checkSets();
    } catch (const std::exception& error) {
        // A damaged file stays on disk for the user to recover and is never written back;
        // paths without their sets could only be shown as belonging to none.
        m_category->close();
        m_categoryState->readable = false;
        m_openErrors.emplace_back(error.what());
        return;
    }
    try {
        readTable(*m_pathState, schema::kPathOrder, imageOf(1));
        checkPaths();
    } catch (const std::exception& error) {
        m_paths->close();
        m_pathState->readable = false;
        m_openErrors.emplace_back(error.what());
        return;
    }
    reportOrphanPaths();
    readOptions(imageOf(2));
    raiseNumbering();
}

void Catalog::readTable(TableState& state, std::string_view order, const store::TableFileImage* image)
{
    Table& table = *state.table;
    const std::vector<store::FieldDef> expected = table.fieldDefs();
    // The very bytes loaded are kept: a second read could already see another program's
    // change, which would then pass for this table's own.
    state.image = image ? *image : store::readTableFileImage(state.file);
    if (state.image)
        store::loadTableBytes(table, *state.image, state.file);
    else
        table.createDataSet();
    table.setFileName(state.file);
    // The file must hold the table this program expects; a file of another table would
    // otherwise open and fail later, at the first field asked for, or be rewritten with
    // columns the other front end refuses.
    for (const store::FieldDef& field : expected) {
        // Added after the first files were written; readOptions adds it.
        if (field.name == schema::kOptionsSetIdentity || field.name == schema::kOptionsMirror ||
            field.name == schema::kOptionsKeepDaily || field.name == schema::kOptionsKeepWeekly ||
            field.name == schema::kOptionsKeepMonthly)
            continue;
        const auto index = table.findField(field.name);
        const store::FieldDef* found = index ? &table.fieldDefs()[*index] : nullptr;
        if (!found || found->type != field.type || (field.isAutoIncrement() && !found->isAutoIncrement()))
            throw TableFileError("Cannot read " + state.file + ": it has no column '" + field.name +
                                 "' of the expected type");
    }
    table.setIndexFieldNames(order);
    state.readable = true;
}

void Catalog::checkSets()
{
    const Table& table = *m_category;
    const std::size_t numberField = fieldIndex(table, schema::kCategoryNo);
    const std::size_t destinationField = fieldIndex(table, schema::kCategoryBackupDirectory);
    std::vector<std::int64_t> numbers;
    numbers.reserve(table.recordCount());
    for (std::size_t record = 0; record < table.recordCount(); ++record) {
        const auto number = table.recordAsInteger(record, numberField);
        // Two sets with one number would share one path list, and removing the paths of
        // one would remove the other's.
        if (!number)
            throw TableFileError("Cannot read " + m_categoryFile + ": a backup set has no number");
        numbers.push_back(*number);
        try {
            checkPathText(table.recordAsString(record, destinationField),
                          "The Backup To Folder of backup set number " + std::to_string(*number));
        } catch (const RuleRefusal& refusal) {
            throw TableFileError("Cannot read " + m_categoryFile + ": " + refusal.what());
        }
    }
    std::sort(numbers.begin(), numbers.end());
    const auto shared = std::adjacent_find(numbers.begin(), numbers.end());
    if (shared != numbers.end())
        throw TableFileError("Cannot read " + m_categoryFile + ": more than one backup set has the number " +
                             std::to_string(*shared));
}

void Catalog::checkPaths()
{
    const Table& table = *m_paths;
    const std::size_t numberField = fieldIndex(table, schema::kPathNo);
    const std::size_t itemField = fieldIndex(table, schema::kPathItem);
    m_highestPathNumber = 0;
    for (std::size_t record = 0; record < table.recordCount(); ++record) {
        const std::int64_t number = table.recordAsInteger(record, numberField).value_or(0);
        m_highestPathNumber = std::max(m_highestPathNumber, number);
        const auto value = table.recordValue(record, itemField);
        if (value && value->find('\0') != std::string_view::npos)
            throw TableFileError("Cannot read " + m_pathFile + ": " +
                                 messages::zeroByteInPath("Path number " + std::to_string(number)));
    }
}

void Catalog::reportOrphanPaths()
{
    const Table& table = *m_paths;
    // Paths are in set order, so each set's paths are one run found by its key; only when
    // the runs do not add up to every path is there anything to look for.
    std::size_t owned = 0;
    std::vector<std::int32_t> numbers;
    for (const BackupSet& set : sets()) {
        const auto [first, last] = table.recordsWithKey({std::to_string(set.number)});
        owned += last - first;
        numbers.push_back(set.number);
    }
    if (owned == table.recordCount())
        return;
    std::sort(numbers.begin(), numbers.end());
    const std::size_t setField = fieldIndex(table, schema::kPathCategoryNo);
    std::map<std::int64_t, std::size_t> orphans;
    std::size_t withoutSet = 0;
    for (std::size_t record = 0; record < table.recordCount(); ++record) {
        const auto number = table.recordAsInteger(record, setField);
        if (!number)
            ++withoutSet;
        else if (!std::binary_search(numbers.begin(), numbers.end(), *number))
            ++orphans[*number];
    }
    for (const auto& [number, count] : orphans)
        m_notices.push_back(messages::orphanPaths(m_pathFile, count, number));
    if (withoutSet > 0)
        m_notices.push_back(m_pathFile + " holds " + std::to_string(withoutSet) +
                            (withoutSet == 1 ? " path" : " paths") +
                            " that belong to no backup set; they are kept as they are.");
}

std::int64_t Catalog::highestNumber(const Table& table, std::string_view column) const
{
    if (!table.isActive() || table.recordCount() == 0)
        return 0;
    const std::size_t field = fieldIndex(table, column);
    // A table browsed in the order of this column has its highest number last.
    const std::string& order = table.indexFieldNames();
    if (order.substr(0, order.find(';')) == column)
        return table.recordAsInteger(table.recordCount() - 1, field).value_or(0);
    std::int64_t highest = 0;
    for (std::size_t record = 0; record < table.recordCount(); ++record)
        highest = std::max(highest, table.recordAsInteger(record, field).value_or(0));
    return highest;
}

// Every table keyed by a set number counts: a number still used by rows of another table
// (paths left behind by damage, say) must never be given to a new set, or that set would
// inherit them.
std::int64_t Catalog::highestSetNumber() const
{
    const std::pair<const Table*, std::string_view> keyed[] = {
        {m_category.get(), schema::kCategoryNo},
        {m_paths.get(), schema::kPathCategoryNo},
        {m_options.get(), schema::kOptionsCategoryNo},
    };
    std::int64_t highest = 0;
    for (const auto& [table, column] : keyed)
        highest = std::max(highest, highestNumber(*table, column));
    return highest;
}

void Catalog::raiseNumbering()
{
    // A damaged or missing "AUTOINCVALUE" must not hand out a number already in use.
    m_category->raiseAutoIncValue(highestSetNumber() + 1);
    m_paths->raiseAutoIncValue(m_highestPathNumber + 1);
}

bool Catalog::setsReadable() const
{
    return m_categoryState->readable;
}

bool Catalog::pathsReadable() const
{
    return m_pathState->readable;
}

bool Catalog::optionsReadable() const
{
    return m_optionsState->readable;
}

void Catalog::dropOptions()
{
    m_options->close();
    m_optionsState->readable = false;
}

void Catalog::checkChangesAllowed() const
{
    if (!setsReadable() || !pathsReadable())
        throw ChangesRefused(messages::changesRefused(m_openErrors.empty()
                                                          ? std::string("The backup sets have not been read.")
                                                          : m_openErrors.front()));
}

// --- Reading ---------------------------------------------------------------------------------

std::vector<BackupSet> Catalog::sets() const
{
    std::vector<BackupSet> result;
    if (!setsReadable())
        return result;
    const Table& table = *m_category;
    const std::size_t number = fieldIndex(table, schema::kCategoryNo);
    const std::size_t description = fieldIndex(table, schema::kCategoryDescription);
    const std::size_t destination = fieldIndex(table, schema::kCategoryBackupDirectory);
    result.reserve(table.recordCount());
    for (std::size_t record = 0; record < table.recordCount(); ++record) {
        const std::int32_t setNumber = toNumber(table.recordAsInteger(record, number));
        result.push_back({setNumber, table.recordAsString(record, description),
                          table.recordAsString(record, destination), identityOf(setNumber)});
    }
    return result;
}

std::optional<BackupSet> Catalog::findSet(std::int32_t number) const
{
    if (!setsReadable())
        return std::nullopt;
    const Table& table = *m_category;
    const std::size_t numberField = fieldIndex(table, schema::kCategoryNo);
    for (std::size_t record = 0; record < table.recordCount(); ++record) {
        if (table.recordAsInteger(record, numberField) == number)
            return BackupSet{
                number, table.recordAsString(record, fieldIndex(table, schema::kCategoryDescription)),
                table.recordAsString(record, fieldIndex(table, schema::kCategoryBackupDirectory)),
                identityOf(number)};
    }
    return std::nullopt;
}

std::vector<PathEntry> Catalog::paths(std::int32_t setNumber) const
{
    std::vector<PathEntry> result;
    if (!pathsReadable())
        return result;
    const Table& table = *m_paths;
    const std::size_t number = fieldIndex(table, schema::kPathNo);
    const std::size_t item = fieldIndex(table, schema::kPathItem);
    const auto [first, last] = table.recordsWithKey({std::to_string(setNumber)});
    result.reserve(last - first);
    for (std::size_t record = first; record < last; ++record)
        result.push_back(
            {toNumber(table.recordAsInteger(record, number)), setNumber, table.recordAsString(record, item)});
    return result;
}

std::int32_t Catalog::nextSetNumber() const
{
    return m_category->isActive() ? m_category->autoIncValue().value_or(1) : static_cast<std::int32_t>(1);
}

RunRequest Catalog::runRequest(std::int32_t setNumber, bool incremental, CheckedQuery isChecked) const
{
    const std::optional<BackupSet> set = findSet(setNumber);
    if (!set)
        throw RuleRefusal(_(messages::kSetNotFound.data()));
    RunRequest request;
    request.set = *set;
    for (PathEntry& entry : paths(setNumber))
        request.items.push_back(std::move(entry.item));
    request.incremental = incremental;
    request.isChecked = std::move(isChecked);
    request.options = options(setNumber);
    return request;
}

// --- Changing --------------------------------------------------------------------------------

std::int32_t Catalog::addSet(const std::string& description, const std::string& destination)
{
    checkDescriptionText(description);
    return storeSet(std::nullopt, description, destination);
}

void Catalog::updateSet(std::int32_t number, const std::string& description, const std::string& destination)
{
    checkDescriptionText(description);
    storeSet(number, description, destination);
}

void Catalog::deleteSet(std::int32_t number)
{
    checkChangesAllowed();
    m_category->checkBrowseMode();
    if (!m_category->locate(schema::kCategoryNo, std::to_string(number)))
        throw RuleRefusal(_(messages::kSetNotFound.data()));
    if (!paths(number).empty())
        throw RuleRefusal(_(messages::kDeletePathsFirst.data()));
    m_category->remove();
    // A later set never gets this number, but its options must not outlive it either.
    if (optionsReadable() && m_options->locate(schema::kOptionsCategoryNo, std::to_string(number)))
        m_options->remove();
    m_deletedSets.push_back(number);
}

std::int32_t Catalog::addPath(std::int32_t setNumber, const std::string& item)
{
    checkChangesAllowed();
    if (!findSet(setNumber))
        throw RuleRefusal(_(messages::kSetNotFound.data()));
    checkPathText(item, "The path " + item.substr(0, item.find('\0')));
    Table& table = *m_paths;
    table.insert();
    try {
        table.fieldByName(schema::kPathCategoryNo).setAsInteger(setNumber);
        table.fieldByName(schema::kPathItem).setAsString(item);
        table.post();
    } catch (...) {
        // A path that does not fit is refused whole; no half-made row is left behind.
        table.cancel();
        throw;
    }
    return static_cast<std::int32_t>(table.fieldByName(schema::kPathNo).asInteger());
}

bool Catalog::deletePath(std::int32_t pathNumber)
{
    checkChangesAllowed();
    if (!m_paths->locate(schema::kPathNo, std::to_string(pathNumber)))
        return false;
    m_paths->remove();
    return true;
}

std::size_t Catalog::removePaths(std::int32_t setNumber, const std::string& item)
{
    checkChangesAllowed();
    std::size_t removed = 0;
    for (const PathEntry& entry : paths(setNumber))
        if (entry.item == item && deletePath(entry.number))
            ++removed;
    return removed;
}

// --- Writing one set ------------------------------------------------------------------------

std::int32_t Catalog::storeSet(std::optional<std::int32_t> number, const std::string& description,
                               const std::string& destination)
{
    checkChangesAllowed();
    Table& table = *m_category;
    table.checkBrowseMode();
    if (number && !table.locate(schema::kCategoryNo, std::to_string(*number)))
        throw RuleRefusal(_(messages::kSetNotFound.data()));
    // The editor's checks, in its order.
    // Spaces alone name nothing: such a set could not be told apart in the list, and a
    // folder of spaces would be made wherever the run happened to start.
    if (blank(description))
        throw RuleRefusal(_(messages::kDescriptionMissing.data()), RuleRefusal::Field::Description);
    if (blank(destination))
        throw RuleRefusal(_(messages::kDestinationMissing.data()), RuleRefusal::Field::Destination);
    checkPathText(destination, "The Backup To Folder");
    if (backup::isSftpUrl(destination)) {
        std::string problem;
        if (!backup::parseSftpUrl(destination, problem))
            throw RuleRefusal("The Backup To Folder " + destination +
                                  " is not a valid server folder: " + problem + ".",
                              RuleRefusal::Field::Destination);
    }
    return writeSetRow(number, description, destination);
}

std::int32_t Catalog::writeSetRow(std::optional<std::int32_t> number, const std::string& description,
                                  const std::optional<std::string>& destination)
{
    Table& table = *m_category;
    if (number)
        table.edit();
    else
        table.insert();
    try {
        table.fieldByName(schema::kCategoryDescription).setAsString(description);
        if (destination)
            table.fieldByName(schema::kCategoryBackupDirectory).setAsString(*destination);
        table.post();
    } catch (...) {
        // A text that does not fit its column leaves the set as it was, and no half-made row.
        table.cancel();
        throw;
    }
    const auto stored = static_cast<std::int32_t>(table.fieldByName(schema::kCategoryNo).asInteger());
    setPosted(stored, !number.has_value());
    return stored;
}

std::int32_t Catalog::keepTypedDescription(std::optional<std::int32_t> number, const std::string& description)
{
    checkChangesAllowed();
    m_category->checkBrowseMode();
    if (number && !m_category->locate(schema::kCategoryNo, std::to_string(*number)))
        throw RuleRefusal(_(messages::kSetNotFound.data()));
    return writeSetRow(number, description, std::nullopt);
}

// --- Saving ----------------------------------------------------------------------------------

std::vector<Catalog::TableState*> Catalog::allTables() const
{
    return {m_categoryState.get(), m_pathState.get(), m_optionsState.get()};
}

Catalog::TableState* Catalog::tableOfFile(const std::string& file)
{
    for (TableState* state : allTables())
        if (state->file == file)
            return state;
    return nullptr;
}

std::vector<Catalog::TableState*> Catalog::tablesToWrite()
{
    std::vector<TableState*> result;
    // Half a pair is never written: a set file saved without its path file (or the other
    // way round) could tie paths to the wrong sets, or leave paths without their set.
    if (!setsReadable() || !pathsReadable())
        return result;
    if (m_categoryState->keepOnDisk || m_pathState->keepOnDisk)
        return result;
    for (TableState* state : allTables())
        if (state->readable && !state->keepOnDisk && state->table->changeCount() > 0)
            result.push_back(state);
    return result;
}

bool Catalog::hasChanges() const
{
    if (!setsReadable() || !pathsReadable())
        return false;
    for (const TableState* state : allTables())
        if (state->readable && !state->keepOnDisk && state->table->changeCount() > 0)
            return true;
    return false;
}

Catalog::SaveResult Catalog::save(const Question& ask)
{
    std::vector<TableState*> pending = tablesToWrite();
    if (pending.empty())
        return {};

    std::optional<TablesLock> ownLock;
    if (!m_lock) {
        try {
            locations::ensureFolder(m_dataFolder);
            ownLock = TablesLock::acquire({m_categoryFile, m_pathFile}, m_lockWait);
        } catch (const std::exception& error) {
            return {SaveStatus::Failed, pending.front()->file, error.what(), {}, false, {}};
        }
    }
    // Under the lock no program that takes it can change the files until they are written.
    bool changedElsewhere = false;
    for (const TableState* state : allTables())
        changedElsewhere =
            changedElsewhere || (state->readable && store::tableFileChanged(state->file, state->image));
    SaveResult result;
    if (changedElsewhere) {
        if (std::optional<SaveResult> failure = mergeWithFiles(ask, result))
            return *failure;
        pending = tablesToWrite();
    }
    for (TableState* state : pending) {
        try {
            std::vector<std::byte> bytes = store::tableFileBytes(*state->table, state->file);
            store::writeTableFile(state->file, bytes);
            state->image = std::move(bytes);
            state->table->resetChangeCount();
        } catch (const std::exception& error) {
            return {SaveStatus::Failed,      state->file,   error.what(),
                    std::move(result.notes), result.merged, std::move(result.renumbered)};
        }
    }
    // A deleted set's timer would go on starting backups that can only fail. It goes only
    // now that the set file no longer holds the set: a save that failed or was kept from
    // writing leaves the set, and so its schedule, in place.
    if (std::find(pending.begin(), pending.end(), m_categoryState.get()) != pending.end()) {
        const SetSchedules schedules;
        for (const std::int32_t number : m_deletedSets)
            for (std::string& note : schedules.setDeleted(number, m_dataFolder))
                result.notes.push_back(std::move(note));
        m_deletedSets.clear();
    }
    return result;
}

void Catalog::keepFileOnDisk(const std::string& file)
{
    if (TableState* state = tableOfFile(file))
        state->keepOnDisk = true;
}

} // namespace stowmere::catalog
