#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>
#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <SDL/SDL.h>
#include <GL/gl.h>
#include <wx/fileconf.h>
#include <gtest/gtest.h>
#include "controller.h"
#include "game.h"
#include "main.h"
#include "random.h"
#include "menu.h"
#include "fixtures.h"
#include "support.h"

namespace {

// an argv built from a list of words, program name first
class cmdline {
public:
    explicit cmdline(std::vector<std::string> words) : m_words(std::move(words))
    {
        for (std::string& w : m_words)
            m_ptrs.push_back(&w[0]);
        m_ptrs.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(m_words.size()); }
    char** argv() { return m_ptrs.data(); }

private:
    std::vector<std::string> m_words;
    std::vector<char*> m_ptrs;
};

long fileSize(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

std::string readFile(const std::string& path)
{
    std::string s;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return s;
    char chunk[65536];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0)
        s.append(chunk, n);
    fclose(f);
    return s;
}

SDL_Event keyEvent(Uint8 type, SDLKey key)
{
    SDL_Event e;
    memset(&e, 0, sizeof e);
    e.type = type;
    e.key.keysym.sym = key;
    return e;
}

}

// ---- command line ----

TEST(commandLine, findMatchesWholeArgumentsOnlyAndSkipsTheProgramName)
{
    cmdline args({ "-play", "-w", "-playx", "-Capture", "", "-1280" });
    struct row { const char* str; int want; };
    const row rows[] = {
        { "-w", 1 },
        { "-1280", 1 },
        { "-play", 0 },       // only as the program name and as the prefix of "-playx"
        { "-pla", 0 },
        { "-capture", 0 },    // case matters
        { "-Capture", 1 },
        { "", 1 },
        { "-640", 0 },
    };
    for (const row& r : rows)
        EXPECT_EQ(findInCmdLine(args.argc(), args.argv(), r.str), r.want) << '"' << r.str << '"';

    // count limits the search; a null list finds nothing
    EXPECT_EQ(findInCmdLine(2, args.argv(), "-1280"), 0);
    EXPECT_EQ(findInCmdLine(0, nullptr, "-w"), 0);
}

// the short forms answer as the long ones do, before anything is started
TEST(commandLine, helpAndVersionLeaveAtOnce)
{
    struct row { const char* word; bool leaves; };
    const row rows[] = {
        { "--help", true }, { "-h", true }, { "--version", true }, { "-v", true },
        { "-w", false }, { "-hv", false }, { "-version", false },
    };
    for (const row& r : rows) {
        cmdline args({ "-w", r.word });
        EXPECT_EQ(printInfo(args.argc(), args.argv()), r.leaves) << r.word;
    }
}

// An installed game finds its data in ../share/tibrel beside the program, wherever that is.
TEST(startUp, theInstalledDataRootLiesBesideTheProgram)
{
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    ASSERT_GT(n, 0);
    exe[n] = 0;
    std::string folder(exe);
    folder.erase(folder.rfind('/'));
    EXPECT_EQ(installedDataRoot(), folder + "/../share/tibrel");
}

// "-seed N" makes the generators a function of N alone: two starts with the same number, a
// moment apart, play the same match (the rallies' hashes and the score); another number plays
// another.
static std::vector<unsigned long long> matchFromCommandLine(const char* seed)
{
    cmdline args({ "tibrel", "-w", "-play", "-seed", seed });
    EXPECT_EQ(prepareReplay(args.argc(), args.argv()), 0);
    seedRandom(args.argc(), args.argv());
    game* g = new game();
    g_thegame = g;
    g->gameMode = 2;   // power-ups draw from the generators too
    std::vector<unsigned long long> seen;
    for (int i = 0; i < 3000; i++) {
        g->step(0.02f);
        if (i % 250 == 249)
            seen.push_back(g->stateHash());
    }
    seen.push_back(static_cast<unsigned long long>(g->score[0] * 100 + g->score[1]));
    g_thegame = nullptr;
    delete g;
    return seen;
}

TEST(startUp, theSameSeedPlaysTheSameMatch)
{
    ASSERT_TRUE(testsupport::openGLContext()) << "needs a display, e.g. xvfb-run";
    testsupport::openConfig();
    const std::vector<unsigned long long> first = matchFromCommandLine("7");
    SDL_Delay(20);   // the clock and the tick count move on between the starts
    EXPECT_EQ(matchFromCommandLine("7"), first);
    EXPECT_NE(matchFromCommandLine("8"), first);
    testsupport::closeConfig();
}

// The window failure is one line on standard error, with nothing on standard output.
TEST(startUp, theNoWindowLineGoesToStandardError)
{
    const int w = screen_width, h = screen_height;
    screen_width = 1024;
    screen_height = 768;
    SDL_SetError("%s", "no display here");
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    reportWindowFailure();
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    screen_width = w;
    screen_height = h;
    EXPECT_EQ(err, "tibrel: cannot open an OpenGL window of 1024x768: no display here\n");
    EXPECT_EQ(out, "");
}

