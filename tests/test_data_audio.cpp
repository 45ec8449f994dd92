// The generated sound effects, ambience loops and tunes, checked the way the game uses them:
// through SDL_mixer at 44.1 kHz, 16-bit stereo.

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>
#include <SDL/SDL.h>
#include <SDL/SDL_mixer.h>
#include <gtest/gtest.h>
#include "support.h"

namespace {

const int RATE = 44100;

// Opens the mixer as the game does. The effects need no real output, so the dummy driver serves;
// tunes are rendered through the disk driver without its real-time delay, to hear a minute quickly.
class mixer {
public:
    explicit mixer(bool render)
    {
        if (render) {
            std::string dir = testsupport::makeTempDir();
            setenv("SDL_AUDIODRIVER", "disk", 1);
            setenv("SDL_DISKAUDIOFILE", (dir + "/mix.raw").c_str(), 1);
            setenv("SDL_DISKAUDIODELAY", "0", 1);
        } else {
            setenv("SDL_AUDIODRIVER", "dummy", 1);
        }
        open = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0 && Mix_OpenAudio(RATE, AUDIO_S16SYS, 2, 2048) == 0;
    }
    ~mixer()
    {
        if (open)
            Mix_CloseAudio();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
    }
    bool open = false;
};

struct soundfile {
    const char* path;
    double minSeconds, maxSeconds;
};

const soundfile SOUNDS[] = {
    {"data/sounds/hit.ogg", 0.1, 1.0},          {"data/sounds/jump.ogg", 0.1, 1.0},
    {"data/sounds/whistle.ogg", 0.4, 2.0},      {"data/sounds/ball_ground.ogg", 0.2, 1.5},
    {"data/sounds/cheer1.ogg", 1.5, 6.0},       {"data/sounds/cheer2.ogg", 1.5, 6.0},
    {"data/sounds/cheer3.ogg", 1.5, 6.0},       {"data/sounds/cheer4.ogg", 1.5, 6.0},
    {"data/sounds/cheer5.ogg", 1.5, 6.0},       {"data/sounds/cheer6.ogg", 1.5, 6.0},
    {"data/sounds/ooh1.ogg", 1.0, 4.0},         {"data/sounds/powerup.ogg", 0.4, 2.0},
    {"data/sounds/Morning_ambience.ogg", 15, 20}, {"data/sounds/Daytime_ambience.ogg", 15, 20},
    {"data/sounds/Evening_ambience.ogg", 15, 20}, {"data/sounds/Night_ambience.ogg", 15, 20},
};

const char* const AMBIENCES[] = {"data/sounds/Morning_ambience.ogg", "data/sounds/Daytime_ambience.ogg",
                                 "data/sounds/Evening_ambience.ogg", "data/sounds/Night_ambience.ogg"};

Mix_Chunk* loadChunk(const char* path)
{
    SDL_RWops* rw = SDL_RWFromFile(path, "rb");
    return rw ? Mix_LoadWAV_RW(rw, 1) : nullptr;
}

// root mean square of interleaved stereo frames [from, to)
double rms(const Sint16* s, size_t from, size_t to)
{
    double sum = 0;
    for (size_t i = from * 2; i < to * 2; i++)
        sum += (double)s[i] * s[i];
    return to > from ? std::sqrt(sum / ((to - from) * 2)) : 0;
}

// ---- music capture through the post-mix hook --------------------------------------------------

std::vector<Sint16> g_capture;
std::atomic<size_t> g_captured(0);

void captureHook(void*, Uint8* stream, int len)
{
    const Sint16* s = (const Sint16*)stream;
    size_t n = (size_t)len / 2, at = g_captured.load();
    size_t take = std::min(n, g_capture.size() - at);
    memcpy(&g_capture[at], s, take * 2);
    g_captured.store(at + take);
}

// plays a tune looping, as the game does, and returns `seconds` of the mixed output
std::vector<Sint16> renderTune(const char* path, double seconds)
{
    Mix_Music* music = Mix_LoadMUS(path);
    if (!music)
        return {};
    g_capture.assign((size_t)(seconds * RATE) * 2, 0);
    g_captured = 0;
    Mix_SetPostMix(captureHook, nullptr);
    Mix_PlayMusic(music, -1);
    for (int waited = 0; g_captured.load() < g_capture.size() && waited < 60000; waited += 10)
        SDL_Delay(10);
    Mix_HaltMusic();
    Mix_SetPostMix(nullptr, nullptr);
    Mix_FreeMusic(music);
    if (g_captured.load() < g_capture.size())
        return {};
    return g_capture;
}

}

