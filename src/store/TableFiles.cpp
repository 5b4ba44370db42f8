// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/TableFiles.h"

#include "platform/AtomicFile.h"
#include "platform/Paths.h"
#include "store/StoreError.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace stowmere::store {
namespace {

StoreError withFile(const StoreError& error, const std::string& path, const char* verb)
{
    // "Cannot read the table: why" becomes "Cannot read <path>: why".
    std::string text = error.what();
    const std::string generic = std::string("Cannot ") + verb + " the table";
    if (text.rfind(generic, 0) == 0)
        text = text.substr(generic.size());
    else
        text = ": " + text;
    return StoreError(error.code(), std::string("Cannot ") + verb + " " + path + text, error.offset());
}

[[noreturn]] void failSystem(int error, const std::string& path, const char* verb)
{
    throw StoreError(rc::Ok, std::string("Cannot ") + verb + " " + path + ": " + std::strerror(error));
}

bool fileExists(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

// Reads fd to its end and closes it.
std::vector<std::byte> readOpenFile(int fd, const std::string& path)
{
    std::vector<std::byte> bytes;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
        bytes.reserve(static_cast<std::size_t>(info.st_size));
    else if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        ::close(fd);
        failSystem(EISDIR, path, "read");
    }
    std::byte chunk[65536];
    for (;;) {
        const ssize_t count = ::read(fd, chunk, sizeof chunk);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            ::close(fd);
            failSystem(error, path, "read");
        }
        if (count == 0)
            break;
        bytes.insert(bytes.end(), chunk, chunk + count);
    }
    ::close(fd);
    return bytes;
}

// The file must hold the table this program expects; a file of another table would
// otherwise open and fail later, at the first field the program asks for.
void checkColumns(TDataTable& table, const std::vector<FieldDef>& expected, const std::string& path)
{
    for (const FieldDef& field : expected) {
        const auto index = table.FindField(field.name);
        const bool fits = index && isTextType(field.type) == isTextType(table.FieldDefs()[*index].type);
        if (!fits) {
            table.Close();
            throw StoreError(rc::InvalidArgument,
                             "Cannot read " + path + ": it has no column '" + field.name + "' of the expected type");
        }
    }
}

void loadTableBytes(TDataTable& table, const std::vector<std::byte>& bytes, const std::string& path)
{
    try {
        table.LoadFromBytes(bytes);
    } catch (const StoreError& error) {
        throw withFile(error, path, "read");
    }
    table.SetFileName(path);
}

void openTable(TDataTable& table, const std::string& path, const std::vector<FieldDef>& fields,
               TableFileImage* opened)
{
    table.Close();
    table.SetFileName(path);
    // Set even when a file is read: a table whose file fails to load still knows its columns.
    table.SetFieldDefs(fields);
    if (!fileExists(path)) {
        table.CreateDataSet();
        if (opened)
            opened->reset();
        return;
    }
    // The very bytes loaded are kept: a second read could already see another program's
    // change, which would then pass for this table's own.
    std::vector<std::byte> bytes = readTableFile(path);
    loadTableBytes(table, bytes, path);
    checkColumns(table, fields, path);
    if (opened)
        *opened = std::move(bytes);
}

} // namespace

std::vector<FieldDef> categoryFieldDefs()
{
    return {FieldDef::autoIncrement("Category_No"), FieldDef::string("Category_Description", 50),
            FieldDef::string("Category_BackupDirectory", 255)};
}

std::vector<FieldDef> pathFieldDefs()
{
    return {FieldDef::autoIncrement("Path_No"), FieldDef::integer("Category_No"), FieldDef::string("Path_Item", 255)};
}

std::vector<std::byte> readTableFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        failSystem(errno, path, "read");
    return readOpenFile(fd, path);
}

TableFileImage readTableFileImage(const std::string& path)
{
    // Asked of the open itself rather than of a stat before it, which a removal in between
    // would turn into a read error.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return std::nullopt;
        failSystem(errno, path, "read");
    }
    return readOpenFile(fd, path);
}

bool tableFileChanged(const std::string& path, const TableFileImage& image)
{
    try {
        return readTableFileImage(path) != image;
    } catch (const StoreError&) {
        return false;
    }
}

void loadTableFile(TDataTable& table, const std::string& path)
{
    loadTableBytes(table, readTableFile(path), path);
}

void saveTableFile(const TDataTable& table, const std::string& path)
{
    std::vector<std::byte> bytes;
    try {
        bytes = table.SaveToBytes();
    } catch (const StoreError& error) {
        throw withFile(error, path, "write");
    }
    try {
        writeFileAtomically(path, bytes);
    } catch (const std::system_error& error) {
        throw StoreError(rc::Ok, error.what());
    }
}

void OpenCategoryTable(TDataTable& table, const std::string& dataFolder, TableFileImage* opened)
{
    table.SetIndexFieldNames(kCategoryIndexFieldNames);
    openTable(table, paths::join(dataFolder, kCategoryFileName), categoryFieldDefs(), opened);
}

void OpenPathTable(TDataTable& table, const std::string& dataFolder, TDataTable& categories,
                   TableFileImage* opened)
{
    table.Close();
    table.SetIndexFieldNames(kPathIndexFieldNames);
    table.SetMasterSource(&categories, "Category_No");
    openTable(table, paths::join(dataFolder, kPathFileName), pathFieldDefs(), opened);
}

void CloseTable(TDataTable& table)
{
    if (!table.Active())
        return;
    // A row left in insert or edit state is finished as a move would finish it; if it
    // cannot be posted it is dropped rather than keeping the other changes from disk.
    std::exception_ptr pending;
    try {
        table.CheckBrowseMode();
    } catch (...) {
        pending = std::current_exception();
        table.Cancel();
    }
    if (table.ChangeCount() > 0 && !table.FileName().empty()) {
        saveTableFile(table, table.FileName());
        table.ResetChangeCount();
    }
    table.Close();
    if (pending)
        std::rethrow_exception(pending);
}

} // namespace stowmere::store
