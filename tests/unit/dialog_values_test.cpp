// The dialog's value pairs: ranges, text limits, scroll arithmetic, validation.
#include <gtest/gtest.h>

#include "dialog/value_pairs.h"
#include "state/run_state.h"
#include "resource.h"

namespace {

// What a scroll code does to a bar at `position`, clamped as the dialog does;
// -1000 when the code moves nothing.
int scroll(int16_t bar_id, int16_t code, int16_t position, int16_t thumb = 0)
{
    const value_pair* p = pair_for_bar(bar_id);
    int16_t requested;
    if (!scroll_request(code, position, thumb, p->page_step, p->minimum, p->maximum, &requested)) return -1000;
    return clamp_to_range(requested, p->minimum, p->maximum);
}

}  // namespace

TEST(ValuePairs, RangesTextLimitsAndPairing)
{
    struct {
        int16_t edit, bar, minimum, maximum, limit;
        int16_t* value;
    } expected[] = {
        {IDC_SPOKES_EDIT, IDC_SPOKES_BAR, 1, 50, 2, &run_state.spokes},
        {IDC_ANGLE_EDIT, IDC_ANGLE_BAR, 0, 360, 3, &run_state.angle},
        {IDC_THICKNESS_EDIT, IDC_THICKNESS_BAR, 5, 100, 3, &run_state.thickness},
        {IDC_INTENSITY_EDIT, IDC_INTENSITY_BAR, 0, 100, 3, &run_state.intensity},
        {IDC_RADIUS_EDIT, IDC_RADIUS_BAR, 0, 100, 3, &run_state.radius},
        {IDC_LENGTH_EDIT, IDC_LENGTH_BAR, 2, 100, 3, &run_state.length},
    };
    const value_pair* pairs = value_pairs();
    for (int i = 0; i < value_pair_count; i++) {
        EXPECT_EQ(expected[i].edit, pairs[i].edit_id);
        EXPECT_EQ(expected[i].bar, pairs[i].bar_id);
        EXPECT_EQ(expected[i].minimum, pairs[i].minimum);
        EXPECT_EQ(expected[i].maximum, pairs[i].maximum);
        EXPECT_EQ(expected[i].limit, text_limit(pairs[i].minimum, pairs[i].maximum));
        EXPECT_EQ(expected[i].value, pairs[i].value);
        EXPECT_EQ(&pairs[i], pair_for_edit(expected[i].edit));
        EXPECT_EQ(&pairs[i], pair_for_bar(expected[i].bar));
    }
    EXPECT_EQ(nullptr, pair_for_edit(IDC_PREVIEW));
    EXPECT_EQ(4, text_limit(-5, 100));
    // Intensity changes no drawing; thickness only the big view's outlines.
    EXPECT_EQ(overlays::none, pair_for_edit(IDC_INTENSITY_EDIT)->redraw);
    EXPECT_EQ(overlays::spoke_outlines, pair_for_edit(IDC_THICKNESS_EDIT)->redraw);
    EXPECT_EQ(overlays::small_view_and_spoke_outlines, pair_for_edit(IDC_ANGLE_EDIT)->redraw);
}

TEST(ScrollValue, PageStepsClampAtTheEnds)
{
    EXPECT_EQ(360, scroll(IDC_ANGLE_BAR, scroll_page_right, 355));
    EXPECT_EQ(360, scroll(IDC_ANGLE_BAR, scroll_page_right, 360));  // 370, clamped
    EXPECT_EQ(5, scroll(IDC_SPOKES_BAR, scroll_page_left, 8));
    EXPECT_EQ(1, scroll(IDC_SPOKES_BAR, scroll_page_left, 5));       // 0, clamped
    EXPECT_EQ(1, scroll(IDC_SPOKES_BAR, scroll_page_left, 1));
    EXPECT_EQ(10, scroll(IDC_SPOKES_BAR, scroll_page_right, 8));
    EXPECT_EQ(50, scroll(IDC_SPOKES_BAR, scroll_page_right, 50));
    EXPECT_EQ(0, scroll(IDC_RADIUS_BAR, scroll_page_left, 0));       // (-1 / 10) * 10 = 0
    EXPECT_EQ(40, scroll(IDC_RADIUS_BAR, scroll_page_left, 47));
    EXPECT_EQ(50, scroll(IDC_RADIUS_BAR, scroll_page_right, 47));
}

TEST(ScrollValue, LinesThumbAndEnds)
{
    EXPECT_EQ(2, scroll(IDC_LENGTH_BAR, scroll_line_left, 2));  // already at the minimum
    EXPECT_EQ(3, scroll(IDC_LENGTH_BAR, scroll_line_right, 2));
    EXPECT_EQ(77, scroll(IDC_LENGTH_BAR, scroll_thumb_track, 2, 77));
    EXPECT_EQ(77, scroll(IDC_LENGTH_BAR, scroll_thumb_position, 2, 77));
    EXPECT_EQ(2, scroll(IDC_LENGTH_BAR, scroll_left, 50));
    EXPECT_EQ(100, scroll(IDC_LENGTH_BAR, scroll_right, 50));
    EXPECT_EQ(-1000, scroll(IDC_LENGTH_BAR, 8, 50));  // SB_ENDSCROLL
    EXPECT_EQ(-1000, scroll(IDC_LENGTH_BAR, -3, 50));
}

TEST(ValidateValue, InvalidEntriesBecomeMinusOne)
{
    EXPECT_EQ(12, validate_value(true, 12, 1, 50));
    EXPECT_EQ(-1, validate_value(true, 0, 1, 50));     // 0 spokes
    EXPECT_EQ(-1, validate_value(true, 400, 0, 360));  // angle 400
    EXPECT_EQ(-1, validate_value(false, 0, 0, 360));   // text that is not a number
    EXPECT_EQ(0, validate_value(true, 0, 0, 360));
    EXPECT_EQ(360, validate_value(true, 360, 0, 360));
    // 65537 would wrap to 1 in 16 bits and pass for a valid spoke count.
    EXPECT_EQ(-1, validate_value(true, 65537, 1, 50));
    EXPECT_EQ(-1, validate_value(true, 4294967295u, 0, 360));
}
