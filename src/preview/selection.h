// The 1-bit selection map at preview size: rows of whole 16-bit words, most
// significant bit first, the layout of a Windows monochrome bitmap.
#pragma once

#include <cstdint>

// Samples one full-resolution mask row into body row mask_rows_done of the
// selection map.  Only fully selected pixels (255) are set.
void fill_selection_row(const uint8_t* mask_row);
