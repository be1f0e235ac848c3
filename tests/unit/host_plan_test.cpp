// Run planning arithmetic: budget, subsample factor and preview fit.
#include <gtest/gtest.h>

#include <climits>

#include "host/plan.h"
#include "host/prepare.h"
#include "state/run_state.h"

namespace {

void prepare_image(int16_t image_mode, Rect16 filter)
{
    run_state = run_state_t();
    run_state.bytes_per_pixel = bytes_per_pixel_for_mode(image_mode);
    prepare_sizes(filter);
    reset_subsample();
}

}  // namespace

TEST(Prepare, BytesPerPixelForEveryMode)
{
    const int16_t expected[16] = {3, 1, 3, 3, 4, 3, 3, 1, 1, 3, 3, 3, 3, 3, 3, 3};
    for (int16_t mode = 0; mode < 16; mode++) EXPECT_EQ(expected[mode], bytes_per_pixel_for_mode(mode)) << mode;
    EXPECT_EQ(3, bytes_per_pixel_for_mode(-1));
}

TEST(Plan, SmallImageWithSelectionThinsToFactorTwo)
{
    prepare_image(plugInModeRGBColor, Rect16{10, 20, 14, 26});  // 6 x 4
    EXPECT_EQ(18, run_state.row_bytes);
    EXPECT_EQ(2612, reserve_block_bytes());
    int64_t budget = 19340 - reserve_block_bytes() - budget_margin();

    plan_preview(270, 292);
    EXPECT_EQ(270, run_state.preview_width);
    EXPECT_EQ(180, run_state.preview_height);
    selection_layout s = selection_layout_for(run_state.preview_width, run_state.preview_height);
    EXPECT_EQ(34, s.row_bytes);
    EXPECT_EQ(6120, s.copy_bytes);
    EXPECT_EQ(6154, s.erosion_bytes);
    EXPECT_EQ(6188, s.bitmap_bytes);
    budget -= run_state.filter_width + 2 * s.erosion_bytes;
    EXPECT_EQ(62, budget);

    ASSERT_TRUE(choose_subsample(&budget));
    EXPECT_EQ(26, budget);
    EXPECT_EQ(2, run_state.subsample);
    EXPECT_EQ(3, run_state.working_width);
    EXPECT_EQ(2, run_state.working_height);
    EXPECT_EQ(9, run_state.working_stride);
    EXPECT_EQ(18, working_copy_bytes());

    plan_preview(270, 292);
    EXPECT_EQ(270, run_state.preview_width);
    EXPECT_EQ(180, run_state.preview_height);
    EXPECT_EQ(728, run_state.preview_scale);
    EXPECT_EQ(1456, run_state.image_scale);
    EXPECT_EQ(270, run_state.preview_extent);
}

TEST(Plan, AmpleMemoryKeepsTheHostBuffer)
{
    prepare_image(plugInModeRGBColor, Rect16{10, 20, 14, 26});
    int64_t budget = 1 << 20;
    ASSERT_TRUE(choose_subsample(&budget));
    EXPECT_EQ(1, run_state.subsample);
    EXPECT_EQ(1 << 20, budget);  // untouched when nothing is thinned
}

TEST(Plan, WorkingSizeEqualToTheBudgetDoesNotFit)
{
    prepare_image(plugInModeRGBColor, Rect16{0, 0, 4, 6});
    int64_t budget = 72;  // exactly 4 rows of 18 bytes
    ASSERT_TRUE(choose_subsample(&budget));
    EXPECT_EQ(2, run_state.subsample);
    EXPECT_EQ(36, budget);
}

TEST(Plan, FactorSixIsRefused)
{
    prepare_image(plugInModeRGBColor, Rect16{0, 0, 100, 100});
    int64_t budget = 100;  // 20 x 20 x 3 at f = 5 is still too big
    EXPECT_FALSE(choose_subsample(&budget));
    prepare_image(plugInModeRGBColor, Rect16{0, 0, 100, 100});
    budget = -5;  // a host offering no memory at all
    EXPECT_FALSE(choose_subsample(&budget));
}

TEST(Plan, ThinningANarrowRectangleLeavesNoWorkingImage)
{
    prepare_image(plugInModeGrayScale, Rect16{0, 0, 1000, 3});  // 3 columns
    int64_t budget = 300;  // f = 3 still needs 333 bytes
    ASSERT_TRUE(choose_subsample(&budget));
    EXPECT_EQ(4, run_state.subsample);
    EXPECT_EQ(0, run_state.working_width);
    EXPECT_FALSE(working_size_usable());
}

TEST(Plan, LargestRectangleInCmykPlansWithoutOverflow)
{
    prepare_image(plugInModeCMYKColor, Rect16{0, 0, 32767, 32767});
    EXPECT_EQ(131068, run_state.row_bytes);
    EXPECT_EQ(131069LL * 32 + 32767 + 2000, reserve_block_bytes());
    int64_t budget = (int64_t)INT32_MAX - reserve_block_bytes() - budget_margin();
    ASSERT_TRUE(choose_subsample(&budget));
    EXPECT_EQ(2, run_state.subsample);
    EXPECT_EQ(65532, run_state.working_stride);
    EXPECT_EQ(16383LL * 65532, working_copy_bytes());

    prepare_image(plugInModeCMYKColor, Rect16{0, 0, 32767, 32767});
    budget = (1LL << 30) - reserve_block_bytes() - budget_margin();  // a 1 GiB host
    ASSERT_TRUE(choose_subsample(&budget));
    EXPECT_EQ(3, run_state.subsample);

    plan_preview(512, 512);
    EXPECT_EQ(512, run_state.preview_width);
    EXPECT_EQ(512, run_state.preview_height);
    EXPECT_EQ(3 * run_state.preview_scale, run_state.image_scale);
    EXPECT_GT(run_state.image_scale, 0);
}

TEST(PreviewFit, EqualScalesTakeTheHeightBranch)
{
    prepare_image(plugInModeRGBColor, Rect16{0, 0, 300, 300});
    plan_preview(150, 150);
    EXPECT_EQ(131072, run_state.preview_scale);
    EXPECT_EQ(150, run_state.preview_width);
    EXPECT_EQ(150, run_state.preview_height);
}

TEST(PreviewFit, SmallImageIsEnlargedAndCappedAt512)
{
    prepare_image(plugInModeRGBColor, Rect16{0, 0, 40, 30});  // 30 wide, 40 high
    plan_preview(600, 700);
    EXPECT_EQ(512, run_state.preview_height);
    EXPECT_EQ(384, run_state.preview_width);
    EXPECT_LT(run_state.preview_scale, 65536);
    EXPECT_EQ(512, run_state.preview_extent);
}

TEST(PreviewFit, ExtremeAspectKeepsAtLeastOnePixel)
{
    prepare_image(plugInModeRGBColor, Rect16{0, 0, 1, 32767});
    plan_preview(512, 512);
    EXPECT_EQ(512, run_state.preview_width);
    EXPECT_EQ(1, run_state.preview_height);
}

TEST(PreviewFit, NothingToFitLeavesNoScale)
{
    prepare_image(plugInModeRGBColor, Rect16{0, 0, 0, 10});
    plan_preview(512, 512);
    EXPECT_EQ(0, run_state.preview_scale);
    EXPECT_FALSE(working_size_usable());
}
