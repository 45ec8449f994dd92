// Pause: the shell's pause piece as the main loop runs it. No step is taken while paused, so a
// recording of a paused match is the recording of the same match played straight through;
// the screen's lines do what they say; the picture stays, dimmed, with "Paused" on it.
#include <cstring>
#include <string>
#include <vector>
#include <GL/gl.h>
#include <SDL/SDL.h>
#include <SDL/SDL_mixer.h>
#include <gtest/gtest.h>
#include "controller.h"
#include "game.h"
#include "glstuff.h"
#include "main.h"
#include "mainmenu.h"
#include "random.h"
#include "replay.h"
#include "sound.h"
#include "support.h"
#include "textrender.h"

namespace {

const int W = 800, H = 600;

SDL_Event keyDown(SDLKey k)
{
    SDL_Event e;
    memset(&e, 0, sizeof e);
    e.type = SDL_KEYDOWN;
    e.key.keysym.sym = k;
    return e;
}

SDL_Event padButton(int pad, int button)
{
    SDL_Event e;
    memset(&e, 0, sizeof e);
    e.type = SDL_JOYBUTTONDOWN;
    e.jbutton.which = pad;
    e.jbutton.button = button;
    return e;
}

using testsupport::readAll;

class Pause : public ::testing::Test {
protected:
    controller keys[2];
    controller joys[4];
    mainmenu* menu = nullptr;
    game* g = nullptr;
    bool inMatch = true;

    static void SetUpTestSuite()
    {
        if (testsupport::openGLContext(W, H)) {
            screen_width = W;
            screen_height = H;
            GLInitFreeType();
        }
    }
    static void TearDownTestSuite() { GLDeinitFreeType(); }

    void SetUp() override
    {
        ASSERT_TRUE(testsupport::openGLContext(W, H)) << "needs a display, e.g. xvfb-run";
        testsupport::openConfig();
        for (int i = 0; i < 2; i++)
            g_keys[i] = &keys[i];
        for (int i = 0; i < 4; i++)
            g_joys[i] = &joys[i];
        seedGenerators(seedsFromNumber(3));
        g = new game();
        g_thegame = g;
        menu = new mainmenu();
        menu->setController(g_keys[0]);
        g->setController(0, g_keys[0]);
        g->event(game::EV_BEGIN, 0);
    }

    void TearDown() override
    {
        closePause();
        delete menu;
        g_thegame = nullptr;
        delete g;
        testsupport::unplugDevices();
    }

    // one frame of the loop's match branch after the events, recorded by rec when given;
    // true when the match stepped
    bool frame(const std::vector<SDL_Event>& events = {}, replayrecorder* rec = nullptr)
    {
        int particles = 0;
        for (const SDL_Event& e : events)
            handleEvent(e, inMatch, particles);
        g = pauseFrame(g, *menu, inMatch);
        if (!inMatch || matchPaused())
            return false;
        if (rec)
            rec->beforeStep(*g);
        g->step(STEP_SECONDS);
        if (rec)
            rec->afterStep(*g);
        return true;
    }

    // a key held for a frame, then let go for a frame
    void tap(bool controller::*dir)
    {
        keys[0].*dir = true;
        frame();
        keys[0].*dir = false;
        frame();
    }
    void confirm()
    {
        keys[0].button[1] = true;
        frame();
        keys[0].button[1] = false;
    }
};

}

