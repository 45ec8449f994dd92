#include "netprotocol.h"

#include <algorithm>
#include "replay.h"

// ---- bytes ----

// reads a packet, refusing to go past its end; the first failure is kept as the reason
namespace {
struct packetreader {
    const unsigned char* p;
    size_t size;
    size_t at = 0;
    std::string why;

    packetreader(const unsigned char* bytes, size_t n) : p(bytes), size(n) {}
    bool ok() const { return why.empty(); }
    bool fail(const std::string& reason)
    {
        if (why.empty())
            why = reason;
        return false;
    }
    bool has(size_t n, const char* what)
    {
        if (!ok())
            return false;
        if (n > size - at)
            return fail(std::string("cut short in ") + what);
        return true;
    }
    unsigned long long u(int bytes, const char* what)
    {
        if (!has(bytes, what))
            return 0;
        unsigned long long v = 0;
        for (int i = 0; i < bytes; i++)
            v |= static_cast<unsigned long long>(p[at + i]) << (8 * i);
        at += bytes;
        return v;
    }
    std::string text(const char* what)
    {
        const size_t n = u(2, what);
        if (!has(n, what))
            return std::string();
        std::string s(reinterpret_cast<const char*>(p + at), n);
        at += n;
        return s;
    }
};
}

// ---- pads ----

netpad netpad::of(const controller& c)
{
    netpad n;
    n.dirs = static_cast<unsigned char>(c.directionBits());
    n.buttons = static_cast<unsigned short>(c.buttonBits());
    n.axisX = c.axisX;
    n.axisY = c.axisY;
    return n;
}

void netpad::applyTo(controller& c) const
{
    c.setBits(dirs, buttons);
    c.axisX = axisX;
    c.axisY = axisY;
}

static void putPad(std::string& out, const netpad& pad)
{
    const bool more = (pad.buttons & ~3u) != 0;
    const bool axes = pad.axisX != 0 || pad.axisY != 0;
    putU(out, (pad.dirs & 15) | ((pad.buttons & 3) << 4) | (more ? 64 : 0) | (axes ? 128 : 0), 1);
    if (more)
        putU(out, pad.buttons, 2);
    if (axes) {
        putU(out, static_cast<unsigned>(pad.axisX), 4);
        putU(out, static_cast<unsigned>(pad.axisY), 4);
    }
}

static netpad getPad(packetreader& r)
{
    netpad pad;
    const unsigned flags = r.u(1, "a controller state");
    pad.dirs = flags & 15;
    pad.buttons = (flags >> 4) & 3;
    if (flags & 64)
        pad.buttons = r.u(2, "a controller state");
    if (flags & 128) {
        pad.axisX = static_cast<int>(static_cast<unsigned>(r.u(4, "a controller state")));
        pad.axisY = static_cast<int>(static_cast<unsigned>(r.u(4, "a controller state")));
        if (pad.axisX < -32768 || pad.axisX > 32768 || pad.axisY < -32768 || pad.axisY > 32768)
            r.fail("a stick axis out of range");
    }
    return pad;
}

// ---- encoders ----

static const unsigned BUNDLE_DELAY_FLAG = 0x10;   // a bundle step's flags: a new delay follows

std::string encodeHello(const std::string& version, unsigned long long dataHash,
                        const std::string& name, const std::vector<unsigned char>& devices)
{
    std::string out;
    putU(out, MSG_HELLO, 1);
    putU(out, NET_PROTOCOL_VERSION, 2);
    putStr(out, version);
    putU(out, dataHash, 8);
    putStr(out, name);
    const size_t n = std::min<size_t>(devices.size(), NET_SEATS);
    putU(out, n, 1);
    for (size_t i = 0; i < n; i++)
        putU(out, devices[i], 1);
    return out;
}

std::string encodeWelcome(unsigned machine, const std::string& hostName)
{
    std::string out;
    putU(out, MSG_WELCOME, 1);
    putU(out, machine, 1);
    putStr(out, hostName);
    return out;
}

