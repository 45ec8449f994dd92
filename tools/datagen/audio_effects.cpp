#include "audio_effects.h"

#include <algorithm>

using namespace dsp;

namespace {

buffer silence(double seconds) { return buffer((size_t)(seconds * RATE), 0.0f); }

// equal-power pan, p in -1 (left) .. 1 (right)
void panGains(double p, float& gl, float& gr)
{
    double a = (p + 1.0) * PI / 4.0;
    gl = (float)std::cos(a);
    gr = (float)std::sin(a);
}

void mixPanned(stereo& dst, const buffer& src, long offset, double pan, float gain)
{
    float gl, gr;
    panGains(pan, gl, gr);
    mixInto(dst.left, src, offset, gain * gl);
    mixInto(dst.right, src, offset, gain * gr);
}

void mixPannedWrapped(stereo& dst, const buffer& src, long offset, double pan, float gain)
{
    float gl, gr;
    panGains(pan, gl, gr);
    mixWrapped(dst.left, src, offset, gain * gl);
    mixWrapped(dst.right, src, offset, gain * gr);
}

void normaliseStereo(stereo& s, float target)
{
    float p = std::max(peak(s.left), peak(s.right));
    if (p <= 0)
        return;
    for (float& v : s.left)
        v *= target / p;
    for (float& v : s.right)
        v *= target / p;
}

// ---- crowd voices -------------------------------------------------------------------------------

struct voiceshape {
    double start, attack, hold, release;  // s
    double pitch;                         // Hz at rest
    double glide;                         // semitones risen over the first 0.3 s (negative: falls)
    double fall;                          // semitones fallen over the whole voice
    vowel from, to;                       // formants morph from one vowel to the other
    double breath;                        // share of noise in the source
    double wobble;                        // rate of the loudness swell, Hz
};

// one shouting or groaning voice, mono, starting at its start time
buffer crowdVoice(const voiceshape& v, rng& r, double total)
{
    const int CONTROL = 32;  // pitch and loudness are updated every 32 samples (0.7 ms)
    buffer out = silence(total);
    voicesource src(2500 + r.uniform() * 2000);
    formants fA, fB;
    double scale = v.pitch > 190 ? 1.15 : 1.0;  // shorter vocal tracts have higher formants
    bool morph = v.from.f1 != v.to.f1 || v.from.f2 != v.to.f2;
    fA.set({v.from.f1 * scale, v.from.f2 * scale, v.from.f3 * scale}, 6);
    fB.set({v.to.f1 * scale, v.to.f2 * scale, v.to.f3 * scale}, 6);
    double len = v.attack + v.hold + v.release;
    double vibPhase = r.uniform() * 2 * PI, vibRate = r.range(4.5, 6.5);
    double wobPhase = r.uniform() * 2 * PI;
    double jitter = 0, env = 0, f = v.pitch, m = 0;
    long s0 = (long)(v.start * RATE), n = (long)(len * RATE);
    for (long i = 0; i < n && s0 + i < (long)out.size(); i++) {
        if (i % CONTROL == 0) {
            double t = (double)i / RATE;
            env = t < v.attack ? t / v.attack
                : t < v.attack + v.hold ? 1.0
                : std::exp(-(t - v.attack - v.hold) / (v.release / 3));
            env *= 0.75 + 0.25 * std::sin(2 * PI * v.wobble * t + wobPhase);
            jitter = 0.97 * jitter + 0.03 * r.bipolar() * 40;
            double semis = v.glide * std::min(t / 0.3, 1.0) - v.fall * t / len + jitter * 0.05;
            f = v.pitch * std::pow(2.0, semis / 12.0) * (1 + 0.01 * std::sin(2 * PI * vibRate * t + vibPhase));
            m = std::min(t / len, 1.0);
        }
        double x = src.run(f) * (1 - v.breath) + r.bipolar() * v.breath;
        double y = morph ? (1 - m) * fA.run(x) + m * fB.run(x) : fA.run(x);
        out[s0 + i] = (float)(y * env);
    }
    return out;
}

// the sound of one pair of hands: a band of noise that dies within a few ms
buffer clapSound(rng& r)
{
    buffer out = silence(0.06);
    biquad band, body;
    band.bandpass(r.range(900, 2200), r.range(1.2, 2.5));
    body.bandpass(r.range(350, 600), 2);
    double decay = r.range(0.006, 0.014);
    for (size_t i = 0; i < out.size(); i++) {
        double t = (double)i / RATE;
        double n = r.bipolar();
        out[i] = (float)((band.run(n) + 0.4 * body.run(n)) * envAD(t, 0.0008, decay));
    }
    return out;
}

// two fingers in the mouth: a pure, gliding whistle
buffer fingerWhistle(rng& r)
{
    double len = r.range(0.5, 1.1);
    buffer out = silence(len);
    double f0 = r.range(1900, 2700), up = r.range(300, 700), phase = 0;
    for (size_t i = 0; i < out.size(); i++) {
        double t = (double)i / RATE;
        double shape = std::sin(PI * t / len);
        double f = f0 + up * shape + 25 * std::sin(2 * PI * 6 * t);
        phase += f / RATE;
        out[i] = (float)(std::sin(2 * PI * phase) * envWindow(t, len, 0.05) * (0.6 + 0.4 * shape));
    }
    return out;
}

const vowel* const CHEER_VOWELS[] = {&VOWEL_A, &VOWEL_E, &VOWEL_AE, &VOWEL_O};

struct cheerstyle {
    double seconds;
    int voices;
    double pitchScale;  // raises the whole crowd (excited crowds shout higher)
    int clappers;
    int whistles;
    double roar;        // level of the broad band of distant voices
};

const cheerstyle CHEERS[6] = {
    {2.6, 36, 1.00, 14, 1, 0.5},
    {3.4, 44, 1.10, 20, 2, 0.6},
    {2.2, 30, 0.95, 8, 0, 0.4},
    {4.2, 52, 1.15, 26, 3, 0.7},
    {3.0, 40, 1.05, 0, 2, 0.6},   // voices and whistles, no applause
    {3.8, 34, 0.90, 30, 1, 0.5},  // mostly applause
};

// ---- ambience pieces --------------------------------------------------------------------------

// surf: noise whose loudness and brightness follow waves spaced around the loop (circular in t)
buffer seaChannel(rng& r, double loopSec, double total, int waves, double strength, double shift)
{
    buffer out = silence(total);
    std::vector<double> at, rise, wash, height;
    for (int j = 0; j < waves; j++) {
        at.push_back(loopSec * (j + r.range(0.0, 0.4)) / waves);
        rise.push_back(r.range(1.2, 2.2));
        wash.push_back(r.range(1.5, 2.8));
        height.push_back(r.range(0.6, 1.0));
    }
    biquad bright, rumble;
    rumble.lowpass(110, 0.7);
    double w = 0;
    for (size_t i = 0; i < out.size(); i++) {
        double t = (double)i / RATE;
        if (i % 32 == 0) {
            w = 0;
            for (int j = 0; j < waves; j++) {
                double d = std::fmod(t - at[j] - shift + 4 * loopSec, loopSec);
                // the swell builds, breaks and washes out, well inside one loop
                double s = d < rise[j] ? std::pow(d / rise[j], 2.0) : std::exp(-(d - rise[j]) / wash[j]);
                w += s * height[j];
            }
            bright.lowpass(250 + 2600 * std::min(w, 1.2), 0.6);
        }
        double n = r.bipolar();
        out[i] = (float)(bright.run(n) * (0.25 + strength * w) + rumble.run(n) * 2.5 * (0.4 + 0.6 * w));
    }
    return out;
}

// wind: a slowly wandering band of noise with gusts that repeat with the loop
buffer windChannel(rng& r, double loopSec, double total, double level)
{
    buffer out = silence(total);
    double ph[3] = {r.uniform() * 2 * PI, r.uniform() * 2 * PI, r.uniform() * 2 * PI};
    biquad band;
    double gust = 0;
    for (size_t i = 0; i < out.size(); i++) {
        double t = (double)i / RATE;
        if (i % 64 == 0) {
            double a = 2 * PI * t / loopSec;
            gust = 0.55 + 0.25 * std::sin(a + ph[0]) + 0.15 * std::sin(2 * a + ph[1]) + 0.05 * std::sin(5 * a + ph[2]);
            band.bandpass(350 + 500 * gust, 0.9);
        }
        out[i] = (float)(band.run(r.bipolar()) * gust * level);
    }
    return out;
}

// a chattering crowd: voices talking in syllables and phrases, heard from a distance
buffer murmurChannel(rng& r, double total, int voices, double level)
{
    buffer out = silence(total);
    const vowel* vowels[] = {&VOWEL_A, &VOWEL_E, &VOWEL_O, &VOWEL_OO, &VOWEL_AE};
    for (int k = 0; k < voices; k++) {
        voicesource src(1800);
        formants form;
        double pitch = r.uniform() < 0.55 ? r.range(95, 150) : r.range(180, 260);
        double gain = r.range(0.4, 1.0);
        double t = r.range(0, 2);
        // phrases of syllables, separated by pauses
        while (t < total) {
            double phrase = r.range(0.8, 3.0), end = std::min(t + phrase, total);
            while (t < end) {
                double syl = r.range(0.09, 0.24);
                const vowel& v = *vowels[r.below(5)];
                double sc = pitch > 170 ? 1.15 : 1.0;
                form.set({v.f1 * sc, v.f2 * sc, v.f3 * sc}, 5);
                double semis = r.range(-2, 3) - 2 * (t - (end - phrase)) / phrase;
                long s0 = (long)(t * RATE), n = (long)(syl * RATE);
                double env = 0, f = pitch;
                for (long i = 0; i < n && s0 + i < (long)out.size(); i++) {
                    if (i % 32 == 0) {  // contours at control rate
                        double u = (double)i / n;
                        env = std::sin(PI * u);
                        f = pitch * std::pow(2.0, (semis + 1.5 * (0.5 - u)) / 12.0);
                    }
                    out[s0 + i] += (float)(form.run(src.run(f) * 0.85 + r.bipolar() * 0.15) * env * gain);
                }
                t += syl + r.range(0.0, 0.05);
            }
            t += r.range(0.3, 1.8);
        }
    }
    // distance takes the edge off; the space around the court smears the syllables together
    biquad far;
    far.lowpass(1600, 0.7);
    for (float& v : out)
        v = far.run(v) * (float)level;
    addReverb(out, 0.8f, 0.78f, 0);
    return out;
}

// a songbird phrase: a few quick chirps sweeping through the high kHz
buffer birdPhrase(rng& r)
{
    int chirps = 3 + r.below(6);
    double f0 = r.range(2800, 4200), gap = r.range(0.06, 0.14);
    double chirpLen = r.range(0.04, 0.11), sweep = r.range(-1500, 2000);
    buffer out = silence(chirps * (chirpLen + gap) + 0.1);
    for (int c = 0; c < chirps; c++) {
        double phase = 0, start = c * (chirpLen + gap);
        double fc = f0 * (1 + 0.08 * r.bipolar());
        for (long i = 0; i < (long)(chirpLen * RATE); i++) {
            double u = (double)i / (chirpLen * RATE);
            double f = fc + sweep * u + 300 * std::sin(2 * PI * 35 * u * chirpLen);
            phase += f / RATE;
            out[(long)(start * RATE) + i] += (float)(std::sin(2 * PI * phase) * std::sin(PI * u));
        }
    }
    return out;
}

// a seagull's cry: a rasping harmonic tone that rises and falls, repeated a few times
buffer gullCall(rng& r)
{
    int cries = 2 + r.below(3);
    double len = r.range(0.28, 0.45), gap = r.range(0.08, 0.18);
    double base = r.range(650, 900);
    buffer out = silence(cries * (len + gap) + 0.1);
    biquad nasal;
    nasal.bandpass(2300, 1.5);
    for (int c = 0; c < cries; c++) {
        double phase = 0, start = c * (len + gap);
        double lift = c == 0 ? 1.3 : 1.15;
        for (long i = 0; i < (long)(len * RATE); i++) {
            double u = (double)i / (len * RATE);
            double f = base * (1 + (lift - 1) * std::sin(PI * std::min(u * 1.6, 1.0))) * (1 - 0.25 * u);
            phase += f / RATE;
            double tone = 0;
            for (int h = 1; h <= 6; h++)
                tone += std::sin(2 * PI * phase * h) / h;
            double rasp = 0.7 + 0.3 * std::sin(2 * PI * phase * 0.5);  // subharmonic rasp
            double x = tone * rasp;
            out[(long)(start * RATE) + i] += (float)((0.5 * x + nasal.run(x)) * envWindow(u, 1, 0.15));
        }
    }
    return out;
}

// one cricket chirp: a few pulses of a pure high tone
buffer cricketChirp(double freq, int pulses)
{
    const double pulse = 0.014, spacing = 0.032;
    buffer out = silence(pulses * spacing + 0.02);
    for (int p = 0; p < pulses; p++)
        for (long i = 0; i < (long)(pulse * RATE); i++) {
            double u = (double)i / (pulse * RATE);
            double t = p * spacing + (double)i / RATE;
            out[(long)(p * spacing * RATE) + i] += (float)(std::sin(2 * PI * freq * t) * std::sin(PI * u));
        }
    return out;
}

struct ambiencestyle {
    double seconds;               // loop length
    int waves;                    // breakers per loop
    double surf, wind;            // levels
    int voices;                   // chattering people
    double crowd;                 // their level
    int songbirds, gulls, crickets;
    uint64_t seed;
};

const ambiencestyle AMBIENCES[4] = {
    {16.0, 3, 0.8, 0.35, 10, 0.8, 9, 1, 0, 101},   // morning: calm sea, few people, birdsong
    {18.0, 4, 1.0, 0.45, 22, 1.0, 3, 4, 0, 202},   // day: busy beach, gulls
    {17.0, 3, 1.1, 0.55, 30, 1.2, 0, 2, 0, 303},   // evening: the crowd is in, the wind picks up
    {16.0, 3, 0.9, 0.25, 12, 0.6, 0, 0, 7, 404},   // night: crickets, floodlit crowd
};

}

