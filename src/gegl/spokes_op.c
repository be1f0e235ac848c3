/* glimmora:spokes, the spoke effect as a GEGL operation.
 *
 * A point filter: every output pixel depends on its own input pixel and its
 * position in the input's bounding box only, so GEGL may split the work into
 * any tiles and threads and the bytes stay those of the whole image.  The
 * pixels stay 8-bit (R'G'B'A u8, or Y'A u8 for gray input); alpha passes
 * through untouched.  spokes_render.cpp does the planning and shading. */

#include <math.h>

#include "gegl/spokes_render.h"
#include "glimmora_version.h"

#ifdef GEGL_PROPERTIES

property_int (spokes, "Spokes", GLIMMORA_SPOKES_DEFAULT)
    description ("Number of spokes")
    value_range (GLIMMORA_SPOKES_MIN, GLIMMORA_SPOKES_MAX)

/* Floating point, so that GIMP gives it its angle dial (which works on doubles
 * only); the effect takes whole degrees, rounded to the nearest. */
property_double (angle, "Angle", GLIMMORA_ANGLE_DEFAULT)
    description ("Rotation of the star in degrees, counter-clockwise; rounded to whole degrees")
    value_range (GLIMMORA_ANGLE_MIN, GLIMMORA_ANGLE_MAX)
    ui_meta ("unit", "degree")
    ui_meta ("direction", "ccw")

property_int (thickness, "Thickness", GLIMMORA_THICKNESS_DEFAULT)
    description ("Width of the spokes, relative to the view")
    value_range (GLIMMORA_THICKNESS_MIN, GLIMMORA_THICKNESS_MAX)

property_int (intensity, "Intensity", GLIMMORA_INTENSITY_DEFAULT)
    description ("Blend strength in percent")
    value_range (GLIMMORA_INTENSITY_MIN, GLIMMORA_INTENSITY_MAX)

property_int (radius, "Radius", GLIMMORA_RADIUS_DEFAULT)
    description ("Inner radius of the ring, relative to the view")
    value_range (GLIMMORA_RADIUS_MIN, GLIMMORA_RADIUS_MAX)

property_int (length, "Length", GLIMMORA_LENGTH_DEFAULT)
    description ("Length of the spokes, relative to the view")
    value_range (GLIMMORA_LENGTH_MIN, GLIMMORA_LENGTH_MAX)

property_int (center_x, "Center X", -1)
    description ("Column of the centre in image pixels, from the left edge of the input; -1: the middle")
    value_range (-1, GLIMMORA_MAX_SIDE)
    ui_meta ("unit", "pixel-coordinate")
    ui_meta ("axis", "x")

property_int (center_y, "Center Y", -1)
    description ("Row of the centre in image pixels, from the top edge of the input; -1: the middle")
    value_range (-1, GLIMMORA_MAX_SIDE)
    ui_meta ("unit", "pixel-coordinate")
    ui_meta ("axis", "y")

property_int (view_width, "View width", GLIMMORA_VIEW_WIDTH_DEFAULT)
    description ("Width in pixels of the preview area the proportions refer to (the plug-in dialog's big view)")
    value_range (1, GLIMMORA_MAX_SIDE)
    ui_range (16, 512)

property_int (view_height, "View height", GLIMMORA_VIEW_HEIGHT_DEFAULT)
    description ("Height in pixels of the preview area the proportions refer to (the plug-in dialog's big view)")
    value_range (1, GLIMMORA_MAX_SIDE)
    ui_range (16, 512)

#else

#define GEGL_OP_POINT_FILTER
#define GEGL_OP_NAME spokes
#define GEGL_OP_C_SOURCE spokes_op.c

#include "gegl-op.h"

static void prepare (GeglOperation *operation)
{
  const Babl *source = gegl_operation_get_source_format (operation, "input");
  const Babl *space = gegl_operation_get_source_space (operation, "input");
  const char *encoding = "R'G'B'A u8";
  const Babl *format;

  if (source && (babl_get_model_flags (babl_format_get_model (source)) & BABL_MODEL_FLAG_GRAY))
    encoding = "Y'A u8";
  format = babl_format_with_space (encoding, space);
  gegl_operation_set_format (operation, "input", format);
  gegl_operation_set_format (operation, "output", format);
}

static gboolean process (GeglOperation       *operation,
                         void                *in_buf,
                         void                *out_buf,
                         glong                n_pixels,
                         const GeglRectangle *roi,
                         gint                 level)
{
  GeglProperties *o = GEGL_PROPERTIES (operation);
  const GeglRectangle *box = gegl_operation_source_get_bounding_box (operation, "input");
  const Babl *format = gegl_operation_get_format (operation, "output");
  glimmora_spokes_pixels pixels =
      babl_format_get_n_components (format) == 2 ? GLIMMORA_YA_U8 : GLIMMORA_RGBA_U8;
  glimmora_spokes_settings settings;
  gint shift = level > 0 ? MIN (level, 16) : 0;
  gint image_width = box ? box->width : 0, image_height = box ? box->height : 0;

  settings.spokes = o->spokes;
  settings.angle = (gint) floor (o->angle + 0.5);
  settings.thickness = o->thickness;
  settings.intensity = o->intensity;
  settings.radius = o->radius;
  settings.length = o->length;
  settings.centre_x = o->center_x;
  settings.centre_y = o->center_y;
  settings.view_width = o->view_width;
  settings.view_height = o->view_height;

  /* Positions count from the input's top-left corner, at this level. */
  if (!glimmora_spokes_render (&settings, image_width, image_height, level, pixels,
                               roi->x - (box ? box->x >> shift : 0), roi->y - (box ? box->y >> shift : 0),
                               roi->width, roi->height, in_buf, out_buf))
    {
      /* One warning per operation, however many tiles pass through. */
      if (g_atomic_pointer_compare_and_exchange (&o->user_data, NULL, (gpointer) operation))
        g_warning ("glimmora:spokes: an input of %d x %d pixels is beyond the %d x %d the effect is planned "
                   "for; it passes through unchanged",
                   image_width, image_height, GLIMMORA_MAX_SIDE, GLIMMORA_MAX_SIDE);
    }
  return TRUE;
}

static void gegl_op_class_init (GeglOpClass *klass)
{
  GeglOperationClass *operation_class = GEGL_OPERATION_CLASS (klass);
  GeglOperationPointFilterClass *point_filter_class = GEGL_OPERATION_POINT_FILTER_CLASS (klass);

  operation_class->prepare = prepare;
  operation_class->opencl_support = FALSE;
  point_filter_class->process = process;

  gegl_operation_class_set_keys (operation_class,
    "name",        "glimmora:spokes",
    "title",       "Glimmora Spokes",
    "categories",  "light",
    "description", "A star of coloured spokes around a centre: each spoke runs from an inner to an "
                   "outer radius, coloured like a spectrum from blue through green and yellow to red, "
                   "blended over the image and feathered at its sides; gray images get a gray ramp. "
                   "The same values, centre and view size give the same pixels as the Glimmora plug-in. "
                   "Glimmora " GLIMMORA_VERSION ".",
    NULL);
}

#endif
