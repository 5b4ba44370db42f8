// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Glyphs.h"

#include <gtest/gtest.h>

using stowmere::app::Glyphs;

namespace {

// Share of pixels that are not fully transparent.
double coverage(const QImage& image)
{
    int painted = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            painted += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
    return static_cast<double>(painted) / (image.width() * image.height());
}

} // namespace

TEST(Glyphs, HaveTheirButtonSizesAndAPictureWithATransparentSurround)
{
    const std::pair<const QImage*, int> glyphs[] = {
        {&Glyphs::addFolder(), 32}, {&Glyphs::addFiles(), 32}, {&Glyphs::deleteItems(), 32},
        {&Glyphs::backup(), 32},    {&Glyphs::save(), 16},     {&Glyphs::cancel(), 16},
    };
    for (const auto& [image, size] : glyphs) {
        EXPECT_EQ(image->size(), QSize(size, size));
        const double share = coverage(*image);
        EXPECT_GT(share, 0.15);
        EXPECT_LT(share, 0.95);
        EXPECT_EQ(qAlpha(image->pixel(0, size - 1)) + qAlpha(image->pixel(size - 1, 0)), 0)
            << "the corners show the button face";
    }
}

TEST(Glyphs, AreDistinctPictures)
{
    EXPECT_NE(Glyphs::addFolder(), Glyphs::addFiles());
    EXPECT_NE(Glyphs::deleteItems(), Glyphs::backup());
    EXPECT_NE(Glyphs::save(), Glyphs::cancel());
}
