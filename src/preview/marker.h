// The centre marker: a monochrome 16 x 8 bitmap, plate on the left, cross on
// the right.
#pragma once

void* create_marker_bitmap();  // HBITMAP, or null
