#ifndef TIBREL_REPLAY_H
#define TIBREL_REPLAY_H

#include <cstdio>
#include <string>
#include <utility>
#include <vector>
#include "controller.h"
#include "random.h"

class game;
class wxConfigBase;

// A replay file: a header, then checksummed chunks of records. The match is a pure function
// of the header (settings, generator states) and the human controllers' states per step, so
// that is all a replay keeps, with a hash of the match state after every rally to check by.
//
//   "TIBRELRP" | u32 format | str game version | u8 begun | u32 debug particles |
//   u16 n, n x (str key, str value) | 624 x u32 MT19937 words, u32 mti, u64 discrete |
//   u32 FNV-1a of everything before it
//   chunks: 'K' | u32 length | records | u32 FNV-1a of the records
//   records: 'C' u8 device, u8 directions, u16 buttons, i32 axisX, i32 axisY   (before a step)
//            'D' u32 debug particles                                            (before a step)
//            'T' u32 n            n steps are taken
//            'H' u64 hash         the match state after the steps so far
//            'S' u8 seat, u8 device  from this step the seat is driven by that device,
//                                 255 the computer                          (before a step)
//            'E'                  the recording ended as it should
// Numbers are little-endian; str is a u16 length and that many bytes.

static const int REPLAY_FORMAT = 1;
static const char* const REPLAY_GAME_VERSION = "Tibrel 2006 1.0";
static const int REPLAY_DEVICES = 6;   // keyboard halves 1 and 2, joysticks 1 to 4
static const size_t REPLAY_MAX_FILE = 64u << 20;   // bytes; anything larger is not a replay
static const unsigned REPLAY_STEPS_PER_CHUNK = 50;  // a chunk is written once a second of play

struct replayheader {
    int format = REPLAY_FORMAT;
    std::string gameVersion = REPLAY_GAME_VERSION;
    bool begun = false;             // started from the menu (the begin event), not "-play"
    int debugParticles = 0;
    std::vector<std::pair<std::string, std::string>> settings;   // store key, value
    randomstate randoms;            // both generators before the match was built
};

// what changes from rally to rally (score, rounds, rules state): a hash is kept when it changes
long long rallyKeyOf(const game& g);

// bytes as the replay and the network write them: v as a little-endian number of that
// many bytes; s as a u16 length and at most 65535 bytes
void putU(std::string& out, unsigned long long v, int bytes);
void putStr(std::string& out, const std::string& s);

// the header as a file begins with it (an online match sends it to every machine)
std::string replayHeaderBytes(const replayheader& h);

// the six device controllers in the shell's order (g_keys, then g_joys)
void replayDevices(controller* out[REPLAY_DEVICES]);

// Writes a match as it is played. Every call is a no-op when the file could not be opened.
class replayrecorder {
public:
    replayrecorder();
    ~replayrecorder();
    bool open(const std::string& path, const replayheader& h);
    bool isOpen() const { return fd >= 0; }
    // the human players' controllers and the test-particle count, before the step; devices
    // are the six controllers the players may be bound to (the shell's by default). A seat
    // whose binding changes mid-match (handed to the computer) is recorded too.
    void beforeStep(game& g);
    void beforeStep(game& g, controller* const devices[REPLAY_DEVICES]);
    // after the step: a hash when a rally ended, the chunk written once a second
    void afterStep(game& g);
    // a last hash and the end mark; the file is closed
    void close(game& g);
    // bytes written so far
    size_t size() const { return written; }
    // the file last opened ("" when none could be) and the steps recorded in it
    const std::string& path() const { return file; }
    unsigned steps() const { return recorded; }

private:
    int fd;   // the file, written without a buffer of its own
    std::string file;
    std::string chunk;
    unsigned pendingSteps;
    unsigned stepsInChunk;
    controller last[REPLAY_DEVICES];
    const controller* bound[4];   // each seat's controller when recording began, or since
    bool boundKnown;
    bool known[REPLAY_DEVICES];
    int lastDebug;
    long long rallyKey;
    size_t written;
    unsigned recorded;
    void flushSteps();
    void writeChunk();
    void recordBindings(game& g, controller* const devices[REPLAY_DEVICES]);
};

// Plays a replay file back step by step.
class replayplayer {
public:
    enum result { GO, END, DAMAGED, MISMATCH };
    replayheader header;

    // reads the whole file; false with a one-line reason when it cannot be played at all
    bool load(const std::string& path, std::string& error);
    bool loadBytes(const std::string& bytes, std::string& error);
    // before each step: applies the recorded inputs to the device controllers and to the
    // match, checks the recorded hashes; GO when the step is to be taken
    result beforeStep(game& g, controller* devices[REPLAY_DEVICES]);
    // why playback stopped (DAMAGED, MISMATCH, or END before the end mark), one line
    const std::string& message() const { return why; }
    unsigned stepsPlayed() const { return played; }
    // the steps the intact chunks hold, counted without playing them
    unsigned stepsRecorded() const;

private:
    std::string records;     // the records of every whole, intact chunk
    size_t at = 0;
    unsigned pending = 0;
    unsigned played = 0;
    controller held[REPLAY_DEVICES];   // the recorded state of each device so far
    int debug = 0;
    bool damaged = false;    // a chunk after the last good one is cut short or damaged
    size_t damageAt = 0;     // its byte offset in the file
    std::string why;
    result readUntilSteps(game& g, controller* devices[REPLAY_DEVICES]);
};

// Reads only the header of a replay file (its first bytes); false with a one-line reason when
// the file is not a replay this game can play.
bool readReplayHeader(const std::string& path, replayheader& h, std::string& error);
// the header at the start of bytes; end is where the records begin
bool parseReplayHeader(const std::string& bytes, replayheader& h, size_t& end, std::string& error);
// a stored value of the header's settings ("game/gamemode"), or def
std::string replaySetting(const replayheader& h, const std::string& key, const std::string& def);

// the stored settings a match depends on: controls, game options, each player's outfit and
// height (store key, value)
std::vector<std::pair<std::string, std::string>> replaySettings(wxConfigBase* cfg);
// a store without a file holding a replay's settings, recording defaults like the real one
wxConfigBase* replayStore(const replayheader& h);

// The replay folder: $XDG_DATA_HOME/tibrel/replays, else ~/.local/share/tibrel/replays;
// empty when neither is set. The folder is created.
std::string replayFolder();
// a new file name in the folder, by date and time ("2026-12-10_14-05-09.tibrelreplay")
std::string newReplayPath(const std::string& folder);
// where a name newReplayPath() makes falls in the order of recording; -1 for other names
long long replayNameOrder(const std::string& name);
// removes the oldest of the game's own recordings (regular files named as newReplayPath()
// names them) beyond the newest keep; spare, a name in the folder, is never removed and
// counts among those kept
void pruneReplays(const std::string& folder, size_t keep, const std::string& spare = std::string());

#endif
