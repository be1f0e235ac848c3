// Whole runs through the test host's driver, as a host performs them.
#include "e2e_support.h"

namespace {

// A 30 x 20 RGB image with the filter rectangle (top 10, left 20, bottom 14,
// right 26): 6 x 4 pixels away from the image's corner.
testhost::run_request small_request()
{
    testhost::run_request request;
    request.source = testhost::make_test_image(30, 20, 3);
    request.filter_rect = Rect16{10, 20, 14, 26};
    return request;
}

void expect_rect(const Rect16& expected, const Rect16& got)
{
    EXPECT_EQ(expected.top, got.top);
    EXPECT_EQ(expected.left, got.left);
    EXPECT_EQ(expected.bottom, got.bottom);
    EXPECT_EQ(expected.right, got.right);
}

// Every pixel outside the filter rectangle is as it was.
void expect_outside_unchanged(const testhost::run_request& request, const testhost::image& output)
{
    const Rect16& f = request.filter_rect;
    for (int32_t y = 0; y < output.height; ++y)
        for (int32_t x = 0; x < output.width; ++x) {
            if (y >= f.top && y < f.bottom && x >= f.left && x < f.right) continue;
            ASSERT_EQ(0, std::memcmp(request.source.at(x, y), output.at(x, y), 3)) << "pixel " << x << "," << y;
        }
}

std::vector<int16_t> selectors(const testhost::run_result& result)
{
    std::vector<int16_t> list;
    for (const testhost::call_record& call : result.calls) list.push_back(call.selector);
    return list;
}

}  // namespace

// Memory is ample, so the host's buffer serves as the working image: start
// asks for the whole rectangle, one load call, then one call per row.
TEST(WholeRun, RepeatRunFollowsTheRowRequests)
{
    OPEN_HOST(host);
    host.set_params(custom_params(0));
    testhost::run_request request = small_request();
    request.menu_run = false;
    testhost::run_result result = host.run_filter(request);

    EXPECT_TRUE(result.protocol_errors.empty()) << result.protocol_errors.front();
    EXPECT_EQ(0, result.result);
    EXPECT_TRUE(result.finished);
    EXPECT_EQ((std::vector<int16_t>{2, 3, 4, 4, 4, 4, 4, 5}), selectors(result));
    ASSERT_EQ(8u, result.calls.size());
    const Rect16 whole = {10, 20, 14, 26}, empty = {0, 0, 0, 0};
    expect_rect(whole, result.calls[1].in_rect);
    expect_rect(Rect16{10, 20, 11, 26}, result.calls[1].out_rect);
    expect_rect(whole, result.calls[2].in_rect);  // the load call leaves the rectangles alone
    expect_rect(Rect16{10, 20, 11, 26}, result.calls[2].out_rect);
    for (int row = 0; row < 4; ++row) {
        SCOPED_TRACE(row);
        const testhost::call_record& call = result.calls[3 + row];
        EXPECT_EQ((std::vector<std::pair<int32_t, int32_t>>{{row, 4}}), call.progress);
        const bool last = row == 3;
        expect_rect(last ? empty : whole, call.in_rect);
        expect_rect(last ? empty : Rect16{(int16_t)(11 + row), 20, (int16_t)(12 + row), 26}, call.out_rect);
    }
    EXPECT_TRUE(host.dialogs().empty()) << "a repeat run shows no dialog";
    expect_outside_unchanged(request, result.output);
    EXPECT_EQ(custom_params(0), host.params_bytes());
}

TEST(WholeRun, MenuRunShowsDialogOnceAndStoresTheCentre)
{
    OPEN_HOST(host);
    testhost::run_request request = small_request();
    testhost::run_result result = host.run_filter(request);

    EXPECT_TRUE(result.protocol_errors.empty()) << result.protocol_errors.front();
    EXPECT_EQ(0, result.result);
    ASSERT_EQ(1u, host.dialogs().size()) << "the measuring dialog never shows";
    EXPECT_TRUE(host.dialogs()[0].plugin_dialog);
    EXPECT_EQ(host.window(), host.dialogs()[0].owner);
    EXPECT_EQ(4, result.calls[host.dialogs()[0].call_index].selector) << "the dialog runs in a continue call";
    EXPECT_TRUE(host.message_boxes().empty());

    bytes stored = host.params_bytes();
    ASSERT_EQ(20u, stored.size());
    const bytes defaults = default_params();
    EXPECT_EQ(bytes(defaults.begin() + 4, defaults.begin() + 16), bytes(stored.begin() + 4, stored.begin() + 16))
        << "OK without changes keeps the six values";
    EXPECT_EQ(bytes({0, 0, 0, 0}), bytes(stored.begin() + 16, stored.end())) << "showDialog cleared";
    EXPECT_FALSE(stored[0] == 0 && stored[1] == 0 && stored[2] == 0 && stored[3] == 0)
        << "OK stores the centre the dialog showed, not (0, 0)";
    expect_outside_unchanged(request, result.output);
}

