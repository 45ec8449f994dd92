#ifndef TIBREL_MAIN_H
#define TIBREL_MAIN_H

#include <cstdio>
#include <string>

class wxConfigBase;
class game;
class gameobject;
class menu;
union SDL_Event;

extern int screen_width;        // window pixels, 800 by default
extern int screen_height;       // window pixels, 600 by default
extern int bufsize;             // edge of the square feedback texture, a power of two
extern wxConfigBase* g_config;  // the configuration store "tibrel"
extern game* g_thegame;         // the one match
extern float g_feedback;        // zoom-feedback strength, off at 0.01 or below
extern float g_shake;           // rotational blur in degrees between copies, off at 0.01 or below
extern float g_mix;             // transition timer of the shown menu
extern unsigned g_buff;         // feedback texture holding the previous frame
extern unsigned char* buffer;   // capture buffer, screen_width * screen_height * 4
extern FILE* g_videoout;        // "video.out" while capturing
extern bool g_capture;

int SDL_main(int argc, char** argv);
// 1 when any of values[1 .. count-1] equals str exactly
int findInCmdLine(int count, char** values, const char* str);
// zoom-feedback copies and shake blur over the frame just drawn
void postprocess();
// appends the back buffer to g_videoout, top row first
void captureFrame();
// Pacing: one step of 0.02 s is due every 20 ms of real time. A drawn frame that begins late
// runs the steps it owes before the next is drawn, at most MAX_STEPS_PER_FRAME of them; a
// debt beyond that is dropped, so the game slows only below 12.5 drawn frames a second.
static const int MAX_STEPS_PER_FRAME = 4;
// steps owed by a frame that begins `late` ms after its first step was due (negative: early):
// 1 + late / 20, at least 1 and at most cap
int stepsDue(int late, int cap);
// milliseconds to wait at `now` for the step due at `due`: 0 when it is due, never more than
// one frame (a counter that went back)
unsigned frameDelay(unsigned now, unsigned due);
// the schedule of steps on the millisecond counter
class stepclock {
public:
    unsigned due = 0;   // ms: when the next step is due
    // the next step is due now: at the start, and after a one-off stall that is not owed
    void restart(unsigned now);
    // the steps a frame beginning at `now` runs, at most cap; the schedule moves past them
    int owed(unsigned now, int cap);
    // sleeps until the next step is due
    void wait() const;
};

// One drawn frame. SDL 1.2 events carry no time, so input counts from when it is read. It is
// read just before the last step the frame owes: the steps before it make up for time that
// went by before the input was read, so a held key's time counts only after it was seen (a
// menu's repeat never fires for a shorter press). The picture is drawn after the steps.
class framerunner {
public:
    virtual ~framerunner() {}
    virtual void readInput() = 0;
    // one step; false ends the frame's steps
    virtual bool step() = 0;
    virtual void draw() = 0;
    // the steps pace owes at now (at most cap), then the picture
    void runFrame(stepclock& pace, unsigned now, int cap);
};

// Pieces of start-up, the frame and shutdown, in the order the shell uses them.

// "--help" prints the switches and keys, "--version" the version, to standard output;
// true when one of them was given and the game must leave at once
bool printInfo(int argc, char** argv);
// SIGINT and SIGTERM ask the game to leave at the end of the frame, as a window close does
void catchLeaveSignals();
// true once a window close, SIGINT or SIGTERM asked the game to leave
bool leaveRequested();
// deletes the screens still open below top, deepest first (a window close or a signal can end
// the game while title pictures or a player's screen are shown)
void closeOpenScreens(menu* top);
// Remembers the working folder, then finds the data: data/ in the working folder, else the
// installed data root (its data/ below it), which becomes the working folder so that every
// "data/..." path resolves there. A data/ counts when it has the titles/ folder. With
// neither, prints one line on standard error, stays and returns false.
bool findData();
// the installed data root: ../share/tibrel beside the folder of the running executable
std::string installedDataRoot();
// name taken in the folder the game was started from (names from the command line and
// "video.out" must go through it: findData may change the working folder)
std::string inStartFolder(const char* name);
// a user's base folder: $xdgVariable when it is an absolute path, else $HOME/underHome;
// empty when neither names one
std::string userBaseFolder(const char* xdgVariable, const char* underHome);

// The shape of the screen. 2D screens (menus, title pictures, text, the score board) are laid
// out for 4:3: in the largest 4:3 rectangle of the window, centred; 3D views keep their
// vertical field of view and show more or less to the sides.
struct layoutrect {
    float x, y, w, h;   // window pixels, (x, y) the top-left corner
};
// screen_width / screen_height
float screenAspect();
// the 4:3 rectangle the 2D screens are laid out in
layoutrect screenLayout();
// a 4:3 picture scaled to cover the whole window, centred (it reaches past two edges when the
// window is not 4:3)
layoutrect coverLayout();
// screen_width, screen_height, and bufsize the next power of two that holds both
void setScreenSize(int w, int h);
// "WIDTHxHEIGHT" with each edge 1 ... MAX_SCREEN_EDGE; false leaves w and h alone
bool parseSize(const char* text, int& w, int& h);
static const int MAX_SCREEN_EDGE = 8192;

