// The session facing a machine that sends damaged packets over a real ENet connection on
// 127.0.0.1: the host drops that machine with a reason it is sent, a client stops with the
// reason, and neither reads what the decoder refused.
#include <string>
#include <vector>
#include <enet/enet.h>
#include <gtest/gtest.h>
#include "support.h"
#include <SDL/SDL.h>
#include "game.h"
#include "main.h"
#include "netlobby.h"
#include "netsession.h"
#include "onlinemenu.h"

namespace {

using testsupport::seatsText;

netsession::identity me(const char* name)
{
    netsession::identity id;
    id.version = "Tibrel test";
    id.dataHash = 42;
    id.name = name;
    return id;
}

// a bare ENet end that sends whatever bytes it is given
struct rawend {
    ENetHost* host = nullptr;
    ENetPeer* peer = nullptr;
    std::string received;   // the last packet
    bool disconnected = false;

    ~rawend()
    {
        if (host)
            enet_host_destroy(host);
    }
    void pump()
    {
        ENetEvent e;
        while (enet_host_service(host, &e, 0) > 0) {
            if (e.type == ENET_EVENT_TYPE_CONNECT)
                peer = e.peer;
            if (e.type == ENET_EVENT_TYPE_RECEIVE) {
                received.assign(reinterpret_cast<const char*>(e.packet->data), e.packet->dataLength);
                enet_packet_destroy(e.packet);
            }
            if (e.type == ENET_EVENT_TYPE_DISCONNECT)
                disconnected = true;
        }
    }
    void send(const std::string& bytes)
    {
        enet_peer_send(peer, 0, enet_packet_create(bytes.data(), bytes.size(), ENET_PACKET_FLAG_RELIABLE));
        enet_host_flush(host);
    }
};

// runs both ends for up to 3 s or until done() holds
template <class F>
void run(netsession& s, rawend& r, F done)
{
    for (int i = 0; i < 300 && !done(); i++) {
        s.poll(SDL_GetTicks() + 1);
        r.pump();
        SDL_Delay(10);
    }
}

// r listens on a free port as a host would and welcomes client into its lobby as machine 1
void welcome(rawend& r, netsession& client)
{
    ENetAddress a;
    a.host = ENET_HOST_ANY;
    a.port = 0;
    r.host = enet_host_create(&a, 1, 2, 0, 0);
    ASSERT_NE(r.host, nullptr);
    ENetAddress bound;
    ASSERT_EQ(enet_socket_get_address(r.host->socket, &bound), 0);
    ASSERT_TRUE(client.join("127.0.0.1", bound.port)) << client.message();
    run(client, r, [&] { return r.peer != nullptr && !r.received.empty(); });
    ASSERT_NE(r.peer, nullptr);
    r.send(encodeWelcome(1, "host"));
    run(client, r, [&] { return client.state() == netsession::LOBBY; });
    ASSERT_EQ(client.state(), netsession::LOBBY);
}

const std::string damaged[] = {
    std::string("\x05\x01\x00\x00\x00\x00\x00\x00\x00\x00\x40\x01", 12),   // input: 64 steps, none there
    std::string("\x63", 1),                                                  // no such kind
    std::string("\x01\x01", 2),                                              // hello cut short
};

TEST(NetSession, TheHostDropsAMachineThatSendsDamagedPackets)
{
    ASSERT_EQ(enet_initialize(), 0);
    for (const std::string& bytes : damaged) {
        netsession host(me("host"));
        ASSERT_TRUE(host.host(0)) << host.message();
        rawend r;
        r.host = enet_host_create(nullptr, 1, 2, 0, 0);
        ENetAddress a;
        enet_address_set_host(&a, "127.0.0.1");
        a.port = static_cast<enet_uint16>(host.port());
        enet_host_connect(r.host, &a, 2, 0);
        run(host, r, [&] { return r.peer != nullptr; });
        ASSERT_NE(r.peer, nullptr);
        r.send(bytes);
        run(host, r, [&] { return r.disconnected; });
        EXPECT_TRUE(r.disconnected);
        netmessage m;
        std::string why;
        ASSERT_TRUE(decodeMessage(reinterpret_cast<const unsigned char*>(r.received.data()),
                                  r.received.size(), m, why)) << why;
        EXPECT_EQ(m.kind, MSG_REFUSE);
        EXPECT_NE(m.text.find("damaged packet"), std::string::npos) << m.text;
        EXPECT_EQ(host.state(), netsession::LOBBY) << "the host goes on";
        EXPECT_EQ(host.machineCount(), 1);
    }
}

TEST(NetSession, AClientStopsWhenTheHostSendsDamagedPackets)
{
    ASSERT_EQ(enet_initialize(), 0);
    for (const std::string& bytes : damaged) {
        rawend r;
        netsession client(me("client"));
        ASSERT_NO_FATAL_FAILURE(welcome(r, client));
        r.send(bytes);
        run(client, r, [&] { return client.state() == netsession::STOPPED; });
        EXPECT_EQ(client.state(), netsession::STOPPED);
        EXPECT_NE(client.message().find("The host sent a damaged packet"), std::string::npos)
            << client.message();
    }
}

// polls every session for up to 3 s or until done() holds
template <class F>
void runAll(const std::vector<netsession*>& all, F done)
{
    for (int i = 0; i < 300 && !done(); i++) {
        for (netsession* s : all)
            s->poll(SDL_GetTicks() + 1);
        SDL_Delay(10);
    }
}


// Two sessions on 127.0.0.1: the client's readiness and devices reach the host, the host's
// seats and settings reach the client, and the match starts with the lobby's seats. A machine
// that leaves gives its number to the next, which stays below the four the protocol allows.
TEST(NetSession, TheLobbyIsTheSameOnBothMachines)
{
    ASSERT_EQ(enet_initialize(), 0);
    netsession host(me("anna"));
    ASSERT_TRUE(host.host(0)) << host.message();
    const int port = host.port();
    netsession* client = new netsession(me("bob"));
    ASSERT_TRUE(client->join("127.0.0.1", port)) << client->message();
    runAll({ &host, client }, [&] { return client->lobby().machines.size() == 2; });
    ASSERT_EQ(client->state(), netsession::LOBBY) << client->message();
    EXPECT_EQ(client->self(), 1u);
    EXPECT_EQ(seatsText(client->lobby()), "0.1 1.1 C C ");
    EXPECT_FALSE(everyoneReady(host.lobby()));

    client->setReady(true, 2);
    host.setSeat(0, nextSeatChoice(host.lobby(), 0));   // anna's seat to bob's Keyboard 1
    host.setMatchSettings(3, 4, 0);
    runAll({ &host, client }, [&] { return client->lobby() == host.lobby() &&
                                           client->lobby().machines[1].ready; });
    EXPECT_TRUE(everyoneReady(host.lobby()));
    EXPECT_EQ(seatsText(host.lobby()), "1.1 0.1 1.2 C ");
    EXPECT_EQ(seatsText(client->lobby()), "1.1 0.1 1.2 C ");
    EXPECT_EQ(client->lobby().timeOfDay, 3u);
    EXPECT_EQ(client->lobby().roundLength, 4u);
    EXPECT_EQ(client->lobby().mode, 0u);

    replayheader h;
    ASSERT_TRUE(host.startMatch(h, 2));
    runAll({ &host, client }, [&] { return client->state() == netsession::STARTING; });
    ASSERT_EQ(client->state(), netsession::STARTING) << client->message();
    const int machines[NET_SEATS] = { 1, 0, 1, NET_COMPUTER };
    for (int i = 0; i < NET_SEATS; i++) {
        EXPECT_EQ(client->seat(i).machine, machines[i]) << "seat " << i;
        EXPECT_EQ(host.seat(i).machine, machines[i]) << "seat " << i;
    }

    // a second host for the leaving test: the first one's match is running
    netsession lobby(me("carl"));
    ASSERT_TRUE(lobby.host(0));
    delete client;
    client = new netsession(me("dora"));
    ASSERT_TRUE(client->join("127.0.0.1", lobby.port()));
    runAll({ &lobby, client }, [&] { return lobby.machineCount() == 2; });
    delete client;
    runAll({ &lobby }, [&] { return lobby.machineCount() == 1; });
    ASSERT_EQ(lobby.machineCount(), 1);
    netsession again(me("emil"));
    ASSERT_TRUE(again.join("127.0.0.1", lobby.port()));
    runAll({ &lobby, &again }, [&] { return again.lobby().machines.size() == 2; });
    EXPECT_EQ(again.state(), netsession::LOBBY) << again.message();
    EXPECT_EQ(again.self(), 1u) << "the number of the machine that left";
    EXPECT_EQ(again.lobby().machines[1].name, "emil");
}

// A host and a client in one lobby, the client ready, and a match object both may begin.
class NetMatch : public ::testing::Test {
protected:
    netsession host{ me("anna") }, client{ me("bob") };
    game* g = nullptr;

