#include "effect/angles.h"

#include "effect/angle_math.h"

const int16_t sine_table[91] = {
    0,     572,   1144,  1715,  2286,  2856,  3425,  3993,  4560,  5126,  5690,  6252,  6813,
    7371,  7927,  8481,  9032,  9580,  10126, 10668, 11207, 11743, 12275, 12803, 13328, 13848,
    14365, 14876, 15384, 15886, 16384, 16877, 17364, 17847, 18324, 18795, 19261, 19720, 20174,
    20622, 21063, 21498, 21926, 22348, 22763, 23170, 23571, 23965, 24351, 24730, 25102, 25466,
    25822, 26170, 26510, 26842, 27166, 27482, 27789, 28088, 28378, 28660, 28932, 29197, 29452,
    29698, 29935, 30163, 30382, 30592, 30792, 30983, 31164, 31336, 31499, 31651, 31795, 31928,
    32052, 32166, 32270, 32365, 32449, 32524, 32588, 32643, 32688, 32723, 32748, 32763, 32767,
};

const uint16_t atan_table[33] = {
    0,    256,  511,  766,  1019, 1270, 1518, 1764, 2007, 2246, 2481,
    2712, 2939, 3161, 3378, 3591, 3798, 4000, 4197, 4389, 4576, 4758,
    4934, 5105, 5272, 5433, 5590, 5741, 5889, 6031, 6170, 6304, 6434,
};

// Sine of any whole number of degrees.  Adding or subtracting whole turns
// never changes the result, so the argument is reduced with one floored
// remainder instead of a loop (a loop of 360-steps would take millions of
// iterations for arguments near the ends of the 32-bit range).  The 64-bit
// argument lets cos_deg add its quarter turn without overflowing.
static int16_t sine_of_degrees(int64_t a) {
    int32_t d = static_cast<int32_t>(a % 360);
    if (d < 0) d += 360;
    if (d < 180) {
        if (d >= 90) d = 180 - d;
        return sine_table[d];
    }
    d -= 180;
    if (d >= 90) d = 180 - d;
    return static_cast<int16_t>(-sine_table[d]);
}

int16_t sin_deg(int32_t a) { return sine_of_degrees(a); }

int16_t cos_deg(int32_t a) { return sine_of_degrees(static_cast<int64_t>(a) + 90); }

uint16_t spoke_angle(int16_t dx, int16_t dy) { return angle_math::pixel_angle(dx, dy); }

int16_t scale_by_preview(int16_t v, int16_t s) {
    // |v * s| <= 2^30, so the product and the rounding term fit in 32 bits.
    int32_t r = (static_cast<int32_t>(v) * s + 128) >> 8;
    if (r < -32767) r = -32767;
    if (r > 32767) r = 32767;
    return static_cast<int16_t>(r);
}
