// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Translation.h"

#include "platform/Locations.h"
#include "platform/Paths.h"

#include <clocale>
#include <libintl.h>
#include <system_error>

namespace stowmere::translation {
namespace {

std::string& userDecimalSeparator()
{
    static std::string separator = ".";
    return separator;
}

} // namespace

void setUp()
{
    std::setlocale(LC_ALL, "");
    if (const lconv* numbers = std::localeconv();
        numbers && numbers->decimal_point && *numbers->decimal_point)
        userDecimalSeparator() = numbers->decimal_point;
    // printf and strtod follow LC_NUMERIC: a decimal comma would change the numbers written
    // to and read from stored files, so numbers stay as the "C" locale writes them.
    std::setlocale(LC_NUMERIC, "C");
    std::string folder;
    try {
        folder = localeFolder();
    } catch (const std::system_error&) {
        return; // without /proc, the program simply speaks English
    }
    ::bindtextdomain(kDomain, folder.c_str());
    ::bind_textdomain_codeset(kDomain, "UTF-8");
}

std::string localeFolder()
{
    return paths::join(paths::parentFolder(locations::executableFolder()), "share/locale");
}

const char* translate(const char* english)
{
    return ::dgettext(kDomain, english);
}

const char* translatePlural(const char* singular, const char* plural, unsigned long count)
{
    return ::dngettext(kDomain, singular, plural, count);
}

const std::string& decimalSeparator()
{
    return userDecimalSeparator();
}

std::string argumentText(std::string_view text)
{
    return std::string(text);
}

std::string formatTexts(std::string_view pattern, const std::vector<std::string>& arguments)
{
    std::string text;
    text.reserve(pattern.size() + 32);
    std::size_t next = 0;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%' || i + 1 == pattern.size()) {
            text += pattern[i];
            continue;
        }
        if (pattern[i + 1] == '%') {
            text += '%';
            ++i;
            continue;
        }
        // %[N$][l|z]conversion
        std::size_t at = i + 1;
        std::size_t position = 0;
        std::size_t digits = at;
        while (digits < pattern.size() && pattern[digits] >= '0' && pattern[digits] <= '9')
            position = position * 10 + static_cast<std::size_t>(pattern[digits++] - '0');
        if (digits > at && digits < pattern.size() && pattern[digits] == '$')
            at = digits + 1;
        else
            position = 0;
        while (at < pattern.size() && (pattern[at] == 'l' || pattern[at] == 'z'))
            ++at;
        if (at == pattern.size() || std::string_view("sdu").find(pattern[at]) == std::string_view::npos) {
            text += pattern[i];
            continue;
        }
        const std::size_t index = position > 0 ? position - 1 : next++;
        if (index < arguments.size())
            text += arguments[index];
        else
            text.append(pattern.substr(i, at + 1 - i));
        i = at;
    }
    return text;
}

} // namespace stowmere::translation
