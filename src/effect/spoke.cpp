#include "effect/spoke.h"

#include <cstring>

#include "effect/angles.h"
#include "effect/spoke_pixel.h"

// Values outside the dialog's ranges.
//
// The parameter record comes back from the host unchecked, so every int16
// value of every parameter (and any scale, centre and position) must give a
// defined result.  The arithmetic is the documented one for every value;
// only where it would overflow or divide by zero is there a guard:
//
// - Radii, the length and the half-thicknesses are products of a preview
//   length and the scale, kept as int16.  They are formed in 64 bits and
//   saturate at +-32767 instead of wrapping; the outer and middle radii
//   saturate the same way.  A negative value simply follows the arithmetic:
//   a negative thickness squares to the half-width of its positive value, a
//   negative radius or length moves the ring (radius -50 with length 50 is an
//   empty ring).
// - spokes <= 0: there is no spoke.  spoke_period and half_period are 0 and
//   every pixel is copied.  Large counts keep the rounded period (at least 2).
// - intensity: the weight (intensity * 256) / 100 is kept within 0..256, so
//   above 100 the colour is written directly and below 0 the pixel is copied
//   (a weight above 256 would push the blend past a byte).
// - angle: angle_offset = angle * 143 for every value.  Beyond 360 the centre
//   lines simply keep turning by 143 units per degree.  For negative angles
//   the distance to a centre line uses a floored remainder, so the lines stay
//   at -angle_offset + k * spoke_period exactly as for positive angles (a
//   32-bit unsigned sum would add 2^32 mod spoke_period instead).
// - Centre and position: dx and dy wrap to int16 as stored differences.  The
//   squared distance (up to 2^31) is formed in 64 bits; anything at or above
//   2^31 is outside every ring, since outer_sq is at most 32767^2.  The
//   magnitude of -32768 is 32768 (16-bit negation would leave it negative
//   and send the pixel to the wrong octant).
// - The table arctangent never reads past atan_table: a ratio of exactly 1
//   uses the last entry alone.  spoke_angle(0, 0), which no ring pixel can
//   reach, is 38604 instead of a division by zero.
// - The ramp and feather divisions only run where their divisor is positive
//   (a pixel between inner_sq and mid_sq, mid_sq and outer_sq, core_sq and
//   thick_sq), whatever order stored values put the radii in.
//
// Large distances and wide rings, where the plain formulas run out of bits:
// - Far pixels, d2 above 2^23 (about 2896 pixels from the centre): 2^23 / d2
//   would be 0, so for these pixels alone the width measure is
//   t = (o * o * d2) >> 23, exactly, in 64 bits.  At and below 2^23 it is the
//   quantised q = 2^23 / d2, t = o * o / q.
// - The two ramp products and the feather product are formed in 64 bits with
//   the same truncating division; results that fit in 31 bits are unchanged.

using namespace spoke_pixel;

int32_t layout_bytes(pixel_layout layout) {
    switch (layout) {
        case pixel_layout::gray: return 1;
        case pixel_layout::rgb: return 3;
        case pixel_layout::cmyk: return 4;
        case pixel_layout::gray_alpha: return 2;
        case pixel_layout::rgb_alpha: return 4;
    }
    return 0;
}

bool layout_for_bytes(int32_t bytes_per_pixel, pixel_layout* layout) {
    switch (bytes_per_pixel) {
        case 1: *layout = pixel_layout::gray; return true;
        case 3: *layout = pixel_layout::rgb; return true;
        case 4: *layout = pixel_layout::cmyk; return true;
        default: return false;
    }
}

uint8_t clamp_byte(int16_t v) { return clamp_to_byte(v); }

uint16_t angle_distance(const spoke_geometry& geometry, uint16_t e) {
    uint32_t period = geometry.spoke_period;
    if (period == 0) return 65535;
    uint32_t offset = static_cast<uint32_t>(floor_mod(geometry.angle_offset, period));
    uint32_t rem = (e + offset) % period;
    return static_cast<uint16_t>(rem <= geometry.half_period ? rem : period - rem);
}

