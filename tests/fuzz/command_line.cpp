// The command line and the parameter file.  Any text either parses to values
// within their ranges or gives a one-line reason; a parsed parameter file
// writes back to text that parses to the same values.
#include <cstdint>
#include <string>
#include <vector>

#include "cli/options.h"
#include "cli/params_file.h"
#include "fuzz_check.h"

static void check_reason(const std::string& error)
{
    FUZZ_CHECK(!error.empty() && error.find('\n') == std::string::npos, "a failure gives one line");
}

static bool within_ranges(const param_values& values)
{
    std::string error;
    for (int i = 0; i < param_count; i++)
        if (values.set[i] && !check_param(i, values.value[i], &error)) return false;
    return true;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text((const char*)data, size);
    std::string error;

    param_values values, again;
    if (parse_params(text, &values, &error)) {
        FUZZ_CHECK(within_ranges(values), "parsed values lie in their ranges");
        FUZZ_CHECK(parse_params(format_params(values), &again, &error), "a written file parses");
        FUZZ_CHECK(format_params(again) == format_params(values), "a written file keeps every value");
    } else {
        check_reason(error);
    }

    // The same bytes as a command line, one argument per line.
    std::vector<std::string> args;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        args.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    cli_options options;
    error.clear();
    if (parse_options(args, &options, &error)) {
        FUZZ_CHECK(within_ranges(options.params), "given values lie in their ranges");
        const param_values back = values_from_record(make_record(options.params, 640, 480, options.dialog));
        for (int i = 0; i < param_count; i++)
            FUZZ_CHECK(!options.params.set[i] || back.value[i] == options.params.value[i],
                       "the record holds the values given");
    } else {
        check_reason(error);
    }
    return 0;
}
