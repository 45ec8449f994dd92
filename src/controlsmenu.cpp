#include "controlsmenu.h"

#include <GL/gl.h>
#include <wx/config.h>
#include "bindings.h"
#include "controller.h"
#include "main.h"
#include "mainmenu.h"
#include "sound.h"
#include "textrender.h"

enum { GO_ACTION = 200, GO_DEFAULTS = 300, GO_LAPTOP = 301, GO_BACK = 302 };

static const char* const MUSIC_KEY = "sound/music";
static const char* const EFFECTS_KEY = "sound/effects";
static const char* const MUTE_KEY = "sound/mute";

// ---- the stored settings ----

void loadControlSettings()
{
    loadBindings(g_config);
    setVolumes(readChoice(MUSIC_KEY, VOLUME_STEPS, VOLUME_STEPS + 1),
               readChoice(EFFECTS_KEY, VOLUME_STEPS, VOLUME_STEPS + 1));
    setMuted(readChoice(MUTE_KEY, 0, 2) == 1);
}

static void flushStore()
{
    if (g_config)
        g_config->Flush();
}

void toggleMute()
{
    setMuted(!isMuted());
    if (g_config)
        g_config->Write(MUTE_KEY, isMuted() ? 1 : 0);
    flushStore();
}

// ---- the screen ----

static menuitem volumeLine(const char* label, int level)
{
    menuitem it(label, 0);
    for (int v = 0; v <= VOLUME_STEPS; v++)
        it.values.push_back(wxString::Format("%d", v));
    it.valueIndex = level;
    return it;
}

controlsmenu::controlsmenu() : device(0), waitingAction(-1)
{
    title = "Controls";
    backId = GO_BACK;

    menuitem dev("Device", 0);
    for (int d = 0; d < BIND_DEVICES; d++)
        dev.values.push_back(deviceName(d));
    items.push_back(dev);
    addSeparator();
    for (int a = 0; a < ACTION_COUNT; a++)
        addGo(actionName(a), GO_ACTION + a);
    addSeparator();
    addGo("Defaults", GO_DEFAULTS);
    addGo("Laptop Keys", GO_LAPTOP);
    addSeparator();
    items.push_back(volumeLine("Music", musicVolume()));
    items.push_back(volumeLine("Effects", effectsVolume()));
    addSeparator();
    addGo("Back", GO_BACK);
    showDevice();
}

controlsmenu::~controlsmenu()
{
    // a wait must not outlive the screen that shows it
    if (waitingAction >= 0)
        stopWaiting();
}

// the action lines show the device's inputs; the laptop keys are offered to keyboard 2 only
void controlsmenu::showDevice()
{
    items[LINE_DEVICE].valueIndex = device;
    for (int a = 0; a < ACTION_COUNT; a++) {
        menuitem& it = items[LINE_FIRST_ACTION + a];
        it.values.assign(1, wxString::FromUTF8(
            a == waitingAction ? "press ..." : inputList(device, a).c_str()));
    }
    items[LINE_LAPTOP].kind = device == 1 ? ITEM_GO : ITEM_SEPARATOR;
    if (cursor == (unsigned)LINE_LAPTOP && device != 1)
        cursor = LINE_DEFAULTS;
}

void controlsmenu::onSelect(int index)
{
    if (index == LINE_DEVICE) {
        int d = items[index].valueIndex;
        device = d < 0 || d >= BIND_DEVICES ? 0 : d;
        message.clear();
        showDevice();
    } else if (index == LINE_MUSIC || index == LINE_EFFECTS) {
        setVolumes(items[LINE_MUSIC].valueIndex, items[LINE_EFFECTS].valueIndex);
        if (g_config) {
            g_config->Write(MUSIC_KEY, musicVolume());
            g_config->Write(EFFECTS_KEY, effectsVolume());
        }
        flushStore();
    }
}

// a whole set for the shown device, unless one of its keys belongs to the other keyboard
void controlsmenu::useSet(const bindingset& set, const char* what)
{
    const bindingset old = g_bindings[device];
    g_bindings[device] = bindingset();
    for (int a = 0; a < ACTION_COUNT; a++)
        for (int in : set.input[a]) {
            if (in == NO_INPUT)
                continue;
            const std::string why = refusal(device, a, in);
            if (!why.empty()) {
                g_bindings[device] = old;
                message = why;
                return;
            }
        }
    g_bindings[device] = set;
    storeBindings(g_config, device);
    flushStore();
    message = std::string(deviceName(device)) + " has its " + what;
    showDevice();
}

void controlsmenu::onGo(int id)
{
    if (id >= GO_ACTION && id < GO_ACTION + ACTION_COUNT) {
        waitingAction = id - GO_ACTION;
        waitForInput(device);
        message = std::string("Press the ") + (isKeyboard(device) ? "key" : "button or stick") +
                  " for " + deviceName(device) + " " + actionName(waitingAction) +
                  " (Escape keeps the old)";
        showDevice();
    } else if (id == GO_DEFAULTS) {
        useSet(defaultBindings(device), "default keys");
    } else if (id == GO_LAPTOP && device == 1) {
        useSet(laptopBindings(), "laptop keys");
    } else if (id == GO_BACK) {
        detachFromParent();
        delete this;
    }
}

void controlsmenu::finishWait(int in)
{
    const int action = waitingAction;
    waitingAction = -1;
    if (in == WAIT_CANCELLED) {
        message = std::string(actionName(action)) + " keeps " + inputList(device, action);
    } else {
        const std::string why = refusal(device, action, in);
        if (why.empty()) {
            g_bindings[device].assign(action, in);
            storeBindings(g_config, device);
            flushStore();
            message = std::string(actionName(action)) + " is now " + inputName(device, in);
        } else {
            message = why + ": not taken";
        }
    }
    showDevice();
    // what is held now was pressed for the wait, not for the lines
    ignoreHeldInput();
}

void controlsmenu::step(float dt)
{
    if (waitingAction < 0) {
        menu::step(dt);   // may close and delete this screen
        return;
    }
    if (fade > 0)
        fade -= dt;
    const int in = takeWaitedInput();
    if (in != NO_INPUT)
        finishWait(in);
    else if (!waitingForInput())
        finishWait(WAIT_CANCELLED);   // someone else ended the wait
}

void controlsmenu::drawThis()
{
    menu::drawThis();
    if (subMenu)
        return;
    std::string note = message;
    if (note.empty() && isMuted())
        note = "Muted: M turns the sound on again";
    if (note.empty())
        return;
    const float y = lineY((int)items.size()) + screen_height / 50.0f;
    const int x = (screen_width - GLTextWidth(0, "%s", note.c_str())) / 2;
    glColor4f(1, 0.8f, 0.3f, 1);
    GLText(0, (float)x, y, "%s", note.c_str());
    glColor4f(1, 1, 1, 1);
}
