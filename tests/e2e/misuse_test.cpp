// Hosts that call out of turn or hand back less than they were given: the
// plug-in ends what it cannot do soundly, and touches nothing it was not
// given.
#include "e2e_support.h"
#include "resource.h"

using testhost::host_run;
using testhost::run_request;

namespace {

bool empty(const Rect16& r)
{
    return r.top == 0 && r.left == 0 && r.bottom == 0 && r.right == 0;
}

::testing::AssertionResult nothing_requested(const FilterRecord& r)
{
    if (empty(r.inRect) && empty(r.outRect) && empty(r.maskRect)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "inRect (" << r.inRect.top << "," << r.inRect.left << ","
                                         << r.inRect.bottom << "," << r.inRect.right << ") outRect ("
                                         << r.outRect.top << "," << r.outRect.left << "," << r.outRect.bottom
                                         << "," << r.outRect.right << ") maskRect (" << r.maskRect.top << ","
                                         << r.maskRect.left << "," << r.maskRect.bottom << "," << r.maskRect.right
                                         << ")";
}

run_request selection_request(int32_t max_space)
{
    run_request request;
    request.source = testhost::make_test_image(16, 12, 3);
    request.mask.assign((size_t)16 * 12, 255);
    request.max_space = max_space;
    return request;
}

}  // namespace

// Continue outside a run asks for nothing more and writes nothing: in a
// module that never started, after a start that failed, after a Cancel and
// after finish.
TEST(HostMisuse, ContinueOutsideARunEndsIt)
{
    {
        SCOPED_TRACE("never started");
        OPEN_HOST(host);
        host_run run(host, selection_request(1 << 24));
        host.record().inRect = host.record().outRect = host.record().filterRect;
        EXPECT_EQ(0, run.call(filterSelectorContinue));
        EXPECT_TRUE(nothing_requested(host.record()));
        EXPECT_EQ(run.result().output.pixels, selection_request(1 << 24).source.pixels);
    }
    {
        SCOPED_TRACE("failed start");
        OPEN_HOST(host);
        host_run run(host, selection_request(-1));
        ASSERT_EQ(0, run.call(filterSelectorPrepare));
        ASSERT_EQ(memFullErr, run.call(filterSelectorStart));
        EXPECT_TRUE(nothing_requested(host.record())) << "a failed start leaves nothing requested";
        EXPECT_EQ(0, run.call(filterSelectorContinue));
        EXPECT_TRUE(nothing_requested(host.record()));
    }
    for (bool finished : {false, true}) {
        SCOPED_TRACE(finished ? "cancelled, then finished" : "cancelled");
        OPEN_HOST(host);
        host.set_default_dialog_button(IDCANCEL);
        const run_request request = selection_request(1 << 24);
        host_run run(host, request);
        ASSERT_EQ(0, run.call(filterSelectorPrepare));
        ASSERT_EQ(0, run.call(filterSelectorStart));
        int16_t r = 0;
        for (int n = 0; n < 1000 && r == 0; ++n) r = run.call(filterSelectorContinue);
        ASSERT_EQ(1, r) << "the dialog was cancelled";
        if (finished) {
            ASSERT_EQ(0, run.call(filterSelectorFinish));
        }
        EXPECT_EQ(0, run.call(filterSelectorContinue));
        EXPECT_TRUE(nothing_requested(host.record()));
        EXPECT_EQ(request.source.pixels, run.result().output.pixels) << "no row may be shaded";
    }
}

// Prepare in the middle of a run would resize the working image under the
// blocks planned for it; the run ends there instead, and gives them back.
TEST(HostMisuse, PrepareInTheMiddleOfARunEndsIt)
{
    OPEN_HOST(host);
    host.set_params(custom_params(0));
    run_request request = selection_request(0);
    request.mask.clear();
    request.source = testhost::make_test_image(200, 150, 3);
    request.max_space = 60000;  // a thinned working copy
    host_run run(host, request);
    ASSERT_EQ(0, run.call(filterSelectorPrepare));
    ASSERT_EQ(0, run.call(filterSelectorStart));
    ASSERT_EQ(0, run.call(filterSelectorContinue));
    ASSERT_GT(host.live_blocks(), 0) << "the run holds its working copy";
    EXPECT_EQ(0, run.call(filterSelectorPrepare));
    EXPECT_EQ(0, host.live_blocks());
    EXPECT_EQ(0, host.live_gdi_objects());
    EXPECT_TRUE(nothing_requested(host.record()));
    EXPECT_EQ(0, run.call(filterSelectorContinue));
    EXPECT_TRUE(nothing_requested(host.record()));
    EXPECT_TRUE(run.result().protocol_errors.empty()) << run.result().protocol_errors.front();
}

// A stored record shorter than 20 bytes: the fields it has are used, the
// defaults stand in for the others, and only its own bytes are written.
TEST(HostMisuse, ShortRecordIsReadAndWrittenWithinItsSize)
{
    for (bool heap : {false, true}) {
        SCOPED_TRACE(heap ? "host heap block" : "global block");
        OPEN_HOST(host);
        // Centre (3, 2) and 5 spokes; nothing more.
        const bytes stored = {0x03, 0x00, 0x02, 0x00, 0x05, 0x00};
        uint8_t* heap_block = nullptr;
        if (heap) {
            heap_block = (uint8_t*)HeapAlloc(GetProcessHeap(), 0, stored.size());
            std::memcpy(heap_block, stored.data(), stored.size());
            host.record().parameters = heap_block;
        } else {
            host.set_params(stored);
        }
        std::vector<std::string> shown;
        host.set_dialog_script([&](HWND dialog) {
            for (int id : {IDC_SPOKES_EDIT, IDC_ANGLE_EDIT, IDC_THICKNESS_EDIT, IDC_INTENSITY_EDIT, IDC_RADIUS_EDIT,
                           IDC_LENGTH_EDIT})
                shown.push_back(filter_host::item_text(dialog, id));
            filter_host::set_item_text(dialog, IDC_SPOKES_EDIT, "7");
            filter_host::click(dialog, IDOK);
        });
        run_request request;
        request.source = testhost::make_test_image(40, 30, 3);
        request.menu_run = false;  // the record has no showDialog: the dialog comes as for a new one
        const Handle handle = host.record().parameters;
        testhost::run_result r = host.run_filter(request);
        EXPECT_EQ(0, r.result);
        EXPECT_EQ(handle, host.record().parameters);
        EXPECT_EQ((std::vector<std::string>{"5", "0", "20", "50", "50", "50"}), shown);
        bytes after = heap ? bytes(heap_block, heap_block + stored.size()) : host.params_bytes();
        ASSERT_EQ(stored.size(), after.size());
        EXPECT_EQ(7, after[4]) << "the spokes the user chose are kept";
        EXPECT_EQ(0, after[5]);
        if (heap) {
            EXPECT_EQ(stored.size(), HeapSize(GetProcessHeap(), 0, heap_block));
            EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, nullptr));
            host.record().parameters = nullptr;
            HeapFree(GetProcessHeap(), 0, heap_block);
        }
    }
}
