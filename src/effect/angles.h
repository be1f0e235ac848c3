// Fixed-point angles and trigonometry for the spoke effect.
//
// Angles are in angle units: 8192 per radian, 51472 per full turn, measured
// from +x (column increasing) toward +y (row increasing, down the image).
// Sines are scaled by 32768 and applied to a length with a 15-bit right shift.
// Nothing here uses floating point; every function is a pure function of its
// arguments and the two tables.
#pragma once

#include <cstdint>

// 32768 * sin(k degrees), rounded, for k = 0..89; entry 90 is 32767 because
// 32768 does not fit in an int16.
extern const int16_t sine_table[91];

// 8192 * atan(k / 32), rounded, for k = 0..32: tangents 0..1 in steps of 1/32.
extern const uint16_t atan_table[33];

// Sine of a whole number of degrees (any value), in -32767..32767.
int16_t sin_deg(int32_t a);

// Cosine of a whole number of degrees: sin_deg(a + 90).
int16_t cos_deg(int32_t a);

// Direction of the offset (dx, dy) from the effect centre, 0..51472 angle units.
// The +x direction itself (dy == 0, dx > 0) yields 51472, not 0.
// (0, 0) has no direction; it yields 38604 rather than dividing by zero.
uint16_t spoke_angle(int16_t dx, int16_t dy);

// Parameter value v as preview pixels, v * s / 256 rounded half up, where s is
// the larger preview dimension. Saturated to -32767..32767.
int16_t scale_by_preview(int16_t v, int16_t s);
