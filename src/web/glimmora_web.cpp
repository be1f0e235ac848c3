#include "web/glimmora_web.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "effect/spoke.h"
#include "effect/value_table.h"
#include "effect/whole_image.h"

namespace {

whole_image_settings whole_image_of(const glimmora_web_settings& s)
{
    whole_image_settings w;
    int64_t given[spoke_value_count];
    for (int32_t i = 0; i < spoke_value_count; i++) given[i] = s.values[i];  // already in the table's order
    w.values = values_from(given);
    w.centre_x = s.centre_x;
    w.centre_y = s.centre_y;
    w.view_width = s.view_width;
    w.view_height = s.view_height;
    return w;
}

const spoke_value_info* entry(int32_t index)
{
    return index >= 0 && index < spoke_value_count ? &spoke_value_table[index] : nullptr;
}

constexpr int32_t pixel_bytes = 4;

}  // namespace

extern "C" {

int32_t glimmora_web_value_count(void) { return spoke_value_count; }
const char* glimmora_web_value_name(int32_t index) { return entry(index) ? entry(index)->name : ""; }
const char* glimmora_web_value_label(int32_t index) { return entry(index) ? entry(index)->label : ""; }
int32_t glimmora_web_value_minimum(int32_t index) { return entry(index) ? entry(index)->minimum : 0; }
int32_t glimmora_web_value_maximum(int32_t index) { return entry(index) ? entry(index)->maximum : 0; }
int32_t glimmora_web_value_default(int32_t index) { return entry(index) ? entry(index)->initial : 0; }
int32_t glimmora_web_value_shown(int32_t row) { return entry(row) ? spoke_value_shown_order[row] : 0; }

int32_t glimmora_web_view_width(void) { return GLIMMORA_VIEW_WIDTH_DEFAULT; }
int32_t glimmora_web_view_height(void) { return GLIMMORA_VIEW_HEIGHT_DEFAULT; }
int32_t glimmora_web_max_side(void) { return GLIMMORA_MAX_SIDE; }

int32_t glimmora_web_render(const glimmora_web_settings* settings, int32_t width, int32_t height, int32_t row_begin,
                            int32_t row_end, const uint8_t* src, uint8_t* dst)
{
    if (row_begin < 0) row_begin = 0;
    if (row_end > height) row_end = height;
    if (row_end <= row_begin) return 1;
    const size_t row_bytes = static_cast<size_t>(width) * pixel_bytes;
    whole_image_plan plan;
    if (!plan_whole_image(whole_image_of(*settings), width, height, pixel_layout::rgb_alpha, &plan)) {
        if (src != dst) {
            std::memmove(dst + row_bytes * row_begin, src + row_bytes * row_begin,
                         row_bytes * static_cast<size_t>(row_end - row_begin));
        }
        return 0;
    }
    for (int32_t y = row_begin; y < row_end; ++y) {
        const size_t at = row_bytes * static_cast<size_t>(y);
        shade_span(plan.shader, y, 0, width, src + at, dst + at);
    }
    return 1;
}

int32_t glimmora_web_render_copy(const glimmora_web_settings* settings, int32_t width, int32_t height,
                                 int32_t copy_width, int32_t copy_height, const uint8_t* src, uint8_t* dst)
{
    const size_t bytes = static_cast<size_t>(copy_width) * copy_height * pixel_bytes;
    const whole_image_settings whole = whole_image_of(*settings);
    whole_image_plan plan;
    if (copy_width < 1 || copy_height < 1 ||
        !plan_whole_image(whole, width, height, pixel_layout::rgb_alpha, &plan)) {
        if (src != dst && copy_width > 0 && copy_height > 0) std::memmove(dst, src, bytes);
        return 0;
    }
    // Every length and position shrinks as the copy does; a copy of the
    // image's own size keeps the plan as it is.
    spoke_shader shader = plan.shader;
    if (copy_width != width || copy_height != height) {
        const int64_t scale = static_cast<int64_t>(plan.fit.image_scale) * copy_width / width;
        shader.geometry = setup_spoke_geometry(whole.values, plan.fit.extent, static_cast<int32_t>(scale));
        shader.centre_x = saturate_int16(static_cast<int64_t>(plan.centre_x) * copy_width / width);
        shader.centre_y = saturate_int16(static_cast<int64_t>(plan.centre_y) * copy_height / height);
    }
    const size_t row_bytes = static_cast<size_t>(copy_width) * pixel_bytes;
    for (int32_t y = 0; y < copy_height; ++y) {
        const size_t at = row_bytes * static_cast<size_t>(y);
        shade_span(shader, y, 0, copy_width, src + at, dst + at);
    }
    return 1;
}

void glimmora_web_shrink(const uint8_t* src, int32_t width, int32_t height, uint8_t* dst, int32_t copy_width,
                         int32_t copy_height)
{
    if (width < 1 || height < 1 || copy_width < 1 || copy_height < 1 || copy_width > width || copy_height > height)
        return;
    // The copy column of every image column, and per copy column the sums of
    // alpha-weighted colour, of alpha and of pixels.
    std::vector<int32_t> column_of(static_cast<size_t>(width));
    for (int32_t x = 0; x < width; ++x) column_of[x] = static_cast<int32_t>(static_cast<int64_t>(x) * copy_width / width);
    std::vector<uint64_t> sums(static_cast<size_t>(copy_width) * 5);
    int32_t y = 0;
    for (int32_t j = 0; j < copy_height; ++j) {
        const int32_t y_end = static_cast<int32_t>(static_cast<int64_t>(j + 1) * height / copy_height);
        std::fill(sums.begin(), sums.end(), 0);
        for (; y < y_end; ++y) {
            const uint8_t* p = src + static_cast<size_t>(y) * width * pixel_bytes;
            for (int32_t x = 0; x < width; ++x, p += pixel_bytes) {
                uint64_t* s = &sums[static_cast<size_t>(column_of[x]) * 5];
                const uint32_t a = p[3];
                s[0] += p[0] * a;
                s[1] += p[1] * a;
                s[2] += p[2] * a;
                s[3] += a;
                s[4] += 1;
            }
        }
        uint8_t* d = dst + static_cast<size_t>(j) * copy_width * pixel_bytes;
        for (int32_t i = 0; i < copy_width; ++i, d += pixel_bytes) {
            const uint64_t* s = &sums[static_cast<size_t>(i) * 5];
            for (int c = 0; c < 3; ++c) d[c] = s[3] ? static_cast<uint8_t>((s[c] + s[3] / 2) / s[3]) : 0;
            d[3] = static_cast<uint8_t>((s[3] + s[4] / 2) / s[4]);
        }
    }
}

int32_t glimmora_web_ring(const glimmora_web_settings* settings, int32_t width, int32_t height, int32_t* radii)
{
    whole_image_plan plan;
    if (!plan_whole_image(whole_image_of(*settings), width, height, pixel_layout::rgb_alpha, &plan)) return 0;
    radii[0] = static_cast<int32_t>(std::sqrt(static_cast<double>(plan.shader.geometry.inner_sq)));
    radii[1] = static_cast<int32_t>(std::sqrt(static_cast<double>(plan.shader.geometry.outer_sq)));
    return 1;
}

}  // extern "C"
