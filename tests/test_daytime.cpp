#include <gtest/gtest.h>
#include "daytime.h"

TEST(daytime, startsAtDaytime)
{
    EXPECT_EQ(getDTPrefix(), wxString("Daytime"));
    EXPECT_EQ(getBaseCol(BC_SKY, CC_BLUE), 230);
}

TEST(daytime, prefixesAndColours)
{
    struct dtCase {
        daytime d;
        const char* prefix;
        int sand[3];
        int sky[3];
    } cases[] = {
        {DT_MORNING, "Morning", {190, 166, 116}, {0, 32, 64}},
        {DT_DAY, "Daytime", {229, 200, 101}, {76, 153, 230}},
        {DT_EVENING, "Evening", {216, 166, 112}, {230, 153, 76}},
        {DT_NIGHT, "Night", {146, 134, 112}, {0, 0, 32}},
    };
    for (const dtCase& c : cases) {
        setDaytime(c.d);
        EXPECT_EQ(getDTPrefix(), wxString(c.prefix));
        for (int k = 0; k < 3; k++) {
            EXPECT_EQ(getBaseCol(BC_SAND, (colorcomponent)k), c.sand[k]) << c.prefix;
            EXPECT_EQ(getBaseCol(BC_SKY, (colorcomponent)k), c.sky[k]) << c.prefix;
        }
    }
    setDaytime(DT_DAY);
}

TEST(daytime, unknownTimeOfDayNamesUnknownAndStaysInsideTheTable)
{
    for (int bad : {7, -1, 4, 1000000}) {
        setDaytime((daytime)bad);
        EXPECT_EQ(getDTPrefix(), wxString("Unknown"));
        // no read outside the colour table: the day's colours stand in
        EXPECT_EQ(getBaseCol(BC_SAND, CC_RED), 229);
        EXPECT_EQ(getBaseCol(BC_SKY, CC_BLUE), 230);
    }
    setDaytime(DT_DAY);
}

// Sand is a warm, pale colour at every time of day: red over green over blue, with a hue of 20
// to 48 degrees. A dark yellow towards 50 to 60 degrees with little blue reads as olive, like a
// lawn.
static double hueDegrees(int r, int g, int b)
{
    return 60.0 * (g - b) / (r - b);   // valid for r >= g >= b, r > b
}

TEST(daytime, sandLooksLikeSandAtEveryTimeOfDay)
{
    for (daytime d : {DT_MORNING, DT_DAY, DT_EVENING, DT_NIGHT}) {
        setDaytime(d);
        const int r = getBaseCol(BC_SAND, CC_RED), g = getBaseCol(BC_SAND, CC_GREEN),
                  b = getBaseCol(BC_SAND, CC_BLUE);
        SCOPED_TRACE(getDTPrefix().ToStdString());
        ASSERT_GT(r, g);
        ASSERT_GT(g, b);
        EXPECT_GE(hueDegrees(r, g, b), 20.0);
        EXPECT_LE(hueDegrees(r, g, b), 48.0);
    }
    setDaytime(DT_DAY);
}
