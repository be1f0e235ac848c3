#include "screen_view.h"

#include <sstream>

view_pixels capture_view(HWND view)
{
    view_pixels v;
    RECT client = {0, 0, 0, 0};
    GetClientRect(view, &client);
    v.width = client.right;
    v.height = client.bottom;
    if (v.width <= 0 || v.height <= 0) return v;
    HDC dc = GetDC(view);
    HDC memory = CreateCompatibleDC(dc);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = v.width;
    info.bmiHeader.biHeight = -v.height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, v.width, v.height, dc, 0, 0, SRCCOPY);
    GdiFlush();
    const uint32_t* p = static_cast<const uint32_t*>(bits);
    v.rgb.resize((size_t)v.width * v.height);
    for (size_t k = 0; k < v.rgb.size(); k++) v.rgb[k] = p[k] & 0xFFFFFF;
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(view, dc);
    return v;
}

uint32_t view_model::at(int32_t x, int32_t y) const
{
    const std::vector<uint8_t> p = preview_pixel(*source, filter, plan, x, y, false, {}, 0, 0);
    uint32_t c = p.size() == 1 ? 0x010101u * p[0] : (uint32_t)(p[0] << 16 | p[1] << 8 | p[2]);
    if (outline.height > 0 && outline.at(x, y)) c = reference::ant_is_dark(x, y, tick) ? 0 : 0xFFFFFF;
    switch (reference::marker_at(x, y, marker_x, marker_y)) {
    case 1: c = 0xFFFFFF; break;
    case 2: c = 0; break;
    }
    return c;
}

std::string differences(const view_pixels& got, const view_model& want)
{
    std::ostringstream out;
    int32_t count = 0;
    for (int32_t y = 0; y < got.height; y++)
        for (int32_t x = 0; x < got.width; x++) {
            const uint32_t w = want.at(x, y), g = got.at(x, y);
            if (w == g) continue;
            if (count++ < 6)
                out << " (" << x << "," << y << ") shows " << std::hex << g << " instead of " << w << std::dec << ";";
        }
    if (got.width <= 0 || got.height <= 0) return "nothing captured";
    if (count == 0) return "";
    out << " " << count << " of " << got.width * got.height << " pixels differ";
    return out.str();
}

void render_in_full(HWND dialog)
{
    HWND view = GetDlgItem(dialog, 100);
    UpdateWindow(view);  // the first paint of a dialog sizes the views
    InvalidateRect(view, nullptr, FALSE);
    UpdateWindow(view);
}
