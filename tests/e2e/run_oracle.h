// What the end-to-end tests expect, worked out with the plain reference
// (tests/reference), never with the plug-in's own code: the plan a start
// makes, the shaded output of a run, and what the preview shows.
#pragma once

#include <cstdint>
#include <vector>

#include "reference.h"
#include "testhost.h"

// The 20 bytes of the stored parameter record, as the host keeps them:
// little-endian, no padding.
struct spoke_params {
    int16_t saved_centre_x;  // full-image pixels from filterRect's left edge
    int16_t saved_centre_y;
    int16_t spokes;
    int16_t angle;
    int16_t thickness;
    int16_t intensity;
    int16_t radius;
    int16_t length;
    int32_t showDialog;
};
static_assert(sizeof(spoke_params) == 20, "the stored record is 20 bytes");

// A new record's values: centre (0, 0), 8 spokes, angle 0, thickness 20,
// intensity 50, radius 50, length 50, showDialog 1.
spoke_params default_record();

reference::values values_of(const spoke_params& p);

// The client size of the dialog's big view, measured on a dialog made from
// the plug-in's own template (its classes registered briefly for the purpose).
void measure_big_view(testhost::plugin_host& host, int16_t* width, int16_t* height);

// The plan a start makes for this filter rectangle, mode and budget.
reference::run_plan plan_for(int16_t measured_width, int16_t measured_height, const Rect16& filter,
                             int16_t image_mode, int32_t max_space, bool have_mask);

// The source with every row of the filter rectangle shaded by the per-pixel
// rule, as the apply phase must produce it.
testhost::image expected_output(const testhost::image& source, const Rect16& filter, int16_t image_mode,
                                const spoke_params& params, const reference::run_plan& plan);

// The preview pixel (j, i) of the working image that `plan` thins `source`
// (the filter rectangle `filter` of it) to: the plain pixel, or with
// `effect` that pixel shaded with `v` around the preview centre (cx, cy).
std::vector<uint8_t> preview_pixel(const testhost::image& source, const Rect16& filter,
                                   const reference::run_plan& plan, int32_t j, int32_t i, bool effect,
                                   const reference::values& v, int32_t cx, int32_t cy);

spoke_params params_from(const std::vector<uint8_t>& bytes);
std::vector<uint8_t> bytes_of(const spoke_params& p);

// The whole image as filter rectangle.
Rect16 whole(const testhost::image& img);
