#ifndef TIBREL_NETPROTOCOL_H
#define TIBREL_NETPROTOCOL_H

#include <cstdint>
#include <string>
#include <vector>
#include "controller.h"

// The messages machines of an online match exchange, as bytes. Every message starts with its
// kind; numbers are little-endian, str is a u16 length and that many bytes. The decoder checks
// every length and count against the packet before it trusts it, so a damaged or hostile
// packet is refused with a reason and never read past its end.
//
//   HELLO   u16 protocol | str game version | u64 data hash | str name | u8 n, n x u8 device
//   WELCOME u8 machine | str host's name
//   REFUSE  u8 reason | str text
//   START   u8 input delay | 4 x (u8 machine, u8 device) | u32 n, n bytes of replay header
//   INPUT   u8 machine | u32 bundle wanted | u32 first step | u8 steps | u8 seats | pads |
//           u16 packet number (no steps: only the bundle wanted)
//   BUNDLE  u32 first step | u8 steps | u8 seats |
//           steps x (u8 flags, [u8 input delay], seats x pad)
//           flags: bits 0-3 the seats handed to the computer from this step, bit 4 the input
//           delay changes from this step and its new value (1 ... 8) follows
//   HASH    u32 step | u32 rally | u64 hash
//   STOP    u8 reason | u32 step | str text
//   LEAVE
//   LOBBY   u8 n, n x (u8 present, str name, u16 ping, u8 devices, u8 ready) |
//           4 x (u8 machine, u8 its device 1 ... 4) | u8 time of day | u8 round length | u8 mode
//   READY   u8 ready | u8 devices
// A pad is one controller state: u8 flags (bits 0-3 left right up down, 4 jump, 5 hit,
// 6 more buttons follow as u16, 7 axes follow as two i32), so a keyboard costs one byte.

static const int NET_PROTOCOL_VERSION = 2;
static const int NET_DEFAULT_PORT = 28617;
static const int NET_SEATS = 4;
static const int NET_MAX_MACHINES = 4;
static const unsigned NET_MAX_STEPS = 64;        // steps one INPUT or BUNDLE carries at most
static const unsigned char NET_COMPUTER = 0xff;  // the machine of a seat nobody takes
static const size_t NET_MAX_PACKET = 4096;       // bytes; anything larger is refused
static const unsigned NET_MAX_DELAY = 8;         // steps of input delay at most (160 ms)

enum netkind {
    MSG_HELLO = 1, MSG_WELCOME, MSG_REFUSE, MSG_START, MSG_INPUT, MSG_BUNDLE, MSG_HASH, MSG_STOP,
    MSG_LEAVE, MSG_LOBBY, MSG_READY
};

enum netrefusal {
    REFUSE_VERSION = 1, REFUSE_PROTOCOL, REFUSE_DATA, REFUSE_FULL, REFUSE_RUNNING, REFUSE_DAMAGED
};

enum netstop {
    STOP_HOST_ENDED = 1, STOP_OUT_OF_SYNC, STOP_MATCH_OVER, STOP_DAMAGED
};

// why a host disconnects, carried in the disconnection itself (ENet's disconnect data), as a
// packet sent just before it may be thrown away unread; 0 is a connection lost without a word
enum netbye {
    BYE_LOBBY_CLOSED = 1
};

// one controller state as the network carries it
struct netpad {
    unsigned char dirs = 0;       // bits 0-3: left, right, up, down
    unsigned short buttons = 0;   // bit i: button[i]
    int axisX = 0, axisY = 0;     // -32768 ... 32768

    static netpad of(const controller& c);
    // into c, its dead zone kept
    void applyTo(controller& c) const;
    bool operator==(const netpad& o) const
    {
        return dirs == o.dirs && buttons == o.buttons && axisX == o.axisX && axisY == o.axisY;
    }
    bool operator!=(const netpad& o) const { return !(*this == o); }
};

