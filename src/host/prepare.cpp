#include "host/prepare.h"

#include "state/run_state.h"

int16_t bytes_per_pixel_for_mode(int16_t image_mode)
{
    switch (image_mode) {
    case plugInModeGrayScale:
    case plugInModeMultichannel:
    case plugInModeDuotone:
        return 1;
    case plugInModeCMYKColor:
        return 4;
    default:
        return 3;
    }
}

void prepare_sizes(const Rect16& filter_rect)
{
    run_state.filter_width = (int16_t)(filter_rect.right - filter_rect.left);
    run_state.filter_height = (int16_t)(filter_rect.bottom - filter_rect.top);
    run_state.working_width = run_state.filter_width;
    run_state.working_height = run_state.filter_height;
    // A row of a wide CMYK image needs more than 16 bits.
    run_state.row_bytes = (int32_t)run_state.filter_width * run_state.bytes_per_pixel;
    run_state.working_stride = run_state.row_bytes;
}
