// The engine and the planning arithmetic agree with the plain reference
// (tests/reference) across many values, inside the dialog's ranges and far
// outside them, as stored records may hold.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "effect/spoke.h"
#include "host/plan.h"
#include "host/prepare.h"
#include "reference.h"
#include "state/run_state.h"

namespace {

int16_t any_int16(std::mt19937& rng)
{
    return (int16_t)std::uniform_int_distribution<int>(-32768, 32767)(rng);
}

// In range most of the time, anything at all now and then.
int16_t value_in(std::mt19937& rng, int lo, int hi)
{
    if (std::uniform_int_distribution<int>(0, 9)(rng) == 0) return any_int16(rng);
    return (int16_t)std::uniform_int_distribution<int>(lo, hi)(rng);
}

}  // namespace

TEST(ReferenceAgreement, GeometryAndShadingOfEveryPixelSize)
{
    std::mt19937 rng(20240611);
    const int32_t scales[] = {65536, 32768, 98304, 131072, 163840, 728, 1456, 2912, 5 << 16, 0x7FFFFF};
    int painted = 0;
    for (int round = 0; round < 300; round++) {
        const reference::values v = {value_in(rng, 1, 50),  value_in(rng, 0, 360), value_in(rng, 5, 100),
                                     value_in(rng, 0, 100), value_in(rng, 0, 100), value_in(rng, 2, 100)};
        const int16_t extent = (int16_t)std::uniform_int_distribution<int>(1, 512)(rng);
        const int32_t scale = scales[round % 10];
        SCOPED_TRACE(testing::Message() << "values " << v.spokes << " " << v.angle << " " << v.thickness << " "
                                        << v.intensity << " " << v.radius << " " << v.length << ", extent "
                                        << extent << ", scale " << scale);
        const reference::geometry want = reference::make_geometry(v, extent, scale);
        const spoke_geometry got = setup_spoke_geometry(
            {v.spokes, v.angle, v.thickness, v.intensity, v.radius, v.length}, extent, scale);
        ASSERT_EQ(want.inner_sq, got.inner_sq);
        ASSERT_EQ(want.outer_sq, got.outer_sq);
        ASSERT_EQ(want.mid_sq, got.mid_sq);
        ASSERT_EQ(want.period, got.spoke_period);
        ASSERT_EQ(want.half_period, got.half_period);
        ASSERT_EQ(want.weight, got.intensity_weight);
        ASSERT_EQ(want.angle_offset, got.angle_offset);
        ASSERT_EQ(want.thick_sq, got.thick_sq);
        ASSERT_EQ(want.core_sq, got.core_sq);

        // A row of pixels through and around the ring, in every pixel size.
        const int16_t cx = value_in(rng, 0, 600), cy = value_in(rng, 0, 600);
        const int64_t radius = want.ro < 0 ? -want.ro : want.ro;
        const int32_t reach = (int32_t)(radius < 2000 ? radius : 2000) + 3;
        const int32_t row = cy + std::uniform_int_distribution<int>(-reach, reach)(rng);
        const int32_t x0 = cx - reach, x1 = cx + reach;
        for (int32_t bpp : {1, 3, 4}) {
            std::vector<uint8_t> src((size_t)(x1 - x0) * bpp);
            for (uint8_t& b : src) b = (uint8_t)rng();
            std::vector<uint8_t> span(src.size());
            spoke_shader shader;
            ASSERT_TRUE(layout_for_bytes(bpp, &shader.layout));
            shader.geometry = got;
            shader.centre_x = cx;
            shader.centre_y = cy;
            shade_span(shader, row, x0, x1, src.data(), span.data());
            // The single-pixel routine sees the row from x0 on: the same
            // offsets from a centre moved by x0.
            spoke_shader moved = shader;
            moved.centre_x = (int16_t)(cx - x0);
            for (int32_t x = x0; x < x1; x++) {
                const size_t at = (size_t)(x - x0) * bpp;
                uint8_t want_px[4], got_px[4];
                reference::shade(want, cx, cy, x, row, &src[at], bpp, want_px);
                shade_pixel(moved, (int16_t)(x - x0), (int16_t)row, src.data(), got_px);
                ASSERT_EQ(0, memcmp(want_px, got_px, bpp)) << "pixel " << x << "," << row << ", " << bpp << " bytes";
                ASSERT_EQ(0, memcmp(want_px, &span[at], bpp)) << "span pixel " << x << "," << row;
                painted += memcmp(want_px, &src[at], bpp) != 0;
            }
        }
    }
    EXPECT_GT(painted, 1000) << "the rounds must reach spokes, not only copies";
}

TEST(ReferenceAgreement, PlanningOfManyRectanglesAndBudgets)
{
    std::mt19937 rng(7);
    int thinned = 0;
    for (int round = 0; round < 2000; round++) {
        const int16_t width = (int16_t)std::uniform_int_distribution<int>(1, 3000)(rng);
        const int16_t height = (int16_t)std::uniform_int_distribution<int>(1, 3000)(rng);
        const int16_t modes[] = {plugInModeGrayScale, plugInModeRGBColor, plugInModeCMYKColor};
        const int16_t mode = modes[round % 3];
        const bool mask = round % 2 == 1;
        const int16_t mw = (int16_t)std::uniform_int_distribution<int>(50, 600)(rng);
        const int16_t mh = (int16_t)std::uniform_int_distribution<int>(50, 600)(rng);
        const int64_t bytes = (int64_t)width * height * reference::bytes_per_pixel_for_mode(mode);
        const int32_t max_space = (int32_t)std::uniform_int_distribution<int64_t>(0, bytes + 400000)(rng);
        SCOPED_TRACE(testing::Message() << width << " x " << height << " mode " << mode << " mask " << mask
                                        << " space " << max_space << " area " << mw << " x " << mh);

        run_state = run_state_t();
        run_state.bytes_per_pixel = bytes_per_pixel_for_mode(mode);
        prepare_sizes(Rect16{0, 0, height, width});
        reset_subsample();
        int64_t budget = (int64_t)max_space - reserve_block_bytes() - budget_margin();
        if (mask) {
            plan_preview(mw, mh);
            budget -= run_state.filter_width + 2 * selection_layout_for(run_state.preview_width,
                                                                        run_state.preview_height).erosion_bytes;
        }
        const bool ok = choose_subsample(&budget) && working_size_usable();
        const reference::run_plan want = reference::plan_run(width, height, mode, max_space, mask, mw, mh);
        ASSERT_EQ(want.ok, ok);
        if (!ok) continue;
        plan_preview(mw, mh);
        EXPECT_EQ(want.factor, run_state.subsample);
        EXPECT_EQ(want.working_width, run_state.working_width);
        EXPECT_EQ(want.working_height, run_state.working_height);
        EXPECT_EQ(want.preview.width, run_state.preview_width);
        EXPECT_EQ(want.preview.height, run_state.preview_height);
        EXPECT_EQ(want.preview.preview_scale, run_state.preview_scale);
        EXPECT_EQ(want.preview.image_scale, run_state.image_scale);
        EXPECT_EQ(want.preview.extent, run_state.preview_extent);
        thinned += want.factor > 1;
    }
    EXPECT_GT(thinned, 200);
}
