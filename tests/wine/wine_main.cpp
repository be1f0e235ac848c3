// main() of the Wine test programs.
//
//   --plugin=PATH          the plug-in the tests load and call: the build of
//                          this program's own bitness (default: the one built
//                          beside it)
//   --plugin32=PATH        the 32-bit and the 64-bit plug-in, for the checks
//   --plugin64=PATH        that read both (default: --plugin for this bitness)
//   --record=PATH          where tests that write a record for comparison
//                          with the other build write it
//   --expect-suites=A,B    list every test suite the Wine tier runs one by one;
//                          the program then runs no test and fails if it has a
//                          suite outside the list, so a new suite cannot be
//                          left out of the tier unnoticed.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>

#include "testhost.h"
#include "wine_main.h"

static std::string plugin_own =
#ifdef GLIMMORA_DEFAULT_PLUGIN
    GLIMMORA_DEFAULT_PLUGIN;
#else
    "";
#endif
static std::string plugin_32, plugin_64, record_file;

const std::string& plugin_path()
{
    return plugin_own;
}

const std::string& plugin32_path()
{
    return sizeof(void*) == 4 && plugin_32.empty() ? plugin_own : plugin_32;
}

const std::string& plugin64_path()
{
    return sizeof(void*) == 8 && plugin_64.empty() ? plugin_own : plugin_64;
}

const std::string& record_path()
{
    return record_file;
}

static bool starts_with(const std::string& s, const char* prefix, std::string* rest)
{
    const std::string p(prefix);
    if (s.compare(0, p.size(), p) != 0) return false;
    *rest = s.substr(p.size());
    return true;
}

static int check_suites(const std::string& expected_list)
{
    std::set<std::string> expected;
    std::stringstream in(expected_list);
    std::string name;
    while (std::getline(in, name, ','))
        if (!name.empty()) expected.insert(name);
    int missing = 0;
    const testing::UnitTest* unit = testing::UnitTest::GetInstance();
    for (int i = 0; i < unit->total_test_suite_count(); ++i) {
        const char* suite = unit->GetTestSuite(i)->name();
        if (expected.count(suite) == 0) {
            std::printf("test suite %s is not run by the Wine tier: add it to cmake/tests-wine.cmake\n", suite);
            ++missing;
        }
    }
    std::printf("%d of %d test suites listed\n", unit->total_test_suite_count() - missing,
                unit->total_test_suite_count());
    return missing == 0 ? 0 : 1;
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    std::string expected_suites;
    bool check = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i], value;
        if (starts_with(arg, "--plugin=", &value)) {
            plugin_own = value;
        } else if (starts_with(arg, "--plugin32=", &value)) {
            plugin_32 = value;
        } else if (starts_with(arg, "--plugin64=", &value)) {
            plugin_64 = value;
        } else if (starts_with(arg, "--record=", &value)) {
            record_file = value;
        } else if (starts_with(arg, "--expect-suites=", &value)) {
            expected_suites = value;
            check = true;
        } else {
            std::fprintf(stderr, "unknown argument %s\n", arg.c_str());
            return 2;
        }
    }
    if (check) return check_suites(expected_suites);
    filter_host::set_program_name("testhost");
    filter_host::install_crash_report();
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    return RUN_ALL_TESTS();
}