// ---- effects --------------------------------------------------------------------------------

buffer synthHit()
{
    rng r(11);
    buffer out = silence(0.35);
    biquad slap, crack;
    slap.bandpass(1700, 1.1);
    crack.highpass(3200, 0.7);
    double phase = 0;
    for (size_t i = 0; i < out.size(); i++) {
        double t = (double)i / RATE;
        double n = r.bipolar();
        // the palm: a broad slap with a sharp edge
        double hand = slap.run(n) * envAD(t, 0.0015, 0.02) * 1.6 + crack.run(n) * envAD(t, 0.0004, 0.006);
        // the ball's shell rings briefly, its pitch settling as the dent springs back
        double f = 200 * (1 + 0.35 * std::exp(-t / 0.015));
        phase += f / RATE;
        double shell = std::sin(2 * PI * phase) * envAD(t, 0.002, 0.065) * 0.8 +
                       std::sin(2 * PI * phase * 2.71) * envAD(t, 0.001, 0.025) * 0.3;
        out[i] = (float)(hand + shell);
    }
    normalise(out, 0.9f);
    return out;
}

buffer synthJump()
{
    rng r(12);
    const double len = 0.42;
    buffer out = silence(len);
    biquad air, scuff;
    scuff.lowpass(900, 0.8);
    for (size_t i = 0; i < out.size(); i++) {
        double t = (double)i / RATE;
        double u = t / len;
        if (i % 16 == 0)
            air.bandpass(350 + 2200 * std::pow(std::sin(PI * u), 1.5), 1.8);
        double env = u < 0.3 ? u / 0.3 : std::exp(-(u - 0.3) / 0.18);
        double n = r.bipolar();
        out[i] = (float)(air.run(n) * env * 1.4 + scuff.run(n) * envAD(t, 0.002, 0.03) * 0.8);
    }
    normalise(out, 0.8f);
    return out;
}

