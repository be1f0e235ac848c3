// The apply phase over the benchmarks' 4000 x 3000 image for their table of
// parameter sets (parameter_sets.h), in RGB, gray, CMYK and RGBA (the web
// page's pixels), without Google Benchmark so that the same source builds
// natively and with emscripten.  Prints one line per set and pixel kind: its
// name and the fastest of several runs in milliseconds.  bench/web/web_bench.sh
// runs the native and both WebAssembly builds and prints the ratios.
//
// Times are the process's processor time, not wall-clock time: on a machine
// shared with other work, the time spent waiting for a core would otherwise
// land on whichever build ran at that moment.
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <vector>

#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#endif

#include "effect/spoke.h"
#include "parameter_sets.h"

namespace {

using namespace bench_sets;

struct pixel_kind {
    const char* name;
    pixel_layout layout;
};

const pixel_kind pixel_kinds[] = {{"RGB", pixel_layout::rgb},
                                  {"gray", pixel_layout::gray},
                                  {"CMYK", pixel_layout::cmyk},
                                  {"RGBA", pixel_layout::rgb_alpha}};

double processor_ms()
{
#ifdef __EMSCRIPTEN__
    // node's own count for its process: emscripten's clocks are wall clocks.
    return EM_ASM_DOUBLE({
        const used = process.cpuUsage();
        return (used.user + used.system) / 1000;
    });
#else
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
#endif
}

double apply_ms(const parameter_set& set, pixel_layout layout, const std::vector<uint8_t>& src,
                std::vector<uint8_t>& dst)
{
    const int32_t bytes = layout_bytes(layout);
    const size_t stride = static_cast<size_t>(image_width) * bytes;
    spoke_shader shader;
    shader.layout = layout;
    shader.centre_x = set.centre_x;
    shader.centre_y = set.centre_y;
    const double start = processor_ms();
    for (int32_t y = 0; y < image_height; ++y) {
        shader.geometry = setup_spoke_geometry(set.values, preview_extent, set.scale);
        shade_span(shader, y, 0, image_width, src.data() + y * stride, dst.data() + y * stride);
    }
    return processor_ms() - start;
}

}  // namespace

int main()
{
    std::vector<uint8_t> src(static_cast<size_t>(image_width) * image_height * 4), dst(src.size());
    uint32_t x = 12345;
    for (auto& b : src) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 24);
    }
    for (const parameter_set& set : parameter_sets) {
        for (const pixel_kind& kind : pixel_kinds) {
            double best = 1e30;
            double spent = 0;
            // At least five runs and half a second.
            for (int run = 0; run < 5 || spent < 500; ++run) {
                const double ms = apply_ms(set, kind.layout, src, dst);
                spent += ms;
                if (ms < best) best = ms;
            }
            std::printf("apply/%s/%s %.3f\n", set.name, kind.name, best);
            std::fflush(stdout);
        }
    }
    return 0;
}
