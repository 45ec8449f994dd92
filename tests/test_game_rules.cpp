// Scoring, rounds, the in/out call, pending events and the rally reset of the match.
#include <cstdlib>
#include <map>
#include <string>
#include <SDL/SDL_mixer.h>
#include <gtest/gtest.h>
#include "ball.h"
#include "game.h"
#include "main.h"
#include "net.h"
#include "player.h"
#include "playfield.h"
#include "random.h"
#include "sound.h"
#include "fixtures.h"
#include "support.h"

namespace {

class MatchRules : public matchfixture {
protected:
    MatchRules() : matchfixture(4242) {}

    void SetUp() override
    {
        matchfixture::SetUp();
        WINSCORE = 8;
    }
};

TEST_F(MatchRules, ConstructionBuildsTheSceneForTeamZerosServe)
{
    ASSERT_EQ(g->children.size(), 7u);
    EXPECT_EQ(g->children[0], static_cast<gameobject*>(g->theNet));
    EXPECT_EQ(g->children[1], static_cast<gameobject*>(g->theField));
    EXPECT_EQ(g->children[2], static_cast<gameobject*>(g->theBall));
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(g->children[3 + i], static_cast<gameobject*>(g->players[i]));
        EXPECT_EQ(g->players[i]->parent, g);
        EXPECT_EQ(g->players[i]->theBall, g->theBall);
        EXPECT_EQ(g->players[i]->theField, g->theField);
        EXPECT_TRUE(g->players[i]->bounded);
        EXPECT_FLOAT_EQ(g->players[i]->bounds.center.x, i < 2 ? -60.0f : 60.0f);
        EXPECT_FLOAT_EQ(g->players[i]->pos.x, starting_position[i].x);
        EXPECT_FLOAT_EQ(g->players[i]->pos.z, starting_position[i].z);
    }
    EXPECT_FLOAT_EQ(g->theNet->box.size.y, 18.0f);
    EXPECT_FLOAT_EQ(g->theNet->box.center.y, -9.0f);
    EXPECT_TRUE(g->theBall->bounded);
    EXPECT_EQ(g->theBall->theField, g->theField);
    EXPECT_FLOAT_EQ(g->theBall->pos.x, -35.0f);
    EXPECT_FLOAT_EQ(g->theBall->pos.y, -40.0f);
    EXPECT_FLOAT_EQ(g->theBall->pos.z, -10.0f);
    EXPECT_EQ(g->state, game::STATE_SERVING);
    EXPECT_EQ(g->servingTeam, 0);
    EXPECT_EQ(g->lastHitterIndex, -1);
    EXPECT_FLOAT_EQ(g->camXTarget, 15.0f);
}

struct roundCase {
    int before0, before1, scorer;
    bool roundWon;
};

TEST_F(MatchRules, RoundNeedsWinscoreAndALeadOfTwo)
{
    const roundCase cases[] = {
        { 7, 6, 0, true },    // 8-6
        { 7, 7, 0, false },   // 8-7
        { 8, 7, 0, true },    // 9-7
        { 9, 9, 0, false },   // 10-9
        { 10, 9, 0, true },   // 11-9
        { 6, 7, 1, true },    // 6-8 for team 1
        { 5, 6, 1, false },   // 5-7: a lead of two but short of 8
        { 8, 8, 1, false },   // 8-9
    };
    for (const roundCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.before0 << "-" << c.before1 << " scorer " << c.scorer);
        g->score[0] = c.before0;
        g->score[1] = c.before1;
        g->roundsWon[0] = g->roundsWon[1] = 0;
        g->pendingDelay = 0;
        g->pendingEvent = game::EV_NONE;
        g_shake = 0;

        g->teamScore(c.scorer);

        EXPECT_EQ(g->servingTeam, c.scorer);
        EXPECT_EQ(g->roundsWon[c.scorer], c.roundWon ? 1 : 0);
        EXPECT_EQ(g->roundsWon[1 - c.scorer], 0);
        if (c.roundWon) {
            EXPECT_EQ(g->pendingEvent, game::EV_ROUNDOVER);
            EXPECT_FLOAT_EQ(g->pendingDelay, 4.0f);
            EXPECT_FLOAT_EQ(g_shake, 0.0f) << "a round win does not shake";
        } else {
            EXPECT_EQ(g->pendingEvent, game::EV_NONE);
            EXPECT_FLOAT_EQ(g_shake, 3.0f);
        }
    }
}

