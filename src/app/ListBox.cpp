// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ListBox.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QStyledItemDelegate>

namespace stowmere::app {
namespace {

// Hands every item to the list itself, which owns the drawing rules.
class OwnerDrawDelegate final : public QStyledItemDelegate {
public:
    explicit OwnerDrawDelegate(ListBox* list) : QStyledItemDelegate(list), m_list(list) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        m_list->paintItem(*painter, index.row(), option.rect, option.state);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override
    {
        return {option.rect.width(), ListBox::kItemHeight};
    }

private:
    ListBox* m_list;
};

} // namespace

ListBox::ListBox(QWidget* parent) : QListWidget(parent)
{
    setItemDelegate(new OwnerDrawDelegate(this));
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    QPalette colours = palette();
    colours.setColor(QPalette::Base, Qt::white);
    colours.setColor(QPalette::Text, Qt::black);
    setPalette(colours);
}

ListBox::~ListBox() = default;

QString ListBox::itemText(int index) const
{
    const QListWidgetItem* entry = item(index);
    return entry ? entry->text() : QString();
}

int ListBox::itemIndex() const
{
    const QList<QListWidgetItem*> chosen = selectedItems();
    return chosen.isEmpty() ? -1 : row(chosen.front());
}

void ListBox::setItemIndex(int index)
{
    if (index < 0 || index >= count()) {
        clearSelection();
        return;
    }
    if (currentRow() != index || itemIndex() != index)
        setCurrentRow(index);
}

void ListBox::beginUpdate()
{
    if (m_updateDepth++ == 0)
        setUpdatesEnabled(false);
}

void ListBox::endUpdate()
{
    if (m_updateDepth > 0 && --m_updateDepth == 0)
        setUpdatesEnabled(true);
}

void ListBox::paintItem(QPainter& painter, int index, const QRect& fullRect, QStyle::State state)
{
    painter.save();
    const int strip = checkStripWidth();
    // The strip is where reading starts: the right edge in a right-to-left window.
    const bool mirrored = isRightToLeft();
    if (strip > 0) {
        const QRect stripRect(mirrored ? fullRect.right() + 1 - strip : fullRect.left(), fullRect.top(),
                              strip, fullRect.height());
        painter.fillRect(stripRect, palette().color(QPalette::Base));
        drawStrip(painter, index, stripRect);
    }
    const QRect itemRect = mirrored ? fullRect.adjusted(0, 0, -strip, 0) : fullRect.adjusted(strip, 0, 0, 0);
    painter.setClipRect(itemRect);
    const bool selected = state.testFlag(QStyle::State_Selected);
    painter.setFont(font());
    painter.setBrush(selected ? palette().color(QPalette::Highlight) : palette().color(QPalette::Base));
    painter.setPen(selected ? palette().color(QPalette::HighlightedText) : palette().color(QPalette::Text));
    if (m_onDrawItem) {
        m_onDrawItem(*this, index, painter, itemRect, state);
    } else {
        painter.fillRect(itemRect, painter.brush());
        painter.drawText(itemRect.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, itemText(index));
    }
    painter.restore();
    if (state.testFlag(QStyle::State_HasFocus) && hasFocus()) {
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
        painter.drawRect(itemRect.adjusted(0, 0, -1, -1));
        painter.restore();
    }
}

void ListBox::drawStrip(QPainter&, int, const QRect&) {}

void ListBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    QListWidget::mouseDoubleClickEvent(event);
    emit listDoubleClicked();
}

void ListBox::mouseReleaseEvent(QMouseEvent* event)
{
    QListWidget::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && indexAt(event->position().toPoint()).isValid())
        emit itemPicked();
}

bool ListBox::event(QEvent* event)
{
    // The windowing system may turn the Menu key into a menu request of its own as well as
    // delivering the key; the key alone opens the menu (keyPressEvent), once.
    if (event->type() == QEvent::ContextMenu &&
        static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard) {
        event->accept();
        return true;
    }
    return QListWidget::event(event);
}

bool ListBox::isMenuKey(const QKeyEvent* event)
{
    const Qt::KeyboardModifiers modifiers =
        event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    return (event->key() == Qt::Key_Menu && modifiers == Qt::NoModifier) ||
           (event->key() == Qt::Key_F10 && modifiers == Qt::ShiftModifier);
}

void ListBox::requestMenuByKey()
{
    // The menu opens at the current item, as if it had been right-clicked there, or at the
    // list's corner when there is none.
    const QListWidgetItem* current = currentItem();
    const QPoint at = current != nullptr ? visualItemRect(current).center() : QPoint(2, 2);
    if (contextMenuPolicy() == Qt::CustomContextMenu) {
        emit customContextMenuRequested(at);
        return;
    }
    QContextMenuEvent menuEvent(QContextMenuEvent::Keyboard, at, viewport()->mapToGlobal(at));
    QListWidget::viewportEvent(&menuEvent);
}

void ListBox::keyPressEvent(QKeyEvent* event)
{
    if (isMenuKey(event)) {
        requestMenuByKey();
        event->accept();
        return;
    }
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        emit returnPressed();
        event->accept();
        return;
    }
    const int before = currentRow();
    QListWidget::keyPressEvent(event);
    // Moving the selection with the keyboard picks an item like a click does.
    if (currentRow() != before && currentRow() >= 0)
        emit itemPicked();
}

} // namespace stowmere::app
