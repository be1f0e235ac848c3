// A plain reference of the filter's arithmetic, for the tests only.
//
// Every function here is written out directly from the documented rules, one
// pixel or one number at a time, in wide integers, with nothing shared with
// the plug-in's sources: the angle tables are computed from their
// definitions, the planning is the budget arithmetic step by step, shading is
// the per-pixel rule.  The tests take their expected values from here (or
// from the documented examples), so a fault in the plug-in's own planning or
// shading cannot hide behind itself.
//
// The reference compiles natively and for Windows; it needs only the C++
// standard library.
#pragma once

#include <cstdint>
#include <vector>

namespace reference {

// --- angles ---------------------------------------------------------------------

// 32768 * sin(k degrees) rounded for k = 0..89, and 32767 for k = 90.
int32_t sine_entry(int32_t k);
// 8192 * atan(k / 32) rounded, k = 0..32.
int32_t atan_entry(int32_t k);

int32_t sin_deg(int32_t degrees);
int32_t cos_deg(int32_t degrees);

// Direction of (dx, dy) from the centre in angle units (8192 per radian),
// 0 .. 51472, by octant and the interpolated table arctangent.  The +x
// direction is 51472.
int32_t pixel_angle(int32_t dx, int32_t dy);

// v * s / 256 rounded half up, saturated to -32767 .. 32767.
int32_t scale_by_preview(int32_t v, int32_t s);

// --- the effect -----------------------------------------------------------------

struct values {
    int16_t spokes, angle, thickness, intensity, radius, length;
};

// The values a new parameter record gets.
values default_values();

struct geometry {
    int64_t inner_sq, outer_sq, mid_sq;
    int64_t period, half_period;  // period 0: no spoke at all
    int64_t weight;               // 0 .. 256
    int64_t angle_offset;
    int64_t thick_sq, core_sq, feather_span;
    // The lengths before squaring, for checking against known values.
    int64_t ri, len, ro, rm, ht, hc;
};

// The geometry for the values, the larger preview side `extent`, and the
// 16.16 scale of the shaded space per preview pixel.
geometry make_geometry(const values& v, int32_t extent, int32_t scale);

// Shades one pixel of `bytes_per_pixel` bytes (1 gray, 3 RGB, 4 CMYK) at
// (col, row) around (centre_x, centre_y): writes the result to out.
void shade(const geometry& g, int32_t centre_x, int32_t centre_y, int32_t col, int32_t row, const uint8_t* source,
           int32_t bytes_per_pixel, uint8_t* out);

// Distance in angle units from pixel angle e to the nearest centre line.
int64_t angle_distance(const geometry& g, int64_t e);

// --- planning a run -------------------------------------------------------------

// Bytes per pixel for a host image mode: 1 gray, multichannel, duotone;
// 4 CMYK; 3 otherwise.
int32_t bytes_per_pixel_for_mode(int32_t image_mode);

struct preview_plan {
    int32_t width = 0, height = 0;  // the preview in pixels
    int64_t preview_scale = 0;      // 16.16 working pixels per preview pixel
    int64_t image_scale = 0;        // 16.16 full-image pixels per preview pixel
    int32_t extent = 0;             // the larger side
};

// Fits a working image into the measured area (each side at most 512),
// keeping its aspect; `factor` is the subsample factor.
preview_plan fit_preview(int32_t working_width, int32_t working_height, int32_t area_width, int32_t area_height,
                         int32_t factor);

struct run_plan {
    bool ok = false;  // false: start fails with out of memory
    int32_t bytes_per_pixel = 0;
    int32_t filter_width = 0, filter_height = 0;
    int64_t reserve_bytes = 0;
    int64_t budget = 0;  // as it stood when the factor was chosen
    int32_t factor = 1;
    int32_t working_width = 0, working_height = 0;
    int64_t working_stride = 0;
    preview_plan first;  // the plan with factor 1 that sizes the selection buffers
    preview_plan preview;  // the plan the dialog, the preview and the run use
    int32_t selection_row_bytes = 0;  // B of the first plan
    int64_t selection_bitmap_bytes = 0;
};

run_plan plan_run(int32_t filter_width, int32_t filter_height, int32_t image_mode, int64_t max_space,
                  bool have_mask, int32_t measured_width, int32_t measured_height);

// --- the exchange with the host -------------------------------------------------

// The full-image rows (counted from the filter rectangle's top) that the
// selection calls receive, one per call, in order.  The last call ends the
// selection phase.
std::vector<int32_t> mask_rows_requested(const run_plan& plan);

// The full-image rows the load calls receive when the working image is
// thinned, one per call.
std::vector<int32_t> rows_loaded(const run_plan& plan);

// Preview pixels to full-image pixels, and back.
int32_t centre_to_full(int32_t preview, int64_t image_scale);
int32_t centre_to_preview(int32_t full, int64_t image_scale);

// The preview centre the dialog starts with for a stored centre.
void starting_centre(const run_plan& plan, int32_t stored_x, int32_t stored_y, int32_t* x, int32_t* y);

// --- the preview ----------------------------------------------------------------

// The working column (or row) that preview column (or row) p samples: the
// nearest one, and the last one for positions past the working image.
int32_t preview_sample(int32_t p, int64_t preview_scale, int32_t working_size);

// A 1-bit map at preview size, rows of whole 16-bit words (B bytes), most
// significant bit first.
struct bit_map {
    int32_t width = 0, height = 0, row_bytes = 0;
    std::vector<uint8_t> bytes;
    bool at(int32_t x, int32_t y) const;  // false outside the map's words
    void set(int32_t x, int32_t y);
};

// The selection map that the selection calls build from a full-size mask
// (one byte per filter pixel): only 255 counts; rows the calls never reach
// stay clear.
bit_map selection_map(const run_plan& plan, const std::vector<uint8_t>& mask);

// The selection's outline: selected pixels with an unselected pixel among
// their eight neighbours.  Above and below the map count as unselected, left
// of it as selected, right of the last word as unselected.
bit_map outline_of(const bit_map& selection);

// Whether an outline pixel at (x, y) shows dark (inverted from white) after
// tick t (t = 1 for the tick that paints the outline).
bool ant_is_dark(int32_t x, int32_t y, int32_t tick);

// The centre marker, 8 x 8 around (cx - 4, cy - 4): 0 leaves the pixel,
// 1 makes it white, 2 makes it black.
int32_t marker_at(int32_t x, int32_t y, int32_t cx, int32_t cy);

}  // namespace reference