TEST(commandLine, switchCombinations)
{
    struct row {
        std::vector<std::string> args;
        int w, h, buf;
        bool windowed, capture, play;
    };
    const row rows[] = {
        { {}, 800, 600, 1024, false, false, false },
        { { "-w" }, 800, 600, 1024, true, false, false },
        { { "-640" }, 640, 480, 1024, false, false, false },
        { { "-1024" }, 1024, 768, 1024, false, false, false },
        { { "-640", "-1280" }, 1280, 1024, 2048, false, false, false },
        { { "-1280", "-640" }, 1280, 1024, 2048, false, false, false },
        { { "-800", "-640" }, 800, 600, 1024, false, false, false },   // -800 is tested after -640
        { { "-1024", "-w", "-640" }, 1024, 768, 1024, true, false, false },
        { { "-capture", "-play", "-640" }, 640, 480, 1024, false, true, true },
        { { "-playx", "-1280x", "-W", "--w", "capture" }, 800, 600, 1024, false, false, false },
        // -size wins over the fixed sizes; the copy texture is the next power of two
        { { "-size", "1920x1080" }, 1920, 1080, 2048, false, false, false },
        { { "-1280", "-size", "2560x1080", "-w" }, 2560, 1080, 4096, true, false, false },
        { { "-size", "1024x600", "-640" }, 1024, 600, 1024, false, false, false },
        { { "-size", "wide", "-640" }, 640, 480, 1024, false, false, false },
    };
    for (const row& r : rows) {
        std::vector<std::string> words = { "tibrel" };
        std::string shown;
        for (const std::string& a : r.args) {
            words.push_back(a);
            shown += a + " ";
        }
        SCOPED_TRACE(shown);
        // start from another resolution, so a switch-less run must restore the default
        screen_width = 1;
        screen_height = 2;
        bufsize = 3;
        cmdline args(words);
        shellswitches s = readSwitches(args.argc(), args.argv());
        EXPECT_EQ(screen_width, r.w);
        EXPECT_EQ(screen_height, r.h);
        EXPECT_EQ(bufsize, r.buf);
        EXPECT_EQ(s.windowed, r.windowed);
        EXPECT_EQ(s.capture, r.capture);
        EXPECT_EQ(s.play, r.play);
    }
    // the program name is never a switch
    cmdline named({ "-1280" });
    readSwitches(named.argc(), named.argv());
    EXPECT_EQ(screen_width, 800);
}

TEST(commandLine, sizesAndTheirCopyTexture)
{
    const struct { const char* text; bool ok; int w, h; } sizes[] = {
        { "1920x1080", true, 1920, 1080 }, { "1x1", true, 1, 1 }, { "8192x4320", true, 8192, 4320 },
        { "8193x600", false, 0, 0 }, { "0x600", false, 0, 0 }, { "800x", false, 0, 0 },
        { "x600", false, 0, 0 }, { "800X600", false, 0, 0 }, { "800x600x", false, 0, 0 },
        { " 800x600", false, 0, 0 }, { "-800x600", false, 0, 0 }, { "+800x600", false, 0, 0 },
        { "800x 600", false, 0, 0 }, { "999999999999x600", false, 0, 0 }, { "", false, 0, 0 },
    };
    for (const auto& c : sizes) {
        int w = 0, h = 0;
        EXPECT_EQ(parseSize(c.text, w, h), c.ok) << '"' << c.text << '"';
        EXPECT_EQ(w, c.w) << '"' << c.text << '"';
        EXPECT_EQ(h, c.h) << '"' << c.text << '"';
    }
    int w = 0, h = 0;
    EXPECT_FALSE(parseSize(nullptr, w, h));

    const struct { int w, h, buf; } buffers[] = {
        { 640, 480, 1024 }, { 1024, 768, 1024 }, { 1025, 600, 2048 }, { 1366, 768, 2048 },
        { 2048, 1152, 2048 }, { 3440, 1440, 4096 }, { 600, 1200, 2048 }, { 1, 1, 1 },
    };
    for (const auto& b : buffers) {
        setScreenSize(b.w, b.h);
        EXPECT_EQ(bufsize, b.buf) << b.w << "x" << b.h;
    }
    setScreenSize(800, 600);

    // a -size the game cannot read is said in one line; a missing one too
    cmdline bad({ "tibrel", "-size", "800by600" }), missing({ "tibrel", "-size" }),
        good({ "tibrel", "-size", "800x600" }), none({ "tibrel", "-w" });
    EXPECT_FALSE(checkSizeSwitch(bad.argc(), bad.argv()));
    EXPECT_FALSE(checkSizeSwitch(missing.argc(), missing.argv()));
    EXPECT_TRUE(checkSizeSwitch(good.argc(), good.argv()));
    EXPECT_TRUE(checkSizeSwitch(none.argc(), none.argv()));
}

