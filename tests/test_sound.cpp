#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>
#include <SDL/SDL.h>
#include <SDL/SDL_mixer.h>
#include <gtest/gtest.h>
#include "glstuff.h"
#include "sound.h"
#include "xm_writer.h"
#include "support.h"

namespace {

// ---- bass meter ----

// interleaved stereo block of `frames` frames; left/right give each frame's samples
std::vector<Sint16> block(int frames, Sint16 (*left)(int), Sint16 (*right)(int))
{
    std::vector<Sint16> s;
    for (int f = 0; f < frames; f++) {
        s.push_back(left(f));
        s.push_back(right(f));
    }
    return s;
}

float measure(std::vector<Sint16> samples)
{
    g_voltage = -1; // the meter must overwrite it
    genStats(nullptr, reinterpret_cast<Uint8*>(samples.data()), int(samples.size() * 2));
    return g_voltage;
}

Sint16 zero(int) { return 0; }
Sint16 full(int) { return 32767; }
Sint16 fullInSecondHalf(int f) { return f >= 1024 ? 32767 : 0; }

TEST(soundMeter, MeasuresTheLowPassedLeftChannelOfTheFirstHalf)
{
    struct { const char* what; int frames; Sint16 (*left)(int); Sint16 (*right)(int); float want; } cases[] = {
        {"silence", 2048, zero, zero, 0},
        {"left at full scale: the resonant step overshoots 2.0", 2048, full, zero, 3.05f},
        {"right channel only", 2048, zero, full, 0},
        {"left only in the unmeasured second half", 2048, fullInSecondHalf, zero, 0},
        {"shorter than 20 bytes", 4, full, full, 0},
    };
    for (const auto& c : cases)
        EXPECT_NEAR(measure(block(c.frames, c.left, c.right)), c.want, 0.01) << c.what;
}

// ---- effects and music ----

void put(std::string& s, uint32_t v, int bytes)
{
    for (int k = 0; k < bytes; k++)
        s.push_back(char((v >> (8 * k)) & 0xFF));
}

// 44.1 kHz 16-bit stereo PCM; the left channel holds `level`, the right silence
std::string makeWAV(double seconds, Sint16 level)
{
    const uint32_t frames = uint32_t(44100 * seconds), bytes = frames * 4;
    std::string w = "RIFF";
    put(w, 36 + bytes, 4);
    w += "WAVEfmt ";
    put(w, 16, 4);
    put(w, 1, 2);          // PCM
    put(w, 2, 2);          // channels
    put(w, 44100, 4);
    put(w, 44100 * 4, 4);  // bytes per second
    put(w, 4, 2);          // bytes per frame
    put(w, 16, 2);         // bits
    w += "data";
    put(w, bytes, 4);
    for (uint32_t f = 0; f < frames; f++) {
        put(w, uint16_t(level), 2);
        put(w, 0, 2);
    }
    return w;
}

// A data/ tree of sound files in a temporary folder; initSound reads it from there.
class soundTest : public ::testing::Test {
protected:
    std::string dir;

    void SetUp() override { dir = testsupport::makeTempDir(); }
    void TearDown() override { deinitSound(); }

    void write(const std::string& name, const std::string& bytes)
    {
        testsupport::writeFile(dir + "/data/sounds/" + name, bytes);
    }