buffer synthWhistle()
{
    rng r(13);
    const double blast = 0.8;
    buffer out = silence(0.9);
    biquad breath;
    breath.bandpass(3100, 3);
    double phase = 0;
    for (size_t i = 0; i < out.size(); i++) {
        double t = (double)i / RATE;
        double env = envWindow(t, blast, 0.025);
        // the pea spins in the chamber, chopping and bending the tone about 38 times a second
        double pea = std::sin(2 * PI * 38 * t);
        double f = 2900 + 140 * (1 - std::exp(-t / 0.05)) + 90 * pea;
        phase += f / RATE;
        double tone = std::sin(2 * PI * phase) + 0.12 * std::sin(4 * PI * phase);
        out[i] = (float)((tone * (0.6 + 0.4 * pea) + breath.run(r.bipolar()) * 0.5) * env);
    }
    normalise(out, 0.85f);
    return out;
}

buffer synthBallGround()
{
    rng r(14);
    buffer out = silence(0.6);
    biquad spray, grains;
    spray.lowpass(1100, 0.7);
    grains.bandpass(4200, 1.2);
    double phase = 0;
    for (size_t i = 0; i < out.size(); i++) {
        double t = (double)i / RATE;
        double f = 52 + 75 * std::exp(-t / 0.025);
        phase += f / RATE;
        double thud = std::sin(2 * PI * phase) * envAD(t, 0.003, 0.08);
        double n = r.bipolar();
        // sand thrown up, then grains pattering down
        double sand = spray.run(n) * envAD(t, 0.004, 0.1) * 0.9;
        double patter = r.uniform() < 0.02 * std::exp(-t / 0.12) ? r.bipolar() * 0.8 : 0.0;
        out[i] = (float)(thud * 1.2 + sand + grains.run(patter + n * 0.1 * envAD(t, 0.01, 0.12)) * 0.6);
    }
    normalise(out, 0.9f);
    return out;
}