// Keyboard 1 runs right and hits now and then; the paused run gets Escape at step 150, holds
// 80 frames (pressing keys that must be lost) and gets Escape again. Both recordings must be
// the same bytes: nothing of the pause reaches the replay.
TEST_F(Pause, APausedMatchRecordsTheSameReplayAsOnePlayedStraight)
{
    const std::string dir = testsupport::makeTempDir();
    randomstate start;
    auto record = [&](const std::string& path, bool pause) {
        closePause();
        g_thegame = nullptr;
        delete g;
        seedGenerators(seedsFromNumber(9));
        saveRandomState(start);
        g = new game();
        g_thegame = g;
        g->setController(0, g_keys[0]);
        g->event(game::EV_BEGIN, 0);
        replayheader h;
        h.begun = true;
        h.randoms = start;
        replayrecorder rec;
        EXPECT_TRUE(rec.open(path, h));
        int steps = 0, frames = 0, held = 0;
        bool paused = false;
        while (steps < 600) {
            keys[0].right = (steps / 50) % 2 == 0;
            keys[0].button[1] = steps % 40 < 3;
            std::vector<SDL_Event> events;
            if (pause && steps == 150 && !paused) {
                events.push_back(keyDown(SDLK_ESCAPE));
                paused = true;
            }
            if (pause && held == 80)
                events.push_back(keyDown(SDLK_ESCAPE));
            if (matchPaused() && ++held <= 80)
                keys[0].left = true;   // pressed while paused, let go before Escape resumes
            const unsigned long long before = g->stateHash();
            if (frame(events, &rec)) {
                steps++;
            } else {
                EXPECT_EQ(g->stateHash(), before) << "the match changed while paused";
            }
            keys[0].left = false;
            frames++;
        }
        rec.close(*g);
        return frames;
    };
    const int straight = record(dir + "/straight.tibrelreplay", false);
    const int paused = record(dir + "/paused.tibrelreplay", true);
    EXPECT_EQ(straight, 600);
    EXPECT_EQ(paused, 600 + 81) << "the frame Escape paused in and 80 frames held";
    const std::string a = readAll(dir + "/straight.tibrelreplay");
    ASSERT_GT(a.size(), 100u);
    EXPECT_TRUE(a == readAll(dir + "/paused.tibrelreplay"));
}

TEST_F(Pause, TheLinesDoWhatTheySay)
{
    // Escape opens, Escape again resumes
    EXPECT_FALSE(frame({ keyDown(SDLK_ESCAPE) }));
    EXPECT_TRUE(matchPaused());
    EXPECT_TRUE(frame({ keyDown(SDLK_ESCAPE) }));
    EXPECT_FALSE(matchPaused());

    // a hit key already held when the screen opens chooses nothing; Return on "Resume" resumes
    keys[0].button[1] = true;
    EXPECT_FALSE(frame({ keyDown(SDLK_ESCAPE) }));
    EXPECT_FALSE(frame());
    EXPECT_TRUE(matchPaused());
    keys[0].button[1] = false;
    frame();
    confirm();
    EXPECT_FALSE(matchPaused());
    keys[0].button[1] = false;

    // "Restart Match": a fresh match, begun
    g->score[0] = 4;
    g->clock = 100;
    frame({ keyDown(SDLK_ESCAPE) });
    tap(&controller::down);
    confirm();
    EXPECT_TRUE(inMatch);
    EXPECT_FALSE(matchPaused());
    EXPECT_LT(g->clock, 1.0f) << "a new match";
    EXPECT_EQ(g_thegame, g);
    EXPECT_EQ(g->score[0], 0);
    EXPECT_EQ(g->state, game::STATE_SERVING);

    // "Leave Match", reached by wrapping up from "Resume"
    frame({ keyDown(SDLK_ESCAPE) });
    tap(&controller::up);
    confirm();
    EXPECT_FALSE(inMatch);
    EXPECT_FALSE(matchPaused());
}

