// Rendering the working image into preview pixels, and turning rendered rows
// into 24-bit DIB rows for screens the host does not draw on for us.
//
// Everything works on run_state: the working image (src_base, working_*),
// the preview plan (preview_*), the locked band buffer and the selection copy.
// The Win32 side only fetches device contexts and hands the rows over.
#pragma once

#include <cstdint>

// One preview pixel at preview column x, row y, from the working pixel at
// src_row + (col_pos >> 16) * bytes_per_pixel: the effect, the plain pixel or,
// for an unselected pixel of a floating selection, all 0xFF.  Writes exactly
// bytes_per_pixel bytes, then steps col_pos on by preview_scale.
void preview_pixel(int16_t x, int16_t y, uint8_t* dst);

// The selection copy's bit for preview pixel (x, y), nonzero when selected.
// Positions past the preview's last row or column read that last one.
uint8_t selection_bit(int16_t x, int16_t y);

// A full render of the big view, a block of rows at a time.  The rows of each
// block sit in the band buffer, preview row i in band row i mod 4.
struct band_render {
    int32_t next_row;      // preview row i rendered next
    int64_t row_position;  // 16.16 working row of preview row i
    int32_t last_source;   // working row of the last rendered row, -1 for none
    uint8_t* last_band_row;
    int32_t block_top;     // first preview row of the block just rendered
};

// Whether the band buffer and the working image allow a full render at all.
bool full_render_possible();

void start_full_render(band_render* r);

// Renders up to four rows and returns how many, 0 when the render is done.
// Blocks are four rows (starting at a multiple of 4); the last one may be
// shorter, when the preview height is not a multiple of 4, and is returned
// too so the bottom rows reach the screen.  Every preview pixel is rendered:
// where an enlarged preview reaches past the working image, its last column
// or row is shown.
int32_t render_next_block(band_render* r);

// The square under the centre marker, re-rendered into the band buffer as
// rows of (x1 - x0) pixels back to back: the 8 x 8 cell around (cx, cy), cut
// at the preview's edges.  False when nothing is left of it.
struct preview_patch {
    int16_t x0, y0, x1, y1;
};
bool render_marker_patch(int16_t cx, int16_t cy, preview_patch* patch);

// DIB row stride for a row of `width` 24-bit pixels: multiple of 4 bytes.
int32_t dib_stride(int32_t width);

// Whether `rows` rows of `width` pixels fit both the band and the DIB buffer.
bool display_block_fits(int32_t width, int32_t rows);

// One band row of `width` pixels as blue, green, red bytes at dst.  Rows of a
// pixel size other than 1, 3 or 4 bytes are left unconverted.  With dither,
// each pixel moves lighter when `parity` + its column is odd, darker when even.
void convert_dib_row(const uint8_t* src, uint8_t* dst, int32_t width, int16_t bytes_per_pixel, bool dither,
                     int32_t parity);

// The block of `rows` band rows of `width` pixels, to be shown at (x, y), as
// a bottom-up DIB in dib: returns its stride.
int32_t fill_dib_block(const uint8_t* band, uint8_t* dib, int16_t x, int16_t y, int32_t width, int32_t rows);

// The colour rule for one CMYK pixel, as red, green and blue.
void cmyk_display_colour(const uint8_t* p, uint8_t rgb[3]);

// The checkerboard offset e(v) of the 8-bit screen dither.
int32_t dither_offset(int32_t v);
