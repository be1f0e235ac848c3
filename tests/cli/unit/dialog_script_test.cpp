// The scripted dialog steps that stand in for a user in tests.
#include <gtest/gtest.h>

#include "cli/dialog_script.h"
#include "cli/options.h"

namespace {

TEST(CliDialogScript, ParsesStepsInOrder)
{
    std::vector<dialog_step> steps;
    std::string error;
    ASSERT_TRUE(parse_dialog_script("spokes=12,preview,wait=250,shot=/tmp/d.png,,ok", &steps, &error)) << error;
    ASSERT_EQ(steps.size(), 5u);
    EXPECT_EQ(steps[0].kind, dialog_step::set_value);
    EXPECT_EQ(steps[0].field, p_spokes);
    EXPECT_EQ(steps[0].text, "12");
    EXPECT_EQ(steps[1].kind, dialog_step::preview);
    EXPECT_EQ(steps[2].kind, dialog_step::wait);
    EXPECT_EQ(steps[2].milliseconds, 250);
    EXPECT_EQ(steps[3].kind, dialog_step::shot);
    EXPECT_EQ(steps[3].text, "/tmp/d.png");
    EXPECT_EQ(steps[4].kind, dialog_step::ok);

    ASSERT_TRUE(parse_dialog_script("", &steps, &error));
    EXPECT_TRUE(steps.empty());
    for (const char* bad : {"press", "wait=-1", "wait", "shot=", "colour=3"})
        EXPECT_FALSE(parse_dialog_script(bad, &steps, &error)) << bad;
}

}  // namespace
