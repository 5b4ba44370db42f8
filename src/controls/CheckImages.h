// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controls/Image24.h"

#include <QImage>
#include <QRect>

class QPainter;

namespace stowmere::controls {

/// The 8 by 8 check mark "CHECK": black on magenta, as stored with the program.
Image24 loadCheckMark();

/// What a check-list cell shows: a tick box, a cross box or a radio button.
enum class CheckKind { CheckMark, Cross, Radio };
/// The state of one check-list item.
enum class CheckBoxState { Unchecked, Checked, Grayed };

inline constexpr int kCheckCellWidth = 16;
inline constexpr int kCheckCellHeight = 13;

/// The 96 x 39 image of 16 x 13 cells: a row per kind, a column per state, the three
/// enabled states first and the three disabled ones after them. Outside the box the
/// cells are transparent so the list's own background shows through.
const QImage& checkCellImage();

/// The cell of checkCellImage for a kind, state and enabled flag.
QRect checkCellRect(CheckKind kind, CheckBoxState state, bool enabled);

/// Draws the cell centred in strip (the check list's 18-pixel strip of an item) over
/// whatever the strip already shows.
void drawCheckCell(QPainter& canvas, const QRect& strip, CheckKind kind, CheckBoxState state, bool enabled);

} // namespace stowmere::controls
