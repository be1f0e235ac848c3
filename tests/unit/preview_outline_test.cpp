// The selection outline and its marching ants, the spoke outline and centre
// line paths, and where a drag puts the centre.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "state/run_state.h"
#include "preview/outline.h"
#include "reference.h"

namespace {

const uint8_t sentinel = 0xEE;
typedef std::vector<uint8_t> bytes;

// The selection buffers as start allocates them, each with a sentinel tail:
// the map with its two guard rows, the copy and the erosion rows.
struct selection_fixture {
    int32_t b, h;
    bytes map, copy, erosion;

    selection_fixture(int16_t width, int16_t height, const bytes& body, int32_t allocated_rows = -1)
    {
        run_state = run_state_t();
        run_state.preview_width = width;
        run_state.preview_height = height;
        b = 2 * ((width + 15) >> 4);
        h = allocated_rows < 0 ? height : allocated_rows;
        run_state.selection_row_bytes = b;
        run_state.selection_rows = h;
        map.assign((size_t)b * (h + 2) + 8, sentinel);  // guard rows start as rubbish too
        copy.assign((size_t)b * h + 8, sentinel);
        erosion.assign((size_t)b * (h + 1) + 8, sentinel);
        memcpy(map.data() + b, body.data(), body.size() < (size_t)b * h ? body.size() : (size_t)b * h);
        run_state.selection_guard_ptr = map.data();
        run_state.selection_rows_ptr = map.data() + b;
        run_state.selection_copy_ptr = copy.data();
        run_state.erosion_ptr = erosion.data();
    }

    bytes body() const { return bytes(map.begin() + b, map.begin() + b * (h + 1)); }
    void expect_tails() const
    {
        for (int k = 0; k < 8; k++) {
            EXPECT_EQ(sentinel, map[map.size() - 1 - k]);
            EXPECT_EQ(sentinel, copy[copy.size() - 1 - k]);
            EXPECT_EQ(sentinel, erosion[erosion.size() - 1 - k]);
        }
    }
};

void set_values(int16_t spokes, int16_t angle, int16_t thickness, int16_t radius, int16_t length, int16_t extent)
{
    run_state = run_state_t();
    run_state.spokes = spokes;
    run_state.angle = angle;
    run_state.thickness = thickness;
    run_state.radius = radius;
    run_state.length = length;
    run_state.intensity = 50;
    run_state.preview_extent = extent;
}

struct step {
    int draw, x, y;
    bool operator==(const step& o) const { return draw == o.draw && x == o.x && y == o.y; }
};
std::ostream& operator<<(std::ostream& os, const step& s)
{
    return os << (s.draw ? "line " : "move ") << s.x << "," << s.y;
}

std::vector<step> outline_path(int16_t cx, int16_t cy)
{
    pen_step steps[max_outline_steps];
    int32_t n = spoke_outline_path(cx, cy, steps);
    std::vector<step> out;
    for (int32_t i = 0; i < n; i++) out.push_back({steps[i].draw, steps[i].x, steps[i].y});
    return out;
}

std::vector<step> first(const std::vector<step>& v, size_t from, size_t count)
{
    return std::vector<step>(v.begin() + from, v.begin() + from + count);
}

}  // namespace

TEST(SelectionOutline, FullSelectionLeavesTheLeftEdgeOut)
{
    selection_fixture f(8, 3, {0xff, 0x00, 0xff, 0x00, 0xff, 0x00});
    make_selection_outline();
    EXPECT_EQ((bytes{0xff, 0x00, 0x01, 0x00, 0xff, 0x00}), f.body());
    EXPECT_EQ((bytes{0xff, 0x00, 0xff, 0x00, 0xff, 0x00}), bytes(f.copy.begin(), f.copy.begin() + 6))
        << "the copy keeps the selection itself";
    EXPECT_EQ((bytes{0, 0}), bytes(f.map.begin(), f.map.begin() + 2)) << "top guard row cleared";
    EXPECT_EQ((bytes{0, 0}), bytes(f.map.begin() + 8, f.map.begin() + 10)) << "bottom guard row cleared";
    f.expect_tails();
}

