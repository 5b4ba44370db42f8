// SPDX-License-Identifier: GPL-3.0-or-later
// The per-set options of the catalog: Options.cds, read after the two set files and saved
// with them, but never a reason to refuse the sets themselves.
#include "catalog/Catalog.h"
#include "catalog/Errors.h"
#include "catalog/Messages.h"
#include "catalog/Schema.h"
#include "catalog/SetIdentity.h"
#include "store/StoreError.h"
#include "store/Table.h"

#include <algorithm>

namespace stowmere::catalog {
namespace {

using store::Table;

std::size_t column(const Table& table, std::string_view name)
{
    const auto index = table.findField(name);
    if (!index)
        throw store::StoreError(store::rc::Ok, "Field '" + std::string(name) + "' not found");
    return *index;
}

std::vector<std::string> splitLines(std::string_view text)
{
    std::vector<std::string> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (!line.empty())
            lines.emplace_back(line);
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

/// The options held by one row; a column left empty keeps its default.
SetOptions optionsOfRecord(const Table& table, std::size_t record)
{
    SetOptions options;
    const auto integer = [&](std::string_view name, std::int32_t& value) {
        if (const auto stored = table.recordAsInteger(record, column(table, name)))
            value = static_cast<std::int32_t>(*stored);
    };
    const auto flag = [&](std::string_view name, bool& value) {
        if (const auto stored = table.recordAsInteger(record, column(table, name)))
            value = *stored != 0;
    };
    options.exclusions = splitLines(table.recordAsString(record, column(table, schema::kOptionsExclusions)));
    integer(schema::kOptionsKeepVersions, options.keepVersions);
    integer(schema::kOptionsKeepDays, options.keepDays);
    flag(schema::kOptionsCacheDirTag, options.cacheDirTag);
    flag(schema::kOptionsGuard, options.guard);
    if (table.findField(schema::kOptionsMirror))
        flag(schema::kOptionsMirror, options.mirror);
    if (table.findField(schema::kOptionsKeepDaily))
        integer(schema::kOptionsKeepDaily, options.keepDaily);
    if (table.findField(schema::kOptionsKeepWeekly))
        integer(schema::kOptionsKeepWeekly, options.keepWeekly);
    if (table.findField(schema::kOptionsKeepMonthly))
        integer(schema::kOptionsKeepMonthly, options.keepMonthly);
    options.driveIdentity = table.recordAsString(record, column(table, schema::kOptionsDriveIdentity));
    return options;
}

/// Why options cannot be stored, or empty.
std::string refusalOf(const SetOptions& options)
{
    if (options.keepVersions < 0)
        return "The number of versions to keep cannot be below 0.";
    if (options.keepDays < 0)
        return "The number of days to keep versions cannot be below 0.";
    if (options.keepDaily < 0 || options.keepWeekly < 0 || options.keepMonthly < 0)
        return "The number of days, weeks or months that keep versions cannot be below 0.";
    for (const std::string& pattern : options.exclusions) {
        if (pattern.empty())
            return "An exclusion pattern cannot be empty.";
        // One pattern a line: a line break would turn one pattern into two.
        if (pattern.find_first_of(std::string_view("\n\r\0", 3)) != std::string::npos)
            return "An exclusion pattern cannot hold a line break or a zero byte.";
    }
    if (options.driveIdentity.find('\0') != std::string::npos)
        return "A drive identity cannot hold a zero byte.";
    return {};
}

} // namespace

void Catalog::readOptions(const store::TableFileImage* image)
{
    m_options->setIndexFieldNames({});
    m_options->setFieldDefs(schema::optionsFieldDefs());
    try {
        readTable(*m_optionsState, schema::kOptionsOrder, image);
        checkOptions();
        if (!m_options->findField(schema::kOptionsSetIdentity) ||
            !m_options->findField(schema::kOptionsMirror) ||
            !m_options->findField(schema::kOptionsKeepDaily) ||
            !m_options->findField(schema::kOptionsKeepWeekly) ||
            !m_options->findField(schema::kOptionsKeepMonthly))
            addMissingColumns();
    } catch (const std::exception& error) {
        // The sets and their paths are whole without their options: they stay usable and
        // the runs take the defaults, while the damaged file waits on disk, untouched.
        dropOptions();
        m_notices.push_back(error.what() + std::string(_(messages::kOptionsUnreadable.data())));
    }
}

void Catalog::checkOptions()
{
    const Table& table = *m_options;
    const std::size_t numberField = column(table, schema::kOptionsCategoryNo);
    std::vector<std::int64_t> numbers;
    for (std::size_t record = 0; record < table.recordCount(); ++record) {
        const auto number = table.recordAsInteger(record, numberField);
        if (!number)
            throw TableFileError("Cannot read " + m_optionsFile + ": a row belongs to no backup set");
        numbers.push_back(*number);
        if (const std::string refusal = refusalOf(optionsOfRecord(table, record)); !refusal.empty())
            throw TableFileError("Cannot read " + m_optionsFile + ": backup set number " +
                                 std::to_string(*number) + ": " + refusal);
    }
    // Two rows for one set would leave it to chance which of them a run obeys.
    std::sort(numbers.begin(), numbers.end());
    const auto shared = std::adjacent_find(numbers.begin(), numbers.end());
    if (shared != numbers.end())
        throw TableFileError("Cannot read " + m_optionsFile + ": backup set number " +
                             std::to_string(*shared) + " has more than one row");
}

void Catalog::addMissingColumns()
{
    struct Row {
        std::int32_t number = 0;
        SetOptions options;
        std::string identity;
    };
    std::vector<Row> rows;
    const std::size_t numberField = column(*m_options, schema::kOptionsCategoryNo);
    const auto identityField = m_options->findField(schema::kOptionsSetIdentity);
    for (std::size_t record = 0; record < m_options->recordCount(); ++record)
        rows.push_back(
            {static_cast<std::int32_t>(m_options->recordAsInteger(record, numberField).value_or(0)),
             optionsOfRecord(*m_options, record),
             identityField ? m_options->recordAsString(record, *identityField) : std::string()});
    m_options->close();
    m_options->setIndexFieldNames({});
    m_options->setFieldDefs(schema::optionsFieldDefs());
    m_options->createDataSet();
    m_options->setFileName(m_optionsFile);
    m_options->setIndexFieldNames(schema::kOptionsOrder);
    for (const Row& row : rows) {
        writeOptionsRow(row.number, row.options);
        if (!row.identity.empty())
            writeIdentity(row.number, row.identity);
    }
    // The same rows as the file: it is written with the columns once something changes.
    m_options->resetChangeCount();
}

std::string Catalog::identityOf(std::int32_t setNumber) const
{
    if (!optionsReadable())
        return {};
    const Table& table = *m_options;
    const auto [first, last] = table.recordsWithKey({std::to_string(setNumber)});
    if (first == last)
        return {};
    return table.recordAsString(first, column(table, schema::kOptionsSetIdentity));
}

void Catalog::writeIdentity(std::int32_t setNumber, const std::string& identity)
{
    // A damaged Options.cds is never written: the set then goes without an identity, as
    // sets made before identities do.
    if (!optionsReadable())
        return;
    Table& table = *m_options;
    table.checkBrowseMode();
    const bool found = table.locate(schema::kOptionsCategoryNo, std::to_string(setNumber));
    if (found) {
        table.edit();
    } else {
        table.insert();
        table.fieldByName(schema::kOptionsCategoryNo).setAsInteger(setNumber);
    }
    try {
        if (!found) {
            const SetOptions defaults;
            table.fieldByName(schema::kOptionsKeepVersions).setAsInteger(defaults.keepVersions);
            table.fieldByName(schema::kOptionsKeepDays).setAsInteger(defaults.keepDays);
            table.fieldByName(schema::kOptionsCacheDirTag).setAsInteger(defaults.cacheDirTag ? 1 : 0);
            table.fieldByName(schema::kOptionsGuard).setAsInteger(defaults.guard ? 1 : 0);
            table.fieldByName(schema::kOptionsMirror).setAsInteger(defaults.mirror ? 1 : 0);
            table.fieldByName(schema::kOptionsKeepDaily).setAsInteger(defaults.keepDaily);
            table.fieldByName(schema::kOptionsKeepWeekly).setAsInteger(defaults.keepWeekly);
            table.fieldByName(schema::kOptionsKeepMonthly).setAsInteger(defaults.keepMonthly);
        }
        table.fieldByName(schema::kOptionsSetIdentity).setAsString(identity);
        table.post();
    } catch (...) {
        table.cancel();
        throw;
    }
}

void Catalog::setPosted(std::int32_t number, bool isNew)
{
    if (isNew)
        writeIdentity(number, newSetIdentity(std::chrono::system_clock::now()));
}

SetOptions Catalog::options(std::int32_t setNumber) const
{
    if (!optionsReadable())
        return {};
    const Table& table = *m_options;
    const auto [first, last] = table.recordsWithKey({std::to_string(setNumber)});
    if (first == last)
        return {};
    return optionsOfRecord(table, first);
}

void Catalog::setOptions(std::int32_t setNumber, const SetOptions& options)
{
    checkChangesAllowed();
    if (!optionsReadable())
        throw ChangesRefused(
            messages::changesRefused(m_notices.empty() ? "Cannot read " + m_optionsFile : m_notices.back()));
    if (!findSet(setNumber))
        throw RuleRefusal(_(messages::kSetNotFound.data()));
    if (const std::string refusal = refusalOf(options); !refusal.empty())
        throw RuleRefusal(refusal);
    // Unchanged options leave the file as it is (a run records its drive after every success).
    const auto [first, last] = m_options->recordsWithKey({std::to_string(setNumber)});
    if (first != last && optionsOfRecord(*m_options, first) == options)
        return;
    writeOptionsRow(setNumber, options);
}

void Catalog::writeOptionsRow(std::int32_t setNumber, const SetOptions& options)
{
    std::string patterns;
    for (const std::string& pattern : options.exclusions)
        patterns += pattern + '\n';
    Table& table = *m_options;
    table.checkBrowseMode();
    if (table.locate(schema::kOptionsCategoryNo, std::to_string(setNumber))) {
        table.edit();
    } else {
        table.insert();
        table.fieldByName(schema::kOptionsCategoryNo).setAsInteger(setNumber);
    }
    try {
        table.fieldByName(schema::kOptionsExclusions).setAsString(patterns);
        table.fieldByName(schema::kOptionsKeepVersions).setAsInteger(options.keepVersions);
        table.fieldByName(schema::kOptionsKeepDays).setAsInteger(options.keepDays);
        table.fieldByName(schema::kOptionsCacheDirTag).setAsInteger(options.cacheDirTag ? 1 : 0);
        table.fieldByName(schema::kOptionsGuard).setAsInteger(options.guard ? 1 : 0);
        table.fieldByName(schema::kOptionsMirror).setAsInteger(options.mirror ? 1 : 0);
        table.fieldByName(schema::kOptionsKeepDaily).setAsInteger(options.keepDaily);
        table.fieldByName(schema::kOptionsKeepWeekly).setAsInteger(options.keepWeekly);
        table.fieldByName(schema::kOptionsKeepMonthly).setAsInteger(options.keepMonthly);
        table.fieldByName(schema::kOptionsDriveIdentity).setAsString(options.driveIdentity);
        table.post();
    } catch (...) {
        table.cancel();
        throw;
    }
}

void Catalog::recordDriveIdentity(std::int32_t setNumber, const std::string& identity)
{
    SetOptions changed = options(setNumber);
    changed.driveIdentity = identity;
    setOptions(setNumber, changed);
}

} // namespace stowmere::catalog
