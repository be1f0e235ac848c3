#include "run_oracle.h"

#include <cstring>

#include "effect/spoke.h"
#include "host/plan.h"
#include "host/prepare.h"
#include "state/run_state.h"

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

planned_run plan_for(int16_t measured_width, int16_t measured_height, const Rect16& filter, int16_t image_mode,
                     int32_t max_space, bool have_mask)
{
    run_state = run_state_t();
    run_state.bytes_per_pixel = bytes_per_pixel_for_mode(image_mode);
    prepare_sizes(filter);
    reset_subsample();
    int64_t budget = (int64_t)max_space - reserve_block_bytes() - budget_margin();
    if (have_mask) {
        plan_preview(measured_width, measured_height);
        selection_layout s = selection_layout_for(run_state.preview_width, run_state.preview_height);
        budget -= run_state.filter_width + 2 * s.erosion_bytes;
    }
    choose_subsample(&budget);
    plan_preview(measured_width, measured_height);
    planned_run p;
    p.subsample = run_state.subsample;
    p.preview_width = run_state.preview_width;
    p.preview_height = run_state.preview_height;
    p.preview_extent = run_state.preview_extent;
    p.preview_scale = run_state.preview_scale;
    p.image_scale = run_state.image_scale;
    p.working_width = run_state.working_width;
    p.working_height = run_state.working_height;
    return p;
}

testhost::image expected_output(const testhost::image& source, const Rect16& filter, int16_t image_mode,
                                const spoke_params& params, const planned_run& plan)
{
    testhost::image out = source;
    spoke_shader shader;
    if (!layout_for_bytes(bytes_per_pixel_for_mode(image_mode), &shader.layout)) return out;
    shader.geometry = setup_spoke_geometry({params.spokes, params.angle, params.thickness, params.intensity,
                                            params.radius, params.length},
                                           plan.preview_extent, plan.image_scale);
    shader.centre_x = params.saved_centre_x;
    shader.centre_y = params.saved_centre_y;
    int32_t width = filter.right - filter.left;
    int32_t height = filter.bottom - filter.top;
    for (int32_t y = 0; y < height; y++) {
        const uint8_t* src_row = source.at(filter.left, filter.top + y);
        for (int32_t x = 0; x < width; x++)
            shade_pixel(shader, (int16_t)x, (int16_t)y, src_row, out.at(filter.left + x, filter.top + y));
    }
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
