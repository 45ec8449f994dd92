// One machine of an online match without drawing, for the network tests and the poor-network
// table: it hosts or joins, plays its seats with scripted inputs, records the match and prints
// a hash after every rally. With --replay it plays a recording back instead and prints the
// same hashes.
//
//   tibrel_netpeer --host PORT [--machines N] [options]   waits for N machines, then starts;
//                                                  port 0: any free port (printed)
//   tibrel_netpeer --join ADDR:PORT [options]
//   tibrel_netpeer --replay FILE
// options: --devices K (local humans, 0 ... 4), --seed S, --round-length I (0 ... 9, 3 points
//   and up), --mode M, --delay D (0: from the round trips and losses), --delays D1,D2,...
//   (host: the delays of the rallies after the first, in turn), --record FILE, --fast (no frame
//   pacing), --matches N (after each match the machines go back to the lobby and the host
//   starts the next, seats kept; only the last is recorded), --leave-at STEP (Escape then), --desync-at STEP (changes one sand cell then:
//   the out-of-sync test), --version TEXT, --data-hash N, --name NAME
// Output lines: "hash STEP HASH", "stopped: TEXT", "delays STEP:D ..." (the input delay from
// each step on, as applied), "stats ...". Exit 0 when the match was
// played to its end, 3 when it stopped, 1 on a bad command line or a damaged replay.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>
#include <unistd.h>
#include <SDL/SDL.h>
#include <wx/config.h>
#include "game.h"
#include "main.h"
#include "mainmenu.h"
#include "netsession.h"
#include "playfield.h"
#include "random.h"
#include "replay.h"

namespace {

unsigned nowMs()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<unsigned>(t.tv_sec * 1000ULL + t.tv_nsec / 1000000);
}

unsigned long long nowUs()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000000ULL + t.tv_nsec / 1000;
}

struct options {
    bool hosting = false;
    int hostPort = 0;
    std::string joinAddress;
    int joinPort = NET_DEFAULT_PORT;
    std::string replay;
    int machines = 2;
    int devices = 1;
    unsigned long long seed = 1;
    int roundLength = 0;
    int mode = 1;
    unsigned delay = 0;
    std::vector<unsigned> delays;
    std::string record;
    bool fast = false;
    int matches = 1;
    long leaveAt = -1;
    long desyncAt = -1;
    std::string version = "Tibrel " TIBREL_VERSION;
    long long dataHash = -1;
    std::string name;
};

bool parse(int argc, char** argv, options& o)
{
    for (int i = 1; i < argc; i++) {
        const std::string a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
        if (a == "--fast") {
            o.fast = true;
            continue;
        }
        if (!v)
            return false;
        i++;
        if (a == "--host") {
            o.hosting = true;
            o.hostPort = atoi(v);
        }
        else if (a == "--join") {
            o.joinAddress = v;
            const size_t colon = o.joinAddress.rfind(':');
            if (colon != std::string::npos) {
                o.joinPort = atoi(o.joinAddress.c_str() + colon + 1);
                o.joinAddress.erase(colon);
            }
        }
        else if (a == "--replay") o.replay = v;
        else if (a == "--machines") o.machines = atoi(v);
        else if (a == "--devices") o.devices = atoi(v);
        else if (a == "--seed") o.seed = strtoull(v, nullptr, 10);
        else if (a == "--round-length") o.roundLength = atoi(v);
        else if (a == "--mode") o.mode = atoi(v);
        else if (a == "--delay") o.delay = atoi(v);
        else if (a == "--delays") {
            char* end = nullptr;
            for (const char* p = v; *p; p = *end ? end + 1 : end) {
                o.delays.push_back(static_cast<unsigned>(strtoul(p, &end, 10)));
                if (end == p || (*end && *end != ','))
                    return false;
            }
        }
        else if (a == "--record") o.record = v;
        else if (a == "--leave-at") o.leaveAt = atol(v);
        else if (a == "--matches") o.matches = atoi(v);
        else if (a == "--desync-at") o.desyncAt = atol(v);
        else if (a == "--version") o.version = v;
        else if (a == "--data-hash") o.dataHash = strtoll(v, nullptr, 10);
        else if (a == "--name") o.name = v;
        else return false;
    }
    return o.hosting || !o.joinAddress.empty() || !o.replay.empty();
}

controller g_devices[REPLAY_DEVICES];

// the devices the game's menu binds seats to
void installDevices()
{
    for (int i = 0; i < 2; i++)
        g_keys[i] = &g_devices[i];
    for (int i = 0; i < 4; i++)
        g_joys[i] = &g_devices[2 + i];
}

