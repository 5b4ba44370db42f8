// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SetEditorDialog.h"

#include "app/Dialogs.h"
#include "app/FolderEdit.h"
#include "app/Glyphs.h"
#include "app/GuardedHandler.h"
#include "app/StoredTextEdit.h"
#include "app/StringConversion.h"
#include "app/Style.h"
#include "catalog/Catalog.h"
#include "catalog/Errors.h"
#include "catalog/Schema.h"
#include "controls/GradientButton.h"
#include "controls/GradientPanel.h"

#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>

#include <exception>

namespace stowmere::app {
namespace {

QLabel* makeFieldLabel(QWidget* parent, const QString& caption, int left, int top)
{
    auto* label = new QLabel(caption, parent);
    label->setFont(style::sansFont(11, true));
    label->setStyleSheet(QStringLiteral("color: black; background: transparent;"));
    label->adjustSize();
    label->move(left, top);
    return label;
}

} // namespace

SetEditorDialog::SetEditorDialog(Dialogs& dialogs, catalog::Catalog& catalog, QWidget* parent)
    : QDialog(parent), m_dialogs(dialogs), m_catalog(catalog)
{
    setObjectName(QStringLiteral("setEditorDialog"));
    setWindowTitle(tr("Add / Edit Backup"));
    setFont(style::sansFont(11));
    setFixedSize(634, 194);
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_titlePanel = new controls::GradientPanel(this);
    m_titlePanel->setObjectName(QStringLiteral("titlePanel"));
    m_titlePanel->setFixedHeight(45);
    style::styleTitlePanel(*m_titlePanel, tr("Backup Information"));
    layout->addWidget(m_titlePanel);

    m_fieldPanel = new controls::GradientPanel(this);
    m_fieldPanel->setObjectName(QStringLiteral("fieldPanel"));
    style::styleRoundedPanel(*m_fieldPanel);
    layout->addWidget(m_fieldPanel, 1);

    m_descriptionLabel = makeFieldLabel(m_fieldPanel, tr("Backup &Description"), 24, 27);
    m_descriptionLabel->setObjectName(QStringLiteral("descriptionLabel"));
    m_descriptionEdit = new StoredTextEdit(static_cast<int>(catalog::schema::kDescriptionSize), m_fieldPanel);
    m_descriptionEdit->setObjectName(QStringLiteral("descriptionEdit"));
    m_descriptionEdit->setFont(style::sansFont(13));
    m_descriptionEdit->setGeometry(192, 24, 313, 24);
    m_descriptionLabel->setBuddy(m_descriptionEdit);

    m_folderLabel = makeFieldLabel(m_fieldPanel, tr("Backup &To Folder"), 24, 59);
    m_folderLabel->setObjectName(QStringLiteral("folderLabel"));
    m_folderEdit = new FolderEdit(m_dialogs, m_fieldPanel);
    m_folderLabel->setBuddy(m_folderEdit);
    m_folderEdit->setObjectName(QStringLiteral("folderEdit"));
    m_folderEdit->setFont(style::sansFont(13));
    m_folderEdit->setGeometry(192, 56, 425, 24);

    m_buttonBar = new controls::GradientPanel(this);
    m_buttonBar->setObjectName(QStringLiteral("buttonBar"));
    m_buttonBar->setFixedHeight(45);
    style::styleButtonBar(*m_buttonBar);
    layout->addWidget(m_buttonBar);

    m_saveButton = style::makeButton(m_buttonBar, tr("&Save"), Glyphs::save(), 5, false);
    m_saveButton->setObjectName(QStringLiteral("saveButton"));
    m_saveButton->setGeometry(19, 10, style::buttonWidth(*m_saveButton, 75), 25);
    m_cancelButton = style::makeButton(m_buttonBar, tr("&Cancel"), Glyphs::cancel(), 5, false);
    m_cancelButton->setObjectName(QStringLiteral("cancelButton"));
    // Cancel keeps its right edge where it was designed, however long its caption.
    const int cancelWidth = style::buttonWidth(*m_cancelButton, 75);
    m_cancelButton->setGeometry(618 - cancelWidth, 10, cancelWidth, 25);

    connect(m_saveButton, &controls::GradientControl::clicked, this, &SetEditorDialog::save);
    connect(m_cancelButton, &controls::GradientControl::clicked, this, &SetEditorDialog::cancel);
    setTabOrder(m_descriptionEdit, m_folderEdit);
    setTabOrder(m_folderEdit, m_saveButton);
    setTabOrder(m_saveButton, m_cancelButton);
    // Return anywhere in the dialog saves, Escape cancels (a description field with typed
    // text first takes Escape back to its stored text).
    m_saveButton->setDefault(true);
    m_cancelButton->setCancel(true);
    m_descriptionLabel->setBuddy(m_descriptionEdit);
    m_folderLabel->setBuddy(m_folderEdit);
}

void SetEditorDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        prepareFields();
}

void SetEditorDialog::prepareFields()
{
    if (parentWidget())
        move(parentWidget()->frameGeometry().center() - rect().center());
    m_savedSet.reset();
    m_cancelled = false;
    m_folderEdit->setText(m_storedDestination);
    m_descriptionEdit->setFocus();
}

void SetEditorDialog::save()
{
    const auto focusFieldAtFault = [this](const std::exception& error) {
        const auto* refusal = dynamic_cast<const catalog::RuleRefusal*>(&error);
        QWidget* field = refusal && refusal->field() == catalog::RuleRefusal::Field::Destination
                             ? static_cast<QWidget*>(m_folderEdit)
                             : static_cast<QWidget*>(m_descriptionEdit);
        if (field->isEnabled())
            field->setFocus();
    };
    guarded(
        m_dialogs,
        [this] {
            const std::string description = toUtf8String(m_descriptionEdit->text());
            const std::string destination = toUtf8String(m_folderEdit->text());
            if (m_editedSet) {
                m_catalog.updateSet(*m_editedSet, description, destination);
                m_savedSet = m_editedSet;
            } else {
                m_savedSet = m_catalog.addSet(description, destination);
            }
            accept();
        },
        OnFailure().refusalAsInformation().recover(focusFieldAtFault));
}

void SetEditorDialog::cancel()
{
    m_savedSet.reset();
    m_cancelled = true;
    reject();
}

void SetEditorDialog::startNewSet()
{
    m_editedSet.reset();
    m_storedDestination.clear();
    m_descriptionEdit->setStoredText(QString());
}

void SetEditorDialog::startEditSet(const catalog::BackupSet& set)
{
    m_editedSet = set.number;
    m_storedDestination = toQString(set.destination);
    m_descriptionEdit->setStoredText(toQString(set.description));
}

std::optional<std::int32_t> SetEditorDialog::finish()
{
    if (m_savedSet)
        return m_savedSet;
    if (m_cancelled || !m_descriptionEdit->typedInto())
        return m_editedSet;
    // Typing only reaches the set when it is kept; a second finish keeps nothing more.
    const std::string description = toUtf8String(m_descriptionEdit->text());
    m_descriptionEdit->setStoredText(m_descriptionEdit->text());
    return m_catalog.keepTypedDescription(m_editedSet, description);
}

void SetEditorDialog::keyPressEvent(QKeyEvent* event)
{
    // Escape is Cancel, never the dialog's plain reject, which would not record that the
    // user cancelled.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        cancel();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace stowmere::app
