#include "effect/whole_image.h"

#include "effect/value_table.h"

namespace {

// The centre on one axis: the middle of the image unless a column or row is
// given, as the command-line host picks it.
int32_t centre_on(int32_t given, int32_t side)
{
    return given < 0 ? side / 2 : given;
}

}  // namespace

int16_t saturate_int16(int64_t value)
{
    if (value > 32767) return 32767;
    if (value < -32768) return -32768;
    return static_cast<int16_t>(value);
}

spoke_values values_from(const int64_t (&given)[6])
{
    static_assert(spoke_value_count == 6, "one given number per value");
    spoke_values v;
    v.spokes = saturate_int16(given[value_spokes]);
    v.angle = saturate_int16(given[value_angle]);
    v.thickness = saturate_int16(given[value_thickness]);
    v.intensity = saturate_int16(given[value_intensity]);
    v.radius = saturate_int16(given[value_radius]);
    v.length = saturate_int16(given[value_length]);
    return v;
}

bool whole_image_plannable(int32_t view_width, int32_t view_height, int32_t width, int32_t height)
{
    return width >= 1 && height >= 1 && width <= GLIMMORA_MAX_SIDE && height <= GLIMMORA_MAX_SIDE &&
           view_width >= 1 && view_height >= 1;
}

bool plan_whole_image(const whole_image_settings& settings, int32_t width, int32_t height, pixel_layout layout,
                      whole_image_plan* plan)
{
    *plan = whole_image_plan{};
    if (!whole_image_plannable(settings.view_width, settings.view_height, width, height)) return false;
    // The whole image is the working image (no thinning), and the view is
    // what the dialog measured.
    if (!fit_preview(width, height, settings.view_width, settings.view_height, 1, &plan->fit)) return false;
    plan->centre_x = centre_on(settings.centre_x, width);
    plan->centre_y = centre_on(settings.centre_y, height);
    plan->shader.geometry = setup_spoke_geometry(settings.values, plan->fit.extent, plan->fit.image_scale);
    plan->shader.centre_x = saturate_int16(plan->centre_x);
    plan->shader.centre_y = saturate_int16(plan->centre_y);
    plan->shader.layout = layout;
    return true;
}
