// The span path: shade_span, byte for byte the per-pixel rule of spoke.cpp
// on every column, without evaluating it on most of them.
#include <cstddef>
#include <cstring>

#include "effect/angle_math.h"
#include "effect/exact_divide.h"
#include "effect/spoke.h"
#include "effect/spoke_pixel.h"

namespace {

using namespace spoke_pixel;
using exact_divide::divide;
using exact_divide::divider;
using exact_divide::make_divider;

// Along one row dy is fixed, so the ring is at most two runs of columns,
// found from the ring inequality with integer square roots.  Within each run,
// split where |dx| = |dy| and at dx = 0, the pixel angle is monotonic in dx
// (one octant of the angle rule, whose table arctangent is non-decreasing in
// its ratio).  A pixel can only pass the width test if
// width_measure(o, d2_min) < thick_sq, d2_min being the smallest squared
// distance of the run, because the measure never falls as d2 grows.  That
// bounds o, which bounds the pixel angle to one window around each spoke
// centre line; the monotonic angle turns each window into one span of
// columns, found by binary search.  Only those spans are shaded pixel by
// pixel; every other column is a copy of the source, done in bulk.  Nothing
// is approximated: the spans are a superset of the pixels that change.
//
// Inside a span the rule is evaluated with fewer divisions, each change
// giving the same integers:
// - divisions by a divisor that is fixed for the row (the two ramp spans,
//   feather_span, spoke_period, and |dy| for the steep octants) are
//   multiplications by a rounded-up reciprocal (exact_divide.h);
// - inside a window the nearest centre line is known, so the distance to it
//   needs no remainder;
// - the width test t >= thick_sq, t = floor(o^2 / q), is o^2 >= thick_sq * q,
//   and t itself is only divided out where the feather needs it.

// Numerators must stay below this for divide().
constexpr int64_t numerator_limit = int64_t{1} << 31;

uint32_t isqrt(uint64_t n) {
    uint64_t root = 0;
    uint64_t bit = uint64_t{1} << 62;
    while (bit > n) bit >>= 2;
    while (bit != 0) {
        if (n >= root + bit) {
            n -= root + bit;
            root = (root >> 1) + bit;
        } else {
            root >>= 1;
        }
        bit >>= 2;
    }
    return static_cast<uint32_t>(root);
}

int64_t floor_div(int64_t a, int64_t b) {
    int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

int64_t ceil_div(int64_t a, int64_t b) { return -floor_div(-a, b); }

struct row_job {
    wide_geometry g;
    uint8_t* dst;
    const uint8_t* src;
    int32_t done;  // columns below this are written
    int16_t dy;
    uint32_t dy2;
    uint32_t m;  // |dy|
    // Reciprocals for this row; a *_fast flag is false where the numerators
    // could reach 2^31 and the plain 64-bit division is used instead.
    divider outer_div, inner_div, feather_div, period_div, steep_div;
    bool outer_fast, inner_fast, feather_fast;
};

// One octant of the angle rule: e = base + A or base - A, with A the table
// arctangent of |dx| / |dy| (steep) or |dy| / |dx| (flat).
struct octant {
    uint32_t base;
    bool subtract;
    bool steep;
};

// The pixel angle at column offset dx (magnitude ax) of this row, for a
// column known to lie in octant `oct`: the same value as spoke_angle, without
// the octant tests, and without a division where |dy| is the divisor.
template <bool STEEP>
inline uint32_t octant_angle(const row_job& job, const octant& oct, uint32_t ax) {
    const uint32_t r = STEEP ? divide(job.steep_div, ax * 8192) : (job.m * 8192) / ax;
    const uint32_t a = angle_math::atan_of_ratio(r);
    return oct.subtract ? oct.base - a : oct.base + a;
}

inline uint32_t octant_angle_at(const row_job& job, const octant& oct, int32_t dx) {
    const uint32_t ax = static_cast<uint32_t>(dx < 0 ? -dx : dx);
    return oct.steep ? octant_angle<true>(job, oct, ax) : octant_angle<false>(job, oct, ax);
}

template <class L>
void copy_up_to(row_job& job, int32_t x_end) {
    if (x_end <= job.done) return;
    std::memmove(job.dst + static_cast<size_t>(job.done) * L::bytes, job.src + static_cast<size_t>(job.done) * L::bytes,
                 static_cast<size_t>(x_end - job.done) * L::bytes);
    job.done = x_end;
}

template <class L>
inline void blend_row_pixel(const row_job& job, uint8_t* dst, const uint8_t* p, uint32_t d2, uint32_t t,
                            bool feather) {
    const wide_geometry& g = job.g;
    const bool outer = d2 > g.mid_sq;
    int32_t b;
    if (outer) {
        uint32_t n = static_cast<uint32_t>(g.outer_sq - d2);
        b = job.outer_fast ? static_cast<int32_t>(divide(job.outer_div, n * 1024))
                           : static_cast<int32_t>((static_cast<int64_t>(n) * 1024) / g.outer_span);
    } else {
        uint32_t n = static_cast<uint32_t>(d2 - g.inner_sq);
        b = job.inner_fast ? static_cast<int32_t>(divide(job.inner_div, n * 1024))
                           : static_cast<int32_t>((static_cast<int64_t>(n) * 1024) / g.inner_span);
    }
    const ramp c = colour_at<L>(b, outer);
    uint32_t u = faded_weight(g, b);
    if (feather) {
        uint32_t room = static_cast<uint32_t>(g.thick_sq - t);
        u = job.feather_fast ? divide(job.feather_div, room * u)
                             : static_cast<uint32_t>((static_cast<int64_t>(room) * u) / g.feather_span);
    }

    write_spoke_colour<L>(dst, p, u, c.c0, c.c1, c.c2);
}

// Shades the columns whose dx runs from lo to hi (inclusive, x = dx - base),
// all in the ring and in one octant.  With near_line true every pixel is
// within half a period of the centre line at pixel angle `line`, which is then
// the nearest one; otherwise the distance comes from the remainder.
template <class L, bool STEEP>
void shade_columns(row_job& job, int32_t lo, int32_t hi, int32_t base, const octant& oct, bool near_line,
                int64_t line) {
    copy_up_to<L>(job, lo - base);
    const wide_geometry& g = job.g;
    const uint64_t thick = static_cast<uint64_t>(g.thick_sq);
    const uint64_t core_next = static_cast<uint64_t>(g.core_sq) + 1;
    // q = 2^23 / d2 changes slowly along a span; it is divided out again only
    // when q * d2 <= 2^23 < (q + 1) * d2 no longer holds.  (64-bit products:
    // q is at most 2^23.)
    uint32_t q = 1;
    uint8_t* d = job.dst + static_cast<size_t>(lo - base) * L::bytes;
    const uint8_t* p = job.src + static_cast<size_t>(lo - base) * L::bytes;
    for (int32_t dx = lo; dx <= hi; ++dx, d += L::bytes, p += L::bytes) {
        const uint32_t ax = static_cast<uint32_t>(dx < 0 ? -dx : dx);
        const uint32_t e = octant_angle<STEEP>(job, oct, ax);
        uint32_t o;
        if (near_line) {
            int64_t diff = static_cast<int64_t>(e) - line;
            o = static_cast<uint32_t>(diff < 0 ? -diff : diff);
        } else {
            uint32_t s = e + g.offset;
            uint32_t rem = s - divide(job.period_div, s) * g.period;
            o = rem <= g.half ? rem : g.period - rem;
        }
        const uint32_t d2 = job.dy2 + ax * ax;
        const uint32_t oo = o * o;
        uint32_t t;
        bool feather;
        if (d2 <= width_limit_d2) {
            const uint64_t qd2 = static_cast<uint64_t>(q) * d2;
            if (qd2 > width_limit_d2 || qd2 + d2 <= width_limit_d2) q = width_limit_d2 / d2;
            if (oo >= thick * q) {
                copy_pixel<L>(d, p);
                continue;
            }
            feather = oo >= core_next * q;  // floor(oo / q) > core_sq
            t = feather ? oo / q : 0;
        } else {
            const uint64_t t_far = (static_cast<uint64_t>(oo) * d2) >> 23;
            if (t_far >= thick) {
                copy_pixel<L>(d, p);
                continue;
            }
            t = static_cast<uint32_t>(t_far);
            feather = t_far >= core_next;
        }
        blend_row_pixel<L>(job, d, p, d2, t, feather);
    }
    job.done = hi - base + 1;
}

template <class L>
void shade_columns_any(row_job& job, int32_t lo, int32_t hi, int32_t base, const octant& oct, bool near_line,
                    int64_t line) {
    if (oct.steep) {
        shade_columns<L, true>(job, lo, hi, base, oct, near_line, line);
    } else {
        shade_columns<L, false>(job, lo, hi, base, oct, near_line, line);
    }
}

// First dx in [lo, hi] where the pixel angle has reached the bound (at or
// above it on a rising run, at or below on a falling one); hi + 1 if none.
int32_t first_reaching(const row_job& job, const octant& oct, int32_t lo, int32_t hi, bool rising, int64_t bound) {
    int32_t a = lo;
    int32_t b = hi + 1;
    while (a < b) {
        int32_t mid = a + (b - a) / 2;
        int64_t e = octant_angle_at(job, oct, mid);
        bool reached = rising ? e >= bound : e <= bound;
        if (reached) {
            b = mid;
        } else {
            a = mid + 1;
        }
    }
    return a;
}

int32_t bit_length(uint32_t v) {
    int32_t n = 0;
    while (v) {
        ++n;
        v >>= 1;
    }
    return n;
}

// Largest angle distance o with width_measure(o, d2) < thick_sq, or
// half_period when every distance passes.
uint32_t reach_at(const wide_geometry& g, uint32_t d2) {
    if (static_cast<int64_t>(width_measure(g.half, d2)) < g.thick_sq) return g.half;
    uint32_t pass = 0;  // width_measure(0, .) = 0 < thick_sq
    uint32_t fail = g.half;
    while (fail - pass > 1) {
        uint32_t mid = pass + (fail - pass) / 2;
        if (static_cast<int64_t>(width_measure(mid, d2)) < g.thick_sq) {
            pass = mid;
        } else {
            fail = mid;
        }
    }
    return pass;
}

// One run of ring columns, dx in [lo, hi], all in one octant.
template <class L>
void shade_run(row_job& job, int32_t lo, int32_t hi, int32_t base, const octant& oct) {
    const wide_geometry& g = job.g;
    uint32_t nearest = lo > 0 ? static_cast<uint32_t>(lo) : (hi < 0 ? static_cast<uint32_t>(-hi) : 0u);
    const uint32_t reach = reach_at(g, job.dy2 + nearest * nearest);
    if (reach >= g.half) {
        shade_columns_any<L>(job, lo, hi, base, oct, false, 0);
        return;
    }

    // Below the centre the angle falls as dx grows, above it (and on the
    // centre row) it rises.
    const bool rising = job.dy <= 0;
    int64_t e_first = octant_angle_at(job, oct, lo);
    int64_t e_last = octant_angle_at(job, oct, hi);
    int64_t e_min = rising ? e_first : e_last;
    int64_t e_max = rising ? e_last : e_first;

    // Centre lines in pixel-angle terms sit at k * period - offset.
    const int64_t period = g.period;
    const int64_t offset = g.offset;
    int64_t k_min = ceil_div(e_min + offset - reach, period);
    int64_t k_max = floor_div(e_max + offset + reach, period);
    if (k_min > k_max) return;  // no centre line near: the run is copied

    // With many centre lines on a short run, searching costs more than
    // shading every pixel.
    int64_t len = static_cast<int64_t>(hi) - lo + 1;
    if ((k_max - k_min + 1) * 4 * bit_length(static_cast<uint32_t>(len)) >= len) {
        shade_columns_any<L>(job, lo, hi, base, oct, false, 0);
        return;
    }

    int32_t from = lo;
    for (int64_t i = 0; i <= k_max - k_min && from <= hi; ++i) {
        int64_t k = rising ? k_min + i : k_max - i;
        int64_t line = k * period - offset;
        int32_t first, end;
        if (rising) {
            first = first_reaching(job, oct, from, hi, true, line - reach);
            end = first_reaching(job, oct, first, hi, true, line + reach + 1);
        } else {
            first = first_reaching(job, oct, from, hi, false, line + reach);
            end = first_reaching(job, oct, first, hi, false, line - reach - 1);
        }
        if (first < end) shade_columns_any<L>(job, first, end - 1, base, oct, true, line);
        from = end;
    }
}

// Columns x0 .. x1-1, where dx = x + base stays within int16.
template <class L>
void shade_piece(row_job& job, int32_t x0, int32_t x1, int32_t base, int32_t m_in, int32_t m_out) {
    if (x0 >= x1) return;
    const int32_t dx0 = x0 + base;
    const int32_t dx1 = x1 - 1 + base;
    const int32_t m = static_cast<int32_t>(job.m);
    const bool below = job.dy > 0;
    // Ring columns left and right of the centre, split where the octant
    // changes: dx < -m (flat), -m <= dx <= 0 (steep), 0 < dx <= m (steep),
    // dx > m (flat).
    const int32_t right_lo = m_in + 1 > 1 ? m_in + 1 : 1;
    const int32_t ring_lo[4] = {-m_out, -m_out, right_lo, right_lo};
    const int32_t ring_hi[4] = {-(m_in + 1), -(m_in + 1), m_out, m_out};
    const int32_t oct_lo[4] = {INT32_MIN, -m, 1, m + 1};
    const int32_t oct_hi[4] = {-m - 1, 0, m, INT32_MAX};
    // The angle rule's eight rows.
    const octant below_oct[4] = {{angle_math::half_turn, true, false},
                                 {angle_math::quarter_turn, false, true},
                                 {angle_math::quarter_turn, true, true},
                                 {0, false, false}};
    const octant above_oct[4] = {{angle_math::half_turn, false, false},
                                 {angle_math::three_quarters, true, true},
                                 {angle_math::three_quarters, false, true},
                                 {angle_math::full_turn, true, false}};
    for (int i = 0; i < 4; ++i) {
        int32_t lo = dx0;
        if (ring_lo[i] > lo) lo = ring_lo[i];
        if (oct_lo[i] > lo) lo = oct_lo[i];
        int32_t hi = dx1;
        if (ring_hi[i] < hi) hi = ring_hi[i];
        if (oct_hi[i] < hi) hi = oct_hi[i];
        if (lo <= hi) shade_run<L>(job, lo, hi, base, below ? below_oct[i] : above_oct[i]);
    }
}

void prepare_row(row_job& job) {
    const wide_geometry& g = job.g;
    job.outer_fast = g.outer_span > 0 && g.outer_span * 1024 < numerator_limit;
    if (job.outer_fast) job.outer_div = make_divider(static_cast<uint32_t>(g.outer_span));
    job.inner_fast = g.inner_span > 0 && g.inner_span * 1024 < numerator_limit;
    if (job.inner_fast) job.inner_div = make_divider(static_cast<uint32_t>(g.inner_span));
    job.feather_fast = g.feather_span > 0 && g.feather_span * 256 < numerator_limit;
    if (job.feather_fast) job.feather_div = make_divider(static_cast<uint32_t>(g.feather_span));
    job.period_div = make_divider(g.period);
    job.steep_div = make_divider(job.m ? job.m : 1);
}

// The ring's columns on this row, as offsets from the centre: every dx with
// m_in < |dx| <= m_out.  False when the row misses the ring.
bool ring_on_row(const wide_geometry& g, int64_t dy2, int32_t* m_in, int32_t* m_out) {
    if (!g.paints || g.outer_sq - dy2 <= 0) return false;
    *m_out = static_cast<int32_t>(isqrt(static_cast<uint64_t>(g.outer_sq - dy2 - 1)));
    const int64_t inside = g.inner_sq - dy2;
    *m_in = inside < 0 ? -1 : static_cast<int32_t>(isqrt(static_cast<uint64_t>(inside)));
    return *m_in < *m_out;
}

// Columns x0 .. x1-1, src and dst at column x0.  The offset from the centre
// wraps to int16 as the pixel rule takes it, so the span is cut into pieces
// along which dx runs without a wrap.
template <class L>
void shade_span_layout(const spoke_shader& shader, int32_t row, int32_t x0, int32_t x1, const uint8_t* src,
                       uint8_t* dst) {
    row_job job;
    job.g = widen(shader.geometry);
    job.dy = wrap16(static_cast<int64_t>(row) - shader.centre_y);
    job.dy2 = static_cast<uint32_t>(job.dy * job.dy);
    job.m = angle_math::magnitude(job.dy);
    int32_t m_in = 0, m_out = 0;
    const bool ring = ring_on_row(job.g, job.dy2, &m_in, &m_out);
    if (ring) prepare_row(job);
    for (int64_t a = x0; a < x1;) {
        const int16_t dx_first = wrap16(a - shader.centre_x);
        int64_t b = a + (32767 - static_cast<int64_t>(dx_first)) + 1;
        if (b > x1) b = x1;
        const size_t offset = static_cast<size_t>(a - x0) * L::bytes;
        job.dst = dst + offset;
        job.src = src + offset;
        job.done = 0;
        const int32_t n = static_cast<int32_t>(b - a);
        if (ring) shade_piece<L>(job, 0, n, dx_first, m_in, m_out);
        copy_up_to<L>(job, n);
        a = b;
    }
}

}  // namespace

void shade_span(const spoke_shader& shader, int32_t row, int32_t x0, int32_t x1, const uint8_t* src, uint8_t* dst) {
    if (x1 <= x0) return;
    switch (shader.layout) {
        case pixel_layout::gray: shade_span_layout<gray_px>(shader, row, x0, x1, src, dst); break;
        case pixel_layout::rgb: shade_span_layout<rgb_px>(shader, row, x0, x1, src, dst); break;
        case pixel_layout::cmyk: shade_span_layout<cmyk_px>(shader, row, x0, x1, src, dst); break;
        case pixel_layout::gray_alpha: shade_span_layout<gray_alpha_px>(shader, row, x0, x1, src, dst); break;
        case pixel_layout::rgb_alpha: shade_span_layout<rgb_alpha_px>(shader, row, x0, x1, src, dst); break;
    }
}
