#include <cmath>
#include <memory>
#include <string>
#include <vector>
#include <unistd.h>
#include <gtest/gtest.h>
#include "ball.h"
#include "player.h"
#include "fixtures.h"
#include "support.h"

namespace {

// Computer players in an empty working folder (their outfits and the ball find no images).
using PlayerAITest = emptyfolderfixture;

struct target {
    vector3d pos, vel;
    float weight;
};

// Steering from the wanted and repelled lists, for a player at rest at the origin.
TEST_F(PlayerAITest, SteeringTable)
{
    struct row {
        const char* what;
        std::vector<target> wanted, repelled;
        int axisX, axisY;
    } rows[] = {
        { "marker 10 ahead", { { { 10, 0, 0 }, {}, 1 } }, {}, 32768, 0 },
        { "marker behind and left", { { { -10, 0, -10 }, {}, 1 } }, {}, -32768, -32768 },
        { "sum of 0.9 is too small", { { { 2.25f, 0, 0 }, {}, 1 } }, {}, 0, 0 },
        { "dead zone", { { { 0.375f, 0, 3.75f }, {}, 1 } }, {}, 0, 30000 },
        { "weight scales the pull", { { { 2, 0, 0 }, {}, 2 } }, {}, 32000, 0 },
        { "0.9 away in 3D", { { { 0.5f, -0.5f, 0.55f }, {}, 1 } }, {}, 0, 0 },
        { "height counts in the distance",
          { { { 3.2f, 0, 0 }, {}, 1 }, { { 0.95f, -3, 0 }, {}, 1 } }, {}, 32768, 0 },
        { "aims 0.2 s ahead", { { { 0, 0, 0.5f }, { 0, 0, 50 }, 1 } }, {}, 0, 32768 },
        { "mate 7.9 away", {}, { { { -7.9f, 0, 0 }, {}, 1 } }, 32768, 0 },
        { "mate 8 away", {}, { { { -8, 0, 0 }, {}, 1 } }, 0, 0 },
        { "mate high above still counts", {}, { { { 0, -30, 7.9f }, {}, 1 } }, 0, -32768 },
        { "heavy mate counts farther", {}, { { { -5, 0, 0 }, {}, 2 } }, 0, 0 },
        { "light mate counts nearer", {}, { { { -12, 0, 0 }, {}, 0.5f } }, 32768, 0 },
        { "push and pull cancel", { { { 10, 0, 0 }, {}, 1 } }, { { { 4, 0, 0 }, {}, 1 } }, 0, 0 },
        { "nothing to do", {}, {}, 0, 0 },
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        player p(0, 0);
        std::vector<std::unique_ptr<gameobject>> objects;
        for (const target& t : r.wanted) {
            objects.emplace_back(new gameobject());
            objects.back()->pos = t.pos;
            objects.back()->vel = t.vel;
            objects.back()->weight = t.weight;
            p.setWanted(objects.back().get());
        }
        for (const target& t : r.repelled) {
            objects.emplace_back(new gameobject());
            objects.back()->pos = t.pos;
            objects.back()->weight = t.weight;
            p.setRepelled(objects.back().get());
        }
        p.ownCtrl.axisX = 1234;   // every call writes both axes from scratch
        p.ownCtrl.axisY = -1234;
        p.autoMove();
        EXPECT_EQ(p.ownCtrl.axisX, r.axisX);
        EXPECT_EQ(p.ownCtrl.axisY, r.axisY);
    }
}

// The ball is chased where it will come down, whatever its weight.
TEST_F(PlayerAITest, TheBallIsChasedToWhereItLands)
{
    ball b(true);
    b.pos = vector3d(-5, -40, 0);
    b.vel = vector3d(30, 0, 0);
    b.weight = 0;
    ASSERT_GT(b.getNextGroundHitPosition().x, 5);

    player p(0, 0);
    p.setWanted(&b);
    p.autoMove();
    EXPECT_EQ(p.ownCtrl.axisX, 0);   // not the match ball: weighted like any marker

    p.theBall = &b;
    p.autoMove();
    EXPECT_EQ(p.ownCtrl.axisX, 32768);
    EXPECT_EQ(p.ownCtrl.axisY, 0);
    EXPECT_EQ(p.action, player::ACTION_NONE);   // far from the ball: no hit
}

TEST_F(PlayerAITest, HitsOnContactByMode)
{
    struct row {
        int aiMode;
        bool ignoreBall, touching;
        player::player_action_type action;
    } rows[] = {
        { 0, false, true, player::ACTION_NONE },
        { 1, false, true, player::ACTION_BUMP },
        { 2, false, true, player::ACTION_BUMP },
        { 1, true, true, player::ACTION_NONE },
        { 2, false, false, player::ACTION_NONE },
    };
    for (const row& r : rows) {
        SCOPED_TRACE(testing::Message() << "mode " << r.aiMode << " ignore " << r.ignoreBall
                                        << " touching " << r.touching);
        ball b(true);
        player p(0, 0);
        p.theBall = &b;
        p.aiMode = r.aiMode;
        p.ignoreBall = r.ignoreBall;
        b.pos = vector3d(r.touching ? 2 : 20, -5, 0);
        p.autoMove();
        EXPECT_EQ(p.action, r.action);
        EXPECT_EQ(p.state, player::MOVE_STANDING);   // a low ball is no reason to jump
    }
}

// In mode 2 the player jumps when the ball, 0.42 s ahead, will be more than 10 units above and
// less than 12 away from where the player will be 0.2 s ahead.
TEST_F(PlayerAITest, ModeTwoJumpsForHighBalls)
{
    struct row {
        int aiMode;
        bool ignoreBall;
        float side, y;
        bool jumps;
    } rows[] = {
        { 2, false, 3, 0, true },
        { 2, false, 5, 0, false },
        { 1, false, 3, 0, false },
        { 2, true, 3, 0, false },
        { 2, false, 3, -2, false },   // already in the air
    };
    for (const row& r : rows) {
        SCOPED_TRACE(testing::Message() << "mode " << r.aiMode << " side " << r.side << " y " << r.y);
        ball b(true);
        b.pos = vector3d(20, -60, 5);
        vector3d future = b.getPrediction(0.7f)->pos;
        ASSERT_GT(future.y, -60);   // it has fallen a little

        player p(0, 0);
        p.theBall = &b;
        p.aiMode = r.aiMode;
        p.ignoreBall = r.ignoreBall;
        // where the player will be: 11 below the ball and `side` beside it
        p.pos = vector3d(future.x - r.side, r.y, future.z);
        p.vel = vector3d(0, (future.y + 11 - r.y) / 0.2f, 0);
        p.autoMove();
        EXPECT_EQ(p.state == player::MOVE_JUMPING, r.jumps);
        EXPECT_EQ(p.accel.y != 0, r.jumps);
        bool tried = r.aiMode == 2 && !r.ignoreBall && r.side < 4;
        EXPECT_EQ(p.jumpHeld, tried);
    }
}

// Stepped on its own controller, the computer player runs to its marker and stops there.
TEST_F(PlayerAITest, StepsTowardItsMarkerThroughItsOwnController)
{
    gameobject marker;
    marker.pos = vector3d(-10, 0, 5);
    player p(0, 0);
    p.pos = vector3d(-30, 0, 5);
    p.bounds = box3d(vector3d(-60, -40, 0), vector3d(120, 80, 75));
    p.bounded = true;
    p.setWanted(&marker);
    float closest = 100;
    for (int i = 0; i < 500; i++) {
        p.step(0.02f);
        closest = std::min(closest, std::fabs(p.pos.x - marker.pos.x));
    }
    EXPECT_LT(closest, 1.0f);
    EXPECT_LT(std::fabs(p.pos.x - marker.pos.x), 3.0f);
    EXPECT_LT(std::fabs(p.pos.z - marker.pos.z), 1.0f);
    EXPECT_EQ(p.state, player::MOVE_STANDING);

    // a player told not to steer itself stays where it is
    player still(0, 1);
    still.pos = vector3d(-30, 0, 5);
    still.noAutoMove = true;
    still.setWanted(&marker);
    for (int i = 0; i < 50; i++)
        still.step(0.02f);
    EXPECT_EQ(still.ownCtrl.axisX, 0);
    EXPECT_FLOAT_EQ(still.pos.x, -30);
}

}
