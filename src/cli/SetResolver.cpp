// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/SetResolver.h"

#include "cli/ProgressPrinter.h"
#include "platform/Translation.h"

#include <charconv>

namespace stowmere::cli {
namespace {

std::optional<std::int32_t> parseNumber(const std::string& text)
{
    if (text.empty() || text.front() == '+' || text.front() == '-')
        return std::nullopt;
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

} // namespace

std::size_t SetResolver::resolve(const std::string& set) const
{
    const std::optional<std::int32_t> number = parseNumber(set);
    std::vector<std::size_t> matches;
    for (std::size_t i = 0; i < m_sets.size(); ++i) {
        const BackupSetEntry& entry = m_sets[i];
        if (entry.description == set || (number && entry.number == number))
            matches.push_back(i);
    }
    if (matches.size() == 1)
        return matches.front();
    if (matches.empty())
        throw SetNotFound(
            number ? translation::format(_("No backup set is named \"%s\" or has the number %s."), set, set)
                   : translation::format(_("No backup set is named \"%s\"."), set));
    std::string text =
        translation::format(_("\"%s\" names more than one backup set; give its number instead:"), set);
    for (const std::size_t index : matches)
        text += "\n  " + line(m_sets[index]);
    throw SetNotFound(text);
}

std::string SetResolver::line(const BackupSetEntry& entry)
{
    // Sets stored before descriptions were kept to one line, or by other means, must not
    // break the one-set-a-line listing.
    return (entry.number ? std::to_string(*entry.number) : std::string("-")) + '\t' +
           ProgressPrinter::escapeControl(entry.description) + '\t' +
           ProgressPrinter::escapeControl(entry.destination);
}

} // namespace stowmere::cli
