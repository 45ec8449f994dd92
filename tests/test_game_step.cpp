// The match step: serve, contacts by action, touch count, net, pending calls, slow motion,
// the checks over the net and the power-up phase.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include "ball.h"
#include "game.h"
#include "main.h"
#include "net.h"
#include "player.h"
#include "powerup.h"
#include "random.h"
#include "fixtures.h"
#include "support.h"

namespace {

class MatchStep : public matchfixture {
protected:
    MatchStep() : matchfixture(99) {}

    // a player standing on the sand, its box as a standing player has it
    void stand(int i, float x, float z)
    {
        player* p = g->players[i];
        p->pos = vector3d(x, 0, z);
        p->vel = vector3d();
        p->state = player::MOVE_STANDING;
        p->box = box3d(vector3d(0, -5, 0), vector3d(5, 10, 5));
    }

    // a player rising from a jump at height y
    void jumping(int i, float x, float y, float z)
    {
        player* p = g->players[i];
        p->pos = vector3d(x, y, z);
        p->state = player::MOVE_JUMPING;
        p->box = box3d(vector3d(0, -6, 0), vector3d(4, 12, 4));
    }

    int pickups()
    {
        int n = 0;
        for (gameobject* c : g->children)
            if (dynamic_cast<powerupobject*>(c))
                n++;
        return n;
    }
};

TEST_F(MatchStep, ServerWaitsBehindTheBaselineWithTheBallOverHim)
{
    ASSERT_EQ(g->state, game::STATE_SERVING);
    g->players[0]->setWanted(g->passMarkers[0]);
    g->serveStep(0.02f);

    const player* server = g->players[0];
    EXPECT_TRUE(server->ignoreBall);
    EXPECT_TRUE(server->wanted.empty());
    // placed over the old position first, then the server is pushed back
    EXPECT_FLOAT_EQ(g->theBall->pos.x, -32.0f);
    EXPECT_FLOAT_EQ(g->theBall->pos.y, -10.0f);
    EXPECT_FLOAT_EQ(g->theBall->pos.z, -9.9f);
    EXPECT_FLOAT_EQ(server->pos.x, -65.0f);
    EXPECT_FLOAT_EQ(server->pos.z, -10.0f);
    EXPECT_EQ(g->state, game::STATE_SERVING);

    g->serveStep(0.02f);
    EXPECT_FLOAT_EQ(g->theBall->pos.x, -62.0f);

    g->serveTimer = 0.01f;
    g->serveStep(0.02f);
    EXPECT_FALSE(server->ignoreBall) << "after the wait a computer server may hit";
}

TEST_F(MatchStep, TeamOneServesFromItsOwnBaseline)
{
    g->servingTeam = 1;
    g->event(game::EV_NEWRALLY, 0);
    g->players[2]->setAction(player::ACTION_BUMP, 1.0f);
    g->serveStep(0.02f);

    EXPECT_FLOAT_EQ(g->theBall->pos.x, 32.0f);
    EXPECT_FLOAT_EQ(g->players[2]->pos.x, 65.0f);
    EXPECT_GE(g->theBall->vel.x, -90.0f);
    EXPECT_LT(g->theBall->vel.x, -80.0f);
    EXPECT_EQ(g->lastHitterIndex, 2);
    EXPECT_EQ(g->state, game::STATE_PLAYING);

    // the ball is on team 1's half while the reset left ballSide at 0: a side change
    g->touches = 3;
    g->rallyStep(0.02f);
    EXPECT_EQ(g->ballSide, 1);
    EXPECT_EQ(g->touches, 0);
    ASSERT_EQ(g->players[2]->wanted.size(), 1u);
    EXPECT_EQ(g->players[2]->wanted[0], g->theBall) << "z 10 is nearer to the ball's 10.1";
}

TEST_F(MatchStep, ServeByTheServersAction)
{
    struct serveCase {
        player::player_action_type action;
        bool toss;
    } cases[] = {
        { player::ACTION_AIR_HIT, true },
        { player::ACTION_BUMP, false },
        { player::ACTION_DIVE_HIT, false },
    };
    for (const serveCase& c : cases) {
        SCOPED_TRACE(c.action);
        g->event(game::EV_NEWRALLY, 0);
        g->players[0]->setAction(c.action, 1.0f);
        g->serveStep(0.02f);
        EXPECT_EQ(g->state, game::STATE_PLAYING);
        const vector3d v = g->theBall->vel;
        if (c.toss) {
            EXPECT_FLOAT_EQ(v.x, 0.0f);
            EXPECT_FLOAT_EQ(v.y, -30.0f);
            EXPECT_FLOAT_EQ(v.z, 0.0f);
            EXPECT_EQ(g->touches, 2);
            EXPECT_EQ(g->lastHitter, nullptr);
        } else {
            EXPECT_GE(v.x, 80.0f);
            EXPECT_LT(v.x, 90.0f);
            EXPECT_GE(v.y, -90.0f);
            EXPECT_LT(v.y, -80.0f);
            EXPECT_GE(v.z, -3.0f);
            EXPECT_LT(v.z, 3.0f);
            EXPECT_EQ(g->touches, 3);
            EXPECT_EQ(g->lastHitter, g->players[0]);
            EXPECT_EQ(g->lastHitterIndex, 0);
        }
    }
}

TEST_F(MatchStep, TossedServeCanBeStruckByTheServer)
{
    g->players[0]->setAction(player::ACTION_AIR_HIT, 0.7f);
    g->serveStep(0.02f);
    ASSERT_EQ(g->touches, 2);
    // the server rises into its own toss
    const float bx = g->theBall->pos.x;
    jumping(0, bx - 1, -8, g->theBall->pos.z);
    g->players[0]->setAction(player::ACTION_AIR_HIT, 0.7f);

    g->rallyStep(0.02f);

    EXPECT_EQ(g->lastHitterIndex, 0);
    EXPECT_EQ(g->touches, 3);
    EXPECT_NEAR(g->theBall->vel.x, 55.0f - 0.7f * bx, 1e-3f);
    EXPECT_FLOAT_EQ(g->theBall->vel.y, -6.0f);
}

TEST_F(MatchStep, ATouchAfterAStruckServeIsTooManyHits)
{
    g->players[0]->setAction(player::ACTION_BUMP, 1.0f);
    g->serveStep(0.02f);
    ASSERT_EQ(g->touches, 3);
    stand(1, -20, 10);
    g->theBall->pos = vector3d(-20, -8, 10);
    g->players[1]->setAction(player::ACTION_BUMP, 1.0f);

    g->rallyStep(0.02f);

    EXPECT_EQ(g->lastHitterIndex, 1);
    EXPECT_EQ(g->touches, 4);
    EXPECT_EQ(g->pendingEvent, game::EV_TOOMANYHITS);
    EXPECT_EQ(g->score[1], 1);
    EXPECT_EQ(g->score[0], 0);
}

TEST_F(MatchStep, NobodyTouchesTheBallTwiceInARow)
{
    g->state = game::STATE_PLAYING;
    stand(1, -20, 10);
    g->theBall->pos = vector3d(-20, -8, 10);
    g->theBall->vel = vector3d(1, 2, 3);
    g->players[1]->setAction(player::ACTION_BUMP, 1.0f);
    g->lastHitter = g->players[1];
    g->lastHitterIndex = 1;
    g->touches = 1;

    EXPECT_FALSE(g->playContact(1, g->theBall->pos, vector3d()));
    EXPECT_FLOAT_EQ(g->theBall->vel.x, 1.0f);

    g->players[1]->setAction(player::ACTION_NONE, 0);
    g->lastHitter = nullptr;
    EXPECT_FALSE(g->playContact(1, g->theBall->pos, vector3d())) << "no action, no play";
    EXPECT_FLOAT_EQ(g->theBall->vel.y, 2.0f);
}

TEST_F(MatchStep, AirHitVelocity)
{
    struct hitCase {
        const char* what;
        int i;
        vector3d playerPos, playerVel, ballPos;
        int axisX;
        bool down;
        vector3d expected;   // x and y exact; z is the expected stick and run part
    } cases[] = {
        // close to the net with the ball high: a spike driven down, the run's y ignored
        { "spike", 0, vector3d(-5, -12, 0), vector3d(10, -20, 0), vector3d(-3, -20, 0), 16384,
          true, vector3d(57.1f + 17.5f, 45, 15) },
        { "spike without stick", 0, vector3d(-5, -12, 0), vector3d(), vector3d(-3, -20, 0), 0,
          false, vector3d(57.1f, 45, 0) },
        // away from the net: a lob with the run limited to 35
        { "lob", 0, vector3d(-20, -12, 0), vector3d(30, -30, 0), vector3d(-18, -20, 0), 0, false,
          vector3d(55 + 12.6f + 24.7487f, -6 - 24.7487f, 0) },
        { "team 1 spike", 2, vector3d(5, -12, 0), vector3d(), vector3d(3, -20, 0), 0, false,
          vector3d(-57.1f, 45, 0) },
    };
    for (const hitCase& c : cases) {
        SCOPED_TRACE(c.what);
        g->state = game::STATE_PLAYING;
        g->lastHitter = nullptr;
        g->touches = 0;
        jumping(c.i, c.playerPos.x, c.playerPos.y, c.playerPos.z);
        player* p = g->players[c.i];
        p->vel = c.playerVel;
        p->ownCtrl.axisX = c.axisX;
        p->ownCtrl.down = c.down;
        p->setAction(player::ACTION_AIR_HIT, 0.7f);
        g->theBall->pos = c.ballPos;

        ASSERT_TRUE(g->playContact(c.i, c.ballPos, vector3d()));
        const vector3d v = g->theBall->vel;
        EXPECT_NEAR(v.x, c.expected.x, 1e-3f);
        EXPECT_NEAR(v.y, c.expected.y, 1e-3f);
        // the smash target's z is -5 ... 4.9 less 0.3 of the ball's z (0 here)
        EXPECT_GE(v.z, c.expected.z - 5.0f - 1e-4f);
        EXPECT_LE(v.z, c.expected.z + 4.9f + 1e-4f);
        p->ownCtrl.reset_state();
    }
}

TEST_F(MatchStep, ThirdTouchBumpGoesOverAndSendsTheOpponents)
{
    g->state = game::STATE_PLAYING;
    g->touches = 2;
    stand(1, -20, 10);
    g->theBall->pos = vector3d(-20, -8, 10);
    g->players[1]->setAction(player::ACTION_BUMP, 1.0f);
    for (int i = 2; i < 4; i++)
        g->players[i]->wanted.clear();

    ASSERT_TRUE(g->playContact(1, g->theBall->pos, vector3d()));

    const vector3d v = g->theBall->vel;
    EXPECT_FLOAT_EQ(v.x, 25.0f + 26.0f);
    EXPECT_GT(v.y, -13.0f - 100.0f - 3.31f);
    EXPECT_LE(v.y, -13.0f - 100.0f);
    EXPECT_GE(v.z, -5.0f - 3.0f);
    EXPECT_LE(v.z, 4.9f);
    const int closest = g->getClosestPlayer(1);
    ASSERT_EQ(g->players[closest]->wanted.size(), 1u);
    EXPECT_EQ(g->players[closest]->wanted[0], g->theBall);
}

TEST_F(MatchStep, EarlierBumpsGoMostlyToTheMate)
{
    int toMate = 0, straightUp = 0;
    for (int n = 0; n < 200; n++) {
        g->touches = 1;
        g->lastHitter = nullptr;
        stand(1, -20, 10);
        g->theBall->pos = vector3d(-20, -8, 10);
        g->players[1]->setAction(player::ACTION_BUMP, 1.0f);
        ASSERT_TRUE(g->playContact(1, g->theBall->pos, vector3d(2, 0, -1)));
        const vector3d v = g->theBall->vel;
        // the second touch lifts by 140 plus up to 3.3
        EXPECT_GT(v.y, -143.31f);
        EXPECT_LE(v.y, -140.0f);
        if (v.x == 0 && v.z == 0) {
            straightUp++;
        } else {
            // toward the mate at (-35, 0, -10), with the jitter (2, 0, -1)
            EXPECT_FLOAT_EQ(v.x, 2 - 15.0f);
            EXPECT_FLOAT_EQ(v.z, -1 - 20.0f);
            toMate++;
        }
    }
    EXPECT_GT(toMate, 150);
    EXPECT_GT(straightUp, 5);
}

TEST_F(MatchStep, DiveHitLiftsTheBall)
{
    g->touches = 0;
    player* p = g->players[0];
    p->pos = vector3d(-30, 0, 0);
    p->vel = vector3d(10, 0, 0);
    p->state = player::MOVE_DIVING;
    p->box = box3d(vector3d(0, -2.5f, 0), vector3d(10, 5, 10));
    p->setAction(player::ACTION_DIVE_HIT, 0.5f);
    g->theBall->pos = vector3d(-28, -3, 0);

    ASSERT_TRUE(g->playContact(0, g->theBall->pos, vector3d()));
    EXPECT_FLOAT_EQ(g->theBall->vel.x, -3.0f);
    EXPECT_FLOAT_EQ(g->theBall->vel.z, 0.0f);
    EXPECT_GT(g->theBall->vel.y, -73.31f);
    EXPECT_LE(g->theBall->vel.y, -70.0f);
}

TEST_F(MatchStep, NetBounce)
{
    struct netCase {
        const char* what;
        vector3d pos, vel;
        int possession;
        vector3d expected;
    } cases[] = {
        { "over the top", vector3d(0, -18, 0), vector3d(5, 20, 1), 0, vector3d(5, -8, 1) },
        { "over the top, rising", vector3d(0, -18, 0), vector3d(5, -20, 1), 1, vector3d(5, -8, 1) },
        { "into the mesh from team 0", vector3d(0, -10, 0), vector3d(50, 3, 2), 0, vector3d(-30, 3, 2) },
        { "into the mesh from team 1", vector3d(0, -10, 0), vector3d(-50, 3, 2), 1, vector3d(30, 3, 2) },
        { "clear of the net", vector3d(10, -10, 0), vector3d(50, 3, 2), 0, vector3d(50, 3, 2) },
        { "beyond the posts", vector3d(0, -10, 34), vector3d(50, 3, 2), 0, vector3d(50, 3, 2) },
    };
    for (const netCase& c : cases) {
        SCOPED_TRACE(c.what);
        g->theBall->pos = c.pos;
        g->theBall->vel = c.vel;
        g->possessionTeam = c.possession;
        g->netBounce();
        EXPECT_FLOAT_EQ(g->theBall->vel.x, c.expected.x);
        EXPECT_FLOAT_EQ(g->theBall->vel.y, c.expected.y);
        EXPECT_FLOAT_EQ(g->theBall->vel.z, c.expected.z);
    }
}

TEST_F(MatchStep, LandingCallIsCarriedOutOnceAfterItsDelay)
{
    g->state = game::STATE_PLAYING;
    g->possessionTeam = 0;
    g->theBall->pos = vector3d(30, -2.4f, 0);
    g->theBall->touchedGround = true;

    int steps = 0;
    while (g->state == game::STATE_PLAYING && steps < 200) {
        g->theBall->touchedGround = true;   // it keeps bouncing
        g->rallyStep(0.02f);
        steps++;
    }
    EXPECT_GE(steps, 99);
    EXPECT_LE(steps, 101);
    EXPECT_EQ(g->score[0], 1);
    EXPECT_EQ(g->score[1], 0);
    EXPECT_EQ(g->state, game::STATE_SERVING);
    EXPECT_EQ(g->servingTeam, 0);
}

TEST_F(MatchStep, MatchOverLeavesThePlayersAlone)
{
    g->state = game::STATE_PLAYING;
    g->theBall->pos = vector3d(30, -20, 0);   // over team 1's half, not yet seen there
    g->ballSide = 0;
    g->pendingEvent = game::EV_MATCHOVER;
    g->pendingDelay = 0.01f;

    g->rallyStep(0.02f);

    EXPECT_EQ(g->state, game::STATE_MATCHOVER);
    for (player* p : g->players) {
        EXPECT_TRUE(p->ignoreBall);
        EXPECT_TRUE(p->wanted.empty());
    }

    // nothing is judged any more
    g->theBall->touchedGround = true;
    g->step(0.02f);
    EXPECT_EQ(g->score[0], 0);
    EXPECT_EQ(g->score[1], 0);
    EXPECT_FLOAT_EQ(g->pendingDelay, 0.0f);
}

TEST_F(MatchStep, ARallyResetStillRunsTheRestOfTheStep)
{
    // team 1 has scored during slow motion; the call runs out in this step
    g->state = game::STATE_PLAYING;
    g->servingTeam = 1;
    g->slowMotion = true;
    g->zoomTarget = 1.0f;
    g->pendingEvent = game::EV_IN;
    g->pendingDelay = 0.01f;

    g->rallyStep(0.02f);

    EXPECT_EQ(g->state, game::STATE_SERVING);
    EXPECT_FALSE(g->slowMotion);
    EXPECT_FLOAT_EQ(g->zoomTarget, 0.0f) << "the serve is not shown zoomed in";
    // the new ball hangs over team 0's half while team 1 has it: team 0's nearer player,
    // player 0 at (-35, 0, -10), goes toward it
    ASSERT_EQ(g->players[0]->wanted.size(), 1u);
    EXPECT_EQ(g->players[0]->wanted[0], g->theBall);
    EXPECT_TRUE(g->players[1]->wanted.empty());
}

TEST_F(MatchStep, MatchOverEndsSlowMotion)
{
    g->state = game::STATE_PLAYING;
    g->slowMotion = true;
    g->zoomTarget = 1.0f;
    g->pendingEvent = game::EV_MATCHOVER;
    g->pendingDelay = 0.01f;

    g->rallyStep(0.02f);
    ASSERT_EQ(g->state, game::STATE_MATCHOVER);
    EXPECT_FALSE(g->slowMotion);
    EXPECT_FLOAT_EQ(g->zoomTarget, 0.0f);

    const float before = g->clock;
    g->step(0.02f);
    EXPECT_FLOAT_EQ(g->clock - before, 0.02f) << "\"Match over!\" runs at full speed";

    // a match left during slow motion does not start the next one zoomed in either
    g->zoomTarget = 1.0f;
    g->event(game::EV_BEGIN, 0);
    EXPECT_FLOAT_EQ(g->zoomTarget, 0.0f);
}

TEST_F(MatchStep, SlowMotionRunsEverythingAtAFractionOfTheStep)
{
    gameobject* mover = new gameobject(g);
    mover->vel = vector3d(100, 0, 0);
    g->state = game::STATE_PLAYING;
    g->slowMotion = true;
    g->pendingEvent = game::EV_IN;
    g->pendingDelay = 1.0f;
    g->clock = 0;
    g_shake = 1.0f;

    g->step(0.02f);

    EXPECT_NEAR(g->clock, 0.0034f, 1e-7f);
    EXPECT_NEAR(mover->pos.x, 0.34f, 1e-5f);
    EXPECT_NEAR(g->pendingDelay, 1.0f - 0.0034f, 1e-6f);
    EXPECT_NEAR(g_shake, 0.9f, 1e-6f) << "the shake fades by 0.1 per step, slow or not";
    EXPECT_FALSE(g->slowMotion) << "nobody is jumping at the net";
    EXPECT_FLOAT_EQ(g->zoomTarget, 0.0f);

    g->step(0.02f);
    EXPECT_NEAR(g->clock, 0.0234f, 1e-6f);
}

TEST_F(MatchStep, DuelAtTheNet)
{
    struct duelCase {
        const char* what;
        float x0, x2;            // x of the team 0 and team 1 jumpers
        bool bothJump;
        float ballX;
        bool atNet;
    } cases[] = {
        { "both jump, ball at 12", -12, 14, true, 12, false },
        { "both jump, ball at 8", -12, 14, true, 8, true },
        { "both jump, ball at -9.9", -1, 1, true, -9.9f, true },
        { "only team 0 jumps", -12, 14, false, 0, false },
        { "team 0 jumper at 15", -15, 14, true, 0, false },
    };
    for (const duelCase& c : cases) {
        SCOPED_TRACE(c.what);
        for (int i = 0; i < 4; i++)
            stand(i, starting_position[i].x, starting_position[i].z);
        jumping(0, c.x0, -10, 0);
        if (c.bothJump)
            jumping(2, c.x2, -10, 0);
        else
            stand(2, c.x2, 0);
        g->theBall->pos = vector3d(c.ballX, -25, 0);
        EXPECT_EQ(g->gameAtNet(), c.atNet);
    }
}

TEST_F(MatchStep, ADuelStartsSlowMotion)
{
    g->state = game::STATE_PLAYING;
    g->possessionTeam = 0;
    g->lastHitter = g->players[0];
    jumping(1, -8, -10, 20);
    jumping(3, 8, -10, -20);
    g->theBall->pos = vector3d(2, -30, 0);
    g->theBall->vel = vector3d();
    g->ballSide = 1;

    g->rallyStep(0.02f);

    EXPECT_TRUE(g->slowMotion);
    EXPECT_FLOAT_EQ(g->zoomTarget, 1.0f);
}

TEST_F(MatchStep, ComingBallSendsTheNearestReceiver)
{
    g->state = game::STATE_PLAYING;
    g->possessionTeam = 0;
    g->theBall->pos = vector3d(20, -30, 0);
    g->theBall->vel = vector3d();
    for (player* p : g->players)
        p->wanted.clear();

    g->retarget();

    // player 3 at (20, 0, -10) is nearer than player 2 at (35, 0, 10)
    ASSERT_EQ(g->players[3]->wanted.size(), 1u);
    EXPECT_EQ(g->players[3]->wanted[0], g->theBall);
    EXPECT_TRUE(g->players[2]->wanted.empty());
    EXPECT_TRUE(g->players[0]->wanted.empty());
}

TEST_F(MatchStep, BallComingDownOutsideIsLetGoOrCalledOut)
{
    // team 1 played it; it drops behind team 0's court
    g->possessionTeam = 1;
    g->theBall->pos = vector3d(-70, -0.5f, 0);
    g->theBall->vel = vector3d();
    for (player* p : g->players)
        p->setWanted(g->theBall);
    g->overNetCheck();
    EXPECT_TRUE(g->players[0]->ignoreBall);
    EXPECT_TRUE(g->players[1]->ignoreBall);
    EXPECT_TRUE(g->players[0]->wanted.empty());
    EXPECT_FALSE(g->players[2]->ignoreBall);
    EXPECT_FLOAT_EQ(g->pendingDelay, 0.0f) << "inside the walls: no call yet";

    // flying toward the back wall: called out at once, before it lands
    g->theBall->pos = vector3d(-100, -30, 0);
    g->theBall->vel = vector3d(-150, 0, 0);
    g->overNetCheck();
    EXPECT_EQ(g->pendingEvent, game::EV_OUT);
    EXPECT_FLOAT_EQ(g->pendingDelay, 2.0f);
    EXPECT_EQ(g->score[1], 1);
    EXPECT_EQ(g->score[0], 0);
}

TEST_F(MatchStep, NoPickupsInClassic)
{
    g->gameMode = 0;
    for (int n = 0; n < 3000; n++)
        g->powerupPhase();
    EXPECT_EQ(pickups(), 0);
}

// A chance of 1 in 500 per step in Arcade and 2 in 500 in Extreme!: over 50 000 steps about
// 100 and 200 pickups (standard deviation 10 and 14; the bounds are 3.5 of them).
TEST_F(MatchStep, PickupRateOfEachMode)
{
    struct { int mode; int low, high; } cases[] = { {1, 65, 135}, {2, 150, 250} };
    for (player* p : g->players)
        p->pos.y = -100;   // out of reach of every pickup
    for (auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode);
        g->gameMode = c.mode;
        int made = 0;
        for (int n = 0; n < 50000; n++) {
            g->powerupPhase();
            // taken away at once, so the test does not slow down with a crowded court
            for (size_t k = g->children.size(); k-- > 0;)
                if (powerupobject* po = dynamic_cast<powerupobject*>(g->children[k])) {
                    made++;
                    delete po;
                }
        }
        EXPECT_GE(made, c.low);
        EXPECT_LE(made, c.high);
    }
}

