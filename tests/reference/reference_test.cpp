// The plain reference against the documented examples: if it agrees with
// every known value, the tests that take their expectations from it inherit
// them.  Nothing here touches the plug-in's own sources.
#include <gtest/gtest.h>

#include <vector>

#include "reference.h"

using namespace reference;

namespace {

std::vector<uint8_t> shaded(const geometry& g, int32_t col, int32_t row, std::vector<uint8_t> px)
{
    std::vector<uint8_t> out(px.size());
    shade(g, 100, 100, col, row, px.data(), (int32_t)px.size(), out.data());
    return out;
}

const values geometry_a = {8, 0, 20, 50, 50, 50};

}  // namespace

TEST(Reference, AngleTablesAndTrigonometry)
{
    const int32_t sines[][2] = {{0, 0}, {1, 572}, {30, 16384}, {45, 23170}, {60, 28378}, {89, 32763}, {90, 32767}};
    for (auto& s : sines) EXPECT_EQ(s[1], sine_entry(s[0])) << s[0];
    const int32_t atans[33] = {0,    256,  511,  766,  1019, 1270, 1518, 1764, 2007, 2246, 2481,
                               2712, 2939, 3161, 3378, 3591, 3798, 4000, 4197, 4389, 4576, 4758,
                               4934, 5105, 5272, 5433, 5590, 5741, 5889, 6031, 6170, 6304, 6434};
    for (int32_t k = 0; k <= 32; k++) EXPECT_EQ(atans[k], atan_entry(k)) << k;

    EXPECT_EQ(-32767, sin_deg(-450));
    EXPECT_EQ(-572, sin_deg(-1));
    EXPECT_EQ(23170, sin_deg(45));
    EXPECT_EQ(23170, cos_deg(45));
    EXPECT_EQ(-572, sin_deg(181));
    EXPECT_EQ(-32270, sin_deg(1000));
    EXPECT_EQ(32767, cos_deg(0));
    EXPECT_EQ(0, cos_deg(90));
    EXPECT_EQ(-32767, cos_deg(180));

    const int32_t angles[][3] = {
        {1, 0, 51472},   {0, 1, 12868},    {-1, 0, 25736},   {0, -1, 38604},  {1, 1, 6434},
        {-1, 1, 19302},  {-1, -1, 32170},  {1, -1, 45038},   {10, 9, 6002},   {9, 10, 6866},
        {-10, 1, 24920}, {-10, -1, 26552}, {1, -10, 39420},  {10, -1, 50656}, {10, 1, 816},
        {100, 3, 245},
    };
    for (auto& a : angles) EXPECT_EQ(a[2], pixel_angle(a[0], a[1])) << a[0] << "," << a[1];

    const int32_t scaled[][3] = {{100, 512, 200}, {50, 256, 50},      {1, 128, 1},       {1, 127, 0},
                                 {-1, 128, 0},    {-1, 129, -1},      {1500, 512, 3000}, {300, 32767, 32767},
                                 {-300, 32767, -32767}};
    for (auto& s : scaled) EXPECT_EQ(s[2], scale_by_preview(s[0], s[1])) << s[0] << "," << s[1];
}

TEST(Reference, GeometriesAAndB)
{
    geometry g = make_geometry(geometry_a, 256, 65536);
    EXPECT_EQ(50, g.ri);
    EXPECT_EQ(50, g.len);
    EXPECT_EQ(100, g.ro);
    EXPECT_EQ(75, g.rm);
    EXPECT_EQ(2500, g.inner_sq);
    EXPECT_EQ(10000, g.outer_sq);
    EXPECT_EQ(5625, g.mid_sq);
    EXPECT_EQ(6434, g.period);
    EXPECT_EQ(3217, g.half_period);
    EXPECT_EQ(128, g.weight);
    EXPECT_EQ(0, g.angle_offset);
    EXPECT_EQ(10, g.ht);
    EXPECT_EQ(100, g.thick_sq);
    EXPECT_EQ(2, g.hc);
    EXPECT_EQ(4, g.core_sq);
    EXPECT_EQ(96, g.feather_span);

    struct {
        int32_t col, row;
        std::vector<uint8_t> rgb, cmyk, gray;
    } pixels[] = {
        {100, 100, {10, 20, 30}, {10, 20, 30, 40}, {100}},   {150, 100, {10, 20, 30}, {10, 20, 30, 40}, {100}},
        {200, 100, {10, 20, 30}, {10, 20, 30, 40}, {100}},   {180, 100, {132, 137, 15}, {132, 137, 15, 148}, {177}},
        {175, 100, {132, 137, 15}, {132, 137, 15, 148}, {177}}, {152, 100, {7, 14, 88}, {7, 14, 88, 95}, {82}},
        {199, 100, {54, 16, 24}, {54, 16, 24, 78}, {86}},    {160, 102, {6, 12, 110}, {6, 12, 110, 117}, {128}},
        {160, 120, {10, 20, 30}, {10, 20, 30, 40}, {100}},
    };
    for (auto& p : pixels) {
        SCOPED_TRACE(testing::Message() << p.col << "," << p.row);
        EXPECT_EQ(p.rgb, shaded(g, p.col, p.row, {10, 20, 30}));
        EXPECT_EQ(p.cmyk, shaded(g, p.col, p.row, {10, 20, 30, 40}));
        EXPECT_EQ(p.gray, shaded(g, p.col, p.row, {100}));
    }

    values full = geometry_a;
    full.intensity = 100;
    g = make_geometry(full, 256, 65536);
    EXPECT_EQ((std::vector<uint8_t>{255, 255, 0}), shaded(g, 180, 100, {10, 20, 30}));
    EXPECT_EQ((std::vector<uint8_t>{255, 255, 0, 255}), shaded(g, 180, 100, {10, 20, 30, 40}));
    EXPECT_EQ((std::vector<uint8_t>{255}), shaded(g, 180, 100, {100}));
    EXPECT_EQ((std::vector<uint8_t>{2, 5, 191}), shaded(g, 160, 102, {10, 20, 30}));
    EXPECT_EQ((std::vector<uint8_t>{2, 5, 191, 195}), shaded(g, 160, 102, {10, 20, 30, 40}));
    EXPECT_EQ((std::vector<uint8_t>{157}), shaded(g, 160, 102, {100}));

    values b = geometry_a;
    b.spokes = 7;
    b.angle = 10;
    g = make_geometry(b, 256, 65536);
    EXPECT_EQ(7353, g.period);
    EXPECT_EQ(3676, g.half_period);
    EXPECT_EQ(1430, g.angle_offset);
    EXPECT_EQ(1431, angle_distance(g, 51472));
    EXPECT_EQ((std::vector<uint8_t>{10, 20, 30}), shaded(g, 180, 100, {10, 20, 30}));
}

