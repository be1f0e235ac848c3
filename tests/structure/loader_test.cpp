// The plug-in of this program's bitness loaded the way a host loads it: by
// the real loader, as code (relocated, imports bound, DllMain run), with the
// entry point found through the property list a host reads.  The program is
// built for 32 and 64 bits, so each DLL is checked by a process of its own
// kind.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "pe_image.h"
#include "testhost.h"
#include "wine_main.h"

namespace {

const bool is_64 = sizeof(void*) == 8;

const std::string& own_dll()
{
    return is_64 ? plugin64_path() : plugin32_path();
}

const std::string& other_dll()
{
    return is_64 ? plugin32_path() : plugin64_path();
}

// The entry-point name the property list gives for this bitness
// ('8664' for 64 bits, 'wx86' for 32, stored byte-reversed), or "".
std::string pipl_entry(HMODULE module)
{
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), "PIPL");
    if (found == nullptr) return "";
    const uint8_t* p = (const uint8_t*)LockResource(LoadResource(module, found));
    const size_t size = SizeofResource(module, found);
    if (p == nullptr || size < 10) return "";
    uint32_t count;
    std::memcpy(&count, p + 6, 4);
    const char* key = is_64 ? "4668" : "68xw";
    size_t at = 10;
    for (uint32_t i = 0; i < count && at + 16 <= size; ++i) {
        uint32_t length;
        std::memcpy(&length, p + at + 12, 4);
        if (at + 16 + length > size) return "";
        if (std::memcmp(p + at + 4, key, 4) == 0)
            return std::string((const char*)p + at + 16, strnlen((const char*)p + at + 16, length));
        at += 16 + ((length + 3) & ~3u);
    }
    return "";
}

}  // namespace

TEST(Loader, LoadsAsCodeAndTheListedEntryPointResolves)
{
    const std::string path = filter_host::windows_path(own_dll());
    HMODULE module = LoadLibraryA(path.c_str());
    ASSERT_NE(nullptr, module) << path << ": error " << GetLastError();
    const IMAGE_DOS_HEADER* dos = (const IMAGE_DOS_HEADER*)module;
    const IMAGE_NT_HEADERS* nt = (const IMAGE_NT_HEADERS*)((const uint8_t*)module + dos->e_lfanew);
    EXPECT_EQ(is_64 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386, nt->FileHeader.Machine);

    const std::string entry = pipl_entry(module);
    EXPECT_EQ("ENTRYPOINT1", entry);
    FARPROC by_name = GetProcAddress(module, entry.c_str());
    EXPECT_NE(nullptr, by_name);
    EXPECT_EQ(by_name, GetProcAddress(module, MAKEINTRESOURCEA(1)));
    // The window and dialog procedures are found by these names, undecorated
    // in the 32-bit build too, each at its ordinal.
    const char* names[] = {"big_procedure", "small_procedure", "FilterDlg"};
    for (int i = 0; i < 3; ++i) {
        FARPROC p = GetProcAddress(module, names[i]);
        EXPECT_NE(nullptr, p) << names[i];
        EXPECT_EQ(p, GetProcAddress(module, MAKEINTRESOURCEA(i + 2))) << names[i];
        const uintptr_t offset = (uintptr_t)p - (uintptr_t)module;
        EXPECT_LT(offset, (uintptr_t)nt->OptionalHeader.SizeOfImage) << names[i] << " inside the image";
    }
    EXPECT_TRUE(FreeLibrary(module));
}

TEST(Loader, RefusesTheOtherBitnessAsCode)
{
    if (other_dll().empty()) GTEST_SKIP() << "no path for the other build";
    const std::string path = filter_host::windows_path(other_dll());
    SetLastError(0);
    HMODULE module = LoadLibraryA(path.c_str());
    EXPECT_EQ(nullptr, module) << path << " loaded into a " << (is_64 ? 64 : 32) << "-bit process";
    if (module != nullptr) FreeLibrary(module);
    EXPECT_EQ((DWORD)ERROR_BAD_EXE_FORMAT, GetLastError());
}
