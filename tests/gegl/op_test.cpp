// glimmora:spokes run by the GEGL library itself: the module loaded from
// GEGL_PATH, images pushed through real graphs (buffer source, the operation,
// crops, translations, blits), with several thread counts and tile sizes.
//
// The expected pixels come from the plain reference of the filter's
// arithmetic (tests/reference): the plug-in's planning of a whole image with
// no thinning, and the per-pixel rule on the colour (or gray) bytes.
#include <gegl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "effect/value_table.h"
#include "glimmora_version.h"
#include "reference.h"

namespace {

constexpr const char* op_name = "glimmora:spokes";

struct settings {
    int spokes = 8, thickness = 20, intensity = 50, radius = 50, length = 50;
    double angle = 0;  // degrees; the operation takes the nearest whole one
    int center_x = -1, center_y = -1;
    int view_width = 311, view_height = 289;
};

struct picture {
    int width = 0, height = 0, channels = 4;
    std::vector<uint8_t> pixels;
    uint8_t* at(int x, int y) { return &pixels[((size_t)y * width + x) * channels]; }
    const uint8_t* at(int x, int y) const { return &pixels[((size_t)y * width + x) * channels]; }
};

// Every byte differs from its neighbours; alpha runs through all values.
picture pattern(int width, int height, int channels)
{
    picture p{width, height, channels, std::vector<uint8_t>((size_t)width * height * channels)};
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++)
            for (int c = 0; c < channels; c++)
                p.at(x, y)[c] = (uint8_t)(x * 5 + y * 3 + c * 70 + (x * y) % 11);
    return p;
}

// --- the expected result, from the reference ---------------------------------------

// The source shaded pixel by pixel: the colour bytes (3, or 1 for gray) by
// the reference's rule, alpha copied.  The plan is the plug-in's for the whole
// image as its working image, fitted into the view.
picture expected(const picture& source, const settings& s)
{
    const reference::preview_plan plan =
        reference::fit_preview(source.width, source.height, s.view_width, s.view_height, 1);
    const reference::values v = {(int16_t)s.spokes,    (int16_t)std::lround(s.angle),  (int16_t)s.thickness,
                                 (int16_t)s.intensity, (int16_t)s.radius, (int16_t)s.length};
    const reference::geometry g = reference::make_geometry(v, plan.extent, (int32_t)plan.image_scale);
    const int32_t cx = s.center_x < 0 ? source.width / 2 : s.center_x;
    const int32_t cy = s.center_y < 0 ? source.height / 2 : s.center_y;
    const int32_t colours = source.channels - 1;
    picture out = source;
    for (int y = 0; y < source.height; y++)
        for (int x = 0; x < source.width; x++) reference::shade(g, cx, cy, x, y, source.at(x, y), colours, out.at(x, y));
    return out;
}

// --- running the operation --------------------------------------------------------

const char* format_of(int channels) { return channels == 4 ? "R'G'B'A u8" : channels == 2 ? "Y'A u8" : "Y' u8"; }

GeglBuffer* buffer_of(const picture& p, int x0 = 0, int y0 = 0, int tile_width = 0, int tile_height = 0)
{
    GeglRectangle extent = {x0, y0, p.width, p.height};
    GeglBuffer* buffer;
    if (tile_width > 0) {
        buffer = GEGL_BUFFER(g_object_new(GEGL_TYPE_BUFFER, "x", x0, "y", y0, "width", p.width, "height", p.height,
                                          "tile-width", tile_width, "tile-height", tile_height, "format",
                                          babl_format(format_of(p.channels)), NULL));
    } else {
        buffer = gegl_buffer_new(&extent, babl_format(format_of(p.channels)));
    }
    gegl_buffer_set(buffer, &extent, 0, babl_format(format_of(p.channels)), p.pixels.data(), GEGL_AUTO_ROWSTRIDE);
    return buffer;
}

