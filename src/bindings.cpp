#include "bindings.h"

#include <cctype>
#include <cstdio>
#include <SDL/SDL_keysym.h>
#include <wx/config.h>

bindingset g_bindings[BIND_DEVICES] = {
    defaultBindings(0), defaultBindings(1), defaultBindings(2),
    defaultBindings(3), defaultBindings(4), defaultBindings(5),
};

// ---- one device's set ----

bindingset::bindingset()
{
    for (auto& slots : input)
        for (int& in : slots)
            in = NO_INPUT;
}

int bindingset::actionOf(int in) const
{
    if (in == NO_INPUT)
        return -1;
    for (int a = 0; a < ACTION_COUNT; a++)
        for (int s = 0; s < BIND_SLOTS; s++)
            if (input[a][s] == in)
                return a;
    return -1;
}

bool bindingset::uses(int in) const
{
    return actionOf(in) >= 0;
}

void bindingset::assign(int action, int in)
{
    input[action][0] = in;
    for (int s = 1; s < BIND_SLOTS; s++)
        input[action][s] = NO_INPUT;
}

static bindingset makeSet(const int (&inputs)[ACTION_COUNT][BIND_SLOTS])
{
    bindingset b;
    for (int a = 0; a < ACTION_COUNT; a++)
        for (int s = 0; s < BIND_SLOTS; s++)
            b.input[a][s] = inputs[a][s] ? inputs[a][s] : NO_INPUT;
    return b;
}

bindingset defaultBindings(int device)
{
    // left, right, up, down, jump, hit; 0 ends a list (no default is key 0 or button 0 ...
    // except the joystick's hit, set below)
    static const int keyboard1[ACTION_COUNT][BIND_SLOTS] = {
        { SDLK_LEFT, SDLK_f }, { SDLK_RIGHT, SDLK_h }, { SDLK_UP, SDLK_t }, { SDLK_DOWN, SDLK_g },
        { SDLK_z, SDLK_q }, { SDLK_x, SDLK_w, SDLK_RETURN },
    };
    static const int keyboard2[ACTION_COUNT][BIND_SLOTS] = {
        { SDLK_KP4 }, { SDLK_KP6 }, { SDLK_KP8 }, { SDLK_KP5 }, { SDLK_END }, { SDLK_PAGEDOWN },
    };
    if (device == 0)
        return makeSet(keyboard1);
    if (device == 1)
        return makeSet(keyboard2);
    // the stick runs, the second button jumps, the first hits
    bindingset b;
    b.input[ACT_LEFT][0] = JOY_AXIS_BASE + 0;
    b.input[ACT_RIGHT][0] = JOY_AXIS_BASE + 1;
    b.input[ACT_UP][0] = JOY_AXIS_BASE + 2;
    b.input[ACT_DOWN][0] = JOY_AXIS_BASE + 3;
    b.input[ACT_JUMP][0] = 1;
    b.input[ACT_HIT][0] = 0;
    return b;
}

bindingset laptopBindings()
{
    static const int laptop[ACTION_COUNT][BIND_SLOTS] = {
        { SDLK_j }, { SDLK_l }, { SDLK_i }, { SDLK_k }, { SDLK_u }, { SDLK_o },
    };
    return makeSet(laptop);
}

// ---- names ----

bool isKeyboard(int device)
{
    return device == 0 || device == 1;
}

const char* deviceName(int device)
{
    static const char* const names[BIND_DEVICES] = {
        "Keyboard 1", "Keyboard 2", "Joystick 1", "Joystick 2", "Joystick 3", "Joystick 4"
    };
    return device >= 0 && device < BIND_DEVICES ? names[device] : "?";
}

const char* actionName(int action)
{
    static const char* const names[ACTION_COUNT] = { "Left", "Right", "Up", "Down", "Jump", "Hit" };
    return action >= 0 && action < ACTION_COUNT ? names[action] : "?";
}

struct keyname {
    int key;
    const char* name;
};

