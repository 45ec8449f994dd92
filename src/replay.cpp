#include "replay.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wx/fileconf.h>
#include "game.h"
#include "main.h"
#include "player.h"

static const char MAGIC[8] = { 'T', 'I', 'B', 'R', 'E', 'L', 'R', 'P' };
static const char* const SUFFIX = ".tibrelreplay";
static const char* const HEADER_CUT = "the replay is cut short in its header";

void replayDevices(controller* out[REPLAY_DEVICES])
{
    out[0] = g_keys[0];
    out[1] = g_keys[1];
    for (int i = 0; i < 4; i++)
        out[2 + i] = g_joys[i];
}

// ---- bytes ----

static unsigned fnv32(const char* p, size_t n)
{
    unsigned h = 2166136261u;
    for (size_t i = 0; i < n; i++)
        h = (h ^ static_cast<unsigned char>(p[i])) * 16777619u;
    return h;
}

void putU(std::string& out, unsigned long long v, int bytes)
{
    for (int i = 0; i < bytes; i++)
        out += static_cast<char>((v >> (8 * i)) & 0xff);
}

void putStr(std::string& out, const std::string& s)
{
    const size_t n = std::min<size_t>(s.size(), 0xffff);
    putU(out, n, 2);
    out.append(s, 0, n);
}

// reads from a byte string, refusing to go past its end
struct reader {
    const std::string& s;
    size_t at;
    bool ok;
    reader(const std::string& str, size_t from) : s(str), at(from), ok(true) {}
    bool has(size_t n) const { return ok && n <= s.size() - at; }
    unsigned long long u(int bytes)
    {
        if (!has(bytes)) {
            ok = false;
            return 0;
        }
        unsigned long long v = 0;
        for (int i = 0; i < bytes; i++)
            v |= static_cast<unsigned long long>(static_cast<unsigned char>(s[at + i])) << (8 * i);
        at += bytes;
        return v;
    }
    std::string str()
    {
        const size_t n = u(2);
        if (!has(n)) {
            ok = false;
            return std::string();
        }
        std::string r = s.substr(at, n);
        at += n;
        return r;
    }
};

// ---- controller states ----

static void putController(std::string& out, int device, const controller& c)
{
    out += 'C';
    putU(out, device, 1);
    putU(out, c.directionBits(), 1);
    putU(out, c.buttonBits(), 2);
    putU(out, static_cast<unsigned>(c.axisX), 4);
    putU(out, static_cast<unsigned>(c.axisY), 4);
}

static void getController(reader& r, controller& c)
{
    const unsigned dirs = r.u(1);
    const unsigned buttons = r.u(2);
    const int x = static_cast<int>(static_cast<unsigned>(r.u(4)));
    const int y = static_cast<int>(static_cast<unsigned>(r.u(4)));
    c.setBits(dirs, buttons);
    // the same rule as a device: a damaged axis never leaves the stick's range
    c.axisX = std::max(-32768, std::min(x, 32768));
    c.axisY = std::max(-32768, std::min(y, 32768));
}

static bool sameController(const controller& a, const controller& b)
{
    if (a.left != b.left || a.right != b.right || a.up != b.up || a.down != b.down)
        return false;
    if (a.axisX != b.axisX || a.axisY != b.axisY)
        return false;
    return std::equal(a.button, a.button + 16, b.button);
}

// a device is recorded when a player of the match is driven by it
static bool deviceInUse(game& g, const controller* c)
{
    if (!c)
        return false;
    for (const player* p : g.players)
        if (p && p->ctrl == c)
            return true;
    return false;
}

// what changes from rally to rally: the score, the rounds and the rules state
long long rallyKeyOf(const game& g)
{
    return (((static_cast<long long>(g.score[0]) * 256 + g.score[1]) * 16 + g.roundsWon[0]) * 16 +
            g.roundsWon[1]) * 16 + static_cast<int>(g.state);
}

// ---- header ----

static const size_t MAX_SETTINGS = 256;     // entries; a replay holds a few dozen
static const size_t MAX_KEY_LENGTH = 64;    // bytes of "group/name"