// video/size chooses the size when no switch does; a damaged value leaves the default
TEST(commandLine, sizeSetting)
{
    testsupport::openConfig();
    const struct { const char* stored; bool switchGiven; bool applied; int w, h; } cases[] = {
        { "1280x720", false, true, 1280, 720 },
        { "1280x720", true, false, 640, 480 },    // -640 wins
        { "", false, false, 800, 600 },
        { "big", false, false, 800, 600 },
        { "100000x5", false, false, 800, 600 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        g_config->Write("video/size", wxString(c.stored));
        cmdline args(c.switchGiven ? std::vector<std::string>{ "tibrel", "-640" }
                                   : std::vector<std::string>{ "tibrel" });
        shellswitches s = readSwitches(args.argc(), args.argv());
        EXPECT_EQ(applySizeSetting(s), c.applied);
        EXPECT_EQ(s.sized, c.applied || c.switchGiven);
        EXPECT_EQ(screen_width, c.w);
        EXPECT_EQ(screen_height, c.h);
    }
    setScreenSize(800, 600);
    testsupport::closeConfig();
}

// ---- frame pacing ----

TEST(framePacing, stepsOwedByALateFrame)
{
    struct row { int late, cap, want; };
    const row rows[] = {
        { 0, 4, 1 },         // on time: one step
        { 19, 4, 1 },
        { 20, 4, 2 },        // one frame late: the step it owes as well
        { 59, 4, 3 },
        { 60, 4, 4 },
        { 500, 4, 4 },       // beyond the cap the debt is dropped
        { -5, 4, 1 },        // early (a counter that went back) still steps once
        { 60, 1, 1 },        // a capture: one step per drawn frame
        { 60, 0, 1 },        // a cap below one still steps
        { 0x7fffffff, 4, 4 },
    };
    for (const row& r : rows)
        EXPECT_EQ(stepsDue(r.late, r.cap), r.want) << "late " << r.late << " cap " << r.cap;
}

TEST(framePacing, delayWaitsForTheNextStep)
{
    struct row { unsigned now, due, want; };
    const row rows[] = {
        { 1000, 1020, 20 },
        { 1007, 1020, 13 },
        { 1020, 1020, 0 },
        { 1500, 1020, 0 },          // late: no wait
        { 0xfffffffeu, 13, 15 },    // across the wrap of the millisecond counter
        { 10, 5000, 20 },           // a counter that went back never waits more than a frame
    };
    for (const row& r : rows)
        EXPECT_EQ(frameDelay(r.now, r.due), r.want) << r.now << " -> " << r.due;
}

// Frames of a given length against the schedule: the steps taken keep game time with real
// time (every step due by the last frame's start, 1 + start / 20) until a frame takes longer
// than four steps.
TEST(framePacing, scheduleKeepsGameTimeWithRealTime)
{
    struct row { unsigned frameMs; int cap, frames, wantSteps; };
    const row rows[] = {
        { 5, 4, 100, 100 },     // fast frames wait: one step each (the waits are not run here)
        { 50, 4, 100, 248 },    // the last frame starts at 4.95 s
        { 80, 4, 100, 397 },    // 12.5 frames a second: still on time
        { 100, 4, 100, 397 },   // slower: four steps a frame, the rest dropped
        { 50, 1, 100, 100 },    // a capture: one step per frame
    };
    for (const row& r : rows) {
        stepclock clock;
        unsigned now = 0xffffff00u;   // the counter wraps during the run
        clock.restart(now);
        int steps = 0;
        for (int f = 0; f < r.frames; f++) {
            steps += clock.owed(now, r.cap);
            now += r.frameMs;
            now += frameDelay(now, clock.due);
        }
        EXPECT_EQ(steps, r.wantSteps) << r.frameMs << " ms frames, cap " << r.cap;
    }

    // a restart after a stall owes one step, not a burst
    stepclock clock;
    clock.restart(1000);
    EXPECT_EQ(clock.owed(1000, 4), 1);
    clock.restart(1300);
    EXPECT_EQ(clock.owed(1301, 4), 1);
    // the debt of a frame longer than four steps is dropped: the frames after it are on time
    clock.restart(0);
    clock.owed(0, 4);
    EXPECT_EQ(clock.owed(500, 4), 4);
    EXPECT_EQ(clock.owed(500 + frameDelay(500, clock.due), 4), 1);
    // a counter that went back a long way starts the schedule anew
    EXPECT_EQ(clock.owed(200, 4), 1);
    EXPECT_EQ(clock.due, 220u);
}

// ---- input events ----

using shellEvents = devicefixture;

TEST_F(shellEvents, debugParticleKeysClampToTheirRange)
{
    bool inMatch = true;
    int particles = 0;
    const SDL_Event f1 = keyEvent(SDL_KEYDOWN, SDLK_F1);
    const SDL_Event f2 = keyEvent(SDL_KEYDOWN, SDLK_F2);

    EXPECT_TRUE(handleEvent(f2, inMatch, particles));
    EXPECT_EQ(particles, 0);
    for (int i = 0; i < 1030; i++)
        handleEvent(f1, inMatch, particles);
    EXPECT_EQ(particles, 1024);
    handleEvent(f2, inMatch, particles);
    EXPECT_EQ(particles, 1023);
    // releasing the keys does not count, and the keys work in the menu as well
    handleEvent(keyEvent(SDL_KEYUP, SDLK_F2), inMatch, particles);
    inMatch = false;
    handleEvent(f2, inMatch, particles);
    EXPECT_EQ(particles, 1022);

    // a value from elsewhere outside the range is brought back into it
    particles = 5000;
    handleEvent(f2, inMatch, particles);
    EXPECT_EQ(particles, 1024);
    particles = -7;
    handleEvent(f1, inMatch, particles);
    EXPECT_EQ(particles, 0);
}

TEST_F(shellEvents, keysAndJoysticksReachTheControllers)
{
    bool inMatch = false;
    int particles = 0;
    EXPECT_TRUE(handleEvent(keyEvent(SDL_KEYDOWN, SDLK_RETURN), inMatch, particles));
    EXPECT_TRUE(keys[0].button[1]);
    EXPECT_TRUE(handleEvent(keyEvent(SDL_KEYDOWN, SDLK_KP8), inMatch, particles));
    EXPECT_TRUE(keys[1].up);
    handleEvent(keyEvent(SDL_KEYUP, SDLK_RETURN), inMatch, particles);
    EXPECT_FALSE(keys[0].button[1]);

    SDL_Event e;
    memset(&e, 0, sizeof e);
    e.type = SDL_JOYAXISMOTION;
    e.jaxis.which = 1;
    e.jaxis.axis = 0;
    e.jaxis.value = -20000;
    EXPECT_TRUE(handleEvent(e, inMatch, particles));
    EXPECT_EQ(joys[1].axisX, -20000);

    memset(&e, 0, sizeof e);
    e.type = SDL_JOYBUTTONDOWN;
    e.jbutton.which = 2;
    e.jbutton.button = 1;
    handleEvent(e, inMatch, particles);
    EXPECT_TRUE(joys[2].button[0]);
    e.type = SDL_JOYBUTTONUP;
    handleEvent(e, inMatch, particles);
    EXPECT_FALSE(joys[2].button[0]);

    // a window-close request is not a way out of the game
    memset(&e, 0, sizeof e);
    e.type = SDL_QUIT;
    EXPECT_TRUE(handleEvent(e, inMatch, particles));
    EXPECT_FALSE(inMatch);
}

TEST_F(shellEvents, escapePausesTheMatchButNeverLeavesTheMenu)
{
    int particles = 0;
    const SDL_Event esc = keyEvent(SDL_KEYDOWN, SDLK_ESCAPE);

    bool inMatch = true;
    EXPECT_TRUE(handleEvent(esc, inMatch, particles)) << "in the match the queue keeps draining";
    EXPECT_TRUE(inMatch) << "it asks for the pause screen, taken by pauseFrame";

    inMatch = false;
    EXPECT_FALSE(handleEvent(esc, inMatch, particles)) << "in the menu the rest waits a frame";
    EXPECT_FALSE(inMatch);
    EXPECT_EQ(particles, 0);
}

TEST_F(shellEvents, eventsBehindEscapeInTheMenuWaitOneFrame)
{
    ASSERT_TRUE(testsupport::openGLContext()) << "needs a display";
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
    }
    SDL_Event esc = keyEvent(SDL_KEYDOWN, SDLK_ESCAPE);
    SDL_Event ret = keyEvent(SDL_KEYDOWN, SDLK_RETURN);
    ASSERT_EQ(SDL_PushEvent(&esc), 0);
    ASSERT_EQ(SDL_PushEvent(&ret), 0);

    bool inMatch = false;
    int particles = 0;
    pollEvents(inMatch, particles);
    EXPECT_FALSE(keys[0].button[1]) << "Return was queued behind Escape";
    pollEvents(inMatch, particles);
    EXPECT_TRUE(keys[0].button[1]);

    // in the match Escape does not hold back what follows it
    keys[0].button[1] = false;
    ASSERT_EQ(SDL_PushEvent(&esc), 0);
    ASSERT_EQ(SDL_PushEvent(&ret), 0);
    inMatch = true;
    pollEvents(inMatch, particles);
    EXPECT_TRUE(inMatch);
    EXPECT_TRUE(keys[0].button[1]);
}

