/* The six values of the effect: the name each face spells it with, the label
 * the dialog shows, its range and the value a new record starts with.  This
 * is the one place they are written; the dialog, the command-line host, the
 * GEGL operation and the web page all take them from here.
 *
 * Plain C, so that the GEGL operation (C, built on gegl-op.h) can use it; the
 * labels are macros too, for the dialog template (res/glimmora.rc), which the
 * resource compiler reads with RC_INVOKED defined. */
#ifndef GLIMMORA_EFFECT_VALUE_TABLE_H
#define GLIMMORA_EFFECT_VALUE_TABLE_H

/* Each value's label (the dialog adds a colon), range and default, as
 * constants for the places (GEGL's property declarations, the dialog
 * template) that need one. */
#define GLIMMORA_SPOKES_LABEL "# Spokes"
#define GLIMMORA_ANGLE_LABEL "Angle"
#define GLIMMORA_THICKNESS_LABEL "Thickness"
#define GLIMMORA_INTENSITY_LABEL "Intensity"
#define GLIMMORA_RADIUS_LABEL "Radius"
#define GLIMMORA_LENGTH_LABEL "Length"

#define GLIMMORA_SPOKES_MIN 1
#define GLIMMORA_SPOKES_MAX 50
#define GLIMMORA_SPOKES_DEFAULT 8
#define GLIMMORA_ANGLE_MIN 0
#define GLIMMORA_ANGLE_MAX 360
#define GLIMMORA_ANGLE_DEFAULT 0
#define GLIMMORA_THICKNESS_MIN 5
#define GLIMMORA_THICKNESS_MAX 100
#define GLIMMORA_THICKNESS_DEFAULT 20
#define GLIMMORA_INTENSITY_MIN 0
#define GLIMMORA_INTENSITY_MAX 100
#define GLIMMORA_INTENSITY_DEFAULT 50
#define GLIMMORA_RADIUS_MIN 0
#define GLIMMORA_RADIUS_MAX 100
#define GLIMMORA_RADIUS_DEFAULT 50
#define GLIMMORA_LENGTH_MIN 2
#define GLIMMORA_LENGTH_MAX 100
#define GLIMMORA_LENGTH_DEFAULT 50

#ifndef RC_INVOKED

#ifdef __cplusplus
#include <cstdint>
#define GLIMMORA_VALUE_TABLE constexpr
#else
#include <stdint.h>
#define GLIMMORA_VALUE_TABLE static const
#endif

/* In the order the parameter record stores them (spoke_values). */
enum spoke_value_index {
    value_spokes,
    value_angle,
    value_thickness,
    value_intensity,
    value_radius,
    value_length,
    spoke_value_count
};

typedef struct spoke_value_info {
    const char* name;   /* lower case, as options, properties and links spell it */
    const char* label;  /* as the dialog labels it, without the colon */
    int16_t minimum, maximum;
    int16_t initial;    /* what a new record holds */
} spoke_value_info;

/* Constant in C++ as well, so that tables built from it need no code at
 * start-up. */
GLIMMORA_VALUE_TABLE spoke_value_info spoke_value_table[spoke_value_count] = {
    {"spokes", GLIMMORA_SPOKES_LABEL, GLIMMORA_SPOKES_MIN, GLIMMORA_SPOKES_MAX, GLIMMORA_SPOKES_DEFAULT},
    {"angle", GLIMMORA_ANGLE_LABEL, GLIMMORA_ANGLE_MIN, GLIMMORA_ANGLE_MAX, GLIMMORA_ANGLE_DEFAULT},
    {"thickness", GLIMMORA_THICKNESS_LABEL, GLIMMORA_THICKNESS_MIN, GLIMMORA_THICKNESS_MAX, GLIMMORA_THICKNESS_DEFAULT},
    {"intensity", GLIMMORA_INTENSITY_LABEL, GLIMMORA_INTENSITY_MIN, GLIMMORA_INTENSITY_MAX, GLIMMORA_INTENSITY_DEFAULT},
    {"radius", GLIMMORA_RADIUS_LABEL, GLIMMORA_RADIUS_MIN, GLIMMORA_RADIUS_MAX, GLIMMORA_RADIUS_DEFAULT},
    {"length", GLIMMORA_LENGTH_LABEL, GLIMMORA_LENGTH_MIN, GLIMMORA_LENGTH_MAX, GLIMMORA_LENGTH_DEFAULT},
};

/* The order the dialog shows them in, top to bottom (res/glimmora.rc), for a
 * face that lays out its own controls. */
GLIMMORA_VALUE_TABLE int8_t spoke_value_shown_order[spoke_value_count] = {
    value_radius, value_length, value_spokes, value_angle, value_thickness, value_intensity,
};

#endif /* RC_INVOKED */

#endif
