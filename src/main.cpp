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
#include "daytime.h"
#include "controlsmenu.h"
#include "sound.h"
#include "game.h"
#include "glstuff.h"
#include "inputsource.h"
#include "intromenu.h"
#include "mainmenu.h"
#include "onlinemenu.h"
#include "pausemenu.h"
#include "playback.h"
#include "random.h"
#include "replay.h"
#include "replaylist.h"
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

// ---- screen size and shape ----

float screenAspect()
{
    return screen_height > 0 ? static_cast<float>(screen_width) / screen_height : 4.0f / 3.0f;
}

layoutrect screenLayout()
{
    const float w = static_cast<float>(screen_width), h = static_cast<float>(screen_height);
    if (w * 3 >= h * 4) {
        const float lw = std::floor(h * 4 / 3 + 0.5f);   // whole pixels keep text sharp
        return layoutrect{ std::floor((w - lw) / 2), 0, lw, h };
    }
    const float lh = std::floor(w * 3 / 4 + 0.5f);
    return layoutrect{ 0, std::floor((h - lh) / 2), w, lh };
}

layoutrect coverLayout()
{
    const float w = static_cast<float>(screen_width), h = static_cast<float>(screen_height);
    if (w * 3 >= h * 4)
        return layoutrect{ 0, (h - w * 3 / 4) / 2, w, w * 3 / 4 };
    return layoutrect{ (w - h * 4 / 3) / 2, 0, h * 4 / 3, h };
}

void setScreenSize(int w, int h)
{
    screen_width = w;
    screen_height = h;
    bufsize = 1;
    while (bufsize < std::max(w, h))
        bufsize *= 2;
}

// digits up to the first non-digit, at most five of them; -1 when there are none
static int readEdge(const char*& p)
{
    int value = 0, digits = 0;
    for (; *p >= '0' && *p <= '9'; p++) {
        if (++digits > 5)
            return -1;
        value = value * 10 + (*p - '0');
    }
    return digits ? value : -1;
}

bool parseSize(const char* text, int& w, int& h)
{
    if (!text)
        return false;
    const char* p = text;
    const int width = readEdge(p);
    if (*p++ != 'x')
        return false;
    const int height = readEdge(p);
    if (*p || width < 1 || height < 1 || width > MAX_SCREEN_EDGE || height > MAX_SCREEN_EDGE)
        return false;
    w = width;
    h = height;
    return true;
}

shellswitches readSwitches(int argc, char** argv)
{
    struct resolution { const char* name; int w, h; };
    static const resolution resolutions[] = {
        { "-640", 640, 480 },
        { "-800", 800, 600 },
        { "-1024", 1024, 768 },
        { "-1280", 1280, 1024 },
    };
    shellswitches s;
    s.sized = false;
    setScreenSize(800, 600);
    for (const resolution& r : resolutions) {
        if (findInCmdLine(argc, argv, r.name)) {
            setScreenSize(r.w, r.h);
            s.sized = true;
        }
    }
    int w = 0, h = 0;
    if (parseSize(switchValue(argc, argv, "-size"), w, h)) {
        setScreenSize(w, h);
        s.sized = true;
    }
    s.windowed = findInCmdLine(argc, argv, "-w") != 0;
    s.capture = findInCmdLine(argc, argv, "-capture") != 0;
    s.play = findInCmdLine(argc, argv, "-play") != 0;
    s.leaveAfterReplay = findInCmdLine(argc, argv, "-leave-after-replay") != 0;
    return s;
}

bool checkSizeSwitch(int argc, char** argv)
{
    if (!findInCmdLine(argc, argv, "-size"))
        return true;
    int w, h;
    const char* value = switchValue(argc, argv, "-size");
    if (parseSize(value, w, h))
        return true;
    fprintf(stderr, "tibrel: -size needs WIDTHxHEIGHT, each 1 to %d, e.g. -size 1280x720%s%s%s\n",
            MAX_SCREEN_EDGE, value ? ", not \"" : "", value ? value : "", value ? "\"" : "");
    return false;
}

