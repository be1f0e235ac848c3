// Parameters, prepare and start, called one by one the way a host does.
#include "e2e_support.h"

TEST(Parameters, WithoutRecordAllocatesNothing)
{
    OPEN_HOST(host);
    image_record(host);
    EXPECT_EQ(0, host.call(filterSelectorParameters));
    EXPECT_EQ(nullptr, host.record().parameters);
    EXPECT_TRUE(host.message_boxes().empty());
}

TEST(Parameters, WithRecordSetsShowDialogAndNothingElse)
{
    OPEN_HOST(host);
    image_record(host);
    for (uint8_t stored : {(uint8_t)0, (uint8_t)0x5a}) {
        SCOPED_TRACE(stored);
        bytes params = custom_params(stored);
        params[19] = stored;  // a stray high byte must not survive either
        host.set_params(params);
        const Handle handle = host.record().parameters;
        EXPECT_EQ(0, host.call(filterSelectorParameters));
        EXPECT_EQ(handle, host.record().parameters);
        bytes expected = custom_params(1);
        EXPECT_EQ(expected, host.params_bytes());
    }
}

// Some hosts hand the stored bytes back in a HeapAlloc block, not a global
// handle; the plug-in reaches both through GlobalLock.
TEST(Parameters, RecordInHostHeapBlock)
{
    OPEN_HOST(host);
    image_record(host);
    const bytes stored = custom_params(0);
    uint8_t* block = (uint8_t*)HeapAlloc(GetProcessHeap(), 0, stored.size());
    std::memcpy(block, stored.data(), stored.size());
    host.record().parameters = block;
    EXPECT_EQ(0, host.call(filterSelectorParameters));
    EXPECT_EQ((Handle)block, host.record().parameters);
    EXPECT_EQ(custom_params(1), bytes(block, block + stored.size()));
    host.record().parameters = nullptr;
    HeapFree(GetProcessHeap(), 0, block);
}

TEST(Prepare, AsksForNoBufferMemory)
{
    OPEN_HOST(host);
    image_record(host);
    host.record().bufferSpace = 123456;
    EXPECT_EQ(0, host.call(filterSelectorPrepare));
    EXPECT_EQ(0, host.record().bufferSpace);
    EXPECT_TRUE(host.message_boxes().empty());
}

static const char lab_notice[] =
    "This plug-in does not support Lab Color. Use in this mode is permitted, but may result in incorrect "
    "colors. For better results, switch to RGB.";

TEST(Prepare, LabNoticeOnFirstRunAndWhenDialogIsDue)
{
    {
        SCOPED_TRACE("no record yet");
        OPEN_HOST(host);
        image_record(host, plugInModeLabColor);
        EXPECT_EQ(0, host.call(filterSelectorPrepare));
        expect_warning(host, lab_notice);
        EXPECT_EQ(nullptr, host.record().parameters) << "prepare allocates no record";
    }
    {
        SCOPED_TRACE("record with showDialog 1");
        OPEN_HOST(host);
        image_record(host, plugInModeLabColor);
        host.set_params(custom_params(1));
        EXPECT_EQ(0, host.call(filterSelectorPrepare));
        expect_warning(host, lab_notice);
    }
}

TEST(Prepare, NoLabNoticeOnRunWithoutDialog)
{
    OPEN_HOST(host);
    image_record(host, plugInModeLabColor);
    host.set_params(custom_params(0));
    EXPECT_EQ(0, host.call(filterSelectorPrepare));
    EXPECT_TRUE(host.message_boxes().empty());
    EXPECT_EQ(custom_params(0), host.params_bytes());
}

TEST(Prepare, NoNoticeInOtherModes)
{
    OPEN_HOST(host);
    for (int16_t mode = 0; mode <= 15; ++mode) {
        if (mode == plugInModeLabColor) continue;
        SCOPED_TRACE(mode);
        image_record(host, mode);
        EXPECT_EQ(0, host.call(filterSelectorPrepare));
    }
    EXPECT_TRUE(host.message_boxes().empty());
}

// The bytes per pixel that prepare derives from the mode are seen in the
// planes start requests: 0 to bytes per pixel - 1, in and out.
TEST(Prepare, ModeSetsThePlanesStartRequests)
{
    OPEN_HOST(host);
    host.set_params(custom_params(0));
    for (int16_t mode = 0; mode <= 15; ++mode) {
        SCOPED_TRACE(mode);
        const int16_t expected = (mode == 1 || mode == 7 || mode == 8) ? 1 : mode == 4 ? 4 : 3;
        image_record(host, mode);
        ASSERT_EQ(0, host.call(filterSelectorPrepare));
        ASSERT_EQ(0, host.call(filterSelectorStart));
        EXPECT_EQ(0, host.record().inLoPlane);
        EXPECT_EQ(expected - 1, host.record().inHiPlane);
        EXPECT_EQ(0, host.record().outLoPlane);
        EXPECT_EQ(expected - 1, host.record().outHiPlane);
        EXPECT_EQ(0, host.call(filterSelectorFinish));
    }
}

