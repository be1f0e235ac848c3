// What the end-to-end run tests expect, worked out with the plug-in's own
// portable core (the same planning arithmetic and the per-pixel shading rule),
// so the DLL's output can be compared byte for byte.
#pragma once

#include <cstdint>

#include "host/params.h"
#include "testhost.h"

struct planned_run {
    int16_t subsample;
    int16_t preview_width, preview_height, preview_extent;
    int32_t preview_scale, image_scale;
    int16_t working_width, working_height;
};

// The client size of the dialog's big view, measured on a dialog made from
// the plug-in's own template (its classes registered briefly for the purpose).
void measure_big_view(testhost::plugin_host& host, int16_t* width, int16_t* height);

// The plan a start makes for this image, filter rectangle, mode and budget.
planned_run plan_for(int16_t measured_width, int16_t measured_height, const Rect16& filter, int16_t image_mode,
                     int32_t max_space, bool have_mask);

// The source with every row of the filter rectangle shaded by the per-pixel
// rule, as the apply phase must produce it.
testhost::image expected_output(const testhost::image& source, const Rect16& filter, int16_t image_mode,
                                const spoke_params& params, const planned_run& plan);

spoke_params params_from(const std::vector<uint8_t>& bytes);
std::vector<uint8_t> bytes_of(const spoke_params& p);

// The whole image as filter rectangle.
Rect16 whole(const testhost::image& img);
