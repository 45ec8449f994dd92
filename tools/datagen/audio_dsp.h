#ifndef TIBREL_DATAGEN_AUDIO_DSP_H
#define TIBREL_DATAGEN_AUDIO_DSP_H

#include <cmath>
#include <cstdint>
#include <vector>
#include "image.h"

// Small signal toolkit shared by the sound effects, the ambiences and the music instruments.
// Everything is plain arithmetic on our own generator, so the same source always gives the same
// samples.
namespace dsp {

const int RATE = 44100;          // output rate of every effect and ambience, Hz
const double PI = 3.14159265358979323846;

typedef std::vector<float> buffer;

// the generator's seeded random numbers, with the shapes the synthesis needs
class rng {
public:
    explicit rng(uint64_t seed) : g(seed) {}
    double uniform() { return g.uniform(); }                                 // [0, 1)
    double bipolar() { return uniform() * 2.0 - 1.0; }                       // [-1, 1)
    double range(double lo, double hi) { return lo + (hi - lo) * uniform(); }
    int below(int n) { return (int)(g.next() % (uint32_t)n); }

private:
    randomgen g;
};

// Two-pole filter in direct form I (the usual cookbook designs)
class biquad {
public:
    biquad() { clear(); }
    void lowpass(double f, double q, double rate = RATE) { design(0, f, q, rate); }
    void highpass(double f, double q, double rate = RATE) { design(1, f, q, rate); }
    void bandpass(double f, double q, double rate = RATE) { design(2, f, q, rate); }  // 0 dB peak
    void clear() { x1 = x2 = y1 = y2 = 0; }
    float run(double x)
    {
        double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return (float)y;
    }

private:
    void design(int kind, double f, double q, double rate);
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    double x1, x2, y1, y2;
};

// one-pole smoother: a = exp(-2 pi f / rate)
class onepole {
public:
    void lowpass(double f, double rate = RATE) { a = std::exp(-2.0 * PI * f / rate); }
    float run(double x)
    {
        y = x + a * (y - x);
        return (float)y;
    }
    double a = 0, y = 0;
};

// attack-decay envelope: linear rise over attack s, then exponential fall with time constant decay s
inline double envAD(double t, double attack, double decay)
{
    if (t < 0)
        return 0;
    if (t < attack)
        return t / attack;
    return std::exp(-(t - attack) / decay);
}

// smooth 0..1..0 window over [0, len]: raised-cosine fade of fade s at both ends
inline double envWindow(double t, double len, double fade)
{
    if (t <= 0 || t >= len)
        return 0;
    if (t < fade)
        return 0.5 - 0.5 * std::cos(PI * t / fade);
    if (t > len - fade)
        return 0.5 - 0.5 * std::cos(PI * (len - t) / fade);
    return 1;
}

// Band-limited-enough glottal source: a sawtooth softened by a one-pole low-pass; used for voices
class voicesource {
public:
    explicit voicesource(double brightness = 3000) { soft.lowpass(brightness); }
    float run(double freq, double rate = RATE)
    {
        phase += freq / rate;
        phase -= std::floor(phase);
        return soft.run(1.0 - 2.0 * phase);
    }
    double phase = 0;

private:
    onepole soft;
};

// vowel formant frequencies (first, second, third), Hz
struct vowel {
    double f1, f2, f3;
};
extern const vowel VOWEL_A, VOWEL_E, VOWEL_O, VOWEL_OO, VOWEL_AE;

// three parallel band-passes tuned to a vowel
class formants {
public:
    void set(const vowel& v, double q = 8, double rate = RATE)
    {
        b[0].bandpass(v.f1, q, rate);
        b[1].bandpass(v.f2, q * 1.5, rate);
        b[2].bandpass(v.f3, q * 2, rate);
    }
    float run(double x) { return (float)(b[0].run(x) + 0.6 * b[1].run(x) + 0.25 * b[2].run(x)); }

private:
    biquad b[3];
};

// peak magnitude of a buffer
float peak(const buffer& b);
// scales the buffer so that its peak is target
void normalise(buffer& b, float target);
// adds src into dst starting at sample offset (clipped to dst's end), scaled by gain
void mixInto(buffer& dst, const buffer& src, long offset, float gain = 1.0f);
// adds src into dst at offset, wrapping around dst's end (for loops whose events may cross the seam)
void mixWrapped(buffer& dst, const buffer& src, long offset, float gain = 1.0f);
// turns a buffer of length loop + fade into a seamless loop of length loop: the tail past the loop
// point is crossfaded (equal power) over the head, so the last sample leads into the first
buffer makeLoop(const buffer& b, long loop, long fade);
// adds a small room (four damped feedback combs and two all-passes, Schroeder style) to b;
// wet is the level of the reverberation, variant (0 or 1) picks decorrelated delays for the
// left and right channels
void addReverb(buffer& b, float wet, float feedback, int variant);
// soft saturation keeping |x| < 1
inline float softClip(float x) { return (float)std::tanh(x); }

}

#endif
