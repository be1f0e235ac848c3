// Pixel work the host does around a run: colour conversions between the
// file's channels and the mode the plug-in sees, and blending the plug-in's
// result by the selection mask.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Interleaved 8-bit pixels, rows packed without padding.
struct raster {
    int32_t width = 0, height = 0;
    int32_t channels = 0;  // 1 gray, 3 RGB, 4 CMYK
    std::vector<uint8_t> pixels;
    size_t size() const { return (size_t)width * height * channels; }
};

// CMYK as the host interface carries it: one byte per ink, stored inverted
// (255 = no ink, 0 = full ink), in the order C, M, Y, K.  The conversion
// puts all the darkness into K (K byte = max(R, G, B)) and scales the
// colour inks up by it:
//   K byte = max(R, G, B)                    (0 ink for white and colours at full brightness)
//   C byte = round(R * 255 / max), likewise M from G and Y from B (255 when max is 0)
// and back:
//   R = round(C byte * K byte / 255)
// Every 8-bit RGB value survives the round trip unchanged.
raster rgb_to_cmyk(const raster& rgb);
raster cmyk_to_rgb(const raster& cmyk);

// Gray = round(0.299 R + 0.587 G + 0.114 B), in integers.
raster rgb_to_gray(const raster& rgb);
raster gray_to_rgb(const raster& gray);

// Takes the colour channels out of an image with an alpha channel (2 or 4
// channels), leaving 1 or 3; the alpha bytes go to *alpha.  The plug-in
// filters colour only, and the alpha is put back unchanged.
raster split_alpha(const raster& image, std::vector<uint8_t>* alpha);
raster join_alpha(const raster& colour, const std::vector<uint8_t>& alpha);

// Blends the filtered image over the original by a mask as a paint program
// does: out = in + (filtered - in) * m / 255, rounded to nearest (halves away
// from zero).  255 keeps the filtered pixel, 0 the original.
void blend_by_mask(const raster& original, const std::vector<uint8_t>& mask, raster* filtered);
