#include "main.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <cstdlib>
#include <cstring>
#include <string>
#include <SDL/SDL.h>
#include <GL/gl.h>
#include <wx/fileconf.h>
#include <wx/filename.h>
#include <wx/debug.h>
#include <wx/log.h>
#include "controller.h"
#include "sound.h"
#include "game.h"
#include "glstuff.h"
#include "intromenu.h"
#include "mainmenu.h"
#include "random.h"
#include "replay.h"
#include "textrender.h"

int screen_width = 800;
int screen_height = 600;
int bufsize = 1024;
wxConfigBase* g_config = nullptr;
game* g_thegame = nullptr;
float g_feedback = 0;
float g_shake = 0;
float g_mix = 0;
unsigned g_buff = 0;
unsigned char* buffer = nullptr;
FILE* g_videoout = nullptr;
bool g_capture = false;

static const unsigned FRAME_MS = 20;
static const int MAX_DEBUG_PARTICLES = 1024;
static const char* const MENU_MUSIC = "data/music/menu_01.xm";

// ---- command line ----

int findInCmdLine(int count, char** values, const char* str)
{
    if (!values || !str)
        return 0;
    for (int i = 1; i < count; i++) {
        if (values[i] && strcmp(values[i], str) == 0)
            return 1;
    }
    return 0;
}

shellswitches readSwitches(int argc, char** argv)
{
    struct resolution { const char* name; int w, h, buf; };
    static const resolution resolutions[] = {
        { "-640", 640, 480, 1024 },
        { "-800", 800, 600, 1024 },
        { "-1024", 1024, 768, 1024 },
        { "-1280", 1280, 1024, 2048 },
    };
    screen_width = 800;
    screen_height = 600;
    bufsize = 1024;
    for (const resolution& r : resolutions) {
        if (findInCmdLine(argc, argv, r.name)) {
            screen_width = r.w;
            screen_height = r.h;
            bufsize = r.buf;
        }
    }
    shellswitches s;
    s.windowed = findInCmdLine(argc, argv, "-w") != 0;
    s.capture = findInCmdLine(argc, argv, "-capture") != 0;
    s.play = findInCmdLine(argc, argv, "-play") != 0;
    return s;
}

// ---- window and devices ----

void openWindow(bool windowed)
{
    Uint32 flags = SDL_OPENGL;
    if (!windowed)
        flags |= SDL_FULLSCREEN | SDL_NOFRAME;
    // a busy X server may turn a connection away for a moment, and SDL then falls back to a
    // video driver without OpenGL: start the video system again and retry a few times
    for (int attempt = 0; attempt < 5; attempt++) {
        if (attempt > 0) {
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
            SDL_Delay(100);
        }
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0 &&
            SDL_SetVideoMode(screen_width, screen_height, 0, flags))
            break;
    }
    SDL_ShowCursor(SDL_DISABLE);
    SDL_WM_SetCaption("Tibrel 2006", nullptr);
    atexit(SDL_Quit);
}

