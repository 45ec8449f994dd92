// Watching a replay through the shell: any speed and pausing play the same steps, and the
// player's settings, menu and store are theirs again when it ends.
#include <cstdio>
#include <string>
#include <vector>
#include <SDL/SDL.h>
#include <gtest/gtest.h>
#include <wx/config.h>
#include "controller.h"
#include "game.h"
#include "main.h"
#include "mainmenu.h"
#include "playback.h"
#include "player.h"
#include "random.h"
#include "replay.h"
#include "support.h"

namespace {

class Watching : public ::testing::Test {
protected:
    controller devices[6];
    mainmenu* menu = nullptr;
    game* match = nullptr;
    std::string dir;

    void SetUp() override
    {
        ASSERT_TRUE(testsupport::openGLContext()) << "needs a display, e.g. xvfb-run";
        testsupport::closeConfig();
        std::remove(storePath().c_str());
        testsupport::writeFile(storePath(), "[game]\ntimeofday=0\nroundlength=0\ngamemode=0\ndifficulty=0\n"
                                            "[controls]\nplayer0=1\n");
        testsupport::openConfig();
        testsupport::plugDevices(devices);
        match = buildMatch();
        g_thegame = match;
        menu = new mainmenu();
        dir = testsupport::makeTempDir();
    }
    void TearDown() override
    {
        delete menu;
        g_thegame = nullptr;
        delete match;
        testsupport::unplugDevices();
    }
    static std::string storePath() { return testsupport::tempHome() + "/.config/tibrel/tibrel.conf"; }

    // a computer-only Extreme! match at night, rounds of 18, Hard, begun and recorded for steps
    std::string record(int steps, unsigned long long& finalHash)
    {
        replayheader h;
        h.begun = true;
        h.settings = { { "controls/player0", "0" }, { "game/timeofday", "3" },
                       { "game/roundlength", "5" }, { "game/gamemode", "2" },
                       { "game/difficulty", "2" } };
        seedGenerators(seedsFromNumber(11));
        saveRandomState(h.randoms);
        // recorded in a match built the way a watched one is, from a header alone
        const std::string head = dir + "/head.tibrelreplay";
        replayrecorder rec;
        EXPECT_TRUE(rec.open(head, h));
        rec.close(*match);
        watch(head);
        const std::string path = dir + "/match.tibrelreplay";
        EXPECT_TRUE(rec.open(path, h));
        for (int i = 0; i < steps; i++) {
            rec.beforeStep(*match);
            match->step(0.02f);
            rec.afterStep(*match);
        }
        finalHash = match->stateHash();
        rec.close(*match);
        match = leaveMatch(match, *menu);
        return path;
    }

    // a key pressed and let go in the window, as the shell hears it while watching
    void pressKey(int key)
    {
        bool inMatch = true;
        int debug = 0;
        SDL_Event e;
        e.type = SDL_KEYDOWN;
        e.key.keysym.sym = static_cast<SDLKey>(key);
        EXPECT_TRUE(handleEvent(e, inMatch, debug));
        e.type = SDL_KEYUP;
        EXPECT_TRUE(handleEvent(e, inMatch, debug));
        EXPECT_TRUE(inMatch);
    }

    void watch(const std::string& path)
    {
        menu->watch = new replayplayer();
        std::string error;
        ASSERT_TRUE(menu->watch->load(path, error)) << error;
        match = watchReplay(match, *menu);
    }
};

}

