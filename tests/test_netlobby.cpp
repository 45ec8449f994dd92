// The lobby's rules without a window: seats filled, swapped and stepped through as the host
// assigns them, readiness, the lines every machine shows, and the address a player types or
// names with -host and -join.
#include <string>
#include <vector>
#include <gtest/gtest.h>
#include "support.h"
#include "netlobby.h"

namespace {

using testsupport::seatsText;

netlobbymachine machine(const char* name, unsigned devices, bool ready = true)
{
    netlobbymachine m;
    m.present = true;
    m.name = name;
    m.devices = devices;
    m.ready = ready;
    return m;
}

netseat seat(unsigned m, unsigned d)
{
    netseat s;
    s.machine = static_cast<unsigned char>(m);
    s.device = static_cast<unsigned char>(d);
    return s;
}


TEST(NetLobby, SeatsFollowTheMachinesAsTheyComeAndGo)
{
    netlobbystate l;
    l.machines = { machine("anna", 2) };
    fillSeats(l);
    EXPECT_EQ(seatsText(l), "0.1 0.2 C C ");
    l.machines.push_back(machine("bob", 1));
    fillSeats(l);
    EXPECT_EQ(seatsText(l), "0.1 0.2 1.1 C ");
    // anna brings one device less, then bob leaves: their seats go to the computer
    l.machines[0].devices = 1;
    fillSeats(l);
    EXPECT_EQ(seatsText(l), "0.1 C 1.1 C ");
    l.machines[1].present = false;
    fillSeats(l);
    EXPECT_EQ(seatsText(l), "0.1 C C C ");
    // a fifth device finds no seat and takes none
    l.machines = { machine("anna", 4), machine("bob", 1) };
    fillSeats(l);
    EXPECT_EQ(seatsText(l), "0.1 0.2 0.3 0.4 ");
}

TEST(NetLobby, TheHostAssignsSeatsBySwappingAndSteppingThrough)
{
    netlobbystate l;
    l.machines = { machine("anna", 1), machine("bob", 2) };
    fillSeats(l);
    ASSERT_EQ(seatsText(l), "0.1 1.1 1.2 C ");
    assignSeat(l, 3, seat(0, 1));   // anna to Team 2 Player 2: the seats swap
    EXPECT_EQ(seatsText(l), "C 1.1 1.2 0.1 ");
    assignSeat(l, 1, seat(1, 3));   // a device bob does not bring: the computer
    EXPECT_EQ(seatsText(l), "C C 1.2 0.1 ");
    // stepping seat 0 through every binding and back to the computer; a binding held by
    // another seat swaps with it
    std::vector<std::string> order;
    for (int k = 0; k < 5; k++) {
        assignSeat(l, 0, nextSeatChoice(l, 0));
        order.push_back(seatsText(l));
    }
    const std::vector<std::string> expected = { "0.1 C 1.2 C ", "1.1 C 1.2 C ", "1.2 C 1.1 C ",
                                                "C C 1.1 C ", "0.1 C 1.1 C " };
    EXPECT_EQ(order, expected);
}

TEST(NetLobby, TheLinesEveryMachineShows)
{
    netlobbystate l;
    l.machines = { machine("anna", 1), machine("bob", 2, false) };
    l.machines[1].ping = 37;
    fillSeats(l);
    EXPECT_EQ(seatLine(l, 0), "Team 1 Player 1: anna, Keyboard 1");
    EXPECT_EQ(seatLine(l, 2), "Team 2 Player 1: bob, Keyboard 2");
    EXPECT_EQ(seatLine(l, 3), "Team 2 Player 2: Computer");
    EXPECT_EQ(machineLine(l, 0), "anna   host   ready");
    EXPECT_EQ(machineLine(l, 1), "bob   37 ms   not ready");
    EXPECT_FALSE(everyoneReady(l));
    l.machines[1].ready = true;
    EXPECT_TRUE(everyoneReady(l));
    l.machines.push_back(machine("carl", 0, false));
    l.machines[2].present = false;   // one who left does not hold the start back
    EXPECT_TRUE(everyoneReady(l));
}

TEST(NetLobby, TypingAnAddress)
{
    std::string line;
    for (int k : std::vector<int>{ '1', '0', '.', 'a', ' ', '/', ':', '9', 200, -1 })
        typeAddressKey(line, k);
    EXPECT_EQ(line, "10.a:9");
    EXPECT_TRUE(typeAddressKey(line, 8));
    EXPECT_EQ(line, "10.a:");
    line.clear();
    EXPECT_FALSE(typeAddressKey(line, 8)) << "Backspace on an empty line";
    for (int i = 0; i < 100; i++)
        typeAddressKey(line, 'x');
    EXPECT_EQ(line.size(), MAX_ADDRESS);
}

TEST(NetLobby, AddressesAndPorts)
{
    struct addresscase {
        const char* text;
        bool ok;
        const char* address;
        int port;
    };
    const addresscase cases[] = {
        { "192.168.1.20", true, "192.168.1.20", NET_DEFAULT_PORT },
        { "beach-pc:4000", true, "beach-pc", 4000 },
        { "localhost:65535", true, "localhost", 65535 },
        { "h:0", false, "", 0 },
        { "h:65536", false, "", 0 },
        { "h:", false, "", 0 },
        { "h:12a", false, "", 0 },
        { ":4000", false, "", 0 },
        { "", false, "", 0 },
        { "a b", false, "", 0 },
        { "a:b:1", false, "", 0 },
    };
    for (const addresscase& c : cases) {
        std::string address = "before", why;
        int port = -1;
        EXPECT_EQ(parseAddress(c.text, address, port, why), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(address, c.address) << c.text;
            EXPECT_EQ(port, c.port) << c.text;
        } else {
            EXPECT_FALSE(why.empty()) << c.text;
            EXPECT_EQ(address, "before") << c.text << ": nothing taken from a bad address";
        }
    }
}

TEST(NetLobby, TheHostAndJoinSwitches)
{
    struct switchcase {
        std::vector<const char*> args;
        bool ok;
        int mode;
        int port;
        const char* address;
    };
    const switchcase cases[] = {
        { { "-w" }, true, onlineswitches::NONE, NET_DEFAULT_PORT, "" },
        { { "-host" }, true, onlineswitches::HOST, NET_DEFAULT_PORT, "" },
        { { "-host", "-w" }, true, onlineswitches::HOST, NET_DEFAULT_PORT, "" },
        { { "-host", "4000", "-w" }, true, onlineswitches::HOST, 4000, "" },
        { { "-host", "70000" }, false, 0, 0, "" },
        { { "-join", "10.0.0.2" }, true, onlineswitches::JOIN, NET_DEFAULT_PORT, "10.0.0.2" },
        { { "-w", "-join", "pc:5000" }, true, onlineswitches::JOIN, 5000, "pc" },
        { { "-join" }, false, 0, 0, "" },
        { { "-join", "-w" }, false, 0, 0, "" },
        { { "-join", "pc:x" }, false, 0, 0, "" },
        { { "-host", "-join", "pc" }, false, 0, 0, "" },
    };
    for (const switchcase& c : cases) {
        std::vector<char*> argv = { const_cast<char*>("tibrel") };
        std::string shown;
        for (const char* a : c.args) {
            argv.push_back(const_cast<char*>(a));
            shown += std::string(a) + " ";
        }
        onlineswitches s;
        std::string why;
        ASSERT_EQ(readOnlineSwitches(static_cast<int>(argv.size()), argv.data(), s, why), c.ok) << shown;
        if (!c.ok) {
            EXPECT_FALSE(why.empty()) << shown;
            continue;
        }
        EXPECT_EQ(s.mode, c.mode) << shown;
        EXPECT_EQ(s.port, c.port) << shown;
        EXPECT_EQ(s.address, c.address) << shown;
        // -host alone takes the stored port
        EXPECT_EQ(s.portGiven, s.mode == onlineswitches::HOST && c.port != NET_DEFAULT_PORT) << shown;
    }
}

}
