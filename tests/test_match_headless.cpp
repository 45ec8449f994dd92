// Four computer players play whole matches at the fixed step, without drawing.
// TIBREL_MATCHES sets how many matches the long run plays in a row (default 12).
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <gtest/gtest.h>
#include "ball.h"
#include "game.h"
#include "main.h"
#include "particle.h"
#include "player.h"
#include "powerup.h"
#include "random.h"
#include "support.h"

#if defined(__SANITIZE_ADDRESS__)
#define UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define UNDER_ASAN 1
#endif
#endif

namespace {

const float STEP = 0.02f;
// computer rallies of 40 touches and 80 s happen; ten minutes without a call is a stuck ball
const int RALLY_LIMIT = 30000;
const int MATCH_LIMIT = 1000000;

struct matchRecord {
    int steps = 0;
    int rallies = 0;          // serves struck
    int points[2] = { 0, 0 };
    int rounds = 0;
    int badRounds = 0;        // rounds won without WINSCORE or without a lead of two
    int longestRally = 0;     // steps from a struck serve to the next serve
    bool announced = false;   // "Match over!" was pending before the match ended
    bool over = false;
    int winner = -1;
};

int treeSize(gameobject* o)
{
    int n = 1;
    for (gameobject* c : o->children)
        n += treeSize(c);
    return n;
}

// objects that are not short-lived effects: the scene proper
int sceneSize(gameobject* o)
{
    if (dynamic_cast<particle*>(o) || dynamic_cast<powerupobject*>(o))
        return 0;
    int n = 1;
    for (gameobject* c : o->children)
        n += sceneSize(c);
    return n;
}

long residentKiB()
{
    FILE* f = fopen("/proc/self/statm", "r");
    if (!f)
        return -1;
    long size = 0, resident = 0;
    int got = fscanf(f, "%ld %ld", &size, &resident);
    fclose(f);
    return got == 2 ? resident * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}

matchRecord playMatch(game* g)
{
    matchRecord r;
    g->event(game::EV_BEGIN, 0);
    int prevScore[2] = { 0, 0 };
    int prevRounds[2] = { 0, 0 };
    int sinceServe = 0;
    game::gamestate prevState = g->state;

    while (r.steps < MATCH_LIMIT && g->state != game::STATE_MATCHOVER) {
        g->step(STEP);
        r.steps++;
        sinceServe++;

        if (prevState == game::STATE_SERVING && g->state == game::STATE_PLAYING) {
            r.rallies++;
            sinceServe = 0;
        }
        if (g->state == game::STATE_PLAYING && sinceServe > r.longestRally)
            r.longestRally = sinceServe;
        if (g->state == game::STATE_PLAYING && sinceServe > RALLY_LIMIT)
            break;
        prevState = g->state;

        for (int t = 0; t < 2; t++) {
            if (g->score[t] > prevScore[t])
                r.points[t] += g->score[t] - prevScore[t];
            if (g->roundsWon[t] > prevRounds[t]) {
                r.rounds++;
                const int lead = g->score[t] - g->score[1 - t];
                if (g->score[t] < WINSCORE || lead < 2)
                    r.badRounds++;
            }
            prevScore[t] = g->score[t];
            prevRounds[t] = g->roundsWon[t];
        }
        if (g->pendingEvent == game::EV_MATCHOVER && g->pendingDelay > 0)
            r.announced = true;
    }
    r.over = g->state == game::STATE_MATCHOVER;
    if (r.over)
        r.winner = g->roundsWon[0] == 2 ? 0 : (g->roundsWon[1] == 2 ? 1 : -1);
    return r;
}

class HeadlessMatch : public ::testing::Test {
protected:
    game* g = nullptr;
    int savedWinscore = 8;

    void SetUp() override
    {
        ASSERT_TRUE(testsupport::openGLContext()) << "needs a display, e.g. xvfb-run";
        testsupport::openConfig();
        savedWinscore = WINSCORE;
        init_genrand(2024);
        seedDiscrete(2024);
        g = new game();
        g_thegame = g;
    }

