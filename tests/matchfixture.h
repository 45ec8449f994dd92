#ifndef TIBREL_TESTS_MATCHFIXTURE_H
#define TIBREL_TESTS_MATCHFIXTURE_H

#include <cstdlib>
#include <gtest/gtest.h>
#include "game.h"
#include "main.h"
#include "random.h"
#include "support.h"

// A fresh match as g_thegame, under a GL context (its court and outfits make textures) and a
// temporary store, with both random generators seeded so every run plays the same.
class matchfixture : public ::testing::Test {
protected:
    game* g = nullptr;
    unsigned seed;

    explicit matchfixture(unsigned s) : seed(s) {}

    void SetUp() override
    {
        ASSERT_TRUE(testsupport::openGLContext()) << "needs a display, e.g. xvfb-run";
        testsupport::openConfig();
        init_genrand(seed);
        srand(seed);
        g = new game();
        g_thegame = g;
    }

    void TearDown() override
    {
        g_thegame = nullptr;
        delete g;
        g = nullptr;
    }
};

#endif
