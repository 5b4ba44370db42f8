// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "progress/CylColors.h"
#include "progress/CylinderColorStyle.h"

#include <QImage>

#include <cstdint>

namespace stowmere::progress {

/// Pixel arithmetic of the cylinder bar. Everything here works on 24-bit images
/// (QImage::Format_BGR888: blue, green, red bytes per pixel, one row at a time)
/// and writes the bytes directly; nothing outside the image is touched.
namespace shading {

/// One lighting factor per channel.
struct Factors {
    float r = 0;
    float g = 0;
    float b = 0;
    friend bool operator==(const Factors&, const Factors&) = default;
};

/// Factor of one channel value under a style:
/// ((v * intensityFactor + intensityRGB) / Intensity + v) / rangeRGB, rounded to float.
float channelFactor(int v, const CylinderStyleValues& style);
Factors colourFactors(const colors::Rgb& colour, const CylinderStyleValues& style);

/// Channel value at shade distance t: clamp(trunc((t * step * colorFactor + colorRGB) * factor)).
std::uint8_t shadeChannel(int t, float step, const CylinderStyleValues& style, float factor);

/// Offset of the light line from the first bar row (or column): trunc(thickness / lightAngle).
int lightLineOffset(int thickness, float lightAngle);

/// Everything one shading pass needs: the bar rectangle is (c, c, W - c, H - c).
struct BarShade {
    int c = 0;
    int fillEdge = 0;
    float step = 0;
    CylinderStyleValues foreStyle;
    CylinderStyleValues backStyle;
    Factors fore;
    Factors foreLine;
    Factors back;
};

/// Horizontal bar: the shade varies from row to row; fore part from column c to
/// the fill edge, the fore line on the fill edge, the back part after it.
void shadeHorizontal(QImage& image, const BarShade& shade);

/// Vertical bar: the shade varies from column to column; back part from row c to
/// the fill edge, the fore line on the fill edge, the fore part below it.
void shadeVertical(QImage& image, const BarShade& shade);

/// Fills [left, right) x [top, bottom), clipped to the image.
void fillRect(QImage& image, int left, int top, int right, int bottom, QRgb colour);

/// A one-pixel ring on (left, top, right, bottom), right and bottom exclusive: the left
/// column and top row in topLeft, the right column and bottom row in bottomRight, so
/// only the top-left corner pixel takes topLeft.
void drawRing(QImage& image, int left, int top, int right, int bottom, QRgb topLeft, QRgb bottomRight);

/// Exclusive-or of every byte of overlay into image (both the same size and format).
void xorInto(QImage& image, const QImage& overlay);

} // namespace shading

} // namespace stowmere::progress
