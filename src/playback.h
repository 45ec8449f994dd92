#ifndef TIBREL_PLAYBACK_H
#define TIBREL_PLAYBACK_H

#include <string>

// Playback speed as a power of two: -2 a quarter ... 2 four times.
static const int REPLAY_SLOWEST = -2;
static const int REPLAY_FASTEST = 2;

// How a watched replay keeps time with the step clock: its speed and its own pause. Each tick
// the clock owes runs 2^speed of the replay's steps when faster, one every 2^-speed ticks when
// slower, none while paused; so speed changes how many steps run per drawn frame (at most
// 2^REPLAY_FASTEST times the clock's cap), never the steps themselves.
class playback {
public:
    int speed = 0;
    bool paused = false;

    // Space pauses and goes on, Right doubles and Left halves the speed (an SDL key symbol);
    // true when the key was one of them
    bool key(int sym);
    // the replay's steps for one tick of the step clock
    unsigned stepsThisTick();
    // "REPLAY  1:23" after steps of game time, then the speed when it is not 1x and "paused"
    std::string label(unsigned steps) const;

private:
    unsigned waited = 0;   // ticks since the last step at a slow speed
};

#endif
