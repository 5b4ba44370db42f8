// SPDX-License-Identifier: GPL-3.0-or-later
#include "GifBuilder.h"

#include <gif_lib.h>

#include <cstring>
#include <stdexcept>

namespace {

int writeToVector(GifFileType* gif, const GifByteType* data, int length)
{
    auto* out = static_cast<std::vector<std::byte>*>(gif->UserData);
    const auto* first = reinterpret_cast<const std::byte*>(data);
    out->insert(out->end(), first, first + length);
    return length;
}

void check(int result, const char* what)
{
    if (result != GIF_OK)
        throw std::runtime_error(what);
}

} // namespace

GifBuilder::GifBuilder(int width, int height, std::vector<Rgb> colours, int backgroundIndex)
    : m_width(width), m_height(height), m_colours(std::move(colours)), m_background(backgroundIndex)
{
}

GifBuilder& GifBuilder::frame(int left, int top, int width, int height, std::uint8_t index, int disposal,
                              int transparentIndex, int delayCs)
{
    Frame f;
    f.left = left;
    f.top = top;
    f.width = width;
    f.height = height;
    f.indices.assign(static_cast<std::size_t>(width * height), index);
    f.disposal = disposal;
    f.transparentIndex = transparentIndex;
    f.delayCs = delayCs;
    return frame(std::move(f));
}

GifBuilder& GifBuilder::frame(Frame f)
{
    m_frames.push_back(std::move(f));
    return *this;
}

std::vector<std::byte> GifBuilder::bytes() const
{
    std::vector<std::byte> out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, writeToVector, &error);
    if (!gif)
        throw std::runtime_error("EGifOpen");
    EGifSetGifVersion(gif, true);

    // Colour tables hold a power of two entries.
    int size = 2;
    while (size < static_cast<int>(m_colours.size()))
        size *= 2;
    std::vector<GifColorType> table(static_cast<std::size_t>(size), GifColorType{0, 0, 0});
    for (std::size_t i = 0; i < m_colours.size(); ++i)
        table[i] = {m_colours[i].r, m_colours[i].g, m_colours[i].b};
    ColorMapObject* map = GifMakeMapObject(size, table.data());
    check(EGifPutScreenDesc(gif, m_width, m_height, 8, m_background, map), "screen");
    GifFreeMapObject(map);

    for (const Frame& f : m_frames) {
        GraphicsControlBlock gcb{};
        gcb.DisposalMode = f.disposal;
        gcb.DelayTime = f.delayCs;
        gcb.TransparentColor = f.transparentIndex;
        GifByteType ext[4];
        EGifGCBToExtension(&gcb, ext);
        check(EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, ext), "gce");
        check(EGifPutImageDesc(gif, f.left, f.top, f.width, f.height, false, nullptr), "image");
        std::vector<GifPixelType> pixels(f.indices.begin(), f.indices.end());
        check(EGifPutLine(gif, pixels.data(), static_cast<int>(pixels.size())), "pixels");
    }
    check(EGifCloseFile(gif, &error), "close");
    return out;
}