// v kept within the int16 lengths the geometry is made of.
static int32_t saturate16(int64_t v) { return v > 32767 ? 32767 : (v < -32767 ? -32767 : static_cast<int32_t>(v)); }

// A preview length as pixels of the shaded space: (len * scale) >> shift.
static int32_t to_pixels(int32_t preview_length, int32_t scale, int shift) {
    return saturate16((static_cast<int64_t>(preview_length) * scale) >> shift);
}

spoke_geometry setup_spoke_geometry(const spoke_values& values, int16_t preview_extent, int32_t scale) {
    spoke_geometry g;
    const int32_t ri = to_pixels(scale_by_preview(values.radius, preview_extent), scale, 16);
    const int32_t len = to_pixels(scale_by_preview(values.length, preview_extent), scale, 16);
    const int32_t ro = saturate16(ri + len);
    const int32_t rm = saturate16(ri + len / 2);
    g.inner_sq = ri * ri;
    g.outer_sq = ro * ro;
    g.mid_sq = rm * rm;

    if (values.spokes > 0) {
        // The full turn to thirteen significant digits, as the period has
        // always been derived; 7 spokes give 7353, not 7353.12 rounded from
        // a more precise pi.  The one floating-point operation of the effect.
        const double full_turn = 16384.0 * 3.14159265359;
        g.spoke_period = static_cast<uint16_t>(static_cast<int32_t>(full_turn / values.spokes + 0.5));
    } else {
        g.spoke_period = 0;
    }
    g.half_period = static_cast<uint16_t>(g.spoke_period >> 1);

    int32_t weight = (static_cast<int32_t>(values.intensity) * 256) / 100;
    if (weight < 0) weight = 0;
    if (weight > 256) weight = 256;
    g.intensity_weight = static_cast<uint16_t>(weight);

    g.angle_offset = static_cast<int32_t>(values.angle) * 143;

    // Width limit from half the thickness; the core is 15 preview pixels
    // narrower, but never below 5, so thin spokes keep a solid middle.
    const int32_t thick = scale_by_preview(values.thickness, preview_extent);
    const int32_t core = thick - 15 > 5 ? thick - 15 : 5;
    const int32_t ht = to_pixels(thick, scale, 17);
    const int32_t hc = to_pixels(core, scale, 17);
    g.thick_sq = ht * ht;
    g.core_sq = hc * hc;
    g.feather_span = g.thick_sq - g.core_sq;
    return g;
}

namespace {

template <class L>
void shade_one(const spoke_geometry& s, uint8_t* dst, const uint8_t* p, int16_t dx, int16_t dy) {
    const int64_t d2 = static_cast<int64_t>(dx * dx) + dy * dy;
    if (!(s.inner_sq < d2 && d2 < s.outer_sq) || s.spoke_period == 0) {
        copy_pixel<L>(dst, p);
        return;
    }
    shade_ring_pixel<L>(widen(s), dst, p, dx, dy);
}

}  // namespace

void shade_pixel(const spoke_shader& shader, int16_t col, int16_t row, const uint8_t* src_row, uint8_t* dst) {
    const int16_t dx = wrap16(static_cast<int32_t>(col) - shader.centre_x);
    const int16_t dy = wrap16(static_cast<int32_t>(row) - shader.centre_y);
    const uint8_t* p = src_row + static_cast<ptrdiff_t>(col) * layout_bytes(shader.layout);
    const spoke_geometry& g = shader.geometry;
    switch (shader.layout) {
        case pixel_layout::gray: shade_one<gray_px>(g, dst, p, dx, dy); break;
        case pixel_layout::rgb: shade_one<rgb_px>(g, dst, p, dx, dy); break;
        case pixel_layout::cmyk: shade_one<cmyk_px>(g, dst, p, dx, dy); break;
        case pixel_layout::gray_alpha: shade_one<gray_alpha_px>(g, dst, p, dx, dy); break;
        case pixel_layout::rgb_alpha: shade_one<rgb_alpha_px>(g, dst, p, dx, dy); break;
    }
}
