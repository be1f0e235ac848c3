// Image files as the command-line host reads them: the header checks, then
// the decoder.  What the checks refuse is never decoded; what decodes has the
// size the header declared, and a failure gives a reason.
#include <cstdint>
#include <string>

#include "cli/image_io.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes((const char*)data, size);
    image_header header;
    std::string error;
    const header_verdict verdict = read_image_header(data, size, &header, &error);
    FUZZ_CHECK(verdict == header_verdict::ok || !error.empty(), "a refused file gives a reason");
    // Beyond this, decoding takes a good part of a second per input, and a
    // larger image goes through the same code as a smaller one.
    if (verdict == header_verdict::ok && (int64_t)header.width * header.height > (1 << 20)) return 0;

    raster image;
    error.clear();
    const load_status status = decode_image(bytes, &image, &error);
    if (verdict != header_verdict::ok) FUZZ_CHECK(status != load_status::ok, "a refused file is not decoded");
    if (status != load_status::ok) {
        FUZZ_CHECK(!error.empty(), "a failed load gives a reason");
        return 0;
    }
    FUZZ_CHECK(image.width == header.width && image.height == header.height, "the decoded size is the declared one");
    FUZZ_CHECK(image.channels >= 1 && image.channels <= 4, "1 to 4 channels");
    FUZZ_CHECK(image.pixels.size() == image.size(), "every pixel is there");
    return 0;
}
