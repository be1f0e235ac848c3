// What a host reads before it calls any code: the two DLLs' headers, export
// and import tables and resources, checked byte for byte through the
// Windows loader (data-file mode, so the 32-bit DLL is read here too).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <memory>

#include "glimmora_version.h"
#include "pe_image.h"
#include "wine_main.h"

namespace {

struct build {
    const char* label;
    bool is_64;
};
const build builds[] = {{"32-bit", false}, {"64-bit", true}};

std::unique_ptr<pe_image> open_dll(const build& b)
{
    const std::string& path = b.is_64 ? plugin64_path() : plugin32_path();
    if (path.empty()) ADD_FAILURE() << "no path for the " << b.label << " DLL (--plugin / --plugin32)";
    std::unique_ptr<pe_image> image(new pe_image(path));
    if (!image->loaded() || !image->error().empty())
        ADD_FAILURE() << b.label << ": " << image->error();
    return image;
}

typedef std::vector<uint8_t> bytes;

bytes text(const char* s, size_t n)
{
    return bytes(s, s + n);
}

bytes le32(uint32_t v)
{
    return {(uint8_t)v, (uint8_t)(v >> 8), (uint8_t)(v >> 16), (uint8_t)(v >> 24)};
}

void append(bytes* to, const bytes& more)
{
    to->insert(to->end(), more.begin(), more.end());
}

// One property: vendor '8BIM', key (as stored, byte-reversed), id 0, length, data padded to 4.
bytes property(const char* stored_key, const bytes& data)
{
    bytes p = text("MIB8", 4);
    append(&p, text(stored_key, 4));
    append(&p, le32(0));
    append(&p, le32((uint32_t)data.size()));
    append(&p, data);
    while (p.size() % 4 != 0) p.push_back(0);
    return p;
}

std::vector<bytes> expected_pipl_properties(bool is_64)
{
    bytes fici;
    for (int i = 0; i < 3; ++i) append(&fici, {0x01, 0x01, 0x01, 0x00});
    for (int i = 0; i < 2; ++i) append(&fici, {0x0a, 0x09, 0x03, 0x00});
    for (int i = 0; i < 2; ++i) append(&fici, {0x0a, 0x01, 0x01, 0x00});
    bytes name = {0x0b};
    append(&name, text("Glimmora...", 11));
    bytes category = {0x09};
    append(&category, text("Kestravon\0\0", 11));
    return {
        property("dnik", {0x4d, 0x46, 0x42, 0x38}),
        property("eman", name),
        property("gtac", category),
        property("srev", {0x00, 0x00, 0x04, 0x00}),
        property("edom", {0x59, 0x80, 0x00, 0x00}),
        property(is_64 ? "4668" : "68xw", text("ENTRYPOINT1\0", 12)),
        property("icif", fici),
    };
}

std::string hex(const bytes& b)
{
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (uint8_t v : b) {
        s += digits[v >> 4];
        s += digits[v & 15];
        s += ' ';
    }
    return s;
}

// The strings of one string-table block (16 slots), from the raw resource.
std::vector<std::wstring> string_block(const pe_image& image, int block)
{
    std::vector<std::wstring> strings;
    bytes raw;
    if (!image.find(MAKEINTRESOURCEA(6), MAKEINTRESOURCEA(block), 1033, &raw)) return strings;
    size_t at = 0;
    for (int i = 0; i < 16 && at + 2 <= raw.size(); ++i) {
        const size_t n = raw[at] | (raw[at + 1] << 8);
        at += 2;
        std::wstring s;
        for (size_t k = 0; k < n && at + 2 <= raw.size(); ++k, at += 2) s += (wchar_t)(raw[at] | (raw[at + 1] << 8));
        strings.push_back(s);
    }
    return strings;
}

std::wstring wide(const char* s)
{
    std::wstring w;
    while (*s) w += (wchar_t)(unsigned char)*s++;
    return w;
}

}  // namespace

