// The dialog's preview under a host: what reaches displayPixels (or the
// screen, without it), dragging the centre in both views, and the marching
// ants of a selection.  Expected pixels come from the plain reference,
// sampled the way the preview samples the working image.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "run_oracle.h"
#include "testhost.h"
#include "wine_main.h"

using testhost::display_call;
using testhost::image;
using testhost::plugin_host;
using testhost::run_request;
using testhost::run_result;

namespace {

enum { big_view_id = 100, small_view_id = 101, preview_button = 102, revert_button = 103, spokes_edit = 554 };

typedef std::vector<uint8_t> bytes;

struct preview_case {
    reference::run_plan plan;
    image source;
};

// An image 60 pixels wide whose preview height is no multiple of 4, so the
// last block of a render is short.
preview_case pick_image(plugin_host& host, int32_t planes, int16_t mode)
{
    int16_t mw = 0, mh = 0;
    measure_big_view(host, &mw, &mh);
    preview_case c;
    for (int16_t height = 43; height < 80; height++) {
        c.source = testhost::make_test_image(60, height, planes);
        c.plan = plan_for(mw, mh, whole(c.source), mode, 64 * 1024 * 1024, false);
        if (c.plan.preview.height % 4 != 0) break;
    }
    return c;
}

// The preview pixel (j, i): the working pixel it samples, or with `effect`
// that pixel shaded around the preview centre (cx, cy) with these values.
bytes expected_pixel(const preview_case& c, int32_t j, int32_t i, bool effect, const spoke_params& v, int16_t cx,
                     int16_t cy)
{
    return preview_pixel(c.source, whole(c.source), c.plan, j, i, effect, values_of(v), cx, cy);
}

// The full renders among the display calls: runs of whole-width blocks whose
// rows start at 0 and follow on in fours.
std::vector<std::vector<const display_call*>> full_renders(const run_result& r, int16_t width)
{
    std::vector<std::vector<const display_call*>> renders;
    for (const display_call& d : r.display_calls) {
        if (d.map.bounds.right != width || d.dst_col != 0) continue;
        if (d.dst_row == 0) renders.emplace_back();
        if (!renders.empty()) renders.back().push_back(&d);
    }
    return renders;
}

// Every preview pixel is rendered: the whole preview, in blocks of four rows.
void expect_render(const preview_case& c, const std::vector<const display_call*>& calls, bool effect,
                   const spoke_params& v, const char* what)
{
    const int32_t rows = c.plan.preview.height, columns = c.plan.preview.width;
    const int32_t bpp = c.source.planes;
    const int16_t cx = (int16_t)(c.plan.preview.width / 2), cy = (int16_t)(c.plan.preview.height / 2);
    ASSERT_EQ((size_t)((rows + 3) / 4), calls.size()) << what;
    int32_t mismatches = 0, shaded = 0;
    for (size_t k = 0; k < calls.size(); k++) {
        const display_call& d = *calls[k];
        const int32_t block = k + 1 < calls.size() ? 4 : rows - 4 * (int32_t)k;
        EXPECT_EQ((int32_t)(4 * k), d.dst_row) << what;
        EXPECT_EQ(0, d.map.version);
        EXPECT_EQ(0, d.map.bounds.top);
        EXPECT_EQ(0, d.map.bounds.left);
        EXPECT_EQ(block, d.map.bounds.bottom) << what << " block " << k;
        EXPECT_EQ(c.plan.preview.width, d.map.bounds.right);
        EXPECT_EQ(0, memcmp(&d.map.bounds, &d.src_rect, sizeof d.src_rect)) << "the source rectangle is the bounds";
        EXPECT_EQ(c.plan.preview.width * bpp, d.map.rowBytes);
        EXPECT_EQ(bpp, d.map.colBytes);
        EXPECT_EQ(1, d.map.planeBytes);
        EXPECT_TRUE(d.have_context);
        ASSERT_EQ((size_t)(block * d.map.rowBytes), d.pixels.size());
        for (int32_t r = 0; r < block; r++) {
            const int32_t i = 4 * (int32_t)k + r;
            for (int32_t j = 0; j < columns; j++) {
                bytes want = expected_pixel(c, j, i, effect, v, cx, cy);
                if (effect && want != expected_pixel(c, j, i, false, v, cx, cy)) shaded++;
                if (memcmp(want.data(), &d.pixels[(size_t)r * d.map.rowBytes + j * bpp], bpp) != 0 && mismatches++ < 5)
                    ADD_FAILURE() << what << ": preview pixel " << j << "," << i << " differs";
            }
        }
    }
    EXPECT_EQ(0, mismatches) << what;
    if (effect) {
        EXPECT_GT(shaded, 100) << what << ": the effect must show";
    }
}

class Preview : public ::testing::Test {
protected:
    void SetUp() override
    {
        host_.reset(new plugin_host(plugin_path()));
        ASSERT_TRUE(host_->loaded()) << host_->load_error();
    }
    std::unique_ptr<plugin_host> host_;
};

spoke_params defaults() { return default_record(); }

// The colour at client position (x, y) of a view, or CLR_INVALID.
COLORREF view_pixel(HWND view, int x, int y)
{
    HDC dc = GetDC(view);
    COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(view, dc);
    return c;
}

}  // namespace

