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

    int width() const { return m_width; }
    int height() const { return m_height; }
    bool isEmpty() const { return m_width <= 0 || m_height <= 0; }
    std::ptrdiff_t stride() const { return m_stride; }

    /// Resizes the image; the contents are undefined afterwards (black when grown).
    void resize(int width, int height);

    std::uint8_t* row(int y) { return m_bytes.data() + y * m_stride; }
    const std::uint8_t* row(int y) const { return m_bytes.data() + y * m_stride; }

    /// The blue byte of pixel (x, y), followed by green and red; x may be width() for the
    /// end of a row.
    std::uint8_t* pixelBytes(int x, int y) { return row(y) + static_cast<std::ptrdiff_t>(x) * 3; }
    const std::uint8_t* pixelBytes(int x, int y) const { return row(y) + static_cast<std::ptrdiff_t>(x) * 3; }

    /// RGB (0x00BBGGRR) of one pixel; the caller keeps x and y inside the image.
    Color pixel(int x, int y) const;
    void setPixel(int x, int y, Color rgb);

    /// Fills the whole image with a colour (system colours resolved).
    void fill(Color color);

    /// A QImage over the same bytes; valid while this image is neither resized nor destroyed.
    QImage asQImage();
    /// A deep copy in a format any paint device accepts.
    QImage toQImage() const;
    /// A 24-bit copy of any QImage (alpha dropped).
    static Image24 fromQImage(const QImage& image);

private:
    int m_width = 0;
    int m_height = 0;
    std::ptrdiff_t m_stride = 0;
    std::vector<std::uint8_t> m_bytes;
};

} // namespace stowmere::controls
