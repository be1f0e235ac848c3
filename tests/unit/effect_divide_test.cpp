// Division by multiplication must equal the hardware division for every
// numerator below 2^31; the worst cases are the largest numerators with the
// largest remainders.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "effect/exact_divide.h"

namespace {

using exact_divide::divide;
using exact_divide::divider;
using exact_divide::make_divider;

void check_divisor(uint32_t d) {
    const divider v = make_divider(d);
    const uint32_t limit = 0x7FFFFFFFu;
    const uint32_t top = limit - limit % d;  // a multiple of d
    const uint32_t samples[] = {0, 1, d - 1, d, top, top - 1, limit, limit - 1, limit / 2};
    for (uint32_t n : samples) ASSERT_EQ(divide(v, n), n / d) << n << " / " << d;
    // The largest numerators with a spread of remainders, largest first.
    const uint32_t step = d / 64 > 0 ? d / 64 : 1;
    for (uint32_t k = 0; k < 64 && k * step < d; ++k) {
        const uint32_t r = d - 1 - k * step;
        if (top <= limit - r) {
            ASSERT_EQ(divide(v, top + r), (top + r) / d) << top + r << " / " << d;
        }
        if (top >= d) {
            ASSERT_EQ(divide(v, top - d + r), (top - d + r) / d) << top - d + r << " / " << d;
        }
    }
}

TEST(EffectDivide, SmallDivisorsExhaustiveAtTheTopOfTheRange) {
    for (uint32_t d = 1; d <= 20000; ++d) check_divisor(d);
}

TEST(EffectDivide, PowersOfTwoAndTheirNeighbours) {
    for (uint32_t b = 1; b <= 31; ++b) {
        const uint32_t p = 1u << b;
        for (uint32_t d : {p - 1, p, p + 1}) {
            if (d >= 1 && d <= 0x80000000u) check_divisor(d);
        }
    }
}

TEST(EffectDivide, RandomDivisorsAndNumerators) {
    uint64_t x = 0xB7E151628AED2A6Bull;
    auto next = [&x]() {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        return static_cast<uint32_t>(x >> 32);
    };
    for (int i = 0; i < 20000; ++i) {
        const uint32_t d = 1 + next() % (next() % 2 ? 0x80000000u : (1u << (1 + next() % 30)));
        check_divisor(d);
        const divider v = make_divider(d);
        for (int j = 0; j < 16; ++j) {
            const uint32_t n = next() & 0x7FFFFFFFu;
            ASSERT_EQ(divide(v, n), n / d) << n << " / " << d;
        }
    }
}

// The ramp position (n * 1024) / span, narrow and wide spans alike: on both
// sides of every step of the quotient (the first n reaching b * span), and at
// the ends.
void check_ramp_span(uint32_t span) {
    const exact_divide::ramp_divider rd = exact_divide::make_ramp_divider(span);
    auto expected = [span](uint64_t n) { return static_cast<uint32_t>(n * 1024 / span); };
    for (uint32_t n : {0u, 1u, span - 1, span}) ASSERT_EQ(exact_divide::ramp_of(rd, n), expected(n)) << n << " of " << span;
    const uint32_t step = span >= 1024 ? 1 : 1024 / span;
    for (uint64_t b = 1; b <= 1024; b += step) {
        const uint64_t first = (b * span + 1023) / 1024;  // the first n with n * 1024 >= b * span
        for (uint64_t n = first > 0 ? first - 1 : 0; n <= first && n <= span; ++n)
            ASSERT_EQ(exact_divide::ramp_of(rd, static_cast<uint32_t>(n)), expected(n)) << n << " of " << span;
    }
}

TEST(EffectDivide, RampPositionsOfNarrowAndWideSpans) {
    for (uint32_t span = 1; span <= 3000; ++span) check_ramp_span(span);
    // Around the change from the narrow to the wide form, and the largest spans.
    for (uint32_t span = (1u << 21) - 40; span <= (1u << 21) + 40; ++span) check_ramp_span(span);
    for (uint32_t span = (1u << 30) - 200; span < (1u << 30); ++span) check_ramp_span(span);
    uint64_t x = 0x3C6EF372FE94F82Bull;
    for (int i = 0; i < 3000; ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        const uint32_t span = 1 + static_cast<uint32_t>(x >> 34) % ((1u << 30) - 1);
        check_ramp_span(span);
    }
}

}  // namespace
