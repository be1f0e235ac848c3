// The two preview views of the dialog: the image and its overlays on screen,
// dragging the centre, and the marching ants.  What to draw is worked out by
// the portable preview code (render, outline); this file only hands it to the
// host or to GDI.  Every device context is taken and released within one
// routine, and every object selected into one is put back before it goes.
#include <windows.h>

#include "state/run_state.h"
#include "preview/outline.h"
#include "preview/preview.h"
#include "preview/render.h"
#include "resource.h"

static_assert(sizeof(dib_header_t) == sizeof(BITMAPINFOHEADER), "our DIB header is a BITMAPINFOHEADER");
static_assert(sizeof(rect32) == sizeof(RECT), "our rectangle is a RECT");

enum { ants_timer_id = 1, ants_period_ms = 100 };

static HWND dialog() { return (HWND)run_state.dialog_window; }
static HWND big_view() { return GetDlgItem(dialog(), IDC_BIG_VIEW); }
static HWND small_view() { return GetDlgItem(dialog(), IDC_SMALL_VIEW); }

// --- display -------------------------------------------------------------------

static void setup_display()
{
    FilterRecord* record = host_filter_record();
    if (record != nullptr && record->displayPixels != nullptr) {
        PSPixelMap& map = run_state.pixel_map;
        ZeroMemory(&map, sizeof map);
        map.version = 0;
        map.imageMode = record->imageMode;
        map.colBytes = run_state.bytes_per_pixel;
        map.planeBytes = 1;
        map.baseAddr = run_state.band_ptr;
        return;
    }
    if (run_state.dib_ptr == nullptr && run_state.dib_buffer != nullptr) {
        run_state.dib_ptr = static_cast<uint8_t*>(GlobalLock((HGLOBAL)run_state.dib_buffer));
        HDC dc = GetDC(dialog());
        int16_t depth = (int16_t)(GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES));
        run_state.dither_display = depth <= 8 ? 1 : 0;
        ReleaseDC(dialog(), dc);
    }
    dib_header_t& h = run_state.dib_header;
    h.biSize = 40;
    h.biPlanes = 1;
    h.biBitCount = 24;
    h.biCompression = BI_RGB;
    h.biClrUsed = 0;
    h.biClrImportant = 0;
}

// Sends `rows` band rows of `width` pixels to (x, y) of the view behind dc.
static void display_rows(HDC dc, int16_t x, int16_t y, int16_t width, int16_t rows)
{
    if (!display_block_fits(width, rows) || run_state.band_ptr == nullptr) return;
    FilterRecord* record = host_filter_record();
    if (record != nullptr && record->displayPixels != nullptr) {
        PSPixelMap& map = run_state.pixel_map;
        map.rowBytes = (int32_t)width * run_state.bytes_per_pixel;
        map.bounds.bottom = rows;
        map.bounds.right = width;
        map.baseAddr = run_state.band_ptr;
        record->displayPixels(&map, &map.bounds, y, x, dc);
        return;
    }
    if (run_state.dib_ptr == nullptr) return;
    int32_t stride = fill_dib_block(run_state.band_ptr, run_state.dib_ptr, x, y, width, rows);
    dib_header_t& h = run_state.dib_header;
    h.biWidth = width;
    h.biHeight = rows;
    h.biSizeImage = (uint32_t)(rows * stride);
    SetDIBitsToDevice(dc, x, y, width, rows, 0, 0, 0, rows, run_state.dib_ptr,
                      reinterpret_cast<const BITMAPINFO*>(&run_state.dib_header), DIB_RGB_COLORS);
}

// Keeps a view's top-left corner and gives it a new outer size.
static void resize_view(HWND view, int32_t width, int32_t height)
{
    RECT r;
    GetWindowRect(view, &r);
    POINT corner = {r.left, r.top};
    ScreenToClient(dialog(), &corner);
    MoveWindow(view, corner.x, corner.y, width, height, TRUE);
}

