// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLocale>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

class QTranslator;

namespace stowmere::app {

/// The translators of the window's texts and of Qt's own dialogs for one locale, installed
/// in the application while this object lives. English needs one as well: it gives the
/// plural forms of the counted texts ("1 file", "2 files"), built into the program.
class Translations {
public:
    Translations();
    ~Translations();
    Translations(const Translations&) = delete;
    Translations& operator=(const Translations&) = delete;

    /// Where the program's .qm files are: share/stowmere/translations beside the folder of
    /// the executable, so an installed program and one in the build tree both find theirs.
    static QString defaultFolder();

    /// Replaces the installed translators with those of locale's languages, taken from
    /// folder, makes locale the default one (for the moments and sizes the windows show) and
    /// lays the windows out in the locale's direction. Returns false when the program has no
    /// translation for the locale's first language other than English; the texts then stay English.
    bool install(const QLocale& locale, const QString& folder = defaultFolder());
    /// Removes every translator this object installed; the windows read left to right again.
    void remove();

private:
    bool add(std::unique_ptr<QTranslator> translator);

    std::vector<std::unique_ptr<QTranslator>> m_installed;
    /// The default locale before install, given back by remove.
    std::optional<QLocale> m_previousDefault;
};

} // namespace stowmere::app
