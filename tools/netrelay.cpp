// A seeded UDP relay for the network tests: it sits between the machines of an online match
// on 127.0.0.1 and delays, jitters, drops, reorders and duplicates their packets, the same
// way for every run of one seed. Clients send to the relay's port; each client gets its own
// socket toward the host, so the host sees one address per client.
//
//   tibrel_netrelay --to HOST:PORT [--listen PORT] [--seed N] [--delay MS] [--jitter MS]
//                   [--loss PERCENT] [--reorder PERCENT] [--duplicate PERCENT]
//                   [--blackout SECONDS] [--limit SECONDS]
// The figures hold for each direction. SIGUSR1 starts a blackout (nothing passes) of the
// given length. It prints "port N" once listening and, at SIGTERM or the time limit (default
// 600 s), "relayed UP DOWN" bytes in each direction.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <queue>
#include <random>
#include <string>
#include <vector>

namespace {

volatile sig_atomic_t g_blackout = 0;
volatile sig_atomic_t g_end = 0;

void onBlackout(int) { g_blackout = 1; }
void onEnd(int) { g_end = 1; }

double nowMs()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

struct parcel {
    double at;             // ms when it is sent on
    unsigned long order;   // ties keep their order
    int socket;
    sockaddr_in to;
    std::string bytes;
    bool operator<(const parcel& o) const { return at != o.at ? at > o.at : order > o.order; }
};

struct client {
    sockaddr_in address;
    int socket;            // toward the host
};

bool sameAddress(const sockaddr_in& a, const sockaddr_in& b)
{
    return a.sin_addr.s_addr == b.sin_addr.s_addr && a.sin_port == b.sin_port;
}

int udpSocket(int port)
{
    const int s = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<unsigned short>(port));
    if (s < 0 || bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        perror("tibrel_netrelay: bind");
        exit(1);
    }
    return s;
}

}

int main(int argc, char** argv)
{
    int listenPort = 0;
    std::string to;
    unsigned long seed = 1;
    double delay = 0, jitter = 0, loss = 0, reorder = 0, duplicate = 0, blackout = 3, limit = 600;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        const char* v = argv[i + 1];
        if (a == "--listen") listenPort = atoi(v);
        else if (a == "--to") to = v;
        else if (a == "--seed") seed = strtoul(v, nullptr, 10);
        else if (a == "--delay") delay = atof(v);
        else if (a == "--jitter") jitter = atof(v);
        else if (a == "--loss") loss = atof(v) / 100;
        else if (a == "--reorder") reorder = atof(v) / 100;
        else if (a == "--duplicate") duplicate = atof(v) / 100;
        else if (a == "--blackout") blackout = atof(v);
        else if (a == "--limit") limit = atof(v);
        else {
            fprintf(stderr, "tibrel_netrelay: unknown switch %s\n", a.c_str());
            return 1;
        }
    }
    const size_t colon = to.rfind(':');
    if (colon == std::string::npos) {
        fprintf(stderr, "usage: tibrel_netrelay --to HOST:PORT [options]\n");
        return 1;
    }
    sockaddr_in host{};
    host.sin_family = AF_INET;
    host.sin_port = htons(static_cast<unsigned short>(atoi(to.c_str() + colon + 1)));
    if (inet_pton(AF_INET, to.substr(0, colon).c_str(), &host.sin_addr) != 1) {
        fprintf(stderr, "tibrel_netrelay: %s is not an IPv4 address\n", to.c_str());
        return 1;
    }
    signal(SIGUSR1, onBlackout);
    signal(SIGTERM, onEnd);
    signal(SIGINT, onEnd);

    const int front = udpSocket(listenPort);
    sockaddr_in bound{};
    socklen_t len = sizeof bound;
    getsockname(front, reinterpret_cast<sockaddr*>(&bound), &len);
    printf("port %d\n", ntohs(bound.sin_port));
    fflush(stdout);

    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> unit(0, 1);
    std::vector<client> clients;
    std::priority_queue<parcel> queue;
    unsigned long order = 0;
    unsigned long long bytes[2] = { 0, 0 };   // toward the host, toward the clients
    double darkUntil = 0;
    const double start = nowMs();

    // what the network does to one packet going one way
    const auto pass = [&](int socket, const sockaddr_in& dest, const char* data, size_t n, int way) {
        bytes[way] += n;
        const double now = nowMs();
        if (now < darkUntil || unit(rng) < loss)
            return;
        const int copies = unit(rng) < duplicate ? 2 : 1;
        for (int c = 0; c < copies; c++) {
            double at = now + delay + (jitter > 0 ? (unit(rng) * 2 - 1) * jitter : 0);
            if (unit(rng) < reorder)
                at += 20 + delay / 2;   // held back, so the next ones overtake it
            queue.push(parcel{ std::max(at, now), order++, socket, dest, std::string(data, n) });
        }
    };

    char buf[65536];
    while (!g_end && nowMs() - start < limit * 1000) {
        if (g_blackout) {
            g_blackout = 0;
            darkUntil = nowMs() + blackout * 1000;
        }
        std::vector<pollfd> fds;
        fds.push_back(pollfd{ front, POLLIN, 0 });
        for (const client& c : clients)
            fds.push_back(pollfd{ c.socket, POLLIN, 0 });
        int wait = 10;
        if (!queue.empty())
            wait = std::max(0, std::min(wait, static_cast<int>(queue.top().at - nowMs())));
        poll(fds.data(), fds.size(), wait);
        if (fds[0].revents & POLLIN) {
            sockaddr_in from{};
            socklen_t fl = sizeof from;
            const ssize_t n = recvfrom(front, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &fl);
            if (n > 0) {
                size_t k = 0;
                while (k < clients.size() && !sameAddress(clients[k].address, from))
                    k++;
                if (k == clients.size() && clients.size() < 16)
                    clients.push_back(client{ from, udpSocket(0) });
                if (k < clients.size())
                    pass(clients[k].socket, host, buf, n, 0);
            }
        }
        for (size_t k = 0; k < clients.size(); k++) {
            if (!(fds[k + 1].revents & POLLIN))
                continue;
            const ssize_t n = recv(clients[k].socket, buf, sizeof buf, 0);
            if (n > 0)
                pass(front, clients[k].address, buf, n, 1);
        }
        while (!queue.empty() && queue.top().at <= nowMs()) {
            const parcel& p = queue.top();
            sendto(p.socket, p.bytes.data(), p.bytes.size(), 0,
                   reinterpret_cast<const sockaddr*>(&p.to), sizeof p.to);
            queue.pop();
        }
    }
    printf("relayed %llu %llu\n", bytes[0], bytes[1]);
    return 0;
}
