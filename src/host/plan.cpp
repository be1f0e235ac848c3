#include "host/plan.h"

#include "effect/preview_fit.h"
#include "state/run_state.h"

static_assert(no_selection_rows > max_preview_side, "no preview is as high as no_selection_rows");

int64_t reserve_block_bytes()
{
    return ((int64_t)run_state.row_bytes + 1) * 32 + run_state.filter_height + 2000;
}

int32_t budget_margin()
{
    return run_state.bytes_per_pixel == 1 ? 512 : 4352;
}

selection_layout selection_layout_for(int16_t preview_width, int16_t preview_height)
{
    selection_layout s;
    int32_t words = ((int32_t)preview_width + 15) >> 4;
    s.row_bytes = 2 * words;
    s.copy_bytes = (int64_t)s.row_bytes * preview_height;
    s.erosion_bytes = s.row_bytes + s.copy_bytes;
    s.bitmap_bytes = s.row_bytes + s.erosion_bytes;
    return s;
}

void plan_preview(int16_t width, int16_t height)
{
    // Nothing to fit leaves every size 0: plan_run refuses such a run before
    // anything uses it.
    preview_fit fit;
    fit_preview(run_state.working_width, run_state.working_height, width, height, run_state.subsample, &fit);
    run_state.preview_width = fit.width;
    run_state.preview_height = fit.height;
    run_state.preview_scale = fit.preview_scale;
    run_state.image_scale = fit.image_scale;
    run_state.preview_extent = fit.extent;
}

void reset_subsample()
{
    run_state.subsample = 1;
    run_state.working_width = run_state.filter_width;
    run_state.working_height = run_state.filter_height;
    run_state.working_stride = run_state.row_bytes;
}

bool raise_subsample()
{
    run_state.subsample++;
    if (run_state.subsample > max_subsample) return false;
    run_state.working_width = (int16_t)(run_state.filter_width / run_state.subsample);
    run_state.working_height = (int16_t)(run_state.filter_height / run_state.subsample);
    run_state.working_stride = (int32_t)run_state.working_width * run_state.bytes_per_pixel;
    return true;
}

int64_t working_copy_bytes()
{
    return (int64_t)run_state.working_height * run_state.working_stride;
}

bool choose_subsample(int64_t* budget)
{
    if (working_copy_bytes() < *budget) return true;  // the host's buffer serves
    *budget -= 2 * (int64_t)run_state.row_bytes;
    do {
        if (!raise_subsample()) return false;
    } while (working_copy_bytes() > *budget);
    return true;
}

bool working_size_usable()
{
    return run_state.working_width > 0 && run_state.working_height > 0;
}
