#include "netsession.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <enet/enet.h>
#include "ball.h"
#include "game.h"
#include "netlobby.h"
#include "player.h"
#include "playfield.h"

static const unsigned JOIN_TIMEOUT_MS = 5000;     // no answer from the host
static const unsigned HANDOVER_MS = 5000;         // a machine silent this long loses its seats
static const unsigned LOADING_MS = 30000;         // ... or this long before its first input,
                                                  // while it builds the match
static const unsigned PEER_TIMEOUT_MS = 10000;    // ENet gives a silent peer up
static const unsigned WAIT_SHOWN_MS = 500;        // "Waiting for NAME" from then on
static const unsigned HASH_EVERY = 100;           // steps between state hashes
static const unsigned WINDOW = 3000;              // steps a machine may be out of step (1 min)
static const unsigned KEPT_SNAPSHOTS = 4;
static const unsigned FINISH_MS = 3000;           // the host's wait for slow machines to end
                                                  // the match before the lobby opens again
enum { CHANNEL_CONTROL = 0, CHANNEL_STEPS = 1, CHANNELS = 2 };

static bool enetStarted()
{
    static bool started = false;
    if (!started && enet_initialize() == 0) {
        started = true;
        atexit(enet_deinitialize);
    }
    return started;
}

static std::string hex(unsigned long long h)
{
    char s[20];
    snprintf(s, sizeof s, "%016llx", h);
    return s;
}

netsession::netsession(const identity& id) : me(id)
{
    for (controller& c : seatControllers)
        c.reset_state();
}

netsession::~netsession()
{
    // from the lobby the others learn at once that this machine is gone, not after ENet's
    // time-out; a match's last words (LEAVE, STOP) are never cut short by it, as a
    // disconnection drops what the other end has not yet read
    const bool lobby = phase_ == LOBBY || phase_ == CONNECTING;
    for (const machine& m : machines)
        if (lobby && hosting && m.present && m.peer)
            enet_peer_disconnect_now(m.peer, BYE_LOBBY_CLOSED);
    if (lobby && !hosting && server)
        enet_peer_disconnect_now(server, 0);
    if (net) {
        stopAnswering(net);
        enet_host_flush(net);
        enet_host_destroy(net);
    }
}

// ---- connecting ----

bool netsession::host(int port)
{
    if (!enetStarted()) {
        stop("The network could not be started");
        return false;
    }
    ENetAddress a;
    a.host = ENET_HOST_ANY;
    a.port = static_cast<enet_uint16>(port);
    net = enet_host_create(&a, 8, CHANNELS, 0, 0);
    if (!net) {
        stop("Cannot use UDP port " + std::to_string(port) + " (is another game using it?)");
        return false;
    }
    hosting = true;
    answerFinders(net, this);
    hostName = me.name;
    machine self;
    self.name = me.name;
    self.devices = me.devices;
    machines.push_back(self);
    myMachine = 0;
    phase_ = LOBBY;
    refreshLobby();
    fillSeats(lobby_);
    return true;
}

int netsession::port() const
{
    ENetAddress a;
    if (!net || enet_socket_get_address(net->socket, &a) != 0)
        return 0;
    return a.port;
}

bool netsession::join(const std::string& address, int port)
{
    hostAddress = address + ":" + std::to_string(port);
    hostPort = port;
    if (!enetStarted()) {
        stop("The network could not be started");
        return false;
    }
    ENetAddress a;
    if (enet_address_set_host(&a, address.c_str()) != 0) {
        stop("Cannot find the address " + address);
        return false;
    }
    a.port = static_cast<enet_uint16>(port);
    net = enet_host_create(nullptr, 1, CHANNELS, 0, 0);
    server = net ? enet_host_connect(net, &a, CHANNELS, 0) : nullptr;
    if (!server) {
        stop("The network could not be started");
        return false;
    }
    enet_peer_timeout(server, 0, PEER_TIMEOUT_MS, PEER_TIMEOUT_MS);
    joinStarted = now;
    phase_ = CONNECTING;
    return true;
}

void netsession::receive()
{
    ENetEvent e;
    while (net && enet_host_service(net, &e, 0) > 0) {
        if (e.type == ENET_EVENT_TYPE_CONNECT) {
            connected(e.peer);
        } else if (e.type == ENET_EVENT_TYPE_RECEIVE) {
            received(e.peer, e.packet->data, e.packet->dataLength);
            enet_packet_destroy(e.packet);
        } else if (e.type == ENET_EVENT_TYPE_DISCONNECT) {
            disconnected(e.peer, e.data);
        }
    }
}

