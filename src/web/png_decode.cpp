// PNG files for the page, read by the same decoder (stb_image) as the
// command-line host reads them, so a PNG gives the page the pixels it gives
// the host: 16-bit samples keep their high byte, gray and palette images
// become RGBA, colour profiles and gamma are not applied.  Only the PNG
// reader is compiled in; the page leaves other formats to the browser.
#include "web/glimmora_web.h"

#include "effect/whole_image.h"

#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#define STBI_MAX_DIMENSIONS GLIMMORA_MAX_SIDE
#define STB_IMAGE_IMPLEMENTATION
// Its warnings stay its own: every build includes stb as a system header.
#include <stb_image.h>

extern "C" uint8_t* glimmora_web_decode_png(const uint8_t* data, int32_t length, int32_t* size)
{
    int width = 0, height = 0, channels = 0;
    uint8_t* pixels = stbi_load_from_memory(data, length, &width, &height, &channels, 4);
    size[0] = pixels ? width : 0;
    size[1] = pixels ? height : 0;
    return pixels;
}

extern "C" const char* glimmora_web_decode_failure(void)
{
    const char* reason = stbi_failure_reason();
    return reason ? reason : "unknown";
}
