// Rendering the preview: nearest-neighbour sampling with copied repeats,
// blocks of four rows and the short last block, the selection and floating
// rules, the marker patch, and the DIB conversion with its colour rules and
// dither.  Writers are checked against sentinel bytes around their output.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "effect/spoke.h"
#include "host/plan.h"
#include "state/run_state.h"
#include "preview/render.h"
#include "reference.h"

namespace {

const uint8_t sentinel = 0xEE;

// A working image whose pixel (x, y), channel p, is x * 16 + y * 3 + p, with
// the band buffer and its sentinel tail.
struct preview_fixture {
    std::vector<uint8_t> working;
    std::vector<uint8_t> band;
    std::vector<uint8_t> copy;
    FilterRecord record;

    preview_fixture(int16_t bpp, int16_t working_width, int16_t working_height, int16_t preview_width,
                    int16_t preview_height, int32_t scale)
    {
        run_state = run_state_t();
        memset(&record, 0, sizeof record);
        run_state.host_record = &record;
        run_state.bytes_per_pixel = bpp;
        run_state.working_width = working_width;
        run_state.working_height = working_height;
        run_state.working_stride = working_width * bpp + 5;  // padded rows, like a host's
        working.assign((size_t)run_state.working_stride * working_height, 0);
        for (int y = 0; y < working_height; y++)
            for (int x = 0; x < working_width; x++)
                for (int p = 0; p < bpp; p++) working[y * run_state.working_stride + x * bpp + p] = pixel(x, y, p);
        run_state.src_base = working.data();
        run_state.preview_width = preview_width;
        run_state.preview_height = preview_height;
        run_state.preview_scale = scale;
        run_state.preview_extent = preview_width > preview_height ? preview_width : preview_height;
        run_state.selection_bitmap = NOT_NEEDED;
        band.assign(band_buffer_bytes + 64, sentinel);
        run_state.band_ptr = band.data();
    }

    static uint8_t pixel(int x, int y, int p) { return (uint8_t)(x * 16 + y * 3 + p); }

    // A selection map of the preview's size, all clear.
    void add_selection()
    {
        run_state.selection_bitmap = (void*)&copy;  // any handle but none and -1
        run_state.selection_row_bytes = 2 * ((run_state.preview_width + 15) >> 4);
        run_state.selection_rows = run_state.preview_height;
        copy.assign((size_t)run_state.selection_row_bytes * run_state.selection_rows, 0);
        run_state.selection_copy_ptr = copy.data();
    }
    void select(int x, int y) { copy[y * run_state.selection_row_bytes + (x >> 3)] |= (uint8_t)(0x80 >> (x & 7)); }

    // Every block of a full render: (first row, row count) pairs.
    std::vector<std::pair<int, int>> blocks(std::vector<std::vector<uint8_t>>* rows = nullptr)
    {
        std::vector<std::pair<int, int>> out;
        band_render r;
        start_full_render(&r);
        const int length = run_state.preview_width * run_state.bytes_per_pixel;
        for (int n; (n = render_next_block(&r)) > 0;) {
            out.push_back({r.block_top, n});
            for (int k = 0; rows != nullptr && k < n; k++)
                rows->push_back(std::vector<uint8_t>(band.begin() + ((r.block_top + k) & 3) * length,
                                                      band.begin() + ((r.block_top + k) & 3) * length + length));
        }
        return out;
    }
};

void set_geometry_a()
{
    run_state.spokes = 8;
    run_state.angle = 0;
    run_state.thickness = 20;
    run_state.intensity = 50;
    run_state.radius = 50;
    run_state.length = 50;
    run_state.preview_extent = 256;
    run_state.geometry = setup_spoke_geometry(working_values(), 256, 65536);
}

}  // namespace

TEST(PreviewRender, HalfScaleSamplesEachLaterColumnAndRowTwice)
{
    preview_fixture f(1, 4, 4, 8, 7, 32768);
    std::vector<std::vector<uint8_t>> rows;
    auto blocks = f.blocks(&rows);
    ASSERT_EQ((std::vector<std::pair<int, int>>{{0, 4}, {4, 3}}), blocks) << "7 rows: a block of 4, then 3";
    const int source_rows[7] = {0, 1, 1, 2, 2, 3, 3};
    // Column 7 would sample working column 4, past the image: it shows the
    // last column, 3, like its neighbour.
    const int source_columns[8] = {0, 1, 1, 2, 2, 3, 3, 3};
    for (int i = 0; i < 7; i++)
        for (int j = 0; j < 8; j++)
            EXPECT_EQ(preview_fixture::pixel(source_columns[j], source_rows[i], 0), rows[i][j]) << i << "," << j;
    EXPECT_EQ(sentinel, f.band[4 * 8]) << "nothing past the four band rows";
}