// The first call of a dialog sizes the views and prepares the display; the
// paint that the resize brings renders.  Every later call renders the whole
// big view, a block of four rows at a time.
void render_preview()
{
    HWND big = big_view();
    HDC dc = GetDC(big);
    HWND small = small_view();
    RECT small_client = {0, 0, 0, 0};
    GetClientRect(small, &small_client);
    run_state.small_view_rect = {small_client.left, small_client.top, small_client.right, small_client.bottom};

    if (run_state.preview_ready == 0) {
        resize_view(big, run_state.preview_width, run_state.preview_height);
        resize_view(small, run_state.preview_width / 2, run_state.preview_height / 2);
        setup_display();
        run_state.preview_ready = 1;
        ReleaseDC(big, dc);
        return;
    }

    if (run_state.preview_centre_x > run_state.preview_width - 1)
        run_state.preview_centre_x = (int16_t)(run_state.preview_width - 1);
    if (run_state.preview_centre_y > run_state.preview_height - 1)
        run_state.preview_centre_y = (int16_t)(run_state.preview_height - 1);

    // The last block may be short: a preview whose height is no multiple of
    // four still shows its bottom rows.
    band_render render;
    start_full_render(&render);
    for (int32_t rows; (rows = render_next_block(&render)) > 0;)
        display_rows(dc, 0, (int16_t)render.block_top, run_state.preview_width, (int16_t)rows);
    ReleaseDC(big, dc);

    // The new picture replaced the outlines: draw them and the marker again.
    run_state.outline_drawn = 0;
    draw_overlays(overlays::big_view);
    run_state.ants_primed = 0;
}

// --- overlays ------------------------------------------------------------------

static void replay_path(HDC dc, const pen_step* steps, int32_t count)
{
    for (int32_t i = 0; i < count; i++) {
        if (steps[i].draw)
            LineTo(dc, steps[i].x, steps[i].y);
        else
            MoveToEx(dc, steps[i].x, steps[i].y, nullptr);
    }
}

// Draws (state 1) or removes (state 0) the big view's spoke outlines.  They
// are drawn inverting, so drawing them again takes them away.
static void draw_outlines(int16_t state, int16_t cx, int16_t cy)
{
    if (run_state.preview_ready == 0 || state == run_state.outline_drawn || !outline_values_valid()) return;
    pen_step steps[max_outline_steps];
    int32_t count = spoke_outline_path(cx, cy, steps);
    HWND big = big_view();
    HDC dc = GetDC(big);
    int old_mode = SetROP2(dc, R2_NOTXORPEN);
    run_state.outline_drawn = state;
    replay_path(dc, steps, count);
    SetROP2(dc, old_mode);
    ReleaseDC(big, dc);
}

static void draw_centre_lines(int16_t cx, int16_t cy)
{
    if (run_state.preview_ready == 0 || !outline_values_valid()) return;
    pen_step steps[max_centre_line_steps];
    int32_t count = centre_line_path(cx, cy, steps);
    HWND small = small_view();
    HDC dc = GetDC(small);
    replay_path(dc, steps, count);
    ReleaseDC(small, dc);
}

// The marker: a white plate with a black cross, at the centre of either view.
static void draw_marker(int16_t small)
{
    int16_t x = run_state.preview_centre_x, y = run_state.preview_centre_y;
    HWND view = big_view();
    if (small != 0) {
        x = (int16_t)(x >> 1);
        y = (int16_t)(y >> 1);
        view = small_view();
    }
    if (run_state.marker_bitmap == nullptr) return;
    HDC dc = GetDC(view);
    HDC memory = CreateCompatibleDC(dc);
    if (memory != nullptr) {
        HGDIOBJ old = SelectObject(memory, (HBITMAP)run_state.marker_bitmap);
        BitBlt(dc, x - 4, y - 4, 8, 8, memory, 0, 0, SRCPAINT);
        BitBlt(dc, x - 4, y - 4, 8, 8, memory, 8, 0, SRCINVERT);
        SelectObject(memory, old);
        DeleteDC(memory);
    }
    ReleaseDC(view, dc);
}

