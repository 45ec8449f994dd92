#ifndef TIBREL_DATAGEN_XM_WRITER_H
#define TIBREL_DATAGEN_XM_WRITER_H

#include <cstdint>
#include <string>
#include <vector>

// A small writer for FastTracker 2 "Extended Module" (XM 1.04) files, enough for tunes whose
// instruments each hold one synthesised sample. The layout written is described in xm_writer.cpp.

// notes are 1 (C-0) .. 96 (B-7); 97 releases the key
const int XM_KEY_OFF = 97;

// note number of a name such as "C-4", "F#5" or "Bb3"; 0 when the name is not a note
int xmNote(const std::string& name);

// one row of one channel
struct xmcell {
    uint8_t note = 0;        // 0: none
    uint8_t instrument = 0;  // 1-based, 0: keep the channel's last one
    uint8_t volume = 0;      // volume column: 0x10 + 0..64 sets the volume, 0: nothing
    uint8_t effect = 0;
    uint8_t param = 0;
    bool empty() const { return !note && !instrument && !volume && !effect && !param; }
};

struct xmpattern {
    int rows = 64;
    int channels = 0;
    std::vector<xmcell> cells;  // row-major: rows x channels
    xmpattern(int rows_, int channels_) : rows(rows_), channels(channels_), cells(rows_ * channels_) {}
    xmcell& at(int row, int channel) { return cells[row * channels + channel]; }
};

// an envelope of up to 12 points (tick, value 0..64); sustain holds until the key is released
struct xmenvelope {
    std::vector<std::pair<int, int>> points;
    int sustain = -1;  // point index, -1: none
};

// the sample's tuning: playing baseNote runs the sample at `rate` samples per second
struct xmtuning {
    int relativeNote = 0;
    int finetune = 0;
    double rate = 0;
};
// picks the relative note and finetune that make baseNote play closest to targetRate, and gives
// the exact rate they produce, at which the sample should be synthesised
xmtuning xmTune(int baseNote, double targetRate);

struct xminstrument {
    std::string name;
    std::vector<int16_t> sample;  // 16-bit mono
    long loopStart = 0, loopLength = 0;  // in samples; loopLength 0: no loop
    int volume = 64;                     // 0..64
    int panning = 128;                   // 0..255
    xmtuning tuning;
    xmenvelope envelope;                 // empty: none
    int fadeout = 0;                     // volume lost per tick after key release, /65536
};

struct xmmodule {
    std::string name;
    int channels = 8;          // even, 2..32
    int speed = 6;             // ticks per row
    int bpm = 125;             // ticks per second = bpm * 2 / 5
    int restart = 0;           // order position played after the last one
    std::vector<int> order;    // pattern numbers in playing order
    std::vector<xmpattern> patterns;
    std::vector<xminstrument> instruments;
};

// the file's bytes; an empty vector when the module breaks a limit of the format
std::vector<uint8_t> xmBytes(const xmmodule& m);
// writes the module to a file; false when it cannot be encoded or written
bool writeXm(const std::string& path, const xmmodule& m);

#endif
