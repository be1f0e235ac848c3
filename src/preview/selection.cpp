#include "preview/selection.h"

#include <cstring>

#include "state/run_state.h"

void fill_selection_row(const uint8_t* mask_row)
{
    int32_t r = run_state.mask_rows_done;
    int32_t b = run_state.selection_row_bytes;
    // The map was sized for the final preview; nothing is written outside it.
    if (run_state.selection_rows_ptr == nullptr || r < 0 || r >= run_state.selection_rows || b <= 0) return;
    uint8_t* row = run_state.selection_rows_ptr + (int64_t)r * b;
    memset(row, 0, (size_t)b);
    if (mask_row == nullptr || run_state.image_scale <= 0) return;

    int64_t position = 0x8000;
    int32_t last_bit = b * 8;
    for (int32_t k = 0; k < last_bit && (position >> 16) < run_state.filter_width; k++) {
        if (mask_row[position >> 16] == 255) row[k >> 3] |= (uint8_t)(0x80 >> (k & 7));
        position += run_state.image_scale;
    }
}
