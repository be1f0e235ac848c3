// The parameters dialog, driven the way a user drives it: typed values,
// scroll bars, buttons and keys, checked through its controls and through what
// OK stores.
#include <gtest/gtest.h>

#include <string>

#include "run_oracle.h"
#include "testhost.h"
#include "wine_main.h"

using testhost::plugin_host;
using testhost::run_request;
using testhost::run_result;

namespace {

enum {
    preview_button = 102,
    revert_button = 103,
    radius_edit = 113, radius_bar = 118,
    length_edit = 551, length_bar = 552,
    spokes_edit = 554, spokes_bar = 555,
    angle_edit = 153, angle_bar = 154,
    thickness_edit = 116, thickness_bar = 121,
    intensity_edit = 117, intensity_bar = 122,
};

std::string text_of(HWND dialog, int id)
{
    char buf[64] = {};
    GetDlgItemTextA(dialog, id, buf, sizeof buf);
    return buf;
}

int bar_pos(HWND dialog, int id) { return GetScrollPos(GetDlgItem(dialog, id), SB_CTL); }

void type(HWND dialog, int id, const char* text)
{
    SetDlgItemTextA(dialog, id, text);
    filter_host::pump_messages(0, dialog);
}

void scroll(HWND dialog, int bar, int code, int thumb = 0)
{
    SendMessageA(dialog, WM_HSCROLL, MAKEWPARAM(code, thumb), (LPARAM)GetDlgItem(dialog, bar));
}

// Sends a key to the focused control through the dialog's own keyboard
// handling, as the modal loop would.
void press(HWND dialog, UINT key)
{
    HWND focus = GetFocus();
    PostMessageA(focus, WM_KEYDOWN, key, 0);
    PostMessageA(focus, WM_KEYUP, key, 0xC0000001);
    filter_host::pump_messages(50, dialog);
}

void click_and_settle(HWND dialog, int id)
{
    filter_host::click(dialog, id);
    filter_host::pump_messages(0, dialog);
}

bool still_open(HWND dialog) { return IsWindow(dialog) && IsWindowVisible(dialog); }

std::pair<DWORD, DWORD> selection_of(HWND dialog, int id)
{
    DWORD start = 0, end = 0;
    SendDlgItemMessageA(dialog, id, EM_GETSEL, (WPARAM)&start, (LPARAM)&end);
    return {start, end};
}

class Dialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        host_.reset(new plugin_host(plugin_path()));
        ASSERT_TRUE(host_->loaded()) << host_->load_error();
    }

    run_result run_with(filter_host::dialog_script script)
    {
        host_->set_dialog_script(std::move(script));
        run_request rq;
        rq.source = testhost::make_test_image(60, 40, 3);
        return host_->run_filter(rq);
    }

    std::unique_ptr<plugin_host> host_;
};

}  // namespace

TEST_F(Dialog, OpensCentredWithTheStoredValuesAndFocusOnPreview)
{
    spoke_params stored = {0, 0, 12, 30, 40, 60, 20, 70, 1};
    host_->set_params(bytes_of(stored));
    bool checked = false;
    run_result r = run_with([&](HWND d) {
        checked = true;
        EXPECT_EQ(GetDlgItem(d, preview_button), GetFocus());
        RECT wr;
        GetWindowRect(d, &wr);
        int x = (GetSystemMetrics(SM_CXSCREEN) - (wr.right - wr.left)) / 2;
        int y = (GetSystemMetrics(SM_CYSCREEN) - (wr.bottom - wr.top)) / 2;
        EXPECT_EQ(x > 0 ? x : 0, wr.left);
        EXPECT_EQ(y > 0 ? y : 0, wr.top);
        EXPECT_EQ("12", text_of(d, spokes_edit));
        EXPECT_EQ("30", text_of(d, angle_edit));
        EXPECT_EQ("40", text_of(d, thickness_edit));
        EXPECT_EQ("60", text_of(d, intensity_edit));
        EXPECT_EQ("20", text_of(d, radius_edit));
        EXPECT_EQ("70", text_of(d, length_edit));
        struct { int bar, pos, lo, hi; } bars[] = {
            {spokes_bar, 12, 1, 50}, {angle_bar, 30, 0, 360}, {thickness_bar, 40, 5, 100},
            {intensity_bar, 60, 0, 100}, {radius_bar, 20, 0, 100}, {length_bar, 70, 2, 100},
        };
        for (auto& b : bars) {
            int lo = -1, hi = -1;
            GetScrollRange(GetDlgItem(d, b.bar), SB_CTL, &lo, &hi);
            EXPECT_EQ(b.lo, lo) << b.bar;
            EXPECT_EQ(b.hi, hi) << b.bar;
            EXPECT_EQ(b.pos, bar_pos(d, b.bar)) << b.bar;
        }
        EXPECT_EQ(2, SendDlgItemMessageA(d, spokes_edit, EM_GETLIMITTEXT, 0, 0));
        EXPECT_EQ(3, SendDlgItemMessageA(d, angle_edit, EM_GETLIMITTEXT, 0, 0));
        click_and_settle(d, IDOK);
    });
    ASSERT_TRUE(checked);
    ASSERT_EQ(0, r.result);
    spoke_params after = params_from(host_->params_bytes());
    EXPECT_EQ(12, after.spokes);
    EXPECT_EQ(70, after.length);
    EXPECT_EQ(0, after.showDialog);
}

