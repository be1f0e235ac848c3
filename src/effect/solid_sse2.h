// Solid stretches eight pixels at a time with SSE2, for the span path
// (spoke_span.cpp).  Not for use outside src/effect.
//
// A solid pixel takes the colour and the faded weight of its ramp position,
// b = (num * 1024) / span with num = d2 - inner_sq (inner half) or
// outer_sq - d2 (outer half), and its bytes follow from b alone.  Here the
// same integers are formed lane by lane:
// - d2 of eight neighbouring columns from their squares, stepped by
//   second differences;
// - b by reciprocal multiplication in 64-bit lanes, exactly as the scalar
//   path forms it (ramp_divider, exact_divide.h);
// - the weight u = (weight * min(b, 128)) >> 7, which is the end fade below
//   128 and the weight above it;
// - each byte (p * (256 - u) + u * c) >> 8 in 16-bit lanes (at most
//   255 * 256, so nothing wraps), which at u = 256 is the colour itself;
//   the fourth CMYK byte ((p * (256 - u)) >> 8) + u, saturated to 255 as the
//   pixel rule writes it at u = 256; alpha bytes copied.
//
// SSE2 is the floor of both the 32- and the 64-bit plug-in: every x86-64
// processor has it, and so has every 32-bit one since the Pentium 4.  The
// 32-bit build is compiled for the i686 without it, so these functions ask
// for it themselves.  WebAssembly builds with -msimd128 -msse2 get the same
// code: emscripten's <emmintrin.h> maps each of these intrinsics onto wasm
// SIMD with the same results.  Only b is formed otherwise there (ramp_lanes
// below): the 64-bit lane products and shifts it takes here have no fast
// form in WebAssembly.
#pragma once

#if defined(__x86_64__) || defined(__i386__) || (defined(__wasm_simd128__) && defined(__SSE2__))
#define GLIMMORA_SOLID_SSE2 1

#include <emmintrin.h>
#if defined(__wasm_simd128__)
#include <wasm_simd128.h>
#endif

#include <cstddef>
#include <cstdint>

#if defined(__i386__) && !defined(__SSE2__)
#define GLIMMORA_SSE2_FN __attribute__((target("sse2")))
#else
#define GLIMMORA_SSE2_FN
#endif

// A 32-bit Windows host calls the plug-in with the stack aligned to 4 bytes
// only, while the compiler keeps SSE2 values on the stack at 16-byte
// offsets it takes for aligned: the entry into the SSE2 code aligns the
// stack itself.
#if defined(__i386__)
#define GLIMMORA_SSE2_ENTRY GLIMMORA_SSE2_FN __attribute__((force_align_arg_pointer))
#else
#define GLIMMORA_SSE2_ENTRY GLIMMORA_SSE2_FN
#endif