TEST_F(Preview, DisplayPixelsGetsThePlainImageThenTheEffectInBlocksOfFour)
{
    preview_case c = pick_image(*host_, 3, plugInModeRGBColor);
    ASSERT_NE(0, c.plan.preview.height % 4) << "the test wants a short last block";
    ASSERT_EQ(1, c.plan.factor);
    BOOL timer_found = TRUE;
    host_->set_dialog_script([&](HWND d) {
        filter_host::pump_messages(200, d);
        timer_found = KillTimer(d, 1);
        filter_host::click(d, preview_button);
        filter_host::pump_messages(100, d);
        filter_host::click(d, IDOK);
    });
    run_request rq;
    rq.source = c.source;
    rq.with_display_pixels = true;
    run_result r = host_->run_filter(rq);
    ASSERT_EQ(0, r.result);
    EXPECT_FALSE(timer_found) << "no ants timer without a selection";

    auto renders = full_renders(r, (int16_t)c.plan.preview.width);
    ASSERT_GE(renders.size(), 2u) << "one render of the plain image, one after Preview";
    expect_render(c, renders.front(), false, defaults(), "plain");
    expect_render(c, renders.back(), true, defaults(), "after Preview");
}

TEST_F(Preview, RevertShowsThePlainImageAgainAndGrayKeepsOneBytePerPixel)
{
    preview_case c = pick_image(*host_, 1, plugInModeGrayScale);
    host_->set_dialog_script([&](HWND d) {
        filter_host::pump_messages(150, d);
        filter_host::click(d, preview_button);
        filter_host::click(d, revert_button);
        filter_host::click(d, revert_button);  // a second Revert renders nothing more
        filter_host::click(d, IDOK);
    });
    run_request rq;
    rq.source = c.source;
    rq.image_mode = plugInModeGrayScale;
    rq.with_display_pixels = true;
    run_result r = host_->run_filter(rq);
    ASSERT_EQ(0, r.result);
    auto renders = full_renders(r, (int16_t)c.plan.preview.width);
    ASSERT_GE(renders.size(), 3u);
    EXPECT_EQ(plugInModeGrayScale, renders.back().front()->map.imageMode);
    expect_render(c, renders[renders.size() - 2], true, defaults(), "after Preview");
    expect_render(c, renders.back(), false, defaults(), "after Revert");
}

TEST_F(Preview, FloatingSelectionShowsUnselectedPixelsWhite)
{
    preview_case c = pick_image(*host_, 3, plugInModeRGBColor);
    run_request rq;
    rq.source = c.source;
    rq.mask.assign((size_t)c.source.width * c.source.height, 0);  // nothing fully selected
    rq.is_floating = true;
    rq.with_display_pixels = true;
    host_->set_dialog_script([&](HWND d) {
        filter_host::pump_messages(150, d);
        filter_host::click(d, IDOK);
    });
    run_result r = host_->run_filter(rq);
    ASSERT_EQ(0, r.result);
    auto renders = full_renders(r, (int16_t)c.plan.preview.width);
    ASSERT_FALSE(renders.empty());
    const int32_t columns = c.plan.preview.width;
    for (const display_call* d : renders.front())
        for (int32_t row = 0; row < d->map.bounds.bottom; row++)
            for (int32_t k = 0; k < columns * 3; k++) ASSERT_EQ(0xFF, d->pixels[(size_t)row * d->map.rowBytes + k]);
}

