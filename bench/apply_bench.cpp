// The apply phase over one 4000 x 3000 image for a table of parameter sets,
// beside a plain memcpy of the same image measured in the same run.
//
// Each set is run as planning sets up a whole-image run for a 512-pixel
// preview (f = 1, preview 512 x 384, image_scale = (4000 << 16) / 512 =
// 512000, preview_extent = 512) unless it says otherwise, and each row is
// shaded exactly as the apply phase does it: setup_spoke_geometry with the
// image scale, then shade_span over the whole row.  Every set runs for RGB,
// gray and CMYK pixels.
//
// At the end a summary prints, for the fastest run of each, milliseconds,
// megapixels per second and the cost as a multiple of the memcpy.  The
// memcpy of a gray image (12 MB) would run from the cache, so gray is set
// against the memcpy of the 3-byte frame of the same size.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "effect/spoke.h"
#include "parameter_sets.h"

namespace {

using namespace bench_sets;

struct pixel_kind {
    const char* name;
    int bytes;
    int baseline_bytes;  // the frame whose memcpy is the baseline
};

const pixel_kind pixel_kinds[] = {{"RGB", 3, 3}, {"gray", 1, 3}, {"CMYK", 4, 4}};

struct image_pair {
    std::vector<uint8_t> src, dst;
};

image_pair& images(int bpp) {
    static std::map<int, image_pair> cache;
    image_pair& pair = cache[bpp];
    if (pair.src.empty()) {
        size_t bytes = static_cast<size_t>(image_width) * image_height * bpp;
        pair.src.resize(bytes);
        pair.dst.resize(bytes);
        uint32_t x = 12345;
        for (auto& b : pair.src) {
            x = x * 1103515245u + 12345u;
            b = static_cast<uint8_t>(x >> 24);
        }
    }
    return pair;
}

spoke_shader shader_for(const parameter_set& set, int bpp) {
    spoke_shader shader;
    layout_for_bytes(bpp, &shader.layout);
    shader.centre_x = set.centre_x;
    shader.centre_y = set.centre_y;
    shader.geometry = {};
    return shader;
}

void apply_rows(const parameter_set& set, int bpp) {
    image_pair& img = images(bpp);
    const size_t stride = static_cast<size_t>(image_width) * bpp;
    spoke_shader shader = shader_for(set, bpp);
    for (int32_t y = 0; y < image_height; ++y) {
        shader.geometry = setup_spoke_geometry(set.values, preview_extent, set.scale);
        shade_span(shader, y, 0, image_width, img.src.data() + y * stride, img.dst.data() + y * stride);
    }
}

void apply_pixels(const parameter_set& set, int bpp) {
    image_pair& img = images(bpp);
    const size_t stride = static_cast<size_t>(image_width) * bpp;
    spoke_shader shader = shader_for(set, bpp);
    for (int32_t y = 0; y < image_height; ++y) {
        shader.geometry = setup_spoke_geometry(set.values, preview_extent, set.scale);
        const uint8_t* s = img.src.data() + y * stride;
        uint8_t* d = img.dst.data() + y * stride;
        for (int32_t x = 0; x < image_width; ++x)
            shade_pixel(shader, static_cast<int16_t>(x), static_cast<int16_t>(y), s, d + x * bpp);
    }
}

// Pixels per second show up as items_per_second.
void finish(benchmark::State& state) {
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * image_width * image_height);
}

void run_memcpy(benchmark::State& state, int bpp) {
    image_pair& img = images(bpp);
    for (auto _ : state) {
        std::memcpy(img.dst.data(), img.src.data(), img.src.size());
        benchmark::ClobberMemory();
    }
    finish(state);
}

void run_apply(benchmark::State& state, const parameter_set* set, int bpp) {
    for (auto _ : state) {
        apply_rows(*set, bpp);
        benchmark::ClobberMemory();
    }
    finish(state);
}

void run_per_pixel(benchmark::State& state, const parameter_set* set, int bpp) {
    for (auto _ : state) {
        apply_pixels(*set, bpp);
        benchmark::ClobberMemory();
    }
    finish(state);
}

std::string memcpy_name(int bytes) { return "memcpy/" + std::to_string(bytes); }
std::string apply_name(const parameter_set& set, const pixel_kind& kind) {
    return std::string("apply/") + set.name + "/" + kind.name;
}
const char* const per_pixel_name = "per_pixel/default/RGB";

void register_all() {
    for (int bytes : {3, 4})
        benchmark::RegisterBenchmark(memcpy_name(bytes).c_str(), run_memcpy, bytes)->Unit(benchmark::kMillisecond);
    for (const parameter_set& set : parameter_sets)
        for (const pixel_kind& kind : pixel_kinds)
            benchmark::RegisterBenchmark(apply_name(set, kind).c_str(), run_apply, &set, kind.bytes)
                ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(per_pixel_name, run_per_pixel, &parameter_sets[0], 3)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(2);
}

// Keeps the fastest time of every benchmark (over --benchmark_repetitions,
// if given) beside the usual console output, for the summary.
class summary_reporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            const double seconds = run.GetAdjustedRealTime() / 1e3;  // reported in ms
            // Fixed iteration counts add a suffix to the name.
            std::string name = run.run_name.function_name;
            auto found = seconds_.find(name);
            if (found == seconds_.end() || seconds < found->second) seconds_[name] = seconds;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void print_summary() const {
        const double megapixels = static_cast<double>(image_width) * image_height / 1e6;
        std::printf("\n%d x %d, fastest run of each; x memcpy: against a memcpy of the %s\n", image_width,
                    image_height, "same image (gray: of the 3-byte frame)");
        std::printf("%-34s %10s %10s %10s\n", "", "ms", "MP/s", "x memcpy");
        for (int bytes : {3, 4}) {
            const double copy = lookup(memcpy_name(bytes));
            print_line("memcpy " + std::to_string(bytes) + "-byte frame", copy, copy, megapixels);
        }
        for (const parameter_set& set : parameter_sets) {
            for (const pixel_kind& kind : pixel_kinds) {
                const double copy = lookup(memcpy_name(kind.baseline_bytes));
                print_line(std::string("apply ") + set.name + " " + kind.name, lookup(apply_name(set, kind)), copy,
                           megapixels);
            }
        }
        print_line("per-pixel loop default RGB", lookup(per_pixel_name), lookup(memcpy_name(3)), megapixels);
    }

private:
    double lookup(const std::string& name) const {
        auto found = seconds_.find(name);
        return found == seconds_.end() ? 0.0 : found->second;
    }

    static void print_line(const std::string& label, double seconds, double copy, double megapixels) {
        if (seconds <= 0) return;
        std::printf("%-34s %10.2f %10.1f %10.2f\n", label.c_str(), seconds * 1e3, megapixels / seconds,
                    copy > 0 ? seconds / copy : 0.0);
    }

    std::map<std::string, double> seconds_;
};

}  // namespace

int main(int argc, char** argv) {
    register_all();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    summary_reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.print_summary();
    benchmark::Shutdown();
    return 0;
}