// A key pressed and released within one long frame reaches a step as pressed: the release
// waits, with what follows it, until a step has seen the press.
TEST_F(shellEvents, aReleaseWaitsForAStepToSeeItsPress)
{
    ASSERT_TRUE(testsupport::openGLContext()) << "needs a display";
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
    }
    stepTaken();
    SDL_Event joyDown;
    memset(&joyDown, 0, sizeof joyDown);
    joyDown.type = SDL_JOYBUTTONDOWN;
    joyDown.jbutton.which = 1;
    joyDown.jbutton.button = 1;
    SDL_Event joyUp = joyDown;
    joyUp.type = SDL_JOYBUTTONUP;
    SDL_Event queue[] = { keyEvent(SDL_KEYDOWN, SDLK_RETURN), keyEvent(SDL_KEYUP, SDLK_RETURN),
                          keyEvent(SDL_KEYDOWN, SDLK_KP8), joyDown, joyUp };
    for (SDL_Event& q : queue)
        ASSERT_EQ(SDL_PushEvent(&q), 0);

    bool inMatch = true;
    int particles = 0;
    pollEvents(inMatch, particles);
    EXPECT_TRUE(keys[0].button[1]) << "the first step sees Return pressed";
    EXPECT_FALSE(keys[1].up) << "what follows the held release waits with it";
    pollEvents(inMatch, particles);
    EXPECT_TRUE(keys[0].button[1]) << "no step yet: still held back";

    stepTaken();
    pollEvents(inMatch, particles);
    EXPECT_FALSE(keys[0].button[1]);
    EXPECT_TRUE(keys[1].up);
    EXPECT_TRUE(joys[1].button[0]) << "a joystick button's release waits the same way";
    stepTaken();
    pollEvents(inMatch, particles);
    EXPECT_FALSE(joys[1].button[0]);

    // a key a step has already seen held is released at once
    SDL_Event up = keyEvent(SDL_KEYUP, SDLK_KP8);
    ASSERT_EQ(SDL_PushEvent(&up), 0);
    pollEvents(inMatch, particles);
    EXPECT_FALSE(keys[1].up);
    stepTaken();
}

// Presses of one key queued during a stall (the venue loading a new time of day): a step sees
// each release between them, so each press moves a menu once and none runs into the next.
TEST_F(shellEvents, pressesQueuedTogetherMoveAMenuOnceEach)
{
    ASSERT_TRUE(testsupport::openGLContext()) << "needs a display";
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
    }
    stepTaken();
    controller menuKeys, input, earlier;
    g_menuKeys = &menuKeys;
    gatherMenuInput(earlier);   // presses the tests before left for the menus
    menu screen;
    for (int i = 0; i < 20; i++)
        screen.addGo("line", i);
    screen.setController(&input);
    for (int i = 0; i < 4; i++) {
        SDL_Event down = keyEvent(SDL_KEYDOWN, SDLK_DOWN), up = keyEvent(SDL_KEYUP, SDLK_DOWN);
        ASSERT_EQ(SDL_PushEvent(&down), 0);
        ASSERT_EQ(SDL_PushEvent(&up), 0);
    }
    bool inMatch = false;
    int particles = 0;
    for (int step = 0; step < 40; step++) {   // a frame of one step each
        pollEvents(inMatch, particles);
        gatherMenuInput(input);
        screen.step(STEP_SECONDS);
        stepTaken();
    }
    EXPECT_EQ(screen.cursor, 4u);
    g_menuKeys = nullptr;
}

// The frame loop against a clock of its own: frames that take slowMs to draw until a Down key
// is read and fastMs after it (a burst of owed steps, then none), the key delivered by the
// display at downMs and let go at upMs. The key goes the real way (the
// event queue, the controllers, the menus' gathered input) to a screen of twenty lines, whose
// cursor counts the moves. A press shorter than the repeat delay moves once, however slowly
// the frames come and however many steps each owes; a held key repeats at its own pace.
class menuframes : public framerunner {
public:
    unsigned now = 1000;
    unsigned slowMs, fastMs, downMs, upMs;
    bool pressRead = false;
    controller menuKeys;
    controller input;
    menu screen;

    menuframes(unsigned slow, unsigned fast, unsigned down, unsigned up)
        : slowMs(slow), fastMs(fast), downMs(down), upMs(up)
    {
        for (int i = 0; i < 20; i++)
            screen.addGo("line", i);
        screen.setController(&input);
        g_menuKeys = &menuKeys;
    }
    ~menuframes() override { g_menuKeys = nullptr; }

    void readInput() override
    {
        send(downMs, SDL_KEYDOWN);
        send(upMs, SDL_KEYUP);
        bool inMatch = false;
        int particles = 0;
        pollEvents(inMatch, particles);
        gatherMenuInput(input);
        pressRead = downMs == 0;
    }
    bool step() override
    {
        screen.step(STEP_SECONDS);
        stepTaken();
        return true;
    }
    void draw() override { now += pressRead ? fastMs : slowMs; }

    int movesUntil(unsigned end)
    {
        stepclock pace;
        pace.restart(now);
        while (now < end) {
            runFrame(pace, now, MAX_STEPS_PER_FRAME);
            now += frameDelay(now, pace.due);
        }
        return static_cast<int>(screen.cursor);
    }

private:
    // the event of the key at ms, once it is due
    void send(unsigned& ms, Uint8 type)
    {
        if (ms == 0 || now < ms)
            return;
        SDL_Event e = keyEvent(type, SDLK_DOWN);
        ASSERT_EQ(SDL_PushEvent(&e), 0);
        ms = 0;
    }
};

