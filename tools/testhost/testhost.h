// The test host: the filter host (tools/filter_host), which loads the plug-in,
// keeps the host's records and handles the plug-in's windows, plus what only
// tests need.  Test programs link it; glimmora-host.exe never does.
//
// What it adds for a test:
//
//  * A log of every entry call: selector, result, the rectangles and planes
//    the plug-in left in the FilterRecord, its progress reports, its time.
//
//  * run_filter() performs a whole run like a host: parameters (for a menu
//    run), prepare, start, continue while a request rectangle is non-empty, and
//    finish.  It hands over the pixels of the requested rectangles before each
//    continue call and copies the output back after it.  It records every call,
//    the rectangles the plug-in left, progress reports and displayPixels calls,
//    and checks that the plug-in wrote no host-owned part of the FilterRecord
//    (and set the parameters handle only where there was none).
//    Each buffer it hands over ends right at an inaccessible page, so reading
//    or writing past the requested rows faults at once.  Requests a host
//    would refuse (outside the image, a mask without a selection, endless
//    runs) get no data and are listed in run_result::protocol_errors.
//    host_run drives one such run call by call, for the random host.
//
//  * The parameters handle outlives a run like a host keeps it, in one of two
//    ways (params_mode): the handle itself stays in the record, or its bytes
//    are copied after a successful run and handed back in a fresh HeapAlloc
//    block on the next run, as some hosts do.
//
//  * A watchdog ends the process with a message when one plug-in call takes
//    longer than the call timeout (30 s by default), so a broken plug-in
//    fails the test instead of hanging it.
//
//  * Fault injection and accounting: right after loading, the host points some
//    of the plug-in's imports (its import address table entries for
//    GlobalAlloc, GlobalFree, RegisterClassA, DialogBoxParamA, CreateBitmap,
//    CreateCompatibleDC, DeleteObject, DeleteDC) at wrappers of its own.
//    They count the calls, keep account of the blocks and GDI objects the
//    plug-in holds, and fail a chosen call the way Windows does (null, 0 or
//    -1 with the last error set).  Without a fault plan they only count.
//
// Each plugin_host loads the module itself and frees it when destroyed, so a
// test that makes its own host starts with the plug-in's globals fresh.
// unload() and load() free and load the module again between any two calls,
// keeping the host's records, as hosts do between runs (or when a document
// closes in the middle of one).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "filter_host/dialog_driver.h"
#include "filter_host/plugin_host.h"
#include "filter_host/process.h"
#include "state/host_interface.h"

namespace testhost {

// --- the call log --------------------------------------------------------------

struct call_record {
    int16_t selector = 0;
    int16_t result = 0;
    // The FilterRecord's rectangles and planes as the plug-in left them
    // (selectors 1 to 5 with the host's FilterRecord).
    Rect16 in_rect = {}, out_rect = {}, mask_rect = {};
    int16_t in_lo_plane = 0, in_hi_plane = 0, out_lo_plane = 0, out_hi_plane = 0;
    std::vector<std::pair<int32_t, int32_t>> progress;  // (done, total) during the call
    DWORD milliseconds = 0;
};

// --- whole runs ----------------------------------------------------------------

enum class params_mode {
    keep_handle,   // the record's handle stays as the plug-in left it, run after run
    copy_to_heap,  // bytes copied after a successful run; the next run gets a HeapAlloc copy
};

struct image {
    int32_t width = 0, height = 0;
    int32_t planes = 3;  // interleaved channels per pixel
    std::vector<uint8_t> pixels;  // height rows of width * planes bytes
    uint8_t* at(int32_t x, int32_t y) { return &pixels[((size_t)y * width + x) * planes]; }
    const uint8_t* at(int32_t x, int32_t y) const { return &pixels[((size_t)y * width + x) * planes]; }
};

// Fills an image with a deterministic pattern (every byte differs from its
// neighbours), handy as a source.
image make_test_image(int32_t width, int32_t height, int32_t planes);

struct display_call {
    PSPixelMap map = {};  // copied; baseAddr points into the plug-in's memory
    VRect src_rect = {};
    int32_t dst_row = 0, dst_col = 0;
    bool have_context = false;  // a non-null HDC was passed
    // The rows handed over, copied at the call: rowBytes per row, from the
    // source rectangle's top row to its bottom (empty when they cannot be read).
    std::vector<uint8_t> pixels;
};

struct run_request {
    image source;
    int16_t image_mode = plugInModeRGBColor;
    Rect16 filter_rect = {};  // (top, left, bottom, right); all zero = the whole image
    int32_t in_row_padding = 0;  // extra bytes after each inData row (inRowBytes grows)
    std::vector<uint8_t> mask;   // width * height bytes, 0..255; empty = no selection
    bool is_floating = false;
    int32_t max_space = 64 * 1024 * 1024;
    bool menu_run = true;               // send parameters first; false = a repeat run
    bool with_display_pixels = false;   // hand the plug-in a recording displayPixels
    bool with_progress = true;          // hand the plug-in a recording progressProc
    int16_t filter_case = 0;  // 0: derived (1 flat, 2 with a selection, 3 floating)
    int32_t max_continue_calls = 1000000;  // guards against a plug-in that never ends
    // > 0: the host drops the run after this many calls of it, without
    // finish, as a host does that crashed or whose document was closed.
    int32_t stop_after_calls = 0;
};

struct run_result {
    image output;  // starts as a copy of the source; the plug-in's rows are copied in
    std::vector<call_record> calls;  // this run's calls, in order
    std::vector<display_call> display_calls;
    std::vector<std::pair<int32_t, int32_t>> progress;  // every report of the run
    int16_t result = 0;      // the first non-zero result, else 0
    int16_t failed_selector = -1;  // the selector that returned it
    int continue_calls = 0;
    bool finished = false;   // finish was called
    // Things a real host would object to: rectangles outside the image,
    // writes to host-owned fields of the FilterRecord, too many calls.
    std::vector<std::string> protocol_errors;
};

// --- fault injection ---------------------------------------------------------------

// Which call of the plug-in to fail, counted from 1 since set_fault_plan();
// 0 fails none.  gdi_object counts CreateBitmap and CreateCompatibleDC.
struct fault_plan {
    int global_alloc = 0;
    int register_class = 0;
    int dialog_box = 0;
    int gdi_object = 0;
};

// The plug-in's calls of the redirected imports since set_fault_plan().
struct import_counts {
    int global_alloc = 0;
    int register_class = 0;
    int dialog_box = 0;
    int gdi_object = 0;
    int foreign_frees = 0;  // GlobalFree, DeleteObject or DeleteDC of something it did not make
};

// --- the host ------------------------------------------------------------------

class host_run;

class plugin_host : public filter_host::plugin_host {
public:
    // Loads the plug-in; check loaded() and load_error().
    explicit plugin_host(const std::string& plugin_path, const std::string& entry_name = "ENTRYPOINT1");
    ~plugin_host() override;

