// The test host: drives a filter plug-in DLL the way a real host does, with
// nobody at the screen.
//
// What it gives a test:
//
//  * plugin_host loads the plug-in (LoadLibrary), finds ENTRYPOINT1 and calls
//    it with the records a host owns: a FilterRecord, an AboutRecord, a
//    PlatformData whose hwnd is a real top-level host window (registered class,
//    created hidden) and the pointer-sized `data` slot.  Every call is logged.
//
//  * Every window the plug-in puts up on the calling thread is handled by a
//    thread-local CBT hook:
//      - message boxes are recorded (caption, text, owner, icon, buttons) and
//        closed with their default button at once;
//      - the plug-in's own dialog (its caption starts with
//        "***** Glimmoric Filter *****") is handed to the dialog script, which
//        runs inside the dialog's modal loop once the dialog is up.  Without a
//        script the dialog is closed with the default button (OK unless
//        changed with set_default_dialog_button);
//      - any other dialog is recorded and cancelled.
//    The dialog the plug-in opens only to measure a control ends inside its
//    initialisation and never shows, so it never reaches the script.
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
//
//  * The parameters handle outlives a run like a host keeps it, in one of two
//    ways (params_mode): the handle itself stays in the record, or its bytes
//    are copied after a successful run and handed back in a fresh HeapAlloc
//    block on the next run, as some hosts do.
//
//  * A watchdog ends the process with a message when one plug-in call takes
//    longer than the call timeout (30 s by default), and install_crash_report()
//    prints which call was running when the plug-in crashed.  A broken plug-in
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
//  * unload() and load() free and load the module again between any two
//    calls, keeping the host's records, as hosts do between runs (or when a
//    document closes in the middle of one).
//
// Each plugin_host loads the module itself and frees it when destroyed, so a
// test that makes its own host starts with the plug-in's globals fresh.  All
// calls must come from the thread that created the plugin_host, and only one
// plugin_host may exist per thread at a time (the hook and the callbacks find
// it through a thread-local pointer).
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "state/host_interface.h"

namespace testhost {

// --- windows the plug-in showed ----------------------------------------------

enum class icon_kind { none, information, warning, error, question, other };

struct message_box {
    HWND window = nullptr;
    HWND owner = nullptr;  // GetWindow(GW_OWNER): null for an unowned box
    std::string caption;
    std::string text;
    icon_kind icon = icon_kind::none;
    std::vector<int> buttons;  // ids present, in IDOK, IDCANCEL, IDABORT ... order
    UINT flags = 0;            // rebuilt MB_* button set | MB_ICON*, e.g. MB_OK | MB_ICONINFORMATION
    int call_index = -1;       // index into plugin_host::calls() of the call that showed it
};

struct dialog_seen {
    HWND window = nullptr;
    HWND owner = nullptr;
    std::string caption;
    bool plugin_dialog = false;  // false: some other dialog, which was cancelled
    bool left_open = false;      // the script returned with the dialog still up
    int call_index = -1;
};

// Runs inside the dialog's modal loop, once the dialog is showing.  It may
// set texts, click buttons, send scroll messages, pump messages, and must
// leave the dialog ended (for instance by clicking OK or Cancel); if it does
// not, the host clicks the default button after it returns.
typedef std::function<void(HWND dialog)> dialog_script;

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

class plugin_host {
public:
    // Loads the plug-in; check loaded() and load_error().
    // `entry_name` is the entry point the plug-in's PiPL names.
    explicit plugin_host(const std::string& plugin_path, const std::string& entry_name = "ENTRYPOINT1");
    ~plugin_host();
    plugin_host(const plugin_host&) = delete;
    plugin_host& operator=(const plugin_host&) = delete;

    bool loaded() const { return entry_ != nullptr; }
    // Frees the module; the records stay.  Calls made before load() return
    // result_not_written and are not logged.
    void unload();
    // Loads the module again (after unload) and redirects its imports.
    bool load();
    const std::string& load_error() const { return load_error_; }
    HMODULE module() const { return module_; }
    HWND window() const { return window_; }

    // The records the host owns.  reset_record() fills the FilterRecord with
    // `sentinel` and then sets the fields a host provides to neutral values
    // (no image, parameters kept, platformData = &platform()).
    FilterRecord& record() { return record_; }
    AboutRecord& about_record() { return about_; }
    PlatformData& platform() { return platform_; }
    intptr_t& data() { return data_; }
    void reset_record(uint8_t sentinel = 0xA5);

    // One call of the entry point with the host's FilterRecord (call), or
    // with any record pointer, null included (call_with).  *result is preset
    // to result_not_written before the call, so a plug-in that forgets to
    // write it is seen.  about() passes about_record(), whose platformData is
    // &platform() or null.
    int16_t call(int16_t selector);
    int16_t call_with(int16_t selector, void* record);
    int16_t about(bool with_platform_data = true);
    static constexpr int16_t result_not_written = 0x7A7A;

