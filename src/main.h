#ifndef TIBREL_MAIN_H
#define TIBREL_MAIN_H

#include <cstdio>

class wxConfigBase;
class game;

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

#endif