TEST_F(MatchStep, ThePickupListFollowsTheChildrenAndTheFirstChildWins)
{
    g->gameMode = 0;
    for (int i = 0; i < 4; i++)
        stand(i, starting_position[i].x, starting_position[i].z);
    for (player* p : g->players)
        p->pos.y = -100;   // out of reach until asked
    powerupobject* late = new powerupobject(vector3d(-20, 0, 10.5f), PU_GIANT, 10.0f);
    powerupobject* early = new powerupobject(vector3d(-20, 0, 10), PU_SMALL, 10.0f);
    powerupobject* brief = new powerupobject(vector3d(20, 0, -10), PU_DIZZY, 0.01f);
    g->adopt(late);
    g->adopt(early);
    g->adopt(brief);
    ASSERT_EQ(g->pickups.size(), 3u);
    EXPECT_EQ(g->pickups[0], late);

    g->step(0.02f);   // brief outlives its lifetime and leaves
    EXPECT_EQ(pickups(), 2);
    EXPECT_EQ(g->pickups.size(), 2u);

    // the step's depth order moved early before late among the children: early is taken
    auto at = [&](gameobject* o) { return std::find(g->children.begin(), g->children.end(), o); };
    ASSERT_LT(at(early), at(late));
    stand(1, -20, 10);
    g->powerupPhase();
    ASSERT_NE(g->players[1]->pup, nullptr);
    EXPECT_EQ(g->players[1]->pup->kind, PU_SMALL);
    ASSERT_EQ(g->pickups.size(), 1u);
    EXPECT_EQ(g->pickups[0], late);
}