std::string encodeRefuse(netrefusal reason, const std::string& text)
{
    std::string out;
    putU(out, MSG_REFUSE, 1);
    putU(out, reason, 1);
    putStr(out, text);
    return out;
}

std::string encodeStart(unsigned delay, const netseat seats[NET_SEATS], const std::string& header)
{
    std::string out;
    putU(out, MSG_START, 1);
    putU(out, delay, 1);
    for (int i = 0; i < NET_SEATS; i++) {
        putU(out, seats[i].machine, 1);
        putU(out, seats[i].device, 1);
    }
    putU(out, header.size(), 4);
    out += header;
    return out;
}

std::string encodeInput(unsigned machine, unsigned wanted, unsigned first, unsigned steps,
                        unsigned seats, const std::vector<netpad>& pads, unsigned packet)
{
    std::string out;
    putU(out, MSG_INPUT, 1);
    putU(out, machine, 1);
    putU(out, wanted, 4);
    putU(out, first, 4);
    putU(out, steps, 1);
    putU(out, seats, 1);
    for (const netpad& p : pads)
        putPad(out, p);
    putU(out, packet & 0xffff, 2);
    return out;
}

std::string encodeBundle(unsigned first, unsigned seats, const std::vector<unsigned char>& handed,
                         const std::vector<netpad>& pads, const std::vector<unsigned char>& delays)
{
    std::string out;
    putU(out, MSG_BUNDLE, 1);
    putU(out, first, 4);
    putU(out, handed.size(), 1);
    putU(out, seats, 1);
    for (size_t s = 0; s < handed.size(); s++) {
        const unsigned delay = s < delays.size() ? delays[s] : 0;
        putU(out, handed[s] | (delay ? BUNDLE_DELAY_FLAG : 0), 1);
        if (delay)
            putU(out, delay, 1);
        for (unsigned k = 0; k < seats; k++)
            putPad(out, pads[s * seats + k]);
    }
    return out;
}

std::string encodeHash(unsigned step, unsigned rally, unsigned long long hash)
{
    std::string out;
    putU(out, MSG_HASH, 1);
    putU(out, step, 4);
    putU(out, rally, 4);
    putU(out, hash, 8);
    return out;
}

std::string encodeStop(netstop reason, unsigned step, const std::string& text)
{
    std::string out;
    putU(out, MSG_STOP, 1);
    putU(out, reason, 1);
    putU(out, step, 4);
    putStr(out, text);
    return out;
}

std::string encodeLeave()
{
    return std::string(1, static_cast<char>(MSG_LEAVE));
}

std::string encodeLobby(const netlobbystate& l)
{
    std::string out;
    putU(out, MSG_LOBBY, 1);
    const size_t n = std::min<size_t>(l.machines.size(), NET_MAX_MACHINES);
    putU(out, n, 1);
    for (size_t i = 0; i < n; i++) {
        const netlobbymachine& m = l.machines[i];
        putU(out, m.present ? 1 : 0, 1);
        putStr(out, m.name);
        putU(out, std::min(m.ping, 65535u), 2);
        putU(out, m.devices, 1);
        putU(out, m.ready ? 1 : 0, 1);
    }
    for (const netseat& s : l.seats) {
        putU(out, s.machine, 1);
        putU(out, s.device, 1);
    }
    putU(out, l.timeOfDay, 1);
    putU(out, l.roundLength, 1);
    putU(out, l.mode, 1);
    return out;
}

std::string encodeReady(bool ready, unsigned devices)
{
    std::string out;
    putU(out, MSG_READY, 1);
    putU(out, ready ? 1 : 0, 1);
    putU(out, devices, 1);
    return out;
}