    void SetUp() override
    {
        ASSERT_TRUE(testsupport::openGLContext()) << "needs a display, e.g. xvfb-run";
        testsupport::openConfig();
        ASSERT_EQ(enet_initialize(), 0);
        ASSERT_TRUE(host.host(0)) << host.message();
        ASSERT_TRUE(client.join("127.0.0.1", host.port())) << client.message();
        runAll({ &host, &client }, [&] { return client.lobby().machines.size() == 2; });
        client.setReady(true, 1);
        runAll({ &host, &client }, [&] { return everyoneReady(host.lobby()); });
        ASSERT_TRUE(everyoneReady(host.lobby()));
        g = new game();
        g_thegame = g;
    }
    void TearDown() override
    {
        g_thegame = nullptr;
        delete g;
        testsupport::closeConfig();
    }
    // the host starts a match with input delay d, and the client has its settings
    void start(unsigned d)
    {
        ASSERT_TRUE(host.startMatch(replayheader(), d));
        runAll({ &host, &client }, [&] { return client.state() == netsession::STARTING; });
        ASSERT_EQ(client.state(), netsession::STARTING) << client.message();
    }
};

// A match clears every machine's ready as it starts: back in the lobby, with the seats it
// had, the host cannot start the next match before each machine has said ready again.
TEST_F(NetMatch, EveryMachineSaysReadyAgainForTheNextMatch)
{
    const std::string seats = seatsText(host.lobby());
    ASSERT_NO_FATAL_FAILURE(start(2));
    EXPECT_FALSE(everyoneReady(host.lobby())) << "the host's lobby as the match starts";
    EXPECT_FALSE(client.ready());

    // the match is over as soon as it begins: both go back to the lobby
    host.begin(*g, {});
    client.begin(*g, {});
    host.finish();
    client.finish();
    runAll({ &host, &client }, [&] { return host.state() == netsession::LOBBY &&
                                           client.state() == netsession::LOBBY; });
    ASSERT_EQ(host.state(), netsession::LOBBY) << host.message();
    ASSERT_EQ(client.state(), netsession::LOBBY) << client.message();
    runAll({ &host, &client }, [&] { return client.lobby() == host.lobby(); });
    EXPECT_FALSE(everyoneReady(host.lobby()));
    EXPECT_FALSE(client.lobby().machines[1].ready) << "the client reads it too";
    EXPECT_FALSE(client.ready());
    EXPECT_EQ(seatsText(host.lobby()), seats);
    EXPECT_EQ(seatsText(client.lobby()), seats);
    EXPECT_FALSE(host.startMatch(replayheader(), 2)) << "bob has not said ready again";
    EXPECT_EQ(host.state(), netsession::LOBBY);

    client.setReady(true, 1);
    runAll({ &host, &client }, [&] { return everyoneReady(host.lobby()); });
    EXPECT_TRUE(everyoneReady(host.lobby()));
    EXPECT_TRUE(host.startMatch(replayheader(), 2));
}

// While the match runs: the corner line gives the input delay in steps and ms; a machine that
// holds no bundle to step with runs its frames 2 % longer; once a machine's keys have been
// missing for over half a second the host names it, with the seconds waited.
TEST_F(NetMatch, TheMatchShowsItsDelayAndWhomItWaitsFor)
{
    ASSERT_NO_FATAL_FAILURE(start(3));
    controller keys;
    host.begin(*g, { &keys });
    client.begin(*g, { &keys });
    EXPECT_EQ(client.cornerLine().substr(0, 22), "Delay 3 (60 ms), ping ");
    EXPECT_EQ(client.frameMicros(), 20400u) << "no bundle yet: the client is ahead";

    const unsigned t0 = SDL_GetTicks() + 1;
    host.poll(t0);
    unsigned seconds = 99;
    EXPECT_EQ(host.waitingFor(t0 + 400, seconds), "") << "under half a second";
    EXPECT_EQ(host.waitingFor(t0 + 2600, seconds), "bob");
    EXPECT_EQ(seconds, 2u);

    runAll({ &host, &client }, [&] { return client.stepsHeld() > 0; });
    EXPECT_EQ(client.frameMicros(), 20000u) << "a bundle to step with";
    unsigned none = 99;
    EXPECT_EQ(client.waitingFor(SDL_GetTicks() + 1, none), "");
}

// The input delay covers the round trip in whole steps plus one, and a step more for each
// time in a row a lost packet may make a step late (it goes again 20 ms later) until under
// 1 % of steps would wait; never below 2 nor above 8 steps.
TEST(NetSession, TheInputDelayCoversTheRoundTripAndTheLoss)
{
    struct delaycase {
        unsigned rttMs;
        double loss;      // each way
        unsigned delay;
    };
    const delaycase cases[] = {
        { 0, 0.0, 2 },      // a LAN: never below 2
        { 20, 0.0, 2 },
        { 21, 0.0, 3 },     // a started step counts whole
        { 100, 0.0, 6 },
        { 40, 0.004, 3 },   // a step lost either way 0.8 % of the time: no step added
        { 40, 0.01, 4 },    // 2 %: one step more
        { 100, 0.05, 7 },   // 9.75 %: one more; lost twice in a row 0.95 %
        { 100, 0.10, 8 },   // 19 %: two more, 3.6 % twice and 0.7 % three times in a row
        { 60, 0.10, 6 },
        { 250, 0.0, 8 },    // never above 8 (160 ms)
        { 0, 1.0, 8 },
        { 0, -0.5, 2 },     // a measure out of range is taken at its bound
    };
    for (const delaycase& c : cases)
        EXPECT_EQ(inputDelayFor(c.rttMs, c.loss), c.delay) << c.rttMs << " ms, " << c.loss;
}

// The shell's wait for its next frame: a client ahead of the host (no bundle to step with)
// has its frames lengthened by 2 %, one with a bundle does not; and the host, served while
// it waits, relays the bundle a client's input completes within that wait.
TEST_F(NetMatch, TheShellsFrameFollowsTheSessionsPace)
{
    ASSERT_NO_FATAL_FAILURE(start(3));
    controller keys;
    host.begin(*g, { &keys });
    client.begin(*g, { &keys });
    const auto frames = [](netsession& s, unsigned n) {
        netframepace p;
        stepclock pace;
        pace.restart(SDL_GetTicks());
        const unsigned from = pace.due;
        for (unsigned i = 0; i < n; i++) {
            pace.due += 20;   // as the frame's step makes it due
            waitServing(pace, &s, p);
        }
        return pace.due - from;
    };
    ASSERT_EQ(client.stepsHeld(), 0u);
    EXPECT_EQ(frames(client, 50), 50u * 20 + 20) << "50 frames 2 % longer";

    // the client's states for the first steps go out; the host reads and relays them only
    // while it waits for its next frame
    host.poll(SDL_GetTicks() + 1);
    client.poll(SDL_GetTicks() + 1);
    SDL_Delay(20);
    EXPECT_EQ(frames(host, 1), 20u) << "the host is never slowed";
    for (int i = 0; i < 50 && !client.stepsHeld(); i++) {
        SDL_Delay(2);
        client.serve(SDL_GetTicks() + 1);
    }
    EXPECT_EQ(client.stepsHeld(), 3u) << "the bundles of the delay's steps";
    EXPECT_EQ(frames(client, 50), 50u * 20) << "a bundle to step with";
}

// A host that leaves its lobby says so as it disconnects; a host gone without a word is a
// lost connection.
TEST(NetSession, AClientReadsWhyItsHostWentAway)
{
    ASSERT_EQ(enet_initialize(), 0);
    netsession* host = new netsession(me("anna"));
    ASSERT_TRUE(host->host(0)) << host->message();
    netsession client(me("bob"));
    ASSERT_TRUE(client.join("127.0.0.1", host->port())) << client.message();
    runAll({ host, &client }, [&] { return client.lobby().machines.size() == 2; });
    ASSERT_EQ(client.state(), netsession::LOBBY) << client.message();
    delete host;   // Escape or quitting in the lobby
    runAll({ &client }, [&] { return client.state() == netsession::STOPPED; });
    EXPECT_EQ(client.message(), "The host closed the lobby");

    rawend r;
    netsession other(me("carl"));
    ASSERT_NO_FATAL_FAILURE(welcome(r, other));
    enet_peer_disconnect_now(r.peer, 0);
    run(other, r, [&] { return other.state() == netsession::STOPPED; });
    EXPECT_EQ(other.message(), "The connection to the host was lost");
}

// A machine looking for matches asks on 127.0.0.1 (a test sends no broadcast): the host in
// its lobby answers with its name and machines, and stops answering once its match runs.
TEST(NetSession, AHostInItsLobbyAnswersAMachineLookingForMatches)
{
    ASSERT_EQ(enet_initialize(), 0);
    netsession host(me("anna"));
    ASSERT_TRUE(host.host(0)) << host.message();
    netfinder finder;
    ASSERT_TRUE(finder.open(host.port(), "127.0.0.1"));
    for (int i = 0; i < 100 && finder.found().empty(); i++) {
        host.poll(SDL_GetTicks() + 1);
        finder.poll(SDL_GetTicks() + 1);
        SDL_Delay(10);
    }
    ASSERT_EQ(finder.found().size(), 1u);
    EXPECT_EQ(finder.found()[0].name, "anna");
    EXPECT_EQ(finder.found()[0].address, "127.0.0.1");
    EXPECT_EQ(finder.found()[0].port, host.port());
    EXPECT_EQ(finder.found()[0].machines, 1);

    replayheader h;
    ASSERT_TRUE(host.startMatch(h, 2));
    netfinder late;
    ASSERT_TRUE(late.open(host.port(), "127.0.0.1"));
    for (int i = 0; i < 150; i++) {   // over a second: the question is asked twice
        host.poll(SDL_GetTicks() + 1);
        late.poll(SDL_GetTicks() + 1);
        SDL_Delay(10);
    }
    EXPECT_TRUE(late.found().empty()) << "a host whose match runs does not answer";
}

TEST(NetSession, OnlyWhatAnAnswerIsReadsAsOne)
{
    std::string name;
    int machines = 0;
    ASSERT_TRUE(decodeFindAnswer(encodeFindAnswer("anna", 3), name, machines));
    EXPECT_EQ(name, "anna");
    EXPECT_EQ(machines, 3);
    EXPECT_TRUE(decodeFindAnswer(encodeFindAnswer(std::string(100, 'n'), 1), name, machines))
        << "a long name is cut, not refused";
    EXPECT_EQ(name.size(), 32u);
    for (const std::string& bad : { std::string("TIBREL!"), std::string("TIBREL?1anna"),
                                    std::string("TIBREL!9anna"), std::string("TIBREL!1an\nna"),
                                    std::string("TIBREL!1") + std::string(40, 'x') })
        EXPECT_FALSE(decodeFindAnswer(bad, name, machines)) << bad;
}

}