TEST_F(shellEvents, aPressMovesAMenuOnceAtAnyFrameRate)
{
    ASSERT_TRUE(testsupport::openGLContext()) << "needs a display";
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
    }
    stepTaken();
    controller earlier;   // presses the tests before left for the menus
    gatherMenuInput(earlier);
    struct row { unsigned slowMs, fastMs, downMs, upMs; int least, most; };
    const row rows[] = {
        { 5, 5, 1100, 1400, 1, 1 },       // fast frames, 0.3 s
        { 79, 79, 1100, 1430, 1, 1 },     // four steps a frame, 0.33 s
        { 99, 5, 1190, 1490, 1, 1 },      // read at the end of a slow frame, then a burst
        { 99, 99, 1190, 1490, 1, 1 },
        { 150, 5, 1140, 1440, 1, 1 },     // slower than four steps a frame
        { 79, 79, 1100, 1110, 1, 1 },     // pressed and let go within one frame
        { 79, 5, 1100, 1110, 1, 1 },
        { 5, 5, 1100, 2100, 9, 9 },       // held 1 s: repeats after 0.4 s, then every 0.08 s
        { 79, 79, 1100, 2100, 8, 10 },
        { 79, 5, 1100, 2100, 8, 10 },
    };
    for (const row& r : rows) {
        menuframes frames(r.slowMs, r.fastMs, r.downMs, r.upMs);
        const int moves = frames.movesUntil(r.upMs + 600);
        EXPECT_GE(moves, r.least) << r.slowMs << "/" << r.fastMs << " ms frames, held "
                                  << r.upMs - r.downMs << " ms";
        EXPECT_LE(moves, r.most) << r.slowMs << "/" << r.fastMs << " ms frames, held "
                                 << r.upMs - r.downMs << " ms";
    }
    while (SDL_PollEvent(&e)) {
    }
}

// ---- frame capture ----

class captureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(testsupport::openGLContext()) << "needs a display";
        // 30 pixels: a row of 90 bytes is not a multiple of four
        screen_width = 30;
        screen_height = 20;
        reserveCaptureBuffer();
    }
    void TearDown() override
    {
        stopCapture();
        releaseCaptureBuffer();
        screen_width = 800;
        screen_height = 600;
        glDisable(GL_SCISSOR_TEST);
    }

    // black frame, a red block in the top-left corner and a green one in the bottom-right
    static void drawAsymmetric()
    {
        glDisable(GL_SCISSOR_TEST);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glEnable(GL_SCISSOR_TEST);
        glScissor(0, 15, 10, 5);     // GL rows count from the bottom: rows 15..19 are the top
        glClearColor(1, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glScissor(20, 0, 10, 3);
        glClearColor(0, 1, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glDisable(GL_SCISSOR_TEST);
    }
};

TEST_F(captureTest, framesAreWholeAndTopRowFirst)
{
    const std::string path = testsupport::makeTempDir() + "/video.out";
    ASSERT_TRUE(startCapture(path.c_str()));
    EXPECT_TRUE(g_capture);
    drawAsymmetric();
    captureFrame();
    captureFrame();
    stopCapture();

    const size_t frame = 30 * 20 * 3;
    const std::string data = readFile(path);
    ASSERT_EQ(data.size(), 2 * frame);
    EXPECT_EQ(data.substr(0, frame), data.substr(frame)) << "both frames show the same picture";

    auto pixel = [&](int x, int y) {   // y from the top of the picture
        const unsigned char* p = reinterpret_cast<const unsigned char*>(data.data()) + (y * 30 + x) * 3;
        return std::to_string(p[0]) + "," + std::to_string(p[1]) + "," + std::to_string(p[2]);
    };
    for (int y = 0; y < 20; y++) {
        for (int x = 0; x < 30; x++) {
            std::string want = "0,0,0";
            if (y < 5 && x < 10)
                want = "255,0,0";
            else if (y >= 17 && x >= 20)
                want = "0,255,0";
            ASSERT_EQ(pixel(x, y), want) << "at " << x << "," << y;
        }
    }
}

TEST_F(captureTest, captureStaysOffWhenTheFileCannotBeOpened)
{
    const std::string dir = testsupport::makeTempDir();
    // "video.out" taken by a folder, and a path through a missing folder
    ASSERT_EQ(mkdir((dir + "/video.out").c_str(), 0755), 0);
    for (const std::string& path : { dir + "/video.out", dir + "/missing/video.out" }) {
        EXPECT_FALSE(startCapture(path.c_str())) << path;
        EXPECT_FALSE(g_capture);
        EXPECT_EQ(g_videoout, nullptr);
        drawAsymmetric();
        captureFrame();   // must not write through a missing file
    }

    // a capture that was running is closed and left off when the next open fails
    const std::string good = dir + "/good.out";
    ASSERT_TRUE(startCapture(good.c_str()));
    captureFrame();
    EXPECT_FALSE(startCapture((dir + "/video.out").c_str()));
    captureFrame();
    EXPECT_EQ(fileSize(good), 30 * 20 * 3);
}

// On a full disk or past the file-size limit the capture keeps its whole frames, switches itself
// off, and the game goes on (the limit's signal would end the process).
TEST_F(captureTest, captureEndsOnAWholeFrameWhenTheFileCannotGrow)
{
    const long frame = 30 * 20 * 3;
    const std::string path = testsupport::makeTempDir() + "/video.out";
    struct rlimit before;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    struct rlimit limit = before;
    limit.rlim_cur = frame * 2 + frame / 2;   // room for two and a half frames
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    ASSERT_TRUE(startCapture(path.c_str()));
    drawAsymmetric();
    int captured = 0;
    for (; captured < 5 && g_capture; captured++)
        captureFrame();
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &before), 0);
    EXPECT_EQ(captured, 3);
    EXPECT_FALSE(g_capture);
    EXPECT_EQ(g_videoout, nullptr);
    EXPECT_EQ(fileSize(path), 2 * frame);
    captureFrame();   // off: nothing more is written
    EXPECT_EQ(fileSize(path), 2 * frame);

    // a device that is always full
    ASSERT_TRUE(startCapture("/dev/full"));
    captureFrame();
    EXPECT_FALSE(g_capture);
    EXPECT_EQ(g_videoout, nullptr);
}

