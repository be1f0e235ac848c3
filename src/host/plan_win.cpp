// Start and finish: measure the preview, choose the subsample factor, create
// every block and GDI object of the run, and release them all again.
#include <windows.h>

#include "dialog/filter_dialog.h"
#include "host/plan.h"
#include "host/plugin.h"
#include "state/run_state.h"
#include "preview/marker.h"

// Movable, zero-filled global memory.  Sizes that do not fit the address
// space are refused like any failed allocation.
static void* allocate_block(int64_t bytes)
{
    if (bytes <= 0 || (uint64_t)bytes > (uint64_t)(SIZE_MAX / 2)) return nullptr;
    return GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, (SIZE_T)bytes);
}

static void free_block(void* block)
{
    GlobalUnlock((HGLOBAL)block);
    GlobalFree((HGLOBAL)block);
}

static bool is_block(void* block) { return block != nullptr && block != NOT_NEEDED; }

// Opens the dialog with the measure flag set; FilterDlg stores the big view's
// client size and ends at once.
static void measure_preview_area()
{
    run_state.measured_width = 0;
    run_state.measured_height = 0;
    run_state.measure_pass = 1;
    DialogBoxParamA((HINSTANCE)run_state.module_instance, "FILTERDLG", (HWND)host_window(), FilterDlg, 0);
    run_state.measure_pass = 0;
}

bool run_holds_resources()
{
    return run_state.marker_bitmap != nullptr || run_state.band_buffer != nullptr ||
           run_state.dib_buffer != nullptr || run_state.ants_bitmap != nullptr || run_state.ants_dc != nullptr ||
           is_block(run_state.working_copy) || is_block(run_state.selection_bitmap);
}

static void set_first_request(FilterRecord* record)
{
    record->inRect = record->filterRect;
    record->inRect.bottom = (int16_t)(record->inRect.top + 1);
    record->inLoPlane = 0;
    record->inHiPlane = (int16_t)(run_state.bytes_per_pixel - 1);
    record->outRect = record->inRect;
    record->outLoPlane = 0;
    record->outHiPlane = (int16_t)(run_state.bytes_per_pixel - 1);
}

// The selection map, its saved copy, the erosion rows and the ants bitmap, all
// sized for the final preview so that no row or bit of it falls outside them.
static bool create_selection_buffers()
{
    selection_layout s = selection_layout_for(run_state.preview_width, run_state.preview_height);
    run_state.selection_row_bytes = s.row_bytes;
    run_state.selection_rows = run_state.preview_height;

    run_state.ants_bitmap = CreateBitmap(s.row_bytes * 8, run_state.preview_height, 1, 1, nullptr);
    if (run_state.ants_bitmap == nullptr) return false;
    HDC host_dc = GetDC((HWND)host_window());
    run_state.ants_dc = CreateCompatibleDC(host_dc);
    if (run_state.ants_dc != nullptr) SelectObject((HDC)run_state.ants_dc, (HBITMAP)run_state.ants_bitmap);
    ReleaseDC((HWND)host_window(), host_dc);
    if (run_state.ants_dc == nullptr) return false;

    run_state.selection_copy = allocate_block(s.copy_bytes);
    if (run_state.selection_copy == nullptr) return false;
    run_state.erosion_rows = allocate_block(s.erosion_bytes);
    if (run_state.erosion_rows == nullptr) {
        free_block(run_state.selection_copy);
        run_state.selection_copy = nullptr;
        return false;
    }
    run_state.selection_bitmap = allocate_block(s.bitmap_bytes);
    if (run_state.selection_bitmap == nullptr) {
        free_block(run_state.erosion_rows);
        free_block(run_state.selection_copy);
        run_state.erosion_rows = run_state.selection_copy = nullptr;
        return false;
    }
    return true;
}

static void fail_start()
{
    if (run_state.reserve_block != nullptr) {
        free_block(run_state.reserve_block);
        run_state.reserve_block = nullptr;
    }
    release_run();
    end_requests();
    run_state.result_code = memFullErr;
}

// No run: nothing is requested, so a host that calls continue anyway ends
// its loop at once.
void end_requests()
{
    FilterRecord* record = host_filter_record();
    const Rect16 empty = {0, 0, 0, 0};
    record->inRect = record->outRect = record->maskRect = empty;
    run_state.run_live = 0;
}

