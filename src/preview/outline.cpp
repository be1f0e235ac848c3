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

bool outline_values_valid()
{
    // The loop below draws one spoke per count; a count outside the range
    // (invalid_value, say) draws nothing rather than overrunning the path.
    return run_state.spokes >= spoke_value_table[value_spokes].minimum && run_state.spokes <= max_spokes &&
           run_state.angle >= 0 && run_state.thickness >= 0 && run_state.radius >= 0 && run_state.length >= 0;
}

static int16_t integer_part(int32_t v) { return (int16_t)(v >> 16); }

void polar_point(int16_t cx, int16_t cy, int16_t r, int32_t phi, int16_t* x, int16_t* y)
{
    *x = (int16_t)(cx + (int16_t)(((int32_t)cos_deg(phi) * r) >> 15));
    *y = (int16_t)(cy + (int16_t)(((int32_t)sin_deg(phi) * r) >> 15));
}

static void add_step(pen_step* steps, int32_t* n, int16_t draw, int16_t x, int16_t y)
{
    steps[*n] = {draw, x, y};
    (*n)++;
}

// 16.16 degrees from one spoke to the next, and the first spoke's angle:
// -angle degrees and half a degree, so the integer parts round to nearest.
static int32_t spoke_step() { return 0x1680000 / run_state.spokes; }
static int32_t first_spoke_angle() { return (int32_t)((uint32_t)(-(int32_t)run_state.angle) << 16) + 0x8000; }

// The half-width angle of a spoke at radius r.  A radius of 0 (or less, on a
// preview too small for the values) is taken as 1, which keeps it finite.
static int32_t half_width_angle(int32_t k, int16_t r) { return k / (r > 0 ? r : 1); }

int32_t spoke_outline_path(int16_t cx, int16_t cy, pen_step* steps)
{
    if (!outline_values_valid()) return 0;
    const int16_t e = run_state.preview_extent;
    const int16_t thickness = run_state.thickness;
    int16_t r_in = scale_by_preview(run_state.radius, e);
    const int16_t r_out = (int16_t)(r_in + scale_by_preview(run_state.length, e));
    const int16_t t = scale_by_preview((int16_t)(thickness * 15), e);
    const int16_t w = (int16_t)(((int32_t)t * (run_state.spokes > 3 ? run_state.spokes : 3)) >> 8);
    bool open = false;
    if (w > r_in) {
        open = true;
        r_in = w < r_out - 1 ? w : (int16_t)(r_out - 1);
    }
    const int32_t step = spoke_step();
    const bool sides = thickness > 10;
    int32_t d_in = 0, d_out = 0;
    if (sides) {
        const int32_t k = (int32_t)thickness * e * 2656;
        d_in = half_width_angle(k, r_in);
        d_out = half_width_angle(k, r_out);
    }

    int32_t n = 0;
    int32_t acc = first_spoke_angle();
    while (integer_part(acc) < 359 - run_state.angle && n + 7 <= max_outline_steps) {
        const int16_t theta = integer_part(acc);
        const int16_t s = sin_deg(theta), c = cos_deg(theta);
        int16_t sx, sy, x, y;
        polar_point(cx, cy, r_in, theta, &sx, &sy);
        add_step(steps, &n, 0, sx, sy);
        if (sides) {
            int16_t a1x, a1y, a2x, a2y;
            polar_point(cx, cy, r_in, integer_part(acc - d_in), &a1x, &a1y);
            if (open || thickness < 50) {
                sx = a1x;
                sy = a1y;
                add_step(steps, &n, 0, a1x, a1y);
            } else {
                add_step(steps, &n, 1, a1x, a1y);
            }
            polar_point(cx, cy, r_out, integer_part(acc - d_out), &a2x, &a2y);
            if (c == 0) a2x = a1x;
            if (s == 0) a2y = a1y;
            add_step(steps, &n, 1, a2x, a2y);
        }
        if (thickness <= 10 || thickness >= 50) {
            polar_point(cx, cy, r_out, theta, &x, &y);
            add_step(steps, &n, 1, x, y);
        }
        if (sides) {
            int16_t b2x, b2y, b1x, b1y;
            polar_point(cx, cy, r_out, integer_part(acc + d_out), &b2x, &b2y);
            add_step(steps, &n, 1, b2x, b2y);
            polar_point(cx, cy, r_in, integer_part(acc + d_in), &b1x, &b1y);
            if (c == 0) b1x = b2x;
            if (s == 0) b1y = b2y;
            add_step(steps, &n, 1, b1x, b1y);
            if (!open) add_step(steps, &n, 1, sx, sy);
        }
        acc += step;
    }
    return n;
}

int32_t centre_line_path(int16_t cx, int16_t cy, pen_step* steps)
{
    if (!outline_values_valid()) return 0;
    const int16_t e = run_state.preview_extent;
    const int16_t h_in = (int16_t)(scale_by_preview(run_state.radius, e) >> 1);
    const int16_t h_out = (int16_t)(h_in + (scale_by_preview(run_state.length, e) >> 1));
    const int32_t step = spoke_step();
    int32_t n = 0;
    int32_t acc = first_spoke_angle();
    while (integer_part(acc) < 359 - run_state.angle && n + 2 <= max_centre_line_steps) {
        const int16_t theta = integer_part(acc);
        int16_t x, y;
        polar_point(cx, cy, h_in, theta, &x, &y);
        add_step(steps, &n, 0, x, y);
        polar_point(cx, cy, h_out, theta, &x, &y);
        add_step(steps, &n, 1, x, y);
        acc += step;
    }
    return n;
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
