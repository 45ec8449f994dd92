#ifndef TIBREL_BINDINGS_H
#define TIBREL_BINDINGS_H

#include <string>

class wxConfigBase;

// Which keys, buttons and stick directions drive each action of each device, with the names
// the screens, hints and help show. Bindings only decide how device events fill the
// controllers; the match reads nothing but the controllers, so they never reach a replay.
enum bindaction { ACT_LEFT, ACT_RIGHT, ACT_UP, ACT_DOWN, ACT_JUMP, ACT_HIT, ACTION_COUNT };

// devices 0 and 1 are the keyboards, 2 ... 5 joysticks 1 ... 4
static const int BIND_DEVICES = 6;
// inputs one action may have (keyboard 1 hits with X, W and Return)
static const int BIND_SLOTS = 3;
// an empty slot
static const int NO_INPUT = -1;

// Inputs: on a keyboard an SDL key symbol; on a joystick button b (0 ...) is b and direction
// s (0 negative, 1 positive) of axis a is JOY_AXIS_BASE + 2 a + s.
static const int JOY_AXIS_BASE = 100;
static const int JOY_BUTTONS = 32;
static const int JOY_AXES = 8;

class bindingset {
public:
    int input[ACTION_COUNT][BIND_SLOTS];

    bindingset();
    bool uses(int in) const;
    // the action that in drives, or -1
    int actionOf(int in) const;
    // first input of the action (what hints and the footer name), or NO_INPUT
    int first(int action) const { return input[action][0]; }
    // the action gets in as its only input
    void assign(int action, int in);
};

extern bindingset g_bindings[BIND_DEVICES];

bool isKeyboard(int device);
const char* deviceName(int device);      // "Keyboard 1" ... "Joystick 4"
const char* actionName(int action);      // "Left" ... "Hit"
// "Page Down", "Keypad 8", "X", "button 1", "stick left"; "?" for an input no name is known for
std::string inputName(int device, int in);
// the input of that name (any letter case) on that kind of device, or NO_INPUT
int parseInput(int device, const std::string& name);
// every input of an action, "Left, F"; "none" when it has none
std::string inputList(int device, int action);

// The keys each device comes with; keyboard 2 also offers keys every laptop has.
bindingset defaultBindings(int device);
bindingset laptopBindings();

// Escape, M, F1 and F2 on a keyboard and a joystick's third button have their own uses
bool isReserved(int device, int in);
// Why device may not take in for action: empty when it may; else the words the Controls
// screen shows ("X is Keyboard 1's Hit"). The two keyboards share one set of keys, so a key
// of the other keyboard is refused too.
std::string refusal(int device, int action, int in);

// Reads every device's bindings from the store. A missing, damaged or unknown stored input
// gives the action its defaults; a device whose inputs still clash (with each other, with the
// reserved keys or with the other keyboard) gets its whole default set. What was repaired is
// written back.
// With repair false nothing is written (--help only reads).
void loadBindings(wxConfigBase* store, bool repair = true);
void storeBindings(wxConfigBase* store, int device);
// two lines for --help: "run: Left, F / Right, H / Up, T / Down, G" and "jump: Z, Q; hit: X"
std::string runDescription(int device);
std::string buttonDescription(int device);
// the store key of one action, "keys/keyboard2/jump"
std::string bindingKey(int device, int action);

#endif
