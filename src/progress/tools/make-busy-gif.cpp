// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the progress window's busy picture and writes it as an animated GIF89a:
// 32 x 32 pixels, a 256-entry global colour table of greys, a looping application
// extension, and 12 frames of 100 ms that move a dark group of spokes clockwise.
// Frame 0 covers the whole screen; each later frame holds only the rectangle of
// the pixels that changed, with index 0 (transparent) for the unchanged ones, and
// disposal 1 so the previous frame stays beneath it.
//
// Usage: make-busy-gif OUTPUT.gif

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <vector>

namespace {

constexpr int Size = 32;
constexpr int Spokes = 12;
constexpr int Frames = 12;
constexpr int Supersample = 4;

// Grey levels of one frame, row by row.
using Frame = std::array<int, std::size_t{Size} * Size>;

std::size_t pixelIndex(int x, int y)
{
    return static_cast<std::size_t>(y) * Size + static_cast<std::size_t>(x);
}

// Grey of spoke s in frame f: the head of the dark group sits at position f,
// two lighter ones trail it, the rest are light grey.
int spokeGrey(int spoke, int frame)
{
    const int behind = (frame - spoke + Spokes) % Spokes;
    switch (behind) {
    case 0:
        return 70;
    case 1:
        return 115;
    case 2:
        return 160;
    default:
        return 205;
    }
}

double distanceToSegment(double px, double py, double ax, double ay, double bx, double by)
{
    const double dx = bx - ax;
    const double dy = by - ay;
    const double t = std::clamp(((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    return std::hypot(px - (ax + t * dx), py - (ay + t * dy));
}

// Grey level per pixel, 255 where no spoke covers it. Spokes are capsules from
// radius 7 to 13.5, 3 pixels thick, antialiased by supersampling against white.
Frame drawFrame(int frame)
{
    Frame grey{};
    const double centre = Size / 2.0;
    for (int y = 0; y < Size; ++y) {
        for (int x = 0; x < Size; ++x) {
            double sum = 0;
            for (int sy = 0; sy < Supersample; ++sy) {
                for (int sx = 0; sx < Supersample; ++sx) {
                    const double px = x + (sx + 0.5) / Supersample;
                    const double py = y + (sy + 0.5) / Supersample;
                    double value = 255;
                    for (int s = 0; s < Spokes; ++s) {
                        // Spoke 0 points up; positions advance clockwise on screen.
                        const double angle = s * 2 * std::numbers::pi / Spokes;
                        const double ux = std::sin(angle);
                        const double uy = -std::cos(angle);
                        const double d = distanceToSegment(px, py, centre + 7 * ux, centre + 7 * uy,
                                                           centre + 12 * ux, centre + 12 * uy);
                        if (d <= 1.5)
                            value = std::min<double>(value, spokeGrey(s, frame));
                    }
                    sum += value;
                }
            }
            grey[pixelIndex(x, y)] = static_cast<int>(std::lround(sum / (Supersample * Supersample)));
        }
    }
    return grey;
}

// Index 0 is transparent (white); index 1 + g is the grey g for g = 0 .. 254, so a
// covered pixel never lands on the transparent index.
std::uint8_t indexOf(int grey)
{
    if (grey >= 255)
        return 0;
    return static_cast<std::uint8_t>(1 + std::clamp(grey, 0, 254));
}

bool putExtension(GifFileType* gif, int code, std::vector<GifByteType> bytes)
{
    return EGifPutExtension(gif, code, static_cast<int>(bytes.size()), bytes.data()) == GIF_OK;
}

bool fail(GifFileType* gif, const char* what)
{
    std::fprintf(stderr, "make-busy-gif: %s: %s\n", what, GifErrorString(gif->Error));
    int error = 0;
    EGifCloseFile(gif, &error);
    return false;
}

bool writeGif(const char* path)
{
    int error = 0;
    GifFileType* gif = EGifOpenFileName(path, false, &error);
    if (!gif) {
        std::fprintf(stderr, "make-busy-gif: cannot create %s: %s\n", path, GifErrorString(error));
        return false;
    }
    EGifSetGifVersion(gif, true);

    std::vector<GifColorType> colours(256);
    colours[0] = {255, 255, 255};
    for (int i = 1; i < 256; ++i) {
        const auto g = static_cast<GifByteType>(i - 1);
        colours[static_cast<std::size_t>(i)] = {g, g, g};
    }
    ColorMapObject* map = GifMakeMapObject(256, colours.data());
    const bool screenOk = EGifPutScreenDesc(gif, Size, Size, 8, 0, map) == GIF_OK;
    GifFreeMapObject(map);
    if (!screenOk)
        return fail(gif, "screen descriptor");

    // NETSCAPE2.0 looping extension, repeat count 0 (for ever).
    const char* appId = "NETSCAPE2.0";
    std::vector<GifByteType> loop{1, 0, 0};
    if (EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) != GIF_OK ||
        EGifPutExtensionBlock(gif, 11, appId) != GIF_OK ||
        EGifPutExtensionBlock(gif, 3, loop.data()) != GIF_OK || EGifPutExtensionTrailer(gif) != GIF_OK)
        return fail(gif, "looping extension");

    Frame previous{};
    for (int f = 0; f < Frames; ++f) {
        const Frame grey = drawFrame(f);
        int left = 0;
        int top = 0;
        int right = Size - 1;
        int bottom = Size - 1;
        if (f > 0) {
            left = Size;
            top = Size;
            right = -1;
            bottom = -1;
            for (int y = 0; y < Size; ++y)
                for (int x = 0; x < Size; ++x)
                    if (grey[pixelIndex(x, y)] != previous[pixelIndex(x, y)]) {
                        left = std::min(left, x);
                        right = std::max(right, x);
                        top = std::min(top, y);
                        bottom = std::max(bottom, y);
                    }
            if (right < left) {
                left = top = right = bottom = 0;
            }
        }
        GraphicsControlBlock gcb{};
        gcb.DisposalMode = DISPOSE_DO_NOT;
        gcb.UserInputFlag = false;
        gcb.DelayTime = 10;
        gcb.TransparentColor = 0;
        std::vector<GifByteType> gce(4);
        EGifGCBToExtension(&gcb, gce.data());
        if (!putExtension(gif, GRAPHICS_EXT_FUNC_CODE, gce))
            return fail(gif, "graphic control extension");

        const int width = right - left + 1;
        const int height = bottom - top + 1;
        if (EGifPutImageDesc(gif, left, top, width, height, false, nullptr) != GIF_OK)
            return fail(gif, "image descriptor");
        std::vector<GifPixelType> line(static_cast<std::size_t>(width));
        for (int y = top; y <= bottom; ++y) {
            for (int x = left; x <= right; ++x) {
                const std::size_t at = pixelIndex(x, y);
                const bool unchanged = f > 0 && grey[at] == previous[at];
                line[static_cast<std::size_t>(x - left)] = unchanged ? 0 : indexOf(grey[at]);
            }
            if (EGifPutLine(gif, line.data(), width) != GIF_OK)
                return fail(gif, "image data");
        }
        previous = grey;
    }
    if (EGifCloseFile(gif, &error) != GIF_OK) {
        std::fprintf(stderr, "make-busy-gif: cannot finish %s: %s\n", path, GifErrorString(error));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-busy-gif OUTPUT.gif\n");
        return 2;
    }
    return writeGif(argv[1]) ? 0 : 1;
}