namespace solid_sse2 {

// The ramp of one half of the ring along one row.
struct ramp_line {
    uint32_t m, shift;     // narrow span: b = (num * 1024 * m) >> shift
    uint32_t recip, span;  // wide span: b = (num * recip) >> 31, or one more
    uint32_t ref;          // num = ref - |dx|^2 (outer half) or ref + |dx|^2 (inner half), modulo 2^32
    uint32_t weight;       // intensity weight, 0..256
};

#if defined(__wasm_simd128__)
// b of four lanes in WebAssembly, narrow and wide spans alike.  The products
// of ramp4 below become i64x2.mul there (three 32-bit multiplies each in the
// engines), and clang 14 splits a 64-bit lane shift by the narrow span's
// variable count into one scalar shift per lane: in gray, where little else
// is done per pixel, b took most of the time.  Here b comes from a single
// precision estimate, settled by its remainder in 32-bit lanes:
// - q = (num * 1024) / span is b; the true quotient Q lies in q .. q + 1
//   (num within 0 .. span, so Q within 0 .. 1024);
// - E = num * scale, scale = 1024 / span rounded to single precision: three
//   roundings of relative error at most 2^-24 each (scale, num, product)
//   put E within 1024 * 3.01 * 2^-24 < 2^-12 of Q;
// - E + 2^23 lies in 2^23 .. 2^24, where the floats are the integers, so
//   adding it rounds E to the nearest integer and the sum's bits less those
//   of 2^23 (0x4B000000) are that integer, est: q or q + 1;
// - rem = num * 1024 - est * span is then within -span .. span - 1, exact
//   in 32-bit lanes however the products wrap (span < 2^30), and est is one
//   too many exactly where it is negative.
// WebAssembly's float arithmetic is IEEE single precision, rounded to
// nearest, never fused or reassociated, so every engine forms the same est.
struct ramp_lanes {
    v128_t scale, span;
};

inline ramp_lanes lanes_of(const ramp_line& line) {
    return {wasm_f32x4_splat(static_cast<float>(1024.0 / line.span)),
            wasm_i32x4_splat(static_cast<int32_t>(line.span))};
}

inline __m128i ramp4(__m128i num, const ramp_lanes& k) {
    const v128_t estimate = wasm_f32x4_mul(wasm_f32x4_convert_i32x4(num), k.scale);
    const v128_t rounded = wasm_f32x4_add(estimate, wasm_f32x4_splat(8388608.0f));
    const v128_t est = wasm_i32x4_sub(rounded, wasm_i32x4_splat(0x4B000000));
    const v128_t rem = wasm_i32x4_sub(wasm_i32x4_shl(num, 10), wasm_i32x4_mul(est, k.span));
    return wasm_i32x4_add(est, wasm_i32x4_shr(rem, 31));
}
#endif

// b of four lanes from num, each below 2^11: narrow spans by the exact
// reciprocal, wide ones by the estimate and its one correction (the
// remainder num * 1024 - est * span is below 2^31, so 32-bit lanes hold it).
template <bool WIDE>
GLIMMORA_SSE2_FN inline __m128i ramp4(__m128i num, const ramp_line& line) {
    if (!WIDE) {
        const __m128i m = _mm_set_epi32(0, static_cast<int>(line.m), 0, static_cast<int>(line.m));
        const __m128i shift = _mm_cvtsi32_si128(static_cast<int>(line.shift));
        const __m128i x = _mm_slli_epi32(num, 10);
        const __m128i even = _mm_srl_epi64(_mm_mul_epu32(x, m), shift);
        const __m128i odd = _mm_srl_epi64(_mm_mul_epu32(_mm_srli_epi64(x, 32), m), shift);
        return _mm_or_si128(even, _mm_slli_epi64(odd, 32));
    }
    const __m128i recip = _mm_set_epi32(0, static_cast<int>(line.recip), 0, static_cast<int>(line.recip));
    const __m128i span = _mm_set1_epi32(static_cast<int>(line.span));
    const __m128i even = _mm_srli_epi64(_mm_mul_epu32(num, recip), 31);
    const __m128i odd = _mm_srli_epi64(_mm_mul_epu32(_mm_srli_epi64(num, 32), recip), 31);
    const __m128i est = _mm_or_si128(even, _mm_slli_epi64(odd, 32));
    const __m128i low = _mm_set_epi32(0, -1, 0, -1);
    const __m128i product = _mm_or_si128(_mm_and_si128(_mm_mul_epu32(even, span), low),
                                         _mm_slli_epi64(_mm_mul_epu32(odd, span), 32));
    const __m128i rem = _mm_sub_epi32(_mm_slli_epi32(num, 10), product);
    const __m128i short_by_one = _mm_andnot_si128(_mm_cmpgt_epi32(span, rem), _mm_set1_epi32(1));
    return _mm_add_epi32(est, short_by_one);
}

// Eight 16-bit values, one per pixel, spread over the pixels' bytes: BYTES
// vectors of eight lanes, lane j of vector v belonging to byte 8 v + j.
template <int BYTES>
GLIMMORA_SSE2_FN inline void spread(__m128i x, __m128i* out) {
    if (BYTES == 1) {
        out[0] = x;
    } else if (BYTES == 2) {
        out[0] = _mm_unpacklo_epi16(x, x);
        out[1] = _mm_unpackhi_epi16(x, x);
    } else if (BYTES == 3) {
        // 0 0 0 1 1 1 2 2 | 2 3 3 3 4 4 4 5 | 5 5 6 6 6 7 7 7
        const __m128i lo = _mm_unpacklo_epi64(x, x);
        const __m128i hi = _mm_unpackhi_epi64(x, x);
        out[0] = _mm_shufflehi_epi16(_mm_shufflelo_epi16(lo, _MM_SHUFFLE(1, 0, 0, 0)), _MM_SHUFFLE(2, 2, 1, 1));
        out[1] = _mm_shufflehi_epi16(_mm_shufflelo_epi16(x, _MM_SHUFFLE(3, 3, 3, 2)), _MM_SHUFFLE(1, 0, 0, 0));
        out[2] = _mm_shufflehi_epi16(_mm_shufflelo_epi16(hi, _MM_SHUFFLE(2, 2, 1, 1)), _MM_SHUFFLE(3, 3, 3, 2));
    } else {
        const __m128i lo = _mm_unpacklo_epi16(x, x);
        const __m128i hi = _mm_unpackhi_epi16(x, x);
        out[0] = _mm_unpacklo_epi32(lo, lo);
        out[1] = _mm_unpackhi_epi32(lo, lo);
        out[2] = _mm_unpacklo_epi32(hi, hi);
        out[3] = _mm_unpackhi_epi32(hi, hi);
    }
}

// The bytes of eight pixels as BYTES vectors of eight 16-bit lanes.
template <int BYTES>
GLIMMORA_SSE2_FN inline void load_pixels(const uint8_t* p, __m128i* out) {
    const __m128i zero = _mm_setzero_si128();
    if (BYTES == 1) {
        out[0] = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), zero);
        return;
    }
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    out[0] = _mm_unpacklo_epi8(a, zero);
    out[1] = _mm_unpackhi_epi8(a, zero);
    if (BYTES == 3) {
        out[2] = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + 16)), zero);
    } else if (BYTES == 4) {
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
        out[2] = _mm_unpacklo_epi8(b, zero);
        out[3] = _mm_unpackhi_epi8(b, zero);
    }
}

