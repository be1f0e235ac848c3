#include "cli/pixels.h"

static raster with_channels(const raster& like, int32_t channels)
{
    raster r;
    r.width = like.width;
    r.height = like.height;
    r.channels = channels;
    r.pixels.resize(r.size());
    return r;
}

// round(a / b) for a >= 0, b > 0, halves up.
static uint32_t div_round(uint32_t a, uint32_t b) { return (2 * a + b) / (2 * b); }

raster rgb_to_cmyk(const raster& rgb)
{
    raster out = with_channels(rgb, 4);
    size_t n = (size_t)rgb.width * rgb.height;
    for (size_t i = 0; i < n; i++) {
        const uint8_t* s = &rgb.pixels[i * 3];
        uint8_t* d = &out.pixels[i * 4];
        uint32_t m = s[0];
        if (s[1] > m) m = s[1];
        if (s[2] > m) m = s[2];
        for (int k = 0; k < 3; k++) d[k] = m == 0 ? 255 : (uint8_t)div_round(s[k] * 255u, m);
        d[3] = (uint8_t)m;
    }
    return out;
}

raster cmyk_to_rgb(const raster& cmyk)
{
    raster out = with_channels(cmyk, 3);
    size_t n = (size_t)cmyk.width * cmyk.height;
    for (size_t i = 0; i < n; i++) {
        const uint8_t* s = &cmyk.pixels[i * 4];
        uint8_t* d = &out.pixels[i * 3];
        for (int k = 0; k < 3; k++) d[k] = (uint8_t)div_round((uint32_t)s[k] * s[3], 255);
    }
    return out;
}

raster rgb_to_gray(const raster& rgb)
{
    raster out = with_channels(rgb, 1);
    size_t n = (size_t)rgb.width * rgb.height;
    for (size_t i = 0; i < n; i++) {
        const uint8_t* s = &rgb.pixels[i * 3];
        out.pixels[i] = (uint8_t)((299u * s[0] + 587u * s[1] + 114u * s[2] + 500) / 1000);
    }
    return out;
}

raster gray_to_rgb(const raster& gray)
{
    raster out = with_channels(gray, 3);
    size_t n = (size_t)gray.width * gray.height;
    for (size_t i = 0; i < n; i++) {
        out.pixels[i * 3] = out.pixels[i * 3 + 1] = out.pixels[i * 3 + 2] = gray.pixels[i];
    }
    return out;
}

raster split_alpha(const raster& image, std::vector<uint8_t>* alpha)
{
    int32_t colour = image.channels - 1;
    raster out = with_channels(image, colour);
    size_t n = (size_t)image.width * image.height;
    alpha->resize(n);
    for (size_t i = 0; i < n; i++) {
        const uint8_t* s = &image.pixels[i * image.channels];
        for (int k = 0; k < colour; k++) out.pixels[i * colour + k] = s[k];
        (*alpha)[i] = s[colour];
    }
    return out;
}

raster join_alpha(const raster& colour, const std::vector<uint8_t>& alpha)
{
    raster out = with_channels(colour, colour.channels + 1);
    size_t n = (size_t)colour.width * colour.height;
    for (size_t i = 0; i < n; i++) {
        uint8_t* d = &out.pixels[i * out.channels];
        for (int k = 0; k < colour.channels; k++) d[k] = colour.pixels[i * colour.channels + k];
        d[colour.channels] = alpha[i];
    }
    return out;
}

void blend_by_mask(const raster& original, const std::vector<uint8_t>& mask, raster* filtered)
{
    size_t n = (size_t)original.width * original.height;
    int32_t c = original.channels;
    for (size_t i = 0; i < n; i++) {
        int32_t m = mask[i];
        if (m == 255) continue;
        for (int32_t k = 0; k < c; k++) {
            int32_t in = original.pixels[i * c + k];
            int32_t diff = (filtered->pixels[i * c + k] - in) * m;
            int32_t step = diff >= 0 ? (diff + 127) / 255 : -((-diff + 127) / 255);
            filtered->pixels[i * c + k] = (uint8_t)(in + step);
        }
    }
}