TEST_F(MatchRules, SecondRoundWinsTheMatch)
{
    g->roundsWon[0] = 1;
    g->roundsWon[1] = 1;
    g->score[0] = 2;
    g->score[1] = 7;
    g->teamScore(1);
    EXPECT_EQ(g->roundsWon[1], 2);
    EXPECT_EQ(g->pendingEvent, game::EV_MATCHOVER);
    EXPECT_FLOAT_EQ(g->pendingDelay, 4.0f);

    g->players[2]->setWanted(g->theBall);
    g->event(game::EV_MATCHOVER, 0);
    EXPECT_EQ(g->state, game::STATE_MATCHOVER);
    EXPECT_FLOAT_EQ(g->pendingDelay, 0.0f);
    for (player* p : g->players) {
        EXPECT_TRUE(p->ignoreBall);
        EXPECT_TRUE(p->wanted.empty());
    }
    EXPECT_STREQ(g->pointCall(1), "Winner!");
    EXPECT_STREQ(g->pointCall(0), "");
}

// What the board says under each score (rounds of 8 points, two rounds win the match).
TEST_F(MatchRules, TheBoardCallsThePointThatCouldDecide)
{
    struct row {
        int score0, score1, rounds0, rounds1;
        game::gameevent pending;   // a call still up, or EV_NONE
        const char* call0;
        const char* call1;
    } rows[] = {
        { 0, 0, 0, 0, game::EV_NONE, "", "" },
        { 7, 5, 0, 0, game::EV_NONE, "Round point", "" },
        { 7, 7, 0, 0, game::EV_NONE, "", "" },                  // the next point leads by one
        { 7, 6, 0, 0, game::EV_NONE, "Round point", "" },
        { 6, 7, 1, 0, game::EV_NONE, "", "Round point" },
        { 7, 5, 1, 1, game::EV_NONE, "Match point", "" },
        { 9, 10, 0, 1, game::EV_NONE, "", "Match point" },      // past 8, a lead of two wins
        { 10, 10, 1, 1, game::EV_NONE, "", "" },
        { 7, 5, 1, 0, game::EV_OUT, "Match point", "" },        // an ordinary call: still at stake
        { 8, 5, 0, 0, game::EV_ROUNDOVER, "", "" },             // the round's end is being called
        { 0, 0, 2, 1, game::EV_NONE, "Winner!", "" },
    };
    for (const row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.score0 << "-" << r.score1 << " rounds " << r.rounds0
                                        << "-" << r.rounds1 << " call " << r.pending);
        g->score[0] = r.score0;
        g->score[1] = r.score1;
        g->roundsWon[0] = r.rounds0;
        g->roundsWon[1] = r.rounds1;
        g->pendingEvent = r.pending;
        g->pendingDelay = r.pending == game::EV_NONE ? 0.0f : 2.0f;
        EXPECT_STREQ(g->pointCall(0), r.call0);
        EXPECT_STREQ(g->pointCall(1), r.call1);
    }
    g->state = game::STATE_MATCHOVER;
    g->roundsWon[0] = 1;
    g->score[0] = 7;
    g->score[1] = 0;
    g->pendingDelay = 0;
    EXPECT_STREQ(g->pointCall(0), "") << "nothing is at stake once the match is over";
}

TEST_F(MatchRules, RoundOverClearsScoresButKeepsRoundsAndBeginClearsBoth)
{
    g->score[0] = 3;
    g->score[1] = 7;
    g->teamScore(1);
    ASSERT_EQ(g->pendingEvent, game::EV_ROUNDOVER);
    g->event(game::EV_ROUNDOVER, 0);
    EXPECT_EQ(g->score[0], 0);
    EXPECT_EQ(g->score[1], 0);
    EXPECT_EQ(g->roundsWon[1], 1);
    EXPECT_EQ(g->state, game::STATE_SERVING);
    EXPECT_EQ(g->servingTeam, 1) << "the round's winner serves";
    EXPECT_FLOAT_EQ(g->pendingDelay, 0.0f);

    g->score[0] = 4;
    g->event(game::EV_BEGIN, 0);
    EXPECT_EQ(g->score[0], 0);
    EXPECT_EQ(g->roundsWon[0], 0);
    EXPECT_EQ(g->roundsWon[1], 0);
    EXPECT_EQ(g->state, game::STATE_SERVING);
}