bool netlobbystate::operator==(const netlobbystate& o) const
{
    if (machines.size() != o.machines.size() || timeOfDay != o.timeOfDay ||
        roundLength != o.roundLength || mode != o.mode)
        return false;
    for (size_t i = 0; i < machines.size(); i++) {
        const netlobbymachine &a = machines[i], &b = o.machines[i];
        if (a.present != b.present || a.name != b.name || a.ping != b.ping ||
            a.devices != b.devices || a.ready != b.ready)
            return false;
    }
    for (int i = 0; i < NET_SEATS; i++)
        if (seats[i].machine != o.seats[i].machine || seats[i].device != o.seats[i].device)
            return false;
    return true;
}

// a yes or no byte
static bool getFlag(packetreader& r, const char* what)
{
    const unsigned v = r.u(1, what);
    if (v > 1)
        r.fail(std::string(what) + " of " + std::to_string(v));
    return v == 1;
}

static void readLobby(packetreader& r, netlobbystate& l)
{
    const unsigned n = r.u(1, "the machine count");
    if (n > NET_MAX_MACHINES)
        r.fail("a machine count of " + std::to_string(n));
    for (unsigned i = 0; i < n && r.ok(); i++) {
        netlobbymachine m;
        m.present = getFlag(r, "a machine's presence");
        m.name = r.text("a machine's name");
        m.ping = r.u(2, "a ping");
        m.devices = r.u(1, "a machine's devices");
        if (r.ok() && m.devices > NET_SEATS)
            r.fail("a device count of " + std::to_string(m.devices));
        m.ready = getFlag(r, "a machine's readiness");
        l.machines.push_back(m);
    }
    for (int i = 0; i < NET_SEATS && r.ok(); i++) {
        l.seats[i].machine = r.u(1, "the seats");
        l.seats[i].device = r.u(1, "the seats");
        const bool computer = l.seats[i].machine == NET_COMPUTER;
        if (r.ok() && (computer ? l.seats[i].device != 0
                                : l.seats[i].machine >= n || l.seats[i].device < 1 ||
                                  l.seats[i].device > NET_SEATS))
            r.fail("a seat bound to machine " + std::to_string(l.seats[i].machine) +
                   ", device " + std::to_string(l.seats[i].device));
    }
    l.timeOfDay = r.u(1, "the time of day");
    l.roundLength = r.u(1, "the round length");
    l.mode = r.u(1, "the game mode");
    if (r.ok() && (l.timeOfDay > 3 || l.roundLength > 9 || l.mode > 2))
        r.fail("match settings out of range");
}

// ---- decoder ----

// the step count and seat count of an INPUT or BUNDLE, checked before anything is read by them
static bool readRange(packetreader& r, netmessage& m)
{
    const unsigned steps = r.u(1, "the step count");
    m.count = steps;
    m.seatCount = r.u(1, "the seat count");
    if (!r.ok())
        return false;
    if ((steps == 0 && m.kind == MSG_BUNDLE) || steps > NET_MAX_STEPS)
        return r.fail("a step count of " + std::to_string(steps));
    if (m.seatCount > NET_SEATS)
        return r.fail("a seat count of " + std::to_string(m.seatCount));
    if (m.first > 0xffffffffu - steps)
        return r.fail("steps past the end of the step counter");
    // every pad is at least one byte, every bundle step one more
    const size_t least = static_cast<size_t>(steps) * (m.seatCount + (m.kind == MSG_BUNDLE));
    if (!r.has(least, "the controller states"))
        return false;
    for (unsigned s = 0; s < steps && r.ok(); s++) {
        if (m.kind == MSG_BUNDLE) {
            const unsigned flags = r.u(1, "the handed-over seats");
            if ((flags & ~BUNDLE_DELAY_FLAG) >> NET_SEATS)
                return r.fail("handed-over seats beyond the fourth");
            m.handed.push_back(static_cast<unsigned char>(flags & ~BUNDLE_DELAY_FLAG));
            const unsigned delay = flags & BUNDLE_DELAY_FLAG ? r.u(1, "the input delay") : 0;
            if (r.ok() && (flags & BUNDLE_DELAY_FLAG) && (delay < 1 || delay > NET_MAX_DELAY))
                return r.fail("an input delay of " + std::to_string(delay));
            m.delays.push_back(static_cast<unsigned char>(delay));
        }
        for (unsigned k = 0; k < m.seatCount && r.ok(); k++)
            m.pads.push_back(getPad(r));
    }
    return r.ok();
}

