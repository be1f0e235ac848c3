// The big view as it shows on the screen, read back pixel by pixel and
// compared with what the plain reference says it must show: small images
// painted to the edge, spoke outlines that come and go without a trace, the
// marching ants tick by tick and under a moving marker, and drags that end
// when the mouse is taken away.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "run_oracle.h"
#include "screen_view.h"
#include "testhost.h"
#include "wine_main.h"

using testhost::image;
using testhost::plugin_host;
using testhost::run_request;
using testhost::run_result;

namespace {

enum { big_view_id = 100, small_view_id = 101, spokes_edit = 554, thickness_edit = 116, ants_timer = 1 };

class PreviewScreen : public ::testing::Test {
protected:
    void SetUp() override
    {
        host_.reset(new plugin_host(plugin_path()));
        ASSERT_TRUE(host_->loaded()) << host_->load_error();
        measure_big_view(*host_, &measured_width_, &measured_height_);
    }

    // A menu run of `source` (optionally with a selection), without
    // displayPixels, so the plug-in draws the view itself.
    run_request request(const image& source, const std::vector<uint8_t>& mask = {})
    {
        run_request rq;
        rq.source = source;
        rq.mask = mask;
        model_.plan = plan_for(measured_width_, measured_height_, whole(source), rq.image_mode, rq.max_space,
                               !mask.empty());
        source_ = source;
        model_.source = &source_;
        model_.filter = whole(source_);
        int32_t x = 0, y = 0;
        reference::starting_centre(model_.plan, 0, 0, &x, &y);
        model_.marker_x = x;
        model_.marker_y = y;
        if (!mask.empty()) outline_ = reference::outline_of(reference::selection_map(model_.plan, mask));
        return rq;
    }

    // Stops the ants timer (the test ticks itself), removes the spoke
    // outlines and renders the view in full.
    void settle(HWND dialog)
    {
        KillTimer(dialog, ants_timer);
        filter_host::pump_messages(100, dialog);
        filter_host::set_item_text(dialog, spokes_edit, "0");
        render_in_full(dialog);
    }

    // Whether the screen agrees with the model; the ants show when ticked.
    void expect_screen(HWND dialog, const char* what)
    {
        const view_pixels got = capture_view(GetDlgItem(dialog, big_view_id));
        ASSERT_GT(got.width, 0) << what;
        if (got.width > 0) {
            std::string diff = differences(got, model_);
            EXPECT_EQ("", diff) << what;
        }
    }

    void tick(HWND dialog)
    {
        SendMessageA(dialog, WM_TIMER, ants_timer, 0);
        model_.tick++;
        model_.outline = outline_;
    }