TEST(Start, CreatesTheDefaultRecord)
{
    OPEN_HOST(host);
    image_record(host);
    ASSERT_EQ(0, host.call(filterSelectorPrepare));
    EXPECT_EQ(0, host.call(filterSelectorStart));
    ASSERT_NE(nullptr, host.record().parameters);
    EXPECT_EQ(20u, GlobalSize((HGLOBAL)host.record().parameters));
    EXPECT_EQ(default_params(), host.params_bytes());
    EXPECT_EQ(0, host.call(filterSelectorFinish));
    EXPECT_EQ(default_params(), host.params_bytes()) << "finish leaves the record to the host";
}

TEST(Start, UsesAnExistingRecordUnchanged)
{
    OPEN_HOST(host);
    image_record(host);
    for (uint8_t show : {(uint8_t)0, (uint8_t)1}) {
        SCOPED_TRACE(show);
        host.set_params(custom_params(show));
        const Handle handle = host.record().parameters;
        ASSERT_EQ(0, host.call(filterSelectorPrepare));
        EXPECT_EQ(0, host.call(filterSelectorStart));
        EXPECT_EQ(handle, host.record().parameters);
        EXPECT_EQ(custom_params(show), host.params_bytes());
        EXPECT_EQ(0, host.call(filterSelectorFinish));
    }
}

static LRESULT CALLBACK squatter_procedure(HWND window, UINT message, WPARAM w, LPARAM l)
{
    return DefWindowProcA(window, message, w, l);
}

// Takes a preview class name in the plug-in's module, so the plug-in's own
// registration fails.
static bool squat_class(HMODULE module, const char* name)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = squatter_procedure;
    wc.hInstance = module;
    wc.lpszClassName = name;
    return RegisterClassA(&wc) != 0;
}

TEST(Start, BigClassTakenWarnsAndReturnsOneWithoutRecord)
{
    OPEN_HOST(host);
    image_record(host);
    ASSERT_TRUE(squat_class(host.module(), "big_view"));
    ASSERT_EQ(0, host.call(filterSelectorPrepare));
    EXPECT_EQ(1, host.call(filterSelectorStart));
    expect_warning(host, "Error while registering big class. Restart host.");
    EXPECT_EQ(nullptr, host.record().parameters);
    EXPECT_TRUE(host.dialogs().empty());
    host.call(filterSelectorFinish);
    UnregisterClassA("big_view", host.module());
}

TEST(Start, SmallClassTakenWarnsAndReturnsOneWithoutRecord)
{
    OPEN_HOST(host);
    image_record(host);
    ASSERT_TRUE(squat_class(host.module(), "small_view"));
    ASSERT_EQ(0, host.call(filterSelectorPrepare));
    EXPECT_EQ(1, host.call(filterSelectorStart));
    expect_warning(host, "Error while registering small class. Restart host.");
    EXPECT_EQ(nullptr, host.record().parameters);
    EXPECT_FALSE(class_registered(host.module(), "big_view")) << "a failed start keeps no class";
    EXPECT_EQ(0, host.call(filterSelectorFinish));
    UnregisterClassA("small_view", host.module());
}

TEST(Start, EveryRunRegistersThePreviewClasses)
{
    OPEN_HOST(host);
    host.set_params(custom_params(0));
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE(run);
        image_record(host);
        ASSERT_EQ(0, host.call(filterSelectorPrepare));
        ASSERT_EQ(0, host.call(filterSelectorStart));
        for (const char* name : {"big_view", "small_view"}) {
            SCOPED_TRACE(name);
            WNDCLASSEXA wc;
            ASSERT_TRUE(class_registered(host.module(), name, &wc));
            EXPECT_EQ((UINT)(CS_HREDRAW | CS_VREDRAW), wc.style);
            EXPECT_EQ(0, wc.cbClsExtra);
            EXPECT_EQ(0, wc.cbWndExtra);
            EXPECT_EQ(nullptr, wc.hIcon);
            EXPECT_EQ(LoadCursor(nullptr, IDC_ARROW), wc.hCursor);
            EXPECT_EQ((HBRUSH)(COLOR_WINDOW + 1), wc.hbrBackground);
            EXPECT_EQ(nullptr, wc.lpszMenuName);
            const char* procedure = std::strcmp(name, "big_view") == 0 ? "big_procedure" : "small_procedure";
            EXPECT_EQ((void*)GetProcAddress(host.module(), procedure), (void*)wc.lpfnWndProc);
        }
        EXPECT_EQ(0, host.call(filterSelectorFinish));
        EXPECT_FALSE(class_registered(host.module(), "big_view"));
        EXPECT_FALSE(class_registered(host.module(), "small_view"));
    }
    EXPECT_TRUE(host.message_boxes().empty());
}