void set_properties(GeglNode* node, const settings& s)
{
    gegl_node_set(node, "spokes", s.spokes, "angle", s.angle, "thickness", s.thickness, "intensity", s.intensity,
                  "radius", s.radius, "length", s.length, "center-x", s.center_x, "center-y", s.center_y,
                  "view-width", s.view_width, "view-height", s.view_height, NULL);
}

// A fresh graph: buffer source -> glimmora:spokes [-> crop].  The region
// `rect` (in the source's coordinates) is blitted as `channels` bytes per
// pixel.
picture render(GeglBuffer* source, const settings& s, GeglRectangle rect, int channels, bool crop = false)
{
    GeglNode* graph = gegl_node_new();
    GeglNode* input = gegl_node_new_child(graph, "operation", "gegl:buffer-source", "buffer", source, NULL);
    GeglNode* op = gegl_node_new_child(graph, "operation", op_name, NULL);
    set_properties(op, s);
    gegl_node_link(input, op);
    GeglNode* last = op;
    if (crop) {
        last = gegl_node_new_child(graph, "operation", "gegl:crop", "x", (double)rect.x, "y", (double)rect.y,
                                   "width", (double)rect.width, "height", (double)rect.height, NULL);
        gegl_node_link(op, last);
    }
    picture out{rect.width, rect.height, channels, std::vector<uint8_t>((size_t)rect.width * rect.height * channels)};
    gegl_node_blit(last, 1.0, &rect, babl_format(format_of(channels)), out.pixels.data(), GEGL_AUTO_ROWSTRIDE,
                   GEGL_BLIT_DEFAULT);
    g_object_unref(graph);
    return out;
}

picture render_whole(const picture& source, const settings& s, int out_channels)
{
    GeglBuffer* buffer = buffer_of(source);
    picture out = render(buffer, s, {0, 0, source.width, source.height}, out_channels);
    g_object_unref(buffer);
    return out;
}

picture part_of(const picture& p, const GeglRectangle& r)
{
    picture out{r.width, r.height, p.channels, {}};
    for (int y = r.y; y < r.y + r.height; y++)
        out.pixels.insert(out.pixels.end(), p.at(r.x, y), p.at(r.x, y) + (size_t)r.width * p.channels);
    return out;
}

// The first differing pixel, for a readable failure.
std::string first_difference(const picture& got, const picture& want)
{
    if (got.width != want.width || got.height != want.height || got.channels != want.channels) return "shape differs";
    for (int y = 0; y < got.height; y++)
        for (int x = 0; x < got.width; x++)
            if (std::memcmp(got.at(x, y), want.at(x, y), got.channels) != 0) {
                std::string text = "pixel " + std::to_string(x) + "," + std::to_string(y) + ": got";
                for (int c = 0; c < got.channels; c++) text += " " + std::to_string(got.at(x, y)[c]);
                text += ", want";
                for (int c = 0; c < got.channels; c++) text += " " + std::to_string(want.at(x, y)[c]);
                return text;
            }
    return "";
}

void set_threads(int threads, int chunk_size)
{
    g_object_set(gegl_config(), "threads", threads, "chunk-size", chunk_size, NULL);
}

class SpokesOperation : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(gegl_has_operation(op_name)) << "glimmora:spokes not found on GEGL_PATH";
        g_object_get(gegl_config(), "threads", &threads_, "chunk-size", &chunk_size_, NULL);
    }
    void TearDown() override { set_threads(threads_, chunk_size_); }
    int threads_ = 1, chunk_size_ = 0;
};

// --- properties ---------------------------------------------------------------------

