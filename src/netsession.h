#ifndef TIBREL_NETSESSION_H
#define TIBREL_NETSESSION_H

#include <map>
#include <string>
#include <vector>
#include "inputsource.h"
#include "netfind.h"
#include "netprotocol.h"

typedef struct _ENetHost ENetHost;
typedef struct _ENetPeer ENetPeer;

// One machine's part in an online match, over ENet on UDP. The host listens and relays:
// every machine sends it the controller states of its own humans for each step, the host
// gathers them into a bundle per step and sends the bundles to all, and every machine steps
// the match only with the bundle for that step (deterministic lockstep). A state sampled now
// is used D steps later (the input delay), which hides the round trip. Every machine hashes
// the match every 100 steps and after every rally; the host compares, and any difference
// stops the match everywhere.
//
// The session is an input source: the match's seats are bound to the session's own six
// controllers (the replay's devices), which it fills from the bundles, so a recording of an
// online match plays back offline like any other.
class netsession : public inputsource, public netfindanswer {
public:
    enum phase {
        CONNECTING,   // a client waiting for the host's answer
        LOBBY,        // connected (host: listening), no match running
        STARTING,     // the match's header has come: build the match, then begin()
        PLAYING,
        STOPPED       // refused, lost, ended or out of sync: see message()
    };

    // what this machine tells the host about itself
    struct identity {
        std::string version;             // "Tibrel 1.0.0"
        unsigned long long dataHash = 0;
        std::string name;                // the login name
        int devices = 1;                 // how many local devices it brings (0 ... 4)
    };

    explicit netsession(const identity& me);
    ~netsession() override;

    // listens on the UDP port of all addresses; false with the reason
    bool host(int port);
    // starts joining host:port; the answer comes through poll()
    bool join(const std::string& host, int port);
    bool isHost() const { return hosting; }
    // the UDP port the host listens on
    int port() const;
    phase state() const { return phase_; }
    const std::string& message() const override { return why; }

    // once a frame: everything that arrived is read, this machine's states are sampled and
    // sent, overdue things happen; nowMs from a monotonic clock
    void poll(unsigned nowMs);
    // between frames, as often as the frame's wait allows: packets are read and the host
    // relays every bundle they complete at once, so none waits for the next frame
    void serve(unsigned nowMs);

    // a host in its lobby answers the question of a machine looking for matches
    bool answering() const override { return hosting && phase_ == LOBBY; }
    std::string answerName() const override { return me.name; }
    int answerMachines() const override { return machineCount(); }

    // the lobby: the host keeps it and sends it to every machine when it changes
    const netlobbystate& lobby() const { return lobby_; }
    // this machine's number in lobby().machines
    unsigned self() const { return myMachine; }
    // this machine brings `devices` local devices (0 ... 4) and is or is not ready
    void setReady(bool ready, unsigned devices);
    // a client's last word on being ready, cleared when a match starts (and no word counts
    // until the lobby opens again), so the next match begins only once each machine has
    // said ready again; the host always is
    bool ready() const { return hosting || saidReady; }
    // host: seat i is driven by machine m's device d (1 ... 4), or the computer; a seat that
    // machine and device held before is swapped with it
    void setSeat(int seat, netseat s);
    // host: the time of day, round length and game mode (the main menu's choice indexes)
    void setMatchSettings(unsigned timeOfDay, unsigned roundLength, unsigned mode);
    // the match on this machine is over: back to the lobby, seats kept, once the host has
    // sent every machine all of it (host) or is back in the lobby itself (client)
    void finish();
    int machineCount() const;
    const std::string& machineName(int m) const;
    unsigned pingMs(int m) const;      // round trip to machine m, 0 for the host itself
    // the host starts the match: the replay header every machine builds it from and the
    // input delay (0: chosen from the measured round trips); seats go to the machines'
    // devices in the order they joined, the host's first, the rest to the computer; false
    // until every machine there has said it is ready
    bool startMatch(const replayheader& h, unsigned delay);
    // the input delay for the round trips measured now and the loss measured over the last
    // rallies (inputDelayFor)
    unsigned chooseDelay() const;
    // host, for tests: the input delays of the rallies after the first, in turn, in place of
    // the measured ones
    void planDelays(const std::vector<unsigned>& delays) { plannedDelays = delays; }