void netsession::poll(unsigned nowMs)
{
    if (phase_ == CONNECTING && joinStarted == 0 && now == 0)
        joinStarted = nowMs;
    now = nowMs;
    if (!net)
        return;
    if (justBegun) {
        // building the match may take seconds: the clocks of waiting start now
        justBegun = false;
        lastBundleAt = now;
        for (machine& m : machines)
            m.lastHeard = now;
    }
    receive();
    if (phase_ == CONNECTING && now - joinStarted > JOIN_TIMEOUT_MS)
        stop("No answer from " + hostAddress + " - check the address and that UDP port " +
             std::to_string(hostPort) + " is open on the host");
    if (hosting && phase_ == PLAYING && finished &&
        (now - finishedAt > FINISH_MS || deliveredUpTo(endStep)))
        backToLobby();
    if (hosting && phase_ == LOBBY) {
        // pings change all the time: the lobby goes out when it changed, at most 4 times a second
        refreshLobby();
        if (lobby_ != lobbySent && now - lobbySentAt >= 250)
            sendLobby();
    }
    if (phase_ == PLAYING) {
        sample();
        if (hosting) {
            for (size_t m = 1; m < machines.size(); m++)
                if (machines[m].present && !machines[m].handed && !seatsOf(m).empty() &&
                    now - machines[m].lastHeard > (machines[m].begun ? HANDOVER_MS : LOADING_MS))
                    handOver(m, "stopped sending");
            assemble();
            sendBundles();
        } else {
            // a host that is gone is noticed by ENet (no answer for 10 s); a host that is only
            // waiting for a slow machine still answers
            sendInputs();
        }
    }
    if (net)
        enet_host_flush(net);
}

void netsession::serve(unsigned nowMs)
{
    now = nowMs;
    if (!net)
        return;
    receive();
    if (phase_ == PLAYING && hosting) {
        const unsigned before = assembled;
        assemble();
        if (assembled > before)
            sendBundles();
    }
    if (net)
        enet_host_flush(net);
}

void netsession::send(ENetPeer* p, const std::string& bytes, bool reliable)
{
    if (!p)
        return;
    ENetPacket* packet = enet_packet_create(bytes.data(), bytes.size(),
                                            reliable ? ENET_PACKET_FLAG_RELIABLE : 0);
    if (enet_peer_send(p, reliable ? CHANNEL_CONTROL : CHANNEL_STEPS, packet) != 0)
        enet_packet_destroy(packet);
}

void netsession::broadcast(const std::string& bytes, bool reliable)
{
    for (const machine& m : machines)
        if (m.present && m.peer)
            send(m.peer, bytes, reliable);
}

void netsession::stop(const std::string& text)
{
    if (phase_ == STOPPED)
        return;
    phase_ = STOPPED;
    why = text;
    if (server && !hosting)
        enet_peer_disconnect_later(server, 0);
    if (net)
        enet_host_flush(net);
}

int netsession::machineOf(ENetPeer* p) const
{
    for (size_t m = 1; m < machines.size(); m++)
        if (machines[m].peer == p)
            return static_cast<int>(m);
    return -1;
}

void netsession::connected(ENetPeer* p)
{
    enet_peer_timeout(p, 0, PEER_TIMEOUT_MS, PEER_TIMEOUT_MS);
    // ENet would drop unreliable packets on its own whenever the round trip grows; every
    // step's states are sent again until they are in a bundle, so none is dropped on purpose
    enet_peer_throttle_configure(p, ENET_PEER_PACKET_THROTTLE_INTERVAL,
                                 ENET_PEER_PACKET_THROTTLE_SCALE, 0);
    if (!hosting && p == server) {
        std::vector<unsigned char> devices;
        for (int d = 0; d < me.devices && d < NET_SEATS; d++)
            devices.push_back(static_cast<unsigned char>(d + 1));
        send(server, encodeHello(me.version, me.dataHash, me.name, devices), true);
    }
}

// A machine building a match reads no packets for seconds, and ENet, which checks its
// unanswered packets before it reads what came, would then give up the others (or they it) on
// the first look after the build. While the match is built everywhere a connection is given
// LOADING_MS, as long as the host waits for a machine's first input; then PEER_TIMEOUT_MS.
void netsession::allowLoading(ENetPeer* p, bool building)
{
    const unsigned ms = building ? LOADING_MS : PEER_TIMEOUT_MS;
    if (p)
        enet_peer_timeout(p, 0, ms, ms);
}

void netsession::disconnected(ENetPeer* p, unsigned bye)
{
    if (!hosting) {
        if (p != server)
            return;
        server = nullptr;
        if (bye == BYE_LOBBY_CLOSED)
            stop("The host closed the lobby");
        else if (phase_ == CONNECTING)
            stop("No answer from " + hostAddress + " - check the address and that UDP port " +
                 std::to_string(hostPort) + " is open on the host");
        else
            stop("The connection to the host was lost");
        return;
    }
    const int m = machineOf(p);
    if (m < 0)
        return;
    machines[m].peer = nullptr;
    if (phase_ == PLAYING && !machines[m].handed)
        handOver(m, "left");
    machines[m].present = false;
}