// keys with a name of more than their own character; punctuation has words, so that a list
// of names can be written with commas
static const keyname namedKeys[] = {
    { SDLK_LEFT, "Left" }, { SDLK_RIGHT, "Right" }, { SDLK_UP, "Up" }, { SDLK_DOWN, "Down" },
    { SDLK_RETURN, "Return" }, { SDLK_SPACE, "Space" }, { SDLK_TAB, "Tab" },
    { SDLK_BACKSPACE, "Backspace" }, { SDLK_INSERT, "Insert" }, { SDLK_DELETE, "Delete" },
    { SDLK_HOME, "Home" }, { SDLK_END, "End" }, { SDLK_PAGEUP, "Page Up" },
    { SDLK_PAGEDOWN, "Page Down" }, { SDLK_LSHIFT, "Left Shift" }, { SDLK_RSHIFT, "Right Shift" },
    { SDLK_LCTRL, "Left Ctrl" }, { SDLK_RCTRL, "Right Ctrl" }, { SDLK_LALT, "Left Alt" },
    { SDLK_RALT, "Right Alt" }, { SDLK_ESCAPE, "Escape" },
    { SDLK_KP_PERIOD, "Keypad Period" }, { SDLK_KP_DIVIDE, "Keypad Slash" },
    { SDLK_KP_MULTIPLY, "Keypad Star" }, { SDLK_KP_MINUS, "Keypad Minus" },
    { SDLK_KP_PLUS, "Keypad Plus" }, { SDLK_KP_ENTER, "Keypad Enter" },
    { SDLK_KP_EQUALS, "Keypad Equals" }, { SDLK_COMMA, "Comma" }, { SDLK_PERIOD, "Period" },
    { SDLK_SLASH, "Slash" }, { SDLK_SEMICOLON, "Semicolon" }, { SDLK_QUOTE, "Quote" },
    { SDLK_LEFTBRACKET, "Left Bracket" }, { SDLK_RIGHTBRACKET, "Right Bracket" },
    { SDLK_BACKSLASH, "Backslash" }, { SDLK_MINUS, "Minus" }, { SDLK_EQUALS, "Equals" },
    { SDLK_BACKQUOTE, "Backquote" },
};

static std::string keyName(int key)
{
    char text[16];
    if (key >= SDLK_a && key <= SDLK_z)
        return std::string(1, char(std::toupper(key)));
    if (key >= SDLK_0 && key <= SDLK_9)
        return std::string(1, char(key));
    if (key >= SDLK_KP0 && key <= SDLK_KP9) {
        std::snprintf(text, sizeof text, "Keypad %d", key - SDLK_KP0);
        return text;
    }
    if (key >= SDLK_F1 && key <= SDLK_F15) {
        std::snprintf(text, sizeof text, "F%d", key - SDLK_F1 + 1);
        return text;
    }
    for (const keyname& k : namedKeys)
        if (k.key == key)
            return k.name;
    return std::string();
}

static std::string joyName(int in)
{
    static const char* const stick[4] = { "stick left", "stick right", "stick up", "stick down" };
    char text[32];
    if (in >= 0 && in < JOY_BUTTONS) {
        std::snprintf(text, sizeof text, "button %d", in + 1);
        return text;
    }
    const int k = in - JOY_AXIS_BASE;
    if (k < 0 || k >= 2 * JOY_AXES)
        return std::string();
    if (k < 4)
        return stick[k];
    std::snprintf(text, sizeof text, "axis %d%c", k / 2 + 1, k % 2 ? '+' : '-');
    return text;
}

std::string inputName(int device, int in)
{
    const std::string name = isKeyboard(device) ? keyName(in) : joyName(in);
    return name.empty() ? "?" : name;
}

static std::string lowered(const std::string& s)
{
    std::string out;
    for (char c : s)
        out += char(std::tolower((unsigned char)c));
    return out;
}

int parseInput(int device, const std::string& name)
{
    const std::string want = lowered(name);
    if (want.empty())
        return NO_INPUT;
    // the names are few: every input that has one is tried
    const int last = isKeyboard(device) ? int(SDLK_LAST) : JOY_AXIS_BASE + 2 * JOY_AXES;
    for (int in = 0; in < last; in++) {
        const std::string n = isKeyboard(device) ? keyName(in) : joyName(in);
        if (!n.empty() && lowered(n) == want)
            return in;
    }
    return NO_INPUT;
}

// every input of one action, "Left, F", as shown and as stored
static std::string listOf(int device, const bindingset& b, int action)
{
    std::string list;
    for (int s = 0; s < BIND_SLOTS; s++) {
        if (b.input[action][s] == NO_INPUT)
            continue;
        if (!list.empty())
            list += ", ";
        list += inputName(device, b.input[action][s]);
    }
    return list;
}

std::string inputList(int device, int action)
{
    const std::string list = listOf(device, g_bindings[device], action);
    return list.empty() ? "none" : list;
}

std::string runDescription(int device)
{
    return "run: " + inputList(device, ACT_LEFT) + " / " + inputList(device, ACT_RIGHT) + " / " +
           inputList(device, ACT_UP) + " / " + inputList(device, ACT_DOWN);
}

