#include <cmath>
#include <cstdio>
#include <string>
#include <vector>
#include <unistd.h>
#include <wx/config.h>
#include <gtest/gtest.h>
#include "main.h"
#include "player.h"
#include "playfield.h"
#include "powerup.h"
#include "support.h"

namespace {

typedef player::player_movement_type movement;
typedef player::player_action_type actiontype;

// Players in an empty working folder (their outfits find no images), standing on the court of
// team 0 with the bounds the match gives them.
class PlayerTest : public ::testing::Test {
protected:
    std::string oldDir;
    controller pad;   // a human's device

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
        testsupport::closeConfig();
        ASSERT_EQ(chdir(oldDir.c_str()), 0);
    }

    static void onCourt(player& p)
    {
        p.pos = vector3d(-30, 0, 0);
        p.bounds = box3d(vector3d(-60, -40, 0), vector3d(120, 80, 75));
        p.bounded = true;
        p.noAutoMove = true;
    }

    void press(bool jump, bool hit)
    {
        pad.button[0] = jump;
        pad.button[1] = hit;
    }
};

float horizontal(const vector3d& v)
{
    return std::sqrt(v.x * v.x + v.z * v.z);
}

// Every movement transition, one step each, through the controller.
TEST_F(PlayerTest, MovementStateTable)
{
    const movement JUMPING = player::MOVE_JUMPING, RUNNING = player::MOVE_RUNNING,
                   FALLING = player::MOVE_FALLING, DIVING = player::MOVE_DIVING,
                   STANDING = player::MOVE_STANDING, CHARGING = player::MOVE_CHARGING;
    struct row {
        const char* what;
        movement from;
        float y;
        vector3d vel;
        bool human, jump, hit, heldBefore;
        movement to;
        float boxHeight;
    } rows[] = {
        { "stand, jump and hit: charge", STANDING, 0, {}, true, true, true, false, CHARGING, 6 },
        { "stand, jump", STANDING, 0, {}, true, true, false, false, JUMPING, 12 },
        { "run, jump", RUNNING, 0, { 10, 0, 0 }, true, true, false, false, JUMPING, 12 },
        { "run, jump and hit: no charge", RUNNING, 0, { 10, 0, 0 }, true, true, true, false, JUMPING, 12 },
        { "charge, hit let go", CHARGING, 0, {}, true, true, false, true, JUMPING, 12 },
        { "charge, both held", CHARGING, 0, {}, true, true, true, true, CHARGING, 6 },
        { "rise, human lets go", JUMPING, -10, { 0, -20, 0 }, true, false, false, true, FALLING, 10 },
        { "rise, computer", JUMPING, -10, { 0, -20, 0 }, false, false, false, false, JUMPING, 12 },
        { "rise, human holds", JUMPING, -10, { 0, -20, 0 }, true, true, false, true, JUMPING, 12 },
        { "past the top", JUMPING, -10, { 0, 2, 0 }, true, true, false, true, FALLING, 10 },
        { "fast and down: dive", JUMPING, -10, { 30, 0.5f, 0 }, true, true, false, true, DIVING, 5 },
        { "dive, then falling", JUMPING, -10, { 30, 0.8f, 0 }, true, true, false, true, FALLING, 10 },
        { "fall, new press: dive", FALLING, -10, { 0, 5, 0 }, true, true, false, false, DIVING, 5 },
        { "fall, jump still held", FALLING, -10, { 0, 5, 0 }, true, true, false, true, FALLING, 10 },
        { "land", FALLING, -0.5f, { 10, 0, 0 }, true, false, false, false, RUNNING, 10 },
        { "slide ends", DIVING, 0, { 2, 0, 0 }, true, false, false, false, RUNNING, 10 },
        { "slide goes on", DIVING, 0, { 10, 0, 0 }, true, false, false, false, DIVING, 5 },
        { "run slows down", RUNNING, 0, { 0.5f, 0, 0 }, true, false, false, false, STANDING, 10 },
        { "stand, pushed", STANDING, 0, { 5, 0, 0 }, true, false, false, false, RUNNING, 10 },
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        player p(0, 0);
        onCourt(p);
        p.state = r.from;
        p.pos.y = r.y;
        p.vel = r.vel;
        p.jumpHeld = r.heldBefore;
        controller* c = r.human ? &pad : &p.ownCtrl;
        c->button[0] = r.jump;
        c->button[1] = r.hit;
        if (r.human)
            p.setController(&pad);
        p.step(0.02f);
        EXPECT_EQ(p.state, r.to);
        EXPECT_FLOAT_EQ(p.box.size.y, r.boxHeight);
        EXPECT_FLOAT_EQ(p.box.center.y, -r.boxHeight / 2);
    }
}

