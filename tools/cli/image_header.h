// The structure of a PNG or JPEG file, read before any pixel is decoded.
//
// Every image the command-line host opens is untrusted.  The decoder (Debian's
// stb_image) reads the formats well but misses some checks on damaged files,
// so this reader walks the whole file first and refuses what the decoder would
// mishandle, what the plug-in cannot take and what the host cannot hold:
//
//   PNG   the IHDR chunk (first, 13 bytes) and every chunk's length up to IEND;
//   JPEG  every segment up to EOI, as the decoder will read them: each Huffman
//         table (class and slot valid, at most 256 codes that fit the code
//         lengths, inside its segment), each quantization table, the frame
//         (8-bit samples; 1, 3 or 4 components; sampling factors 1 to 4 in
//         whole ratios) and each scan (it uses only tables defined before it).
//
// The size is checked where the header gives it, so a small file declaring a
// huge image is refused before anything is allocated for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "effect/whole_image.h"

// The largest side the filter interface can describe: its rectangles are
// 16-bit.
const int32_t max_image_side = GLIMMORA_MAX_SIDE;

// The most pixels one run of the host may hold.  At its peak a run holds
// about 30 bytes per pixel (measured for a 4000 x 3000 RGBA image of noise
// in CMYK mode, the worst case): the decoded file, the image the plug-in sees
// and its result, the image to write and the encoder's rows and output, and
// the blocks big_blocks keeps for reuse; 40 with some room.  The 32-bit host
// has 2 GiB of address space, of which Wine, the DLLs, the stacks and the
// gaps between blocks take a few hundred MiB: 2^25 pixels (32 Mi, about
// 5800 x 5800) at 40 bytes make 1.25 GiB.  The 64-bit host is bounded by the
// machine's memory instead: 2^28 pixels (256 Mi, 16384 x 16384) make 10 GiB.
// Either refuses a 32767 x 32767 image, which the filter interface allows.
const int64_t max_image_pixels = sizeof(void*) == 4 ? (int64_t)1 << 25 : (int64_t)1 << 28;

enum class image_format { png, jpeg };

struct image_header {
    image_format format = image_format::png;
    int32_t width = 0, height = 0;
};

enum class header_verdict {
    ok,
    not_an_image,  // neither a PNG nor a JPEG
    damaged,       // truncated, corrupt, or a kind of JPEG the decoder does not read
    too_large,     // beyond the filter interface or beyond memory
};

// On any verdict but ok, *error says what is wrong in a few words.  Every
// read is checked against `size`.
header_verdict read_image_header(const uint8_t* data, size_t size, image_header* header, std::string* error);
