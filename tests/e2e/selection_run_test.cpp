// A run with a selection on a thinned working image, call by call: which
// mask row each selection call asks for and where the phase ends early, the
// load calls on every f-th row, the output; and on the screen the selection
// as the calls built it, rows never reached left out, through its ants.
#include <gtest/gtest.h>

#include <memory>

#include "run_oracle.h"
#include "screen_view.h"
#include "testhost.h"
#include "wine_main.h"

using testhost::call_record;
using testhost::image;
using testhost::plugin_host;
using testhost::run_request;
using testhost::run_result;

namespace {

enum { spokes_edit = 554 };

::testing::AssertionResult rect_is(const Rect16& r, int32_t top, int32_t left, int32_t bottom, int32_t right)
{
    if (r.top == top && r.left == left && r.bottom == bottom && r.right == right) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "rect (" << r.top << ", " << r.left << ", " << r.bottom << ", " << r.right
                                         << "), expected (" << top << ", " << left << ", " << bottom << ", " << right
                                         << ")";
}

class SelectionRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        host_.reset(new plugin_host(plugin_path()));
        ASSERT_TRUE(host_->loaded()) << host_->load_error();
        measure_big_view(*host_, &measured_width_, &measured_height_);
    }
    std::unique_ptr<plugin_host> host_;
    int16_t measured_width_ = 0, measured_height_ = 0;
};

}  // namespace

// A 6 x 4 RGB rectangle at (10, 20) of a larger image, with a selection and
// a budget that thins it to 3 x 2.  The preview is enlarged far more than
// twice, so the selection calls run out of image rows before the preview's
// last row: the calls after that are never made and those rows stay
// unselected.
TEST_F(SelectionRun, SmallRectangleThinnedCallByCall)
{
    run_request rq;
    rq.source = testhost::make_test_image(30, 20, 3);
    rq.filter_rect = Rect16{10, 20, 14, 26};
    rq.mask.assign((size_t)30 * 20, 255);
    // The budget that gives a factor of 2 with this measured area.
    reference::run_plan plan;
    for (rq.max_space = 10000; rq.max_space < 40000; rq.max_space++) {
        plan = plan_for(measured_width_, measured_height_, rq.filter_rect, rq.image_mode, rq.max_space, true);
        if (plan.ok && plan.factor == 2) break;
    }
    ASSERT_EQ(2, plan.factor);
    ASSERT_EQ(3, plan.working_width);
    ASSERT_EQ(2, plan.working_height);
    const std::vector<int32_t> mask_rows = reference::mask_rows_requested(plan);
    ASSERT_LT((int32_t)mask_rows.size(), plan.preview.height) << "the test wants the selection phase to end early";

    // On the screen: the view as the reference has it after one ants tick.
    std::vector<uint8_t> filter_mask(6 * 4, 255);
    view_model model;
    model.source = &rq.source;
    model.filter = rq.filter_rect;
    model.plan = plan;
    model.outline = reference::outline_of(reference::selection_map(plan, filter_mask));
    model.tick = 1;
    int32_t cx = 0, cy = 0;
    reference::starting_centre(plan, 0, 0, &cx, &cy);
    model.marker_x = cx;
    model.marker_y = cy;
    std::string screen = "not checked";
    host_->set_dialog_script([&](HWND d) {
        KillTimer(d, 1);
        filter_host::pump_messages(100, d);
        filter_host::set_item_text(d, spokes_edit, "0");
        render_in_full(d);
        SendMessageA(d, WM_TIMER, 1, 0);
        HDC dc = GetDC(d);
        const bool dithered = GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES) <= 8;
        ReleaseDC(d, dc);
        if (!dithered) screen = differences(capture_view(GetDlgItem(d, 100)), model);
        filter_host::set_item_text(d, spokes_edit, "8");
        filter_host::click(d, IDOK);
    });
    run_result r = host_->run_filter(rq);
    ASSERT_EQ(0, r.result);
    EXPECT_TRUE(r.protocol_errors.empty()) << r.protocol_errors.front();
    EXPECT_EQ("", screen) << "the selection's outline ends at the last row the calls reached";
    // The outline's bottom edge is the last row reached, its right edge the
    // last column inside the rectangle.
    const int32_t last_row = (int32_t)mask_rows.size() - 1;
    EXPECT_TRUE(model.outline.at(cx, last_row));
    EXPECT_FALSE(model.outline.at(cx, last_row + 1));

    std::vector<call_record> start, cont;
    for (const call_record& c : r.calls) {
        if (c.selector == filterSelectorStart) start.push_back(c);
        if (c.selector == filterSelectorContinue) cont.push_back(c);
    }
    ASSERT_EQ(1u, start.size());
    EXPECT_TRUE(rect_is(start[0].in_rect, 10, 20, 11, 26));
    EXPECT_TRUE(rect_is(start[0].out_rect, 10, 20, 11, 26));
    EXPECT_TRUE(rect_is(start[0].mask_rect, 10, 20, 11, 26)) << "the first mask row is asked for at start";

    const size_t selection_calls = mask_rows.size();
    ASSERT_EQ(selection_calls + 2 + 4, cont.size()) << "selection calls, two load calls, four rows";
    for (size_t n = 0; n < selection_calls; n++) {
        SCOPED_TRACE(testing::Message() << "selection call " << n + 1);
        const call_record& c = cont[n];
        // Each call leaves the request for the next call's mask row; the
        // last one ends the phase.
        if (n + 1 < selection_calls)
            EXPECT_TRUE(rect_is(c.mask_rect, 10 + mask_rows[n + 1], 20, 11 + mask_rows[n + 1], 26));
        else
            EXPECT_TRUE(rect_is(c.mask_rect, 0, 0, 0, 0));
        EXPECT_TRUE(rect_is(c.in_rect, 10, 20, 11, 26));
        EXPECT_TRUE(rect_is(c.out_rect, 10, 20, 11, 26));
        EXPECT_TRUE(c.progress.empty());
    }
    const call_record& load0 = cont[selection_calls];
    const call_record& load1 = cont[selection_calls + 1];
    EXPECT_TRUE(rect_is(load0.in_rect, 12, 20, 13, 26)) << "the next working row is image row 2";
    EXPECT_TRUE(rect_is(load1.in_rect, 10, 20, 11, 26)) << "after the dialog, the first row again";
    EXPECT_TRUE(rect_is(load1.out_rect, 10, 20, 11, 26));
    for (int j = 0; j < 4; j++) {
        const call_record& c = cont[selection_calls + 2 + j];
        ASSERT_EQ(1u, c.progress.size());
        EXPECT_EQ(std::make_pair(j, 4), c.progress[0]);
        if (j < 3) {
            EXPECT_TRUE(rect_is(c.in_rect, 11 + j, 20, 12 + j, 26));
            EXPECT_TRUE(rect_is(c.out_rect, 11 + j, 20, 12 + j, 26));
        } else {
            EXPECT_TRUE(rect_is(c.in_rect, 0, 0, 0, 0));
            EXPECT_TRUE(rect_is(c.out_rect, 0, 0, 0, 0));
        }
    }

    // The output: every pixel of the rectangle by the per-pixel rule, with
    // the values and the centre that OK stored.
    spoke_params p = params_from(host_->params_bytes());
    EXPECT_NE(0, p.saved_centre_x);
    image expected = expected_output(rq.source, rq.filter_rect, rq.image_mode, p, plan);
    EXPECT_EQ(expected.pixels, r.output.pixels);
}

