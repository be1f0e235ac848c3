#include "dialog/value_pairs.h"

#include "state/run_state.h"
#include "resource.h"

// The pair of one value of the table, with its range.  (The labels beside
// the pairs are the table's too: the dialog template takes them from it.)
static constexpr value_pair pair_of(spoke_value_index index, int16_t* value, int16_t edit_id, int16_t bar_id,
                                    int16_t page_step, overlays redraw)
{
    return {value, edit_id, bar_id, spoke_value_table[index].minimum, spoke_value_table[index].maximum, page_step,
            redraw};
}

// The spoke count, the angle, the radius and the length move the spokes in
// both views; the thickness only their outlines in the big view, and the
// intensity nothing drawn over the image.
static constexpr value_pair pairs[value_pair_count] = {
    pair_of(value_spokes, &run_state.spokes, IDC_SPOKES_EDIT, IDC_SPOKES_BAR, 5,
            overlays::small_view_and_spoke_outlines),
    pair_of(value_angle, &run_state.angle, IDC_ANGLE_EDIT, IDC_ANGLE_BAR, 10, overlays::small_view_and_spoke_outlines),
    pair_of(value_thickness, &run_state.thickness, IDC_THICKNESS_EDIT, IDC_THICKNESS_BAR, 10, overlays::spoke_outlines),
    pair_of(value_intensity, &run_state.intensity, IDC_INTENSITY_EDIT, IDC_INTENSITY_BAR, 10, overlays::none),
    pair_of(value_radius, &run_state.radius, IDC_RADIUS_EDIT, IDC_RADIUS_BAR, 10,
            overlays::small_view_and_spoke_outlines),
    pair_of(value_length, &run_state.length, IDC_LENGTH_EDIT, IDC_LENGTH_BAR, 10,
            overlays::small_view_and_spoke_outlines),
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
    if (!translated || number > 32767) return invalid_value;
    int16_t v = (int16_t)number;
    if (v < minimum || v > maximum) return invalid_value;
    return v;
}
