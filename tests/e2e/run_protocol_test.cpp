// Whole filter runs through the real plug-in of the program's bitness: the
// request rectangles call by call, progress, subsampled loading, padded host
// rows, Cancel, repeated runs, and runs that must end in out-of-memory.
#include <gtest/gtest.h>

#include <climits>

#include "run_oracle.h"
#include "testhost.h"
#include "wine_main.h"

using testhost::call_record;
using testhost::image;
using testhost::plugin_host;
using testhost::run_request;
using testhost::run_result;

namespace {

bool same_rect(const Rect16& a, const Rect16& b)
{
    return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}

::testing::AssertionResult rect_is(const Rect16& actual, int16_t top, int16_t left, int16_t bottom, int16_t right)
{
    if (same_rect(actual, Rect16{top, left, bottom, right})) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "rect (" << actual.top << ", " << actual.left << ", " << actual.bottom
                                         << ", " << actual.right << "), expected (" << top << ", " << left << ", "
                                         << bottom << ", " << right << ")";
}

std::vector<call_record> calls_of(const run_result& r, int16_t selector)
{
    std::vector<call_record> out;
    for (const call_record& c : r.calls)
        if (c.selector == selector) out.push_back(c);
    return out;
}

class RunProtocol : public ::testing::Test {
protected:
    void SetUp() override
    {
        host_.reset(new plugin_host(plugin_path()));
        ASSERT_TRUE(host_->loaded()) << host_->load_error();
        measure_big_view(*host_, &measured_width_, &measured_height_);
        ASSERT_GT(measured_width_, 0);
        ASSERT_GT(measured_height_, 0);
    }

    // Checks the run's output against the per-pixel rule with the values the
    // record holds after the run.
    void expect_output_shaded(const run_request& rq, const run_result& r, const reference::run_plan& plan,
                              bool visible = true)
    {
        Rect16 filter = rq.filter_rect;
        if (filter.bottom == 0 && filter.right == 0) filter = whole(rq.source);
        spoke_params p = params_from(host_->params_bytes());
        image expected = expected_output(rq.source, filter, rq.image_mode, p, plan);
        ASSERT_EQ(expected.pixels.size(), r.output.pixels.size());
        size_t differing = 0;
        for (size_t i = 0; i < expected.pixels.size(); i++) differing += expected.pixels[i] != r.output.pixels[i];
        EXPECT_EQ(0u, differing) << "bytes differing from the per-pixel rule";
        if (visible) {
            EXPECT_NE(rq.source.pixels, r.output.pixels) << "nothing was shaded";
        }
    }

    std::unique_ptr<plugin_host> host_;
    int16_t measured_width_ = 0, measured_height_ = 0;
};

}  // namespace

TEST_F(RunProtocol, RectanglesCallByCallWithoutSelection)
{
    run_request rq;
    rq.source = testhost::make_test_image(40, 30, 3);
    rq.filter_rect = Rect16{10, 20, 14, 26};  // 6 x 4
    run_result r = host_->run_filter(rq);
    ASSERT_EQ(0, r.result);
    EXPECT_TRUE(r.protocol_errors.empty()) << r.protocol_errors.front();
    EXPECT_TRUE(r.finished);

    std::vector<call_record> start = calls_of(r, filterSelectorStart);
    ASSERT_EQ(1u, start.size());
    EXPECT_TRUE(rect_is(start[0].in_rect, 10, 20, 14, 26));
    EXPECT_TRUE(rect_is(start[0].out_rect, 10, 20, 11, 26));
    EXPECT_EQ(0, start[0].in_lo_plane);
    EXPECT_EQ(2, start[0].in_hi_plane);
    EXPECT_EQ(0, start[0].out_lo_plane);
    EXPECT_EQ(2, start[0].out_hi_plane);

    std::vector<call_record> cont = calls_of(r, filterSelectorContinue);
    ASSERT_EQ(5u, cont.size());
    // The load call: the whole rectangle arrives, the dialog runs.
    EXPECT_TRUE(rect_is(cont[0].in_rect, 10, 20, 14, 26));
    EXPECT_TRUE(rect_is(cont[0].out_rect, 10, 20, 11, 26));
    EXPECT_TRUE(cont[0].progress.empty());
    for (int j = 0; j < 4; j++) {
        const call_record& c = cont[1 + j];
        ASSERT_EQ(1u, c.progress.size()) << "apply call " << j;
        EXPECT_EQ(j, c.progress[0].first);
        EXPECT_EQ(4, c.progress[0].second);
        if (j < 3) {
            EXPECT_TRUE(rect_is(c.in_rect, 10, 20, 14, 26));
            EXPECT_TRUE(rect_is(c.out_rect, (int16_t)(11 + j), 20, (int16_t)(12 + j), 26));
        } else {
            EXPECT_TRUE(rect_is(c.in_rect, 0, 0, 0, 0));
            EXPECT_TRUE(rect_is(c.out_rect, 0, 0, 0, 0));
        }
    }
    ASSERT_EQ(1u, host_->dialogs().size());
    EXPECT_TRUE(host_->dialogs()[0].plugin_dialog);
    EXPECT_EQ(host_->window(), host_->dialogs()[0].owner);

    reference::run_plan plan = plan_for(measured_width_, measured_height_, rq.filter_rect, rq.image_mode, rq.max_space, false);
    EXPECT_EQ(1, plan.factor);
    // Six pixels wide, the default spokes are thinner than a pixel here.
    expect_output_shaded(rq, r, plan, false);
}

