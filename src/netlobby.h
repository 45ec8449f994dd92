#ifndef TIBREL_NETLOBBY_H
#define TIBREL_NETLOBBY_H

#include <string>
#include "netprotocol.h"

// The lobby's rules, apart from any window: who takes which seat, when the host may start,
// the lines every machine shows, and the address a player types or names on the command line.

// A machine's local devices, in the order it brings them: 1 Keyboard 1, 2 Keyboard 2,
// 3 Joystick 1, 4 Joystick 2
const char* localDeviceName(unsigned device);
// Seats bound to a machine that left or a device it no longer brings go to the computer;
// then every device of a machine that has no seat takes the first seat the computer holds.
void fillSeats(netlobbystate& l);
// Seat i to s; a seat s held before takes seat i's old binding (the two swap).
void assignSeat(netlobbystate& l, int seat, netseat s);
// The binding after seat i's present one, as the host steps through them: the computer, then
// every device of every machine there, machine by machine.
netseat nextSeatChoice(const netlobbystate& l, int seat);
// every machine there says it is ready
bool everyoneReady(const netlobbystate& l);
// "Team 1 Player 2: anna, Keyboard 1" or "Team 2 Player 1: Computer"
std::string seatLine(const netlobbystate& l, int seat);
// "anna   12 ms   ready" ("host" in place of the ping for machine 0)
std::string machineLine(const netlobbystate& l, unsigned m);

static const size_t MAX_ADDRESS = 63;   // characters of a typed address[:port]
// A key typed into the address line: digits, letters, dots, colons and hyphens are added
// (up to MAX_ADDRESS), 8 (Backspace) takes the last one away. True when the line changed.
bool typeAddressKey(std::string& line, int key);
// "ADDR[:PORT]" into its address and port (NET_DEFAULT_PORT when none); false with the
// reason for an empty address, a character no address has, or a port outside 1 ... 65535
bool parseAddress(const std::string& text, std::string& address, int& port, std::string& why);

// The command line's "-host [PORT]" and "-join ADDR[:PORT]".
struct onlineswitches {
    enum { NONE, HOST, JOIN } mode = NONE;
    int port = NET_DEFAULT_PORT;
    bool portGiven = false;   // -host without a port takes the setting net/port
    std::string address;
};
// false with a one-line reason for a switch without its address, a bad port, or both switches
bool readOnlineSwitches(int argc, char** argv, onlineswitches& s, std::string& why);

#endif