// a match built from a replay header, as the game builds a replay's or an online match
game* buildFromHeader(const replayheader& h)
{
    closeConfigStore();
    g_config = replayStore(h);
    wxConfigBase::Set(g_config);
    restoreRandomState(h.randoms);
    game* g = new game();
    g_thegame = g;
    mainmenu settings;   // applies the controls, time of day, round length and game mode
    return g;
}

// a human pressing keys at random, a new choice every 12 steps
void script(controller& c, unsigned long long seed, unsigned step)
{
    unsigned long long z = seed * 0x9e3779b97f4a7c15ULL + step / 12 + 0x632be59bd9b9b2c5ULL;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    z ^= z >> 31;
    c.reset_state();
    c.left = (z & 3) == 1;
    c.right = (z & 3) == 2;
    c.up = ((z >> 2) & 3) == 1;
    c.down = ((z >> 2) & 3) == 2;
    c.button[0] = ((z >> 4) & 7) == 0;
    c.button[1] = ((z >> 7) & 3) == 0;
}

void printHash(game& g, long long& key)
{
    const long long k = rallyKeyOf(g);
    if (k != key)
        printf("hash %llx\n", g.stateHash());
    key = k;
}

int playReplay(const std::string& file)
{
    replayplayer* p = new replayplayer();
    std::string error;
    if (!p->load(file, error)) {
        fprintf(stderr, "tibrel_netpeer: %s\n", error.c_str());
        return 1;
    }
    game* g = buildFromHeader(p->header);
    g->debugParticles = p->header.debugParticles;
    if (p->header.begun)
        g->event(game::EV_BEGIN, 0.0f);
    controller* devices[REPLAY_DEVICES];
    replayDevices(devices);
    long long key = rallyKeyOf(*g);
    replayplayer::result r;
    while ((r = p->beforeStep(*g, devices)) == replayplayer::GO) {
        g->step(STEP_SECONDS);
        printHash(*g, key);
    }
    printf("steps %u\n", p->stepsPlayed());
    if (!p->message().empty())
        printf("replay: %s\n", p->message().c_str());
    g_thegame = nullptr;
    delete g;
    delete p;
    return r == replayplayer::END ? 0 : (r == replayplayer::MISMATCH ? 2 : 1);
}

