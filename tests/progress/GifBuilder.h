// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

/// Writes small GIF89a pictures in memory with giflib, frame by frame, for tests.
class GifBuilder {
public:
    struct Rgb {
        std::uint8_t r;
        std::uint8_t g;
        std::uint8_t b;
    };

    struct Frame {
        int left = 0;
        int top = 0;
        int width = 0;
        int height = 0;
        std::vector<std::uint8_t> indices;
        int disposal = 0;
        int transparentIndex = -1;
        int delayCs = 10; ///< hundredths of a second
    };

    GifBuilder(int width, int height, std::vector<Rgb> colours, int backgroundIndex = 0);

    /// A frame filled with one index.
    GifBuilder& frame(int left, int top, int width, int height, std::uint8_t index, int disposal,
                      int transparentIndex = -1, int delayCs = 10);
    GifBuilder& frame(Frame f);

    std::vector<std::byte> bytes() const;

private:
    int m_width;
    int m_height;
    std::vector<Rgb> m_colours;
    int m_background;
    std::vector<Frame> m_frames;
};