TEST(Headers, MachineTypeMatchesEachBuild)
{
    for (const build& b : builds) {
        SCOPED_TRACE(b.label);
        auto image = open_dll(b);
        if (!image->loaded()) continue;
        EXPECT_EQ(b.is_64 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386, image->machine());
        EXPECT_NE(0, image->characteristics() & IMAGE_FILE_DLL);
    }
}

TEST(Exports, ModuleNameNamesAndOrdinals)
{
    for (const build& b : builds) {
        SCOPED_TRACE(b.label);
        auto image = open_dll(b);
        if (!image->loaded()) continue;
        EXPECT_EQ("GLIMMORA.dll", image->export_module_name());
        std::vector<export_entry> list = image->exports();
        std::sort(list.begin(), list.end(),
                  [](const export_entry& x, const export_entry& y) { return x.ordinal < y.ordinal; });
        ASSERT_EQ(4u, list.size());
        const char* names[] = {"ENTRYPOINT1", "big_procedure", "small_procedure", "FilterDlg"};
        for (uint32_t i = 0; i < 4; ++i) {
            EXPECT_EQ(i + 1, list[i].ordinal);
            EXPECT_EQ(names[i], list[i].name);
        }
        EXPECT_EQ(4u, image->export_function_count()) << "no exports beyond the four named ones";
    }
}

TEST(Imports, OnlySystemLibraries)
{
    for (const build& b : builds) {
        SCOPED_TRACE(b.label);
        auto image = open_dll(b);
        if (!image->loaded()) continue;
        std::vector<std::string> imports = image->imports();
        EXPECT_FALSE(imports.empty());
        for (std::string name : imports) {
            std::transform(name.begin(), name.end(), name.begin(), [](char c) { return (char)std::tolower(c); });
            const bool system = name == "kernel32.dll" || name == "user32.dll" || name == "gdi32.dll" ||
                                name == "msvcrt.dll" || name == "ucrtbase.dll" ||
                                name.compare(0, 12, "api-ms-win-c") == 0;
            EXPECT_TRUE(system) << "imports " << name;
        }
    }
}

TEST(Resources, TypesAndLanguages)
{
    for (const build& b : builds) {
        SCOPED_TRACE(b.label);
        auto image = open_dll(b);
        if (!image->loaded()) continue;
        std::vector<std::string> types = image->resource_types();
        std::sort(types.begin(), types.end());
        // Named types stored upper case; 5 = dialog, 6 = string table, 16 = version.
        const std::vector<std::string> expected = {"#16", "#5", "#6", "FLTD", "FLTS", "PIMI", "PIPL", "_8BFM"};
        EXPECT_EQ(expected, types);
        for (const std::string& type : types) {
            for (const resource_id& id : image->resource_names(resource_arg(type))) {
                SCOPED_TRACE(type + " " + id.name);
                EXPECT_EQ(std::vector<WORD>{1033}, id.languages);
                if (type != "#5" && type != "#6") {
                    EXPECT_EQ("#1", id.name);
                }
            }
        }
    }
}

TEST(Resources, PiPLPropertyByProperty)
{
    for (const build& b : builds) {
        SCOPED_TRACE(b.label);
        auto image = open_dll(b);
        if (!image->loaded()) continue;
        bytes pipl;
        ASSERT_TRUE(image->find("PiPL", MAKEINTRESOURCEA(1), 1033, &pipl));
        ASSERT_EQ(198u, pipl.size());
        EXPECT_EQ(hex({1, 0, 0, 0, 0, 0, 7, 0, 0, 0}), hex(bytes(pipl.begin(), pipl.begin() + 10)));
        size_t at = 10;
        const size_t sizes[] = {20, 28, 28, 20, 20, 28, 44};
        std::vector<bytes> expected = expected_pipl_properties(b.is_64);
        for (size_t i = 0; i < expected.size(); ++i) {
            SCOPED_TRACE("property " + std::to_string(i + 1));
            ASSERT_EQ(sizes[i], expected[i].size());
            ASSERT_LE(at + sizes[i], pipl.size());
            EXPECT_EQ(hex(expected[i]), hex(bytes(pipl.begin() + at, pipl.begin() + at + sizes[i])));
            at += sizes[i];
        }
    }
}

