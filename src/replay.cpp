#include "replay.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wx/fileconf.h>
#include "game.h"
#include "main.h"
#include "player.h"

static const char MAGIC[8] = { 'T', 'I', 'B', 'R', 'E', 'L', 'R', 'P' };
static const char* const SUFFIX = ".tibrelreplay";

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
    putU(out, (c.left ? 1 : 0) | (c.right ? 2 : 0) | (c.up ? 4 : 0) | (c.down ? 8 : 0), 1);
    unsigned buttons = 0;
    for (int i = 0; i < 16; i++)
        if (c.button[i])
            buttons |= 1u << i;
    putU(out, buttons, 2);
    putU(out, static_cast<unsigned>(c.axisX), 4);
    putU(out, static_cast<unsigned>(c.axisY), 4);
}

static void getController(reader& r, controller& c)
{
    const unsigned dirs = r.u(1);
    const unsigned buttons = r.u(2);
    const int x = static_cast<int>(static_cast<unsigned>(r.u(4)));
    const int y = static_cast<int>(static_cast<unsigned>(r.u(4)));
    c.left = dirs & 1;
    c.right = dirs & 2;
    c.up = dirs & 4;
    c.down = dirs & 8;
    for (int i = 0; i < 16; i++)
        c.button[i] = (buttons >> i) & 1;
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
    : file(nullptr), pendingSteps(0), stepsInChunk(0), boundKnown(false), lastDebug(0),
      rallyKey(-1), written(0)
{
    std::fill(known, known + REPLAY_DEVICES, false);
}

replayrecorder::~replayrecorder()
{
    if (file)
        fclose(file);
}

bool replayrecorder::open(const std::string& path, const replayheader& h)
{
    if (file)
        fclose(file);
    file = fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const std::string head = replayHeaderBytes(h);
    written = fwrite(head.data(), 1, head.size(), file);
    fflush(file);
    chunk.clear();
    pendingSteps = stepsInChunk = 0;
    std::fill(known, known + REPLAY_DEVICES, false);
    lastDebug = h.debugParticles;
    rallyKey = -1;
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
    if (!file || chunk.empty())
        return;
    std::string out("K");
    putU(out, chunk.size(), 4);
    out += chunk;
    putU(out, fnv32(chunk.data(), chunk.size()), 4);
    chunk.clear();
    // one write and one flush a second: a game that ends unexpectedly loses at most that
    if (fwrite(out.data(), 1, out.size(), file) != out.size()) {
        fclose(file);   // a full disk: the replay ends with what was written
        file = nullptr;
        return;
    }
    fflush(file);
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
    if (!file)
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
    if (!file)
        return;
    pendingSteps++;
    stepsInChunk++;
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
    if (!file)
        return;
    flushSteps();
    chunk += 'H';
    putU(chunk, g.stateHash(), 8);
    chunk += 'E';
    writeChunk();
    if (file)
        fclose(file);
    file = nullptr;
}

// ---- playback ----

bool replayplayer::load(const std::string& path, std::string& error)
{
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) {
        error = "cannot open " + path + ": " + strerror(errno);
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

bool replayplayer::loadBytes(const std::string& bytes, std::string& error)
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
    for (size_t i = 0; i < count && r.ok; i++) {
        std::string key = r.str();
        std::string value = r.str();
        h.settings.push_back(std::make_pair(key, value));
    }
    for (unsigned long& w : h.randoms.mt)
        w = static_cast<unsigned long>(r.u(4));
    h.randoms.mti = static_cast<int>(std::min<unsigned long long>(r.u(4), 625));
    h.randoms.discrete = r.u(8);
    const size_t headEnd = r.at;
    const unsigned sum = static_cast<unsigned>(r.u(4));
    if (!r.ok) {
        error = "the replay is cut short in its header";
        return false;
    }
    if (sum != fnv32(bytes.data(), headEnd)) {
        error = "the replay's header is damaged";
        return false;
    }
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
        const wxString key = wxString::FromUTF8(kv.first.c_str());
        // only keys of the groups a replay keeps, and no path tricks
        if (key.empty() || key.Contains("..") || key.StartsWith("/"))
            continue;
        cfg->Write("/" + key, wxString::FromUTF8(kv.second.c_str()));
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
    // two matches in one second get _2, _3 ... (sorting after the first)
    std::string path = folder + "/" + stamp + SUFFIX;
    for (int n = 2; access(path.c_str(), F_OK) == 0 && n < 1000; n++)
        path = folder + "/" + stamp + "_" + std::to_string(n) + SUFFIX;
    return path;
}

void pruneReplays(const std::string& folder, size_t keep)
{
    DIR* d = opendir(folder.c_str());
    if (!d)
        return;
    std::vector<std::string> names;
    const size_t suffixLen = strlen(SUFFIX);
    while (dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name.size() > suffixLen && name.compare(name.size() - suffixLen, suffixLen, SUFFIX) == 0)
            names.push_back(name);
    }
    closedir(d);
    // the names begin with the date and time, so their order is the order of recording
    std::sort(names.begin(), names.end());
    for (size_t i = 0; i + keep < names.size(); i++)
        unlink((folder + "/" + names[i]).c_str());
}