void greyScreen(float g)
{
    glClearColor(g, g, g, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    SDL_GL_SwapBuffers();
}

int openJoysticks()
{
    // the menu offers Joystick 1 to 4, so every one of them is opened, not only the first
    int n = std::min(SDL_NumJoysticks(), 4);
    int opened = 0;
    for (int i = 0; i < n; i++) {
        if (SDL_JoystickOpen(i))
            opened++;
    }
    return opened;
}

// ---- configuration store ----

// $XDG_CONFIG_HOME/tibrel/tibrel.conf or ~/.config/tibrel/tibrel.conf, the folder created;
// empty when neither variable names a folder
static std::string configFilePath()
{
    std::string dir;
    const char* xdg = getenv("XDG_CONFIG_HOME");
    const char* home = getenv("HOME");
    if (xdg && xdg[0] == '/')
        dir = xdg;
    else if (home && home[0] == '/')
        dir = std::string(home) + "/.config";
    if (dir.empty())
        return std::string();
    dir += "/tibrel";
    wxFileName::Mkdir(wxString::FromUTF8(dir.c_str()), 0700, wxPATH_MKDIR_FULL);
    return dir + "/tibrel.conf";
}

wxConfigBase* openConfigStore()
{
    closeConfigStore();
    // the game reports nothing: a damaged or unwritable file must not print messages, and
    // wx's own checks (no wxApp here, nameless entries of a damaged file) must stay silent too
    wxLog::EnableLogging(false);
    wxSetAssertHandler(nullptr);
    std::string file = configFilePath();
    long style = wxCONFIG_USE_GLOBAL_FILE;
    if (!file.empty())
        style |= wxCONFIG_USE_LOCAL_FILE;
    wxFileConfig* cfg = new wxFileConfig("tibrel", wxEmptyString, wxString::FromUTF8(file.c_str()),
                                         wxEmptyString, style);
    cfg->SetRecordDefaults(true);
    g_config = cfg;
    wxConfigBase::Set(cfg);
    return cfg;
}

void closeConfigStore()
{
    if (!g_config)
        return;
    if (wxConfigBase::Get(false) == g_config)
        wxConfigBase::Set(nullptr);
    delete g_config;   // flushes
    g_config = nullptr;
}

// ---- frame capture ----

void reserveCaptureBuffer()
{
    releaseCaptureBuffer();
    buffer = new unsigned char[static_cast<size_t>(screen_width) * screen_height * 4];
}

void releaseCaptureBuffer()
{
    delete[] buffer;
    buffer = nullptr;
}

bool startCapture(const char* path)
{
    stopCapture();
    g_videoout = fopen(path, "wb");
    g_capture = g_videoout != nullptr;
    return g_capture;
}

void stopCapture()
{
    if (g_videoout)
        fclose(g_videoout);
    g_videoout = nullptr;
    g_capture = false;
}

void captureFrame()
{
    if (!g_capture || !g_videoout || !buffer)
        return;
    // tightly packed rows, whatever the width
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, screen_width, screen_height, GL_RGB, GL_UNSIGNED_BYTE, buffer);
    const size_t row = static_cast<size_t>(screen_width) * 3;
    // GL reads bottom-up; the file holds the picture top row first
    for (int y = screen_height - 1; y >= 0; y--) {
        if (fwrite(buffer + y * row, 1, row, g_videoout) != row) {
            // a full disk: stop rather than leave torn frames behind every frame
            stopCapture();
            return;
        }
    }
}

// ---- post-processing ----

static void effectProjection()
{
    glClear(GL_DEPTH_BUFFER_BIT);
    glDisable(GL_DEPTH_TEST);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // bottom 3, top -3: y points down, so the copied frame shows the right way up
    glFrustum(-4, 4, 3, -3, 1.2, 2000);
    glMatrixMode(GL_MODELVIEW);
}

// the previous frame from g_buff as a quad that fills the view at a distance of 12
static void previousFrameQuad(float alpha)
{
    const float w = static_cast<float>(screen_width) / bufsize;
    const float h = static_cast<float>(screen_height) / bufsize;
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, g_buff);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(1, 1, 1, alpha);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex3f(-40, 30, 0);
    glTexCoord2f(w, 0);
    glVertex3f(40, 30, 0);
    glTexCoord2f(w, h);
    glVertex3f(40, -30, 0);
    glTexCoord2f(0, h);
    glVertex3f(-40, -30, 0);
    glEnd();
}

void postprocess()
{
    if (g_feedback > 0.01f) {
        effectProjection();
        // each copy 0.1 nearer than the last, so the trails stream outward
        for (int a = 0; a < g_feedback * 10; a++) {
            glLoadIdentity();
            glTranslatef(0, 0, a * 0.1f - 12);
            previousFrameQuad(0.14f);
        }
    }
    if (g_shake > 0.01f) {
        effectProjection();
        // seven copies turned by -3 ... +3 times g_shake degrees
        for (int i = 0; i < 7; i++) {
            glLoadIdentity();
            glRotatef((i - 3) * g_shake, 0, 0, 1);
            glTranslatef(0, 0, -11.9f);
            previousFrameQuad(0.143f);
        }
    }
}

