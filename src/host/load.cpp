#include "host/load.h"

#include <cstring>

#include "state/run_state.h"

void load_working_row()
{
    if (run_state.src_row == nullptr || run_state.src_base == nullptr) return;
    uint8_t* dst = run_state.src_base + (int64_t)run_state.rows_loaded * run_state.working_stride;
    const uint8_t* src = run_state.src_row;
    int32_t bpp = run_state.bytes_per_pixel;
    int32_t step = bpp + run_state.pixel_skip;
    for (int32_t x = 0; x < run_state.working_width; x++) {
        memcpy(dst, src, (size_t)bpp);
        dst += bpp;
        src += step;
    }
}
