// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/SftpUrl.h"

#include <array>
#include <charconv>

namespace stowmere::backup {

namespace {

constexpr std::string_view kScheme = "sftp://";

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Undoes percent-escapes; none when an escape is cut short or not hexadecimal, or when
// it decodes to a NUL, which no name on a server can hold.
std::optional<std::string> decode(std::string_view text)
{
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] != '%') {
            decoded += text[at];
            continue;
        }
        const int high = at + 1 < text.size() ? hexValue(text[at + 1]) : -1;
        const int low = at + 2 < text.size() ? hexValue(text[at + 2]) : -1;
        if (high < 0 || low < 0 || (high == 0 && low == 0))
            return std::nullopt;
        decoded += static_cast<char>(high * 16 + low);
        at += 2;
    }
    return decoded;
}

bool unreserved(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

// Escapes every byte outside the unreserved set and the extra characters given.
std::string encode(std::string_view text, std::string_view keep)
{
    static constexpr std::array<char, 16> kHex = {'0', '1', '2', '3', '4', '5', '6', '7',
                                                  '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'};
    std::string encoded;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (unreserved(byte) || keep.find(c) != std::string_view::npos) {
            encoded += c;
        } else {
            encoded += '%';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 15];
        }
    }
    return encoded;
}

bool startsWithScheme(std::string_view text)
{
    if (text.size() < kScheme.size())
        return false;
    for (std::size_t at = 0; at < kScheme.size(); ++at) {
        char c = text[at];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != kScheme[at])
            return false;
    }
    return true;
}

} // namespace

bool isSftpUrl(std::string_view text)
{
    return startsWithScheme(text);
}

std::string SftpUrl::hostText() const
{
    std::string text = host.find(':') != std::string::npos ? '[' + host + ']' : host;
    if (port != 0)
        text += ':' + std::to_string(port);
    return text;
}

std::string SftpUrl::text() const
{
    std::string text(kScheme);
    if (!user.empty())
        text += encode(user, "!$&'()*+,;=") + '@';
    text += host.find(':') != std::string::npos ? '[' + host + ']' : encode(host, "!$&'()*+,;=");
    if (port != 0)
        text += ':' + std::to_string(port);
    text += encode(path, "/!$&'()*+,;=:@");
    return text;
}

std::optional<SftpUrl> parseSftpUrl(std::string_view text, std::string& error)
{
    error.clear();
    if (!startsWithScheme(text)) {
        error = "it does not start with sftp://";
        return std::nullopt;
    }
    std::string_view rest = text.substr(kScheme.size());
    const std::size_t slash = rest.find('/');
    if (slash == std::string_view::npos) {
        error = "the folder on the server is missing (sftp://host/absolute/path)";
        return std::nullopt;
    }
    std::string_view authority = rest.substr(0, slash);
    const std::string_view rawPath = rest.substr(slash);
    if (rawPath.find_first_of("?#") != std::string_view::npos) {
        error = "a query or fragment (? or #) has no meaning here; escape them as %3F and %23";
        return std::nullopt;
    }

    SftpUrl url;
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
        const std::string_view user = authority.substr(0, at);
        if (user.find(':') != std::string_view::npos) {
            error = "a password in the URL is never used; load a key into ssh-agent instead";
            return std::nullopt;
        }
        const auto decoded = decode(user);
        if (!decoded || decoded->empty()) {
            error = "the user name is empty or badly escaped";
            return std::nullopt;
        }
        url.user = *decoded;
        authority = authority.substr(at + 1);
    }

    std::string_view portText;
    if (!authority.empty() && authority.front() == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos) {
            error = "the host's closing ] is missing";
            return std::nullopt;
        }
        url.host = std::string(authority.substr(1, close - 1));
        const std::string_view after = authority.substr(close + 1);
        if (!after.empty() && after.front() != ':') {
            error = "unexpected text after the host";
            return std::nullopt;
        }
        if (!after.empty())
            portText = after.substr(1);
        if (!after.empty() && portText.empty()) {
            error = "the port after ':' is missing";
            return std::nullopt;
        }
    } else {
        const std::size_t colon = authority.rfind(':');
        const std::string_view host =
            colon == std::string_view::npos ? authority : authority.substr(0, colon);
        if (colon != std::string_view::npos) {
            portText = authority.substr(colon + 1);
            if (portText.empty()) {
                error = "the port after ':' is missing";
                return std::nullopt;
            }
        }
        const auto decoded = decode(host);
        if (!decoded) {
            error = "the host name is badly escaped";
            return std::nullopt;
        }
        url.host = *decoded;
    }
    if (url.host.empty()) {
        error = "the host name is missing";
        return std::nullopt;
    }
    if (url.host.find_first_of(" /\\@") != std::string::npos || url.host.front() == '-') {
        error = "the host name \"" + url.host + "\" is not one";
        return std::nullopt;
    }
    if (!portText.empty()) {
        int port = 0;
        const auto [end, code] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
        if (code != std::errc() || end != portText.data() + portText.size() || port < 1 || port > 65535) {
            error = "the port \"" + std::string(portText) + "\" is not a number from 1 to 65535";
            return std::nullopt;
        }
        url.port = port;
    }

    const auto path = decode(rawPath);
    if (!path) {
        error = "the folder is badly escaped (a % must be followed by two hexadecimal digits)";
        return std::nullopt;
    }
    url.path = *path;
    // One path, one form: "//" and a trailing '/' name the same folder.
    std::string clean;
    for (std::size_t from = 0; from < url.path.size();) {
        std::size_t end = url.path.find('/', from);
        if (end == std::string::npos)
            end = url.path.size();
        const std::string_view name = std::string_view(url.path).substr(from, end - from);
        if (name == "." || name == "..") {
            error = "the folder may not hold \".\" or \"..\"";
            return std::nullopt;
        }
        if (!name.empty()) {
            clean += '/';
            clean += name;
        }
        from = end + 1;
    }
    url.path = clean.empty() ? std::string("/") : clean;
    return url;
}

} // namespace stowmere::backup
