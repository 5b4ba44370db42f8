// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Accessibility.h"

#include "app/CheckListBox.h"
#include "app/MainWindow.h"
#include "controls/Accessibility.h"
#include "progress/Accessibility.h"

#include <QAccessibleWidget>
#include <QPersistentModelIndex>
#include <QPointer>

#include <map>

namespace stowmere::app {
namespace {

// One item of a check list: a list item that can be checked, with its check as a state and
// toggling as its action. It follows its row through insertions and removals and becomes
// invalid once the row is gone.
class AccessibleCheckItem : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    AccessibleCheckItem(CheckListBox* list, const QModelIndex& index) : m_list(list), m_index(index) {}

    bool isValid() const override { return m_list && m_index.isValid(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_list ? m_list->window()->windowHandle() : nullptr; }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ActionInterface)
            return static_cast<QAccessibleActionInterface*>(this);
        return nullptr;
    }

    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(m_list); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

    QString text(QAccessible::Text kind) const override
    {
        if (!isValid() || kind != QAccessible::Name)
            return {};
        return m_list->itemText(m_index.row());
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QRect local = m_list->visualItemRect(m_list->item(m_index.row()));
        return {m_list->viewport()->mapToGlobal(local.topLeft()), local.size()};
    }

    QAccessible::Role role() const override { return QAccessible::ListItem; }

    QAccessible::State state() const override
    {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        const int row = m_index.row();
        state.checkable = true;
        state.checked = m_list->checked(row);
        state.selectable = true;
        state.selected = m_list->item(row)->isSelected();
        state.focusable = true;
        state.focused = m_list->hasFocus() && m_list->currentRow() == row;
        state.disabled = !m_list->isEnabled();
        const QRect visible = m_list->viewport()->rect();
        state.invisible = !m_list->isVisible();
        state.offscreen = !visible.intersects(m_list->visualItemRect(m_list->item(row)));
        return state;
    }

    QStringList actionNames() const override { return {toggleAction(), setFocusAction()}; }

    void doAction(const QString& action) override
    {
        if (!isValid() || !m_list->isEnabled())
            return;
        const int row = m_index.row();
        if (action == toggleAction()) {
            m_list->toggleByUser(row);
        } else if (action == setFocusAction()) {
            m_list->setCurrentRow(row);
            m_list->setFocus(Qt::OtherFocusReason);
        }
    }

    QStringList keyBindingsForAction(const QString& action) const override
    {
        if (action == toggleAction())
            return {QStringLiteral("Space")};
        return {};
    }

private:
    QPointer<CheckListBox> m_list;
    QPersistentModelIndex m_index;
};

// The check list as a list whose children are its items alone: the viewport and scroll bars
// are the list's own machinery, not something to visit.
class AccessibleCheckList : public QAccessibleWidget {
public:
    explicit AccessibleCheckList(QWidget* widget) : QAccessibleWidget(widget, QAccessible::List)
    {
        // Rows that go away take their items' interfaces with them.
        QAbstractItemModel* model = list()->model();
        const auto forget = [this] { forgetGoneItems(); };
        m_connections = {
            QObject::connect(model, &QAbstractItemModel::rowsRemoved, list(), forget),
            QObject::connect(model, &QAbstractItemModel::modelReset, list(), forget),
            QObject::connect(model, &QAbstractItemModel::rowsMoved, list(), forget),
        };
    }

    ~AccessibleCheckList() override
    {
        for (const QMetaObject::Connection& connection : m_connections)
            QObject::disconnect(connection);
        for (const auto& [item, id] : m_items)
            QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return list()->count(); }

    QAccessibleInterface* child(int index) const override
    {
        QListWidgetItem* entry = list()->item(index);
        if (entry == nullptr)
            return nullptr;
        const auto found = m_items.find(entry);
        if (found != m_items.end()) {
            QAccessibleInterface* known = QAccessible::accessibleInterface(found->second);
            if (known != nullptr && known->isValid())
                return known;
            QAccessible::deleteAccessibleInterface(found->second);
            m_items.erase(found);
        }
        auto* item = new AccessibleCheckItem(list(), list()->indexFromItem(entry));
        m_items[entry] = QAccessible::registerAccessibleInterface(item);
        return item;
    }

    int indexOfChild(const QAccessibleInterface* child) const override
    {
        if (child == nullptr || child->role() != QAccessible::ListItem)
            return -1;
        for (const auto& [entry, id] : m_items) {
            if (QAccessible::accessibleInterface(id) == child && child->isValid())
                return list()->row(entry);
        }
        return -1;
    }

    QAccessibleInterface* childAt(int x, int y) const override
    {
        const QPoint local = list()->viewport()->mapFromGlobal(QPoint(x, y));
        QListWidgetItem* entry = list()->itemAt(local);
        return entry != nullptr ? child(list()->row(entry)) : nullptr;
    }

private:
    CheckListBox* list() const { return static_cast<CheckListBox*>(widget()); }

    void forgetGoneItems()
    {
        for (auto it = m_items.begin(); it != m_items.end();) {
            QAccessibleInterface* known = QAccessible::accessibleInterface(it->second);
            if (known == nullptr || !known->isValid()) {
                QAccessible::deleteAccessibleInterface(it->second);
                it = m_items.erase(it);
            } else {
                ++it;
            }
        }
    }

    mutable std::map<QListWidgetItem*, QAccessible::Id> m_items;
    std::vector<QMetaObject::Connection> m_connections;
};

} // namespace

QAccessibleInterface* accessibleAppWidget(const QString& className, QObject* object)
{
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget == nullptr)
        return nullptr;
    if (className == QLatin1String(CheckListBox::staticMetaObject.className()))
        return new AccessibleCheckList(widget);
    // The main window is a plain widget made a window; without this it would be read as an
    // anonymous filler rather than as the window it is.
    if (className == QLatin1String(MainWindow::staticMetaObject.className()))
        return new QAccessibleWidget(widget, QAccessible::Window);
    return nullptr;
}

void installAccessibility()
{
    controls::installAccessibility();
    progress::installAccessibility();
    QAccessible::installFactory(&accessibleAppWidget);
}

} // namespace stowmere::app