TEST(Reference, GeometryAtOtherExtentsScalesAndCounts)
{
    geometry g = make_geometry(default_values(), 512, 65536);
    EXPECT_EQ(100, g.ri);
    EXPECT_EQ(200, g.ro);
    EXPECT_EQ(150, g.rm);
    EXPECT_EQ(20, g.ht);
    EXPECT_EQ(12, g.hc);
    EXPECT_EQ(256, g.feather_span);
    g = make_geometry(default_values(), 512, 163840);
    EXPECT_EQ(250, g.ri);
    EXPECT_EQ(500, g.ro);
    EXPECT_EQ(375, g.rm);
    EXPECT_EQ(50, g.ht);
    EXPECT_EQ(31, g.hc);
    values thin = default_values();
    thin.thickness = 5;
    g = make_geometry(thin, 512, 65536);
    EXPECT_EQ(5, g.ht);
    EXPECT_EQ(2, g.hc);

    const int32_t periods[][2] = {{1, 51472}, {2, 25736}, {3, 17157}, {7, 7353}, {8, 6434}, {50, 1029}};
    for (auto& p : periods) {
        values v = default_values();
        v.spokes = (int16_t)p[0];
        EXPECT_EQ(p[1], make_geometry(v, 512, 65536).period) << p[0];
    }
    values many = default_values();
    many.spokes = 50;
    EXPECT_EQ(22, angle_distance(make_geometry(many, 512, 65536), 51472));
    many.spokes = 42;
    EXPECT_EQ(20, angle_distance(make_geometry(many, 512, 65536), 51472));
}

// A 6 x 4 RGB rectangle with a selection, maxSpace 19340 and a measured
// control of 270 x 292: thinned to 3 x 2.
TEST(Reference, PlanOfTheSmallRectangleWithASelection)
{
    run_plan p = plan_run(6, 4, 3, 19340, true, 270, 292);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(2612, p.reserve_bytes);
    EXPECT_EQ(270, p.first.width);
    EXPECT_EQ(180, p.first.height);
    EXPECT_EQ(34, p.selection_row_bytes);
    EXPECT_EQ(6188, p.selection_bitmap_bytes);
    EXPECT_EQ(26, p.budget);
    EXPECT_EQ(2, p.factor);
    EXPECT_EQ(3, p.working_width);
    EXPECT_EQ(2, p.working_height);
    EXPECT_EQ(9, p.working_stride);
    EXPECT_EQ(270, p.preview.width);
    EXPECT_EQ(180, p.preview.height);
    EXPECT_EQ(728, p.preview.preview_scale);
    EXPECT_EQ(1456, p.preview.image_scale);

    run_plan ample = plan_run(6, 4, 3, 64 << 20, false, 270, 292);
    ASSERT_TRUE(ample.ok);
    EXPECT_EQ(1, ample.factor);
    EXPECT_EQ(4, ample.working_height);

    // A working size exactly equal to the budget does not fit.
    const int64_t exact = 4 * 18 + 2612 + 4352;
    EXPECT_EQ(2, plan_run(6, 4, 3, exact, false, 270, 292).factor);
    EXPECT_EQ(1, plan_run(6, 4, 3, exact + 1, false, 270, 292).factor);
    // No factor up to 5 fits: start fails.
    EXPECT_FALSE(plan_run(100, 100, 3, 100, false, 270, 292).ok);

    // Equal scales take the height branch.
    preview_plan square = fit_preview(100, 100, 200, 200, 1);
    EXPECT_EQ(32768, square.preview_scale);
    EXPECT_EQ(200, square.width);
    preview_plan small = fit_preview(12, 12, 600, 700, 1);
    EXPECT_EQ(512, small.width) << "capped at 512";
    EXPECT_LT(small.preview_scale, 65536);
}

