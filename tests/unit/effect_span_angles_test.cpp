// The span path finds its stretches of columns by turning angle bounds back
// into columns.  Checked against the plain search over the per-pixel angle
// (spoke_angle): the inverse of the table arctangent over its whole range,
// and the first column reaching a bound for rows, octants and bounds of every
// kind.
#include <gtest/gtest.h>

#include <cstdint>

#include "effect/angle_math.h"
#include "effect/angles.h"
#include "effect/span_angles.h"
#include "test_rng.h"

namespace {

using span_angles::octant;

// The smallest ratio whose table arctangent reaches a, by trying them all.
uint32_t ratio_reaching_by_search(int64_t a) {
    for (uint32_t r = 0; r <= 8192; ++r)
        if (angle_math::atan_of_ratio(r) >= a) return r;
    return 8193;
}

TEST(EffectSpanAngles, RatioReachingInvertsTheTableArctangent) {
    for (int64_t a = -3; a <= 6440; ++a) ASSERT_EQ(angle_math::ratio_reaching(a), ratio_reaching_by_search(a)) << a;
    EXPECT_EQ(angle_math::ratio_reaching(-100000), 0u);
    EXPECT_EQ(angle_math::ratio_reaching(100000), 8193u);
}

// Octant i's columns on a row with |dy| = m.
void octant_columns(int i, int32_t m, int32_t* lo, int32_t* hi) {
    const int32_t los[4] = {-32768, -m, 1, m + 1};
    const int32_t his[4] = {-m - 1, 0, m, 32767};
    *lo = los[i];
    *hi = his[i] < 32767 ? his[i] : 32767;  // dx is an int16
}

// Runs of columns in one octant of one row; for each, the angle of every
// column must be spoke_angle's, and for bounds around and beyond the run's
// angles the first column reaching them must be the one a plain scan finds.
void check_row(int16_t dy, rng& r, int runs) {
    const uint32_t m = angle_math::magnitude(dy);
    const span_angles::row_angles ra = span_angles::angles_for_row(m);
    const bool below = dy > 0;
    const bool rising = !below;
    for (int i = 0; i < 4; ++i) {
        int32_t olo, ohi;
        octant_columns(i, static_cast<int32_t>(m), &olo, &ohi);
        if (olo > ohi) continue;
        const octant& oct = below ? span_angles::below_octants[i] : span_angles::above_octants[i];
        for (int run = 0; run < runs; ++run) {
            // Runs of up to 300 columns anywhere in the octant, often at its ends.
            int32_t lo = r.next() % 3 == 0 ? olo : olo + static_cast<int32_t>(r.next() % (ohi - olo + 1u));
            int32_t hi = lo + r.in(0, 300);
            if (r.next() % 3 == 0) hi = ohi, lo = hi - r.in(0, 300);
            if (lo < olo) lo = olo;
            if (hi > ohi) hi = ohi;
            if (dy == 0 && lo <= 0 && hi >= 0) continue;  // the centre has no angle
            int64_t e[302];
            for (int32_t dx = lo; dx <= hi; ++dx) {
                e[dx - lo] = spoke_angle(static_cast<int16_t>(dx), dy);
                ASSERT_EQ(span_angles::angle_at_dx(ra, oct, dx), e[dx - lo]) << dx << "," << dy;
            }
            const int64_t e_lo = e[0] < e[hi - lo] ? e[0] : e[hi - lo];
            const int64_t e_hi = e[0] < e[hi - lo] ? e[hi - lo] : e[0];
            for (int b = 0; b < 24; ++b) {
                int64_t bound = e_lo - 2 + static_cast<int64_t>(r.next() % static_cast<uint32_t>(e_hi - e_lo + 5));
                if (b == 0) bound = -60000;
                if (b == 1) bound = 120000;
                if (b == 2) bound = e[r.next() % (hi - lo + 1)];
                int32_t expected = hi + 1;
                for (int32_t dx = lo; dx <= hi; ++dx) {
                    if (rising ? e[dx - lo] >= bound : e[dx - lo] <= bound) {
                        expected = dx;
                        break;
                    }
                }
                ASSERT_EQ(span_angles::first_reaching(ra, oct, lo, hi, rising, bound), expected)
                    << "dy " << dy << " octant " << i << " columns " << lo << ".." << hi << " bound " << bound;
            }
        }
    }
}

TEST(EffectSpanAngles, FirstColumnReachingABoundMatchesAScan) {
    rng r{0x452821E638D01377ull};
    for (int16_t dy : {0, 1, -1, 2, -2, 7, -7, 100, -100, 181, 32767, -32767, -32768}) check_row(dy, r, 6);
    for (int round = 0; round < 400; ++round) {
        const int16_t dy = static_cast<int16_t>(r.next() % 2 ? r.in(-3000, 3000) : static_cast<int32_t>(r.next()));
        check_row(dy, r, 2);
    }
}

}  // namespace
