// A table of whole runs (every mode, small and odd sizes, values at the ends
// of their ranges, selections, thinned working images, padded rows, a menu
// run with its dialog and preview) whose complete record is written to the
// file given with --record: every call with the rectangles and planes the
// plug-in left and its progress reports, the displayPixels calls with their
// pixels, the message boxes, the stored parameters and every output row.
// The 32-bit and the 64-bit builds run the same table, and the Wine tiers
// compare the two records line by line: the builds must agree to the byte.
#include <cstdio>
#include <memory>

#include "e2e_support.h"

namespace {

// The stored record, byte by byte: centre, spokes, angle, thickness,
// intensity, radius, length (16 bits each) and showDialog (32 bits).
bytes stored(int h, int v, int spokes, int angle, int thickness, int intensity, int radius, int length,
             int show_dialog = 0)
{
    bytes b;
    for (int value : {h, v, spokes, angle, thickness, intensity, radius, length}) {
        b.push_back((uint8_t)(value & 0xff));
        b.push_back((uint8_t)((value >> 8) & 0xff));
    }
    for (int i = 0; i < 4; ++i) b.push_back((uint8_t)((show_dialog >> (8 * i)) & 0xff));
    return b;
}

struct table_run {
    const char* name;
    int16_t mode;
    int32_t width, height;
    Rect16 filter;  // all zero: the whole image
    bytes params;
    int32_t max_space = 64 * 1024 * 1024;
    int mask = 0;  // 0 none, 1 a ramp across the image, 2 all unselected, 3 a ramp, floating
    int32_t padding = 0;
    bool menu_run = false;
    bool expect_thinning = false;
};

int planes_for(int16_t mode)
{
    return mode == plugInModeCMYKColor ? 4 : mode == plugInModeRGBColor ? 3 : 1;
}

std::vector<table_run> table()
{
    const int16_t rgb = plugInModeRGBColor, gray = plugInModeGrayScale, cmyk = plugInModeCMYKColor;
    std::vector<table_run> t = {
        {"rgb defaults", rgb, 40, 30, {}, stored(20, 15, 8, 0, 20, 50, 50, 50)},
        {"gray lowest ends", gray, 33, 17, {}, stored(0, 0, 1, 0, 5, 100, 0, 2)},
        {"cmyk highest ends", cmyk, 31, 23, {}, stored(30, 22, 50, 360, 100, 100, 100, 100)},
        {"multichannel", plugInModeMultichannel, 25, 19, {}, stored(3, 17, 7, 33, 60, 75, 10, 90)},
        {"duotone", plugInModeDuotone, 19, 25, {}, stored(18, 0, 12, 359, 99, 1, 99, 3)},
        {"rgb zero intensity", rgb, 16, 12, {}, stored(8, 6, 8, 0, 20, 0, 50, 50)},
        {"one pixel", rgb, 1, 1, {}, stored(0, 0, 8, 0, 20, 100, 50, 50)},
        {"one column", cmyk, 1, 41, {}, stored(0, 20, 5, 90, 40, 100, 0, 100)},
        {"one row", gray, 53, 1, {}, stored(26, 0, 5, 90, 40, 100, 0, 100)},
        {"odd size", rgb, 257, 129, {}, stored(200, 40, 13, 17, 35, 85, 5, 95)},
        {"sub-rectangle, padded rows", rgb, 45, 37, {5, 7, 30, 40}, stored(10, 12, 6, 45, 30, 90, 20, 80)},
        {"padded gray rows", gray, 27, 21, {}, stored(13, 10, 9, 10, 50, 70, 30, 70)},
        {"thinned by two", rgb, 120, 90, {}, stored(60, 45, 10, 5, 25, 80, 20, 80), 40000},
        {"thinned further", cmyk, 150, 110, {}, stored(20, 100, 24, 200, 70, 100, 0, 100), 30000},
        {"thinned gray", gray, 211, 97, {}, stored(105, 48, 3, 120, 100, 100, 50, 50), 12000},
        {"selection ramp", rgb, 48, 36, {}, stored(24, 18, 8, 0, 20, 100, 50, 50)},
        {"nothing selected", cmyk, 30, 20, {}, stored(15, 10, 8, 0, 20, 100, 50, 50)},
        {"floating selection", gray, 40, 28, {}, stored(5, 5, 16, 30, 80, 100, 10, 100)},
        {"thinned with selection", rgb, 130, 80, {}, stored(65, 40, 6, 0, 30, 100, 30, 70), 50000},
        {"menu run with dialog and preview", rgb, 64, 48, {}, stored(32, 24, 8, 15, 20, 60, 50, 50, 1)},
    };
    for (table_run& r : t) {
        const std::string name = r.name;
        if (name == "sub-rectangle, padded rows") r.padding = 5;
        if (name == "padded gray rows") r.padding = 3;
        if (name.compare(0, 7, "thinned") == 0) r.expect_thinning = true;
        if (name == "selection ramp" || name == "thinned with selection") r.mask = 1;
        if (name == "nothing selected") r.mask = 2;
        if (name == "floating selection") r.mask = 3;
        if (name == "menu run with dialog and preview") r.menu_run = true;
    }
    return t;
}

uint64_t fnv1a(const uint8_t* p, size_t n)
{
    uint64_t h = 1469598103934665603ull;
    for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ull;
    return h;
}

std::string hex64(uint64_t v)
{
    char s[17];
    std::snprintf(s, sizeof s, "%016llx", (unsigned long long)v);
    return s;
}

std::string rect_text(const Rect16& r)
{
    return std::to_string(r.top) + "," + std::to_string(r.left) + "," + std::to_string(r.bottom) + "," +
           std::to_string(r.right);
}

std::string bytes_text(const bytes& b)
{
    std::string s;
    char two[3];
    for (uint8_t v : b) {
        std::snprintf(two, sizeof two, "%02x", v);
        s += two;
    }
    return s;
}

// Everything one run shows the host, one line per call, display call, box
// and output row.  No addresses and no times.
std::string record_of(const table_run& run, const testhost::plugin_host& host, const testhost::run_result& result)
{
    std::string out = std::string("run ") + run.name + "\n";
    for (const testhost::call_record& c : result.calls) {
        out += "  call " + std::to_string(c.selector) + " result " + std::to_string(c.result) + " in " +
               rect_text(c.in_rect) + " planes " + std::to_string(c.in_lo_plane) + "-" +
               std::to_string(c.in_hi_plane) + " out " + rect_text(c.out_rect) + " planes " +
               std::to_string(c.out_lo_plane) + "-" + std::to_string(c.out_hi_plane) + " mask " +
               rect_text(c.mask_rect) + " progress";
        for (const auto& p : c.progress) out += " " + std::to_string(p.first) + "/" + std::to_string(p.second);
        out += "\n";
    }
    for (const testhost::display_call& d : result.display_calls) {
        const PSPixelMap& m = d.map;
        out += "  display v" + std::to_string(m.version) + " bounds " + std::to_string(m.bounds.top) + "," +
               std::to_string(m.bounds.left) + "," + std::to_string(m.bounds.bottom) + "," +
               std::to_string(m.bounds.right) + " mode " + std::to_string(m.imageMode) + " bytes " +
               std::to_string(m.rowBytes) + "/" + std::to_string(m.colBytes) + "/" + std::to_string(m.planeBytes) +
               " src " + std::to_string(d.src_rect.top) + "," + std::to_string(d.src_rect.left) + "," +
               std::to_string(d.src_rect.bottom) + "," + std::to_string(d.src_rect.right) + " at " +
               std::to_string(d.dst_row) + "," + std::to_string(d.dst_col) + " dc " +
               std::to_string(d.have_context) + " pixels " + std::to_string(d.pixels.size()) + " " +
               hex64(fnv1a(d.pixels.data(), d.pixels.size())) + "\n";
    }
    for (const filter_host::message_box& b : host.message_boxes())
        out += "  box " + b.caption + ": " + b.text + "\n";
    out += "  dialogs " + std::to_string(host.dialogs().size()) + " result " + std::to_string(result.result) +
           " continue calls " + std::to_string(result.continue_calls) + " finished " +
           std::to_string(result.finished) + " protocol errors " + std::to_string(result.protocol_errors.size()) +
           "\n";
    out += "  stored " + bytes_text(host.params_bytes()) + "\n";
    const testhost::image& img = result.output;
    const size_t row_bytes = (size_t)img.width * img.planes;
    for (int32_t y = 0; y < img.height; ++y)
        out += "  row " + std::to_string(y) + " " + hex64(fnv1a(&img.pixels[y * row_bytes], row_bytes)) + "\n";
    return out;
}

}  // namespace