stereo synthCheer(int which)
{
    const cheerstyle& c = CHEERS[std::max(1, std::min(6, which)) - 1];
    rng r(1000 + which * 77);
    stereo out{silence(c.seconds), silence(c.seconds)};
    double shout = c.seconds * 0.55;  // how long the crowd holds its voice before trailing off
    for (int k = 0; k < c.voices; k++) {
        voiceshape v;
        v.start = r.range(0.0, 0.35);
        v.attack = r.range(0.06, 0.25);
        v.hold = r.range(shout * 0.4, shout);
        v.release = r.range(0.4, std::max(0.5, c.seconds - v.start - v.attack - v.hold - 0.05));
        v.pitch = (r.uniform() < 0.6 ? r.range(120, 190) : r.range(230, 360)) * c.pitchScale;
        v.glide = r.range(2, 7);
        v.fall = r.range(2, 6);
        v.from = *CHEER_VOWELS[r.below(4)];
        v.to = r.uniform() < 0.5 ? v.from : *CHEER_VOWELS[r.below(4)];
        v.breath = r.range(0.15, 0.35);
        v.wobble = r.range(0.5, 2.0);
        mixPanned(out, crowdVoice(v, r, c.seconds), 0, r.bipolar() * 0.8, (float)r.range(0.5, 1.0));
    }
    // the broad band of the far side of the crowd
    biquad roarL, roarR;
    roarL.bandpass(700, 0.6);
    roarR.bandpass(750, 0.6);
    for (size_t i = 0; i < out.left.size(); i++) {
        double t = (double)i / RATE;
        double env = envAD(t, 0.2, c.seconds * 0.35) * c.roar * 0.6;
        out.left[i] += (float)(roarL.run(r.bipolar()) * env);
        out.right[i] += (float)(roarR.run(r.bipolar()) * env);
    }
    for (int k = 0; k < c.clappers; k++) {
        buffer clap = clapSound(r);
        double pan = r.bipolar() * 0.9, rate = r.range(3.6, 5.8), gain = r.range(0.25, 0.6);
        double t = r.range(0.15, 0.6), stop = c.seconds - r.range(0.2, c.seconds * 0.35);
        while (t < stop) {
            mixPanned(out, clap, (long)(t * RATE), pan, (float)gain);
            t += 1.0 / rate + r.bipolar() * 0.012;
        }
    }
    for (int k = 0; k < c.whistles; k++)
        mixPanned(out, fingerWhistle(r), (long)(r.range(0.2, c.seconds * 0.5) * RATE), r.bipolar() * 0.7, 0.25f);
    addReverb(out.left, 0.35f, 0.75f, 0);
    addReverb(out.right, 0.35f, 0.75f, 1);
    normaliseStereo(out, 0.85f);
    return out;
}

