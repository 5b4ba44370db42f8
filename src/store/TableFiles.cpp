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

void openTable(TDataTable& table, const std::string& path, const std::vector<FieldDef>& fields)
{
    table.Close();
    table.SetFileName(path);
    // Set even when a file is read: a table whose file fails to load still knows its columns.
    table.SetFieldDefs(fields);
    if (!fileExists(path)) {
        table.CreateDataSet();
        return;
    }
    loadTableFile(table, path);
    checkColumns(table, fields, path);
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

void loadTableFile(TDataTable& table, const std::string& path)
{
    const std::vector<std::byte> bytes = readTableFile(path);
    try {
        table.LoadFromBytes(bytes);
    } catch (const StoreError& error) {
        throw withFile(error, path, "read");
    }
    table.SetFileName(path);
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

void OpenCategoryTable(TDataTable& table, const std::string& dataFolder)
{
    table.SetIndexFieldNames(kCategoryIndexFieldNames);
    openTable(table, paths::join(dataFolder, kCategoryFileName), categoryFieldDefs());
}

void OpenPathTable(TDataTable& table, const std::string& dataFolder, TDataTable& categories)
{
    table.Close();
    table.SetIndexFieldNames(kPathIndexFieldNames);
    table.SetMasterSource(&categories, "Category_No");
    openTable(table, paths::join(dataFolder, kPathFileName), pathFieldDefs());
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