    // runs initSound with the temporary folder as working directory
    void start()
    {
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        ASSERT_EQ(chdir(dir.c_str()), 0);
        initSound();
        ASSERT_EQ(chdir(cwd), 0);
        int freq = 0, channels = 0;
        Uint16 format = 0;
        ASSERT_EQ(Mix_QuerySpec(&freq, &format, &channels), 1) << "audio did not open";
        EXPECT_EQ(freq, 44100);
        EXPECT_EQ(format, AUDIO_S16SYS);
        EXPECT_EQ(channels, 2);
    }
};

TEST_F(soundTest, DamagedOrMissingEffectsStaySilent)
{
    write("hit.ogg", "");
    write("jump.ogg", "OggS\x00\x02\x00\x00\x00\x00\x00\x00\x00\x00"); // cut inside the first page
    write("whistle.ogg", "this is not a sound\n");
    write("ball_ground.ogg", std::string(4096, '\0'));
    write("powerup.ogg", makeWAV(1, 8000).substr(0, 30)); // header cut short
    start(); // the other effects are missing
    for (int s = 0; s < SOUND_COUNT; s++)
        playSound(gamesound(s), vector3d(1, 2, 3));
    EXPECT_EQ(Mix_Playing(-1), 0);
}

TEST_F(soundTest, EffectsTakeFreeChannelsAndDropWhenAllAreBusy)
{
    write("hit.ogg", makeWAV(2, 8000)); // the mixer reads what the file holds
    start();
    playSound(SOUND_HIT, vector3d());
    EXPECT_EQ(Mix_Playing(-1), 1);
    for (int i = 0; i < 8; i++)
        playSound(SOUND_HIT, vector3d(float(i), 0, 0));
    EXPECT_EQ(Mix_Playing(-1), 8); // eight default channels; the ninth is dropped
}

TEST_F(soundTest, LoadSoundReplacesAnEffect)
{
    write("cheer1.ogg", makeWAV(2, 8000));
    start();
    loadSound(SOUND_CHEER1, (dir + "/data/sounds/missing.ogg").c_str());
    playSound(SOUND_CHEER1, vector3d());
    EXPECT_EQ(Mix_Playing(-1), 0);
    loadSound(SOUND_OOH, (dir + "/data/sounds/cheer1.ogg").c_str());
    playSound(SOUND_OOH, vector3d());
    EXPECT_EQ(Mix_Playing(-1), 1);
    loadSound(-1, "whatever"); // out of the table: ignored
    loadSound(SOUND_COUNT, "whatever");
}

// Each slot holds its own file: every file has a length of its own, and the chunk a slot
// plays is known by its length.
TEST_F(soundTest, EachSlotLoadsItsOwnFile)
{
    const struct { gamesound s; const char* file; } slots[] = {
        {SOUND_HIT, "hit.ogg"},         {SOUND_JUMP, "jump.ogg"},
        {SOUND_WHISTLE, "whistle.ogg"}, {SOUND_BALL_GROUND, "ball_ground.ogg"},
        {SOUND_CHEER1, "cheer1.ogg"},   {SOUND_CHEER2, "cheer2.ogg"},
        {SOUND_CHEER3, "cheer3.ogg"},   {SOUND_CHEER4, "cheer4.ogg"},
        {SOUND_CHEER5, "cheer5.ogg"},   {SOUND_CHEER6, "cheer6.ogg"},
        {SOUND_OOH, "ooh1.ogg"},        {SOUND_POWERUP, "powerup.ogg"},
    };
    const int n = int(sizeof slots / sizeof slots[0]);
    for (int k = 0; k < n; k++)
        write(slots[k].file, makeWAV(0.5 + 0.01 * k, 1000)); // 22050 + 441 k frames
    start();
    for (int k = 0; k < n; k++) {
        SCOPED_TRACE(slots[k].file);
        Mix_HaltChannel(-1);
        playSound(slots[k].s, vector3d());
        int channel = -1;
        for (int c = 0; c < 8; c++)
            if (Mix_Playing(c))
                channel = c;
        ASSERT_GE(channel, 0) << "nothing plays";
        const Mix_Chunk* chunk = Mix_GetChunk(channel);
        ASSERT_NE(chunk, nullptr);
        EXPECT_EQ(chunk->alen, (22050u + 441u * k) * 4u) << "four bytes per stereo frame";
    }
    Mix_HaltChannel(-1);
}

// a module of four rows at 125 BPM and speed 6: 0.48 s, then it ends unless it loops
std::string shortModule()
{
    xmmodule m;
    m.name = "short";
    m.channels = 2;
    m.order = {0};
    m.patterns.push_back(xmpattern(4, 2));
    m.patterns[0].at(0, 0).note = static_cast<uint8_t>(xmNote("C-4"));
    m.patterns[0].at(0, 0).instrument = 1;
    xminstrument tone;
    tone.name = "tone";
    for (int i = 0; i < 2000; i++)
        tone.sample.push_back(i % 40 < 20 ? 8000 : -8000);
    tone.tuning = xmTune(xmNote("C-4"), 8363);
    m.instruments.push_back(tone);
    const std::vector<uint8_t> bytes = xmBytes(m);
    return std::string(bytes.begin(), bytes.end());
}

TEST_F(soundTest, MusicLoopsUntilReplacedOrStopped)
{
    const std::string track = dir + "/data/music/short.xm";
    testsupport::writeFile(track, shortModule());
    start();
    playMusic(track.c_str());
    EXPECT_EQ(Mix_PlayingMusic(), 1);
    // a track of half a second still plays after a second and a half: it started again
    SDL_Delay(1500);
    EXPECT_EQ(Mix_PlayingMusic(), 1) << "the track was played once only";
    playMusic(track.c_str()); // the same track again
    EXPECT_EQ(Mix_PlayingMusic(), 1);

    playMusic((dir + "/data/music/missing.xm").c_str()); // the old track ends, nothing follows
    EXPECT_EQ(Mix_PlayingMusic(), 0);
    playMusic(nullptr);
    EXPECT_EQ(Mix_PlayingMusic(), 0);

    playMusic(track.c_str());
    stopMusic();
    EXPECT_EQ(Mix_PlayingMusic(), 0);
    stopMusic(); // nothing left to stop
}

// The match ambience is Ogg Vorbis, played through the music path like the tunes.
TEST_F(soundTest, EveryAmbiencePlaysAsMusic)
{
    start();
    for (const char* time : {"Morning", "Daytime", "Evening", "Night"}) {
        SCOPED_TRACE(time);
        const std::string path = std::string("data/sounds/") + time + "_ambience.ogg";
        playMusic(path.c_str());
        EXPECT_EQ(Mix_PlayingMusic(), 1);
    }
    stopMusic();
}

// The music loader is only handed regular files that begin as a module does: on an empty, a
// short or a folder "module" it loses memory (the sanitizer build's leak check sees it), and on
// a named pipe it would wait for a writer for ever.
TEST_F(soundTest, WhatCannotBeAModuleIsNotLoaded)
{
    const std::string music = dir + "/data/music/";
    testsupport::writeFile(music + "empty.xm", "");
    testsupport::writeFile(music + "short.xm", "Extended");
    testsupport::writeFile(music + "sound.xm", makeWAV(0.5, 8000));
    testsupport::writeFile(music + "header.xm", std::string("Extended Module: ") + std::string(43, ' '));
    testsupport::writeFile(music + "damaged.ogg", "OggS" + std::string(200, '\x5a'));
    ASSERT_EQ(mkdir((music + "folder.xm").c_str(), 0700), 0);
    ASSERT_EQ(mkfifo((music + "pipe.xm").c_str(), 0600), 0);
    start();
    for (const char* name : {"empty.xm", "short.xm", "sound.xm", "header.xm", "damaged.ogg", "folder.xm", "pipe.xm"}) {
        SCOPED_TRACE(name);
        playMusic((music + name).c_str());
        EXPECT_EQ(Mix_PlayingMusic(), 0);
    }
    // and a pipe in place of an effect
    ASSERT_EQ(mkdir((dir + "/data/sounds").c_str(), 0700), 0);
    ASSERT_EQ(mkfifo((dir + "/data/sounds/hit.ogg").c_str(), 0600), 0);
    start();
    playSound(SOUND_HIT, vector3d());
    EXPECT_EQ(Mix_Playing(-1), 0);
}

TEST_F(soundTest, MeterFollowsTheMixedOutput)
{
    write("hit.ogg", makeWAV(1, 32767)); // full-scale left channel
    start();
    g_voltage = 0;
    playSound(SOUND_HIT, vector3d());
    for (int waited = 0; waited < 2000 && g_voltage < 1; waited += 10)
        SDL_Delay(10);
    EXPECT_GT(g_voltage, 1.0f);
}

// ---- volume ----

// The disk driver writes every mixed block to a file: what the speakers would have played.
class soundOnDisk : public soundTest {
protected:
    std::string file;
    std::string music;