    void drag_centre_to(HWND dialog, int32_t x, int32_t y)
    {
        HWND view = GetDlgItem(dialog, big_view_id);
        SendMessageA(view, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        SendMessageA(view, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
        model_.marker_x = x;
        model_.marker_y = y;
    }

    int32_t depth(HWND dialog)
    {
        HDC dc = GetDC(dialog);
        int32_t bits = GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES);
        ReleaseDC(dialog, dc);
        return bits;
    }

    std::unique_ptr<plugin_host> host_;
    int16_t measured_width_ = 0, measured_height_ = 0;
    image source_;
    view_model model_;
    reference::bit_map outline_;
};

// A rectangle of the image selected: columns x0 .. x1 - 1, rows y0 .. y1 - 1.
std::vector<uint8_t> rectangle_mask(const image& img, int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    std::vector<uint8_t> mask((size_t)img.width * img.height, 0);
    for (int32_t y = y0; y < y1; y++)
        for (int32_t x = x0; x < x1; x++) mask[(size_t)y * img.width + x] = 255;
    return mask;
}

}  // namespace

// A 12 x 12 image is enlarged more than twice: the last preview columns and
// rows lie past the working image and must show its last column and row.
// The marker dragged over that strip and away leaves nothing behind, and
// outlines drawn and erased there leave nothing either.
TEST_F(PreviewScreen, SmallImageIsPaintedToTheEdgesAndKeepsNoDebris)
{
    run_request rq = request(testhost::make_test_image(12, 12, 3));
    ASSERT_LT(model_.plan.preview.preview_scale, 32768) << "the test wants a preview enlarged more than twice";
    host_->set_dialog_script([&](HWND d) {
        if (depth(d) <= 8) {
            filter_host::click(d, IDOK);  // a dithered screen shows a checkerboard instead
            return;
        }
        settle(d);
        expect_screen(d, "after a full render");
        const int32_t w = model_.plan.preview.width, h = model_.plan.preview.height;
        const int32_t cx = model_.marker_x, cy = model_.marker_y;
        drag_centre_to(d, w - 4, h - 4);
        expect_screen(d, "marker in the corner");
        drag_centre_to(d, cx, cy);
        expect_screen(d, "marker back in the middle");
        drag_centre_to(d, w - 40, h - 40);  // the outlines reach into the strip
        filter_host::set_item_text(d, spokes_edit, "8");
        filter_host::set_item_text(d, spokes_edit, "0");
        expect_screen(d, "outlines drawn and erased");
        filter_host::set_item_text(d, spokes_edit, "8");
        filter_host::click(d, IDOK);
    });
    run_result r = host_->run_filter(rq);
    ASSERT_EQ(0, r.result);
}

// Drawing the spoke outlines inverts the pixels they cross; erasing them
// inverts them back, so the view returns to what it was byte for byte.
TEST_F(PreviewScreen, OutlinesDrawnAndErasedRestoreTheViewExactly)
{
    run_request rq = request(testhost::make_test_image(90, 70, 3));
    host_->set_dialog_script([&](HWND d) {
        if (depth(d) <= 8) {
            filter_host::click(d, IDOK);
            return;
        }
        settle(d);
        HWND view = GetDlgItem(d, big_view_id);
        const view_pixels plain = capture_view(view);
        expect_screen(d, "no outlines");

        // Each outline drawn inverts pixels and touches nothing else.
        auto expect_inverted_outlines = [&](const char* what) {
            const view_pixels drawn = capture_view(view);
            EXPECT_EQ(plain.rgb.size(), drawn.rgb.size()) << what;
            int32_t inverted = 0, other = 0;
            for (size_t k = 0; k < plain.rgb.size() && k < drawn.rgb.size(); k++) {
                if (drawn.rgb[k] == plain.rgb[k]) continue;
                if (drawn.rgb[k] == (~plain.rgb[k] & 0xFFFFFF))
                    inverted++;
                else
                    other++;
            }
            EXPECT_GT(inverted, 300) << what << ": the outlines must show";
            EXPECT_EQ(0, other) << what;
        };
        filter_host::set_item_text(d, spokes_edit, "8");
        expect_inverted_outlines("eight spokes");
        filter_host::set_item_text(d, thickness_edit, "60");  // thickness redraws the outlines alone
        expect_inverted_outlines("thicker spokes");
        filter_host::set_item_text(d, spokes_edit, "0");
        EXPECT_EQ(plain.rgb, capture_view(view).rgb) << "erased outlines leave no trace";

        // With the outlines drawn, the centre moves; erased, the view is the
        // image and the marker at its new place.
        filter_host::set_item_text(d, spokes_edit, "8");
        drag_centre_to(d, model_.marker_x - 17, model_.marker_y + 9);
        drag_centre_to(d, model_.marker_x + 1, model_.marker_y);
        filter_host::set_item_text(d, spokes_edit, "0");
        expect_screen(d, "outlines erased after moving the centre");
        filter_host::set_item_text(d, spokes_edit, "8");
        filter_host::click(d, IDOK);
    });
    run_result r = host_->run_filter(rq);
    ASSERT_EQ(0, r.result);
}

// The ants: every outline pixel white or inverted by the stripe pattern,
// which moves down one row per tick and comes round after eight ticks;
// nothing else changes.
TEST_F(PreviewScreen, AntsMarchOneRowPerTick)
{
    const image source = testhost::make_test_image(90, 70, 3);
    // A rectangle well away from the marker in the middle.
    run_request rq = request(source, rectangle_mask(source, 8, 6, 36, 28));
    host_->set_dialog_script([&](HWND d) {
        if (depth(d) <= 8) {
            filter_host::set_item_text(d, spokes_edit, "8");
            filter_host::click(d, IDOK);
            return;
        }
        settle(d);
        expect_screen(d, "before the first tick");
        for (int t = 1; t <= 10; t++) {
            tick(d);
            std::string what = "after tick " + std::to_string(t);
            expect_screen(d, what.c_str());
        }
        filter_host::set_item_text(d, spokes_edit, "8");
        filter_host::click(d, IDOK);
    });
    run_result r = host_->run_filter(rq);
    ASSERT_EQ(0, r.result);
}

// The marker's cell is painted afresh from the image when the centre moves;
// the ants that ran through it must come back, in step with the rest.
TEST_F(PreviewScreen, MovingTheMarkerKeepsTheAntsInItsCell)
{
    const image source = testhost::make_test_image(90, 70, 3);
    // The top-left quarter: its corner, and two outline edges, in the middle.
    run_request rq = request(source, rectangle_mask(source, 0, 0, 45, 35));
    host_->set_dialog_script([&](HWND d) {
        if (depth(d) <= 8) {
            filter_host::set_item_text(d, spokes_edit, "8");
            filter_host::click(d, IDOK);
            return;
        }
        settle(d);
        const int32_t cx = model_.marker_x, cy = model_.marker_y;
        int32_t outline_in_cell = 0;
        for (int32_t y = cy - 4; y < cy + 4; y++)
            for (int32_t x = cx - 4; x < cx + 4; x++) outline_in_cell += outline_.at(x, y);
        ASSERT_GT(outline_in_cell, 4) << "the test wants the outline through the marker's cell";
        for (int t = 1; t <= 3; t++) tick(d);
        drag_centre_to(d, model_.plan.preview.width - 20, model_.plan.preview.height - 20);
        expect_screen(d, "after the move");
        tick(d);
        expect_screen(d, "one tick later");
        drag_centre_to(d, cx + 3, cy - 2);  // back over the outline, then away again
        drag_centre_to(d, 20, model_.plan.preview.height - 20);
        tick(d);
        expect_screen(d, "after moving over the outline and away");
        filter_host::set_item_text(d, spokes_edit, "8");
        filter_host::click(d, IDOK);
    });
    run_result r = host_->run_filter(rq);
    ASSERT_EQ(0, r.result);
}

// A press starts a drag; when the capture goes elsewhere the drag is over:
// later moves, with or without the button, leave the centre where it is.
TEST_F(PreviewScreen, LostCaptureEndsTheDrag)
{
    run_request rq = request(testhost::make_test_image(90, 70, 3));
    rq.with_display_pixels = true;
    host_->set_dialog_script([&](HWND d) {
        filter_host::pump_messages(100, d);
        render_in_full(d);
        HWND big = GetDlgItem(d, big_view_id), small = GetDlgItem(d, small_view_id);
        SendMessageA(big, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 30));
        EXPECT_EQ(big, GetCapture());
        ReleaseCapture();  // as a switch to another program does
        SendMessageA(big, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
        SendMessageA(big, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(7, 9));

        // The small view loses its drag to another window taking the mouse.
        SendMessageA(small, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 15));
        SetCapture(d);
        ReleaseCapture();
        SendMessageA(small, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(3, 4));
        SendMessageA(small, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));

        // A move without the button is no drag, even with the capture held.
        SendMessageA(big, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(21, 31));
        SendMessageA(big, WM_MOUSEMOVE, 0, MAKELPARAM(6, 6));
        SendMessageA(big, WM_LBUTTONUP, 0, MAKELPARAM(6, 6));
        filter_host::click(d, IDOK);
    });
    run_result r = host_->run_filter(rq);
    ASSERT_EQ(0, r.result);
    spoke_params after = params_from(host_->params_bytes());
    EXPECT_EQ(reference::centre_to_full(21, model_.plan.preview.image_scale), after.saved_centre_x);
    EXPECT_EQ(reference::centre_to_full(31, model_.plan.preview.image_scale), after.saved_centre_y);
}