TEST(PreviewRender, OneAndAHalfScaleSkipsColumnsAndRows)
{
    preview_fixture f(3, 8, 8, 5, 5, 98304);
    std::vector<std::vector<uint8_t>> rows;
    auto blocks = f.blocks(&rows);
    ASSERT_EQ((std::vector<std::pair<int, int>>{{0, 4}, {4, 1}}), blocks);
    const int samples[5] = {0, 2, 3, 5, 6};
    for (int i = 0; i < 5; i++)
        for (int j = 0; j < 5; j++)
            for (int p = 0; p < 3; p++)
                EXPECT_EQ(preview_fixture::pixel(samples[j], samples[i], p), rows[i][j * 3 + p]);
}

TEST(PreviewRender, RowsPastTheWorkingImageShowItsLastRow)
{
    // Ten preview rows over four working rows at half scale: rows 7 to 9
    // would sample working rows 4 and 5, so they show row 3.
    preview_fixture f(1, 4, 4, 4, 10, 32768);
    std::vector<std::vector<uint8_t>> rows;
    EXPECT_EQ((std::vector<std::pair<int, int>>{{0, 4}, {4, 4}, {8, 2}}), f.blocks(&rows));
    ASSERT_EQ(10u, rows.size());
    for (int i = 6; i < 10; i++) EXPECT_EQ(preview_fixture::pixel(0, 3, 0), rows[i][0]) << i;
    preview_fixture g(4, 16, 16, 16, 8, 65536);
    EXPECT_EQ((std::vector<std::pair<int, int>>{{0, 4}, {4, 4}}), g.blocks()) << "no empty block after a full one";
}

// A 12 x 12 image in a preview of 270 x 270: every preview pixel is painted
// with the working pixel the plain sampling rule names.
TEST(PreviewRender, SmallImageEnlargedIsPaintedEverywhere)
{
    const int32_t scale = (12 << 16) / 270;
    preview_fixture f(3, 12, 12, 270, 270, scale);
    std::vector<std::vector<uint8_t>> rows;
    f.blocks(&rows);
    ASSERT_EQ(270u, rows.size());
    int wrong = 0;
    for (int i = 0; i < 270; i++)
        for (int j = 0; j < 270; j++)
            for (int p = 0; p < 3; p++) {
                const uint8_t want = preview_fixture::pixel(reference::preview_sample(j, scale, 12),
                                                            reference::preview_sample(i, scale, 12), p);
                if (rows[i][j * 3 + p] != want && wrong++ < 5) ADD_FAILURE() << "preview pixel " << j << "," << i;
            }
    EXPECT_EQ(0, wrong);
    EXPECT_EQ(preview_fixture::pixel(11, 11, 0), rows[269][269 * 3]);
}

TEST(PreviewRender, EffectShadesEverySampledPixelWithTheOneShadingRule)
{
    preview_fixture f(3, 200, 200, 100, 100, 131072);
    set_geometry_a();
    run_state.centre_x = 100;
    run_state.centre_y = 100;
    run_state.effect_shown = 1;
    std::vector<std::vector<uint8_t>> rows;
    f.blocks(&rows);
    ASSERT_EQ(100u, rows.size());
    int shaded = 0;
    for (int i = 0; i < 100; i++) {
        for (int j = 0; j < 100; j++) {
            uint8_t expected[3];
            run_state.row_pos = 0x8000 + i * 131072;
            run_state.col_pos = 0x8000 + j * 131072;
            run_state.src_row = f.working.data() + (run_state.row_pos >> 16) * run_state.working_stride;
            shade_pixel({run_state.geometry, 100, 100, pixel_layout::rgb}, (int16_t)(run_state.col_pos >> 16),
                        (int16_t)(run_state.row_pos >> 16), run_state.src_row, expected);
            const uint8_t* source = run_state.src_row + (run_state.col_pos >> 16) * 3;
            if (memcmp(expected, source, 3) != 0) shaded++;
            ASSERT_EQ(0, memcmp(expected, &rows[i][j * 3], 3)) << i << "," << j;
        }
    }
    EXPECT_GT(shaded, 100) << "the effect must show somewhere";
}