    // Every entry call since the last clear_log(), which also forgets the
    // windows seen.
    const std::vector<call_record>& calls() const { return calls_; }
    void clear_log() override;

    std::vector<uint8_t> params_bytes() const override;
    void free_params() override;
    void set_params_mode(params_mode mode) { params_mode_ = mode; }
    const std::vector<uint8_t>& saved_params() const { return saved_params_; }

    // A whole run; see the top of this header.
    run_result run_filter(const run_request& request);

    // Longest time one entry call may take before the watchdog ends the
    // process; 0 turns the watchdog off (it costs a timer per call).
    void set_call_timeout_ms(DWORD ms) { call_timeout_ms_ = ms; }

    // Fault injection and accounting (see the top of this header).  Whether
    // the imports could be redirected; the plan, which also starts the counts
    // afresh; the calls so far; what the plug-in holds now: global blocks
    // other than the record's parameters handle, and GDI objects.
    bool imports_redirected() const { return imports_redirected_; }
    void set_fault_plan(const fault_plan& plan);
    const import_counts& counts() const { return counts_; }
    int live_blocks() const;
    int live_gdi_objects() const { return (int)live_gdi_.size(); }

    // Used by the callbacks and the import wrappers; not for tests.
    void on_progress(int32_t done, int32_t total) override;
    void on_display(const PSPixelMap* source, const VRect* rect, int32_t row, int32_t col, void* context);
    bool fail_call(int import_counts::*counter, int fault_plan::*when);
    void note_block(void* block, bool live, bool by_plugin);
    bool note_gdi_object(void* object, bool live);

protected:
    void module_changed() override;
    void call_entry(int16_t selector, void* record, int16_t* result) override;

private:
    friend class host_run;
    void check_record_writes(const uint8_t* before, run_result* result, int16_t selector);
    void restore_params_for_run();
    void save_params_after_run(bool success);

    std::vector<call_record> calls_;
    params_mode params_mode_ = params_mode::keep_handle;
    std::vector<uint8_t> saved_params_;
    void* heap_params_ = nullptr;  // our HeapAlloc copy handed to the plug-in, if any
    bool params_on_heap() const { return heap_params_ != nullptr && record().parameters == heap_params_; }
    DWORD call_timeout_ms_ = 30000;
    run_result* current_run_ = nullptr;
    bool imports_redirected_ = false;
    fault_plan faults_;
    import_counts counts_;
    std::vector<void*> live_blocks_, live_gdi_;
};

// One run driven call by call, for hosts that keep no usual order (the
// random host).  The constructor sets the FilterRecord up as run_filter
// does; each call() hands over the buffers of the current requests before a
// continue call and copies the output back after it, and checks every call
// for writes to host-owned fields, like run_filter.  The plug-in may be
// unloaded and loaded again between calls.  The request must outlive it.
class host_run {
public:
    host_run(plugin_host& host, const run_request& request);
    ~host_run();
    host_run(const host_run&) = delete;
    host_run& operator=(const host_run&) = delete;

    int16_t call(int16_t selector);
    bool requests_pending() const;  // any request rectangle non-empty
    run_result& result() { return result_; }

private:
    struct buffers;
    plugin_host& host_;
    const run_request& request_;
    run_result result_;
    buffers* buffers_;
};

}  // namespace testhost
