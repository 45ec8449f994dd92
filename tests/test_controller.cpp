#include <climits>
#include <string>
#include <SDL/SDL_keysym.h>
#include <gtest/gtest.h>
#include "controller.h"
#include "fixtures.h"

namespace {

// every field in one line, so a failed comparison shows what changed
std::string describe(const controller& c)
{
    std::string s;
    s += c.left ? "L" : "-";
    s += c.right ? "R" : "-";
    s += c.up ? "U" : "-";
    s += c.down ? "D" : "-";
    s += " ";
    for (bool b : c.button)
        s += b ? "1" : "0";
    s += " x=" + std::to_string(c.axisX) + " y=" + std::to_string(c.axisY) +
         " dz=" + std::to_string(c.deadZone);
    return s;
}

class devices : public devicefixture {
protected:
    // every controller in one line
    std::string all() const
    {
        std::string s;
        for (const controller& c : keys)
            s += describe(c) + " | ";
        for (const controller& c : joys)
            s += describe(c) + " | ";
        return s;
    }
};

enum field { LEFT, RIGHT, UP, DOWN, B0, B1 };

bool& fieldOf(controller& c, field f)
{
    switch (f) {
    case LEFT: return c.left;
    case RIGHT: return c.right;
    case UP: return c.up;
    case DOWN: return c.down;
    case B0: return c.button[0];
    case B1: break;
    }
    return c.button[1];
}

}

TEST(controllerRecord, startsAtRestAndResetKeepsDeadZone)
{
    controller c;
    EXPECT_EQ(describe(c), "---- 0000000000000000 x=0 y=0 dz=4096");

    c.left = c.right = c.up = c.down = true;
    for (bool& b : c.button)
        b = true;
    c.axisX = 123;
    c.axisY = -321;
    c.deadZone = 100;
    c.reset_state();
    EXPECT_EQ(describe(c), "---- 0000000000000000 x=0 y=0 dz=100");
}

TEST(controllerRecord, readingRuleStickBeforeKeys)
{
    struct row { int axis; bool neg, pos; float want; };
    const row rows[] = {
        { 0, false, false, 0.0f },
        { 0, true, false, -1.0f },
        { 0, false, true, 1.0f },
        { 0, true, true, 0.0f },          // both held cancel out
        { 16384, true, false, 0.5f },     // a deflected stick wins over the keys
        { -32768, false, true, -1.0f },
        { 32768, false, false, 1.0f },
        { -4096, true, true, -0.125f },
    };
    for (const row& r : rows) {
        controller h, v;
        h.axisX = r.axis;
        h.left = r.neg;
        h.right = r.pos;
        v.axisY = r.axis;
        v.up = r.neg;
        v.down = r.pos;
        SCOPED_TRACE(testing::Message() << "axis " << r.axis << " neg " << r.neg << " pos " << r.pos);
        EXPECT_FLOAT_EQ(h.horizontal(), r.want);
        EXPECT_FLOAT_EQ(v.vertical(), r.want);
        // the other direction is untouched by this axis and these keys
        EXPECT_FLOAT_EQ(h.vertical(), 0.0f);
        EXPECT_FLOAT_EQ(v.horizontal(), 0.0f);
    }
}

TEST(controllerRecord, axisStoringRule)
{
    struct row { int deadZone; long v; int want; };
    const row rows[] = {
        { 4096, 4095, 0 },
        { 4096, 4096, 4096 },
        { 4096, -4095, 0 },
        { 4096, -4096, -4096 },
        { 4096, -32768, -32768 },
        { 4096, 32767, 32767 },
        { 4096, 40000, 32768 },
        { 4096, -40000, -32768 },
        { 4096, LONG_MIN, -32768 },
        { 4096, LONG_MAX, 32768 },
        { 100, 99, 0 },
        { 100, 100, 100 },
        { 0, 0, 0 },
        { 0, -1, -1 },
    };
    for (const row& r : rows) {
        controller c;
        c.deadZone = r.deadZone;
        EXPECT_EQ(c.storeAxis(r.v), r.want) << "dead zone " << r.deadZone << " value " << r.v;
    }
}

TEST_F(devices, everyKeyDrivesExactlyItsField)
{
    struct row { int key; int half; field f; };
    const row rows[] = {
        { SDLK_LEFT, 0, LEFT }, { SDLK_f, 0, LEFT },
        { SDLK_RIGHT, 0, RIGHT }, { SDLK_h, 0, RIGHT },
        { SDLK_UP, 0, UP }, { SDLK_t, 0, UP },
        { SDLK_DOWN, 0, DOWN }, { SDLK_g, 0, DOWN },
        { SDLK_z, 0, B0 }, { SDLK_q, 0, B0 },
        { SDLK_x, 0, B1 }, { SDLK_w, 0, B1 }, { SDLK_RETURN, 0, B1 },
        { SDLK_KP4, 1, LEFT }, { SDLK_KP6, 1, RIGHT }, { SDLK_KP8, 1, UP }, { SDLK_KP5, 1, DOWN },
        { SDLK_END, 1, B0 }, { SDLK_PAGEDOWN, 1, B1 },
    };
    for (const row& r : rows) {
        SCOPED_TRACE(testing::Message() << "key " << r.key);
        const std::string rest = all();

        controllerKey(r.key, true);
        controller want = keys[r.half];
        keys[r.half] = controller();
        fieldOf(keys[r.half], r.f) = true;
        EXPECT_EQ(describe(want), describe(keys[r.half]));
        keys[r.half] = want;

        controllerKey(r.key, false);
        EXPECT_EQ(all(), rest);
    }
}

