// SPDX-License-Identifier: GPL-3.0-or-later
#include "progress/GifComposer.h"

#include "progress/CylColors.h"

#include <algorithm>

namespace stowmere::progress {

void GifComposer::reset()
{
    m_image = QImage();
    m_index = -1;
    m_key.reset();
    m_marked = false;
    m_incremental = false;
}

void GifComposer::drawFrame(const GifFrame& frame)
{
    const int W = m_image.width();
    const int H = m_image.height();
    const int colours = static_cast<int>(frame.colours.size());
    for (int y = 0; y < frame.height; ++y) {
        const int sy = frame.top + y;
        if (sy < 0 || sy >= H)
            continue;
        auto* row = reinterpret_cast<QRgb*>(m_image.scanLine(sy));
        const std::uint8_t* src =
            frame.indices.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(frame.width);
        for (int x = 0; x < frame.width; ++x) {
            const int sx = frame.left + x;
            if (sx < 0 || sx >= W)
                continue;
            const int index = src[x];
            if (index == frame.transparentIndex)
                continue;
            // An index beyond the colour table is drawn black, as most decoders do.
            row[sx] = index < colours ? (frame.colours[static_cast<std::size_t>(index)] | 0xFF000000u)
                                      : qRgb(0, 0, 0);
        }
    }
}

void GifComposer::fillFrameRect(const GifFrame& frame, QRgb colour)
{
    const int left = std::max(frame.left, 0);
    const int top = std::max(frame.top, 0);
    const int right = std::min(frame.left + frame.width, m_image.width());
    const int bottom = std::min(frame.top + frame.height, m_image.height());
    for (int y = top; y < bottom; ++y) {
        auto* row = reinterpret_cast<QRgb*>(m_image.scanLine(y));
        std::fill(row + left, row + std::max(right, left), colour | 0xFF000000u);
    }
}

const QImage& GifComposer::compose(const GifPicture& picture, int n, bool transparent)
{
    const int count = picture.frameCount();
    if (count == 0 || picture.width() < 1 || picture.height() < 1 ||
        static_cast<long long>(picture.width()) * picture.height() > MaxPixels) {
        reset();
        return m_image;
    }
    n = std::clamp(n, 0, count - 1);

    m_incremental =
        !m_image.isNull() && m_index >= 0 && n == m_index + 1 && picture.frame(m_index).disposal != 3;
    if (m_incremental) {
        const GifFrame& cached = picture.frame(m_index);
        if (cached.disposal == 2)
            fillFrameRect(cached, m_background);
    } else {
        // A new image: its background is the first frame's transparent colour (then
        // also the key colour), else the picture's background when the picture is
        // transparent, else the window colour.
        m_key.reset();
        const GifFrame& current = picture.frame(picture.currentFrame());
        if (current.transparentColour) {
            m_background = *current.transparentColour;
            m_key = m_background;
        } else if (picture.backgroundColour() && picture.countsAsTransparent()) {
            m_background = *picture.backgroundColour();
        } else {
            m_background = colors::resolve(colors::Window);
        }
        m_image = QImage(picture.width(), picture.height(), QImage::Format_RGB32);
        if (m_image.isNull()) {
            // Out of memory: show nothing rather than write through a null image.
            reset();
            return m_image;
        }
        m_image.fill(m_background | 0xFF000000u);

        // Start from the latest frame at or before n that repaints the whole screen
        // by itself, so earlier frames need not be replayed.
        int start = 0;
        for (int i = n; i >= 1; --i) {
            const GifFrame& f = picture.frame(i);
            const bool full = f.width == picture.width() && f.height == picture.height();
            if (full && (!f.transparentColour || (f.disposal == 2 && i < n))) {
                start = i;
                break;
            }
        }
        for (int i = start; i < n; ++i) {
            const GifFrame& f = picture.frame(i);
            if (f.disposal == 0 || f.disposal == 1)
                drawFrame(f);
            else if (f.disposal == 2 && i > start)
                fillFrameRect(f, m_background);
        }
    }
    drawFrame(picture.frame(n));
    if (!m_incremental)
        m_marked = m_key.has_value() && transparent;
    m_index = n;
    return m_image;
}

QImage GifComposer::displayImage() const
{
    if (!m_marked || !m_key || m_image.isNull())
        return m_image;
    QImage out = m_image.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = *m_key | 0xFF000000u;
    for (int y = 0; y < out.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x)
            if (row[x] == key)
                row[x] = 0;
    }
    return out;
}

} // namespace stowmere::progress
