// The big and small preview views of the dialog, their overlays and the
// selection outline.
#pragma once

#include <cstdint>

#include "preview/outline.h"

void render_preview();
void erase_overlays(overlays which);
void draw_overlays(overlays which);

// The selection's outline, and the timer whose ticks march its ants
// (animate_ants) until stop_ants.
void build_selection_outline();
void animate_ants();
void stop_ants();