void netsession::drop(ENetPeer* p, netrefusal reason, const std::string& text)
{
    send(p, encodeRefuse(reason, text), true);
    enet_peer_disconnect_later(p, 0);
    const int m = machineOf(p);
    if (m >= 0) {
        if (phase_ == PLAYING && !machines[m].handed)
            handOver(m, "sent a damaged packet");
        machines[m].peer = nullptr;
        machines[m].present = false;
    }
}

void netsession::received(ENetPeer* p, const unsigned char* data, size_t size)
{
    netmessage m;
    std::string bad;
    if (!decodeMessage(data, size, m, bad)) {
        if (hosting)
            drop(p, REFUSE_DAMAGED, "The host dropped you: your machine sent a " + bad);
        else
            stop("The host sent a " + bad);
        return;
    }
    if (hosting) {
        const int from = machineOf(p);
        if (m.kind == MSG_HELLO && from < 0)
            hello(p, m);
        else if (m.kind == MSG_INPUT && from > 0)
            input(from, m);
        else if (m.kind == MSG_HASH && from > 0 && phase_ == PLAYING)
            checkHash(from, m.first, m.hash);
        else if (m.kind == MSG_LEAVE && from > 0 && phase_ == PLAYING && !machines[from].handed)
            handOver(from, "left");
        else if (m.kind == MSG_READY && from > 0 && phase_ == LOBBY) {
            const bool more = m.count != static_cast<unsigned>(machines[from].devices);
            machines[from].ready = m.ready;
            machines[from].devices = static_cast<int>(m.count);
            refreshLobby();
            if (more)
                fillSeats(lobby_);
        }
        return;
    }
    switch (m.kind) {
    case MSG_WELCOME:
        if (phase_ == CONNECTING) {
            myMachine = m.machine;
            hostName = m.name;
            phase_ = LOBBY;
        }
        break;
    case MSG_STOP:
        if (m.reason == STOP_OUT_OF_SYNC)
            stopStep = m.first;
        stop(m.text);
        break;
    case MSG_REFUSE:
        stop(m.text);
        break;
    case MSG_START:
        if (phase_ == LOBBY)
            started(m);
        break;
    case MSG_BUNDLE:
        if (phase_ == PLAYING)
            takeBundles(m);
        break;
    case MSG_LOBBY:
        lobby_ = m.lobby;
        if (phase_ == PLAYING) {
            hostInLobby = true;
            if (finished)
                backToLobby();
        }
        break;
    default:
        break;
    }
}

// ---- the lobby ----

int netsession::machineCount() const
{
    int n = 0;
    for (const machine& m : machines)
        n += m.present ? 1 : 0;
    return n;
}

const std::string& netsession::machineName(int m) const
{
    return machines[m].name;
}

unsigned netsession::pingMs(int m) const
{
    const ENetPeer* p = machines[m].peer;
    return p ? p->roundTripTime : 0;
}

void netsession::hello(ENetPeer* p, const netmessage& m)
{
    int seatsTaken = 0;
    for (const machine& x : machines)
        seatsTaken += x.present ? x.devices : 0;
    if (phase_ != LOBBY)
        drop(p, REFUSE_RUNNING, "A match is already running on " + me.name +
             "'s machine; join when it is over");
    else if (m.protocol != static_cast<unsigned>(NET_PROTOCOL_VERSION))
        drop(p, REFUSE_PROTOCOL, "The host speaks network protocol " +
             std::to_string(NET_PROTOCOL_VERSION) + "; you speak " + std::to_string(m.protocol));
    else if (m.version != me.version)
        drop(p, REFUSE_VERSION, "The host runs " + me.version + "; you run " + m.version);
    else if (m.dataHash != me.dataHash)
        drop(p, REFUSE_DATA, "The host's game data differ from yours (data " + hex(me.dataHash) +
             ", yours " + hex(m.dataHash) + ")");
    else if (machineCount() >= NET_MAX_MACHINES ||
             seatsTaken + static_cast<int>(m.devices.size()) > NET_SEATS)
        drop(p, REFUSE_FULL, "The match is full: " + std::to_string(seatsTaken) +
             " of 4 seats are taken and you bring " + std::to_string(m.devices.size()) + " players");
    else {
        machine x;
        x.name = m.name.empty() ? "Player" : m.name;
        x.peer = p;
        x.devices = static_cast<int>(m.devices.size());
        // a machine that left gives its number to the next one, so numbers stay below 4
        size_t slot = 1;
        while (slot < machines.size() && machines[slot].present)
            slot++;
        if (slot < machines.size())
            machines[slot] = x;
        else
            machines.push_back(x);
        send(p, encodeWelcome(slot, me.name), true);
        refreshLobby();
        fillSeats(lobby_);
        // the lobby measures the round trip often, for the input delay
        enet_peer_ping_interval(p, 100);
    }
}

unsigned netframepace::extraMs(unsigned frameMicros)
{
    micros += frameMicros > 20000 ? frameMicros - 20000 : 0;
    const unsigned ms = micros / 1000;
    micros %= 1000;
    return ms;
}