TEST_F(SpokesOperation, PropertiesAreNamedWithTheDialogsRangesAndDefaults)
{
    struct want {
        std::string name;
        int minimum, maximum, fallback;
    };
    std::vector<want> table;
    for (const spoke_value_info& v : spoke_value_table) table.push_back({v.name, v.minimum, v.maximum, v.initial});
    table.insert(table.end(), {{"center-x", -1, 32767, -1}, {"center-y", -1, 32767, -1},
                               {"view-width", 1, 32767, 311}, {"view-height", 1, 32767, 289}});
    guint count = 0;
    GParamSpec** specs = gegl_operation_list_properties(op_name, &count);
    EXPECT_EQ(count, table.size());
    g_free(specs);
    for (const want& w : table) {
        SCOPED_TRACE(w.name);
        GParamSpec* pspec = gegl_operation_find_property(op_name, w.name.c_str());
        ASSERT_NE(pspec, nullptr);
        // GIMP gives a property in degrees an angle dial, which reads and
        // writes doubles only: such a property must be one.
        const char* unit = gegl_param_spec_get_property_key(pspec, "unit");
        const bool degrees = unit && std::string(unit) == "degree";
        EXPECT_EQ(degrees, w.name == "angle");
        if (degrees) {
            ASSERT_TRUE(G_IS_PARAM_SPEC_DOUBLE(pspec));
            GParamSpecDouble* double_spec = G_PARAM_SPEC_DOUBLE(pspec);
            EXPECT_EQ(double_spec->minimum, w.minimum);
            EXPECT_EQ(double_spec->maximum, w.maximum);
            EXPECT_EQ(double_spec->default_value, w.fallback);
            continue;
        }
        ASSERT_TRUE(G_IS_PARAM_SPEC_INT(pspec));
        GParamSpecInt* int_spec = G_PARAM_SPEC_INT(pspec);
        EXPECT_EQ(int_spec->minimum, w.minimum);
        EXPECT_EQ(int_spec->maximum, w.maximum);
        EXPECT_EQ(int_spec->default_value, w.fallback);
    }
    EXPECT_NE(std::string(gegl_operation_get_key(op_name, "description")).find("Glimmora " GLIMMORA_VERSION),
              std::string::npos);
}

// --- pixels ---------------------------------------------------------------------------

TEST_F(SpokesOperation, RgbaIsShadedAsPlannedWithAlphaUntouched)
{
    struct shape {
        int width, height;
        settings s;
    };
    settings wide_view, small_view, capped_view, odd_centre, strong, thin_many;
    wide_view.view_width = 400, wide_view.view_height = 150;
    small_view.view_width = 90, small_view.view_height = 70;
    capped_view.view_width = 900, capped_view.view_height = 700;  // the preview stops at 512
    odd_centre.center_x = 5, odd_centre.center_y = 77;
    strong.intensity = 100, strong.radius = 0, strong.length = 100, strong.thickness = 100;
    thin_many.spokes = 50, thin_many.thickness = 5, thin_many.angle = 358.5, thin_many.radius = 10;
    const shape shapes[] = {
        {64, 48, settings()},  // smaller than the view: the preview is enlarged
        {301, 97, settings()},   // width binds
        {97, 301, settings()},   // height binds
        {301, 97, wide_view},    {160, 120, small_view}, {800, 600, capped_view},
        {131, 129, odd_centre},  {120, 90, strong},      {257, 199, thin_many},
    };
    for (const shape& sh : shapes) {
        SCOPED_TRACE(std::to_string(sh.width) + "x" + std::to_string(sh.height) + " view " +
                     std::to_string(sh.s.view_width) + "x" + std::to_string(sh.s.view_height));
        const picture source = pattern(sh.width, sh.height, 4);
        const picture got = render_whole(source, sh.s, 4);
        const picture want = expected(source, sh.s);
        EXPECT_EQ(first_difference(got, want), "");
        EXPECT_NE(got.pixels, source.pixels) << "the effect painted nothing";
        for (int y = 0; y < sh.height; y++)
            for (int x = 0; x < sh.width; x++) ASSERT_EQ(got.at(x, y)[3], source.at(x, y)[3]) << x << "," << y;
    }
}

