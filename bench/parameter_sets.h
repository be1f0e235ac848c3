// The benchmarks' image size and table of parameter sets, shared by the
// native apply benchmark (apply_bench.cpp) and the WebAssembly one
// (web/engine_bench.cpp).
//
// Each set is run as planning sets up a whole-image run for a 512-pixel
// preview (f = 1, preview 512 x 384, image_scale = (4000 << 16) / 512 =
// 512000, preview_extent = 512) unless it says otherwise.
#pragma once

#include <cstdint>

#include "effect/spoke.h"

namespace bench_sets {

constexpr int32_t image_width = 4000;
constexpr int32_t image_height = 3000;
constexpr int32_t image_scale = (image_width << 16) / 512;
constexpr int16_t preview_extent = 512;

struct parameter_set {
    const char* name;
    spoke_values values;  // spokes, angle, thickness, intensity, radius, length
    int32_t scale;
    int16_t centre_x, centre_y;
};

const parameter_set parameter_sets[] = {
    // The dialog's defaults, centre in the middle.
    {"default", {8, 0, 20, 50, 50, 50}, image_scale, 2000, 1500},
    // As many spokes as the dialog allows, as wide as it allows, from the
    // centre to the longest length: most of the image is on a spoke.
    {"dense-thick", {50, 0, 100, 50, 0, 100}, image_scale, 2000, 1500},
    // As many spokes, as thin as the dialog allows.
    {"dense-thin", {50, 0, 5, 50, 0, 100}, image_scale, 2000, 1500},
    // Three spokes as wide as the dialog allows.
    {"three-thick", {3, 0, 100, 50, 0, 100}, image_scale, 2000, 1500},
    // A centre 1000 pixels left of the image and the widest ring: it reaches
    // 3125 pixels from the centre, past the width measure's near range.
    {"centre-outside", {20, 15, 40, 50, 100, 100}, image_scale, -1000, 1500},
    // A quarter pixel per preview pixel: a ring of 50 pixels in the middle.
    {"tiny-scale", {8, 0, 20, 50, 50, 50}, 65536 / 4, 2000, 1500},
};

}  // namespace bench_sets
