#ifndef TIBREL_TESTS_FIXTURES_H
#define TIBREL_TESTS_FIXTURES_H

#include <cstdlib>
#include <string>
#include <unistd.h>
#include <gtest/gtest.h>
#include "controller.h"
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
        seedDiscrete(seed);
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

// The six device controllers installed in the shell's tables, removed again afterwards.
class devicefixture : public ::testing::Test {
protected:
    controller keys[2];
    controller joys[4];

    void SetUp() override
    {
        for (int i = 0; i < 2; i++)
            g_keys[i] = &keys[i];
        for (int i = 0; i < 4; i++)
            g_joys[i] = &joys[i];
    }

    void TearDown() override
    {
        for (controller*& c : g_keys)
            c = nullptr;
        for (controller*& c : g_joys)
            c = nullptr;
    }
};

// A GL context and an empty working folder, so nothing finds the data/ tree.
class emptyfolderfixture : public ::testing::Test {
protected:
    std::string oldDir;

    void SetUp() override
    {
        ASSERT_TRUE(testsupport::openGLContext());
        char buf[4096];
        ASSERT_NE(getcwd(buf, sizeof buf), nullptr);
        oldDir = buf;
        ASSERT_EQ(chdir(testsupport::makeTempDir().c_str()), 0);
    }

    void TearDown() override
    {
        ASSERT_EQ(chdir(oldDir.c_str()), 0);
    }
};

#endif
