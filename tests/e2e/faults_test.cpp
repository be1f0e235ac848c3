// Failures a host or the system brings about: allocations, class
// registrations and dialogs that fail, and a host that unloads the plug-in
// between any two calls.  After each, nothing of the run may be left held,
// and the next run in the same host must work.
#include <algorithm>

#include "e2e_support.h"
#include "run_oracle.h"

using testhost::fault_plan;
using testhost::plugin_host;
using testhost::run_request;
using testhost::run_result;

namespace {

const char big_warning[] = "Error while registering big class. Restart host.";
const char small_warning[] = "Error while registering small class. Restart host.";

// Nothing of a run is held: no global block (the host's parameters handle
// aside), no GDI object, no preview class in the module's instance.  The
// module may be unloaded by now; its classes are looked up by its address.
::testing::AssertionResult nothing_held(const plugin_host& host, HMODULE module)
{
    std::string held;
    if (host.live_blocks() != 0) held += " " + std::to_string(host.live_blocks()) + " blocks;";
    if (host.live_gdi_objects() != 0) held += " " + std::to_string(host.live_gdi_objects()) + " GDI objects;";
    if (class_registered(module, "big_view")) held += " class big_view;";
    if (class_registered(module, "small_view")) held += " class small_view;";
    if (host.counts().foreign_frees != 0) held += " frees of objects it did not make;";
    if (held.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "left behind:" << held;
}

// A selection that covers the middle of the image.
std::vector<uint8_t> middle_selection(int32_t width, int32_t height)
{
    std::vector<uint8_t> mask((size_t)width * height, 0);
    for (int32_t y = height / 4; y < height * 3 / 4; ++y)
        for (int32_t x = width / 4; x < width * 3 / 4; ++x) mask[(size_t)y * width + x] = 255;
    return mask;
}

// A menu run that needs every kind of block: a selection, no displayPixels
// (so the plug-in draws through its own DIB buffer) and too little memory for
// the whole image (so it keeps a thinned working copy).
run_request every_block_request()
{
    run_request request;
    request.source = testhost::make_test_image(200, 150, 3);
    request.mask = middle_selection(200, 150);
    request.max_space = 64000;
    return request;
}

// A small menu run with a selection, for stepping through call by call.
// Memory is short, so the working image is thinned by 2 and the load phase
// takes several calls.
run_request small_selection_request()
{
    run_request request;
    request.source = testhost::make_test_image(12, 9, 3);
    request.mask = middle_selection(12, 9);
    // Measured with a host of its own: call it while no other host exists.
    static int32_t max_space = 0;
    if (max_space == 0) {
        plugin_host host(plugin_path());
        int16_t width = 0, height = 0;
        if (host.loaded()) measure_big_view(host, &width, &height);
        for (int32_t m = 0; width > 0 && m < (1 << 20) && max_space == 0; m += 16)
            if (plan_for(width, height, whole(request.source), plugInModeRGBColor, m, true).factor == 2)
                max_space = m;
    }
    request.max_space = max_space;
    return request;
}

// A run that must simply work, with nothing said and nothing left.
void expect_clean_run(plugin_host& host, const run_request& request)
{
    host.clear_log();
    host.set_fault_plan(fault_plan());
    run_result r = host.run_filter(request);
    EXPECT_EQ(0, r.result) << "selector " << r.failed_selector;
    EXPECT_TRUE(r.finished);
    EXPECT_TRUE(r.protocol_errors.empty()) << r.protocol_errors.front();
    EXPECT_TRUE(host.message_boxes().empty()) << host.message_boxes().front().text;
    EXPECT_TRUE(nothing_held(host, host.module()));
}

// The calls a plug-in makes of one import in a run without faults.
int calls_in_run(const run_request& request, bool with_record, int testhost::import_counts::*counter)
{
    plugin_host host(plugin_path());
    if (!host.loaded()) return 0;
    if (with_record) host.set_params(custom_params(0));
    host.set_fault_plan(fault_plan());
    host.run_filter(request);
    return host.counts().*counter;
}

// Fails call n of one import in a run, for every n the run reaches; checks
// the result, that nothing is left, and that the next run works.
void fail_each_call(const run_request& request, bool with_record, int fault_plan::*point,
                    int testhost::import_counts::*counter, const std::vector<int16_t>& allowed_results)
{
    const int total = calls_in_run(request, with_record, counter);
    ASSERT_GT(total, 0);
    for (int n = 1; n <= total; ++n) {
        SCOPED_TRACE("failing call " + std::to_string(n) + " of " + std::to_string(total));
        OPEN_HOST(host);
        ASSERT_TRUE(host.imports_redirected());
        if (with_record) host.set_params(custom_params(0));
        fault_plan plan;
        plan.*point = n;
        host.set_fault_plan(plan);
        run_result r = host.run_filter(request);
        EXPECT_NE(allowed_results.end(), std::find(allowed_results.begin(), allowed_results.end(), r.result))
            << "result " << r.result << " from selector " << r.failed_selector;
        EXPECT_TRUE(nothing_held(host, host.module()));
        EXPECT_TRUE(r.protocol_errors.empty()) << r.protocol_errors.front();
        run_request again = request;
        again.menu_run = true;
        expect_clean_run(host, again);
    }
}

}  // namespace

// --- allocations ---------------------------------------------------------------------

TEST(FaultInjection, EveryAllocationOfAMenuRun)
{
    fail_each_call(every_block_request(), false, &fault_plan::global_alloc, &testhost::import_counts::global_alloc,
                   {0, memFullErr});
}

TEST(FaultInjection, EveryAllocationOfARepeatRun)
{
    run_request request = every_block_request();
    request.menu_run = false;
    fail_each_call(request, true, &fault_plan::global_alloc, &testhost::import_counts::global_alloc,
                   {0, memFullErr});
}

// The record is the first block a first start makes.  When it cannot be made
// the start fails with out of memory, and neither the record nor the preview
// classes may survive it: a host that reloads the plug-in (at the same
// address) must be able to run it at once.
TEST(FaultInjection, RecordAllocationFailsThenHostReloads)
{
    OPEN_HOST(host);
    image_record(host);
    fault_plan plan;
    plan.global_alloc = 1;
    host.set_fault_plan(plan);
    ASSERT_EQ(0, host.call(filterSelectorPrepare));
    EXPECT_EQ(memFullErr, host.call(filterSelectorStart));
    EXPECT_EQ(nullptr, host.record().parameters);
    const HMODULE module = host.module();
    EXPECT_TRUE(nothing_held(host, module));
    host.unload();
    ASSERT_TRUE(host.load()) << host.load_error();
    expect_clean_run(host, every_block_request());
}

// The GDI objects of a run are made at start: the marker bitmap always, the
// ants bitmap and its device context with a selection.  Without the marker
// the run goes on; without the ants the start fails.
TEST(FaultInjection, EveryGdiObjectOfAStart)
{
    run_request request = every_block_request();
    request.menu_run = false;  // no dialog: its paints make short-lived ones
    fail_each_call(request, true, &fault_plan::gdi_object, &testhost::import_counts::gdi_object, {0, memFullErr});
}

// --- window classes -------------------------------------------------------------------

TEST(FaultInjection, ClassRegistrationFailsThenNextRunWorks)
{
    const run_request request = small_selection_request();
    for (int n : {1, 2}) {
        SCOPED_TRACE(n == 1 ? "big_view" : "small_view");
        OPEN_HOST(host);
        fault_plan plan;
        plan.register_class = n;
        host.set_fault_plan(plan);
        run_result r = host.run_filter(request);
        EXPECT_EQ(1, r.result);
        EXPECT_EQ(filterSelectorStart, r.failed_selector);
        expect_warning(host, n == 1 ? big_warning : small_warning);
        EXPECT_EQ(nullptr, host.record().parameters) << "the failed start makes no record";
        EXPECT_TRUE(nothing_held(host, host.module()));
        // In the same loaded module, and after a reload.
        expect_clean_run(host, request);
        host.set_fault_plan(plan);
        host.run_filter(request);
        host.unload();
        ASSERT_TRUE(host.load()) << host.load_error();
        expect_clean_run(host, request);
    }
}

// Classes of ours that an earlier load at the same address left registered
// are taken over, without a warning.
TEST(FaultInjection, ClassesLeftByAnEarlierLoadAreTakenOver)
{
    const run_request request = small_selection_request();
    OPEN_HOST(host);
    const HMODULE module = host.module();
    for (const char* name : {"big_view", "small_view"}) {
        UnregisterClassA(name, module);
        WNDCLASSA wc = {};
        wc.lpfnWndProc = (WNDPROC)(void*)GetProcAddress(
            module, std::strcmp(name, "big_view") == 0 ? "big_procedure" : "small_procedure");
        wc.hInstance = module;
        wc.lpszClassName = name;
        ASSERT_NE(0, RegisterClassA(&wc));
    }
    expect_clean_run(host, request);
    EXPECT_EQ(1u, host.dialogs().size());
}

// --- dialogs ---------------------------------------------------------------------------

// The first dialog of a run only measures the preview area; when it cannot be
// made the start fails.  The second is the real dialog; when it cannot be
// made the run ends as if cancelled.
TEST(FaultInjection, DialogCannotBeCreated)
{
    const run_request request = small_selection_request();
    for (int n : {1, 2}) {
        SCOPED_TRACE(n == 1 ? "measuring dialog" : "parameters dialog");
        OPEN_HOST(host);
        fault_plan plan;
        plan.dialog_box = n;
        host.set_fault_plan(plan);
        run_result r = host.run_filter(request);
        EXPECT_EQ(n == 1 ? memFullErr : 1, r.result);
        EXPECT_EQ(n == 1 ? filterSelectorStart : filterSelectorContinue, r.failed_selector);
        EXPECT_TRUE(host.message_boxes().empty());
        EXPECT_TRUE(nothing_held(host, host.module()));
        expect_clean_run(host, request);
    }
}

// --- unloading -----------------------------------------------------------------------

// A host that drops a run after any call and unloads the plug-in (it
// crashed, or the document was closed) gets everything back, and the
// reloaded plug-in runs at once.  A repeat run holds its blocks from start
// to the end of the load phase too.
TEST(FaultInjection, UnloadBetweenAnyTwoCalls)
{
    for (bool menu : {true, false}) {
        SCOPED_TRACE(menu ? "menu run" : "repeat run");
        run_request request = small_selection_request();
        request.menu_run = menu;
        int total = 0;
        {
            OPEN_HOST(host);
            if (!menu) host.set_params(custom_params(0));
            run_result r = host.run_filter(request);
            ASSERT_EQ(0, r.result);
            total = (int)r.calls.size();
        }
        ASSERT_GT(total, 20);
        for (int after = 1; after < total; ++after) {
            // Every call of the first and last stretch, and a sample between
            // (the selection calls, most of them, are all alike).
            if (after > 12 && after < total - 12 && after % 20 != 0) continue;
            SCOPED_TRACE("unloaded after call " + std::to_string(after) + " of " + std::to_string(total));
            OPEN_HOST(host);
            if (!menu) host.set_params(custom_params(0));
            run_request dropped = request;
            dropped.stop_after_calls = after;
            run_result r = host.run_filter(dropped);
            EXPECT_EQ(0, r.result);
            EXPECT_FALSE(r.finished);
            const HMODULE module = host.module();
            host.unload();
            EXPECT_TRUE(nothing_held(host, module));
            ASSERT_TRUE(host.load()) << host.load_error();
            // The record stays; a run without the dialog shows that the
            // reloaded module registers, measures and runs as before.
            host.set_params(custom_params(0));
            run_request again = request;
            again.menu_run = false;
            expect_clean_run(host, again);
        }
    }
}
