#include <gtest/gtest.h>
#include "random.h"

TEST(random, referenceSequenceFromSeed5489)
{
    init_genrand(5489UL);
    EXPECT_EQ(genrand_int32(), 3499211612UL);
    EXPECT_EQ(genrand_int32(), 581869302UL);
    EXPECT_EQ(genrand_int32(), 3890346734UL);
}

TEST(random, referenceOutputOfInitByArray)
{
    // the published test vector of the reference implementation
    unsigned long key[4] = {0x123, 0x234, 0x345, 0x456};
    init_by_array(key, 4);
    EXPECT_EQ(genrand_int32(), 1067595299UL);
    EXPECT_EQ(genrand_int32(), 955945823UL);
    EXPECT_EQ(genrand_int32(), 477289528UL);
}

TEST(random, rangesOfTheDerivedGenerators)
{
    init_genrand(1);
    for (int i = 0; i < 2000; i++) {
        long v31 = genrand_int31();
        EXPECT_GE(v31, 0);
        EXPECT_LE(v31, 0x7fffffffL);
        double r2 = genrand_real2();
        EXPECT_GE(r2, 0.0);
        EXPECT_LT(r2, 1.0);
        double r3 = genrand_real3();
        EXPECT_GT(r3, 0.0);
        EXPECT_LT(r3, 1.0);
    }
}

TEST(random, differentSeedsGiveDifferentSequences)
{
    init_genrand(1000);
    unsigned long a = genrand_int32();
    init_genrand(1001);
    EXPECT_NE(a, genrand_int32());
}
