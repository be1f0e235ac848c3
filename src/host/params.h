// The stored parameter record and the centre conversions.
#pragma once

#include <cstdint>

// The 20 bytes the host keeps between runs in its parameters handle.  This is
// a stored format: little-endian, no padding, never reordered.
struct spoke_params {
    int16_t saved_centre_x;  // full-image pixels from filterRect's left edge
    int16_t saved_centre_y;  // full-image pixels from filterRect's top edge
    int16_t spokes;
    int16_t angle;
    int16_t thickness;
    int16_t intensity;
    int16_t radius;
    int16_t length;
    int32_t showDialog;  // 1: the coming run shows the dialog
};
static_assert(sizeof(spoke_params) == 20, "the stored record is 20 bytes");

// Fills a record with the defaults a new one gets.
void default_spoke_params(spoke_params* p);

// The six values between the record and run_state's working copies.
void load_values(const spoke_params* p);
void store_values(spoke_params* p);

// Preview pixels to full-image pixels and back, through `image_scale`.
int16_t centre_to_full(int16_t p);
int16_t centre_to_preview(int16_t c);
