// Spoke geometry and the per-pixel shading rule: the worked geometries, the
// shading of single pixels in RGB, CMYK and gray, and the behaviour for stored
// values outside the dialog's ranges.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "effect/spoke.h"

namespace {

struct parameters {
    int16_t spokes, angle, thickness, intensity, radius, length, extent;
};

constexpr parameters geometry_a = {8, 0, 20, 50, 50, 50, 256};
constexpr parameters defaults_512 = {8, 0, 20, 50, 50, 50, 512};

// The geometry and centre of the pass under test.
spoke_geometry geo;
int16_t centre_x = 100, centre_y = 100;

void setup(const parameters& p, int32_t scale) {
    geo = setup_spoke_geometry({p.spokes, p.angle, p.thickness, p.intensity, p.radius, p.length}, p.extent, scale);
}

pixel_layout layout_of(int bpp) {
    pixel_layout layout = pixel_layout::rgb;
    EXPECT_TRUE(layout_for_bytes(bpp, &layout)) << bpp;
    return layout;
}

spoke_shader shader_for(pixel_layout layout) { return {geo, centre_x, centre_y, layout}; }

// Shades pixel (col, row) of a row whose every pixel is `px`; returns the
// bytes written.
std::vector<uint8_t> shade_at(int col, int row, const std::vector<uint8_t>& px) {
    const int bpp = static_cast<int>(px.size());
    std::vector<uint8_t> src;
    for (int c = 0; c <= col; ++c) src.insert(src.end(), px.begin(), px.end());
    std::vector<uint8_t> dst(bpp, 0xEE);
    shade_pixel(shader_for(layout_of(bpp)), static_cast<int16_t>(col), static_cast<int16_t>(row), src.data(),
                dst.data());
    return dst;
}

const std::vector<uint8_t> rgb_px = {10, 20, 30};
const std::vector<uint8_t> cmyk_px = {10, 20, 30, 40};
const std::vector<uint8_t> gray_px = {100};

struct pixel_case {
    int col, row;
    std::vector<uint8_t> rgb, cmyk, gray;
};

void expect_pixels(const std::vector<pixel_case>& cases) {
    for (const pixel_case& c : cases) {
        SCOPED_TRACE(testing::Message() << "pixel " << c.col << "," << c.row);
        EXPECT_EQ(shade_at(c.col, c.row, rgb_px), c.rgb);
        EXPECT_EQ(shade_at(c.col, c.row, cmyk_px), c.cmyk);
        EXPECT_EQ(shade_at(c.col, c.row, gray_px), c.gray);
    }
}

class EffectSpoke : public testing::Test {
protected:
    void SetUp() override {
        centre_x = 100;
        centre_y = 100;
    }
};

TEST_F(EffectSpoke, GeometryA) {
    setup(geometry_a, 65536);
    EXPECT_EQ(geo.inner_sq, 2500);
    EXPECT_EQ(geo.outer_sq, 10000);
    EXPECT_EQ(geo.mid_sq, 5625);
    EXPECT_EQ(geo.spoke_period, 6434);
    EXPECT_EQ(geo.half_period, 3217);
    EXPECT_EQ(geo.intensity_weight, 128);
    EXPECT_EQ(geo.angle_offset, 0);
    EXPECT_EQ(geo.thick_sq, 100);
    EXPECT_EQ(geo.core_sq, 4);
    EXPECT_EQ(geo.feather_span, 96);
}

TEST_F(EffectSpoke, GeometryAPixels) {
    setup(geometry_a, 65536);
    expect_pixels({
        {100, 100, {10, 20, 30}, {10, 20, 30, 40}, {100}},     // centre
        {150, 100, {10, 20, 30}, {10, 20, 30, 40}, {100}},     // d2 = inner_sq, strict test
        {200, 100, {10, 20, 30}, {10, 20, 30, 40}, {100}},     // d2 = outer_sq
        {180, 100, {132, 137, 15}, {132, 137, 15, 148}, {177}},  // outer half, b = 842
        {175, 100, {132, 137, 15}, {132, 137, 15, 148}, {177}},  // d2 = mid_sq, b = 1024
        {152, 100, {7, 14, 88}, {7, 14, 88, 95}, {82}},        // end fade, u = 66
        {199, 100, {54, 16, 24}, {54, 16, 24, 78}, {86}},      // outer edge, u = 46
        {160, 102, {6, 12, 110}, {6, 12, 110, 117}, {128}},    // feather, u = 92
        {160, 120, {10, 20, 30}, {10, 20, 30, 40}, {100}},     // t = 3308, off the spoke
    });
}

TEST_F(EffectSpoke, FullIntensityWritesTheColourDirectly) {
    parameters p = geometry_a;
    p.intensity = 100;
    setup(p, 65536);
    EXPECT_EQ(geo.intensity_weight, 256);
    expect_pixels({
        {180, 100, {255, 255, 0}, {255, 255, 0, 255}, {255}},
        {160, 102, {2, 5, 191}, {2, 5, 191, 195}, {157}},  // feathered: u = 184
    });
}

TEST_F(EffectSpoke, GeometryBMovesTheCentreLines) {
    parameters p = geometry_a;
    p.spokes = 7;
    p.angle = 10;
    setup(p, 65536);
    EXPECT_EQ(geo.spoke_period, 7353);
    EXPECT_EQ(geo.half_period, 3676);
    EXPECT_EQ(geo.angle_offset, 1430);
    EXPECT_EQ(angle_distance(geo, 51472), 1431);
    expect_pixels({{180, 100, {10, 20, 30}, {10, 20, 30, 40}, {100}}});
}

TEST_F(EffectSpoke, DefaultGeometryAtPreviewExtent512) {
    setup(defaults_512, 65536);
    EXPECT_EQ(geo.inner_sq, 100 * 100);
    EXPECT_EQ(geo.outer_sq, 200 * 200);
    EXPECT_EQ(geo.mid_sq, 150 * 150);
    EXPECT_EQ(geo.thick_sq, 20 * 20);
    EXPECT_EQ(geo.core_sq, 12 * 12);
    EXPECT_EQ(geo.feather_span, 256);

    setup(defaults_512, 163840);  // scale 2.5
    EXPECT_EQ(geo.inner_sq, 250 * 250);
    EXPECT_EQ(geo.outer_sq, 500 * 500);
    EXPECT_EQ(geo.mid_sq, 375 * 375);
    EXPECT_EQ(geo.thick_sq, 50 * 50);
    EXPECT_EQ(geo.core_sq, 31 * 31);
}

TEST_F(EffectSpoke, ThinSpokesKeepACoreOfFive) {
    parameters p = defaults_512;
    p.thickness = 5;  // T = 10, so the core is max(10 - 15, 5) = 5
    setup(p, 65536);
    EXPECT_EQ(geo.thick_sq, 5 * 5);
    EXPECT_EQ(geo.core_sq, 2 * 2);
}

TEST_F(EffectSpoke, SpokePeriods) {
    const struct {
        int16_t spokes;
        uint16_t period;
    } cases[] = {{1, 51472}, {2, 25736}, {3, 17157}, {7, 7353}, {8, 6434}, {42, 1226}, {50, 1029}};
    for (const auto& c : cases) {
        parameters p = geometry_a;
        p.spokes = c.spokes;
        setup(p, 65536);
        EXPECT_EQ(geo.spoke_period, c.period) << c.spokes;
        EXPECT_EQ(geo.half_period, c.period >> 1) << c.spokes;
    }
}

TEST_F(EffectSpoke, AngleDistanceDoesNotWrapAcrossPlusX) {
    parameters p = geometry_a;
    p.spokes = 50;  // period 1029 does not divide 51472
    setup(p, 65536);
    EXPECT_EQ(angle_distance(geo, 51472), 22);  // measured from the line at 51450
    EXPECT_EQ(angle_distance(geo, 51450), 0);
    EXPECT_EQ(angle_distance(geo, 5), 5);  // measured from the line at 0
    EXPECT_EQ(angle_distance(geo, 514), 514);  // half_period
    EXPECT_EQ(angle_distance(geo, 515), 514);

    p.spokes = 42;
    setup(p, 65536);
    EXPECT_EQ(angle_distance(geo, 51472), 20);

    p.spokes = 8;  // 6434 divides 51472: even spacing all round
    setup(p, 65536);
    EXPECT_EQ(angle_distance(geo, 51472), 0);
    EXPECT_EQ(angle_distance(geo, 0), 0);
}

TEST_F(EffectSpoke, OneSpokePointsAgainstTheAngle) {
    parameters p = geometry_a;
    p.spokes = 1;
    p.angle = 90;  // centre line at -12870, that is 38602: straight up
    p.intensity = 100;
    setup(p, 65536);
    EXPECT_EQ(geo.spoke_period, 51472);
    EXPECT_EQ(geo.half_period, 25736);
    EXPECT_EQ(shade_at(100, 20, rgb_px), (std::vector<uint8_t>{255, 255, 0}));  // up, at d = 80
    EXPECT_EQ(shade_at(100, 180, rgb_px), rgb_px);                              // down
    EXPECT_EQ(shade_at(180, 100, rgb_px), rgb_px);                              // right
    EXPECT_EQ(shade_at(20, 100, rgb_px), rgb_px);                               // left
}

TEST_F(EffectSpoke, ClampByte) {
    EXPECT_EQ(clamp_byte(-32768), 0);
    EXPECT_EQ(clamp_byte(-1), 0);
    EXPECT_EQ(clamp_byte(0), 0);
    EXPECT_EQ(clamp_byte(128), 128);
    EXPECT_EQ(clamp_byte(255), 255);
    EXPECT_EQ(clamp_byte(256), 255);
    EXPECT_EQ(clamp_byte(32767), 255);
}

TEST_F(EffectSpoke, ColourRampAlongTheRadius) {
    // A wide ring at full intensity with a thick spoke along +x: the colour
    // runs blue, green, yellow at the middle radius, then orange to red.
    parameters p = {8, 0, 100, 100, 25, 100, 256};
    setup(p, 65536 * 4);  // Ri = 100, L = 400, Ro = 500, Rm = 300
    ASSERT_EQ(geo.inner_sq, 100 * 100);
    ASSERT_EQ(geo.outer_sq, 500 * 500);
    ASSERT_EQ(geo.mid_sq, 300 * 300);
    centre_x = 0;
    centre_y = 0;
    EXPECT_EQ(shade_at(160, 0, rgb_px), (std::vector<uint8_t>{0, 0, 255}));    // b = 199
    EXPECT_EQ(shade_at(300, 0, rgb_px), (std::vector<uint8_t>{255, 255, 0}));  // middle radius
    // b = 764 at d2 = 264^2: nearly pure green.
    EXPECT_EQ(shade_at(264, 0, rgb_px), (std::vector<uint8_t>{0, 252, 4}));
    // Outer half: red stays 255, green falls, blue stays 0.
    std::vector<uint8_t> orange = shade_at(400, 0, rgb_px);
    EXPECT_EQ(orange[0], 255);
    EXPECT_GT(orange[1], 0);
    EXPECT_LT(orange[1], 255);
    EXPECT_EQ(orange[2], 0);
}

// Far from the centre (d2 above 2^23) the spoke keeps its width: the band of
// pixels painted beside the centre line stays about Ht / sqrt(8) wide.
TEST_F(EffectSpoke, FarPixelsKeepTheSpokeWidth) {
    parameters p = {8, 0, 20, 100, 100, 100, 512};
    const int32_t scale = (32767 << 16) / 512;  // a 32767-pixel-wide image
    setup(p, scale);
    const int32_t ri = 200 * scale >> 16;
    ASSERT_EQ(geo.inner_sq, ri * ri);
    ASSERT_GT(ri, 2896);  // the whole ring lies beyond d2 = 2^23
    const int32_t ht = 40 * scale >> 17;
    ASSERT_EQ(geo.thick_sq, ht * ht);
    centre_x = -12000;
    centre_y = 0;
    // Column 10000 is 22000 pixels out along +x, inside the ring.
    const int inside = ht * 10 / 30;   // 8 s^2 well below Ht^2
    const int outside = ht * 12 / 30;  // 8 s^2 above Ht^2
    const std::vector<uint8_t> on_line = shade_at(10000, 0, rgb_px);  // outer half, b = 611
    EXPECT_EQ(on_line, (std::vector<uint8_t>{255, 99, 0}));
    EXPECT_NE(shade_at(10000, inside, rgb_px), rgb_px);
    EXPECT_NE(shade_at(10000, -inside, rgb_px), rgb_px);
    EXPECT_EQ(shade_at(10000, outside, rgb_px), rgb_px);
    EXPECT_EQ(shade_at(10000, -outside, rgb_px), rgb_px);
}

TEST_F(EffectSpoke, WideRingsRampWithoutOverflow) {
    // mid_sq - inner_sq and outer_sq - mid_sq far beyond 2^21: the ramp
    // products need more than 31 bits.
    parameters p = {8, 0, 100, 100, 10, 100, 512};
    setup(p, 65536 * 40);  // Ri = 800, L = 8000
    const int64_t inner = geo.inner_sq, mid = geo.mid_sq, outer = geo.outer_sq;
    ASSERT_GT(mid - inner, 1 << 21);
    ASSERT_GT(outer - mid, 1 << 21);
    centre_x = 0;
    centre_y = 0;
    // Sample along +x and check the ramp position the colour implies.
    for (int d = 900; d < 8800; d += 97) {
        std::vector<uint8_t> c = shade_at(d, 0, rgb_px);
        const int64_t d2 = static_cast<int64_t>(d) * d;
        if (d2 <= inner || d2 >= outer) continue;
        const double b = d2 > mid ? 1024.0 * (outer - d2) / (outer - mid) : 1024.0 * (d2 - inner) / (mid - inner);
        if (b < 128) continue;  // faded toward the source colour
        if (d2 > mid) {
            EXPECT_EQ(c[0], 255) << d;
            EXPECT_EQ(c[2], 0) << d;
        }
        EXPECT_NEAR(c[1], b > 512 ? (b - 512 > 255 ? 255 : b - 512) : 0, 1.0) << d;
    }
}

// --- values outside the dialog's ranges -----------------------------------

// Shades columns 0..width-1 of a patterned row (centre (100, 100), rows 0..219
// sampled) and reports whether any pixel differs from the source.
bool any_pixel_changes(int bpp) {
    const int width = 220;
    std::vector<uint8_t> src(width * bpp), dst(width * bpp);
    for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(i * 37 + 11);
    const spoke_shader shader = shader_for(layout_of(bpp));
    for (int row = 0; row < 220; row += 3) {
        for (int x = 0; x < width; ++x) shade_pixel(shader, static_cast<int16_t>(x), static_cast<int16_t>(row),
                                                    src.data(), dst.data() + x * bpp);
        if (dst != src) return true;
    }
    return false;
}

// The whole patterned block as shaded, for comparing two settings.
std::vector<uint8_t> shaded_block(int bpp) {
    const int width = 220;
    std::vector<uint8_t> src(width * bpp), out;
    for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(i * 37 + 11);
    const spoke_shader shader = shader_for(layout_of(bpp));
    std::vector<uint8_t> dst(src.size());
    for (int row = 0; row < 220; ++row) {
        for (int x = 0; x < width; ++x) shade_pixel(shader, static_cast<int16_t>(x), static_cast<int16_t>(row),
                                                    src.data(), dst.data() + x * bpp);
        out.insert(out.end(), dst.begin(), dst.end());
    }
    return out;
}

TEST_F(EffectSpoke, InRangeParametersPaint) {
    setup(geometry_a, 65536);
    EXPECT_TRUE(any_pixel_changes(3));
}

TEST_F(EffectSpoke, NoSpokesCopyEveryPixel) {
    for (int16_t spokes : {0, -1, -32768}) {
        parameters p = geometry_a;
        p.spokes = spokes;
        setup(p, 65536);
        EXPECT_EQ(geo.spoke_period, 0);
        EXPECT_EQ(geo.half_period, 0);
        EXPECT_EQ(angle_distance(geo, 1000), 65535);
        EXPECT_FALSE(any_pixel_changes(3)) << spokes;
    }
    parameters p = geometry_a;
    p.spokes = 32767;  // densest: the period never reaches 0
    setup(p, 65536);
    EXPECT_EQ(geo.spoke_period, 2);
    EXPECT_TRUE(any_pixel_changes(3));
}

// Negative radii and lengths are taken as they come: the squares of the
// radii they give, with the ring wherever those put it.
TEST_F(EffectSpoke, NegativeRadiusOrLengthFollowTheArithmetic) {
    parameters p = geometry_a;
    p.radius = -50;  // Ri = -50, Ro = 0, Rm = -25: an empty ring
    setup(p, 65536);
    EXPECT_EQ(geo.inner_sq, 2500);
    EXPECT_EQ(geo.outer_sq, 0);
    EXPECT_EQ(geo.mid_sq, 625);
    EXPECT_FALSE(any_pixel_changes(3));

    p.length = 150;  // Ri = -50, Ro = 100, Rm = 25: a ring of outer half only
    setup(p, 65536);
    EXPECT_EQ(geo.inner_sq, 2500);
    EXPECT_EQ(geo.outer_sq, 10000);
    EXPECT_EQ(geo.mid_sq, 625);
    // (180, 100): d2 = 6400, b = 3600 * 1024 / 9375 = 393, colour 255, 0, 0.
    EXPECT_EQ(shade_at(180, 100, rgb_px), (std::vector<uint8_t>{132, 10, 15}));

    p = geometry_a;
    p.length = -150;  // Ri = 50, Ro = -100, Rm = -25: the same ring again
    setup(p, 65536);
    EXPECT_EQ(geo.inner_sq, 2500);
    EXPECT_EQ(geo.outer_sq, 10000);
    EXPECT_EQ(geo.mid_sq, 625);
    EXPECT_EQ(shade_at(180, 100, rgb_px), (std::vector<uint8_t>{132, 10, 15}));

    for (int16_t length : {0, -1, -100}) {  // Ro at or inside Ri
        p.length = length;
        setup(p, 65536);
        EXPECT_LE(geo.outer_sq, geo.inner_sq) << length;
        EXPECT_FALSE(any_pixel_changes(3)) << length;
    }
}

TEST_F(EffectSpoke, NegativeThicknessSquaresToItsWidth) {
    parameters p = geometry_a;
    p.thickness = 20;
    setup(p, 65536);
    const std::vector<uint8_t> positive = shaded_block(3);
    p.thickness = -20;  // Ht = -10 squares to 100; the core keeps its floor of 5
    setup(p, 65536);
    EXPECT_EQ(geo.thick_sq, 100);
    EXPECT_EQ(geo.core_sq, 4);
    EXPECT_EQ(shaded_block(3), positive);

    p.thickness = 0;
    setup(p, 65536);
    EXPECT_EQ(geo.thick_sq, 0);
    EXPECT_FALSE(any_pixel_changes(4));
}

TEST_F(EffectSpoke, IntensityWeightStaysWithin0To256) {
    const struct {
        int16_t intensity;
        uint16_t weight;
    } cases[] = {{0, 0}, {50, 128}, {100, 256}, {101, 256}, {32767, 256}, {-1, 0}, {-100, 0}, {-32768, 0}};
    for (const auto& c : cases) {
        parameters p = geometry_a;
        p.intensity = c.intensity;
        setup(p, 65536);
        EXPECT_EQ(geo.intensity_weight, c.weight) << c.intensity;
    }
    parameters p = geometry_a;
    p.intensity = 1000;
    setup(p, 65536);
    EXPECT_EQ(shade_at(180, 100, rgb_px), (std::vector<uint8_t>{255, 255, 0}));
    p.intensity = -40;
    setup(p, 65536);
    EXPECT_FALSE(any_pixel_changes(4));
}

TEST_F(EffectSpoke, NegativeAnglesTurnTheOtherWay) {
    for (int16_t spokes : {7, 8, 50}) {
        parameters p = geometry_a;
        p.spokes = spokes;
        p.angle = -10;  // centre lines at +1430 + k * period
        setup(p, 65536);
        const uint16_t period = geo.spoke_period;
        EXPECT_EQ(geo.angle_offset, -1430);
        EXPECT_EQ(angle_distance(geo, 1430), 0) << spokes;
        EXPECT_EQ(angle_distance(geo, 1430 + period), 0) << spokes;
        EXPECT_EQ(angle_distance(geo, 1430 + 5), 5) << spokes;
        EXPECT_EQ(angle_distance(geo, 1430 - 5), 5) << spokes;
    }
    parameters p = geometry_a;
    p.angle = -32768;
    setup(p, 65536);
    EXPECT_EQ(geo.angle_offset, -32768 * 143);
    // -4685824 = -728 * 6434 - 1872: the lines sit at 1872 + k * 6434.
    EXPECT_EQ(angle_distance(geo, 1872), 0);
    EXPECT_EQ(angle_distance(geo, 1872 + 6434 * 3), 0);
}

TEST_F(EffectSpoke, AnglesBeyondAFullTurnKeepTurning) {
    parameters p = geometry_a;
    p.angle = 360;  // 51480 units: 8 more than the full turn
    setup(p, 65536);
    EXPECT_EQ(geo.angle_offset, 51480);
    EXPECT_EQ(angle_distance(geo, 0), 8);
    p.angle = 32767;
    setup(p, 65536);
    EXPECT_EQ(geo.angle_offset, 32767 * 143);
    EXPECT_EQ(angle_distance(geo, 0), 1729);  // 4685681 = 728 * 6434 + 1729
}

TEST_F(EffectSpoke, ExtremeScalesSaturateRatherThanWrap) {
    parameters p = {8, 0, 100, 50, 100, 100, 512};
    setup(p, INT32_MAX);
    EXPECT_EQ(geo.inner_sq, 32767 * 32767);
    EXPECT_EQ(geo.outer_sq, 32767 * 32767);
    EXPECT_EQ(geo.thick_sq, 32767 * 32767);
    EXPECT_FALSE(any_pixel_changes(3));
    setup(p, 0);
    EXPECT_EQ(geo.outer_sq, 0);
    EXPECT_EQ(geo.thick_sq, 0);
    EXPECT_FALSE(any_pixel_changes(3));
    setup(p, -65536);  // Ri = -200, Ro = -400: squares of the same sizes
    EXPECT_EQ(geo.inner_sq, 200 * 200);
    EXPECT_EQ(geo.outer_sq, 400 * 400);
    setup(p, INT32_MIN);
    EXPECT_EQ(geo.inner_sq, 32767 * 32767);
    EXPECT_EQ(geo.outer_sq, 32767 * 32767);
    p.radius = 50;
    p.length = 32767;  // Ro = Ri + L saturates rather than wrapping negative
    setup(p, 65536 * 8);
    EXPECT_EQ(geo.outer_sq, 32767 * 32767);
    EXPECT_GE(geo.mid_sq, geo.inner_sq);
    EXPECT_LE(geo.mid_sq, geo.outer_sq);
}

TEST_F(EffectSpoke, CentreFarAwayWrapsTheStoredDifferences) {
    // dx = column - centre_x is stored as an int16: column 10000 with the
    // centre at -30000 gives 40000, which wraps to -25536, the same offset as
    // column 0 with the centre at 25536.  Both lie on the spoke along -x.
    setup({8, 0, 100, 100, 100, 100, 512}, 65536 * 70);  // Ri = 14000, Ro = 28000
    centre_y = 0;
    centre_x = -30000;
    const std::vector<uint8_t> wrapped = shade_at(10000, 0, rgb_px);
    centre_x = 25536;
    EXPECT_EQ(wrapped, shade_at(0, 0, rgb_px));
    EXPECT_NE(wrapped, rgb_px);
}

// --- writes stay within the pixel ---------------------------------------

const pixel_layout all_layouts[] = {pixel_layout::gray, pixel_layout::rgb, pixel_layout::cmyk,
                                   pixel_layout::gray_alpha, pixel_layout::rgb_alpha};

TEST_F(EffectSpoke, PixelSizes) {
    EXPECT_EQ(layout_bytes(pixel_layout::gray), 1);
    EXPECT_EQ(layout_bytes(pixel_layout::rgb), 3);
    EXPECT_EQ(layout_bytes(pixel_layout::cmyk), 4);
    EXPECT_EQ(layout_bytes(pixel_layout::gray_alpha), 2);
    EXPECT_EQ(layout_bytes(pixel_layout::rgb_alpha), 4);
    pixel_layout layout = pixel_layout::gray_alpha;
    for (int bpp : {-3, 0, 2, 5, 8}) {
        EXPECT_FALSE(layout_for_bytes(bpp, &layout)) << bpp;
        EXPECT_EQ(layout, pixel_layout::gray_alpha) << bpp;
    }
}

TEST_F(EffectSpoke, WritesExactlyOnePixelAndNeverTheSource) {
    setup(geometry_a, 65536);
    const int cols[] = {100, 160, 180, 199};  // centre, feathered, on spoke, faded
    for (pixel_layout layout : all_layouts) {
        const int bpp = layout_bytes(layout);
        for (int col : cols) {
            SCOPED_TRACE(testing::Message() << "bytes " << bpp << " col " << col);
            std::vector<uint8_t> src(210 * bpp);
            for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(0x30 + i % 7);
            const std::vector<uint8_t> src_before = src;
            std::vector<uint8_t> dst(16, 0xA5);
            shade_pixel(shader_for(layout), static_cast<int16_t>(col), col == 160 ? 102 : 100, src.data(),
                        dst.data() + 4);
            EXPECT_EQ(src, src_before);
            for (int i = 0; i < 16; ++i) {
                if (i < 4 || i >= 4 + bpp) {
                    EXPECT_EQ(dst[i], 0xA5) << "byte " << i;
                }
            }
        }
    }
}

// With an alpha byte the colour bytes are those of the plain layout and the
// alpha is the source's, wherever the pixel lies.
TEST_F(EffectSpoke, AlphaIsCopiedAndColoursMatchThePlainLayouts) {
    for (int intensity : {50, 100}) {
        parameters p = geometry_a;
        p.intensity = static_cast<int16_t>(intensity);
        setup(p, 65536);
        for (int row = 95; row < 125; row += 3) {
            for (int col = 95; col < 205; ++col) {
                SCOPED_TRACE(testing::Message() << col << "," << row << " intensity " << intensity);
                const std::vector<uint8_t> rgb = shade_at(col, row, rgb_px);
                std::vector<uint8_t> rgba_src;
                std::vector<uint8_t> ya_src;
                for (int c = 0; c <= col; ++c) {
                    const uint8_t alpha = static_cast<uint8_t>(c * 7 + 3);
                    rgba_src.insert(rgba_src.end(), {10, 20, 30, alpha});
                    ya_src.insert(ya_src.end(), {100, alpha});
                }
                uint8_t rgba[4], ya[2];
                shade_pixel(shader_for(pixel_layout::rgb_alpha), static_cast<int16_t>(col),
                            static_cast<int16_t>(row), rgba_src.data(), rgba);
                shade_pixel(shader_for(pixel_layout::gray_alpha), static_cast<int16_t>(col),
                            static_cast<int16_t>(row), ya_src.data(), ya);
                const uint8_t alpha = static_cast<uint8_t>(col * 7 + 3);
                EXPECT_EQ((std::vector<uint8_t>{rgba[0], rgba[1], rgba[2]}), rgb);
                EXPECT_EQ(rgba[3], alpha);
                EXPECT_EQ(ya[0], shade_at(col, row, gray_px)[0]);
                EXPECT_EQ(ya[1], alpha);
            }
        }
    }
}

// Stored values come back unchecked: every int16 parameter, any scale, centre
// and position must shade without faults (ASan and UBSan watch this in the
// sanitized build) and write only the pixel.
TEST_F(EffectSpoke, RandomParametersAreSafe) {
    uint64_t x = 0x9E3779B97F4A7C15ull;
    auto next = [&x]() {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        return static_cast<uint32_t>(x >> 32);
    };
    auto any16 = [&]() -> int16_t {
        switch (next() % 4) {
            case 0: return static_cast<int16_t>(next());
            case 1: return static_cast<int16_t>(static_cast<int32_t>(next() % 121) - 10);
            case 2: return static_cast<int16_t>(next() % 2 ? 32767 : -32768);
            default: return static_cast<int16_t>(next() % 3 - 1);
        }
    };
    std::vector<uint8_t> src(64 * 4);
    for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(i * 11);
    const std::vector<uint8_t> src_before = src;
    for (int round = 0; round < 4000; ++round) {
        parameters p = {any16(), any16(), any16(), any16(), any16(), any16(), any16()};
        int32_t scale = next() % 2 ? static_cast<int32_t>(next()) : static_cast<int32_t>(next() % (65536 * 70));
        setup(p, scale);
        ASSERT_LE(geo.intensity_weight, 256);
        ASSERT_GE(geo.inner_sq, 0);
        ASSERT_GE(geo.mid_sq, 0);
        ASSERT_GE(geo.outer_sq, 0);
        ASSERT_GE(geo.thick_sq, 0);
        ASSERT_GE(geo.core_sq, 0);
        centre_x = any16();
        centre_y = any16();
        const pixel_layout layout = all_layouts[next() % 5];
        const int bpp = layout_bytes(layout);
        const int16_t row = static_cast<int16_t>(next());
        for (int i = 0; i < 8; ++i) {
            const int col = static_cast<int>(next() % 64);
            uint8_t dst[12];
            std::memset(dst, 0xA5, sizeof dst);
            shade_pixel(shader_for(layout), static_cast<int16_t>(col), row, src.data(), dst + 4);
            for (int k = 0; k < 12; ++k) {
                if (k < 4 || k >= 4 + bpp) {
                    ASSERT_EQ(dst[k], 0xA5) << "round " << round;
                }
            }
        }
    }
    EXPECT_EQ(src, src_before);
}

}  // namespace
