// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/Image24.h"

#include <algorithm>
#include <cstring>

namespace stowmere::controls {

Image24::Image24(int width, int height)
{
    SetSize(width, height);
}

void Image24::SetSize(int width, int height)
{
    m_width = std::max(width, 0);
    m_height = std::max(height, 0);
    m_stride = (static_cast<std::ptrdiff_t>(m_width) * 3 + 3) & ~std::ptrdiff_t{3};
    m_bytes.assign(static_cast<std::size_t>(m_stride) * static_cast<std::size_t>(m_height), 0);
}

Color Image24::Pixel(int x, int y) const
{
    const std::uint8_t* p = PixelBytes(x, y);
    return RGB(p[2], p[1], p[0]);
}

void Image24::SetPixel(int x, int y, Color rgb)
{
    std::uint8_t* p = PixelBytes(x, y);
    p[0] = static_cast<std::uint8_t>(GetBValue(rgb));
    p[1] = static_cast<std::uint8_t>(GetGValue(rgb));
    p[2] = static_cast<std::uint8_t>(GetRValue(rgb));
}

void Image24::Fill(Color color)
{
    if (IsEmpty())
        return;
    const Color rgb = ColorToRGB(color);
    std::uint8_t* first = Row(0);
    for (int x = 0; x < m_width; ++x) {
        std::uint8_t* p = PixelBytes(x, 0);
        p[0] = static_cast<std::uint8_t>(GetBValue(rgb));
        p[1] = static_cast<std::uint8_t>(GetGValue(rgb));
        p[2] = static_cast<std::uint8_t>(GetRValue(rgb));
    }
    for (int y = 1; y < m_height; ++y)
        std::memcpy(Row(y), first, static_cast<std::size_t>(m_width) * 3);
}

QImage Image24::AsQImage()
{
    if (IsEmpty())
        return QImage();
    return QImage(m_bytes.data(), m_width, m_height, m_stride, QImage::Format_BGR888);
}

QImage Image24::ToQImage() const
{
    if (IsEmpty())
        return QImage();
    return QImage(m_bytes.data(), m_width, m_height, m_stride, QImage::Format_BGR888)
        .convertToFormat(QImage::Format_RGB32);
}

Image24 Image24::FromQImage(const QImage& image)
{
    Image24 result(image.width(), image.height());
    if (result.IsEmpty())
        return result;
    const QImage converted = image.convertToFormat(QImage::Format_BGR888);
    for (int y = 0; y < result.m_height; ++y)
        std::memcpy(result.Row(y), converted.constScanLine(y), static_cast<std::size_t>(result.m_width) * 3);
    return result;
}

} // namespace stowmere::controls
