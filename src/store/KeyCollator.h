// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct UCollator;

namespace stowmere::store {

/// Locale-aware comparison of key text: the ICU collator of the table's locale (the root
/// locale for locale 0 or a locale that is not installed), tertiary strength for
/// case-sensitive keys ("a" < "A" < "b", so texts that differ only in case are neighbours)
/// and secondary strength for case-insensitive ones. Text is UTF-8; malformed sequences
/// compare as U+FFFD.
class KeyCollator {
public:
    explicit KeyCollator(std::uint32_t lcid = 0);
    ~KeyCollator();
    KeyCollator(const KeyCollator&) = delete;
    KeyCollator& operator=(const KeyCollator&) = delete;

    /// Negative, zero or positive as a sorts before, with or after b.
    int compare(std::string_view a, std::string_view b, bool caseInsensitive) const;
    /// The same for UTF-16 text given as little-endian bytes.
    int compareUtf16(std::string_view a, std::string_view b, bool caseInsensitive) const;
    /// Appends a byte string whose memcmp order equals compare()'s order (without the
    /// trailing zero ICU puts there).
    void appendSortKey(std::string_view text, bool caseInsensitive, std::string& out) const;
    void appendSortKeyUtf16(std::string_view text, bool caseInsensitive, std::string& out) const;

    std::uint32_t lcid() const { return m_lcid; }

    /// True when ICU has collation data for the locale that the Windows locale id names.
    static bool isInstalledLocale(std::uint32_t lcid);

private:
    UCollator* collator(bool caseInsensitive) const { return caseInsensitive ? m_secondary : m_tertiary; }
    void appendKey(UCollator* collator, const char16_t* text, std::size_t length, std::string& out) const;

    std::uint32_t m_lcid = 0;
    UCollator* m_tertiary = nullptr;
    UCollator* m_secondary = nullptr;
    mutable std::u16string m_scratch;
};

} // namespace stowmere::store
