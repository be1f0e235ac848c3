// Runs a dialog script inside the plug-in's modal dialog.
#include <windows.h>

#include <cstring>

#include "cli/dialog_script.h"
#include "cli/image_io.h"
#include "cli/options.h"
#include "filter_host/dialog_driver.h"
#include "filter_host/process.h"
#include "resource.h"

static const int edit_ids[param_count] = {IDC_SPOKES_EDIT,    IDC_ANGLE_EDIT,  IDC_THICKNESS_EDIT,
                                          IDC_INTENSITY_EDIT, IDC_RADIUS_EDIT, IDC_LENGTH_EDIT};

// The dialog as it is on the screen, read back from the display.
static bool capture_window(HWND window, raster* image)
{
    RECT r;
    if (!GetWindowRect(window, &r)) return false;
    int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return false;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = bitmap != nullptr;
    if (ok) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        ok = BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY) != 0;
        GdiFlush();
        if (ok) {
            image->width = w;
            image->height = h;
            image->channels = 3;
            image->pixels.resize(image->size());
            const uint8_t* src = (const uint8_t*)bits;
            for (size_t i = 0; i < (size_t)w * h; i++) {
                image->pixels[i * 3] = src[i * 4 + 2];
                image->pixels[i * 3 + 1] = src[i * 4 + 1];
                image->pixels[i * 3 + 2] = src[i * 4];
            }
        }
        SelectObject(memory, old);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return ok;
}

void run_dialog_script(HWND dialog, const std::vector<dialog_step>& steps)
{
    filter_host::pump_messages(200, dialog);  // let it draw first
    for (const dialog_step& s : steps) {
        if (!IsWindow(dialog) || !IsWindowVisible(dialog)) return;
        switch (s.kind) {
        case dialog_step::set_value:
            filter_host::set_item_text(dialog, edit_ids[s.field], s.text);
            filter_host::pump_messages(50, dialog);
            break;
        case dialog_step::preview:
            filter_host::click(dialog, IDC_PREVIEW);
            filter_host::pump_messages(300, dialog);
            break;
        case dialog_step::wait:
            filter_host::pump_messages((DWORD)s.milliseconds, dialog);
            break;
        case dialog_step::shot: {
            raster picture;
            std::string error;
            if (!capture_window(dialog, &picture) ||
                !save_image(filter_host::windows_path(s.text), picture, file_kind::png, &error))
                std::fprintf(stderr, "glimmora: warning: could not save the dialog picture '%s'\n", s.text.c_str());
            break;
        }
        case dialog_step::ok:
            filter_host::click(dialog, IDOK);
            break;
        case dialog_step::cancel:
            filter_host::click(dialog, IDCANCEL);
            break;
        }
    }
}