TEST(SelectionOutline, BlockInsideGivesItsBorderWithCornersAndThinShapesStayWhole)
{
    selection_fixture f(8, 5, {0x00, 0, 0x3c, 0, 0x3c, 0, 0x3c, 0, 0x00, 0});
    make_selection_outline();
    EXPECT_EQ((bytes{0x00, 0, 0x3c, 0, 0x24, 0, 0x3c, 0, 0x00, 0}), f.body());

    selection_fixture g(16, 3, {0, 0, 0x01, 0x80, 0, 0});  // a line across a byte boundary
    make_selection_outline();
    EXPECT_EQ((bytes{0, 0, 0x01, 0x80, 0, 0}), g.body());

    selection_fixture one(8, 3, {0, 0, 0x10, 0, 0, 0});
    make_selection_outline();
    EXPECT_EQ((bytes{0, 0, 0x10, 0, 0, 0}), one.body());
}

TEST(SelectionOutline, WideMapErodesAcrossBytesAndWords)
{
    // 20 columns (two words per row), everything selected over 4 rows: the
    // middle rows keep only the rightmost selected column, 19.
    const uint8_t full_row[4] = {0xff, 0xff, 0xf0, 0x00};
    bytes body(16);
    for (int k = 0; k < 16; k++) body[k] = full_row[k & 3];
    selection_fixture f(20, 4, body);
    make_selection_outline();
    bytes expected = {0xff, 0xff, 0xf0, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x10, 0x00, 0xff, 0xff, 0xf0, 0x00};
    EXPECT_EQ(expected, f.body());
    f.expect_tails();
}

TEST(SelectionOutline, StaysInsideBuffersSmallerThanThePreview)
{
    // The preview claims 6 rows but the buffers hold 3: only 3 are touched.
    selection_fixture f(8, 6, {0xff, 0, 0xff, 0, 0xff, 0}, 3);
    make_selection_outline();
    EXPECT_EQ((bytes{0xff, 0, 0x01, 0, 0xff, 0}), f.body());
    f.expect_tails();
    EXPECT_EQ(3, outline_rows());
    run_state.erosion_ptr = nullptr;  // a buffer that could not be locked: nothing happens
    make_selection_outline();
    mask_ants_rows();
    ants_run runs[max_ants_runs];
    EXPECT_EQ(0, find_ants_runs(runs));
}

TEST(MarchingAnts, PatternMovesOneStepPerTick)
{
    // A horizontal outline in row 0 and row 1, 16 columns.  The screen starts
    // white under the outline; each tick inverts the masked pixels.
    selection_fixture f(16, 2, {0xff, 0xff, 0xff, 0xff});
    bytes dark(4, 0);
    const uint8_t row0[3] = {0xf1, 0xf8, 0x7c};
    const uint8_t row1[3] = {0xe3, 0xf1, 0xf8};
    prime_ants();
    for (int tick = 0; tick < 3; tick++) {
        mask_ants_rows();
        for (int k = 0; k < 4; k++) dark[k] ^= f.erosion[k];
        advance_ants();
        EXPECT_EQ(row0[tick], dark[0]) << "tick " << tick + 1;
        EXPECT_EQ(row0[tick], dark[1]);
        EXPECT_EQ(row1[tick], dark[2]);
    }
    // Offsets after priming run 0, 8, 15, 14 ... and come back after 8 ticks.
    prime_ants();
    const int16_t offsets[10] = {8, 15, 14, 13, 12, 11, 10, 9, 8, 15};
    for (int16_t o : offsets) {
        advance_ants();
        EXPECT_EQ(o, run_state.ants_offset);
    }
    // Each step byte turns one stripe row into the next.
    for (int k = 0; k < 8; k++) EXPECT_EQ(ants_patterns[(k + 7) & 7] ^ ants_patterns[k], ants_patterns[8 + k]);
}

TEST(MarchingAnts, StripesAsShownMatchTheTicksSoFar)
{
    // An outline of 9 rows (so rows 0 and 8 share a stripe), 24 columns.
    bytes body(4 * 9, 0);
    for (int y = 0; y < 9; y++) body[y * 4] = body[y * 4 + 1] = body[y * 4 + 2] = 0xff;
    body[4 * 4 + 1] = 0x5a;  // a row with gaps
    selection_fixture f(24, 9, body);
    bytes shown(body.size(), 0);  // the dark pixels the ticks have left on screen
    prime_ants();
    for (int tick = 1; tick <= 11; tick++) {
        mask_ants_rows();
        for (size_t k = 0; k < shown.size(); k++) shown[k] ^= f.erosion[k];
        advance_ants();
        mask_ants_as_shown();
        for (int y = 0; y < 9; y++)
            for (int x = 0; x < 24; x++) {
                const bool outline = (body[y * 4 + (x >> 3)] & (0x80 >> (x & 7))) != 0;
                const bool dark = (f.erosion[y * 4 + (x >> 3)] & (0x80 >> (x & 7))) != 0;
                ASSERT_EQ(outline && reference::ant_is_dark(x, y, tick), dark) << x << "," << y << " tick " << tick;
            }
        EXPECT_EQ(shown, bytes(f.erosion.begin(), f.erosion.begin() + (long)shown.size())) << "tick " << tick;
    }
    f.expect_tails();
}