unsigned inputDelayFor(unsigned rttMs, double lost)
{
    lost = std::max(0.0, std::min(lost, 1.0));
    // the chance that a step's round trip loses its packet on one way or the other
    const double q = 1 - (1 - lost) * (1 - lost);
    unsigned resends = 0;
    for (double late = q; late > 0.01 && resends < NET_MAX_DELAY; late *= q)
        resends++;
    const unsigned d = (rttMs + 19) / 20 + 1 + resends;
    return std::max(2u, std::min(d, NET_MAX_DELAY));
}

unsigned netsession::chooseDelay() const
{
    // A client's state for step s goes to the host and comes back in the bundle before the
    // client takes step s, so the delay has to cover the whole round trip, not one way.
    unsigned worst = 0;
    for (const machine& m : machines)
        if (m.present && m.peer)
            worst = std::max(worst, m.peer->roundTripTime + 2 * m.peer->roundTripTimeVariance);
    return inputDelayFor(worst, loss);
}

bool netsession::startMatch(const replayheader& h, unsigned inputDelay)
{
    if (!hosting || phase_ != LOBBY)
        return false;
    refreshLobby();
    if (!everyoneReady(lobby_))
        return false;
    fixedDelay = inputDelay != 0;
    loss = 0;
    lossRallies = 0;
    delay = inputDelay ? std::max(1u, std::min(inputDelay, NET_MAX_DELAY)) : chooseDelay();
    unready();
    refreshLobby();
    fillSeats(lobby_);
    // every machine reads which of its devices takes a seat from this last lobby
    sendLobby();
    for (int s = 0; s < NET_SEATS; s++) {
        seats[s] = netseat();
        if (lobby_.seats[s].machine != NET_COMPUTER) {
            seats[s].machine = lobby_.seats[s].machine;
            seats[s].device = static_cast<unsigned char>(s + 1);
        }
    }
    header_ = h;
    header_.begun = true;
    // every machine binds the seats the same way; the computer plays the others
    for (int i = 0; i < NET_SEATS; i++) {
        const std::string key = "controls/player" + std::to_string(i);
        const std::string value = std::to_string(seats[i].device);
        bool found = false;
        for (auto& kv : header_.settings)
            if (kv.first == key) {
                kv.second = value;
                found = true;
            }
        if (!found)
            header_.settings.push_back(std::make_pair(key, value));
    }
    broadcast(encodeStart(delay, seats, replayHeaderBytes(header_)), true);
    for (machine& m : machines)
        if (m.peer) {
            enet_peer_ping_interval(m.peer, ENET_PEER_PING_INTERVAL);
            allowLoading(m.peer, true);
        }
    phase_ = STARTING;
    return true;
}

void netsession::started(const netmessage& m)
{
    replayplayer p;
    std::string error;
    // the header alone is a replay without steps
    if (!p.loadBytes(m.header, error)) {
        stop("The host's match settings cannot be read: " + error);
        return;
    }
    header_ = p.header;
    unready();
    // building the match reads no packets, here or on the other machines
    allowLoading(server, true);
    loading = true;
    std::copy(m.seats, m.seats + NET_SEATS, seats);
    delay = std::max(1u, std::min(m.delay, NET_MAX_DELAY));
    phase_ = STARTING;
}

void netsession::refreshLobby()
{
    if (!hosting)
        return;
    lobby_.machines.resize(machines.size());
    for (size_t m = 0; m < machines.size(); m++) {
        netlobbymachine& l = lobby_.machines[m];
        l.present = machines[m].present;
        l.name = machines[m].name;
        l.ping = pingMs(m);
        l.devices = static_cast<unsigned>(std::max(0, machines[m].devices));
        l.ready = m == 0 || machines[m].ready;
    }
}

void netsession::unready()
{
    for (size_t m = 1; m < machines.size(); m++)
        machines[m].ready = false;
    saidReady = false;
}

void netsession::setReady(bool ready, unsigned devices)
{
    devices = std::min(devices, static_cast<unsigned>(NET_SEATS));
    // what a client chose before the host answered is sent once it has (the lobby's screen)
    saidReady = ready;
    if (hosting) {
        machines[0].devices = static_cast<int>(devices);
        refreshLobby();
        fillSeats(lobby_);
    } else if (server && phase_ == LOBBY) {
        send(server, encodeReady(ready, devices), true);
    }
}

void netsession::setSeat(int seat, netseat s)
{
    if (hosting && phase_ == LOBBY)
        assignSeat(lobby_, seat, s);
}

void netsession::setMatchSettings(unsigned timeOfDay, unsigned roundLength, unsigned mode)
{
    lobby_.timeOfDay = std::min(timeOfDay, 3u);
    lobby_.roundLength = std::min(roundLength, 9u);
    lobby_.mode = std::min(mode, 2u);
}

