#include "onlinemenu.h"

#include <algorithm>
#include <ctime>
#include <ifaddrs.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <GL/gl.h>
#include <SDL/SDL.h>
#include <wx/config.h>
#include "controller.h"
#include "game.h"
#include "inputsource.h"
#include "main.h"
#include "mainmenu.h"
#include "netsession.h"
#include "random.h"
#include "replay.h"
#include "textrender.h"

#ifndef TIBREL_VERSION
#define TIBREL_VERSION "unknown"
#endif

enum { GO_HOST = 1, GO_JOIN, GO_BACK, GO_START_MATCH, GO_LEAVE, GO_SEAT = 10, GO_FOUND = 200 };
static const unsigned NOTICE_MS = 5000;   // how long a notice stays over the match

static netsession* g_session = nullptr;
static addressmenu* g_typing = nullptr;   // the address line, while it is open
static std::string g_notice;
static unsigned g_noticeAt = 0;

static void closeScreen(menu* m)
{
    m->detachFromParent();
    delete m;
}

// the shown screens' centred text line in the 4:3 layout
static void centredText(float y, const std::string& s)
{
    const int w = static_cast<int>(screenLayout().w);
    GLText(0, static_cast<float>((w - GLTextWidth(0, "%s", s.c_str())) / 2), y, "%s", s.c_str());
}

// ---- "Online..." ----

static int storedPort()
{
    // the setting net/port; a damaged one is the default port
    const long stored = g_config->Read("net/port", static_cast<long>(NET_DEFAULT_PORT));
    return stored >= 1 && stored <= 65535 ? static_cast<int>(stored) : NET_DEFAULT_PORT;
}

onlinemenu::onlinemenu()
{
    title = "Online";
    addGo("Host a Match", GO_HOST);
    addGo("Join a Match", GO_JOIN);
    addSeparator();
    addSeparator();   // "Matches on this network:"
    addGo("Back", GO_BACK);
    // where the question goes: the whole local network unless the setting net/findaddress
    // names one address
    finder.open(storedPort(), std::string(g_config->Read("net/findaddress", "255.255.255.255").utf8_str()));
}

void onlinemenu::step(float dt)
{
    if (!subMenu) {
        finder.poll(SDL_GetTicks());
        const std::vector<netfound>& f = finder.found();
        // a line per match found, above "Back"
        for (; listed < f.size(); listed++) {
            menuitem it("", 0);
            it.kind = ITEM_GO;
            it.id = GO_FOUND + static_cast<int>(listed);
            items.insert(items.end() - 1, it);
        }
        for (size_t k = 0; k < f.size(); k++)
            items[4 + k].label = wxString::FromUTF8((f[k].name + "'s match at " + f[k].address + ":" +
                                                     std::to_string(f[k].port) + " (" +
                                                     std::to_string(f[k].machines) +
                                                     (f[k].machines == 1 ? " machine)" : " machines)")).c_str());
        items[3].label = f.empty() ? "" : "On this network:";
    }
    menu::step(dt);   // may close and delete this screen
}

void onlinemenu::onGo(int id)
{
    if (id >= GO_FOUND && id - GO_FOUND < static_cast<int>(finder.found().size())) {
        const netfound& f = finder.found()[id - GO_FOUND];
        onlineswitches s;
        s.mode = onlineswitches::JOIN;
        s.address = f.address;
        s.port = f.port;
        openOnline(*this, s);
        return;
    }
    if (id == GO_HOST) {
        onlineswitches s;
        s.mode = onlineswitches::HOST;
        openOnline(*this, s);
    } else if (id == GO_JOIN) {
        openSubMenu(new addressmenu());
    } else if (id == GO_BACK) {
        closeScreen(this);
    }
}

void onlinemenu::drawThis()
{
    menu::drawThis();
    if (subMenu)
        return;
    glColor4f(0.75f, 0.85f, 1.0f, 1);
    centredText(lineY(3), std::string(items[3].label.utf8_str()));
    glColor4f(1, 1, 1, 1);
}

// ---- the address line ----

addressmenu::addressmenu()
{
    title = "Join a Match";
    line = std::string(g_config->Read("net/lastaddress", wxString()).utf8_str());
    if (line.size() > MAX_ADDRESS)
        line.clear();
    g_typing = this;
    SDL_EnableUNICODE(1);
}

addressmenu::~addressmenu()
{
    if (g_typing == this)
        g_typing = nullptr;
    SDL_EnableUNICODE(0);
}

void addressmenu::key(int k)
{
    if (!pending)
        pending = k;
    else if (k != 13 && k != 27)
        typeAddressKey(line, k);
}

