#include "effect/spoke.h"

#include <cstddef>
#include <cstring>

#include "effect/angle_math.h"
#include "effect/angles.h"
#include "effect/exact_divide.h"
#include "host/run_state.h"

// Values outside the dialog's ranges.
//
// The parameter record comes back from the host unchecked, so every int16
// value of every parameter (and any scale, centre and position) must give a
// defined result.  Inside the dialog's ranges the arithmetic below is the
// documented one, bit for bit; these are the choices for everything else:
//
// - spokes <= 0: there is no spoke.  spoke_period and half_period are 0 and
//   every pixel is copied.  Large counts keep the rounded period (at least 2).
// - radius < 0 behaves as 0.  length <= 0 leaves an empty ring (every pixel
//   copied).  thickness <= 0 gives a zero width limit (every pixel copied).
//   Generally a radius, length or half-thickness that comes out negative
//   (negative value, preview extent or scale) is 0, and one beyond 32767
//   pixels (huge scale) is 32767, where the plain 32-bit products would
//   overflow or wrap the int16 to a meaningless radius.  The outer and middle
//   radii saturate at 32767 the same way.
// - intensity: the weight (intensity * 256) / 100 is kept within 0..256, so
//   above 100 the colour is written directly and below 0 the pixel is copied.
// - angle: angle_offset = angle * 143 for every value.  Beyond 360 the centre
//   lines simply keep turning by 143 units per degree.  For negative angles
//   the distance to a centre line uses a floored remainder, so the lines stay
//   at -angle_offset + k * spoke_period exactly as for positive angles (a
//   32-bit unsigned sum would add 2^32 mod spoke_period instead).
// - bytes_per_pixel other than 1, 3 or 4: the pixel is copied unchanged
//   (bytes_per_pixel bytes); 0 or negative writes nothing.
// - Centre and position: dx and dy wrap to int16 as stored differences.  The
//   squared distance (up to 2^31) is formed in 64 bits; anything at or above
//   2^31 is outside every ring, since outer_sq is at most 32767^2.  The
//   magnitude of -32768 is 32768 (16-bit negation would leave it negative
//   and send the pixel to the wrong octant).
// - The table arctangent never reads past atan_table: a ratio of exactly 1
//   uses the last entry alone.  spoke_angle(0, 0), which no ring pixel can
//   reach, is 38604 instead of a division by zero.
//
// Large distances and wide rings, where the plain formulas run out of bits:
// - Far pixels, d2 above 2^23 (about 2896 pixels from the centre): 2^23 / d2
//   would be 0, so for these pixels alone the width measure is
//   t = (o * o * d2) >> 23, exactly, in 64 bits.  At and below 2^23 it is the
//   quantised q = 2^23 / d2, t = o * o / q.
// - The two ramp products and the feather product are formed in 64 bits with
//   the same truncating division; results that fit in 31 bits are unchanged.

