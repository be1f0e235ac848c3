// gegl-view-size.exe PLUGIN: prints the client size of the plug-in dialog's
// big view (control 100 of its FILTERDLG template) as Windows lays the dialog
// out on this display, and the display's DPI:  "WIDTH HEIGHT DPI".
//
// The plug-in fits its preview into exactly this size, so it is the view size
// the GEGL operation needs to give the plug-in's bytes.  The dialog is created
// hidden from the plug-in's own resources, with inert procedures, and
// destroyed again; nothing of the plug-in runs but its DllMain.
#include <windows.h>

#include <cstdio>

static LRESULT CALLBACK inert_view(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); }
static INT_PTR CALLBACK inert_dialog(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: gegl-view-size PLUGIN\n");
        return 2;
    }
    HMODULE plugin = LoadLibraryA(argv[1]);
    if (plugin == nullptr) {
        std::fprintf(stderr, "cannot load %s (error %lu)\n", argv[1], GetLastError());
        return 1;
    }
    WNDCLASSA wc = {};
    wc.lpfnWndProc = inert_view;
    wc.hInstance = plugin;
    wc.lpszClassName = "big_view";
    RegisterClassA(&wc);
    wc.lpszClassName = "small_view";
    RegisterClassA(&wc);
    HWND dialog = CreateDialogParamA(plugin, "FILTERDLG", nullptr, inert_dialog, 0);
    if (dialog == nullptr) {
        std::fprintf(stderr, "cannot create FILTERDLG (error %lu)\n", GetLastError());
        return 1;
    }
    RECT r = {0, 0, 0, 0};
    GetClientRect(GetDlgItem(dialog, 100), &r);
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    DestroyWindow(dialog);
    UnregisterClassA("big_view", plugin);
    UnregisterClassA("small_view", plugin);
    FreeLibrary(plugin);
    std::printf("%ld %ld %d\n", r.right, r.bottom, dpi);
    return 0;
}
