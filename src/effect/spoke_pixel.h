// Inline core of the shading rule, shared by the pixel routine (spoke.cpp)
// and the span path (spoke_span.cpp), whose inner loops must not pay a call
// per pixel.  Not for use outside src/effect.
#pragma once

#include <cstddef>
#include <cstdint>

#include "effect/angle_math.h"
#include "effect/spoke.h"

namespace spoke_pixel {

constexpr uint32_t width_limit_d2 = 8388608u;  // 2^23

// How the bytes of one pixel are used: BYTES in all, the first COLOURS of
// them (1 or 3) take the ramp, and with INK the fourth moves toward 255 with
// the coverage.  Bytes that are neither are copied from the source.
template <int BYTES, int COLOURS, bool INK>
struct layout_traits {
    static constexpr int bytes = BYTES;
    static constexpr int colours = COLOURS;
    static constexpr bool ink = INK;
};
using gray_px = layout_traits<1, 1, false>;
using rgb_px = layout_traits<3, 3, false>;
using cmyk_px = layout_traits<4, 3, true>;
using gray_alpha_px = layout_traits<2, 1, false>;
using rgb_alpha_px = layout_traits<4, 3, false>;

// The geometry as the shading loops use it: widened once, with the spoke
// period's offset reduced and the spans the divisions use.
struct wide_geometry {
    int64_t inner_sq, outer_sq, mid_sq;
    int64_t outer_span;  // outer_sq - mid_sq
    int64_t inner_span;  // mid_sq - inner_sq
    uint32_t period, half;
    uint32_t offset;  // angle_offset reduced into 0 .. period - 1
    int64_t thick_sq, core_sq, feather_span;
    uint32_t weight;
    bool paints;  // false when no pixel can change
};

inline int64_t floor_mod(int64_t a, int64_t m) {
    int64_t r = a % m;
    return r < 0 ? r + m : r;
}

inline wide_geometry widen(const spoke_geometry& s) {
    wide_geometry g;
    g.inner_sq = s.inner_sq;
    g.outer_sq = s.outer_sq;
    g.mid_sq = s.mid_sq;
    g.outer_span = g.outer_sq - g.mid_sq;
    g.inner_span = g.mid_sq - g.inner_sq;
    g.period = s.spoke_period;
    g.half = s.half_period;
    g.offset = g.period ? static_cast<uint32_t>(floor_mod(s.angle_offset, g.period)) : 0;
    g.thick_sq = s.thick_sq;
    g.core_sq = s.core_sq;
    g.feather_span = s.feather_span;
    g.weight = s.intensity_weight > 256 ? 256 : s.intensity_weight;
    // With weight 0 the blend gives back the source bytes exactly, so such a
    // pass is a copy too.
    g.paints = g.period != 0 && g.thick_sq > 0 && g.weight != 0 && g.outer_sq > g.inner_sq;
    return g;
}

inline uint8_t clamp_to_byte(int32_t v) {
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

inline int16_t wrap16(int64_t v) {
    return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint64_t>(v)));
}

// Width measure: about 8 * s^2 for a pixel s pixels from the spoke's centre
// line.  Non-decreasing in o and in d2 (the span path relies on both).
inline uint64_t width_measure(uint32_t o, uint32_t d2) {
    uint32_t oo = o * o;  // o <= 32767
    if (d2 <= width_limit_d2) return oo / (width_limit_d2 / d2);
    return (static_cast<uint64_t>(oo) * d2) >> 23;
}

inline uint32_t distance_to_spoke(const wide_geometry& g, uint32_t e) {
    uint32_t rem = (e + g.offset) % g.period;
    return rem <= g.half ? rem : g.period - rem;
}

template <class L>
inline void copy_pixel(uint8_t* dst, const uint8_t* p) {
    for (int k = 0; k < L::bytes; ++k) dst[k] = p[k];
}

// Writes the spoke colour at coverage u (0..256) over source pixel p: the
// colour itself at full coverage, else the blend.
template <class L>
inline void write_spoke_colour(uint8_t* dst, const uint8_t* p, uint32_t u, uint32_t c0, uint32_t c1, uint32_t c2) {
    if (u == 256) {
        dst[0] = static_cast<uint8_t>(c0);
        if (L::colours == 3) {
            dst[1] = static_cast<uint8_t>(c1);
            dst[2] = static_cast<uint8_t>(c2);
        }
        if (L::ink) dst[3] = 255;
    } else {
        uint32_t w = 256 - u;
        dst[0] = static_cast<uint8_t>((p[0] * w + u * c0) >> 8);
        if (L::colours == 3) {
            dst[1] = static_cast<uint8_t>((p[1] * w + u * c1) >> 8);
            dst[2] = static_cast<uint8_t>((p[2] * w + u * c2) >> 8);
        }
        if (L::ink) dst[3] = static_cast<uint8_t>(((p[3] * w) >> 8) + u);
    }
    if (!L::ink) {
        for (int k = L::colours; k < L::bytes; ++k) dst[k] = p[k];
    }
}

// Colour ramp position b (0..1024) of a ring pixel and its three channels.
struct ramp {
    int32_t b;
    int32_t c0, c1, c2;
};

template <class L>
inline ramp colour_at(int32_t b, bool outer) {
    ramp r;
    r.b = b;
    if (outer) {
        r.c0 = 255;
        r.c2 = 0;
    } else {
        r.c0 = clamp_to_byte(b - 769);
        r.c2 = clamp_to_byte(768 - b);
    }
    r.c1 = clamp_to_byte(b - 512);
    if (L::colours == 1) r.c0 = clamp_to_byte(b >> 1);
    return r;
}

// Coverage after the end fade.
inline uint32_t faded_weight(const wide_geometry& g, int32_t b) {
    uint32_t u = g.weight;
    if (b < 128) u = (u * static_cast<uint32_t>(b)) >> 7;
    return u;
}

// Colour, fades and blend for a pixel inside the ring whose width measure t
// is below thick_sq.
template <class L>
inline void blend_spoke(const wide_geometry& g, uint8_t* dst, const uint8_t* p, int64_t d2, int64_t t) {
    const bool outer = d2 > g.mid_sq;
    const int32_t b = outer ? static_cast<int32_t>(((g.outer_sq - d2) * 1024) / g.outer_span)
                            : static_cast<int32_t>(((d2 - g.inner_sq) * 1024) / g.inner_span);
    const ramp c = colour_at<L>(b, outer);
    uint32_t u = faded_weight(g, b);
    if (t > g.core_sq) u = static_cast<uint32_t>(((g.thick_sq - t) * u) / g.feather_span);
    write_spoke_colour<L>(dst, p, u, c.c0, c.c1, c.c2);
}

// A pixel already known to lie inside the ring.
template <class L>
inline void shade_ring_pixel(const wide_geometry& g, uint8_t* dst, const uint8_t* p, int16_t dx, int16_t dy) {
    uint32_t d2 = static_cast<uint32_t>(dx * dx) + static_cast<uint32_t>(dy * dy);
    uint32_t o = distance_to_spoke(g, angle_math::pixel_angle(dx, dy));
    int64_t t = static_cast<int64_t>(width_measure(o, d2));
    if (t >= g.thick_sq) {
        copy_pixel<L>(dst, p);
        return;
    }
    blend_spoke<L>(g, dst, p, d2, t);
}

}  // namespace spoke_pixel
