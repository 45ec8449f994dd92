#include "xm_music.h"

#include <algorithm>
#include <sstream>
#include "audio_dsp.h"

using namespace dsp;

namespace {

const double FULL_RATE = 44100, HALF_RATE = 22050;

// ---- instruments ------------------------------------------------------------------------------

std::vector<int16_t> toPcm(const buffer& b)
{
    float p = peak(b);
    float g = p > 0 ? 0.95f / p : 0.0f;
    std::vector<int16_t> out(b.size());
    for (size_t i = 0; i < b.size(); i++)
        out[i] = (int16_t)std::lround(b[i] * g * 32767.0f);
    return out;
}

xminstrument makeInstrument(const std::string& name, int baseNote, double targetRate)
{
    xminstrument ins;
    ins.name = name;
    ins.tuning = xmTune(baseNote, targetRate);
    return ins;
}

// frequency of a note number at equal temperament (A-4 = 440 Hz)
double noteHz(int note) { return 440.0 * std::pow(2.0, (note - xmNote("A-4")) / 12.0); }

xminstrument kick()
{
    xminstrument ins = makeInstrument("kick", xmNote("C-4"), FULL_RATE);
    double R = ins.tuning.rate;
    rng r(21);
    buffer b((size_t)(0.45 * R));
    double phase = 0;
    for (size_t i = 0; i < b.size(); i++) {
        double t = i / R;
        phase += (45 + 110 * std::exp(-t / 0.035)) / R;
        double body = std::sin(2 * PI * phase) * envAD(t, 0.001, 0.15);
        double click = r.bipolar() * envAD(t, 0.0002, 0.003) * 0.4;
        b[i] = softClip((float)((body + click) * 1.6));
    }
    ins.sample = toPcm(b);
    return ins;
}

xminstrument snare()
{
    xminstrument ins = makeInstrument("snare", xmNote("C-4"), FULL_RATE);
    double R = ins.tuning.rate;
    rng r(22);
    buffer b((size_t)(0.3 * R));
    biquad hp, bp;
    hp.highpass(1500, 0.7, R);
    bp.bandpass(4500, 0.8, R);
    for (size_t i = 0; i < b.size(); i++) {
        double t = i / R;
        double n = r.bipolar();
        double tone = (std::sin(2 * PI * 185 * t) + 0.5 * std::sin(2 * PI * 330 * t)) * envAD(t, 0.001, 0.045);
        double wires = (hp.run(n) + bp.run(n)) * envAD(t, 0.001, 0.08);
        b[i] = (float)(tone * 0.6 + wires);
    }
    ins.sample = toPcm(b);
    return ins;
}

xminstrument clap()
{
    xminstrument ins = makeInstrument("clap", xmNote("C-4"), FULL_RATE);
    double R = ins.tuning.rate;
    rng r(23);
    buffer b((size_t)(0.35 * R));
    biquad bp;
    bp.bandpass(1250, 1.3, R);
    for (size_t i = 0; i < b.size(); i++) {
        double t = i / R;
        // several hands a few ms apart, then the room
        double env = envAD(t, 0.0005, 0.005) + envAD(t - 0.011, 0.0005, 0.005) + envAD(t - 0.023, 0.0005, 0.07);
        b[i] = bp.run(r.bipolar()) * (float)env;
    }
    ins.sample = toPcm(b);
    return ins;
}

xminstrument hat(bool open)
{
    xminstrument ins = makeInstrument(open ? "open hat" : "hat", xmNote("C-4"), FULL_RATE);
    double R = ins.tuning.rate;
    rng r(open ? 25 : 24);
    buffer b((size_t)((open ? 0.45 : 0.12) * R));
    biquad hp;
    hp.highpass(7000, 0.8, R);
    // a few square waves at odd ratios give the metal its clang
    const double metal[6] = {205.3, 304.4, 369.6, 522.7, 540.0, 800.0};
    for (size_t i = 0; i < b.size(); i++) {
        double t = i / R, sq = 0;
        for (double f : metal)
            sq += std::fmod(t * f * 3.0, 1.0) < 0.5 ? 1 : -1;
        double x = hp.run(r.bipolar() + sq * 0.15);
        b[i] = (float)(x * envAD(t, 0.0005, open ? 0.13 : 0.022));
    }
    ins.sample = toPcm(b);
    return ins;
}

xminstrument shaker()
{
    xminstrument ins = makeInstrument("shaker", xmNote("C-4"), FULL_RATE);
    double R = ins.tuning.rate;
    rng r(26);
    buffer b((size_t)(0.11 * R));
    biquad bp;
    bp.bandpass(6500, 1.0, R);
    for (size_t i = 0; i < b.size(); i++) {
        double t = i / R;
        b[i] = (float)(bp.run(r.bipolar()) * envAD(t, 0.012, 0.025));
    }
    ins.sample = toPcm(b);
    return ins;
}

// additive note: partials of a fundamental, each with its own level and decay
struct partial {
    double ratio, level, decay;
};

buffer additive(double f, double seconds, double R, const partial* parts, int count, double attack)
{
    buffer b((size_t)(seconds * R));
    for (int k = 0; k < count; k++) {
        double w = 2 * PI * f * parts[k].ratio / R;
        if (f * parts[k].ratio > R * 0.45)
            continue;
        for (size_t i = 0; i < b.size(); i++)
            b[i] += (float)(std::sin(w * i) * parts[k].level * envAD(i / R, attack, parts[k].decay));
    }
    return b;
}

xminstrument bass()
{
    xminstrument ins = makeInstrument("bass", xmNote("C-2"), HALF_RATE);
    double R = ins.tuning.rate, f = noteHz(xmNote("C-2"));
    buffer b((size_t)(1.1 * R));
    // a plucked string: the upper harmonics die first, so the tone rounds off after the pluck
    for (int h = 1; h <= 24; h++) {
        double w = 2 * PI * f * h / R, level = 1.0 / h, decay = 0.6 / (1 + 0.35 * (h - 1));
        for (size_t i = 0; i < b.size(); i++)
            b[i] += (float)(std::sin(w * i) * level * envAD(i / R, 0.003, decay));
    }
    ins.sample = toPcm(b);
    return ins;
}

xminstrument marimba()
{
    xminstrument ins = makeInstrument("marimba", xmNote("C-5"), FULL_RATE);
    double R = ins.tuning.rate;
    const partial parts[] = {{1, 1, 0.3}, {3.93, 0.35, 0.05}, {9.2, 0.12, 0.015}};
    buffer b = additive(noteHz(xmNote("C-5")), 0.75, R, parts, 3, 0.001);
    rng r(27);
    for (size_t i = 0; i < b.size(); i++)  // the mallet
        b[i] += (float)(r.bipolar() * envAD(i / R, 0.0003, 0.002) * 0.3);
    ins.sample = toPcm(b);
    return ins;
}

xminstrument steelDrum()
{
    xminstrument ins = makeInstrument("steel drum", xmNote("C-5"), FULL_RATE);
    double R = ins.tuning.rate;
    // fundamental, octave and twelfth, the octave slightly split so the note shimmers
    const partial parts[] = {{1, 1, 0.55}, {2, 0.55, 0.4}, {2.008, 0.3, 0.5}, {3, 0.3, 0.22}, {4.02, 0.12, 0.1}};
    buffer b = additive(noteHz(xmNote("C-5")), 1.1, R, parts, 5, 0.002);
    ins.sample = toPcm(b);
    return ins;
}

// a sustained tone whose whole sample is one loop: every partial fits a whole number of cycles
// into it, so the loop has no seam. cycles = fundamental cycles per loop of `len` samples.
std::vector<int16_t> loopedTone(long len, int cycles, int harmonics, double tilt, double formant, int voices,
                                uint64_t seed)
{
    rng r(seed);
    buffer b(len);
    for (int v = 0; v < voices; v++) {
        int m = cycles + v - voices / 2;  // neighbouring cycle counts detune the voices slightly
        for (int h = 1; h <= harmonics; h++) {
            double level = std::pow(1.0 / h, tilt) * (1 + formant * std::exp(-std::pow((h - 4.0) / 2.0, 2)));
            double ph = r.uniform() * 2 * PI, w = 2 * PI * (double)m * h / len;
            for (long i = 0; i < len; i++)
                b[i] += (float)(std::sin(w * i + ph) * level);
        }
    }
    return toPcm(b);
}

xminstrument pad()
{
    xminstrument ins = makeInstrument("pad", xmNote("C-4"), FULL_RATE);
    long len = 22050;
    int cycles = (int)std::lround(noteHz(xmNote("C-4")) * len / ins.tuning.rate);
    ins.sample = loopedTone(len, cycles, 14, 1.6, 0.0, 3, 28);
    ins.loopStart = 0;
    ins.loopLength = len;
    ins.envelope.points = {{0, 0}, {20, 64}, {40, 52}};
    ins.envelope.sustain = 2;
    ins.fadeout = 0x500;
    return ins;
}

xminstrument brass()
{
    xminstrument ins = makeInstrument("brass", xmNote("C-4"), FULL_RATE);
    long len = 22050;
    int cycles = (int)std::lround(noteHz(xmNote("C-4")) * len / ins.tuning.rate);
    ins.sample = loopedTone(len, cycles, 22, 0.9, 1.2, 3, 29);
    ins.loopStart = 0;
    ins.loopLength = len;
    ins.envelope.points = {{0, 0}, {3, 64}, {10, 50}, {30, 44}};
    ins.envelope.sustain = 3;
    ins.fadeout = 0x900;
    return ins;
}

xminstrument timpani()
{
    xminstrument ins = makeInstrument("timpani", xmNote("C-3"), HALF_RATE);
    double R = ins.tuning.rate, f = noteHz(xmNote("C-3"));
    rng r(30);
    buffer b((size_t)(1.5 * R));
    double phase = 0;
    biquad thump;
    thump.lowpass(600, 0.7, R);
    for (size_t i = 0; i < b.size(); i++) {
        double t = i / R;
        phase += f * (1 + 0.05 * std::exp(-t / 0.04)) / R;
        double x = std::sin(2 * PI * phase) * envAD(t, 0.002, 0.5) +
                   std::sin(2 * PI * phase * 1.5) * envAD(t, 0.002, 0.2) * 0.4 +
                   std::sin(2 * PI * phase * 1.99) * envAD(t, 0.002, 0.15) * 0.25;
        b[i] = (float)(x + thump.run(r.bipolar()) * envAD(t, 0.001, 0.02));
    }
    ins.sample = toPcm(b);
    return ins;
}

xminstrument crash()
{
    xminstrument ins = makeInstrument("crash", xmNote("C-4"), FULL_RATE);
    double R = ins.tuning.rate;
    rng r(31);
    buffer b((size_t)(2.2 * R));
    biquad hp, shimmer;
    hp.highpass(3000, 0.7, R);
    shimmer.bandpass(8000, 0.7, R);
    for (size_t i = 0; i < b.size(); i++) {
        double t = i / R;
        double n = r.bipolar();
        b[i] = (float)((hp.run(n) * 0.8 + shimmer.run(n)) * envAD(t, 0.001, 0.7));
    }
    ins.sample = toPcm(b);
    return ins;
}

// ---- writing notes into patterns ----------------------------------------------------------------

uint8_t vol(int v) { return (uint8_t)(0x10 + std::max(0, std::min(64, v))); }

// One channel's notes, a row per token: "." leaves the row alone, "^" releases the key,
// "C-5" plays a note, "C-5:40" plays it at volume 40 (0..64).
void writeLine(xmpattern& p, int channel, int instrument, const std::string& tokens, int volume = 64,
               int firstRow = 0, int transpose = 0)
{
    std::istringstream in(tokens);
    std::string tok;
    int row = firstRow;
    while (in >> tok && row < p.rows) {
        if (tok == "^") {
            p.at(row, channel).note = XM_KEY_OFF;
        } else if (tok != ".") {
            int v = volume;
            size_t colon = tok.find(':');
            if (colon != std::string::npos) {
                v = std::stoi(tok.substr(colon + 1));
                tok = tok.substr(0, colon);
            }
            int n = xmNote(tok);
            if (n) {
                xmcell& c = p.at(row, channel);
                c.note = (uint8_t)std::max(1, std::min(96, n + transpose));
                c.instrument = (uint8_t)instrument;
                c.volume = vol(v);
            }
        }
        row++;
    }
}

// A drum line, one character per row: 'x' hits at full volume, 'o' softer, '.' rests.
// The text repeats until `rows` rows from firstRow are filled.
void writeDrums(xmpattern& p, int channel, int instrument, const std::string& hits, int full, int soft,
                int firstRow = 0, int rows = -1)
{
    if (rows < 0)
        rows = p.rows - firstRow;
    for (int i = 0; i < rows && firstRow + i < p.rows; i++) {
        char h = hits[i % hits.size()];
        if (h != 'x' && h != 'o')
            continue;
        xmcell& c = p.at(firstRow + i, channel);
        c.note = (uint8_t)xmNote("C-4");
        c.instrument = (uint8_t)instrument;
        c.volume = vol(h == 'x' ? full : soft);
    }
}

struct chord {
    int root;    // note number of the root in the bass octave
    bool minor;
};

chord chordNamed(const std::string& name)
{
    bool minor = name.size() > 1 && name.back() == 'm';
    std::string root = name.substr(0, minor ? name.size() - 1 : name.size());
    std::string nn = root.size() == 1 ? root + "-2" : root + "2";
    return {xmNote(nn), minor};
}

// three pad voices kept close together around middle C
void chordVoicing(const chord& c, int out[3])
{
    int third = c.minor ? 3 : 4;
    int tones[3] = {c.root % 12, (c.root + third) % 12, (c.root + 7) % 12};
    int low = xmNote("B-3");
    for (int k = 0; k < 3; k++) {
        int n = low + ((tones[k] - low % 12) % 12 + 12) % 12;
        out[k] = n;
    }
    std::sort(out, out + 3);
}

// ---- the menu tune ------------------------------------------------------------------------------

enum menuinstrument {
    MI_KICK = 1, MI_SNARE, MI_CLAP, MI_HAT, MI_OPENHAT, MI_SHAKER, MI_BASS, MI_MARIMBA, MI_STEEL, MI_PAD
};
enum menuchannel {
    MC_KICK, MC_SNARE, MC_HAT, MC_SHAKER, MC_BASS, MC_PAD1, MC_PAD2, MC_PAD3, MC_STAB1, MC_STAB2, MC_LEAD, MC_ECHO
};

struct section {
    const char* chords[4];  // one per bar
    const char* melody;     // 64 rows of lead tokens, or null
    bool drums, bass, stabs, pad;
    bool fill;              // a snare run in the last bar leading back round
};

const char* MELODY_A =
    "E-5 . G-5 . C-6 . . B-5 C-6 . G-5 . E-5 . G-5 . "
    "A-5 . . A-5 C-6 . A-5 . F-5 . A-5 . G-5 . F-5 . "
    "D-5 . G-5 . B-5 . D-6 . B-5 . G-5 . A-5 . B-5 . "
    "C-6 . . . G-5 . E-5 . C-5 . . . D-5 . E-5 . ";
const char* MELODY_A2 =
    "A-5 . C-6 . E-6 . D-6 . C-6 . A-5 . G-5 . A-5 . "
    "F-5 . A-5 . C-6 . A-5 . C-6 . D-6 . C-6 . A-5 . "
    "B-5 . D-6 . G-5 . B-5 . D-6 . E-6 . D-6 . B-5 . "
    "C-6 . . G-5 E-5 . G-5 . C-6 . . . ^ . G-5 . ";
const char* MELODY_B =
    "C-6 . . C-6 . . A-5 . C-6 . F-6 . E-6 . C-6 . "
    "D-6 . . D-6 . . B-5 . D-6 . G-6 . F-6 . D-6 . "
    "E-6 . . E-6 . . B-5 . G-5 . B-5 . E-6 . D-6 . "
    "C-6 . B-5 . A-5 . . . E-5 . A-5 . B-5 . C-6 . ";
const char* MELODY_B2 =
    "A-5 . C-6 F-6 . . E-6 . C-6 . A-5 . C-6 . D-6 . "
    "D-6 . B-5 . G-5 . B-5 . D-6 . G-6 . F-6 . D-6 . "
    "E-6 . . . D-6 . C-6 . G-5 . E-5 . G-5 . C-6 . "
    "C-6 . . . . . . . ^ . . . . . . . ";
const char* MELODY_BREAK =
    "E-5 . . . A-5 . . . C-6 . . . B-5 . . . "
    "A-5 . . . F-5 . . . C-5 . . . F-5 . . . "
    "G-5 . . . E-5 . . . G-5 . . . C-6 . . . "
    "B-5 . C-6 . D-6 . B-5 . G-5 . A-5 . B-5 . D-6 . ";

const section MENU_SECTIONS[] = {
    {{"C", "F", "G", "C"}, nullptr, true, true, true, true, false},          // intro
    {{"C", "F", "G", "C"}, MELODY_A, true, true, true, true, false},
    {{"Am", "F", "G", "C"}, MELODY_A2, true, true, true, true, false},
    {{"F", "G", "Em", "Am"}, MELODY_B, true, true, true, true, false},
    {{"F", "G", "C", "C"}, MELODY_B2, true, true, true, true, true},
    {{"Am", "F", "C", "G"}, MELODY_BREAK, false, true, false, true, false},  // breakdown
};

xmpattern menuPattern(const section& s)
{
    const int channels = 12;
    xmpattern p(64, channels);
    for (int bar = 0; bar < 4; bar++) {
        int r0 = bar * 16;
        chord c = chordNamed(s.chords[bar]);
        if (s.drums) {
            // soca groove: kick on every beat, clap on two and four, hats on the off-beats
            writeDrums(p, MC_KICK, MI_KICK, "x...x...x...x...", 60, 40, r0, 16);
            if (s.fill && bar == 3) {
                writeDrums(p, MC_SNARE, MI_SNARE, "....x...o.o.xoxx", 52, 40, r0, 16);
            } else {
                writeDrums(p, MC_SNARE, MI_CLAP, "....x.......x...", 50, 30, r0, 16);
                writeDrums(p, MC_SNARE, MI_SNARE, "..............o.", 50, 22, r0, 16);
            }
            writeDrums(p, MC_HAT, MI_HAT, "o.x.o.x.o.x.o.xo", 40, 22, r0, 16);
            if (bar == 3)
                writeDrums(p, MC_HAT, MI_OPENHAT, "..............x.", 34, 20, r0, 16);
            writeDrums(p, MC_SHAKER, MI_SHAKER, "xoooxooo", 30, 16, r0, 16);
        } else {
            writeDrums(p, MC_SNARE, MI_CLAP, "....x.......x...", 40, 30, r0, 16);
            writeDrums(p, MC_SHAKER, MI_SHAKER, "xoooxooo", 24, 12, r0, 16);
        }
        if (s.bass) {
            // root, root, fifth, octave: a bouncing line under each chord
            const int at[6] = {0, 3, 6, 8, 11, 14};
            const int step[6] = {0, 0, 7, 12, 0, 7};
            for (int k = 0; k < 6; k++) {
                xmcell& cell = p.at(r0 + at[k], MC_BASS);
                cell.note = (uint8_t)(c.root + step[k]);
                cell.instrument = MI_BASS;
                cell.volume = vol(k == 0 ? 60 : 50);
            }
        }
        int voicing[3];
        chordVoicing(c, voicing);
        if (s.pad)
            for (int k = 0; k < 3; k++) {
                xmcell& cell = p.at(r0, MC_PAD1 + k);
                cell.note = (uint8_t)voicing[k];
                cell.instrument = MI_PAD;
                cell.volume = vol(22);
            }
        if (s.stabs)
            for (int beat = 0; beat < 4; beat++)
                for (int k = 0; k < 2; k++) {
                    xmcell& cell = p.at(r0 + beat * 4 + 2, MC_STAB1 + k);
                    cell.note = (uint8_t)(voicing[k + 1] + 12);
                    cell.instrument = MI_MARIMBA;
                    cell.volume = vol(beat % 2 ? 30 : 36);
                }
    }
    if (s.melody) {
        writeLine(p, MC_LEAD, MI_STEEL, s.melody, 48);
        writeLine(p, MC_ECHO, MI_STEEL, s.melody, 16, 3);  // a dotted-eighth echo, quieter
    }
    return p;
}

// ---- the victory fanfare ------------------------------------------------------------------------

enum wininstrument { WI_BRASS = 1, WI_TIMPANI, WI_SNARE, WI_CRASH, WI_KICK, WI_STEEL };

}