TEST(MarchingAnts, OnlyCellsWithOutlineAreBlittedInBandsOf32)
{
    // 100 x 40: outline pixels at (5, 0), (40, 0), (99, 35); none in cell 64.
    const int16_t w = 100, h = 40;
    const int b = 2 * ((w + 15) >> 4);
    bytes body((size_t)b * h, 0);
    body[0 * b + 0] = 0x04;        // column 5
    body[0 * b + 5] = 0x80;        // column 40
    body[35 * b + 12] = 0x10;      // column 99
    body[35 * b + 12] |= 0x08;     // column 100: padding, never shown
    selection_fixture f(w, h, body);
    prime_ants();
    memcpy(f.erosion.data(), body.data(), body.size());  // as if masked with an all-set pattern
    ants_run runs[max_ants_runs];
    int32_t n = find_ants_runs(runs);
    ASSERT_EQ(2, n);
    EXPECT_EQ(0, runs[0].x);
    EXPECT_EQ(0, runs[0].y);
    EXPECT_EQ(64, runs[0].width) << "cells 0 and 32 merge; the run ends at the empty cell";
    EXPECT_EQ(32, runs[0].height);
    EXPECT_EQ(96, runs[1].x);
    EXPECT_EQ(32, runs[1].y);
    EXPECT_EQ(4, runs[1].width) << "the edge cell stops at column W - 1";
    EXPECT_EQ(8, runs[1].height) << "40 rows: bands of 32 and 8";

    // Only the padding bit set: nothing to blit.
    memset(f.erosion.data(), 0, body.size());
    f.erosion[35 * b + 12] = 0x08;
    EXPECT_EQ(0, find_ants_runs(runs));
}

TEST(SpokeOutline, ThinSpokesAreQuadrilaterals)
{
    set_values(8, 0, 20, 50, 50, 256);
    auto p = outline_path(100, 100);
    ASSERT_EQ(8u * 6, p.size());
    EXPECT_EQ((std::vector<step>{{0, 149, 100}, {0, 149, 96}, {1, 199, 96}, {1, 199, 103}, {1, 149, 103}, {1, 149, 96}}),
              first(p, 0, 6));
    EXPECT_EQ((std::vector<step>{{0, 135, 135}, {0, 137, 132}, {1, 173, 168}, {1, 168, 173}, {1, 132, 137}, {1, 137, 132}}),
              first(p, 6, 6));
}

TEST(SpokeOutline, ThickSpokesPassThroughTheCentreLineEnds)
{
    set_values(8, 0, 60, 50, 50, 256);
    auto p = outline_path(100, 100);
    ASSERT_EQ(8u * 7, p.size());
    EXPECT_EQ((std::vector<step>{{0, 149, 100}, {1, 148, 89}, {1, 199, 89}, {1, 199, 100}, {1, 199, 110}, {1, 148, 110},
                                 {1, 149, 100}}),
              first(p, 0, 7));
}

TEST(SpokeOutline, HairlineSpokesAndOpenInnerEnds)
{
    set_values(8, 0, 5, 50, 50, 256);
    auto p = outline_path(100, 100);
    ASSERT_EQ(16u, p.size());
    EXPECT_EQ((std::vector<step>{{0, 149, 100}, {1, 199, 100}}), first(p, 0, 2));

    set_values(12, 0, 40, 0, 50, 256);
    p = outline_path(100, 100);
    ASSERT_EQ(12u * 5, p.size()) << "open: the inner side is left out";
    EXPECT_EQ((std::vector<step>{{0, 127, 100}, {0, 127, 92}, {1, 149, 92}, {1, 149, 106}, {1, 127, 106}}), first(p, 0, 5));
}

