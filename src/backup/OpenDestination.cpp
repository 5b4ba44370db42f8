// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/OpenDestination.h"

#include "backup/LocalDestination.h"
#include "backup/SftpAccess.h"
#include "backup/SftpDestination.h"
#include "backup/SftpUrl.h"

namespace stowmere::backup {

namespace {

std::unique_ptr<Destination> openSftp(const std::string& location, std::error_code& error)
{
    std::string problem;
    const std::optional<SftpUrl> url = parseSftpUrl(location, problem);
    if (!url) {
        error = makeConnectionError("Backup To Folder " + location + " is no server folder: " + problem + ".",
                                    EINVAL);
        return nullptr;
    }
    SftpConnectFailure failure;
    std::shared_ptr<SftpConnection> connection = connectSftp(*url, failure);
    if (!connection) {
        const int code = failure.kind == SftpConnectFailure::Kind::UnknownHost ||
                                 failure.kind == SftpConnectFailure::Kind::ChangedHost
                             ? EPERM
                         : failure.kind == SftpConnectFailure::Kind::LoginRefused ||
                                 failure.kind == SftpConnectFailure::Kind::KeyNeedsPassphrase
                             ? EACCES
                             : EHOSTUNREACH;
        error = makeConnectionError(failure.message + " Nothing was written to " + location + ".", code);
        return nullptr;
    }
    auto destination = SftpDestination::open(*url, std::move(connection), error);
    if (!destination && error && error != std::errc::no_such_file_or_directory &&
        error.category() == std::generic_category())
        error = makeConnectionError(location + ": " + error.message(), error.value());
    return destination;
}

} // namespace

bool isRemoteLocation(const std::string& location)
{
    return isSftpUrl(location);
}

std::unique_ptr<Destination> openDestination(const std::string& location, std::error_code& error)
{
    if (isRemoteLocation(location))
        return openSftp(location, error);
    return LocalDestination::open(location, error);
}

std::optional<files::FileSystemIdentity> identifyDestination(const std::string& location, std::string& error)
{
    if (!isRemoteLocation(location))
        return files::identifyFileSystem(location, error);
    std::error_code opened;
    const std::unique_ptr<Destination> destination = openDestination(location, opened);
    if (!destination) {
        error = opened.message();
        return std::nullopt;
    }
    return destination->identity(error);
}

} // namespace stowmere::backup