    void TearDown() override
    {
        g_thegame = nullptr;
        delete g;
        WINSCORE = savedWinscore;
    }
};

TEST_F(HeadlessMatch, ComputerPlayersPlayAFullMatch)
{
    WINSCORE = 8;
    g->gameMode = 1;
    const matchRecord r = playMatch(g);

    ASSERT_TRUE(r.over) << "after " << r.steps << " steps, longest rally " << r.longestRally;
    EXPECT_TRUE(r.announced) << "\"Match over!\" is shown during the last delay";
    ASSERT_NE(r.winner, -1);
    EXPECT_STREQ(g->pointCall(r.winner), "Winner!");
    EXPECT_LE(g->roundsWon[1 - r.winner], 1);
    EXPECT_GE(r.rounds, 2);
    EXPECT_LE(r.rounds, 3);
    EXPECT_EQ(r.badRounds, 0);
    EXPECT_GE(r.points[r.winner], 2 * WINSCORE);
    EXPECT_GE(r.rallies, r.points[0] + r.points[1]) << "every point follows a struck serve";
    for (player* p : g->players) {
        EXPECT_TRUE(p->ignoreBall);
        EXPECT_TRUE(p->wanted.empty());
    }

    // nothing is judged after the end: the score stands
    const int s0 = g->score[0], s1 = g->score[1];
    for (int i = 0; i < 500; i++)
        g->step(STEP);
    EXPECT_EQ(g->score[0], s0);
    EXPECT_EQ(g->score[1], s1);
    EXPECT_EQ(g->state, game::STATE_MATCHOVER);

    printf("[ match    ] WINSCORE 8: %d steps (%.0f s of play), %d rallies, points %d-%d, rounds %d\n",
           r.steps, r.steps * STEP, r.rallies, r.points[0], r.points[1], r.rounds);
}

TEST_F(HeadlessMatch, ManyMatchesInARowKeepTheSceneAndMemoryFlat)
{
    int matches = 12;
    if (const char* env = getenv("TIBREL_MATCHES"))
        matches = atoi(env) > 0 ? atoi(env) : matches;
    WINSCORE = 3;

    const int scene = sceneSize(g);
    long rssAfterWarmUp = -1;
    int biggestTree = 0;
    long totalSteps = 0, totalRallies = 0, totalPoints = 0;
    int pointsByTeam[2] = { 0, 0 };
    int wins[2] = { 0, 0 };

    for (int m = 0; m < matches; m++) {
        g->gameMode = m % 3;   // Classic, Arcade and Extreme! in turn
        const matchRecord r = playMatch(g);
        ASSERT_TRUE(r.over) << "match " << m << " after " << r.steps << " steps, longest rally "
                            << r.longestRally;
        ASSERT_NE(r.winner, -1);
        EXPECT_EQ(r.badRounds, 0) << "match " << m;
        wins[r.winner]++;
        totalSteps += r.steps;
        totalRallies += r.rallies;
        totalPoints += r.points[0] + r.points[1];
        pointsByTeam[0] += r.points[0];
        pointsByTeam[1] += r.points[1];

        // the match is over: the ball settles, dust falls, pickups expire
        for (int i = 0; i < 600; i++)
            g->step(STEP);
        EXPECT_EQ(sceneSize(g), scene) << "match " << m;
        const int tree = treeSize(g);
        if (tree > biggestTree)
            biggestTree = tree;
        if (m == 1)
            rssAfterWarmUp = residentKiB();
    }
    const long rssAtEnd = residentKiB();

    EXPECT_GT(pointsByTeam[0], 0);
    EXPECT_GT(pointsByTeam[1], 0);
    EXPECT_LT(biggestTree, scene + 2000) << "effects die away between matches";
#ifndef UNDER_ASAN
    // the allocator's quarantine makes resident memory meaningless under the sanitizer
    if (matches > 2 && rssAfterWarmUp > 0) {
        EXPECT_LT(rssAtEnd - rssAfterWarmUp, 16 * 1024) << "KiB grown after the second match";
    }
#endif

    printf("[ matches  ] %d matches at WINSCORE %d: wins %d-%d, points %d-%d\n", matches, WINSCORE,
           wins[0], wins[1], pointsByTeam[0], pointsByTeam[1]);
    printf("[ matches  ] per match: %.1f rallies, %.1f points, %.0f steps (%.0f s of play)\n",
           double(totalRallies) / matches, double(totalPoints) / matches,
           double(totalSteps) / matches, double(totalSteps) / matches * STEP);
    printf("[ matches  ] scene %d objects, largest tree %d, resident %ld KiB after match 2, %ld KiB at "
           "the end\n", scene, biggestTree, rssAfterWarmUp, rssAtEnd);
}

}
