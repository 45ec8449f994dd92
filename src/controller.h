#ifndef TIBREL_CONTROLLER_H
#define TIBREL_CONTROLLER_H

// The input record every object reads: held directions, held buttons and two stick axes.
// button[0] is jump / previous, button[1] is hit / next; the others are never set by a device.
class controller {
public:
    bool left, right, up, down;
    bool button[16];
    int axisX;      // -32768 ... 32768, positive to the right
    int axisY;      // -32768 ... 32768, positive downward (toward the user)
    int deadZone;   // smallest stored axis magnitude, default 4096

    controller();
    // directions, buttons and axes to rest; deadZone kept
    void reset_state();

    // reading rule: the stick wins when deflected, else the keys (-1, 0, +1)
    float horizontal() const;
    float vertical() const;

    // axis storing rule: |v| < deadZone stores 0, then clamp to -32768 ... 32768
    int storeAxis(long v) const;

    // the held directions and buttons as bits, as replays and the network carry them:
    // directions 1 left, 2 right, 4 up, 8 down; button i is bit i
    unsigned directionBits() const;
    unsigned buttonBits() const;
    void setBits(unsigned directions, unsigned buttons);
};

// the six device controllers, owned by the shell (null until start-up)
extern controller* g_keys[2];
extern controller* g_joys[4];
// The menus' own keys, whatever the bindings: arrows move, Return and Keypad Enter pick,
// Escape goes back (BUTTON_BACK). Owned by the shell; no player reads it.
extern controller* g_menuKeys;
static const int BUTTON_BACK = 2;

// Device events into the controllers above, through the bindings. key is an SDL key symbol.
void controllerKey(int key, bool pressed);
void controllerJoyAxis(int device, int axis, int value);
void controllerJoyButton(int device, int button, bool pressed);

// the binding device (0 ... 5) a device controller belongs to, or -1
int bindDeviceOf(const controller* c);

// What every menu reads: the menu keys and all six devices at once (a field held on any of
// them is held; the stick deflected furthest wins), and any field pressed since the last
// gathering even if let go again. Gathered every frame, so that presses never wait long.
void gatherMenuInput(controller& out);

// Waiting for one device's next input (a key down; a button down or a stick pushed past half
// way on that joystick), for the Controls screen. While it waits, those events reach no
// controller; Escape cancels.
static const int WAIT_CANCELLED = -2;
void waitForInput(int bindDevice);
bool waitingForInput();
// the caught input, WAIT_CANCELLED, or NO_INPUT while still waiting; a caught input ends the wait
int takeWaitedInput();
void stopWaiting();

#endif
