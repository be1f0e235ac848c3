// The big and small preview views of the dialog, their overlays and the
// selection outline.
#pragma once

#include <cstdint>

// The centre the dialog starts from: the stored centre in preview pixels, or
// the middle of the preview when none has been chosen yet.
void init_preview_centre();

void render_preview();
void erase_overlays(int16_t a);
void draw_overlays(int16_t a);
void build_selection_outline();
void animate_ants();
