#include "main.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <ctime>
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
#include "bindings.h"
#include "controller.h"
#include "controlsmenu.h"
#include "sound.h"
#include "game.h"
#include "glstuff.h"
#include "intromenu.h"
#include "mainmenu.h"
#include "random.h"
#include "replay.h"
#include "textrender.h"
#include <X11/Xlib.h>   // last: its macros (None, Status, ...) would upset the headers above

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

// ---- help, data folder and leaving ----

#ifndef TIBREL_VERSION
#define TIBREL_VERSION "unknown"
#endif
// the installed data root seen from the folder of the executable
#ifndef TIBREL_DATA_FROM_BIN
#define TIBREL_DATA_FROM_BIN "../share/tibrel"
#endif

static const char* const HELP_SWITCHES =
    "Usage: tibrel [switches]\n"
    "Beach volleyball for up to four players at one computer.\n"
    "\n"
    "Switches:\n"
    "  -w                         play in a window instead of full screen\n"
    "  -640 -800 -1024 -1280      resolution 640x480, 800x600 (default), 1024x768,\n"
    "                             1280x1024; with several, the largest wins\n"
    "  -capture                   write every shown frame to video.out in the folder\n"
    "                             the game was started from (raw RGB, no header)\n"
    "  -play                      start straight in a match\n"
    "  -seed N                    start the random generators from N, not the clock\n"
    "  -replay FILE               play a recorded match back (replays are kept in\n"
    "                             $XDG_DATA_HOME/tibrel/replays, else\n"
    "                             ~/.local/share/tibrel/replays)\n"
    "  -h, --help                 show this text and leave\n"
    "  -v, --version              show the version and leave\n"
    "\n"
    "Keys in use (\"Controls...\" in the main menu changes them; left / right / up / down):\n";

static const char* const HELP_OTHER_KEYS =
    "  Menus        arrows move and change a value (held, they repeat), Return picks or\n"
    "               steps forward; every device's keys work too (jump steps back);\n"
    "               Escape leaves a screen\n"
    "  Escape       leaves a match for the main menu (it never ends the game)\n"
    "  M            mutes and unmutes music and effects\n"
    "  F1, F2       more or fewer debug particles\n"
    "The game ends with \"Quit\" in the main menu, by closing its window, or on\n"
    "SIGINT (Ctrl+C) or SIGTERM.\n"
    "\n"
    "Settings: $XDG_CONFIG_HOME/tibrel/tibrel.conf, else ~/.config/tibrel/tibrel.conf\n"
    "Data: data/ in the working folder, else the installed share/tibrel/data\n";

// the keys of every device as the store binds them now; the store is only read
static void printKeys()
{
    openConfigStore();
    loadBindings(g_config, false);
    closeConfigStore();
    for (int d = 0; d < BIND_DEVICES; d++)
        printf("  %-12s %s\n  %-12s %s\n", deviceName(d), runDescription(d).c_str(), "",
               buttonDescription(d).c_str());
}

static std::string g_startFolder;              // the working folder the game was started from
static volatile sig_atomic_t g_leave = 0;      // set by a window close or SIGINT / SIGTERM

bool printInfo(int argc, char** argv)
{
    if (findInCmdLine(argc, argv, "--help") || findInCmdLine(argc, argv, "-h")) {
        fputs(HELP_SWITCHES, stdout);
        printKeys();
        fputs(HELP_OTHER_KEYS, stdout);
        return true;
    }
    if (findInCmdLine(argc, argv, "--version") || findInCmdLine(argc, argv, "-v")) {
        printf("tibrel %s\n", TIBREL_VERSION);
        return true;
    }
    return false;
}