namespace {

using exact_divide::divide;
using exact_divide::divider;
using exact_divide::make_divider;

constexpr uint32_t width_limit_d2 = 8388608u;  // 2^23

// The geometry as the shading loops use it: copied out of run_state (writes
// through a uint8_t* may alias anything, so reading the fields in the loop
// would reload them after every byte written) and widened once.
struct geometry {
    int64_t inner_sq, outer_sq, mid_sq;
    int64_t outer_span;  // outer_sq - mid_sq
    int64_t inner_span;  // mid_sq - inner_sq
    uint32_t period, half;
    uint32_t offset;  // angle_offset reduced into 0 .. period - 1
    int64_t thick_sq, core_sq, feather_span;
    uint32_t weight;
    bool paints;  // false when no pixel can change
};

int64_t floor_mod(int64_t a, int64_t m) {
    int64_t r = a % m;
    return r < 0 ? r + m : r;
}

geometry load_geometry() {
    geometry g;
    g.inner_sq = run_state.inner_sq;
    g.outer_sq = run_state.outer_sq;
    g.mid_sq = run_state.mid_sq;
    g.outer_span = g.outer_sq - g.mid_sq;
    g.inner_span = g.mid_sq - g.inner_sq;
    g.period = run_state.spoke_period;
    g.half = run_state.half_period;
    g.offset = g.period ? static_cast<uint32_t>(floor_mod(run_state.angle_offset, g.period)) : 0;
    g.thick_sq = run_state.thick_sq;
    g.core_sq = run_state.core_sq;
    g.feather_span = run_state.feather_span;
    g.weight = run_state.intensity_weight > 256 ? 256 : run_state.intensity_weight;
    // With weight 0 the blend gives back the source bytes exactly, so such a
    // pass is a copy too.
    g.paints = g.period != 0 && g.thick_sq > 0 && g.weight != 0 && g.outer_sq > g.inner_sq;
    return g;
}

inline uint8_t clamp_to_byte(int32_t v) {
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// Width measure: about 8 * s^2 for a pixel s pixels from the spoke's centre
// line.  Non-decreasing in o and in d2 (the row path relies on both).
inline uint64_t width_measure(uint32_t o, uint32_t d2) {
    uint32_t oo = o * o;  // o <= 32767
    if (d2 <= width_limit_d2) return oo / (width_limit_d2 / d2);
    return (static_cast<uint64_t>(oo) * d2) >> 23;
}

inline uint32_t distance_to_spoke(const geometry& g, uint32_t e) {
    uint32_t rem = (e + g.offset) % g.period;
    return rem <= g.half ? rem : g.period - rem;
}

template <int BPP>
inline void copy_pixel(uint8_t* dst, const uint8_t* p) {
    for (int k = 0; k < BPP; ++k) dst[k] = p[k];
}

// Colour, fades and blend for a pixel inside the ring whose width measure t
// is below thick_sq.
// Writes the spoke colour at coverage u (0..256) over source pixel p: the
// colour itself at full coverage, else the blend; the fourth channel moves
// toward 255 by the coverage.
template <int BPP>
inline void write_spoke_colour(uint8_t* dst, const uint8_t* p, uint32_t u, uint32_t c0, uint32_t c1, uint32_t c2) {
    if (u == 256) {
        dst[0] = static_cast<uint8_t>(c0);
        if (BPP >= 3) {
            dst[1] = static_cast<uint8_t>(c1);
            dst[2] = static_cast<uint8_t>(c2);
        }
        if (BPP == 4) dst[3] = 255;
        return;
    }
    uint32_t w = 256 - u;
    dst[0] = static_cast<uint8_t>((p[0] * w + u * c0) >> 8);
    if (BPP >= 3) {
        dst[1] = static_cast<uint8_t>((p[1] * w + u * c1) >> 8);
        dst[2] = static_cast<uint8_t>((p[2] * w + u * c2) >> 8);
    }
    if (BPP == 4) dst[3] = static_cast<uint8_t>(((p[3] * w) >> 8) + u);
}

template <int BPP>
inline void blend_spoke(const geometry& g, uint8_t* dst, const uint8_t* p, int64_t d2, int64_t t) {
    int32_t b;
    int32_t c0, c2;
    if (d2 > g.mid_sq) {
        b = static_cast<int32_t>(((g.outer_sq - d2) * 1024) / g.outer_span);
        c0 = 255;
        c2 = 0;
    } else {
        b = static_cast<int32_t>(((d2 - g.inner_sq) * 1024) / g.inner_span);
        c0 = clamp_to_byte(b - 769);
        c2 = clamp_to_byte(768 - b);
    }
    int32_t c1 = clamp_to_byte(b - 512);
    if (BPP == 1) c0 = clamp_to_byte(b >> 1);

    uint32_t u = g.weight;
    if (b < 128) u = (u * static_cast<uint32_t>(b)) >> 7;
    if (t > g.core_sq) u = static_cast<uint32_t>(((g.thick_sq - t) * u) / g.feather_span);

    write_spoke_colour<BPP>(dst, p, u, c0, c1, c2);
}

// A pixel already known to lie inside the ring.
template <int BPP>
inline void shade_ring_pixel(const geometry& g, uint8_t* dst, const uint8_t* p, int16_t dx, int16_t dy) {
    uint32_t d2 = static_cast<uint32_t>(dx * dx) + static_cast<uint32_t>(dy * dy);
    uint32_t o = distance_to_spoke(g, angle_math::pixel_angle(dx, dy));
    int64_t t = static_cast<int64_t>(width_measure(o, d2));
    if (t >= g.thick_sq) {
        copy_pixel<BPP>(dst, p);
        return;
    }
    blend_spoke<BPP>(g, dst, p, d2, t);
}

template <int BPP>
void shade_one(uint8_t* dst, const uint8_t* p, int16_t dx, int16_t dy) {
    int64_t d2 = static_cast<int64_t>(dx * dx) + dy * dy;
    if (!(run_state.inner_sq < d2 && d2 < run_state.outer_sq) || run_state.spoke_period == 0) {
        copy_pixel<BPP>(dst, p);
        return;
    }
    geometry g = load_geometry();
    shade_ring_pixel<BPP>(g, dst, p, dx, dy);
}

inline int16_t integer_part(int32_t pos) {
    return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(pos) >> 16));
}

