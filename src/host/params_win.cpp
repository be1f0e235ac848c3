// The parameter record in the host's handle: creation, access and the dialog
// that edits it.
#include <windows.h>

#include "dialog/filter_dialog.h"
#include "host/plugin.h"
#include "state/run_state.h"
#include "preview/preview.h"

static HGLOBAL params_handle()
{
    FilterRecord* record = host_filter_record();
    return record != nullptr ? (HGLOBAL)record->parameters : nullptr;
}

// Hosts hand back either the global block we made or one of their own (some
// rebuild it with HeapAlloc); GlobalLock returns the address for both.
spoke_params* lock_params()
{
    HGLOBAL h = params_handle();
    if (h == nullptr) return nullptr;
    return static_cast<spoke_params*>(GlobalLock(h));
}

void unlock_params()
{
    HGLOBAL h = params_handle();
    if (h != nullptr) GlobalUnlock(h);
}

void ensure_params()
{
    FilterRecord* record = host_filter_record();
    if (record->parameters != nullptr) return;  // an existing record is used as it is
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(spoke_params));
    record->parameters = h;
    if (h == nullptr) {
        run_state.result_code = memFullErr;
        return;
    }
    spoke_params* p = lock_params();
    if (p == nullptr) {
        run_state.result_code = memFullErr;
        return;
    }
    default_spoke_params(p);
    unlock_params();
}

int32_t wants_dialog()
{
    spoke_params* p = lock_params();
    if (p == nullptr) return 1;
    int32_t show = p->showDialog;
    unlock_params();
    return show;
}

void load_preview_centre(int16_t* x, int16_t* y)
{
    spoke_params* p = lock_params();
    if (p == nullptr) {
        *x = *y = 0;
        return;
    }
    *x = centre_to_preview(p->saved_centre_x);
    *y = centre_to_preview(p->saved_centre_y);
    unlock_params();
}

// The centre the dialog starts from: the stored centre in preview pixels, or
// the middle of the preview when none has been chosen yet.
static void init_preview_centre()
{
    load_preview_centre(&run_state.preview_centre_x, &run_state.preview_centre_y);
    if (run_state.preview_centre_x == 0) {
        run_state.preview_centre_x = (int16_t)(run_state.preview_width / 2);
        run_state.preview_centre_y = (int16_t)(run_state.preview_height / 2);
    }
}

void run_dialog()
{
    spoke_params* p = lock_params();
    if (p == nullptr) return;
    if (p->showDialog == 0) {
        unlock_params();
        return;
    }
    load_values(p);
    run_state.preview_ready = 0;
    run_state.effect_shown = 0;
    // Before the dialog opens: OK may come before anything has painted.
    init_preview_centre();

    INT_PTR r = DialogBoxParamA((HINSTANCE)run_state.module_instance, "FILTERDLG", (HWND)host_window(),
                                FilterDlg, 0);
    int16_t outcome = (int16_t)r;
    if (outcome == IDCANCEL || outcome == -1) run_state.result_code = userCancelledOwnMessage;

    if (run_state.result_code == noErr) {
        store_values(p);
        p->saved_centre_x = centre_to_full(run_state.preview_centre_x);
        p->saved_centre_y = centre_to_full(run_state.preview_centre_y);
    }
    p->showDialog = 0;
    unlock_params();
}
