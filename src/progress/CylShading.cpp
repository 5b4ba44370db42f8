// SPDX-License-Identifier: GPL-3.0-or-later
#include "progress/CylShading.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace stowmere::progress::shading {

namespace {

struct Bgr {
    std::uint8_t b;
    std::uint8_t g;
    std::uint8_t r;
};

Bgr shadePixel(int t, float step, const CylinderStyleValues& style, const Factors& f)
{
    return {shadeChannel(t, step, style, f.b), shadeChannel(t, step, style, f.g),
            shadeChannel(t, step, style, f.r)};
}

inline void putPixel(std::uint8_t* row, int x, Bgr p)
{
    std::uint8_t* px = row + 3 * static_cast<std::ptrdiff_t>(x);
    px[0] = p.b;
    px[1] = p.g;
    px[2] = p.r;
}

// Writes one colour over columns [from, to] of a row, clipped to the image width.
void putRun(std::uint8_t* row, int width, int from, int to, Bgr p)
{
    from = std::max(from, 0);
    to = std::min(to, width - 1);
    for (int x = from; x <= to; ++x)
        putPixel(row, x, p);
}

} // namespace

float channelFactor(int v, const CylinderStyleValues& style)
{
    const double value = v;
    const double f =
        ((value * double(style.IntensityFactor) + double(style.IntensityRGB)) / double(style.Intensity) +
         value) /
        double(style.RangeRGB);
    return static_cast<float>(f);
}

Factors colourFactors(const colors::Rgb& colour, const CylinderStyleValues& style)
{
    return {channelFactor(colour.r, style), channelFactor(colour.g, style), channelFactor(colour.b, style)};
}

std::uint8_t shadeChannel(int t, float step, const CylinderStyleValues& style, float factor)
{
    const double v =
        (double(t) * double(step) * double(style.ColorFactor) + double(style.ColorRGB)) * double(factor);
    const double clipped = std::clamp(std::trunc(v), 0.0, 255.0);
    return static_cast<std::uint8_t>(clipped);
}

int lightLineOffset(int thickness, float lightAngle)
{
    return static_cast<int>(std::trunc(double(thickness) / double(lightAngle)));
}

void shadeHorizontal(QImage& image, const BarShade& s)
{
    const int W = image.width();
    const int H = image.height();
    const int h = H - 2 * s.c;
    const int df = lightLineOffset(h, s.foreStyle.LightAngle);
    const int db = lightLineOffset(h, s.backStyle.LightAngle);
    for (int y = std::max(s.c, 0); y <= std::min(H - s.c - 1, H - 1); ++y) {
        std::uint8_t* row = image.scanLine(y);
        const int tf = std::abs(df + (y - s.c));
        const int tb = std::abs(db + (y - s.c));
        putRun(row, W, s.c, s.fillEdge, shadePixel(tf, s.step, s.foreStyle, s.fore));
        if (s.fillEdge >= 0 && s.fillEdge < W)
            putPixel(row, s.fillEdge, shadePixel(tf, s.step, s.foreStyle, s.foreLine));
        putRun(row, W, s.fillEdge + 1, W - s.c - 1, shadePixel(tb, s.step, s.backStyle, s.back));
    }
}

void shadeVertical(QImage& image, const BarShade& s)
{
    const int W = image.width();
    const int H = image.height();
    const int w = W - 2 * s.c;
    const int left = std::max(s.c, 0);
    const int right = std::min(W - s.c - 1, W - 1);
    if (right < left)
        return;
    const int df = lightLineOffset(w, s.foreStyle.LightAngle);
    const int db = lightLineOffset(w, s.backStyle.LightAngle);

    // The shade depends on the column only, so each part is one row pattern
    // copied to all the rows it covers.
    const int span = right - left + 1;
    const std::size_t bytes = 3 * static_cast<std::size_t>(span);
    std::vector<std::uint8_t> back(bytes), fore(bytes), line(bytes);
    for (int x = left; x <= right; ++x) {
        const int i = x - left;
        putPixel(back.data(), i, shadePixel(std::abs(db + (x - s.c)), s.step, s.backStyle, s.back));
        putPixel(fore.data(), i, shadePixel(std::abs(df + (x - s.c)), s.step, s.foreStyle, s.fore));
        putPixel(line.data(), i, shadePixel(std::abs(df + (x - s.c)), s.step, s.foreStyle, s.foreLine));
    }
    const auto copyRow = [&](int y, const std::vector<std::uint8_t>& pattern) {
        if (y < 0 || y >= H)
            return;
        std::memcpy(image.scanLine(y) + 3 * static_cast<std::ptrdiff_t>(left), pattern.data(), bytes);
    };
    for (int y = s.c; y <= s.fillEdge; ++y)
        copyRow(y, back);
    copyRow(s.fillEdge, line);
    for (int y = s.fillEdge + 1; y <= H - s.c - 1; ++y)
        copyRow(y, fore);
}

void fillRect(QImage& image, int left, int top, int right, int bottom, QRgb colour)
{
    const Bgr p{static_cast<std::uint8_t>(qBlue(colour)), static_cast<std::uint8_t>(qGreen(colour)),
                static_cast<std::uint8_t>(qRed(colour))};
    top = std::max(top, 0);
    bottom = std::min(bottom, image.height());
    for (int y = top; y < bottom; ++y)
        putRun(image.scanLine(y), image.width(), left, right - 1, p);
}

void drawRing(QImage& image, int left, int top, int right, int bottom, QRgb topLeft, QRgb bottomRight)
{
    if (right <= left || bottom <= top)
        return;
    fillRect(image, left, top, left + 1, bottom - 1, topLeft);
    fillRect(image, left, top, right - 1, top + 1, topLeft);
    fillRect(image, right - 1, top, right, bottom, bottomRight);
    fillRect(image, left, bottom - 1, right, bottom, bottomRight);
}

void xorInto(QImage& image, const QImage& overlay)
{
    const int rows = std::min(image.height(), overlay.height());
    const int cols = std::min(image.width(), overlay.width());
    const std::size_t bytes = 3 * static_cast<std::size_t>(std::max(cols, 0));
    for (int y = 0; y < rows; ++y) {
        std::uint8_t* dst = image.scanLine(y);
        const std::uint8_t* src = overlay.constScanLine(y);
        for (std::size_t i = 0; i < bytes; ++i)
            dst[i] ^= src[i];
    }
}

} // namespace stowmere::progress::shading