static bool isFolder(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string installedDataRoot()
{
    char exe[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0)
        return std::string();
    exe[n] = 0;
    std::string folder(exe);
    folder.erase(folder.rfind('/') + 1);
    return folder + TIBREL_DATA_FROM_BIN;
}

// a data/ folder below root that is the game's: a home folder's own "data" is not
static bool holdsData(const std::string& root)
{
    return isFolder(root + "/data/titles");
}

bool findData()
{
    char cwd[PATH_MAX];
    g_startFolder = getcwd(cwd, sizeof cwd) ? cwd : ".";
    if (holdsData("."))
        return true;
    // the data paths all read "data/...": the installed root becomes the working folder
    const std::string installed = installedDataRoot();
    if (!installed.empty() && holdsData(installed) && chdir(installed.c_str()) == 0)
        return true;
    fprintf(stderr, "tibrel: no game data in %s/data or %s/data; starting without pictures, "
            "text and sound\n", g_startFolder.c_str(), installed.c_str());
    return false;
}

std::string inStartFolder(const char* name)
{
    if (g_startFolder.empty() || name[0] == '/')
        return name;
    return g_startFolder + "/" + name;
}

static void onLeaveSignal(int)
{
    g_leave = 1;
}

void catchLeaveSignals()
{
    // installed before SDL starts, which then leaves them alone
    signal(SIGINT, onLeaveSignal);
    signal(SIGTERM, onLeaveSignal);
}

bool leaveRequested()
{
    return g_leave != 0;
}

void closeOpenScreens(menu* top)
{
    while (top->subMenu) {
        menu* deepest = top->subMenu;
        while (deepest->subMenu)
            deepest = deepest->subMenu;
        deepest->detachFromParent();
        delete deepest;
    }
}

// ---- window and devices ----

// the mode and a GL context both there: a driver without OpenGL may hand back a surface
static bool glWindowIsUsable(const SDL_Surface* s)
{
    return s && (s->flags & SDL_OPENGL) && s->w == screen_width && s->h == screen_height &&
           glGetString(GL_VERSION) != nullptr;
}

// SDL's X11 driver opens a probe connection, closes it and connects again: a server that
// resets when its last client leaves would drop the second one. Holding a connection of our
// own across the video start and its retries keeps the server from resetting under us.
class xconnectionkeeper {
public:
    ~xconnectionkeeper()
    {
        if (display)
            XCloseDisplay(display);
    }
    // tries again on each call until a connection is held (no-op for other video drivers)
    void hold()
    {
        const char* driver = getenv("SDL_VIDEODRIVER");
        if (!display && driver && strcmp(driver, "x11") == 0)
            display = XOpenDisplay(nullptr);
    }

private:
    Display* display = nullptr;
};

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
    xconnectionkeeper keeper;   // closed once the window is up or we gave up
    for (int attempt = 0; attempt < 6 && !opened; attempt++) {
        if (attempt > 0) {
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
            SDL_Delay(100u << (attempt - 1));
        }
        keeper.hold();
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
std::string userBaseFolder(const char* xdgVariable, const char* underHome)
{
    const char* xdg = getenv(xdgVariable);
    const char* home = getenv("HOME");
    if (xdg && xdg[0] == '/')
        return xdg;
    if (home && home[0] == '/')
        return std::string(home) + "/" + underHome;
    return std::string();
}

static std::string configFilePath()
{
    std::string dir = userBaseFolder("XDG_CONFIG_HOME", ".config");
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

// The zoom-feedback copies a0 ... a0 + k - 1 in one pass, one texture unit each. Copy a is
// the previous frame on a quad at a distance of 12 - 0.1 a, so on the screen it is the frame
// magnified by 12 / (12 - 0.1 a) about the centre: unit j samples the frame at the screen's
// coordinates scaled by the inverse about the centre. Blended one by one with alpha 0.14, k
// copies give the frame below times 0.86^k plus a weighted sum of the copies; the units
// build that sum scaled to 1 (each mixing in its copy at its share of the copies so far) and
// the fragment's alpha, 1 - 0.86^k, blends it over the frame in one go.
static void feedbackPass(int a0, int k)
{
    const float alpha = 0.14f;
    const float w = static_cast<float>(screen_width) / bufsize;
    const float h = static_cast<float>(screen_height) / bufsize;
    float kept = 1;   // 0.86^j: what of the frame below the first j copies leave
    for (int j = 0; j < k; j++) {
        glActiveTexture(GL_TEXTURE0 + j);
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, g_buff);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
        kept *= 1 - alpha;
        // the first copy replaces, each later one mixes in at its share
        const float share = j == 0 ? 1.0f : alpha / (1 - kept);
        const float colour[4] = { 0, 0, 0, share };
        glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, colour);
        glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, j == 0 ? GL_REPLACE : GL_INTERPOLATE);
        glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB, GL_TEXTURE);
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_RGB, GL_SRC_COLOR);
        glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_RGB, GL_PREVIOUS);
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND1_RGB, GL_SRC_COLOR);
        glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE2_RGB, GL_CONSTANT);
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND2_RGB, GL_SRC_ALPHA);
        glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_ALPHA, GL_REPLACE);
        glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_ALPHA, j == 0 ? GL_PRIMARY_COLOR : GL_PREVIOUS);
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_ALPHA, GL_SRC_ALPHA);
    }
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(1, 1, 1, 1 - kept);
    glLoadIdentity();
    glTranslatef(0, 0, -12);
    // the corners of the unmagnified frame, as previousFrameQuad draws them
    static const float corner[4][4] = {
        { 0, 0, -40, 30 }, { 1, 0, 40, 30 }, { 1, 1, 40, -30 }, { 0, 1, -40, -30 }
    };
    glBegin(GL_QUADS);
    for (const auto& c : corner) {
        for (int j = 0; j < k; j++) {
            const float shrink = (12 - (a0 + j) * 0.1f) / 12;
            glMultiTexCoord2f(GL_TEXTURE0 + j, w * (0.5f + (c[0] - 0.5f) * shrink),
                              h * (0.5f + (c[1] - 0.5f) * shrink));
        }
        glVertex3f(c[2], c[3], 0);
    }
    glEnd();
    for (int j = k - 1; j >= 0; j--) {
        glActiveTexture(GL_TEXTURE0 + j);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        if (j > 0)
            glDisable(GL_TEXTURE_2D);
    }
}

