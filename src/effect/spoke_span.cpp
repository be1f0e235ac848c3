// The span path: shade_span, byte for byte the per-pixel rule of spoke.cpp
// on every column, without evaluating it on most of them.
#include <cstddef>
#include <cstring>

#include "effect/angle_math.h"
#include "effect/exact_divide.h"
#include "effect/solid_sse2.h"
#include "effect/span_angles.h"
#include "effect/spoke.h"
#include "effect/spoke_pixel.h"

namespace {

using namespace spoke_pixel;
using exact_divide::divide;
using exact_divide::divider;
using exact_divide::make_divider;
using exact_divide::make_ramp_divider;
using exact_divide::ramp_of;
using span_angles::octant;

// Along one row dy is fixed, so the ring is at most two runs of columns,
// found from the ring inequality with integer square roots.  Within each run,
// split where |dx| = |dy| and at dx = 0, the pixel angle is monotonic in dx
// (one octant of the angle rule, whose table arctangent is non-decreasing in
// its ratio), and so is d2.
//
// The centre lines cut the run into cells, one per line: the columns whose
// angle lies within half a period of it, so that the line is the nearest one
// and the angle distance is simply |e - line|.  Every cell splits into at
// most five stretches of columns, each found without evaluating a pixel
// angle (span_angles.h turns an angle bound straight into a column):
// - copied: the angle distance is above the largest o with
//   width_measure(o, d2) < thick_sq at the cell's smallest d2; as the measure
//   never falls as o or d2 grow, no pixel there passes the width test;
// - solid: the angle distance is at most the largest o with
//   width_measure(o, d2) <= min(core_sq, thick_sq - 1) at the stretch's
//   largest d2.  Every pixel there is on the spoke without feather, so its
//   bytes depend on d2 alone and no angle is needed at all;
// - exact (the two edges between): the rule itself, pixel by pixel.  Where
//   an edge is long and d2 changes much along it (a row running along a
//   spoke), its halves are bounded again, each by its own narrower range of
//   d2.
// Where one bound covers the whole run (every pixel solid, or a run short for
// its many lines), the run is one stretch.  Nothing is approximated: copied
// and solid stretches are proved so, and the rest is evaluated.
//
// Within a cell the exact stretches only work out each pixel's coverage
// (0 where the width test fails, none where the pixel turns out solid); the
// colours of the cell's painted columns, which follow from d2, are then
// written together, eight pixels at a time through SSE2 (solid_sse2.h).
//
// Inside the exact stretches the rule is evaluated with fewer divisions, each
// change giving the same integers:
// - divisions by a divisor that is fixed for the row (the two ramp spans,
//   feather_span, spoke_period, and |dy| for the steep octants) are
//   multiplications by a rounded-up reciprocal (exact_divide.h);
// - the width test t >= thick_sq, t = floor(o^2 / q), is o^2 >= thick_sq * q,
//   and t itself is only divided out where the feather needs it.

// Numerators must stay below this for divide().
constexpr int64_t numerator_limit = int64_t{1} << 31;

uint32_t isqrt64(uint64_t n) {
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

// Without a branch on the digits, which follow no pattern a processor could
// predict.
uint32_t isqrt32(uint32_t n) {
    if (n == 0) return 0;
    uint32_t root = 0;
    // From the highest power of four at or below n.
    for (uint32_t bit = uint32_t{1} << ((31 - __builtin_clz(n)) & ~1); bit != 0; bit >>= 2) {
        const uint32_t trial = root + bit;
        const uint32_t take = 0u - static_cast<uint32_t>(n >= trial);
        n -= trial & take;
        root = (root >> 1) + (bit & take);
    }
    return root;
}

// What the pixel loops need of the geometry and the row, copied into each
// loop's own locals: the loops store bytes, and a byte store may alias any
// object the compiler cannot see whole, so fields read through a reference
// would be read again for every pixel.
struct pixel_rule {
    uint32_t dy2;
    span_angles::row_angles angles;
    uint32_t inner_sq, mid_sq, outer_sq;
    uint32_t weight;
    uint32_t period, half, offset;
    uint64_t thick;      // thick_sq
    uint64_t core_next;  // core_sq + 1
    int64_t thick_sq, feather_span;
    exact_divide::ramp_divider outer_ramp, inner_ramp;
    // Reciprocals for this row; feather_fast is false where the numerators
    // could reach 2^31 (spokes thousands of pixels wide) and the plain
    // 64-bit division is used instead.
    divider feather_div, period_div;
    bool feather_fast;
};

struct row_job {
    wide_geometry g;
    pixel_rule rule;
    uint8_t* dst;
    const uint8_t* src;
    int32_t done;  // columns below this are written
    int16_t dy;
    uint32_t dy2;
    span_angles::row_angles angles;
    uint64_t solid_bound;  // a width measure below it is solid: min(core_sq + 1, thick_sq)
    int32_t mid_reach;     // |dx| <= mid_reach is in the inner half (d2 <= mid_sq); -1: none
    int32_t base;          // column x of offset dx is dx - base
    // Painted columns not yet written: dx from pending_first on, each with
    // its coverage u (0: copied) or solid_mark.
    int32_t pending_first, pending_count;
    uint16_t cover[256];
};

constexpr int32_t pending_limit = 256;
constexpr uint16_t solid_mark = 0xFFFF;  // a coverage no pixel has (at most 256)
#if GLIMMORA_SOLID_SSE2
static_assert(solid_mark == solid_sse2::solid_cover, "one mark for solid pixels");
#endif

template <class L>
void flush_pending(row_job& job);

template <class L>
void copy_up_to(row_job& job, int32_t x_end) {
    if (job.pending_count != 0) flush_pending<L>(job);
    if (x_end <= job.done) return;
    if (job.dst != job.src) {
        std::memmove(job.dst + static_cast<size_t>(job.done) * L::bytes,
                     job.src + static_cast<size_t>(job.done) * L::bytes, static_cast<size_t>(x_end - job.done) * L::bytes);
    }
    job.done = x_end;
}

// Ramp position b of a ring pixel.
inline int32_t ramp_at(const pixel_rule& r, uint32_t d2, bool outer) {
    return static_cast<int32_t>(outer ? ramp_of(r.outer_ramp, r.outer_sq - d2) : ramp_of(r.inner_ramp, d2 - r.inner_sq));
}

// floor(oo / q) for a row's feather pixels, where q changes slowly: the
// first pixel with a q divides; the second with the same q sets up a
// reciprocal that serves every later one (with one correction step).
struct cached_quotient {
    uint32_t recip_of = 0, recip = 0, divided_by = 0;

    __attribute__((always_inline)) uint32_t of(uint32_t oo, uint32_t q)
    {
        if (q != recip_of) {
            if (q != divided_by) {
                divided_by = q;
                return oo / q;
            }
            recip_of = q;
            recip = 0xFFFFFFFFu / q;
        }
        uint32_t t = static_cast<uint32_t>((static_cast<uint64_t>(oo) * recip) >> 32);
        if (oo - t * q >= q) ++t;
        return t;
    }
};

// Where a pixel lies across a spoke's width, from o^2 (o: its angle distance
// to the centre line) and d2: outside the spoke, in its solid core, or under
// the feather with t = floor(o^2 * d2 / 2^23).
enum class across { outside, solid, feather };

// The width test along one span.  Near the centre, q = 2^23 / d2 changes
// slowly; it is divided out again only when q * d2 <= 2^23 < (q + 1) * d2
// no longer holds, and with it the two width limits in o^2 terms (64-bit
// products: q is at most 2^23).  t = floor(o^2 / q) is needed only under the
// feather (exact: o^2 < 2^30).  Far out, t comes from one 64-bit product.
struct width_test {
    uint32_t q = 0;
    uint64_t thick_q = 0, core_q = 0;
    cached_quotient quotient;

    __attribute__((always_inline)) across place(const pixel_rule& r, uint32_t oo, uint32_t d2, uint32_t& t)
    {
        if (d2 <= width_limit_d2) {
            const uint64_t qd2 = static_cast<uint64_t>(q) * d2;
            if (qd2 > width_limit_d2) {
                q = qd2 - d2 <= width_limit_d2 ? q - 1 : width_limit_d2 / d2;
                thick_q = r.thick * q;
                core_q = r.core_next * q;
            } else if (qd2 + d2 <= width_limit_d2) {
                q = qd2 + 2 * static_cast<uint64_t>(d2) > width_limit_d2 ? q + 1 : width_limit_d2 / d2;
                thick_q = r.thick * q;
                core_q = r.core_next * q;
            }
            if (oo >= thick_q) return across::outside;
            if (oo < core_q) return across::solid;  // floor(oo / q) <= core_sq
            t = quotient.of(oo, q);
            return across::feather;
        }
        const uint64_t t_far = (static_cast<uint64_t>(oo) * d2) >> 23;
        if (t_far >= r.thick) return across::outside;
        t = static_cast<uint32_t>(t_far);
        return t_far >= r.core_next ? across::feather : across::solid;
    }
};

inline uint32_t faded(uint32_t weight, int32_t b) { return b < 128 ? (weight * static_cast<uint32_t>(b)) >> 7 : weight; }

template <class L>
inline void blend_row_pixel(const pixel_rule& r, uint8_t* dst, const uint8_t* p, uint32_t d2, uint32_t t,
                            bool feather) {
    const bool outer = d2 > r.mid_sq;
    const int32_t b = ramp_at(r, d2, outer);
    const ramp c = colour_at<L>(b, outer);
    uint32_t u = faded(r.weight, b);
    if (feather) {
        uint32_t room = static_cast<uint32_t>(r.thick_sq - t);
        u = r.feather_fast ? divide(r.feather_div, room * u)
                           : static_cast<uint32_t>((static_cast<int64_t>(room) * u) / r.feather_span);
    }
    write_spoke_colour<L>(dst, p, u, c.c0, c.c1, c.c2);
}

// Exact run: the columns whose dx runs from lo to hi (inclusive,
// x = dx - base), all in the ring and in one octant, shaded pixel by pixel,
// the angle distance from the remainder (for runs crossing many centre
// lines).
template <class L, bool STEEP>
void shade_exact(row_job& job, int32_t lo, int32_t hi, int32_t base, const octant& oct_in) {
    copy_up_to<L>(job, lo - base);
    const pixel_rule r = job.rule;
    const octant oct = oct_in;
    width_test width;
    uint8_t* d = job.dst + static_cast<size_t>(lo - base) * L::bytes;
    const uint8_t* p = job.src + static_cast<size_t>(lo - base) * L::bytes;
    for (int32_t dx = lo; dx <= hi; ++dx, d += L::bytes, p += L::bytes) {
        const uint32_t ax = static_cast<uint32_t>(dx < 0 ? -dx : dx);
        const uint32_t e = span_angles::angle_at<STEEP>(r.angles, oct, ax);
        const uint32_t sum = e + r.offset;
        const uint32_t rem = sum - divide(r.period_div, sum) * r.period;
        const uint32_t o = rem <= r.half ? rem : r.period - rem;
        const uint32_t d2 = r.dy2 + ax * ax;
        const uint32_t oo = o * o;
        uint32_t t = 0;
        const across where = width.place(r, oo, d2, t);
        if (where == across::outside) {
            copy_pixel<L>(d, p);
            continue;
        }
        blend_row_pixel<L>(r, d, p, d2, t, where == across::feather);
    }
    job.done = hi - base + 1;
}

template <class L>
void shade_exact_any_line(row_job& job, int32_t lo, int32_t hi, int32_t base, const octant& oct) {
    if (oct.steep) {
        shade_exact<L, true>(job, lo, hi, base, oct);
    } else {
        shade_exact<L, false>(job, lo, hi, base, oct);
    }
}

// Painted pixels of one half of the ring (OUTER: d2 > mid_sq), n of them
// from |dx| = ax on, |dx| moving by step (+1 or -1) per pixel.  Each takes
// the colour of its ramp position at coverage cover[i], or, where cover is
// null or cover[i] is solid_mark, at the faded weight of its ramp position
// (a solid pixel: on the spoke without feather).  Coverage 0 gives back the
// source bytes.
template <class L, bool OUTER>
void paint_half(const pixel_rule& rule, uint8_t* d, const uint8_t* p, uint32_t ax, int32_t step, int32_t n,
                const uint16_t* cover) {
    const pixel_rule r = rule;
    const exact_divide::ramp_divider rd = OUTER ? r.outer_ramp : r.inner_ramp;
    // num = outer_sq - d2 or d2 - inner_sq, from ref and |dx|^2 (modulo 2^32).
    const uint32_t ref = OUTER ? r.outer_sq - r.dy2 : r.dy2 - r.inner_sq;
#if GLIMMORA_SOLID_SSE2
    // Whole groups of eight with SSE2.
    const int32_t groups = n / 8;
    if (groups > 0) {
        const solid_sse2::ramp_line line = {rd.m, rd.shift, rd.recip, rd.span, ref, r.weight};
        if (cover != nullptr) {
            if (rd.wide) {
                solid_sse2::shade_groups<L::bytes, L::colours, L::ink, OUTER, true, true>(line, d, p, ax, step, groups,
                                                                                         cover);
            } else {
                solid_sse2::shade_groups<L::bytes, L::colours, L::ink, OUTER, false, true>(line, d, p, ax, step, groups,
                                                                                          cover);
            }
            cover += groups * 8;
        } else if (rd.wide) {
            solid_sse2::shade_groups<L::bytes, L::colours, L::ink, OUTER, true, false>(line, d, p, ax, step, groups,
                                                                                      nullptr);
        } else {
            solid_sse2::shade_groups<L::bytes, L::colours, L::ink, OUTER, false, false>(line, d, p, ax, step, groups,
                                                                                       nullptr);
        }
        d += static_cast<size_t>(groups) * 8 * L::bytes;
        p += static_cast<size_t>(groups) * 8 * L::bytes;
        ax += static_cast<uint32_t>(step * 8 * groups);
        n -= groups * 8;
    }
#endif
    for (int32_t i = 0; i < n; ++i, d += L::bytes, p += L::bytes, ax += static_cast<uint32_t>(step)) {
        const int32_t b = static_cast<int32_t>(ramp_of(rd, OUTER ? ref - ax * ax : ref + ax * ax));
        const ramp c = colour_at<L>(b, OUTER);
        const uint32_t u = cover != nullptr && cover[i] != solid_mark ? cover[i] : faded(r.weight, b);
        write_spoke_colour<L>(d, p, u, c.c0, c.c1, c.c2);
    }
}

// Painted columns dx = lo .. hi (see paint_half), split where they cross the
// middle radius.
template <class L>
void paint_columns(row_job& job, int32_t lo, int32_t hi, const uint16_t* cover) {
    uint8_t* d = job.dst + static_cast<size_t>(lo - job.base) * L::bytes;
    const uint8_t* p = job.src + static_cast<size_t>(lo - job.base) * L::bytes;
    const int32_t mid = job.mid_reach;
    const int32_t n = hi - lo + 1;
    int32_t first_n;  // pixels in the half met first
    if (lo > 0) {
        // |dx| rises: the inner half first.
        const int32_t inner_end = hi < mid ? hi : mid;
        first_n = inner_end >= lo ? inner_end - lo + 1 : 0;
        paint_half<L, false>(job.rule, d, p, static_cast<uint32_t>(lo), 1, first_n, cover);
    } else {
        // |dx| falls: the outer half first.
        const int32_t outer_end = hi < -mid - 1 ? hi : -mid - 1;
        first_n = outer_end >= lo ? outer_end - lo + 1 : 0;
        paint_half<L, true>(job.rule, d, p, static_cast<uint32_t>(-lo), -1, first_n, cover);
    }
    const size_t skip = static_cast<size_t>(first_n) * L::bytes;
    const uint16_t* rest = cover != nullptr ? cover + first_n : nullptr;
    const int32_t second = lo + first_n;
    if (lo > 0) {
        paint_half<L, true>(job.rule, d + skip, p + skip, static_cast<uint32_t>(second), 1, n - first_n, rest);
    } else {
        paint_half<L, false>(job.rule, d + skip, p + skip, static_cast<uint32_t>(-second), -1, n - first_n, rest);
    }
    job.done = hi - job.base + 1;
}

// Solid stretch: every pixel of dx = lo .. hi is in the ring, passes the
// width test and has no feather, so it takes the colour and the faded weight
// of its ramp position, whatever its angle.
template <class L>
void shade_solid(row_job& job, int32_t lo, int32_t hi, int32_t base) {
    if (lo > hi) return;
    copy_up_to<L>(job, lo - base);
    paint_columns<L>(job, lo, hi, nullptr);
}

// Writes the pending painted columns.
template <class L>
void flush_pending(row_job& job) {
    const int32_t count = job.pending_count;
    job.pending_count = 0;
    paint_columns<L>(job, job.pending_first, job.pending_first + count - 1, job.cover);
}

// Makes column dx the next pending one: what lies before it is written or
// copied first unless it continues the pending columns on the same side of
// the centre column.
template <class L>
void open_pending(row_job& job, int32_t dx) {
    if (job.pending_count != 0 && (job.pending_first + job.pending_count != dx || job.pending_count == pending_limit ||
                                   (job.pending_first > 0) != (dx > 0)))
        flush_pending<L>(job);
    if (job.pending_count == 0) {
        copy_up_to<L>(job, dx - job.base);
        job.pending_first = dx;
    }
}

// Solid columns dx = lo .. hi, as pending columns.
template <class L>
void pend_solid(row_job& job, int32_t lo, int32_t hi) {
    for (int32_t dx = lo; dx <= hi;) {
        open_pending<L>(job, dx);
        const int32_t room = pending_limit - job.pending_count;
        const int32_t take = hi - dx + 1 < room ? hi - dx + 1 : room;
        for (int32_t i = 0; i < take; ++i) job.cover[job.pending_count + i] = solid_mark;
        job.pending_count += take;
        dx += take;
    }
}

// Exact columns dx = lo .. hi, as pending columns: the coverage of each
// from the rule (0 where the width test fails; solid_mark where the spoke
// has no feather, the colour doing the rest later).  All within half a
// period of the centre line at pixel angle `line`, in one octant.
template <class L, bool STEEP>
void pend_exact(row_job& job, int32_t lo, int32_t hi, const octant& oct_in, int32_t line) {
    const pixel_rule r = job.rule;
    const octant oct = oct_in;
    // e = base - A or base + A, so e - line = k - A or k + A.
    const int32_t k = static_cast<int32_t>(oct.base) - line;
    width_test width;
    for (int32_t dx = lo; dx <= hi;) {
        open_pending<L>(job, dx);
        const int32_t room = pending_limit - job.pending_count;
        const int32_t take = hi - dx + 1 < room ? hi - dx + 1 : room;
        uint16_t* out = job.cover + job.pending_count;
        job.pending_count += take;
        for (int32_t i = 0; i < take; ++i, ++dx) {
            const uint32_t ax = static_cast<uint32_t>(dx < 0 ? -dx : dx);
            const int32_t a =
                static_cast<int32_t>(angle_math::atan_of_ratio(span_angles::ratio_at<STEEP>(r.angles, ax)));
            const int32_t diff = oct.subtract ? k - a : k + a;
            const uint32_t o = static_cast<uint32_t>(diff < 0 ? -diff : diff);
            const uint32_t d2 = r.dy2 + ax * ax;
            const uint32_t oo = o * o;
            uint32_t t = 0;
            const across where = width.place(r, oo, d2, t);
            if (where == across::outside) {
                out[i] = 0;
                continue;
            }
            if (where == across::solid) {
                out[i] = solid_mark;
                continue;
            }
            const int32_t b = ramp_at(r, d2, d2 > r.mid_sq);
            const uint32_t rest = static_cast<uint32_t>(r.thick_sq - t);
            const uint32_t u = faded(r.weight, b);
            out[i] = static_cast<uint16_t>(r.feather_fast ? divide(r.feather_div, rest * u)
                                                          : (static_cast<int64_t>(rest) * u) / r.feather_span);
        }
    }
}

template <class L>
void pend_exact_any(row_job& job, int32_t lo, int32_t hi, const octant& oct, int32_t line) {
    if (lo > hi) return;
    if (oct.steep) {
        pend_exact<L, true>(job, lo, hi, oct, line);
    } else {
        pend_exact<L, false>(job, lo, hi, oct, line);
    }
}

// The largest angle distance o (at most half_period) with
// width_measure(o, d2) < bound, bound >= 1.  Near pixels: floor(o^2 / q) <
// bound exactly when o^2 <= bound * q - 1; far ones: (o^2 * d2) >> 23 < bound
// exactly when o^2 <= (bound * 2^23 - 1) / d2.
uint32_t reach_below(const wide_geometry& g, uint32_t d2, uint64_t bound) {
    uint64_t limit;
    if (d2 <= width_limit_d2) {
        limit = bound * (width_limit_d2 / d2) - 1;
    } else {
        limit = ((bound << 23) - 1) / d2;
    }
    const uint64_t half = g.half;
    if (limit >= half * half) return g.half;
    return isqrt32(static_cast<uint32_t>(limit));
}

uint32_t d2_at(const row_job& job, int32_t dx) {
    const uint32_t ax = static_cast<uint32_t>(dx < 0 ? -dx : dx);
    return job.dy2 + ax * ax;
}

// The columns of [lo, hi] whose angle lies within `reach` of `line`: *first
// .. *last, none when *first > *last.
void columns_within(const row_job& job, const octant& oct, bool rising, int32_t lo, int32_t hi, int32_t line,
                    int32_t reach, int32_t* first, int32_t* last) {
    if (rising) {
        *first = span_angles::first_reaching(job.angles, oct, lo, hi, true, line - reach);
        *last = span_angles::first_reaching(job.angles, oct, *first, hi, true, line + reach + 1) - 1;
    } else {
        *first = span_angles::first_reaching(job.angles, oct, lo, hi, false, line + reach);
        *last = span_angles::first_reaching(job.angles, oct, *first, hi, false, line - reach - 1) - 1;
    }
}

// An exact edge is bounded again in two halves only where that can pay:
// - it has more columns than this (shorter ones are evaluated sooner than
//   bounded again);
constexpr int32_t longest_unhalved_edge = 32;
// - its d2 grows by more than an eighth from end to end, so that each half's
//   own range of d2 gives it markedly wider solid and copied stretches;
// - fewer halvings than this lie above it.  This never binds: a run lies on
//   one side of the centre column, dx within -32768 .. 0 or 1 .. 32767, so
//   it has at most 32769 columns, and eleven halvings leave no part longer
//   than longest_unhalved_edge.  It keeps the recursion's depth evident.
constexpr int max_halvings = 16;
// None of the three touches the bytes: every stretch, however it is cut, is
// proved copied or solid or is evaluated.

// Part of a cell, columns lo .. hi, whose nearest centre line is `line`: the
// copied, solid and exact stretches as its d2 bounds them.  Where an exact
// edge is long and d2 changes much along it (a row running along a spoke),
// its halves are bounded again, each by its own narrower range of d2.
template <class L>
void shade_zone(row_job& job, int32_t lo, int32_t hi, int32_t base, const octant& oct, bool rising, int32_t line,
                int halvings) {
    const wide_geometry& g = job.g;
    // d2 grows away from the centre column.
    const bool right = lo > 0;
    // Painted at most: the columns within the paint reach, the largest angle
    // distance that passes the width test at the zone's smallest d2.  As the
    // width measure never falls as d2 grows, no column beyond it passes.  A
    // reach of half a period takes in the whole cell (no column lies further
    // from its line), and there is nothing to bound.
    int32_t painted_first = lo, painted_last = hi;
    const uint32_t paint_reach = reach_below(g, d2_at(job, right ? lo : hi), static_cast<uint64_t>(g.thick_sq));
    if (paint_reach < g.half) {
        columns_within(job, oct, rising, lo, hi, line, paint_reach, &painted_first, &painted_last);
        if (painted_first > painted_last) return;  // all copied
    }
    // Solid: the painted columns within the solid reach, the largest angle
    // distance that is solid at the painted columns' largest d2, and so at
    // every smaller one.
    int32_t solid_first = painted_first, solid_last = painted_last;
    const uint32_t solid_reach = reach_below(g, d2_at(job, right ? painted_last : painted_first), job.solid_bound);
    if (solid_reach < g.half)
        columns_within(job, oct, rising, painted_first, painted_last, line, solid_reach, &solid_first, &solid_last);
    if (solid_first > solid_last) {
        // No solid column: the painted ones are one exact edge.
        solid_first = painted_last + 1;
        solid_last = painted_last;
    }
    // In column order: the exact edge before the solid stretch, the solid
    // stretch, the exact edge after it.
    const int32_t exact_edges[2][2] = {{painted_first, solid_first - 1}, {solid_last + 1, painted_last}};
    for (int i = 0; i < 2; ++i) {
        const int32_t first = exact_edges[i][0], last = exact_edges[i][1];
        if (first <= last) {
            if (last - first + 1 > longest_unhalved_edge && halvings < max_halvings &&
                static_cast<uint64_t>(d2_at(job, right ? last : first)) * 8 >
                    static_cast<uint64_t>(d2_at(job, right ? first : last)) * 9) {
                const int32_t middle = first + (last - first) / 2;
                shade_zone<L>(job, first, middle, base, oct, rising, line, halvings + 1);
                shade_zone<L>(job, middle + 1, last, base, oct, rising, line, halvings + 1);
            } else {
                pend_exact_any<L>(job, first, last, oct, line);
            }
        }
        if (i == 0 && solid_first <= solid_last) pend_solid<L>(job, solid_first, solid_last);
    }
}

// One run of ring columns, dx in [lo, hi], all in one octant.
template <class L>
void shade_run(row_job& job, int32_t lo, int32_t hi, int32_t base, const octant& oct) {
    const wide_geometry& g = job.g;
    const bool right = lo > 0;
    // Solid throughout: the angle does not matter anywhere.
    if (reach_below(g, d2_at(job, right ? hi : lo), job.solid_bound) >= g.half) {
        shade_solid<L>(job, lo, hi, base);
        return;
    }

    // Below the centre the angle falls as dx grows, above it (and on the
    // centre row) it rises.
    const bool rising = job.dy <= 0;
    const int64_t e_first = span_angles::angle_at_dx(job.angles, oct, lo);
    const int64_t e_last = span_angles::angle_at_dx(job.angles, oct, hi);
    const int64_t e_min = rising ? e_first : e_last;
    const int64_t e_max = rising ? e_last : e_first;

    // Centre lines in pixel-angle terms sit at k * period - offset; line k's
    // cell holds the angles k * period - offset - half .. + period - 1.
    const uint32_t period = g.period;
    const int64_t offset = g.offset;
    const int64_t half = g.half;
    const int64_t k_min = static_cast<uint32_t>(e_min + offset + half) / period;  // below 2^17
    const int64_t k_max = static_cast<uint32_t>(e_max + offset + half) / period;

    // With many centre lines on a short run, finding the cells costs more
    // than evaluating every pixel.
    const int64_t len = static_cast<int64_t>(hi) - lo + 1;
    if ((k_max - k_min + 1) * 12 >= len) {
        shade_exact_any_line<L>(job, lo, hi, base, oct);
        return;
    }

    int32_t from = lo;
    for (int64_t i = 0; i <= k_max - k_min && from <= hi; ++i) {
        const int64_t k = rising ? k_min + i : k_max - i;
        const int32_t line = static_cast<int32_t>(k * period - offset);  // within -2^16 .. 2^17
        int32_t end = hi;
        if (i < k_max - k_min) {
            end = rising ? span_angles::first_reaching(job.angles, oct, from, hi, true, line - half + period) - 1
                         : span_angles::first_reaching(job.angles, oct, from, hi, false, line - half - 1) - 1;
        }
        if (from <= end) shade_zone<L>(job, from, end, base, oct, rising, line, 0);
        from = end + 1;
    }
}

// Columns x0 .. x1-1, where dx = x + base stays within int16.
template <class L>
void shade_piece(row_job& job, int32_t x0, int32_t x1, int32_t base, int32_t m_in, int32_t m_out) {
    if (x0 >= x1) return;
    const int32_t dx0 = x0 + base;
    const int32_t dx1 = x1 - 1 + base;
    const int32_t m = static_cast<int32_t>(job.angles.m);
    const bool below = job.dy > 0;
    // Ring columns left and right of the centre, split where the octant
    // changes: dx < -m (flat), -m <= dx <= 0 (steep), 0 < dx <= m (steep),
    // dx > m (flat).
    const int32_t right_lo = m_in + 1 > 1 ? m_in + 1 : 1;
    const int32_t ring_lo[4] = {-m_out, -m_out, right_lo, right_lo};
    const int32_t ring_hi[4] = {-(m_in + 1), -(m_in + 1), m_out, m_out};
    const int32_t oct_lo[4] = {INT32_MIN, -m, 1, m + 1};
    const int32_t oct_hi[4] = {-m - 1, 0, m, INT32_MAX};
    for (int i = 0; i < 4; ++i) {
        int32_t lo = dx0;
        if (ring_lo[i] > lo) lo = ring_lo[i];
        if (oct_lo[i] > lo) lo = oct_lo[i];
        int32_t hi = dx1;
        if (ring_hi[i] < hi) hi = ring_hi[i];
        if (oct_hi[i] < hi) hi = oct_hi[i];
        if (lo <= hi) shade_run<L>(job, lo, hi, base, below ? span_angles::below_octants[i] : span_angles::above_octants[i]);
    }
}

void prepare_row(row_job& job) {
    const wide_geometry& g = job.g;
    pixel_rule& r = job.rule;
    r.dy2 = job.dy2;
    r.angles = job.angles;
    r.inner_sq = static_cast<uint32_t>(g.inner_sq);
    r.mid_sq = static_cast<uint32_t>(g.mid_sq);
    r.outer_sq = static_cast<uint32_t>(g.outer_sq);
    r.weight = g.weight;
    r.period = g.period;
    r.half = g.half;
    r.offset = g.offset;
    r.thick = static_cast<uint64_t>(g.thick_sq);
    r.core_next = static_cast<uint64_t>(g.core_sq) + 1;
    r.thick_sq = g.thick_sq;
    r.feather_span = g.feather_span;
    // A half whose span is not positive has no pixel in the ring.
    const exact_divide::ramp_divider none = {false, 0, 0, 0, 0};
    r.outer_ramp = g.outer_span > 0 ? make_ramp_divider(static_cast<uint32_t>(g.outer_span)) : none;
    r.inner_ramp = g.inner_span > 0 ? make_ramp_divider(static_cast<uint32_t>(g.inner_span)) : none;
    r.feather_fast = g.feather_span > 0 && g.feather_span * 256 < numerator_limit;
    if (r.feather_fast) r.feather_div = make_divider(static_cast<uint32_t>(g.feather_span));
    r.period_div = make_divider(g.period);
    const int64_t core_next = g.core_sq + 1;
    job.solid_bound = static_cast<uint64_t>(core_next < g.thick_sq ? core_next : g.thick_sq);
    const int64_t inside_mid = g.mid_sq - static_cast<int64_t>(job.dy2);
    job.mid_reach = inside_mid < 0 ? -1 : static_cast<int32_t>(isqrt64(static_cast<uint64_t>(inside_mid)));
}

// The ring's columns on this row, as offsets from the centre: every dx with
// m_in < |dx| <= m_out.  False when the row misses the ring.
bool ring_on_row(const wide_geometry& g, int64_t dy2, int32_t* m_in, int32_t* m_out) {
    if (!g.paints || g.outer_sq - dy2 <= 0) return false;
    *m_out = static_cast<int32_t>(isqrt64(static_cast<uint64_t>(g.outer_sq - dy2 - 1)));
    const int64_t inside = g.inner_sq - dy2;
    *m_in = inside < 0 ? -1 : static_cast<int32_t>(isqrt64(static_cast<uint64_t>(inside)));
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
    job.angles = span_angles::angles_for_row(angle_math::magnitude(job.dy));
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
        job.base = dx_first;
        job.pending_count = 0;
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
