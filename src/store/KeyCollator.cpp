// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/KeyCollator.h"

#include "store/StoreError.h"

#include <unicode/ucol.h>
#include <unicode/uloc.h>
#include <unicode/ustring.h>

#include <cstring>

namespace stowmere::store {
namespace {

std::string localeName(std::uint32_t lcid)
{
    if (lcid == 0)
        return {};
    char name[ULOC_FULLNAME_CAPACITY] = {};
    UErrorCode status = U_ZERO_ERROR;
    uloc_getLocaleForLCID(lcid, name, sizeof name, &status);
    if (U_FAILURE(status))
        return {};
    return name;
}

UCollator* openCollator(const std::string& locale, UColAttributeValue strength)
{
    UErrorCode status = U_ZERO_ERROR;
    UCollator* collator = ucol_open(locale.c_str(), &status);
    if (U_FAILURE(status))
        throw StoreError(rc::UnsupportedType,
                         std::string("Cannot open the text collation: ") + u_errorName(status));
    ucol_setStrength(collator, strength);
    return collator;
}

// Little-endian UTF-16 bytes as code units, copied because the bytes need not be aligned.
std::u16string unitsOf(std::string_view bytes)
{
    std::u16string units(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                         static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    return units;
}

} // namespace

KeyCollator::KeyCollator(std::uint32_t lcid)
{
    const std::string locale = isInstalledLocale(lcid) ? localeName(lcid) : std::string();
    m_lcid = locale.empty() ? 0 : lcid;
    m_tertiary = openCollator(locale, UCOL_TERTIARY);
    try {
        m_secondary = openCollator(locale, UCOL_SECONDARY);
    } catch (...) {
        ucol_close(m_tertiary);
        throw;
    }
}

KeyCollator::~KeyCollator()
{
    ucol_close(m_tertiary);
    ucol_close(m_secondary);
}

bool KeyCollator::isInstalledLocale(std::uint32_t lcid)
{
    const std::string name = localeName(lcid);
    if (name.empty())
        return false;
    for (int32_t i = 0, count = ucol_countAvailable(); i < count; ++i) {
        const std::string available = ucol_getAvailable(i);
        if (name == available || name.rfind(available + "_", 0) == 0)
            return true;
    }
    return false;
}

int KeyCollator::compare(std::string_view a, std::string_view b, bool caseInsensitive) const
{
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult result =
        ucol_strcollUTF8(collator(caseInsensitive), a.data(), static_cast<int32_t>(a.size()), b.data(),
                         static_cast<int32_t>(b.size()), &status);
    return static_cast<int>(result);
}

int KeyCollator::compareUtf16(std::string_view a, std::string_view b, bool caseInsensitive) const
{
    const std::u16string left = unitsOf(a);
    const std::u16string right = unitsOf(b);
    return static_cast<int>(ucol_strcoll(collator(caseInsensitive), left.data(),
                                         static_cast<int32_t>(left.size()), right.data(),
                                         static_cast<int32_t>(right.size())));
}

void KeyCollator::appendKey(UCollator* coll, const char16_t* text, std::size_t length, std::string& out) const
{
    const std::size_t start = out.size();
    // Sort keys of Latin text are rarely longer than twice the text; retry once when short.
    std::size_t room = 2 * length + 16;
    for (;;) {
        out.resize(start + room);
        const int32_t needed =
            ucol_getSortKey(coll, text, static_cast<int32_t>(length),
                            reinterpret_cast<uint8_t*>(out.data() + start), static_cast<int32_t>(room));
        if (needed <= 0) {
            out.resize(start);
            return;
        }
        if (static_cast<std::size_t>(needed) <= room) {
            out.resize(start + static_cast<std::size_t>(needed) - 1); // drop the terminating zero
            return;
        }
        room = static_cast<std::size_t>(needed);
    }
}

void KeyCollator::appendSortKey(std::string_view text, bool caseInsensitive, std::string& out) const
{
    m_scratch.resize(text.size() + 1);
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(m_scratch.data(), static_cast<int32_t>(m_scratch.size()), &length, text.data(),
                         static_cast<int32_t>(text.size()), 0xFFFD, nullptr, &status);
    if (U_FAILURE(status))
        length = 0;
    appendKey(collator(caseInsensitive), m_scratch.data(), static_cast<std::size_t>(length), out);
}

void KeyCollator::appendSortKeyUtf16(std::string_view text, bool caseInsensitive, std::string& out) const
{
    const std::u16string units = unitsOf(text);
    appendKey(collator(caseInsensitive), units.data(), units.size(), out);
}

} // namespace stowmere::store
