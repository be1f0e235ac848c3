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
// turned into a bound on the table arctangent A, that into a bound on its
// ratio (ratio_reaching), and that into a bound on |dx| and then on dx.
inline int32_t first_reaching(const row_angles& ra, const octant& oct, int32_t lo, int32_t hi, bool rising,
                              int64_t bound) {
    // On A, with e = base + A or base - A: A >= atan_bound (atan_at_least)
    // or A <= atan_bound.
    const int64_t base = oct.base;
    const bool atan_at_least = oct.subtract ? !rising : rising;
    const int64_t atan_bound = oct.subtract ? base - bound : bound - base;
    // On the ratio r, as A is non-decreasing in r: r >= ratio_bound
    // (atan_at_least) or r <= ratio_bound.  ratio_reaching gives 0 to 8193,
    // so ratio_bound lies in -1 .. 8193.
    const int32_t ratio_bound = atan_at_least
                                    ? static_cast<int32_t>(angle_math::ratio_reaching(atan_bound))
                                    : static_cast<int32_t>(angle_math::ratio_reaching(atan_bound + 1)) - 1;
    // On ax = |dx|: ax >= ax_bound (ax_at_least) or ax <= ax_bound.  A bound
    // beyond every column (|dx| is at most 32768) stands for every column
    // with <= and for none with >=.
    const int32_t beyond_every_column = 0x7FFFFFFF;
    bool ax_at_least;
    int32_t ax_bound;
    const uint32_t m = ra.m;
    if (oct.steep) {
        // r = floor(8192 ax / m) rises with ax: r >= ratio_bound exactly when
        // 8192 ax >= ratio_bound m, and r <= ratio_bound when
        // 8192 ax < (ratio_bound + 1) m.  r is never negative, so a
        // ratio_bound of 0 or less holds from ax = 0 on, and one below 0 with
        // <= nowhere.  The products stay below 2^29 (ratio_bound + 1 <= 8194,
        // m <= 32768).
        ax_at_least = atan_at_least;
        if (atan_at_least) {
            ax_bound = ratio_bound <= 0
                           ? 0
                           : static_cast<int32_t>((static_cast<uint32_t>(ratio_bound) * m + 8191) >> 13);
        } else {
            ax_bound = ratio_bound < 0
                           ? -1
                           : static_cast<int32_t>((static_cast<uint32_t>(ratio_bound + 1) * m + 8191) >> 13) - 1;
        }
    } else {
        // r = floor(n / ax) falls as ax grows: r >= ratio_bound exactly when
        // ax <= n / ratio_bound, and r <= ratio_bound when
        // ax > n / (ratio_bound + 1).  r is never negative, so a ratio_bound
        // of 0 or less holds at every column, and one below 0 with <= at
        // none.
        ax_at_least = !atan_at_least;
        if (atan_at_least) {
            ax_bound = ratio_bound <= 0 ? beyond_every_column
                                        : static_cast<int32_t>(ra.n / static_cast<uint32_t>(ratio_bound));
        } else {
            ax_bound = ratio_bound < 0 ? beyond_every_column
                                       : static_cast<int32_t>(ra.n / static_cast<uint32_t>(ratio_bound + 1)) + 1;
        }
    }
    // On dx: dx >= dx_bound (dx_at_least) or dx <= dx_bound; left of the
    // centre ax = -dx.  first is the first dx of [lo, hi] that meets it.
    int64_t first;
    bool dx_at_least;
    int64_t dx_bound;
    if (lo > 0) {
        dx_at_least = ax_at_least;
        dx_bound = ax_bound;
    } else {
        dx_at_least = !ax_at_least;
        dx_bound = -static_cast<int64_t>(ax_bound);
    }
    if (dx_at_least) {
        first = dx_bound > lo ? dx_bound : lo;
    } else {
        first = lo <= dx_bound ? lo : static_cast<int64_t>(hi) + 1;
    }
    if (first > static_cast<int64_t>(hi) + 1) first = static_cast<int64_t>(hi) + 1;
    return static_cast<int32_t>(first);
}

}  // namespace span_angles
