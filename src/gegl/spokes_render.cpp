#include "gegl/spokes_render.h"

#include <cstring>

#include "effect/spoke.h"

namespace {

spoke_values values_of(const glimmora_spokes_settings& s)
{
    const int64_t given[] = {s.spokes, s.angle, s.thickness, s.intensity, s.radius, s.length};
    return values_from(given);
}

whole_image_settings whole_image_of(const glimmora_spokes_settings& s)
{
    return whole_image_settings{values_of(s), s.centre_x, s.centre_y, s.view_width, s.view_height};
}

}  // namespace

extern "C" int glimmora_spokes_plannable(const glimmora_spokes_settings* settings, int32_t width, int32_t height)
{
    return whole_image_plannable(settings->view_width, settings->view_height, width, height);
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

    whole_image_plan plan;
    if (!plan_whole_image(whole_image_of(*settings), image_width, image_height, layout, &plan)) {
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
