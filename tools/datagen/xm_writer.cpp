#include "xm_writer.h"

#include <cmath>
#include <cstdio>

// XM 1.04 layout, all numbers little-endian:
//
// Module header (60 bytes, then the rest of a 276-byte block counted from offset 60):
//   0  char[17]  "Extended Module: "
//  17  char[20]  module name, padded with zeros
//  37  byte      0x1A
//  38  char[20]  tracker name
//  58  word      version, 0x0104
//  60  dword     header size counted from this field: 276
//  64  word      song length (entries used in the order table)
//  66  word      restart position
//  68  word      channels
//  70  word      patterns
//  72  word      instruments
//  74  word      flags: bit 0 = linear frequency table
//  76  word      default speed (ticks per row)
//  78  word      default BPM
//  80  byte[256] order table
//
// Each pattern:
//      dword     header length: 9
//      byte      packing type: 0
//      word      rows (1..256)
//      word      size of the packed data that follows
//      data      rows x channels cells. A cell whose first byte has bit 7 set is packed: the bits
//                0..4 of that byte say which of note, instrument, volume, effect and parameter
//                follow. Otherwise the cell is the five bytes in full. We always pack.
//
// Each instrument (the header is 263 bytes when it has samples):
//      dword     header size: 263
//      char[22]  name
//      byte      type: 0
//      word      number of samples (we write 1)
//      dword     sample header size: 40
//      byte[96]  sample number for each note
//      word[24]  volume envelope: 12 points of (tick, value 0..64)
//      word[24]  panning envelope
//      byte      volume points, panning points
//      byte      volume sustain, loop start, loop end; panning sustain, loop start, loop end
//      byte      volume type, panning type: bit 0 on, bit 1 sustain, bit 2 loop
//      byte      vibrato type, sweep, depth, rate
//      word      volume fadeout
//      byte[22]  reserved
//   then the sample headers (40 bytes each):
//      dword     length in bytes
//      dword     loop start in bytes
//      dword     loop length in bytes
//      byte      volume 0..64
//      sbyte     finetune -128..127 (1/128 semitone)
//      byte      type: bits 0-1 loop (0 none, 1 forward, 2 ping-pong), bit 4 = 16-bit data
//      byte      panning 0..255
//      sbyte     relative note (semitones added to the played note)
//      byte      reserved
//      char[22]  name
//   then the sample data: each value is stored as its difference from the previous one
//   (16-bit words here), which is what makes XM samples pack well.
//
// Pitch with the linear table: a note n (0-based, C-0 = 0) of a sample with relative note r and
// finetune f plays at 8363 * 2^((n + r - 48 + f / 128) / 12) samples per second.

namespace {

class bytewriter {
public:
    std::vector<uint8_t> out;
    void byte(int v) { out.push_back((uint8_t)(v & 0xFF)); }
    void word(int v)
    {
        byte(v);
        byte(v >> 8);
    }
    void dword(long v)
    {
        word((int)(v & 0xFFFF));
        word((int)((v >> 16) & 0xFFFF));
    }
    void text(const std::string& s, size_t len)
    {
        for (size_t i = 0; i < len; i++)
            byte(i < s.size() ? s[i] : 0);
    }
};

void writeEnvelope(bytewriter& w, const xmenvelope& e)
{
    for (int i = 0; i < 12; i++) {
        bool used = i < (int)e.points.size();
        w.word(used ? e.points[i].first : 0);
        w.word(used ? e.points[i].second : 0);
    }
}

bool valid(const xmmodule& m)
{
    if (m.channels < 2 || m.channels > 32 || m.channels % 2)
        return false;
    if (m.order.empty() || m.order.size() > 256 || m.patterns.empty() || m.patterns.size() > 256)
        return false;
    if (m.instruments.size() > 128 || m.restart < 0 || m.restart >= (int)m.order.size())
        return false;
    for (int p : m.order)
        if (p < 0 || p >= (int)m.patterns.size())
            return false;
    for (const xmpattern& p : m.patterns)
        if (p.rows < 1 || p.rows > 256 || p.channels != m.channels)
            return false;
    for (const xminstrument& i : m.instruments) {
        if (i.envelope.points.size() > 12 || i.loopStart + i.loopLength > (long)i.sample.size())
            return false;
        if (i.tuning.relativeNote < -96 || i.tuning.relativeNote > 95)
            return false;
    }
    return true;
}

}

