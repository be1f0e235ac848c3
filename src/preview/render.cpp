#include "preview/render.h"

#include <cstring>

#include "effect/spoke.h"
#include "state/run_state.h"

// Four rows of the widest preview must fit both buffers, in the image's own
// pixels and as padded 24-bit rows.
static_assert(band_buffer_bytes >= 4 * max_preview_side * 4, "band buffer holds 4 rows of 512 pixels");
static_assert(dib_buffer_bytes >= 4 * ((max_preview_side * 3 + 3) & ~3), "DIB buffer holds 4 rows of 512");

static int32_t integer_part(int64_t position) { return (int32_t)(position >> 16); }

static bool image_is_floating()
{
    const FilterRecord* record = host_filter_record();
    return record != nullptr && record->isFloating != 0;
}

uint8_t selection_bit(int16_t x, int16_t y)
{
    if (y >= run_state.preview_height) y = (int16_t)(run_state.preview_height - 1);
    if (x >= run_state.preview_width) x = (int16_t)(run_state.preview_width - 1);
    // Nothing to read, or a position outside the copy as it was allocated:
    // such a pixel counts as unselected.
    const int32_t row_bytes = run_state.selection_row_bytes;
    if (run_state.selection_copy_ptr == nullptr || x < 0 || y < 0 || y >= run_state.selection_rows ||
        (x >> 3) >= row_bytes)
        return 0;
    uint8_t byte = run_state.selection_copy_ptr[(int64_t)y * row_bytes + (x >> 3)];
    return (uint8_t)(byte & (0x80 >> (x & 7)));
}

void preview_pixel(int16_t x, int16_t y, uint8_t* dst)
{
    const int32_t bpp = run_state.bytes_per_pixel;
    const uint8_t* src = run_state.src_row + (int64_t)(run_state.col_pos >> 16) * bpp;
    bool effect = run_state.effect_shown == 1;
    bool blank = false;
    spoke_shader shader;
    if (selection_exists() && (effect || image_is_floating())) {
        if (selection_bit(x, y) == 0) {
            effect = false;
            blank = image_is_floating();
        }
    }
    if (blank) {
        memset(dst, 0xFF, (size_t)bpp);
    } else if (effect && current_shader(&shader)) {
        uint8_t scratch[4];
        shade_pixel(shader, (int16_t)(run_state.col_pos >> 16), (int16_t)(run_state.row_pos >> 16), run_state.src_row,
                    scratch);
        memcpy(dst, scratch, (size_t)bpp);
    } else {
        memcpy(dst, src, (size_t)bpp);
    }
    run_state.col_pos = (int32_t)((uint32_t)run_state.col_pos + (uint32_t)run_state.preview_scale);
}

static bool pixel_size_known()
{
    int16_t bpp = run_state.bytes_per_pixel;
    return bpp == 1 || bpp == 3 || bpp == 4;
}

bool full_render_possible()
{
    return run_state.band_ptr != nullptr && run_state.src_base != nullptr && pixel_size_known() &&
           run_state.working_width > 0 && run_state.working_height > 0 &&
           run_state.preview_width > 0 && run_state.preview_width <= max_preview_side &&
           run_state.preview_height > 0 && run_state.preview_scale > 0 &&
           4 * (int32_t)run_state.preview_width * run_state.bytes_per_pixel <= band_buffer_bytes;
}

void start_full_render(band_render* r)
{
    r->next_row = 0;
    r->row_position = 0x8000;
    r->last_source = -1;
    r->last_band_row = nullptr;
    r->block_top = 0;
}

// A 16.16 sample position kept on the working image: a preview enlarged more
// than twice reaches past its last column or row with its last pixels, and
// those show that last column or row.
static int64_t sample_position(int64_t position, int32_t size)
{
    const int64_t last = ((int64_t)size - 1) << 16;
    return integer_part(position) < size ? position : last + (position & 0xFFFF);
}

// Renders one preview row of the full render: the working row it samples,
// nearest neighbour, with a repeated column copied from its left neighbour.
static void render_row(int32_t i, int64_t row_position, uint8_t* band_row)
{
    const int32_t bpp = run_state.bytes_per_pixel;
    run_state.row_pos = (int32_t)row_position;
    run_state.src_row = run_state.src_base + (int64_t)integer_part(row_position) * run_state.working_stride;
    int64_t column_position = 0x8000;
    int32_t last_column = -1;
    for (int32_t j = 0; j < run_state.preview_width; j++) {
        const int64_t position = sample_position(column_position, run_state.working_width);
        int32_t column = integer_part(position);
        if (column == last_column) {
            memcpy(band_row + j * bpp, band_row + (j - 1) * bpp, (size_t)bpp);
        } else {
            last_column = column;
            run_state.col_pos = (int32_t)position;
            preview_pixel((int16_t)j, (int16_t)i, band_row + j * bpp);
        }
        column_position += run_state.preview_scale;
    }
}

int32_t render_next_block(band_render* r)
{
    if (!full_render_possible()) return 0;
    const int32_t row_length = run_state.preview_width * run_state.bytes_per_pixel;
    int32_t rows = 0;
    r->block_top = r->next_row;
    while (r->next_row < run_state.preview_height) {
        int32_t i = r->next_row;
        const int64_t position = sample_position(r->row_position, run_state.working_height);
        int32_t source = integer_part(position);
        uint8_t* band_row = run_state.band_ptr + (i & 3) * row_length;
        if (source == r->last_source && r->last_band_row != nullptr) {
            // The same working row again: copy the row rendered for it, which
            // may be this very band row when the image is enlarged a lot.
            memmove(band_row, r->last_band_row, (size_t)row_length);
        } else {
            r->last_source = source;
            r->last_band_row = band_row;
            render_row(i, position, band_row);
        }
        r->row_position += run_state.preview_scale;
        r->next_row++;
        rows++;
        if ((i & 3) == 3) break;
    }
    return rows;
}

