#include "gegl/spokes_render.h"

#include <cstring>

namespace {

int16_t as_int16(int32_t v)
{
    if (v > 32767) return 32767;
    if (v < -32768) return -32768;
    return static_cast<int16_t>(v);
}

spoke_values values_of(const glimmora_spokes_settings& s)
{
    spoke_values v;
    v.spokes = as_int16(s.spokes);
    v.angle = as_int16(s.angle);
    v.thickness = as_int16(s.thickness);
    v.intensity = as_int16(s.intensity);
    v.radius = as_int16(s.radius);
    v.length = as_int16(s.length);
    return v;
}

// The centre on one axis: the middle of the image unless a column or row is
// given, as the command-line host picks it.
int32_t centre_on(int32_t given, int32_t side)
{
    return given < 0 ? side / 2 : given;
}

}  // namespace

bool plan_spokes(const glimmora_spokes_settings& settings, int32_t image_width, int32_t image_height,
                 pixel_layout layout, glimmora_spokes_plan* plan)
{
    *plan = glimmora_spokes_plan{};
    if (!glimmora_spokes_plannable(&settings, image_width, image_height)) return false;
    // The whole image is the working image (no thinning), and the view is
    // what the dialog measured.
    if (!fit_preview(image_width, image_height, settings.view_width, settings.view_height, 1, &plan->fit))
        return false;
    plan->centre_x = centre_on(settings.centre_x, image_width);
    plan->centre_y = centre_on(settings.centre_y, image_height);
    plan->shader.geometry = setup_spoke_geometry(values_of(settings), plan->fit.extent, plan->fit.image_scale);
    plan->shader.centre_x = as_int16(plan->centre_x);
    plan->shader.centre_y = as_int16(plan->centre_y);
    plan->shader.layout = layout;
    return true;
}

extern "C" int glimmora_spokes_plannable(const glimmora_spokes_settings* settings, int32_t width, int32_t height)
{
    return width >= 1 && height >= 1 && width <= GLIMMORA_MAX_SIDE && height <= GLIMMORA_MAX_SIDE &&
           settings->view_width >= 1 && settings->view_height >= 1;
}

extern "C" int glimmora_spokes_render(const glimmora_spokes_settings* settings, int32_t image_width,
                                      int32_t image_height, int32_t level, glimmora_spokes_pixels pixels,
                                      int32_t x, int32_t y, int32_t width, int32_t height, const void* src,
                                      void* dst)
{
    const pixel_layout layout = pixels == GLIMMORA_YA_U8 ? pixel_layout::gray_alpha : pixel_layout::rgb_alpha;
    const size_t row_bytes = static_cast<size_t>(width > 0 ? width : 0) * layout_bytes(layout);
    const uint8_t* in = static_cast<const uint8_t*>(src);
    uint8_t* out = static_cast<uint8_t*>(dst);

    glimmora_spokes_plan plan;
    if (!plan_spokes(*settings, image_width, image_height, layout, &plan)) {
        if (in != nullptr && in != out && height > 0) std::memmove(out, in, row_bytes * static_cast<size_t>(height));
        return 0;
    }
    spoke_shader shader = plan.shader;
    if (level > 0) {
        // A coarser level halves every length and position per step.
        const int32_t shift = level < 16 ? level : 16;
        shader.geometry = setup_spoke_geometry(values_of(*settings), plan.fit.extent, plan.fit.image_scale >> shift);
        shader.centre_x = static_cast<int16_t>(plan.centre_x >> shift);
        shader.centre_y = static_cast<int16_t>(plan.centre_y >> shift);
    }
    for (int32_t j = 0; j < height; j++) {
        const size_t at = row_bytes * static_cast<size_t>(j);
        shade_span(shader, y + j, x, x + width, in + at, out + at);
    }
    return 1;
}
