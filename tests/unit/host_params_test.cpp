// The stored record's default bytes and the centre conversions.
#include <gtest/gtest.h>

#include <cstring>

#include "host/params.h"
#include "state/run_state.h"

TEST(StoredRecord, NewRecordHasTheDefaultBytes)
{
    spoke_params p;
    memset(&p, 0xAB, sizeof p);
    default_spoke_params(&p);
    const uint8_t expected[20] = {0x00, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x14, 0x00,
                                  0x32, 0x00, 0x32, 0x00, 0x32, 0x00, 0x01, 0x00, 0x00, 0x00};
    EXPECT_EQ(0, memcmp(expected, &p, sizeof expected));
}

TEST(CentreConversion, RoundsBothWaysAtTheDocumentedScales)
{
    run_state.image_scale = 0x18000;  // 1.5 full-image pixels per preview pixel
    EXPECT_EQ(5, centre_to_full(3));
    EXPECT_EQ(3, centre_to_preview(5));
    run_state.image_scale = 0x28000;  // 2.5
    EXPECT_EQ(250, centre_to_full(100));
    EXPECT_EQ(100, centre_to_preview(250));
}

TEST(CentreConversion, ZeroNegativeAndExtremeValues)
{
    run_state.image_scale = 0x18000;
    EXPECT_EQ(0, centre_to_full(0));
    EXPECT_EQ(0, centre_to_preview(0));
    EXPECT_EQ(-4, centre_to_full(-3));       // arithmetic shift rounds down
    EXPECT_EQ(-2, centre_to_preview(-5));    // the division truncates toward zero
    run_state.image_scale = 0x28000;
    // (32767 << 16) + scale / 2 no longer fits 32 bits; the result must still
    // be the nearest preview pixel rather than a wrapped negative number.
    EXPECT_EQ(13107, centre_to_preview(32767));
    EXPECT_EQ(-13106, centre_to_preview(-32767));  // truncated, as for any negative
    run_state.image_scale = 0x10000;
    EXPECT_EQ(32767, centre_to_full(32767));
    EXPECT_EQ(-32768, centre_to_full(-32768));
}

TEST(CentreConversion, NoScaleYetGivesZeroInsteadOfDividing)
{
    run_state.image_scale = 0;
    EXPECT_EQ(0, centre_to_preview(1234));
}

TEST(StoredRecord, ValuesRoundTripThroughTheWorkingCopies)
{
    spoke_params in = {11, 22, 3, 4, 5, 6, 7, 8, 1};
    load_values(&in);
    EXPECT_EQ(3, run_state.spokes);
    EXPECT_EQ(8, run_state.length);
    run_state.angle = 99;
    spoke_params out = in;
    store_values(&out);
    EXPECT_EQ(99, out.angle);
    EXPECT_EQ(11, out.saved_centre_x);  // the centre and showDialog are not the values'
    EXPECT_EQ(1, out.showDialog);
}
