/* The spoke engine as the web page uses it (compiled to WebAssembly).
 *
 * Pixels are R, G, B, A bytes, rows without padding: the colour ramp on R, G
 * and B, alpha untouched, as glimmora:spokes shades R'G'B'A u8.  Planning is
 * the engine's whole-image planning (effect/whole_image.h), so the same
 * values, centre and view size give the plug-in's bytes.
 *
 * The page reads the six values' names, labels, ranges and defaults from here
 * (effect/value_table.h), and keeps no copy of them. */
#ifndef GLIMMORA_WEB_GLIMMORA_WEB_H
#define GLIMMORA_WEB_GLIMMORA_WEB_H

#ifdef __cplusplus
#include <cstdint>
extern "C" {
#else
#include <stdint.h>
#endif

/* The six values in the table's order (spoke_value_index), the centre in
 * image pixels (negative: the middle) and the client size of the dialog's big
 * view. */
typedef struct glimmora_web_settings {
    int32_t values[6];
    int32_t centre_x, centre_y;
    int32_t view_width, view_height;
} glimmora_web_settings;

/* The value table, one field at a time; index 0 .. count - 1. */
int32_t glimmora_web_value_count(void);
const char* glimmora_web_value_name(int32_t index);
const char* glimmora_web_value_label(int32_t index);
int32_t glimmora_web_value_minimum(int32_t index);
int32_t glimmora_web_value_maximum(int32_t index);
int32_t glimmora_web_value_default(int32_t index);
/* The index of the value the dialog shows in row `row` (0: top). */
int32_t glimmora_web_value_shown(int32_t row);

/* The default view size and the largest image side the planning covers. */
int32_t glimmora_web_view_width(void);
int32_t glimmora_web_view_height(void);
int32_t glimmora_web_max_side(void);

/* Shades rows row_begin .. row_end - 1 of a width x height image; src and dst
 * point at the image's first row and may be the same buffer.  Exactly the
 * plug-in's bytes.  An image that cannot be planned is copied and 0 is
 * returned; otherwise 1. */
int32_t glimmora_web_render(const glimmora_web_settings* settings, int32_t width, int32_t height, int32_t row_begin,
                            int32_t row_end, const uint8_t* src, uint8_t* dst);

/* Shades a copy_width x copy_height copy of a width x height image (such as
 * glimmora_web_shrink makes) with the whole image's plan shrunk to the copy:
 * a likeness for display, and the exact result when the copy is the image
 * itself.  0 when the image cannot be planned (the copy is copied). */
int32_t glimmora_web_render_copy(const glimmora_web_settings* settings, int32_t width, int32_t height,
                                 int32_t copy_width, int32_t copy_height, const uint8_t* src, uint8_t* dst);

/* Shrinks a width x height image to copy_width x copy_height (each at most
 * the image's) by averaging the pixels each copy pixel covers, colours
 * weighted by their alpha. */
void glimmora_web_shrink(const uint8_t* src, int32_t width, int32_t height, uint8_t* dst, int32_t copy_width,
                         int32_t copy_height);

/* The ring for drawing outlines: radii[0] inner, radii[1] outer radius in
 * image pixels.  0 when the image cannot be planned. */
int32_t glimmora_web_ring(const glimmora_web_settings* settings, int32_t width, int32_t height, int32_t* radii);

/* Decodes a PNG file into RGBA bytes (16-bit samples keep their high byte,
 * gray and palette images become RGBA), as the command-line host reads PNG;
 * size[0], size[1] receive width and height.  Null on failure, with the
 * reason in glimmora_web_decode_failure().  The pixels are freed with free(). */
uint8_t* glimmora_web_decode_png(const uint8_t* data, int32_t length, int32_t* size);
const char* glimmora_web_decode_failure(void);

#ifdef __cplusplus
}
#endif

#endif
