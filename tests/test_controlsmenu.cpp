// The Controls screen: Return on an action waits for a key and binds it, keys in use are
// refused, Escape cancels a wait or leaves; the default and laptop sets; the volumes.
#include <cstdio>
#include <string>
#include <SDL/SDL_keysym.h>
#include <gtest/gtest.h>
#include <wx/config.h>
#include "bindings.h"
#include "controller.h"
#include "controlsmenu.h"
#include "fixtures.h"
#include "main.h"
#include "sound.h"
#include "support.h"

namespace {

class controlsTest : public devicefixture {
protected:
    controller pad;   // the menu keys: Return, Escape and the arrows land here
    menu parent;
    controlsmenu* c = nullptr;

    void SetUp() override
    {
        devicefixture::SetUp();
        for (int d = 0; d < BIND_DEVICES; d++)
            g_bindings[d] = defaultBindings(d);
        testsupport::closeConfig();
        std::remove((testsupport::tempHome() + "/.config/tibrel/tibrel.conf").c_str());
        testsupport::openConfig();
        setVolumes(VOLUME_STEPS, VOLUME_STEPS);
        setMuted(false);
        g_menuKeys = &pad;
        parent.setController(&pad);
        c = new controlsmenu();
        parent.openSubMenu(c);
    }
    void TearDown() override
    {
        if (parent.subMenu) {
            menu* open = parent.subMenu;
            open->detachFromParent();
            delete open;
        }
        g_menuKeys = nullptr;
        for (int d = 0; d < BIND_DEVICES; d++)
            g_bindings[d] = defaultBindings(d);
        setVolumes(VOLUME_STEPS, VOLUME_STEPS);
        setMuted(false);
        testsupport::closeConfig();
        devicefixture::TearDown();
    }

    void step(int n = 1)
    {
        for (int i = 0; i < n; i++)
            parent.step(0.02f);
    }
    // a key pressed and let go, with a step after each
    void tap(int key)
    {
        controllerKey(key, true);
        step();
        controllerKey(key, false);
        step();
    }
    void pick(int line)
    {
        c->cursor = (unsigned)line;
        tap(SDLK_RETURN);
    }
    std::string shown(int action) const
    {
        return std::string(c->items[controlsmenu::LINE_FIRST_ACTION + action].valueStr().utf8_str());
    }
    static std::string stored(const char* key)
    {
        wxString v = "(missing)";
        g_config->Read(key, &v);
        return std::string(v.utf8_str());
    }
};

TEST_F(controlsTest, ReturnWaitsForAKeyAndBindsAndStoresIt)
{
    EXPECT_EQ(shown(ACT_HIT), "X, W, Return");
    pick(controlsmenu::LINE_FIRST_ACTION + ACT_HIT);
    EXPECT_EQ(c->waitingAction, ACT_HIT);
    EXPECT_EQ(shown(ACT_HIT), "press ...");
    step(30);   // waiting takes no time limit
    tap(SDLK_k);
    EXPECT_EQ(c->waitingAction, -1);
    EXPECT_EQ(shown(ACT_HIT), "K");
    EXPECT_EQ(c->message, "Hit is now K");
    EXPECT_EQ(stored("keys/keyboard1/hit"), "K");
    EXPECT_EQ(parent.subMenu, c) << "the caught key did nothing else";

    // a key in use is refused with a word, and the action keeps its keys
    pick(controlsmenu::LINE_FIRST_ACTION + ACT_JUMP);
    tap(SDLK_k);
    EXPECT_EQ(c->message, "K is Keyboard 1's Hit: not taken");
    EXPECT_EQ(shown(ACT_JUMP), "Z, Q");
    EXPECT_EQ(stored("keys/keyboard1/jump"), "Z, Q");

    // Escape ends a wait without leaving the screen; the next Escape leaves it
    pick(controlsmenu::LINE_FIRST_ACTION + ACT_LEFT);
    tap(SDLK_ESCAPE);
    EXPECT_EQ(c->waitingAction, -1);
    EXPECT_EQ(shown(ACT_LEFT), "Left, F");
    ASSERT_EQ(parent.subMenu, c);
    tap(SDLK_ESCAPE);
    EXPECT_EQ(parent.subMenu, nullptr);
}

TEST_F(controlsTest, DefaultsAndLaptopKeysForTheShownDevice)
{
    pick(controlsmenu::LINE_FIRST_ACTION + ACT_HIT);
    tap(SDLK_k);
    ASSERT_EQ(g_bindings[0].first(ACT_HIT), SDLK_k);
    EXPECT_EQ(c->items[controlsmenu::LINE_LAPTOP].kind, ITEM_SEPARATOR) << "keyboard 2's only";
    pick(controlsmenu::LINE_DEFAULTS);
    EXPECT_EQ(shown(ACT_HIT), "X, W, Return");
    EXPECT_EQ(stored("keys/keyboard1/hit"), "X, W, Return");

    // Right on the device line shows keyboard 2, which has the laptop keys to offer
    c->cursor = controlsmenu::LINE_DEVICE;
    tap(SDLK_RIGHT);
    EXPECT_EQ(c->device, 1);
    EXPECT_EQ(shown(ACT_LEFT), "Keypad 4");
    ASSERT_EQ(c->items[controlsmenu::LINE_LAPTOP].kind, ITEM_GO);
    pick(controlsmenu::LINE_LAPTOP);
    EXPECT_EQ(shown(ACT_LEFT), "J");
    EXPECT_EQ(shown(ACT_HIT), "O");
    EXPECT_EQ(stored("keys/keyboard2/up"), "I");
    controllerKey(SDLK_o, true);
    EXPECT_TRUE(keys[1].button[1]);
    controllerKey(SDLK_o, false);

    // the laptop set is refused while keyboard 1 holds one of its keys
    pick(controlsmenu::LINE_DEFAULTS);
    g_bindings[0].assign(ACT_JUMP, SDLK_u);
    pick(controlsmenu::LINE_LAPTOP);
    EXPECT_EQ(c->message, "U is Keyboard 1's Jump");
    EXPECT_EQ(shown(ACT_LEFT), "Keypad 4");
}

TEST_F(controlsTest, VolumesApplyAtOnceAndAreStored)
{
    c->cursor = controlsmenu::LINE_MUSIC;
    tap(SDLK_LEFT);
    tap(SDLK_LEFT);
    EXPECT_EQ(musicVolume(), 8);
    EXPECT_EQ(stored("sound/music"), "8");
    c->cursor = controlsmenu::LINE_EFFECTS;
    tap(SDLK_RIGHT);   // Right stops at 10
    EXPECT_EQ(effectsVolume(), 10);
    tap(SDLK_RETURN);   // the buttons go round, to 0: silent
    EXPECT_EQ(effectsVolume(), 0);
    EXPECT_EQ(stored("sound/effects"), "0");
    toggleMute();
    EXPECT_TRUE(isMuted());
    EXPECT_EQ(stored("sound/mute"), "1");

    // read back at start-up; damaged values are clamped into 0 ... 10
    g_config->Write("sound/music", "loud");
    g_config->Write("sound/effects", "-3");
    g_config->Write("sound/mute", "0");
    loadControlSettings();
    EXPECT_EQ(musicVolume(), 10);
    EXPECT_EQ(effectsVolume(), 0);
    EXPECT_FALSE(isMuted());
    EXPECT_EQ(stored("sound/music"), "10");
}

}