TEST_F(SpokesOperation, GrayIsShadedWithTheGrayRampAsYA)
{
    settings s;
    s.spokes = 5, s.angle = 33.49, s.intensity = 80;
    const picture gray = pattern(150, 110, 1);
    picture gray_alpha{gray.width, gray.height, 2, {}};
    for (uint8_t v : gray.pixels) gray_alpha.pixels.insert(gray_alpha.pixels.end(), {v, 255});
    const picture want = expected(gray_alpha, s);

    // A gray source stays gray: the operation works on Y'A u8.
    GeglBuffer* buffer = buffer_of(gray);
    GeglNode* graph = gegl_node_new();
    GeglNode* input = gegl_node_new_child(graph, "operation", "gegl:buffer-source", "buffer", buffer, NULL);
    GeglNode* op = gegl_node_new_child(graph, "operation", op_name, NULL);
    set_properties(op, s);
    gegl_node_link(input, op);
    GeglBuffer* result = nullptr;
    GeglNode* sink = gegl_node_new_child(graph, "operation", "gegl:buffer-sink", "buffer", &result, NULL);
    gegl_node_link(op, sink);
    gegl_node_process(sink);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(gegl_buffer_get_format(result), babl_format("Y'A u8"));
    picture got{gray.width, gray.height, 2, std::vector<uint8_t>(want.pixels.size())};
    GeglRectangle whole = {0, 0, gray.width, gray.height};
    gegl_buffer_get(result, &whole, 1.0, babl_format("Y'A u8"), got.pixels.data(), GEGL_AUTO_ROWSTRIDE,
                    GEGL_ABYSS_NONE);
    EXPECT_EQ(first_difference(got, want), "");
    g_object_unref(result);
    g_object_unref(graph);
    g_object_unref(buffer);
}

// --- tiles, regions and threads -------------------------------------------------------

TEST_F(SpokesOperation, AnyRegionTileSizeAndThreadCountGivesTheWholeImage)
{
    settings s;
    s.spokes = 7, s.angle = 10, s.thickness = 60, s.radius = 15, s.length = 80, s.center_x = 170, s.center_y = 60;
    const picture source = pattern(333, 211, 4);
    set_threads(1, 1 << 20);
    const picture whole = render_whole(source, s, 4);
    ASSERT_EQ(first_difference(whole, expected(source, s)), "");

    const GeglRectangle regions[] = {
        {0, 0, 1, 1}, {332, 210, 1, 1}, {170, 0, 1, 211}, {0, 60, 333, 1}, {13, 7, 97, 41}, {150, 40, 60, 50},
        {1, 200, 331, 11}, {101, 3, 232, 208},
    };
    const struct {
        int threads, chunk_size, tile_width, tile_height;
    } runs[] = {{1, 1 << 20, 0, 0}, {4, 64, 0, 0}, {3, 97, 13, 7}, {8, 1000, 64, 16}};
    for (const auto& run : runs) {
        set_threads(run.threads, run.chunk_size);
        GeglBuffer* buffer = buffer_of(source, 0, 0, run.tile_width, run.tile_height);
        SCOPED_TRACE("threads " + std::to_string(run.threads) + ", tiles " + std::to_string(run.tile_width));
        EXPECT_EQ(first_difference(render(buffer, s, {0, 0, 333, 211}, 4), whole), "");
        for (const GeglRectangle& r : regions) {
            SCOPED_TRACE(std::to_string(r.x) + "," + std::to_string(r.y) + " " + std::to_string(r.width) + "x" +
                         std::to_string(r.height));
            EXPECT_EQ(first_difference(render(buffer, s, r, 4), part_of(whole, r)), "");
            EXPECT_EQ(first_difference(render(buffer, s, r, 4, true), part_of(whole, r)), "") << "through gegl:crop";
        }
        g_object_unref(buffer);
    }
}

TEST_F(SpokesOperation, PositionsCountFromTheInputsTopLeftCorner)
{
    settings s;
    s.center_x = 40, s.center_y = 25;
    const picture source = pattern(120, 80, 4);
    const picture at_origin = render_whole(source, s, 4);
    for (const GeglRectangle& placed : {GeglRectangle{-37, 1000, 120, 80}, GeglRectangle{5000, -3, 120, 80}}) {
        GeglBuffer* buffer = buffer_of(source, placed.x, placed.y);
        EXPECT_EQ(first_difference(render(buffer, s, placed, 4), at_origin), "");
        g_object_unref(buffer);
    }
}