int xmNote(const std::string& name)
{
    static const int semis[7] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
    if (name.size() != 3 || name[0] < 'A' || name[0] > 'G' || name[2] < '0' || name[2] > '7')
        return 0;
    int s = semis[name[0] - 'A'];
    if (name[1] == '#')
        s++;
    else if (name[1] == 'b')
        s--;
    else if (name[1] != '-')
        return 0;
    int n = (name[2] - '0') * 12 + s + 1;
    return n >= 1 && n <= 96 ? n : 0;
}

xmtuning xmTune(int baseNote, double targetRate)
{
    double x = 48.0 - (baseNote - 1) + 12.0 * std::log2(targetRate / 8363.0);
    xmtuning t;
    t.relativeNote = (int)std::floor(x);
    t.finetune = (int)std::lround((x - t.relativeNote) * 128.0);
    if (t.finetune >= 128) {
        t.relativeNote++;
        t.finetune -= 128;
    }
    t.rate = 8363.0 * std::pow(2.0, (baseNote - 1 + t.relativeNote - 48 + t.finetune / 128.0) / 12.0);
    return t;
}

std::vector<uint8_t> xmBytes(const xmmodule& m)
{
    if (!valid(m))
        return {};
    bytewriter w;
    w.text("Extended Module: ", 17);
    w.text(m.name, 20);
    w.byte(0x1A);
    w.text("tibrel datagen", 20);
    w.word(0x0104);
    w.dword(276);
    w.word((int)m.order.size());
    w.word(m.restart);
    w.word(m.channels);
    w.word((int)m.patterns.size());
    w.word((int)m.instruments.size());
    w.word(1);  // linear frequencies
    w.word(m.speed);
    w.word(m.bpm);
    for (int i = 0; i < 256; i++)
        w.byte(i < (int)m.order.size() ? m.order[i] : 0);

    for (const xmpattern& p : m.patterns) {
        bytewriter data;
        for (const xmcell& c : p.cells) {
            int flags = 0x80 | (c.note ? 1 : 0) | (c.instrument ? 2 : 0) | (c.volume ? 4 : 0) |
                        (c.effect ? 8 : 0) | (c.param ? 16 : 0);
            data.byte(flags);
            if (c.note)
                data.byte(c.note);
            if (c.instrument)
                data.byte(c.instrument);
            if (c.volume)
                data.byte(c.volume);
            if (c.effect)
                data.byte(c.effect);
            if (c.param)
                data.byte(c.param);
        }
        if (data.out.size() > 0xFFFF)
            return {};
        w.dword(9);
        w.byte(0);
        w.word(p.rows);
        w.word((int)data.out.size());
        w.out.insert(w.out.end(), data.out.begin(), data.out.end());
    }

    for (const xminstrument& ins : m.instruments) {
        const xmenvelope& e = ins.envelope;
        w.dword(263);
        w.text(ins.name, 22);
        w.byte(0);
        w.word(1);
        w.dword(40);
        for (int i = 0; i < 96; i++)
            w.byte(0);  // every note uses sample 0
        writeEnvelope(w, e);
        writeEnvelope(w, xmenvelope());
        w.byte((int)e.points.size());
        w.byte(0);
        w.byte(e.sustain < 0 ? 0 : e.sustain);
        w.byte(0);
        w.byte(0);
        w.byte(0);
        w.byte(0);
        w.byte(0);
        w.byte(e.points.empty() ? 0 : (1 | (e.sustain >= 0 ? 2 : 0)));
        w.byte(0);
        for (int i = 0; i < 4; i++)
            w.byte(0);  // no auto-vibrato
        w.word(ins.fadeout);
        for (int i = 0; i < 22; i++)
            w.byte(0);

        w.dword((long)ins.sample.size() * 2);
        w.dword(ins.loopLength ? ins.loopStart * 2 : 0);
        w.dword(ins.loopLength * 2);
        w.byte(ins.volume);
        w.byte(ins.tuning.finetune);
        w.byte((ins.loopLength ? 1 : 0) | 0x10);
        w.byte(ins.panning);
        w.byte(ins.tuning.relativeNote);
        w.byte(0);
        w.text(ins.name, 22);

        int16_t prev = 0;
        for (int16_t v : ins.sample) {
            w.word((int16_t)(v - prev));  // wraps like the format expects
            prev = v;
        }
    }
    return w.out;
}

bool writeXm(const std::string& path, const xmmodule& m)
{
    std::vector<uint8_t> bytes = xmBytes(m);
    if (bytes.empty())
        return false;
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}