void postprocess()
{
    if (g_feedback > 0.01f) {
        effectProjection();
        // each copy 0.1 nearer than the last, so the trails stream outward; as many copies
        // in each pass as there are texture units
        GLint units = 1;
        glGetIntegerv(GL_MAX_TEXTURE_UNITS, &units);
        units = std::max(1, std::min(units, 8));
        const int copies = static_cast<int>(std::ceil(g_feedback * 10));
        for (int a = 0; a < copies; a += units)
            feedbackPass(a, std::min(units, copies - a));
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
        // the Controls screen waiting for a key takes it, whatever it is
        if (!waitingForInput()) {
            if (key == SDLK_F1 || key == SDLK_F2) {
                const int step = key == SDLK_F1 ? 1 : -1;
                debugParticles = std::max(0, std::min(debugParticles + step, MAX_DEBUG_PARTICLES));
            }
            if (key == SDLK_m)
                toggleMute();
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
    case SDL_QUIT:
        // the window's close button: leave at the end of this frame, as "Quit" does
        g_leave = 1;
        break;
    default:
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
    // older recordings go only once the new one's header is safely on disk
    const std::string path = newReplayPath(folder);
    if (g_recorder.open(path, h))
        pruneReplays(folder, KEPT_REPLAYS, path.substr(folder.size() + 1));
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

// The start-up, the frame loop and the shutdown.
static const float STEP = STEP_SECONDS;

int SDL_main(int argc, char** argv)
{
    if (printInfo(argc, argv))
        return 0;
    if (const int status = prepareReplay(argc, argv))
        return status;
    catchLeaveSignals();
    SDL_Init(SDL_INIT_AUDIO);   // video comes with the window, on a driver that has OpenGL
    const shellswitches switches = readSwitches(argc, argv);
    findData();
    reserveCaptureBuffer();
    if (!openWindow(switches.windowed)) {
        reportWindowFailure();
        releaseCaptureBuffer();
        SDL_Quit();
        return 1;
    }
    openConfigStore();
    useReplayStore();
    greyScreen(0.5f);

    seedRandom(argc, argv);
    initSound();
    loadControlSettings();
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
    controller menuKeys;
    controller menuInput;   // every device at once, gathered each frame
    g_menuKeys = &menuKeys;
    mainmenu* mainMenu = new mainmenu();
    greyScreen(0.1f);

    // the title pictures: the deepest screen shows first, so team, presents, name, menu
    intromenu* name = new intromenu("data/titles/name.png", 5.0f, 1.0f, 1.0f);
    intromenu* presents = new intromenu("data/titles/presents.png", 3.0f, 1.0f, 1.0f);
    intromenu* team = new intromenu("data/titles/team.png", 4.0f, 1.0f, 1.0f);
    mainMenu->setController(&menuInput);
    mainMenu->openSubMenu(name);
    name->openSubMenu(presents);
    presents->openSubMenu(team);
    mainMenu->setBackground("data/titles/mainmenu_bg.png");

    if (switches.capture)
        startCapture(inStartFolder("video.out").c_str());
    playMusic(MENU_MUSIC);
    bool inMatch = switches.play || g_playback;
    // the menu has set the stored time of day; a match started at once follows it as well
    if (inMatch)
        match->applyDaytime();
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
        gatherMenuInput(menuInput);
        if (leaveRequested())
            break;
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
    closeOpenScreens(mainMenu);
    delete mainMenu;
    for (int i = 3; i >= 0; i--) {
        g_joys[i] = nullptr;
        delete joys[i];
    }
    for (int i = 1; i >= 0; i--) {
        g_keys[i] = nullptr;
        delete keys[i];
    }
    g_menuKeys = nullptr;
    g_thegame = nullptr;
    delete match;
    GLDeinitFreeType();
    return g_exitStatus;
}
