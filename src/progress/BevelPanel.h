// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controls/Color.h"

#include <QWidget>

namespace stowmere::progress {

/// A plain panel: a sunken client edge, inside it a raised bevel of bevelWidth
/// pixels and a border band of borderWidth pixels in the panel's colour.
/// Children are placed relative to the client area inside the sunken edge.
class BevelPanel : public QWidget {
    Q_OBJECT

public:
    explicit BevelPanel(QWidget* parent = nullptr);

    /// Width of the sunken client edge; child positions are offset by it.
    static constexpr int EdgeWidth = 2;

    stowmere::controls::Color color() const { return m_color; }
    void setColor(stowmere::controls::Color value);
    int bevelWidth() const { return m_bevelWidth; }
    void setBevelWidth(int value);
    int borderWidth() const { return m_borderWidth; }
    void setBorderWidth(int value);

    /// Places a child at (left, top) of the client area with the given size.
    void place(QWidget* child, int left, int top, int width, int height);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    stowmere::controls::Color m_color = stowmere::controls::colors::ButtonFace;
    int m_bevelWidth = 1;
    int m_borderWidth = 0;
};

} // namespace stowmere::progress