// switches that act later in start-up; the resolution ones are applied at once
struct shellswitches {
    bool windowed;   // "-w"
    bool capture;    // "-capture"
    bool play;       // "-play"
    bool sized;      // "-size WxH" or one of "-640" ... "-1280" was given
    bool leaveAfterReplay;   // "-leave-after-replay": with "-replay", leave when it ends
};
// sets screen_width, screen_height and bufsize from "-640" ... "-1280" (last one tested wins),
// then from "-size WxH" (which wins over them)
shellswitches readSwitches(int argc, char** argv);
// one line on standard error for a "-size" without a valid WIDTHxHEIGHT; true when it is fine
bool checkSizeSwitch(int argc, char** argv);
// the setting video/size ("WIDTHxHEIGHT", empty for the default) when no switch gave a size;
// a damaged value is left alone and the default kept. True when it set the size.
bool applySizeSetting(shellswitches& s);
// OpenGL window of the current resolution, no cursor, titled "Tibrel 2006"; with desktopSize
// (full screen and no size asked for) the desktop's own size, so the display's mode is never
// changed. A size the display refuses falls back to the desktop size with one line on
// standard error. False, with the video system closed again and SDL's error naming the
// reason, when none can be opened.
bool openWindow(bool windowed, bool desktopSize = false);
// "tibrel: cannot open an OpenGL window of WxH: <reason>" on standard error
void reportWindowFailure();
// the store "tibrel" in $XDG_CONFIG_HOME/tibrel/tibrel.conf (else ~/.config/tibrel/), with
// /etc/tibrel.conf as read-only fallback; records defaults, goes into g_config and wxConfigBase
wxConfigBase* openConfigStore();
// flushes and deletes g_config
void closeConfigStore();
// clears to an opaque grey of level g and shows it
void greyScreen(float g);
// opens every joystick SDL reports, at most four; returns how many
int openJoysticks();
// capture buffer for the current resolution
void reserveCaptureBuffer();
void releaseCaptureBuffer();
// opens path for writing and switches capture on; capture stays off when it cannot be opened
bool startCapture(const char* path);
void stopCapture();
// GL state every frame starts from
void beginFrame();
// copies the finished frame into g_buff for the next postprocess
void keepFrame();
// one input event: F1 / F2 debug particles, controllers, Escape and a joystick's third
// button (pause in a match, see pauseFrame; Escape at the match's end leads to the menu; while
// a replay is watched they leave it and its own keys act, see playback; in an online match
// they leave it), the online screens' typed keys, M (mute), a key the shown
// screen reads itself (screens is the main menu), the window's close request (see
// leaveRequested). Returns false when the rest of the queue must wait for the next frame
// (Escape in the menu).
bool handleEvent(const SDL_Event& e, bool& inMatch, int& debugParticles, menu* screens = nullptr);
// drains the queue through handleEvent before a step; the release of a key or joystick button
// pressed since the last step stays queued, with what follows it, until stepTaken
void pollEvents(bool& inMatch, int& debugParticles, menu* screens = nullptr);
// a step has seen the controllers: releases held back by pollEvents may now reach them
void stepTaken();
// one drawn frame of shown, with what over draws on top (the pause screen): drawing,
// post-processing, the copy kept for the next frame's effects, the capture, what uncaptured
// draws on the window alone (a replay's label: a video of a replay shows the match) and the swap
void showFrame(gameobject* shown, void (*over)() = nullptr, void (*uncaptured)() = nullptr);

// Seeds and replays.
class mainmenu;
class inputsource;
static const float STEP_SECONDS = 0.02f;   // game time per frame
// the word after the switch name, or null
const char* switchValue(int argc, char** argv, const char* name);
// the replay to watch: the word after "-replay", else a word on its own ("tibrel -w FILE", as
// a file manager starts the game); null when there is none
const char* replayArgument(int argc, char** argv);
// checks "-seed N" and loads "-replay FILE"; 0, or the exit status after a one-line message
int prepareReplay(int argc, char** argv);
// both generators from "-seed N", or from the wall clock and tick count
void seedRandom(int argc, char** argv);
// a new match, the generators' state before it kept for its replay
game* buildMatch();
// the match the loop starts in: the "-replay FILE" loaded by prepareReplay, watched; else with
// play a recorded match, else match itself
game* startFirstMatch(game* match, mainmenu& menu, bool play);
// "Start!": a fresh match with the menu's settings, begun and recorded; old is deleted
game* beginMatch(game* old, mainmenu& menu);

// Watching a replay. The replay's settings stand in for the player's stored ones while it
// runs and are never written; when it ends the player's store, settings and a fresh match
// come back, so watching never changes the player's game.
// the replay the menu has loaded (menu.watch), in a match built as the recorded one was
game* watchReplay(game* old, mainmenu& menu);
// true while a replay is watched
bool watching();
// true while the replay watched came from the command line
bool watchingCommandLine();
// Escape, a replay's end or the end of the loop: the recording is closed, or the replay
// left and the player's game restored; returns the match the menu goes on with
game* leaveMatch(game* match, mainmenu& menu);
// the source of the match's inputs from now on (owned); null: this computer's devices
void useInputSource(inputsource* source);
// the steps of one tick of the step clock: one, or while a replay is watched as many as its
// speed and pause give. Each is recorded, and taken when the input source holds its inputs.
// False when the source has ended (its reason on standard error and in menu.watchNote).
bool stepMatch(game& match, mainmenu& menu);

// Pause: Escape or a joystick's third button in the match (handleEvent) asks for it.
// Opens or closes the pause screen when asked, steps it and carries out its choice: Resume,
// Restart Match (a fresh match, returned in place of the old one) or Leave Match (inMatch
// false, the menu music on). While it is open effects and music are held.
game* pauseFrame(game* match, mainmenu& menu, bool& inMatch);
// true while the pause screen holds the match: no step is taken, so a replay records none
bool matchPaused();
// the pause screen over the match just drawn, when one is open
void drawPause();
// the label of a replay being watched, over the match just drawn and captured
void drawReplayLabel();
// closes the pause screen without a choice
void closePause();

#endif