TEST(PreviewRender, SelectionAndFloatingDecideEachPixel)
{
    preview_fixture f(3, 200, 200, 100, 100, 131072);
    set_geometry_a();
    run_state.centre_x = 100;
    run_state.centre_y = 100;
    f.add_selection();
    f.select(90, 50);  // on the first spoke, inside the selection
    uint8_t shaded[3], plain[3] = {preview_fixture::pixel(180, 100, 0), preview_fixture::pixel(180, 100, 1),
                                   preview_fixture::pixel(180, 100, 2)};
    run_state.row_pos = 0x8000 + 50 * 131072;
    run_state.col_pos = 0x8000 + 90 * 131072;
    run_state.src_row = f.working.data() + (run_state.row_pos >> 16) * run_state.working_stride;
    shade_pixel({run_state.geometry, 100, 100, pixel_layout::rgb}, (int16_t)(run_state.col_pos >> 16),
                (int16_t)(run_state.row_pos >> 16), run_state.src_row, shaded);
    ASSERT_NE(0, memcmp(shaded, plain, 3));

    struct {
        int16_t effect, x;
        bool floating;
        const uint8_t* expected;  // null: all 0xFF
    } cases[] = {
        {1, 90, false, shaded}, {1, 90, true, shaded}, {1, 91, false, plain}, {1, 91, true, nullptr},
        {0, 90, false, plain},  {0, 90, true, plain},  {0, 91, false, plain}, {0, 91, true, nullptr},
    };
    for (auto& c : cases) {
        run_state.effect_shown = c.effect;
        f.record.isFloating = c.floating ? 1 : 0;
        run_state.col_pos = 0x8000 + 90 * 131072;  // the same source pixel for both columns
        uint8_t out[4] = {sentinel, sentinel, sentinel, sentinel};
        preview_pixel(c.x, 50, out);
        const uint8_t white[3] = {0xFF, 0xFF, 0xFF};
        EXPECT_EQ(0, memcmp(c.expected ? c.expected : white, out, 3)) << c.effect << " " << c.x << " " << c.floating;
        EXPECT_EQ(sentinel, out[3]) << "exactly bytes_per_pixel bytes";
        EXPECT_EQ(0x8000 + 91 * 131072, run_state.col_pos) << "steps on by the preview scale";
    }
}

TEST(PreviewRender, SelectionBitReadsMostSignificantBitFirstAndClampsToTheLastRowAndColumn)
{
    preview_fixture f(1, 20, 3, 20, 3, 65536);
    f.add_selection();
    ASSERT_EQ(4, run_state.selection_row_bytes);
    f.select(0, 0);
    f.select(9, 1);
    f.select(19, 2);
    EXPECT_EQ(0x80, selection_bit(0, 0));
    EXPECT_EQ(0, selection_bit(1, 0));
    EXPECT_EQ(0x40, selection_bit(9, 1));
    EXPECT_EQ(0x10, selection_bit(19, 2));
    EXPECT_EQ(0x10, selection_bit(30, 7)) << "beyond the preview reads its last row and column";
    run_state.selection_rows = 2;  // a map smaller than the preview: the missing row is unselected
    EXPECT_EQ(0, selection_bit(19, 2));
    run_state.selection_copy_ptr = nullptr;
    EXPECT_EQ(0, selection_bit(0, 0));
}

