// The apply phase over one 4000 x 3000 image with the default parameters, as
// planning sets it up for a 512-pixel preview (f = 1, preview 512 x 384,
// image_scale = (4000 << 16) / 512 = 512000, preview_extent = 512), beside a
// plain memcpy of the same image.  Each row is set up exactly as the apply
// phase does it: setup_spoke_geometry with image_scale, then the row.
//
// At the end a summary prints megapixels per second and the cost of each
// variant as a multiple of the memcpy.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "effect/spoke.h"

namespace {

constexpr int32_t image_width = 4000;
constexpr int32_t image_height = 3000;
constexpr int32_t image_scale = (image_width << 16) / 512;

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

const spoke_values default_values = {8, 0, 20, 50, 50, 50};

spoke_shader default_shader(int bpp) {
    spoke_shader shader;
    layout_for_bytes(bpp, &shader.layout);
    shader.centre_x = image_width / 2;
    shader.centre_y = image_height / 2;
    return shader;
}

void apply_rows(int bpp) {
    image_pair& img = images(bpp);
    const size_t stride = static_cast<size_t>(image_width) * bpp;
    spoke_shader shader = default_shader(bpp);
    for (int32_t y = 0; y < image_height; ++y) {
        shader.geometry = setup_spoke_geometry(default_values, 512, image_scale);
        shade_span(shader, y, 0, image_width, img.src.data() + y * stride, img.dst.data() + y * stride);
    }
}

void apply_pixels(int bpp) {
    image_pair& img = images(bpp);
    const size_t stride = static_cast<size_t>(image_width) * bpp;
    spoke_shader shader = default_shader(bpp);
    for (int32_t y = 0; y < image_height; ++y) {
        shader.geometry = setup_spoke_geometry(default_values, 512, image_scale);
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

void BM_memcpy(benchmark::State& state) {
    image_pair& img = images(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        std::memcpy(img.dst.data(), img.src.data(), img.src.size());
        benchmark::ClobberMemory();
    }
    finish(state);
}

void BM_apply(benchmark::State& state) {
    const int bpp = static_cast<int>(state.range(0));
    for (auto _ : state) {
        apply_rows(bpp);
        benchmark::ClobberMemory();
    }
    finish(state);
}

void BM_apply_per_pixel(benchmark::State& state) {
    const int bpp = static_cast<int>(state.range(0));
    for (auto _ : state) {
        apply_pixels(bpp);
        benchmark::ClobberMemory();
    }
    finish(state);
}

// Argument: bytes per pixel (3 RGB, 1 gray, 4 CMYK).
BENCHMARK(BM_memcpy)->Arg(3)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_apply)->Arg(3)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_apply_per_pixel)->Arg(3)->Unit(benchmark::kMillisecond)->Iterations(3);

// Keeps the fastest time of every benchmark (over --benchmark_repetitions,
// if given) beside the usual console output, for the summary.
class summary_reporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            const double seconds = run.GetAdjustedRealTime() / 1e3;  // reported in ms
            auto found = seconds_.find(run.run_name.str());
            if (found == seconds_.end() || seconds < found->second) seconds_[run.run_name.str()] = seconds;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void print_summary() const {
        const double megapixels = static_cast<double>(image_width) * image_height / 1e6;
        std::printf("\n4000 x 3000, default parameters, fastest run of each:\n");
        std::printf("%-22s %10s %10s %12s\n", "variant", "ms", "MP/s", "x memcpy");
        const char* const kinds[] = {"RGB", "gray", "CMYK"};
        const int sizes[] = {3, 1, 4};
        for (int i = 0; i < 3; ++i) {
            const std::string arg = "/" + std::to_string(sizes[i]);
            const double copy = lookup("BM_memcpy" + arg);
            print_line(std::string("memcpy ") + kinds[i], copy, copy, megapixels);
            print_line(std::string("apply ") + kinds[i], lookup("BM_apply" + arg), copy, megapixels);
            const double per_pixel = lookup("BM_apply_per_pixel" + arg + "/iterations:3");
            if (per_pixel > 0) print_line(std::string("per-pixel loop ") + kinds[i], per_pixel, copy, megapixels);
        }
    }

private:
    double lookup(const std::string& name) const {
        auto found = seconds_.find(name);
        return found == seconds_.end() ? 0.0 : found->second;
    }

    static void print_line(const std::string& label, double seconds, double copy, double megapixels) {
        if (seconds <= 0) return;
        std::printf("%-22s %10.2f %10.1f %12.2f\n", label.c_str(), seconds * 1e3, megapixels / seconds,
                    copy > 0 ? seconds / copy : 0.0);
    }

    std::map<std::string, double> seconds_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    summary_reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.print_summary();
    benchmark::Shutdown();
    return 0;
}