    const std::vector<call_record>& calls() const { return calls_; }
    const std::vector<message_box>& message_boxes() const { return boxes_; }
    const std::vector<dialog_seen>& dialogs() const { return dialogs_; }
    void clear_log();

    void set_dialog_script(dialog_script script) { script_ = std::move(script); }
    void set_default_dialog_button(int id) { default_button_ = id; }

    // The parameters handle: its bytes (empty when null), and a new block of
    // the given bytes put into the record (GlobalAlloc, movable), replacing
    // and freeing the old one.
    std::vector<uint8_t> params_bytes() const;
    void set_params(const std::vector<uint8_t>& bytes);
    void free_params();

    void set_params_mode(params_mode mode) { params_mode_ = mode; }
    const std::vector<uint8_t>& saved_params() const { return saved_params_; }

    // A whole run; see the top of this header.
    run_result run_filter(const run_request& request);

    // Longest time one entry call may take before the watchdog ends the
    // process; 0 turns the watchdog off (it costs a timer per call).
    void set_call_timeout_ms(DWORD ms) { call_timeout_ms_ = ms; }

    // Called for every progress report as it happens (after it is recorded),
    // e.g. to draw a progress bar.
    void set_progress_listener(std::function<void(int32_t done, int32_t total)> listener)
    {
        progress_listener_ = std::move(listener);
    }

    // Fault injection and accounting (see the top of this header).  Whether
    // the imports could be redirected; the plan, which also starts the counts
    // afresh; the calls so far; what the plug-in holds now: global blocks
    // other than the record's parameters handle, and GDI objects.
    bool imports_redirected() const { return imports_redirected_; }
    void set_fault_plan(const fault_plan& plan);
    const import_counts& counts() const { return counts_; }
    int live_blocks() const;
    int live_gdi_objects() const { return (int)live_gdi_.size(); }

    // Used by the hook and callbacks; not for tests.
    void on_activate(HWND window);
    void on_dialog_timer();
    void on_progress(int32_t done, int32_t total);
    void on_display(const PSPixelMap* source, const VRect* rect, int32_t row, int32_t col, void* context);
    bool fail_call(int import_counts::*counter, int fault_plan::*when);
    void note_block(void* block, bool live, bool by_plugin);
    bool note_gdi_object(void* object, bool live);

private:
    friend class host_run;
    int16_t invoke(int16_t selector, void* record);
    void handle_message_box(HWND box);
    void handle_plugin_dialog(HWND dialog);
    void check_record_writes(const uint8_t* before, run_result* result, int16_t selector);
    void restore_params_for_run();
    void save_params_after_run(bool success);

    HMODULE module_ = nullptr;
    PluginEntryProc entry_ = nullptr;
    std::string load_error_;
    HWND window_ = nullptr;
    HHOOK hook_ = nullptr;
    FilterRecord record_;
    AboutRecord about_;
    PlatformData platform_;
    intptr_t data_ = 0;
    std::vector<call_record> calls_;
    std::vector<message_box> boxes_;
    std::vector<dialog_seen> dialogs_;
    std::vector<HWND> pending_dialogs_;
    dialog_script script_;
    int default_button_ = IDOK;
    params_mode params_mode_ = params_mode::keep_handle;
    std::vector<uint8_t> saved_params_;
    void* heap_params_ = nullptr;  // our HeapAlloc copy handed to the plug-in, if any
    bool params_on_heap() const { return heap_params_ != nullptr && record_.parameters == heap_params_; }
    DWORD call_timeout_ms_ = 30000;
    std::function<void(int32_t, int32_t)> progress_listener_;
    run_result* current_run_ = nullptr;
    int current_call_ = -1;
    std::string plugin_path_, entry_name_;
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

// Prints which plug-in call was running when the process crashes, then lets
// the crash take its course (Wine prints a backtrace and the process exits
// non-zero).  Call once from main.
void install_crash_report();

// A note the crash report and the watchdog print too, e.g. how to replay the
// session that was running; empty for none.
void set_crash_note(const std::string& note);

// A DOS path for a Unix path under Wine ("/a/b" -> "Z:\a\b"); other paths
// are returned unchanged.
std::string windows_path(const std::string& path);

// Runs the thread's message loop for about `milliseconds`, dispatching
// everything (timers included) and giving keys to `dialog` first, as its own
// modal loop does; for dialog scripts that must let time pass.
void pump_messages(DWORD milliseconds, HWND dialog = nullptr);

// Small helpers for dialog scripts.
void click(HWND dialog, int id);                       // BM_CLICK, as a mouse click does
void set_item_text(HWND dialog, int id, const std::string& text);
std::string item_text(HWND dialog, int id);
void scroll(HWND dialog, int bar_id, int code, int position = 0);  // WM_HSCROLL from that bar
void press_key(HWND dialog, UINT virtual_key);         // key down and up through the modal loop

}  // namespace testhost
