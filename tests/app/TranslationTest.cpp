// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppFixture.h"
#include "app/PreviewDialog.h"
#include "app/Translations.h"
#include "controls/GradientCheckBox.h"
#include "controls/GradientControl.h"

#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QMenu>
#include <QTest>

#include <map>

using namespace stowmere;
using namespace stowmere::app;
using namespace stowmere::app::testing;

namespace {

// The window in another language for one test; English (the tests' global translators)
// again after it.
class Translated : public AppFixture {
protected:
    void speak(const QString& locale)
    {
        ASSERT_TRUE(m_translations.install(QLocale(locale))) << locale.toStdString();
    }

    // Two controls of one window (or two entries of one menu) with the same accelerator
    // cannot both be reached by it.
    template <typename Texts>
    static void expectDistinctAccelerators(const Texts& texts, const std::string& where)
    {
        std::map<QString, QString> taken;
        for (const QString& text : texts) {
            const QString key = QKeySequence::mnemonic(text).toString();
            EXPECT_FALSE(key.isEmpty()) << where << ": no accelerator in " << text.toStdString();
            if (key.isEmpty())
                continue;
            const auto [it, fresh] = taken.emplace(key, text);
            EXPECT_TRUE(fresh) << where << ": " << text.toStdString() << " and " << it->second.toStdString()
                               << " share " << key.toStdString();
        }
    }

    QStringList mainCaptions() const
    {
        QStringList captions;
        for (auto* control : main->findChildren<controls::GradientControl*>())
            if (control->isVisible() && !control->caption().isEmpty() && control->window() == main.get() &&
                control->objectName() != "titlePanel")
                captions << control->caption();
        return captions;
    }

    QStringList menuTexts(const QString& name) const
    {
        QStringList texts;
        for (QAction* action : main->findChild<QMenu*>(name)->actions())
            if (!action->isSeparator())
                texts << action->text();
        return texts;
    }

    Translations m_translations;
};

TEST_F(Translated, EachLanguageNamesTheControlsAndMenusWithAcceleratorsOfItsOwn)
{
    const std::map<QString, QString> backupButton{
        {"en_US", "&Backup"}, {"de_DE", "&Sichern"}, {"fr_FR", "&Sauvegarder"}};
    std::map<QString, QStringList> captions;
    for (const auto& [locale, caption] : backupButton) {
        SCOPED_TRACE(locale.toStdString());
        if (locale == "en_US")
            m_translations.remove();
        else
            speak(locale);
        start();
        EXPECT_EQ(widget<controls::GradientControl>("backupButton")->caption(), caption);
        captions[locale] = mainCaptions() + menuTexts("toolsMenu");
        expectDistinctAccelerators(mainCaptions(), "main window");
        expectDistinctAccelerators(menuTexts("toolsMenu"), "Tools menu");
        expectDistinctAccelerators(menuTexts("pathMenu"), "item menu");
        destroyWindows();
    }
    // A text looked up under another class than the one lupdate filed it under stays English.
    for (const QString& english : captions["en_US"]) {
        EXPECT_FALSE(captions["de_DE"].contains(english)) << english.toStdString();
        EXPECT_FALSE(captions["fr_FR"].contains(english)) << english.toStdString();
    }
}

TEST_F(Translated, QtsOwnButtonsSpeakTheLanguageToo)
{
    speak("de_DE");
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Abbrechen");
    EXPECT_EQ(Dialogs::title(MessageKind::Confirmation), "Bestätigen");
    speak("fr_FR");
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Annuler");
}

TEST_F(Translated, ALanguageWithoutATranslationStaysEnglish)
{
    EXPECT_FALSE(m_translations.install(QLocale("ja_JP")));
    start();
    EXPECT_EQ(widget<controls::GradientControl>("backupButton")->caption(), "&Backup");
}

// French counts 0 as singular, English as plural; either way round is a wrong text.
TEST_F(Translated, CountedTextsTakeTheLanguagesPluralForms)
{
    const auto totals = [](std::uint64_t files) {
        backup::BackupResult result;
        result.preview.files = files;
        result.preview.folders = files;
        return PreviewDialog::totalsText(result);
    };
    EXPECT_TRUE(totals(0).startsWith("A backup would copy 0 files (")) << totals(0).toStdString();
    EXPECT_TRUE(totals(1).startsWith("A backup would copy 1 file (")) << totals(1).toStdString();
    EXPECT_TRUE(totals(1).endsWith("and create 1 folder.")) << totals(1).toStdString();
    EXPECT_TRUE(totals(2).startsWith("A backup would copy 2 files (")) << totals(2).toStdString();
    speak("fr_FR");
    EXPECT_TRUE(totals(0).startsWith("Une sauvegarde copierait 0 fichier (")) << totals(0).toStdString();
    EXPECT_TRUE(totals(2).endsWith("et créerait 2 dossiers.")) << totals(2).toStdString();
    speak("de_DE");
    EXPECT_TRUE(totals(1).startsWith("Eine Sicherung würde 1 Datei (")) << totals(1).toStdString();
    EXPECT_TRUE(totals(0).startsWith("Eine Sicherung würde 0 Dateien (")) << totals(0).toStdString();
}

TEST_F(Translated, AcceleratorsActivateTheSelfDrawnControls)
{
    speak("de_DE");
    start();
    QApplication::setActiveWindow(main.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(main.get()));
    auto* incremental = widget<controls::GradientCheckBox>("incrementalBox");
    const bool before = incremental->isChecked();
    // "&Inkrementelle Sicherung"
    QTest::keyClick(main.get(), Qt::Key_I, Qt::AltModifier);
    EXPECT_NE(incremental->isChecked(), before);
    EXPECT_TRUE(incremental->hasFocus());
    QTest::keyClick(main.get(), Qt::Key_I, Qt::AltModifier);
    EXPECT_EQ(incremental->isChecked(), before);
    // A disabled control is not activated by its accelerator.
    incremental->setEnabled(false);
    QTest::keyClick(main.get(), Qt::Key_I, Qt::AltModifier);
    EXPECT_EQ(incremental->isChecked(), before);
}

} // namespace