TEST(PreviewRender, RefusesWhatItCannotRenderSafely)
{
    preview_fixture f(3, 8, 8, 8, 8, 65536);
    band_render r;
    start_full_render(&r);
    run_state.band_ptr = nullptr;
    EXPECT_EQ(0, render_next_block(&r));
    run_state.band_ptr = f.band.data();
    run_state.src_base = nullptr;
    EXPECT_EQ(0, render_next_block(&r));
    run_state.src_base = f.working.data();
    run_state.preview_height = 0;
    EXPECT_EQ(0, render_next_block(&r));
    run_state.preview_height = 8;
    run_state.preview_width = 513;  // four rows would not fit the band buffer
    EXPECT_EQ(0, render_next_block(&r));
    run_state.preview_width = 8;
    run_state.working_height = 0;  // no working row to show, not even a last one
    EXPECT_EQ(0, render_next_block(&r));
    run_state.working_height = 8;
    run_state.bytes_per_pixel = 2;
    EXPECT_EQ(0, render_next_block(&r));
    preview_patch patch;
    EXPECT_FALSE(render_marker_patch(4, 4, &patch));
    for (uint8_t b : f.band) ASSERT_EQ(sentinel, b);
}

TEST(PreviewRender, WidestPreviewFillsFourBandRowsExactly)
{
    preview_fixture f(4, 512, 8, 512, 8, 65536);
    EXPECT_EQ(2u, f.blocks().size());
    for (int k = 0; k < 64; k++) EXPECT_EQ(sentinel, f.band[band_buffer_bytes + k]);
}

TEST(PreviewRender, MarkerPatchCoversTheCellCutAtTheEdges)
{
    preview_fixture f(1, 10, 10, 10, 10, 65536);
    preview_patch p;
    ASSERT_TRUE(render_marker_patch(5, 5, &p));
    EXPECT_EQ(1, p.x0);
    EXPECT_EQ(1, p.y0);
    EXPECT_EQ(9, p.x1);
    EXPECT_EQ(9, p.y1);
    for (int r = 0; r < 8; r++)
        for (int c = 0; c < 8; c++) EXPECT_EQ(preview_fixture::pixel(1 + c, 1 + r, 0), f.band[r * 8 + c]);
    EXPECT_EQ(sentinel, f.band[64]);

    f.band.assign(f.band.size(), sentinel);
    ASSERT_TRUE(render_marker_patch(1, 8, &p));  // top-left cut at 0, bottom at the preview's last row
    EXPECT_EQ(0, p.x0);
    EXPECT_EQ(4, p.y0);
    EXPECT_EQ(5, p.x1);
    EXPECT_EQ(10, p.y1);
    EXPECT_EQ(preview_fixture::pixel(4, 9, 0), f.band[5 * 6 - 1]);
    EXPECT_EQ(sentinel, f.band[5 * 6]);
}

TEST(PreviewRender, MarkerPatchReachesPastTheWorkingImageToThePreviewsEdge)
{
    // Four times enlarged: preview columns and rows 14 and 15 lie past the
    // working image and show its last column and row, in the patch as in a
    // full render.
    preview_fixture f(1, 4, 4, 16, 16, 16384);
    preview_patch p;
    ASSERT_TRUE(render_marker_patch(14, 13, &p));
    EXPECT_EQ(10, p.x0);
    EXPECT_EQ(9, p.y0);
    EXPECT_EQ(16, p.x1);
    EXPECT_EQ(16, p.y1);
    const int columns[6] = {3, 3, 3, 3, 3, 3};  // preview columns 10 .. 15
    const int rows[7] = {2, 3, 3, 3, 3, 3, 3};  // preview rows 9 .. 15
    for (int r = 0; r < 7; r++)
        for (int c = 0; c < 6; c++)
            EXPECT_EQ(preview_fixture::pixel(columns[c], rows[r], 0), f.band[r * 6 + c]) << c << "," << r;
    EXPECT_EQ(sentinel, f.band[42]);
}

TEST(PreviewDib, RowsGoBottomUpAsBlueGreenRedWithPaddingUntouched)
{
    preview_fixture f(3, 2, 2, 2, 2, 65536);
    const uint8_t band[2 * 6] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    std::vector<uint8_t> dib(2 * 8 + 4, sentinel);
    EXPECT_EQ(8, fill_dib_block(band, dib.data(), 0, 0, 2, 2));
    const uint8_t expected[] = {9, 8, 7, 12, 11, 10, sentinel, sentinel, 3, 2, 1, 6, 5, 4, sentinel, sentinel};
    EXPECT_EQ(0, memcmp(expected, dib.data(), sizeof expected));
    EXPECT_EQ(sentinel, dib[16]);
}