// Packs BYTES vectors of 16-bit lanes (0..511) back into the eight pixels'
// bytes, saturating at 255.
template <int BYTES>
GLIMMORA_SSE2_FN inline void store_pixels(uint8_t* d, const __m128i* v) {
    if (BYTES == 1) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(d), _mm_packus_epi16(v[0], v[0]));
        return;
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_packus_epi16(v[0], v[1]));
    if (BYTES == 3) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(d + 16), _mm_packus_epi16(v[2], v[2]));
    } else if (BYTES == 4) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16), _mm_packus_epi16(v[2], v[3]));
    }
}

// Lane constants of one byte vector: the colour of a colour byte is
// clamp(b * scale + add); ink bytes take + u; kept bytes are copied.
struct byte_lanes {
    int16_t scale[8], add[8], ink[8], kept[8];
};

// Marks a pixel whose coverage is the faded weight of its ramp position.
constexpr uint16_t solid_cover = 0xFFFF;

// Shades `groups` times eight pixels of one half of the ring, from |dx| = ax
// on, |dx| moving by step (+1 or -1) per pixel: at the faded weight of each
// one's ramp position (solid pixels), or with COVER at coverage cover[i]
// where that is not solid_cover.  COLOURS, INK and BYTES as in the pixel
// layout.
template <int BYTES, int COLOURS, bool INK, bool OUTER, bool WIDE, bool COVER>
GLIMMORA_SSE2_ENTRY void shade_groups(const ramp_line& line, uint8_t* d, const uint8_t* p, uint32_t ax, int32_t step,
                                      int32_t groups, const uint16_t* cover) {
    // Channel constants, by byte position within a pixel.
    int16_t scale_of[4] = {0, 0, 0, 0}, add_of[4] = {0, 0, 0, 0};
    if (COLOURS == 3) {
        if (OUTER) {
            scale_of[0] = 0, add_of[0] = 255;  // 255
            scale_of[1] = 1, add_of[1] = -512;  // b - 512
            scale_of[2] = 0, add_of[2] = 0;  // 0
        } else {
            scale_of[0] = 1, add_of[0] = -769;  // b - 769
            scale_of[1] = 1, add_of[1] = -512;  // b - 512
            scale_of[2] = -1, add_of[2] = 768;  // 768 - b
        }
    } else {
        scale_of[0] = 1;  // the gray value (b >> 1) is spread instead of b
    }
    __m128i scale[BYTES], add[BYTES], ink[BYTES], kept[BYTES];
    for (int v = 0; v < BYTES; ++v) {
        byte_lanes lanes;
        for (int j = 0; j < 8; ++j) {
            const int channel = (8 * v + j) % BYTES;
            const bool colour = channel < COLOURS;
            lanes.scale[j] = colour ? scale_of[channel] : 0;
            lanes.add[j] = colour ? add_of[channel] : 0;
            lanes.ink[j] = INK && channel == 3 ? -1 : 0;
            lanes.kept[j] = !colour && !(INK && channel == 3) ? -1 : 0;
        }
        scale[v] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lanes.scale));
        add[v] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lanes.add));
        ink[v] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lanes.ink));
        kept[v] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lanes.kept));
    }

