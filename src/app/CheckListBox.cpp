// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CheckListBox.h"

#include "controls/CheckImages.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace stowmere::app {
namespace {

// Qt's own check role would make the view draw its own indicator, so the check state
// lives under a role of ours.
constexpr int kCheckedRole = Qt::UserRole + 1;

} // namespace

CheckListBox::CheckListBox(QWidget* parent) : ListBox(parent) {}

bool CheckListBox::checked(int index) const
{
    const QListWidgetItem* entry = item(index);
    return entry && entry->data(kCheckedRole).toBool();
}

void CheckListBox::setChecked(int index, bool isChecked)
{
    QListWidgetItem* entry = item(index);
    if (!entry || checked(index) == isChecked)
        return;
    // Writing the role makes the model report a change that would repaint the whole row;
    // block it and repaint the check box alone.
    {
        const QSignalBlocker blocker(model());
        entry->setData(kCheckedRole, isChecked);
    }
    viewport()->update(stripRect(index));
    if (QAccessible::isActive()) {
        if (QAccessibleInterface* list = QAccessible::queryAccessibleInterface(this)) {
            if (QAccessibleInterface* itemInterface = list->child(index)) {
                QAccessible::State changed;
                changed.checked = true;
                QAccessibleStateChangeEvent event(itemInterface, changed);
                QAccessible::updateAccessibility(&event);
            }
        }
    }
}

int CheckListBox::checkedCount() const
{
    int total = 0;
    for (int i = 0; i < count(); ++i)
        total += checked(i) ? 1 : 0;
    return total;
}

QRect CheckListBox::stripRect(int index) const
{
    const QRect rect = visualItemRect(item(index));
    return {isRightToLeft() ? rect.right() + 1 - kStripWidth : rect.left(), rect.top(), kStripWidth,
            rect.height()};
}

void CheckListBox::drawStrip(QPainter& painter, int index, const QRect& strip)
{
    controls::drawCheckCell(
        painter, strip, controls::CheckKind::CheckMark,
        checked(index) ? controls::CheckBoxState::Checked : controls::CheckBoxState::Unchecked, isEnabled());
}

void CheckListBox::toggleByUser(int index)
{
    if (item(index) == nullptr)
        return;
    setChecked(index, !checked(index));
    emit checkToggled(index);
}

void CheckListBox::mousePressEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    const QModelIndex hit = indexAt(at);
    if (event->button() == Qt::LeftButton && hit.isValid() && stripRect(hit.row()).contains(at))
        toggleByUser(hit.row());
    ListBox::mousePressEvent(event);
}

void CheckListBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    // A quick second click in the strip is one more toggle, not a double click.
    const QPoint at = event->position().toPoint();
    const QModelIndex hit = indexAt(at);
    if (event->button() == Qt::LeftButton && hit.isValid() && stripRect(hit.row()).contains(at)) {
        toggleByUser(hit.row());
        event->accept();
        return;
    }
    ListBox::mouseDoubleClickEvent(event);
}

void CheckListBox::keyPressEvent(QKeyEvent* event)
{
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) {
        ListBox::keyPressEvent(event);
        return;
    }
    if (event->key() == Qt::Key_Space) {
        if (currentRow() >= 0)
            toggleByUser(currentRow());
        return;
    }
    if (event->key() == Qt::Key_Plus || event->key() == Qt::Key_Minus) {
        const bool state = event->key() == Qt::Key_Plus;
        for (int i = 0; i < count(); ++i) {
            if (checked(i) != state)
                toggleByUser(i);
        }
        return;
    }
    ListBox::keyPressEvent(event);
}

} // namespace stowmere::app