struct callCase {
    const char* what;
    float x, z;
    bool touched;
    int possession;
    game::gameevent shown;
    int scorer;   // -1 nobody
};

TEST_F(MatchRules, OutCallJudgesWhereTheBallCameDown)
{
    const callCase cases[] = {
        { "in the air over team 0", -30, 0, false, 1, game::EV_OUT, 1 },
        { "in the air over team 1", 30, 0, false, 0, game::EV_OUT, 0 },
        { "down inside team 0's court", -30, 0, true, 1, game::EV_IN, 1 },
        { "down inside team 1's court", 59, 24, true, 0, game::EV_IN, 0 },
        { "behind team 0, team 1 touched last", -70, 0, true, 1, game::EV_OUT, 0 },
        { "behind team 0, team 0 touched last", -70, 0, true, 0, game::EV_OUT, 1 },
        { "behind team 1, team 0 touched last", 70, 0, true, 0, game::EV_OUT, 1 },
        { "behind team 1, team 1 touched last", 70, 0, true, 1, game::EV_OUT, 0 },
        { "wide of team 0's court", -30, 25, true, 1, game::EV_OUT, 0 },
        { "on team 0's baseline", -60, 0, true, 1, game::EV_OUT, 0 },
        { "exactly under the net", 0, 0, true, 0, game::EV_OUT, -1 },
    };
    for (const callCase& c : cases) {
        SCOPED_TRACE(c.what);
        g->pendingDelay = 0;
        g->score[0] = g->score[1] = 0;
        g->theBall->pos = vector3d(c.x, -2.4f, c.z);
        g->theBall->touchedGround = c.touched;
        g->possessionTeam = c.possession;

        g->event(game::EV_OUT, 2.0f);

        EXPECT_EQ(g->pendingEvent, c.shown);
        EXPECT_FLOAT_EQ(g->pendingDelay, 2.0f);
        EXPECT_EQ(g->score[0], c.scorer == 0 ? 1 : 0);
        EXPECT_EQ(g->score[1], c.scorer == 1 ? 1 : 0);
    }
}

TEST_F(MatchRules, OnlyTheFirstCallOfARallyCounts)
{
    g->theBall->pos = vector3d(30, -2.4f, 0);
    g->theBall->touchedGround = true;
    g->event(game::EV_OUT, 2.0f);
    ASSERT_EQ(g->score[0], 1);
    g->pendingDelay = 1.3f;   // part of the delay has run

    g->possessionTeam = 0;
    g->event(game::EV_TOOMANYHITS, 2.5f);
    g->theBall->pos = vector3d(-30, -2.4f, 0);
    g->event(game::EV_OUT, 2.0f);

    EXPECT_EQ(g->score[0], 1);
    EXPECT_EQ(g->score[1], 0);
    EXPECT_EQ(g->pendingEvent, game::EV_IN);
    EXPECT_FLOAT_EQ(g->pendingDelay, 1.3f);
}

TEST_F(MatchRules, TooManyHitsAndNetGiveThePointToTheOtherSide)
{
    const game::gameevent faults[] = { game::EV_TOOMANYHITS, game::EV_NET };
    for (game::gameevent e : faults) {
        for (int team = 0; team < 2; team++) {
            g->pendingDelay = 0;
            g->score[0] = g->score[1] = 0;
            g->possessionTeam = team;
            g->event(e, 2.5f);
            EXPECT_EQ(g->score[1 - team], 1) << "event " << e << " team " << team;
            EXPECT_EQ(g->score[team], 0);
            EXPECT_EQ(g->pendingEvent, e);
        }
    }
}

