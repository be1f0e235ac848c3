// Prepare: pixel size from the image mode and the sizes of the filter rectangle.
#pragma once

#include <cstdint>

#include "state/host_interface.h"

// 1 for grayscale, multichannel and duotone; 4 for CMYK; 3 for everything else
// (RGB, Lab and any mode a host may invent).
int16_t bytes_per_pixel_for_mode(int16_t image_mode);

// Sets the filter and working sizes and the row byte counts from the filter
// rectangle; bytes_per_pixel must already be set.
void prepare_sizes(const Rect16& filter_rect);
