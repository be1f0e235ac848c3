// Reading a plug-in's property list as a host does, damaged ones included.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/pipl.h"
#include "cli/progress.h"

namespace {

void put32(std::vector<uint8_t>* b, uint32_t v)
{
    for (int i = 0; i < 4; i++) b->push_back((uint8_t)(v >> (8 * i)));
}

uint32_t code(const char* c)
{
    return (uint32_t)(uint8_t)c[0] << 24 | (uint32_t)(uint8_t)c[1] << 16 | (uint32_t)(uint8_t)c[2] << 8 |
           (uint8_t)c[3];
}

void property(std::vector<uint8_t>* b, const char* key, const std::vector<uint8_t>& data, const char* vendor = "8BIM")
{
    put32(b, code(vendor));
    put32(b, code(key));
    put32(b, 0);
    put32(b, (uint32_t)data.size());
    b->insert(b->end(), data.begin(), data.end());
    while (b->size() % 4 != 2) b->push_back(0);  // the 10-byte header leaves lists 2 bytes off
}

std::vector<uint8_t> bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

// The list our plug-in carries, built from its documented layout.
std::vector<uint8_t> filter_list(const char* entry_key, uint16_t modes)
{
    std::vector<uint8_t> b = {1, 0};
    put32(&b, 0);
    put32(&b, 6);
    property(&b, "kind", {0x4d, 0x46, 0x42, 0x38});
    property(&b, "name", bytes("\x0bGlimmora..."));
    property(&b, "catg", bytes(std::string("\x09Kestravon\0\0", 12)));
    property(&b, "vers", {0, 0, 4, 0});
    property(&b, "mode", {(uint8_t)(modes >> 8), (uint8_t)modes, 0, 0});
    property(&b, entry_key, bytes(std::string("ENTRYPOINT1\0", 12)));
    return b;
}

TEST(CliPipl, ReadsKindNamesModesAndEntry)
{
    std::vector<uint8_t> list = filter_list("8664", 0x5980);
    pipl_info info;
    std::string error;
    ASSERT_TRUE(parse_pipl(list.data(), list.size(), &info, &error)) << error;
    EXPECT_EQ(info.kind, pipl_kind_filter);
    EXPECT_EQ(info.name, "Glimmora...");
    EXPECT_EQ(info.category, "Kestravon");
    EXPECT_EQ(info.version, 0x00040000u);
    EXPECT_EQ(info.entry_x64, "ENTRYPOINT1");
    EXPECT_EQ(info.entry_x86, "");
    EXPECT_TRUE(pipl_allows_mode(info, 1));   // grayscale
    EXPECT_TRUE(pipl_allows_mode(info, 3));   // RGB
    EXPECT_TRUE(pipl_allows_mode(info, 4));   // CMYK
    EXPECT_TRUE(pipl_allows_mode(info, 7));   // multichannel
    EXPECT_TRUE(pipl_allows_mode(info, 8));   // duotone
    EXPECT_FALSE(pipl_allows_mode(info, 9));  // Lab
    EXPECT_FALSE(pipl_allows_mode(info, 0));  // bitmap
    EXPECT_FALSE(pipl_allows_mode(info, 2));  // indexed
}

TEST(CliPipl, OtherVendorsAreIgnoredAndNoModeListAllowsAll)
{
    std::vector<uint8_t> b = {1, 0};
    put32(&b, 0);
    put32(&b, 2);
    property(&b, "kind", {0x4d, 0x46, 0x42, 0x38}, "ACME");
    property(&b, "wx86", bytes(std::string("Entry\0", 6)));
    pipl_info info;
    std::string error;
    ASSERT_TRUE(parse_pipl(b.data(), b.size(), &info, &error)) << error;
    EXPECT_EQ(info.kind, 0u);
    EXPECT_EQ(info.entry_x86, "Entry");
    EXPECT_TRUE(pipl_allows_mode(info, 9));
}

TEST(CliPipl, DamagedListsAreRefusedWithoutReadingPastTheEnd)
{
    std::vector<uint8_t> list = filter_list("wx86", 0x5980);
    pipl_info info;
    std::string error;
    // Every truncation either parses what is there or fails cleanly; run
    // under the sanitizers, a read past the end would be reported.
    for (size_t n = 0; n < list.size(); n++) {
        std::vector<uint8_t> cut(list.begin(), list.begin() + n);
        if (!parse_pipl(cut.data(), cut.size(), &info, &error)) {
            EXPECT_FALSE(error.empty());
        }
    }
    EXPECT_FALSE(parse_pipl(list.data(), 9, &info, &error));
    // A length field far beyond the data.
    std::vector<uint8_t> bad = list;
    bad[10 + 12] = 0xff;
    bad[10 + 15] = 0x7f;
    EXPECT_FALSE(parse_pipl(bad.data(), bad.size(), &info, &error));
    EXPECT_NE(error.find("past the end"), std::string::npos) << error;
    // A count that promises more properties than there are.
    bad = list;
    bad[6] = 200;
    EXPECT_FALSE(parse_pipl(bad.data(), bad.size(), &info, &error));
    // A Pascal string whose length byte overstates it stays within its data.
    std::vector<uint8_t> b = {1, 0};
    put32(&b, 0);
    put32(&b, 1);
    property(&b, "name", {200, 'A', 'B'});
    ASSERT_TRUE(parse_pipl(b.data(), b.size(), &info, &error)) << error;
    EXPECT_EQ(info.name, "AB");
}

TEST(CliProgress, QuietForShortRunsThenDrawsOnlyChanges)
{
    progress_bar bar;
    bar.delay_ms = 400;
    EXPECT_EQ(progress_update(&bar, 0, 100, 1000), "");  // the clock starts here
    EXPECT_EQ(progress_update(&bar, 10, 100, 1300), "");
    std::string first = progress_update(&bar, 25, 100, 1400);
    EXPECT_NE(first.find("25%"), std::string::npos) << first;
    EXPECT_EQ(first[0], '\r');
    EXPECT_EQ(progress_update(&bar, 25, 100, 1500), "");  // nothing changed
    EXPECT_NE(progress_update(&bar, 26, 100, 1500), "");
    std::string end = progress_finish(&bar, true);
    EXPECT_NE(end.find("100%"), std::string::npos);
    EXPECT_EQ(end.back(), '\n');

    progress_bar quick;
    EXPECT_EQ(progress_update(&quick, 0, 10, 0), "");
    EXPECT_EQ(progress_update(&quick, 9, 10, 100), "");
    EXPECT_EQ(progress_finish(&quick, true), "");  // never shown: nothing to end

    progress_bar off;
    off.enabled = false;
    off.delay_ms = 0;
    EXPECT_EQ(progress_update(&off, 5, 10, 5000), "");
}

}  // namespace
