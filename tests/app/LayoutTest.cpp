// SPDX-License-Identifier: GPL-3.0-or-later
// German and French words are longer than English ones: every text of the window and its
// dialogs must still fit its control at the window's smallest size, measured with the
// font the control draws it in.
#include "AppFixture.h"
#include "app/CheckListBox.h"
#include "app/QtDialogs.h"
#include "app/Translations.h"
#include "controls/GradientButton.h"
#include "controls/GradientCheckBox.h"
#include "progress/CylinderProgressBar.h"
#include "progress/ProgressWindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace stowmere;
using namespace stowmere::app;
using namespace stowmere::app::testing;

namespace {

// Pixels a self-drawn caption keeps clear of its control's rounded frame on each side.
constexpr int kFrame = 3;

int textWidth(const QFont& font, const QString& text, bool mnemonic = true)
{
    const int flags = Qt::TextSingleLine | (mnemonic ? Qt::TextShowMnemonic : 0);
    int widest = 0;
    for (const QString& line : text.split(QLatin1Char('\n')))
        widest = std::max(widest, QFontMetrics(font).size(flags, line).width());
    return widest;
}

QString nameOf(const QWidget& widget)
{
    return widget.objectName().isEmpty() ? QString::fromLatin1(widget.metaObject()->className())
                                         : widget.objectName();
}

// The texts of one window that their controls cut off, each with what it needs and has.
class ClipFinder {
public:
    explicit ClipFinder(const QWidget& window) : m_window(window) {}

    QStringList find()
    {
        for (const QWidget* widget : m_window.findChildren<QWidget*>()) {
            if (widget->isVisibleTo(&m_window) && widget->window() == &m_window)
                measure(*widget);
        }
        // Two texts placed over each other hide one another's words.
        for (qsizetype i = 0; i < m_texts.size(); ++i) {
            for (qsizetype j = i + 1; j < m_texts.size(); ++j) {
                const QWidget* a = m_texts[i];
                const QWidget* b = m_texts[j];
                if (a->parentWidget() == b->parentWidget() && a->geometry().intersects(b->geometry()))
                    m_clipped << QStringLiteral("%1 and %2 overlap").arg(nameOf(*a), nameOf(*b));
            }
        }
        return m_clipped;
    }

private:
    void expectFits(const QWidget& widget, const QString& text, int needed, int has)
    {
        if (needed > has)
            m_clipped << QStringLiteral("%1 \"%2\" needs %3 px, has %4")
                             .arg(nameOf(widget), text)
                             .arg(needed)
                             .arg(has);
    }

    // A text drawn beyond its parent's edge is cut off there, however wide its own control.
    void expectInsideParent(const QWidget& widget, const QString& text)
    {
        m_texts << &widget;
        const QWidget* parent = widget.parentWidget();
        if (parent != nullptr && !parent->rect().contains(widget.geometry()))
            m_clipped << QStringLiteral("%1 \"%2\" at %3,%4 %5x%6 reaches out of %7 (%8x%9)")
                             .arg(nameOf(widget), text)
                             .arg(widget.x())
                             .arg(widget.y())
                             .arg(widget.width())
                             .arg(widget.height())
                             .arg(nameOf(*parent))
                             .arg(parent->width())
                             .arg(parent->height());
    }

    void measure(const QWidget& widget)
    {
        if (const auto* button = qobject_cast<const controls::GradientButton*>(&widget)) {
            if (!button->showCaption() || button->caption().isEmpty())
                return;
            const int glyph = button->glyph().isNull() ? 0 : button->glyph().width() + button->spacing();
            expectFits(widget, button->caption(),
                       2 * kFrame + glyph + textWidth(button->font(), button->caption()), button->width());
            expectInsideParent(widget, button->caption());
        } else if (const auto* box = qobject_cast<const controls::GradientCheckBox*>(&widget)) {
            // The box and its gap, then the caption.
            expectFits(widget, box->caption(), 16 + box->spacing() + textWidth(box->font(), box->caption()),
                       box->width());
            expectInsideParent(widget, box->caption());
        } else if (const auto* label = qobject_cast<const QLabel*>(&widget)) {
            if (label->wordWrap() || label->text().isEmpty() || label->textFormat() == Qt::RichText)
                return;
            const QString text = label->text();
            expectFits(widget, text, textWidth(label->font(), text, label->buddy() != nullptr),
                       label->contentsRect().width() - 2 * label->margin() - std::max(0, label->indent()));
            expectInsideParent(widget, text);
        } else if (const auto* check = qobject_cast<const QCheckBox*>(&widget)) {
            expectFits(widget, check->text(), check->sizeHint().width(), check->width());
        } else if (const auto* radio = qobject_cast<const QRadioButton*>(&widget)) {
            expectFits(widget, radio->text(), radio->sizeHint().width(), radio->width());
        } else if (const auto* push = qobject_cast<const QPushButton*>(&widget)) {
            const int margin = push->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, push);
            const int icon = push->icon().isNull() ? 0 : push->iconSize().width() + 4;
            expectFits(widget, push->text(), textWidth(push->font(), push->text()) + icon + margin,
                       push->width());
        } else if (const auto* tool = qobject_cast<const QToolButton*>(&widget)) {
            expectFits(widget, tool->text(), textWidth(tool->font(), tool->text()), tool->width());
        } else if (const auto* edit = qobject_cast<const QLineEdit*>(&widget)) {
            // The hint an empty field shows is read before anything is typed.
            if (!edit->placeholderText().isEmpty() && edit->text().isEmpty())
                expectFits(widget, edit->placeholderText(),
                           textWidth(edit->font(), edit->placeholderText(), false),
                           edit->contentsRect().width() - 2 * kFrame);
        } else if (const auto* header = qobject_cast<const QHeaderView*>(&widget)) {
            measureHeader(*header);
        } else if (const auto* bar = qobject_cast<const progress::CylinderProgressBar*>(&widget)) {
            expectFits(widget, bar->textDone(), textWidth(bar->captionFont(), bar->textDone(), false),
                       bar->width() - 2 * kFrame);
        }
    }

