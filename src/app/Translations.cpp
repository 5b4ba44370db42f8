// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <cstring>

namespace stowmere::app {
namespace {

// lupdate's parser does not follow nested namespace definitions (`namespace
// stowmere::app {`), so the .ts files name each class without its namespace; the look-up
// drops it as well. No two classes of the window share a name.
class ClassNameTranslator final : public QTranslator {
public:
    QString translate(const char* context, const char* sourceText, const char* disambiguation,
                      int n) const override
    {
        const char* colon = context ? std::strrchr(context, ':') : nullptr;
        return QTranslator::translate(colon ? colon + 1 : context, sourceText, disambiguation, n);
    }
};

} // namespace

Translations::Translations() = default;

Translations::~Translations()
{
    remove();
}

QString Translations::defaultFolder()
{
    return QDir(QCoreApplication::applicationDirPath())
        .absoluteFilePath(QStringLiteral("../share/stowmere/translations"));
}

bool Translations::install(const QLocale& locale, const QString& folder)
{
    remove();
    // Right-to-left languages mirror the window, whether or not their texts are translated.
    QGuiApplication::setLayoutDirection(locale.textDirection());
    // Moments and sizes shown to a person are written in the locale (app/ShownValues.h).
    m_previousDefault = QLocale();
    QLocale::setDefault(locale);
    // Installed first, so that it is asked last: a language's own file wins over it.
    auto english = std::make_unique<ClassNameTranslator>();
    if (english->load(QStringLiteral("stowmere_en"), QStringLiteral(":/translations")))
        add(std::move(english));
    if (locale.language() == QLocale::English || locale.language() == QLocale::C)
        return true;
    auto qt = std::make_unique<QTranslator>();
    if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        add(std::move(qt));
    auto own = std::make_unique<ClassNameTranslator>();
    if (!own->load(locale, QStringLiteral("stowmere"), QStringLiteral("_"), folder))
        return false;
    return add(std::move(own));
}

bool Translations::add(std::unique_ptr<QTranslator> translator)
{
    if (!QCoreApplication::installTranslator(translator.get()))
        return false;
    m_installed.push_back(std::move(translator));
    return true;
}

void Translations::remove()
{
    for (auto it = m_installed.rbegin(); it != m_installed.rend(); ++it)
        QCoreApplication::removeTranslator(it->get());
    m_installed.clear();
    QGuiApplication::setLayoutDirection(Qt::LeftToRight);
    if (m_previousDefault) {
        QLocale::setDefault(*m_previousDefault);
        m_previousDefault.reset();
    }
}

} // namespace stowmere::app