TEST_F(Dialog, InvalidEntriesKeepTheBarAndRefuseOk)
{
    run_result r = run_with([&](HWND d) {
        type(d, spokes_edit, "0");
        EXPECT_EQ(8, bar_pos(d, spokes_bar)) << "an invalid entry leaves the bar";
        type(d, spokes_edit, "12");
        EXPECT_EQ(12, bar_pos(d, spokes_bar));

        type(d, spokes_edit, "0");
        type(d, angle_edit, "400");
        click_and_settle(d, IDOK);
        ASSERT_TRUE(still_open(d)) << "OK must be refused";
        EXPECT_EQ(GetDlgItem(d, angle_edit), GetFocus()) << "the last invalid field keeps the focus";
        EXPECT_EQ(std::make_pair(DWORD(0), DWORD(3)), selection_of(d, angle_edit));

        type(d, angle_edit, "x5");  // not a number
        type(d, spokes_edit, "7");
        click_and_settle(d, IDOK);
        ASSERT_TRUE(still_open(d));
        EXPECT_EQ(GetDlgItem(d, angle_edit), GetFocus());

        // A number beyond 16 bits must not wrap into range.
        type(d, angle_edit, "65581");
        click_and_settle(d, IDOK);
        ASSERT_TRUE(still_open(d));

        type(d, angle_edit, "45");
        type(d, thickness_edit, "35");
        type(d, intensity_edit, "80");
        type(d, radius_edit, "10");
        type(d, length_edit, "90");
        click_and_settle(d, IDOK);
        EXPECT_FALSE(still_open(d));
    });
    ASSERT_EQ(0, r.result);
    spoke_params after = params_from(host_->params_bytes());
    EXPECT_EQ(7, after.spokes);
    EXPECT_EQ(45, after.angle);
    EXPECT_EQ(35, after.thickness);
    EXPECT_EQ(80, after.intensity);
    EXPECT_EQ(10, after.radius);
    EXPECT_EQ(90, after.length);
}