TEST(RunTable, EveryRunCompletesAndIsRecorded)
{
    std::unique_ptr<FILE, int (*)(FILE*)> file(nullptr, fclose);
    if (!record_path().empty()) {
        file.reset(std::fopen(filter_host::windows_path(record_path()).c_str(), "wb"));
        ASSERT_TRUE(file) << "cannot write " << record_path();
    }
    for (const table_run& run : table()) {
        SCOPED_TRACE(run.name);
        // A fresh host per run: the plug-in starts with its globals as loaded.
        OPEN_HOST(host);
        host.set_params(run.params);
        testhost::run_request request;
        request.image_mode = run.mode;
        request.source = testhost::make_test_image(run.width, run.height, planes_for(run.mode));
        request.filter_rect = run.filter;
        request.max_space = run.max_space;
        request.in_row_padding = run.padding;
        request.menu_run = run.menu_run;
        request.with_display_pixels = run.menu_run;
        if (run.mask != 0) {
            request.mask.resize((size_t)run.width * run.height);
            for (int32_t y = 0; y < run.height; ++y)
                for (int32_t x = 0; x < run.width; ++x)
                    request.mask[(size_t)y * run.width + x] = run.mask == 2 ? 0 : (uint8_t)((x * 255) / run.width);
            request.is_floating = run.mask == 3;
        }
        testhost::run_result result = host.run_filter(request);

        EXPECT_EQ(0, result.result);
        EXPECT_TRUE(result.finished);
        EXPECT_TRUE(result.protocol_errors.empty()) << result.protocol_errors.front();
        EXPECT_EQ(run.menu_run ? 1u : 0u, host.dialogs().size());
        if (run.params[10] == 0) {
            EXPECT_EQ(request.source.pixels, result.output.pixels) << "intensity 0";
        }
        if (run.expect_thinning) {
            // A thinned working image is loaded every f-th row: the request
            // after the first row starts f rows down.
            int first = -1, second = -1;
            for (const testhost::call_record& c : result.calls) {
                if (c.in_rect.bottom <= c.in_rect.top) continue;
                if (first < 0) {
                    first = c.in_rect.top;
                } else if (c.in_rect.top != first) {
                    second = c.in_rect.top;
                    break;
                }
            }
            EXPECT_GE(second - first, 2) << "the working image is thinned";
        }
        if (file) {
            const std::string text = record_of(run, host, result);
            std::fwrite(text.data(), 1, text.size(), file.get());
        }
    }
}
