#include <climits>
#include <cstdio>
#include <dlfcn.h>
#include <set>
#include <string>
#include <vector>
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <wx/config.h>
#include <wx/fileconf.h>
#include "controller.h"
#include "daytime.h"
#include "game.h"
#include "layeredplayertexture.h"
#include "main.h"
#include "mainmenu.h"
#include "player.h"
#include "playermenu.h"
#include "support.h"

// Every texture name the game generates while g_watchTextures is set; an outfit rebuild makes
// exactly one new texture.
static bool g_watchTextures = false;
static std::vector<GLuint> g_madeTextures;

extern "C" void glGenTextures(GLsizei n, GLuint* textures)
{
    typedef void (*genfn)(GLsizei, GLuint*);
    static genfn real = (genfn)dlsym(RTLD_NEXT, "glGenTextures");
    real(n, textures);
    if (g_watchTextures)
        g_madeTextures.insert(g_madeTextures.end(), textures, textures + n);
}

namespace {

class MainMenuTest : public ::testing::Test {
protected:
    static controller devices[6];
    controller pad;
    mainmenu* m = nullptr;

    static void SetUpTestSuite() { testsupport::openGameSuite(devices); }
    static void TearDownTestSuite() { testsupport::closeGameSuite(); }

    void SetUp() override
    {
        if (!g_thegame)
            GTEST_SKIP() << "no display";
        // every test starts from an empty store
        testsupport::closeConfig();
        std::remove((testsupport::tempHome() + "/.config/tibrel/tibrel.conf").c_str());
        testsupport::openConfig();
    }
    void TearDown() override
    {
        delete m;
        g_watchTextures = false;
        g_madeTextures.clear();
    }

