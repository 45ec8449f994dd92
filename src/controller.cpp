#include "controller.h"

#include <algorithm>
#include <cstdlib>
#include <SDL/SDL_keysym.h>
#include "bindings.h"

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

// ---- devices through the bindings ----

controller* g_menuKeys = nullptr;

static const int HALF_WAY = 16384;   // a stick pushed this far counts as a press

// the field an action drives
static bool& fieldOf(controller& c, int action)
{
    switch (action) {
    case ACT_LEFT: return c.left;
    case ACT_RIGHT: return c.right;
    case ACT_UP: return c.up;
    case ACT_DOWN: return c.down;
    case ACT_JUMP: return c.button[0];
    default: break;
    }
    return c.button[1];
}

// the device being waited for, its caught input (NO_INPUT while none)
static int s_waitDevice = -1;
static int s_waited = NO_INPUT;

void waitForInput(int bindDevice)
{
    s_waitDevice = bindDevice >= 0 && bindDevice < BIND_DEVICES ? bindDevice : -1;
    s_waited = NO_INPUT;
}

bool waitingForInput()
{
    return s_waitDevice >= 0 && s_waited == NO_INPUT;
}

int takeWaitedInput()
{
    const int in = s_waited;
    if (in != NO_INPUT)
        s_waitDevice = -1;
    s_waited = NO_INPUT;
    return in;
}

void stopWaiting()
{
    s_waitDevice = -1;
    s_waited = NO_INPUT;
}

// true when the wait took the event
static bool caught(int device, int in)
{
    if (!waitingForInput() || s_waitDevice != device)
        return false;
    s_waited = in;
    return true;
}

// Every field pressed since the menus last gathered their input, so that a key pressed and
// let go within one slow frame still reaches them once. The players never read it.
static controller s_tapped;

static void menuKey(controller& m, int key, bool pressed)
{
    switch (key) {
    case SDLK_LEFT: m.left = pressed; break;
    case SDLK_RIGHT: m.right = pressed; break;
    case SDLK_UP: m.up = pressed; break;
    case SDLK_DOWN: m.down = pressed; break;
    case SDLK_RETURN: case SDLK_KP_ENTER: m.button[1] = pressed; break;
    case SDLK_ESCAPE: m.button[BUTTON_BACK] = pressed; break;
    default: break;
    }
}

void controllerKey(int key, bool pressed)
{
    if (pressed && waitingForInput()) {
        // Escape ends the wait; a joystick's line waits for the joystick alone
        if (key == SDLK_ESCAPE)
            s_waited = WAIT_CANCELLED;
        else if (isKeyboard(s_waitDevice))
            caught(s_waitDevice, key);
        return;
    }
    if (g_menuKeys)
        menuKey(*g_menuKeys, key, pressed);
    if (pressed)
        menuKey(s_tapped, key, true);
    for (int half = 0; half < 2; half++) {
        const int action = g_bindings[half].actionOf(key);
        if (action < 0 || !g_keys[half])
            continue;
        // keys sharing a field share its state: the last press or release wins
        fieldOf(*g_keys[half], action) = pressed;
        if (pressed)
            fieldOf(s_tapped, action) = true;
    }
}

static controller* joystick(int device)
{
    if (device < 0 || device >= 4)
        return nullptr;
    return g_joys[device];
}

static int s_axes[4][JOY_AXES];   // the last raw value of every stick axis

// how far the sticks bound to an action push it, 0 ... 32768
static int axisAmount(int joy, int action)
{
    int most = 0;
    for (int in : g_bindings[2 + joy].input[action]) {
        const int k = in - JOY_AXIS_BASE;
        if (in == NO_INPUT || k < 0 || k >= 2 * JOY_AXES)
            continue;
        const int v = s_axes[joy][k / 2] * (k % 2 ? 1 : -1);
        most = std::max(most, v);
    }
    return most;
}

static bool boundToAxis(int joy, int action, int axis)
{
    for (int in : g_bindings[2 + joy].input[action])
        if (in != NO_INPUT && (in - JOY_AXIS_BASE) / 2 == axis && in >= JOY_AXIS_BASE)
            return true;
    return false;
}

void controllerJoyAxis(int device, int axis, int value)
{
    controller* c = joystick(device);
    if (!c || axis < 0 || axis >= JOY_AXES)
        return;
    if (std::abs(value) > HALF_WAY && caught(2 + device, JOY_AXIS_BASE + 2 * axis + (value > 0)))
        return;
    s_axes[device][axis] = value;
    // a stick bound to a direction is read as a stick, one bound to jump or hit as a button
    if (boundToAxis(device, ACT_LEFT, axis) || boundToAxis(device, ACT_RIGHT, axis))
        c->axisX = c->storeAxis(long(axisAmount(device, ACT_RIGHT)) - axisAmount(device, ACT_LEFT));
    if (boundToAxis(device, ACT_UP, axis) || boundToAxis(device, ACT_DOWN, axis))
        c->axisY = c->storeAxis(long(axisAmount(device, ACT_DOWN)) - axisAmount(device, ACT_UP));
    for (int action : { ACT_JUMP, ACT_HIT })
        if (boundToAxis(device, action, axis))
            fieldOf(*c, action) = axisAmount(device, action) > HALF_WAY;
}

void controllerJoyButton(int device, int button, bool pressed)
{
    controller* c = joystick(device);
    if (!c)
        return;
    if (pressed && caught(2 + device, button))
        return;
    const int action = g_bindings[2 + device].actionOf(button);
    if (action < 0 || button >= JOY_BUTTONS)
        return;
    fieldOf(*c, action) = pressed;
    if (pressed)
        fieldOf(s_tapped, action) = true;
}

int bindDeviceOf(const controller* c)
{
    for (int d = 0; d < BIND_DEVICES && c; d++)
        if (c == (d < 2 ? g_keys[d] : g_joys[d - 2]))
            return d;
    return -1;
}

// ---- the menus' input ----

static void addInput(controller& out, const controller& c)
{
    out.left = out.left || c.left;
    out.right = out.right || c.right;
    out.up = out.up || c.up;
    out.down = out.down || c.down;
    for (int b = 0; b < 16; b++)
        out.button[b] = out.button[b] || c.button[b];
    if (std::abs(c.axisX) > std::abs(out.axisX))
        out.axisX = c.axisX;
    if (std::abs(c.axisY) > std::abs(out.axisY))
        out.axisY = c.axisY;
}

void gatherMenuInput(controller& out)
{
    out.reset_state();
    controller* all[8] = { g_menuKeys, g_keys[0], g_keys[1], g_joys[0], g_joys[1], g_joys[2],
                           g_joys[3], &s_tapped };
    for (controller* c : all)
        if (c)
            addInput(out, *c);
    s_tapped.reset_state();
}
