// The online match's packets: every message survives encoding and decoding, and the decoder
// refuses damaged ones (cut short, counts beyond the packet, step ranges past 2^32) with a
// reason instead of reading past the packet's end. The fuzz run is meant for the sanitizer
// build, where any stray read is a report.
#include <cstring>
#include <random>
#include <string>
#include <vector>
#include <gtest/gtest.h>
#include "netprotocol.h"

namespace {

bool decode(const std::string& bytes, netmessage& m, std::string& why)
{
    // a copy of exactly the packet's size, so any read past it is caught by the sanitizers
    std::vector<unsigned char> copy(bytes.begin(), bytes.end());
    return decodeMessage(copy.empty() ? nullptr : copy.data(), copy.size(), m, why);
}

netpad pad(unsigned dirs, unsigned buttons, int x, int y)
{
    netpad p;
    p.dirs = dirs;
    p.buttons = buttons;
    p.axisX = x;
    p.axisY = y;
    return p;
}

std::vector<netpad> somePads()
{
    return { pad(1, 0, 0, 0), pad(10, 3, 0, 0), pad(0, 0x8001, 0, 0), pad(4, 2, -32768, 32768),
             pad(0, 0, 0, 0), pad(15, 0xffff, 123, -7) };
}

TEST(NetProtocol, EveryMessageReadsBackAsWritten)
{
    netmessage m;
    std::string why;
    ASSERT_TRUE(decode(encodeHello("Tibrel 1.0.0", 0x1234567890abcdefULL, "anna", { 1, 3 }), m, why)) << why;
    EXPECT_EQ(m.kind, MSG_HELLO);
    EXPECT_EQ(m.protocol, unsigned(NET_PROTOCOL_VERSION));
    EXPECT_EQ(m.version, "Tibrel 1.0.0");
    EXPECT_EQ(m.dataHash, 0x1234567890abcdefULL);
    EXPECT_EQ(m.name, "anna");
    EXPECT_EQ(m.devices, (std::vector<unsigned char>{ 1, 3 }));

    ASSERT_TRUE(decode(encodeWelcome(3, "host"), m, why)) << why;
    EXPECT_EQ(m.machine, 3u);
    EXPECT_EQ(m.name, "host");

    netseat seats[NET_SEATS];
    seats[1].machine = 2;
    seats[1].device = 2;
    ASSERT_TRUE(decode(encodeStart(5, seats, std::string("HEAD\0ER", 7)), m, why)) << why;
    EXPECT_EQ(m.delay, 5u);
    EXPECT_EQ(m.seats[0].machine, NET_COMPUTER);
    EXPECT_EQ(m.seats[1].machine, 2);
    EXPECT_EQ(m.seats[1].device, 2);
    EXPECT_EQ(m.header, std::string("HEAD\0ER", 7));

    const std::vector<netpad> pads = somePads();   // 3 steps of 2 seats
    ASSERT_TRUE(decode(encodeInput(1, 77, 0xfffffffcu, 3, 2, pads, 70001), m, why)) << why;
    EXPECT_EQ(m.machine, 1u);
    EXPECT_EQ(m.packet, 70001u % 65536);
    EXPECT_EQ(m.wanted, 77u);
    EXPECT_EQ(m.first, 0xfffffffcu);
    EXPECT_EQ(m.count, 3u);
    EXPECT_EQ(m.pads, pads);

    ASSERT_TRUE(decode(encodeInput(2, 9, 0, 0, 0, {}), m, why)) << why;
    EXPECT_EQ(m.count, 0u) << "an input without steps only says which bundle is wanted";

    ASSERT_TRUE(decode(encodeBundle(40, 3, { 0, 5 }, pads), m, why)) << why;
    EXPECT_EQ(m.first, 40u);
    EXPECT_EQ(m.seatCount, 3u);
    EXPECT_EQ(m.handed, (std::vector<unsigned char>{ 0, 5 }));
    EXPECT_EQ(m.delays, (std::vector<unsigned char>{ 0, 0 }));
    EXPECT_EQ(m.pads, pads);
    // a new input delay rides on the step it starts from, beside a seat handed over
    ASSERT_TRUE(decode(encodeBundle(40, 3, { 0, 5 }, pads, { 0, 8 }), m, why)) << why;
    EXPECT_EQ(m.handed, (std::vector<unsigned char>{ 0, 5 }));
    EXPECT_EQ(m.delays, (std::vector<unsigned char>{ 0, 8 }));
    EXPECT_EQ(m.pads, pads);

    ASSERT_TRUE(decode(encodeHash(300, 4, 0xdeadbeefcafef00dULL), m, why)) << why;
    EXPECT_EQ(m.first, 300u);
    EXPECT_EQ(m.rally, 4u);
    EXPECT_EQ(m.hash, 0xdeadbeefcafef00dULL);

    ASSERT_TRUE(decode(encodeStop(STOP_HOST_ENDED, 12, "The host ended the match"), m, why)) << why;
    EXPECT_EQ(m.reason, unsigned(STOP_HOST_ENDED));
    EXPECT_EQ(m.text, "The host ended the match");
    ASSERT_TRUE(decode(encodeRefuse(REFUSE_FULL, "full"), m, why)) << why;
    EXPECT_EQ(m.reason, unsigned(REFUSE_FULL));
    ASSERT_TRUE(decode(encodeLeave(), m, why)) << why;
    EXPECT_EQ(m.kind, MSG_LEAVE);
}

netlobbystate someLobby()
{
    netlobbystate l;
    netlobbymachine host, bob;
    host.present = true;
    host.name = "anna";
    host.devices = 2;
    host.ready = true;
    bob.name = "bob";
    bob.ping = 70000;   // sent as the most two bytes hold
    bob.devices = 1;
    l.machines = { host, bob };
    l.seats[0].machine = 0;
    l.seats[0].device = 2;
    l.seats[3].machine = 1;
    l.seats[3].device = 1;
    l.timeOfDay = 3;
    l.roundLength = 9;
    l.mode = 2;
    return l;
}

TEST(NetProtocol, TheLobbyAndReadinessReadBackAsWritten)
{
    netmessage m;
    std::string why;
    netlobbystate l = someLobby();
    ASSERT_TRUE(decode(encodeLobby(l), m, why)) << why;
    EXPECT_EQ(m.kind, MSG_LOBBY);
    l.machines[1].ping = 65535;
    EXPECT_TRUE(m.lobby == l);
    EXPECT_EQ(m.lobby.seats[3].machine, 1);
    EXPECT_FALSE(m.lobby.machines[1].present);

    ASSERT_TRUE(decode(encodeReady(true, 3), m, why)) << why;
    EXPECT_EQ(m.kind, MSG_READY);
    EXPECT_TRUE(m.ready);
    EXPECT_EQ(m.count, 3u);
}

TEST(NetProtocol, AKeyboardCostsOneBytePerStep)
{
    const std::vector<netpad> keys(8, pad(5, 1, 0, 0));
    const std::vector<netpad> stick(8, pad(0, 0, 9000, -9000));
    // 12 bytes before the states, the packet number after them
    EXPECT_EQ(encodeInput(0, 0, 0, 8, 1, keys).size(), 12u + 8u + 2u);
    EXPECT_EQ(encodeInput(0, 0, 0, 8, 1, stick).size(), 12u + 8u * 9u + 2u);
}

std::string withByte(std::string s, size_t at, unsigned char v)
{
    s[at] = static_cast<char>(v);
    return s;
}

// where seat i's machine byte sits in encodeLobby(someLobby())
size_t lobbySeatAt(int i)
{
    // kind, count, then per machine: present, name (2 + length), ping 2, devices, ready
    return 2 + (1 + 2 + 4 + 2 + 1 + 1) + (1 + 2 + 3 + 2 + 1 + 1) + 2 * i;
}

TEST(NetProtocol, DamagedPacketsAreRefusedWithAReason)
{
    const std::vector<netpad> pads = somePads();
    const std::string bundle = encodeBundle(7, 2, { 0, 0, 0 }, pads);
    const std::string input = encodeInput(1, 0, 7, 3, 2, pads);
    std::string sticky = encodeInput(0, 0, 0, 1, 1, { pad(0, 0, 40000, 0) });
    struct damagedcase {
        const char* what;
        std::string bytes;
        const char* reason;   // a part of the reason
    };
    const damagedcase cases[] = {
        { "empty", std::string(), "empty" },
        { "unknown kind", std::string(1, '\x63'), "unknown kind" },
        { "bundle cut short", bundle.substr(0, bundle.size() - 1), "cut short" },
        { "bundle step count beyond the packet", withByte(bundle, 5, 60), "cut short" },
        { "too many steps", withByte(bundle, 5, NET_MAX_STEPS + 1), "step count" },
        { "bundle without steps", withByte(bundle, 5, 0), "step count" },
        { "five seats", withByte(input, 11, 5), "seat count" },
        { "steps past 2^32", encodeBundle(0xfffffffeu, 2, { 0, 0, 0 }, pads), "past the end" },
        { "a seat beyond the fourth handed over", withByte(bundle, 7, 0x20), "beyond the fourth" },
        { "an input delay of 9", encodeBundle(7, 2, { 0, 0, 0 }, pads, { 0, 9, 0 }), "input delay of 9" },
        { "an input delay of 0 said to follow", withByte(withByte(bundle, 7, 0x10), 8, 0),
          "input delay of 0" },
        { "bytes left over", encodeLeave() + "x", "left over" },
        { "welcome to machine 9", withByte(encodeWelcome(1, "h"), 1, 9), "machine 9" },
        { "hello with a name longer than the packet", withByte(encodeHello("v", 1, "n", {}), 14, 200),
          "cut short" },
        { "stick out of range", sticky, "out of range" },
        { "a start whose header runs past the packet",
          withByte(encodeStart(2, std::vector<netseat>(4).data(), "abc"), 10, 9), "cut short" },
        { "a huge packet", std::string(NET_MAX_PACKET + 1, '\x05'), "bytes" },
        { "a lobby of five machines", withByte(encodeLobby(someLobby()), 1, 5), "machine count" },
        { "a lobby seat on a machine it does not list",
          withByte(encodeLobby(someLobby()), lobbySeatAt(3), 2), "seat bound" },
        { "a lobby seat on a fifth device",
          withByte(encodeLobby(someLobby()), lobbySeatAt(3) + 1, 5), "seat bound" },
        { "a lobby with a sixth game mode", withByte(encodeLobby(someLobby()),
          encodeLobby(someLobby()).size() - 1, 5), "out of range" },
        { "ready as 2", withByte(encodeReady(true, 1), 1, 2), "readiness" },
        { "ready with five devices", withByte(encodeReady(true, 1), 2, 5), "device count" },
    };
    for (const damagedcase& c : cases) {
        netmessage m;
        std::string why;
        EXPECT_FALSE(decode(c.bytes, m, why)) << c.what;
        EXPECT_NE(why.find(c.reason), std::string::npos) << c.what << ": " << why;
    }
}

TEST(NetProtocol, FuzzedPacketsNeverReadPastTheirEnd)
{
    std::vector<std::string> seeds = {
        encodeHello("Tibrel 1.0.0", 99, "bob", { 1, 2, 3 }),
        encodeStart(3, std::vector<netseat>(4).data(), std::string(300, 'h')),
        encodeInput(2, 50, 0xffffff00u, 6, 1, somePads()),
        encodeBundle(0xfffffff0u, 3, { 1, 2 }, somePads(), { 3, 0 }),
        encodeHash(1, 2, 3), encodeStop(STOP_OUT_OF_SYNC, 5, "x"), encodeRefuse(REFUSE_DATA, "y"),
        encodeLobby(someLobby()), encodeReady(false, 2),
    };
    std::mt19937 rng(20);
    int accepted = 0, refused = 0;
    for (int round = 0; round < 40000; round++) {
        std::string p = seeds[rng() % seeds.size()];
        switch (rng() % 4) {
        case 0:   // cut anywhere
            p.resize(rng() % (p.size() + 1));
            break;
        case 1:   // a few bytes set at random, counts and lengths among them
            for (int k = rng() % 4 + 1; k > 0; k--)
                p[rng() % p.size()] = static_cast<char>(rng());
            break;
        case 2:   // a count or step field set to an extreme
            if (p.size() > 9) {
                const unsigned v[] = { 0, 1, 0xff, 0xfe, 0x40, 0x41 };
                p[1 + rng() % 9] = static_cast<char>(v[rng() % 6]);
            }
            break;
        default:  // bytes appended
            p += std::string(rng() % 20, static_cast<char>(rng()));
        }
        netmessage m;
        std::string why;
        if (decode(p, m, why)) {
            accepted++;
            // what was accepted is sound: counts agree with what was read
            if (m.kind == MSG_BUNDLE || m.kind == MSG_INPUT) {
                EXPECT_LE(m.count, NET_MAX_STEPS);
                EXPECT_LE(m.seatCount, unsigned(NET_SEATS));
                EXPECT_EQ(m.pads.size(), size_t(m.count) * m.seatCount);
                EXPECT_LE(size_t(m.first) + m.count, 0x100000000ULL);
            }
            if (m.kind == MSG_LOBBY) {
                EXPECT_LE(m.lobby.machines.size(), size_t(NET_MAX_MACHINES));
                for (const netseat& seat : m.lobby.seats)
                    EXPECT_TRUE(seat.machine == NET_COMPUTER || seat.machine < m.lobby.machines.size());
            }
        } else {
            refused++;
            EXPECT_FALSE(why.empty());
        }
    }
    EXPECT_GT(refused, 10000);
    EXPECT_GT(accepted, 100);
}

}
