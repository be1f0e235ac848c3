#include "dialog/value_pairs.h"

#include "state/run_state.h"
#include "resource.h"

static const value_pair pairs[value_pair_count] = {
    {"# Spokes:", &run_state.spokes, IDC_SPOKES_EDIT, IDC_SPOKES_BAR, 1, 50, 5, true, -2},
    {"Angle:", &run_state.angle, IDC_ANGLE_EDIT, IDC_ANGLE_BAR, 0, 360, 10, true, -2},
    {"Thickness:", &run_state.thickness, IDC_THICKNESS_EDIT, IDC_THICKNESS_BAR, 5, 100, 10, true, 3},
    {"Intensity:", &run_state.intensity, IDC_INTENSITY_EDIT, IDC_INTENSITY_BAR, 0, 100, 10, false, 0},
    {"Radius:", &run_state.radius, IDC_RADIUS_EDIT, IDC_RADIUS_BAR, 0, 100, 10, true, -2},
    {"Length:", &run_state.length, IDC_LENGTH_EDIT, IDC_LENGTH_BAR, 2, 100, 10, true, -2},
};

const value_pair* value_pairs() { return pairs; }

const value_pair* pair_for_edit(int16_t edit_id)
{
    for (const value_pair& p : pairs)
        if (p.edit_id == edit_id) return &p;
    return nullptr;
}

const value_pair* pair_for_bar(int16_t bar_id)
{
    for (const value_pair& p : pairs)
        if (p.bar_id == bar_id) return &p;
    return nullptr;
}

int16_t text_limit(int16_t minimum, int16_t maximum)
{
    int16_t limit = 2;
    if (maximum >= 100) limit++;
    if (minimum < 0) limit++;
    return limit;
}

bool scroll_request(int16_t code, int16_t position, int16_t thumb, int16_t page_step, int16_t minimum,
                    int16_t maximum, int16_t* requested)
{
    int32_t p = position;
    int32_t s = page_step > 0 ? page_step : 1;
    int32_t n;
    switch (code) {
    case scroll_line_left: n = p - 1; break;
    case scroll_line_right: n = p + 1; break;
    case scroll_page_left: n = ((p - 1) / s) * s; break;  // truncates toward zero
    case scroll_page_right: n = (p / s + 1) * s; break;
    case scroll_thumb_position:
    case scroll_thumb_track: n = thumb; break;
    case scroll_left: n = minimum; break;
    case scroll_right: n = maximum; break;
    default: return false;
    }
    // Kept within int16 so the clamp that follows compares like for like.
    if (n < -32768) n = -32768;
    if (n > 32767) n = 32767;
    *requested = (int16_t)n;
    return true;
}

int16_t clamp_to_range(int16_t requested, int16_t minimum, int16_t maximum)
{
    int16_t v = requested;
    if (v < minimum) v = minimum;
    if (v > maximum) v = maximum;
    return v;
}

int16_t validate_value(bool translated, uint32_t number, int16_t minimum, int16_t maximum)
{
    if (!translated || number > 32767) return -1;
    int16_t v = (int16_t)number;
    if (v < minimum || v > maximum) return -1;
    return v;
}
