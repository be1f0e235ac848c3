#include "host/params.h"

#include "effect/value_table.h"
#include "state/run_state.h"

void default_spoke_params(spoke_params* p)
{
    p->saved_centre_x = 0;
    p->saved_centre_y = 0;
    p->spokes = spoke_value_table[value_spokes].initial;
    p->angle = spoke_value_table[value_angle].initial;
    p->thickness = spoke_value_table[value_thickness].initial;
    p->intensity = spoke_value_table[value_intensity].initial;
    p->radius = spoke_value_table[value_radius].initial;
    p->length = spoke_value_table[value_length].initial;
    p->showDialog = 1;
}

void load_values(const spoke_params* p)
{
    run_state.spokes = p->spokes;
    run_state.angle = p->angle;
    run_state.thickness = p->thickness;
    run_state.intensity = p->intensity;
    run_state.radius = p->radius;
    run_state.length = p->length;
}

void store_values(spoke_params* p)
{
    p->spokes = run_state.spokes;
    p->angle = run_state.angle;
    p->thickness = run_state.thickness;
    p->intensity = run_state.intensity;
    p->radius = run_state.radius;
    p->length = run_state.length;
}

// Rounds to the nearest full-image pixel, halves upward.  The product is kept in
// 64 bits so a large scale cannot overflow; where the 32-bit product fits, the
// result is the same.
int16_t centre_to_full(int16_t p)
{
    int64_t v = ((int64_t)p * run_state.image_scale + 0x8000) >> 16;
    return (int16_t)v;
}

// Both divisions truncate toward zero, so for c >= 0 this rounds to nearest.
// A scale of zero (no plan yet) maps everything to 0 rather than dividing by it.
int16_t centre_to_preview(int16_t c)
{
    int32_t s = run_state.image_scale;
    if (s == 0) return 0;
    int64_t v = ((int64_t)c * 65536 + s / 2) / s;
    return (int16_t)v;
}
