#include "main.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>
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

// the mode and a GL context both there: a driver without OpenGL may hand back a surface
static bool glWindowIsUsable(const SDL_Surface* s)
{
    return s && (s->flags & SDL_OPENGL) && s->w == screen_width && s->h == screen_height &&
           glGetString(GL_VERSION) != nullptr;
}

bool openWindow(bool windowed)
{
    // SDL would otherwise fall back to a text terminal or frame buffer driver, none of which
    // draws with OpenGL; a driver the user names is still honoured
    setenv("SDL_VIDEODRIVER", "x11", 0);
    char driver[32];
    if (SDL_WasInit(SDL_INIT_VIDEO) &&
        (!SDL_VideoDriverName(driver, sizeof driver) || strcmp(driver, getenv("SDL_VIDEODRIVER"))))
        SDL_QuitSubSystem(SDL_INIT_VIDEO);   // started before, on whatever SDL found
    Uint32 flags = SDL_OPENGL;
    if (!windowed)
        flags |= SDL_FULLSCREEN | SDL_NOFRAME;
    // a busy X server may turn connections away for a while: start the video system again
    // and retry, waiting 0.1, 0.2, 0.4, 0.8 and 1.6 s in between
    std::string reason;
    bool opened = false;
    for (int attempt = 0; attempt < 6 && !opened; attempt++) {
        if (attempt > 0) {
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
            SDL_Delay(100u << (attempt - 1));
        }
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            reason = SDL_GetError();
            continue;
        }
        opened = glWindowIsUsable(SDL_SetVideoMode(screen_width, screen_height, 0, flags));
        if (!opened)
            reason = SDL_GetError()[0] ? SDL_GetError() : "no OpenGL context";
    }
    if (!opened) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        SDL_SetError("%s", reason.c_str());
        return false;
    }
    SDL_ShowCursor(SDL_DISABLE);
    SDL_WM_SetCaption("Tibrel 2006", nullptr);
    atexit(SDL_Quit);
    return true;
}

void reportWindowFailure()
{
    fprintf(stderr, "tibrel: cannot open an OpenGL window of %dx%d: %s\n", screen_width,
            screen_height, SDL_GetError());
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
// empty when neither variable names a folder or something other than a file is in the way
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
    const std::string file = dir + "/tibrel.conf";
    // a folder, pipe or device in the file's place: wx would leave a temporary file behind at
    // every flush, or wait on the pipe; the settings then live for this run only
    struct stat st;
    if (stat(file.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        return std::string();
    return file;
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

static long s_capturedBytes = 0;   // whole frames in g_videoout so far

bool startCapture(const char* path)
{
    stopCapture();
    // past a file-size limit a write then fails with EFBIG instead of the signal ending the game
    signal(SIGXFSZ, SIG_IGN);
    g_videoout = fopen(path, "wb");
    // unbuffered: a frame that does not fit leaves nothing behind to be written at close
    if (g_videoout)
        setvbuf(g_videoout, nullptr, _IONBF, 0);
    s_capturedBytes = 0;
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
    const size_t frame = row * screen_height;
    // GL reads bottom-up; the file holds the picture top row first
    std::vector<unsigned char> swap(row);
    for (int top = 0, bottom = screen_height - 1; top < bottom; top++, bottom--) {
        unsigned char* a = buffer + top * row;
        unsigned char* b = buffer + bottom * row;
        memcpy(swap.data(), a, row);
        memcpy(a, b, row);
        memcpy(b, swap.data(), row);
    }
    if (fwrite(buffer, 1, frame, g_videoout) != frame) {
        // a full disk or a file-size limit: keep the whole frames, switch capture off and play on
        if (ftruncate(fileno(g_videoout), s_capturedBytes) != 0)
            clearerr(g_videoout);   // nothing more can be done; the frames before are whole
        stopCapture();
        return;
    }
    s_capturedBytes += static_cast<long>(frame);
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

// The start-up, the frame loop and the shutdown.
static const float STEP = 0.02f;   // seconds of game time per frame

int SDL_main(int argc, char** argv)
{
    SDL_Init(SDL_INIT_AUDIO);   // video comes with the window, on a driver that has OpenGL
    const shellswitches switches = readSwitches(argc, argv);
    reserveCaptureBuffer();
    if (!openWindow(switches.windowed)) {
        reportWindowFailure();
        releaseCaptureBuffer();
        SDL_Quit();
        return 1;
    }
    openConfigStore();
    greyScreen(0.5f);

    init_genrand(SDL_GetTicks());
    srand(SDL_GetTicks());
    initSound();
    greyScreen(0.4f);
    GLInitFreeType();
    SDL_InitSubSystem(SDL_INIT_JOYSTICK);
    greyScreen(0.3f);
    openJoysticks();

    game* match = new game();
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
    bool inMatch = switches.play;
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

        pollEvents(inMatch, match->debugParticles);

        if (inMatch) {
            match->step(STEP);
        } else {
            // each menu transition shows as a zoom blur dying away with the screen's fade
            g_feedback = std::min(g_mix, 10.0f);
            mainMenu->step(STEP);
            if (mainMenu->result == 1) {
                inMatch = true;
                match->event(game::EV_BEGIN, 0.0f);
                mainMenu->result = 0;
            }
            if (mainMenu->result == -1)
                break;
        }
        paceFrame(t0);
    }

    stopMusic();
    deinitSound();
    stopCapture();
    releaseCaptureBuffer();
    closeConfigStore();
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
    return 0;
}
