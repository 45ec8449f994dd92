#include "sound.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <SDL/SDL_mixer.h>
#include "glstuff.h"

volatile float g_voltage = 0;

static Mix_Chunk* sounds[SOUND_COUNT] = {};
static Mix_Music* music = nullptr;
static bool audioOpen = false;
static int s_music = VOLUME_STEPS;
static int s_effects = VOLUME_STEPS;
static bool s_muted = false;
static const size_t MAX_SOUND_BYTES = 16u << 20;   // the longest ambience is a few hundred KB
static const size_t MAX_MUSIC_BYTES = 16u << 20;

// the music loader leaks on some files that are no music at all: it only gets regular files
// that begin as an XM module (the menu and win tunes) or an Ogg stream (the ambience) does
static bool looksLikeMusic(const char* path)
{
    static const char module[] = "Extended Module: ";
    static const char ogg[] = "OggS";
    const size_t headerBytes = 60;   // an XM's signature, name, tracker name, version
    if (!isReadableFile(path, MAX_MUSIC_BYTES))
        return false;
    char head[headerBytes];
    FILE* f = fopen(path, "rb");
    if (!f)
        return false;
    const size_t got = fread(head, 1, headerBytes, f);
    fclose(f);
    return (got == headerBytes && std::memcmp(head, module, sizeof module - 1) == 0) ||
           (got >= sizeof ogg - 1 && std::memcmp(head, ogg, sizeof ogg - 1) == 0);
}

// an unreadable or damaged file, or one that is no regular file, gives a null handle
static Mix_Chunk* readChunk(const char* path)
{
    if (!isReadableFile(path, MAX_SOUND_BYTES))
        return nullptr;
    SDL_RWops* rw = SDL_RWFromFile(path, "rb");
    if (!rw)
        return nullptr;
    return Mix_LoadWAV_RW(rw, 1);
}

void loadSound(int index, const char* path)
{
    if (index < 0 || index >= SOUND_COUNT)
        return;
    if (sounds[index])
        Mix_FreeChunk(sounds[index]); // also stops the channels still playing it
    sounds[index] = readChunk(path);
}

void initSound()
{
    if (audioOpen)
        deinitSound();
    if (Mix_OpenAudio(44100, AUDIO_S16SYS, 2, 2048) == 0)
        audioOpen = true;

    static const struct { gamesound s; const char* path; } files[] = {
        {SOUND_HIT, "data/sounds/hit.ogg"},
        {SOUND_JUMP, "data/sounds/jump.ogg"},
        {SOUND_BALL_GROUND, "data/sounds/ball_ground.ogg"},
        {SOUND_WHISTLE, "data/sounds/whistle.ogg"},
        {SOUND_CHEER1, "data/sounds/cheer1.ogg"},
        {SOUND_CHEER2, "data/sounds/cheer2.ogg"},
        {SOUND_CHEER3, "data/sounds/cheer3.ogg"},
        {SOUND_CHEER4, "data/sounds/cheer4.ogg"},
        {SOUND_CHEER5, "data/sounds/cheer5.ogg"},
        {SOUND_CHEER6, "data/sounds/cheer6.ogg"},
        {SOUND_OOH, "data/sounds/ooh1.ogg"},
        {SOUND_POWERUP, "data/sounds/powerup.ogg"},
    };
    for (const auto& f : files)
        loadSound(f.s, f.path);

    Mix_SetPostMix(genStats, nullptr);
    setVolumes(s_music, s_effects);
}

// level 0 ... 10 to the mixer's 0 ... 128
static int mixerLevel(int level)
{
    return s_muted ? 0 : level * MIX_MAX_VOLUME / VOLUME_STEPS;
}

void setVolumes(int music, int effects)
{
    s_music = std::max(0, std::min(music, VOLUME_STEPS));
    s_effects = std::max(0, std::min(effects, VOLUME_STEPS));
    if (!audioOpen)
        return;
    Mix_VolumeMusic(mixerLevel(s_music));
    Mix_Volume(-1, mixerLevel(s_effects));
}

void setMuted(bool muted)
{
    s_muted = muted;
    setVolumes(s_music, s_effects);
}

bool isMuted()
{
    return s_muted;
}

int musicVolume()
{
    return s_music;
}

int effectsVolume()
{
    return s_effects;
}

// fire and forget on the first free channel; dropped when all are busy
void playSound(gamesound s, vector3d /*pos*/)
{
    if (s < 0 || s >= SOUND_COUNT || !sounds[s])
        return;
    Mix_PlayChannelTimed(-1, sounds[s], 0, -1);
}

void stopMusic()
{
    if (!music)
        return;
    Mix_HaltMusic();
    Mix_FreeMusic(music);
    music = nullptr;
}

// loops forever; the track already playing starts again from its beginning
void playMusic(const char* path)
{
    stopMusic();
    if (!looksLikeMusic(path))
        return;
    music = Mix_LoadMUS(path);
    if (music)
        Mix_PlayMusic(music, -1);
}

void holdSounds(bool held)
{
    if (!audioOpen)
        return;
    if (held) {
        Mix_Pause(-1);
        Mix_PauseMusic();
    } else {
        Mix_Resume(-1);
        Mix_ResumeMusic();
    }
}

void deinitSound()
{
    if (audioOpen) {
        Mix_SetPostMix(nullptr, nullptr);
        Mix_HaltChannel(-1);
    }
    stopMusic();
    for (Mix_Chunk*& c : sounds) {
        if (c)
            Mix_FreeChunk(c);
        c = nullptr;
    }
    if (audioOpen) {
        Mix_CloseAudio();
        audioOpen = false;
    }
}

void genStats(void* /*udata*/, Uint8* stream, int len)
{
    // two-pole resonant low-pass at 80 Hz (44.1 kHz), resonance 0.4
    const double C = 1.0 / std::tan(0.00569902947845805);
    const double r = 0.4;
    const double a1 = 1.0 / (1.0 + r * C + C * C);
    const double a2 = 2.0 * a1;
    const double a3 = a1;
    const double b1 = 2.0 * (1.0 - C * C) * a1;
    const double b2 = (1.0 - r * C + C * C) * a1;

    const double scale = 1.0 / 16384; // full scale is +-2
    auto sample = [stream, scale](int i) {
        Sint16 v;
        std::memcpy(&v, stream + size_t(i) * 2, 2); // the block need not be 2-byte aligned
        return v * scale;
    };
    double y1 = 0, y2 = 0, peak = 0;
    // even indexes are the left channel; only the first half of the block is measured
    for (int i = 4; stream && i < len / 4; i += 2) {
        double x0 = sample(i), x1 = sample(i - 2), x2 = sample(i - 4);
        double y = a1 * x0 + a2 * x1 + a3 * x2 - b1 * y1 - b2 * y2;
        y2 = y1;
        y1 = y;
        if (std::fabs(y) > peak)
            peak = std::fabs(y);
    }
    g_voltage = float(peak);
}