TEST(SpokeOutline, DrawsExactlyOneOutlinePerSpokeAtAnyAngle)
{
    for (int16_t spokes = 1; spokes <= 50; spokes++) {
        for (int16_t angle : {0, 1, 45, 179, 359, 360}) {
            set_values(spokes, angle, 5, 50, 50, 256);
            pen_step steps[max_outline_steps];
            ASSERT_EQ(2 * spokes, spoke_outline_path(100, 100, steps)) << spokes << " at " << angle;
            pen_step lines[max_centre_line_steps];
            ASSERT_EQ(2 * spokes, centre_line_path(50, 50, lines)) << spokes << " at " << angle;
        }
    }
    // With angle 0 the first spoke points right; with angle 90, up.
    set_values(4, 90, 5, 50, 50, 256);
    auto p = outline_path(100, 100);
    EXPECT_EQ((step{1, 100, 0}), p[1]);
}

TEST(SpokeOutline, NothingForInvalidValuesAndNoDivisionByZeroForTinyPreviews)
{
    pen_step steps[max_outline_steps];
    // An invalid entry, or a value beyond what the dialog accepts that a host
    // handed back in the record (a thickness this large once overflowed).
    const int16_t beyond[5] = {51, 361, 101, 101, 101};
    for (int which = 0; which < 5; which++) {
        for (int16_t bad : {(int16_t)-1, beyond[which], (int16_t)32767}) {
            set_values(8, 0, 20, 50, 50, 256);
            int16_t* fields[5] = {&run_state.spokes, &run_state.angle, &run_state.thickness, &run_state.radius,
                                  &run_state.length};
            *fields[which] = bad;
            EXPECT_EQ(0, spoke_outline_path(100, 100, steps)) << which << " " << bad;
            EXPECT_EQ(0, centre_line_path(50, 50, steps)) << which << " " << bad;
        }
    }
    set_values(8, 0, 20, 50, 50, 256);
    run_state.intensity = -1;  // intensity plays no part in the outlines
    EXPECT_GT(spoke_outline_path(100, 100, steps), 0);

    // Radius and length both map to 0 pixels: r_in and r_out are 0.
    set_values(3, 0, 50, 0, 2, 1);
    EXPECT_EQ(3 * 7, spoke_outline_path(0, 0, steps));
    set_values(3, 0, 20, 0, 2, 1);
    EXPECT_EQ(3 * 6, spoke_outline_path(0, 0, steps));
}

TEST(SpokeOutline, SmallViewCentreLinesAtHalfScale)
{
    set_values(8, 0, 20, 50, 50, 256);
    pen_step lines[max_centre_line_steps];
    ASSERT_EQ(16, centre_line_path(50, 50, lines));
    EXPECT_EQ((step{0, 74, 50}), (step{lines[0].draw, lines[0].x, lines[0].y}));
    EXPECT_EQ((step{1, 99, 50}), (step{lines[1].draw, lines[1].x, lines[1].y}));
}

TEST(CentreDrag, ClampsDoublesAndChoosesWhatToRedraw)
{
    run_state = run_state_t();
    run_state.preview_width = 200;
    run_state.preview_height = 150;
    run_state.preview_centre_x = 10;
    run_state.preview_centre_y = 10;
    int16_t x = 0, y = 0;
    EXPECT_EQ(overlays::none, plan_centre_move(10, 10, 0, &x, &y));
    EXPECT_EQ(overlays::big_view, plan_centre_move(11, 10, 0, &x, &y)) << "same half-size position: big view only";
    EXPECT_EQ(overlays::both_views, plan_centre_move(12, 10, 0, &x, &y));
    EXPECT_EQ(12, x);
    EXPECT_EQ(overlays::both_views, plan_centre_move(500, -20, 0, &x, &y));
    EXPECT_EQ(199, x) << "pinned at the last column";
    EXPECT_EQ(0, y);
    EXPECT_EQ(overlays::both_views, plan_centre_move(30, 40, 1, &x, &y));
    EXPECT_EQ(60, x) << "small view positions are doubled";
    EXPECT_EQ(80, y);
    EXPECT_EQ(overlays::both_views, plan_centre_move(100, 100, 1, &x, &y));
    EXPECT_EQ(149, y);
    run_state.preview_width = 0;
    EXPECT_EQ(overlays::none, plan_centre_move(5, 5, 0, &x, &y));
}