// ---- the frame ----

void beginFrame()
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLineWidth(1.25f);
    glEnable(GL_BLEND);
    glDisable(GL_CULL_FACE);
    glEnable(GL_ALPHA_TEST);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glLoadIdentity();
    glTranslatef(0, 0, -100);
}

void keepFrame()
{
    glBindTexture(GL_TEXTURE_2D, g_buff);
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, screen_width, screen_height);
}

bool handleEvent(const SDL_Event& e, bool& inMatch, int& debugParticles)
{
    switch (e.type) {
    case SDL_KEYDOWN: {
        const SDLKey key = e.key.keysym.sym;
        if (key == SDLK_F1 || key == SDLK_F2) {
            const int step = key == SDLK_F1 ? 1 : -1;
            debugParticles = std::max(0, std::min(debugParticles + step, MAX_DEBUG_PARTICLES));
        }
        controllerKey(key, true);
        if (key == SDLK_ESCAPE) {
            if (!inMatch)
                return false;
            // back to the menu; the match keeps its state
            inMatch = false;
            playMusic(MENU_MUSIC);
        }
        break;
    }
    case SDL_KEYUP:
        controllerKey(e.key.keysym.sym, false);
        break;
    case SDL_JOYAXISMOTION:
        controllerJoyAxis(e.jaxis.which, e.jaxis.axis, e.jaxis.value);
        break;
    case SDL_JOYBUTTONDOWN:
    case SDL_JOYBUTTONUP:
        controllerJoyButton(e.jbutton.which, e.jbutton.button, e.type == SDL_JOYBUTTONDOWN);
        break;
    default:
        // no window-close handling: the game is left through the main menu
        break;
    }
    return true;
}

void pollEvents(bool& inMatch, int& debugParticles)
{
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        if (!handleEvent(e, inMatch, debugParticles))
            break;
    }
}

unsigned frameDelay(unsigned t0, unsigned t1)
{
    if (t1 == t0)
        return 0;
    const unsigned took = t1 - t0;   // unsigned: right across the counter's wrap
    return took < FRAME_MS ? FRAME_MS - took : 0;
}

void paceFrame(unsigned t0)
{
    const unsigned wait = frameDelay(t0, SDL_GetTicks());
    if (wait)
        SDL_Delay(wait);
}

// ---- seeds and replays ----

static const size_t KEPT_REPLAYS = 20;

static replayrecorder g_recorder;           // the match being played, when recording
static replayplayer* g_playback = nullptr;  // the replay being shown ("-replay FILE")
static std::string g_replayName;
static randomstate g_startRandoms;          // both generators just before the match was built
static int g_exitStatus = 0;

const char* switchValue(int argc, char** argv, const char* name)
{
    for (int i = 1; i + 1 < argc; i++)
        if (argv[i] && strcmp(argv[i], name) == 0)
            return argv[i + 1];
    return nullptr;
}

static void shellError(const std::string& text)
{
    fprintf(stderr, "tibrel: %s\n", text.c_str());
}

int prepareReplay(int argc, char** argv)
{
    delete g_playback;
    g_playback = nullptr;
    if (findInCmdLine(argc, argv, "-seed") && !switchValue(argc, argv, "-seed")) {
        shellError("-seed needs a whole number, e.g. -seed 7");
        return 1;
    }
    const char* seed = switchValue(argc, argv, "-seed");
    if (seed) {
        char* end = nullptr;
        errno = 0;
        strtoull(seed, &end, 10);
        if (!*seed || *end || errno || seed[0] == '-') {
            shellError(std::string("-seed needs a whole number, not \"") + seed + "\"");
            return 1;
        }
    }
    if (!findInCmdLine(argc, argv, "-replay"))
        return 0;
    const char* file = switchValue(argc, argv, "-replay");
    if (!file) {
        shellError("-replay needs a replay file");
        return 1;
    }
    std::string error;
    replayplayer* p = new replayplayer();
    if (!p->load(file, error)) {
        delete p;
        shellError(error);
        return 1;
    }
    g_playback = p;
    g_replayName = file;
    return 0;
}

