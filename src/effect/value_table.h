/* The six values of the effect: the name each face spells it with, the label
 * the dialog shows, its range and the value a new record starts with.  This
 * is the one place they are written; the dialog, the command-line host, the
 * GEGL operation and the web page all take them from here.
 *
 * Plain C, so that the GEGL operation (C, built on gegl-op.h) can use it. */
#ifndef GLIMMORA_EFFECT_VALUE_TABLE_H
#define GLIMMORA_EFFECT_VALUE_TABLE_H

#ifdef __cplusplus
#include <cstdint>
#else
#include <stdint.h>
#endif

/* Each value's range and default, as numbers for the places (such as GEGL's
 * property declarations) that need a constant. */
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

static const spoke_value_info spoke_value_table[spoke_value_count] = {
    {"spokes", "# Spokes", GLIMMORA_SPOKES_MIN, GLIMMORA_SPOKES_MAX, GLIMMORA_SPOKES_DEFAULT},
    {"angle", "Angle", GLIMMORA_ANGLE_MIN, GLIMMORA_ANGLE_MAX, GLIMMORA_ANGLE_DEFAULT},
    {"thickness", "Thickness", GLIMMORA_THICKNESS_MIN, GLIMMORA_THICKNESS_MAX, GLIMMORA_THICKNESS_DEFAULT},
    {"intensity", "Intensity", GLIMMORA_INTENSITY_MIN, GLIMMORA_INTENSITY_MAX, GLIMMORA_INTENSITY_DEFAULT},
    {"radius", "Radius", GLIMMORA_RADIUS_MIN, GLIMMORA_RADIUS_MAX, GLIMMORA_RADIUS_DEFAULT},
    {"length", "Length", GLIMMORA_LENGTH_MIN, GLIMMORA_LENGTH_MAX, GLIMMORA_LENGTH_DEFAULT},
};

#endif