void addressmenu::step(float dt)
{
    if (fade > 0)
        fade = std::max(0.0f, fade - dt);
    const int k = pending;
    pending = 0;
    if (k == 27) {
        closeScreen(this);
        return;
    }
    if (k != 13) {
        if (k && typeAddressKey(line, k))
            problem.clear();
        return;
    }
    onlineswitches s;
    s.mode = onlineswitches::JOIN;
    if (!parseAddress(line, s.address, s.port, problem))
        return;
    g_config->Write("net/lastaddress", wxString::FromUTF8(line.c_str()));
    menu* parent = parentMenu;
    closeScreen(this);
    openOnline(*parent, s);
}

void addressmenu::drawThis()
{
    menu::drawThis();
    glColor4f(1, 1, 1, 1);
    centredText(lineY(-2), "Type the host's address[:port], then Return (Escape: back)");
    glColor4f(1, 1, 0, 1);
    // a bar after the text stands for the cursor
    centredText(lineY(0), line + "_");
    glColor4f(1, 0.5f, 0.5f, 1);
    centredText(lineY(2), problem);
    glColor4f(1, 1, 1, 1);
}

// ---- the lobby ----

static const char* const DAYTIMES[4] = { "Morning", "Day", "Evening", "Night" };
static const char* const MODES[3] = { "Classic", "Arcade", "Extreme!" };
static const char* const BROUGHT[5] = { "None", "Keyboard 1", "Keyboard 1 + 2",
                                        "Keyboards, Joystick 1", "Keyboards, Joysticks 1 + 2" };

static menuitem choices(const char* label, const char* const* names, int n, int index)
{
    menuitem it(label, 0);
    for (int k = 0; k < n; k++)
        it.values.push_back(names[k]);
    it.valueIndex = index;
    return it;
}

lobbymenu::lobbymenu()
{
    const bool host = g_session && g_session->isHost();
    seatItem = static_cast<int>(items.size());
    for (int i = 0; i < NET_SEATS; i++)
        addGo("", GO_SEAT + i);
    addSeparator();
    machineItem = static_cast<int>(items.size());
    for (int m = 0; m < NET_MAX_MACHINES; m++)
        addSeparator();
    addSeparator();
    if (host) {
        // the host's own last choices, kept in range
        g_session->setMatchSettings(g_config->Read("game/timeofday", 1L) & 3,
                                    std::min(9L, std::max(0L, g_config->Read("game/roundlength", 2L))),
                                    std::min(2L, std::max(0L, g_config->Read("game/gamemode", 1L))));
        const netlobbystate& l = g_session->lobby();
        settingsItem = static_cast<int>(items.size());
        items.push_back(choices("Time of Day", DAYTIMES, 4, static_cast<int>(l.timeOfDay)));
        menuitem length("Round Length", 0);
        for (int k = 0; k < 10; k++)
            length.values.push_back(wxString::Format("%d", 3 * (k + 1)));
        length.valueIndex = static_cast<int>(l.roundLength);
        items.push_back(length);
        items.push_back(choices("Game Mode", MODES, 3, static_cast<int>(l.mode)));
    } else {
        addSeparator();   // the host's settings, as a line of text
    }
    devicesItem = static_cast<int>(items.size());
    const long brought = g_config->Read("net/devices", 1L);
    items.push_back(choices("Players here", BROUGHT, 5, brought >= 0 && brought <= 4 ? brought : 1));
    if (host) {
        addGo("Start Match", GO_START_MATCH);
    } else {
        readyItem = static_cast<int>(items.size());
        static const char* const yesNo[2] = { "No", "Yes" };
        items.push_back(choices("Ready", yesNo, 2, 0));
    }
    addGo("Leave", GO_LEAVE);
    // Escape leaves the lobby as "Leave" does: the others are told, no session lingers
    backId = GO_LEAVE;
    rebuild();
}

void lobbymenu::rebuild()
{
    if (!g_session)
        return;
    const netlobbystate& l = g_session->lobby();
    for (int i = 0; i < NET_SEATS; i++)
        items[seatItem + i].label = wxString::FromUTF8(seatLine(l, i).c_str());
    if (settingsItem < 0 && g_session->isHost() == false)
        items[devicesItem - 1].label = wxString::Format("%s, rounds of %d, %s",
            DAYTIMES[l.timeOfDay % 4], 3 * (static_cast<int>(l.roundLength % 10) + 1),
            MODES[l.mode % 3]);
    // a match that starts or ends clears this machine's ready
    if (readyItem >= 0)
        items[readyItem].valueIndex = g_session->ready() ? 1 : 0;
    items.back().label = g_session->state() == netsession::STOPPED ? "Back" : "Leave";
}