    void build()
    {
        m = new mainmenu();
        m->setController(&pad);
    }
    void press(int button, unsigned line)
    {
        m->cursor = line;
        pad.button[button] = true;
        m->step(0.02f);
        pad.button[button] = false;
        m->step(0.02f);
    }
    static long stored(const wxString& key)
    {
        long v = -999;
        g_config->Read(key, &v);
        return v;
    }
    // the value under key in the settings file itself, as a fresh start would read it
    static wxString onDisk(const wxString& key)
    {
        wxFileConfig file("tibrel", wxEmptyString,
                          wxString::FromUTF8((testsupport::tempHome() + "/.config/tibrel/tibrel.conf").c_str()),
                          wxEmptyString, wxCONFIG_USE_LOCAL_FILE);
        return file.Read(key, wxString("missing"));
    }
    static controller* ctrlOf(int p) { return g_thegame->players[p]->ctrl; }
    static controller* own(int p) { return &g_thegame->players[p]->ownCtrl; }
};

controller MainMenuTest::devices[6];

TEST_F(MainMenuTest, LinesAsTheyAreShown)
{
    build();
    struct { const char* label; int kind; int id; int values; } lines[20] = {
        {"Team 1 Player 1", ITEM_SELECT, 0, 7}, {"Team 1 Player 2", ITEM_SELECT, 0, 7},
        {"Team 2 Player 1", ITEM_SELECT, 0, 7}, {"Team 2 Player 2", ITEM_SELECT, 0, 7},
        {"Time of Day", ITEM_SELECT, 0, 4},     {"Round Length", ITEM_SELECT, 0, 10},
        {"Game Mode", ITEM_SELECT, 0, 3},       {"Computer", ITEM_SELECT, 0, 3},
        {nullptr, ITEM_SEPARATOR, 0, 0},
        {"Player One...", ITEM_GO, 1, 0},       {"Player Two...", ITEM_GO, 2, 0},
        {"Player Three...", ITEM_GO, 3, 0},     {"Player Four...", ITEM_GO, 4, 0},
        {"Controls...", ITEM_GO, 101, 0},       {"Replays...", ITEM_GO, 102, 0},
        {nullptr, ITEM_SEPARATOR, 0, 0},        {"Online...", ITEM_GO, 103, 0},
        {"Start!", ITEM_GO, 100, 0},            {nullptr, ITEM_SEPARATOR, 0, 0},
        {"Quit", ITEM_GO, 99, 0},
    };
    EXPECT_EQ(m->title, wxString("Tibrel 2006"));
    ASSERT_EQ(m->items.size(), 20u);
    for (int i = 0; i < 20; i++) {
        const menuitem& it = m->items[i];
        EXPECT_EQ(it.kind, lines[i].kind) << "line " << i;
        EXPECT_EQ((int)it.values.size(), lines[i].values) << "line " << i;
        if (lines[i].label) {
            EXPECT_EQ(it.label, wxString(lines[i].label)) << "line " << i;
        }
        if (lines[i].kind == ITEM_GO) {
            EXPECT_EQ(it.id, lines[i].id) << "line " << i;
        }
    }
    EXPECT_EQ(m->items[0].values[6], wxString("Joystick 4"));
    EXPECT_EQ(m->items[5].values[9], wxString("30"));
    EXPECT_EQ(m->items[6].values[2], wxString("Extreme!"));
    EXPECT_EQ(m->items[7].values[0], wxString("Easy"));
    EXPECT_EQ(m->items[7].values[2], wxString("Hard"));
    EXPECT_EQ(m->controlItem, 0);
    EXPECT_EQ(m->optionsItem, 4);
}

TEST_F(MainMenuTest, FirstRunWritesTheDefaults)
{
    g_thegame->setController(1, g_keys[0]);
    setDaytime(DT_NIGHT);
    WINSCORE = 21;
    g_thegame->gameMode = 0;
    build();
    for (int p = 0; p < 4; p++) {
        EXPECT_EQ(ctrlOf(p), own(p)) << "player " << p;
        EXPECT_EQ(stored(wxString::Format("controls/player%d", p)), 0) << p;
        EXPECT_EQ(m->items[p].valueStr(), wxString("Computer"));
    }
    EXPECT_EQ(g_dt, DT_DAY);
    EXPECT_EQ(WINSCORE, 9);
    EXPECT_EQ(g_thegame->gameMode, 1);
    EXPECT_EQ(stored("game/timeofday"), 1);
    EXPECT_EQ(stored("game/roundlength"), 2);
    EXPECT_EQ(stored("game/gamemode"), 1);
    EXPECT_EQ(stored("game/difficulty"), DIFF_NORMAL);
    EXPECT_EQ(g_thegame->difficulty, DIFF_NORMAL);
}

TEST_F(MainMenuTest, StoredChoicesAreReadBackAndDamagedOnesClamped)
{
    struct { const char* key; long value; int index; } cases[] = {
        {"game/timeofday", 2, 2}, {"game/roundlength", 44, 9}, {"game/gamemode", -1, 0},
        {"game/difficulty", 7, DIFF_HARD},
    };
    for (auto& c : cases)
        g_config->Write(c.key, c.value);
    build();
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(m->items[4 + i].valueIndex, cases[i].index) << cases[i].key;
        EXPECT_EQ(stored(cases[i].key), cases[i].index) << cases[i].key;
    }
    EXPECT_EQ(g_dt, DT_EVENING);
    EXPECT_EQ(WINSCORE, 30);
    EXPECT_EQ(g_thegame->gameMode, 0);
    EXPECT_EQ(g_thegame->difficulty, DIFF_HARD);
}

// The level reaches the computer players of a team without a human; a human's computer
// mate plays as Normal, and a change of controller is followed at once.
TEST_F(MainMenuTest, TheComputersLevelGoesToTeamsWithoutAHuman)
{
    g_config->Write("game/difficulty", (long)DIFF_EASY);
    build();
    for (int p = 0; p < 4; p++)
        EXPECT_EQ(g_thegame->players[p]->level, DIFF_EASY) << p;
    press(1, 0);   // Team 1 Player 1: Computer -> Keyboard 1
    for (int p = 0; p < 4; p++)
        EXPECT_EQ(g_thegame->players[p]->level, p < 2 ? DIFF_NORMAL : DIFF_EASY) << p;
    press(1, 7);   // Computer: Easy -> Normal -> Hard
    press(1, 7);
    EXPECT_EQ(stored("game/difficulty"), DIFF_HARD);
    EXPECT_EQ(g_thegame->players[3]->level, DIFF_HARD);
    EXPECT_EQ(g_thegame->players[1]->level, DIFF_NORMAL);
    EXPECT_FALSE(g_thegame->players[0]->skilled()) << "a human is never slowed or sped up";
    EXPECT_TRUE(g_thegame->players[3]->skilled());
    for (int p = 0; p < 4; p++)
        g_thegame->setController(p, nullptr);
}

