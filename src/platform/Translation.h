// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <concepts>
#include <string>
#include <string_view>
#include <vector>

/// The texts of the Qt-free layers (platform, backup, catalog, cli) come from the gettext
/// domain "stowmere". Mark a text with _() where it is shown, with N_() where it sits in a
/// table and is translated later, and use ngettext() for every text that holds a count.
/// Texts that programs read (JSON, history, unit files, crontab lines, list columns) are
/// never marked.
namespace stowmere {

namespace translation {

/// The gettext domain of every Qt-free layer.
inline constexpr const char* kDomain = "stowmere";

/// Takes the user's language, dates and times from the environment (LANGUAGE, LC_ALL,
/// LC_MESSAGES, LC_TIME, LANG) and binds the domain to localeFolder(). Numbers keep the
/// "C" locale, so stored files and machine output read and write the same everywhere.
/// Call once at the start of main(), before any thread starts.
void setUp();

/// share/locale beside the running executable's bin folder: the build tree's own
/// translations for a program run from build/bin, the installed ones for /usr/bin.
std::string localeFolder();

/// The text as the domain translates it, or the text itself.
const char* translate(const char* english);

/// The singular or plural form for count, as the user's language counts.
const char* translatePlural(const char* singular, const char* plural, unsigned long count);

/// The decimal separator of the user's numbers (LC_NUMERIC), for numbers shown to a person;
/// "." until setUp() ran.
const std::string& decimalSeparator();

/// The text of one argument of format().
std::string argumentText(std::string_view text);
template <std::integral Number> std::string argumentText(Number number)
{
    return std::to_string(number);
}

/// Fills a printf-style pattern: each %s, %d, %u, %lu, %zu takes the next argument's text,
/// %N$s (and %N$d ...) the N-th, so a translation may reorder them; %% is a percent sign.
/// A conversion without its argument is left as written.
std::string formatTexts(std::string_view pattern, const std::vector<std::string>& arguments);

template <typename... Arguments> std::string format(std::string_view pattern, const Arguments&... arguments)
{
    return formatTexts(pattern, {argumentText(arguments)...});
}

} // namespace translation

/// A text shown to a person, in the user's language.
inline const char* _(const char* english)
{
    return translation::translate(english);
}

/// Marks a text for translation where it is defined; _() translates it where it is shown.
constexpr const char* N_(const char* english)
{
    return english;
}

/// The two English forms of a counted text kept in a table, for ngettext() where it is shown.
struct PluralText {
    const char* singular;
    const char* plural;
};

constexpr PluralText NP_(const char* singular, const char* plural)
{
    return {singular, plural};
}

/// The form of a text for count ("%d file" / "%d files").
inline const char* ngettext(const char* singular, const char* plural, unsigned long count)
{
    return translation::translatePlural(singular, plural, count);
}

} // namespace stowmere
