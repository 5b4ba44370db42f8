// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace stowmere::backup {

/// A folder on a server reached over SSH, written sftp://[user@]host[:port]/absolute/path.
/// User, host and path may carry percent-escapes (RFC 3986) for characters a URL cannot
/// hold as they are; a host that is an IPv6 address stands in brackets.
struct SftpUrl {
    std::string user; ///< empty: the user of ~/.ssh/config or the local user
    std::string host; ///< as given (without brackets); ~/.ssh/config may map it elsewhere
    int port = 0;     ///< 0: the port of ~/.ssh/config, else 22
    std::string path; ///< absolute, decoded, without a trailing '/' (but "/" itself)

    /// The URL in its canonical form, escaped where needed.
    std::string text() const;
    /// "host" or "host:port", for messages.
    std::string hostText() const;
};

/// Whether text is meant as a server folder (it starts with "sftp://", in any case), so
/// that a mistyped URL is refused as one rather than taken for a local folder.
bool isSftpUrl(std::string_view text);

/// Parses an sftp:// URL. None when it is not one or is malformed; error then says what is
/// wrong with it.
std::optional<SftpUrl> parseSftpUrl(std::string_view text, std::string& error);

} // namespace stowmere::backup
