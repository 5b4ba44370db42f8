// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/ListBox.h"

namespace stowmere::app {

/// An owner-drawn list whose items each carry a check mark in an 18-pixel strip at their
/// left edge (right edge in a right-to-left window). A left press in the strip toggles that item (a quick
/// second press too), space toggles the current item, "+" checks and "-" unchecks every item. Refilling
/// leaves every item unchecked. Assistive technology sees each item as a checkable list item
/// (app/Accessibility.h).
class CheckListBox : public ListBox {
    Q_OBJECT

public:
    /// The strip is one 16 x 13 check-box cell plus one pixel on each side.
    static constexpr int kStripWidth = 18;

    explicit CheckListBox(QWidget* parent = nullptr);

    bool checked(int index) const;
    /// Sets one item's check and repaints only its check box.
    void setChecked(int index, bool checked);
    int checkedCount() const;
    /// Flips one item's check as the user does, emitting checkToggled.
    void toggleByUser(int index);

    int checkStripWidth() const override { return kStripWidth; }

signals:
    /// The user changed item index's check (mouse or keyboard); not raised by setChecked.
    void checkToggled(int index);

protected:
    void drawStrip(QPainter& painter, int index, const QRect& stripRect) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QRect stripRect(int index) const;
};

} // namespace stowmere::app