    // STARTING: the match to build and how its seats are bound
    const replayheader& header() const { return header_; }
    const netseat& seat(int i) const { return seats[i]; }
    // binds the seats of a match built from header() to the session's controllers and to
    // the computer, and begins stepping; localDevices are this machine's devices in the
    // order its seats take them
    void begin(game& g, const std::vector<controller*>& localDevices);

    // inputsource: STEP when the bundle for the next step is here
    status beforeStep(game& g) override;
    void afterStep(game& g) override;
    void devices(controller* out[REPLAY_DEVICES]) override;

    // Escape: a client leaves (the host is told), the host ends the match for everyone
    void leave();

    // the match's figures
    unsigned inputDelay() const { return delay; }
    // the input delay from each step on, as this machine applied it: (0, D) and every change
    const std::vector<std::pair<unsigned, unsigned>>& delayChanges() const { return delayLog; }
    // host: the share of a machine's states lost on the way, the worst one, blended over the
    // rallies; 0 before the first rally is over
    double lossShare() const { return loss; }
    unsigned nextStep() const { return next; }
    // bundles held beyond the next step (0: the next step has to wait)
    unsigned stepsHeld() const;
    // steps to take in this drawn frame: 1, or 2 while bundles pile up (this machine fell behind)
    unsigned stepsThisFrame() const { return stepsHeld() > delay + 2 ? 2 : 1; }
    // the next frame's length in microseconds: 20 ms, 2 % longer while this machine runs
    // ahead of the host (it holds no bundle to step with)
    unsigned frameMicros() const { return !hosting && phase_ == PLAYING && !stepsHeld() ? 20400 : 20000; }
    unsigned worstPingMs() const;
    // host: every machine still there holds every bundle made so far
    bool delivered() const;
    // host: every machine still there holds every bundle before step s
    bool deliveredUpTo(unsigned s) const;
    unsigned rally() const { return rallies; }
    // the machine waited for and since when, when the wait is over half a second; else ""
    std::string waitingFor(unsigned nowMs, unsigned& seconds) const;
    unsigned long long bytesSent() const;

    // after an out-of-sync stop: this machine's state at the step the hashes differed, as
    // text (the score, ball, players, then the sand row by row); false when not kept
    bool dump(std::string& text) const;
    // writes that state beside the match's recording, as RECORDING.dump; false when none
    // was kept or it cannot be written
    bool writeDump(const std::string& recording) const;

    // what happened to the other machines, oldest first ("anna left; the computer plays
    // for them from step 812"); the caller shows and clears them
    std::vector<std::string> notices;

    // the text of the corner line: "Delay 2 (40 ms) · ping 12 ms"
    std::string cornerLine() const;

private:
    struct machine {
        std::string name;
        ENetPeer* peer = nullptr;      // null for the host itself
        int devices = 0;
        bool present = true;           // joined and not gone
        bool handed = false;           // its seats are played by the computer
        bool ready = false;            // said so in the lobby (the host always is)
        unsigned lastHeard = 0;        // ms of its last input
        bool begun = false;            // its first input came: it has built the match
        unsigned wanted = 0;           // the first bundle it does not hold
        std::map<unsigned, std::vector<netpad>> inputs;   // by step
        std::map<unsigned, unsigned long long> hashes;    // its hashes the host has not checked
        // its INPUTs this rally: the packet numbers gone by since the rally started, the
        // packets among them that came, and the last number
        unsigned packetSpan = 0, packetsCame = 0, lastPacket = 0;
        bool packetSeen = false;
    };
    struct snapshot {
        unsigned step = 0, rally = 0;
        std::string text;
        std::vector<int> sand;
    };
    struct bundle {
        unsigned char handed = 0;
        unsigned char delay = 0;       // the input delay from this step on, 0: it stays
        std::vector<netpad> pads;      // one per human seat, seat order
    };

    identity me;
    bool hosting = false;
    phase phase_ = LOBBY;
    std::string why;
    ENetHost* net = nullptr;
    ENetPeer* server = nullptr;        // a client's connection to the host
    std::string hostAddress;           // "ADDR:PORT" as typed
    int hostPort = 0;
    unsigned now = 0;
    unsigned joinStarted = 0;
    unsigned lastBundleAt = 0;         // ms when the next step's bundle last advanced
    bool justBegun = false;            // begin() came after the last poll
    std::vector<machine> machines;     // host: 0 is the host itself; client: only itself
    unsigned myMachine = 0;
    std::string hostName;

