#include "audio_dsp.h"

#include <algorithm>

namespace dsp {

const vowel VOWEL_A = {750, 1200, 2600};
const vowel VOWEL_E = {450, 1900, 2600};
const vowel VOWEL_O = {500, 850, 2500};
const vowel VOWEL_OO = {320, 800, 2300};
const vowel VOWEL_AE = {650, 1700, 2500};

void biquad::design(int kind, double f, double q, double rate)
{
    f = std::min(f, rate * 0.45);
    double w = 2.0 * PI * f / rate;
    double cw = std::cos(w), alpha = std::sin(w) / (2.0 * q);
    double a0 = 1.0 + alpha;
    switch (kind) {
    case 0:  // low-pass
        b0 = (1.0 - cw) / 2.0;
        b1 = 1.0 - cw;
        b2 = b0;
        break;
    case 1:  // high-pass
        b0 = (1.0 + cw) / 2.0;
        b1 = -(1.0 + cw);
        b2 = b0;
        break;
    default:  // band-pass, unity gain at the centre
        b0 = alpha;
        b1 = 0;
        b2 = -alpha;
        break;
    }
    a1 = -2.0 * cw;
    a2 = 1.0 - alpha;
    b0 /= a0;
    b1 /= a0;
    b2 /= a0;
    a1 /= a0;
    a2 /= a0;
}

float peak(const buffer& b)
{
    float p = 0;
    for (float v : b)
        p = std::max(p, std::fabs(v));
    return p;
}

void normalise(buffer& b, float target)
{
    float p = peak(b);
    if (p <= 0)
        return;
    float g = target / p;
    for (float& v : b)
        v *= g;
}

void mixInto(buffer& dst, const buffer& src, long offset, float gain)
{
    for (size_t i = 0; i < src.size(); i++) {
        long j = offset + (long)i;
        if (j >= 0 && j < (long)dst.size())
            dst[j] += src[i] * gain;
    }
}

void mixWrapped(buffer& dst, const buffer& src, long offset, float gain)
{
    long n = (long)dst.size();
    if (n == 0)
        return;
    long j = ((offset % n) + n) % n;
    for (size_t i = 0; i < src.size(); i++) {
        dst[j] += src[i] * gain;
        if (++j == n)
            j = 0;
    }
}

buffer makeLoop(const buffer& b, long loop, long fade)
{
    buffer out(b.begin(), b.begin() + loop);
    for (long i = 0; i < fade; i++) {
        double w = (i + 0.5) / fade * PI / 2.0;
        out[i] = (float)(b[i] * std::sin(w) + b[loop + i] * std::cos(w));
    }
    return out;
}

}

namespace dsp {

void addReverb(buffer& b, float wet, float feedback, int variant)
{
    // comb and all-pass lengths in samples, mutually prime so the echoes do not pile up
    static const int combLen[2][4] = {{1557, 1617, 1491, 1422}, {1580, 1640, 1514, 1445}};
    static const int allLen[2][2] = {{225, 556}, {248, 579}};
    const int* cl = combLen[variant & 1];
    const int* al = allLen[variant & 1];
    std::vector<float> comb[4], all[2];
    int ci[4] = {0, 0, 0, 0}, ai[2] = {0, 0};
    float damp[4] = {0, 0, 0, 0};
    for (int k = 0; k < 4; k++)
        comb[k].assign(cl[k], 0.0f);
    for (int k = 0; k < 2; k++)
        all[k].assign(al[k], 0.0f);
    for (float& v : b) {
        float in = v * 0.25f, sum = 0;
        for (int k = 0; k < 4; k++) {
            float out = comb[k][ci[k]];
            damp[k] = out * 0.6f + damp[k] * 0.4f;  // high frequencies die first
            comb[k][ci[k]] = in + damp[k] * feedback;
            if (++ci[k] == cl[k])
                ci[k] = 0;
            sum += out;
        }
        for (int k = 0; k < 2; k++) {
            float d = all[k][ai[k]];
            all[k][ai[k]] = sum + d * 0.5f;
            sum = d - sum * 0.5f;
            if (++ai[k] == al[k])
                ai[k] = 0;
        }
        v += sum * wet;
    }
}

}
