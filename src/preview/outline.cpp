#include "preview/outline.h"

#include <cstring>

#include "effect/angles.h"
#include "state/run_state.h"

// --- selection outline ---------------------------------------------------------

int32_t outline_rows()
{
    int32_t h = run_state.preview_height;
    if (h > run_state.selection_rows) h = run_state.selection_rows;
    return h > 0 ? h : 0;
}

int32_t outline_row_bytes()
{
    int32_t b = 2 * (((int32_t)run_state.preview_width + 15) >> 4);
    if (b > run_state.selection_row_bytes) b = run_state.selection_row_bytes;
    return b > 0 ? b : 0;
}

static bool outline_buffers_present()
{
    return run_state.selection_guard_ptr != nullptr && run_state.selection_rows_ptr != nullptr &&
           run_state.selection_copy_ptr != nullptr && run_state.erosion_ptr != nullptr &&
           run_state.selection_row_bytes > 0;
}

static uint8_t* body_row(int32_t i) { return run_state.selection_rows_ptr + (int64_t)i * run_state.selection_row_bytes; }
static uint8_t* erosion_row(int32_t i) { return run_state.erosion_ptr + (int64_t)i * run_state.selection_row_bytes; }

// Keeps a pixel only when its left and right neighbours are set too.  Left of
// the first pixel counts as set, right of the row's last word as clear.
static void erode_row_horizontally(uint8_t* row, int32_t bytes)
{
    uint8_t left_bit = 1;
    for (int32_t k = 0; k < bytes; k++) {
        uint8_t here = row[k];
        uint8_t right_bit = k + 1 < bytes ? (uint8_t)(row[k + 1] >> 7) : 0;
        uint8_t left = (uint8_t)((here >> 1) | (left_bit << 7));
        uint8_t right = (uint8_t)((here << 1) | right_bit);
        row[k] = (uint8_t)(here & left & right);
        left_bit = (uint8_t)(here & 1);
    }
}

void make_selection_outline()
{
    if (!outline_buffers_present()) return;
    const int32_t rows = outline_rows();
    const int32_t bytes = outline_row_bytes();
    const int32_t stride = run_state.selection_row_bytes;

    for (int32_t i = 0; i < rows; i++)
        memcpy(run_state.selection_copy_ptr + (int64_t)i * stride, body_row(i), (size_t)bytes);
    memset(run_state.selection_guard_ptr, 0, (size_t)stride);
    memset(body_row(run_state.selection_rows), 0, (size_t)stride);

    // Rows beyond the preview stand in as clear rows, like the guard rows.
    for (int32_t i = 0; i < rows; i++) {
        const uint8_t* above = i > 0 ? body_row(i - 1) : nullptr;
        const uint8_t* below = i + 1 < rows ? body_row(i + 1) : nullptr;
        const uint8_t* here = body_row(i);
        uint8_t* eroded = erosion_row(i);
        for (int32_t k = 0; k < bytes; k++)
            eroded[k] = (uint8_t)((above ? above[k] : 0) & here[k] & (below ? below[k] : 0));
        erode_row_horizontally(eroded, bytes);
    }
    for (int32_t i = 0; i < rows; i++) {
        uint8_t* outline = body_row(i);
        const uint8_t* eroded = erosion_row(i);
        for (int32_t k = 0; k < bytes; k++) outline[k] = (uint8_t)(outline[k] & ~eroded[k]);
    }
    run_state.ants_primed = 0;
}

// --- marching ants ---------------------------------------------------------------

// Stripes of 5 pixels in 8, each row the previous one rotated left; then the
// step pattern that turns one row of stripes into the next (twice, so any
// phase can read 8 bytes on).
const uint8_t ants_patterns[24] = {
    0xf1, 0xe3, 0xc7, 0x8f, 0x1f, 0x3e, 0x7c, 0xf8,
    0x09, 0x12, 0x24, 0x48, 0x90, 0x21, 0x42, 0x84,
    0x09, 0x12, 0x24, 0x48, 0x90, 0x21, 0x42, 0x84,
};

void prime_ants()
{
    run_state.ants_primed = 1;
    run_state.ants_offset = 0;
    run_state.ants_phase = 0;
}