TEST(PlaybackSpeed, StepsPerTickOfTheStepClock)
{
    // the keys pressed from 1x, then the steps of the next eight ticks
    const struct { std::vector<int> keys; unsigned steps[8]; } cases[] = {
        { {}, { 1, 1, 1, 1, 1, 1, 1, 1 } },
        { { SDLK_RIGHT }, { 2, 2, 2, 2, 2, 2, 2, 2 } },
        { { SDLK_RIGHT, SDLK_RIGHT, SDLK_RIGHT }, { 4, 4, 4, 4, 4, 4, 4, 4 } },
        { { SDLK_LEFT }, { 0, 1, 0, 1, 0, 1, 0, 1 } },
        { { SDLK_LEFT, SDLK_LEFT, SDLK_LEFT }, { 0, 0, 0, 1, 0, 0, 0, 1 } },
        { { SDLK_SPACE }, { 0, 0, 0, 0, 0, 0, 0, 0 } },
        { { SDLK_SPACE, SDLK_RIGHT, SDLK_SPACE }, { 2, 2, 2, 2, 2, 2, 2, 2 } },
    };
    for (const auto& c : cases) {
        playback p;
        for (int k : c.keys)
            EXPECT_TRUE(p.key(k));
        for (int t = 0; t < 8; t++)
            EXPECT_EQ(p.stepsThisTick(), c.steps[t]) << "after " << c.keys.size() << " keys, tick " << t;
    }
    playback p;
    EXPECT_FALSE(p.key(SDLK_UP)) << "only Space, Left and Right are playback keys";
    // ticks waited at a slow speed carry over a change: a quarter, three ticks, then a half
    p.key(SDLK_LEFT);
    p.key(SDLK_LEFT);
    for (int t = 0; t < 3; t++)
        EXPECT_EQ(p.stepsThisTick(), 0u);
    p.key(SDLK_RIGHT);
    EXPECT_EQ(p.stepsThisTick(), 1u);

    EXPECT_EQ(playback().label(4150), "REPLAY  1:23");
    p = playback();
    p.key(SDLK_RIGHT);
    p.key(SDLK_RIGHT);
    p.key(SDLK_SPACE);
    EXPECT_EQ(p.label(50), "REPLAY  0:01  4x  paused");
    p = playback();
    p.key(SDLK_LEFT);
    p.key(SDLK_LEFT);
    EXPECT_EQ(p.label(2999), "REPLAY  0:59  1/4x");
}

TEST_F(Watching, AnySpeedAndPausingPlayTheSameSteps)
{
    const int steps = 1500;
    unsigned long long recorded = 0;
    const std::string path = record(steps, recorded);

    watch(path);
    EXPECT_TRUE(watching());
    // frame -> key: faster, fastest, slower and slower, a pause, slowest, back to 1x
    const struct { int frame; int key; } keys[] = {
        { 10, SDLK_RIGHT }, { 40, SDLK_RIGHT }, { 41, SDLK_RIGHT }, { 120, SDLK_LEFT },
        { 150, SDLK_SPACE }, { 180, SDLK_SPACE }, { 181, SDLK_LEFT }, { 230, SDLK_LEFT },
        { 231, SDLK_LEFT }, { 232, SDLK_LEFT }, { 300, SDLK_RIGHT }, { 301, SDLK_RIGHT },
    };
    int frames = 0;
    unsigned long long last = 0;
    for (;; frames++) {
        for (const auto& k : keys)
            if (k.frame == frames)
                pressKey(k.key);
        last = match->stateHash();
        if (!stepMatch(*match, *menu))
            break;
        ASSERT_LT(frames, 10 * steps) << "playback never ended";
    }
    EXPECT_EQ(menu->watchNote, "") << "the recorded hashes all held";
    EXPECT_EQ(last, recorded);
    EXPECT_NE(frames, steps) << "the speed changed how many steps ran per frame";
    match = leaveMatch(match, *menu);
    EXPECT_FALSE(watching());
}