// Rows of the selection map's layout into the ants bitmap.
static void load_ants_bitmap(const uint8_t* rows)
{
    LONG bytes = (LONG)(outline_rows() * run_state.selection_row_bytes);
    if (rows != nullptr && bytes > 0) SetBitmapBits((HBITMAP)run_state.ants_bitmap, bytes, rows);
}

// Puts the marching ants back over a part of the big view that was painted
// afresh from the image: the outline white, then the stripes as the ticks
// so far have left them.  Before the first tick after a full render there
// are none to put back.
static void restore_ants(HDC dc, const preview_patch& patch)
{
    if (!selection_exists() || run_state.ants_primed == 0 || run_state.ants_dc == nullptr) return;
    HDC ants = (HDC)run_state.ants_dc;
    const int width = patch.x1 - patch.x0, height = patch.y1 - patch.y0;
    load_ants_bitmap(run_state.selection_rows_ptr);
    BitBlt(dc, patch.x0, patch.y0, width, height, ants, patch.x0, patch.y0, SRCPAINT);
    mask_ants_as_shown();
    load_ants_bitmap(run_state.erosion_ptr);
    BitBlt(dc, patch.x0, patch.y0, width, height, ants, patch.x0, patch.y0, SRCINVERT);
}

// Puts the image back under the big view's marker, with the ants over it.
static void repaint_marker_cell()
{
    HWND big = big_view();
    HDC dc = GetDC(big);
    preview_patch patch;
    if (render_marker_patch(run_state.preview_centre_x, run_state.preview_centre_y, &patch)) {
        display_rows(dc, patch.x0, patch.y0, (int16_t)(patch.x1 - patch.x0), (int16_t)(patch.y1 - patch.y0));
        restore_ants(dc, patch);
    }
    ReleaseDC(big, dc);
}

static void fill_small_view_white()
{
    HWND small = small_view();
    HDC dc = GetDC(small);
    RECT r = {run_state.small_view_rect.left, run_state.small_view_rect.top, run_state.small_view_rect.right,
              run_state.small_view_rect.bottom};
    FillRect(dc, &r, (HBRUSH)GetStockObject(WHITE_BRUSH));
    ReleaseDC(small, dc);
}

void erase_overlays(overlays which)
{
    if (holds(which, overlays::small_view)) fill_small_view_white();
    if (holds(which, overlays::spoke_outlines))
        draw_outlines(0, run_state.preview_centre_x, run_state.preview_centre_y);
    if (holds(which, overlays::big_marker)) repaint_marker_cell();
}

void draw_overlays(overlays which)
{
    if (holds(which, overlays::small_view)) {
        draw_centre_lines((int16_t)(run_state.preview_centre_x / 2), (int16_t)(run_state.preview_centre_y / 2));
        draw_marker(1);
    }
    if (holds(which, overlays::spoke_outlines))
        draw_outlines(1, run_state.preview_centre_x, run_state.preview_centre_y);
    if (holds(which, overlays::big_marker)) draw_marker(0);
}

static void move_centre(int16_t x, int16_t y, int16_t small)
{
    int16_t new_x = 0, new_y = 0;
    const overlays redraw = plan_centre_move(x, y, small, &new_x, &new_y);
    if (redraw == overlays::none) return;
    erase_overlays(redraw);
    run_state.preview_centre_x = new_x;
    run_state.preview_centre_y = new_y;
    draw_overlays(redraw);
}

// --- selection outline -----------------------------------------------------------

void build_selection_outline()
{
    make_selection_outline();
    run_state.ants_primed = 0;
    SetTimer(dialog(), ants_timer_id, ants_period_ms, nullptr);
}