// ---- post-processing ----

class postprocessTest : public ::testing::Test {
protected:
    static const int W = 64, H = 48, BUF = 128;
    unsigned tex = 0;

    void SetUp() override
    {
        ASSERT_TRUE(testsupport::openGLContext()) << "needs a display";
        screen_width = W;
        screen_height = H;
        bufsize = BUF;
        // the "previous frame": blue in its lower half, green in its upper half, and red
        // outside the frame's corner of the texture, which no copy may show
        std::vector<unsigned char> pix(BUF * BUF * 3);
        for (int y = 0; y < BUF; y++) {
            for (int x = 0; x < BUF; x++) {
                unsigned char* p = &pix[(y * BUF + x) * 3];
                const bool inFrame = x < W && y < H;
                p[0] = inFrame ? 0 : 255;
                p[1] = inFrame && y >= H / 2 ? 255 : 0;
                p[2] = inFrame && y < H / 2 ? 255 : 0;
            }
        }
        glGenTextures(1, &tex);
        glBindTexture(GL_TEXTURE_2D, tex);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, BUF, BUF, 0, GL_RGB, GL_UNSIGNED_BYTE, pix.data());
        g_buff = tex;
        glViewport(0, 0, W, H);
        glClearColor(0, 0, 0, 1);
        glClearDepth(0.25);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glClearDepth(1.0);
        glEnable(GL_DEPTH_TEST);
    }
    void TearDown() override
    {
        glDeleteTextures(1, &tex);
        g_buff = 0;
        g_feedback = g_shake = 0;
        screen_width = 800;
        screen_height = 600;
        bufsize = 1024;
    }

    static std::vector<unsigned char> colour()
    {
        std::vector<unsigned char> px(W * H * 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, W, H, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
        return px;
    }
    static std::vector<float> depth()
    {
        std::vector<float> d(W * H);
        glReadPixels(0, 0, W, H, GL_DEPTH_COMPONENT, GL_FLOAT, d.data());
        return d;
    }
};

TEST_F(postprocessTest, nothingChangesWhenBothEffectsAreOff)
{
    const std::vector<unsigned char> c0 = colour();
    const std::vector<float> d0 = depth();
    ASSERT_FLOAT_EQ(d0[0], 0.25f);

    for (float strength : { 0.0f, 0.01f }) {
        g_feedback = g_shake = strength;
        postprocess();
        EXPECT_EQ(colour(), c0) << strength;
        EXPECT_EQ(depth(), d0) << strength;
        EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST)) << strength;
    }

    // the same frame with the blur on is changed, depth buffer included
    g_shake = 1;
    postprocess();
    EXPECT_NE(colour(), c0);
    EXPECT_FLOAT_EQ(depth()[0], 1.0f);
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
}

TEST_F(postprocessTest, copiesOfThePreviousFrameAreLayeredUpright)
{
    struct row { float feedback, shake; int feedbackCopies, shakeCopies; };
    const row rows[] = {
        { 0.011f, 0, 1, 0 },
        { 0.25f, 0, 3, 0 },       // a = 0, 1, 2
        { 0.5f, 0, 5, 0 },
        { 0, 0.5f, 0, 7 },
        { 0.25f, 0.5f, 3, 7 },
        { 0.8f, 0, 8, 0 },        // one pass of eight
        { 1.2f, 0, 12, 0 },       // eight and four
        { 2.0f, 0.5f, 20, 7 },    // the title pictures' strongest
    };
    for (const row& r : rows) {
        SCOPED_TRACE(testing::Message() << "feedback " << r.feedback << " shake " << r.shake);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        g_feedback = r.feedback;
        g_shake = r.shake;
        postprocess();

        // each copy blends a fraction of the old frame over the new one
        float want = 0;
        for (int i = 0; i < r.feedbackCopies; i++)
            want += (255 - want) * 0.14f;
        for (int i = 0; i < r.shakeCopies; i++)
            want += (255 - want) * 0.143f;

        const std::vector<unsigned char> px = colour();
        const unsigned char* bottom = &px[(H / 4 * W + W / 2) * 4];      // GL rows from the bottom
        const unsigned char* top = &px[(3 * H / 4 * W + W / 2) * 4];
        EXPECT_NEAR(bottom[2], want, 4) << "blue half of the old frame at the bottom";
        EXPECT_EQ(bottom[1], 0);
        EXPECT_NEAR(top[1], want, 4) << "green half of the old frame at the top";
        EXPECT_EQ(top[2], 0);
        EXPECT_EQ(bottom[0], 0) << "texels outside the frame's corner are never shown";
        EXPECT_EQ(top[0], 0);
    }
}

// What a player sees of the two effects, pixel by pixel: the previous frame is a smooth
// pattern, and the picture is compared with the copies laid over black by hand. Copy a of the
// feedback is enlarged about the centre by 12 / (12 - 0.1 a); shake copy i is enlarged by
// 12 / 11.9 and turned by (i - 3) g_shake degrees, clockwise on the screen for a positive
// angle (the projection turns y downward).
class postprocessPictureTest : public postprocessTest {
protected:
    struct rgb { float c[3]; };

    // the previous frame: three waves across it; red outside its corner of the texture
    static rgb texel(int x, int y)
    {
        x = ((x % BUF) + BUF) % BUF;   // the texture repeats
        y = ((y % BUF) + BUF) % BUF;
        if (x >= W || y >= H)
            return rgb{{255, 0, 0}};
        const float k = 6.2831853f;
        return rgb{{128 + 120 * std::sin(k * x / 40), 128 + 120 * std::sin(k * y / 30),
                    128 + 120 * std::sin(k * (x + y) / 50)}};
    }
    // linear filtering at texel-space point (x, y); texel i has its centre at i + 0.5
    static rgb sample(float x, float y)
    {
        x -= 0.5f;
        y -= 0.5f;
        const int x0 = (int)std::floor(x), y0 = (int)std::floor(y);
        const float fx = x - x0, fy = y - y0;
        rgb r{{0, 0, 0}};
        const rgb q[4] = {texel(x0, y0), texel(x0 + 1, y0), texel(x0, y0 + 1), texel(x0 + 1, y0 + 1)};
        const float w[4] = {(1 - fx) * (1 - fy), fx * (1 - fy), (1 - fx) * fy, fx * fy};
        for (int i = 0; i < 4; i++)
            for (int c = 0; c < 3; c++)
                r.c[c] += w[i] * q[i].c[c];
        return r;
    }

