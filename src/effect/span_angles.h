// Pixel angles along one row, for the span path (spoke_span.cpp): the angle
// of a column without the octant tests, and the inverse, the first column of
// a run whose angle reaches a bound.  Not for use outside src/effect.
#pragma once

#include <cstdint>

#include "effect/angle_math.h"
#include "effect/exact_divide.h"

namespace span_angles {

// One octant of the angle rule as a row crosses it: e = base + A or
// base - A, with A the table arctangent of |dx| / |dy| (steep) or |dy| / |dx|
// (flat).
struct octant {
    uint32_t base;
    bool subtract;
    bool steep;
};

// The angle rule's octants along a row, left to right: dx < -m (flat),
// -m <= dx <= 0 (steep), 0 < dx <= m (steep), dx > m (flat), with m = |dy|;
// for rows below the centre (dy > 0) and for the others.
constexpr octant below_octants[4] = {{angle_math::half_turn, true, false},
                                     {angle_math::quarter_turn, false, true},
                                     {angle_math::quarter_turn, true, true},
                                     {0, false, false}};
constexpr octant above_octants[4] = {{angle_math::half_turn, false, false},
                                     {angle_math::three_quarters, true, true},
                                     {angle_math::three_quarters, false, true},
                                     {angle_math::full_turn, true, false}};

// What the pixel angles of one row share: m = |dy|.
struct row_angles {
    uint32_t m;
    uint32_t n;  // m * 8192, the numerator of the flat ratio
    exact_divide::divider steep_div;  // division by m (by 1 on the centre row)
};

inline row_angles angles_for_row(uint32_t m) {
    row_angles ra;
    ra.m = m;
    ra.n = m * 8192;
    ra.steep_div = exact_divide::make_divider(m ? m : 1);
    return ra;
}

// The ratio the table arctangent takes at |dx| = ax: (ax * 8192) / m in a
// steep octant (ax <= m), (m * 8192) / ax in a flat one (ax > m).
template <bool STEEP>
inline uint32_t ratio_at(const row_angles& ra, uint32_t ax) {
    return STEEP ? exact_divide::divide(ra.steep_div, ax * 8192) : ra.n / ax;
}

// The pixel angle at |dx| = ax of a column known to lie in octant `oct`: the
// same value as spoke_angle.
template <bool STEEP>
inline uint32_t angle_at(const row_angles& ra, const octant& oct, uint32_t ax) {
    const uint32_t a = angle_math::atan_of_ratio(ratio_at<STEEP>(ra, ax));
    return oct.subtract ? oct.base - a : oct.base + a;
}

inline uint32_t angle_at_dx(const row_angles& ra, const octant& oct, int32_t dx) {
    const uint32_t ax = static_cast<uint32_t>(dx < 0 ? -dx : dx);
    return oct.steep ? angle_at<true>(ra, oct, ax) : angle_at<false>(ra, oct, ax);
}

// The first dx in [lo, hi] whose pixel angle has reached the bound: at or
// above it when the angle rises along the run (rising), at or below it when it
// falls; hi + 1 if none.  The run lies in one octant and on one side of the
// centre column (lo > 0 or hi <= 0).  No angle is evaluated: the bound is
// turned back into a ratio (ratio_reaching), the ratio into |dx|.
inline int32_t first_reaching(const row_angles& ra, const octant& oct, int32_t lo, int32_t hi, bool rising,
                              int64_t bound) {
    // As a condition on A: A >= x (a_ge) or A <= x.
    const int64_t base = oct.base;
    const bool a_ge = oct.subtract ? !rising : rising;
    const int64_t x = oct.subtract ? base - bound : bound - base;
    // As a condition on the ratio: r >= rb (a_ge) or r <= rb.  A is
    // non-decreasing in r.
    const int32_t rb = a_ge ? static_cast<int32_t>(angle_math::ratio_reaching(x))
                            : static_cast<int32_t>(angle_math::ratio_reaching(x + 1)) - 1;
    // As a condition on ax: ax >= v (ax_ge) or ax <= v.
    const int32_t none_or_all = 0x7FFFFFFF;
    bool ax_ge;
    int32_t v;
    const uint32_t m = ra.m;
    if (oct.steep) {
        // r = floor(8192 ax / m) rises with ax: r >= rb exactly when
        // 8192 ax >= rb m, and r <= rb when 8192 ax < (rb + 1) m.
        ax_ge = a_ge;
        if (a_ge) {
            v = rb <= 0 ? 0 : static_cast<int32_t>((static_cast<uint32_t>(rb) * m + 8191) >> 13);
        } else {
            v = rb < 0 ? -1 : static_cast<int32_t>((static_cast<uint32_t>(rb + 1) * m + 8191) >> 13) - 1;
        }
    } else {
        // r = floor(n / ax) falls as ax grows: r >= rb exactly when
        // ax <= n / rb, and r <= rb when ax > n / (rb + 1).
        ax_ge = !a_ge;
        if (a_ge) {
            v = rb <= 0 ? none_or_all : static_cast<int32_t>(ra.n / static_cast<uint32_t>(rb));
        } else {
            v = rb < 0 ? none_or_all : static_cast<int32_t>(ra.n / static_cast<uint32_t>(rb + 1)) + 1;
        }
    }
    // As the first dx of [lo, hi]: left of the centre ax = -dx.
    int64_t first;
    bool dx_ge;  // the condition is dx >= c, else dx <= c
    int64_t c;
    if (lo > 0) {
        dx_ge = ax_ge;
        c = v;
    } else {
        dx_ge = !ax_ge;
        c = -static_cast<int64_t>(v);
    }
    if (dx_ge) {
        first = c > lo ? c : lo;
    } else {
        first = lo <= c ? lo : static_cast<int64_t>(hi) + 1;
    }
    if (first > static_cast<int64_t>(hi) + 1) first = static_cast<int64_t>(hi) + 1;
    return static_cast<int32_t>(first);
}

}  // namespace span_angles
