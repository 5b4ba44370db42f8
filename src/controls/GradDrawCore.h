// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controls/Color.h"
#include "controls/Image24.h"
#include "controls/Rect.h"

#include <QFlags>
#include <QFont>
#include <QRegion>
#include <QString>

#include <initializer_list>
#include <span>

class QPainter;

namespace stowmere::controls {

class GradientControl;

// Ordinals are stored in form files and used by the arithmetic: keep the order.
enum class GradientType {
    Horizontal,
    Vertical,
    FromTopLeft,
    FromTopRight,
    Radial,
    DoubleHorizontal,
    DoubleVertical
};
enum class FadeSpeed { Slow, Medium, Fast, VeryFast };
enum class CaptionPosition {
    GroupBox,
    TopLeft,
    TopCenter,
    TopRight,
    MiddleLeft,
    MiddleCenter,
    MiddleRight,
    BottomLeft,
    BottomCenter,
    BottomRight
};

/// Text-format flags understood by drawFormattedText (alignment, line mode, prefix, ellipsis).
enum class TextFlag : unsigned {
    Left = 0x0,
    Center = 0x1,
    Right = 0x2,
    Top = 0x0,
    VCenter = 0x4,
    Bottom = 0x8,
    WordBreak = 0x10,
    SingleLine = 0x20,
    NoPrefix = 0x800,
    PathEllipsis = 0x4000,
    EndEllipsis = 0x8000,
};
Q_DECLARE_FLAGS(TextFlags, TextFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(TextFlags)

enum class GradientDirection { Vertical, Horizontal };

/// Rounds to the nearest integer, an exact half to the even neighbour.
int roundHalfEven(double value);

/// A rectangle with elliptic corners cornerWidth wide and cornerHeight high.
QRegion roundRectRegion(const Rect& rect, int cornerWidth, int cornerHeight);

/// Fills rect of image with a two-colour gradient; with a region only its pixels are touched.
void fillGradient(Image24& image, const Rect& rect, Color fromColour, Color toColour, GradientType type,
                  const QRegion* region = nullptr);

/// Fills the pixels of region (clipped to the image) with one colour.
void fillRegion(Image24& image, const QRegion& region, Color color);
void fillRect(Image24& image, const Rect& rect, Color color);

/// Mixes source, read from its own origin, into rect of dest by percent.
void blendImage(Image24& dest, const Image24& source, const Rect& rect, int percent);

/// Copies base into dest at rect's corner shifted by offset, then blends layer over rect by percent.
void composeLayers(Image24& dest, const Image24& base, const Image24& layer, int percent, const Rect& rect,
                   int offset);

/// Shrinks a factor-times supersampled image into small, averaging only the outer band
/// ((band < 1 ? factor : band) div 2 pixels) and filling the rest with fillColour.
void reduceSupersampled(const Image24& large, Image24& small, int factor, Color fillColour, int band);

/// Recolours every pixel to its grey average plus the tint, per channel, capped at 255.
void tintImage(Image24& image, Color tint);

/// Copies source to (x, y) of dest, skipping pixels of the colour of source's bottom-left pixel.
void drawTransparent(Image24& dest, const Image24& source, int x, int y);

/// Draws a one-pixel outline of rect.
void frameRect(Image24& image, const Rect& rect, Color color);

/// The dotted focus rectangle: every other pixel of the outline inverted.
void drawFocusRect(Image24& image, const Rect& rect);

/// Draws text into rect with TextFlags: alignment, single line or word wrap,
/// accelerator prefix (an ampersand underlines the next character unless TextFlag::NoPrefix),
/// end ellipsis or path ellipsis. Uses the painter's font and pen.
void drawFormattedText(QPainter& canvas, const QString& text, const Rect& rect, TextFlags format);

/// A path that fits width: the start and the last component are kept, the middle becomes "...".
QString elidePath(const QString& path, const QFontMetrics& metrics, int width);

/// Draws one caption with an optional shadow, or embossed when disabled.
void drawCaption(QPainter& canvas, const QString& text, const QFont& font, Color fontColour,
                 Color shadowColour, bool shadowOn, TextFlags format, const Rect& rect, bool enabled);

/// Format flags for a caption: alignment 0 left, 1 right, 2 centred.
TextFlags captionFormat(int alignment, bool wrap);

/// Timer interval of a fade speed in milliseconds.
int fadeInterval(FadeSpeed speed);

/// (Re)starts the control's fade timer with the interval of its fade speed.
void startFade(GradientControl& control);

/// Paints rect with one-pixel lines blending through colors (at least two, else MathError).
void drawGradient(QPainter& canvas, const Rect& rect, GradientDirection direction,
                  std::span<const Color> colors);
void drawGradient(QPainter& canvas, const Rect& rect, GradientDirection direction,
                  std::initializer_list<Color> colors);

} // namespace stowmere::controls