TEST_F(Watching, ThePlayersSettingsComeBackAndNothingIsWritten)
{
    unsigned long long unused = 0;
    const std::string path = record(10, unused);
    delete g_config;   // flushes: the file as the player left it
    g_config = nullptr;
    testsupport::openConfig();
    const std::string before = testsupport::readAll(storePath());
    wxConfigBase* players = g_config;

    watch(path);
    // the replay's own settings while it runs
    EXPECT_NE(g_config, players);
    EXPECT_EQ(menu->items[menu->optionsItem].valueIndex, 3);
    EXPECT_EQ(menu->items[menu->optionsItem + 3].valueIndex, 2);
    EXPECT_EQ(WINSCORE, 18);
    EXPECT_EQ(match->gameMode, 2);
    EXPECT_EQ(match->players[0]->ctrl, &match->players[0]->ownCtrl);
    // no hint aimed at a player: here keyboard 1 would serve
    ASSERT_TRUE(stepMatch(*match, *menu));
    EXPECT_EQ(match->replayLabel, "REPLAY  0:00");
    match->setController(0, g_keys[0]);
    match->state = game::STATE_SERVING;
    match->servingTeam = 0;
    match->pendingDelay = 0;
    EXPECT_EQ(match->serveHint(), "");
    match->replayLabel.clear();
    EXPECT_NE(match->serveHint(), "");
    // a change made meanwhile goes to the replay's store only
    g_config->Write("game/roundlength", 9);

    match = leaveMatch(match, *menu);
    EXPECT_EQ(g_config, players);
    const int stored[4] = { 0, 0, 0, 0 };
    for (int k = 0; k < 4; k++)
        EXPECT_EQ(menu->items[menu->optionsItem + k].valueIndex, stored[k]) << "option " << k;
    EXPECT_EQ(menu->items[menu->controlItem].valueIndex, 1);
    EXPECT_EQ(WINSCORE, 3);
    EXPECT_EQ(match->gameMode, 0);
    EXPECT_EQ(match->players[0]->ctrl, g_keys[0]);
    EXPECT_EQ(g_thegame, match);

    testsupport::closeConfig();
    EXPECT_EQ(testsupport::readAll(storePath()), before);
    testsupport::openConfig();
}

TEST_F(Watching, EscapeOrAPadsThirdButtonLeavesAtOnceWithoutThePauseScreen)
{
    unsigned long long unused = 0;
    const std::string path = record(10, unused);
    for (int pad = 0; pad < 2; pad++) {
        watch(path);
        bool inMatch = true;
        int debug = 0;
        SDL_Event e = {};
        if (pad) {
            e.type = SDL_JOYBUTTONDOWN;
            e.jbutton.which = 1;
            e.jbutton.button = 2;
        } else {
            e.type = SDL_KEYDOWN;
            e.key.keysym.sym = SDLK_ESCAPE;
        }
        EXPECT_FALSE(handleEvent(e, inMatch, debug)) << "the rest of the queue waits for the menu";
        EXPECT_FALSE(inMatch) << (pad ? "pad" : "Escape");
        match = pauseFrame(match, *menu, inMatch);
        EXPECT_FALSE(matchPaused()) << "no pause screen over a replay";
        closePause();
        match = leaveMatch(match, *menu);
        EXPECT_FALSE(watching());
    }
}

// The replay a file manager hands over is a word on its own; the values of switches are not
// replays, "-host"'s optional port included.
TEST(ReplayArgument, AWordOnItsOwnButNoSwitchValue)
{
    struct { std::vector<const char*> args; const char* replay; } cases[] = {
        { { "tibrel", "-w", "a.tibrelreplay" }, "a.tibrelreplay" },
        { { "tibrel", "-replay", "b", "c" }, "b" },
        { { "tibrel", "-seed", "7", "-size", "800x600" }, nullptr },
        { { "tibrel", "-host", "28617" }, nullptr },
        { { "tibrel", "-join", "127.0.0.1:28617", "-w" }, nullptr },
        { { "tibrel", "-host", "28617", "d.tibrelreplay" }, "d.tibrelreplay" },
    };
    for (const auto& c : cases) {
        std::vector<char*> argv;
        for (const char* a : c.args)
            argv.push_back(const_cast<char*>(a));
        const char* got = replayArgument((int)argv.size(), argv.data());
        const std::string shown = got ? got : "(none)";
        EXPECT_EQ(shown, c.replay ? c.replay : "(none)") << c.args[1] << " " << c.args[2];
    }
}