TEST_F(RunProtocol, OkWithoutMovingTheCentreStoresThePreviewCentre)
{
    run_request rq;
    rq.source = testhost::make_test_image(90, 50, 3);
    run_result r = host_->run_filter(rq);
    ASSERT_EQ(0, r.result);
    reference::run_plan plan = plan_for(measured_width_, measured_height_, whole(rq.source), rq.image_mode, rq.max_space, false);
    spoke_params p = params_from(host_->params_bytes());
    EXPECT_EQ(reference::centre_to_full(plan.preview.width / 2, plan.preview.image_scale), p.saved_centre_x);
    EXPECT_EQ(reference::centre_to_full(plan.preview.height / 2, plan.preview.image_scale), p.saved_centre_y);
    EXPECT_NE(0, p.saved_centre_x);
    EXPECT_EQ(8, p.spokes);
    EXPECT_EQ(0, p.showDialog);
    expect_output_shaded(rq, r, plan);
}

TEST_F(RunProtocol, SmallBudgetThinsTheWorkingImage)
{
    run_request rq;
    rq.source = testhost::make_test_image(40, 30, 3);
    rq.filter_rect = Rect16{2, 3, 28, 35};  // 32 x 26, rows of 96 bytes
    // Reserve (97 * 32 + 26 + 2000) and margin 4352 leave a budget of 1500:
    // too little for the whole rectangle, enough at half size.
    rq.max_space = 1500 + 97 * 32 + 26 + 2000 + 4352;
    reference::run_plan plan = plan_for(measured_width_, measured_height_, rq.filter_rect, rq.image_mode, rq.max_space, false);
    ASSERT_EQ(2, plan.factor);
    ASSERT_EQ(13, plan.working_height);

    run_result r = host_->run_filter(rq);
    ASSERT_EQ(0, r.result);
    EXPECT_TRUE(r.protocol_errors.empty()) << r.protocol_errors.front();
    std::vector<call_record> start = calls_of(r, filterSelectorStart);
    ASSERT_EQ(1u, start.size());
    EXPECT_TRUE(rect_is(start[0].in_rect, 2, 3, 3, 35));
    EXPECT_TRUE(rect_is(start[0].out_rect, 2, 3, 3, 35));

    std::vector<call_record> cont = calls_of(r, filterSelectorContinue);
    ASSERT_EQ((size_t)(13 + 26), cont.size());
    for (int i = 0; i < 12; i++)  // every f-th row is asked for
        EXPECT_TRUE(rect_is(cont[i].in_rect, (int16_t)(2 + 2 * (i + 1)), 3, (int16_t)(3 + 2 * (i + 1)), 35)) << i;
    // The last load call runs the dialog and asks for the first row again.
    EXPECT_TRUE(rect_is(cont[12].in_rect, 2, 3, 3, 35));
    EXPECT_TRUE(rect_is(cont[12].out_rect, 2, 3, 3, 35));
    for (int j = 0; j < 26; j++) {
        const call_record& c = cont[13 + j];
        ASSERT_EQ(1u, c.progress.size());
        EXPECT_EQ(j, c.progress[0].first);
        EXPECT_EQ(26, c.progress[0].second);
        if (j < 25) {
            EXPECT_TRUE(rect_is(c.out_rect, (int16_t)(3 + j), 3, (int16_t)(4 + j), 35)) << j;
            EXPECT_TRUE(same_rect(c.in_rect, c.out_rect)) << "inRect follows outRect";
        } else {
            EXPECT_TRUE(rect_is(c.out_rect, 0, 0, 0, 0));
            EXPECT_TRUE(rect_is(c.in_rect, 0, 0, 0, 0));
        }
    }
    expect_output_shaded(rq, r, plan);
}

