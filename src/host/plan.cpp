#include "host/plan.h"

#include "host/run_state.h"

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
    int32_t pw = width < max_preview_side ? width : max_preview_side;
    int32_t ph = height < max_preview_side ? height : max_preview_side;
    int32_t ww = run_state.working_width;
    int32_t wh = run_state.working_height;
    if (pw <= 0 || ph <= 0 || ww <= 0 || wh <= 0) {
        // Nothing to fit: plan_run refuses such a run before anything uses it.
        run_state.preview_width = run_state.preview_height = 0;
        run_state.preview_scale = run_state.image_scale = 0;
        run_state.preview_extent = 0;
        return;
    }
    int32_t sx = (ww << 16) / pw;
    int32_t sy = (wh << 16) / ph;
    if (sy < sx) {
        run_state.preview_scale = sx;
        ph = wh * pw / ww;
    } else {
        run_state.preview_scale = sy;
        pw = ww * ph / wh;
    }
    // A very wide or very tall image would round its short side to no pixels
    // at all; one row or column keeps every later division and index sound.
    if (pw < 1) pw = 1;
    if (ph < 1) ph = 1;
    run_state.preview_width = (int16_t)pw;
    run_state.preview_height = (int16_t)ph;
    // f times the working width never exceeds the filter width, so this fits.
    run_state.image_scale = run_state.subsample * run_state.preview_scale;
    run_state.preview_extent = (int16_t)(pw > ph ? pw : ph);
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
