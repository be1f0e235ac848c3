// The arithmetic of run planning: memory budget, subsample factor, preview
// size and scales, buffer sizes.  plan_run (the Win32 side) allocates and
// creates what these numbers call for.
#pragma once

#include <cstdint>

constexpr int16_t max_subsample = 5;
// The selection rows read so far (mask_rows_done) of a run without a
// selection: above every preview height, so none is ever asked for.
constexpr int16_t no_selection_rows = 9999;

// Bytes held back during planning: 32 rows and some, freed before start returns.
int64_t reserve_block_bytes();

// What the budget keeps back beyond the reserve block.
int32_t budget_margin();

// Selection buffers for a preview of the given size: B bytes per row (whole
// 16-bit words), the copy (H rows), the erosion rows (H + 1) and the bitmap
// with a guard row above and below (H + 2).
struct selection_layout {
    int32_t row_bytes;
    int64_t copy_bytes;
    int64_t erosion_bytes;
    int64_t bitmap_bytes;
};
selection_layout selection_layout_for(int16_t preview_width, int16_t preview_height);

// Fits the preview into width x height pixels, keeping the working image's
// aspect, and derives preview_scale, image_scale and preview_extent.
void plan_preview(int16_t width, int16_t height);

// Sets f to 1 and the working image to the filter rectangle.
void reset_subsample();

// Raises f by one and thins the working image accordingly; false when f would
// pass the largest factor.
bool raise_subsample();

// Chooses f against the budget.  The budget is reduced by two full rows once
// the image has to be thinned.  False when even the largest factor is too big.
bool choose_subsample(int64_t* budget);

// Bytes of the working copy at the current factor.
int64_t working_copy_bytes();

// Whether the planned working image has any pixels at all.
bool working_size_usable();
