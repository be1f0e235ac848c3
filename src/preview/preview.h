// The big and small preview views of the dialog, their overlays and the
// selection outline.
#pragma once

#include <cstdint>

void render_preview();
void erase_overlays(int16_t a);
void draw_overlays(int16_t a);
void build_selection_outline();
void animate_ants();