// An effect and the ambience stop where they are while paused and go on from there when the
// match resumes; leaving through the pause starts the menu music, which is not held.
TEST_F(Pause, EffectsAndAmbienceAreHeldWhilePaused)
{
    const char* ambience = "data/sounds/Daytime_ambience.ogg";   // 18 s: outlasts the test
    if (!isReadableFile(ambience, 1u << 24))
        GTEST_SKIP() << ambience << " not generated";
    initSound();
    loadSound(SOUND_CHEER1, ambience);
    playMusic(ambience);
    playSound(SOUND_CHEER1, vector3d());
    ASSERT_EQ(Mix_Playing(-1), 1) << "the audio did not open";
    ASSERT_EQ(Mix_PlayingMusic(), 1);

    frame({ keyDown(SDLK_ESCAPE) });
    EXPECT_EQ(Mix_Paused(-1), 1);
    EXPECT_EQ(Mix_PausedMusic(), 1);
    EXPECT_FALSE(frame()) << "a frame later still held";
    EXPECT_EQ(Mix_PausedMusic(), 1);

    frame({ keyDown(SDLK_ESCAPE) });
    EXPECT_EQ(Mix_Paused(-1), 0);
    EXPECT_EQ(Mix_PausedMusic(), 0);
    EXPECT_EQ(Mix_Playing(-1), 1) << "the effect goes on";

    // "Leave Match": the menu music plays at once
    frame({ keyDown(SDLK_ESCAPE) });
    tap(&controller::up);
    confirm();
    ASSERT_FALSE(inMatch);
    EXPECT_EQ(Mix_PlayingMusic(), 1);
    EXPECT_EQ(Mix_PausedMusic(), 0);
    EXPECT_EQ(Mix_Paused(-1), 0);
    deinitSound();
}

TEST_F(Pause, APadsThirdButtonPausesAndItsStickChooses)
{
    frame({ padButton(1, 0) });
    EXPECT_FALSE(matchPaused()) << "the first button hits, it does not pause";
    joys[1].button[1] = false;
    frame({ padButton(1, 2) });
    ASSERT_TRUE(matchPaused());
    joys[1].axisY = 30000;   // down to "Restart Match", then down to "Leave Match"
    frame();
    joys[1].axisY = 0;
    frame();
    joys[1].axisY = 30000;
    frame();
    joys[1].axisY = 0;
    joys[1].button[1] = true;
    frame();
    EXPECT_FALSE(inMatch);
}

TEST_F(Pause, EscapeAtTheEndOfAMatchLeadsToTheMenu)
{
    g->event(game::EV_MATCHOVER, 0);
    frame({ keyDown(SDLK_ESCAPE) });
    EXPECT_FALSE(inMatch);
    EXPECT_FALSE(matchPaused());
}

// The picture stays as it stood (the camera too), dimmed, with "Paused" above the lines.
TEST_F(Pause, ThePictureStaysDimmedUnderPaused)
{
    for (int i = 0; i < 120; i++)
        g->step(STEP_SECONDS);
    g->camX = 5;   // far from its target: an unheld camera would move
    auto draw = [&]() {
        glViewport(0, 0, W, H);
        beginFrame();
        g->draw();
        drawPause();
        glFinish();
        return testsupport::readFrame(W, H);
    };
    auto mean = [](const std::vector<unsigned char>& px) {
        double s = 0;
        for (unsigned char c : px)
            s += c;
        return s / px.size();
    };
    frame({ keyDown(SDLK_ESCAPE) });
    ASSERT_TRUE(matchPaused());
    const std::vector<unsigned char> first = draw();
    const std::vector<unsigned char> later = draw();
    EXPECT_TRUE(first == later) << "the paused picture changed";
    EXPECT_EQ(g->camX, 5.0f);

    if (testsupport::shotWanted())
        testsupport::savePicture(first, W, H, "docs/pause.png");
    frame({ keyDown(SDLK_ESCAPE) });
    const std::vector<unsigned char> running = draw();
    const double dim = mean(first) / mean(running);
    EXPECT_GT(dim, 0.3);
    EXPECT_LT(dim, 0.6);

    // "Paused" in yellow above the lines in the middle of the window
    int yellow = 0;
    for (int y = H / 3; y < H / 2; y++)
        for (int x = W / 3; x < 2 * W / 3; x++) {
            const unsigned char* p = &first[(static_cast<size_t>(y) * W + x) * 3];
            yellow += p[0] > 200 && p[1] > 200 && p[2] < 60;
        }
    EXPECT_GT(yellow, 150);
}