// The same rectangle, call by call: 158 selection calls over the four rows,
// 22 map rows never reached, two load calls.
TEST(Reference, ExchangeOfTheSmallRectangle)
{
    run_plan p = plan_run(6, 4, 3, 19340, true, 270, 292);
    std::vector<int32_t> rows = mask_rows_requested(p);
    ASSERT_EQ(158u, rows.size());
    for (size_t n = 0; n < rows.size(); n++) {
        const int32_t expected = n < 23 ? 0 : n < 68 ? 1 : n < 113 ? 2 : 3;
        EXPECT_EQ(expected, rows[n]) << "call " << n + 1;
    }
    EXPECT_EQ((std::vector<int32_t>{0, 2}), rows_loaded(p));

    std::vector<uint8_t> mask(6 * 4, 255);
    bit_map map = selection_map(p, mask);
    for (int32_t y = 0; y < 180; y++) EXPECT_EQ(y < 158, map.at(0, y)) << y;
    // Bit k samples column (0x8000 + k * 1456) >> 16: bit 248 would read
    // column 6, past the rectangle.
    EXPECT_TRUE(map.at(247, 157));
    EXPECT_FALSE(map.at(248, 0));
}

TEST(Reference, CentreConversionsAndSampling)
{
    EXPECT_EQ(5, centre_to_full(3, 0x18000));
    EXPECT_EQ(3, centre_to_preview(5, 0x18000));
    EXPECT_EQ(250, centre_to_full(100, 0x28000));
    EXPECT_EQ(100, centre_to_preview(250, 0x28000));

    const int32_t half[] = {0, 1, 1, 2, 2};
    const int32_t one_and_a_half[] = {0, 2, 3, 5, 6};
    for (int32_t p = 0; p < 5; p++) {
        EXPECT_EQ(half[p], preview_sample(p, 32768, 100));
        EXPECT_EQ(one_and_a_half[p], preview_sample(p, 98304, 100));
    }
    EXPECT_EQ(3, preview_sample(7, 32768, 4)) << "past the image: its last column";
}

TEST(Reference, SelectionSamplingOutlinesAndAnts)
{
    run_plan p;
    p.filter_width = 10;
    p.filter_height = 1;
    p.preview.width = 8;
    p.preview.height = 1;
    p.preview.image_scale = 98304;
    const std::vector<uint8_t> mask = {255, 255, 0, 255, 255, 255, 128, 255, 255, 255};
    bit_map m = selection_map(p, mask);
    EXPECT_EQ((std::vector<uint8_t>{0xb6, 0x00}), m.bytes);

    bit_map full;
    full.width = 8;
    full.height = 3;
    full.row_bytes = 2;
    full.bytes = {0xff, 0, 0xff, 0, 0xff, 0};
    EXPECT_EQ((std::vector<uint8_t>{0xff, 0, 0x01, 0, 0xff, 0}), outline_of(full).bytes);
    bit_map block = full;
    block.height = 5;
    block.bytes = {0, 0, 0x3c, 0, 0x3c, 0, 0x3c, 0, 0, 0};
    EXPECT_EQ((std::vector<uint8_t>{0, 0, 0x3c, 0, 0x24, 0, 0x3c, 0, 0, 0}), outline_of(block).bytes);

    const bool tick1[8] = {1, 1, 1, 1, 0, 0, 0, 1}, tick2[8] = {1, 1, 1, 1, 1, 0, 0, 0},
               tick3[8] = {0, 1, 1, 1, 1, 1, 0, 0};
    for (int32_t x = 0; x < 16; x++) {
        EXPECT_EQ(tick1[x & 7], ant_is_dark(x, 0, 1)) << x;
        EXPECT_EQ(tick2[x & 7], ant_is_dark(x, 0, 2)) << x;
        EXPECT_EQ(tick3[x & 7], ant_is_dark(x, 0, 3)) << x;
        EXPECT_EQ(ant_is_dark(x, 0, 1), ant_is_dark(x, 0, 9)) << "eight ticks bring the pattern round";
    }
}

TEST(Reference, MarkerIsABlackCrossOnAWhitePlate)
{
    const char* picture[8] = {"WWW..WWW", "WBWWWWBW", "WWBWWBWW", ".WWBBWW.",
                              ".WWBBWW.", "WWBWWBWW", "WBWWWWBW", "WWW..WWW"};
    for (int32_t y = 0; y < 8; y++)
        for (int32_t x = 0; x < 8; x++) {
            const int32_t want = picture[y][x] == 'B' ? 2 : picture[y][x] == 'W' ? 1 : 0;
            EXPECT_EQ(want, marker_at(16 + x, 26 + y, 20, 30)) << x << "," << y;
        }
    EXPECT_EQ(0, marker_at(24, 30, 20, 30));
    EXPECT_EQ(0, marker_at(15, 30, 20, 30));
}
