// SPDX-License-Identifier: GPL-3.0-or-later
// stowmere-dump-tables FOLDER: prints the rows of FOLDER/Category.cds and FOLDER/Path.cds,
// one line per row with the fields separated by "|", so a script can check what the
// program saved.
#include "catalog/Schema.h"
#include "store/Table.h"
#include "store/TableFiles.h"

#include <exception>
#include <iostream>
#include <string>

namespace {

void printRows(const char* title, const stowmere::store::Table& table)
{
    std::cout << title << '\n';
    for (std::size_t record = 0; record < table.recordCount(); ++record) {
        for (std::size_t i = 0; i < table.fieldCount(); ++i)
            std::cout << (i ? "|" : "") << table.recordAsString(record, i);
        std::cout << '\n';
    }
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::cerr << "usage: stowmere-dump-tables FOLDER\n";
        return 2;
    }
    try {
        const std::string folder = argv[1];
        namespace schema = stowmere::catalog::schema;
        stowmere::store::Table categories;
        stowmere::store::Table paths;
        categories.setFieldDefs(schema::categoryFieldDefs());
        paths.setFieldDefs(schema::pathFieldDefs());
        stowmere::store::loadTableFile(categories, folder + "/" + std::string(schema::kCategoryFileName));
        stowmere::store::loadTableFile(paths, folder + "/" + std::string(schema::kPathFileName));
        categories.setIndexFieldNames(schema::kCategoryOrder);
        paths.setIndexFieldNames(schema::kPathOrder);
        printRows("[Category]", categories);
        printRows("[Path]", paths);
    } catch (const std::exception& error) {
        std::cerr << "stowmere-dump-tables: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