    replayheader header_;
    netseat seats[NET_SEATS];
    unsigned delay = 2;
    bool fixedDelay = false;           // host: the delay the match was started with stays
    unsigned announcedDelay = 2;       // host: the delay of the last bundle made
    unsigned pendingDelay = 0;         // host: the delay to write into the next bundle, or 0
    std::vector<unsigned> plannedDelays;
    std::vector<std::pair<unsigned, unsigned>> delayLog;
    double loss = 0;
    unsigned lossRallies = 0;          // rallies the loss was measured over
    unsigned rallyFrom = 0;            // host: the step the rally began with
    unsigned inputsSent = 0;           // client: INPUT packets sent, their numbers
    unsigned next = 0;                 // the next step to take
    unsigned produced = 0;             // local states are sampled up to here
    unsigned assembled = 0;            // host: bundles are made up to here
    unsigned char pendingHand = 0;     // host: seats to hand over in the next bundle
    std::map<unsigned, bundle> bundles;
    std::map<unsigned, std::vector<netpad>> myInputs;   // sampled, not yet in a bundle
    std::map<unsigned, unsigned long long> myHashes;    // host: its own, by step
    std::vector<controller*> local;
    controller seatControllers[REPLAY_DEVICES];
    game* match = nullptr;
    long long rallyKey = -1;
    unsigned rallies = 0;
    std::vector<snapshot> snapshots;   // the last few checks
    unsigned stopStep = 0;             // the step an out-of-sync stop names
    netlobbystate lobby_;
    netlobbystate lobbySent;           // host: as the machines last had it
    unsigned lobbySentAt = 0;
    bool finished = false;             // this machine's match is over (finish())
    unsigned finishedAt = 0, endStep = 0;
    bool hostInLobby = false;          // client: the host went back to the lobby
    bool saidReady = false;            // client: this machine's last setReady
    bool loading = false;              // client: no bundle came since the match started

    void receive();
    void send(ENetPeer* p, const std::string& bytes, bool reliable);
    void broadcast(const std::string& bytes, bool reliable);
    void stop(const std::string& text);
    void received(ENetPeer* p, const unsigned char* data, size_t size);
    void connected(ENetPeer* p);
    void disconnected(ENetPeer* p, unsigned bye);
    int machineOf(ENetPeer* p) const;
    void drop(ENetPeer* p, netrefusal reason, const std::string& text);
    // a connection's time-out while the machines build the match, or once they have
    void allowLoading(ENetPeer* p, bool building);
    // host
    void hello(ENetPeer* p, const netmessage& m);
    void input(int m, const netmessage& msg);
    void assemble();
    void sendBundles();
    void handOver(int m, const char* why);
    // a rally has begun: the delay is chosen anew from the round trips and losses measured
    void rallyStarted();
    void countPacket(machine& x, unsigned number);
    void refreshLobby();
    void sendLobby();
    void backToLobby();
    // every machine's ready is cleared as a match starts
    void unready();
    void checkHash(int m, unsigned step, unsigned long long h);
    // client
    void started(const netmessage& m);
    void takeBundles(const netmessage& m);
    void sendInputs();
    // both
    void sample();
    void keepSnapshot(game& g);
    unsigned humanSeats() const;
    std::vector<int> seatsOf(unsigned m) const;
};

// The shell's frames at the session's pace: the frame lengths the session asks for (in µs)
// gathered into the whole ms the shell's schedule runs on
class netframepace {
public:
    // how many ms later the next frame is due than 20 ms after the last
    unsigned extraMs(unsigned frameMicros);
private:
    unsigned micros = 0;   // beyond the ms given so far, 0 ... 999
};

// The input delay in steps for a worst round trip of rttMs (with twice its jitter) and a share
// of packets lost each way: ceil(rttMs / 20 ms) + 1, plus one step for each time in a row a
// step's state or bundle may be lost, as a lost one goes again with the next frame's packet,
// until under 1 % of steps would wait for one; between 2 and 8 steps (NET_MAX_DELAY).
unsigned inputDelayFor(unsigned rttMs, double loss);

// the hash of the game data that must agree between machines (names, sizes and bytes of
// every file under data/); 0 when there is no data/
unsigned long long gameDataHash();
// the login name, for the lobby
std::string loginName();

#endif
