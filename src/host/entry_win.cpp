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

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) run_state.module_instance = instance;
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
    run_state.bytes_per_pixel = bytes_per_pixel_for_mode(record->imageMode);
    if (record->imageMode == plugInModeLabColor && wants_dialog() != 0) show_warning(lab_notice_text);
    prepare_sizes(record->filterRect);
    record->bufferSpace = 0;
}

static bool register_view_class(const char* name, WNDPROC procedure)
{
    WNDCLASSA wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = procedure;
    wc.hInstance = (HINSTANCE)run_state.module_instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    wc.lpszClassName = name;
    return RegisterClassA(&wc) != 0;
}

// Registers the two preview classes; on failure tells the user and reports 1.
static bool register_preview_classes()
{
    if (!register_view_class("big_view", big_procedure)) {
        show_warning("Error while registering big class. Restart host.");
        run_state.result_code = userCancelledOwnMessage;
        return false;
    }
    if (!register_view_class("small_view", small_procedure)) {
        show_warning("Error while registering small class. Restart host.");
        run_state.result_code = userCancelledOwnMessage;
        return false;
    }
    return true;
}

static void do_start()
{
    // A host that starts again without finishing the last run would leave its
    // blocks and GDI objects behind; they go first.
    if (run_holds_resources()) release_run();
    if (!run_state.classes_registered) {
        run_state.classes_registered = 1;
        if (!register_preview_classes()) return;
    }
    ensure_params();
    if (run_state.result_code == noErr) plan_run();
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
        case filterSelectorFinish: release_run(); break;
        }
    }

    if (result != nullptr) *result = run_state.result_code;
}