stereo synthOoh()
{
    rng r(1500);
    const double len = 2.3;
    stereo out{silence(len), silence(len)};
    for (int k = 0; k < 34; k++) {
        voiceshape v;
        v.start = r.range(0.0, 0.25);
        v.attack = r.range(0.12, 0.3);
        v.hold = r.range(0.6, 1.1);
        v.release = len - v.start - v.attack - v.hold - 0.05;
        v.pitch = r.uniform() < 0.55 ? r.range(150, 210) : r.range(250, 330);
        v.glide = r.range(0.5, 2.0);   // a small lift as it starts ...
        v.fall = r.range(5, 9);        // ... and a long sag of disappointment
        v.from = VOWEL_O;
        v.to = VOWEL_OO;
        v.breath = r.range(0.1, 0.25);
        v.wobble = r.range(0.3, 0.9);
        mixPanned(out, crowdVoice(v, r, len), 0, r.bipolar() * 0.8, (float)r.range(0.5, 1.0));
    }
    addReverb(out.left, 0.4f, 0.78f, 0);
    addReverb(out.right, 0.4f, 0.78f, 1);
    normaliseStereo(out, 0.85f);
    return out;
}

stereo synthPowerup()
{
    rng r(1600);
    const double len = 1.1;
    stereo out{silence(len), silence(len)};
    // a bright arpeggio climbing two octaves and a third
    const int steps[] = {0, 4, 7, 12, 16, 19, 24, 28};
    for (int k = 0; k < 8; k++) {
        double f = 523.25 * std::pow(2.0, steps[k] / 12.0);
        buffer note = silence(0.45);
        for (size_t i = 0; i < note.size(); i++) {
            double t = (double)i / RATE;
            note[i] = (float)((std::sin(2 * PI * f * t) + 0.35 * std::sin(2 * PI * f * 2.76 * t) * std::exp(-t / 0.04)) *
                              envAD(t, 0.002, 0.12));
        }
        mixPanned(out, note, (long)(k * 0.065 * RATE), (k % 2 ? 0.4 : -0.4), 0.5f);
    }
    // a rising sweep underneath
    double phase = 0;
    for (size_t i = 0; i < out.left.size(); i++) {
        double t = (double)i / RATE;
        phase += 300 * std::pow(2.0, 3.2 * t / len) / RATE;
        float v = (float)(std::sin(2 * PI * phase) * envWindow(t, len * 0.8, 0.1) * 0.12);
        out.left[i] += v;
        out.right[i] += v;
    }
    // sparkles: short high glints, thicker towards the end
    for (int k = 0; k < 40; k++) {
        double t0 = len * 0.85 * std::sqrt(r.uniform()), f = r.range(3000, 8000);
        buffer glint = silence(0.03);
        for (size_t i = 0; i < glint.size(); i++) {
            double t = (double)i / RATE;
            glint[i] = (float)(std::sin(2 * PI * f * t) * envAD(t, 0.001, 0.008));
        }
        mixPanned(out, glint, (long)(t0 * RATE), r.bipolar(), 0.18f);
    }
    // a ping-pong echo spreads it out
    long d = (long)(0.09 * RATE);
    for (size_t i = d; i < out.left.size(); i++) {
        out.left[i] += out.right[i - d] * 0.35f;
        out.right[i] += out.left[i - d] * 0.35f;
    }
    normaliseStereo(out, 0.85f);
    return out;
}