// Escape ends the dialog in the middle of a drag.  The next dialog of the
// same loaded plug-in starts with no drag: moves move nothing.
TEST_F(PreviewScreen, DragCutShortByEscapeDoesNotCarryIntoTheNextDialog)
{
    run_request rq = request(testhost::make_test_image(90, 70, 3));
    rq.with_display_pixels = true;
    host_->set_dialog_script([&](HWND d) {
        filter_host::pump_messages(100, d);
        render_in_full(d);
        HWND big = GetDlgItem(d, big_view_id);
        SendMessageA(big, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 30));
        filter_host::press_key(d, VK_ESCAPE);
    });
    run_result first = host_->run_filter(rq);
    ASSERT_EQ(1, first.result) << "Escape cancels";

    host_->set_dialog_script([&](HWND d) {
        filter_host::pump_messages(100, d);
        render_in_full(d);
        HWND big = GetDlgItem(d, big_view_id), small = GetDlgItem(d, small_view_id);
        SendMessageA(big, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
        SendMessageA(big, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(7, 9));
        SendMessageA(small, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(3, 4));
        filter_host::click(d, IDOK);
    });
    run_result second = host_->run_filter(rq);
    ASSERT_EQ(0, second.result);
    spoke_params after = params_from(host_->params_bytes());
    EXPECT_EQ(reference::centre_to_full(model_.marker_x, model_.plan.preview.image_scale), after.saved_centre_x);
    EXPECT_EQ(reference::centre_to_full(model_.marker_y, model_.plan.preview.image_scale), after.saved_centre_y);
}
