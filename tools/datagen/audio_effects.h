#ifndef TIBREL_DATAGEN_AUDIO_EFFECTS_H
#define TIBREL_DATAGEN_AUDIO_EFFECTS_H

#include "audio_dsp.h"

// The game's sound effects and ambience loops, synthesised at 44.1 kHz.
struct stereo {
    dsp::buffer left, right;
};

dsp::buffer synthHit();          // a palm slapping the ball
dsp::buffer synthJump();         // a short whoosh with a scuff of sand
dsp::buffer synthWhistle();      // the referee's pea whistle
dsp::buffer synthBallGround();   // the ball thudding into sand
stereo synthCheer(int which);    // crowd cheer number 1..6, each of its own length and colour
stereo synthOoh();               // a disappointed crowd
stereo synthPowerup();           // a rising sparkle

enum ambiencekind { AMB_MORNING, AMB_DAY, AMB_EVENING, AMB_NIGHT };
// sea, wind and crowd for a time of day; the result loops without a seam
stereo synthAmbience(ambiencekind kind);

#endif