void mask_ants_rows()
{
    if (run_state.selection_rows_ptr == nullptr || run_state.erosion_ptr == nullptr) return;
    int32_t offset = run_state.ants_offset;
    if (offset < 0 || offset > 16) offset = 0;
    const int32_t rows = outline_rows();
    const int32_t bytes = outline_row_bytes();
    for (int32_t i = 0; i < rows; i++) {
        uint8_t pattern = ants_patterns[offset + (i & 7)];
        const uint8_t* outline = body_row(i);
        uint8_t* masked = erosion_row(i);
        for (int32_t k = 0; k < bytes; k++) masked[k] = (uint8_t)(outline[k] & pattern);
    }
}

void mask_ants_as_shown()
{
    if (run_state.selection_rows_ptr == nullptr || run_state.erosion_ptr == nullptr) return;
    // Tick t (the painting tick is 1) leaves stripe byte (i - (t - 1)) & 7
    // over row i, and after it ants_phase is -t & 7.
    const int32_t rows = outline_rows();
    const int32_t bytes = outline_row_bytes();
    for (int32_t i = 0; i < rows; i++) {
        uint8_t stripes = ants_patterns[(i + run_state.ants_phase + 1) & 7];
        const uint8_t* outline = body_row(i);
        uint8_t* masked = erosion_row(i);
        for (int32_t k = 0; k < bytes; k++) masked[k] = (uint8_t)(outline[k] & stripes);
    }
}

void advance_ants()
{
    run_state.ants_offset = (int16_t)(8 + run_state.ants_phase);
    run_state.ants_phase = (int16_t)((run_state.ants_phase - 1) & 7);
}

// Whether any of rows y .. y + n - 1 has a masked outline pixel in columns
// x .. end - 1.
static bool cell_has_outline(int32_t x, int32_t end, int32_t y, int32_t n)
{
    int32_t first = x >> 3, last = (end - 1) >> 3;
    for (int32_t i = y; i < y + n; i++) {
        const uint8_t* row = erosion_row(i);
        for (int32_t k = first; k <= last; k++) {
            uint8_t mask = 0xFF;
            if (k == last && (end & 7) != 0) mask = (uint8_t)(0xFF << (8 - (end & 7)));
            if ((row[k] & mask) != 0) return true;
        }
    }
    return false;
}

int32_t find_ants_runs(ants_run* runs)
{
    if (run_state.erosion_ptr == nullptr) return 0;
    const int32_t rows = outline_rows();
    int32_t width = run_state.preview_width;
    if (width > outline_row_bytes() * 8) width = outline_row_bytes() * 8;
    int32_t count = 0;
    for (int32_t y = 0; y < rows; y += 32) {
        int32_t n = rows - y < 32 ? rows - y : 32;
        int32_t run_start = -1;
        for (int32_t x = 0; x < width; x += 32) {
            int32_t end = x + 32 < width ? x + 32 : width;
            bool has = cell_has_outline(x, end, y, n);
            if (has && run_start < 0) run_start = x;
            if (!has && run_start >= 0) {
                if (count < max_ants_runs) runs[count++] = {(int16_t)run_start, (int16_t)y, (int16_t)(x - run_start), (int16_t)n};
                run_start = -1;
            }
        }
        if (run_start >= 0 && count < max_ants_runs)
            runs[count++] = {(int16_t)run_start, (int16_t)y, (int16_t)(width - run_start), (int16_t)n};
    }
    return count;
}

// --- spoke outlines and centre lines ------------------------------------------

static bool in_range(int16_t value, spoke_value_index which)
{
    return value >= spoke_value_table[which].minimum && value <= spoke_value_table[which].maximum;
}

bool outline_values_valid()
{
    // Only values the dialog accepts are drawn.  The loop below draws one
    // spoke per count, so a count outside the range (invalid_value, say)
    // would overrun the path; a record handed back by a host may hold any
    // thickness, and one far out of range would overflow the half-width
    // arithmetic.  Intensity plays no part in the outlines.
    return in_range(run_state.spokes, value_spokes) && in_range(run_state.angle, value_angle) &&
           in_range(run_state.thickness, value_thickness) && in_range(run_state.radius, value_radius) &&
           in_range(run_state.length, value_length);
}

