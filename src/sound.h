#ifndef TIBREL_SOUND_H
#define TIBREL_SOUND_H

#include <SDL/SDL.h>
#include "vector3d.h"

enum gamesound {
    SOUND_HIT = 0,
    SOUND_JUMP = 1,
    SOUND_WHISTLE = 3,
    SOUND_BALL_GROUND = 4,
    SOUND_CHEER1 = 5,
    SOUND_CHEER2,
    SOUND_CHEER3,
    SOUND_CHEER4,
    SOUND_CHEER5,
    SOUND_CHEER6,
    SOUND_OOH = 11,
    SOUND_POWERUP = 12,
    SOUND_COUNT = 13
};

// bass level of the last mixed block; written on the audio thread
extern volatile float g_voltage;

void initSound();
void loadSound(int index, const char* path);
void playSound(gamesound s, vector3d pos);
void playMusic(const char* path);
void stopMusic();
// holds (true) or lets go on (false) every effect playing and the music; effects started
// while held play
void holdSounds(bool held);
void deinitSound();

// Music (with the ambience) and effects levels, 0 (silent) ... 10 (full), applied at once;
// out-of-range levels are clamped. Muting silences both and keeps the levels.
static const int VOLUME_STEPS = 10;
void setVolumes(int music, int effects);
void setMuted(bool muted);
bool isMuted();
int musicVolume();
int effectsVolume();
// post-mix hook: measures the 80 Hz low-passed left channel into g_voltage
void genStats(void* udata, Uint8* stream, int len);

#endif