TEST_F(PlayerTest, JumpImpulseGrowsWithSpeedAcrossCourtAndCharge)
{
    struct row {
        float vx, vz, charge;
        bool superjump;
        float impulse;
    } rows[] = {
        { 0, 0, 0, false, 79.2f },
        { -10, 0, 0, false, 92.4f },
        { 0, 30, 0, false, 79.2f },   // running along the net does not help
        { 0, 0, 2, false, 299.2f },
        { 0, 0, 2, true, 379.2f },
        { 0, 0, 0, true, 159.2f },
    };
    for (const row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.vx << " " << r.charge << " " << r.superjump);
        player p(0, 0);
        onCourt(p);
        p.vel = vector3d(r.vx, 0, r.vz);
        p.jumpCharge = r.charge;
        p.action = player::ACTION_BUMP;
        if (r.superjump)
            new powerup(PU_SUPERJUMP, &p, 30);
        p.jump(true);
        EXPECT_NEAR(p.accel.y, -r.impulse, 1e-3);
        EXPECT_EQ(p.state, player::MOVE_JUMPING);
        EXPECT_EQ(p.action, player::ACTION_NONE);
        EXPECT_FLOAT_EQ(p.actionTime, 1);
        EXPECT_TRUE(p.jumpHeld);
    }
}

TEST_F(PlayerTest, JumpInTheAirOnlyRemembersTheButton)
{
    player p(0, 0);
    onCourt(p);
    p.pos.y = -1;
    p.state = player::MOVE_FALLING;
    p.vel = vector3d(3, 4, 5);
    p.accel = vector3d(1, 2, 3);
    p.setAction(player::ACTION_AIR_HIT, 0.3f);
    p.jump(true);
    EXPECT_TRUE(p.jumpHeld);
    EXPECT_EQ(p.state, player::MOVE_FALLING);
    EXPECT_FLOAT_EQ(p.accel.y, 2);
    EXPECT_FLOAT_EQ(p.vel.y, 4);
    EXPECT_EQ(p.action, player::ACTION_AIR_HIT);
    EXPECT_FLOAT_EQ(p.actionTime, 0.3f);
}

TEST_F(PlayerTest, ChargeStopsAtTwoSecondsAndLetsGoAsAPowerJump)
{
    player p(0, 0);
    onCourt(p);
    p.setController(&pad);
    press(true, true);
    for (int i = 0; i < 150; i++)
        p.step(0.02f);
    EXPECT_EQ(p.state, player::MOVE_CHARGING);
    EXPECT_EQ(p.jumpCharge, 2.0f);
    EXPECT_EQ(p.action, player::ACTION_AIR_HIT);   // the held hit restarts at once
    EXPECT_FLOAT_EQ(p.pos.y, 0);

    press(true, false);
    p.control(0.02f);
    EXPECT_EQ(p.state, player::MOVE_JUMPING);
    EXPECT_NEAR(p.accel.y, -299.2f, 1e-3);
    // the charge drains as soon as the player is no longer charging
    p.control(0.02f);
    EXPECT_EQ(p.jumpCharge, 0.0f);
}

TEST_F(PlayerTest, HitRuleByStateAndHeight)
{
    struct row {
        movement state;
        float y;
        actiontype action;
        float time;
    } rows[] = {
        { player::MOVE_RUNNING, 0, player::ACTION_BUMP, 0.5f },
        { player::MOVE_STANDING, 0, player::ACTION_BUMP, 1.0f },
        { player::MOVE_DIVING, 0, player::ACTION_DIVE_HIT, 1.5f },
        { player::MOVE_JUMPING, -1.5f, player::ACTION_AIR_HIT, 0.7f },
        { player::MOVE_FALLING, 0, player::ACTION_AIR_HIT, 0.7f },
        { player::MOVE_CHARGING, 0, player::ACTION_AIR_HIT, 0.7f },
        { player::MOVE_RUNNING, -2, player::ACTION_BUMP, 0.5f },
        { player::MOVE_RUNNING, -2.5f, player::ACTION_AIR_HIT, 0.7f },
        { player::MOVE_STANDING, -3, player::ACTION_AIR_HIT, 0.7f },
        { player::MOVE_DIVING, -3, player::ACTION_AIR_HIT, 0.7f },
    };
    for (const row& r : rows) {
        SCOPED_TRACE(testing::Message() << "state " << r.state << " at " << r.y);
        player p(0, 0);
        p.state = r.state;
        p.pos.y = r.y;
        p.hit();
        EXPECT_EQ(p.action, r.action);
        EXPECT_FLOAT_EQ(p.actionTime, r.time);

        // a running action is not interrupted
        p.setAction(player::ACTION_BUMP, 0.3f);
        p.pos.y = -5;
        p.hit();
        EXPECT_EQ(p.action, player::ACTION_BUMP);
        EXPECT_FLOAT_EQ(p.actionTime, 0.3f);
    }
}

