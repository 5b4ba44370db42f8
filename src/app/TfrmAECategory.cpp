// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/TfrmAECategory.h"

#include "app/Dialogs.h"
#include "app/Glyphs.h"
#include "app/Style.h"
#include "app/TDBEdit.h"
#include "app/TFolderEdit.h"
#include "catalog/Catalog.h"
#include "catalog/Errors.h"
#include "catalog/Schema.h"
#include "controls/GradButton.h"
#include "controls/GradPanel.h"

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

TfrmAECategory::TfrmAECategory(Dialogs& dialogs, catalog::Catalog& catalog, QWidget* parent)
    : QDialog(parent), m_dialogs(dialogs), m_catalog(catalog)
{
    setObjectName(QStringLiteral("frmAECategory"));
    setWindowTitle(QStringLiteral("Add / Edit Backup"));
    setFont(style::sansFont(11));
    setFixedSize(634, 194);
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    GradPanel1 = new TGradPanel(this);
    GradPanel1->setObjectName(QStringLiteral("GradPanel1"));
    GradPanel1->setFixedHeight(45);
    style::styleTitlePanel(*GradPanel1, QStringLiteral("Backup Information"));
    layout->addWidget(GradPanel1);

    GradPanel4 = new TGradPanel(this);
    GradPanel4->setObjectName(QStringLiteral("GradPanel4"));
    style::styleRoundedPanel(*GradPanel4);
    layout->addWidget(GradPanel4, 1);

    Label1 = makeFieldLabel(GradPanel4, QStringLiteral("Backup Description"), 24, 27);
    Label1->setObjectName(QStringLiteral("Label1"));
    DBEdit1 =
        new TDBEdit(m_catalog.setTable(), std::string(catalog::schema::kCategoryDescription), GradPanel4);
    DBEdit1->setObjectName(QStringLiteral("DBEdit1"));
    DBEdit1->setFont(style::sansFont(13));
    DBEdit1->setGeometry(192, 24, 313, 24);

    Label2 = makeFieldLabel(GradPanel4, QStringLiteral("Backup To Folder"), 24, 59);
    Label2->setObjectName(QStringLiteral("Label2"));
    DirectoryEdit1 = new TFolderEdit(m_dialogs, GradPanel4);
    DirectoryEdit1->setObjectName(QStringLiteral("DirectoryEdit1"));
    DirectoryEdit1->setFont(style::sansFont(13));
    DirectoryEdit1->setGeometry(192, 56, 425, 24);

    GradPanel3 = new TGradPanel(this);
    GradPanel3->setObjectName(QStringLiteral("GradPanel3"));
    GradPanel3->setFixedHeight(45);
    style::styleButtonBar(*GradPanel3);
    layout->addWidget(GradPanel3);

    btnSave = style::makeButton(GradPanel3, QStringLiteral("Save"), Glyphs::save(), 5, false);
    btnSave->setObjectName(QStringLiteral("btnSave"));
    btnSave->setGeometry(19, 10, 75, 25);
    btnCancel = style::makeButton(GradPanel3, QStringLiteral("Cancel"), Glyphs::cancel(), 5, false);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setGeometry(543, 10, 75, 25);

    connect(btnSave, &TGradCustomControl::clicked, this, &TfrmAECategory::btnSaveClick);
    connect(btnCancel, &TGradCustomControl::clicked, this, &TfrmAECategory::btnCancelClick);
    setTabOrder(DBEdit1, DirectoryEdit1);
    setTabOrder(DirectoryEdit1, btnSave);
    setTabOrder(btnSave, btnCancel);
}

void TfrmAECategory::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TfrmAECategory::FormShow()
{
    if (parentWidget())
        move(parentWidget()->frameGeometry().center() - rect().center());
    m_savedSet.reset();
    if (m_catalog.setEdit() == catalog::Catalog::SetEdit::New)
        DirectoryEdit1->clear();
    else if (m_catalog.setEdit() == catalog::Catalog::SetEdit::Existing)
        DirectoryEdit1->setText(QString::fromStdString(m_catalog.editedDestination()));
    DBEdit1->refresh();
    DBEdit1->setFocus();
}

void TfrmAECategory::btnSaveClick()
{
    try {
        DBEdit1->updateRecord();
        m_savedSet = m_catalog.saveEditedSet(DirectoryEdit1->text().toUtf8().toStdString());
        accept();
    } catch (const catalog::RuleRefusal& refusal) {
        m_dialogs.information(QString::fromUtf8(refusal.what()));
        QWidget* field = refusal.field() == catalog::RuleRefusal::Field::Destination
                             ? static_cast<QWidget*>(DirectoryEdit1)
                             : static_cast<QWidget*>(DBEdit1);
        if (field->isEnabled())
            field->setFocus();
    } catch (const std::exception& error) {
        m_dialogs.error(QString::fromUtf8(error.what()));
        if (DBEdit1->isEnabled())
            DBEdit1->setFocus();
    }
}

void TfrmAECategory::btnCancelClick()
{
    m_savedSet.reset();
    m_catalog.cancelEditedSet();
    reject();
}

void TfrmAECategory::keyPressEvent(QKeyEvent* event)
{
    // Escape belongs to the description field (it restores the stored value); the dialog
    // itself has no cancel key, so it must not close and leave the row pending.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace stowmere::app
