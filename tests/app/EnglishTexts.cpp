// SPDX-License-Identifier: GPL-3.0-or-later
// The window's tests read its English texts as a user with an English locale sees them,
// whatever the locale of the machine that runs them: with the English plural forms
// ("1 file", "2 files") and no other language.
#include "app/Translations.h"

#include <gtest/gtest.h>

namespace {

class EnglishTexts final : public ::testing::Environment {
public:
    void SetUp() override { m_translations.install(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void TearDown() override { m_translations.remove(); }

private:
    stowmere::app::Translations m_translations;
};

[[maybe_unused]] ::testing::Environment* const kEnglishTexts =
    ::testing::AddGlobalTestEnvironment(new EnglishTexts);

} // namespace
