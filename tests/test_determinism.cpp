// The match is a pure function of its start (settings and both generators) and the controller
// states per step: the same start plays out the same, and drawing changes nothing.
#include <cstdio>
#include <string>
#include <vector>
#include <gtest/gtest.h>
#include "game.h"
#include "main.h"
#include "player.h"
#include "random.h"
#include "support.h"

namespace {

const float STEP = 0.02f;

// what a match did: its calls and state changes by step, its hashes once per rally
struct trace {
    std::vector<std::string> events;
    std::vector<unsigned long long> hashes;
    int score[2] = { 0, 0 };
    int rounds[2] = { 0, 0 };
};

std::string describe(int step, const game& g)
{
    char line[128];
    snprintf(line, sizeof line, "step %d: call %d (%s), state %d, score %d-%d, rounds %d-%d", step,
             g.pendingEvent, g.pendingDelay > 0 ? "up" : "down", g.state, g.score[0], g.score[1],
             g.roundsWon[0], g.roundsWon[1]);
    return line;
}

// a computer-only Extreme! match of short rounds from seed, stepped steps times, with the
// computer at level
trace play(unsigned long long seed, int steps, bool draw, int debugParticles,
           int level = DIFF_NORMAL)
{
    seedGenerators(seedsFromNumber(seed));
    game* g = new game();
    g_thegame = g;
    g->gameMode = 2;
    g->setDifficulty(level);
    g->debugParticles = debugParticles;
    trace t;
    std::string last;
    long long rally = -1;
    for (int i = 0; i < steps; i++) {
        if (draw) {
            beginFrame();
            g->draw();
            postprocess();
        }
        g->step(STEP);
        const std::string now = describe(i, *g);
        if (now.substr(now.find(':')) != (last.empty() ? "" : last.substr(last.find(':'))))
            t.events.push_back(now);
        last = now;
        const long long key = ((g->score[0] * 64 + g->score[1]) * 4 + g->roundsWon[0]) * 4 +
                              g->roundsWon[1];
        if (key != rally) {
            rally = key;
            t.hashes.push_back(g->stateHash());
        }
    }
    t.hashes.push_back(g->stateHash());
    for (int k = 0; k < 2; k++) {
        t.score[k] = g->score[k];
        t.rounds[k] = g->roundsWon[k];
    }
    g_thegame = nullptr;
    delete g;
    return t;
}

class Determinism : public ::testing::Test {
protected:
    int savedWinscore = 8;
    void SetUp() override
    {
        ASSERT_TRUE(testsupport::openGLContext()) << "needs a display, e.g. xvfb-run";
        testsupport::openConfig();
        savedWinscore = WINSCORE;
        WINSCORE = 3;
    }
    void TearDown() override { WINSCORE = savedWinscore; }
};

void expectSame(const trace& a, const trace& b)
{
    ASSERT_EQ(a.events.size(), b.events.size());
    for (size_t i = 0; i < a.events.size(); i++)
        ASSERT_EQ(a.events[i], b.events[i]) << "event " << i;
    ASSERT_EQ(a.hashes, b.hashes);
    EXPECT_EQ(a.score[0], b.score[0]);
    EXPECT_EQ(a.score[1], b.score[1]);
    EXPECT_EQ(a.rounds[0], b.rounds[0]);
    EXPECT_EQ(a.rounds[1], b.rounds[1]);
}

}

TEST_F(Determinism, SameStartPlaysTheSameMatch)
{
    // four minutes of play: computer rallies can last a minute, so this holds several
    // rallies, calls and power-ups whatever the rules' draws turn out to be
    const int steps = 12000;
    const trace a = play(7, steps, false, 0);
    const trace b = play(7, steps, false, 0);
    ASSERT_GE(a.hashes.size(), 4u) << "too few rallies to tell anything";
    expectSame(a, b);

    // and the trace does see a different start
    const trace c = play(8, steps, false, 0);
    EXPECT_NE(a.hashes, c.hashes);
    EXPECT_NE(a.events, c.events);
    printf("[ match    ] %zu calls and changes, %zu rallies hashed, score %d-%d\n",
           a.events.size(), a.hashes.size() - 1, a.score[0], a.score[1]);
}

TEST_F(Determinism, DrawingFeedsNothingBack)
{
    // test particles (F1) land on the sand and draw from the generators: they must be
    // thrown by the step, the same whether frames are drawn or not
    const int steps = 150;
    const trace drawn = play(11, steps, true, 30);
    const trace headless = play(11, steps, false, 30);
    expectSame(drawn, headless);
}

// The computer at Normal is the computer player as it was before levels existed: this
// seeded match ends on the hash it had then. Easy and Hard play another match, the same one
// each time they are played.
TEST_F(Determinism, NormalLevelKeepsTheOldHashesAndEveryLevelRepeats)
{
    const trace normal = play(7, 12000, false, 0, DIFF_NORMAL);
    ASSERT_EQ(normal.hashes.size(), 10u);
    EXPECT_EQ(normal.hashes.back(), 0xbe4b7caf43448f60ULL);
    for (int level : { DIFF_EASY, DIFF_HARD }) {
        SCOPED_TRACE(level);
        const trace a = play(7, 3000, false, 0, level);
        const trace b = play(7, 3000, false, 0, level);
        expectSame(a, b);
        EXPECT_NE(a.events, play(7, 3000, false, 0, DIFF_NORMAL).events);
    }
}
