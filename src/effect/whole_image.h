/* Planning a run over a whole image, as the plug-in plans one when the whole
 * image fits its memory (no thinning): the preview is the image fitted into
 * the dialog's big view (each side capped at 512), every length of the effect
 * is a fraction of the larger preview side, and the image scale (image pixels
 * per preview pixel) takes it to the image.  The same values, centre and view
 * size then give the plug-in's bytes.  The GEGL operation and the web page
 * both plan this way.
 *
 * The constants are plain C, for the GEGL operation's property declarations. */
#ifndef GLIMMORA_EFFECT_WHOLE_IMAGE_H
#define GLIMMORA_EFFECT_WHOLE_IMAGE_H

/* The client size of the dialog's big view at 96 DPI, as the plug-in measures
 * it under Wine: the control is 180 x 180 dialog units, and the dialog's font
 * (8-point MS Sans Serif, which Wine replaces) has base units of 7 x 13
 * pixels, so the control is 180 * 7 / 4 = 315 by 180 * 13 / 8 = 293 pixels
 * (rounded) outside.  Its border becomes the 3D client edge that dialogs give
 * bordered controls, two pixels on every side: 311 x 289 inside.  (With the
 * original font's 6 x 13 base units, Windows would measure 266 x 289.) */
#define GLIMMORA_VIEW_WIDTH_DEFAULT 311
#define GLIMMORA_VIEW_HEIGHT_DEFAULT 289

/* The largest image side the plug-in's planning covers: its sizes are 16-bit. */
#define GLIMMORA_MAX_SIDE 32767

#ifdef __cplusplus

#include <cstdint>

#include "effect/preview_fit.h"
#include "effect/spoke.h"

// A number a front-end was given, as the int16 the plug-in's record would
// hold it: saturated to -32768 .. 32767.
int16_t saturate_int16(int64_t value);

// The six values given in the value table's order (value_table.h), each
// saturated the same way.
spoke_values values_from(const int64_t (&given)[6]);

struct whole_image_settings {
    spoke_values values;
    int32_t centre_x, centre_y;       // image pixels; negative: the middle, width / 2 or height / 2
    int32_t view_width, view_height;  // client size of the dialog's big view
};

// The plan of a whole image: the preview fit, the centre in image pixels and
// the shader for full resolution.
struct whole_image_plan {
    preview_fit fit;
    int32_t centre_x, centre_y;
    spoke_shader shader;
};

// Whether an image of width x height can be planned at all: both sides
// 1 .. GLIMMORA_MAX_SIDE, and a view of at least one pixel each way.
bool whole_image_plannable(int32_t view_width, int32_t view_height, int32_t width, int32_t height);

// Plans a run over a whole width x height image; false, with everything 0,
// when it cannot be planned.
bool plan_whole_image(const whole_image_settings& settings, int32_t width, int32_t height, pixel_layout layout,
                      whole_image_plan* plan);

#endif

#endif
