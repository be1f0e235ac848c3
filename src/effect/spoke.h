// The spoke effect: the geometry that follows from the six values, and the
// shading of one pixel or of any span of a row.
//
// A library of plain values: nothing here keeps state between calls, and
// nothing reads anything but its arguments and the two constant tables, so
// any number of images (or tiles of one image) can be shaded at once.
//
// Coordinates are pixels of the space being shaded (working-image pixels for
// a preview, full-image pixels for the final image).  Offsets from the centre
// are taken as int16 differences, as the stored record holds them.
#pragma once

#include <cstdint>

// The six values of the effect, as the user sets them (and as the parameter
// record stores them, unchecked).
struct spoke_values {
    int16_t spokes;     // number of spokes, 1..50
    int16_t angle;      // rotation in degrees, 0..360
    int16_t thickness;  // spoke width, 5..100
    int16_t intensity;  // blend strength in percent, 0..100
    int16_t radius;     // inner radius, 0..100
    int16_t length;     // spoke length, 2..100
};

// Lengths in pixels of the shaded space, angles in angle units (angles.h).
struct spoke_geometry {
    int32_t inner_sq;           // inner radius squared
    int32_t outer_sq;           // outer radius squared
    int32_t mid_sq;             // middle radius squared: the colour ramp turns here
    uint16_t spoke_period;      // angle between neighbouring centre lines; 0: no spoke
    uint16_t half_period;       // spoke_period >> 1
    uint16_t intensity_weight;  // blend weight at full coverage, 0..256
    int32_t angle_offset;       // the angle value in angle units
    int32_t thick_sq;           // width limit: a width measure reaching it is off the spoke
    int32_t core_sq;            // core limit: full weight across the spoke up to it
    int32_t feather_span;       // thick_sq - core_sq
};

// How a pixel is laid out in memory.  Colour channels come first; a fourth
// CMYK byte moves toward 255 with the coverage; an alpha byte is copied from
// the source as it is.
enum class pixel_layout : uint8_t {
    gray,        // 1 byte: the gray ramp
    rgb,         // 3 bytes: the colour ramp
    cmyk,        // 4 bytes (inverted ink, as hosts deliver it): colour ramp, fourth byte blended
    gray_alpha,  // 2 bytes: gray ramp, alpha untouched
    rgb_alpha,   // 4 bytes: colour ramp, alpha untouched
};

// Bytes of one pixel in the layout.
int32_t layout_bytes(pixel_layout layout);

// The layout a host's interleaved pixels of 1, 3 or 4 bytes have; false for
// any other size.
bool layout_for_bytes(int32_t bytes_per_pixel, pixel_layout* layout);

// Everything shading needs: the geometry, the centre and the pixel layout.
struct spoke_shader {
    spoke_geometry geometry;
    int16_t centre_x, centre_y;
    pixel_layout layout;
};

// Derives the geometry from the six values.  preview_extent is the larger
// side of the preview the values are proportioned to; scale is the 16.16
// number of pixels of the shaded space per preview pixel.
spoke_geometry setup_spoke_geometry(const spoke_values& values, int16_t preview_extent, int32_t scale);

// Shades the pixel at (col, row): reads it at src_row + col * bytes and
// writes exactly layout_bytes bytes at dst.  The source is never written.
void shade_pixel(const spoke_shader& shader, int16_t col, int16_t row, const uint8_t* src_row, uint8_t* dst);

// Shades columns x0 .. x1-1 of the given row: src and dst point at the pixel
// of column x0 (they may be the same buffer).  Byte for byte the same as
// shade_pixel on each column in turn, much faster.  Nothing happens when
// x1 <= x0.
void shade_span(const spoke_shader& shader, int32_t row, int32_t x0, int32_t x1, const uint8_t* src, uint8_t* dst);

// Distance in angle units from pixel angle e to the nearest spoke centre
// line.  With no spokes (spoke_period 0) there is no centre line: 65535.
uint16_t angle_distance(const spoke_geometry& geometry, uint16_t e);

// v limited to 0..255.
uint8_t clamp_byte(int16_t v);