TEST_F(Preview, WithoutDisplayPixelsTheViewShowsTheImage)
{
    struct {
        int16_t mode;
        int32_t planes;
    } modes[] = {{plugInModeRGBColor, 3}, {plugInModeGrayScale, 1}, {plugInModeCMYKColor, 4}};
    host_.reset();  // one host per thread at a time
    for (auto& m : modes) {
        plugin_host host(plugin_path());
        ASSERT_TRUE(host.loaded());
        preview_case c = pick_image(host, m.planes, m.mode);
        if (m.mode == plugInModeCMYKColor)
            for (int32_t k = 0; k < (int32_t)c.source.pixels.size(); k += 4) {
                const uint8_t green[4] = {0, 255, 0, 255};
                memcpy(&c.source.pixels[k], green, 4);
            }
        int checked = 0, wrong = 0, depth = 0;
        host.set_dialog_script([&](HWND d) {
            filter_host::pump_messages(200, d);
            filter_host::set_item_text(d, spokes_edit, "0");  // no outlines over the image
            filter_host::pump_messages(50, d);
            HWND view = GetDlgItem(d, big_view_id);
            HDC dc = GetDC(view);
            depth = GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES);
            ReleaseDC(view, dc);
            RECT client;
            GetClientRect(view, &client);
            const int16_t cx = (int16_t)(c.plan.preview.width / 2), cy = (int16_t)(c.plan.preview.height / 2);
            for (int32_t i = 0; i < client.bottom; i += 3) {
                for (int32_t j = 0; j < client.right; j += 3) {
                    if (j >= cx - 4 && j < cx + 4 && i >= cy - 4 && i < cy + 4) continue;  // the marker
                    bytes p = expected_pixel(c, j, i, false, defaults(), cx, cy);
                    COLORREF want = m.planes == 1   ? RGB(p[0], p[0], p[0])
                                    : m.planes == 3 ? RGB(p[0], p[1], p[2])
                                                    : RGB(0, 222, 0);
                    COLORREF got = view_pixel(view, j, i);
                    checked++;
                    if (got != want && wrong++ < 3)
                        ADD_FAILURE() << "mode " << m.mode << " pixel " << j << "," << i << " shows " << std::hex << got
                                      << " instead of " << want;
                }
            }
            filter_host::set_item_text(d, spokes_edit, "8");
            filter_host::click(d, IDOK);
        });
        run_request rq;
        rq.source = c.source;
        rq.image_mode = m.mode;
        run_result r = host.run_filter(rq);
        ASSERT_EQ(0, r.result) << m.mode;
        EXPECT_TRUE(r.display_calls.empty());
        if (depth <= 8) continue;  // a dithered screen shows a checkerboard instead
        EXPECT_GT(checked, 500) << m.mode;
        EXPECT_EQ(0, wrong) << m.mode;
    }
}

