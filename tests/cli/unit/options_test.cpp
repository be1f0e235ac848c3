// The command line: forms, ranges, and how stored and given values combine.
#include <gtest/gtest.h>

#include "cli/options.h"
#include "cli/params_file.h"

namespace {

bool parse(std::vector<std::string> args, cli_options* o, std::string* error)
{
    return parse_options(args, o, error);
}

TEST(CliOptions, ReadsEveryOption)
{
    cli_options o;
    std::string error;
    ASSERT_TRUE(parse({"apply", "in.png", "out.jpg", "--spokes", "12", "--angle=30", "--thickness", "5",
                       "--intensity", "100", "--radius", "0", "--length", "2", "--centre", "10,-0", "--selection",
                       "m.png", "--floating", "--mode", "cmyk", "--max-space", "5000", "--plugin", "p.8bf",
                       "--params", "p.txt", "--quiet"},
                      &o, &error))
        << error;
    EXPECT_EQ(o.command, "apply");
    EXPECT_EQ(o.in_path, "in.png");
    EXPECT_EQ(o.out_path, "out.jpg");
    const int32_t expected[param_count] = {12, 30, 5, 100, 0, 2};
    for (int i = 0; i < param_count; i++) {
        EXPECT_TRUE(o.params.set[i]) << param_ranges[i].name;
        EXPECT_EQ(o.params.value[i], expected[i]) << param_ranges[i].name;
    }
    EXPECT_TRUE(o.params.centre_set);
    EXPECT_EQ(o.params.centre_x, 10);
    EXPECT_EQ(o.params.centre_y, 0);
    EXPECT_EQ(o.selection_path, "m.png");
    EXPECT_TRUE(o.floating);
    EXPECT_EQ(o.mode, colour_mode::cmyk);
    EXPECT_EQ(o.max_space, 5000);
    EXPECT_EQ(o.plugin_path, "p.8bf");
    EXPECT_EQ(o.params_path, "p.txt");
    EXPECT_TRUE(o.quiet);
    EXPECT_FALSE(o.dialog);
}

TEST(CliOptions, RangeErrorsNameTheValidRange)
{
    struct {
        const char* option;
        const char* bad;
        const char* says;
    } cases[] = {
        {"--spokes", "0", "spokes must be 1-50"},        {"--spokes", "51", "spokes must be 1-50"},
        {"--angle", "-1", "angle must be 0-360"},        {"--angle", "361", "angle must be 0-360"},
        {"--thickness", "4", "thickness must be 5-100"}, {"--intensity", "101", "intensity must be 0-100"},
        {"--radius", "101", "radius must be 0-100"},     {"--length", "1", "length must be 2-100"},
    };
    for (const auto& c : cases) {
        cli_options o;
        std::string error;
        EXPECT_FALSE(parse({"apply", "a.png", "b.png", c.option, c.bad}, &o, &error)) << c.option << " " << c.bad;
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
    }
    // The ends of each range are accepted.
    for (const param_range& r : param_ranges) {
        for (int32_t v : {r.low, r.high}) {
            cli_options o;
            std::string error;
            EXPECT_TRUE(parse({"apply", "a.png", "b.png", std::string("--") + r.name, std::to_string(v)}, &o, &error))
                << error;
        }
    }
}

TEST(CliOptions, MalformedCommandLinesAreRefused)
{
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"apply"},
        {"apply", "in.png"},
        {"apply", "in.png", "out.png", "extra.png"},
        {"blur", "in.png", "out.png"},
        {"apply", "in.png", "out.png", "--spokes"},
        {"apply", "in.png", "out.png", "--spokes", "8x"},
        {"apply", "in.png", "out.png", "--spokes", ""},
        {"apply", "in.png", "out.png", "--spokes", "99999999999"},
        {"apply", "in.png", "out.png", "--centre", "10"},
        {"apply", "in.png", "out.png", "--centre", "10,y"},
        {"apply", "in.png", "out.png", "--mode", "lab"},
        {"apply", "in.png", "out.png", "--max-space", "0"},
        {"apply", "in.png", "out.png", "--max-space", "-5"},
        {"apply", "in.png", "out.png", "--quiet=yes"},
        {"apply", "in.png", "out.png", "--selection="},
        {"apply", "in.png", "out.png", "--no-such-option"},
    };
    for (const auto& args : bad) {
        cli_options o;
        std::string error;
        EXPECT_FALSE(parse(args, &o, &error)) << ::testing::PrintToString(args);
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(error.find('\n'), std::string::npos) << "one line: " << error;
    }
}

