// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRgb>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace stowmere::progress {

/// One image of a GIF picture, as the animator uses it.
struct GifFrame {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    /// Colour indices, width * height, rows top to bottom (interlacing undone).
    std::vector<std::uint8_t> indices;
    /// The frame's colour table: its local one, else the global one.
    std::vector<QRgb> colours;
    /// Index left out when the frame is drawn, -1 for none.
    int transparentIndex = -1;
    /// Colour of the transparent index in the frame's table, if it has one.
    std::optional<QRgb> transparentColour;
    /// Largest delay of the frame's graphic-control extensions, in milliseconds.
    int delayMs = 0;
    /// 0 none, 1 leave in place, 2 restore to background, 3 restore to previous.
    int disposal = 0;
};

/// A decoded multi-frame GIF picture (GIF87a or GIF89a), decoded with giflib.
class GifPicture {
public:
    GifPicture() = default;

    /// Largest logical screen accepted, in pixels.
    static constexpr long long MaxPixels = 1LL << 24;

    /// Decodes a whole GIF file held in memory. Throws GifError when the bytes are
    /// not a GIF or are damaged.
    static GifPicture decode(std::span<const std::byte> bytes);
    /// Reads and decodes a file (also a Qt resource path such as ":/progress/busy.gif").
    static GifPicture load(const QString& path);

    bool isEmpty() const { return m_frames.empty(); }
    int width() const { return m_width; }
    int height() const { return m_height; }
    int frameCount() const { return static_cast<int>(m_frames.size()); }
    const GifFrame& frame(int index) const { return m_frames.at(static_cast<std::size_t>(index)); }
    const std::vector<GifFrame>& frames() const { return m_frames; }

    /// The global colour table's entry at the screen's background index, if any.
    std::optional<QRgb> backgroundColour() const { return m_background; }
    bool hasPalette() const { return m_hasGlobalColours; }
    /// The picture's own frame index; a load sets it to the first frame.
    int currentFrame() const { return 0; }

    /// The transparent mark (set by default).
    bool transparentMark() const { return m_transparentMark; }
    void setTransparentMark(bool value) { m_transparentMark = value; }
    /// Marked transparent and at least one frame has a transparent colour.
    bool countsAsTransparent() const;

private:
    int m_width = 0;
    int m_height = 0;
    std::vector<GifFrame> m_frames;
    std::optional<QRgb> m_background;
    bool m_hasGlobalColours = false;
    bool m_transparentMark = true;
};

} // namespace stowmere::progress