TEST_F(Dialog, ScrollBarsStepAndClamp)
{
    spoke_params before = {3, 4, 8, 0, 20, 50, 0, 2, 1};
    host_->set_params(bytes_of(before));
    run_result r = run_with([&](HWND d) {
        scroll(d, angle_bar, SB_THUMBPOSITION, 355);
        EXPECT_EQ(355, bar_pos(d, angle_bar));
        EXPECT_EQ("355", text_of(d, angle_edit));
        scroll(d, angle_bar, SB_PAGERIGHT);
        EXPECT_EQ(360, bar_pos(d, angle_bar));
        EXPECT_EQ("360", text_of(d, angle_edit));
        scroll(d, angle_bar, SB_PAGERIGHT);
        EXPECT_EQ(360, bar_pos(d, angle_bar));

        scroll(d, spokes_bar, SB_PAGELEFT);
        EXPECT_EQ(5, bar_pos(d, spokes_bar));
        scroll(d, spokes_bar, SB_PAGELEFT);
        EXPECT_EQ(1, bar_pos(d, spokes_bar));
        EXPECT_EQ("1", text_of(d, spokes_edit));
        scroll(d, spokes_bar, SB_PAGELEFT);
        EXPECT_EQ(1, bar_pos(d, spokes_bar));
        scroll(d, spokes_bar, SB_THUMBTRACK, 8);
        scroll(d, spokes_bar, SB_PAGERIGHT);
        EXPECT_EQ(10, bar_pos(d, spokes_bar));
        scroll(d, spokes_bar, SB_RIGHT);
        scroll(d, spokes_bar, SB_PAGERIGHT);
        EXPECT_EQ(50, bar_pos(d, spokes_bar));
        EXPECT_EQ("50", text_of(d, spokes_edit));

        scroll(d, radius_bar, SB_PAGELEFT);
        EXPECT_EQ(0, bar_pos(d, radius_bar));
        scroll(d, radius_bar, SB_RIGHT);
        EXPECT_EQ(100, bar_pos(d, radius_bar));
        scroll(d, radius_bar, SB_LINELEFT);
        EXPECT_EQ(99, bar_pos(d, radius_bar));
        EXPECT_EQ("99", text_of(d, radius_edit));

        scroll(d, length_bar, SB_LINELEFT);  // already at its minimum
        EXPECT_EQ(2, bar_pos(d, length_bar));
        EXPECT_EQ("2", text_of(d, length_edit));
        scroll(d, length_bar, SB_THUMBTRACK, 500);  // clamped into range
        EXPECT_EQ(100, bar_pos(d, length_bar));
        scroll(d, length_bar, SB_ENDSCROLL);
        EXPECT_EQ(100, bar_pos(d, length_bar));

        scroll(d, intensity_bar, SB_LINERIGHT);
        EXPECT_EQ("51", text_of(d, intensity_edit));
        click_and_settle(d, IDOK);
    });
    ASSERT_EQ(0, r.result);
    spoke_params after = params_from(host_->params_bytes());
    EXPECT_EQ(50, after.spokes);
    EXPECT_EQ(360, after.angle);
    EXPECT_EQ(99, after.radius);
    EXPECT_EQ(100, after.length);
    EXPECT_EQ(51, after.intensity);
}

TEST_F(Dialog, EscapeCancelsAndEnterPressesPreview)
{
    spoke_params before = {3, 4, 8, 0, 20, 50, 50, 50, 1};
    host_->set_params(bytes_of(before));
    run_result r = run_with([&](HWND d) {
        // Enter in an edit presses the default button, Preview; with an
        // invalid value that shows as a refusal moving the focus to it.
        type(d, spokes_edit, "0");
        SetFocus(GetDlgItem(d, length_edit));
        press(d, VK_RETURN);
        ASSERT_TRUE(still_open(d)) << "Preview does not end the dialog";
        EXPECT_EQ(GetDlgItem(d, spokes_edit), GetFocus());
        type(d, spokes_edit, "9");
        press(d, VK_RETURN);
        EXPECT_TRUE(still_open(d));
        click_and_settle(d, revert_button);
        EXPECT_TRUE(still_open(d));
        press(d, VK_ESCAPE);
        EXPECT_FALSE(still_open(d));
    });
    EXPECT_EQ(1, r.result);
    spoke_params after = params_from(host_->params_bytes());
    spoke_params expected = before;
    expected.showDialog = 0;
    EXPECT_EQ(bytes_of(expected), bytes_of(after));
}

TEST_F(Dialog, StoredValuesOutOfRangeShowAsInvalidUntilFixed)
{
    spoke_params odd = {0, 0, 500, -7, 20, 50, 50, 50, 1};
    host_->set_params(bytes_of(odd));
    run_result r = run_with([&](HWND d) {
        EXPECT_EQ("500", text_of(d, spokes_edit));
        EXPECT_EQ("-7", text_of(d, angle_edit));
        click_and_settle(d, IDOK);
        ASSERT_TRUE(still_open(d));
        EXPECT_EQ(GetDlgItem(d, angle_edit), GetFocus());
        type(d, spokes_edit, "6");
        type(d, angle_edit, "15");
        click_and_settle(d, IDOK);
        EXPECT_FALSE(still_open(d));
    });
    ASSERT_EQ(0, r.result);
    spoke_params after = params_from(host_->params_bytes());
    EXPECT_EQ(6, after.spokes);
    EXPECT_EQ(15, after.angle);
}
