#include "netlobby.h"

#include <cctype>
#include <cstring>

const char* localDeviceName(unsigned device)
{
    static const char* const names[] = { "Keyboard 1", "Keyboard 2", "Joystick 1", "Joystick 2" };
    return device >= 1 && device <= 4 ? names[device - 1] : "no device";
}

static bool holds(const netlobbystate& l, const netseat& s)
{
    return s.machine != NET_COMPUTER && s.machine < l.machines.size() &&
           l.machines[s.machine].present && s.device >= 1 &&
           s.device <= l.machines[s.machine].devices;
}

static int seatOf(const netlobbystate& l, unsigned machine, unsigned device)
{
    for (int i = 0; i < NET_SEATS; i++)
        if (l.seats[i].machine == machine && l.seats[i].device == device)
            return i;
    return -1;
}

void fillSeats(netlobbystate& l)
{
    for (netseat& s : l.seats)
        if (!holds(l, s))
            s = netseat();
    for (unsigned m = 0; m < l.machines.size(); m++)
        for (unsigned d = 1; l.machines[m].present && d <= l.machines[m].devices; d++) {
            if (seatOf(l, m, d) >= 0)
                continue;
            for (netseat& s : l.seats)
                if (s.machine == NET_COMPUTER) {
                    s.machine = static_cast<unsigned char>(m);
                    s.device = static_cast<unsigned char>(d);
                    break;
                }
        }
}

void assignSeat(netlobbystate& l, int seat, netseat s)
{
    if (seat < 0 || seat >= NET_SEATS)
        return;
    if (!holds(l, s))
        s = netseat();
    const int other = s.machine == NET_COMPUTER ? -1 : seatOf(l, s.machine, s.device);
    if (other >= 0)
        l.seats[other] = l.seats[seat];
    l.seats[seat] = s;
}

netseat nextSeatChoice(const netlobbystate& l, int seat)
{
    // every binding in order: the computer, then machine by machine, device by device
    std::vector<netseat> all(1);
    for (unsigned m = 0; m < l.machines.size(); m++)
        for (unsigned d = 1; l.machines[m].present && d <= l.machines[m].devices; d++) {
            netseat s;
            s.machine = static_cast<unsigned char>(m);
            s.device = static_cast<unsigned char>(d);
            all.push_back(s);
        }
    const netseat now = seat >= 0 && seat < NET_SEATS ? l.seats[seat] : netseat();
    for (size_t k = 0; k < all.size(); k++)
        if (all[k].machine == now.machine && all[k].device == now.device)
            return all[(k + 1) % all.size()];
    return all[0];
}

bool everyoneReady(const netlobbystate& l)
{
    for (const netlobbymachine& m : l.machines)
        if (m.present && !m.ready)
            return false;
    return true;
}

std::string seatLine(const netlobbystate& l, int seat)
{
    std::string line = "Team " + std::to_string(seat / 2 + 1) + " Player " +
                       std::to_string(seat % 2 + 1) + ": ";
    const netseat& s = l.seats[seat];
    if (!holds(l, s))
        return line + "Computer";
    return line + l.machines[s.machine].name + ", " + localDeviceName(s.device);
}

std::string machineLine(const netlobbystate& l, unsigned m)
{
    const netlobbymachine& x = l.machines[m];
    const std::string ping = m == 0 ? "host" : std::to_string(x.ping) + " ms";
    return x.name + "   " + ping + "   " + (x.ready ? "ready" : "not ready");
}

static bool addressChar(int c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
           c == '.' || c == ':' || c == '-';
}

bool typeAddressKey(std::string& line, int key)
{
    if (key == 8) {
        if (line.empty())
            return false;
        line.pop_back();
        return true;
    }
    if (!addressChar(key) || line.size() >= MAX_ADDRESS)
        return false;
    line += static_cast<char>(key);
    return true;
}

// a port of 1 ... 65535 in digits only
static bool readPort(const std::string& text, int& port)
{
    if (text.empty() || text.size() > 5)
        return false;
    long v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    if (v < 1 || v > 65535)
        return false;
    port = static_cast<int>(v);
    return true;
}

bool parseAddress(const std::string& text, std::string& address, int& port, std::string& why)
{
    const size_t colon = text.rfind(':');
    std::string host = text.substr(0, colon);
    int p = NET_DEFAULT_PORT;
    if (colon != std::string::npos && !readPort(text.substr(colon + 1), p)) {
        why = "The port after the colon must be a number from 1 to 65535";
        return false;
    }
    if (host.empty() || host.size() > MAX_ADDRESS) {
        why = "Type the host's address, e.g. 192.168.1.20 or 192.168.1.20:28617";
        return false;
    }
    for (char c : host)
        if (!addressChar(static_cast<unsigned char>(c)) || c == ':') {
            why = "An address has only letters, digits, dots and hyphens";
            return false;
        }
    address = host;
    port = p;
    return true;
}

bool readOnlineSwitches(int argc, char** argv, onlineswitches& s, std::string& why)
{
    s = onlineswitches();
    for (int i = 1; i < argc; i++) {
        const bool host = strcmp(argv[i], "-host") == 0, join = strcmp(argv[i], "-join") == 0;
        if (!host && !join)
            continue;
        if (s.mode != onlineswitches::NONE) {
            why = "-host and -join go alone: one of them, once";
            return false;
        }
        const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
        if (host) {
            s.mode = onlineswitches::HOST;
            // the port is optional: a following word that is not a number is another switch
            if (v && v[0] >= '0' && v[0] <= '9') {
                if (!readPort(v, s.port)) {
                    why = std::string("-host takes a port from 1 to 65535, not \"") + v + "\"";
                    return false;
                }
                s.portGiven = true;
                i++;
            }
        } else {
            s.mode = onlineswitches::JOIN;
            if (!v || v[0] == '-') {
                why = "-join needs the host's address, e.g. -join 192.168.1.20:28617";
                return false;
            }
            std::string reason;
            if (!parseAddress(v, s.address, s.port, reason)) {
                why = "-join " + std::string(v) + ": " + reason;
                return false;
            }
            i++;
        }
    }
    return true;
}
