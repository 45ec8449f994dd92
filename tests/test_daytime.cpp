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
        {DT_MORNING, "Morning", {165, 152, 69}, {0, 32, 64}},
        {DT_DAY, "Daytime", {229, 200, 101}, {76, 153, 230}},
        {DT_EVENING, "Evening", {181, 168, 85}, {230, 153, 76}},
        {DT_NIGHT, "Night", {149, 136, 53}, {0, 0, 32}},
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