TEST_F(PlayerTest, DivingAlwaysCarriesTheDiveHit)
{
    player p(0, 0);
    onCourt(p);
    p.state = player::MOVE_DIVING;
    p.pos.y = -5;
    p.vel = vector3d(20, 5, 0);
    p.setAction(player::ACTION_AIR_HIT, 0.7f);
    p.step(0.02f);
    EXPECT_EQ(p.state, player::MOVE_DIVING);
    EXPECT_EQ(p.action, player::ACTION_DIVE_HIT);
    EXPECT_FLOAT_EQ(p.actionTime, 0.48f);
}

// A human holds jump from the take-off into the fall: no dive until jump is pressed anew.
TEST_F(PlayerTest, DiveNeedsANewPressWhileFalling)
{
    player p(0, 0);
    onCourt(p);
    p.setController(&pad);
    press(true, false);
    p.step(0.02f);
    ASSERT_EQ(p.state, player::MOVE_JUMPING);
    int steps = 0;
    while (p.state == player::MOVE_JUMPING && steps++ < 200)
        p.step(0.02f);
    ASSERT_EQ(p.state, player::MOVE_FALLING);
    p.step(0.02f);
    EXPECT_EQ(p.state, player::MOVE_FALLING);

    press(false, false);
    p.step(0.02f);
    ASSERT_EQ(p.state, player::MOVE_FALLING);
    ASSERT_LT(p.pos.y, -1);

    press(true, false);
    vector3d before = p.vel;
    p.control(0.02f);
    EXPECT_EQ(p.state, player::MOVE_DIVING);
    EXPECT_FLOAT_EQ(p.vel.x, before.x * 3);
    EXPECT_FLOAT_EQ(p.vel.y, before.y * 3);
    EXPECT_FLOAT_EQ(p.vel.z, before.z * 3);
}

// Right after the limits of a step (kept as lastVelocity): 0.8 x maxSpeed across the sand in
// the air, the full limit on the sand, and the full limit upward and downward in every state.
TEST_F(PlayerTest, SpeedLimitsByState)
{
    struct row {
        movement state;
        float y;
        vector3d vel;
        float maxSpeed, across, vertical;
    } rows[] = {
        { player::MOVE_FALLING, -10, { 100, 100, 0 }, 45, 36, 45 },
        { player::MOVE_JUMPING, -10, { 0, -100, 50 }, 45, 36, -45 },
        { player::MOVE_RUNNING, 0, { 60, 0, 80 }, 45, 45, 0 },
        { player::MOVE_DIVING, -10, { 0, 0, 100 }, 45, 45, 0 },
        { player::MOVE_FALLING, -10, { 100, 0, 0 }, 90, 72, 0 },
        { player::MOVE_FALLING, -10, { 20, 0, 0 }, 45, 20 * 0.998f * 0.98f, 0 },
    };
    for (const row& r : rows) {
        SCOPED_TRACE(testing::Message() << "state " << r.state);
        player p(0, 0);
        onCourt(p);
        p.state = r.state;
        p.pos.y = r.y;
        p.vel = r.vel;
        p.maxSpeed = r.maxSpeed;
        p.step(0.02f);
        EXPECT_NEAR(horizontal(p.lastVelocity), r.across, 1e-3);
        EXPECT_NEAR(p.lastVelocity.y, r.vertical, 1e-3);
    }
}