TEST(WholeRun, CancelEndsTheRunWithOneAndKeepsTheValues)
{
    OPEN_HOST(host);
    host.set_params(custom_params(1));
    host.set_default_dialog_button(IDCANCEL);
    testhost::run_request request = small_request();
    testhost::run_result result = host.run_filter(request);

    EXPECT_TRUE(result.protocol_errors.empty()) << result.protocol_errors.front();
    EXPECT_EQ(1, result.result);
    EXPECT_EQ(4, result.failed_selector);
    EXPECT_TRUE(result.finished) << "a host still calls finish after a failed continue";
    EXPECT_EQ((std::vector<int16_t>{1, 2, 3, 4, 5}), selectors(result));
    EXPECT_EQ(custom_params(0), host.params_bytes()) << "values kept, showDialog cleared";
    EXPECT_EQ(request.source.pixels, result.output.pixels);
}

// A host that copies the record's bytes after a run and hands them back in a
// heap block: the second, repeated run must apply the stored values without
// a dialog.
TEST(WholeRun, StoredValuesSurviveAHostThatCopiesThem)
{
    OPEN_HOST(host);
    host.set_params_mode(testhost::params_mode::copy_to_heap);
    testhost::run_request request = small_request();
    testhost::run_result first = host.run_filter(request);
    ASSERT_EQ(0, first.result);
    ASSERT_EQ(20u, host.saved_params().size());
    EXPECT_EQ(nullptr, host.record().parameters) << "the host freed the handle after copying it";

    request.menu_run = false;
    testhost::run_result second = host.run_filter(request);
    EXPECT_EQ(0, second.result);
    EXPECT_TRUE(second.protocol_errors.empty()) << second.protocol_errors.front();
    EXPECT_EQ(1u, host.dialogs().size()) << "only the first run showed the dialog";
    EXPECT_EQ(first.output.pixels, second.output.pixels) << "same values, same image";
}

TEST(WholeRun, PaddedInputRowsGiveTheSameImage)
{
    OPEN_HOST(host);
    host.set_params(custom_params(0));
    testhost::run_request request = small_request();
    request.menu_run = false;
    testhost::run_result plain = host.run_filter(request);
    request.in_row_padding = 5;
    testhost::run_result padded = host.run_filter(request);
    EXPECT_EQ(0, plain.result);
    EXPECT_EQ(0, padded.result);
    EXPECT_EQ(plain.output.pixels, padded.output.pixels);
}

TEST(WholeRun, DialogScriptRunsWithTheDialogOnScreen)
{
    OPEN_HOST(host);
    int runs = 0;
    host.set_dialog_script([&](HWND dialog) {
        ++runs;
        EXPECT_TRUE(IsWindowVisible(dialog));
        EXPECT_EQ(host.window(), GetWindow(dialog, GW_OWNER));
        filter_host::pump_messages(20, dialog);  // time may pass while the dialog is up
        filter_host::click(dialog, IDCANCEL);
    });
    testhost::run_result result = host.run_filter(small_request());
    EXPECT_EQ(1, runs);
    EXPECT_EQ(1, result.result);
    ASSERT_EQ(1u, host.dialogs().size());
    EXPECT_FALSE(host.dialogs()[0].left_open);
}

TEST(WholeRun, DialogLeftOpenByTheScriptGetsTheDefaultButton)
{
    OPEN_HOST(host);
    host.set_dialog_script([](HWND) {});
    testhost::run_result result = host.run_filter(small_request());
    EXPECT_EQ(0, result.result);
    ASSERT_EQ(1u, host.dialogs().size());
    EXPECT_TRUE(host.dialogs()[0].left_open);
}

// With a selection the plug-in first reads mask rows, then the image, then
// writes each row once; every request stays inside the filter rectangle.
TEST(WholeRun, SelectionRunReadsMaskRowsFirst)
{
    OPEN_HOST(host);
    host.set_params(custom_params(0));
    testhost::run_request request = small_request();
    request.menu_run = false;
    request.with_display_pixels = true;
    request.mask.assign((size_t)request.source.width * request.source.height, 255);
    testhost::run_result result = host.run_filter(request);

    EXPECT_TRUE(result.protocol_errors.empty()) << result.protocol_errors.front();
    EXPECT_EQ(0, result.result);
    ASSERT_TRUE(result.finished);
    const Rect16& f = request.filter_rect;
    bool mask_phase_over = false;
    int mask_calls = 0;
    for (size_t i = 1; i + 1 < result.calls.size(); ++i) {  // start and the continue calls
        const testhost::call_record& call = result.calls[i];
        const bool masking = call.mask_rect.right != 0;
        if (masking) {
            EXPECT_FALSE(mask_phase_over) << "call " << i << " asks for mask rows again";
            EXPECT_GE(call.mask_rect.top, f.top);
            EXPECT_LE(call.mask_rect.bottom, f.bottom);
            EXPECT_EQ(f.left, call.mask_rect.left);
            EXPECT_EQ(f.right, call.mask_rect.right);
            ++mask_calls;
        } else {
            mask_phase_over = true;
        }
    }
    EXPECT_GT(mask_calls, 0);
    std::vector<std::pair<int32_t, int32_t>> expected;
    for (int32_t row = 0; row < 4; ++row) expected.emplace_back(row, 4);
    EXPECT_EQ(expected, result.progress) << "each row once, in order";
    EXPECT_TRUE(host.dialogs().empty());
    expect_outside_unchanged(request, result.output);
}