static int16_t integer_part(int32_t v) { return (int16_t)(v >> 16); }

void polar_point(int16_t cx, int16_t cy, int16_t r, int32_t phi, int16_t* x, int16_t* y)
{
    *x = (int16_t)(cx + (int16_t)(((int32_t)cos_deg(phi) * r) >> 15));
    *y = (int16_t)(cy + (int16_t)(((int32_t)sin_deg(phi) * r) >> 15));
}

namespace {

struct point {
    int16_t x, y;
};

point polar(int16_t cx, int16_t cy, int16_t radius, int32_t degrees)
{
    point p;
    polar_point(cx, cy, radius, degrees, &p.x, &p.y);
    return p;
}

// A pen path being written into a caller's steps.
struct pen_path {
    pen_step* steps;
    int32_t count;

    void move_to(point p) { steps[count++] = {0, p.x, p.y}; }
    void line_to(point p) { steps[count++] = {1, p.x, p.y}; }
};

}  // namespace

// 16.16 degrees from one spoke to the next, and the first spoke's angle:
// -angle degrees and half a degree, so the integer parts round to nearest.
static int32_t spoke_step() { return (360 << 16) / run_state.spokes; }
static int32_t first_spoke_angle() { return (int32_t)((uint32_t)(-(int32_t)run_state.angle) << 16) + 0x8000; }

// Whether a spoke at 16.16 degrees `spoke_angle` is one of this turn's.  The
// spokes' integer angles start at -angle.  The first of the next turn would
// lie at 360 - angle, and the last of this one at 360 - 360 / spokes + 1/2 -
// angle or below, which is 353 - angle or below for up to 50 spokes: the
// bound 359 - angle, between the two, stops the loop after exactly one spoke
// for each count.
static bool in_this_turn(int32_t spoke_angle) { return integer_part(spoke_angle) < 359 - run_state.angle; }

// A spoke this thick or thinner is drawn as its centre line alone.
constexpr int16_t hairline_thickness = 10;
// From this thickness on, a spoke's outline runs through the ends of its
// centre line (max_steps_per_outline steps); a thinner one is a four-sided
// figure (six).
constexpr int16_t wide_thickness = 50;

// Inside this radius the outlines of neighbouring spokes would run into each
// other: a spoke's outline starts there and leaves its inner side open.  It
// grows with the thickness (scaled to the preview, 15 times over) and the
// spoke count (three at least), over 256.
static int16_t crowded_radius(int16_t thickness, int16_t extent)
{
    const int32_t spokes = run_state.spokes > 3 ? run_state.spokes : 3;
    return (int16_t)(((int32_t)scale_by_preview((int16_t)(thickness * 15), extent) * spokes) >> 8);
}

// Half a spoke's width as an angle at radius r, in 16.16 degrees: the angle
// at radius 1, thickness * extent * 2656, over r.  A radius of 0 (or less, on
// a preview too small for the values) is taken as 1, which keeps it finite.
static int32_t half_width_angle(int16_t thickness, int16_t extent, int16_t r)
{
    const int32_t at_radius_one = (int32_t)thickness * extent * 2656;
    return at_radius_one / (r > 0 ? r : 1);
}