    void SetUp() override
    {
        soundTest::SetUp();
        file = dir + "/mixed.raw";
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        music = std::string(cwd) + "/data/music/menu_01.xm";
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
        setenv("SDL_DISKAUDIODELAY", "5", 1);   // ms between blocks: faster than real time
        write("hit.ogg", makeWAV(3, 20000));
    }
    void TearDown() override
    {
        soundTest::TearDown();
        setVolumes(VOLUME_STEPS, VOLUME_STEPS);
        setMuted(false);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        unsetenv("SDL_DISKAUDIOFILE");
        unsetenv("SDL_DISKAUDIODELAY");
    }

    // the loudest sample the mixer wrote while an effect (and the music, when asked) played
    int loudest(int musicLevel, int effectsLevel, bool muted, bool withMusic)
    {
        setVolumes(musicLevel, effectsLevel);
        setMuted(muted);
        start();
        if (withMusic)
            playMusic(music.c_str());
        else
            playSound(SOUND_HIT, vector3d());
        // a few blocks of the mix, however slowly the machine runs
        struct stat st;
        for (int waited = 0; waited < 5000; waited += 20) {
            if (stat(file.c_str(), &st) == 0 && st.st_size > 65536)
                break;
            SDL_Delay(20);
        }
        deinitSound();
        std::string bytes;
        if (FILE* f = fopen(file.c_str(), "rb")) {
            char buf[65536];
            size_t n;
            while ((n = fread(buf, 1, sizeof buf, f)) > 0)
                bytes.append(buf, n);
            fclose(f);
        }
        EXPECT_GT(bytes.size(), 65536u) << "the driver wrote the mix";
        int most = 0;
        for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
            Sint16 v;
            memcpy(&v, bytes.data() + i, 2);
            most = std::max(most, std::abs(int(v)));
        }
        return most;
    }
};

TEST_F(soundOnDisk, VolumeZeroAndMuteMixSilence)
{
    struct { const char* what; int music, effects; bool muted, withMusic, silent; } cases[] = {
        {"effects at 0", 10, 0, false, false, true},
        {"effects at 10", 0, 10, false, false, false},
        {"effects at 10, muted", 10, 10, true, false, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(loudest(c.music, c.effects, c.muted, c.withMusic) == 0, c.silent) << c.what;
    // the 20000 of the file, at half volume
    const int half = loudest(10, 5, false, false);
    EXPECT_NEAR(half, 20000 * 64 / 128, 200);
}

TEST_F(soundOnDisk, MusicVolumeZeroIsSilent)
{
    if (!isReadableFile(music.c_str(), 1u << 24))
        GTEST_SKIP() << "data/music/menu_01.xm not generated";
    EXPECT_GT(loudest(10, 10, false, true), 0);
    EXPECT_EQ(loudest(0, 10, false, true), 0);
}

}