TEST(CliOptions, CentreIsCheckedAgainstTheImage)
{
    std::string error;
    EXPECT_TRUE(check_centre(0, 0, 40, 30, &error));
    EXPECT_TRUE(check_centre(39, 29, 40, 30, &error));
    EXPECT_FALSE(check_centre(40, 0, 40, 30, &error));
    EXPECT_NE(error.find("x must be 0-39 and y 0-29"), std::string::npos) << error;
    EXPECT_FALSE(check_centre(0, -1, 40, 30, &error));
}

TEST(CliOptions, RecordTakesDefaultsThenGivenValuesAndTheMiddle)
{
    param_values none;
    spoke_params p = make_record(none, 41, 30, false);
    const uint8_t expected[20] = {20, 0, 15, 0, 8, 0, 0, 0, 20, 0, 50, 0, 50, 0, 50, 0, 0, 0, 0, 0};
    EXPECT_EQ(0, memcmp(&p, expected, 20));
    EXPECT_EQ(make_record(none, 41, 30, true).showDialog, 1);

    param_values stored = values_from_record(p);
    stored.value[p_spokes] = 3;
    param_values given;
    given.value[p_angle] = 90;
    given.set[p_angle] = true;
    given.centre_x = 1;
    given.centre_y = 2;
    given.centre_set = true;
    merge_params(&stored, given);
    spoke_params q = make_record(stored, 41, 30, false);
    EXPECT_EQ(q.spokes, 3);
    EXPECT_EQ(q.angle, 90);
    EXPECT_EQ(q.thickness, 20);
    EXPECT_EQ(q.saved_centre_x, 1);
    EXPECT_EQ(q.saved_centre_y, 2);
}

TEST(CliParamsFile, RoundTripsAndAcceptsPartialFiles)
{
    param_values v;
    const int32_t values[param_count] = {50, 360, 5, 0, 100, 2};
    for (int i = 0; i < param_count; i++) {
        v.value[i] = values[i];
        v.set[i] = true;
    }
    v.centre_x = 7;
    v.centre_y = 8;
    v.centre_set = true;
    param_values back;
    std::string error;
    ASSERT_TRUE(parse_params(format_params(v), &back, &error)) << error;
    for (int i = 0; i < param_count; i++) EXPECT_EQ(back.value[i], values[i]);
    EXPECT_EQ(back.centre_x, 7);
    EXPECT_EQ(back.centre_y, 8);

    ASSERT_TRUE(parse_params("# only two\r\n\n  spokes 3   # a comment\ncenter 4,5", &back, &error)) << error;
    EXPECT_TRUE(back.set[p_spokes]);
    EXPECT_EQ(back.value[p_spokes], 3);
    EXPECT_FALSE(back.set[p_angle]);
    EXPECT_TRUE(back.centre_set);
}

TEST(CliParamsFile, ErrorsNameTheLine)
{
    param_values v;
    std::string error;
    EXPECT_FALSE(parse_params("spokes 8\nwobble 3\n", &v, &error));
    EXPECT_NE(error.find("line 2"), std::string::npos) << error;
    EXPECT_FALSE(parse_params("spokes 80\n", &v, &error));
    EXPECT_NE(error.find("spokes must be 1-50"), std::string::npos) << error;
    EXPECT_FALSE(parse_params("angle\n", &v, &error));
    EXPECT_FALSE(parse_params("centre 1;2\n", &v, &error));
    EXPECT_FALSE(parse_params("length two\n", &v, &error));
}

}  // namespace
