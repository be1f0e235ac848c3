// Image files: what can be read, what is refused, and writes that never
// leave a half-written file behind.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "cli/image_io.h"

namespace {

class CliImageFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/glimmora-cli-io-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override
    {
        for (const std::string& name : files()) remove((dir_ + "/" + name).c_str());
        rmdir(dir_.c_str());
    }
    std::vector<std::string> files() const
    {
        std::vector<std::string> names;
        DIR* d = opendir(dir_.c_str());
        while (dirent* e = d ? readdir(d) : nullptr)
            if (e->d_name[0] != '.' || (e->d_name[1] != 0 && e->d_name[1] != '.')) names.push_back(e->d_name);
        if (d) closedir(d);
        return names;
    }
    std::string path(const char* name) const { return dir_ + "/" + name; }
    std::string dir_;
};

raster sample(int32_t channels)
{
    raster r;
    r.width = 7;
    r.height = 5;
    r.channels = channels;
    for (size_t i = 0; i < r.size(); i++) r.pixels.push_back((uint8_t)(i * 37 + 11));
    return r;
}

TEST_F(CliImageFiles, PngRoundTripKeepsPixelsAndChannels)
{
    for (int32_t channels : {1, 2, 3, 4}) {
        raster r = sample(channels);
        std::string error;
        ASSERT_TRUE(save_image(path("a.png"), r, file_kind::png, &error)) << error;
        raster back;
        ASSERT_EQ(load_image(path("a.png"), &back, &error), load_status::ok) << error;
        EXPECT_EQ(back.channels, channels);
        EXPECT_EQ(back.width, 7);
        EXPECT_EQ(back.pixels, r.pixels);
    }
    EXPECT_EQ(files(), std::vector<std::string>({"a.png"})) << "no temporary file is left";
}

TEST_F(CliImageFiles, JpegIsWrittenAndReadBack)
{
    raster r = sample(3);
    std::string error;
    ASSERT_TRUE(save_image(path("a.JPG"), r, output_kind("a.JPG"), &error)) << error;
    raster back;
    ASSERT_EQ(load_image(path("a.JPG"), &back, &error), load_status::ok) << error;
    EXPECT_EQ(back.width, 7);
    EXPECT_EQ(back.channels, 3);
}

TEST_F(CliImageFiles, OutputKindFollowsTheName)
{
    EXPECT_EQ(output_kind("x.png"), file_kind::png);
    EXPECT_EQ(output_kind("x.PNG"), file_kind::png);
    EXPECT_EQ(output_kind("x.jpeg"), file_kind::jpeg);
    EXPECT_EQ(output_kind("x.bmp"), file_kind::unknown);
    EXPECT_EQ(output_kind("png"), file_kind::unknown);
}

TEST_F(CliImageFiles, UnreadableAndForeignFilesAreRefused)
{
    raster r;
    std::string error;
    EXPECT_EQ(load_image(path("missing.png"), &r, &error), load_status::unreadable);
    std::ofstream(path("text.png")) << "not an image at all";
    EXPECT_EQ(load_image(path("text.png"), &r, &error), load_status::not_an_image);
    // A PNG whose header declares 40000 x 10 pixels is refused before any
    // pixel is decoded.
    const unsigned char header[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R',
                                    0, 0, 0x9c, 0x40, 0, 0, 0, 10, 8, 2, 0, 0, 0, 0, 0, 0, 0};
    std::ofstream(path("wide.png"), std::ios::binary).write((const char*)header, sizeof header);
    EXPECT_EQ(load_image(path("wide.png"), &r, &error), load_status::too_large);
    EXPECT_NE(error.find("32767"), std::string::npos) << error;
}

// A PNG of 16-bit gray samples, its image data in one stored (uncompressed)
// deflate block.
std::string gray16_png(uint32_t width, uint32_t height, const std::vector<uint16_t>& samples)
{
    auto be32 = [](uint32_t v) {
        return std::string{(char)(v >> 24), (char)(v >> 16), (char)(v >> 8), (char)v};
    };
    auto crc = [](const std::string& bytes) {
        uint32_t c = 0xFFFFFFFFu;
        for (unsigned char b : bytes) {
            c ^= b;
            for (int k = 0; k < 8; k++) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
        }
        return c ^ 0xFFFFFFFFu;
    };
    auto chunk = [&](const std::string& kind, const std::string& data) {
        return be32((uint32_t)data.size()) + kind + data + be32(crc(kind + data));
    };
    std::string raw;
    for (uint32_t y = 0; y < height; y++) {
        raw += '\0';
        for (uint32_t x = 0; x < width; x++) {
            uint16_t v = samples[y * width + x];
            raw += (char)(v >> 8);
            raw += (char)v;
        }
    }
    uint32_t a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    const uint16_t n = (uint16_t)raw.size();
    std::string deflate = std::string("\x78\x01\x01", 3) + (char)n + (char)(n >> 8) + (char)~n + (char)(~n >> 8) + raw +
                          be32((b << 16) | a);
    const std::string ihdr = be32(width) + be32(height) + std::string("\x10\x00\x00\x00\x00", 5);
    return std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", ihdr) + chunk("IDAT", deflate) + chunk("IEND", "");
}

TEST_F(CliImageFiles, SixteenBitPngKeepsTheHighByteAndSaysSo)
{
    const std::vector<uint16_t> samples = {0x0000, 0x00ff, 0x0100, 0x7f80, 0x8000, 0xfeff, 0xff00, 0xffff};
    std::ofstream(path("wide.png"), std::ios::binary) << gray16_png(4, 2, samples);
    raster r;
    std::string error;
    bool had_16_bits = false;
    ASSERT_EQ(load_image(path("wide.png"), &r, &error, &had_16_bits), load_status::ok) << error;
    EXPECT_TRUE(had_16_bits);
    EXPECT_EQ(r.channels, 1);
    EXPECT_EQ(r.pixels, (std::vector<uint8_t>{0x00, 0x00, 0x01, 0x7f, 0x80, 0xfe, 0xff, 0xff}));

    ASSERT_TRUE(save_image(path("narrow.png"), sample(3), file_kind::png, &error)) << error;
    had_16_bits = true;
    ASSERT_EQ(load_image(path("narrow.png"), &r, &error, &had_16_bits), load_status::ok) << error;
    EXPECT_FALSE(had_16_bits);
}

TEST_F(CliImageFiles, FailedWriteLeavesTheOldFileAndNoTemporary)
{
    std::string error;
    ASSERT_TRUE(write_file_atomically(path("out.png"), "old", &error));
    EXPECT_FALSE(write_file_atomically(dir_ + "/no/such/dir/out.png", "new", &error));
    // Renaming over a directory fails after the bytes were written.
    ASSERT_EQ(mkdir(path("taken.png").c_str(), 0755), 0);
    EXPECT_FALSE(write_file_atomically(path("taken.png"), "new", &error));
    rmdir(path("taken.png").c_str());
    std::ifstream in(path("out.png"));
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "old");
    EXPECT_EQ(files(), std::vector<std::string>({"out.png"}));
}

}  // namespace
