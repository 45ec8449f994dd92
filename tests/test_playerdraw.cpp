#include <string>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>
#include <GL/gl.h>
#include <SDL/SDL.h>
#include <gtest/gtest.h>
#include "layeredplayertexture.h"
#include "player.h"
#include "fixtures.h"
#include "support.h"

namespace {

typedef player::player_movement_type movement;
typedef player::player_action_type actiontype;

using PlayerDrawTest = emptyfolderfixture;

TEST_F(PlayerDrawTest, FrameByStateThenAction)
{
    struct row {
        movement state;
        actiontype action;
        int runPhase;
        int frame;
    } rows[] = {
        { player::MOVE_STANDING, player::ACTION_NONE, 0, 0 },
        { player::MOVE_FALLING, player::ACTION_NONE, 1, 0 },
        { player::MOVE_CHARGING, player::ACTION_NONE, 0, 0 },
        { player::MOVE_RUNNING, player::ACTION_NONE, 0, 1 },
        { player::MOVE_RUNNING, player::ACTION_NONE, 1, 2 },
        { player::MOVE_JUMPING, player::ACTION_NONE, 1, 3 },
        { player::MOVE_DIVING, player::ACTION_NONE, 0, 4 },
        { player::MOVE_DIVING, player::ACTION_DIVE_HIT, 0, 5 },
        { player::MOVE_JUMPING, player::ACTION_AIR_HIT, 0, 6 },
        { player::MOVE_RUNNING, player::ACTION_BUMP, 1, 7 },
        { player::MOVE_RUNNING, player::ACTION_AIR_HIT, 1, 6 },
        { player::MOVE_STANDING, player::ACTION_DIVE_HIT, 0, 5 },
    };
    player p(0, 0);
    for (const row& r : rows) {
        p.state = r.state;
        p.action = r.action;
        p.runPhase = r.runPhase;
        EXPECT_EQ(p.spriteFrame(), r.frame) << "state " << r.state << " action " << r.action
                                            << " phase " << r.runPhase;
    }
}

// Mirrored when running away from the net fast enough: on the positive half at 10 or more
// toward +x, on the negative half below -10.
TEST_F(PlayerDrawTest, FacingRule)
{
    struct row {
        float x, vx, facing;
    } rows[] = {
        { 5, 10, -1 }, { 5, 9.9f, 1 }, { 5, -20, 1 }, { -5, -10, 1 },
        { -5, -10.1f, -1 }, { 0, -10.5f, -1 }, { 0, 10, 1 }, { -5, 20, 1 },
    };
    player p(0, 0);
    for (const row& r : rows) {
        p.pos.x = r.x;
        p.vel.x = r.vx;
        EXPECT_EQ(p.facing(), r.facing) << r.x << " " << r.vx;
    }
}

TEST_F(PlayerDrawTest, FigureSizeFromHeightAndScale)
{
    struct row {
        float height, scale, vx;
        float width, tall;
    } rows[] = {
        { 1.8f, 1, 0, 14, 16 },
        { 2.0f, 1, 0, 15.68f, 19.2f },
        { 2.0f, 2.5f, 0, 39.2f, 48 },
        { 1.5f, 0.25f, 0, 2.87f, 2.8f },
        { 1.8f, 1, -12, -14, 16 },
    };
    player p(0, 0);
    p.pos.x = -20;
    for (const row& r : rows) {
        p.height = r.height;
        p.sizeScale = r.scale;
        p.vel.x = r.vx;
        vector3d s = p.figureSize();
        EXPECT_NEAR(s.x, r.width, 1e-4) << r.height << " " << r.scale;
        EXPECT_NEAR(s.y, r.tall, 1e-4) << r.height << " " << r.scale;
    }
}

// an opaque 128 x 128 picture, frame 0 of the sheet: its upper half green on the left and
// magenta on the right, its lower half black
void writeShirt(const std::string& path)
{
    for (size_t at = path.find('/'); at != std::string::npos; at = path.find('/', at + 1))
        mkdir(path.substr(0, at).c_str(), 0755);
    SDL_Surface* s = SDL_CreateRGBSurface(SDL_SWSURFACE, 128, 128, 32, 0xFF, 0xFF00, 0xFF0000, 0);
    ASSERT_NE(s, nullptr);
    SDL_Rect left = { 0, 0, 64, 64 }, right = { 64, 0, 64, 64 };
    SDL_FillRect(s, &left, SDL_MapRGB(s->format, 0, 255, 0));
    SDL_FillRect(s, &right, SDL_MapRGB(s->format, 255, 0, 255));
    ASSERT_EQ(SDL_SaveBMP(s, path.c_str()), 0);
    SDL_FreeSurface(s);
}

struct census {
    int green = 0, magenta = 0, red = 0;
    long greenX = 0, magentaX = 0;   // sums of columns
    float greenY = 0;                // sum of world heights
};

// draws the player at the origin in a 40 x 40 unit view, y down, and counts colours
census drawAndCount(player& p)
{
    glViewport(0, 0, 64, 64);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-20, 20, 20, -20, -100, 100);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glClearColor(0, 0, 0.5f, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    p.draw();
    glFinish();

    std::vector<unsigned char> px(64 * 64 * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, 64, 64, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
    census c;
    for (int i = 0; i < 64 * 64; i++) {
        int r = px[i * 4], g = px[i * 4 + 1], b = px[i * 4 + 2];
        if (g > 200 && r < 60 && b < 60) {
            c.green++;
            c.greenX += i % 64;
            c.greenY += 20 - (i / 64 + 0.5f) * 40 / 64;   // rows are read from the bottom
        } else if (r > 200 && b > 200 && g < 60) {
            c.magenta++;
            c.magentaX += i % 64;
        } else if (r > 200 && g < 60 && b < 60) {
            c.red++;
        }
    }
    return c;
}

TEST_F(PlayerDrawTest, DrawsTheFrameUprightMirroredAndWithTheChargeBar)
{
    writeShirt("data/left/Torso/Daytime_shirt.png");
    player p(0, 0);
    ASSERT_EQ(p.outfit->getLayer("Upper Body")->value, "shirt");

    census plain = drawAndCount(p);
    // about 14 x 8 units at 1.6 pixels per unit, half of it each colour
    EXPECT_GT(plain.green, 80);
    EXPECT_GT(plain.magenta, 80);
    EXPECT_EQ(plain.red, 0);
    EXPECT_LT(plain.greenX / plain.green, plain.magentaX / plain.magenta);
    // upright: the figure runs from 0.8 below the feet to 15.2 above, its upper half coloured
    EXPECT_NEAR(plain.greenY / plain.green, -11.2f, 1.0f);
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_EQ(colour[0] + colour[1] + colour[2] + colour[3], 4.0f);

    // just on the positive half (still in the middle of the view), running away from the net
    p.pos.x = 1e-3f;
    p.vel.x = 12;
    census mirrored = drawAndCount(p);
    EXPECT_GT(mirrored.green, 80);
    EXPECT_GT(mirrored.greenX / mirrored.green, mirrored.magentaX / mirrored.magenta);

    p.vel.x = 0;
    p.state = player::MOVE_CHARGING;
    p.jumpCharge = 2;
    census charging = drawAndCount(p);
    EXPECT_GT(charging.red, 5);   // the bar reaches 13 units below the feet, clear of the figure
    EXPECT_GT(charging.green, 80);

    // an outfit without any image draws nothing but does not fail
    player bare(1, 2);
    bare.state = player::MOVE_CHARGING;
    census nothing = drawAndCount(bare);
    EXPECT_EQ(nothing.green + nothing.magenta, 0);
}

}
