// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/Image24.h"

#include <algorithm>
#include <cstring>

namespace stowmere::controls {

Image24::Image24(int width, int height)
{
    resize(width, height);
}

void Image24::resize(int width, int height)
{
    m_width = std::max(width, 0);
    m_height = std::max(height, 0);
    m_stride = (static_cast<std::ptrdiff_t>(m_width) * 3 + 3) & ~std::ptrdiff_t{3};
    m_bytes.assign(static_cast<std::size_t>(m_stride) * static_cast<std::size_t>(m_height), 0);
}

Color Image24::pixel(int x, int y) const
{
    const std::uint8_t* p = pixelBytes(x, y);
    return Color::rgb(p[2], p[1], p[0]);
}

void Image24::setPixel(int x, int y, Color rgb)
{
    std::uint8_t* p = pixelBytes(x, y);
    p[0] = static_cast<std::uint8_t>(rgb.blue());
    p[1] = static_cast<std::uint8_t>(rgb.green());
    p[2] = static_cast<std::uint8_t>(rgb.red());
}

void Image24::fill(Color color)
{
    if (isEmpty())
        return;
    const Color rgb = resolvedRgb(color);
    std::uint8_t* first = row(0);
    for (int x = 0; x < m_width; ++x) {
        std::uint8_t* p = pixelBytes(x, 0);
        p[0] = static_cast<std::uint8_t>(rgb.blue());
        p[1] = static_cast<std::uint8_t>(rgb.green());
        p[2] = static_cast<std::uint8_t>(rgb.red());
    }
    for (int y = 1; y < m_height; ++y)
        std::memcpy(row(y), first, static_cast<std::size_t>(m_width) * 3);
}

QImage Image24::asQImage()
{
    if (isEmpty())
        return QImage();
    return QImage(m_bytes.data(), m_width, m_height, m_stride, QImage::Format_BGR888);
}

QImage Image24::toQImage() const
{
    if (isEmpty())
        return QImage();
    return QImage(m_bytes.data(), m_width, m_height, m_stride, QImage::Format_BGR888)
        .convertToFormat(QImage::Format_RGB32);
}

Image24 Image24::fromQImage(const QImage& image)
{
    Image24 result(image.width(), image.height());
    if (result.isEmpty())
        return result;
    const QImage converted = image.convertToFormat(QImage::Format_BGR888);
    for (int y = 0; y < result.m_height; ++y)
        std::memcpy(result.row(y), converted.constScanLine(y), static_cast<std::size_t>(result.m_width) * 3);
    return result;
}

} // namespace stowmere::controls
