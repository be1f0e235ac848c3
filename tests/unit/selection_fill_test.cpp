// Filling the selection map from mask rows.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "state/run_state.h"
#include "preview/selection.h"

namespace {

struct map_fixture {
    std::vector<uint8_t> rows;
    map_fixture(int32_t row_bytes, int32_t body_rows)
    {
        run_state = run_state_t();
        rows.assign((size_t)row_bytes * (body_rows + 1), 0xEE);  // one sentinel row after the body
        run_state.selection_row_bytes = row_bytes;
        run_state.selection_rows = body_rows;
        run_state.selection_rows_ptr = rows.data();
    }
};

}  // namespace

TEST(FillSelectionRow, SamplesColumnsByTheImageScale)
{
    map_fixture map(2, 3);
    run_state.filter_width = 10;
    run_state.image_scale = 98304;  // 1.5
    run_state.mask_rows_done = 1;
    const uint8_t mask[10] = {255, 255, 0, 255, 255, 255, 128, 255, 255, 255};
    fill_selection_row(mask);
    EXPECT_EQ(0xb6, map.rows[2]);
    EXPECT_EQ(0x00, map.rows[3]);
    EXPECT_EQ(0xEE, map.rows[0]);  // other rows untouched
    EXPECT_EQ(0xEE, map.rows[4]);
}

TEST(FillSelectionRow, PartlySelectedPixelsStayClear)
{
    map_fixture map(2, 1);
    run_state.filter_width = 16;
    run_state.image_scale = 65536;
    run_state.mask_rows_done = 0;
    uint8_t mask[16];
    memset(mask, 254, sizeof mask);
    mask[0] = 255;
    mask[15] = 255;
    fill_selection_row(mask);
    EXPECT_EQ(0x80, map.rows[0]);
    EXPECT_EQ(0x01, map.rows[1]);
}

TEST(FillSelectionRow, NeverWritesPastTheMapItWasSizedFor)
{
    map_fixture map(2, 2);
    std::vector<uint8_t> mask(200, 255);
    run_state.filter_width = 200;
    run_state.image_scale = 65536;  // 200 samples, but a row holds 16 bits
    run_state.mask_rows_done = 1;
    fill_selection_row(mask.data());
    EXPECT_EQ(0xff, map.rows[2]);
    EXPECT_EQ(0xff, map.rows[3]);
    EXPECT_EQ(0xEE, map.rows[4]);  // the sentinel row after the body

    run_state.mask_rows_done = 2;  // a row the final plan has but the map does not
    fill_selection_row(mask.data());
    EXPECT_EQ(0xEE, map.rows[4]);
    EXPECT_EQ(0xEE, map.rows[5]);
}
