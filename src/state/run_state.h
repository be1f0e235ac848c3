// The plug-in's module-wide state: one run at a time, on the host's thread.
//
// Everything a run needs lives in the single global `run_state`.  It is plain
// data so the portable core (planning, selection bitmaps, display conversion,
// the adapters to the spoke engine) can read it without <windows.h>; the Win32 shell keeps its
// handles here as opaque pointers.
#pragma once

#include <cstdint>

#include "effect/preview_fit.h"
#include "effect/spoke.h"
#include "state/host_interface.h"

// A block handle that the run does not need: for the working copy the host's
// buffer serves, for the selection bitmap the image has no selection.
#define NOT_NEEDED ((void*)(intptr_t)-1)

// A working value whose edit field holds no number in its range: it stays so
// until the entry is mended, and Preview and OK refuse to go on meanwhile.
constexpr int16_t invalid_value = -1;

// The band buffer and the DIB buffer hold four rows of the widest preview: in
// the image's own pixels (up to 4 bytes), and as 24-bit DIB rows padded to 4
// bytes.
constexpr int32_t band_buffer_bytes = 4 * max_preview_side * 4;
constexpr int32_t dib_buffer_bytes = 4 * ((max_preview_side * 3 + 3) & ~3);

// Same layout as the Win32 RECT.
struct rect32 {
    int32_t left, top, right, bottom;
};

// Same layout as the Win32 BITMAPINFOHEADER (checked in the shell).
struct dib_header_t {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};
static_assert(sizeof(dib_header_t) == 40, "BITMAPINFOHEADER is 40 bytes");

struct run_state_t {
    // --- entry and dispatch ---
    void* host_record;        // FilterRecord* (selectors 1-5) or AboutRecord* (0)
    int16_t result_code;
    void* module_instance;    // HINSTANCE
    int16_t classes_registered;
    int16_t bytes_per_pixel;  // 1, 3 or 4
    int16_t filter_width, filter_height;
    int16_t working_width, working_height;
    int32_t working_stride;   // bytes per working row (wide images need more than 16 bits)
    int32_t row_bytes;        // bytes per full-resolution filter row

    // --- run planning ---
    int16_t measured_width, measured_height;  // client size of the big view; 0 = measure mode
    int16_t measure_pass;                     // 1 while the measuring dialog exists
    int16_t subsample;                        // f, 1 to 5
    int32_t pixel_skip;                       // bytes skipped after each sampled pixel
    int16_t preview_width, preview_height;
    int32_t preview_scale;                    // 16.16 working pixels per preview pixel
    int32_t image_scale;                      // 16.16 full-image pixels per preview pixel
    int16_t preview_extent;                   // max(preview_width, preview_height)
    int16_t phase;                            // 1 loading, 0 applying
    int16_t run_live;  // 1 from a successful start until the run ends (last row, Cancel, finish)
    int32_t rows_loaded;  // wide: with f = 1 it starts at working_height, up to 32767
    int16_t mask_rows_done;

    // Movable global blocks (HGLOBAL).  0 = none, NOT_NEEDED = not needed.
    void* reserve_block;
    void* selection_copy;
    void* erosion_rows;
    void* selection_bitmap;
    void* band_buffer;
    void* dib_buffer;
    void* working_copy;
    // GDI objects (HBITMAP, HDC).
    void* marker_bitmap;
    void* ants_bitmap;
    void* ants_dc;
    // Selection buffers are sized for this many bytes per row and body rows;
    // every selection loop stays within them.
    int32_t selection_row_bytes;  // B of the allocation
    int32_t selection_rows;       // body rows of the allocation

    // Locked addresses, valid while the dialog phase holds the blocks.
    uint8_t* band_ptr;
    uint8_t* dib_ptr;
    uint8_t* selection_guard_ptr;  // the selection bitmap's top guard row
    uint8_t* selection_rows_ptr;   // its first body row
    uint8_t* erosion_ptr;
    uint8_t* selection_copy_ptr;

    // --- continue phases ---
    uint8_t* src_base;  // first byte of the working image
    int16_t row_index;

    // --- shading inputs ---
    // The six working values: the dialog edits them (invalid_value marking
    // an entry that is no valid number); the apply phase reloads them for
    // every row.
    int16_t spokes, angle, thickness, intensity, radius, length;
    int16_t centre_x, centre_y;  // in the space being shaded
    int32_t row_pos, col_pos;    // 16.16; only the integer part is read
    uint8_t* src_row;

    // --- spoke geometry, for the space being shaded ---
    spoke_geometry geometry;

    // --- dialog ---
    int16_t effect_shown;
    void* dialog_window;  // HWND

    // --- preview ---
    int16_t preview_ready;
    rect32 small_view_rect;
    PSPixelMap pixel_map;
    dib_header_t dib_header;
    int16_t dither_display;

    // --- outlines, marker and dragging ---
    int16_t preview_centre_x, preview_centre_y;
    int16_t outline_drawn;
    int16_t big_captured, small_captured;

    // --- selection outline ---
    int16_t ants_primed;
    int16_t ants_offset;
    int16_t ants_phase;
};

extern run_state_t run_state;

// The host's FilterRecord for selectors 1 to 5.
inline FilterRecord* host_filter_record() { return static_cast<FilterRecord*>(run_state.host_record); }

// The image has a selection: its selection map exists for this run.
inline bool selection_exists()
{
    return run_state.selection_bitmap != nullptr && run_state.selection_bitmap != NOT_NEEDED;
}

// The six working values as the engine takes them.
inline spoke_values working_values()
{
    return {run_state.spokes, run_state.angle, run_state.thickness,
            run_state.intensity, run_state.radius, run_state.length};
}

// The shading of the current pass: the geometry, the centre and the layout of
// the image's pixels.  False when the pixel size is none the engine knows
// (no prepare has set it).
inline bool current_shader(spoke_shader* shader)
{
    shader->geometry = run_state.geometry;
    shader->centre_x = run_state.centre_x;
    shader->centre_y = run_state.centre_y;
    return layout_for_bytes(run_state.bytes_per_pixel, &shader->layout);
}
