#include "cli/pipl.h"

#include <cstring>

static uint32_t read_u32(const uint8_t* p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

// Four-character codes are stored as little-endian 32-bit values.
static uint32_t code(const char* c)
{
    return (uint32_t)(uint8_t)c[0] << 24 | (uint32_t)(uint8_t)c[1] << 16 | (uint32_t)(uint8_t)c[2] << 8 |
           (uint32_t)(uint8_t)c[3];
}

static std::string pascal_string(const uint8_t* data, uint32_t length)
{
    if (length == 0) return std::string();
    uint32_t n = data[0];
    if (n > length - 1) n = length - 1;
    return std::string((const char*)data + 1, n);
}

static std::string c_string(const uint8_t* data, uint32_t length)
{
    uint32_t n = 0;
    while (n < length && data[n] != 0) n++;
    return std::string((const char*)data, n);
}

bool parse_pipl(const uint8_t* data, size_t size, pipl_info* info, std::string* error)
{
    *info = pipl_info();
    if (size < 10) {
        *error = "property list shorter than its header";
        return false;
    }
    uint32_t count = read_u32(data + 6);
    size_t at = 10;
    for (uint32_t i = 0; i < count; i++) {
        if (size - at < 16) {
            *error = "property list ends inside property " + std::to_string(i + 1);
            return false;
        }
        uint32_t vendor = read_u32(data + at);
        uint32_t key = read_u32(data + at + 4);
        uint32_t length = read_u32(data + at + 12);
        at += 16;
        if (length > size - at) {
            *error = "property " + std::to_string(i + 1) + " runs past the end of the list";
            return false;
        }
        const uint8_t* value = data + at;
        if (vendor == code("8BIM")) {
            if (key == code("kind") && length >= 4) info->kind = read_u32(value);
            if (key == code("name")) info->name = pascal_string(value, length);
            if (key == code("catg")) info->category = pascal_string(value, length);
            if (key == code("vers") && length >= 4) {
                info->version = read_u32(value);
                info->have_version = true;
            }
            if (key == code("mode") && length >= 2) {
                info->mode_flags = (uint16_t)(value[0] << 8 | value[1]);
                info->have_modes = true;
            }
            if (key == code("wx86")) info->entry_x86 = c_string(value, length);
            if (key == code("8664")) info->entry_x64 = c_string(value, length);
        }
        size_t padded = ((size_t)length + 3) & ~(size_t)3;
        at += padded < size - at ? padded : size - at;
    }
    return true;
}

bool pipl_allows_mode(const pipl_info& info, int16_t image_mode)
{
    if (!info.have_modes) return true;
    if (image_mode < 0 || image_mode > 15) return false;
    return (info.mode_flags & (0x8000u >> image_mode)) != 0;
}

const char* image_mode_name(int16_t image_mode)
{
    static const char* const names[] = {"bitmap",       "grayscale", "indexed colour", "RGB", "CMYK", "HSL",
                                        "HSB",          "multichannel", "duotone",     "Lab"};
    if (image_mode >= 0 && image_mode <= 9) return names[image_mode];
    return "unknown";
}