TEST_F(devices, keysOutsideTheLayoutChangeNothing)
{
    const std::string rest = all();
    // upper-case letters never arrive as key symbols; keypad Enter and Escape are not game keys
    for (int key : { int('F'), int('Z'), int(SDLK_a), int(SDLK_KP_ENTER), int(SDLK_ESCAPE),
                     int(SDLK_KP2), int(SDLK_PAGEUP), int(SDLK_F1), 0, -1, 100000 }) {
        controllerKey(key, true);
        EXPECT_EQ(all(), rest) << "key " << key;
    }
}

TEST_F(devices, twoKeysOnOneFieldShareIt)
{
    controllerKey(SDLK_LEFT, true);
    controllerKey(SDLK_f, true);
    controllerKey(SDLK_f, false);
    EXPECT_FALSE(keys[0].left) << "releasing either key clears the shared field";
    EXPECT_FLOAT_EQ(keys[0].horizontal(), 0.0f);

    controllerKey(SDLK_x, true);
    controllerKey(SDLK_RETURN, true);
    controllerKey(SDLK_x, false);
    EXPECT_FALSE(keys[0].button[1]);
}

TEST_F(devices, joystickAxesAndButtons)
{
    struct axisRow { int axis; int value; int wantX; int wantY; };
    const axisRow axes[] = {
        { 0, 4095, 0, 0 },
        { 0, 4096, 4096, 0 },
        { 0, -32768, -32768, 0 },
        { 1, 20000, 0, 20000 },
        { 1, -4095, 0, 0 },
        { 2, 30000, 0, 0 },     // further axes are not read
        { -1, 30000, 0, 0 },
    };
    for (const axisRow& r : axes) {
        joys[2] = controller();
        controllerJoyAxis(2, r.axis, r.value);
        EXPECT_EQ(joys[2].axisX, r.wantX) << "axis " << r.axis << " value " << r.value;
        EXPECT_EQ(joys[2].axisY, r.wantY) << "axis " << r.axis << " value " << r.value;
    }

    // a stick that returns inside the dead zone stores 0 again
    controllerJoyAxis(1, 0, 25000);
    controllerJoyAxis(1, 0, 1000);
    EXPECT_EQ(joys[1].axisX, 0);

    // the pad's button 0 hits (button[1]), button 1 jumps (button[0]), others are not read
    controllerJoyButton(3, 0, true);
    EXPECT_TRUE(joys[3].button[1]);
    EXPECT_FALSE(joys[3].button[0]);
    controllerJoyButton(3, 1, true);
    EXPECT_TRUE(joys[3].button[0]);
    controllerJoyButton(3, 0, false);
    EXPECT_FALSE(joys[3].button[1]);
    EXPECT_TRUE(joys[3].button[0]);
    controllerJoyButton(3, 1, false);

    const std::string before = all();
    controllerJoyButton(3, 2, true);
    controllerJoyButton(3, 15, true);
    controllerJoyButton(3, -1, true);
    EXPECT_EQ(all(), before);
}

TEST_F(devices, eachDeviceFeedsOnlyItsOwnControllerAndHighIndexesAreIgnored)
{
    for (int d = 0; d < 4; d++) {
        controllerJoyButton(d, 0, true);
        controllerJoyAxis(d, 1, -10000 - d);
    }
    for (int d = 0; d < 4; d++) {
        EXPECT_TRUE(joys[d].button[1]) << d;
        EXPECT_EQ(joys[d].axisY, -10000 - d) << d;
    }
    EXPECT_EQ(describe(keys[0]), describe(controller()));
    EXPECT_EQ(describe(keys[1]), describe(controller()));

    const std::string before = all();
    for (int d : { 4, 5, 255, -1, INT_MIN }) {
        controllerJoyAxis(d, 0, 30000);
        controllerJoyButton(d, 1, true);
    }
    EXPECT_EQ(all(), before);
}

TEST(controllerTables, eventsWithoutControllersAreHarmless)
{
    for (controller* c : g_keys)
        ASSERT_EQ(c, nullptr);
    for (controller* c : g_joys)
        ASSERT_EQ(c, nullptr);
    controllerKey(SDLK_LEFT, true);
    controllerKey(SDLK_KP4, false);
    controllerJoyAxis(0, 0, 30000);
    controllerJoyButton(3, 1, true);

    // one table filled, the other not
    controller k;
    g_keys[1] = &k;
    controllerKey(SDLK_LEFT, true);
    controllerKey(SDLK_KP6, true);
    g_keys[1] = nullptr;
    EXPECT_TRUE(k.right);
    EXPECT_FALSE(k.left);
}