xmmodule composeMenuTune()
{
    xmmodule m;
    m.name = "Sunny Side Up";
    m.channels = 12;
    m.speed = 6;
    m.bpm = 120;  // 16th-note rows of 0.125 s; one 64-row pattern is 8 s
    m.instruments = {kick(), snare(), clap(), hat(false), hat(true), shaker(), bass(), marimba(), steelDrum(), pad()};
    for (const section& s : MENU_SECTIONS)
        m.patterns.push_back(menuPattern(s));
    // intro, verse twice, chorus twice, breakdown, chorus again; then round to the intro
    m.order = {0, 1, 2, 3, 4, 5, 3, 4};
    m.restart = 0;
    return m;
}

xmmodule composeWinTune()
{
    xmmodule m;
    m.name = "Champions";
    m.channels = 8;
    m.speed = 6;
    m.bpm = 120;
    m.instruments = {brass(), timpani(), snare(), crash(), kick(), steelDrum()};
    xmpattern p(64, m.channels);
    // the call: a rising arpeggio to a held top note, answered through F and G back home
    writeLine(p, 0, WI_BRASS,
              "G-4 . C-5 . E-5 . G-5 . . . . . E-5 . G-5 . "
              "C-6 . . . . . . . . . . . . . ^ . "
              "A-5 . . . C-6 . . . B-5 . . . D-6 . . . "
              "C-6 . . . . . . . . . . . ^ . . . ", 56);
    writeLine(p, 1, WI_BRASS,
              "E-4 . G-4 . C-5 . E-5 . . . . . C-5 . E-5 . "
              "G-5 . . . . . . . . . . . . . ^ . "
              "F-5 . . . A-5 . . . G-5 . . . B-5 . . . "
              "G-5 . . . . . . . . . . . ^ . . . ", 44);
    writeLine(p, 2, WI_BRASS,
              "C-4 . E-4 . G-4 . C-5 . . . . . G-4 . C-5 . "
              "E-5 . . . . . . . . . . . . . ^ . "
              "C-5 . . . F-5 . . . D-5 . . . G-5 . . . "
              "E-5 . . . . . . . . . . . ^ . . . ", 40);
    writeLine(p, 3, WI_TIMPANI,
              "C-3 . . . . . G-2 . . . . . . . . . "
              "C-3 . . . G-2 . . . C-3 . . . . . . . "
              "F-2 . . . . . . . G-2 . . . G-2 . G-2 . "
              "C-3 . . . . . . . . . . . . . . . ", 60);
    writeDrums(p, 4, WI_SNARE, "........oooooxxx", 50, 26, 0, 16);
    writeDrums(p, 4, WI_SNARE, "....x.......x...", 40, 30, 16, 32);
    writeDrums(p, 4, WI_SNARE, "..........ooxxxx", 50, 30, 48, 16);
    writeDrums(p, 5, WI_CRASH, "x...............", 50, 40, 16, 16);
    writeDrums(p, 5, WI_CRASH, "x...............", 50, 40, 48, 16);
    writeDrums(p, 6, WI_KICK, "x...x...x...x...", 56, 40, 16, 32);
    writeDrums(p, 6, WI_KICK, "x...............", 60, 40, 48, 16);
    // a steel-drum flourish over the held chords
    writeLine(p, 7, WI_STEEL,
              ". . . . . . . . . . . . . . . . "
              ". . . . G-5 C-6 E-6 G-6 E-6 C-6 G-5 E-5 C-6 . . . "
              ". . . . . . . . . . . . . . . . "
              ". . . . G-5 C-6 E-6 G-6 C-7 . . . . . . . ", 34);
    m.patterns.push_back(p);
    m.order = {0};
    return m;
}
