#include "netfind.h"

#include <map>
#include <enet/enet.h>

static const char QUESTION[] = "TIBREL?";
static const char ANSWER[] = "TIBREL!";
static const size_t MAX_NAME = 32;   // bytes of a name in an answer

static std::map<ENetHost*, const netfindanswer*> g_answering;

static int ENET_CALLBACK intercept(ENetHost* h, ENetEvent*)
{
    if (h->receivedDataLength != sizeof QUESTION - 1 ||
        std::string(reinterpret_cast<const char*>(h->receivedData), h->receivedDataLength) != QUESTION)
        return 0;   // ENet's own packet
    const auto it = g_answering.find(h);
    if (it != g_answering.end() && it->second->answering()) {
        const std::string a = encodeFindAnswer(it->second->answerName(), it->second->answerMachines());
        ENetBuffer b;
        b.data = const_cast<char*>(a.data());
        b.dataLength = a.size();
        enet_socket_send(h->socket, &h->receivedAddress, &b, 1);
    }
    return 1;
}

void answerFinders(ENetHost* h, const netfindanswer* who)
{
    g_answering[h] = who;
    h->intercept = intercept;
}

void stopAnswering(ENetHost* h)
{
    g_answering.erase(h);
    if (h)
        h->intercept = nullptr;
}

std::string encodeFindAnswer(const std::string& name, int machines)
{
    return std::string(ANSWER) + static_cast<char>('0' + (machines & 7)) + name.substr(0, MAX_NAME);
}

bool decodeFindAnswer(const std::string& bytes, std::string& name, int& machines)
{
    const size_t head = sizeof ANSWER - 1;
    if (bytes.size() < head + 1 || bytes.size() > head + 1 + MAX_NAME || bytes.compare(0, head, ANSWER) != 0)
        return false;
    const char m = bytes[head];
    if (m < '0' || m > '4')
        return false;
    for (size_t i = head + 1; i < bytes.size(); i++)
        if (static_cast<unsigned char>(bytes[i]) < 32 || bytes[i] == 127)
            return false;   // a name is printable
    machines = m - '0';
    name = bytes.substr(head + 1);
    return true;
}

bool netfinder::open(int port, const std::string& to)
{
    ENetAddress a;
    if (enet_initialize() != 0 || enet_address_set_host_ip(&a, to.c_str()) != 0)
        return false;
    const ENetSocket s = enet_socket_create(ENET_SOCKET_TYPE_DATAGRAM);
    if (s == ENET_SOCKET_NULL)
        return false;
    enet_socket_set_option(s, ENET_SOCKOPT_NONBLOCK, 1);
    enet_socket_set_option(s, ENET_SOCKOPT_BROADCAST, 1);
    socket_ = s;
    target = a.host;
    port_ = port;
    return true;
}

netfinder::~netfinder()
{
    if (socket_ != -1)
        enet_socket_destroy(socket_);
}

void netfinder::poll(unsigned nowMs)
{
    if (socket_ == -1)
        return;
    if (asked < MAX_QUESTIONS && (asked == 0 || nowMs - askedAt >= 1000)) {
        ENetAddress a;
        a.host = target;
        a.port = static_cast<enet_uint16>(port_);
        ENetBuffer b;
        b.data = const_cast<char*>(QUESTION);
        b.dataLength = sizeof QUESTION - 1;
        enet_socket_send(socket_, &a, &b, 1);
        asked++;
        askedAt = nowMs;
    }
    char data[128];
    for (int k = 0; k < 16; k++) {   // a bounded read: a flood cannot hold the frame
        ENetAddress from;
        ENetBuffer b;
        b.data = data;
        b.dataLength = sizeof data;
        const int n = enet_socket_receive(socket_, &from, &b, 1);
        if (n <= 0)
            break;
        netfound f;
        if (!decodeFindAnswer(std::string(data, n), f.name, f.machines))
            continue;
        char ip[64];
        if (enet_address_get_host_ip(&from, ip, sizeof ip) != 0)
            continue;
        f.address = ip;
        f.port = from.port;
        bool known = false;
        for (netfound& m : matches)
            if (m.address == f.address && m.port == f.port) {
                m = f;
                known = true;
            }
        if (!known && matches.size() < 16)
            matches.push_back(f);
    }
}