inline int16_t wrap16(int32_t v) {
    return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(v)));
}

// ---------------------------------------------------------------------------
// Row path.
//
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
    geometry g;
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

template <int BPP>
void copy_up_to(row_job& job, int32_t x_end) {
    if (x_end <= job.done) return;
    std::memmove(job.dst + static_cast<size_t>(job.done) * BPP, job.src + static_cast<size_t>(job.done) * BPP,
                 static_cast<size_t>(x_end - job.done) * BPP);
    job.done = x_end;
}

template <int BPP>
inline void blend_row_pixel(const row_job& job, uint8_t* dst, const uint8_t* p, uint32_t d2, uint32_t t,
                            bool feather) {
    const geometry& g = job.g;
    int32_t b;
    int32_t c0, c2;
    if (d2 > g.mid_sq) {
        uint32_t n = static_cast<uint32_t>(g.outer_sq - d2);
        b = job.outer_fast ? static_cast<int32_t>(divide(job.outer_div, n * 1024))
                           : static_cast<int32_t>((static_cast<int64_t>(n) * 1024) / g.outer_span);
        c0 = 255;
        c2 = 0;
    } else {
        uint32_t n = static_cast<uint32_t>(d2 - g.inner_sq);
        b = job.inner_fast ? static_cast<int32_t>(divide(job.inner_div, n * 1024))
                           : static_cast<int32_t>((static_cast<int64_t>(n) * 1024) / g.inner_span);
        c0 = clamp_to_byte(b - 769);
        c2 = clamp_to_byte(768 - b);
    }
    int32_t c1 = clamp_to_byte(b - 512);
    if (BPP == 1) c0 = clamp_to_byte(b >> 1);

    uint32_t u = g.weight;
    if (b < 128) u = (u * static_cast<uint32_t>(b)) >> 7;
    if (feather) {
        uint32_t room = static_cast<uint32_t>(g.thick_sq - t);
        u = job.feather_fast ? divide(job.feather_div, room * u)
                             : static_cast<uint32_t>((static_cast<int64_t>(room) * u) / g.feather_span);
    }

    write_spoke_colour<BPP>(dst, p, u, c0, c1, c2);
}

// Shades the columns whose dx runs from lo to hi (inclusive, x = dx - base),
// all in the ring and in one octant.  With near_line true every pixel is
// within half a period of the centre line at pixel angle `line`, which is then
// the nearest one; otherwise the distance comes from the remainder.
template <int BPP, bool STEEP>
void shade_span(row_job& job, int32_t lo, int32_t hi, int32_t base, const octant& oct, bool near_line,
                int64_t line) {
    copy_up_to<BPP>(job, lo - base);
    const geometry& g = job.g;
    const uint64_t thick = static_cast<uint64_t>(g.thick_sq);
    const uint64_t core_next = static_cast<uint64_t>(g.core_sq) + 1;
    // q = 2^23 / d2 changes slowly along a span; it is divided out again only
    // when q * d2 <= 2^23 < (q + 1) * d2 no longer holds.  (64-bit products:
    // q is at most 2^23.)
    uint32_t q = 1;
    uint8_t* d = job.dst + static_cast<size_t>(lo - base) * BPP;
    const uint8_t* p = job.src + static_cast<size_t>(lo - base) * BPP;
    for (int32_t dx = lo; dx <= hi; ++dx, d += BPP, p += BPP) {
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
                copy_pixel<BPP>(d, p);
                continue;
            }
            feather = oo >= core_next * q;  // floor(oo / q) > core_sq
            t = feather ? oo / q : 0;
        } else {
            const uint64_t t_far = (static_cast<uint64_t>(oo) * d2) >> 23;
            if (t_far >= thick) {
                copy_pixel<BPP>(d, p);
                continue;
            }
            t = static_cast<uint32_t>(t_far);
            feather = t_far >= core_next;
        }
        blend_row_pixel<BPP>(job, d, p, d2, t, feather);
    }
    job.done = hi - base + 1;
}