void lobbymenu::step(float dt)
{
    if (g_session && !subMenu) {
        g_session->poll(SDL_GetTicks());
        rebuild();
        // what was chosen while the host had not answered yet goes to it now
        if (!joined && g_session->state() == netsession::LOBBY) {
            joined = true;
            onSelect(devicesItem);
        }
    }
    menu::step(dt);   // may close and delete this screen
}

void lobbymenu::onSelect(int index)
{
    if (!g_session)
        return;
    const int v = items[index].valueIndex;
    if (index == devicesItem || index == readyItem) {
        if (index == devicesItem)
            g_config->Write("net/devices", v);
        const bool ready = readyItem >= 0 && items[readyItem].valueIndex == 1;
        g_session->setReady(ready, static_cast<unsigned>(items[devicesItem].valueIndex));
    } else if (settingsItem >= 0 && index >= settingsItem && index < settingsItem + 3) {
        g_session->setMatchSettings(items[settingsItem].valueIndex,
                                    items[settingsItem + 1].valueIndex,
                                    items[settingsItem + 2].valueIndex);
    }
}

// the host's match: its settings and fresh seeds, as a replay header
static bool startHostedMatch(netsession& s)
{
    const netlobbystate& l = s.lobby();
    if (!everyoneReady(l))
        return false;
    g_config->Write("game/timeofday", static_cast<long>(l.timeOfDay));
    g_config->Write("game/roundlength", static_cast<long>(l.roundLength));
    g_config->Write("game/gamemode", static_cast<long>(l.mode));
    timespec t;
    clock_gettime(CLOCK_REALTIME, &t);
    seedGenerators(seedsFromClock(t.tv_sec * 1000000ULL + t.tv_nsec / 1000, SDL_GetTicks()));
    replayheader h;
    h.settings = replaySettings(g_config);
    saveRandomState(h.randoms);
    return s.startMatch(h, 0);
}

void lobbymenu::onGo(int id)
{
    if (!g_session)
        return;
    if (id >= GO_SEAT && id < GO_SEAT + NET_SEATS && g_session->isHost()) {
        g_session->setSeat(id - GO_SEAT, nextSeatChoice(g_session->lobby(), id - GO_SEAT));
        rebuild();
    } else if (id == GO_START_MATCH) {
        startHostedMatch(*g_session);
    } else if (id == GO_LEAVE) {
        delete g_session;
        g_session = nullptr;
        closeScreen(this);
    }
}

// this machine's IPv4 addresses but loopback, for players to type in
static std::string ownAddresses()
{
    std::string out;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return out;
    for (ifaddrs* a = list; a; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET)
            continue;
        char text[INET_ADDRSTRLEN];
        const in_addr at = reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr;
        if ((ntohl(at.s_addr) >> 24) == 127 || !inet_ntop(AF_INET, &at, text, sizeof text))
            continue;
        out += (out.empty() ? "" : ", ") + std::string(text);
    }
    freeifaddrs(list);
    return out;
}

void lobbymenu::drawThis()
{
    if (subMenu) {
        menu::drawThis();
        return;
    }
    if (g_session) {
        if (g_session->isHost())
            title = wxString::Format("Hosting on UDP port %d", g_session->port());
        else if (g_session->state() == netsession::CONNECTING)
            title = "Joining...";
        else
            title = "Lobby";
    }
    menu::drawThis();
    if (!g_session)
        return;
    const netlobbystate& l = g_session->lobby();
    glColor4f(0.75f, 0.85f, 1.0f, 1);
    for (unsigned m = 0, row = 0; m < l.machines.size() && row < NET_MAX_MACHINES; m++)
        if (l.machines[m].present)
            centredText(lineY(machineItem + row++), machineLine(l, m));
    if (settingsItem < 0 && g_session->state() == netsession::LOBBY)
        centredText(lineY(devicesItem - 1), std::string(items[devicesItem - 1].label.utf8_str()));
    glColor4f(1, 1, 0, 1);
    std::string status;
    if (g_session->state() == netsession::STOPPED)
        status = g_session->message();
    else if (g_session->isHost())
        status = "Addresses: " + ownAddresses() + (everyoneReady(l) ? "" : "   (waiting for ready)");
    else if (g_session->state() == netsession::CONNECTING)
        status = "Waiting for the host's answer...";
    centredText(lineY(static_cast<int>(items.size()) + 1), status);
    glColor4f(1, 1, 1, 1);
}

// ---- the session and its matches ----