TEST_F(PlayerTest, SetStateWrapsAndKeepsTheActionOnlyFromRiseToFall)
{
    player p(0, 0);
    p.setAction(player::ACTION_AIR_HIT, 0.4f);
    p.animTime = 0.1f;
    p.runPhase = 1;
    p.setState(static_cast<movement>(6));
    EXPECT_EQ(p.state, player::MOVE_JUMPING);
    EXPECT_EQ(p.action, player::ACTION_NONE);
    EXPECT_FLOAT_EQ(p.actionTime, 1);
    EXPECT_EQ(p.animTime, 0);
    EXPECT_EQ(p.runPhase, 0);

    p.setAction(player::ACTION_AIR_HIT, 0.4f);
    p.runPhase = 1;
    p.setState(player::MOVE_FALLING);
    EXPECT_EQ(p.state, player::MOVE_FALLING);
    EXPECT_EQ(p.action, player::ACTION_AIR_HIT);
    EXPECT_FLOAT_EQ(p.actionTime, 0.4f);
    EXPECT_EQ(p.runPhase, 0);

    p.setState(player::MOVE_FALLING);   // falling to falling is an ordinary change
    EXPECT_EQ(p.action, player::ACTION_NONE);

    p.setState(static_cast<movement>(-3));
    EXPECT_EQ(p.state, player::MOVE_JUMPING);
}

TEST_F(PlayerTest, ActionRunsOutAndRunningPhaseFlipsEveryPointFifteenSeconds)
{
    player p(0, 0);
    onCourt(p);
    p.setAction(player::ACTION_BUMP, 0.5f);
    int flips[3] = { 0, 0, 0 }, n = 0;
    for (int i = 1; i <= 30; i++) {
        int phase = p.runPhase;
        p.step(0.02f);
        if (p.runPhase != phase && n < 3)
            flips[n++] = i;
        if (i == 24) {
            EXPECT_EQ(p.action, player::ACTION_BUMP);
        }
    }
    EXPECT_EQ(p.action, player::ACTION_NONE);
    EXPECT_EQ(p.actionTime, 0);
    EXPECT_EQ(flips[0], 8);    // 0.16 s is the first time above 0.15
    EXPECT_EQ(flips[1], 16);
    EXPECT_EQ(flips[2], 24);
}

TEST_F(PlayerTest, ControllerMovesThePlayerOnTheSandButBarelyInTheAir)
{
    player runner(0, 0), flier(0, 1);
    for (player* p : { &runner, &flier }) {
        onCourt(*p);
        p->setController(&pad);
    }
    flier.pos.y = -30;
    flier.state = player::MOVE_JUMPING;
    flier.vel.y = -40;
    pad.right = true;
    pad.button[0] = true;   // keeps the flier rising
    runner.state = player::MOVE_RUNNING;
    runner.jumpHeld = true;
    runner.pos.y = -3;   // and the runner off the sand, so it cannot jump
    runner.control(0.02f);
    flier.control(0.02f);
    EXPECT_FLOAT_EQ(runner.accel.x, 50 * 0.02f);
    EXPECT_FLOAT_EQ(flier.accel.x, 4 * 0.02f);
    runner.control(0.02f);
    EXPECT_FLOAT_EQ(runner.accel.x, 2 * 50 * 0.02f);   // held input accumulates

    pad.right = false;
    pad.axisY = -16384;
    runner.control(0.02f);
    EXPECT_EQ(runner.accel.x, 0);
    EXPECT_FLOAT_EQ(runner.accel.z, -0.5f * 50 * 0.02f);
}

TEST_F(PlayerTest, HeightIsReadAndStoredUnderThePlayersKey)
{
    testsupport::openConfig();
    g_config->DeleteAll();
    {
        player p(1, 2);
        EXPECT_FLOAT_EQ(p.height, 1.8f);
        EXPECT_NEAR(g_config->ReadDouble("pl2/height", -1), 1.8, 1e-6);   // the default is recorded
        p.setHeight(2.1f);
        EXPECT_FLOAT_EQ(p.height, 2.1f);
    }
    testsupport::closeConfig();
    testsupport::openConfig();
    EXPECT_NEAR(g_config->ReadDouble("pl2/height", -1), 2.1, 1e-6);
    EXPECT_FALSE(g_config->HasEntry("pl0/height"));
    player again(1, 2);
    EXPECT_FLOAT_EQ(again.height, 2.1f);
}

TEST_F(PlayerTest, DamagedHeightsGiveASensibleFigure)
{
    struct row {
        const char* stored;
        float height;
    } rows[] = {
        { "abc", 1.8f }, { "nan", 1.8f }, { "inf", 1.8f }, { "1e30", 2.5f },
        { "-4", 1.5f }, { "2.05", 2.05f }, { "", 1.8f },
    };
    testsupport::openConfig();
    for (const row& r : rows) {
        SCOPED_TRACE(r.stored);
        g_config->Write("pl1/height", r.stored);
        player p(0, 1);
        EXPECT_FLOAT_EQ(p.height, r.height);
    }
}