void stop_ants() { KillTimer(dialog(), ants_timer_id); }

void animate_ants()
{
    if (run_state.ants_bitmap == nullptr || run_state.ants_dc == nullptr) return;
    HWND big = big_view();
    HDC dc = GetDC(big);
    HDC ants = (HDC)run_state.ants_dc;
    if (run_state.ants_primed == 0) {
        load_ants_bitmap(run_state.selection_rows_ptr);
        BitBlt(dc, 0, 0, run_state.preview_width, outline_rows(), ants, 0, 0, SRCPAINT);
        prime_ants();
    }
    mask_ants_rows();
    load_ants_bitmap(run_state.erosion_ptr);
    ants_run runs[max_ants_runs];
    int32_t count = find_ants_runs(runs);
    for (int32_t i = 0; i < count; i++)
        BitBlt(dc, runs[i].x, runs[i].y, runs[i].width, runs[i].height, ants, runs[i].x, runs[i].y, SRCINVERT);
    ReleaseDC(big, dc);
    advance_ants();

    // A slow tick leaves no backlog: drop the ticks that queued meanwhile.
    MSG message;
    while (PeekMessageA(&message, dialog(), WM_TIMER, WM_TIMER, PM_REMOVE)) {
    }
}

// --- window procedures -------------------------------------------------------------

static int16_t low_word(LPARAM l) { return (int16_t)LOWORD(l); }
static int16_t high_word(LPARAM l) { return (int16_t)HIWORD(l); }

static void paint_big(HWND window)
{
    PAINTSTRUCT ps;
    BeginPaint(window, &ps);
    render_preview();
    EndPaint(window, &ps);
}

static void paint_small(HWND window)
{
    PAINTSTRUCT ps;
    BeginPaint(window, &ps);
    erase_overlays(overlays::small_view);
    draw_overlays(overlays::small_view);
    EndPaint(window, &ps);
}

static void press(HWND window, int16_t* captured, LPARAM lparam, int16_t small)
{
    // Taking the capture may tell a window that held it; the flag is set
    // after, so no such notice can clear it.
    SetCapture(window);
    *captured = 1;
    move_centre(low_word(lparam), high_word(lparam), small);
}

// Only a move with the left button down drags: one without it belongs to no
// drag, whatever became of the press that started one.
static void drag(int16_t captured, WPARAM wparam, LPARAM lparam, int16_t small)
{
    if (captured && (wparam & MK_LBUTTON) != 0) move_centre(low_word(lparam), high_word(lparam), small);
}

// The mouse went to another window (a key that ended the dialog, a switch to
// another program, any window taking the capture): the drag is over, and the
// button's release will not come here.
static void capture_lost(HWND window, int16_t* captured, LPARAM new_owner)
{
    if ((HWND)new_owner != window) *captured = 0;
}

static void release(int16_t* captured)
{
    if (!*captured) return;
    *captured = 0;
    ReleaseCapture();
}

extern "C" LRESULT CALLBACK big_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_PAINT: paint_big(window); return 0;
    case WM_LBUTTONDOWN: press(window, &run_state.big_captured, lparam, 0); return 0;
    case WM_MOUSEMOVE: drag(run_state.big_captured, wparam, lparam, 0); return 0;
    case WM_LBUTTONUP: release(&run_state.big_captured); return 0;
    case WM_CAPTURECHANGED: capture_lost(window, &run_state.big_captured, lparam); return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

extern "C" LRESULT CALLBACK small_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_PAINT: paint_small(window); return 0;
    case WM_LBUTTONDOWN: press(window, &run_state.small_captured, lparam, 1); return 0;
    case WM_MOUSEMOVE: drag(run_state.small_captured, wparam, lparam, 1); return 0;
    case WM_LBUTTONUP: release(&run_state.small_captured); return 0;
    case WM_CAPTURECHANGED: capture_lost(window, &run_state.small_captured, lparam); return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}