stereo synthAmbience(ambiencekind kind)
{
    const ambiencestyle& a = AMBIENCES[kind];
    rng r(a.seed);
    const double fade = 2.0;
    long loop = (long)(a.seconds * RATE), fadeN = (long)(fade * RATE);
    double total = a.seconds + fade;

    // continuous parts run past the loop point and are folded back over the head
    stereo lin{seaChannel(r, a.seconds, total, a.waves, a.surf, 0.0),
               seaChannel(r, a.seconds, total, a.waves, a.surf, 0.35)};
    buffer windL = windChannel(r, a.seconds, total, a.wind), windR = windChannel(r, a.seconds, total, a.wind);
    mixInto(lin.left, windL, 0);
    mixInto(lin.right, windR, 0);
    if (a.voices > 0) {
        mixInto(lin.left, murmurChannel(r, total, a.voices / 2, a.crowd), 0);
        mixInto(lin.right, murmurChannel(r, total, a.voices - a.voices / 2, a.crowd), 0);
    }
    stereo out{makeLoop(lin.left, loop, fadeN), makeLoop(lin.right, loop, fadeN)};

    // single calls are placed around the loop and wrap across its end
    for (int k = 0; k < a.songbirds; k++)
        mixPannedWrapped(out, birdPhrase(r), (long)(r.uniform() * loop), r.bipolar() * 0.9, (float)r.range(0.04, 0.1));
    for (int k = 0; k < a.gulls; k++)
        mixPannedWrapped(out, gullCall(r), (long)(r.uniform() * loop), r.bipolar() * 0.9, (float)r.range(0.05, 0.09));
    for (int k = 0; k < a.crickets; k++) {
        // a whole number of chirps per loop keeps each cricket in step across the seam
        double interval = r.range(0.35, 0.8);
        int count = std::max(1, (int)std::lround(a.seconds / interval));
        buffer chirp = cricketChirp(r.range(3800, 5200), 2 + r.below(3));
        double pan = r.bipolar() * 0.9, offset = r.uniform() * a.seconds / count;
        float gain = (float)r.range(0.02, 0.06);
        for (int c = 0; c < count; c++)
            mixPannedWrapped(out, chirp, (long)((offset + c * a.seconds / count) * RATE), pan, gain);
    }
    normaliseStereo(out, 0.6f);
    return out;
}
