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

// The ramp position (n * 1024) / span for 0 <= n <= span < 2^30, a number
// in 0..1024, without a division:
// - narrow spans (span * 1024 < 2^31): the divider above, whose multiplier
//   is then below 2^32;
// - wide ones: with recip = floor(2^41 / span), below 2^32,
//   est = (n * recip) >> 31 falls short of the quotient by less than
//   n / 2^31 < 1/2, so it is the quotient or one less; the remainder
//   n * 1024 - est * span is then below 2 span < 2^31, exact in 32-bit
//   arithmetic however the products wrap, and one comparison settles it.
struct ramp_divider {
    bool wide;
    uint32_t m, shift;     // narrow
    uint32_t recip, span;  // wide; span of narrow ones too in WebAssembly (solid_sse2.h divides by it)
};

// span in 1 .. 2^30 - 1.
inline ramp_divider make_ramp_divider(uint32_t span) {
    ramp_divider rd = {false, 0, 0, 0, 0};
    if (uint64_t{span} * 1024 < (uint64_t{1} << 31)) {
        const divider v = make_divider(span);
        rd.m = static_cast<uint32_t>(v.m);
        rd.shift = v.shift;
#if defined(__wasm_simd128__)
        rd.span = span;
#endif
    } else {
        rd.wide = true;
        rd.span = span;
        rd.recip = static_cast<uint32_t>((uint64_t{1} << 41) / span);
    }
    return rd;
}

inline uint32_t ramp_of(const ramp_divider& rd, uint32_t n) {
    if (!rd.wide) return static_cast<uint32_t>((static_cast<uint64_t>(n * 1024) * rd.m) >> rd.shift);
    uint32_t est = static_cast<uint32_t>((static_cast<uint64_t>(n) * rd.recip) >> 31);
    if ((n << 10) - est * rd.span >= rd.span) ++est;
    return est;
}

}  // namespace exact_divide