void netsession::finish()
{
    if (phase_ != PLAYING || finished)
        return;
    finished = true;
    finishedAt = now;
    endStep = next;
    if (!hosting && hostInLobby)
        backToLobby();
}

void netsession::backToLobby()
{
    phase_ = LOBBY;
    match = nullptr;
    bundles.clear();
    myInputs.clear();
    if (hosting) {
        for (machine& m : machines)
            if (m.peer)
                enet_peer_ping_interval(m.peer, 100);
        refreshLobby();
        sendLobby();
    }
}

void netsession::sendLobby()
{
    broadcast(encodeLobby(lobby_), true);
    lobbySent = lobby_;
    lobbySentAt = now;
}

// ---- the match ----

std::vector<int> netsession::seatsOf(unsigned m) const
{
    std::vector<int> out;
    for (int i = 0; i < NET_SEATS; i++)
        if (seats[i].machine == m)
            out.push_back(i);
    return out;
}

unsigned netsession::humanSeats() const
{
    unsigned n = 0;
    for (const netseat& s : seats)
        n += s.machine != NET_COMPUTER ? 1 : 0;
    return n;
}

void netsession::begin(game& g, const std::vector<controller*>& localDevices)
{
    match = &g;
    // the k-th seat of this machine reads the device the lobby gave that seat
    local.clear();
    for (int i : seatsOf(myMachine)) {
        const unsigned d = lobby_.seats[i].machine == myMachine ? lobby_.seats[i].device : 0;
        local.push_back(d >= 1 && d <= localDevices.size() ? localDevices[d - 1] : nullptr);
    }
    finished = hostInLobby = false;
    for (controller& c : seatControllers)
        c.reset_state();
    for (int i = 0; i < NET_SEATS; i++)
        g.setController(i, seats[i].machine == NET_COMPUTER || seats[i].device == 0
                               ? nullptr : &seatControllers[seats[i].device - 1]);
    g.debugParticles = header_.debugParticles;
    next = produced = assembled = 0;
    pendingHand = 0;
    announcedDelay = delay;
    pendingDelay = 0;
    delayLog.assign(1, std::make_pair(0u, delay));
    rallyFrom = 0;
    inputsSent = 0;
    bundles.clear();
    myInputs.clear();
    myHashes.clear();
    snapshots.clear();
    for (machine& m : machines) {
        m.lastHeard = now;
        m.begun = false;
        m.wanted = 0;
        m.handed = false;
        m.inputs.clear();
        m.hashes.clear();
        m.packetSpan = m.packetsCame = 0;
        m.packetSeen = false;
    }
    lastBundleAt = now;
    justBegun = true;
    rallyKey = rallyKeyOf(g);
    rallies = 0;
    phase_ = PLAYING;
}

// this machine's humans, sampled for every step up to the input delay ahead
void netsession::sample()
{
    const std::vector<int> mine = seatsOf(myMachine);
    while (produced < next + delay) {
        std::vector<netpad> pads;
        for (size_t k = 0; k < mine.size(); k++)
            pads.push_back(k < local.size() && local[k] ? netpad::of(*local[k]) : netpad());
        if (hosting)
            machines[0].inputs[produced] = pads;
        else if (!mine.empty())
            myInputs[produced] = pads;
        produced++;
    }
}

void netsession::input(int m, const netmessage& msg)
{
    machine& x = machines[m];
    const size_t seatCount = seatsOf(m).size();
    if (phase_ != PLAYING)
        return;
    if (msg.machine != static_cast<unsigned>(m) || (msg.count && msg.seatCount != seatCount) ||
        msg.wanted > assembled || msg.first + msg.count > assembled + WINDOW) {
        drop(x.peer, REFUSE_DAMAGED, "The host dropped you: your machine sent steps outside "
             "the match");
        return;
    }
    x.lastHeard = now;
    countPacket(x, msg.packet);
    if (!x.begun)
        allowLoading(x.peer, false);   // it has built the match
    x.begun = true;
    x.wanted = std::max(x.wanted, msg.wanted);
    // a machine whose seats the computer took still watches the match
    for (unsigned s = 0; s < msg.count && !x.handed; s++) {
        const unsigned step = msg.first + s;
        if (step >= assembled && !x.inputs.count(step))
            x.inputs[step].assign(msg.pads.begin() + s * seatCount,
                                  msg.pads.begin() + (s + 1) * seatCount);
    }
}

