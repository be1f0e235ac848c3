// Loading a thinned working image: every f-th pixel of the delivered host
// row, from column 0, into the working row being loaded.
#include <gtest/gtest.h>

#include <vector>

#include "host/load.h"
#include "state/run_state.h"

TEST(LoadWorkingRow, TakesEveryFthPixelIntoItsRow)
{
    const uint8_t sentinel = 0xEE;
    for (int16_t bpp : {1, 3, 4})
        for (int16_t f = 2; f <= 5; f++) {
            SCOPED_TRACE(testing::Message() << bpp << " bytes per pixel, factor " << f);
            const int32_t filter_width = 23;  // not a multiple of any factor
            run_state = run_state_t();
            run_state.bytes_per_pixel = bpp;
            run_state.subsample = f;
            run_state.working_width = (int16_t)(filter_width / f);
            run_state.working_height = 4;
            run_state.working_stride = run_state.working_width * bpp;
            run_state.pixel_skip = bpp * f - bpp;
            // The host's row: pixel x, byte p is x * 10 + p + 1, ending
            // exactly where the rectangle ends.
            std::vector<uint8_t> host_row((size_t)filter_width * bpp);
            for (int32_t x = 0; x < filter_width; x++)
                for (int32_t p = 0; p < bpp; p++) host_row[(size_t)x * bpp + p] = (uint8_t)(x * 10 + p + 1);
            std::vector<uint8_t> working((size_t)run_state.working_stride * 4 + 8, sentinel);
            run_state.src_row = host_row.data();
            run_state.src_base = working.data();
            run_state.rows_loaded = 2;
            load_working_row();
            for (size_t k = 0; k < working.size(); k++) {
                const int32_t row = (int32_t)(k / run_state.working_stride);
                if (row != 2) {
                    ASSERT_EQ(sentinel, working[k]) << "byte " << k << " outside working row 2";
                    continue;
                }
                const int32_t offset = (int32_t)(k % run_state.working_stride);
                const int32_t x = offset / bpp, p = offset % bpp;
                // Working pixel x is full-image pixel x * f.
                ASSERT_EQ((uint8_t)(x * f * 10 + p + 1), working[k]) << "working pixel " << x << " byte " << p;
            }
        }
}
