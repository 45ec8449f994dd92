#include <cstdio>
#include <dlfcn.h>
#include <set>
#include <string>
#include <vector>
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <wx/config.h>
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

    static void SetUpTestSuite()
    {
        if (!testsupport::openGLContext())
            return;
        testsupport::openConfig();
        for (int i = 0; i < 2; i++)
            g_keys[i] = &devices[i];
        for (int i = 0; i < 4; i++)
            g_joys[i] = &devices[2 + i];
        g_thegame = new game();
    }
    static void TearDownTestSuite()
    {
        delete g_thegame;
        g_thegame = nullptr;
        testsupport::closeConfig();
    }

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
    static controller* ctrlOf(int p) { return g_thegame->players[p]->ctrl; }
    static controller* own(int p) { return &g_thegame->players[p]->ownCtrl; }
};

controller MainMenuTest::devices[6];

TEST_F(MainMenuTest, LinesAsTheyAreShown)
{
    build();
    struct { const char* label; int kind; int id; int values; } lines[16] = {
        {"Team 1 Player 1", ITEM_SELECT, 0, 7}, {"Team 1 Player 2", ITEM_SELECT, 0, 7},
        {"Team 2 Player 1", ITEM_SELECT, 0, 7}, {"Team 2 Player 2", ITEM_SELECT, 0, 7},
        {"Time of Day", ITEM_SELECT, 0, 4},     {"Round Length", ITEM_SELECT, 0, 10},
        {"Game Mode", ITEM_SELECT, 0, 3},       {nullptr, ITEM_SEPARATOR, 0, 0},
        {"Player One...", ITEM_GO, 1, 0},       {"Player Two...", ITEM_GO, 2, 0},
        {"Player Three...", ITEM_GO, 3, 0},     {"Player Four...", ITEM_GO, 4, 0},
        {nullptr, ITEM_SEPARATOR, 0, 0},        {"Start!", ITEM_GO, 100, 0},
        {nullptr, ITEM_SEPARATOR, 0, 0},        {"Quit", ITEM_GO, 99, 0},
    };
    EXPECT_EQ(m->title, wxString("Tibrel 2006"));
    ASSERT_EQ(m->items.size(), 16u);
    for (int i = 0; i < 16; i++) {
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
}

TEST_F(MainMenuTest, StoredChoicesAreReadBackAndDamagedOnesClamped)
{
    struct { const char* key; long value; int index; } cases[] = {
        {"controls/player0", 1, 1}, {"controls/player1", 9, 6},  {"controls/player2", -3, 0},
        {"controls/player3", 4, 4}, {"game/timeofday", 2, 2},    {"game/roundlength", 44, 9},
        {"game/gamemode", -1, 0},
    };
    for (auto& c : cases)
        g_config->Write(c.key, c.value);
    build();
    for (int i = 0; i < 7; i++) {
        EXPECT_EQ(m->items[i].valueIndex, cases[i].index) << cases[i].key;
        EXPECT_EQ(stored(cases[i].key), cases[i].index) << cases[i].key;
    }
    EXPECT_EQ(ctrlOf(0), g_keys[0]);
    EXPECT_EQ(ctrlOf(1), g_joys[3]);
    EXPECT_EQ(ctrlOf(2), own(2));
    EXPECT_EQ(ctrlOf(3), g_joys[1]);
    EXPECT_EQ(g_dt, DT_EVENING);
    EXPECT_EQ(WINSCORE, 30);
    EXPECT_EQ(g_thegame->gameMode, 0);
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
    press(1, 13);
    EXPECT_EQ(m->result, 1);
    m->result = 0;
    // up from the first line wraps to "Quit"
    m->cursor = 0;
    pad.up = true;
    m->step(0.02f);
    pad.up = false;
    EXPECT_EQ(m->cursor, 15u);
    press(0, 15);
    EXPECT_EQ(m->result, -1);
}

TEST_F(MainMenuTest, PlayerLineOpensItsScreenWithTheHeldButton)
{
    build();
    m->cursor = 10;
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
    EXPECT_EQ(m->cursor, 10u);
}

}
