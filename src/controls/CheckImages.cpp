// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/CheckImages.h"

#include "controls/GradDrawCore.h"

#include <QPainter>

#include <array>

namespace stowmere::controls {

namespace {

// X = black mark, . = magenta background; the bottom-left pixel is the transparent colour.
constexpr std::array<const char*, 8> kCheckRows = {
    "........", ".......X", "......XX", ".X...XXX", ".XX.XXX.", ".XXXXX..", "..XXX...", "...X....",
};

QImage buildCells()
{
    QImage cells(6 * kCheckCellWidth, 3 * kCheckCellHeight, QImage::Format_ARGB32_Premultiplied);
    cells.fill(Qt::transparent);
    const Image24 mark = loadCheckMark();
    for (const CheckKind kind : {CheckKind::CheckMark, CheckKind::Cross, CheckKind::Radio}) {
        const int row = static_cast<int>(kind);
        for (int column = 0; column < 6; ++column) {
            const bool enabled = column < 3;
            const auto state = static_cast<CheckBoxState>(column % 3);
            // The box matches the gradient check box: a white to blue-grey face in a grey outline.
            Image24 box(13, 13);
            if (enabled)
                fillGradient(box, {0, 0, 13, 13}, Color::rgb(255, 255, 255), Color::rgb(175, 190, 209),
                             GradientType::FromTopLeft);
            else
                box.fill(colors::ButtonFace);
            const Color ink = !enabled || state == CheckBoxState::Grayed ? Color::rgb(128, 128, 128)
                                                                         : Color::rgb(0, 128, 0);
            if (kind == CheckKind::Radio) {
                fillRect(box, {0, 0, 13, 13}, Color::rgb(255, 0, 255));
            } else {
                frameRect(box, {0, 0, 13, 13},
                          enabled ? Color::rgb(128, 128, 128) : Color::rgb(160, 160, 160));
            }
            if (kind == CheckKind::CheckMark && state != CheckBoxState::Unchecked) {
                Image24 tinted = mark;
                tintImage(tinted, ink);
                drawTransparent(box, tinted, 2, 2);
            }
            QImage boxImage = box.toQImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
            const int left = column * kCheckCellWidth + 1;
            const int top = row * kCheckCellHeight;
            QPainter painter(&cells);
            if (kind == CheckKind::Radio) {
                painter.setRenderHint(QPainter::Antialiasing);
                painter.setPen(QPen(enabled ? QColor(128, 128, 128) : QColor(160, 160, 160), 1));
                QLinearGradient face(left, top, left + 13, top + 13);
                face.setColorAt(0, Qt::white);
                face.setColorAt(1, enabled ? QColor(175, 190, 209) : toQColor(colors::ButtonFace));
                painter.setBrush(enabled ? QBrush(face) : QBrush(toQColor(colors::ButtonFace)));
                painter.drawEllipse(QRectF(left + 0.5, top + 0.5, 12, 12));
                if (state != CheckBoxState::Unchecked) {
                    painter.setPen(Qt::NoPen);
                    painter.setBrush(toQColor(ink));
                    painter.drawEllipse(QRectF(left + 4, top + 4, 5, 5));
                }
                continue;
            }
            painter.drawImage(left, top, boxImage);
            if (kind == CheckKind::Cross && state != CheckBoxState::Unchecked) {
                painter.setRenderHint(QPainter::Antialiasing);
                painter.setPen(QPen(toQColor(ink == Color::rgb(0, 128, 0) ? Color::rgb(192, 0, 0) : ink), 2));
                painter.drawLine(QPointF(left + 3.5, top + 3.5), QPointF(left + 9.5, top + 9.5));
                painter.drawLine(QPointF(left + 9.5, top + 3.5), QPointF(left + 3.5, top + 9.5));
            }
        }
    }
    return cells;
}

} // namespace

Image24 loadCheckMark()
{
    Image24 mark(8, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            mark.setPixel(x, y,
                          kCheckRows[static_cast<std::size_t>(y)][x] == 'X' ? Color::rgb(0, 0, 0)
                                                                            : Color::rgb(255, 0, 255));
    return mark;
}

const QImage& checkCellImage()
{
    // Built on first use, after the application palette exists.
    static const QImage cells = buildCells();
    return cells;
}

QRect checkCellRect(CheckKind kind, CheckBoxState state, bool enabled)
{
    const int column = static_cast<int>(state) + (enabled ? 0 : 3);
    return QRect(column * kCheckCellWidth, static_cast<int>(kind) * kCheckCellHeight, kCheckCellWidth,
                 kCheckCellHeight);
}

void drawCheckCell(QPainter& canvas, const QRect& strip, CheckKind kind, CheckBoxState state, bool enabled)
{
    const QRect cell = checkCellRect(kind, state, enabled);
    const int x = strip.left() + (strip.width() - kCheckCellWidth) / 2;
    const int y = strip.top() + (strip.height() - kCheckCellHeight) / 2;
    canvas.drawImage(QPoint(x, y), checkCellImage(), cell);
}

} // namespace stowmere::controls