int playOnline(const options& o)
{
    netsession::identity me;
    me.version = o.version;
    me.dataHash = o.dataHash >= 0 ? static_cast<unsigned long long>(o.dataHash) : gameDataHash();
    me.name = o.name.empty() ? loginName() : o.name;
    me.devices = o.devices;
    netsession session(me);
    session.poll(nowMs());
    if (o.hosting ? !session.host(o.hostPort) : !session.join(o.joinAddress, o.joinPort)) {
        printf("stopped: %s\n", session.message().c_str());
        return 3;
    }
    if (session.isHost())
        printf("port %d\n", session.port());
    controller scripted[NET_SEATS];
    std::vector<controller*> local;
    for (int k = 0; k < o.devices && k < NET_SEATS; k++)
        local.push_back(&scripted[k]);

    replayrecorder recorder;
    game* g = nullptr;
    long long key = -1;
    unsigned steps = 0, stalled = 0, overAt = 0;
    unsigned stalledStep = 0;   // the last step that waited, plus one
    unsigned lobbySince = 0;
    unsigned long long startUs = 0, frameStart = nowUs();
    const unsigned machineSeed = static_cast<unsigned>(o.seed) * 7 + (o.hosting ? 0 : getpid());
    int matchesLeft = o.matches;
    for (;;) {
        const unsigned t = nowMs();
        for (size_t k = 0; k < local.size(); k++)
            script(*local[k], machineSeed * 4 + k, session.nextStep() + session.inputDelay());
        session.poll(t);
        for (const std::string& n : session.notices)
            printf("notice: %s\n", n.c_str());
        session.notices.clear();
        const netsession::phase ph = session.state();
        if (ph == netsession::STOPPED)
            break;
        // a match over and more to play: the lobby again, the next match from there
        if (overAt && matchesLeft > 1 && session.state() == netsession::LOBBY) {
            matchesLeft--;
            overAt = 0;
            lobbySince = 0;
            recorder.close(*g);
            g_thegame = nullptr;
            delete g;
            g = nullptr;
        }
        // a client says ready in every lobby, as a match clears it
        if (ph == netsession::LOBBY && !session.isHost() && !session.ready())
            session.setReady(true, static_cast<unsigned>(o.devices));
        if (ph == netsession::LOBBY && session.isHost() && session.machineCount() >= o.machines) {
            // a second of round trips for the input delay, then the match
            if (!lobbySince)
                lobbySince = t;
            if (t - lobbySince > 1000) {
                g_config->Write("game/roundlength", o.roundLength);
                g_config->Write("game/gamemode", o.mode);
                seedGenerators(seedsFromNumber(o.seed));
                replayheader h;
                h.settings = replaySettings(g_config);
                saveRandomState(h.randoms);
                session.planDelays(o.delays);
                session.startMatch(h, o.delay);
            }
        }
        if (session.state() == netsession::STARTING) {
            std::string seats = "seats";
            for (int i = 0; i < NET_SEATS; i++)
                seats += " " + std::to_string(session.seat(i).machine);
            printf("%s\n", seats.c_str());
            g = buildFromHeader(session.header());
            session.begin(*g, local);
            g->event(game::EV_BEGIN, 0.0f);
            if (!o.record.empty()) {
                recorder.open(o.record, session.header());
                recorder.beforeStep(*g);   // the bindings the match starts with
            }
            key = rallyKeyOf(*g);
            startUs = nowUs();
        }
        if (session.state() == netsession::PLAYING && g && !overAt) {
            const unsigned n = o.fast ? 50 : session.stepsThisFrame();
            for (unsigned i = 0; i < n; i++) {
                if (o.leaveAt >= 0 && session.nextStep() >= static_cast<unsigned>(o.leaveAt)) {
                    session.leave();
                    break;
                }
                const inputsource::status s = session.beforeStep(*g);
                if (s != inputsource::STEP) {
                    // a step that had to wait, counted once however long it waited
                    if (s == inputsource::WAIT && i == 0 && session.nextStep() + 1 != stalledStep) {
                        stalled++;
                        stalledStep = session.nextStep() + 1;
                    }
                    break;
                }
                controller* devices[REPLAY_DEVICES];
                session.devices(devices);
                recorder.beforeStep(*g, devices);
                g->step(STEP_SECONDS);
                recorder.afterStep(*g);
                if (o.desyncAt >= 0 && session.nextStep() == static_cast<unsigned>(o.desyncAt))
                    g->theField->heightMap[256 * 512 + 100] += 1000;
                session.afterStep(*g);
                steps++;
                printHash(*g, key);
                if (g->state == game::STATE_MATCHOVER) {
                    overAt = t;
                    printf("match over\n");
                    if (matchesLeft > 1)
                        session.finish();
                    break;
                }
            }
        }
        // the host stays until every machine has the whole match and its last hash came,
        // a client until its own last hash is delivered
        if (overAt && matchesLeft == 1 && t - overAt > 2000 &&
            (!session.isHost() || session.delivered() || t - overAt > 30000))
            break;
        if (o.fast || session.state() != netsession::PLAYING) {
            usleep(1000);
            frameStart = nowUs();
        } else {
            frameStart += session.frameMicros();
            // the network is served every 2 ms while the frame waits, as the game does, so a
            // packet never waits a whole frame to be read or relayed
            unsigned long long u;
            while ((u = nowUs()) + 2000 < frameStart) {
                usleep(2000);
                session.serve(nowMs());
            }
            if (frameStart > u)
                usleep(frameStart - u);
            else if (u - frameStart > 100000)
                frameStart = u;   // far behind: no burst of frames
        }
    }
    // a host that leaves once a client's match is over does not undo that match
    const bool over = g && g->state == game::STATE_MATCHOVER &&
                      (session.state() != netsession::STOPPED ||
                       (overAt && !session.isHost() && session.message().find("lost") != std::string::npos));
    if (!over)
        printf("stopped: %s\n", session.message().c_str());
    session.writeDump(o.record);
    std::string delays = "delays";
    for (const auto& d : session.delayChanges())
        delays += " " + std::to_string(d.first) + ":" + std::to_string(d.second);
    printf("%s\n", delays.c_str());
    const double seconds = startUs ? (nowUs() - startUs) / 1e6 : 0;
    printf("stats delay=%u steps=%u stalled=%u seconds=%.1f bytes=%llu\n", session.inputDelay(),
           steps, stalled, seconds, session.bytesSent());
    if (g) {
        recorder.close(*g);
        g_thegame = nullptr;
        delete g;
    }
    return over ? 0 : 3;
}

}

int main(int argc, char** argv)
{
    options o;
    if (!parse(argc, argv, o)) {
        fprintf(stderr, "usage: tibrel_netpeer --host PORT | --join ADDR:PORT | --replay FILE "
                "[options]\n");
        return 1;
    }
    setvbuf(stdout, nullptr, _IOLBF, 0);
    SDL_Init(0);
    screen_width = screen_height = 64;
    if (!openWindow(true)) {
        reportWindowFailure();
        return 1;
    }
    openConfigStore();
    installDevices();
    const int status = o.replay.empty() ? playOnline(o) : playReplay(o.replay);
    closeConfigStore();
    SDL_Quit();
    return status;
}

