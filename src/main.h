#ifndef TIBREL_MAIN_H
#define TIBREL_MAIN_H

#include <cstdio>
#include <string>

class wxConfigBase;
class game;
class menu;
union SDL_Event;

extern int screen_width;        // pixels, 800 by default
extern int screen_height;       // pixels, 600 by default
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
// milliseconds to wait after a frame that began at t0 and ended at t1
unsigned frameDelay(unsigned t0, unsigned t1);

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

// switches that act later in start-up; the resolution ones are applied at once
struct shellswitches {
    bool windowed;   // "-w"
    bool capture;    // "-capture"
    bool play;       // "-play"
};
// sets screen_width, screen_height and bufsize from "-640" ... "-1280" (last one tested wins)
shellswitches readSwitches(int argc, char** argv);
// OpenGL window of the current resolution, no cursor, titled "Tibrel 2006". False, with the
// video system closed again and SDL's error naming the reason, when none can be opened.
bool openWindow(bool windowed);
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
// button (pause in a match, see pauseFrame; Escape at the match's end leads to the menu), the
// window's close request (see leaveRequested). Returns false when the
// rest of the queue must wait for the next frame (Escape in the menu).
bool handleEvent(const SDL_Event& e, bool& inMatch, int& debugParticles);
// drains the queue through handleEvent
void pollEvents(bool& inMatch, int& debugParticles);
// waits out the rest of a 20 ms frame that began at t0
void paceFrame(unsigned t0);

// Seeds and replays.
class mainmenu;
static const float STEP_SECONDS = 0.02f;   // game time per frame
// the word after the switch name, or null
const char* switchValue(int argc, char** argv, const char* name);
// checks "-seed N" and loads "-replay FILE"; 0, or the exit status after a one-line message
int prepareReplay(int argc, char** argv);
// both generators from the replay, from "-seed N", or from the wall clock and tick count
void seedRandom(int argc, char** argv);
// while a replay is shown, the store holds its settings and no file is written
void useReplayStore();
// a new match, the generators' state before it kept for its replay
game* buildMatch();
// the match the loop starts in: a replay's, or a recorded "-play" match
void startFirstMatch(game& match, bool play);
// "Start!": a fresh match with the menu's settings, begun and recorded; old is deleted
game* beginMatch(game* old, mainmenu& menu);
// Escape or the end of the loop: the recording is closed, playback left
void endMatchReplay(game& match);
// one step of the match, recorded or played back; false when a replay has ended
bool stepMatch(game& match);

// Pause: Escape or a joystick's third button in the match (handleEvent) asks for it.
// Opens or closes the pause screen when asked, steps it and carries out its choice: Resume,
// Restart Match (a fresh match, returned in place of the old one) or Leave Match (inMatch
// false, the menu music on). While it is open effects and music are held.
game* pauseFrame(game* match, mainmenu& menu, bool& inMatch);
// true while the pause screen holds the match: no step is taken, so a replay records none
bool matchPaused();
// the pause screen over the match just drawn, when one is open
void drawPause();
// closes the pause screen without a choice
void closePause(game* match);

#endif