struct netseat {
    unsigned char machine = NET_COMPUTER;
    unsigned char device = 0;     // the replay device (1 ... 6) the seat is bound to, 0 none
};

// one machine as the lobby shows it
struct netlobbymachine {
    bool present = false;
    std::string name;
    unsigned ping = 0;            // ms
    unsigned devices = 0;         // local devices it brings, 0 ... 4
    bool ready = false;
};

// The lobby the host keeps and sends to every machine: machines by number, which machine's
// which device takes each seat, and the match settings the host chose.
struct netlobbystate {
    std::vector<netlobbymachine> machines;   // at most NET_MAX_MACHINES
    netseat seats[NET_SEATS];                // device: the machine's own device, 1 ... 4
    unsigned timeOfDay = 1;                  // the main menu's choice indexes
    unsigned roundLength = 2;
    unsigned mode = 1;
    bool operator==(const netlobbystate& o) const;
    bool operator!=(const netlobbystate& o) const { return !(*this == o); }
};

// One decoded message: the fields of its kind are set, the others stay empty.
struct netmessage {
    netkind kind = MSG_LEAVE;
    // HELLO
    unsigned protocol = 0;
    std::string version;
    unsigned long long dataHash = 0;
    std::string name;
    std::vector<unsigned char> devices;
    // WELCOME, INPUT: the machine; REFUSE, STOP: the reason
    unsigned machine = 0;
    unsigned reason = 0;
    std::string text;
    // START
    unsigned delay = 0;
    netseat seats[NET_SEATS];
    std::string header;
    // INPUT, BUNDLE, HASH, STOP
    unsigned wanted = 0;          // INPUT: the first bundle the machine does not hold
    unsigned first = 0;           // the first step carried (HASH, STOP: the step)
    unsigned count = 0;           // INPUT, BUNDLE: steps carried (0 ... NET_MAX_STEPS);
                                  // READY: the devices brought
    unsigned seatCount = 0;
    std::vector<unsigned char> handed;      // BUNDLE: per step, the seats handed to the computer
    std::vector<unsigned char> delays;      // BUNDLE: per step, the input delay from this step
                                            // on, 0 where it stays
    unsigned packet = 0;                    // INPUT: the sender's count of INPUTs, mod 2^16
    std::vector<netpad> pads;               // steps x seatCount, step by step
    unsigned rally = 0;
    unsigned long long hash = 0;
    // LOBBY; READY
    netlobbystate lobby;
    bool ready = false;
};

// Encoders: each gives the whole packet.
std::string encodeHello(const std::string& version, unsigned long long dataHash,
                        const std::string& name, const std::vector<unsigned char>& devices);
std::string encodeWelcome(unsigned machine, const std::string& hostName);
std::string encodeRefuse(netrefusal reason, const std::string& text);
std::string encodeStart(unsigned delay, const netseat seats[NET_SEATS], const std::string& header);
// pads holds steps x seats states, step by step
std::string encodeInput(unsigned machine, unsigned wanted, unsigned first, unsigned steps,
                        unsigned seats, const std::vector<netpad>& pads, unsigned packet = 0);
// delays: per step, the input delay from that step on, or 0; empty where none changes
std::string encodeBundle(unsigned first, unsigned seats, const std::vector<unsigned char>& handed,
                         const std::vector<netpad>& pads,
                         const std::vector<unsigned char>& delays = {});
std::string encodeHash(unsigned step, unsigned rally, unsigned long long hash);
std::string encodeStop(netstop reason, unsigned step, const std::string& text);
std::string encodeLeave();
std::string encodeLobby(const netlobbystate& l);
std::string encodeReady(bool ready, unsigned devices);

// Reads one packet. False, with a one-line reason, for anything the encoders never write:
// an unknown kind, a length or count beyond the packet, bytes left over, more than
// NET_MAX_STEPS steps or NET_SEATS seats, a step range past 2^32, an axis out of range.
bool decodeMessage(const unsigned char* bytes, size_t size, netmessage& out, std::string& why);

#endif
