#include "playback.h"

#include <algorithm>
#include <cstdio>
#include <SDL/SDL_keysym.h>
#include "main.h"

bool playback::key(int sym)
{
    if (sym == SDLK_SPACE)
        paused = !paused;
    else if (sym == SDLK_RIGHT)
        speed = std::min(speed + 1, REPLAY_FASTEST);
    else if (sym == SDLK_LEFT)
        speed = std::max(speed - 1, REPLAY_SLOWEST);
    else
        return false;
    return true;
}

unsigned playback::stepsThisTick()
{
    if (paused)
        return 0;
    const int s = std::max(REPLAY_SLOWEST, std::min(speed, REPLAY_FASTEST));
    if (s >= 0)
        return 1u << s;
    // the ticks waited carry over a change of speed: halving never skips a step's turn
    if (++waited < 1u << -s)
        return 0;
    waited = 0;
    return 1;
}

std::string playback::label(unsigned steps) const
{
    // whole steps a second, so no rounding of the product loses one
    const unsigned perSecond = static_cast<unsigned>(1 / STEP_SECONDS + 0.5f);
    const unsigned seconds = steps / perSecond;
    char text[64];
    snprintf(text, sizeof text, "REPLAY  %u:%02u", seconds / 60, seconds % 60);
    std::string out = text;
    if (speed > 0)
        out += "  " + std::to_string(1 << speed) + "x";
    else if (speed < 0)
        out += "  1/" + std::to_string(1 << -speed) + "x";
    if (paused)
        out += "  paused";
    return out;
}
