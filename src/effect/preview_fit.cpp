#include "effect/preview_fit.h"

bool fit_preview(int32_t working_width, int32_t working_height, int32_t area_width, int32_t area_height,
                 int32_t subsample, preview_fit* fit)
{
    *fit = preview_fit{};
    int32_t pw = area_width < max_preview_side ? area_width : max_preview_side;
    int32_t ph = area_height < max_preview_side ? area_height : max_preview_side;
    const int32_t ww = working_width;
    const int32_t wh = working_height;
    if (pw <= 0 || ph <= 0 || ww <= 0 || wh <= 0 || ww > 32767 || wh > 32767) return false;
    const int32_t sx = (ww << 16) / pw;
    const int32_t sy = (wh << 16) / ph;
    if (sy < sx) {
        fit->preview_scale = sx;
        ph = wh * pw / ww;
    } else {
        fit->preview_scale = sy;
        pw = ww * ph / wh;
    }
    // A very wide or very tall image would round its short side to no pixels
    // at all; one row or column keeps every later division and index sound.
    if (pw < 1) pw = 1;
    if (ph < 1) ph = 1;
    fit->width = static_cast<int16_t>(pw);
    fit->height = static_cast<int16_t>(ph);
    // subsample times the working width never exceeds the full width, so
    // this fits in 32 bits.
    fit->image_scale = subsample * fit->preview_scale;
    fit->extent = static_cast<int16_t>(pw > ph ? pw : ph);
    return true;
}
