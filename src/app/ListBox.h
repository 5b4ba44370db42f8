// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QListWidget>
#include <QStyle>

#include <functional>

namespace stowmere::app {

/// An owner-drawn list of texts with a fixed item height: the owner paints every item
/// through the draw handler, the list adds the dotted focus rectangle. itemPicked is emitted
/// when the user picks an item with the mouse or the keyboard, never when the program sets
/// the current item; listDoubleClicked on every double click, also below the last item. The
/// Menu key and Shift+F10 ask for the context menu of the current item.
class ListBox : public QListWidget {
    Q_OBJECT

public:
    /// The draw handler gets the item index, its rectangle (right of any check strip) and
    /// its state; the painter comes prepared with the list's font, a white brush and a
    /// black pen, or the highlight colours for a selected item.
    using DrawItemHandler = std::function<void(ListBox& list, int index, QPainter& painter, const QRect& rect,
                                               QStyle::State state)>;

    static constexpr int kItemHeight = 21;

    explicit ListBox(QWidget* parent = nullptr);
    ~ListBox() override;

    void setOnDrawItem(DrawItemHandler handler) { m_onDrawItem = std::move(handler); }

    QString itemText(int index) const;
    /// The list's selection (-1 when none).
    int itemIndex() const;
    /// Selects an item by program, emitting no itemPicked.
    void setItemIndex(int index);

    void beginUpdate();
    void endUpdate();

    /// Width of the strip at each item's left edge (right edge in a right-to-left window) that
    /// the owner's rectangle leaves out.
    virtual int checkStripWidth() const { return 0; }

    /// Paints one item: the strip, the owner's drawing (or plain text), the focus frame.
    void paintItem(QPainter& painter, int index, const QRect& fullRect, QStyle::State state);

signals:
    /// The user picked an item: a left click on it, or the keyboard moved the selection.
    void itemPicked();
    /// A double click anywhere in the list, on an item or on the empty space below them.
    void listDoubleClicked();
    /// Return or Enter in the list: the keyboard's way to open what a double click opens.
    void returnPressed();

protected:
    /// Draws what belongs into the strip of one item.
    virtual void drawStrip(QPainter& painter, int index, const QRect& stripRect);

    bool event(QEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

    /// The Menu key or Shift+F10, which ask for the focused list's context menu.
    static bool isMenuKey(const QKeyEvent* event);
    /// Asks for the context menu of the current item, as a right click on it would.
    void requestMenuByKey();

private:
    DrawItemHandler m_onDrawItem;
    int m_updateDepth = 0;
    int m_pressRow = -1;
};

} // namespace stowmere::app