TEST_F(MatchRules, RallyResetAfterTeamOneScoresPreparesTeamOnesServe)
{
    g->theBall->pos = vector3d(40, -2.4f, 3);
    g->theBall->touchedGround = true;
    g->possessionTeam = 0;
    g->state = game::STATE_PLAYING;
    for (int i = 0; i < 4; i++) {
        g->players[i]->pos = vector3d(5.0f * i, -3, 1);
        g->players[i]->aiMode = 0;
        g->players[i]->setWanted(g->theBall);
        g->players[i]->setWanted(g->homeMarkers[i]);
        g->players[i]->setWanted(g->passMarkers[i]);
    }
    g->event(game::EV_OUT, 2.0f);   // in team 1's court: team 0 scores
    g->possessionTeam = 1;
    g->servingTeam = 1;             // as if team 1 had scored instead
    g->lastHitter = g->players[3];
    g->lastHitterIndex = 3;

    g->event(g->pendingEvent, 0);

    for (int i = 0; i < 4; i++) {
        SCOPED_TRACE(i);
        const player* p = g->players[i];
        EXPECT_FLOAT_EQ(p->pos.x, starting_position[i].x);
        EXPECT_FLOAT_EQ(p->pos.y, 0.0f);
        EXPECT_FLOAT_EQ(p->pos.z, starting_position[i].z);
        EXPECT_EQ(p->aiMode, 1);
        ASSERT_EQ(p->wanted.size(), 1u) << "only the ball and the home marker are taken out";
        EXPECT_EQ(p->wanted[0], g->passMarkers[i]);
    }
    EXPECT_FLOAT_EQ(g->theBall->pos.x, -35.0f);
    EXPECT_FLOAT_EQ(g->theBall->pos.y, -40.0f);
    EXPECT_FLOAT_EQ(g->theBall->pos.z, -10.0f);
    EXPECT_FALSE(g->theBall->touchedGround);
    EXPECT_FLOAT_EQ(g->camXTarget, -15.0f);
    EXPECT_EQ(g->state, game::STATE_SERVING);
    EXPECT_EQ(g->possessionTeam, 1);
    EXPECT_EQ(g->lastHitter, nullptr);
    EXPECT_EQ(g->lastHitterIndex, -1);
    EXPECT_EQ(g->touches, 0);
    EXPECT_FLOAT_EQ(g->serveTimer, 1.0f);
    EXPECT_FLOAT_EQ(g->pendingDelay, 0.0f);
    EXPECT_EQ(g->ballSide, 0);
}

TEST_F(MatchRules, SideChangeSendsTheReceiversNearerPlayer)
{
    struct sideCase {
        float ballX, ballZ, z0, z1;   // z of the receiving team's first and second player
        int chaser;
    } cases[] = {
        { 20, 9, 10, -10, 2 },     // player 2 nearer along the net
        { 20, 0, 10, -10, 3 },     // tie: the second player
        { -20, -9, -10, 10, 0 },
        { -20, 0, -10, 10, 1 },    // tie on team 0's side
    };
    for (const sideCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "ball x " << c.ballX << " z " << c.ballZ);
        const int first = c.ballX > 0 ? 2 : 0;
        const int other = 2 - first;
        g->players[first]->pos.z = c.z0;
        g->players[first + 1]->pos.z = c.z1;
        for (player* p : g->players) {
            p->ignoreBall = true;
            p->aiMode = 0;
            p->setWanted(g->passMarkers[0]);
        }
        g->touches = 3;
        g->theBall->pos = vector3d(c.ballX, -20, c.ballZ);

        g->event(game::EV_SIDECHANGE, 0);

        const int home = c.chaser == first ? first + 1 : first;
        ASSERT_EQ(g->players[c.chaser]->wanted.size(), 1u);
        EXPECT_EQ(g->players[c.chaser]->wanted[0], g->theBall);
        ASSERT_EQ(g->players[home]->wanted.size(), 1u);
        EXPECT_EQ(g->players[home]->wanted[0], g->homeMarkers[home]);
        for (int i = other; i < other + 2; i++) {
            ASSERT_EQ(g->players[i]->wanted.size(), 1u);
            EXPECT_EQ(g->players[i]->wanted[0], g->homeMarkers[i]);
            EXPECT_EQ(g->players[i]->aiMode, 1);
        }
        for (player* p : g->players)
            EXPECT_FALSE(p->ignoreBall);
        EXPECT_EQ(g->touches, 0);
        EXPECT_EQ(g->ballSide, c.ballX > 0 ? 1 : 0);
        EXPECT_FLOAT_EQ(g->camXTarget, c.ballX > 0 ? -15.0f : 15.0f);
    }
}

TEST_F(MatchRules, ScoringForAnUnknownTeamChangesNothing)
{
    g->teamScore(2);
    g->teamScore(-1);
    EXPECT_EQ(g->score[0], 0);
    EXPECT_EQ(g->score[1], 0);
    EXPECT_EQ(g->servingTeam, 0);
}

// What the crowd and the referee let the players hear: each sound slot holds a silent
// effect of a length of its own, so the chunks playing tell which sounds were played.
class MatchSounds : public MatchRules {
protected:
    std::map<Uint32, gamesound> byLength;
    bool audio = false;

