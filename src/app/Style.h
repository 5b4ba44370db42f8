// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controls/Color.h"

#include <QFont>

class QHBoxLayout;
class QHeaderView;
class QImage;
class QString;
class QVBoxLayout;
class QWidget;

namespace stowmere::controls {
class GradientButton;
class GradientCheckBox;
class GradientPanel;
} // namespace stowmere::controls

// The look the program's windows share: fonts, the button colour set, the title and
// button-bar panels. Kept in one place so the main window and the editor stay alike.
namespace stowmere::app::style {

/// "MS Sans Serif" of the window definitions: the default sans font at a pixel height.
QFont sansFont(int pixelHeight, bool bold = false);
/// "Arial": Liberation Sans at a pixel height.
QFont arialFont(int pixelHeight, bool bold = false);

/// The main window's shared button colours; large buttons have a white face, the small
/// ones of the button bars a green one.
void applyButtonColours(controls::GradientButton& button, bool large);

/// A gradient button with caption, glyph on the left and spacing.
controls::GradientButton* makeButton(QWidget* parent, const QString& caption, const QImage& glyph,
                                     int spacing, bool large);

/// The blue title bar: double-vertical gradient, white bold Arial caption in the middle.
void styleTitlePanel(controls::GradientPanel& panel, const QString& caption);
/// The green button bar at the bottom of a window.
void styleButtonBar(controls::GradientPanel& panel);
/// A white list frame: an anti-aliased silver frame of the given width on silver.
void styleWhitePanel(controls::GradientPanel& panel, int borderWidth);
/// The editor's middle panel: white with rounded, anti-aliased silver corners.
void styleRoundedPanel(controls::GradientPanel& panel);

/// A dialog in the program's look: the blue title panel with caption on top, the content
/// between, the green button bar at the bottom with its buttons on the right.
struct DialogFrame {
    QVBoxLayout* content = nullptr;
    QHBoxLayout* buttons = nullptr;
};
DialogFrame frameDialog(QWidget& dialog, const QString& caption);
/// A small green gradient button for a dialog's button bar.
controls::GradientButton* makeBarButton(QWidget* parent, const QString& caption);

/// A plain white gradient check box with white text and a green check on the button bar.
void styleBarCheckBox(controls::GradientCheckBox& box, const QString& caption);
/// The designed width, or more when the platform's font needs it for the whole caption.
int checkBoxWidth(const controls::GradientCheckBox& box, int designedWidth);
/// The width of a button: designedWidth, or more when its caption and glyph (in the user's
/// language) need it.
int buttonWidth(const controls::GradientButton& button, int designedWidth);
/// Keeps every section of header at least as wide as the widest title needs, so that no
/// title (in the user's language) is cut off; a narrow view scrolls instead.
void holdHeaderTitles(QHeaderView& header);

} // namespace stowmere::app::style