bool applySizeSetting(shellswitches& s)
{
    if (s.sized || !g_config)
        return false;
    // read without recording the default: a start whose window then fails must leave the
    // settings file as it was
    const bool recording = g_config->IsRecordingDefaults();
    g_config->SetRecordDefaults(false);
    const wxString text = g_config->Read("video/size", wxString());
    g_config->SetRecordDefaults(recording);
    int w, h;
    if (!parseSize(text.utf8_str(), w, h))
        return false;
    setScreenSize(w, h);
    s.sized = true;
    return true;
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
    "Usage: tibrel [switches] [REPLAY FILE]\n"
    "Beach volleyball for up to four players at one computer.\n"
    "\n"
    "Switches:\n"
    "  -w                         play in a window instead of full screen\n"
    "  -size WIDTHxHEIGHT         window or full screen of that size; without it full\n"
    "                             screen takes the desktop's size and a window 800x600\n"
    "                             (the setting video/size does the same)\n"
    "  -640 -800 -1024 -1280      size 640x480, 800x600, 1024x768, 1280x1024; with\n"
    "                             several, the largest wins\n"
    "  -capture                   write every shown frame to video.out in the folder\n"
    "                             the game was started from (raw RGB, no header)\n"
    "  -play                      start straight in a match\n"
    "  -seed N                    start the random generators from N, not the clock\n"
    "  -replay FILE               play a recorded match back, then go on to the title\n"
    "                             pictures and the main menu (replays are kept in\n"
    "                             $XDG_DATA_HOME/tibrel/replays, else\n"
    "                             ~/.local/share/tibrel/replays; \"Replays...\" in the\n"
    "                             main menu lists them)\n"
    "  -leave-after-replay        with -replay: leave the game when the replay ends\n"
    "  -capture-to FILE           -capture into FILE (a file or a pipe)\n"
    "  REPLAY FILE                the same as -replay FILE (a file manager opens\n"
    "                             replays so)\n"
    "  -host [PORT]               host an online match: open its lobby at once\n"
    "                             (UDP port net/port, 28617, unless given)\n"
    "  -join ADDR[:PORT]          join the online match hosted at ADDR\n"
    "  -h, --help                 show this text and leave\n"
    "  -v, --version              show the version and leave\n"
    "\n"
    "Keys in use (\"Controls...\" in the main menu changes them; left / right / up / down):\n";

static const char* const HELP_OTHER_KEYS =
    "  Menus        arrows move and change a value (held, they repeat), Return picks or\n"
    "               steps forward; every device's keys work too (jump steps back);\n"
    "               Escape leaves a screen\n"
    "  Escape       pauses a match: Resume, Restart Match, Leave Match (a joystick's\n"
    "               third button too); it never ends the game. In an online match\n"
    "               it leaves the match; on the host it ends it for everyone\n"
    "  Replays      Space pauses, Right and Left double and halve the speed; Escape (or\n"
    "               a joystick's third button) leaves\n"
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
static controller* g_pauseRequest = nullptr;   // the device whose pause key was pressed
static pausemenu* g_pause = nullptr;           // the pause screen, while one is open
static playback g_pace;                        // speed and pause of a replay being watched

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

// whether the display shows w x h as asked: a full screen only in one of its modes (any other
// size would be boxed in black or not shown at all), a window only when it fits the desktop
static bool displayTakes(int w, int h, bool windowed, int desktopW, int desktopH, Uint32 flags)
{
    if (w == desktopW && h == desktopH)
        return true;
    if (windowed)
        return w <= desktopW && h <= desktopH;
    SDL_Rect** modes = SDL_ListModes(nullptr, flags);
    if (modes == reinterpret_cast<SDL_Rect**>(-1))
        return true;   // any size
    for (; modes && *modes; modes++)
        if ((*modes)->w == w && (*modes)->h == h)
            return true;
    return false;
}

// The size to open, once the video system runs: the desktop's for desktopSize, else the one
// asked for when the display takes it, else the desktop's with a line on standard error.
static void fitToDisplay(bool windowed, bool desktopSize, Uint32 flags)
{
    const SDL_VideoInfo* info = SDL_GetVideoInfo();
    const int dw = info ? info->current_w : 0, dh = info ? info->current_h : 0;
    if (dw <= 0 || dh <= 0 || dw > MAX_SCREEN_EDGE || dh > MAX_SCREEN_EDGE)
        return;   // the desktop's size is unknown: as asked
    if (desktopSize) {
        setScreenSize(dw, dh);
        return;
    }
    if (displayTakes(screen_width, screen_height, windowed, dw, dh, flags))
        return;
    fprintf(stderr, "tibrel: the display cannot show %s%dx%d; using its own size %dx%d\n",
            windowed ? "a window of " : "full screen at ", screen_width, screen_height, dw, dh);
    setScreenSize(dw, dh);
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

bool openWindow(bool windowed, bool desktopSize)
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
    bool opened = false, fitted = false;
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
        if (!fitted)
            fitToDisplay(windowed, desktopSize, flags);
        fitted = true;
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
    // bottom 3, top -3: y points down, so the copied frame shows the right way up; the sides
    // follow the window's shape, so a turned copy is not sheared
    const double side = 3.0 * screenAspect();
    glFrustum(-side, side, 3, -3, 1.2, 2000);
    glMatrixMode(GL_MODELVIEW);
}

// half the width of the quad that fills the view at a distance of 12 (its half height is 30)
static float frameQuadSide()
{
    return 30 * screenAspect();
}

// the previous frame from g_buff as a quad that fills the view at a distance of 12
static void previousFrameQuad(float alpha)
{
    const float w = static_cast<float>(screen_width) / bufsize;
    const float h = static_cast<float>(screen_height) / bufsize;
    const float x = frameQuadSide();
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, g_buff);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(1, 1, 1, alpha);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex3f(-x, 30, 0);
    glTexCoord2f(w, 0);
    glVertex3f(x, 30, 0);
    glTexCoord2f(w, h);
    glVertex3f(x, -30, 0);
    glTexCoord2f(0, h);
    glVertex3f(-x, -30, 0);
    glEnd();
}