void seedRandom(int argc, char** argv)
{
    const char* seed = switchValue(argc, argv, "-seed");
    if (g_playback) {
        restoreRandomState(g_playback->header.randoms);
    } else if (seed) {
        seedGenerators(seedsFromNumber(strtoull(seed, nullptr, 10)));
    } else {
        timespec now;
        clock_gettime(CLOCK_REALTIME, &now);
        const unsigned long long micros =
            static_cast<unsigned long long>(now.tv_sec) * 1000000ULL + now.tv_nsec / 1000;
        seedGenerators(seedsFromClock(micros, SDL_GetTicks()));
    }
}

void useReplayStore()
{
    if (!g_playback)
        return;
    closeConfigStore();
    g_config = replayStore(g_playback->header);
    wxConfigBase::Set(g_config);
}

game* buildMatch()
{
    saveRandomState(g_startRandoms);
    return new game();
}

static void startRecording(game& match, bool begun)
{
    const std::string folder = replayFolder();
    if (folder.empty())
        return;
    replayheader h;
    h.begun = begun;
    h.debugParticles = match.debugParticles;
    h.settings = replaySettings(g_config);
    h.randoms = g_startRandoms;
    if (g_recorder.open(newReplayPath(folder), h))
        pruneReplays(folder, KEPT_REPLAYS);
}

void startFirstMatch(game& match, bool play)
{
    if (g_playback) {
        match.debugParticles = g_playback->header.debugParticles;
        if (g_playback->header.begun)
            match.event(game::EV_BEGIN, 0.0f);
    } else if (play) {
        startRecording(match, false);
    }
}

game* beginMatch(game* old, mainmenu& menu)
{
    // a fresh match every time, so its replay starts from what a fresh game builds
    const int debug = old->debugParticles;
    g_thegame = nullptr;
    delete old;
    game* match = buildMatch();
    g_thegame = match;
    match->debugParticles = debug;
    for (int i = 0; i < 4; i++)
        menu.onSelect(menu.controlItem + i);
    menu.onSelect(menu.optionsItem + 2);
    // the menu's screen effects end with it
    g_shake = 0;
    g_mix = 0;
    match->event(game::EV_BEGIN, 0.0f);
    startRecording(*match, true);
    return match;
}

void endMatchReplay(game& match)
{
    g_recorder.close(match);
    if (!g_playback)
        return;
    delete g_playback;
    g_playback = nullptr;
    // nothing a recording held stays pressed
    controller* devices[REPLAY_DEVICES];
    replayDevices(devices);
    for (controller* c : devices)
        if (c)
            c->reset_state();
}

bool stepMatch(game& match)
{
    if (g_playback) {
        controller* devices[REPLAY_DEVICES];
        replayDevices(devices);
        const replayplayer::result r = g_playback->beforeStep(match, devices);
        if (r != replayplayer::GO) {
            if (!g_playback->message().empty())
                shellError("replay " + g_replayName + ": " + g_playback->message());
            g_exitStatus = r == replayplayer::MISMATCH ? 2 : (r == replayplayer::DAMAGED ? 1 : 0);
            endMatchReplay(match);
            return false;
        }
    }
    g_recorder.beforeStep(match);
    match.step(STEP_SECONDS);
    g_recorder.afterStep(match);
    return true;
}