TEST_F(MatchStep, PickupsAppearOnTheCourtInExtreme)
{
    g->gameMode = 2;
    for (player* p : g->players)
        p->pos.y = -100;   // out of reach of every pickup
    for (int n = 0; n < 3000; n++)
        g->powerupPhase();
    EXPECT_GT(pickups(), 3);
    for (gameobject* c : g->children) {
        powerupobject* po = dynamic_cast<powerupobject*>(c);
        if (!po)
            continue;
        EXPECT_LE(std::fabs(po->pos.x), 60.0f);
        EXPECT_LE(std::fabs(po->pos.z), 25.0f);
        EXPECT_FLOAT_EQ(po->pos.y, 0.0f);
        EXPECT_FLOAT_EQ(po->lifetime, 10.0f);
        EXPECT_GE(static_cast<int>(po->kind), 0);
        EXPECT_LE(static_cast<int>(po->kind), 7);
    }
}

TEST_F(MatchStep, OnePickupPerStepAndTheLowerIndexFirst)
{
    g->gameMode = 0;
    for (int i = 0; i < 4; i++)
        stand(i, starting_position[i].x, starting_position[i].z);
    stand(2, -20, 10);   // on player 1's spot
    gameobject* shared = new powerupobject(vector3d(-20, 0, 10), PU_SPEEDUP, 10.0f);
    g->adopt(shared);
    gameobject* other = new powerupobject(vector3d(20, 0, -10), PU_GIANT, 10.0f);
    g->adopt(other);
    const size_t before = g->children.size();

    g->powerupPhase();

    ASSERT_NE(g->players[1]->pup, nullptr);
    EXPECT_EQ(g->players[1]->pup->kind, PU_SPEEDUP);
    EXPECT_EQ(g->players[2]->pup, nullptr);
    EXPECT_EQ(g->players[3]->pup, nullptr) << "one pickup per step";
    EXPECT_EQ(pickups(), 1);
    EXPECT_EQ(g->children.size(), before - 1 + 300) << "the pickup goes, 300 sparkles come";

    g->powerupPhase();
    ASSERT_NE(g->players[3]->pup, nullptr);
    EXPECT_EQ(g->players[3]->pup->kind, PU_GIANT);
    EXPECT_EQ(pickups(), 0);
}

}