// One copy of the previous frame as the effects lay it over the new one: magnified by
// 1 / shrink and turned by `angle` degrees about the centre of the screen.
struct framecopy {
    float shrink;
    float angle;
};

// Copies c[0] ... c[k - 1] in one pass, one texture unit each, over the centred part `extent`
// (0 ... 1) of the screen. Unit j samples the frame at the screen's coordinates taken back
// through its copy's turn and magnification. Blended one by one with `alpha`, k copies give
// the frame below times (1 - alpha)^k plus a weighted sum of the copies; the units build
// that sum scaled to 1 (each mixing in its copy at its share of the copies so far) and the
// fragment's alpha, 1 - (1 - alpha)^k, blends it over the frame in one go. The quad lies at
// distance d, so a depth test can tell it from the single copies drawn at 11.9.
static void copiesPass(const framecopy* c, int k, float alpha, float extent, float d)
{
    const float w = static_cast<float>(screen_width) / bufsize;
    const float h = static_cast<float>(screen_height) / bufsize;
    float kept = 1;   // (1 - alpha)^j: what of the frame below the first j copies leave
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
    glTranslatef(0, 0, -d);
    // the corners of the unmagnified frame, as previousFrameQuad draws them, at distance 12
    const float side = frameQuadSide();
    const float corner[4][2] = { { -side, 30 }, { side, 30 }, { side, -30 }, { -side, -30 } };
    glBegin(GL_QUADS);
    for (const auto& p : corner) {
        const float x = p[0] * extent, y = p[1] * extent;
        for (int j = 0; j < k; j++) {
            const float turn = -c[j].angle * static_cast<float>(M_PI) / 180;
            const float qx = (x * std::cos(turn) - y * std::sin(turn)) * c[j].shrink;
            const float qy = (x * std::sin(turn) + y * std::cos(turn)) * c[j].shrink;
            glMultiTexCoord2f(GL_TEXTURE0 + j, w * (0.5f + qx / (2 * side)), h * (0.5f - qy / 60));
        }
        glVertex3f(x * d / 12, y * d / 12, 0);
    }
    glEnd();
    for (int j = k - 1; j >= 0; j--) {
        glActiveTexture(GL_TEXTURE0 + j);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        if (j > 0)
            glDisable(GL_TEXTURE_2D);
    }
}

// the copies in as few passes as there are texture units for
static void layerCopies(const framecopy* c, int count, float alpha, float extent, float d)
{
    GLint units = 1;
    glGetIntegerv(GL_MAX_TEXTURE_UNITS, &units);
    units = std::max(1, std::min(units, 8));
    for (int a = 0; a < count; a += units)
        copiesPass(c + a, std::min(units, count - a), alpha, extent, d);
}

// Of the screen's centred rectangles, the largest share (at most 1) that every copy turned by
// at most maxAngle degrees and magnified by 1 / shrink still covers.
static float coveredExtent(float maxAngle, float shrink)
{
    const float a = std::fabs(maxAngle) * static_cast<float>(M_PI) / 180;
    // a corner (x e, 30 e) taken back into a copy must stay within its x by 30 half-edges
    const float x = frameQuadSide();
    const float e = std::min(x / (x * std::cos(a) + 30 * std::sin(a)),
                             30 / (x * std::sin(a) + 30 * std::cos(a))) / shrink;
    return std::min(e, 1.0f);
}

