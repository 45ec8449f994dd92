#include "mainmenu.h"
#include "onlinemenu.h"

#include <climits>
#include <cstdlib>
#include <string>
#include <GL/gl.h>
#include <SDL/SDL_keysym.h>
#include <wx/config.h>
#include "bindings.h"
#include "controller.h"
#include "controlsmenu.h"
#include "daytime.h"
#include "game.h"
#include "layeredplayertexture.h"
#include "main.h"
#include "player.h"
#include "playermenu.h"
#include "replay.h"
#include "replaysmenu.h"
#include "textrender.h"

enum { GO_QUIT = 99, GO_START = 100, GO_CONTROLS = 101, GO_REPLAYS = 102, GO_ONLINE = 103 };

static const char* const DEVICE_NAMES[7] = {
    "Computer", "Keyboard 1", "Keyboard 2", "Joystick 1", "Joystick 2", "Joystick 3", "Joystick 4"
};
const char* const DAYTIME_NAMES[4] = { "Morning", "Day", "Evening", "Night" };
const char* const MODE_NAMES[3] = { "Classic", "Arcade", "Extreme!" };
static const char* const LEVEL_NAMES[3] = { "Easy", "Normal", "Hard" };

// device code -> the controller it selects; 0 (computer) and unknown codes give none
static controller* deviceController(int code)
{
    if (code == 1 || code == 2)
        return g_keys[code - 1];
    if (code >= 3 && code <= 6)
        return g_joys[code - 3];
    return nullptr;
}

static wxString controlKey(int p)
{
    return wxString::Format("controls/player%d", p);
}

// The whole stored number under key; a missing or non-numeric value reads as def and is
// written, as the store records defaults. Read through an int, 4294967297 would wrap to 1:
// here it stays itself, and numbers beyond 64 bits read as the nearest 64-bit limit.
static long long readSetting(const wxString& key, int def)
{
    wxString text;
    if (g_config->Read(key, &text)) {
        text.Trim(true).Trim(false);
        const std::string s(text.utf8_str());
        char* end = nullptr;
        long long v = std::strtoll(s.c_str(), &end, 10);
        if (!s.empty() && end && *end == '\0')
            return v;   // on overflow strtoll gives the limit, which is what a clamp wants
    }
    g_config->Write(key, def);
    return def;
}

// A stored choice read into the range of its line (0 ... count-1). A damaged value is clamped
// and the repaired value written back, so the screen, the match and the store agree.
int readChoice(const wxString& key, int def, int count)
{
    if (!g_config)
        return def;
    long long v = readSetting(key, def);
    int c = v < 0 ? 0 : (v >= count ? count - 1 : (int)v);
    if (c != v)
        g_config->Write(key, c);
    return c;
}

// A stored device code. One outside 0 ... 6 gives no controller (the computer plays) and
// stays in the store as it is; its line shows the number (clamped to an int).
static int readDevice(const wxString& key)
{
    if (!g_config)
        return 0;
    long long v = readSetting(key, 0);
    if (v > INT_MAX)
        return INT_MAX;
    if (v < INT_MIN)
        return INT_MIN;
    return (int)v;
}

// Every change is on disk by the time the menu shows it: a game killed a moment later keeps it.
// The flush also carries the defaults and repairs written while the lines were read.
static void writeChoice(const wxString& key, int v)
{
    if (!g_config)
        return;
    g_config->Write(key, v);
    g_config->Flush();
}

static menuitem choiceLine(const wxString& label, const char* const* names, int count)
{
    menuitem it(label, 0);
    for (int k = 0; k < count; k++)
        it.values.push_back(names[k]);
    return it;
}

mainmenu::mainmenu() : watch(nullptr)
{
    title = "Tibrel 2006";

    controlItem = (int)items.size();
    for (int i = 0; i < 4; i++)
        items.push_back(choiceLine(wxString::Format("Team %d Player %d", i / 2 + 1, i % 2 + 1),
                                   DEVICE_NAMES, 7));
    optionsItem = (int)items.size();
    items.push_back(choiceLine("Time of Day", DAYTIME_NAMES, 4));
    menuitem length("Round Length", 0);
    for (int k = 0; k < 10; k++)
        length.values.push_back(wxString::Format("%d", 3 * (k + 1)));
    items.push_back(length);
    items.push_back(choiceLine("Game Mode", MODE_NAMES, 3));
    items.push_back(choiceLine("Computer", LEVEL_NAMES, 3));
    readStored();

    addSeparator();
    addGo("Player One...", 1);
    addGo("Player Two...", 2);
    addGo("Player Three...", 3);
    addGo("Player Four...", 4);
    addGo("Controls...", GO_CONTROLS);
    addGo("Replays...", GO_REPLAYS);
    addSeparator();
    addGo("Online...", GO_ONLINE);
    addGo("Start!", GO_START);
    addSeparator();
    addGo("Quit", GO_QUIT);
}

