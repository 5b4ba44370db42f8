// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "progress/GifPicture.h"

#include <QImage>

#include <optional>

namespace stowmere::progress {

/// Builds the full-size image of one frame of a GIF picture, honouring the
/// frames' positions, transparency and disposal methods. It keeps the last image
/// it built, so stepping to the next frame draws only that frame on top.
class GifComposer {
public:
    /// Largest logical screen composed, in pixels (64 MiB of image); a larger
    /// picture, whether damaged or hostile, shows nothing instead of exhausting memory.
    static constexpr long long MaxPixels = GifPicture::MaxPixels;

    /// The image of frame n (n is lowered to the last frame), of the picture's
    /// logical screen size. `transparent` is the animator's Transparent switch,
    /// which decides whether a new image gets the key colour as its mark.
    const QImage& compose(const GifPicture& picture, int n, bool transparent);

    /// Colour that stands for "see through" in the composed image, if any.
    std::optional<QRgb> keyColour() const { return m_key; }
    /// Whether the last composed image was marked transparent with the key colour.
    bool markedTransparent() const { return m_marked; }
    /// The composed image with key-coloured pixels see-through when it is marked.
    QImage displayImage() const;

    int cachedIndex() const { return m_index; }
    bool lastWasIncremental() const { return m_incremental; }
    void reset();

private:
    void drawFrame(const GifFrame& frame);
    void fillFrameRect(const GifFrame& frame, QRgb colour);

    QImage m_image;
    int m_index = -1;
    std::optional<QRgb> m_key;
    QRgb m_background = 0;
    bool m_marked = false;
    bool m_incremental = false;
};

} // namespace stowmere::progress