void postprocess()
{
    if (g_feedback > 0.01f) {
        effectProjection();
        // each copy 0.1 nearer than the last, so the trails stream outward
        const int count = static_cast<int>(std::ceil(g_feedback * 10));
        std::vector<framecopy> copies(count);
        for (int a = 0; a < count; a++)
            copies[a] = { (12 - a * 0.1f) / 12, 0 };
        layerCopies(copies.data(), count, 0.14f, 1, 12);
    }
    if (g_shake > 0.01f) {
        effectProjection();
        // seven copies turned by -3 ... +3 times g_shake degrees, magnified by 12 / 11.9: in
        // passes over the middle that all of them cover, then one by one over the corners,
        // where the depth the passes left keeps them off the middle
        framecopy copies[7];
        for (int i = 0; i < 7; i++)
            copies[i] = { 11.9f / 12, (i - 3) * g_shake };
        const float middle = coveredExtent(3 * g_shake, 11.9f / 12);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LESS);
        layerCopies(copies, 7, 0.143f, middle, 11);
        glDepthMask(GL_FALSE);
        for (int i = 0; i < 7 && middle < 1; i++) {
            glLoadIdentity();
            glRotatef((i - 3) * g_shake, 0, 0, 1);
            glTranslatef(0, 0, -11.9f);
            previousFrameQuad(0.143f);
        }
        glDepthMask(GL_TRUE);
        glDisable(GL_DEPTH_TEST);
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

void showFrame(gameobject* shown, void (*over)(), void (*uncaptured)())
{
    SDL_JoystickUpdate();
    beginFrame();
    shown->draw();
    if (over)
        over();
    postprocess();
    glFlush();
    keepFrame();
    captureFrame();
    if (uncaptured)
        uncaptured();
    SDL_GL_SwapBuffers();
}

void keepFrame()
{
    glBindTexture(GL_TEXTURE_2D, g_buff);
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, screen_width, screen_height);
}

// Escape in a match that is over or in a replay: back to the menu (where a replay returns to
// the screen it was chosen on)
static void leaveForMenu(bool& inMatch)
{
    inMatch = false;
    playMusic(MENU_MUSIC);
}

bool handleEvent(const SDL_Event& e, bool& inMatch, int& debugParticles, menu* screens)
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
        // a replay sets the devices again before each step, so a key pressed meanwhile
        // changes nothing in it
        controllerKey(key, true);
        if (!inMatch && screens)
            screens->shown()->onKey(key);
        if (inMatch && watching())
            g_pace.key(key);
        onlineKey(e.key.keysym.unicode, key);
        if (key == SDLK_ESCAPE) {
            if (!inMatch)
                return false;
            if (watching() || (g_thegame && g_thegame->state == game::STATE_MATCHOVER && !g_pause)) {
                // a replay has no pause screen (Space is its pause); a match over says
                // Escape leads to the menu
                leaveForMenu(inMatch);
                return false;
            }
            if (onlineSession())
                onlineEscape();   // an online match is never paused
            else
                g_pauseRequest = g_keys[0];
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
        // a pad's third button pauses, as Escape does, and leaves a replay as Escape does
        if (e.type == SDL_JOYBUTTONDOWN && e.jbutton.button == 2 && inMatch && e.jbutton.which < 4) {
            if (watching()) {
                leaveForMenu(inMatch);
                return false;
            }
            if (onlineSession()) {
                if (!g_thegame || g_thegame->state != game::STATE_MATCHOVER)
                    onlineEscape();
            } else
                g_pauseRequest = g_joys[e.jbutton.which];
        }
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

// Presses and releases the controllers have been given since the last step. SDL 1.2 events
// carry no time: a key pressed and released within one long frame would otherwise reach the
// next step as released, so the release of such a press waits in the queue until a step has
// seen it. Likewise a press that follows a release of the same key waits, or presses queued
// during a stall would run together into one long hold that the menus repeat.
static std::vector<int> s_freshPresses;   // a key, or JOY_CODE + 256 * joystick + button
static std::vector<int> s_freshReleases;

static const int JOY_CODE = 0x10000;

// the key or joystick button of a press or release event; -1 for other events
static int pressCode(const SDL_Event& e)
{
    if (e.type == SDL_KEYDOWN || e.type == SDL_KEYUP)
        return e.key.keysym.sym;
    if (e.type == SDL_JOYBUTTONDOWN || e.type == SDL_JOYBUTTONUP)
        return JOY_CODE + 256 * e.jbutton.which + e.jbutton.button;
    return -1;
}

static bool isRelease(const SDL_Event& e)
{
    return e.type == SDL_KEYUP || e.type == SDL_JOYBUTTONUP;
}

void pollEvents(bool& inMatch, int& debugParticles, menu* screens)
{
    SDL_PumpEvents();
    SDL_Event e;
    while (SDL_PeepEvents(&e, 1, SDL_PEEKEVENT, SDL_ALLEVENTS) == 1) {
        const int code = pressCode(e);
        const std::vector<int>& before = isRelease(e) ? s_freshPresses : s_freshReleases;
        // the release of a fresh press, or the press after a fresh release, and everything
        // behind it, waits for the next step
        if (code >= 0 && std::find(before.begin(), before.end(), code) != before.end())
            break;
        SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_ALLEVENTS);
        if (code >= 0)
            (isRelease(e) ? s_freshReleases : s_freshPresses).push_back(code);
        if (!handleEvent(e, inMatch, debugParticles, screens))
            break;
    }
}