// A zoomed-out canvas renders a reduced level: the star is the full-size one
// shrunk, so it must land where the full-size result, halved, has it.
TEST_F(SpokesOperation, AReducedLevelLooksLikeTheWholeImageHalved)
{
    settings s;
    s.spokes = 6, s.center_x = 150, s.center_y = 70, s.intensity = 100;
    picture flat{240, 180, 4, {}};
    for (int i = 0; i < 240 * 180; i++) flat.pixels.insert(flat.pixels.end(), {90, 90, 90, 255});
    const picture whole = render_whole(flat, s, 4);

    // A blit at half scale renders level 1 (main() turns mipmap rendering on).
    GeglBuffer* source = buffer_of(flat);
    GeglNode* graph = gegl_node_new();
    GeglNode* input = gegl_node_new_child(graph, "operation", "gegl:buffer-source", "buffer", source, NULL);
    GeglNode* op = gegl_node_new_child(graph, "operation", op_name, NULL);
    set_properties(op, s);
    gegl_node_link(input, op);
    const GeglRectangle half = {0, 0, 120, 90};
    picture reduced{120, 90, 4, std::vector<uint8_t>(120 * 90 * 4)};
    gegl_node_blit(op, 0.5, &half, babl_format("R'G'B'A u8"), reduced.pixels.data(), GEGL_AUTO_ROWSTRIDE,
                   GEGL_BLIT_DEFAULT);
    g_object_unref(graph);
    g_object_unref(source);

    // Where the star shows: pixels of the level against the 2 x 2 averages of
    // the whole image, each marked where it differs clearly from the flat gray.
    int both = 0, either = 0;
    for (int y = 0; y < 90; y++)
        for (int x = 0; x < 120; x++) {
            bool halved = false, level = false;
            for (int c = 0; c < 3; c++) {
                int sum = whole.at(2 * x, 2 * y)[c] + whole.at(2 * x + 1, 2 * y)[c] + whole.at(2 * x, 2 * y + 1)[c] +
                          whole.at(2 * x + 1, 2 * y + 1)[c];
                halved = halved || std::abs(sum - 4 * 90) > 4 * 16;
                level = level || std::abs(reduced.at(x, y)[c] - 90) > 16;
            }
            both += halved && level;
            either += halved || level;
        }
    ASSERT_GT(either, 200) << "no star at all";
    EXPECT_GT(both, either * 3 / 4) << "the star of the level and the halved star overlap too little";
}

// --- inputs beyond the planning -------------------------------------------------------

int warnings_seen = 0;
void count_warning(const gchar*, GLogLevelFlags, const gchar*, gpointer) { warnings_seen++; }

TEST_F(SpokesOperation, AnInputBeyond32767PixelsPassesThroughWithOneWarning)
{
    const picture source = pattern(40000, 3, 4);
    warnings_seen = 0;
    guint handler = g_log_set_handler(nullptr, G_LOG_LEVEL_WARNING, count_warning, nullptr);
    set_threads(4, 4096);
    const picture got = render_whole(source, settings(), 4);
    g_log_remove_handler(nullptr, handler);
    EXPECT_EQ(got.pixels, source.pixels);
    EXPECT_EQ(warnings_seen, 1);

    // Just inside the limit the effect is applied.
    const picture edge = pattern(32767, 2, 4);
    EXPECT_NE(render_whole(edge, settings(), 4).pixels, edge.pixels);
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Blits at reduced scales render reduced levels, as a zoomed-out canvas
    // in GIMP does; blits at full scale are not affected.
    g_setenv("GEGL_MIPMAP_RENDERING", "1", TRUE);
    gegl_init(&argc, &argv);
    int status = RUN_ALL_TESTS();
    gegl_exit();
    return status;
}
