// The six edit-field / scroll-bar pairs of the parameters dialog, and the
// arithmetic behind their scroll bars.  No Win32 here.
#pragma once

#include <cstdint>

#include "effect/value_table.h"
#include "preview/outline.h"

struct value_pair {
    int16_t* value;  // the run_state working copy
    int16_t edit_id;
    int16_t bar_id;
    int16_t minimum;  // the range of the value table (effect/value_table.h)
    int16_t maximum;
    int16_t page_step;
    overlays redraw;  // what a change of the value moves on screen
};

constexpr int value_pair_count = spoke_value_count;  // one for each value of the table

// In the order the dialog initialises them: # Spokes, Angle, Thickness,
// Intensity, Radius, Length.  The same order is used to validate on OK.
const value_pair* value_pairs();
const value_pair* pair_for_edit(int16_t edit_id);
const value_pair* pair_for_bar(int16_t bar_id);

// 2 characters, one more when the maximum has three digits, one more for a sign.
int16_t text_limit(int16_t minimum, int16_t maximum);

// Scroll-bar codes, as Windows numbers them.
enum : int16_t {
    scroll_line_left = 0,
    scroll_line_right = 1,
    scroll_page_left = 2,
    scroll_page_right = 3,
    scroll_thumb_position = 4,
    scroll_thumb_track = 5,
    scroll_left = 6,
    scroll_right = 7,
};

// The position a scroll code asks for, before clamping to the range.  Returns
// false for codes that move nothing (such as the end of a drag).
bool scroll_request(int16_t code, int16_t position, int16_t thumb, int16_t page_step, int16_t minimum,
                    int16_t maximum, int16_t* requested);

// The request clamped into the range.
int16_t clamp_to_range(int16_t requested, int16_t minimum, int16_t maximum);

// An edit field's number: invalid_value (run_state.h) unless the text
// translated and lies in range.
// Numbers beyond int16 are refused rather than wrapped into range.
int16_t validate_value(bool translated, uint32_t number, int16_t minimum, int16_t maximum);
