// Court spots, computer roles, team mates, controllers and the roles a touch hands out.
#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include "ball.h"
#include "game.h"
#include "main.h"
#include "player.h"
#include "random.h"
#include "fixtures.h"
#include "support.h"

namespace {

class MatchRoles : public matchfixture {
protected:
    MatchRoles() : matchfixture(7) {}

    static bool holds(const std::vector<gameobject*>& list, gameobject* o)
    {
        return std::find(list.begin(), list.end(), o) != list.end();
    }
};

TEST_F(MatchRoles, MarkersStandOnTheirSpotsOutsideTheScene)
{
    const vector3d* tables[3] = { starting_position, passing_position, secondary_position };
    for (int i = 0; i < 4; i++) {
        gameobject* markers[3] = { g->homeMarkers[i], g->passMarkers[i], g->supportMarkers[i] };
        const float weights[3] = { 2.0f, 1.5f, 1.5f };
        for (int k = 0; k < 3; k++) {
            SCOPED_TRACE(testing::Message() << "player " << i << " marker " << k);
            EXPECT_FLOAT_EQ(markers[k]->pos.x, tables[k][i].x);
            EXPECT_FLOAT_EQ(markers[k]->pos.y, 0.0f);
            EXPECT_FLOAT_EQ(markers[k]->pos.z, tables[k][i].z);
            EXPECT_FLOAT_EQ(markers[k]->weight, weights[k]);
            EXPECT_EQ(markers[k]->parent, nullptr);
            EXPECT_FALSE(holds(g->children, markers[k]));
        }
        // every spot lies on the player's own half
        EXPECT_LT(starting_position[i].x * (i < 2 ? 1 : -1), 0.0f);
        EXPECT_LT(passing_position[i].x * (i < 2 ? 1 : -1), 0.0f);
    }
}

// The spots as the court is laid out, each pinned to its numbers: home, near the net and
// support, for players 0 and 1 (team 0, x < 0) and 2 and 3 (team 1, x > 0).
TEST_F(MatchRoles, SpotsOfEachPlayer)
{
    const float spots[4][3][2] = {
        // home (x, z)   pass (x, z)   support (x, z)
        {{-35, -10}, {-7, -10}, {-20, 0}},
        {{-20, 10}, {-7, 10}, {-20, -5}},
        {{35, 10}, {7, 10}, {20, 0}},
        {{20, -10}, {7, -10}, {20, 5}},
    };
    const vector3d* tables[3] = { starting_position, passing_position, secondary_position };
    for (int i = 0; i < 4; i++)
        for (int k = 0; k < 3; k++) {
            SCOPED_TRACE(testing::Message() << "player " << i << " spot " << k);
            EXPECT_EQ(tables[k][i].x, spots[i][k][0]);
            EXPECT_EQ(tables[k][i].y, 0.0f);
            EXPECT_EQ(tables[k][i].z, spots[i][k][1]);
        }
    EXPECT_EQ(game::AI_BALL, 0);
    EXPECT_EQ(game::AI_HOME, 1);
    EXPECT_EQ(game::AI_SUPPORT, 2);
}

TEST_F(MatchRoles, BallRoleTakesTheBallFromTheMate)
{
    g->players[3]->setWanted(g->theBall);
    g->players[3]->setWanted(g->passMarkers[3]);
    g->players[2]->setRepelled(g->players[0]);
    g->players[2]->setWanted(g->homeMarkers[2]);

    g->setPlayerAI(2, game::AI_BALL);

    ASSERT_EQ(g->players[2]->wanted.size(), 1u);
    EXPECT_EQ(g->players[2]->wanted[0], g->theBall);
    EXPECT_TRUE(g->players[2]->repelled.empty());
    EXPECT_FALSE(holds(g->players[3]->wanted, g->theBall));
    EXPECT_TRUE(holds(g->players[3]->wanted, g->passMarkers[3])) << "the mate keeps the rest";
    ASSERT_EQ(g->players[3]->repelled.size(), 1u);
    EXPECT_EQ(g->players[3]->repelled[0], g->players[2]);

    g->setPlayerAI(2, game::AI_BALL);
    EXPECT_EQ(g->players[3]->repelled.size(), 1u) << "never listed twice";
}

TEST_F(MatchRoles, HomeRoleWantsTheHomeSpotAndAvoidsTheMate)
{
    g->setPlayerAI(1, game::AI_HOME);
    ASSERT_EQ(g->players[1]->wanted.size(), 1u);
    EXPECT_EQ(g->players[1]->wanted[0], g->homeMarkers[1]);
    EXPECT_FLOAT_EQ(g->players[1]->wanted[0]->pos.x, -20.0f);
    EXPECT_FLOAT_EQ(g->players[1]->wanted[0]->pos.z, 10.0f);
    ASSERT_EQ(g->players[1]->repelled.size(), 1u);
    EXPECT_EQ(g->players[1]->repelled[0], g->players[0]);
}

TEST_F(MatchRoles, SupportRoleMostlyMovesUpToTheNet)
{
    bool sawPass = false, sawSupport = false;
    for (unsigned seed = 1; seed <= 30; seed++) {
        seedDiscrete(seed);
        const bool pass = randDiscrete() % 3 > 0;
        seedDiscrete(seed);
        g->setPlayerAI(3, game::AI_SUPPORT);
        ASSERT_EQ(g->players[3]->wanted.size(), 1u);
        gameobject* target = g->players[3]->wanted[0];
        EXPECT_EQ(target, pass ? g->passMarkers[3] : g->supportMarkers[3]) << "seed " << seed;
        EXPECT_TRUE(g->players[3]->repelled.empty());
        (pass ? sawPass : sawSupport) = true;
    }
    EXPECT_TRUE(sawPass);
    EXPECT_TRUE(sawSupport);
    EXPECT_FLOAT_EQ(g->passMarkers[3]->pos.x, 7.0f);
    EXPECT_FLOAT_EQ(g->supportMarkers[3]->pos.z, 5.0f);
}

TEST_F(MatchRoles, UnknownRoleOrPlayerLeavesListsAlone)
{
    g->players[0]->setWanted(g->theBall);
    g->players[0]->setRepelled(g->players[1]);
    g->setPlayerAI(0, static_cast<game::aitype>(7));
    EXPECT_TRUE(g->players[0]->wanted.empty());
    EXPECT_TRUE(g->players[0]->repelled.empty());

    g->players[3]->setWanted(g->theBall);
    g->setPlayerAI(-1, game::AI_BALL);
    g->setPlayerAI(4, game::AI_HOME);
    EXPECT_EQ(g->players[3]->wanted.size(), 1u);
}

TEST_F(MatchRoles, ClosestPlayerOfATeam)
{
    struct closeCase {
        int team;
        vector3d ball;
        vector3d first, second;
        int expected;
    } cases[] = {
        { 0, vector3d(-30, -10, 0), vector3d(-30, 0, 0), vector3d(-30, 0, 20), 0 },
        { 0, vector3d(-30, -10, 0), vector3d(-30, 0, -10), vector3d(-30, 0, 10), 1 },   // tie
        { 1, vector3d(30, -10, 0), vector3d(30, 0, -10), vector3d(30, 0, 10), 3 },      // tie
        { 1, vector3d(30, -10, 9), vector3d(30, 0, 10), vector3d(30, 0, -10), 2 },
        { 1, vector3d(30, -30, 0), vector3d(30, 0, 0), vector3d(30, -25, 6), 3 },       // height counts
    };
    for (const closeCase& c : cases) {
        g->theBall->pos = c.ball;
        g->players[2 * c.team]->pos = c.first;
        g->players[2 * c.team + 1]->pos = c.second;
        EXPECT_EQ(g->getClosestPlayer(c.team), c.expected) << "team " << c.team;
    }
    EXPECT_EQ(g->getClosestPlayer(2), -1);
}

TEST_F(MatchRoles, OtherPlayerIsTheTeamMate)
{
    const int mates[4] = { 1, 0, 3, 2 };
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(g->getOtherPlayer(g->players[i]), g->players[mates[i]]) << i;

    player stranger(1, 3);
    EXPECT_EQ(g->getOtherPlayer(&stranger), g->players[0]);
    EXPECT_EQ(g->getOtherPlayer(nullptr), g->players[0]);
}

TEST_F(MatchRoles, ControllerMakesAPlayerHumanAndNullGivesItBack)
{
    controller pad;
    g->setController(2, &pad);
    EXPECT_EQ(g->players[2]->ctrl, &pad);
    EXPECT_EQ(g->players[3]->ctrl, &g->players[3]->ownCtrl);

    g->players[2]->ownCtrl.button[0] = true;
    g->players[2]->ownCtrl.axisX = 20000;
    g->setController(2, nullptr);
    EXPECT_EQ(g->players[2]->ctrl, &g->players[2]->ownCtrl);
    EXPECT_FALSE(g->players[2]->ownCtrl.button[0]);
    EXPECT_EQ(g->players[2]->ownCtrl.axisX, 0);

    g->setController(4, &pad);
    g->setController(-1, &pad);
    for (player* p : g->players)
        EXPECT_EQ(p->ctrl, &p->ownCtrl);
}

TEST_F(MatchRoles, TouchesHandOutRoles)
{
    struct touchCase {
        int touchesBefore, possession, toucher;
        int touchesAfter;
        bool mateChases;          // else the mate goes home
        bool opponentsChase;      // player 2 * other + 1 ends up chasing
        int mateMode;             // -1: 1 or 2
    } cases[] = {
        { 0, 0, 1, 1, true, false, -1 },
        { 1, 0, 1, 2, true, false, 2 },
        { 2, 0, 1, 3, false, true, -1 },
        { 3, 0, 1, 4, false, false, -1 },
        { 2, 1, 0, 1, true, false, -1 },   // the ball came from the other side: touches restart
        { 1, 1, 2, 2, true, false, 2 },
    };
    for (const touchCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "touches " << c.touchesBefore << " toucher " << c.toucher);
        for (player* p : g->players) {
            p->wanted.clear();
            p->repelled.clear();
            p->aiMode = 1;
            p->ignoreBall = true;
        }
        g->touches = c.touchesBefore;
        g->possessionTeam = c.possession;
        const int team = c.toucher / 2;
        const int mate = game::mateOf(c.toucher);
        const int otherTeam = 1 - team;

        g->ballIsHit(c.toucher);

        EXPECT_EQ(g->touches, c.touchesAfter);
        EXPECT_EQ(g->possessionTeam, team);
        EXPECT_EQ(g->lastHitter, g->players[c.toucher]);
        EXPECT_EQ(g->lastHitterIndex, c.toucher);
        EXPECT_EQ(g->players[c.toucher]->aiMode, 0);
        EXPECT_FALSE(g->players[mate]->ignoreBall);
        if (c.mateMode >= 0)
            EXPECT_EQ(g->players[mate]->aiMode, c.mateMode);
        else
            EXPECT_TRUE(g->players[mate]->aiMode == 1 || g->players[mate]->aiMode == 2);
        // the toucher goes home, or on a first touch may move up; it keeps clear of its mate
        const player* t = g->players[c.toucher];
        ASSERT_EQ(t->wanted.size(), 1u);
        if (t->wanted[0] != g->homeMarkers[c.toucher]) {
            EXPECT_EQ(c.touchesAfter, 1) << "only a first touch sends the toucher up";
            EXPECT_TRUE(t->wanted[0] == g->passMarkers[c.toucher] ||
                        t->wanted[0] == g->supportMarkers[c.toucher]);
        }
        ASSERT_EQ(t->repelled.size(), 1u);
        EXPECT_EQ(t->repelled[0], g->players[mate]);
        if (c.mateChases) {
            EXPECT_TRUE(holds(g->players[mate]->wanted, g->theBall));
        } else {
            ASSERT_EQ(g->players[mate]->wanted.size(), 1u);
            EXPECT_EQ(g->players[mate]->wanted[0], g->homeMarkers[mate]);
        }
        EXPECT_EQ(holds(g->players[2 * otherTeam + 1]->wanted, g->theBall), c.opponentsChase);
        EXPECT_FALSE(holds(g->players[2 * otherTeam]->wanted, g->theBall));
    }
}

TEST_F(MatchRoles, TouchByAnUnknownPlayerIsIgnored)
{
    g->touches = 1;
    g->ballIsHit(4);
    g->ballIsHit(-1);
    EXPECT_EQ(g->touches, 1);
    EXPECT_EQ(g->lastHitter, nullptr);
}

}