mainmenu::~mainmenu()
{
    delete watch;
}

void mainmenu::readStored()
{
    for (int i = 0; i < 4; i++) {
        menuitem& it = items[controlItem + i];
        it.valueIndex = readDevice(controlKey(i));
        if (g_thegame)
            g_thegame->setController(i, deviceController(it.valueIndex));
    }
    // the options go through onSelect, which applies them to the match and stores them
    static const char* const keys[4] = { "game/timeofday", "game/roundlength", "game/gamemode",
                                         "game/difficulty" };
    static const int defaults[4] = { 1, 2, 1, DIFF_NORMAL };
    for (int k = 0; k < 4; k++) {
        menuitem& it = items[optionsItem + k];
        it.valueIndex = readChoice(keys[k], defaults[k], (int)it.values.size());
        onSelect(optionsItem + k);
    }
}

void mainmenu::onSelect(int index)
{
    if (index < 0 || index >= (int)items.size())
        return;
    int v = items[index].valueIndex;

    if (index >= controlItem && index < controlItem + 4) {
        int p = index - controlItem;
        if (g_thegame)
            g_thegame->setController(p, deviceController(v));
        writeChoice(controlKey(p), v);
    } else if (index == optionsItem) {
        setDaytime((daytime)v);
        // the outfits load the images of the new time of day
        if (g_thegame)
            for (int i = 0; i < 4; i++)
                if (g_thegame->players[i] && g_thegame->players[i]->outfit)
                    g_thegame->players[i]->outfit->reLayer();
        writeChoice("game/timeofday", v);
    } else if (index == optionsItem + 1) {
        WINSCORE = 3 * v + 3;
        writeChoice("game/roundlength", v);
    } else if (index == optionsItem + 2) {
        if (g_thegame)
            g_thegame->gameMode = v;
        writeChoice("game/gamemode", v);
    } else if (index == optionsItem + 3) {
        if (g_thegame)
            g_thegame->setDifficulty(v);
        writeChoice("game/difficulty", v);
    }
}

void mainmenu::onGo(int id)
{
    if (id == GO_QUIT) {
        result = -1;
    } else if (id == GO_START) {
        result = 1;
    } else if (id == GO_REPLAYS) {
        openSubMenu(new replaysmenu(*this, replayFolder()));
    } else if (id == GO_ONLINE) {
        openSubMenu(new onlinemenu());
    } else if (id == GO_CONTROLS) {
        controlsmenu* controls = new controlsmenu();
        controls->background = background;   // shared, not owned
        openSubMenu(controls);
    } else if (id >= 1 && id <= 4 && g_thegame && g_thegame->players[id - 1]) {
        openSubMenu(new playermenu(g_thegame->players[id - 1], id - 1));
    }
}

// The four directions in the order of an inverted T (up, left, down, right): "arrows",
// "keypad 8 4 5 6", or the names, "I J K L".
static std::string runKeys(int device)
{
    static const int order[4] = { ACT_UP, ACT_LEFT, ACT_DOWN, ACT_RIGHT };
    static const int arrows[4] = { SDLK_UP, SDLK_LEFT, SDLK_DOWN, SDLK_RIGHT };
    bool areArrows = true, onKeypad = true;
    std::string names, digits;
    for (int k = 0; k < 4; k++) {
        const int in = g_bindings[device].first(order[k]);
        areArrows = areArrows && in == arrows[k];
        onKeypad = onKeypad && in >= SDLK_KP0 && in <= SDLK_KP9;
        names += (k ? " " : "") + inputName(device, in);
        digits += (k ? " " : "") + std::to_string(in - SDLK_KP0);
    }
    if (areArrows)
        return "arrows";
    return onKeypad ? "keypad " + digits : names;
}

std::string mainmenu::keysFooter(int i)
{
    const int d = i == 1 ? 1 : 0;
    return std::string(deviceName(d)) + ": " + runKeys(d) + " run, " +
           inputName(d, g_bindings[d].first(ACT_JUMP)) + " jumps, " +
           inputName(d, g_bindings[d].first(ACT_HIT)) + " hits";
}

float mainmenu::footerY(int i)
{
    // two lines at the bottom, under the last line of the menu
    const float height = screenLayout().h;
    const float lineHeight = height / 25.0f;
    return height - (2 - i) * lineHeight - lineHeight / 2;
}

void mainmenu::drawThis()
{
    menu::drawThis();
    if (subMenu)
        return;
    glColor4f(0.75f, 0.85f, 1.0f, 1);
    for (int i = 0; i < 2; i++) {
        const std::string line = keysFooter(i);
        const int x = (static_cast<int>(screenLayout().w) - GLTextWidth(0, "%s", line.c_str())) / 2;
        GLText(0, (float)x, footerY(i), "%s", line.c_str());
    }
    glColor4f(1, 1, 1, 1);
}
