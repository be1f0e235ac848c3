// Shared set-up for the end-to-end tests (of the plug-in of each program's bitness).
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "testhost.h"
#include "wine_main.h"

typedef std::vector<uint8_t> bytes;

// A new record as the plug-in creates it: centre (0, 0), 8 spokes, angle 0,
// thickness 20, intensity 50, radius 50, length 50, showDialog 1.
inline bytes default_params()
{
    return {0x00, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x14, 0x00,
            0x32, 0x00, 0x32, 0x00, 0x32, 0x00, 0x01, 0x00, 0x00, 0x00};
}

// A stored record with values no default has, and the given showDialog.
inline bytes custom_params(uint8_t show_dialog)
{
    return {0x03, 0x00, 0x02, 0x00, 0x05, 0x00, 0x2d, 0x00, 0x0a, 0x00,
            0x4b, 0x00, 0x19, 0x00, 0x28, 0x00, show_dialog, 0x00, 0x00, 0x00};
}

// Loads the plug-in; a test that cannot load it stops there.
#define OPEN_HOST(host)                                   \
    testhost::plugin_host host(plugin_path());            \
    ASSERT_TRUE(host.loaded()) << host.load_error()

// Sets the host's FilterRecord up for calling prepare and start directly on
// a small image with no selection and ample memory.
inline void image_record(testhost::plugin_host& host, int16_t mode = plugInModeRGBColor, int16_t width = 8,
                         int16_t height = 6)
{
    host.reset_record();
    FilterRecord& r = host.record();
    r.imageSize = Point16{height, width};
    r.planes = 3;
    r.filterRect = Rect16{0, 0, height, width};
    r.maxSpace = 64 * 1024 * 1024;
    r.bufferSpace = 64 * 1024 * 1024;
    r.imageMode = mode;
}

inline bytes record_bytes(const FilterRecord& r)
{
    const uint8_t* p = (const uint8_t*)&r;
    return bytes(p, p + sizeof r);
}

inline std::string loaded_string(HMODULE module, UINT id)
{
    char buffer[1024] = {};
    int n = LoadStringA(module, id, buffer, sizeof buffer);
    return std::string(buffer, n > 0 ? (size_t)n : 0);
}

inline bool class_registered(HMODULE module, const char* name, WNDCLASSEXA* info = nullptr)
{
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    const bool found = GetClassInfoExA(module, name, &wc) != 0;
    if (info != nullptr) *info = wc;
    return found;
}

// Expects exactly the plug-in's "Warning" box with this text: no icon, a
// single OK button, owned by the host window.
inline void expect_warning(const testhost::plugin_host& host, const std::string& text)
{
    ASSERT_EQ(1u, host.message_boxes().size());
    const filter_host::message_box& box = host.message_boxes()[0];
    EXPECT_EQ("Warning", box.caption);
    EXPECT_EQ(text, box.text);
    EXPECT_EQ(filter_host::icon_kind::none, box.icon);
    EXPECT_EQ(std::vector<int>{IDOK}, box.buttons);
    EXPECT_EQ((UINT)MB_OK, box.flags);
    EXPECT_EQ(host.window(), box.owner);
}
