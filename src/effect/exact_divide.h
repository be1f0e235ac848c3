// Exact division by a divisor fixed in advance, as one multiplication and a
// shift.  The row path divides by the same few numbers (the ramp spans, the
// feather span, the spoke period, |dy|) thousands of times per row; a
// hardware division costs several times a multiplication, and on the 32-bit
// build a 64-bit division is a library call.
//
// For numerators n < 2^31 and divisors 1 <= d <= 2^31: with l = ceil(log2 d)
// and m = ceil(2^(31+l) / d), m * d = 2^(31+l) + err with 0 <= err < d <= 2^l.
// Writing n = q * d + r (0 <= r < d):
//   n * m / 2^(31+l) = q + r/d + n * err / (d * 2^(31+l)) < q + r/d + 1/d <= q + 1,
// so the product shifted right by 31 + l is exactly q.  m <= 2^32, hence
// n * m < 2^63 fits in 64 bits.
#pragma once

#include <cstdint>

namespace exact_divide {

struct divider {
    uint64_t m;
    uint32_t shift;
};

// d in 1 .. 2^31.
inline divider make_divider(uint32_t d) {
    uint32_t l = 0;
    while ((uint64_t{1} << l) < d) ++l;
    divider v;
    v.shift = 31 + l;
    v.m = ((uint64_t{1} << v.shift) + d - 1) / d;
    return v;
}

// n / d, truncated, for n < 2^31.
inline uint32_t divide(const divider& v, uint32_t n) {
    return static_cast<uint32_t>((static_cast<uint64_t>(n) * v.m) >> v.shift);
}

}  // namespace exact_divide
