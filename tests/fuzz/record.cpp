// The plug-in's stored record, as a host hands it back (any 20 bytes, never
// checked), through run planning as plan_run does it for any filter
// rectangle, image mode, memory offer and view size, to the shading of a
// row: the span path must give exactly the bytes of the per-pixel rule,
// into a separate buffer and in place.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "effect/spoke.h"
#include "fuzz_check.h"
#include "host/load.h"
#include "host/params.h"
#include "host/plan.h"
#include "host/prepare.h"
#include "state/run_state.h"

namespace {

// The input's fields in turn; a short input ends in zeros.
struct fields {
    const uint8_t* data;
    size_t size;
    template <typename T>
    T take()
    {
        T value;
        std::memset(&value, 0, sizeof value);
        size_t n = std::min(sizeof value, size);
        std::memcpy(&value, data, n);
        data += n;
        size -= n;
        return value;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fields in{data, size};
    const spoke_params record = in.take<spoke_params>();
    const Rect16 filter = in.take<Rect16>();
    const int16_t image_mode = in.take<int16_t>();
    const int32_t max_space = in.take<int32_t>();
    const int16_t view_width = in.take<int16_t>(), view_height = in.take<int16_t>();
    const bool have_mask = in.take<uint8_t>() & 1;
    const uint16_t row_pick = in.take<uint16_t>(), start_pick = in.take<uint16_t>(), length_pick = in.take<uint16_t>();

    // Planning, in plan_run's order; a plan it would refuse ends here.
    run_state = run_state_t();
    run_state.bytes_per_pixel = bytes_per_pixel_for_mode(image_mode);
    prepare_sizes(filter);
    reset_subsample();
    if (view_width <= 0 || view_height <= 0 || !working_size_usable()) return 0;
    int64_t budget = (int64_t)max_space - reserve_block_bytes() - budget_margin();
    if (have_mask) {
        plan_preview(view_width, view_height);
        budget -= run_state.filter_width +
                  2 * selection_layout_for(run_state.preview_width, run_state.preview_height).erosion_bytes;
    }
    if (!choose_subsample(&budget) || !working_size_usable()) return 0;
    FUZZ_CHECK(run_state.subsample >= 1 && run_state.subsample <= max_subsample, "a factor of 1 to 5");
    run_state.pixel_skip = (int32_t)run_state.bytes_per_pixel * run_state.subsample - run_state.bytes_per_pixel;
    plan_preview(view_width, view_height);
    FUZZ_CHECK(run_state.preview_width > 0 && run_state.preview_width <= max_preview_side &&
                   run_state.preview_height > 0 && run_state.preview_height <= max_preview_side,
               "a preview within the largest side");

    const int32_t bpp = run_state.bytes_per_pixel;
    const int32_t width = run_state.filter_width;
    // The rest of the input, repeated, is the row's pixels.
    std::vector<uint8_t> source((size_t)width * bpp, 0x5a);
    for (size_t at = 0, n = std::min(in.size, source.size()); n > 0; at += n, n = std::min(at, source.size() - at))
        std::memcpy(&source[at], at == 0 ? in.data : source.data(), n);

    // Loading one thinned row into a buffer of exactly one working row.
    if (run_state.subsample > 1) {
        std::vector<uint8_t> working((size_t)run_state.working_stride);
        run_state.src_row = source.data();
        run_state.src_base = working.data();
        run_state.rows_loaded = 0;
        load_working_row();
        for (int32_t x = 0; x < run_state.working_width; x++)
            FUZZ_CHECK(std::memcmp(&working[(size_t)x * bpp], &source[(size_t)x * run_state.subsample * bpp],
                                   (size_t)bpp) == 0,
                       "every f-th pixel is loaded");
        run_state.src_row = run_state.src_base = nullptr;
    }

    // One row of the apply phase, as apply_row shades it.
    load_values(&record);
    run_state.centre_x = record.saved_centre_x;
    run_state.centre_y = record.saved_centre_y;
    run_state.geometry = setup_spoke_geometry(working_values(), run_state.preview_extent, run_state.image_scale);
    spoke_shader shader;
    FUZZ_CHECK(current_shader(&shader), "every image mode has a pixel layout");
    const int16_t row = (int16_t)(row_pick % run_state.filter_height);
    const int32_t x0 = start_pick % width;
    const int32_t x1 = std::min(width, x0 + 1 + length_pick % 2048);
    const size_t at = (size_t)x0 * bpp, bytes = (size_t)(x1 - x0) * bpp;
    std::vector<uint8_t> expected(bytes), spanned(bytes), in_place(source.begin() + at, source.begin() + at + bytes);
    for (int32_t x = x0; x < x1; x++)
        shade_pixel(shader, (int16_t)x, row, source.data(), &expected[(size_t)(x - x0) * bpp]);
    shade_span(shader, row, x0, x1, source.data() + at, spanned.data());
    shade_span(shader, row, x0, x1, in_place.data(), in_place.data());
    FUZZ_CHECK(spanned == expected, "a span gives the bytes of the per-pixel rule");
    FUZZ_CHECK(in_place == expected, "a span shaded in place gives the same bytes");
    return 0;
}