void netsession::assemble()
{
    for (;;) {
        for (size_t m = 0; m < machines.size(); m++)
            if (!machines[m].handed && !seatsOf(m).empty() && !machines[m].inputs.count(assembled))
                return;
        bundle b;
        b.handed = pendingHand;
        pendingHand = 0;
        b.delay = static_cast<unsigned char>(pendingDelay);
        if (pendingDelay)
            announcedDelay = pendingDelay;
        pendingDelay = 0;
        for (int i = 0; i < NET_SEATS; i++) {
            if (seats[i].machine == NET_COMPUTER)
                continue;
            machine& x = machines[seats[i].machine];
            const std::vector<int> its = seatsOf(seats[i].machine);
            const size_t k = std::find(its.begin(), its.end(), i) - its.begin();
            b.pads.push_back(x.handed ? netpad() : x.inputs[assembled][k]);
        }
        for (machine& x : machines)
            x.inputs.erase(assembled);
        bundles[assembled] = b;
        assembled++;
    }
}

void netsession::sendBundles()
{
    unsigned oldest = next;
    for (size_t m = 1; m < machines.size(); m++) {
        machine& x = machines[m];
        if (!x.present || !x.peer)
            continue;
        // a machine a minute behind is not waited for
        x.wanted = std::max(x.wanted, assembled > WINDOW ? assembled - WINDOW : 0);
        oldest = std::min(oldest, x.wanted);
        const unsigned to = std::min(assembled, x.wanted + NET_MAX_STEPS);
        if (x.wanted >= to)
            continue;
        std::vector<unsigned char> handed, delays;
        std::vector<netpad> pads;
        for (unsigned s = x.wanted; s < to; s++) {
            const bundle& b = bundles[s];
            handed.push_back(b.handed);
            delays.push_back(b.delay);
            pads.insert(pads.end(), b.pads.begin(), b.pads.end());
        }
        send(x.peer, encodeBundle(x.wanted, humanSeats(), handed, pads, delays), false);
    }
    bundles.erase(bundles.begin(), bundles.lower_bound(oldest));
}

void netsession::handOver(int m, const char* what)
{
    machine& x = machines[m];
    notices.push_back(x.name + " " + what + "; the computer plays for them from step " +
                      std::to_string(assembled));
    x.handed = true;
    x.inputs.clear();
    for (int i : seatsOf(m))
        pendingHand |= 1u << i;
}

void netsession::countPacket(machine& x, unsigned number)
{
    // numbers run mod 2^16; an older or repeated packet tells nothing new
    const unsigned gone = (number - x.lastPacket) & 0xffff;
    if (x.packetSeen && (gone == 0 || gone >= 0x8000))
        return;
    x.packetSpan += x.packetSeen ? gone : 1;
    x.packetsCame++;
    x.lastPacket = number;
    x.packetSeen = true;
}

void netsession::rallyStarted()
{
    // the loss of the machine that lost most of its states in the rally just over; a short
    // rally says little, so the measure is blended with the rallies before
    static const unsigned FEWEST_PACKETS = 100;   // 2 s of steps and of packets
    double worst = -1;
    for (size_t m = 1; m < machines.size(); m++) {
        machine& x = machines[m];
        if (x.present && !x.handed && x.packetSpan >= FEWEST_PACKETS)
            worst = std::max(worst, 1.0 - static_cast<double>(x.packetsCame) / x.packetSpan);
        x.packetSpan = x.packetsCame = 0;
    }
    if (worst >= 0)
        loss = lossRallies++ ? (loss + worst) / 2 : worst;
    // a rally over before the last choice went into a bundle keeps that choice, and one of
    // under 2 s measured too little to change it: the first, over as the match begins, would
    // take the round trips grown while the machines built the match
    const bool brief = next - rallyFrom < FEWEST_PACKETS;
    rallyFrom = next;
    if (fixedDelay || pendingDelay || brief)
        return;
    unsigned d = chooseDelay();
    if (!plannedDelays.empty()) {
        d = std::max(1u, std::min(plannedDelays.front(), NET_MAX_DELAY));
        plannedDelays.erase(plannedDelays.begin());
    }
    pendingDelay = d != announcedDelay ? d : 0;
}

void netsession::takeBundles(const netmessage& m)
{
    const unsigned held = next + stepsHeld();
    if (m.seatCount != humanSeats() || m.first > held) {
        stop("The host sent bundles outside the match (step " + std::to_string(m.first) +
             ", expected at most " + std::to_string(held) + ")");
        return;
    }
    if (loading) {
        // every machine has built the match: the host had all their first inputs
        allowLoading(server, false);
        loading = false;
    }
    for (unsigned s = 0; s < m.count; s++) {
        const unsigned step = m.first + s;
        if (step < next || bundles.count(step))
            continue;
        bundle b;
        b.handed = m.handed[s];
        b.delay = m.delays[s];
        b.pads.assign(m.pads.begin() + s * m.seatCount, m.pads.begin() + (s + 1) * m.seatCount);
        bundles[step] = b;
    }
    // what the bundles hold, the host no longer needs
    myInputs.erase(myInputs.begin(), myInputs.lower_bound(next + stepsHeld()));
}