TEST_F(RunProtocol, PaddedHostRowsAreReadAtTheHostStride)
{
    for (int planes : {1, 3, 4}) {
        run_request rq;
        rq.source = testhost::make_test_image(57, 41, planes);
        rq.image_mode = planes == 1 ? plugInModeGrayScale : planes == 4 ? plugInModeCMYKColor : plugInModeRGBColor;
        rq.in_row_padding = 13;
        rq.filter_rect = Rect16{3, 5, 40, 50};
        run_result r = host_->run_filter(rq);
        ASSERT_EQ(0, r.result) << planes;
        reference::run_plan plan =
            plan_for(measured_width_, measured_height_, rq.filter_rect, rq.image_mode, rq.max_space, false);
        expect_output_shaded(rq, r, plan);
        host_->free_params();
    }
}

TEST_F(RunProtocol, CancelKeepsTheStoredValues)
{
    spoke_params before = {7, 9, 12, 30, 40, 60, 20, 70, 0};
    host_->set_params(bytes_of(before));
    host_->set_default_dialog_button(IDCANCEL);
    run_request rq;
    rq.source = testhost::make_test_image(30, 20, 3);
    run_result r = host_->run_filter(rq);
    EXPECT_EQ(1, r.result);
    EXPECT_EQ(filterSelectorContinue, r.failed_selector);
    std::vector<call_record> cont = calls_of(r, filterSelectorContinue);
    ASSERT_EQ(1u, cont.size());
    EXPECT_TRUE(rect_is(cont[0].out_rect, 0, 0, 1, 30));
    spoke_params after = params_from(host_->params_bytes());
    spoke_params expected = before;
    expected.showDialog = 0;
    EXPECT_EQ(bytes_of(expected), bytes_of(after));
    EXPECT_EQ(rq.source.pixels, r.output.pixels);
}

TEST_F(RunProtocol, RepeatedRunAppliesStoredValuesWithoutDialog)
{
    spoke_params stored = {40, 25, 5, 45, 60, 80, 10, 60, 0};
    host_->set_params(bytes_of(stored));
    run_request rq;
    rq.source = testhost::make_test_image(80, 50, 4);
    rq.image_mode = plugInModeCMYKColor;
    rq.menu_run = false;
    run_result r = host_->run_filter(rq);
    ASSERT_EQ(0, r.result);
    EXPECT_TRUE(host_->dialogs().empty());
    EXPECT_EQ(bytes_of(stored), host_->params_bytes());
    reference::run_plan plan = plan_for(measured_width_, measured_height_, whole(rq.source), rq.image_mode, rq.max_space, false);
    expect_output_shaded(rq, r, plan);
}

TEST_F(RunProtocol, RepeatedRunFromAHostThatRebuildsTheRecordOnItsHeap)
{
    host_->set_params_mode(testhost::params_mode::copy_to_heap);
    run_request rq;
    rq.source = testhost::make_test_image(64, 48, 3);
    run_result first = host_->run_filter(rq);
    ASSERT_EQ(0, first.result);
    ASSERT_EQ(20u, host_->saved_params().size());
    spoke_params saved = params_from(host_->saved_params());
    EXPECT_EQ(0, saved.showDialog);

    host_->clear_log();
    rq.menu_run = false;
    run_result second = host_->run_filter(rq);
    ASSERT_EQ(0, second.result);
    EXPECT_TRUE(host_->dialogs().empty());
    EXPECT_EQ(first.output.pixels, second.output.pixels);
}

