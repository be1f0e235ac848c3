// Reading the dialog's views back from the screen, and what they must show
// according to the plain reference.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "run_oracle.h"
#include "testhost.h"

// A view's client area as it is on the screen, 0xRRGGBB per pixel.
struct view_pixels {
    int32_t width = 0, height = 0;
    std::vector<uint32_t> rgb;
    uint32_t at(int32_t x, int32_t y) const { return rgb[(size_t)y * width + x]; }
};

view_pixels capture_view(HWND view);

// What the big view must show, when the plug-in draws it itself (no
// displayPixels on a screen of more than 8 bits): the working image as the
// preview samples it, the marching ants after `tick` ticks when there is an
// outline, and the centre marker on top.
struct view_model {
    const testhost::image* source = nullptr;
    Rect16 filter = {};
    reference::run_plan plan;
    reference::bit_map outline;  // empty: no ants shown
    int32_t tick = 0;
    int32_t marker_x = -1, marker_y = -1;

    uint32_t at(int32_t x, int32_t y) const;
};

// Compares a capture with the model; returns "" when they agree, else a
// description of the first differences and their number.
std::string differences(const view_pixels& got, const view_model& want);

// The dialog's views are sized and the big one has been rendered in full
// (which starts the ants afresh): the first paint sizes the views, the next
// renders.  Nothing is left pending for a later paint to redo.
void render_in_full(HWND dialog);
