// Inline core of the angle operations, shared by angles.cpp (the public
// functions), the pixel rule (spoke_pixel.h) and the span path
// (span_angles.h), whose inner loops evaluate pixel angles and must not pay a
// call for each.  Not for use outside src/effect.
#pragma once

#include <cstdint>

#include "effect/angles.h"

namespace angle_math {

constexpr uint32_t quarter_turn = 12868;
constexpr uint32_t half_turn = 25736;
constexpr uint32_t three_quarters = 38604;
constexpr uint32_t full_turn = 51472;

// Table arctangent of the ratio r / 8192 (r in 0..8192), interpolated
// linearly between the entries.  Non-decreasing in r.
inline uint32_t atan_of_ratio(uint32_t r) {
    uint32_t i = r >> 8;
    uint32_t base = atan_table[i];
    // At r == 8192 the weight of the next entry is 0, and there is no next
    // entry to read.
    if (i == 32) return base;
    return base + (((atan_table[i + 1] - base) * (r & 255u)) >> 8);
}

// The inverse of atan_of_ratio: the smallest ratio r in 0..8192 whose table
// arctangent is at least a; 8193 when even r = 8192 falls short.
inline uint32_t ratio_reaching(int64_t a) {
    if (a <= 0) return 0;
    if (a > atan_table[32]) return 8193;
    // The last entry at or below a (atan_table[0] = 0 < a): from the last
    // one at or below a rounded down to a multiple of 256, at most two
    // entries on.
    static const uint8_t below_multiple[26] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,
                                               13, 14, 16, 17, 18, 20, 21, 23, 24, 26, 27, 29, 31};
    uint32_t i = below_multiple[static_cast<uint32_t>(a) >> 8];
    while (i < 32 && atan_table[i + 1] <= a) ++i;
    if (i == 32) return 8192;
    // Within the entry's stretch, atan_of_ratio(256 i + f) reaches a exactly
    // when (d * f) >> 8 >= a - base, i.e. d * f >= 256 (a - base).  f = 256
    // is the next entry, which lies above a.
    const uint32_t base = atan_table[i];
    const uint32_t d = atan_table[i + 1] - base;
    const uint32_t f = (256 * (static_cast<uint32_t>(a) - base) + d - 1) / d;
    return 256 * i + f;
}

// Table arctangent of s / l for 0 <= s <= l, in angle units (0..6434).
// l == 0 only happens for the centre itself, which has no direction; 0 keeps
// it defined.
inline uint32_t table_atan(uint32_t s, uint32_t l) {
    if (l == 0) return 0;
    return atan_of_ratio((s * 8192u) / l);  // s <= 32768, so the product fits
}

// Magnitude of an int16 as an unsigned value, so that -32768 gives 32768
// rather than wrapping back to a negative number.
inline uint32_t magnitude(int16_t v) {
    return v < 0 ? static_cast<uint32_t>(-static_cast<int32_t>(v)) : static_cast<uint32_t>(v);
}

// The octant rule.  Zero counts as not positive; equal magnitudes take the
// steep row of each pair (ratio 1).
inline uint16_t pixel_angle(int16_t dx, int16_t dy) {
    uint32_t ax = magnitude(dx);
    uint32_t ay = magnitude(dy);
    uint32_t e;
    if (dy > 0) {
        if (dx > 0) {
            e = ay < ax ? table_atan(ay, ax) : quarter_turn - table_atan(ax, ay);
        } else {
            e = ay < ax ? half_turn - table_atan(ay, ax) : quarter_turn + table_atan(ax, ay);
        }
    } else {
        if (dx > 0) {
            e = ay < ax ? full_turn - table_atan(ay, ax) : three_quarters + table_atan(ax, ay);
        } else {
            e = ay < ax ? half_turn + table_atan(ay, ax) : three_quarters - table_atan(ax, ay);
        }
    }
    return static_cast<uint16_t>(e);
}

}  // namespace angle_math
