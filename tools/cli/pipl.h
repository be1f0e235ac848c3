// Reading a plug-in's property list (the PiPL resource), which tells a host
// what the module is, where it goes in the menu, which image modes it takes
// and the name of its entry point.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct pipl_info {
    uint32_t kind = 0;           // '8BFM' for a filter
    std::string name, category;  // menu name and category
    bool have_version = false;
    uint32_t version = 0;        // major << 16 | minor
    bool have_modes = false;
    uint16_t mode_flags = 0;     // bit 15 - n set: image mode n is supported
    std::string entry_x86;       // 'wx86'
    std::string entry_x64;       // '8664'
};

const uint32_t pipl_kind_filter = 0x3842464D;  // '8BFM'

// Parses one PiPL resource.  Every length is checked against the data, so a
// damaged resource gives false and a reason, never a read past its end.
bool parse_pipl(const uint8_t* data, size_t size, pipl_info* info, std::string* error);

// Whether the flags allow the image mode (0 bitmap ... 9 Lab).  A PiPL
// without a 'mode' property allows every mode.
bool pipl_allows_mode(const pipl_info& info, int16_t image_mode);

// "grayscale", "RGB", "CMYK", ...
const char* image_mode_name(int16_t image_mode);