std::string buttonDescription(int device)
{
    return "jump: " + inputList(device, ACT_JUMP) + "; hit: " + inputList(device, ACT_HIT);
}

// ---- rules ----

bool isReserved(int device, int in)
{
    if (isKeyboard(device))
        return in == SDLK_ESCAPE || in == SDLK_m || in == SDLK_F1 || in == SDLK_F2;
    return in == 2;
}

std::string refusal(int device, int action, int in)
{
    if (device < 0 || device >= BIND_DEVICES || action < 0 || action >= ACTION_COUNT)
        return "no such line";
    const std::string name = inputName(device, in);
    if (name == "?")
        return "that key has no name here";
    if (isReserved(device, in)) {
        if (!isKeyboard(device))
            return name + " pauses the match";
        return name + " is kept for the game";
    }
    for (int d = 0; d < BIND_DEVICES; d++) {
        if (d != device && !(isKeyboard(d) && isKeyboard(device)))
            continue;
        const int a = g_bindings[d].actionOf(in);
        if (a >= 0 && !(d == device && a == action))
            return name + " is " + deviceName(d) + "'s " + actionName(a);
    }
    return std::string();
}

// ---- the store ----

std::string bindingKey(int device, int action)
{
    std::string dev = lowered(deviceName(device));
    dev.erase(dev.find(' '), 1);
    return "keys/" + dev + "/" + lowered(actionName(action));
}

// One action's inputs from a stored list; false when the list is empty, names an unknown
// input, has more than BIND_SLOTS names or one twice.
static bool parseList(int device, const std::string& text, int (&slots)[BIND_SLOTS])
{
    for (int& in : slots)
        in = NO_INPUT;
    int count = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos)
            comma = text.size();
        std::string name = text.substr(start, comma - start);
        const size_t b = name.find_first_not_of(" \t");
        const size_t e = name.find_last_not_of(" \t");
        name = b == std::string::npos ? std::string() : name.substr(b, e - b + 1);
        const int in = parseInput(device, name);
        if (in == NO_INPUT || count == BIND_SLOTS)
            return false;
        for (int k = 0; k < count; k++)
            if (slots[k] == in)
                return false;
        slots[count++] = in;
        start = comma + 1;
    }
    return count > 0;
}

// a set no input of which drives two actions or is reserved
static bool clean(int device, const bindingset& b)
{
    for (int a = 0; a < ACTION_COUNT; a++)
        for (int s = 0; s < BIND_SLOTS; s++) {
            const int in = b.input[a][s];
            if (in != NO_INPUT && (isReserved(device, in) || b.actionOf(in) != a))
                return false;
        }
    return true;
}

static bool keyboardsShareAKey(const bindingset& one, const bindingset& two)
{
    for (const auto& slots : two.input)
        for (int in : slots)
            if (one.uses(in))
                return true;
    return false;
}

void loadBindings(wxConfigBase* store, bool repair)
{
    for (int d = 0; d < BIND_DEVICES; d++) {
        const bindingset defaults = defaultBindings(d);
        bindingset b = defaults;
        bool repaired = false;
        for (int a = 0; a < ACTION_COUNT && store; a++) {
            wxString text;
            if (!store->Read(wxString::FromUTF8(bindingKey(d, a).c_str()), &text)) {
                repaired = true;
                continue;
            }
            int slots[BIND_SLOTS];
            if (parseList(d, std::string(text.utf8_str()), slots))
                std::copy(slots, slots + BIND_SLOTS, b.input[a]);
            else
                repaired = true;
        }
        if (!clean(d, b)) {
            b = defaults;
            repaired = true;
        }
        g_bindings[d] = b;
        if (repaired && repair)
            storeBindings(store, d);
    }
    // keyboard 2 gives way to keyboard 1; two default sets never clash
    if (keyboardsShareAKey(g_bindings[0], g_bindings[1])) {
        g_bindings[1] = defaultBindings(1);
        if (keyboardsShareAKey(g_bindings[0], g_bindings[1]))
            g_bindings[0] = defaultBindings(0);
        for (int d = 0; d < 2 && repair; d++)
            storeBindings(store, d);
    }
}

void storeBindings(wxConfigBase* store, int device)
{
    if (!store || device < 0 || device >= BIND_DEVICES)
        return;
    for (int a = 0; a < ACTION_COUNT; a++)
        store->Write(wxString::FromUTF8(bindingKey(device, a).c_str()),
                     wxString::FromUTF8(listOf(device, g_bindings[device], a).c_str()));
}