void stepTaken()
{
    s_freshPresses.clear();
    s_freshReleases.clear();
}

int stepsDue(int late, int cap)
{
    const int frame = static_cast<int>(FRAME_MS);
    if (cap < 1)
        cap = 1;
    if (late < frame)
        return 1;
    return std::min(1 + late / frame, cap);
}

unsigned frameDelay(unsigned now, unsigned due)
{
    const int ahead = static_cast<int>(due - now);   // signed: right across the counter's wrap
    if (ahead <= 0)
        return 0;
    return std::min(static_cast<unsigned>(ahead), FRAME_MS);
}

void stepclock::restart(unsigned now)
{
    due = now;
}

int stepclock::owed(unsigned now, int cap)
{
    const int late = static_cast<int>(now - due);
    const int steps = stepsDue(late, cap);
    due += steps * FRAME_MS;
    // a debt beyond the cap is dropped, and a counter that went back starts the schedule anew
    if (static_cast<int>(due - now) <= 0 || late < -static_cast<int>(FRAME_MS))
        due = now + FRAME_MS;
    return steps;
}

void stepclock::wait() const
{
    const unsigned delay = frameDelay(SDL_GetTicks(), due);
    if (delay)
        SDL_Delay(delay);
}

void framerunner::runFrame(stepclock& pace, unsigned now, int cap)
{
    const int steps = pace.owed(now, cap);
    for (int i = 0; i < steps; i++) {
        if (i == steps - 1)
            readInput();
        if (!step())
            break;
    }
    draw();
}

// ---- seeds and replays ----

static const size_t KEPT_REPLAYS = 20;

static replayrecorder g_recorder;           // the match being played, when recording
static replayplayer* g_commandLineReplay = nullptr;   // "-replay FILE", loaded before the window
static std::string g_commandLineName;
static localinput g_localInput;
static inputsource* g_source = &g_localInput;   // where the match's steps take their inputs
static randomstate g_startRandoms;          // both generators just before the match was built
static int g_exitStatus = 0;

// the replay being watched (g_source while it runs): its own settings store stands in for
// the player's meanwhile
static replayinput* g_replay = nullptr;
static bool g_replayFromCommandLine = false;
static wxConfigBase* g_playerStore = nullptr;

const char* switchValue(int argc, char** argv, const char* name)
{
    for (int i = 1; i + 1 < argc; i++)
        if (argv[i] && strcmp(argv[i], name) == 0)
            return argv[i + 1];
    return nullptr;
}

const char* replayArgument(int argc, char** argv)
{
    if (const char* file = switchValue(argc, argv, "-replay"))
        return file;
    // a file handed over by a file manager or the desktop entry's %f: a word that is neither
    // a switch nor the value of one
    for (int i = 1; i < argc; i++) {
        if (!argv[i] || argv[i][0] == '-' || !argv[i][0])
            continue;
        static const char* const withValues[] = { "-seed", "-replay", "-capture-to", "-size",
                                                   "-host", "-join" };
        bool value = false;
        for (const char* sw : withValues)
            value = value || (argv[i - 1] && strcmp(argv[i - 1], sw) == 0);
        if (value)
            continue;
        return argv[i];
    }
    return nullptr;
}

static void shellError(const std::string& text)
{
    fprintf(stderr, "tibrel: %s\n", text.c_str());
}

int prepareReplay(int argc, char** argv)
{
    delete g_commandLineReplay;
    g_commandLineReplay = nullptr;
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
    const char* file = replayArgument(argc, argv);
    if (!file && !findInCmdLine(argc, argv, "-replay"))
        return 0;
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
    g_commandLineReplay = p;
    g_commandLineName = file;
    return 0;
}

