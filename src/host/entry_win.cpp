// DLL entry, ENTRYPOINT1 and the small selector handlers: about, parameters,
// prepare and the first steps of start.
#include <windows.h>

#include "host/plugin.h"
#include "host/prepare.h"
#include "state/run_state.h"
#include "resource.h"

extern "C" LRESULT CALLBACK big_procedure(HWND, UINT, WPARAM, LPARAM);
extern "C" LRESULT CALLBACK small_procedure(HWND, UINT, WPARAM, LPARAM);

const char* const lab_notice_text =
    "This plug-in does not support Lab Color. Use in this mode is permitted, but may result in "
    "incorrect colors. For better results, switch to RGB.";

// A host may free the module in the middle of a run (it crashed, or the
// document was closed) without calling finish.  Whatever the run still holds
// goes back then: its blocks, its GDI objects and the preview classes, which
// Windows does not unregister for a DLL that goes away; a later load at the
// same address could not register them again.  Timers need nothing: the only
// one belongs to the dialog window, which never outlives a call.
//
// This runs under the loader lock.  release_run only frees global memory,
// deletes GDI objects and unregisters classes: none of that loads a library
// or waits for another thread, and USER32 and GDI32 stay loaded until this
// module is gone.  When the process is ending (reserved is not null) the
// system takes everything back itself and other modules may already be
// detached, so nothing is touched then.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) run_state.module_instance = instance;
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr) release_run();
    return TRUE;
}

void* host_window()
{
    FilterRecord* record = host_filter_record();
    if (record == nullptr || record->platformData == nullptr) return nullptr;
    return record->platformData->hwnd;
}

void show_warning(const char* text)
{
    MessageBoxA((HWND)host_window(), text, "Warning", MB_OK);
}

static void do_about()
{
    char text[256];
    char caption[60];
    text[0] = caption[0] = '\0';
    HINSTANCE instance = (HINSTANCE)run_state.module_instance;
    LoadStringA(instance, IDS_ABOUT_TEXT, text, sizeof text);
    LoadStringA(instance, IDS_ABOUT_CAPTION, caption, sizeof caption);
    AboutRecord* about = static_cast<AboutRecord*>(run_state.host_record);
    HWND owner = nullptr;
    if (about != nullptr && about->platformData != nullptr) owner = (HWND)about->platformData->hwnd;
    MessageBoxA(owner, text, caption, MB_ICONINFORMATION | MB_OK);
}

static void do_parameters()
{
    spoke_params* p = lock_params();
    if (p == nullptr) return;  // start creates the record, showing the dialog by default
    p->showDialog = 1;
    unlock_params();
}

static void do_prepare()
{
    FilterRecord* record = host_filter_record();
    // Prepare in the middle of a run would resize the working image under
    // the blocks planned for it: that run ends here.
    if (run_state.run_live) {
        release_run();
        end_requests();
    }
    run_state.bytes_per_pixel = bytes_per_pixel_for_mode(record->imageMode);
    if (record->imageMode == plugInModeLabColor && wants_dialog() != 0) show_warning(lab_notice_text);
    prepare_sizes(record->filterRect);
    record->bufferSpace = 0;
}

static bool register_view_class(const char* name, WNDPROC procedure)
{
    HINSTANCE instance = (HINSTANCE)run_state.module_instance;
    WNDCLASSA wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    wc.lpszClassName = name;
    if (RegisterClassA(&wc) != 0) return true;
    // A class of this name and instance with our own procedure is ours, left
    // by an earlier load of the module at the same address: register it
    // afresh.  Any other class of the name is a real conflict.
    WNDCLASSA existing = {};
    if (!GetClassInfoA(instance, name, &existing) || existing.lpfnWndProc != procedure) return false;
    UnregisterClassA(name, instance);
    return RegisterClassA(&wc) != 0;
}

// Registers the two preview classes.  On failure it tells the user, reports
// 1 and leaves neither class registered, so the next start tries again.
static bool register_preview_classes()
{
    if (!register_view_class("big_view", big_procedure)) {
        show_warning("Error while registering big class. Restart host.");
        run_state.result_code = userCancelledOwnMessage;
        return false;
    }
    if (!register_view_class("small_view", small_procedure)) {
        UnregisterClassA("big_view", (HINSTANCE)run_state.module_instance);
        show_warning("Error while registering small class. Restart host.");
        run_state.result_code = userCancelledOwnMessage;
        return false;
    }
    return true;
}

// A start that fails leaves nothing behind: hosts call no finish after it.
static void do_start()
{
    // A host that starts again without finishing the last run would leave its
    // blocks and GDI objects behind; they go first.
    if (run_holds_resources() || run_state.classes_registered) release_run();
    run_state.run_live = 0;
    if (!register_preview_classes()) {
        end_requests();
        return;
    }
    run_state.classes_registered = 1;
    ensure_params();
    if (run_state.result_code != noErr) {
        release_run();
        end_requests();
        return;
    }
    plan_run();
}

static void do_finish()
{
    release_run();
    run_state.run_live = 0;
}

extern "C" void ENTRYPOINT1(int16_t selector, void* record, intptr_t* /*data*/, int16_t* result)
{
    run_state.host_record = record;
    run_state.result_code = noErr;

    if (selector < filterSelectorAbout || selector > filterSelectorFinish) {
        run_state.result_code = filterBadParameters;
    } else if (selector == filterSelectorAbout) {
        do_about();
    } else if (record == nullptr) {
        // Every other selector works on the host's FilterRecord; without one
        // there is nothing sound to do.
        run_state.result_code = filterBadParameters;
    } else {
        switch (selector) {
        case filterSelectorParameters: do_parameters(); break;
        case filterSelectorPrepare: do_prepare(); break;
        case filterSelectorStart: do_start(); break;
        case filterSelectorContinue: continue_run(); break;
        case filterSelectorFinish: do_finish(); break;
        }
    }

    if (result != nullptr) *result = run_state.result_code;
}