    void SetUp() override
    {
        postprocessTest::SetUp();
        std::vector<unsigned char> pix(BUF * BUF * 3);
        for (int y = 0; y < BUF; y++)
            for (int x = 0; x < BUF; x++) {
                const rgb t = texel(x, y);
                for (int c = 0; c < 3; c++)
                    pix[(y * BUF + x) * 3 + c] = (unsigned char)std::lround(t.c[c]);
            }
        glBindTexture(GL_TEXTURE_2D, tex);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, BUF, BUF, 0, GL_RGB, GL_UNSIGNED_BYTE, pix.data());
    }

    // one copy, enlarged by scale and turned by degrees, blended with alpha over picture
    static void layCopy(std::vector<rgb>& picture, float scale, float degrees, float alpha)
    {
        const float t = degrees * 3.14159265f / 180;
        for (int py = 0; py < H; py++)
            for (int px = 0; px < W; px++) {
                // from the pixel back to the point of the unturned, unscaled copy
                const float x = px + 0.5f - W / 2.0f, y = py + 0.5f - H / 2.0f;
                const float ux = (std::cos(t) * x - std::sin(t) * y) / scale;
                const float uy = (std::sin(t) * x + std::cos(t) * y) / scale;
                if (std::fabs(ux) > W / 2.0f || std::fabs(uy) > H / 2.0f)
                    continue;
                const rgb s = sample(ux + W / 2.0f, uy + H / 2.0f);
                rgb& d = picture[py * W + px];
                for (int c = 0; c < 3; c++)
                    d.c[c] += (s.c[c] - d.c[c]) * alpha;
            }
    }

    static std::vector<rgb> expected(float feedback, float shake)
    {
        std::vector<rgb> picture(W * H, rgb{{0, 0, 0}});
        if (feedback > 0.01f)
            for (int a = 0; a < feedback * 10; a++)
                layCopy(picture, 12 / (12 - 0.1f * a), 0, 0.14f);
        if (shake > 0.01f)
            for (int i = 0; i < 7; i++)
                layCopy(picture, 12 / 11.9f, (i - 3) * shake, 0.143f);
        return picture;
    }
};

TEST_F(postprocessPictureTest, copiesAreEnlargedAndTurnedAsThePlayerSeesThem)
{
    struct row { float feedback, shake; };
    const row rows[] = { { 2.5f, 0 }, { 0, 3.0f }, { 1.0f, 2.0f } };
    for (const row& r : rows) {
        SCOPED_TRACE(testing::Message() << "feedback " << r.feedback << " shake " << r.shake);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        g_feedback = r.feedback;
        g_shake = r.shake;
        postprocess();
        const std::vector<unsigned char> px = colour();
        const std::vector<rgb> want = expected(r.feedback, r.shake);
        // edges of the copies fall between pixels; the mean tells a wrong scale or angle
        double sum = 0;
        int far = 0;
        for (int i = 0; i < W * H; i++)
            for (int c = 0; c < 3; c++) {
                const float d = std::fabs(px[i * 4 + c] - want[i].c[c]);
                sum += d;
                far += d > 16;
            }
        EXPECT_LT(sum / (W * H * 3), 1.5);
        EXPECT_LT(far, W * H * 3 / 50);
    }
}

TEST_F(postprocessTest, zoomCopiesMagnifyAboutTheCentreAndBlendInOrder)
{
    // the previous frame: red stripes six columns wide, so copies magnified a little more or
    // less show different reds away from the centre, and the order of blending shows
    std::vector<unsigned char> red(W);
    for (int x = 0; x < W; x++)
        red[x] = (x / 6) % 2 ? 0 : 255;
    std::vector<unsigned char> pix(BUF * BUF * 3, 0);
    for (int y = 0; y < BUF; y++)
        for (int x = 0; x < W; x++)
            pix[(y * BUF + x) * 3] = red[x];
    glBindTexture(GL_TEXTURE_2D, tex);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, BUF, BUF, GL_RGB, GL_UNSIGNED_BYTE, pix.data());
    // the red linear filtering gives at u texels from the left
    auto sample = [&](float u) {
        const float t = std::min(std::max(u - 0.5f, 0.0f), W - 1.0f);
        const int i = std::min((int)t, W - 2);
        return red[i] + (red[i + 1] - red[i]) * (t - i);
    };

    for (float feedback : { 0.5f, 1.2f, 2.0f }) {
        SCOPED_TRACE(testing::Message() << "feedback " << feedback);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        g_feedback = feedback;
        g_shake = 0;
        postprocess();

        const std::vector<unsigned char> px = colour();
        const int copies = (int)std::ceil(feedback * 10);
        for (int x = 0; x < W; x += 3) {
            // copy a is the frame magnified by 12 / (12 - 0.1 a) about the centre
            float want = 0;
            for (int a = 0; a < copies; a++) {
                const float shrink = (12 - 0.1f * a) / 12;
                want += (sample(W * 0.5f + (x + 0.5f - W * 0.5f) * shrink) - want) * 0.14f;
            }
            EXPECT_NEAR(px[(H / 2 * W + x) * 4], want, 4) << "column " << x;
        }
    }
}

// ---- configuration store ----

class configStore : public ::testing::Test {
protected:
    std::string savedXdg, savedHome;
    bool hadXdg = false;

    void SetUp() override
    {
        testsupport::closeConfig();
        const char* x = getenv("XDG_CONFIG_HOME");
        hadXdg = x != nullptr;
        savedXdg = x ? x : "";
        savedHome = getenv("HOME");
        // a fresh configuration folder for every test
        setenv("XDG_CONFIG_HOME", (testsupport::makeTempDir() + "/conf").c_str(), 1);
    }
    void TearDown() override
    {
        testsupport::closeConfig();
        if (hadXdg)
            setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
        setenv("HOME", savedHome.c_str(), 1);
    }