TEST(Resources, PiPLBuildsDifferOnlyInEntryKey)
{
    auto image32 = open_dll(builds[0]);
    auto image64 = open_dll(builds[1]);
    if (!image32->loaded() || !image64->loaded()) return;
    bytes a, b;
    ASSERT_TRUE(image32->find("PIPL", MAKEINTRESOURCEA(1), 1033, &a));
    ASSERT_TRUE(image64->find("PIPL", MAKEINTRESOURCEA(1), 1033, &b));
    ASSERT_EQ(a.size(), b.size());
    // The entry-point property starts at 10 + 20 + 28 + 28 + 20 + 20; its key is bytes 4..7.
    const size_t key = 10 + 20 + 28 + 28 + 20 + 20 + 4;
    for (size_t i = 0; i < a.size(); ++i)
        if (i < key || i >= key + 4) {
            EXPECT_EQ(a[i], b[i]) << "byte " << i;
        }
    EXPECT_EQ("68xw", std::string(a.begin() + key, a.begin() + key + 4));
    EXPECT_EQ("4668", std::string(b.begin() + key, b.begin() + key + 4));
}

TEST(Resources, OlderPluginResources)
{
    bytes pimi = {0x03, 0x00};
    append(&pimi, text("Kestravon\0", 10));
    append(&pimi, {0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0xff, 0xff, 0x20, 0x20, 0x20, 0x20});
    bytes menu = {0x03, 0x00};
    append(&menu, text("Glimmora...\0", 12));
    const bytes flts = {0x00, 0x00, 0x03, 0x00};
    bytes fltd = {0x00, 0x00};
    for (int i = 0; i < 8; ++i) append(&fltd, {0x02, 0x00, 0x00, 0x00});
    ASSERT_EQ(28u, pimi.size());
    ASSERT_EQ(14u, menu.size());
    ASSERT_EQ(34u, fltd.size());

    for (const build& b : builds) {
        SCOPED_TRACE(b.label);
        auto image = open_dll(b);
        if (!image->loaded()) continue;
        bytes got;
        EXPECT_TRUE(image->find("PIMI", MAKEINTRESOURCEA(1), 1033, &got));
        EXPECT_EQ(hex(pimi), hex(got));
        got.clear();
        EXPECT_TRUE(image->find("_8BFM", MAKEINTRESOURCEA(1), 1033, &got));
        EXPECT_EQ(hex(menu), hex(got));
        got.clear();
        EXPECT_TRUE(image->find("FLTS", MAKEINTRESOURCEA(1), 1033, &got));
        EXPECT_EQ(hex(flts), hex(got));
        got.clear();
        EXPECT_TRUE(image->find("FLTD", MAKEINTRESOURCEA(1), 1033, &got));
        EXPECT_EQ(hex(fltd), hex(got));
    }
}

TEST(Resources, StringTable)
{
    for (const build& b : builds) {
        SCOPED_TRACE(b.label);
        auto image = open_dll(b);
        if (!image->loaded()) continue;
        // Block n holds ids 16 (n - 1) to 16 n - 1: ids 1 and 2 are in block 1, 101 in block 7.
        std::vector<resource_id> blocks = image->resource_names(MAKEINTRESOURCEA(6));
        std::vector<std::string> block_names;
        for (const resource_id& id : blocks) block_names.push_back(id.name);
        std::sort(block_names.begin(), block_names.end());
        EXPECT_EQ((std::vector<std::string>{"#1", "#7"}), block_names);

        std::vector<std::wstring> first = string_block(*image, 1);
        std::vector<std::wstring> seventh = string_block(*image, 7);
        ASSERT_EQ(16u, first.size());
        ASSERT_EQ(16u, seventh.size());
        for (int i = 0; i < 16; ++i) {
            if (i != 1 && i != 2) {
                EXPECT_TRUE(first[i].empty()) << "string " << i;
            }
            if (i != 5) {
                EXPECT_TRUE(seventh[i].empty()) << "string " << 96 + i;
            }
        }
        const std::wstring about_text = wide("Glimmora Filter. Version 1.6\n");
        const std::wstring caption = wide("***** Glimmora *****  ");
        EXPECT_EQ(about_text, first[1].substr(0, about_text.size()));
        EXPECT_GT(first[1].size(), about_text.size()) << "a credit line follows the version line";
        EXPECT_EQ(caption, first[2].substr(0, caption.size()));
        EXPECT_GT(first[2].size(), 59u) << "the caption is long enough to be cut at 59 characters";
        EXPECT_EQ(wide("Filter cannot be run because:"), seventh[5]);
    }
}

