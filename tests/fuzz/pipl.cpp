// A plug-in's property list, as any DLL may carry one: parsed without a read
// past its end, and a refused list gives a reason.
#include <cstdint>
#include <string>

#include "cli/pipl.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    pipl_info info;
    std::string error;
    if (!parse_pipl(data, size, &info, &error)) {
        FUZZ_CHECK(!error.empty(), "a refused list gives a reason");
        return 0;
    }
    FUZZ_CHECK(info.name.size() < size && info.category.size() < size, "names come from the list");
    FUZZ_CHECK(info.entry_x86.size() < size && info.entry_x64.size() < size, "entry names come from the list");
    for (int16_t mode = -1; mode <= 16; mode++) {
        pipl_allows_mode(info, mode);
        FUZZ_CHECK(image_mode_name(mode) != nullptr, "every mode has a name");
    }
    return 0;
}