// the keys replaySettings() collects: "controls/...", "game/..." and "pl0/" to "pl3/", one
// level deep with a plain name; a file holding anything else is not one of ours
static bool isReplayKey(const std::string& key)
{
    static const char* const groups[] = { "controls/", "game/", "pl0/", "pl1/", "pl2/", "pl3/" };
    if (key.size() > MAX_KEY_LENGTH)
        return false;
    for (const char* g : groups) {
        const size_t n = strlen(g);
        if (key.compare(0, n, g) != 0 || key.size() == n)
            continue;
        for (size_t i = n; i < key.size(); i++) {
            const char c = key[i];
            if (!isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-')
                return false;
        }
        return true;
    }
    return false;
}

std::string replayHeaderBytes(const replayheader& h)
{
    std::string out(MAGIC, sizeof MAGIC);
    putU(out, static_cast<unsigned>(h.format), 4);
    putStr(out, h.gameVersion);
    putU(out, h.begun ? 1 : 0, 1);
    putU(out, static_cast<unsigned>(h.debugParticles), 4);
    putU(out, std::min<size_t>(h.settings.size(), 0xffff), 2);
    for (size_t i = 0; i < h.settings.size() && i < 0xffff; i++) {
        putStr(out, h.settings[i].first);
        putStr(out, h.settings[i].second);
    }
    for (unsigned long w : h.randoms.mt)
        putU(out, w, 4);
    putU(out, static_cast<unsigned>(h.randoms.mti), 4);
    putU(out, h.randoms.discrete, 8);
    putU(out, fnv32(out.data(), out.size()), 4);
    return out;
}

// ---- recording ----

replayrecorder::replayrecorder()
    : fd(-1), pendingSteps(0), stepsInChunk(0), boundKnown(false), lastDebug(0), rallyKey(-1),
      written(0), recorded(0)
{
    std::fill(known, known + REPLAY_DEVICES, false);
}

replayrecorder::~replayrecorder()
{
    if (fd >= 0)
        ::close(fd);
}

// the whole of data, or false (a full disk, an I/O error)
static bool writeAll(int fd, const std::string& data)
{
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool replayrecorder::open(const std::string& path, const replayheader& h)
{
    if (fd >= 0)
        ::close(fd);
    // a new file only: never through a link, never over a file that is already there
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    file.clear();
    if (fd < 0)
        return false;
    file = path;
    const std::string head = replayHeaderBytes(h);
    if (!writeAll(fd, head)) {
        // a full disk: no stub is left behind
        ::close(fd);
        fd = -1;
        unlink(path.c_str());
        return false;
    }
    written = head.size();
    chunk.clear();
    pendingSteps = stepsInChunk = 0;
    std::fill(known, known + REPLAY_DEVICES, false);
    lastDebug = h.debugParticles;
    rallyKey = -1;
    recorded = 0;
    boundKnown = false;
    return true;
}

void replayrecorder::flushSteps()
{
    if (pendingSteps == 0)
        return;
    chunk += 'T';
    putU(chunk, pendingSteps, 4);
    pendingSteps = 0;
}

void replayrecorder::writeChunk()
{
    flushSteps();
    stepsInChunk = 0;
    if (fd < 0 || chunk.empty())
        return;
    std::string out("K");
    putU(out, chunk.size(), 4);
    out += chunk;
    putU(out, fnv32(chunk.data(), chunk.size()), 4);
    chunk.clear();
    // one write a second, straight to the file: a game that ends unexpectedly loses at most that
    if (!writeAll(fd, out)) {
        // a full disk: the replay ends after the last whole chunk (should the cut fail, the
        // reader stops at the partial chunk all the same)
        if (ftruncate(fd, static_cast<off_t>(written)) != 0) {
        }
        ::close(fd);
        fd = -1;
        return;
    }
    written += out.size();
}

void replayrecorder::beforeStep(game& g)
{
    controller* devices[REPLAY_DEVICES];
    replayDevices(devices);
    beforeStep(g, devices);
}

// a seat's binding that changed since the last step: the device it is bound to now
void replayrecorder::recordBindings(game& g, controller* const devices[REPLAY_DEVICES])
{
    for (int i = 0; i < 4; i++) {
        const controller* c = g.players[i] ? g.players[i]->ctrl : nullptr;
        if (boundKnown && c != bound[i]) {
            int d = 0;
            while (d < REPLAY_DEVICES && devices[d] != c)
                d++;
            flushSteps();
            chunk += 'S';
            putU(chunk, i, 1);
            putU(chunk, d < REPLAY_DEVICES ? d : 255, 1);
        }
        bound[i] = c;
    }
    boundKnown = true;
}

void replayrecorder::beforeStep(game& g, controller* const devices[REPLAY_DEVICES])
{
    if (fd < 0)
        return;
    recordBindings(g, devices);
    for (int d = 0; d < REPLAY_DEVICES; d++) {
        if (!deviceInUse(g, devices[d]))
            continue;
        if (known[d] && sameController(last[d], *devices[d]))
            continue;
        flushSteps();
        putController(chunk, d, *devices[d]);
        last[d] = *devices[d];
        known[d] = true;
    }
    if (g.debugParticles != lastDebug) {
        flushSteps();
        chunk += 'D';
        putU(chunk, static_cast<unsigned>(g.debugParticles), 4);
        lastDebug = g.debugParticles;
    }
}

void replayrecorder::afterStep(game& g)
{
    if (fd < 0)
        return;
    pendingSteps++;
    stepsInChunk++;
    recorded++;
    const long long key = rallyKeyOf(g);
    if (key != rallyKey) {
        rallyKey = key;
        flushSteps();
        chunk += 'H';
        putU(chunk, g.stateHash(), 8);
    }
    if (stepsInChunk >= REPLAY_STEPS_PER_CHUNK)
        writeChunk();
}

void replayrecorder::close(game& g)
{
    if (fd < 0)
        return;
    flushSteps();
    chunk += 'H';
    putU(chunk, g.stateHash(), 8);
    chunk += 'E';
    writeChunk();
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// ---- playback ----

bool replayplayer::load(const std::string& path, std::string& error)
{
    // without blocking, so a named pipe is refused instead of waited on for ever
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open " + path + ": " + strerror(errno);
        return false;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        error = path + " is not a regular file";
        return false;
    }
    FILE* f = fdopen(fd, "rb");
    if (!f) {
        ::close(fd);
        error = "cannot read " + path;
        return false;
    }
    std::string bytes;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) {
        bytes.append(buf, n);
        if (bytes.size() > REPLAY_MAX_FILE)
            break;
    }
    const bool readError = ferror(f) != 0;
    fclose(f);
    if (readError) {
        error = "cannot read " + path;
        return false;
    }
    if (bytes.size() > REPLAY_MAX_FILE) {
        error = path + " is too large to be a replay";
        return false;
    }
    if (!loadBytes(bytes, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

bool parseReplayHeader(const std::string& bytes, replayheader& out, size_t& end,
                       std::string& error)
{
    if (bytes.empty()) {
        error = "the file is empty";
        return false;
    }
    if (bytes.size() < sizeof MAGIC || memcmp(bytes.data(), MAGIC, sizeof MAGIC) != 0) {
        error = "not a Tibrel replay";
        return false;
    }
    reader r(bytes, sizeof MAGIC);
    replayheader h;
    h.format = static_cast<int>(r.u(4));
    if (r.ok && h.format != REPLAY_FORMAT) {
        error = "replay format " + std::to_string(static_cast<unsigned>(h.format)) +
                ", this game plays format " + std::to_string(REPLAY_FORMAT);
        return false;
    }
    h.gameVersion = r.str();
    if (r.ok && h.gameVersion != REPLAY_GAME_VERSION) {
        error = "recorded by \"" + h.gameVersion + "\", this is \"" + REPLAY_GAME_VERSION + "\"";
        return false;
    }
    h.begun = r.u(1) != 0;
    h.debugParticles = static_cast<int>(std::min<unsigned long long>(r.u(4), 1024));
    const size_t count = r.u(2);
    if (r.ok && count > MAX_SETTINGS) {
        error = "the replay holds " + std::to_string(count) + " settings, more than a replay can";
        return false;
    }
    for (size_t i = 0; i < count && r.ok; i++) {
        std::string key = r.str();
        std::string value = r.str();
        if (r.ok && !isReplayKey(key)) {
            error = "the replay holds a setting no replay has (" +
                    std::to_string(key.size()) + " bytes of key)";
            return false;
        }
        h.settings.push_back(std::make_pair(key, value));
    }
    for (unsigned long& w : h.randoms.mt)
        w = static_cast<unsigned long>(r.u(4));
    h.randoms.mti = static_cast<int>(std::min<unsigned long long>(r.u(4), 625));
    h.randoms.discrete = r.u(8);
    const size_t headEnd = r.at;
    const unsigned sum = static_cast<unsigned>(r.u(4));
    if (!r.ok) {
        error = HEADER_CUT;
        return false;
    }
    if (sum != fnv32(bytes.data(), headEnd)) {
        error = "the replay's header is damaged";
        return false;
    }
    out = h;
    end = r.at;
    return true;
}

bool replayplayer::loadBytes(const std::string& bytes, std::string& error)
{
    replayheader h;
    size_t headEnd = 0;
    if (!parseReplayHeader(bytes, h, headEnd, error))
        return false;
    reader r(bytes, headEnd);
    header = h;

    // every whole chunk whose checksum holds; the first bad one ends the replay
    records.clear();
    damaged = false;
    while (r.at < bytes.size()) {
        const size_t start = r.at;
        const bool tag = r.u(1) == 'K';
        const size_t len = r.u(4);
        if (!tag || !r.ok || !r.has(len + 4)) {
            damaged = true;
            damageAt = start;
            break;
        }
        const std::string body = bytes.substr(r.at, len);
        r.at += len;
        if (static_cast<unsigned>(r.u(4)) != fnv32(body.data(), body.size())) {
            damaged = true;
            damageAt = start;
            break;
        }
        records += body;
    }
    at = 0;
    pending = 0;
    played = 0;
    debug = h.debugParticles;
    for (controller& c : held)
        c.reset_state();
    why.clear();
    return true;
}

replayplayer::result replayplayer::readUntilSteps(game& g, controller* devices[REPLAY_DEVICES])
{
    reader r(records, at);
    while (r.at < records.size()) {
        const char tag = static_cast<char>(r.u(1));
        // values the writer never makes count as damage, so nothing runs away with them
        if (tag == 'T') {
            pending = static_cast<unsigned>(r.u(4));
            r.ok = r.ok && pending >= 1 && pending <= REPLAY_STEPS_PER_CHUNK;
        } else if (tag == 'C') {
            const unsigned d = static_cast<unsigned>(r.u(1));
            controller c;
            getController(r, c);
            r.ok = r.ok && d < REPLAY_DEVICES;
            if (r.ok)
                held[d] = c;
        } else if (tag == 'D') {
            const unsigned long long n = r.u(4);
            r.ok = r.ok && n <= 1024;
            debug = static_cast<int>(n);
        } else if (tag == 'H') {
            const unsigned long long h = r.u(8);
            if (r.ok && h != g.stateHash()) {
                at = r.at;
                why = "the match differs from the recording after step " +
                      std::to_string(played) + " (state hash mismatch)";
                return MISMATCH;
            }
        } else if (tag == 'S') {
            const unsigned seat = static_cast<unsigned>(r.u(1));
            const unsigned d = static_cast<unsigned>(r.u(1));
            r.ok = r.ok && seat < 4 && (d < REPLAY_DEVICES || d == 255);
            if (r.ok)
                g.setController(seat, d == 255 ? nullptr : devices[d]);
        } else if (tag == 'E') {
            at = r.at;
            return END;
        } else {
            r.ok = false;
        }
        if (!r.ok) {
            // the chunk checksum held by chance
            at = records.size();
            pending = 0;
            why = "damaged record at step " + std::to_string(played) + "; played back up to there";
            return DAMAGED;
        }
        at = r.at;
        if (pending > 0)
            return GO;
    }
    if (damaged) {
        why = "damaged or cut short at byte " + std::to_string(damageAt) + "; played back " +
              std::to_string(played) + " steps up to there";
        return DAMAGED;
    }
    why = "the recording ends after " + std::to_string(played) +
          " steps without its end mark (the game was not left normally)";
    return END;
}

replayplayer::result replayplayer::beforeStep(game& g, controller* devices[REPLAY_DEVICES])
{
    if (pending == 0) {
        const result res = readUntilSteps(g, devices);
        if (res != GO)
            return res;
    }
    // every step, so a key pressed while watching changes nothing
    for (int d = 0; d < REPLAY_DEVICES; d++) {
        if (!devices[d])
            continue;
        const int dead = devices[d]->deadZone;
        *devices[d] = held[d];
        devices[d]->deadZone = dead;
    }
    g.debugParticles = debug;
    pending--;
    played++;
    return GO;
}

// bytes after the tag of a record that is not 'T' (see the format in replay.h); -1 for 'E'
// and unknown tags, which end a count
static int recordPayload(char tag)
{
    switch (tag) {
    case 'C': return 12;   // device, directions, buttons, two axes
    case 'D': return 4;
    case 'H': return 8;
    case 'S': return 2;
    default: return -1;
    }
}

unsigned replayplayer::stepsRecorded() const
{
    // the records are whole: their chunks' checksums held
    unsigned steps = 0;
    reader r(records, 0);
    while (r.ok && r.at < records.size()) {
        const char tag = static_cast<char>(r.u(1));
        if (tag == 'T') {
            steps += static_cast<unsigned>(std::min<unsigned long long>(r.u(4), REPLAY_STEPS_PER_CHUNK));
            continue;
        }
        const int skip = recordPayload(tag);
        if (skip < 0 || !r.has(static_cast<size_t>(skip)))
            break;
        r.at += static_cast<size_t>(skip);
    }
    return steps;
}

// ---- reading the header alone ----

static const size_t HEADER_GUESS = 16384;   // bytes; a header with the usual settings is ~5 KB
static const size_t HEADER_MAX = 1u << 20;  // bytes read at most for a header

bool readReplayHeader(const std::string& path, replayheader& h, std::string& error)
{
    // never blocks on a pipe, never follows a link out of the folder
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open " + path + ": " + strerror(errno);
        return false;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        error = path + " is not a regular file";
        return false;
    }
    std::string bytes;
    size_t want = HEADER_GUESS;
    size_t end = 0;
    bool ok = false;
    for (;;) {
        char buf[4096];
        while (bytes.size() < want) {
            const ssize_t n = read(fd, buf, std::min(sizeof buf, want - bytes.size()));
            if (n <= 0)
                break;
            bytes.append(buf, static_cast<size_t>(n));
        }
        ok = parseReplayHeader(bytes, h, end, error);
        // a header longer than the first guess: once more with all it may need
        if (ok || bytes.size() < want || want >= HEADER_MAX || error != HEADER_CUT)
            break;
        want = HEADER_MAX;
    }
    close(fd);
    return ok;
}

std::string replaySetting(const replayheader& h, const std::string& key, const std::string& def)
{
    for (const auto& kv : h.settings)
        if (kv.first == key)
            return kv.second;
    return def;
}

// ---- settings ----

// every entry below path, with its full key
static void collectGroup(wxConfigBase* cfg, const wxString& path,
                         std::vector<std::pair<std::string, std::string>>& out)
{
    if (!cfg->HasGroup(path))
        return;
    const wxString old = cfg->GetPath();
    cfg->SetPath("/" + path);
    wxString name;
    long cookie = 0;
    std::vector<wxString> groups;
    for (bool more = cfg->GetFirstEntry(name, cookie); more; more = cfg->GetNextEntry(name, cookie)) {
        wxString value;
        cfg->Read(name, &value);
        out.push_back(std::make_pair(std::string((path + "/" + name).utf8_str()),
                                     std::string(value.utf8_str())));
    }
    for (bool more = cfg->GetFirstGroup(name, cookie); more; more = cfg->GetNextGroup(name, cookie))
        groups.push_back(path + "/" + name);
    cfg->SetPath(old);
    for (const wxString& g : groups)
        collectGroup(cfg, g, out);
}

std::vector<std::pair<std::string, std::string>> replaySettings(wxConfigBase* cfg)
{
    std::vector<std::pair<std::string, std::string>> out;
    if (!cfg)
        return out;
    static const char* const groups[] = { "controls", "game", "pl0", "pl1", "pl2", "pl3" };
    for (const char* g : groups)
        collectGroup(cfg, g, out);
    return out;
}

wxConfigBase* replayStore(const replayheader& h)
{
    // no file behind it: watching a replay never changes the player's own settings
    wxFileConfig* cfg = new wxFileConfig("tibrel", wxEmptyString, wxEmptyString, wxEmptyString, 0);
    cfg->SetRecordDefaults(true);
    for (const auto& kv : h.settings) {
        // only keys of the groups a replay keeps (a loaded replay holds no others)
        if (isReplayKey(kv.first))
            cfg->Write("/" + wxString::FromUTF8(kv.first.c_str()),
                       wxString::FromUTF8(kv.second.c_str()));
    }
    return cfg;
}

// ---- the folder ----

static bool makeFolders(const std::string& path)
{
    for (size_t i = 1; i <= path.size(); i++) {
        if (i == path.size() || path[i] == '/') {
            const std::string part = path.substr(0, i);
            if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
                return false;
        }
    }
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string replayFolder()
{
    std::string dir = userBaseFolder("XDG_DATA_HOME", ".local/share");
    if (dir.empty())
        return std::string();
    dir += "/tibrel/replays";
    return makeFolders(dir) ? dir : std::string();
}

std::string newReplayPath(const std::string& folder)
{
    const time_t now = time(nullptr);
    struct tm t;
    localtime_r(&now, &t);
    char stamp[64];
    strftime(stamp, sizeof stamp, "%Y-%m-%d_%H-%M-%S", &t);
    // two matches in one second get _2, _3 ... (sorting after the first); a name taken by
    // anything, a dangling link too, is passed over
    std::string path = folder + "/" + stamp + SUFFIX;
    struct stat st;
    for (int n = 2; lstat(path.c_str(), &st) == 0 && n <= 999; n++)
        path = folder + "/" + stamp + "_" + std::to_string(n) + SUFFIX;
    return path;
}

// The order of recording for a name newReplayPath() makes, "YYYY-MM-DD_hh-mm-ss" with an
// optional "_2" to "_999", then the suffix; -1 for any other name.
long long replayNameOrder(const std::string& name)
{
    static const char* const shape = "dddd-dd-dd_dd-dd-dd";
    const size_t stampLen = strlen(shape);
    const size_t suffixLen = strlen(SUFFIX);
    if (name.size() < stampLen + suffixLen ||
        name.compare(name.size() - suffixLen, suffixLen, SUFFIX) != 0)
        return -1;
    long long order = 0;
    for (size_t i = 0; i < stampLen; i++) {
        const bool digit = isdigit(static_cast<unsigned char>(name[i])) != 0;
        if (shape[i] == 'd' ? !digit : name[i] != shape[i])
            return -1;
        if (digit)
            order = order * 10 + (name[i] - '0');
    }
    const std::string tail = name.substr(stampLen, name.size() - suffixLen - stampLen);
    int number = 1;
    if (!tail.empty()) {
        const bool numbered = tail.size() >= 2 && tail.size() <= 4 && tail[0] == '_' &&
                              tail[1] != '0' &&
                              tail.find_first_not_of("0123456789", 1) == std::string::npos;
        if (!numbered)
            return -1;
        number = atoi(tail.c_str() + 1);
        if (number < 2)
            return -1;
    }
    return order * 1000 + number;
}

void pruneReplays(const std::string& folder, size_t keep, const std::string& spare)
{
    DIR* d = opendir(folder.c_str());
    if (!d)
        return;
    // only the game's own recordings: regular files (not links) named as it names them
    std::vector<std::pair<long long, std::string>> recordings;
    while (dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        const long long order = replayNameOrder(name);
        struct stat st;
        if (order < 0 || name == spare || lstat((folder + "/" + name).c_str(), &st) != 0 ||
            !S_ISREG(st.st_mode))
            continue;
        recordings.push_back(std::make_pair(order, name));
    }
    closedir(d);
    // the spare one counts among those kept
    if (!spare.empty() && keep > 0)
        keep--;
    std::sort(recordings.begin(), recordings.end());
    for (size_t i = 0; i + keep < recordings.size(); i++)
        unlink((folder + "/" + recordings[i].second).c_str());
}
