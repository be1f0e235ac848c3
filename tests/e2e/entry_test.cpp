// The entry point: the about box, and selectors outside the protocol or out of order.
#include "e2e_support.h"

TEST(About, ShowsVersionTextAndCutCaptionOwnedByHostWindow)
{
    OPEN_HOST(host);
    const std::string text = loaded_string(host.module(), 1);
    const std::string caption = loaded_string(host.module(), 2);
    ASSERT_GT(caption.size(), 59u);

    EXPECT_EQ(0, host.about());
    ASSERT_EQ(1u, host.message_boxes().size());
    const filter_host::message_box& box = host.message_boxes()[0];
    EXPECT_EQ(text, box.text);
    EXPECT_EQ(caption.substr(0, 59), box.caption);
    EXPECT_EQ(filter_host::icon_kind::information, box.icon);
    EXPECT_EQ(std::vector<int>{IDOK}, box.buttons);
    EXPECT_EQ((UINT)(MB_OK | MB_ICONINFORMATION), box.flags);
    EXPECT_EQ(host.window(), box.owner);
    EXPECT_TRUE(host.dialogs().empty());
}

TEST(About, WithoutPlatformDataTheBoxHasNoOwner)
{
    OPEN_HOST(host);
    EXPECT_EQ(0, host.about(false));
    ASSERT_EQ(1u, host.message_boxes().size());
    EXPECT_EQ(nullptr, host.message_boxes()[0].owner);
    EXPECT_EQ(0, host.about(true)) << "the module still works after the unowned box";
}

TEST(Selectors, OutsideTheProtocolGiveBadParametersAndChangeNothing)
{
    OPEN_HOST(host);
    image_record(host);
    host.set_params(custom_params(1));
    const bytes params_before = host.params_bytes();
    for (int16_t selector : {(int16_t)6, (int16_t)-1, (int16_t)32767, (int16_t)-32768}) {
        SCOPED_TRACE(selector);
        const bytes before = record_bytes(host.record());
        host.data() = 0x1234;
        EXPECT_EQ(-30100, host.call(selector));
        EXPECT_EQ(before, record_bytes(host.record()));
        EXPECT_EQ(params_before, host.params_bytes());
        EXPECT_EQ(0x1234, host.data());
    }
    EXPECT_TRUE(host.message_boxes().empty());
    EXPECT_TRUE(host.dialogs().empty());
}

// A host that calls out of order, or without a stored record, must not bring
// the plug-in down; what each call reports is not the point here.
TEST(Selectors, EachSelectorAloneWithoutParameterRecordDoesNotCrash)
{
    for (int16_t selector = 1; selector <= 5; ++selector) {
        SCOPED_TRACE(selector);
        OPEN_HOST(host);  // a freshly loaded module for each selector
        image_record(host);
        const int16_t result = host.call(selector);
        EXPECT_NE(testhost::plugin_host::result_not_written, result);
        host.call(filterSelectorFinish);
    }
}

TEST(Selectors, NullRecordPointerDoesNotCrash)
{
    OPEN_HOST(host);
    for (int16_t selector = 1; selector <= 5; ++selector) {
        SCOPED_TRACE(selector);
        EXPECT_NE(testhost::plugin_host::result_not_written, host.call_with(selector, nullptr));
    }
    EXPECT_EQ(0, host.about());
}
