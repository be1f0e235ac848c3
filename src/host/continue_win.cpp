// The continue selector: selection rows, working-image rows, the dialog, then
// one shaded output row per call.
#include <windows.h>

#include "effect/spoke.h"
#include "host/load.h"
#include "host/plugin.h"
#include "state/run_state.h"
#include "preview/selection.h"

static const Rect16 empty_rect = {0, 0, 0, 0};

static void report_progress(int32_t done, int32_t total)
{
    FilterRecord* record = host_filter_record();
    if (record->progressProc != nullptr) record->progressProc(done, total);
}

static void lock_selection_bitmap()
{
    run_state.selection_guard_ptr = static_cast<uint8_t*>(GlobalLock((HGLOBAL)run_state.selection_bitmap));
    run_state.selection_rows_ptr =
        run_state.selection_guard_ptr ? run_state.selection_guard_ptr + run_state.selection_row_bytes : nullptr;
}

static void read_selection_row()
{
    FilterRecord* record = host_filter_record();
    lock_selection_bitmap();
    fill_selection_row(static_cast<const uint8_t*>(record->maskData));
    run_state.mask_rows_done++;

    // Preview row mask_rows_done mapped to the nearest full-image row.  Kept
    // wide so a row beyond the rectangle is recognised, never wrapped.
    int32_t next = record->filterRect.top +
                   (int32_t)(((int64_t)run_state.mask_rows_done * run_state.image_scale + 0x8000) >> 16);
    if (run_state.mask_rows_done != run_state.preview_height && next + 1 <= record->filterRect.bottom) {
        record->maskRect.top = (int16_t)next;
        record->maskRect.bottom = (int16_t)(next + 1);
        GlobalUnlock((HGLOBAL)run_state.selection_bitmap);
        return;
    }
    // Every row is filled, or the next one would lie below the rectangle;
    // rows not reached stay clear (unselected).
    run_state.mask_rows_done = run_state.preview_height;
    record->maskRect = empty_rect;
    GlobalUnlock((HGLOBAL)run_state.selection_bitmap);
}

// Locks what the dialog and its views read while it is open.
static void lock_dialog_blocks()
{
    run_state.band_ptr = static_cast<uint8_t*>(GlobalLock((HGLOBAL)run_state.band_buffer));
    if (run_state.selection_bitmap != NOT_NEEDED) {
        lock_selection_bitmap();
        run_state.erosion_ptr = static_cast<uint8_t*>(GlobalLock((HGLOBAL)run_state.erosion_rows));
        run_state.selection_copy_ptr = static_cast<uint8_t*>(GlobalLock((HGLOBAL)run_state.selection_copy));
    }
}

static void apply_row()
{
    FilterRecord* record = host_filter_record();
    if (run_state.subsample == 1 && run_state.src_row != nullptr)
        run_state.src_row += (int64_t)run_state.row_index * run_state.working_stride;

    spoke_params* p = lock_params();
    report_progress(run_state.row_index, run_state.filter_height);
    uint8_t* dst = static_cast<uint8_t*>(record->outData);
    if (p != nullptr) {
        load_values(p);
        run_state.centre_x = p->saved_centre_x;
        run_state.centre_y = p->saved_centre_y;
        run_state.geometry = setup_spoke_geometry(working_values(), run_state.preview_extent, run_state.image_scale);
        unlock_params();
    }
    // A host that could not supply its buffers gets its row back untouched.
    spoke_shader shader;
    if (p != nullptr && dst != nullptr && run_state.src_row != nullptr && current_shader(&shader))
        shade_span(shader, run_state.row_index, 0, run_state.filter_width, run_state.src_row, dst);

    record->outRect.top = (int16_t)(record->outRect.top + 1);
    record->outRect.bottom = (int16_t)(record->outRect.top + 1);
}

void continue_run()
{
    FilterRecord* record = host_filter_record();
    // Continue outside a run (before any start, after a failed start, after
    // the last row, a Cancel or finish, in a module loaded again): there is
    // nothing to load or shade, and nothing more to ask for.
    if (!run_state.run_live) {
        end_requests();
        return;
    }
    if (run_state.mask_rows_done < run_state.preview_height) {
        read_selection_row();
        return;
    }
    run_state.src_row = static_cast<uint8_t*>(record->inData);
    run_state.src_base = run_state.src_row;
    run_state.row_index = (int16_t)(record->outRect.top - record->filterRect.top);

    if (run_state.phase == 1) {
        if (run_state.subsample > 1) {
            run_state.src_base = static_cast<uint8_t*>(GlobalLock((HGLOBAL)run_state.working_copy));
            load_working_row();
            record->inRect.top = (int16_t)(record->inRect.top + run_state.subsample);
            record->inRect.bottom = (int16_t)(record->inRect.top + 1);
        } else {
            run_state.working_stride = record->inRowBytes;
        }
        run_state.rows_loaded++;
        if (run_state.rows_loaded < run_state.working_height) {
            if (run_state.working_copy != NOT_NEEDED) GlobalUnlock((HGLOBAL)run_state.working_copy);
            return;
        }
        lock_dialog_blocks();
        run_dialog();
        release_run();
        // Cancelled: the host stops here, and a continue after it shades nothing.
        if (run_state.result_code != noErr) run_state.run_live = 0;
    } else if (run_state.row_index >= 0 && run_state.row_index < run_state.filter_height) {
        apply_row();
    } else {
        // Asked for a row outside the filter rectangle: nothing sound to
        // shade, so the run ends here.
        record->outRect = record->filterRect;
        record->outRect.top = record->filterRect.bottom;
    }

    if (run_state.subsample > 1) record->inRect = record->outRect;
    if (record->outRect.top >= record->filterRect.bottom) {
        record->inRect = empty_rect;
        record->outRect = empty_rect;
        run_state.run_live = 0;
    }
    run_state.phase = 0;
}