TEST(Resources, FilterDialogTemplate)
{
    for (const build& b : builds) {
        SCOPED_TRACE(b.label);
        auto image = open_dll(b);
        if (!image->loaded()) continue;
        bytes dialog;
        ASSERT_TRUE(image->find(MAKEINTRESOURCEA(5), "FILTERDLG", 1033, &dialog));
        // The caption identifies the dialog to the test host.  It follows the
        // fixed header and the menu and class fields (both empty here).
        const bool extended = dialog.size() > 4 && dialog[0] == 1 && dialog[1] == 0 && dialog[2] == 0xff &&
                              dialog[3] == 0xff;
        size_t at = extended ? 26 : 18;
        for (int field = 0; field < 2 && at + 2 <= dialog.size(); ++field) {
            const unsigned first = dialog[at] | (dialog[at + 1] << 8);
            if (first == 0xFFFF)
                at += 4;
            else
                while (at + 2 <= dialog.size() && (dialog[at] | dialog[at + 1]) != 0) at += 2;
            if (first != 0xFFFF) at += 2;
        }
        std::wstring title;
        for (; at + 2 <= dialog.size() && (dialog[at] | dialog[at + 1]) != 0; at += 2)
            title += (wchar_t)(dialog[at] | (dialog[at + 1] << 8));
        const std::wstring prefix = wide("***** Glimmoric Filter *****");
        EXPECT_EQ(prefix, title.substr(0, prefix.size()));
    }
}

// What Explorer's Properties and a host's plug-in list show: the build's version.
TEST(Resources, VersionInformation)
{
    for (const build& b : builds) {
        SCOPED_TRACE(b.label);
        const std::string& path = b.is_64 ? plugin64_path() : plugin32_path();
        std::vector<char> block(GetFileVersionInfoSizeA(path.c_str(), nullptr));
        ASSERT_FALSE(block.empty());
        ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, (DWORD)block.size(), block.data()));
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT size = 0;
        ASSERT_TRUE(VerQueryValueA(block.data(), "\\", (void**)&fixed, &size));
        const DWORD high = MAKELONG(GLIMMORA_VERSION_MINOR, GLIMMORA_VERSION_MAJOR);
        const DWORD low = MAKELONG(0, GLIMMORA_VERSION_PATCH);
        EXPECT_EQ(high, fixed->dwFileVersionMS);
        EXPECT_EQ(low, fixed->dwFileVersionLS);
        EXPECT_EQ(high, fixed->dwProductVersionMS);
        EXPECT_EQ(low, fixed->dwProductVersionLS);
        EXPECT_EQ((DWORD)VFT_DLL, fixed->dwFileType);
        const std::string description =
            std::string("Glimmora filter plug-in for ") + (b.is_64 ? "64" : "32") + "-bit hosts";
        const std::pair<const char*, std::string> strings[] = {
            {"FileVersion", GLIMMORA_VERSION},   {"ProductVersion", GLIMMORA_VERSION},
            {"ProductName", "Glimmora"},         {"OriginalFilename", "GLIMMORA.8bf"},
            {"FileDescription", description},
        };
        for (const auto& s : strings) {
            char* value = nullptr;
            const std::string key = std::string("\\StringFileInfo\\040904B0\\") + s.first;
            ASSERT_TRUE(VerQueryValueA(block.data(), key.c_str(), (void**)&value, &size)) << s.first;
            EXPECT_EQ(s.second, std::string(value)) << s.first;
        }
    }
}