void netsession::sendInputs()
{
    const unsigned wanted = next + stepsHeld();
    const unsigned seatCount = seatsOf(myMachine).size();
    std::vector<netpad> pads;
    unsigned first = produced, count = 0;
    for (auto it = myInputs.begin(); it != myInputs.end() && count < NET_MAX_STEPS; ++it, count++) {
        if (count == 0)
            first = it->first;
        pads.insert(pads.end(), it->second.begin(), it->second.end());
    }
    send(server, encodeInput(myMachine, wanted, first, count, seatCount, pads, inputsSent++), false);
}

unsigned netsession::stepsHeld() const
{
    unsigned n = 0;
    for (auto it = bundles.find(next); it != bundles.end() && it->first == next + n; ++it)
        n++;
    return n;
}

inputsource::status netsession::beforeStep(game& g)
{
    if (phase_ != PLAYING)
        return END;
    const auto it = bundles.find(next);
    if (it == bundles.end())
        return WAIT;
    const bundle& b = it->second;
    // every machine takes the new delay at this step: states are sampled for the steps beyond
    // the last one sampled, so a longer delay has each machine sample its present state for
    // the steps it adds, and a shorter one waits until the steps already sent are taken
    if (b.delay && b.delay != delay) {
        delay = b.delay;
        delayLog.push_back(std::make_pair(next, delay));
    }
    for (int i = 0; i < NET_SEATS; i++)
        if (b.handed & (1u << i)) {
            g.setController(i, nullptr);
            notices.push_back("Team " + std::to_string(i / 2 + 1) + " Player " +
                              std::to_string(i % 2 + 1) + " is played by the computer from step " +
                              std::to_string(next));
        }
    size_t k = 0;
    for (int i = 0; i < NET_SEATS; i++)
        if (seats[i].machine != NET_COMPUTER && k < b.pads.size())
            b.pads[k++].applyTo(seatControllers[seats[i].device - 1]);
    // F1 and F2 stay local: the match keeps the host's test particles
    g.debugParticles = header_.debugParticles;
    return STEP;
}

void netsession::afterStep(game& g)
{
    if (!hosting)
        bundles.erase(next);
    next++;
    lastBundleAt = now;
    const long long key = rallyKeyOf(g);
    const bool rallyOver = key != rallyKey;
    if (rallyOver) {
        rallyKey = key;
        rallies++;
        if (hosting)
            rallyStarted();
    }
    if (!rallyOver && next % HASH_EVERY != 0)
        return;
    const unsigned long long h = g.stateHash();
    keepSnapshot(g);
    if (!hosting) {
        send(server, encodeHash(next, rallies, h), true);
        return;
    }
    myHashes[next] = h;
    myHashes.erase(myHashes.begin(), myHashes.lower_bound(next > WINDOW ? next - WINDOW : 0));
    for (size_t m = 1; m < machines.size() && phase_ == PLAYING; m++) {
        auto it = machines[m].hashes.find(next);
        if (it != machines[m].hashes.end()) {
            const unsigned long long theirs = it->second;
            machines[m].hashes.erase(it);
            checkHash(m, next, theirs);
        }
    }
}

void netsession::checkHash(int m, unsigned step, unsigned long long h)
{
    const auto mine = myHashes.find(step);
    if (mine == myHashes.end()) {
        if (step > next && machines[m].hashes.size() < WINDOW)
            machines[m].hashes[step] = h;
        return;
    }
    if (mine->second == h)
        return;
    // the rally the check belongs to: the host's count at that step
    unsigned rally = rallies;
    for (const snapshot& s : snapshots)
        if (s.step == step)
            rally = s.rally;
    const std::string text = "Out of sync at rally " + std::to_string(rally) + ", step " +
                             std::to_string(step) + " (" + me.name + " " + hex(mine->second) +
                             ", " + machines[m].name + " " + hex(h) + ")";
    broadcast(encodeStop(STOP_OUT_OF_SYNC, step, text), true);
    stopStep = step;
    stop(text);
}

void netsession::leave()
{
    if (phase_ == STOPPED)
        return;
    if (hosting) {
        broadcast(encodeStop(STOP_HOST_ENDED, next, "The host ended the match"), true);
        stop("You ended the match");
    } else {
        send(server, encodeLeave(), true);
        stop("You left the match");
    }
}

void netsession::devices(controller* out[REPLAY_DEVICES])
{
    for (int d = 0; d < REPLAY_DEVICES; d++)
        out[d] = &seatControllers[d];
}

// ---- figures ----

unsigned netsession::worstPingMs() const
{
    if (!hosting)
        return server ? server->roundTripTime : 0;
    unsigned worst = 0;
    for (size_t m = 1; m < machines.size(); m++)
        if (machines[m].present && machines[m].peer)
            worst = std::max(worst, static_cast<unsigned>(machines[m].peer->roundTripTime));
    return worst;
}

bool netsession::deliveredUpTo(unsigned s) const
{
    for (size_t m = 1; m < machines.size(); m++)
        if (machines[m].present && machines[m].peer && machines[m].wanted < s)
            return false;
    return true;
}