    static std::string file()
    {
        return std::string(getenv("XDG_CONFIG_HOME")) + "/tibrel/tibrel.conf";
    }
};

TEST_F(configStore, defaultsAreRecordedAndSurviveAReopen)
{
    wxConfigBase* cfg = openConfigStore();
    ASSERT_NE(cfg, nullptr);
    EXPECT_EQ(g_config, cfg);
    EXPECT_EQ(wxConfigBase::Get(false), cfg);

    long v = -1;
    cfg->Read("game/timeofday", &v, 1L);
    EXPECT_EQ(v, 1);
    cfg->Write("controls/player2", 4L);
    closeConfigStore();
    EXPECT_EQ(g_config, nullptr);
    EXPECT_EQ(wxConfigBase::Get(false), nullptr);

    const std::string text = readFile(file());
    EXPECT_NE(text.find("timeofday=1"), std::string::npos) << "the default read was recorded:\n" << text;

    cfg = openConfigStore();
    cfg->Read("controls/player2", &v, 0L);
    EXPECT_EQ(v, 4);
    cfg->Read("game/timeofday", &v, 3L);
    EXPECT_EQ(v, 1);
}

TEST_F(configStore, fallsBackToTheHomeFolder)
{
    const std::string home = testsupport::makeTempDir();
    setenv("HOME", home.c_str(), 1);
    for (bool unset : { true, false }) {
        if (unset)
            unsetenv("XDG_CONFIG_HOME");
        else
            setenv("XDG_CONFIG_HOME", "relative/path", 1);   // only an absolute path counts
        wxConfigBase* cfg = openConfigStore();
        cfg->Write("pl1/height", unset ? 1.5 : 2.0);
        closeConfigStore();
        EXPECT_NE(readFile(home + "/.config/tibrel/tibrel.conf").find(unset ? "height=1.5" : "height=2"),
                  std::string::npos) << (unset ? "no XDG_CONFIG_HOME" : "relative XDG_CONFIG_HOME");
    }
    struct stat st;
    EXPECT_NE(stat("relative", &st), 0) << "nothing written relative to the working folder";
}

TEST_F(configStore, damagedFilesDoNotStopTheGame)
{
    std::string garbage;
    srand(7);
    for (int i = 0; i < 20000; i++)
        garbage += static_cast<char>(rand() & 0xff);
    const std::string longLine(3 * 1024 * 1024, 'x');
    static const char broken[] = "[game]\ntimeofday=2\n\xff\xfe\x00junk=\x80\n[[[\n=5\n[controls]\nplayer0=6\n";
    struct row { const char* what; std::string bytes; long wantTime, wantPlayer; };
    const row rows[] = {
        { "random bytes", garbage, 1, 0 },
        { "an over-long line between good ones",
          "[game]\ntimeofday=3\n" + longLine + "\n[controls]\nplayer0=2\n", 3, 2 },
        { "an over-long value", "[game]\ntimeofday=" + longLine + "\n", 1, 0 },
        { "broken lines and bytes",
          std::string(broken, sizeof broken - 1), 2, 6 },
        { "values that are no numbers", "[game]\ntimeofday=999999999999999999999999\n[controls]\nplayer0=abc\n", 1, 0 },
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        testsupport::writeFile(file(), r.bytes);
        wxConfigBase* cfg = openConfigStore();
        ASSERT_NE(cfg, nullptr);
        long t = -1, p = -1;
        cfg->Read("game/timeofday", &t, 1L);
        cfg->Read("controls/player0", &p, 0L);
        EXPECT_EQ(t, r.wantTime);
        EXPECT_EQ(p, r.wantPlayer);
        cfg->Write("game/gamemode", 2L);
        closeConfigStore();

        // the store still works on the file it wrote back
        cfg = openConfigStore();
        long m = -1;
        cfg->Read("game/gamemode", &m, 0L);
        EXPECT_EQ(m, 2);
        closeConfigStore();
    }
}

TEST_F(configStore, anUnusableFolderLeavesAWorkingStore)
{
    // the configuration folder's place is taken by a file
    const std::string base = getenv("XDG_CONFIG_HOME");
    testsupport::writeFile(base + "/tibrel", "not a folder");
    wxConfigBase* cfg = openConfigStore();
    ASSERT_NE(cfg, nullptr);
    long v = -1;
    cfg->Read("game/roundlength", &v, 2L);
    EXPECT_EQ(v, 2);
    cfg->Write("game/roundlength", 5L);
    cfg->Read("game/roundlength", &v, 2L);
    EXPECT_EQ(v, 5);
    closeConfigStore();
    EXPECT_EQ(readFile(base + "/tibrel"), "not a folder");
}

// A folder where the settings file belongs: the settings hold for the run, and nothing is left
// behind in the folder (wx would leave a temporary file at every flush)
TEST_F(configStore, aFolderInPlaceOfTheFileLeavesNothingBehind)
{
    ASSERT_EQ(mkdir((std::string(getenv("XDG_CONFIG_HOME"))).c_str(), 0700), 0);
    ASSERT_EQ(mkdir((std::string(getenv("XDG_CONFIG_HOME")) + "/tibrel").c_str(), 0700), 0);
    ASSERT_EQ(mkdir(file().c_str(), 0700), 0);
    for (int run = 0; run < 2; run++) {
        wxConfigBase* cfg = openConfigStore();
        ASSERT_NE(cfg, nullptr);
        long v = -1;
        cfg->Read("game/timeofday", &v, 1L);
        EXPECT_EQ(v, 1);
        cfg->Write("game/timeofday", 3L);
        cfg->Flush();
        cfg->Read("game/timeofday", &v, 1L);
        EXPECT_EQ(v, 3);
        closeConfigStore();
    }
    int entries = 0;
    const std::string folder = std::string(getenv("XDG_CONFIG_HOME")) + "/tibrel";
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d))
            entries += e->d_name[0] != '.';
        closedir(d);
    }
    EXPECT_EQ(entries, 1) << "only the folder named tibrel.conf";
    struct stat st;
    ASSERT_EQ(stat(file().c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
}