// the session as the match's input source; the session itself outlives the match
class onlineinput : public inputsource {
public:
    status beforeStep(game& g) override
    {
        if (!g_session)
            return END;
        g_session->poll(SDL_GetTicks());
        for (const std::string& n : g_session->notices) {
            g_notice = n;
            g_noticeAt = SDL_GetTicks();
        }
        g_session->notices.clear();
        return g_session->beforeStep(g);
    }
    void afterStep(game& g) override
    {
        if (g_session)
            g_session->afterStep(g);
    }
    void devices(controller* out[REPLAY_DEVICES]) override
    {
        if (g_session)
            g_session->devices(out);
        else
            inputsource::devices(out);
    }
    const std::string& message() const override
    {
        return g_session ? g_session->message() : inputsource::message();
    }
    unsigned stepsThisFrame() const override
    {
        return g_session ? g_session->stepsThisFrame() : 1;
    }
};

void waitServing(stepclock& pace, netsession* s, netframepace& p)
{
    if (!s) {
        pace.wait();
        return;
    }
    pace.due += p.extraMs(s->frameMicros());
    unsigned left;
    while ((left = frameDelay(SDL_GetTicks(), pace.due)) > 0) {
        SDL_Delay(std::min(left, 2u));
        s->serve(SDL_GetTicks());
    }
}

void onlineFrameWait(stepclock& pace)
{
    static netframepace framePace;
    waitServing(pace, g_session, framePace);
}

bool openOnline(menu& parent, const onlineswitches& s)
{
    delete g_session;
    netsession::identity me;
    me.version = "Tibrel " TIBREL_VERSION;
    me.dataHash = gameDataHash();
    me.name = std::string(g_config->Read("net/name", wxString::FromUTF8(loginName().c_str())).utf8_str());
    const long brought = g_config->Read("net/devices", 1L);
    me.devices = brought >= 0 && brought <= 4 ? static_cast<int>(brought) : 1;
    g_session = new netsession(me);
    g_session->poll(SDL_GetTicks());
    const int port = s.mode == onlineswitches::HOST && !s.portGiven ? storedPort() : s.port;
    const bool ok = s.mode == onlineswitches::HOST ? g_session->host(port)
                                                   : g_session->join(s.address, s.port);
    lobbymenu* lobby = new lobbymenu();
    parent.openSubMenu(lobby);
    lobby->holdEdges();
    return ok;
}

netsession* onlineSession()
{
    return g_session;
}

bool onlineMatchStarting()
{
    return g_session && g_session->state() == netsession::STARTING;
}

game* buildOnlineMatch(inputsource*& source)
{
    const replayheader& h = g_session->header();
    closeConfigStore();
    g_config = replayStore(h);
    wxConfigBase::Set(g_config);
    restoreRandomState(h.randoms);
    game* g = buildMatch();
    g_thegame = g;
    {
        mainmenu settings;   // applies the time of day, round length and game mode
    }
    std::vector<controller*> local = { g_keys[0], g_keys[1], g_joys[0], g_joys[1] };
    g_session->begin(*g, local);
    g->event(game::EV_BEGIN, 0.0f);
    source = new onlineinput();
    return g;
}

void onlineMatchLeft(const std::string& recording)
{
    if (!g_session)
        return;
    g_session->finish();
    g_session->writeDump(recording);
    // the player's own settings come back in place of the host's
    closeConfigStore();
    openConfigStore();
}

void onlineEscape()
{
    if (g_session)
        g_session->leave();
}

void onlineKey(int unicode, int sym)
{
    if (!g_typing)
        return;
    if (sym == SDLK_RETURN || sym == SDLK_KP_ENTER)
        g_typing->key(13);
    else if (sym == SDLK_ESCAPE)
        g_typing->key(27);
    else if (sym == SDLK_BACKSPACE)
        g_typing->key(8);
    else if (unicode > 0 && unicode < 128)
        g_typing->key(unicode);
}

void drawOnlineOverlay()
{
    if (!g_session || g_session->state() != netsession::PLAYING)
        return;
    const unsigned now = SDL_GetTicks();
    const layoutrect r = screenLayout();
    const std::string corner = g_session->cornerLine();
    glColor4f(1, 1, 1, 0.8f);
    GLText(0, r.w - GLTextWidth(0, "%s", corner.c_str()) - 8, r.h - 28, "%s", corner.c_str());
    unsigned seconds = 0;
    const std::string who = g_session->waitingFor(now, seconds);
    glColor4f(1, 1, 0, 1);
    if (!who.empty())
        centredText(r.h / 2, "Waiting for " + who + "... " + std::to_string(seconds) + " s");
    if (!g_notice.empty() && now - g_noticeAt < NOTICE_MS)
        centredText(r.h / 2 + 30, g_notice);
    glColor4f(1, 1, 1, 1);
}

void closeOnline()
{
    delete g_session;
    g_session = nullptr;
}
