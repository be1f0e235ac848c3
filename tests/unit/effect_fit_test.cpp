// Fitting the preview into the dialog's area: the sizes and scales the spoke
// geometry is proportioned by.
#include <gtest/gtest.h>

#include <array>

#include "effect/preview_fit.h"

TEST(EffectFit, SmallWorkingImageThinnedByTwo) {
    // A 6 x 4 image thinned by 2 (3 x 2) in a 270 x 292 area: the width
    // binds, the preview is 270 x 180.
    preview_fit fit;
    ASSERT_TRUE(fit_preview(3, 2, 270, 292, 2, &fit));
    EXPECT_EQ(fit.width, 270);
    EXPECT_EQ(fit.height, 180);
    EXPECT_EQ(fit.preview_scale, 728);
    EXPECT_EQ(fit.image_scale, 1456);
    EXPECT_EQ(fit.extent, 270);
}

TEST(EffectFit, EqualScalesTakeTheHeightBranch) {
    // sx == sy: the height binds and the width is recomputed, 1000 * 400 / 1000.
    preview_fit fit;
    ASSERT_TRUE(fit_preview(1000, 1000, 400, 400, 1, &fit));
    EXPECT_EQ(fit.preview_scale, (1000 << 16) / 400);
    EXPECT_EQ(fit.width, 400);
    EXPECT_EQ(fit.height, 400);
    // 4000 x 3000 in a wide area: (4000 << 16) / 512 binds, height 3000 * 512 / 4000.
    ASSERT_TRUE(fit_preview(4000, 3000, 700, 700, 1, &fit));
    EXPECT_EQ(fit.preview_scale, 512000);
    EXPECT_EQ(fit.width, 512);
    EXPECT_EQ(fit.height, 384);
    EXPECT_EQ(fit.extent, 512);
}

TEST(EffectFit, SmallImagesAreEnlargedUpTo512) {
    preview_fit fit;
    ASSERT_TRUE(fit_preview(12, 12, 600, 550, 1, &fit));
    EXPECT_EQ(fit.width, 512);
    EXPECT_EQ(fit.height, 512);
    EXPECT_EQ(fit.preview_scale, (12 << 16) / 512);
    EXPECT_LT(fit.preview_scale, 65536);
}

TEST(EffectFit, ThinImagesKeepOnePixelAndNothingToFitIsRefused) {
    preview_fit fit;
    ASSERT_TRUE(fit_preview(32767, 1, 300, 300, 1, &fit));
    EXPECT_EQ(fit.width, 300);
    EXPECT_EQ(fit.height, 1);
    for (auto sizes : {std::array<int, 4>{0, 5, 10, 10}, {5, 0, 10, 10}, {5, 5, 0, 10}, {5, 5, 10, -1}}) {
        EXPECT_FALSE(fit_preview(sizes[0], sizes[1], sizes[2], sizes[3], 1, &fit));
        EXPECT_EQ(fit.width, 0);
        EXPECT_EQ(fit.preview_scale, 0);
        EXPECT_EQ(fit.extent, 0);
    }
}