// Codes 0 ... 6 select their device; any other code leaves the player to the computer, stays
// in the store as it was and is shown as a number, never as one of the devices.
TEST_F(MainMenuTest, DeviceCodesOutsideTheListLeaveTheComputerPlaying)
{
    struct { const char* stored; int index; int device; const char* shown; } cases[] = {
        {"1", 1, 1, "Keyboard 1"},
        {"9", 9, -1, "unknown value 9"},
        {"-3", -3, -1, "unknown value -3"},
        {"6", 6, 6, "Joystick 4"},
    };
    for (int p = 0; p < 4; p++)
        g_config->Write(wxString::Format("controls/player%d", p), wxString(cases[p].stored));
    build();
    for (int p = 0; p < 4; p++) {
        SCOPED_TRACE(cases[p].stored);
        EXPECT_EQ(m->items[p].valueIndex, cases[p].index);
        EXPECT_EQ(m->items[p].valueStr(), wxString(cases[p].shown));
        EXPECT_EQ(g_config->Read(wxString::Format("controls/player%d", p), wxString()),
                  wxString(cases[p].stored));
        const int d = cases[p].device;
        controller* want = d < 0 ? own(p) : (d <= 2 ? g_keys[d - 1] : g_joys[d - 3]);
        EXPECT_EQ(ctrlOf(p), want);
    }
    // the next button on an unknown code starts the list again at "Computer"
    press(1, 1);
    EXPECT_EQ(m->items[1].valueStr(), wxString("Computer"));
    EXPECT_EQ(stored("controls/player1"), 0);
}

// Numbers beyond 32 bits are read in full and clamped, never wrapped; text that is no number
// reads as the default and is written over.
TEST_F(MainMenuTest, SettingsBeyondThirtyTwoBitsClampInsteadOfWrapping)
{
    struct { const char* key; const char* stored; int index; const char* shown; const char* kept; } cases[] = {
        {"controls/player0", "4294967297", INT_MAX, nullptr, "4294967297"},
        {"controls/player1", "-4294967295", INT_MIN, nullptr, "-4294967295"},
        {"controls/player2", "99999999999999999999999", INT_MAX, nullptr, "99999999999999999999999"},
        {"controls/player3", "two", 0, "Computer", "0"},
        {"game/timeofday", "4294967299", 3, "Night", "3"},   // read as 32 bits: a valid 3
        {"game/roundlength", "-2147483649", 0, "3", "0"},
        {"game/gamemode", "-4294967295", 0, "Classic", "0"},
    };
    for (auto& c : cases)
        g_config->Write(c.key, wxString(c.stored));
    build();
    for (int i = 0; i < 7; i++) {
        SCOPED_TRACE(cases[i].key);
        EXPECT_EQ(m->items[i].valueIndex, cases[i].index);
        if (cases[i].shown) {
            EXPECT_EQ(m->items[i].valueStr(), wxString(cases[i].shown));
        }
        EXPECT_EQ(g_config->Read(cases[i].key, wxString()), wxString(cases[i].kept));
        EXPECT_EQ(onDisk(cases[i].key), wxString(cases[i].kept)) << "repaired in the file";
    }
    for (int p = 0; p < 4; p++)
        EXPECT_EQ(ctrlOf(p), own(p)) << "player " << p;
    EXPECT_EQ(g_dt, DT_NIGHT);
    EXPECT_EQ(WINSCORE, 3);
    EXPECT_EQ(g_thegame->gameMode, 0);

    // the largest and smallest numbers that still fit, and one past them
    struct { const char* stored; int index; } edges[] = {
        {"9223372036854775807", 9}, {"9223372036854775808", 9}, {" 4 ", 4},
        {"-9223372036854775808", 0}, {"-9223372036854775809", 0}, {"4x", 2}, {"", 2},
    };
    for (auto& e : edges) {
        delete m;
        m = nullptr;
        g_config->Write("game/roundlength", wxString(e.stored));
        build();
        EXPECT_EQ(m->items[5].valueIndex, e.index) << "\"" << e.stored << "\"";
    }
}