template <int BPP>
void shade_span_any(row_job& job, int32_t lo, int32_t hi, int32_t base, const octant& oct, bool near_line,
                    int64_t line) {
    if (oct.steep) {
        shade_span<BPP, true>(job, lo, hi, base, oct, near_line, line);
    } else {
        shade_span<BPP, false>(job, lo, hi, base, oct, near_line, line);
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
uint32_t reach_at(const geometry& g, uint32_t d2) {
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
template <int BPP>
void shade_run(row_job& job, int32_t lo, int32_t hi, int32_t base, const octant& oct) {
    const geometry& g = job.g;
    uint32_t nearest = lo > 0 ? static_cast<uint32_t>(lo) : (hi < 0 ? static_cast<uint32_t>(-hi) : 0u);
    const uint32_t reach = reach_at(g, job.dy2 + nearest * nearest);
    if (reach >= g.half) {
        shade_span_any<BPP>(job, lo, hi, base, oct, false, 0);
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
        shade_span_any<BPP>(job, lo, hi, base, oct, false, 0);
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
        if (first < end) shade_span_any<BPP>(job, first, end - 1, base, oct, true, line);
        from = end;
    }
}

// Columns x0 .. x1-1, where dx = x + base stays within int16.
template <int BPP>
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
        if (lo <= hi) shade_run<BPP>(job, lo, hi, base, below ? below_oct[i] : above_oct[i]);
    }
}

void prepare_row(row_job& job) {
    const geometry& g = job.g;
    job.outer_fast = g.outer_span > 0 && g.outer_span * 1024 < numerator_limit;
    if (job.outer_fast) job.outer_div = make_divider(static_cast<uint32_t>(g.outer_span));
    job.inner_fast = g.inner_span > 0 && g.inner_span * 1024 < numerator_limit;
    if (job.inner_fast) job.inner_div = make_divider(static_cast<uint32_t>(g.inner_span));
    job.feather_fast = g.feather_span > 0 && g.feather_span * 256 < numerator_limit;
    if (job.feather_fast) job.feather_div = make_divider(static_cast<uint32_t>(g.feather_span));
    job.period_div = make_divider(g.period);
    job.steep_div = make_divider(job.m ? job.m : 1);
}

template <int BPP>
void shade_row_bpp(row_job& job, int32_t width, int16_t centre_x) {
    const geometry& g = job.g;
    const int64_t dy2 = job.dy2;
    if (g.paints && g.outer_sq - dy2 > 0) {
        const int32_t m_out = static_cast<int32_t>(isqrt(static_cast<uint64_t>(g.outer_sq - dy2 - 1)));
        const int64_t inside = g.inner_sq - dy2;
        const int32_t m_in = inside < 0 ? -1 : static_cast<int32_t>(isqrt(static_cast<uint64_t>(inside)));
        if (m_in < m_out) {
            prepare_row(job);
            // dx = x - centre_x wraps to int16 from x = centre_x + 32768 on.
            const int32_t wrap_x = static_cast<int32_t>(centre_x) + 32768;
            const int32_t split = wrap_x < width ? wrap_x : width;
            shade_piece<BPP>(job, 0, split, -centre_x, m_in, m_out);
            shade_piece<BPP>(job, split, width, -centre_x - 65536, m_in, m_out);
        }
    }
    copy_up_to<BPP>(job, width);
}
}  // namespace

uint8_t clamp_byte(int16_t v) { return clamp_to_byte(v); }

uint16_t angle_distance(uint16_t e) {
    uint32_t period = run_state.spoke_period;
    if (period == 0) return 65535;
    uint32_t offset = static_cast<uint32_t>(floor_mod(run_state.angle_offset, period));
    uint32_t rem = (e + offset) % period;
    return static_cast<uint16_t>(rem <= run_state.half_period ? rem : period - rem);
}

// A preview length as pixels of the shaded space: (len * scale) >> shift,
// kept within 0..32767 (see the notes at the top).
static int32_t to_pixels(int32_t preview_length, int32_t scale, int shift) {
    int64_t product = static_cast<int64_t>(preview_length) * scale;
    if (product <= 0) return 0;
    int64_t r = product >> shift;
    return r > 32767 ? 32767 : static_cast<int32_t>(r);
}

