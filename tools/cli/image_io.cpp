#include "cli/image_io.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#include <process.h>
#define current_pid() _getpid()
#else
#include <unistd.h>
#define current_pid() getpid()
#endif

#include "cli/big_blocks.h"
#include "cli/image_header.h"

// The decoder's blocks start zeroed: where a damaged JPEG leaves a block or a
// component unwritten, the image is black there, never what the memory held
// before (the decoder's own tables or an earlier image).
static void* decoder_alloc(size_t size)
{
    void* block = big_alloc(size);
    if (block != nullptr) memset(block, 0, size);
    return block;
}

// Both coders take their image-sized buffers from the reused blocks.  The
// build compiles this file with -fwrapv: the decoder's sums of coefficients
// in damaged JPEGs may pass the range of int, and then wrap, as they would in
// the machine anyway.
#define STBI_MALLOC decoder_alloc
#define STBI_REALLOC big_realloc
#define STBI_FREE big_free
#define STBIW_MALLOC big_alloc
#define STBIW_REALLOC big_realloc
#define STBIW_FREE big_free
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_NO_STDIO
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
// Its warnings stay its own: every build includes stb as a system header.
#include <stb_image.h>
#include <stb_image_write.h>

bool read_whole_file(const std::string& path, std::string* bytes, std::string* error)
{
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) {
        *error = strerror(errno);
        return false;
    }
    bytes->clear();
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) bytes->append(buffer, n);
    bool failed = ferror(f) != 0;
    fclose(f);
    if (failed) {
        *error = "read error";
        return false;
    }
    return true;
}

load_status load_image(const std::string& path, raster* image, std::string* error, bool* had_16_bits)
{
    if (had_16_bits != nullptr) *had_16_bits = false;
    std::string bytes;
    if (!read_whole_file(path, &bytes, error)) return load_status::unreadable;
    return decode_image(bytes, image, error, had_16_bits);
}

load_status decode_image(const std::string& bytes, raster* image, std::string* error, bool* had_16_bits)
{
    if (had_16_bits != nullptr) *had_16_bits = false;
    if (bytes.size() > (size_t)INT32_MAX) {
        *error = "file too large";
        return load_status::too_large;
    }
    const stbi_uc* data = (const stbi_uc*)bytes.data();
    int len = (int)bytes.size();
    image_header header;
    switch (read_image_header(data, bytes.size(), &header, error)) {
    case header_verdict::ok: break;
    case header_verdict::too_large: return load_status::too_large;
    default: return load_status::not_an_image;
    }
    int w = 0, h = 0, channels = 0;
    if (!stbi_info_from_memory(data, len, &w, &h, &channels)) {
        *error = "not a PNG or JPEG image";
        return load_status::not_an_image;
    }
    stbi_uc* pixels = stbi_load_from_memory(data, len, &w, &h, &channels, 0);
    if (!pixels) {
        const char* reason = stbi_failure_reason();
        bool memory = reason && strcmp(reason, "outofmem") == 0;
        *error = memory ? "out of memory" : std::string("damaged image (") + (reason ? reason : "unknown") + ")";
        return memory ? load_status::out_of_memory : load_status::not_an_image;
    }
    if (had_16_bits != nullptr) *had_16_bits = stbi_is_16_bit_from_memory(data, len) != 0;
    image->width = w;
    image->height = h;
    image->channels = channels;
    image->pixels.assign(pixels, pixels + (size_t)w * h * channels);
    stbi_image_free(pixels);
    return load_status::ok;
}

static bool ends_with(const std::string& s, const char* tail)
{
    size_t n = strlen(tail);
    if (s.size() < n) return false;
    for (size_t i = 0; i < n; i++) {
        char c = s[s.size() - n + i];
        if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
        if (c != tail[i]) return false;
    }
    return true;
}

file_kind output_kind(const std::string& path)
{
    if (ends_with(path, ".png")) return file_kind::png;
    if (ends_with(path, ".jpg") || ends_with(path, ".jpeg")) return file_kind::jpeg;
    return file_kind::unknown;
}

static void append_bytes(void* context, void* data, int size)
{
    ((std::string*)context)->append((const char*)data, (size_t)size);
}

bool save_image(const std::string& path, const raster& image, file_kind kind, std::string* error)
{
    std::string bytes;
    int ok = 0;
    if (kind == file_kind::png) {
        ok = stbi_write_png_to_func(append_bytes, &bytes, image.width, image.height, image.channels,
                                    image.pixels.data(), image.width * image.channels);
    } else if (kind == file_kind::jpeg) {
        ok = stbi_write_jpg_to_func(append_bytes, &bytes, image.width, image.height, image.channels,
                                    image.pixels.data(), 95);
    }
    if (!ok) {
        *error = "could not encode the image";
        return false;
    }
    return write_file_atomically(path, bytes, error);
}

// The directory part of a path, with its separator, or "" for a bare name.
static std::string directory_of(const std::string& path)
{
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

static bool replace_file(const std::string& from, const std::string& to)
{
#ifdef _WIN32
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
    return rename(from.c_str(), to.c_str()) == 0;
#endif
}

bool write_file_atomically(const std::string& path, const std::string& bytes, std::string* error)
{
    std::string temp = directory_of(path) + ".glimmora-" + std::to_string(current_pid()) + ".tmp";
    FILE* f = fopen(temp.c_str(), "wb");
    if (!f) {
        *error = strerror(errno);
        return false;
    }
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = fflush(f) == 0 && ok;
    int saved = errno;
    ok = fclose(f) == 0 && ok;
    if (!ok) {
        *error = saved ? strerror(saved) : "write error";
        remove(temp.c_str());
        return false;
    }
    if (!replace_file(temp, path)) {
        *error = "cannot replace the file";
        remove(temp.c_str());
        return false;
    }
    return true;
}