TEST_F(PlayerTest, WithoutAStoreTheHeightIsTheDefault)
{
    ASSERT_EQ(g_config, nullptr);
    player p(0, 0);
    EXPECT_FLOAT_EQ(p.height, 1.8f);
    p.setHeight(2.0f);
    EXPECT_FLOAT_EQ(p.height, 2.0f);
}

TEST_F(PlayerTest, PowerUpsAreReplacedRestoredAndDroppedOnReset)
{
    player p(0, 0);
    onCourt(p);
    new powerup(PU_SPEEDUP, &p, 30);
    p.step(0.02f);
    EXPECT_FLOAT_EQ(p.maxSpeed, 90);

    new powerup(PU_GIANT, &p, 30);   // the speed-up is removed first
    ASSERT_NE(p.pup, nullptr);
    EXPECT_EQ(p.pup->kind, PU_GIANT);
    EXPECT_FLOAT_EQ(p.maxSpeed, 45);
    p.step(0.02f);
    EXPECT_FLOAT_EQ(p.sizeScale, 2.5f);

    p.reset();
    EXPECT_EQ(p.pup, nullptr);
    EXPECT_FLOAT_EQ(p.sizeScale, 1);
    EXPECT_EQ(p.state, player::MOVE_STANDING);

    // a power-up still held when the player goes is released with it (the leak checker sees it)
    new powerup(PU_SMALL, &p, 30);
}

TEST_F(PlayerTest, ResetReturnsToRest)
{
    player p(0, 0);
    onCourt(p);
    p.pos = vector3d(-10, -5, 3);
    p.vel = vector3d(1, 2, 3);
    p.accel = vector3d(4, 5, 6);
    p.lastVelocity = vector3d(1, 1, 1);
    p.state = player::MOVE_DIVING;
    p.action = player::ACTION_DIVE_HIT;
    p.ignoreBall = true;
    p.sizeScale = 3;
    p.jumpHeld = true;
    p.reset();
    EXPECT_FLOAT_EQ(p.pos.x + p.pos.y + p.pos.z, 0);
    EXPECT_FLOAT_EQ(horizontal(p.vel) + std::fabs(p.vel.y), 0);
    EXPECT_FLOAT_EQ(p.accel.length(), 0);
    EXPECT_FLOAT_EQ(p.lastVelocity.length(), 0);
    EXPECT_EQ(p.state, player::MOVE_STANDING);
    EXPECT_EQ(p.action, player::ACTION_NONE);
    EXPECT_FALSE(p.ignoreBall);
    EXPECT_FLOAT_EQ(p.sizeScale, 1);
    EXPECT_FALSE(p.jumpHeld);
    EXPECT_FLOAT_EQ(p.gravity.y, 9.81f);
    EXPECT_TRUE(p.isSortable());
}

// Jumps, dives and charging leave their marks on the court the player is given.
TEST_F(PlayerTest, MarksAndParticlesGoToTheCourt)
{
    playfield field;
    player p(0, 0);
    onCourt(p);
    p.theField = &field;
    p.setController(&pad);

    auto sand = [&]() { return std::vector<int>(field.heightMap, field.heightMap + 512 * 512); };
    std::vector<int> before = sand();
    size_t particles = field.children.size();
    press(true, false);
    p.step(0.02f);
    ASSERT_EQ(p.state, player::MOVE_JUMPING);
    EXPECT_NE(sand(), before);
    EXPECT_GT(field.children.size(), particles);

    // charging: fire only once the charge passes one second
    player c(0, 1);
    onCourt(c);
    c.theField = &field;
    c.setController(&pad);
    press(true, true);
    int firstFire = 0;
    for (int i = 1; i <= 60 && !firstFire; i++) {
        size_t n = field.children.size();
        c.step(0.02f);
        if (field.children.size() > n)
            firstFire = i;
    }
    EXPECT_GT(c.jumpCharge, 1.0f);
    EXPECT_LE(c.jumpCharge - 0.02f, 1.0f);
    EXPECT_GE(firstFire, 51);

    // a slide in the sand throws dust every step
    player d(0, 2);
    onCourt(d);
    d.theField = &field;
    d.state = player::MOVE_DIVING;
    d.vel = vector3d(20, 0, 0);
    d.lastVelocity = d.vel;
    for (int i = 0; i < 3; i++) {
        size_t n = field.children.size();
        d.step(0.02f);
        EXPECT_GT(field.children.size(), n);
    }
}

}
