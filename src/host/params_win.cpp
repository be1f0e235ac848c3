// The parameter record in the host's handle: creation, access and the dialog
// that edits it.
#include <windows.h>

#include <cstring>

#include "dialog/filter_dialog.h"
#include "host/plugin.h"
#include "state/run_state.h"
#include "preview/preview.h"

static HGLOBAL params_handle()
{
    FilterRecord* record = host_filter_record();
    return record != nullptr ? (HGLOBAL)record->parameters : nullptr;
}

// A record shorter than ours (a host that kept fewer bytes than it was given)
// is worked on through this copy: the bytes it has over the defaults.  Only
// those bytes are written back, nothing past its end.  The record may be
// locked again while it is locked (the dialog reads the centre), so the copy
// is filled by the outermost lock only.
static spoke_params short_record_copy;
static int short_record_locks = 0;

// The size of a block GlobalSize cannot tell (one from a heap of the host's
// own); such a block is taken to be whole.
constexpr int64_t unknown_size = -1;

// The size of the host's block, or unknown_size.
static int64_t params_block_size(HGLOBAL h)
{
    SetLastError(ERROR_SUCCESS);
    SIZE_T size = GlobalSize(h);
    if (size == 0 && GetLastError() != ERROR_SUCCESS) return unknown_size;
    return (int64_t)size;
}

// Hosts hand back either the global block we made or one of their own (some
// rebuild it with HeapAlloc); GlobalLock returns the address for both.
spoke_params* lock_params()
{
    HGLOBAL h = params_handle();
    if (h == nullptr) return nullptr;
    int64_t size = params_block_size(h);
    void* p = GlobalLock(h);
    if (p == nullptr) return nullptr;
    if (size == unknown_size || size >= (int64_t)sizeof(spoke_params)) return static_cast<spoke_params*>(p);
    if (short_record_locks++ == 0) {
        default_spoke_params(&short_record_copy);
        memcpy(&short_record_copy, p, (size_t)size);
    }
    return &short_record_copy;
}

void unlock_params()
{
    HGLOBAL h = params_handle();
    if (h == nullptr) return;
    if (short_record_locks > 0) {
        // Still locked: locking again only hands back its address.
        int64_t size = params_block_size(h);
        void* p = GlobalLock(h);
        if (p != nullptr && size > 0 && size < (int64_t)sizeof(spoke_params))
            memcpy(p, &short_record_copy, (size_t)size);
        if (p != nullptr) GlobalUnlock(h);
        short_record_locks--;
    }
    GlobalUnlock(h);
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