TEST_F(RunProtocol, NoMemoryForAnyFactorEndsStartCleanly)
{
    for (int32_t max_space : {100, 0, -5000, INT32_MIN}) {
        run_request rq;
        rq.source = testhost::make_test_image(100, 100, 3);
        rq.max_space = max_space;
        run_result r = host_->run_filter(rq);
        EXPECT_EQ(memFullErr, r.result) << max_space;
        EXPECT_EQ(filterSelectorStart, r.failed_selector);
        WNDCLASSEXA info = {};
        info.cbSize = sizeof info;
        EXPECT_FALSE(GetClassInfoExA(host_->module(), "big_view", &info)) << "classes left registered";
        EXPECT_FALSE(GetClassInfoExA(host_->module(), "small_view", &info));
        // A host that calls finish anyway finds nothing left to do.
        EXPECT_EQ(0, host_->call(filterSelectorFinish));
    }
    // And the next run works.
    run_request rq;
    rq.source = testhost::make_test_image(20, 20, 3);
    EXPECT_EQ(0, host_->run_filter(rq).result);
}

TEST_F(RunProtocol, OnePixelImage)
{
    run_request rq;
    rq.source = testhost::make_test_image(1, 1, 3);
    rq.menu_run = false;
    spoke_params p = default_record();
    p.showDialog = 0;
    host_->set_params(bytes_of(p));
    run_result r = host_->run_filter(rq);
    ASSERT_EQ(0, r.result);
    EXPECT_EQ(2, r.continue_calls);  // one load call, one row
}

TEST_F(RunProtocol, StoredValuesOutsideTheDialogRangesStillRun)
{
    const spoke_params odd[] = {
        {-20, 5000, 0, 1000, -5, 300, 32767, -32768, 0},
        {10, 10, 200, -45, 32767, -1, -50, 32767, 0},
        {32767, -32768, -3, 361, 4, 101, 100, 1, 0},
    };
    for (const spoke_params& stored : odd) {
        host_->set_params(bytes_of(stored));
        run_request rq;
        rq.source = testhost::make_test_image(70, 40, 3);
        rq.menu_run = false;
        run_result r = host_->run_filter(rq);
        ASSERT_EQ(0, r.result);
        reference::run_plan plan =
            plan_for(measured_width_, measured_height_, whole(rq.source), rq.image_mode, rq.max_space, false);
        spoke_params p = params_from(host_->params_bytes());
        image expected = expected_output(rq.source, whole(rq.source), rq.image_mode, p, plan);
        EXPECT_EQ(expected.pixels, r.output.pixels);
    }
}

// The largest rectangle the interface can describe: planned without touching
// memory it did not ask for, in every pixel size.
TEST_F(RunProtocol, LargestFilterRectanglePlansAFactor)
{
    struct {
        int16_t mode;
        int32_t max_space;
        int16_t factor;
    } cases[] = {
        {plugInModeCMYKColor, 1 << 30, 3},
        {plugInModeCMYKColor, INT32_MAX, 2},
        {plugInModeRGBColor, 1 << 30, 2},
        {plugInModeGrayScale, 1 << 28, 3},
    };
    for (const auto& c : cases) {
        spoke_params p = default_record();
        p.showDialog = 0;
        host_->set_params(bytes_of(p));
        host_->reset_record(0);
        FilterRecord& rec = host_->record();
        rec.imageMode = c.mode;
        rec.imageSize = Point16{32767, 32767};
        rec.filterRect = Rect16{0, 0, 32767, 32767};
        rec.maxSpace = c.max_space;
        rec.platformData = &host_->platform();
        ASSERT_EQ(0, host_->call(filterSelectorPrepare));
        ASSERT_EQ(0, host_->call(filterSelectorStart)) << c.mode << " " << c.max_space;
        EXPECT_TRUE(rect_is(rec.inRect, 0, 0, 1, 32767));
        // One load call with the first row shows the factor in the next request.
        int bpp = c.mode == plugInModeCMYKColor ? 4 : c.mode == plugInModeGrayScale ? 1 : 3;
        std::vector<uint8_t> row((size_t)32767 * bpp, 0x40), out((size_t)32767 * bpp, 0);
        rec.inData = row.data();
        rec.inRowBytes = (int32_t)row.size();
        rec.outData = out.data();
        ASSERT_EQ(0, host_->call(filterSelectorContinue));
        if (sizeof(void*) == 8) {
            EXPECT_EQ(c.factor, rec.inRect.top) << c.mode << " " << c.max_space;
        } else {
            // A 32-bit process may find no room for a working copy of most of
            // a gigabyte in its 2 GB of address space; the plug-in then thins
            // one step further.
            EXPECT_GE(rec.inRect.top, c.factor) << c.mode << " " << c.max_space;
            EXPECT_LE(rec.inRect.top, c.factor + 1) << c.mode << " " << c.max_space;
        }
        EXPECT_EQ(0, host_->call(filterSelectorFinish));
        rec.inData = rec.outData = nullptr;
    }
}

