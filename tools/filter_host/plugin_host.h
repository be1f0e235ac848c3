// The filter host: what a program needs to load a filter plug-in DLL and
// drive it the way a host does.  glimmora-host.exe (tools/cli) is built on
// it; the test host (tools/testhost) adds what only tests need on top.
//
//  * plugin_host loads the plug-in (LoadLibrary), finds the entry point its
//    PiPL names and calls it with the records a host owns: a FilterRecord, an
//    AboutRecord, a PlatformData whose hwnd is a real top-level host window
//    (registered class, created hidden) and the pointer-sized `data` slot.
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
//  * The parameters handle is the host's: set_params() puts a block of given
//    bytes into the record, params_bytes() reads back what the plug-in left.
//
// All calls must come from the thread that created the plugin_host, and only
// one plugin_host may exist per thread at a time (the hook and the callbacks
// find it through a thread-local pointer).
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "state/host_interface.h"

namespace filter_host {

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
    int call_index = -1;       // the call that showed it, counted from 0 since clear_log()
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
// set texts, click buttons, send scroll messages, pump messages
// (dialog_driver.h), and must leave the dialog ended (for instance by
// clicking OK or Cancel); if it does not, the host clicks the default button
// after it returns.
typedef std::function<void(HWND dialog)> dialog_script;

// Callbacks a host puts into the FilterRecord.  progress_proc reaches
// on_progress() of the plugin_host of the calling thread; never_abort is the
// abort check of a host whose user cannot interrupt a run.
void progress_proc(int32_t done, int32_t total);
ps_boolean never_abort();

// --- the host ------------------------------------------------------------------

class plugin_host {
public:
    // Loads the plug-in; check loaded() and load_error().
    explicit plugin_host(const std::string& plugin_path, const std::string& entry_name = "ENTRYPOINT1");
    virtual ~plugin_host();
    plugin_host(const plugin_host&) = delete;
    plugin_host& operator=(const plugin_host&) = delete;

    // The host of the calling thread, or null.
    static plugin_host* on_this_thread();

    bool loaded() const { return entry_ != nullptr; }
    // Frees the module; the records stay.  Calls made before load() return
    // result_not_written.
    void unload();
    // Loads the module again (after unload).
    bool load();
    const std::string& load_error() const { return load_error_; }
    HMODULE module() const { return module_; }
    HWND window() const { return window_; }

    // The records the host owns.  reset_record() fills the FilterRecord with
    // `sentinel` and then sets the fields a host provides to neutral values
    // (no image, parameters kept, platformData = &platform()).
    FilterRecord& record() { return record_; }
    const FilterRecord& record() const { return record_; }
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

    const std::vector<message_box>& message_boxes() const { return boxes_; }
    const std::vector<dialog_seen>& dialogs() const { return dialogs_; }
    // Forgets the windows seen and starts counting calls from 0 again.
    virtual void clear_log();

    void set_dialog_script(dialog_script script) { script_ = std::move(script); }
    void set_default_dialog_button(int id) { default_button_ = id; }

    // The parameters handle: its bytes (empty when null), and a new block of
    // the given bytes put into the record (GlobalAlloc, movable), replacing
    // and freeing the old one.
    virtual std::vector<uint8_t> params_bytes() const;
    void set_params(const std::vector<uint8_t>& bytes);
    virtual void free_params();

    // Called for every progress report as it happens, e.g. to draw a
    // progress bar.
    void set_progress_listener(std::function<void(int32_t done, int32_t total)> listener)
    {
        progress_listener_ = std::move(listener);
    }

    // Used by the hook and callbacks; not for callers.
    void on_activate(HWND window);
    void on_dialog_timer();
    virtual void on_progress(int32_t done, int32_t total);

protected:
    // For a host that watches the plug-in more closely (the test host).
    // After the module was loaded (not from the constructor: a derived host
    // sees the first load in its own constructor) or unloaded.
    virtual void module_changed() {}
    // One call of the entry point; an override wraps this one.
    virtual void call_entry(int16_t selector, void* record, int16_t* result);
    // The index of the call in progress, counted from 0 since clear_log(),
    // or -1 outside calls.
    int current_call() const { return current_call_; }

private:
    int16_t invoke(int16_t selector, void* record);
    void handle_message_box(HWND box);
    void handle_plugin_dialog(HWND dialog);

    HMODULE module_ = nullptr;
    PluginEntryProc entry_ = nullptr;
    std::string load_error_;
    HWND window_ = nullptr;
    HHOOK hook_ = nullptr;
    FilterRecord record_;
    AboutRecord about_;
    PlatformData platform_;
    intptr_t data_ = 0;
    int calls_made_ = 0;
    int current_call_ = -1;
    std::vector<message_box> boxes_;
    std::vector<dialog_seen> dialogs_;
    std::vector<HWND> pending_dialogs_;
    dialog_script script_;
    int default_button_ = IDOK;
    std::function<void(int32_t, int32_t)> progress_listener_;
    std::string plugin_path_, entry_name_;
};

}  // namespace filter_host