// The same with a host that draws the preview (displayPixels) and a
// floating selection of the left half: the working image the preview shows
// is every second pixel of every second row, and unselected pixels are white.
TEST_F(SelectionRun, ThinnedPreviewShowsTheSelectedWorkingPixels)
{
    run_request rq;
    rq.source = testhost::make_test_image(40, 30, 3);
    rq.mask.assign((size_t)40 * 30, 0);
    for (int32_t y = 0; y < 30; y++)
        for (int32_t x = 0; x < 20; x++) rq.mask[(size_t)y * 40 + x] = 255;
    rq.is_floating = true;
    rq.with_display_pixels = true;
    reference::run_plan plan;
    for (rq.max_space = 4000; rq.max_space < 200000; rq.max_space += 16) {
        plan = plan_for(measured_width_, measured_height_, whole(rq.source), rq.image_mode, rq.max_space, true);
        if (plan.ok && plan.factor == 2) break;
    }
    ASSERT_EQ(2, plan.factor);
    host_->set_dialog_script([&](HWND d) {
        filter_host::pump_messages(100, d);
        render_in_full(d);
        filter_host::click(d, IDOK);
    });
    run_result r = host_->run_filter(rq);
    ASSERT_EQ(0, r.result);
    EXPECT_TRUE(r.protocol_errors.empty()) << r.protocol_errors.front();

    const reference::bit_map selection = reference::selection_map(plan, rq.mask);
    const int64_t s = plan.preview.preview_scale;
    // The first preview column (row) sampling the same working column (row)
    // decides for the later ones, which copy it.
    auto run_start = [&](int32_t p, int32_t size) {
        while (p > 0 && reference::preview_sample(p - 1, s, size) == reference::preview_sample(p, s, size)) p--;
        return p;
    };
    int32_t rows_seen = 0, wrong = 0, white = 0;
    for (const testhost::display_call& d : r.display_calls) {
        if (d.map.bounds.right != plan.preview.width || d.dst_col != 0) continue;  // full renders only
        for (int32_t k = 0; k < d.map.bounds.bottom; k++) {
            const int32_t i = d.dst_row + k;
            rows_seen++;
            for (int32_t j = 0; j < plan.preview.width; j++) {
                std::vector<uint8_t> want = preview_pixel(rq.source, whole(rq.source), plan, j, i, false, {}, 0, 0);
                if (!selection.at(run_start(j, plan.working_width), run_start(i, plan.working_height))) {
                    want.assign(3, 0xFF);
                    white++;
                }
                const uint8_t* got = &d.pixels[(size_t)k * d.map.rowBytes + j * 3];
                if (std::vector<uint8_t>(got, got + 3) != want && wrong++ < 5)
                    ADD_FAILURE() << "preview pixel " << j << "," << i;
            }
        }
    }
    EXPECT_GE(rows_seen, plan.preview.height);
    EXPECT_EQ(0, wrong);
    EXPECT_GT(white, 1000) << "the unselected half shows white";
}