void plan_run()
{
    FilterRecord* record = host_filter_record();
    bool have_mask = record->haveMask != 0;

    measure_preview_area();
    run_state.marker_bitmap = create_marker_bitmap();
    run_state.dib_buffer = nullptr;
    run_state.ants_bitmap = nullptr;
    run_state.ants_dc = nullptr;
    set_first_request(record);

    reset_subsample();
    run_state.working_copy = NOT_NEEDED;
    run_state.selection_bitmap = NOT_NEEDED;
    run_state.band_buffer = nullptr;
    run_state.selection_copy = run_state.erosion_rows = nullptr;
    run_state.band_ptr = run_state.dib_ptr = nullptr;

    // A dialog that could not be created measured nothing, and an empty
    // filter rectangle has nothing to plan: both end here.
    if (run_state.measured_width <= 0 || run_state.measured_height <= 0 || !working_size_usable()) {
        fail_start();
        return;
    }

    run_state.reserve_block = allocate_block(reserve_block_bytes());
    if (run_state.reserve_block == nullptr) {
        fail_start();
        return;
    }
    int64_t budget = (int64_t)record->maxSpace - reserve_block_bytes() - budget_margin();

    if (have_mask) {
        run_state.selection_bitmap = nullptr;
        plan_preview(run_state.measured_width, run_state.measured_height);
        record->maskRect = record->inRect;
        selection_layout first = selection_layout_for(run_state.preview_width, run_state.preview_height);
        budget -= run_state.filter_width + 2 * first.erosion_bytes;
    }

    run_state.band_buffer = allocate_block(band_buffer_bytes);
    if (record->displayPixels == nullptr) run_state.dib_buffer = allocate_block(dib_buffer_bytes);

    if (!choose_subsample(&budget)) {
        fail_start();
        return;
    }

    run_state.rows_loaded = 0;
    if (run_state.subsample == 1) {
        record->inRect.bottom = record->filterRect.bottom;
        run_state.rows_loaded = run_state.working_height;
    } else {
        for (;;) {
            if (!working_size_usable()) break;
            run_state.working_copy = allocate_block(working_copy_bytes());
            if (run_state.working_copy != nullptr) break;
            if (!raise_subsample()) break;
        }
    }
    // Thinning a narrow or low rectangle can leave no working pixels at all.
    if (!working_size_usable() || run_state.working_copy == nullptr) {
        fail_start();
        return;
    }

    run_state.phase = 1;
    run_state.pixel_skip = (int32_t)run_state.bytes_per_pixel * run_state.subsample - run_state.bytes_per_pixel;
    plan_preview(run_state.measured_width, run_state.measured_height);

    if (have_mask && !create_selection_buffers()) {
        fail_start();
        return;
    }
    if ((record->displayPixels == nullptr && run_state.dib_buffer == nullptr) ||
        run_state.band_buffer == nullptr || run_state.selection_bitmap == nullptr) {
        fail_start();
        return;
    }

    free_block(run_state.reserve_block);
    run_state.reserve_block = nullptr;
    run_state.mask_rows_done = run_state.selection_bitmap != NOT_NEEDED ? 0 : (int16_t)no_selection_rows;
    run_state.run_live = 1;
}

void release_run()
{
    if (run_state.band_buffer != nullptr) free_block(run_state.band_buffer);
    if (is_block(run_state.working_copy)) free_block(run_state.working_copy);
    if (is_block(run_state.selection_bitmap)) {
        free_block(run_state.selection_bitmap);
        free_block(run_state.erosion_rows);
        free_block(run_state.selection_copy);
    }
    if (run_state.dib_buffer != nullptr) free_block(run_state.dib_buffer);
    if (run_state.marker_bitmap != nullptr) DeleteObject((HBITMAP)run_state.marker_bitmap);
    if (run_state.ants_dc != nullptr) DeleteDC((HDC)run_state.ants_dc);
    if (run_state.ants_bitmap != nullptr) DeleteObject((HBITMAP)run_state.ants_bitmap);
    run_state.dib_buffer = nullptr;
    run_state.ants_bitmap = nullptr;
    run_state.ants_dc = nullptr;
    run_state.marker_bitmap = nullptr;

    HINSTANCE instance = (HINSTANCE)run_state.module_instance;
    UnregisterClassA("big_view", instance);
    UnregisterClassA("small_view", instance);
    run_state.classes_registered = 0;

    run_state.selection_bitmap = nullptr;
    run_state.erosion_rows = nullptr;
    run_state.selection_copy = nullptr;
    run_state.working_copy = nullptr;
    run_state.band_buffer = nullptr;
    run_state.band_ptr = nullptr;
    run_state.dib_ptr = nullptr;
    run_state.selection_guard_ptr = run_state.selection_rows_ptr = nullptr;
    run_state.erosion_ptr = run_state.selection_copy_ptr = nullptr;
    run_state.src_base = nullptr;
}