TEST_F(Preview, DraggingInTheBigViewMovesTheCentreThatOkStores)
{
    preview_case c = pick_image(*host_, 3, plugInModeRGBColor);
    const int16_t old_x = (int16_t)(c.plan.preview.width / 2), old_y = (int16_t)(c.plan.preview.height / 2);
    host_->set_dialog_script([&](HWND d) {
        filter_host::pump_messages(150, d);
        HWND view = GetDlgItem(d, big_view_id);
        SendMessageA(view, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 30));
        SendMessageA(view, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(41, 25));
        SendMessageA(view, WM_LBUTTONUP, 0, MAKELPARAM(41, 25));
        SendMessageA(view, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));  // released: no longer follows
        filter_host::click(d, IDOK);
    });
    run_request rq;
    rq.source = c.source;
    rq.with_display_pixels = true;
    run_result r = host_->run_filter(rq);
    ASSERT_EQ(0, r.result);
    spoke_params after = params_from(host_->params_bytes());
    EXPECT_EQ(reference::centre_to_full(41, c.plan.preview.image_scale), after.saved_centre_x);
    EXPECT_EQ(reference::centre_to_full(25, c.plan.preview.image_scale), after.saved_centre_y);

    // The press put the image back under the old marker: an 8 x 8 patch.
    const display_call* patch = nullptr;
    for (const display_call& d : r.display_calls)
        if (d.dst_col == old_x - 4 && d.dst_row == old_y - 4 && d.map.bounds.right == 8) patch = &d;
    ASSERT_NE(nullptr, patch) << "no patch under the old marker";
    EXPECT_EQ(8, patch->map.bounds.bottom);
    for (int32_t r8 = 0; r8 < 8; r8++)
        for (int32_t c8 = 0; c8 < 8; c8++) {
            bytes want = expected_pixel(c, old_x - 4 + c8, old_y - 4 + r8, false, defaults(), 0, 0);
            ASSERT_EQ(0, memcmp(want.data(), &patch->pixels[r8 * 24 + c8 * 3], 3)) << c8 << "," << r8;
        }
}

TEST_F(Preview, DraggingInTheSmallViewDoublesAndPinsAtTheEdges)
{
    preview_case c = pick_image(*host_, 3, plugInModeRGBColor);
    host_->set_dialog_script([&](HWND d) {
        filter_host::pump_messages(150, d);
        HWND view = GetDlgItem(d, small_view_id);
        SendMessageA(view, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 12));
        SendMessageA(view, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(400, (WORD)(int16_t)-5));
        SendMessageA(view, WM_LBUTTONUP, 0, 0);
        filter_host::click(d, IDOK);
    });
    run_request rq;
    rq.source = c.source;
    rq.with_display_pixels = true;
    run_result r = host_->run_filter(rq);
    ASSERT_EQ(0, r.result);
    spoke_params after = params_from(host_->params_bytes());
    EXPECT_EQ(reference::centre_to_full(c.plan.preview.width - 1, c.plan.preview.image_scale), after.saved_centre_x);
    EXPECT_EQ(0, after.saved_centre_y);
}

TEST_F(Preview, SelectionRunsTheAntsTimerAndPaintsItsOutline)
{
    preview_case c = pick_image(*host_, 3, plugInModeRGBColor);
    run_request rq;
    rq.source = c.source;
    rq.with_display_pixels = true;
    // The top-left quarter of the image is selected.
    rq.mask.assign((size_t)c.source.width * c.source.height, 0);
    for (int32_t y = 0; y < c.source.height / 2; y++)
        for (int32_t x = 0; x < c.source.width / 2; x++) rq.mask[(size_t)y * c.source.width + x] = 255;
    BOOL timer_found = FALSE;
    int white = 0, black = 0, other = 0;
    host_->set_dialog_script([&](HWND d) {
        filter_host::pump_messages(150, d);
        filter_host::set_item_text(d, spokes_edit, "0");  // no outlines over the ants
        filter_host::pump_messages(350, d);
        HWND view = GetDlgItem(d, big_view_id);
        // Row 0 of the selected quarter is outline: each pixel white or inverted.
        for (int32_t x = 0; x < c.plan.preview.width / 2 - 8; x++) {
            COLORREF p = view_pixel(view, x, 0);
            if (p == RGB(255, 255, 255))
                white++;
            else if (p == RGB(0, 0, 0))
                black++;
            else
                other++;
        }
        timer_found = KillTimer(d, 1);
        filter_host::set_item_text(d, spokes_edit, "8");
        filter_host::click(d, IDOK);
    });
    run_result r = host_->run_filter(rq);
    ASSERT_EQ(0, r.result);
    EXPECT_TRUE(timer_found) << "the ants timer runs while a selection exists";
    EXPECT_EQ(0, other);
    EXPECT_GT(white, 0);
    EXPECT_GT(black, 0);
}