static int32_t at_most_int16(int32_t v) { return v > 32767 ? 32767 : v; }

void setup_spoke_geometry(int32_t scale) {
    const int16_t extent = run_state.preview_extent;

    const int32_t ri = to_pixels(scale_by_preview(run_state.radius, extent), scale, 16);
    const int32_t len = to_pixels(scale_by_preview(run_state.length, extent), scale, 16);
    const int32_t ro = at_most_int16(ri + len);
    const int32_t rm = at_most_int16(ri + len / 2);
    run_state.inner_sq = ri * ri;
    run_state.outer_sq = ro * ro;
    run_state.mid_sq = rm * rm;

    if (run_state.spokes > 0) {
        // The full turn to thirteen significant digits, as the period has
        // always been derived; 7 spokes give 7353, not 7353.12 rounded from
        // a more precise pi.  The one floating-point operation of the effect.
        const double full_turn = 16384.0 * 3.14159265359;
        run_state.spoke_period = static_cast<uint16_t>(static_cast<int32_t>(full_turn / run_state.spokes + 0.5));
    } else {
        run_state.spoke_period = 0;
    }
    run_state.half_period = static_cast<uint16_t>(run_state.spoke_period >> 1);

    int32_t weight = (static_cast<int32_t>(run_state.intensity) * 256) / 100;
    if (weight < 0) weight = 0;
    if (weight > 256) weight = 256;
    run_state.intensity_weight = static_cast<uint16_t>(weight);

    run_state.angle_offset = static_cast<int32_t>(run_state.angle) * 143;

    // Width limit from half the thickness; the core is 15 preview pixels
    // narrower, but never below 5, so thin spokes keep a solid middle.
    const int32_t thick = scale_by_preview(run_state.thickness, extent);
    const int32_t core = thick - 15 > 5 ? thick - 15 : 5;
    const int32_t ht = to_pixels(thick, scale, 17);
    const int32_t hc = to_pixels(core, scale, 17);
    run_state.thick_sq = ht * ht;
    run_state.core_sq = hc * hc;
    run_state.feather_span = run_state.thick_sq - run_state.core_sq;
}

void shade_pixel(uint8_t* dst) {
    const int32_t bpp = run_state.bytes_per_pixel;
    if (bpp <= 0) return;
    const int16_t c = integer_part(run_state.col_pos);
    const int16_t r = integer_part(run_state.row_pos);
    const uint8_t* p = run_state.src_row + static_cast<ptrdiff_t>(c) * bpp;
    const int16_t dx = wrap16(c - run_state.centre_x);
    const int16_t dy = wrap16(r - run_state.centre_y);
    switch (bpp) {
        case 1: shade_one<1>(dst, p, dx, dy); break;
        case 3: shade_one<3>(dst, p, dx, dy); break;
        case 4: shade_one<4>(dst, p, dx, dy); break;
        default: std::memmove(dst, p, static_cast<size_t>(bpp)); break;
    }
}

void shade_row(uint8_t* dst, int32_t width) {
    if (width <= 0) return;
    if (width > 32768) width = 32768;
    run_state.col_pos = static_cast<int32_t>(static_cast<uint32_t>(width - 1) << 16);
    const int32_t bpp = run_state.bytes_per_pixel;
    if (bpp <= 0) return;
    const uint8_t* src = run_state.src_row;
    if (bpp != 1 && bpp != 3 && bpp != 4) {
        std::memmove(dst, src, static_cast<size_t>(width) * static_cast<size_t>(bpp));
        return;
    }
    row_job job;
    job.g = load_geometry();
    job.dst = dst;
    job.src = src;
    job.done = 0;
    job.dy = wrap16(integer_part(run_state.row_pos) - run_state.centre_y);
    job.dy2 = static_cast<uint32_t>(job.dy * job.dy);
    job.m = angle_math::magnitude(job.dy);
    const int16_t cx = run_state.centre_x;
    switch (bpp) {
        case 1: shade_row_bpp<1>(job, width, cx); break;
        case 3: shade_row_bpp<3>(job, width, cx); break;
        default: shade_row_bpp<4>(job, width, cx); break;
    }
}