// screens still open under the main menu (title pictures not yet shown when a replay ends),
// deepest first
static void closeSubScreens(menu* top)
{
    while (top->subMenu) {
        menu* deepest = top->subMenu;
        while (deepest->subMenu)
            deepest = deepest->subMenu;
        deepest->detachFromParent();
        delete deepest;
    }
}

// The start-up, the frame loop and the shutdown.
static const float STEP = STEP_SECONDS;

int SDL_main(int argc, char** argv)
{
    if (const int status = prepareReplay(argc, argv))
        return status;
    SDL_Init(SDL_INIT_AUDIO | SDL_INIT_VIDEO);
    const shellswitches switches = readSwitches(argc, argv);
    reserveCaptureBuffer();
    openWindow(switches.windowed);
    openConfigStore();
    useReplayStore();
    greyScreen(0.5f);

    seedRandom(argc, argv);
    initSound();
    greyScreen(0.4f);
    GLInitFreeType();
    SDL_InitSubSystem(SDL_INIT_JOYSTICK);
    greyScreen(0.3f);
    openJoysticks();

    game* match = buildMatch();
    greyScreen(0.2f);
    g_thegame = match;
    controller* keys[2] = { new controller(), new controller() };
    controller* joys[4] = { new controller(), new controller(), new controller(), new controller() };
    std::copy(keys, keys + 2, g_keys);
    std::copy(joys, joys + 4, g_joys);
    mainmenu* mainMenu = new mainmenu();
    greyScreen(0.1f);

    // the title pictures: the deepest screen shows first, so team, presents, name, menu
    intromenu* name = new intromenu("data/titles/name.png", 5.0f, 1.0f, 1.0f);
    intromenu* presents = new intromenu("data/titles/presents.png", 3.0f, 1.0f, 1.0f);
    intromenu* team = new intromenu("data/titles/team.png", 4.0f, 1.0f, 1.0f);
    mainMenu->setController(g_keys[0]);
    mainMenu->openSubMenu(name);
    name->openSubMenu(presents);
    presents->openSubMenu(team);
    mainMenu->setBackground("data/titles/mainmenu_bg.png");

    if (switches.capture)
        startCapture("video.out");
    playMusic(MENU_MUSIC);
    bool inMatch = switches.play || g_playback;
    startFirstMatch(*match, inMatch);
    greyScreen(0.0f);
    reserveTexture(&g_buff, bufsize, bufsize, true);
    SDL_JoystickEventState(SDL_ENABLE);

    for (;;) {
        const unsigned t0 = SDL_GetTicks();
        SDL_JoystickUpdate();
        beginFrame();
        if (inMatch)
            match->draw();
        else
            mainMenu->draw();
        postprocess();
        glFlush();
        keepFrame();
        captureFrame();
        SDL_GL_SwapBuffers();

        const bool wasInMatch = inMatch;
        pollEvents(inMatch, match->debugParticles);
        if (wasInMatch && !inMatch)
            endMatchReplay(*match);

        if (inMatch) {
            if (!stepMatch(*match))
                break;
        } else {
            // each menu transition shows as a zoom blur dying away with the screen's fade
            g_feedback = std::min(g_mix, 10.0f);
            mainMenu->step(STEP);
            if (mainMenu->result == 1) {
                inMatch = true;
                match = beginMatch(match, *mainMenu);
                mainMenu->result = 0;
            }
            if (mainMenu->result == -1)
                break;
        }
        paceFrame(t0);
    }

    if (inMatch)
        endMatchReplay(*match);
    stopMusic();
    deinitSound();
    stopCapture();
    releaseCaptureBuffer();
    closeConfigStore();
    closeSubScreens(mainMenu);
    delete mainMenu;
    for (int i = 3; i >= 0; i--) {
        g_joys[i] = nullptr;
        delete joys[i];
    }
    for (int i = 1; i >= 0; i--) {
        g_keys[i] = nullptr;
        delete keys[i];
    }
    g_thegame = nullptr;
    delete match;
    GLDeinitFreeType();
    return g_exitStatus;
}