void seedRandom(int argc, char** argv)
{
    const char* seed = switchValue(argc, argv, "-seed");
    if (seed) {
        seedGenerators(seedsFromNumber(strtoull(seed, nullptr, 10)));
    } else {
        timespec now;
        clock_gettime(CLOCK_REALTIME, &now);
        const unsigned long long micros =
            static_cast<unsigned long long>(now.tv_sec) * 1000000ULL + now.tv_nsec / 1000;
        seedGenerators(seedsFromClock(micros, SDL_GetTicks()));
    }
}

game* buildMatch()
{
    saveRandomState(g_startRandoms);
    return new game();
}

// the old match goes, a new one built from the generators as they are now
static game* replaceMatch(game* old)
{
    g_thegame = nullptr;
    delete old;
    game* match = buildMatch();
    g_thegame = match;
    return match;
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

// the end mark, and how the match ended for the list of replays
static void closeRecording(game& match)
{
    const bool wasOpen = g_recorder.isOpen();
    const std::string path = g_recorder.path();
    const unsigned steps = g_recorder.steps();
    g_recorder.close(match);
    if (wasOpen)
        noteRecordedReplay(path, steps, match);
}

// the "-replay FILE" loaded by prepareReplay, watched
static game* watchCommandLineReplay(game* old, mainmenu& menu)
{
    delete menu.watch;
    menu.watch = g_commandLineReplay;
    menu.watchName = g_commandLineName;
    g_commandLineReplay = nullptr;
    game* match = watchReplay(old, menu);
    g_replayFromCommandLine = true;
    return match;
}

game* startFirstMatch(game* match, mainmenu& menu, bool play)
{
    if (g_commandLineReplay)
        return watchCommandLineReplay(match, menu);
    if (play)
        startRecording(*match, false);
    return match;
}

void useInputSource(inputsource* source)
{
    if (g_source != &g_localInput)
        delete g_source;
    g_source = source ? source : &g_localInput;
}

game* beginMatch(game* old, mainmenu& menu)
{
    // a fresh match every time, so its replay starts from what a fresh game builds
    const int debug = old->debugParticles;
    game* match = replaceMatch(old);
    match->debugParticles = debug;
    for (int i = 0; i < 4; i++)
        menu.onSelect(menu.controlItem + i);
    menu.onSelect(menu.optionsItem + 2);   // game mode
    menu.onSelect(menu.optionsItem + 3);   // the computer's level
    // the menu's screen effects end with it
    g_shake = 0;
    g_mix = 0;
    match->event(game::EV_BEGIN, 0.0f);
    startRecording(*match, true);
    return match;
}

game* watchReplay(game* old, mainmenu& menu)
{
    closeRecording(*old);
    const replayheader& h = menu.watch->header;
    // the replay's settings stand in for the player's until it ends; they are never written
    g_playerStore = g_config;
    g_config = replayStore(h);
    wxConfigBase::Set(g_config);
    restoreRandomState(h.randoms);
    game* match = replaceMatch(old);
    menu.readStored();
    match->applyDaytime();
    match->debugParticles = h.debugParticles;
    if (h.begun)
        match->event(game::EV_BEGIN, 0.0f);
    g_shake = 0;
    g_mix = 0;
    g_replay = new replayinput(menu.watch, menu.watchName);
    menu.watch = nullptr;
    useInputSource(g_replay);
    g_replayFromCommandLine = false;
    g_pace = playback();
    return match;
}

bool watching()
{
    return g_replay != nullptr;
}

bool watchingCommandLine()
{
    return watching() && g_replayFromCommandLine;
}

game* leaveMatch(game* match, mainmenu& menu)
{
    closeRecording(*match);
    // a replay's source lets go of the devices it held
    useInputSource(nullptr);
    if (!g_replay)
        return match;
    g_replay = nullptr;
    // the player's own store, settings and a fresh match of theirs come back
    delete g_config;
    g_config = g_playerStore;
    g_playerStore = nullptr;
    wxConfigBase::Set(g_config);
    match = replaceMatch(match);
    menu.readStored();
    return match;
}

// one step when the source holds its inputs; false when the source has ended
static bool stepOnce(game& match, mainmenu& menu)
{
    const inputsource::status s = g_source->beforeStep(match);
    if (s == inputsource::END) {
        if (!g_source->message().empty())
            shellError(g_source->message());
        // the game's exit status tells of a replay named on the command line, not of one
        // chosen in the menu
        if (!g_replay || g_replayFromCommandLine)
            g_exitStatus = std::max(g_exitStatus, g_source->exitStatus());
        if (g_replay)
            menu.watchNote = g_replay->replay().message();
        return false;
    }
    if (s == inputsource::WAIT)
        return true;
    controller* devices[REPLAY_DEVICES];
    g_source->devices(devices);
    g_recorder.beforeStep(match, devices);
    match.step(STEP_SECONDS);
    g_recorder.afterStep(match);
    g_source->afterStep(match);
    return true;
}

bool stepMatch(game& match, mainmenu& menu)
{
    const unsigned steps = g_replay ? g_pace.stepsThisTick() : g_source->stepsThisFrame();
    for (unsigned i = 0; i < steps; i++)
        if (!stepOnce(match, menu))
            return false;
    if (g_replay)
        match.replayLabel = g_pace.label(g_replay->replay().stepsPlayed());
    return true;
}

// an online match the lobby started, recorded like any other
static game* beginOnlineMatch(game* old)
{
    g_thegame = nullptr;
    delete old;
    inputsource* source = nullptr;
    game* match = buildOnlineMatch(source);
    g_shake = 0;
    g_mix = 0;
    startRecording(*match, true);
    useInputSource(source);
    return match;
}

// back in the lobby after an online match: the main menu's own round length and time of day
static void leaveOnlineMatch(mainmenu& menu)
{
    onlineMatchLeft(g_recorder.path());
    menu.onSelect(menu.optionsItem);
    menu.onSelect(menu.optionsItem + 1);
    playMusic(MENU_MUSIC);
}

// ---- pause ----

static void openPause(controller* by)
{
    // no restarting a replay being watched: that would begin a new match of one's own
    g_pause = new pausemenu(!watching(), false);
    g_pause->setController(by);
    g_pause->holdEdges();
    g_shake = 0;
    holdSounds(true);
}

void closePause()
{
    if (!g_pause)
        return;
    delete g_pause;
    g_pause = nullptr;
    // keys held through the pause stay held, so the match goes on as if never paused
    holdSounds(false);
}

bool matchPaused()
{
    return g_pause && !g_pause->leaveOnly;
}

void drawPause()
{
    if (g_pause)
        g_pause->draw();
}

void drawReplayLabel()
{
    if (g_thegame)
        g_thegame->drawReplayLabel();
}

game* pauseFrame(game* match, mainmenu& menu, bool& inMatch)
{
    if (g_pauseRequest) {
        if (g_pause)
            closePause();   // the pause key again resumes
        else
            openPause(g_pauseRequest);
        g_pauseRequest = nullptr;
    }
    if (!g_pause)
        return match;
    g_pause->step(STEP_SECONDS);
    switch (g_pause->chosen) {
    case pausemenu::CHOICE_RESUME:
        closePause();
        break;
    case pausemenu::CHOICE_RESTART:
        closePause();
        match = beginMatch(leaveMatch(match, menu), menu);
        break;
    case pausemenu::CHOICE_LEAVE:
        closePause();
        match = leaveMatch(match, menu);
        inMatch = false;
        playMusic(MENU_MUSIC);
        break;
    default:
        break;
    }
    return match;
}

// what is drawn over the match: the pause screen, the online corner line
static void drawOverMatch()
{
    drawPause();
    drawOnlineOverlay();
}

// The frame loop's parts: the match or the menus, and the pause over a match.
class shellframe : public framerunner {
public:
    stepclock pace;
    game* match;
    mainmenu& mainMenu;
    controller& menuInput;   // every device at once, gathered with the events
    bool inMatch;
    bool running = true;
    bool leaveAfterReplay;   // "-leave-after-replay": the end of a "-replay FILE" ends the game

    shellframe(game* m, mainmenu& menu, controller& input, bool playing, bool leaveAfter)
        : match(m), mainMenu(menu), menuInput(input), inMatch(playing),
          leaveAfterReplay(leaveAfter), wasInMatch(playing), day(g_dt)
    {
    }

    void readInput() override
    {
        pollEvents(inMatch, match->debugParticles, &mainMenu);
        gatherMenuInput(menuInput);
    }

    bool step() override
    {
        if (leaveRequested())
            return false;
        if (wasInMatch && !inMatch) {
            match = leaveMatch(match, mainMenu);
            backInMenus();
        }
        if (inMatch) {
            // Escape: the pause screen opens, closes or has its choice carried out;
            // while it is open no step is taken
            match = pauseFrame(match, mainMenu, inMatch);
            if (inMatch && !matchPaused() && !stepMatch(*match, mainMenu))
                sourceEnded();
        } else {
            stepScreens(mainMenu, STEP_SECONDS);
            // "Start!" begins a match of the player's, a replay chosen is watched
            if (onlineMatchStarting()) {
                inMatch = true;
                match = beginOnlineMatch(match);
            } else if (mainMenu.result == 1 || mainMenu.result == 2) {
                inMatch = true;
                match = mainMenu.result == 1 ? beginMatch(match, mainMenu)
                                             : watchReplay(match, mainMenu);
                mainMenu.result = 0;
            }
            running = mainMenu.result != -1;
        }
        stepTaken();
        if (wasInMatch && !inMatch) {
            if (onlineSession())
                leaveOnlineMatch(mainMenu);
            backInMenus();
        }
        // a new match resets the sand and a new time of day loads pictures: the time that
        // took is not owed, so no burst of steps follows
        const bool changed = inMatch != wasInMatch || g_dt != day;
        wasInMatch = inMatch;
        day = g_dt;
        if (changed) {
            pace.restart(SDL_GetTicks());
            return false;
        }
        return running;
    }

    void draw() override
    {
        if (running && !leaveRequested())
            showFrame(inMatch ? static_cast<gameobject*>(match) : &mainMenu, inMatch ? drawOverMatch : nullptr,
                      inMatch ? drawReplayLabel : nullptr);
    }

private:
    // The screen shown again after a match takes what is held as seen: the Escape that left a
    // replay must not also leave the Replays screen, nor the Return of "Leave Match" act.
    void backInMenus()
    {
        mainMenu.shown()->ignoreHeldInput();
    }

    // The match's input source has ended. An online match goes back to its lobby and a replay
    // back to where it was chosen (the title pictures and the menu after -replay); neither
    // ends the game, but for -leave-after-replay.
    void sourceEnded()
    {
        const bool leaveGame = !onlineSession() && (!watching() || (leaveAfterReplay && watchingCommandLine()));
        match = leaveMatch(match, mainMenu);
        inMatch = false;
        if (leaveGame)
            running = false;
        else if (!onlineSession())
            playMusic(MENU_MUSIC);
    }

    // what the last step ended with: the input read since may have changed it
    bool wasInMatch;
    int day;
};

// The start-up, the frame loop and the shutdown.

int SDL_main(int argc, char** argv)
{
    if (printInfo(argc, argv))
        return 0;
    if (const int status = prepareReplay(argc, argv))
        return status;
    if (!checkSizeSwitch(argc, argv))
        return 1;
    onlineswitches online;
    std::string onlineError;
    if (!readOnlineSwitches(argc, argv, online, onlineError)) {
        shellError(onlineError);
        return 1;
    }
    catchLeaveSignals();
    SDL_Init(SDL_INIT_AUDIO);   // video comes with the window, on a driver that has OpenGL
    shellswitches switches = readSwitches(argc, argv);
    findData();
    // before the window: the setting video/size chooses its size
    openConfigStore();
    applySizeSetting(switches);
    if (!openWindow(switches.windowed, !switches.sized && !switches.windowed)) {
        reportWindowFailure();
        closeConfigStore();
        SDL_Quit();
        return 1;
    }
    reserveCaptureBuffer();
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
    if (online.mode != onlineswitches::NONE) {
        closeOpenScreens(mainMenu);   // no title pictures: the lobby at once
        openOnline(*mainMenu, online);
    }

    if (const char* to = switchValue(argc, argv, "-capture-to"))
        startCapture(inStartFolder(to).c_str());
    else if (switches.capture)
        startCapture(inStartFolder("video.out").c_str());
    playMusic(MENU_MUSIC);
    const bool playing = switches.play || g_commandLineReplay;
    // the menu has set the stored time of day; a match started at once follows it as well
    if (switches.play)
        match->applyDaytime();
    match = startFirstMatch(match, *mainMenu, switches.play);
    greyScreen(0.0f);
    reserveTexture(&g_buff, bufsize, bufsize, true);
    SDL_JoystickEventState(SDL_ENABLE);

    shellframe frame(match, *mainMenu, menuInput, playing, switches.leaveAfterReplay);
    frame.pace.restart(SDL_GetTicks());
    while (frame.running && !leaveRequested()) {
        // a captured video shows every step: one step per drawn frame, however long it takes
        frame.runFrame(frame.pace, SDL_GetTicks(), g_capture ? 1 : MAX_STEPS_PER_FRAME);
        if (frame.running && !leaveRequested())
            onlineFrameWait(frame.pace);
    }
    match = frame.match;
    const bool inMatch = frame.inMatch;

    closePause();
    if (inMatch)
        match = leaveMatch(match, *mainMenu);
    closeOnline();
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
