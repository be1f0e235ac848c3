// The spoke effect: geometry from the six parameter values, and the shading
// of one pixel or one whole row.
//
// Everything works on the module-wide run_state (host/run_state.h):
//   inputs    spokes, angle, thickness, intensity, radius, length,
//             preview_extent, centre_x, centre_y, row_pos, col_pos, src_row,
//             bytes_per_pixel
//   geometry  inner_sq ... feather_span, written by setup_spoke_geometry.
#pragma once

#include <cstdint>

// Derives the geometry from the six values and preview_extent.  scale is the
// 16.16 number of pixels of the shaded space per preview pixel
// (preview_scale for the preview, image_scale for the apply phase).
void setup_spoke_geometry(int32_t scale);

// Shades the pixel at (integer part of col_pos, integer part of row_pos):
// reads it from src_row, writes exactly bytes_per_pixel bytes at dst.
void shade_pixel(uint8_t* dst);

// Shades columns 0 .. width-1 of the current row into dst, byte for byte the
// same as setting col_pos = x << 16 and calling shade_pixel(dst + x * bpp) for
// each x in turn.  row_pos, src_row, the centre and the geometry are the
// caller's.  Afterwards col_pos holds (width - 1) << 16, as that loop would
// leave it (unchanged when width <= 0).  Widths above 32768 are cut to 32768:
// column positions are int16.
void shade_row(uint8_t* dst, int32_t width);

// Distance in angle units from pixel angle e to the nearest spoke centre line.
// With no spokes (spoke_period 0) there is no centre line: 65535.
uint16_t angle_distance(uint16_t e);

// v limited to 0..255.
uint8_t clamp_byte(int16_t v);
