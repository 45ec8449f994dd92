// The keys, buttons and sticks bound to each device: names, the rules that refuse a key, the
// store with its damaged entries, and events reaching the players through a changed binding.
#include <cstdio>
#include <string>
#include <SDL/SDL_keysym.h>
#include <gtest/gtest.h>
#include <wx/config.h>
#include "bindings.h"
#include "controller.h"
#include "fixtures.h"
#include "game.h"
#include "main.h"
#include "player.h"
#include "support.h"

namespace {

void allDefaults()
{
    for (int d = 0; d < BIND_DEVICES; d++)
        g_bindings[d] = defaultBindings(d);
}

class bindingTest : public devicefixture {
protected:
    void SetUp() override
    {
        devicefixture::SetUp();
        allDefaults();
        stopWaiting();
    }
    void TearDown() override
    {
        allDefaults();
        stopWaiting();
        devicefixture::TearDown();
    }
};

TEST(bindingNames, everyNamedInputReadsBackAsItself)
{
    int named = 0;
    for (int device : { 0, 2 }) {
        const int last = isKeyboard(device) ? int(SDLK_LAST) : JOY_AXIS_BASE + 2 * JOY_AXES;
        for (int in = 0; in < last; in++) {
            const std::string name = inputName(device, in);
            if (name == "?")
                continue;
            named++;
            EXPECT_EQ(parseInput(device, name), in) << name;
        }
    }
    EXPECT_GT(named, 140);   // letters, digits, keypad, F keys, named keys; buttons and axes
    struct { int device; const char* text; int in; } cases[] = {
        { 0, "page down", SDLK_PAGEDOWN }, { 1, "KEYPAD 8", SDLK_KP8 }, { 0, "x", SDLK_x },
        { 0, "Comma", SDLK_COMMA }, { 2, "Button 1", 0 }, { 3, "stick left", JOY_AXIS_BASE },
        { 2, "axis 4+", JOY_AXIS_BASE + 7 }, { 0, "banana", NO_INPUT }, { 0, "", NO_INPUT },
        { 2, "X", NO_INPUT }, { 0, "button 1", NO_INPUT }, { 2, "button 33", NO_INPUT },
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseInput(c.device, c.text), c.in) << c.text;
}

TEST_F(bindingTest, aReboundKeyDrivesItsFieldAndTheOldOneNoLonger)
{
    g_bindings[0].assign(ACT_HIT, SDLK_p);
    g_bindings[1] = laptopBindings();
    controllerKey(SDLK_x, true);
    EXPECT_FALSE(keys[0].button[1]) << "X no longer hits";
    controllerKey(SDLK_p, true);
    EXPECT_TRUE(keys[0].button[1]);
    controllerKey(SDLK_p, false);
    EXPECT_FALSE(keys[0].button[1]);

    // keyboard 2 on the laptop keys: I J K L run, U jumps, O hits; the keypad is free
    struct { int key; bool controller::*dir; int button; } laptop[] = {
        { SDLK_j, &controller::left, -1 }, { SDLK_l, &controller::right, -1 },
        { SDLK_i, &controller::up, -1 }, { SDLK_k, &controller::down, -1 },
        { SDLK_u, nullptr, 0 }, { SDLK_o, nullptr, 1 }, { SDLK_KP4, nullptr, -1 },
    };
    for (const auto& c : laptop) {
        keys[1] = controller();
        controllerKey(c.key, true);
        controller want;
        if (c.dir)
            want.*(c.dir) = true;
        if (c.button >= 0)
            want.button[c.button] = true;
        EXPECT_EQ(keys[1].left, want.left) << c.key;
        EXPECT_EQ(keys[1].right, want.right) << c.key;
        EXPECT_EQ(keys[1].up, want.up) << c.key;
        EXPECT_EQ(keys[1].down, want.down) << c.key;
        EXPECT_EQ(keys[1].button[0], want.button[0]) << c.key;
        EXPECT_EQ(keys[1].button[1], want.button[1]) << c.key;
        controllerKey(c.key, false);
    }
}

TEST_F(bindingTest, joystickButtonsAndSticksFollowTheirBinding)
{
    // hit on the fourth button, jump on the right trigger's axis (axis 3, pushed)
    g_bindings[2].assign(ACT_HIT, 3);
    g_bindings[2].assign(ACT_JUMP, JOY_AXIS_BASE + 2 * 2 + 1);
    controllerJoyButton(0, 0, true);
    EXPECT_FALSE(joys[0].button[1]) << "the first button no longer hits";
    controllerJoyButton(0, 3, true);
    EXPECT_TRUE(joys[0].button[1]);
    controllerJoyAxis(0, 2, 20000);
    EXPECT_TRUE(joys[0].button[0]);
    EXPECT_EQ(joys[0].axisX, 0) << "the trigger does not run";
    controllerJoyAxis(0, 2, 10000);
    EXPECT_FALSE(joys[0].button[0]) << "under half way the trigger is let go";
    // the stick still runs, through the dead zone and the clamp
    struct { int value, x; } stick[] = { { -20000, -20000 }, { 4095, 0 }, { 32767, 32767 },
                                         { -32768, -32768 } };
    for (const auto& s : stick) {
        controllerJoyAxis(0, 0, s.value);
        EXPECT_EQ(joys[0].axisX, s.x) << s.value;
    }
    // left and right swapped: the stick reads mirrored
    g_bindings[2].assign(ACT_LEFT, JOY_AXIS_BASE + 1);
    g_bindings[2].assign(ACT_RIGHT, JOY_AXIS_BASE + 0);
    controllerJoyAxis(0, 0, -20000);
    EXPECT_EQ(joys[0].axisX, 20000);
}

TEST_F(bindingTest, keysInUseAndReservedKeysAreRefused)
{
    struct { int device, action, in; const char* why; } cases[] = {
        { 0, ACT_HIT, SDLK_z, "Z is Keyboard 1's Jump" },
        { 1, ACT_JUMP, SDLK_x, "X is Keyboard 1's Hit" },   // one keyboard, two halves
        { 0, ACT_LEFT, SDLK_KP6, "Keypad 6 is Keyboard 2's Right" },
        { 0, ACT_HIT, SDLK_ESCAPE, "Escape is kept for the game" },
        { 1, ACT_HIT, SDLK_m, "M is kept for the game" },
        { 2, ACT_HIT, 1, "button 2 is Joystick 1's Jump" },
        { 3, ACT_JUMP, 2, "button 3 pauses the match" },
        { 0, ACT_HIT, SDLK_k, "" },
        { 0, ACT_HIT, SDLK_w, "" },      // its own key again
        { 2, ACT_HIT, 5, "" },
        { 3, ACT_HIT, 1, "button 2 is Joystick 2's Jump" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(refusal(c.device, c.action, c.in), c.why) << c.device << " " << c.in;
}

TEST_F(bindingTest, waitingTakesTheNextInputOfItsDeviceOnly)
{
    waitForInput(0);
    controllerKey(SDLK_x, true);
    EXPECT_FALSE(keys[0].button[1]) << "the caught key drives nothing";
    EXPECT_FALSE(waitingForInput());
    EXPECT_EQ(takeWaitedInput(), SDLK_x);
    EXPECT_EQ(takeWaitedInput(), NO_INPUT);
    controllerKey(SDLK_x, false);

    // a joystick's wait lets keys go by unused and takes its own button or a push of the stick
    waitForInput(3);
    controllerKey(SDLK_z, true);
    controllerJoyButton(0, 4, true);
    controllerJoyAxis(1, 1, 9000);
    EXPECT_TRUE(waitingForInput());
    EXPECT_TRUE(joys[0].button[1] == false && keys[0].button[0] == false);
    controllerJoyAxis(1, 1, -30000);
    EXPECT_EQ(takeWaitedInput(), JOY_AXIS_BASE + 2);
    EXPECT_EQ(joys[1].axisY, 9000) << "the push that was caught moves nothing";

    waitForInput(1);
    controllerKey(SDLK_ESCAPE, true);
    EXPECT_EQ(takeWaitedInput(), WAIT_CANCELLED);
    controllerKey(SDLK_ESCAPE, false);
}

TEST_F(bindingTest, menusHearEveryDeviceAndTapsShorterThanAFrame)
{
    controller menuKeys, seen;
    g_menuKeys = &menuKeys;
    gatherMenuInput(seen);   // nothing left over from before
    controllerKey(SDLK_KP8, true);        // keyboard 2 up
    controllerJoyAxis(3, 0, -20000);      // joystick 4 left
    controllerJoyAxis(2, 0, 9000);        // joystick 3 a little right: the larger push wins
    gatherMenuInput(seen);
    EXPECT_TRUE(seen.up);
    EXPECT_EQ(seen.axisX, -20000);
    EXPECT_FALSE(seen.button[1]);
    controllerKey(SDLK_KP8, false);
    controllerJoyAxis(3, 0, 0);
    controllerJoyAxis(2, 0, 0);

    // Return pressed and let go between two frames still picks, once
    controllerKey(SDLK_RETURN, true);
    controllerKey(SDLK_RETURN, false);
    controllerJoyButton(1, 0, true);
    controllerJoyButton(1, 0, false);
    controllerKey(SDLK_ESCAPE, true);
    controllerKey(SDLK_ESCAPE, false);
    gatherMenuInput(seen);
    EXPECT_TRUE(seen.button[1]);
    EXPECT_TRUE(seen.button[BUTTON_BACK]);
    EXPECT_FALSE(menuKeys.button[1]) << "the held state itself is let go";
    gatherMenuInput(seen);
    EXPECT_FALSE(seen.button[1]);
    EXPECT_FALSE(seen.button[BUTTON_BACK]);
    EXPECT_FALSE(seen.up);
    g_menuKeys = nullptr;
}

// ---- the store ----

class bindingStore : public bindingTest {
protected:
    void SetUp() override
    {
        bindingTest::SetUp();
        testsupport::closeConfig();
        std::remove((testsupport::tempHome() + "/.config/tibrel/tibrel.conf").c_str());
        testsupport::openConfig();
    }
    void TearDown() override
    {
        testsupport::closeConfig();
        bindingTest::TearDown();
    }
    static void put(const char* key, const char* value) { g_config->Write(key, value); }
    static std::string stored(const char* key)
    {
        wxString v = "(missing)";
        g_config->Read(key, &v);
        return std::string(v.utf8_str());
    }
};

TEST_F(bindingStore, firstRunStoresTheDefaultsByName)
{
    loadBindings(g_config);
    EXPECT_EQ(stored("keys/keyboard1/left"), "Left, F");
    EXPECT_EQ(stored("keys/keyboard1/hit"), "X, W, Return");
    EXPECT_EQ(stored("keys/keyboard2/hit"), "Page Down");
    EXPECT_EQ(stored("keys/joystick4/up"), "stick up");
    EXPECT_EQ(stored("keys/joystick1/hit"), "button 1");
}

TEST_F(bindingStore, damagedOrUnknownKeysFallBackToTheirDefaults)
{
    struct { const char* key; const char* value; const char* after; } cases[] = {
        { "keys/keyboard1/left", "Banana", "Left, F" },
        { "keys/keyboard1/right", "", "Right, H" },
        { "keys/keyboard1/up", "Up, Up", "Up, T" },
        { "keys/keyboard1/down", "A, B, C, D", "Down, G" },           // more than three
        { "keys/keyboard1/jump", "page up", "Page Up" },             // read whatever the case
        { "keys/keyboard1/hit", "K,  Return", "K, Return" },
        { "keys/joystick1/hit", "button 99", "button 1" },
        { "keys/joystick2/jump", "axis 3+", "axis 3+" },
    };
    for (const auto& c : cases)
        put(c.key, c.value);
    // keyboard 2 asks for Return, which keyboard 1 hits with: all of keyboard 2 comes back to
    // its defaults, keyboard 1 keeps its own
    put("keys/keyboard2/left", "Return");
    put("keys/keyboard2/jump", "J");
    loadBindings(g_config);
    for (const auto& c : cases)
        EXPECT_EQ(stored(c.key), c.after) << c.key << " = " << c.value;
    EXPECT_EQ(g_bindings[0].first(ACT_JUMP), SDLK_PAGEUP);
    EXPECT_EQ(g_bindings[0].first(ACT_HIT), SDLK_k);
    EXPECT_EQ(stored("keys/keyboard2/left"), "Keypad 4");
    EXPECT_EQ(stored("keys/keyboard2/jump"), "End");
    EXPECT_EQ(g_bindings[1].first(ACT_LEFT), SDLK_KP4);
}

TEST_F(bindingStore, aDeviceWhoseKeysClashGetsAllItsDefaults)
{
    struct { const char* key; const char* value; } clash[] = {
        { "keys/keyboard1/hit", "Z" },       // Z also jumps
        { "keys/keyboard1/left", "A" },
        { "keys/joystick3/left", "button 3" },   // the pause button
        { "keys/joystick3/right", "button 5" },
    };
    for (const auto& c : clash)
        put(c.key, c.value);
    put("keys/keyboard2/jump", "Space");
    loadBindings(g_config);
    EXPECT_EQ(stored("keys/keyboard1/hit"), "X, W, Return");
    EXPECT_EQ(stored("keys/keyboard1/left"), "Left, F");
    EXPECT_EQ(stored("keys/joystick3/left"), "stick left");
    EXPECT_EQ(stored("keys/joystick3/right"), "stick right");
    EXPECT_EQ(stored("keys/keyboard2/jump"), "Space") << "a clean device keeps its own";
}

// ---- through to a player ----

class reboundPlayer : public matchfixture {
protected:
    controller keys[2];
    reboundPlayer() : matchfixture(5) {}
    void SetUp() override
    {
        matchfixture::SetUp();
        allDefaults();
        g_keys[0] = &keys[0];
        g_keys[1] = &keys[1];
    }
    void TearDown() override
    {
        g_keys[0] = g_keys[1] = nullptr;
        allDefaults();
        matchfixture::TearDown();
    }
};

TEST_F(reboundPlayer, theNewHitKeyServesAndTheHintNamesIt)
{
    g_bindings[0].assign(ACT_HIT, SDLK_k);
    g_bindings[0].assign(ACT_JUMP, SDLK_SPACE);
    g->setController(0, &keys[0]);
    ASSERT_EQ(g->state, game::STATE_SERVING);
    ASSERT_EQ(g->servingTeam, 0);
    g->serveTimer = 0;
    EXPECT_EQ(g->serveHint(), "Press K to serve, or Space then K to toss");

    controllerKey(SDLK_x, true);
    for (int n = 0; n < 25; n++)
        g->step(0.02f);
    controllerKey(SDLK_x, false);
    EXPECT_EQ(g->state, game::STATE_SERVING) << "the old hit key does not serve";
    controllerKey(SDLK_k, true);
    for (int n = 0; n < 25 && g->state == game::STATE_SERVING; n++)
        g->step(0.02f);
    controllerKey(SDLK_k, false);
    EXPECT_EQ(g->state, game::STATE_PLAYING) << "the new one does";
}

}
