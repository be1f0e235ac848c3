// Fixed-point angles: tables, integer sine and cosine, the octant arctangent
// and the preview scaling of parameter values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "effect/angles.h"

namespace {

constexpr double angle_units_per_radian = 8192.0;
constexpr double pi = 3.14159265358979323846;

TEST(EffectAngles, SineTableIsRoundedSineWithCappedLastEntry) {
    for (int k = 0; k < 90; ++k)
        EXPECT_EQ(sine_table[k], std::lround(32768.0 * std::sin(k * pi / 180.0))) << "k=" << k;
    EXPECT_EQ(sine_table[0], 0);
    EXPECT_EQ(sine_table[1], 572);
    EXPECT_EQ(sine_table[30], 16384);
    EXPECT_EQ(sine_table[45], 23170);
    EXPECT_EQ(sine_table[60], 28378);
    EXPECT_EQ(sine_table[89], 32763);
    EXPECT_EQ(sine_table[90], 32767);
}

TEST(EffectAngles, AtanTableIsRoundedArctangentOfThirtySeconds) {
    for (int k = 0; k <= 32; ++k)
        EXPECT_EQ(atan_table[k], std::lround(angle_units_per_radian * std::atan(k / 32.0))) << "k=" << k;
    EXPECT_EQ(atan_table[1], 256);
    EXPECT_EQ(atan_table[16], 3798);
    EXPECT_EQ(atan_table[32], 6434);
}

TEST(EffectAngles, SineAndCosineExamples) {
    EXPECT_EQ(sin_deg(-450), -32767);
    EXPECT_EQ(sin_deg(-1), -572);
    EXPECT_EQ(sin_deg(45), 23170);
    EXPECT_EQ(cos_deg(45), 23170);
    EXPECT_EQ(sin_deg(181), -572);
    EXPECT_EQ(sin_deg(1000), -32270);
    EXPECT_EQ(cos_deg(0), 32767);
    EXPECT_EQ(cos_deg(90), 0);
    EXPECT_EQ(cos_deg(180), -32767);
    EXPECT_EQ(sin_deg(0), 0);
    EXPECT_EQ(sin_deg(180), 0);
    EXPECT_EQ(sin_deg(90), 32767);
    EXPECT_EQ(sin_deg(270), -32767);
}

TEST(EffectAngles, SineFollowsTheQuadrantRuleAndIgnoresWholeTurns) {
    for (int32_t a = 0; a < 360; ++a) {
        int16_t expected;
        if (a < 90) expected = sine_table[a];
        else if (a < 180) expected = sine_table[180 - a];
        else if (a < 270) expected = static_cast<int16_t>(-sine_table[a - 180]);
        else expected = static_cast<int16_t>(-sine_table[360 - a]);
        ASSERT_EQ(sin_deg(a), expected) << a;
        ASSERT_EQ(sin_deg(a + 360 * 7), expected) << a;
        ASSERT_EQ(sin_deg(a - 360 * 11), expected) << a;
        ASSERT_EQ(cos_deg(a), sin_deg(a + 90)) << a;
    }
    // The ends of the 32-bit range reduce like any other argument, and the
    // cosine's quarter turn does not overflow.
    const int32_t big = 2147483640;  // 360 * 5965232 + 120
    EXPECT_EQ(sin_deg(big), sin_deg(120));
    EXPECT_EQ(sin_deg(-big), sin_deg(-120));
    EXPECT_EQ(cos_deg(INT32_MAX), sin_deg(127 + 90));  // INT32_MAX = 360 * k + 127
    EXPECT_EQ(sin_deg(INT32_MIN), sin_deg(-128));     // INT32_MIN = -360 * k - 128
}

TEST(EffectAngles, SpokeAngleOnAxesDiagonalsAndAroundACircle) {
    EXPECT_EQ(spoke_angle(1, 0), 51472);  // the +x direction is a full turn, not 0
    EXPECT_EQ(spoke_angle(0, 1), 12868);
    EXPECT_EQ(spoke_angle(-1, 0), 25736);
    EXPECT_EQ(spoke_angle(0, -1), 38604);
    EXPECT_EQ(spoke_angle(1, 1), 6434);
    EXPECT_EQ(spoke_angle(-1, 1), 19302);
    EXPECT_EQ(spoke_angle(-1, -1), 32170);
    EXPECT_EQ(spoke_angle(1, -1), 45038);
    EXPECT_EQ(spoke_angle(10, 9), 6002);
    EXPECT_EQ(spoke_angle(9, 10), 6866);
    EXPECT_EQ(spoke_angle(-10, 1), 24920);
    EXPECT_EQ(spoke_angle(-10, -1), 26552);
    EXPECT_EQ(spoke_angle(1, -10), 39420);
    EXPECT_EQ(spoke_angle(10, -1), 50656);
    EXPECT_EQ(spoke_angle(10, 1), 816);
    EXPECT_EQ(spoke_angle(100, 3), 245);
}

TEST(EffectAngles, SpokeAngleAtOctantBoundariesAndExtremeOffsets) {
    // Equal magnitudes take the steep row with ratio 1.
    EXPECT_EQ(spoke_angle(500, 500), 6434);
    EXPECT_EQ(spoke_angle(500, 499), 6425);  // just below the diagonal: A(499, 500)
    EXPECT_EQ(spoke_angle(499, 500), 12868 - 6425);
    EXPECT_EQ(spoke_angle(32767, 0), 51472);
    EXPECT_EQ(spoke_angle(-32768, 0), 25736);
    EXPECT_EQ(spoke_angle(0, -32768), 38604);
    EXPECT_EQ(spoke_angle(0, 32767), 12868);
    // -32768 has magnitude 32768, not a negative one.
    EXPECT_EQ(spoke_angle(-32768, -32768), 32170);
    EXPECT_EQ(spoke_angle(-32768, 32767), 25736 - 6433);
    EXPECT_EQ(spoke_angle(32767, -32768), 38604 + 6433);
    // The centre has no direction but still gives a defined value.
    EXPECT_EQ(spoke_angle(0, 0), 38604);
}

// Within 3 angle units of 8192 * atan2 over a whole square of offsets, and
// always within 0 .. 51472.
TEST(EffectAngles, SpokeAngleTracksAtan2AcrossTheSquare) {
    const int n = 200;
    double worst = 0;
    for (int dy = -n; dy <= n; ++dy) {
        for (int dx = -n; dx <= n; ++dx) {
            if (dx == 0 && dy == 0) continue;
            double exact = std::atan2(dy, dx);
            if (exact <= 0) exact += 2 * pi;  // 0 .. 2 pi, +x at 2 pi like the rule
            exact *= angle_units_per_radian;
            uint16_t e = spoke_angle(static_cast<int16_t>(dx), static_cast<int16_t>(dy));
            ASSERT_LE(e, 51472);
            double err = std::fabs(e - exact);
            if (err > worst) worst = err;
            ASSERT_LE(err, 3.0) << dx << "," << dy << " -> " << e;
        }
    }
    EXPECT_GT(worst, 0.5);  // the sweep really compares something
}

TEST(EffectAngles, SpokeAngleTracksAtan2AtLongRange) {
    uint32_t x = 2463534242u;
    for (int i = 0; i < 20000; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        int16_t dx = static_cast<int16_t>(x & 0xFFFF);
        int16_t dy = static_cast<int16_t>(x >> 16);
        if (dx == 0 && dy == 0) continue;
        double exact = std::atan2(static_cast<double>(dy), static_cast<double>(dx));
        if (exact <= 0) exact += 2 * pi;
        ASSERT_NEAR(spoke_angle(dx, dy), exact * angle_units_per_radian, 3.0) << dx << "," << dy;
    }
}

TEST(EffectAngles, ScaleByPreviewExamples) {
    EXPECT_EQ(scale_by_preview(100, 512), 200);
    EXPECT_EQ(scale_by_preview(50, 256), 50);
    EXPECT_EQ(scale_by_preview(1, 128), 1);
    EXPECT_EQ(scale_by_preview(1, 127), 0);
    EXPECT_EQ(scale_by_preview(-1, 128), 0);
    EXPECT_EQ(scale_by_preview(-1, 129), -1);
    EXPECT_EQ(scale_by_preview(1500, 512), 3000);
    EXPECT_EQ(scale_by_preview(300, 32767), 32767);
    EXPECT_EQ(scale_by_preview(-300, 32767), -32767);
    EXPECT_EQ(scale_by_preview(-32768, 32767), -32767);  // never -32768
    EXPECT_EQ(scale_by_preview(-32768, -32768), 32767);
}

}  // namespace