    void measureHeader(const QHeaderView& header)
    {
        if (header.orientation() != Qt::Horizontal || header.model() == nullptr)
            return;
        const int margin = header.style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, &header);
        QFont font = header.font();
        // Most styles draw the section titles in bold.
        font.setBold(true);
        for (int section = 0; section < header.count(); ++section) {
            if (header.isSectionHidden(section))
                continue;
            const QString title = header.model()->headerData(section, Qt::Horizontal).toString();
            expectFits(header, title, textWidth(font, title, false) + 2 * margin,
                       header.sectionSize(section));
        }
    }

    const QWidget& m_window;
    QStringList m_clipped;
    QList<const QWidget*> m_texts; ///< the self-placed texts, for the overlap check
};

class Layouts : public AppFixture, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override { ASSERT_TRUE(m_translations.install(QLocale(QString::fromLatin1(GetParam())))); }

    static void expectNothingClipped(const QWidget& window)
    {
        QApplication::processEvents();
        const QStringList clipped = ClipFinder(window).find();
        EXPECT_TRUE(clipped.isEmpty()) << nameOf(window).toStdString() << ":\n"
                                       << clipped.join(QLatin1Char('\n')).toStdString();
    }

    // The dialog an action of the lists opens, at its smallest size.
    QDialog* openSmallest(const QString& action, const QString& dialog)
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        main->findChild<QAction*>(action)->trigger();
        auto* shown = main->findChild<QDialog*>(dialog);
        if (shown == nullptr)
            return nullptr;
        EXPECT_TRUE(QTest::qWaitForWindowExposed(shown));
        shown->resize(1, 1); // the layout holds it at its minimum
        QApplication::processEvents();
        return shown;
    }

    void runBackup()
    {
        QSignalSpy finished(main.get(), &MainWindow::backupFinished);
        click("backupButton");
        ASSERT_TRUE(finished.wait(20000)) << dialogs.texts().join('\n').toStdString();
        dialogs.clear();
    }

    Translations m_translations;
};

TEST_P(Layouts, NoTextIsCutOffInTheWindowOrItsDialogsAtTheirSmallestSizes)
{
    writeFile(folder() + "/docs/letter.txt", "Dear");
    startWithCheckedSet(folder() + "/backup", {folder() + "/docs"});
    clickCategory(0);
    pathList()->setCurrentRow(0);
    // A run behind it fills the history and gives the restore dialog a moment to show.
    runBackup();
    main->resize(1, 1);
    ASSERT_EQ(main->size(), main->minimumSize());
    expectNothingClipped(*main);

    whenEditorShows([](SetEditorDialog& shown) {
        expectNothingClipped(shown);
        cancelEditor(shown);
    });
    click("addSetButton");

    // The run unchecked what it backed up; a preview needs it checked again.
    QApplication::processEvents();
    for (int i = 0; i < pathList()->count(); ++i)
        pathList()->setChecked(i, true);
    for (const auto& [action, name] :
         {std::pair{"optionsAction", "optionsDialog"}, std::pair{"historyAction", "historyDialog"},
          std::pair{"previewAction", "previewDialog"}, std::pair{"restoreAction", "restoreDialog"}}) {
        SCOPED_TRACE(name);
        QDialog* dialog = openSmallest(action, name);
        ASSERT_NE(dialog, nullptr) << name << " did not open: " << dialogs.texts().join('\n').toStdString();
        if (QString::fromLatin1(name) == "previewDialog") {
            // The totals replace the busy note once the walk is done.
            ASSERT_TRUE(QTest::qWaitFor([dialog] {
                auto* totals = dialog->findChild<QLabel*>("previewTotals");
                return totals != nullptr && totals->isVisible() && !totals->text().isEmpty();
            }));
        }
        expectNothingClipped(*dialog);
        dialog->reject();
    }

    progress->prepareRun(100);
    progress->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(progress));
    expectNothingClipped(*progress);
    progress->setFilesCopied(1234567);
    progress->cancelRun(); // the headline says it is finishing
    expectNothingClipped(*progress);
    progress->hide();
}

// The message boxes lay themselves out; their buttons must still carry the language's
// words whole.
TEST_P(Layouts, MessageBoxesHoldTheirButtons)
{
    QtDialogs real;
    QStringList clipped;
    QTimer::singleShot(0, [&clipped] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        QApplication::processEvents();
        clipped = ClipFinder(*box).find();
        box->reject();
    });
    real.confirm(QStringLiteral("Delete the Backup \"Docs\"?"));
    EXPECT_TRUE(clipped.isEmpty()) << clipped.join(QLatin1Char('\n')).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Languages, Layouts, ::testing::Values("de_DE", "fr_FR", "en_US"));

} // namespace
