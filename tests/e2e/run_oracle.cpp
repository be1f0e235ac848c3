#include "run_oracle.h"

#include <cstring>

spoke_params default_record() { return {0, 0, 8, 0, 20, 50, 50, 50, 1}; }

reference::values values_of(const spoke_params& p)
{
    return {p.spokes, p.angle, p.thickness, p.intensity, p.radius, p.length};
}

static LRESULT CALLBACK inert_view(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); }
static INT_PTR CALLBACK inert_dialog(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

void measure_big_view(testhost::plugin_host& host, int16_t* width, int16_t* height)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = inert_view;
    wc.hInstance = host.module();
    wc.lpszClassName = "big_view";
    RegisterClassA(&wc);
    wc.lpszClassName = "small_view";
    RegisterClassA(&wc);
    HWND dialog = CreateDialogParamA(host.module(), "FILTERDLG", host.window(), inert_dialog, 0);
    RECT r = {0, 0, 0, 0};
    GetClientRect(GetDlgItem(dialog, 100), &r);
    DestroyWindow(dialog);
    UnregisterClassA("big_view", host.module());
    UnregisterClassA("small_view", host.module());
    *width = (int16_t)r.right;
    *height = (int16_t)r.bottom;
}

reference::run_plan plan_for(int16_t measured_width, int16_t measured_height, const Rect16& filter,
                             int16_t image_mode, int32_t max_space, bool have_mask)
{
    return reference::plan_run(filter.right - filter.left, filter.bottom - filter.top, image_mode, max_space,
                               have_mask, measured_width, measured_height);
}

testhost::image expected_output(const testhost::image& source, const Rect16& filter, int16_t image_mode,
                                const spoke_params& params, const reference::run_plan& plan)
{
    testhost::image out = source;
    const int32_t bpp = reference::bytes_per_pixel_for_mode(image_mode);
    const reference::geometry g =
        reference::make_geometry(values_of(params), plan.preview.extent, (int32_t)plan.preview.image_scale);
    for (int32_t y = 0; y < filter.bottom - filter.top; y++)
        for (int32_t x = 0; x < filter.right - filter.left; x++)
            reference::shade(g, params.saved_centre_x, params.saved_centre_y, x, y,
                             source.at(filter.left + x, filter.top + y), bpp, out.at(filter.left + x, filter.top + y));
    return out;
}

std::vector<uint8_t> preview_pixel(const testhost::image& source, const Rect16& filter,
                                   const reference::run_plan& plan, int32_t j, int32_t i, bool effect,
                                   const reference::values& v, int32_t cx, int32_t cy)
{
    const int32_t bpp = source.planes;
    const int64_t s = plan.preview.preview_scale;
    // Working pixel (x, r) is full-image pixel (x * f, r * f).
    const int32_t x = reference::preview_sample(j, s, plan.working_width);
    const int32_t r = reference::preview_sample(i, s, plan.working_height);
    const uint8_t* src = source.at(filter.left + x * plan.factor, filter.top + r * plan.factor);
    std::vector<uint8_t> out(src, src + bpp);
    if (!effect) return out;
    const reference::geometry g = reference::make_geometry(v, plan.preview.extent, (int32_t)s);
    reference::shade(g, reference::centre_to_full(cx, s), reference::centre_to_full(cy, s), x, r, src, bpp,
                     out.data());
    return out;
}

spoke_params params_from(const std::vector<uint8_t>& bytes)
{
    spoke_params p;
    memset(&p, 0, sizeof p);
    if (bytes.size() >= sizeof p) memcpy(&p, bytes.data(), sizeof p);
    return p;
}

std::vector<uint8_t> bytes_of(const spoke_params& p)
{
    const uint8_t* b = reinterpret_cast<const uint8_t*>(&p);
    return std::vector<uint8_t>(b, b + sizeof p);
}

Rect16 whole(const testhost::image& img)
{
    return Rect16{0, 0, (int16_t)img.height, (int16_t)img.width};
}