TEST(DataAudio, EverySoundLoadsWithASensibleLengthAndIsAudible)
{
    mixer m(false);
    ASSERT_TRUE(m.open) << Mix_GetError();
    std::set<std::string> distinct;
    for (const soundfile& f : SOUNDS) {
        SCOPED_TRACE(f.path);
        Mix_Chunk* c = loadChunk(f.path);
        ASSERT_NE(c, nullptr) << Mix_GetError();
        size_t frames = c->alen / 4;  // stereo 16-bit after conversion
        double seconds = (double)frames / RATE;
        EXPECT_GE(seconds, f.minSeconds);
        EXPECT_LE(seconds, f.maxSeconds);
        const Sint16* s = (const Sint16*)c->abuf;
        int peak = 0;
        for (size_t i = 0; i < frames * 2; i++)
            peak = std::max(peak, std::abs((int)s[i]));
        EXPECT_GT(rms(s, 0, frames), 300.0);  // above -40 dB full scale
        EXPECT_GT(peak, 4000);
        EXPECT_LT(peak, 32767);  // and never clipped flat
        distinct.insert(std::string((const char*)c->abuf, c->alen));
        Mix_FreeChunk(c);
    }
    // six different cheers and so on: no two effects are the same sound
    EXPECT_EQ(distinct.size(), sizeof(SOUNDS) / sizeof(SOUNDS[0]));
}

TEST(DataAudio, AmbiencesLoopWithoutASeam)
{
    mixer m(false);
    ASSERT_TRUE(m.open) << Mix_GetError();
    for (const char* path : AMBIENCES) {
        SCOPED_TRACE(path);
        Mix_Chunk* c = loadChunk(path);
        ASSERT_NE(c, nullptr) << Mix_GetError();
        const Sint16* s = (const Sint16*)c->abuf;
        size_t frames = c->alen / 4;
        ASSERT_GT(frames, (size_t)RATE);
        // the step from the last frame back to the first is no bigger than the signal's usual steps
        double meanStep = 0;
        for (size_t i = 1; i < frames; i++)
            meanStep += std::abs(s[2 * i] - s[2 * i - 2]) + std::abs(s[2 * i + 1] - s[2 * i - 1]);
        meanStep /= frames - 1;
        double seam = std::abs(s[0] - s[2 * frames - 2]) + std::abs(s[1] - s[2 * frames - 1]);
        EXPECT_LT(seam, 5 * meanStep);
        // and the loudness carries on across the loop point
        size_t half = RATE / 2;
        double head = rms(s, 0, half), tail = rms(s, frames - half, frames);
        EXPECT_GT(head, 0.0);
        EXPECT_LT(std::max(head, tail) / std::min(head, tail), 1.5);
        Mix_FreeChunk(c);
    }
}

TEST(DataAudio, TunesLoadAndPlayWithoutDropouts)
{
    mixer m(true);
    ASSERT_TRUE(m.open) << Mix_GetError();
    struct tune {
        const char* path;
        double seconds;  // a little more than one pass, so the loop back to the start is heard
    };
    const tune tunes[] = {{"data/music/menu_01.xm", 68}, {"data/music/win.xm", 12}};
    for (const tune& t : tunes) {
        SCOPED_TRACE(t.path);
        Mix_Music* music = Mix_LoadMUS(t.path);
        ASSERT_NE(music, nullptr) << Mix_GetError();
        Mix_FreeMusic(music);
        std::vector<Sint16> out = renderTune(t.path, t.seconds);
        ASSERT_FALSE(out.empty());
        size_t frames = out.size() / 2, window = RATE / 10;
        EXPECT_GT(rms(out.data(), 0, frames), 1000.0);
        double quietest = 1e9;
        for (size_t w = 0; w + window <= frames; w += window)
            quietest = std::min(quietest, rms(out.data(), w, w + window));
        EXPECT_GT(quietest, 250.0);  // no tenth of a second falls silent, the loop point included
    }
}