TEST(PreviewDib, CmykAndGrayColourRules)
{
    uint8_t rgb[3];
    const uint8_t all[4] = {255, 255, 255, 255};
    cmyk_display_colour(all, rgb);
    EXPECT_EQ((std::vector<uint8_t>{254, 254, 254}), std::vector<uint8_t>(rgb, rgb + 3));
    const uint8_t green[4] = {0, 255, 0, 255};
    cmyk_display_colour(green, rgb);
    EXPECT_EQ((std::vector<uint8_t>{0, 222, 0}), std::vector<uint8_t>(rgb, rgb + 3));
    // G' > R' and G' < B': blue takes half of green.
    const uint8_t bluish[4] = {0, 100, 200, 255};
    cmyk_display_colour(bluish, rgb);
    EXPECT_EQ((std::vector<uint8_t>{0, 99, (uint8_t)(((200u * 255 >> 1) + (100u * 255 >> 1)) >> 8)}),
              std::vector<uint8_t>(rgb, rgb + 3));
    // G' <= R' < B': blue takes half of red.
    const uint8_t purple[4] = {100, 50, 200, 255};
    cmyk_display_colour(purple, rgb);
    EXPECT_EQ((uint8_t)(((200u * 255 >> 1) + (100u * 255 >> 1)) >> 8), rgb[2]);

    uint8_t out[3];
    const uint8_t gray = 77;
    convert_dib_row(&gray, out, 1, 1, false, 0);
    EXPECT_EQ((std::vector<uint8_t>{77, 77, 77}), std::vector<uint8_t>(out, out + 3));
    uint8_t untouched[3] = {sentinel, sentinel, sentinel};
    convert_dib_row(&gray, untouched, 1, 2, false, 0);
    EXPECT_EQ(sentinel, untouched[0]) << "an unknown pixel size is not converted";
}

TEST(PreviewDib, EightBitScreensGetTheCheckerboardDither)
{
    EXPECT_EQ(10, dither_offset(10));
    EXPECT_EQ(64, dither_offset(64));
    EXPECT_EQ(64, dither_offset(191));
    EXPECT_EQ(3, dither_offset(252));

    preview_fixture f(1, 4, 4, 4, 4, 65536);
    run_state.dither_display = 1;
    std::vector<uint8_t> band(16, 100);
    std::vector<uint8_t> dib(4 * 12, 0);
    fill_dib_block(band.data(), dib.data(), 0, 0, 4, 4);
    // DIB row 3 is screen row 0; screen pixels with x + y even are lighter.
    for (int screen_y = 0; screen_y < 4; screen_y++)
        for (int x = 0; x < 4; x++)
            for (int c = 0; c < 3; c++)
                EXPECT_EQ((x + screen_y) % 2 == 0 ? 164 : 36, dib[(3 - screen_y) * 12 + x * 3 + c]) << x << "," << screen_y;
    // Blocks of any height keep the same screen checkerboard: (3, 0) is dark
    // whether it is drawn by a band, a short last block or a patch.
    for (int rows = 1; rows <= 8; rows++) {
        std::vector<uint8_t> tall(rows, 100), out((size_t)rows * 4, 0);
        fill_dib_block(tall.data(), out.data(), 3, 0, 1, rows);
        EXPECT_EQ(36, out[(size_t)(rows - 1) * 4]) << rows << " rows";
        if (rows > 1) {
            EXPECT_EQ(164, out[(size_t)(rows - 2) * 4]) << rows << " rows";
        }
    }
    // Extremes stay within a byte.
    const uint8_t ends[2] = {250, 250};
    uint8_t out[6];
    convert_dib_row(ends, out, 2, 1, true, 1);
    EXPECT_EQ(255, out[0]);
    EXPECT_EQ(245, out[3]);
}

TEST(PreviewDib, BlockLimitsFollowTheBuffers)
{
    preview_fixture f(4, 8, 8, 8, 8, 65536);
    EXPECT_TRUE(display_block_fits(512, 4));
    EXPECT_FALSE(display_block_fits(513, 4));
    EXPECT_FALSE(display_block_fits(512, 5));
    EXPECT_TRUE(display_block_fits(8, 8)) << "the marker's patch is 8 rows high";
    EXPECT_FALSE(display_block_fits(0, 4));
    EXPECT_FALSE(display_block_fits(8, 0));
    EXPECT_EQ(1536, dib_stride(512));
    EXPECT_EQ(12, dib_stride(3));
}
