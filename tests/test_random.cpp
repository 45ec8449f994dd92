#include <set>
#include <vector>
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

TEST(random, discreteGeneratorIsRepeatableAndCoversItsRange)
{
    seedDiscrete(42);
    std::vector<int> first;
    int counts[6] = { 0 };
    for (int i = 0; i < 6000; i++) {
        int v = randDiscrete();
        ASSERT_GE(v, 0);
        first.push_back(v);
        counts[v % 6]++;
    }
    // every face of a die, none far from 1000
    for (int c : counts) {
        EXPECT_GT(c, 850);
        EXPECT_LT(c, 1150);
    }
    seedDiscrete(42);
    for (int v : first)
        ASSERT_EQ(randDiscrete(), v);
}

TEST(random, restoredStateRepeatsBothGenerators)
{
    init_genrand(7);
    seedDiscrete(7);
    // part-way through an MT block, so the index matters as well as the words
    for (int i = 0; i < 700; i++)
        genrand_int32();
    randDiscrete();
    randomstate saved;
    saveRandomState(saved);
    std::vector<unsigned long> mt;
    std::vector<int> discrete;
    for (int i = 0; i < 1000; i++) {
        mt.push_back(genrand_int32());
        discrete.push_back(randDiscrete());
    }
    init_genrand(99);
    seedDiscrete(99);
    restoreRandomState(saved);
    for (int i = 0; i < 1000; i++) {
        ASSERT_EQ(genrand_int32(), mt[i]) << i;
        ASSERT_EQ(randDiscrete(), discrete[i]) << i;
    }
}

TEST(random, damagedStateIsBroughtIntoRange)
{
    randomstate s;
    init_genrand(3);
    saveRandomState(s);
    for (int mti : { -5, 100000 }) {
        s.mti = mti;
        restoreRandomState(s);
        randomstate back;
        saveRandomState(back);
        EXPECT_GE(back.mti, 0);
        EXPECT_LE(back.mti, 625);
        genrand_int32();   // must not read outside the state
    }
}

// Start-up seeds: runs at the same tick count after start-up (the common case: start-up takes
// about as long every time) must still differ, and the two generators never share a seed.
TEST(random, startupSeedsDifferBetweenRunsAndBetweenGenerators)
{
    const unsigned ticks = 312;   // the same for every run
    const unsigned long long wall = 1765375200000000ULL;   // a December 2025 day, microseconds
    std::set<unsigned long> mtSeeds;
    std::set<unsigned long long> discreteSeeds;
    // runs a millisecond apart, all within one second
    for (int ms = 0; ms < 100; ms++) {
        const randomseeds s = seedsFromClock(wall + ms * 1000ULL, ticks);
        mtSeeds.insert(s.mt);
        discreteSeeds.insert(s.discrete);
        EXPECT_NE(static_cast<unsigned long long>(s.mt), s.discrete);
    }
    EXPECT_EQ(mtSeeds.size(), 100u);
    EXPECT_EQ(discreteSeeds.size(), 100u);
    // and the tick count counts too
    EXPECT_NE(seedsFromClock(wall, 100).mt, seedsFromClock(wall, 101).mt);
}

TEST(random, seedNumberGivesTheSameGeneratorsEveryTime)
{
    seedGenerators(seedsFromNumber(7));
    const unsigned long a = genrand_int32();
    const int b = randDiscrete();
    seedGenerators(seedsFromNumber(8));
    EXPECT_NE(genrand_int32(), a);
    seedGenerators(seedsFromNumber(7));
    EXPECT_EQ(genrand_int32(), a);
    EXPECT_EQ(randDiscrete(), b);
    EXPECT_NE(seedsFromNumber(7).mt, static_cast<unsigned long>(seedsFromNumber(7).discrete));
}
