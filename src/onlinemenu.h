#ifndef TIBREL_ONLINEMENU_H
#define TIBREL_ONLINEMENU_H

#include <string>
#include "menu.h"
#include "netfind.h"
#include "netlobby.h"

class netsession;
class netframepace;
class stepclock;
class game;
class inputsource;

// The screens of online play: "Online..." (host, join), the address line, the lobby; and the
// one session this game takes part in, which outlives its matches.

// "Host a Match", "Join a Match", the matches found on the local network, "Back"
class onlinemenu : public menu {
public:
    onlinemenu();
    void step(float dt) override;
    void onGo(int id) override;
    void drawThis() override;
private:
    netfinder finder;
    size_t listed = 0;      // matches shown as lines
};

// The address a player types: keys come from onlineKey, not the controller, so letters that
// are also game keys only type. Return joins, Escape goes back.
class addressmenu : public menu {
public:
    std::string line;
    std::string problem;   // why the last Return did not join
    addressmenu();
    ~addressmenu() override;
    void step(float dt) override;
    void drawThis() override;
    void key(int k);
private:
    int pending = 0;       // a key typed since the last step, acted on in the step
};

// One line per seat, one per machine, the host's match settings, then Start Match or Ready.
// The session is polled in its step; it closes itself when the session stopped and the
// player chose Back.
class lobbymenu : public menu {
public:
    lobbymenu();
    void step(float dt) override;
    void onSelect(int index) override;
    void onGo(int id) override;
    void drawThis() override;
    // the lines, from the session's lobby
    void rebuild();
private:
    int seatItem = 0, machineItem = 0, settingsItem = -1, devicesItem = -1, readyItem = -1;
    bool joined = false;   // the host has welcomed this machine
};

// starts hosting or joining as the switches say and opens the lobby over parent; false (the
// reason on the lobby screen all the same) when the session could not start
bool openOnline(menu& parent, const onlineswitches& s);
// the session, while this game is in one
netsession* onlineSession();
// the lobby's match is to begin: the host started it and its settings came
bool onlineMatchStarting();
// builds the match from the host's settings and seeds and binds the seats; the input source
// it is played from comes with it (owned by the caller)
game* buildOnlineMatch(inputsource*& source);
// the online match ended on this machine (Match over!, stopped, or left): the player's own
// settings come back and the session goes back to its lobby; a match stopped out of sync
// leaves its state beside the recording
void onlineMatchLeft(const std::string& recording);
// Escape in an online match: a client leaves, the host ends the match for everyone
void onlineEscape();
// a key pressed while a screen of online play may want it (the address line)
void onlineKey(int unicode, int sym);
// the corner line and "Waiting for NAME..." over the match
void drawOnlineOverlay();
// the session ends with the game
void closeOnline();
// The shell's wait for its next frame (pace.due). With a session, the frame is lengthened as
// it paces this machine (a machine ahead of the host waits 2 % longer) and the session is
// served about every 2 ms of the wait, so a host relays a bundle as soon as it is complete.
// Nothing of this reaches the match: it only decides when steps are taken.
void waitServing(stepclock& pace, netsession* s, netframepace& p);
// the same for the game's own session
void onlineFrameWait(stepclock& pace);

#endif
