// The row path: shade_row must give the same bytes as shading the row one
// pixel at a time, for any parameters, scale, centre and row; and whole
// rendered images must keep their exact checksums.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "effect/spoke.h"
#include "host/run_state.h"

namespace {

struct parameters {
    int16_t spokes, angle, thickness, intensity, radius, length;
};

void set_parameters(const parameters& p, int16_t extent) {
    run_state.spokes = p.spokes;
    run_state.angle = p.angle;
    run_state.thickness = p.thickness;
    run_state.intensity = p.intensity;
    run_state.radius = p.radius;
    run_state.length = p.length;
    run_state.preview_extent = extent;
}

const int colour_sizes[] = {1, 3, 4};

int32_t row_position(int32_t row) { return static_cast<int32_t>(static_cast<uint32_t>(row) << 16); }

// The per-pixel loop the row path must match.
void shade_row_per_pixel(uint8_t* dst, int32_t width) {
    const int bpp = run_state.bytes_per_pixel;
    for (int32_t x = 0; x < width; ++x) {
        run_state.col_pos = x << 16;
        shade_pixel(dst + x * bpp);
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

struct rng {
    uint64_t x;
    uint32_t next() {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        return static_cast<uint32_t>(x >> 32);
    }
    int32_t in(int32_t lo, int32_t hi) { return lo + static_cast<int32_t>(next() % static_cast<uint32_t>(hi - lo + 1)); }
};

std::vector<uint8_t> pattern_row(int32_t width, int bpp, uint32_t seed) {
    std::vector<uint8_t> row(static_cast<size_t>(width) * bpp);
    for (size_t i = 0; i < row.size(); ++i) row[i] = static_cast<uint8_t>((i * 2654435761u + seed) >> 7);
    return row;
}

// Shades one row both ways (with guard bytes after each) and compares bytes,
// the untouched source and col_pos afterwards.
void expect_row_matches(int32_t width, int32_t row, uint32_t seed) {
    const int bpp = run_state.bytes_per_pixel;
    const size_t bytes = static_cast<size_t>(width) * bpp;
    std::vector<uint8_t> src = pattern_row(width, bpp, seed);
    const std::vector<uint8_t> src_before = src;
    std::vector<uint8_t> fast(bytes + 8, 0x5A), slow(bytes + 8, 0x5A);
    run_state.src_row = src.data();
    run_state.row_pos = row_position(row);
    run_state.col_pos = 12345;
    shade_row(fast.data(), width);
    const int32_t fast_col = run_state.col_pos;
    run_state.col_pos = 12345;
    shade_row_per_pixel(slow.data(), width);
    ASSERT_EQ(fast_col, run_state.col_pos);
    ASSERT_EQ(src, src_before);
    ASSERT_EQ(fast, slow) << "row " << row << " width " << width << " centre " << run_state.centre_x << ","
                          << run_state.centre_y << " spokes " << run_state.spokes << " angle " << run_state.angle
                          << " thickness " << run_state.thickness << " radius " << run_state.radius
                          << " length " << run_state.length << " bpp " << bpp;
}

int32_t outer_radius() {
    int32_t r = 0;
    while (static_cast<int64_t>(r) * r < run_state.outer_sq) ++r;
    return r;
}

TEST(EffectRow, MatchesPerPixelOnTheBenchmarkImage) {
    // 4000 x 3000 with the default parameters and a 512-pixel preview.
    set_parameters({8, 0, 20, 50, 50, 50}, 512);
    run_state.centre_x = 2000;
    run_state.centre_y = 1500;
    for (int bpp : {1, 3, 4}) {
        run_state.bytes_per_pixel = static_cast<int16_t>(bpp);
        for (int32_t row = 0; row < 3000; row += 37) {
            setup_spoke_geometry(512000);
            expect_row_matches(4000, row, static_cast<uint32_t>(row));
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
        set_parameters(p, extent);
        run_state.bytes_per_pixel = static_cast<int16_t>(colour_sizes[r.next() % 3]);
        setup_spoke_geometry(scale);

        const int32_t width = r.in(1, 1500);
        const int32_t reach = outer_radius() + 2;
        // Centres around the rendered columns, so the ring crosses them, and
        // sometimes anywhere in the int16 range.
        int32_t cx = r.in(-reach, width + reach);
        if (cx < -32768) cx = -32768;
        if (cx > 32767) cx = 32767;
        if (r.next() % 8 == 0) cx = static_cast<int16_t>(r.next());
        run_state.centre_x = static_cast<int16_t>(cx);
        run_state.centre_y = static_cast<int16_t>(r.next() % 4 ? r.in(-2000, 5000) : static_cast<int16_t>(r.next()));
        for (int i = 0; i < 4; ++i) {
            int32_t row = run_state.centre_y + r.in(-reach, reach);
            if (r.next() % 8 == 0) row = static_cast<int16_t>(r.next());
            expect_row_matches(width, static_cast<int16_t>(row), r.next());
        }
    }
}

TEST(EffectRow, MatchesPerPixelWhereColumnOffsetsWrap) {
    // From column centre_x + 32768 on, dx wraps to negative values.
    set_parameters({9, 17, 60, 80, 100, 100}, 512);
    for (int bpp : {1, 3, 4}) {
        run_state.bytes_per_pixel = static_cast<int16_t>(bpp);
        setup_spoke_geometry(65536 * 60);  // Ri = 12000, Ro = 24000
        run_state.centre_x = -20000;
        run_state.centre_y = 100;
        for (int32_t row : {100, 90, 1000, -5000, 20000}) expect_row_matches(32767, row, 7);
    }
}

TEST(EffectRow, MatchesPerPixelForFarPixelsAndWideRings) {
    rng r{0x13198A2E03707344ull};
    for (int round = 0; round < 40; ++round) {
        set_parameters({static_cast<int16_t>(r.in(1, 50)), static_cast<int16_t>(r.in(0, 360)),
                        static_cast<int16_t>(r.in(5, 100)), static_cast<int16_t>(r.in(1, 100)),
                        static_cast<int16_t>(r.in(0, 100)), static_cast<int16_t>(r.in(2, 100))},
                       512);
        run_state.bytes_per_pixel = static_cast<int16_t>(colour_sizes[r.next() % 3]);
        setup_spoke_geometry(r.in(20, 64) * 65536);  // radii of thousands of pixels
        const int32_t reach = outer_radius();
        run_state.centre_x = static_cast<int16_t>(-r.in(0, reach < 32767 ? reach : 32767));
        run_state.centre_y = 0;
        for (int i = 0; i < 3; ++i) expect_row_matches(r.in(1000, 6000), r.in(-reach, reach), r.next());
    }
    // Spokes thicker than the dialog allows: the feather span passes 2^23,
    // so its product needs more than 31 bits.
    for (int round = 0; round < 12; ++round) {
        set_parameters({static_cast<int16_t>(r.in(1, 8)), static_cast<int16_t>(r.in(0, 360)),
                        static_cast<int16_t>(r.in(130, 300)), 100, 10, 100},
                       512);
        run_state.bytes_per_pixel = 3;
        setup_spoke_geometry(64 * 65536);
        ASSERT_GT(run_state.feather_span, 1 << 23);
        run_state.centre_x = static_cast<int16_t>(-r.in(0, 12000));
        run_state.centre_y = 0;
        for (int i = 0; i < 3; ++i) expect_row_matches(r.in(3000, 12000), r.in(-20000, 20000), r.next());
    }
}

TEST(EffectRow, CopiesRowsWhereNothingPaints) {
    set_parameters({0, 0, 20, 50, 50, 50}, 512);  // no spokes
    run_state.bytes_per_pixel = 3;
    setup_spoke_geometry(65536);
    run_state.centre_x = 100;
    run_state.centre_y = 100;
    std::vector<uint8_t> src = pattern_row(300, 3, 1), dst(300 * 3);
    run_state.src_row = src.data();
    run_state.row_pos = row_position(100);
    shade_row(dst.data(), 300);
    EXPECT_EQ(dst, src);
}

TEST(EffectRow, OddPixelSizesAndWidths) {
    set_parameters({8, 0, 20, 50, 50, 50}, 512);
    setup_spoke_geometry(65536);
    run_state.centre_x = 100;
    run_state.centre_y = 100;
    for (int bpp : {2, 5}) {
        run_state.bytes_per_pixel = static_cast<int16_t>(bpp);
        expect_row_matches(250, 120, 3);
    }
    // Nothing at all for empty rows or pixel sizes of zero or less; col_pos
    // is left alone when the loop would not run.
    uint8_t guard[8];
    std::memset(guard, 0x77, sizeof guard);
    run_state.bytes_per_pixel = 3;
    run_state.col_pos = 99;
    shade_row(guard, 0);
    shade_row(guard, -5);
    EXPECT_EQ(run_state.col_pos, 99);
    run_state.bytes_per_pixel = 0;
    shade_row(guard, 2);
    EXPECT_EQ(run_state.col_pos, 1 << 16);
    for (uint8_t b : guard) EXPECT_EQ(b, 0x77);
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
    set_parameters(g.p, g.extent);
    run_state.bytes_per_pixel = static_cast<int16_t>(g.bpp);
    run_state.centre_x = g.cx;
    run_state.centre_y = g.cy;
    for (int32_t y = 0; y < h; ++y) {
        run_state.src_row = src.data() + y * stride;
        run_state.row_pos = y << 16;
        setup_spoke_geometry(g.scale);
        shade_row(by_row.data() + y * stride, w);
        shade_row_per_pixel(by_pixel.data() + y * stride, w);
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