int32_t spoke_outline_path(int16_t cx, int16_t cy, pen_step* steps)
{
    if (!outline_values_valid()) return 0;
    const int16_t extent = run_state.preview_extent;
    const int16_t thickness = run_state.thickness;
    int16_t inner_radius = scale_by_preview(run_state.radius, extent);
    const int16_t outer_radius = (int16_t)(inner_radius + scale_by_preview(run_state.length, extent));
    const int16_t crowded = crowded_radius(thickness, extent);
    const bool open = crowded > inner_radius;
    // An open spoke starts at the crowded radius, but one pixel inside its
    // outer end at the latest, so that it keeps a length.
    if (open) inner_radius = crowded < outer_radius - 1 ? crowded : (int16_t)(outer_radius - 1);
    const bool hairline = thickness <= hairline_thickness;
    const bool wide = thickness >= wide_thickness;
    int32_t inner_half_width = 0, outer_half_width = 0;
    if (!hairline) {
        inner_half_width = half_width_angle(thickness, extent, inner_radius);
        outer_half_width = half_width_angle(thickness, extent, outer_radius);
    }

    pen_path path = {steps, 0};
    for (int32_t spoke_angle = first_spoke_angle();
         in_this_turn(spoke_angle) && path.count + max_steps_per_outline <= max_outline_steps;
         spoke_angle += spoke_step()) {
        const int16_t degrees = integer_part(spoke_angle);
        // The sides of a spoke along an axis run exactly along it.
        const bool vertical = cos_deg(degrees) == 0, horizontal = sin_deg(degrees) == 0;
        const point inner_end = polar(cx, cy, inner_radius, degrees);
        path.move_to(inner_end);
        if (hairline) {
            path.line_to(polar(cx, cy, outer_radius, degrees));
            continue;
        }
        // Up one side (at the lower angle), across the outer end, down the
        // other side and, unless open, across the inner end to the start.
        const point inner_lower = polar(cx, cy, inner_radius, integer_part(spoke_angle - inner_half_width));
        point outer_lower = polar(cx, cy, outer_radius, integer_part(spoke_angle - outer_half_width));
        const point outer_upper = polar(cx, cy, outer_radius, integer_part(spoke_angle + outer_half_width));
        point inner_upper = polar(cx, cy, inner_radius, integer_part(spoke_angle + inner_half_width));
        if (vertical) outer_lower.x = inner_lower.x, inner_upper.x = outer_upper.x;
        if (horizontal) outer_lower.y = inner_lower.y, inner_upper.y = outer_upper.y;
        const bool through_inner_end = wide && !open;
        if (through_inner_end)
            path.line_to(inner_lower);
        else
            path.move_to(inner_lower);
        path.line_to(outer_lower);
        if (wide) path.line_to(polar(cx, cy, outer_radius, degrees));
        path.line_to(outer_upper);
        path.line_to(inner_upper);
        if (!open) path.line_to(through_inner_end ? inner_end : inner_lower);
    }
    return path.count;
}

int32_t centre_line_path(int16_t cx, int16_t cy, pen_step* steps)
{
    if (!outline_values_valid()) return 0;
    const int16_t extent = run_state.preview_extent;
    // The small view is half the size of the big one.
    const int16_t inner_radius = (int16_t)(scale_by_preview(run_state.radius, extent) >> 1);
    const int16_t outer_radius = (int16_t)(inner_radius + (scale_by_preview(run_state.length, extent) >> 1));
    pen_path path = {steps, 0};
    for (int32_t spoke_angle = first_spoke_angle();
         in_this_turn(spoke_angle) && path.count + 2 <= max_centre_line_steps; spoke_angle += spoke_step()) {
        const int16_t degrees = integer_part(spoke_angle);
        path.move_to(polar(cx, cy, inner_radius, degrees));
        path.line_to(polar(cx, cy, outer_radius, degrees));
    }
    return path.count;
}

// --- dragging --------------------------------------------------------------------

overlays plan_centre_move(int16_t x, int16_t y, int16_t small, int16_t* new_x, int16_t* new_y)
{
    if (run_state.preview_width <= 0 || run_state.preview_height <= 0) return overlays::none;
    if (small != 0) {
        x = (int16_t)(x * 2);
        y = (int16_t)(y * 2);
    }
    if (x < 0) x = 0;
    if (x > run_state.preview_width - 1) x = (int16_t)(run_state.preview_width - 1);
    if (y < 0) y = 0;
    if (y > run_state.preview_height - 1) y = (int16_t)(run_state.preview_height - 1);
    if (x == run_state.preview_centre_x && y == run_state.preview_centre_y) return overlays::none;
    *new_x = x;
    *new_y = y;
    int32_t changed = (x ^ run_state.preview_centre_x) | (y ^ run_state.preview_centre_y);
    return (changed & 0xFFFE) == 0 ? overlays::big_view : overlays::both_views;
}