// Each line's change is in the file as soon as the menu shows it.
TEST_F(MainMenuTest, EveryChangeIsOnDiskWhenShown)
{
    build();
    struct { unsigned line; const char* key; } lines[] = {
        {1, "controls/player1"}, {4, "game/timeofday"}, {5, "game/roundlength"}, {6, "game/gamemode"},
    };
    for (auto& l : lines) {
        SCOPED_TRACE(l.key);
        const wxString before = onDisk(l.key);
        press(1, l.line);
        EXPECT_NE(onDisk(l.key), before);
        EXPECT_EQ(onDisk(l.key), wxString::Format("%d", m->items[l.line].valueIndex));
    }
}

TEST_F(MainMenuTest, ControlLineGivesThePlayerItsDevice)
{
    build();
    press(1, 2);
    press(1, 2);
    EXPECT_EQ(m->items[2].valueStr(), wxString("Keyboard 2"));
    EXPECT_EQ(ctrlOf(2), g_keys[1]);
    EXPECT_EQ(stored("controls/player2"), 2);
    EXPECT_EQ(ctrlOf(3), own(3));
    press(0, 2);
    press(0, 2);
    EXPECT_EQ(ctrlOf(2), own(2));
    EXPECT_EQ(stored("controls/player2"), 0);
}

TEST_F(MainMenuTest, RoundLengthBackwardFromThreeIsThirty)
{
    g_config->Write("game/roundlength", 0L);
    build();
    EXPECT_EQ(WINSCORE, 3);
    press(0, 5);
    EXPECT_EQ(m->items[5].valueStr(), wxString("30"));
    EXPECT_EQ(WINSCORE, 30);
    EXPECT_EQ(stored("game/roundlength"), 9);
    press(1, 6);
    EXPECT_EQ(g_thegame->gameMode, 2);
    EXPECT_EQ(stored("game/gamemode"), 2);
}

TEST_F(MainMenuTest, TimeOfDayRebuildsEveryOutfitOnce)
{
    build();
    g_watchTextures = true;
    press(1, 4);
    g_watchTextures = false;
    EXPECT_EQ(g_dt, DT_EVENING);
    EXPECT_EQ(stored("game/timeofday"), 2);
    ASSERT_EQ(g_madeTextures.size(), 4u);
    std::set<GLuint> made(g_madeTextures.begin(), g_madeTextures.end());
    for (int p = 0; p < 4; p++)
        EXPECT_EQ(made.count(g_thegame->players[p]->outfit->texture), 1u) << "player " << p;
}

TEST_F(MainMenuTest, StartAndQuitSetTheResult)
{
    build();
    press(1, 17);
    EXPECT_EQ(m->result, 1);
    m->result = 0;
    // up from the first line wraps to "Quit"
    m->cursor = 0;
    pad.up = true;
    m->step(0.02f);
    pad.up = false;
    EXPECT_EQ(m->cursor, 19u);
    press(0, 19);
    EXPECT_EQ(m->result, -1);
}

TEST_F(MainMenuTest, PlayerLineOpensItsScreenWithTheHeldButton)
{
    build();
    m->cursor = 11;
    pad.button[1] = true;
    m->step(0.02f);
    playermenu* sub = dynamic_cast<playermenu*>(m->subMenu);
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(sub->parentMenu, m);
    EXPECT_EQ(sub->thePlayer, g_thegame->players[2]);
    EXPECT_EQ(sub->playerIndex, 2);
    EXPECT_EQ(sub->ctrl, &pad);
    EXPECT_EQ(sub->lastNext, 1);
    EXPECT_FLOAT_EQ(sub->fade, 1.0f);
    // still held: "OK!" under the new screen's cursor is not activated
    for (int i = 0; i < 5; i++)
        m->step(0.02f);
    EXPECT_EQ(m->subMenu, sub);
    pad.button[1] = false;
    m->step(0.02f);
    pad.button[1] = true;
    m->step(0.02f);
    EXPECT_EQ(m->subMenu, nullptr);
    EXPECT_EQ(m->cursor, 11u);
}

}
