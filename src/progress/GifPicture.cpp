// SPDX-License-Identifier: GPL-3.0-or-later
#include "progress/GifPicture.h"

#include "progress/GifError.h"

#include <QFile>
#include <QString>

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace stowmere::progress {

namespace {

struct MemoryReader {
    std::span<const std::byte> bytes;
    std::size_t offset = 0;
};

int readFromMemory(GifFileType* gif, GifByteType* buffer, int length)
{
    auto* reader = static_cast<MemoryReader*>(gif->UserData);
    const std::size_t left = reader->bytes.size() - reader->offset;
    const std::size_t n = std::min(left, static_cast<std::size_t>(std::max(length, 0)));
    if (n > 0)
        std::memcpy(buffer, reader->bytes.data() + reader->offset, n);
    reader->offset += n;
    return static_cast<int>(n);
}

struct GifCloser {
    void operator()(GifFileType* gif) const
    {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};

std::vector<QRgb> coloursOf(const ColorMapObject* map)
{
    std::vector<QRgb> colours;
    if (!map || !map->Colors || map->ColorCount <= 0)
        return colours;
    colours.reserve(static_cast<std::size_t>(map->ColorCount));
    for (int i = 0; i < map->ColorCount; ++i) {
        const GifColorType& c = map->Colors[i];
        colours.push_back(qRgb(c.Red, c.Green, c.Blue));
    }
    return colours;
}

GifError errorOf(int code, const char* what)
{
    const char* text = GifErrorString(code);
    return GifError(code, std::string(what) + ": " + (text ? text : "unknown GIF error"));
}

} // namespace

GifPicture GifPicture::decode(std::span<const std::byte> bytes)
{
    MemoryReader reader{bytes};
    int error = 0;
    std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(&reader, readFromMemory, &error));
    if (!gif)
        throw errorOf(error, "Not a GIF picture");
    // Refuse absurd screens before giflib allocates frame buffers for them.
    if (static_cast<long long>(gif->SWidth) * gif->SHeight > GifPicture::MaxPixels)
        throw GifError(D_GIF_ERR_NOT_ENOUGH_MEM, "GIF picture too large: " + std::to_string(gif->SWidth) +
                                                     " x " + std::to_string(gif->SHeight));
    if (DGifSlurp(gif.get()) != GIF_OK)
        throw errorOf(gif->Error, "Damaged GIF picture");

    GifPicture picture;
    picture.m_width = gif->SWidth;
    picture.m_height = gif->SHeight;
    const std::vector<QRgb> global = coloursOf(gif->SColorMap);
    picture.m_hasGlobalColours = !global.empty();
    if (gif->SBackGroundColor >= 0 && static_cast<std::size_t>(gif->SBackGroundColor) < global.size())
        picture.m_background = global[static_cast<std::size_t>(gif->SBackGroundColor)];

    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& saved = gif->SavedImages[i];
        GifFrame frame;
        frame.left = saved.ImageDesc.Left;
        frame.top = saved.ImageDesc.Top;
        frame.width = std::max(saved.ImageDesc.Width, 0);
        frame.height = std::max(saved.ImageDesc.Height, 0);
        const std::size_t pixels =
            static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height);
        if (pixels > 0 && !saved.RasterBits)
            throw GifError(D_GIF_ERR_DATA_TOO_BIG,
                           "Damaged GIF picture: frame " + std::to_string(i) + " has no pixels");
        frame.indices.assign(saved.RasterBits, saved.RasterBits + pixels);
        frame.colours = saved.ImageDesc.ColorMap ? coloursOf(saved.ImageDesc.ColorMap) : global;

        // A frame may carry more than one graphic-control extension: the longest
        // delay counts, the last one sets disposal and transparency.
        int delay = 0;
        for (int e = 0; e < saved.ExtensionBlockCount; ++e) {
            const ExtensionBlock& block = saved.ExtensionBlocks[e];
            if (block.Function != GRAPHICS_EXT_FUNC_CODE || block.ByteCount < 4)
                continue;
            GraphicsControlBlock gcb;
            if (DGifExtensionToGCB(static_cast<size_t>(block.ByteCount), block.Bytes, &gcb) != GIF_OK)
                continue;
            delay = std::max(delay, gcb.DelayTime * 10);
            frame.disposal = (gcb.DisposalMode >= 0 && gcb.DisposalMode <= 3) ? gcb.DisposalMode : 0;
            frame.transparentIndex = gcb.TransparentColor;
        }
        frame.delayMs = delay;
        if (frame.transparentIndex >= 0 &&
            static_cast<std::size_t>(frame.transparentIndex) < frame.colours.size())
            frame.transparentColour = frame.colours[static_cast<std::size_t>(frame.transparentIndex)];
        picture.m_frames.push_back(std::move(frame));
    }
    return picture;
}

GifPicture GifPicture::load(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw GifError(D_GIF_ERR_OPEN_FAILED, "Cannot open the picture " + path.toStdString() + ": " +
                                                  file.errorString().toStdString());
    const QByteArray data = file.readAll();
    try {
        return decode(std::as_bytes(std::span(data.constData(), static_cast<std::size_t>(data.size()))));
    } catch (const GifError& e) {
        throw GifError(e.code(), std::string(e.what()) + " (" + path.toStdString() + ")");
    }
}

bool GifPicture::countsAsTransparent() const
{
    if (!m_transparentMark)
        return false;
    return std::any_of(m_frames.begin(), m_frames.end(),
                       [](const GifFrame& f) { return f.transparentColour.has_value(); });
}

} // namespace stowmere::progress
