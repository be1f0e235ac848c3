// How the preview fits a working image into the area a dialog gives it, and
// the scales that follow.  The spoke geometry depends on them: every length
// is a fraction of the larger preview side (the extent), taken to the shaded
// space by a scale, so these numbers fix the pixels of the final image too.
#pragma once

#include <cstdint>

// Largest preview side in pixels.
constexpr int32_t max_preview_side = 512;

struct preview_fit {
    int16_t width, height;  // the preview, at most max_preview_side each
    int32_t preview_scale;  // 16.16 working pixels per preview pixel
    int32_t image_scale;    // 16.16 full-image pixels per preview pixel: subsample * preview_scale
    int16_t extent;         // max(width, height)
};

// Fits a working image of working_width x working_height pixels (the full
// image thinned by subsample) into area_width x area_height, keeping its
// aspect and filling the area in the direction that binds.  A working image
// smaller than the area is enlarged.  False, with everything 0, when either
// size is not positive.
bool fit_preview(int32_t working_width, int32_t working_height, int32_t area_width, int32_t area_height,
                 int32_t subsample, preview_fit* fit);
