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

// Device events into the controllers above. key is an SDL key symbol.
void controllerKey(int key, bool pressed);
void controllerJoyAxis(int device, int axis, int value);
void controllerJoyButton(int device, int button, bool pressed);

#endif
