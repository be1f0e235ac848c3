// The dialog script of --dialog-test: any text either parses to steps the
// dialog driver can perform or gives a reason.
#include <cstdint>
#include <string>
#include <vector>

#include "cli/dialog_script.h"
#include "cli/options.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string script((const char*)data, size);
    std::vector<dialog_step> steps;
    std::string error;
    if (!parse_dialog_script(script, &steps, &error)) {
        FUZZ_CHECK(!error.empty(), "a refused script gives a reason");
        return 0;
    }
    size_t commas = 0;
    for (char c : script) commas += c == ',';
    FUZZ_CHECK(steps.size() <= commas + 1, "at most one step between commas");
    for (const dialog_step& s : steps) {
        switch (s.kind) {
        case dialog_step::set_value:
            FUZZ_CHECK(s.field >= 0 && s.field < param_count, "a value step names a field");
            break;
        case dialog_step::wait: FUZZ_CHECK(s.milliseconds >= 0, "a wait is not negative"); break;
        case dialog_step::shot: FUZZ_CHECK(!s.text.empty(), "a screenshot has a file name"); break;
        default: FUZZ_CHECK(s.field == -1, "only value steps name a field"); break;
        }
    }
    return 0;
}