    static std::string silentWAV(Uint32 frames)
    {
        std::string w;
        auto put = [&w](Uint32 v, int bytes) {
            for (int i = 0; i < bytes; i++)
                w += char((v >> (8 * i)) & 0xff);
        };
        w += "RIFF";
        put(36 + frames * 4, 4);
        w += "WAVEfmt ";
        put(16, 4);
        put(1, 2);
        put(2, 2);               // stereo
        put(44100, 4);
        put(44100 * 4, 4);
        put(4, 2);
        put(16, 2);
        w += "data";
        put(frames * 4, 4);
        w += std::string(frames * 4, '\0');
        return w;
    }

    void SetUp() override
    {
        MatchRules::SetUp();
        initSound();
        int freq = 0, channels = 0;
        Uint16 format = 0;
        audio = Mix_QuerySpec(&freq, &format, &channels) == 1;
        if (!audio)
            GTEST_SKIP() << "no audio device";
        const std::string dir = testsupport::makeTempDir();
        for (int s = 0; s < SOUND_COUNT; s++) {
            const Uint32 frames = 20000 + 1000 * s;
            const std::string path = dir + "/" + std::to_string(s) + ".wav";
            testsupport::writeFile(path, silentWAV(frames));
            loadSound(s, path.c_str());
            byLength[frames * 4] = gamesound(s);
        }
    }
    void TearDown() override
    {
        deinitSound();
        MatchRules::TearDown();
    }

    // the sounds started since the last call, counted by kind: cheers count as SOUND_CHEER1
    std::map<gamesound, int> heard()
    {
        std::map<gamesound, int> h;
        for (int c = 0; c < 8; c++) {
            if (!Mix_Playing(c))
                continue;
            gamesound s = byLength.at(Mix_GetChunk(c)->alen);
            if (s >= SOUND_CHEER1 && s <= SOUND_CHEER6)
                s = SOUND_CHEER1;
            h[s]++;
        }
        Mix_HaltChannel(-1);
        return h;
    }
};

TEST_F(MatchSounds, OutCallWhistlesOnceAndTheCrowdAnswers)
{
    g->state = game::STATE_PLAYING;
    g->possessionTeam = 0;
    g->theBall->pos = vector3d(70, -2.4f, 0);   // beyond team 1's baseline, team 0 played it
    g->theBall->touchedGround = true;
    heard();
    g->event(game::EV_OUT, 2.0f);
    ASSERT_EQ(g->score[1], 1);
    std::map<gamesound, int> first = heard();
    EXPECT_EQ(first[SOUND_WHISTLE], 1);
    EXPECT_EQ(first[SOUND_CHEER1], 1) << "team 1 leads 1 : 0";
    EXPECT_EQ(first.size(), 2u);

    // the ball bounces again while the call is pending: no whistle, no point, no crowd
    g->event(game::EV_OUT, 2.0f);
    g->event(game::EV_TOOMANYHITS, 2.5f);
    EXPECT_TRUE(heard().empty());
    EXPECT_EQ(g->score[1], 1);
    EXPECT_EQ(g->score[0], 0);
}

// A point that leaves the team behind brings the disappointed "ooh"; a point that draws level
// or leads, a cheer; a point that wins the round, nothing.
TEST_F(MatchSounds, OohBehindCheerLevelOrAhead)
{
    struct { int before0, before1, scorer; gamesound sound; } cases[] = {
        {0, 3, 0, SOUND_OOH},     {2, 3, 0, SOUND_CHEER1}, {4, 3, 0, SOUND_CHEER1},
        {5, 2, 1, SOUND_OOH},     {5, 4, 1, SOUND_CHEER1}, {0, 0, 1, SOUND_CHEER1},
        {7, 6, 0, SOUND_COUNT},   // 8 : 6 wins the round: silence
    };
    for (auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.before0 << " : " << c.before1 << ", team "
                                        << c.scorer << " scores");
        g->score[0] = c.before0;
        g->score[1] = c.before1;
        g->roundsWon[0] = g->roundsWon[1] = 0;
        heard();
        g->teamScore(c.scorer);
        std::map<gamesound, int> h = heard();
        if (c.sound == SOUND_COUNT) {
            EXPECT_TRUE(h.empty());
        } else {
            EXPECT_EQ(h.size(), 1u);
            EXPECT_EQ(h[c.sound], 1);
        }
    }
}

}