#if defined(__wasm_simd128__)
    const ramp_lanes ramp = lanes_of(line);
#endif
    const __m128i ref = _mm_set1_epi32(static_cast<int>(line.ref));
    const __m128i weight = _mm_set1_epi16(static_cast<int16_t>(line.weight));
    const __m128i fade_end = _mm_set1_epi16(128);
    const __m128i full = _mm_set1_epi16(256);
    const __m128i zero = _mm_setzero_si128();
    const __m128i top = _mm_set1_epi16(255);

    // Squares of |dx| for the eight lanes, and their steps to the next group:
    // (a + 8 s)^2 - a^2 = 16 s a + 64, which itself grows by 128 per group.
    uint32_t sq[8], dsq[8];
    for (int j = 0; j < 8; ++j) {
        const uint32_t a = ax + static_cast<uint32_t>(step * j);
        sq[j] = a * a;
        dsq[j] = static_cast<uint32_t>(16 * step) * a + 64;
    }
    __m128i sq_lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sq));
    __m128i sq_hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sq + 4));
    __m128i dsq_lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dsq));
    __m128i dsq_hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dsq + 4));
    const __m128i dsq_step = _mm_set1_epi32(128);

    for (int32_t g = 0; g < groups; ++g, d += 8 * BYTES, p += 8 * BYTES) {
        const __m128i num_lo = OUTER ? _mm_sub_epi32(ref, sq_lo) : _mm_add_epi32(ref, sq_lo);
        const __m128i num_hi = OUTER ? _mm_sub_epi32(ref, sq_hi) : _mm_add_epi32(ref, sq_hi);
#if defined(__wasm_simd128__)
        const __m128i b = _mm_packs_epi32(ramp4(num_lo, ramp), ramp4(num_hi, ramp));
#else
        const __m128i b = _mm_packs_epi32(ramp4<WIDE>(num_lo, line), ramp4<WIDE>(num_hi, line));
#endif
        __m128i u = _mm_srli_epi16(_mm_mullo_epi16(_mm_min_epi16(b, fade_end), weight), 7);
        if (COVER) {
            const __m128i given = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cover + 8 * g));
            const __m128i solid = _mm_cmpeq_epi16(given, _mm_set1_epi16(-1));
            u = _mm_or_si128(_mm_and_si128(solid, u), _mm_andnot_si128(solid, given));
        }
        const __m128i w = _mm_sub_epi16(full, u);

        __m128i bs[BYTES], us[BYTES], ws[BYTES], px[BYTES];
        spread<BYTES>(COLOURS == 3 ? b : _mm_min_epi16(_mm_srli_epi16(b, 1), top), bs);
        spread<BYTES>(u, us);
        spread<BYTES>(w, ws);
        load_pixels<BYTES>(p, px);
        for (int v = 0; v < BYTES; ++v) {
            __m128i c = _mm_add_epi16(_mm_mullo_epi16(bs[v], scale[v]), add[v]);
            c = _mm_min_epi16(_mm_max_epi16(c, zero), top);
            __m128i r = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(px[v], ws[v]), _mm_mullo_epi16(us[v], c)), 8);
            if (INK) r = _mm_add_epi16(r, _mm_and_si128(us[v], ink[v]));
            if (BYTES == 2 || (BYTES == 4 && !INK)) r = _mm_or_si128(_mm_andnot_si128(kept[v], r), _mm_and_si128(kept[v], px[v]));
            px[v] = r;
        }
        store_pixels<BYTES>(d, px);

        sq_lo = _mm_add_epi32(sq_lo, dsq_lo);
        sq_hi = _mm_add_epi32(sq_hi, dsq_hi);
        dsq_lo = _mm_add_epi32(dsq_lo, dsq_step);
        dsq_hi = _mm_add_epi32(dsq_hi, dsq_step);
    }
}

}  // namespace solid_sse2

#endif
