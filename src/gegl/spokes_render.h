/* The spoke engine as the GEGL operation glimmora:spokes uses it.
 *
 * The operation's C side (spokes_op.c, built on GEGL's gegl-op.h) knows
 * nothing of the engine; it hands its property values, the input's size and
 * a block of pixels to glimmora_spokes_render, which plans the effect the way
 * the plug-in plans a whole-image run and shades the block.
 *
 * Planning is the engine's whole-image planning (effect/whole_image.h), as
 * the plug-in does it when the whole image fits its memory: the same values,
 * centre and view size give the plug-in's bytes.  The default view size
 * (GLIMMORA_VIEW_WIDTH_DEFAULT x GLIMMORA_VIEW_HEIGHT_DEFAULT) and the largest
 * side (GLIMMORA_MAX_SIDE) come from there too.
 *
 * Nothing here keeps state: any number of blocks of any number of images can
 * be shaded at once, from any thread. */
#ifndef GLIMMORA_GEGL_SPOKES_RENDER_H
#define GLIMMORA_GEGL_SPOKES_RENDER_H

#ifdef __cplusplus
#include <cstdint>
#else
#include <stdint.h>
#endif

#include "effect/value_table.h"
#include "effect/whole_image.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct glimmora_spokes_settings {
    int32_t spokes, angle, thickness, intensity, radius, length;
    int32_t centre_x, centre_y;        /* image pixels; -1: the middle, width / 2 or height / 2 */
    int32_t view_width, view_height;   /* client size of the dialog's big view */
} glimmora_spokes_settings;

/* Pixel layouts of the operation. */
typedef enum glimmora_spokes_pixels {
    GLIMMORA_RGBA_U8,  /* R'G'B'A u8: the colour ramp, alpha untouched */
    GLIMMORA_YA_U8,    /* Y'A u8: the gray ramp, alpha untouched */
} glimmora_spokes_pixels;

/* Whether an image of width x height can be planned at all: both sides
 * 1 .. GLIMMORA_MAX_SIDE, and a view of at least one pixel each way. */
int glimmora_spokes_plannable(const glimmora_spokes_settings* settings, int32_t width, int32_t height);

/* Shades a block of an image of image_width x image_height pixels (at full
 * resolution).  The block is `width` x `height` pixels at (x, y), in pixels of
 * mipmap level `level` (0: full resolution; level n halves the image n times)
 * relative to the image's top-left corner.  src and dst hold the block row
 * after row without padding, and may be the same buffer.
 *
 * At level 0 the result is exactly the plug-in's.  At coarser levels (a
 * zoomed-out canvas) the same plan is shrunk to the level: an approximation
 * for display.
 *
 * An image that cannot be planned (glimmora_spokes_plannable) is copied
 * unchanged and 0 is returned; otherwise 1. */
int glimmora_spokes_render(const glimmora_spokes_settings* settings, int32_t image_width, int32_t image_height,
                           int32_t level, glimmora_spokes_pixels pixels, int32_t x, int32_t y, int32_t width,
                           int32_t height, const void* src, void* dst);

#ifdef __cplusplus
}
#endif

#endif