bool decodeMessage(const unsigned char* bytes, size_t size, netmessage& m, std::string& why)
{
    m = netmessage();
    if (!bytes || size == 0) {
        why = "an empty packet";
        return false;
    }
    if (size > NET_MAX_PACKET) {
        why = "a packet of " + std::to_string(size) + " bytes";
        return false;
    }
    packetreader r(bytes, size);
    const unsigned kind = r.u(1, "the kind");
    m.kind = static_cast<netkind>(kind);
    switch (kind) {
    case MSG_HELLO: {
        m.protocol = r.u(2, "the protocol version");
        m.version = r.text("the game version");
        m.dataHash = r.u(8, "the data hash");
        m.name = r.text("the name");
        const unsigned n = r.u(1, "the device count");
        if (n > NET_SEATS)
            r.fail("a device count of " + std::to_string(n));
        for (unsigned i = 0; i < n && r.ok(); i++)
            m.devices.push_back(static_cast<unsigned char>(r.u(1, "the devices")));
        break;
    }
    case MSG_WELCOME:
        m.machine = r.u(1, "the machine");
        if (r.ok() && m.machine >= NET_MAX_MACHINES)
            r.fail("machine " + std::to_string(m.machine));
        m.name = r.text("the host's name");
        break;
    case MSG_REFUSE:
        m.reason = r.u(1, "the reason");
        m.text = r.text("the reason's text");
        break;
    case MSG_START: {
        m.delay = r.u(1, "the input delay");
        for (int i = 0; i < NET_SEATS; i++) {
            m.seats[i].machine = r.u(1, "the seats");
            m.seats[i].device = r.u(1, "the seats");
            if (r.ok() && ((m.seats[i].machine >= NET_MAX_MACHINES && m.seats[i].machine != NET_COMPUTER)
                           || m.seats[i].device > 6))
                r.fail("a seat bound to machine " + std::to_string(m.seats[i].machine) +
                       ", device " + std::to_string(m.seats[i].device));
        }
        const size_t n = r.u(4, "the header length");
        if (r.has(n, "the replay header")) {
            m.header.assign(reinterpret_cast<const char*>(bytes + r.at), n);
            r.at += n;
        }
        break;
    }
    case MSG_INPUT:
        m.machine = r.u(1, "the machine");
        if (r.ok() && m.machine >= NET_MAX_MACHINES)
            r.fail("machine " + std::to_string(m.machine));
        m.wanted = r.u(4, "the bundle wanted");
        m.first = r.u(4, "the first step");
        if (readRange(r, m))
            m.packet = r.u(2, "the packet number");
        break;
    case MSG_BUNDLE:
        m.first = r.u(4, "the first step");
        readRange(r, m);
        break;
    case MSG_HASH:
        m.first = r.u(4, "the step");
        m.rally = r.u(4, "the rally");
        m.hash = r.u(8, "the hash");
        break;
    case MSG_STOP:
        m.reason = r.u(1, "the reason");
        m.first = r.u(4, "the step");
        m.text = r.text("the reason's text");
        break;
    case MSG_LEAVE:
        break;
    case MSG_LOBBY:
        readLobby(r, m.lobby);
        break;
    case MSG_READY:
        m.ready = getFlag(r, "the readiness");
        m.count = r.u(1, "the devices");
        if (r.ok() && m.count > NET_SEATS)
            r.fail("a device count of " + std::to_string(m.count));
        break;
    default:
        r.fail("an unknown kind " + std::to_string(kind));
    }
    if (r.ok() && r.at != size)
        r.fail(std::to_string(size - r.at) + " bytes left over");
    if (!r.ok()) {
        why = "damaged packet: " + r.why;
        return false;
    }
    return true;
}
