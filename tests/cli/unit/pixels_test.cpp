// Colour conversions around a run, and blending by the selection mask.
#include <gtest/gtest.h>

#include "cli/pixels.h"

namespace {

raster rgb_pixels(std::vector<uint8_t> bytes)
{
    raster r;
    r.width = (int32_t)bytes.size() / 3;
    r.height = 1;
    r.channels = 3;
    r.pixels = bytes;
    return r;
}

TEST(CliPixels, CmykRoundTripKeepsEveryRgbValue)
{
    // Every R with a spread of G, B and brightness: each channel's value and
    // the maximum that scales it cover all their combinations that matter.
    raster all;
    all.channels = 3;
    for (int r = 0; r < 256; r++)
        for (int g = 0; g < 256; g += 5)
            for (int b = 0; b < 256; b += 51) all.pixels.insert(all.pixels.end(), {(uint8_t)r, (uint8_t)g, (uint8_t)b});
    all.width = (int32_t)all.pixels.size() / 3;
    all.height = 1;
    raster back = cmyk_to_rgb(rgb_to_cmyk(all));
    ASSERT_EQ(back.channels, 3);
    EXPECT_EQ(back.pixels, all.pixels);
}

TEST(CliPixels, CmykBytesAreInvertedInk)
{
    // White: no ink at all; black: black ink only; pure colours: no black.
    raster c = rgb_to_cmyk(rgb_pixels({255, 255, 255, 0, 0, 0, 255, 0, 0, 0, 128, 0}));
    ASSERT_EQ(c.channels, 4);
    const std::vector<uint8_t> expected = {255, 255, 255, 255, 255, 255, 255, 0, 255, 0, 0, 255, 0, 255, 0, 128};
    EXPECT_EQ(c.pixels, expected);
}

TEST(CliPixels, GrayIsWeightedLuma)
{
    raster g = rgb_to_gray(rgb_pixels({255, 0, 0, 0, 255, 0, 0, 0, 255, 10, 10, 10, 255, 255, 255}));
    const std::vector<uint8_t> expected = {76, 150, 29, 10, 255};
    EXPECT_EQ(g.pixels, expected);
    raster rgb = gray_to_rgb(g);
    EXPECT_EQ(rgb.pixels[3], 150);
    EXPECT_EQ(rgb.pixels[4], 150);
}

TEST(CliPixels, AlphaIsSplitAndJoinedUnchanged)
{
    raster rgba;
    rgba.width = 2;
    rgba.height = 1;
    rgba.channels = 4;
    rgba.pixels = {1, 2, 3, 4, 5, 6, 7, 8};
    std::vector<uint8_t> alpha;
    raster colour = split_alpha(rgba, &alpha);
    EXPECT_EQ(colour.channels, 3);
    EXPECT_EQ(colour.pixels, std::vector<uint8_t>({1, 2, 3, 5, 6, 7}));
    EXPECT_EQ(alpha, std::vector<uint8_t>({4, 8}));
    EXPECT_EQ(join_alpha(colour, alpha).pixels, rgba.pixels);
}

TEST(CliPixels, MaskBlendRoundsToNearestBothWays)
{
    raster in = rgb_pixels({0, 255, 100, 0, 255, 100, 0, 255, 100, 10, 20, 30});
    raster out = rgb_pixels({255, 0, 101, 255, 0, 101, 255, 0, 101, 200, 200, 200});
    std::vector<uint8_t> mask = {255, 0, 128, 1};
    blend_by_mask(in, mask, &out);
    const std::vector<uint8_t> expected = {
        255, 0,   101,  // fully selected: the filtered pixel
        0,   255, 100,  // not selected: the original
        128, 127, 101,  // half: 255 * 128 / 255 = 128 up, -127.5 rounds away from zero to -128
        11,  21,  31,   // 1/255 of 190, 180, 170 rounds to 1
    };
    EXPECT_EQ(out.pixels, expected);
}

}  // namespace