bool netsession::delivered() const
{
    for (size_t m = 1; m < machines.size(); m++)
        if (machines[m].present && machines[m].peer && machines[m].wanted < assembled)
            return false;
    return true;
}

std::string netsession::waitingFor(unsigned nowMs, unsigned& seconds) const
{
    seconds = 0;
    if (phase_ != PLAYING || bundles.count(next) || nowMs - lastBundleAt <= WAIT_SHOWN_MS)
        return std::string();
    std::string who = hostName;
    unsigned since = lastBundleAt;
    if (hosting)
        for (size_t m = 1; m < machines.size(); m++)
            if (!machines[m].handed && !seatsOf(m).empty() && !machines[m].inputs.count(assembled)) {
                who = machines[m].name;
                since = std::min(since, machines[m].lastHeard);
                break;
            }
    seconds = (nowMs - since) / 1000;
    return who;
}

unsigned long long netsession::bytesSent() const
{
    return net ? net->totalSentData : 0;
}

std::string netsession::cornerLine() const
{
    char line[96];
    snprintf(line, sizeof line, "Delay %u (%u ms), ping %u ms", delay, delay * 20, worstPingMs());
    return line;
}

// ---- out of sync: what each machine keeps of its last checks ----

void netsession::keepSnapshot(game& g)
{
    snapshot s;
    s.step = next;
    s.rally = rallies;
    char line[256];
    snprintf(line, sizeof line, "step %u\nrally %u\nhash %016llx\nscore %d %d\nrounds %d %d\n"
             "state %d\ntouches %d\n", next, rallies, g.stateHash(), g.score[0], g.score[1],
             g.roundsWon[0], g.roundsWon[1], static_cast<int>(g.state), g.touches);
    s.text = line;
    const gameobject* objects[5] = { g.theBall, g.players[0], g.players[1], g.players[2],
                                     g.players[3] };
    for (int i = 0; i < 5; i++) {
        if (!objects[i])
            continue;
        const vector3d& p = objects[i]->pos;
        const vector3d& v = objects[i]->vel;
        snprintf(line, sizeof line, "%s %.9g %.9g %.9g velocity %.9g %.9g %.9g\n",
                 i == 0 ? "ball" : ("player" + std::to_string(i - 1)).c_str(), p.x, p.y, p.z,
                 v.x, v.y, v.z);
        s.text += line;
    }
    s.sand.assign(g.theField->heightMap, g.theField->heightMap + 512 * 512);
    snapshots.push_back(s);
    if (snapshots.size() > KEPT_SNAPSHOTS)
        snapshots.erase(snapshots.begin());
}

bool netsession::dump(std::string& text) const
{
    for (const snapshot& s : snapshots) {
        if (s.step != stopStep)
            continue;
        text = s.text;
        // the court's cells, one line per row of 512
        for (int y = 0; y < 512; y++) {
            text += "sand " + std::to_string(y) + ":";
            for (int x = 0; x < 512; x++)
                text += " " + std::to_string(s.sand[y * 512 + x]);
            text += "\n";
        }
        return true;
    }
    return false;
}

bool netsession::writeDump(const std::string& recording) const
{
    std::string text;
    if (recording.empty() || !dump(text))
        return false;
    FILE* f = fopen((recording + ".dump").c_str(), "w");
    if (!f)
        return false;
    const bool whole = fputs(text.c_str(), f) >= 0;
    return fclose(f) == 0 && whole;
}

// ---- the machine ----

static void hashFolder(const std::string& path, unsigned long long& h)
{
    DIR* d = opendir(path.c_str());
    if (!d)
        return;
    std::vector<std::string> names;
    while (dirent* e = readdir(d))
        if (e->d_name[0] != '.')
            names.push_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    const auto mix = [&h](const char* p, size_t n) {
        for (size_t i = 0; i < n; i++)
            h = (h ^ static_cast<unsigned char>(p[i])) * 1099511628211ULL;
    };
    for (const std::string& name : names) {
        const std::string full = path + "/" + name;
        struct stat st;
        if (stat(full.c_str(), &st) != 0)
            continue;
        mix(name.c_str(), name.size() + 1);
        if (S_ISDIR(st.st_mode)) {
            hashFolder(full, h);
            continue;
        }
        FILE* f = fopen(full.c_str(), "rb");
        if (!f)
            continue;
        char buf[65536];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0)
            mix(buf, n);
        fclose(f);
    }
}

unsigned long long gameDataHash()
{
    struct stat st;
    if (stat("data", &st) != 0)
        return 0;
    unsigned long long h = 14695981039346656037ULL;
    hashFolder("data", h);
    return h;
}

std::string loginName()
{
    const char* user = getenv("USER");
    if (user && *user)
        return std::string(user).substr(0, 32);
    const passwd* pw = getpwuid(getuid());
    return pw && pw->pw_name ? std::string(pw->pw_name).substr(0, 32) : "Player";
}

