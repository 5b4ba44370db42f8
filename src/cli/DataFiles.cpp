// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/DataFiles.h"

#include "platform/Locations.h"
#include "platform/Paths.h"
#include "store/StoreError.h"
#include "store/TDataTable.h"
#include "store/TableFiles.h"

namespace stowmere::cli {
namespace {

using store::FieldDef;
using store::TDataTable;

using FileImage = store::TableFileImage;

FileImage readImage(const std::string& path)
{
    try {
        return store::readTableFileImage(path);
    } catch (const store::StoreError& error) {
        throw DataFileError(error.what());
    }
}

/// Opens a table as the window does: read from its file when there is one, else created
/// empty from its column definitions.
void openTable(TDataTable& table, const std::string& path, const FileImage& image, std::vector<FieldDef> defs)
{
    const std::vector<std::string> names = [&defs] {
        std::vector<std::string> result;
        for (const FieldDef& def : defs)
            result.push_back(def.name);
        return result;
    }();
    table.SetFieldDefs(std::move(defs));
    table.SetFileName(path);
    if (!image) {
        table.CreateDataSet();
        return;
    }
    try {
        table.LoadFromBytes(*image);
    } catch (const store::StoreError& error) {
        throw DataFileError("Cannot read " + path + ": " + error.what());
    }
    for (const std::string& name : names)
        if (!table.FindField(name))
            throw DataFileError("Cannot read " + path + ": it has no column " + name +
                                ", so it is not the table this file name stands for");
}

} // namespace

struct DataFiles::Tables {
    TDataTable category;
    TDataTable paths;
    FileImage categoryImage;
    FileImage pathImage;
};

DataFiles::DataFiles(std::string folder)
    : m_folder(std::move(folder)), m_tables(std::make_unique<Tables>())
{
    Tables& t = *m_tables;
    const std::string categoryPath = paths::join(m_folder, store::kCategoryFileName);
    const std::string pathPath = paths::join(m_folder, store::kPathFileName);
    t.categoryImage = readImage(categoryPath);
    t.pathImage = readImage(pathPath);

    // The window's open steps, from the bytes read above so that save() can tell whether a
    // file changed since.
    openTable(t.category, categoryPath, t.categoryImage, store::categoryFieldDefs());
    t.category.SetIndexFieldNames(store::kCategoryIndexFieldNames);
    openTable(t.paths, pathPath, t.pathImage, store::pathFieldDefs());
    t.paths.SetIndexFieldNames(store::kPathIndexFieldNames);
    t.paths.SetMasterSource(&t.category, "Category_No");
    t.category.ResetChangeCount();
    t.paths.ResetChangeCount();
}

DataFiles::~DataFiles()
{
    // Unlink the detail first so that neither table outlives the other's pointers.
    m_tables->paths.SetMasterSource(nullptr, {});
}

namespace {

/// Moves the backup-set table to the set at index in list order; the path table follows.
void moveToSet(TDataTable& category, std::size_t index)
{
    category.First();
    for (std::size_t i = 0; i < index && !category.Eof(); ++i)
        category.Next();
    if (category.Eof())
        throw std::out_of_range("no backup set at list position " + std::to_string(index + 1));
}

} // namespace

std::vector<BackupSetEntry> DataFiles::sets()
{
    TDataTable& category = m_tables->category;
    std::vector<BackupSetEntry> result;
    category.First();
    while (!category.Eof()) {
        BackupSetEntry entry;
        const store::TField number = category.FieldByName("Category_No");
        if (!number.IsNull())
            entry.number = static_cast<std::int32_t>(number.AsInteger());
        entry.description = category.FieldByName("Category_Description").AsString();
        entry.destination = category.FieldByName("Category_BackupDirectory").AsString();
        result.push_back(std::move(entry));
        category.Next();
    }
    return result;
}

std::vector<std::string> DataFiles::paths(std::size_t setIndex)
{
    moveToSet(m_tables->category, setIndex);
    TDataTable& table = m_tables->paths;
    std::vector<std::string> result;
    table.First();
    while (!table.Eof()) {
        result.push_back(table.FieldByName("Path_Item").AsString());
        table.Next();
    }
    return result;
}

std::int32_t DataFiles::addSet(const std::string& description, const std::string& destination)
{
    // The editor's Save checks, in its order.
    if (description.empty())
        throw RuleRefusal("Please insert Category Description.");
    if (destination.empty())
        throw RuleRefusal("Please select Backup To Directory.");
    TDataTable& category = m_tables->category;
    category.Insert();
    try {
        category.FieldByName("Category_Description").SetAsString(description);
        category.FieldByName("Category_BackupDirectory").SetAsString(destination);
        category.Post();
    } catch (...) {
        category.Cancel();
        throw;
    }
    return static_cast<std::int32_t>(category.FieldByName("Category_No").AsInteger());
}

void DataFiles::addPath(std::size_t setIndex, const std::string& path)
{
    moveToSet(m_tables->category, setIndex);
    TDataTable& table = m_tables->paths;
    table.Insert();
    try {
        table.FieldByName("Path_Item").SetAsString(path);
        table.Post();
    } catch (...) {
        table.Cancel();
        throw;
    }
}

std::size_t DataFiles::removePath(std::size_t setIndex, const std::string& path)
{
    moveToSet(m_tables->category, setIndex);
    TDataTable& table = m_tables->paths;
    std::size_t removed = 0;
    while (table.Locate("Path_Item", path)) {
        table.Delete();
        ++removed;
    }
    return removed;
}

void DataFiles::deleteSet(std::size_t setIndex)
{
    moveToSet(m_tables->category, setIndex);
    if (!m_tables->paths.IsEmpty())
        throw RuleRefusal("Delete file and folder list before deleting Backup.");
    m_tables->category.Delete();
}

void DataFiles::save()
{
    Tables& t = *m_tables;
    struct Pending {
        TDataTable& table;
        FileImage& image;
    };
    std::vector<Pending> pending;
    if (t.category.ChangeCount() > 0)
        pending.push_back({t.category, t.categoryImage});
    if (t.paths.ChangeCount() > 0)
        pending.push_back({t.paths, t.pathImage});

    // Check every file first, so that a conflict leaves all of them as they are.
    for (const Pending& p : pending) {
        if (store::tableFileChanged(p.table.FileName(), p.image))
            throw DataFileError(p.table.FileName() +
                                " was changed by another program since it was read; it was not overwritten. "
                                "Run the command again.");
    }
    for (const Pending& p : pending) {
        try {
            // The default folder under the user's data home may not exist yet.
            locations::ensureFolder(m_folder);
        } catch (const std::exception& error) {
            throw DataFileError("Cannot write " + p.table.FileName() + ": " + error.what());
        }
        try {
            store::saveTableFile(p.table, p.table.FileName());
        } catch (const std::exception& error) {
            throw DataFileError(error.what());
        }
        p.image = p.table.SaveToBytes();
        p.table.ResetChangeCount();
    }
}

} // namespace stowmere::cli
