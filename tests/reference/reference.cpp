#include "reference.h"

#include <cmath>

namespace reference {

namespace {

const double pi = 3.14159265358979323846;

int64_t saturate(int64_t v, int64_t limit) { return v > limit ? limit : (v < -limit ? -limit : v); }

// An int16 difference, as the record's coordinates are kept.
int64_t as_int16(int64_t v)
{
    int64_t low = v & 0xFFFF;
    return low >= 0x8000 ? low - 0x10000 : low;
}

int64_t clamp_byte(int64_t v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

int64_t floor_shift(int64_t v, int bits)
{
    // Arithmetic shift, written as a floored division.
    int64_t d = (int64_t)1 << bits;
    int64_t q = v / d;
    if (v % d != 0 && v < 0) q--;
    return q;
}

int64_t floor_mod(int64_t a, int64_t m)
{
    int64_t r = a % m;
    return r < 0 ? r + m : r;
}

// The table arctangent of s / l (0 <= s <= l, l > 0) in angle units.
int64_t table_atan(int64_t s, int64_t l)
{
    int64_t r = (s * 8192) / l;
    int64_t i = r >> 8, f = r & 255;
    if (i >= 32) return atan_entry(32);
    return atan_entry((int32_t)i) + (((int64_t)(atan_entry((int32_t)i + 1) - atan_entry((int32_t)i)) * f) >> 8);
}

}  // namespace

// --- angles ---------------------------------------------------------------------

int32_t sine_entry(int32_t k)
{
    if (k >= 90) return 32767;
    return (int32_t)std::lround(32768.0 * std::sin(k * pi / 180.0));
}

int32_t atan_entry(int32_t k) { return (int32_t)std::lround(8192.0 * std::atan(k / 32.0)); }

int32_t sin_deg(int32_t degrees)
{
    int64_t a = floor_mod(degrees, 360);
    if (a < 180) return sine_entry((int32_t)(a >= 90 ? 180 - a : a));
    a -= 180;
    return -sine_entry((int32_t)(a >= 90 ? 180 - a : a));
}

int32_t cos_deg(int32_t degrees) { return sin_deg((int32_t)floor_mod((int64_t)degrees + 90, 360)); }

int32_t pixel_angle(int32_t dx, int32_t dy)
{
    const int64_t ax = dx < 0 ? -(int64_t)dx : dx;
    const int64_t ay = dy < 0 ? -(int64_t)dy : dy;
    if (ax == 0 && ay == 0) return 0;  // no direction; never shaded
    int64_t a;
    if (dy > 0 && dx > 0)
        a = ay < ax ? table_atan(ay, ax) : 12868 - table_atan(ax, ay);
    else if (dy > 0)
        a = ay < ax ? 25736 - table_atan(ay, ax) : 12868 + table_atan(ax, ay);
    else if (dx > 0)
        a = ay < ax ? 51472 - table_atan(ay, ax) : 38604 + table_atan(ax, ay);
    else
        a = ay < ax ? 25736 + table_atan(ay, ax) : 38604 - table_atan(ax, ay);
    return (int32_t)a;
}

int32_t scale_by_preview(int32_t v, int32_t s)
{
    return (int32_t)saturate(floor_shift((int64_t)v * s + 128, 8), 32767);
}

// --- the effect -----------------------------------------------------------------

values default_values() { return {8, 0, 20, 50, 50, 50}; }

geometry make_geometry(const values& v, int32_t extent, int32_t scale)
{
    geometry g;
    // Lengths are int16 pixel counts; products that would not fit saturate.
    g.ri = saturate(floor_shift((int64_t)scale_by_preview(v.radius, extent) * scale, 16), 32767);
    g.len = saturate(floor_shift((int64_t)scale_by_preview(v.length, extent) * scale, 16), 32767);
    g.ro = saturate(g.ri + g.len, 32767);
    g.rm = saturate(g.ri + g.len / 2, 32767);
    g.inner_sq = g.ri * g.ri;
    g.outer_sq = g.ro * g.ro;
    g.mid_sq = g.rm * g.rm;

    // The full turn, 2 pi * 8192, as the product the period has always used.
    g.period = v.spokes > 0 ? (int64_t)(16384.0 * 3.14159265359 / v.spokes + 0.5) : 0;
    g.half_period = g.period / 2;

    g.weight = ((int64_t)v.intensity * 256) / 100;
    if (g.weight < 0) g.weight = 0;
    if (g.weight > 256) g.weight = 256;
    g.angle_offset = (int64_t)v.angle * 143;

    const int64_t t = scale_by_preview(v.thickness, extent);
    const int64_t tc = t - 15 > 5 ? t - 15 : 5;
    g.ht = saturate(floor_shift(t * scale, 17), 32767);
    g.hc = saturate(floor_shift(tc * scale, 17), 32767);
    g.thick_sq = g.ht * g.ht;
    g.core_sq = g.hc * g.hc;
    g.feather_span = g.thick_sq - g.core_sq;
    return g;
}

int64_t angle_distance(const geometry& g, int64_t e)
{
    int64_t rem = floor_mod(e + g.angle_offset, g.period);
    return rem <= g.half_period ? rem : g.period - rem;
}

void shade(const geometry& g, int32_t centre_x, int32_t centre_y, int32_t col, int32_t row, const uint8_t* source,
           int32_t bytes_per_pixel, uint8_t* out)
{
    for (int32_t k = 0; k < bytes_per_pixel; k++) out[k] = source[k];
    const int64_t dx = as_int16((int64_t)col - centre_x);
    const int64_t dy = as_int16((int64_t)row - centre_y);
    const int64_t d2 = dx * dx + dy * dy;
    if (g.period == 0 || !(g.inner_sq < d2 && d2 < g.outer_sq)) return;

    const int64_t o = angle_distance(g, pixel_angle((int32_t)dx, (int32_t)dy));
    // About 8 s^2 for a pixel s pixels from the centre line; far from the
    // centre, where 2^23 / d2 would be 0, the exact product instead.
    int64_t t;
    if (d2 <= 8388608)
        t = (o * o) / (8388608 / d2);
    else
        t = (o * o * d2) >> 23;
    if (t >= g.thick_sq) return;

    int64_t b, c0, c2;
    if (d2 > g.mid_sq) {
        b = ((g.outer_sq - d2) * 1024) / (g.outer_sq - g.mid_sq);
        c0 = 255;
        c2 = 0;
    } else {
        b = ((d2 - g.inner_sq) * 1024) / (g.mid_sq - g.inner_sq);
        c0 = clamp_byte(b - 769);
        c2 = clamp_byte(768 - b);
    }
    int64_t c1 = clamp_byte(b - 512);
    if (bytes_per_pixel == 1) c0 = clamp_byte(b >> 1);

    int64_t u = g.weight;
    if (b < 128) u = (u * b) >> 7;
    if (t > g.core_sq) u = ((g.thick_sq - t) * u) / g.feather_span;
    const int64_t colour[3] = {c0, c1, c2};
    const int32_t colours = bytes_per_pixel == 1 ? 1 : 3;
    if (u == 256) {
        for (int32_t k = 0; k < colours; k++) out[k] = (uint8_t)colour[k];
        if (bytes_per_pixel == 4) out[3] = 255;
        return;
    }
    const int64_t w = 256 - u;
    for (int32_t k = 0; k < colours; k++) out[k] = (uint8_t)((source[k] * w + u * colour[k]) >> 8);
    if (bytes_per_pixel == 4) out[3] = (uint8_t)(((source[3] * w) >> 8) + u);
}

// --- planning a run -------------------------------------------------------------

int32_t bytes_per_pixel_for_mode(int32_t image_mode)
{
    switch (image_mode) {
    case 1:  // gray
    case 7:  // multichannel
    case 8:  // duotone
        return 1;
    case 4:  // CMYK
        return 4;
    default:
        return 3;
    }
}

preview_plan fit_preview(int32_t working_width, int32_t working_height, int32_t area_width, int32_t area_height,
                         int32_t factor)
{
    preview_plan p;
    int64_t w = area_width < 512 ? area_width : 512;
    int64_t h = area_height < 512 ? area_height : 512;
    if (w <= 0 || h <= 0 || working_width <= 0 || working_height <= 0) return p;
    const int64_t sx = ((int64_t)working_width << 16) / w;
    const int64_t sy = ((int64_t)working_height << 16) / h;
    if (sy < sx) {
        p.preview_scale = sx;
        h = (int64_t)working_height * w / working_width;
    } else {
        p.preview_scale = sy;
        w = (int64_t)working_width * h / working_height;
    }
    p.width = (int32_t)(w < 1 ? 1 : w);
    p.height = (int32_t)(h < 1 ? 1 : h);
    p.image_scale = factor * p.preview_scale;
    p.extent = p.width > p.height ? p.width : p.height;
    return p;
}

run_plan plan_run(int32_t filter_width, int32_t filter_height, int32_t image_mode, int64_t max_space,
                  bool have_mask, int32_t measured_width, int32_t measured_height)
{
    run_plan p;
    p.bytes_per_pixel = bytes_per_pixel_for_mode(image_mode);
    p.filter_width = filter_width;
    p.filter_height = filter_height;
    const int64_t row_bytes = (int64_t)filter_width * p.bytes_per_pixel;
    if (measured_width <= 0 || measured_height <= 0 || filter_width <= 0 || filter_height <= 0) return p;

    p.reserve_bytes = (row_bytes + 1) * 32 + filter_height + 2000;
    int64_t budget = max_space - p.reserve_bytes - (p.bytes_per_pixel == 1 ? 512 : 4352);
    if (have_mask) {
        p.first = fit_preview(filter_width, filter_height, measured_width, measured_height, 1);
        const int64_t b = 2 * ((p.first.width + 15) >> 4);
        const int64_t mask_bytes = b * p.first.height;
        const int64_t erosion_bytes = b + mask_bytes;
        budget -= filter_width + 2 * erosion_bytes;
    }

    p.factor = 1;
    p.working_width = filter_width;
    p.working_height = filter_height;
    p.working_stride = row_bytes;
    if ((int64_t)p.working_height * p.working_stride >= budget) {
        budget -= 2 * row_bytes;
        do {
            p.factor++;
            if (p.factor > 5) return p;
            p.working_width = filter_width / p.factor;
            p.working_height = filter_height / p.factor;
            p.working_stride = (int64_t)p.working_width * p.bytes_per_pixel;
        } while ((int64_t)p.working_height * p.working_stride > budget);
    }
    p.budget = budget;
    // Thinning a narrow or low rectangle can leave no working pixels.
    if (p.working_width <= 0 || p.working_height <= 0) return p;

    p.preview = fit_preview(p.working_width, p.working_height, measured_width, measured_height, p.factor);
    if (have_mask) {
        p.selection_row_bytes = 2 * ((p.first.width + 15) >> 4);
        p.selection_bitmap_bytes = (int64_t)p.selection_row_bytes * (p.first.height + 2);
    }
    p.ok = true;
    return p;
}

// --- the exchange with the host -------------------------------------------------

std::vector<int32_t> mask_rows_requested(const run_plan& plan)
{
    std::vector<int32_t> rows;
    int64_t row = 0;  // the first call gets the first row, which start asked for
    for (int64_t n = 0;; n++) {
        rows.push_back((int32_t)row);
        const int64_t done = n + 1;
        row = (done * plan.preview.image_scale + 0x8000) >> 16;
        if (done == plan.preview.height || row >= plan.filter_height) break;
    }
    return rows;
}

std::vector<int32_t> rows_loaded(const run_plan& plan)
{
    std::vector<int32_t> rows;
    for (int32_t i = 0; i < plan.working_height; i++) rows.push_back(i * plan.factor);
    return rows;
}

int32_t centre_to_full(int32_t preview, int64_t image_scale)
{
    return (int32_t)floor_shift((int64_t)preview * image_scale + 0x8000, 16);
}

int32_t centre_to_preview(int32_t full, int64_t image_scale)
{
    return (int32_t)((((int64_t)full << 16) + image_scale / 2) / image_scale);
}

void starting_centre(const run_plan& plan, int32_t stored_x, int32_t stored_y, int32_t* x, int32_t* y)
{
    *x = centre_to_preview(stored_x, plan.preview.image_scale);
    *y = centre_to_preview(stored_y, plan.preview.image_scale);
    if (*x == 0) {
        *x = plan.preview.width / 2;
        *y = plan.preview.height / 2;
    }
    if (*x > plan.preview.width - 1) *x = plan.preview.width - 1;
    if (*y > plan.preview.height - 1) *y = plan.preview.height - 1;
}

// --- the preview ----------------------------------------------------------------

int32_t preview_sample(int32_t p, int64_t preview_scale, int32_t working_size)
{
    int64_t s = (0x8000 + (int64_t)p * preview_scale) >> 16;
    return (int32_t)(s < working_size ? s : working_size - 1);
}

bool bit_map::at(int32_t x, int32_t y) const
{
    if (x < 0 || y < 0 || y >= height || x >= row_bytes * 8) return false;
    return (bytes[(size_t)y * row_bytes + (x >> 3)] & (0x80 >> (x & 7))) != 0;
}

void bit_map::set(int32_t x, int32_t y) { bytes[(size_t)y * row_bytes + (x >> 3)] |= (uint8_t)(0x80 >> (x & 7)); }

static bit_map empty_map(int32_t width, int32_t height)
{
    bit_map m;
    m.width = width;
    m.height = height;
    m.row_bytes = 2 * ((width + 15) >> 4);
    m.bytes.assign((size_t)m.row_bytes * height, 0);
    return m;
}

bit_map selection_map(const run_plan& plan, const std::vector<uint8_t>& mask)
{
    bit_map m = empty_map(plan.preview.width, plan.preview.height);
    const std::vector<int32_t> rows = mask_rows_requested(plan);
    for (size_t r = 0; r < rows.size(); r++) {
        const uint8_t* line = &mask[(size_t)rows[r] * plan.filter_width];
        for (int32_t k = 0; k < m.row_bytes * 8; k++) {
            const int64_t column = (0x8000 + (int64_t)k * plan.preview.image_scale) >> 16;
            if (column >= plan.filter_width) break;
            if (line[column] == 255) m.set(k, (int32_t)r);
        }
    }
    return m;
}

bit_map outline_of(const bit_map& selection)
{
    bit_map out = empty_map(selection.width, selection.height);
    auto selected = [&](int32_t x, int32_t y) {
        if (y < 0 || y >= selection.height) return false;
        if (x < 0) return true;
        return selection.at(x, y);
    };
    for (int32_t y = 0; y < selection.height; y++)
        for (int32_t x = 0; x < selection.row_bytes * 8; x++) {
            if (!selection.at(x, y)) continue;
            bool edge = false;
            for (int32_t ny = y - 1; ny <= y + 1; ny++)
                for (int32_t nx = x - 1; nx <= x + 1; nx++) edge = edge || !selected(nx, ny);
            if (edge) out.set(x, y);
        }
    return out;
}

bool ant_is_dark(int32_t x, int32_t y, int32_t tick)
{
    static const uint8_t stripes[8] = {0xf1, 0xe3, 0xc7, 0x8f, 0x1f, 0x3e, 0x7c, 0xf8};
    return (stripes[(y - (tick - 1)) & 7] & (0x80 >> (x & 7))) != 0;
}

int32_t marker_at(int32_t x, int32_t y, int32_t cx, int32_t cy)
{
    static const uint8_t plate[8] = {0xe7, 0xff, 0xff, 0x7e, 0x7e, 0xff, 0xff, 0xe7};
    static const uint8_t cross[8] = {0x00, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x00};
    const int32_t dx = x - (cx - 4), dy = y - (cy - 4);
    if (dx < 0 || dx > 7 || dy < 0 || dy > 7) return 0;
    const uint8_t bit = (uint8_t)(0x80 >> dx);
    if (cross[dy] & bit) return 2;
    if (plate[dy] & bit) return 1;
    return 0;
}

}  // namespace reference
