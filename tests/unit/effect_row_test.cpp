// The span path: shade_span must give the same bytes as shading the span one
// pixel at a time, for any parameters, scale, centre, row, columns and pixel
// layout; and whole rendered images must keep their exact checksums.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "effect/spoke.h"
#include "test_rng.h"

namespace {

struct parameters {
    int16_t spokes, angle, thickness, intensity, radius, length;
};

// The pass under test: values, geometry, centre and pixel layout.
struct pass {
    parameters p;
    int16_t extent;
    spoke_shader shader;

    void setup(int32_t scale) {
        shader.geometry = setup_spoke_geometry({p.spokes, p.angle, p.thickness, p.intensity, p.radius, p.length},
                                               extent, scale);
    }
    int bytes() const { return layout_bytes(shader.layout); }
};

pass make_pass(const parameters& p, int16_t extent, pixel_layout layout = pixel_layout::rgb) {
    pass s;
    s.p = p;
    s.extent = extent;
    s.shader.centre_x = 0;
    s.shader.centre_y = 0;
    s.shader.layout = layout;
    s.shader.geometry = {};
    return s;
}

const pixel_layout host_layouts[] = {pixel_layout::gray, pixel_layout::rgb, pixel_layout::cmyk};
const pixel_layout all_layouts[] = {pixel_layout::gray, pixel_layout::rgb, pixel_layout::cmyk,
                                    pixel_layout::gray_alpha, pixel_layout::rgb_alpha};

// The per-pixel loop the span path must match: columns x0 .. x1-1, src and
// dst at column x0.
void shade_span_per_pixel(const pass& s, int32_t row, int32_t x0, int32_t x1, const uint8_t* src, uint8_t* dst) {
    const int bpp = s.bytes();
    for (int32_t x = x0; x < x1; ++x) {
        // shade_pixel reads column c at src_row + c * bpp: hand it the pixel
        // itself as a one-pixel row, column 0 being the pixel's own offset.
        const int16_t col = static_cast<int16_t>(x);
        spoke_shader at = s.shader;
        // Shift the centre so the pixel sits at column 0 with the same dx.
        at.centre_x = static_cast<int16_t>(at.centre_x - col);
        shade_pixel(at, 0, static_cast<int16_t>(row), src + static_cast<size_t>(x - x0) * bpp,
                    dst + static_cast<size_t>(x - x0) * bpp);
    }
}

// The preview scale and extent planning derives for a working image of w x h
// shown in an area of aw x ah.
struct plan {
    int32_t preview_scale;
    int16_t extent;
};

plan plan_preview(int32_t w, int32_t h, int32_t aw, int32_t ah) {
    int32_t pw = aw < 512 ? aw : 512;
    int32_t ph = ah < 512 ? ah : 512;
    int32_t sx = (w << 16) / pw;
    int32_t sy = (h << 16) / ph;
    plan p;
    if (sy < sx) {
        p.preview_scale = sx;
        ph = h * pw / w;
    } else {
        p.preview_scale = sy;
        pw = w * ph / h;
    }
    p.extent = static_cast<int16_t>(pw > ph ? pw : ph);
    return p;
}

std::vector<uint8_t> pattern_row(int32_t width, int bpp, uint32_t seed) {
    std::vector<uint8_t> row(static_cast<size_t>(width) * bpp);
    for (size_t i = 0; i < row.size(); ++i) row[i] = static_cast<uint8_t>((i * 2654435761u + seed) >> 7);
    return row;
}

// Shades columns x0 .. x1-1 of one row both ways (with guard bytes after
// each) and compares bytes and the untouched source.
void expect_span_matches(const pass& s, int32_t x0, int32_t x1, int32_t row, uint32_t seed) {
    const int bpp = s.bytes();
    const size_t bytes = static_cast<size_t>(x1 - x0) * bpp;
    std::vector<uint8_t> src = pattern_row(x1 - x0, bpp, seed);
    const std::vector<uint8_t> src_before = src;
    std::vector<uint8_t> fast(bytes + 8, 0x5A), slow(bytes + 8, 0x5A);
    shade_span(s.shader, row, x0, x1, src.data(), fast.data());
    shade_span_per_pixel(s, row, x0, x1, src.data(), slow.data());
    ASSERT_EQ(src, src_before);
    ASSERT_EQ(fast, slow) << "row " << row << " columns " << x0 << ".." << x1 << " centre " << s.shader.centre_x
                          << "," << s.shader.centre_y << " spokes " << s.p.spokes << " angle " << s.p.angle
                          << " thickness " << s.p.thickness << " radius " << s.p.radius << " length " << s.p.length
                          << " intensity " << s.p.intensity << " extent " << s.extent << " inner_sq "
                          << s.shader.geometry.inner_sq << " mid_sq " << s.shader.geometry.mid_sq << " outer_sq "
                          << s.shader.geometry.outer_sq << " thick_sq " << s.shader.geometry.thick_sq << " core_sq "
                          << s.shader.geometry.core_sq << " bytes " << bpp;
}

void expect_row_matches(const pass& s, int32_t width, int32_t row, uint32_t seed) {
    expect_span_matches(s, 0, width, row, seed);
}

int32_t outer_radius(const pass& s) {
    int32_t r = 0;
    while (static_cast<int64_t>(r) * r < s.shader.geometry.outer_sq) ++r;
    return r;
}

// The benchmark's parameter sets on its 4000 x 3000 image, set up as
// planning does for a 512-pixel preview (image_scale 512000) unless a set
// says otherwise.
struct image_case {
    parameters p;
    int32_t scale;
    int16_t cx, cy;
};

const image_case benchmark_cases[] = {
    {{8, 0, 20, 50, 50, 50}, 512000, 2000, 1500},      // the defaults
    {{50, 0, 100, 50, 0, 100}, 512000, 2000, 1500},    // dense, thick: nearly all solid
    {{50, 0, 5, 50, 0, 100}, 512000, 2000, 1500},      // dense, thin: half of it feather
    {{3, 0, 100, 50, 0, 100}, 512000, 2000, 1500},     // few, thick: rows along the spokes
    {{20, 15, 40, 50, 100, 100}, 512000, -1000, 1500}, // centre outside, far pixels, wide ramps
    {{8, 0, 20, 50, 50, 50}, 16384, 2000, 1500},       // a tiny scale
};

TEST(EffectRow, MatchesPerPixelOnTheBenchmarkImage) {
    for (const image_case& c : benchmark_cases) {
        for (pixel_layout layout : all_layouts) {
            pass s = make_pass(c.p, 512, layout);
            s.shader.centre_x = c.cx;
            s.shader.centre_y = c.cy;
            s.setup(c.scale);
            for (int32_t row : {0, 1499, 1500, 1501, 2999}) expect_row_matches(s, 4000, row, static_cast<uint32_t>(row));
            const int32_t step = c.p.spokes == 8 && c.scale == 512000 ? 37 : 89;
            for (int32_t row = 11; row < 3000; row += step) expect_row_matches(s, 4000, row, static_cast<uint32_t>(row));
        }
    }
}

TEST(EffectRow, MatchesPerPixelForRandomScenarios) {
    rng r{0x243F6A8885A308D3ull};
    for (int round = 0; round < 2500; ++round) {
        // A run as planning would set it up, or now and then anything at all.
        const int32_t w = r.next() % 3 ? r.in(1, 4000) : r.in(1, 32767);
        const int32_t h = r.next() % 3 ? r.in(1, 4000) : r.in(1, 32767);
        const int32_t f = r.in(1, 5);
        const int32_t ww = w / f > 0 ? w / f : 1;
        const int32_t wh = h / f > 0 ? h / f : 1;
        const plan pl = plan_preview(ww, wh, r.in(64, 700), r.in(64, 700));
        int32_t scale = r.next() % 2 ? pl.preview_scale * f : pl.preview_scale;
        int16_t extent = pl.extent;
        parameters p = {static_cast<int16_t>(r.in(1, 50)),  static_cast<int16_t>(r.in(0, 360)),
                        static_cast<int16_t>(r.in(5, 100)), static_cast<int16_t>(r.in(0, 100)),
                        static_cast<int16_t>(r.in(0, 100)), static_cast<int16_t>(r.in(2, 100))};
        if (r.next() % 5 == 0) {
            int16_t* fields[] = {&p.spokes, &p.angle, &p.thickness, &p.intensity, &p.radius, &p.length};
            *fields[r.next() % 6] = static_cast<int16_t>(r.next());
        }
        if (r.next() % 10 == 0) scale = static_cast<int32_t>(r.next());
        if (r.next() % 10 == 0) extent = static_cast<int16_t>(r.next());
        pass s = make_pass(p, extent, all_layouts[r.next() % 5]);
        s.setup(scale);

        const int32_t width = r.in(1, 1500);
        const int32_t reach = outer_radius(s) + 2;
        // Centres around the rendered columns, so the ring crosses them, and
        // sometimes anywhere in the int16 range.
        int32_t cx = r.in(-reach, width + reach);
        if (cx < -32768) cx = -32768;
        if (cx > 32767) cx = 32767;
        if (r.next() % 8 == 0) cx = static_cast<int16_t>(r.next());
        s.shader.centre_x = static_cast<int16_t>(cx);
        s.shader.centre_y = static_cast<int16_t>(r.next() % 4 ? r.in(-2000, 5000) : static_cast<int16_t>(r.next()));
        for (int i = 0; i < 4; ++i) {
            int32_t row = s.shader.centre_y + r.in(-reach, reach);
            if (r.next() % 8 == 0) row = static_cast<int16_t>(r.next());
            // Whole rows from column 0, and spans starting anywhere.
            int32_t x0 = r.next() % 2 ? 0 : r.in(-reach, width);
            expect_span_matches(s, x0, x0 + width, static_cast<int16_t>(row), r.next());
        }
    }
}

// Settings at the ends of the dialog's ranges, where the span path takes its
// other routes: many spokes or few, thick or thin, from the centre or not,
// scales from a fraction of a pixel to dozens per preview pixel, centres in
// and out of the image, every layout, now and then in place.
TEST(EffectRow, MatchesPerPixelForDenseThickThinAndTinySpokes) {
    rng r{0xA4093822299F31D0ull};
    for (int round = 0; round < 700; ++round) {
        parameters p;
        p.spokes = static_cast<int16_t>(r.next() % 2 ? r.in(30, 50) : r.in(1, 4));
        p.angle = static_cast<int16_t>(r.in(0, 360));
        p.thickness = static_cast<int16_t>(r.next() % 2 ? r.in(60, 100) : r.in(5, 12));
        p.intensity = static_cast<int16_t>(r.next() % 4 ? r.in(1, 100) : 100);
        p.radius = static_cast<int16_t>(r.next() % 2 ? r.in(0, 5) : r.in(0, 100));
        p.length = static_cast<int16_t>(r.in(30, 100));
        int32_t scale;
        switch (r.next() % 3) {
            case 0: scale = r.in(2048, 65536); break;
            case 1: scale = r.in(65536, 16 * 65536); break;
            default: scale = r.in(16 * 65536, 64 * 65536); break;
        }
        pass s = make_pass(p, static_cast<int16_t>(r.in(200, 512)), all_layouts[r.next() % 5]);
        s.setup(scale);
        const int32_t width = r.in(1, 3000);
        const int32_t reach = outer_radius(s) + 2;
        const int32_t cx = r.next() % 3 ? r.in(0, width) : r.in(-reach, width + reach);
        s.shader.centre_x = static_cast<int16_t>(cx < -32768 ? -32768 : (cx > 32767 ? 32767 : cx));
        s.shader.centre_y = static_cast<int16_t>(r.in(-100, 100));
        for (int i = 0; i < 3; ++i) {
            int32_t row = s.shader.centre_y + r.in(-reach, reach);
            if (row < -32768 || row > 32767) row = s.shader.centre_y;
            const int32_t x0 = r.next() % 2 ? 0 : r.in(-200, width);
            expect_span_matches(s, x0, x0 + width, row, r.next());
            if (r.next() % 4 == 0) {
                std::vector<uint8_t> in_place = pattern_row(width, s.bytes(), 3), apart(in_place.size());
                shade_span(s.shader, row, x0, x0 + width, in_place.data(), apart.data());
                shade_span(s.shader, row, x0, x0 + width, in_place.data(), in_place.data());
                ASSERT_EQ(in_place, apart) << "in place, row " << row;
            }
        }
    }
}

TEST(EffectRow, MatchesPerPixelWhereColumnOffsetsWrap) {
    // From column centre_x + 32768 on, dx wraps to negative values; spans may
    // run on past 65536 columns and wrap again.
    for (pixel_layout layout : host_layouts) {
        pass s = make_pass({9, 17, 60, 80, 100, 100}, 512, layout);
        s.setup(65536 * 60);  // Ri = 12000, Ro = 24000
        s.shader.centre_x = -20000;
        s.shader.centre_y = 100;
        for (int32_t row : {100, 90, 1000, -5000, 20000}) expect_row_matches(s, 32767, row, 7);
        expect_span_matches(s, 30000, 110000, 90, 8);
        expect_span_matches(s, -70000, -1000, 1000, 9);
    }
}

TEST(EffectRow, MatchesPerPixelForFarPixelsAndWideRings) {
    rng r{0x13198A2E03707344ull};
    for (int round = 0; round < 40; ++round) {
        pass s = make_pass({static_cast<int16_t>(r.in(1, 50)), static_cast<int16_t>(r.in(0, 360)),
                            static_cast<int16_t>(r.in(5, 100)), static_cast<int16_t>(r.in(1, 100)),
                            static_cast<int16_t>(r.in(0, 100)), static_cast<int16_t>(r.in(2, 100))},
                           512, host_layouts[r.next() % 3]);
        s.setup(r.in(20, 64) * 65536);  // radii of thousands of pixels
        const int32_t reach = outer_radius(s);
        s.shader.centre_x = static_cast<int16_t>(-r.in(0, reach < 32767 ? reach : 32767));
        s.shader.centre_y = 0;
        for (int i = 0; i < 3; ++i) expect_row_matches(s, r.in(1000, 6000), r.in(-reach, reach), r.next());
    }
    // Spokes thicker than the dialog allows: the feather span passes 2^23,
    // so its product needs more than 31 bits.
    for (int round = 0; round < 12; ++round) {
        pass s = make_pass({static_cast<int16_t>(r.in(1, 8)), static_cast<int16_t>(r.in(0, 360)),
                            static_cast<int16_t>(r.in(130, 300)), 100, 10, 100},
                           512);
        s.setup(64 * 65536);
        ASSERT_GT(s.shader.geometry.feather_span, 1 << 23);
        s.shader.centre_x = static_cast<int16_t>(-r.in(0, 12000));
        s.shader.centre_y = 0;
        for (int i = 0; i < 3; ++i) expect_row_matches(s, r.in(3000, 12000), r.in(-20000, 20000), r.next());
    }
}

TEST(EffectRow, CopiesRowsWhereNothingPaints) {
    pass s = make_pass({0, 0, 20, 50, 50, 50}, 512);  // no spokes
    s.setup(65536);
    s.shader.centre_x = 100;
    s.shader.centre_y = 100;
    std::vector<uint8_t> src = pattern_row(300, 3, 1), dst(300 * 3);
    shade_span(s.shader, 100, 0, 300, src.data(), dst.data());
    EXPECT_EQ(dst, src);
}

TEST(EffectRow, EmptySpansWriteNothing) {
    pass s = make_pass({8, 0, 20, 50, 50, 50}, 512);
    s.setup(65536);
    uint8_t src[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    uint8_t guard[8];
    std::memset(guard, 0x77, sizeof guard);
    shade_span(s.shader, 100, 5, 5, src, guard);
    shade_span(s.shader, 100, 5, -5, src, guard);
    for (uint8_t b : guard) EXPECT_EQ(b, 0x77);
}

// Shading a buffer over itself gives the bytes a separate destination gets.
TEST(EffectRow, ShadesInPlace) {
    for (pixel_layout layout : all_layouts) {
        pass s = make_pass({12, 33, 40, 70, 20, 90}, 512, layout);
        s.setup(65536);
        s.shader.centre_x = 150;
        s.shader.centre_y = 120;
        for (int32_t row = 0; row < 240; row += 7) {
            std::vector<uint8_t> src = pattern_row(300, s.bytes(), static_cast<uint32_t>(row));
            std::vector<uint8_t> apart(src.size());
            shade_span(s.shader, row, 0, 300, src.data(), apart.data());
            shade_span(s.shader, row, 0, 300, src.data(), src.data());
            ASSERT_EQ(src, apart) << "row " << row;
        }
    }
}

// --- golden images ----------------------------------------------------------

uint64_t fnv1a(const std::vector<uint8_t>& bytes) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (uint8_t b : bytes) {
        h ^= b;
        h *= 0x100000001b3ull;
    }
    return h;
}

struct golden_case {
    parameters p;
    int16_t extent;
    int32_t scale;
    int16_t cx, cy;
    int bpp;
    uint64_t hash;
};

// Renders a 300 x 200 image of a fixed pattern row by row, both ways.
void render(const golden_case& g, std::vector<uint8_t>& by_row, std::vector<uint8_t>& by_pixel) {
    const int32_t w = 300, h = 200;
    const size_t stride = static_cast<size_t>(w) * g.bpp;
    std::vector<uint8_t> src(stride * h);
    for (int32_t y = 0; y < h; ++y)
        for (size_t i = 0; i < stride; ++i)
            src[y * stride + i] = static_cast<uint8_t>(i * 3 + y * 5 + ((i * y) >> 4));
    by_row.assign(src.size(), 0);
    by_pixel.assign(src.size(), 0);
    pixel_layout layout = pixel_layout::rgb;
    ASSERT_TRUE(layout_for_bytes(g.bpp, &layout));
    pass s = make_pass(g.p, g.extent, layout);
    s.shader.centre_x = g.cx;
    s.shader.centre_y = g.cy;
    for (int32_t y = 0; y < h; ++y) {
        s.setup(g.scale);
        shade_span(s.shader, y, 0, w, src.data() + y * stride, by_row.data() + y * stride);
        shade_span_per_pixel(s, y, 0, w, src.data() + y * stride, by_pixel.data() + y * stride);
    }
}

TEST(EffectRow, GoldenImages) {
    // 300 x 200 with a 512-pixel preview: image_scale (300 << 16) / 512 = 38400.
    const golden_case cases[] = {
        {{8, 0, 20, 50, 50, 50}, 512, 38400, 150, 100, 3, 0xae0c0e78ae58824cull},
        {{8, 0, 20, 50, 50, 50}, 512, 38400, 150, 100, 1, 0x209a9eeb6702bd34ull},
        {{8, 0, 20, 50, 50, 50}, 512, 38400, 150, 100, 4, 0xa0ca9d083943303cull},
        {{7, 10, 60, 100, 20, 80}, 512, 38400, 40, 170, 3, 0xaac32e9a078081afull},
        {{7, 10, 60, 100, 20, 80}, 512, 38400, 40, 170, 1, 0xc7c0c7e49a9d9776ull},
        {{7, 10, 60, 100, 20, 80}, 512, 38400, 40, 170, 4, 0x2fb50deb4b5d7fe4ull},
        {{50, 359, 5, 75, 0, 100}, 512, 38400, 300, 0, 3, 0x10efe2d99db50d6bull},
        {{1, 200, 100, 30, 90, 2}, 256, 65536, 120, 90, 3, 0xe0cf0b21cb16abe8ull},
        {{3, 45, 35, 90, 10, 60}, 300, 65536 * 2, 250, 50, 4, 0xd02580a0ed440d7bull},
        {{42, 0, 12, 100, 30, 100}, 512, 38400, 10, 199, 1, 0xd85253f20abc94c0ull},
    };
    for (const golden_case& g : cases) {
        std::vector<uint8_t> by_row, by_pixel;
        render(g, by_row, by_pixel);
        SCOPED_TRACE(testing::Message() << "spokes " << g.p.spokes << " angle " << g.p.angle << " bpp " << g.bpp);
        EXPECT_EQ(by_row, by_pixel);
        EXPECT_EQ(fnv1a(by_row), g.hash) << std::hex << "0x" << fnv1a(by_row) << "ull";
    }
}

}  // namespace