// With the host's buffer serving, the single load call takes the whole
// rectangle however tall it is; the next call already shades row 0.
TEST_F(RunProtocol, TallestRectangleLoadsInOneCall)
{
    spoke_params p = default_record();
    p.showDialog = 0;
    host_->set_params(bytes_of(p));
    host_->reset_record(0);
    FilterRecord& rec = host_->record();
    rec.imageMode = plugInModeRGBColor;
    rec.imageSize = Point16{32767, 2};
    rec.filterRect = Rect16{0, 0, 32767, 2};
    rec.maxSpace = 1 << 30;
    rec.platformData = &host_->platform();
    rec.progressProc = nullptr;
    std::vector<uint8_t> in((size_t)32767 * 6, 0x33), out(6, 0);
    ASSERT_EQ(0, host_->call(filterSelectorPrepare));
    ASSERT_EQ(0, host_->call(filterSelectorStart));
    EXPECT_TRUE(rect_is(rec.inRect, 0, 0, 32767, 2));
    rec.inData = in.data();
    rec.inRowBytes = 6;
    rec.outData = out.data();
    ASSERT_EQ(0, host_->call(filterSelectorContinue));
    EXPECT_TRUE(rect_is(rec.outRect, 0, 0, 1, 2));
    ASSERT_EQ(0, host_->call(filterSelectorContinue));
    EXPECT_TRUE(rect_is(rec.outRect, 1, 0, 2, 2)) << "the second call must already be an apply call";
    EXPECT_EQ(0, host_->call(filterSelectorFinish));
    rec.inData = rec.outData = nullptr;
}

namespace {

// Bytes in use on the process heap, where global memory blocks live.
size_t heap_bytes_in_use()
{
    size_t total = 0;
    HANDLE heap = GetProcessHeap();
    HeapLock(heap);
    PROCESS_HEAP_ENTRY entry = {};
    while (HeapWalk(heap, &entry))
        if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += entry.cbData;
    HeapUnlock(heap);
    return total;
}

}  // namespace

// A host that starts twice without finishing must not lose the first
// start's blocks: here a working copy of several megabytes.
TEST_F(RunProtocol, StartingAgainWithoutFinishLeaksNothing)
{
    spoke_params p = default_record();
    p.showDialog = 0;
    host_->set_params(bytes_of(p));
    host_->reset_record(0);
    FilterRecord& rec = host_->record();
    rec.imageMode = plugInModeRGBColor;
    rec.imageSize = Point16{2000, 2000};
    rec.filterRect = Rect16{0, 0, 2000, 2000};
    // Too little for the whole 12 MB rectangle, enough at half size.
    rec.maxSpace = 4 * 1000 * 1000 + (6001 * 32 + 2000 + 2000) + 4352;
    rec.platformData = &host_->platform();
    ASSERT_EQ(0, host_->call(filterSelectorPrepare));
    ASSERT_EQ(0, host_->call(filterSelectorStart));
    ASSERT_EQ(0, host_->call(filterSelectorFinish));
    size_t before = heap_bytes_in_use();
    ASSERT_EQ(0, host_->call(filterSelectorStart));
    EXPECT_TRUE(rect_is(rec.inRect, 0, 0, 1, 2000)) << "the working image is thinned";
    ASSERT_EQ(0, host_->call(filterSelectorStart));
    ASSERT_EQ(0, host_->call(filterSelectorFinish));
    size_t after = heap_bytes_in_use();
    EXPECT_LT(after, before + 64 * 1024) << "before " << before << ", after " << after;
}
