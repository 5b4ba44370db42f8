// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/TableFiles.h"

#include "platform/AtomicFile.h"
#include "platform/WholeFile.h"
#include "store/StoreError.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
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

std::vector<std::byte> tableBytesOf(const std::string& data)
{
    const auto* begin = reinterpret_cast<const std::byte*>(data.data());
    return {begin, begin + data.size()};
}

} // namespace

void loadTableBytes(Table& table, std::span<const std::byte> bytes, const std::string& path)
{
    try {
        table.loadFromBytes(bytes);
    } catch (const StoreError& error) {
        throw withFile(error, path, "read");
    }
    table.setFileName(path);
}

std::vector<std::byte> readTableFile(const std::string& path)
{
    try {
        return tableBytesOf(files::readWholeFile(path));
    } catch (const files::ReadError& error) {
        throw StoreError(rc::Ok, error.what());
    }
}

TableFileImage readTableFileImage(const std::string& path)
{
    // Asked of the open itself rather than of a stat before it, which a removal in between
    // would turn into a read error.
    try {
        return tableBytesOf(files::readWholeFile(path));
    } catch (const files::ReadError& error) {
        if (error.error() == ENOENT)
            return std::nullopt;
        throw StoreError(rc::Ok, error.what());
    }
}

bool tableFileChanged(const std::string& path, const TableFileImage& image)
{
    try {
        return readTableFileImage(path) != image;
    } catch (const StoreError&) {
        return false;
    }
}

void loadTableFile(Table& table, const std::string& path)
{
    loadTableBytes(table, readTableFile(path), path);
}

std::vector<std::byte> tableFileBytes(const Table& table, const std::string& path)
{
    try {
        return table.saveToBytes();
    } catch (const StoreError& error) {
        throw withFile(error, path, "write");
    }
}

void saveTableFile(const Table& table, const std::string& path)
{
    writeTableFile(path, tableFileBytes(table, path));
}

void writeTableFile(const std::string& path, std::span<const std::byte> bytes)
{
    try {
        // Replacing the link itself would leave the file it names (on a synced folder, say)
        // silently stale; the temporary file must also be made beside the real file, or
        // the rename could not be atomic.
        writeFileAtomically(followLinks(path), bytes);
    } catch (const std::system_error& error) {
        throw StoreError(rc::Ok, error.what());
    }
}

std::string followLinks(const std::string& path)
{
    // As many hops as the kernel itself follows before it reports a loop.
    constexpr int kMostLinks = 40;
    std::filesystem::path current(path);
    for (int hop = 0; hop <= kMostLinks; ++hop) {
        struct stat info {};
        if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return current.string();
        std::error_code error;
        const std::filesystem::path target = std::filesystem::read_symlink(current, error);
        if (error)
            failSystem(error.value(), path, "follow the link");
        current = target.is_absolute() ? target : current.parent_path() / target;
    }
    failSystem(ELOOP, path, "follow the link");
}

} // namespace stowmere::store
