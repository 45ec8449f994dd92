#include "controller.h"

#include <SDL/SDL_keysym.h>

controller* g_keys[2] = { nullptr, nullptr };
controller* g_joys[4] = { nullptr, nullptr, nullptr, nullptr };

static const int AXIS_LIMIT = 32768;

controller::controller() : deadZone(4096)
{
    reset_state();
}

void controller::reset_state()
{
    left = right = up = down = false;
    for (bool& b : button)
        b = false;
    axisX = axisY = 0;
}

// One direction value from a stick axis and its two keys: a deflected stick wins.
static float directionValue(int axis, bool negative, bool positive)
{
    if (axis != 0)
        return axis * (1.0f / AXIS_LIMIT);
    if (negative && !positive)
        return -1.0f;
    if (positive && !negative)
        return 1.0f;
    return 0.0f;
}

float controller::horizontal() const
{
    return directionValue(axisX, left, right);
}

float controller::vertical() const
{
    return directionValue(axisY, up, down);
}

int controller::storeAxis(long v) const
{
    // compared without negating v, so the most negative long cannot overflow
    if (v > -static_cast<long>(deadZone) && v < deadZone)
        return 0;
    if (v > AXIS_LIMIT)
        return AXIS_LIMIT;
    if (v < -AXIS_LIMIT)
        return -AXIS_LIMIT;
    return static_cast<int>(v);
}

unsigned controller::directionBits() const
{
    return (left ? 1u : 0u) | (right ? 2u : 0u) | (up ? 4u : 0u) | (down ? 8u : 0u);
}

unsigned controller::buttonBits() const
{
    unsigned bits = 0;
    for (int i = 0; i < 16; i++)
        if (button[i])
            bits |= 1u << i;
    return bits;
}

void controller::setBits(unsigned directions, unsigned buttons)
{
    left = directions & 1;
    right = directions & 2;
    up = directions & 4;
    down = directions & 8;
    for (int i = 0; i < 16; i++)
        button[i] = (buttons >> i) & 1;
}

// Keyboard layout: which half of the keyboard and which field each key drives.
enum keyfield { KF_LEFT, KF_RIGHT, KF_UP, KF_DOWN, KF_BUTTON0, KF_BUTTON1 };

struct keybinding {
    int key;
    int half;        // index into g_keys
    keyfield field;
};

static const keybinding keyBindings[] = {
    { SDLK_LEFT, 0, KF_LEFT },      { SDLK_f, 0, KF_LEFT },
    { SDLK_RIGHT, 0, KF_RIGHT },    { SDLK_h, 0, KF_RIGHT },
    { SDLK_UP, 0, KF_UP },          { SDLK_t, 0, KF_UP },
    { SDLK_DOWN, 0, KF_DOWN },      { SDLK_g, 0, KF_DOWN },
    { SDLK_z, 0, KF_BUTTON0 },      { SDLK_q, 0, KF_BUTTON0 },
    { SDLK_x, 0, KF_BUTTON1 },      { SDLK_w, 0, KF_BUTTON1 },
    { SDLK_RETURN, 0, KF_BUTTON1 },
    { SDLK_KP4, 1, KF_LEFT },
    { SDLK_KP6, 1, KF_RIGHT },
    { SDLK_KP8, 1, KF_UP },
    { SDLK_KP5, 1, KF_DOWN },
    { SDLK_END, 1, KF_BUTTON0 },
    { SDLK_PAGEDOWN, 1, KF_BUTTON1 },
};

static bool& fieldOf(controller& c, keyfield f)
{
    switch (f) {
    case KF_LEFT: return c.left;
    case KF_RIGHT: return c.right;
    case KF_UP: return c.up;
    case KF_DOWN: return c.down;
    case KF_BUTTON0: return c.button[0];
    case KF_BUTTON1: break;
    }
    return c.button[1];
}

void controllerKey(int key, bool pressed)
{
    for (const keybinding& b : keyBindings) {
        if (b.key != key || !g_keys[b.half])
            continue;
        // keys sharing a field share its state: the last press or release wins
        fieldOf(*g_keys[b.half], b.field) = pressed;
    }
}

static controller* joystick(int device)
{
    if (device < 0 || device >= 4)
        return nullptr;
    return g_joys[device];
}

void controllerJoyAxis(int device, int axis, int value)
{
    controller* c = joystick(device);
    if (!c)
        return;
    if (axis == 0)
        c->axisX = c->storeAxis(value);
    else if (axis == 1)
        c->axisY = c->storeAxis(value);
}

void controllerJoyButton(int device, int button, bool pressed)
{
    controller* c = joystick(device);
    if (!c)
        return;
    // the pad's first button hits, its second jumps
    if (button == 0)
        c->button[1] = pressed;
    else if (button == 1)
        c->button[0] = pressed;
}
