// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controls/Color.h"

#include <QImage>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace stowmere::controls {

/// An off-screen 24-bit image: rows of blue, green, red bytes, row 0 at the top.
/// Rows are padded to four bytes so that a QImage can share the bytes for the
/// QPainter primitives (rounded rectangles, regions, text) without a copy.
class Image24 {
public:
    Image24() = default;
    Image24(int width, int height);

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    bool IsEmpty() const { return m_width <= 0 || m_height <= 0; }
    std::ptrdiff_t Stride() const { return m_stride; }

    /// Resizes the image; the contents are undefined afterwards (black when grown).
    void SetSize(int width, int height);

    std::uint8_t* Row(int y) { return m_bytes.data() + y * m_stride; }
    const std::uint8_t* Row(int y) const { return m_bytes.data() + y * m_stride; }

    /// The blue byte of pixel (x, y), followed by green and red; x may be Width() for the
    /// end of a row.
    std::uint8_t* PixelBytes(int x, int y) { return Row(y) + static_cast<std::ptrdiff_t>(x) * 3; }
    const std::uint8_t* PixelBytes(int x, int y) const { return Row(y) + static_cast<std::ptrdiff_t>(x) * 3; }

    /// RGB (0x00BBGGRR) of one pixel; the caller keeps x and y inside the image.
    Color Pixel(int x, int y) const;
    void SetPixel(int x, int y, Color rgb);

    /// Fills the whole image with a colour (system colours resolved).
    void Fill(Color color);

    /// A QImage over the same bytes; valid while this image is neither resized nor destroyed.
    QImage AsQImage();
    /// A deep copy in a format any paint device accepts.
    QImage ToQImage() const;
    /// A 24-bit copy of any QImage (alpha dropped).
    static Image24 FromQImage(const QImage& image);

private:
    int m_width = 0;
    int m_height = 0;
    std::ptrdiff_t m_stride = 0;
    std::vector<std::uint8_t> m_bytes;
};

} // namespace stowmere::controls
