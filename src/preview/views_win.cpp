// The two preview views.  The image, outlines and marching ants are drawn by
// the preview code as it grows; until then the views paint their background
// and the dialog's values still drive the run.
#include <windows.h>

#include "host/plugin.h"
#include "host/run_state.h"
#include "preview/preview.h"

void init_preview_centre()
{
    load_preview_centre(&run_state.preview_centre_x, &run_state.preview_centre_y);
    if (run_state.preview_centre_x == 0) {
        run_state.preview_centre_x = (int16_t)(run_state.preview_width / 2);
        run_state.preview_centre_y = (int16_t)(run_state.preview_height / 2);
    }
}

void render_preview() {}
void erase_overlays(int16_t) {}
void draw_overlays(int16_t) {}
void build_selection_outline() {}
void animate_ants() {}

extern "C" LRESULT CALLBACK big_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    return DefWindowProcA(window, message, wparam, lparam);
}

extern "C" LRESULT CALLBACK small_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    return DefWindowProcA(window, message, wparam, lparam);
}