bool render_marker_patch(int16_t cx, int16_t cy, preview_patch* patch)
{
    if (!full_render_possible()) return false;
    const int64_t scale = run_state.preview_scale;
    int32_t x0 = cx - 4 > 0 ? cx - 4 : 0;
    int32_t y0 = cy - 4 > 0 ? cy - 4 : 0;
    // The cell ends with the preview, not with the working image: the full
    // render paints every preview pixel, and so does this.
    int32_t x1 = cx + 4 < run_state.preview_width ? cx + 4 : run_state.preview_width;
    int32_t y1 = cy + 4 < run_state.preview_height ? cy + 4 : run_state.preview_height;
    if (x1 <= x0 || y1 <= y0) return false;

    const int32_t bpp = run_state.bytes_per_pixel;
    uint8_t* dst = run_state.band_ptr;
    for (int32_t r = y0; r < y1; r++) {
        const int64_t row_position = sample_position((int64_t)r * scale + 0x8000, run_state.working_height);
        run_state.row_pos = (int32_t)row_position;
        run_state.src_row = run_state.src_base + (int64_t)integer_part(row_position) * run_state.working_stride;
        for (int32_t c = x0; c < x1; c++) {
            // preview_pixel steps col_pos on by itself; it is set afresh for
            // each pixel so a column past the image samples the last one.
            run_state.col_pos = (int32_t)sample_position((int64_t)c * scale + 0x8000, run_state.working_width);
            preview_pixel((int16_t)c, (int16_t)r, dst);
            dst += bpp;
        }
    }
    patch->x0 = (int16_t)x0;
    patch->y0 = (int16_t)y0;
    patch->x1 = (int16_t)x1;
    patch->y1 = (int16_t)y1;
    return true;
}

int32_t dib_stride(int32_t width) { return (width * 3 + 3) & ~3; }

bool display_block_fits(int32_t width, int32_t rows)
{
    if (width <= 0 || rows <= 0) return false;
    return (int64_t)rows * dib_stride(width) <= dib_buffer_bytes &&
           (int64_t)rows * width * run_state.bytes_per_pixel <= band_buffer_bytes;
}

void cmyk_display_colour(const uint8_t* p, uint8_t rgb[3])
{
    uint32_t k = p[3];
    uint32_t r = p[0] * k, g = p[1] * k, b = p[2] * k;
    if (g > r) {
        if (g < b)
            b = (b >> 1) + (g >> 1);
        else
            g = g - (g >> 3);
    }
    if (g <= r && r < b) b = (b >> 1) + (r >> 1);
    rgb[0] = (uint8_t)(r >> 8);
    rgb[1] = (uint8_t)(g >> 8);
    rgb[2] = (uint8_t)(b >> 8);
}

int32_t dither_offset(int32_t v)
{
    if (v < 64) return v;
    if (v <= 191) return 64;
    return 255 - v;
}

static uint8_t dithered(int32_t v, bool lighten)
{
    return (uint8_t)(lighten ? v + dither_offset(v) : v - dither_offset(v));
}

void convert_dib_row(const uint8_t* src, uint8_t* dst, int32_t width, int16_t bytes_per_pixel, bool dither,
                     int32_t parity)
{
    if (bytes_per_pixel != 1 && bytes_per_pixel != 3 && bytes_per_pixel != 4) return;
    for (int32_t j = 0; j < width; j++) {
        const uint8_t* p = src + j * bytes_per_pixel;
        uint8_t rgb[3];
        if (bytes_per_pixel == 1) {
            rgb[0] = rgb[1] = rgb[2] = p[0];
        } else if (bytes_per_pixel == 3) {
            rgb[0] = p[0];
            rgb[1] = p[1];
            rgb[2] = p[2];
        } else {
            cmyk_display_colour(p, rgb);
        }
        if (dither) {
            bool lighten = ((parity + j) & 1) != 0;
            for (int c = 0; c < 3; c++) rgb[c] = dithered(rgb[c], lighten);
        }
        dst[3 * j] = rgb[2];
        dst[3 * j + 1] = rgb[1];
        dst[3 * j + 2] = rgb[0];
    }
}

int32_t fill_dib_block(const uint8_t* band, uint8_t* dib, int16_t x, int16_t y, int32_t width, int32_t rows)
{
    const int32_t stride = dib_stride(width);
    const int32_t row_length = width * run_state.bytes_per_pixel;
    // The checkerboard is tied to the screen: a pixel at client (X, Y) is
    // lightened when X + Y is even.  For blocks of an even number of rows (the
    // four-row bands, the 8-row marker patch) that is the same as x + y + r
    // odd; counting from the block's bottom keeps it for a short block too,
    // which would otherwise show the opposite phase in its rows.
    for (int32_t r = 0; r < rows; r++) {
        const uint8_t* src = band + (int64_t)(rows - 1 - r) * row_length;
        convert_dib_row(src, dib + (int64_t)r * stride, width, run_state.bytes_per_pixel,
                        run_state.dither_display == 1, x + y + rows - r);
    }
    return stride;
}
