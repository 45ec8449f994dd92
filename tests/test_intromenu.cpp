#include <cmath>
#include <string>
#include <vector>
#include <GL/gl.h>
#include <SDL/SDL.h>
#include <gtest/gtest.h>
#include "controller.h"
#include "intromenu.h"
#include "main.h"
#include "sound.h"
#include "support.h"

namespace {

// the screen below the titles: records any action that reaches it
class basemenu : public menu {
public:
    std::vector<int> gone;
    basemenu() { addGo("Start!", 100); }
    void onGo(int id) override { gone.push_back(id); }
};

class IntroTest : public ::testing::Test {
protected:
    controller pad;
    basemenu below;

    void SetUp() override
    {
        below.setController(&pad);
        g_voltage = 0;
        g_feedback = g_shake = 0;
    }
    void TearDown() override
    {
        // screens still open are closed from the deepest up
        while (below.subMenu) {
            menu* m = below.subMenu;
            while (m->subMenu)
                m = m->subMenu;
            m->detachFromParent();
            delete m;
        }
    }

    intromenu* open(float shown, menu* parent = nullptr)
    {
        intromenu* m = new intromenu("data/titles/no-such-picture.png", shown, 1.0f, 1.0f);
        (parent ? parent : &below)->openSubMenu(m);
        return m;
    }
    void step() { below.step(0.02f); }
    void press(int button)
    {
        pad.button[button] = true;
        step();
        pad.button[button] = false;
        step();
    }
};

TEST_F(IntroTest, FadesInHoldsFadesOutAndEnds)
{
    g_voltage = 0.25f;
    intromenu* c = open(4.0f);
    EXPECT_EQ(c->texture, 0u);   // the picture is missing: the screen still runs its time

    float elapsed = 0;
    int steps = 0;
    while (below.subMenu && steps < 400) {
        step();
        elapsed += 0.02f;
        steps++;
        if (!below.subMenu)
            break;
        ASSERT_FLOAT_EQ(c->elapsed, elapsed);
        if (steps == 25 || steps == 175) {
            EXPECT_NEAR(c->alpha, 0.5f, 1e-4) << "step " << steps;
        }
        if (elapsed >= 1.0f && elapsed <= 3.0f) {
            EXPECT_NEAR(c->alpha, 1.0f, 1e-5) << "step " << steps;
        }
        EXPECT_FLOAT_EQ(g_feedback, 0.25f + (1 - c->alpha));
        EXPECT_FLOAT_EQ(g_shake, g_feedback);
    }
    // gone on the first step past its display time
    EXPECT_GT(elapsed, 4.0f);
    EXPECT_LE(elapsed - 0.02f, 4.0f);
    EXPECT_EQ(g_feedback, 0.0f);
    EXPECT_EQ(g_shake, 0.0f);
    EXPECT_TRUE(below.gone.empty());
}

TEST_F(IntroTest, ButtonsSkipOnePictureEachAndStopAtTheMenu)
{
    intromenu* a = open(5.0f);
    intromenu* b = open(3.0f, a);
    intromenu* c = open(4.0f, b);
    for (int i = 0; i < 30; i++)
        step();
    EXPECT_GT(c->elapsed, 0.5f);
    EXPECT_EQ(b->elapsed, 0.0f);   // only the deepest one counts

    press(1);
    ASSERT_EQ(b->subMenu, nullptr);
    EXPECT_NEAR(b->elapsed, 0.02f, 1e-6);   // B starts from its own beginning
    press(0);
    ASSERT_EQ(a->subMenu, nullptr);

    // the last press is held: it must not act on the menu below
    pad.button[1] = true;
    for (int i = 0; i < 10; i++)
        step();
    EXPECT_EQ(below.subMenu, nullptr);
    EXPECT_TRUE(below.gone.empty());
    EXPECT_EQ(below.lastNext, 1);
    pad.button[1] = false;
    step();
    press(1);
    EXPECT_EQ(below.gone, std::vector<int>({100}));
}

TEST_F(IntroTest, DirectionsChangeNothing)
{
    intromenu* c = open(4.0f);
    pad.down = true;
    step();
    pad.down = false;
    pad.up = true;
    step();
    ASSERT_EQ(below.subMenu, c);
    EXPECT_EQ(c->cursor, 0u);
    EXPECT_NEAR(c->elapsed, 0.04f, 1e-6);
    EXPECT_EQ(below.cursor, 0u);
    EXPECT_TRUE(below.gone.empty());
}

TEST_F(IntroTest, ZeroLengthFadesAreSkipped)
{
    intromenu* m = new intromenu("none.png", 2.0f, 0.0f, 0.0f);
    below.openSubMenu(m);
    step();
    EXPECT_FLOAT_EQ(m->alpha, 1.0f);
    EXPECT_FLOAT_EQ(g_feedback, 0.0f);
    m->reset();
    EXPECT_EQ(m->elapsed, 0.0f);
}

TEST_F(IntroTest, DeletesItsPictureWhenItEnds)
{
    if (!testsupport::openGLContext())
        GTEST_SKIP() << "no display";
    std::string file = testsupport::makeTempDir() + "/title.bmp";
    SDL_Surface* s = SDL_CreateRGBSurface(SDL_SWSURFACE, 8, 4, 32, 0xff, 0xff00, 0xff0000,
                                          0xff000000);
    ASSERT_NE(s, nullptr);
    SDL_FillRect(s, nullptr, 0xff00ff00);
    ASSERT_EQ(SDL_SaveBMP(s, file.c_str()), 0);
    SDL_FreeSurface(s);

    intromenu* m = new intromenu(wxString::FromUTF8(file.c_str()), 1.0f, 0.5f, 0.5f);
    GLuint tex = m->texture;
    ASSERT_NE(tex, 0u);
    EXPECT_TRUE(glIsTexture(tex));
    below.openSubMenu(m);
    below.drawThis();   // draws the picture, not the menu below
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    press(1);
    EXPECT_EQ(below.subMenu, nullptr);
    EXPECT_FALSE(glIsTexture(tex));
}

}
