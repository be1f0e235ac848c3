// What the views draw over the image, worked out without any drawing: the
// selection's outline and its marching-ants pattern, the spoke outlines of the
// big view, the centre lines of the small view, and where a drag puts the
// centre.  The Win32 side replays the results with GDI.
#pragma once

#include <cstdint>

#include "effect/value_table.h"

// --- overlays --------------------------------------------------------------------

// What erase_overlays and draw_overlays (preview.h) take away and put back,
// in this order: the small view's centre lines and marker (erased by painting
// the view white), the big view's spoke outlines (drawn inverting, so drawing
// them again erases them) and the big view's marker (erased by rendering the
// image under it again).  The others are unions of these three.
enum class overlays : uint8_t {
    none = 0,
    small_view = 1,
    spoke_outlines = 2,
    big_marker = 4,
    big_view = spoke_outlines | big_marker,
    small_view_and_spoke_outlines = small_view | spoke_outlines,
    both_views = small_view | spoke_outlines | big_marker,
};

// Whether `set` holds `part`.
constexpr bool holds(overlays set, overlays part)
{
    return (static_cast<uint8_t>(set) & static_cast<uint8_t>(part)) != 0;
}

// --- selection outline ---------------------------------------------------------

// Saves the filled selection map into the selection copy, clears the guard
// rows and replaces the map's rows by the outline of the selection: the
// selected pixels with an unselected pixel among their eight neighbours.
// Rows above and below the preview count as unselected, the column left of
// it as selected.  Rows and bytes stay within the allocation.
void make_selection_outline();

// Rows and bytes per row of the selection map that the preview covers,
// bounded by what was allocated.
int32_t outline_rows();
int32_t outline_row_bytes();

extern const uint8_t ants_patterns[24];

// The first tick after a full render: pattern from the start.
void prime_ants();

// The erosion rows become the outline masked with this tick's pattern bytes.
void mask_ants_rows();

// Steps the pattern on for the next tick.
void advance_ants();

// The erosion rows become the outline masked with the stripes as the ticks
// since the outline was painted have left them on screen: a set bit is an
// outline pixel that shows dark.  For putting the ants back where part of
// the preview was painted over between two ticks.
void mask_ants_as_shown();

// A rectangle of the preview that holds outline pixels of the masked rows:
// the 32 x 32 cells with outline, merged into runs along each band of rows.
struct ants_run {
    int16_t x, y, width, height;
};
constexpr int32_t max_ants_runs = 16 * 16;

// Fills runs (room for max_ants_runs) and returns how many.
int32_t find_ants_runs(ants_run* runs);

// --- spoke outlines and centre lines ------------------------------------------

struct pen_step {
    int16_t draw;  // 0: move the pen there, 1: draw a line to there
    int16_t x, y;
};
// Seven steps per spoke's outline at most, two for its centre line, for as
// many spokes as the value table allows.
constexpr int32_t max_spokes = spoke_value_table[value_spokes].maximum;
constexpr int32_t max_steps_per_outline = 7;
constexpr int32_t max_outline_steps = max_steps_per_outline * max_spokes;
constexpr int32_t max_centre_line_steps = 2 * max_spokes;

// Whether the geometric values are all valid (none is invalid_value).
bool outline_values_valid();

// P(r, phi): the point at radius r and phi degrees from (cx, cy).
void polar_point(int16_t cx, int16_t cy, int16_t r, int32_t phi, int16_t* x, int16_t* y);

// The pen path of every spoke's outline around (cx, cy) in the big view.
// Returns the number of steps, 0 when a value is invalid.
int32_t spoke_outline_path(int16_t cx, int16_t cy, pen_step* steps);

// The pen path of the centre lines in the half-size small view.
int32_t centre_line_path(int16_t cx, int16_t cy, pen_step* steps);

// --- dragging --------------------------------------------------------------------

// Where a mouse position in the big view (small 0) or the small view puts the
// centre, clamped to the preview, and what the move redraws: none when the
// centre stays put, the big view when only the lowest bit of a coordinate
// changes (the half-size small view looks the same), both views otherwise.
overlays plan_centre_move(int16_t x, int16_t y, int16_t small, int16_t* new_x, int16_t* new_y);
