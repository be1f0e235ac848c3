// The checks made before an image is decoded: damaged, truncated and
// oversized files are refused with a reason, and nothing is decoded for them.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "cli/image_io.h"

namespace {

std::string bytes(std::initializer_list<int> list)
{
    std::string s;
    for (int b : list) s += (char)b;
    return s;
}

std::string be16(uint32_t v) { return bytes({(int)(v >> 8 & 255), (int)(v & 255)}); }
std::string be32(uint32_t v) { return be16(v >> 16) + be16(v & 0xffff); }

std::string segment(int marker, const std::string& body)
{
    return bytes({0xff, marker}) + be16((uint32_t)body.size() + 2) + body;
}

const std::string soi = bytes({0xff, 0xd8});
const std::string eoi = bytes({0xff, 0xd9});
// Quantization table 0, all ones.
const std::string dqt = segment(0xdb, bytes({0x00}) + std::string(64, '\x01'));
// DC and AC table 0, one code of one bit each (DC difference 0; end of block).
const std::string dht = segment(0xc4, bytes({0x00, 1}) + std::string(15, '\0') + bytes({0, 0x10, 1}) +
                                          std::string(15, '\0') + bytes({0}));

// A frame header: 8-bit samples unless told, components as (id, factors, table).
std::string sof(int marker, uint32_t width, uint32_t height, std::initializer_list<int> components, int precision = 8)
{
    std::string body = bytes({precision}) + be16(height) + be16(width) + bytes({(int)components.size() / 3});
    for (int b : components) body += (char)b;
    return segment(marker, body);
}

const std::string one_component_scan = segment(0xda, bytes({1, 1, 0x00, 0, 63, 0})) + bytes({0x00, 0x00});

std::string png_chunk(const char* type, const std::string& data)
{
    return be32((uint32_t)data.size()) + type + data + be32(0);
}

std::string png(uint32_t width, uint32_t height, int colour, const std::string& rest)
{
    return std::string("\x89PNG\r\n\x1a\n", 8) +
           png_chunk("IHDR", be32(width) + be32(height) + bytes({8, colour, 0, 0, 0})) + rest;
}

TEST(CliImageHeader, DamagedTruncatedAndOversizedFilesAreRefused)
{
    const struct {
        const char* what;
        std::string file;
        header_verdict verdict;
        const char* reason;
    } cases[] = {
        {"Huffman code counts adding up to 257",
         bytes({0xff, 0xd8, 0xff, 0xc4, 0x00, 0x13, 0x00, 0xff, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}),
         header_verdict::damaged, "257 codes"},
        {"more codes than the code lengths allow",
         soi + segment(0xc4, bytes({0x00, 3}) + std::string(15, '\0') + "abc"), header_verdict::damaged, "more codes than its code lengths allow"},
        {"12-bit samples", soi + sof(0xc0, 16, 16, {1, 0x11, 0}, 12), header_verdict::damaged, "12-bit"},
        {"a lossless frame", soi + sof(0xc3, 16, 16, {1, 0x11, 0}), header_verdict::damaged, "lossless"},
        {"sampling factors 3 and 2", soi + sof(0xc0, 16, 16, {1, 0x31, 0, 2, 0x21, 0, 3, 0x11, 0}),
         header_verdict::damaged, "whole ratio"},
        {"a scan without Huffman tables", soi + dqt + sof(0xc0, 8, 8, {1, 0x11, 0}) + one_component_scan + eoi,
         header_verdict::damaged, "Huffman table the file has not defined"},
        {"a JPEG ending in its scan", soi + dqt + dht + sof(0xc0, 8, 8, {1, 0x11, 0}) + one_component_scan,
         header_verdict::damaged, "truncated JPEG"},
        {"a JPEG wider than the interface", soi + sof(0xc0, 40000, 8, {1, 0x11, 0}), header_verdict::too_large,
         "40000 x 8 pixels; the filter interface takes at most 32767"},
        {"a JPEG too large for memory", soi + sof(0xc2, 32767, 32767, {1, 0x11, 0}), header_verdict::too_large,
         "32767 x 32767 pixels, more than this host can hold"},
        {"an RGBA PNG too large for memory", png(32767, 32767, 6, png_chunk("IEND", "")), header_verdict::too_large,
         "32767 x 32767 pixels, more than this host can hold"},
        {"a PNG ending in its data", png(10, 10, 0, be32(100) + "IDAT" + std::string(20, 'x')),
         header_verdict::damaged, "truncated PNG: the file ends inside its IDAT chunk"},
        {"a PNG that starts with text", std::string("\x89PNG\r\n\x1a\n", 8) + png_chunk("tEXt", "a"),
         header_verdict::damaged, "does not start with an IHDR chunk"},
        {"a well-formed JPEG", soi + dqt + dht + sof(0xc0, 8, 8, {1, 0x11, 0}) + one_component_scan + eoi,
         header_verdict::ok, ""},
    };
    for (const auto& c : cases) {
        image_header header;
        std::string error;
        EXPECT_EQ(read_image_header((const uint8_t*)c.file.data(), c.file.size(), &header, &error), c.verdict)
            << c.what << ": " << error;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.what << ": " << error;
    }
}

// Through the loader: the header bomb (32767 x 32767 gray in a small file)
// is refused before any decoding.
TEST(CliImageHeader, TheLoaderRefusesBeforeDecoding)
{
    char path[] = "/tmp/glimmora-cli-header-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    std::ofstream(path, std::ios::binary)
        << png(32767, 32767, 0, png_chunk("IDAT", std::string(1 << 16, '\0')) + png_chunk("IEND", ""));
    raster image;
    std::string error;
    EXPECT_EQ(load_image(path, &image, &error), load_status::too_large) << error;
    EXPECT_TRUE(image.pixels.empty());
    remove(path);
}

}  // namespace
