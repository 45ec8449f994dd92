#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <limits>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <wx/fileconf.h>
#include "controller.h"
#include "fixtures.h"
#include "layeredplayertexture.h"
#include "main.h"
#include "particle.h"
#include "player.h"
#include "playermenu.h"
#include "playfield.h"
#include "powerup.h"
#include "random.h"
#include "support.h"

// Every texture name the game generates while g_watchTextures is set; an outfit rebuild makes
// exactly one new texture.
static bool g_watchTextures = false;
static int g_madeTextures = 0;

extern "C" void glGenTextures(GLsizei n, GLuint* textures)
{
    typedef void (*genfn)(GLsizei, GLuint*);
    static genfn real = (genfn)dlsym(RTLD_NEXT, "glGenTextures");
    real(n, textures);
    if (g_watchTextures)
        g_madeTextures += n;
}

namespace {

// the store, counting the writes of each key
class countingconfig : public wxFileConfig {
public:
    std::map<wxString, int> writes;
    explicit countingconfig(const wxString& file)
        : wxFileConfig("tibrel", wxEmptyString, file, wxEmptyString, wxCONFIG_USE_LOCAL_FILE)
    {
    }

protected:
    bool DoWriteString(const wxString& key, const wxString& value) override
    {
        writes[key]++;
        return wxFileConfig::DoWriteString(key, value);
    }
};

// a figure that notes the steps in which someone else changed its movement state
class previewplayer : public player {
public:
    std::vector<int> changedAt;
    int steps = 0;
    player_movement_type leftIn;
    previewplayer() : player(0, 1), leftIn(state) {}
    void step(float dt) override
    {
        steps++;
        if (state != leftIn)
            changedAt.push_back(steps);
        player::step(dt);
        leftIn = state;
    }
};

// the screen below: records what reaches it
class belowmenu : public menu {
public:
    std::vector<int> gone;
    belowmenu() { addGo("Player Two...", 2); }
    void onGo(int id) override { gone.push_back(id); }
};

const char* const FOLDERS[13] = {"FootL", "LegL", "HandL", "ArmL", "Pelvis", "Torso", "Head",
                                 "Eyes_and_glasses", "Hats_and_hair", "ArmR", "LegR", "FootR",
                                 "HandR"};

class PlayerMenuTest : public ::testing::Test {
protected:
    static std::string oldDir;
    static std::string dataDir;
    countingconfig* store = nullptr;
    controller pad;
    belowmenu below;
    previewplayer* p = nullptr;
    playermenu* m = nullptr;

    // outfit folders of the left side: three names for the torso, none for the right hand,
    // two for every other part (the images need not decode: the names come from the listing)
    static void SetUpTestSuite()
    {
        dataDir = testsupport::makeTempDir();
        for (const char* f : FOLDERS) {
            std::string dir = dataDir + "/data/left/" + f + "/";
            if (std::string(f) == "HandR") {
                testsupport::writeFile(dir + "readme.txt", "");
                continue;
            }
            testsupport::writeFile(dir + "Daytime_plain.png", "");
            testsupport::writeFile(dir + "Daytime_dots.png", "");
            if (std::string(f) == "Torso")
                testsupport::writeFile(dir + "Daytime_stripes.png", "");
        }
        char cwd[4096];
        oldDir = getcwd(cwd, sizeof cwd) ? cwd : ".";
    }

    void SetUp() override
    {
        if (!testsupport::openGLContext())
            GTEST_SKIP() << "no display";
        ASSERT_EQ(chdir(dataDir.c_str()), 0);
        testsupport::closeConfig();
        std::string file = dataDir + "/tibrel.conf";
        std::remove(file.c_str());
        store = new countingconfig(wxString::FromUTF8(file.c_str()));
        store->SetRecordDefaults(true);
        g_config = store;
        wxConfigBase::Set(store);
        p = new previewplayer();
        below.setController(&pad);
    }
    void TearDown() override
    {
        if (menu* open = below.subMenu) {
            open->detachFromParent();
            delete open;
        }
        delete p;
        testsupport::closeConfig();
        g_watchTextures = false;
        g_madeTextures = 0;
        if (!oldDir.empty() && chdir(oldDir.c_str()) != 0)
            ADD_FAILURE() << "cannot return to " << oldDir;
    }

    void open()
    {
        m = new playermenu(p, 1);
        below.openSubMenu(m);
    }
    void press(int button, unsigned line)
    {
        m->cursor = line;
        pad.button[button] = true;
        below.step(0.02f);
        pad.button[button] = false;
        below.step(0.02f);
    }
    void watch()
    {
        store->writes.clear();
        g_madeTextures = 0;
        g_watchTextures = true;
    }
    // every outfit key of player 1 written exactly once, nothing of other players
    void expectOutfitSavedOnce()
    {
        for (const char* f : FOLDERS)
            EXPECT_EQ(store->writes[wxString::Format("pl1/%s", f)], 1) << f;
        int others = 0;
        for (auto& w : store->writes)
            if (!w.first.StartsWith("pl1/"))
                others += w.second;
        EXPECT_EQ(others, 0);
    }
    int line(const char* label)
    {
        for (size_t i = 0; i < m->items.size(); i++)
            if (m->items[i].label == label)
                return (int)i;
        return -1;
    }
};

std::string PlayerMenuTest::oldDir;
std::string PlayerMenuTest::dataDir;

TEST_F(PlayerMenuTest, LinesOfTheScreen)
{
    open();
    EXPECT_EQ(m->title, wxString("Customize Player 2"));
    ASSERT_EQ(m->items.size(), 18u);
    EXPECT_EQ(m->firstLayerItem, 2);
    EXPECT_EQ(m->lastLayerItem, 14);
    struct { int index; const char* label; int kind; int id; } fixed[] = {
        {0, "OK!", ITEM_GO, 100},   {1, "Random!", ITEM_GO, 101},  {15, "Height", ITEM_SELECT, 199},
        {16, nullptr, ITEM_SEPARATOR, 0}, {17, "OK!", ITEM_GO, 100},
    };
    for (auto& f : fixed) {
        EXPECT_EQ(m->items[f.index].kind, f.kind) << f.index;
        EXPECT_EQ(m->items[f.index].id, f.id) << f.index;
        if (f.label) {
            EXPECT_EQ(m->items[f.index].label, wxString(f.label)) << f.index;
        }
    }
    for (int i = 0; i < 13; i++) {
        const menuitem& it = m->items[2 + i];
        const texlayer& l = p->outfit->layers[i];
        EXPECT_EQ(it.label, l.name);
        EXPECT_EQ(it.values, p->outfit->findTextureNames(l.name)) << i;
        EXPECT_EQ(it.valueStr(), it.values.empty() ? wxString("unknown value 0") : l.value);
    }
    EXPECT_EQ(m->items[line("Upper Body")].values.size(), 3u);
    EXPECT_TRUE(m->items[line("Right Hand")].values.empty());
    const menuitem& h = m->items[15];
    ASSERT_EQ(h.values.size(), 101u);
    EXPECT_EQ(h.values[0], wxString("1.50 m"));
    EXPECT_EQ(h.values[1], wxString("1.51 m"));
    EXPECT_EQ(h.values[100], wxString("2.50 m"));
}

TEST_F(PlayerMenuTest, NextOnALayerRebuildsOnceAndSaves)
{
    open();
    int upper = line("Upper Body");
    std::vector<wxString> names = m->items[upper].values;
    int before = m->items[upper].valueIndex;
    watch();
    press(1, upper);
    wxString chosen = names[(before + 1) % names.size()];
    EXPECT_EQ(m->items[upper].valueStr(), chosen);
    EXPECT_EQ(p->outfit->getLayer("Upper Body")->value, chosen);
    EXPECT_EQ(g_madeTextures, 1);
    EXPECT_TRUE(p->outfit->autoRebuild);
    expectOutfitSavedOnce();
    EXPECT_EQ(g_config->Read("pl1/Torso", wxString()), chosen);
}

TEST_F(PlayerMenuTest, RandomRebuildsOnceAndKeepsTheHeight)
{
    p->setHeight(2.0f);
    open();
    seedDiscrete(99);
    watch();
    press(0, 1);
    EXPECT_EQ(g_madeTextures, 1);
    expectOutfitSavedOnce();
    EXPECT_EQ(store->writes["pl1/height"], 0);
    EXPECT_EQ(m->items[15].valueIndex, 50);
    EXPECT_FLOAT_EQ(p->height, 2.0f);
    for (int i = m->firstLayerItem; i <= m->lastLayerItem; i++) {
        const menuitem& it = m->items[i];
        if (!it.values.empty()) {
            EXPECT_EQ(p->outfit->layers[i - 2].value, it.valueStr()) << it.label;
        }
    }
}

TEST_F(PlayerMenuTest, HeightLineFollowsTheStoredHeight)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct { float height; int index; } cases[] = {
        {1.8f, 30}, {2.0f, 50}, {1.5f, 0}, {2.5f, 100}, {2.117f, 62},
        {3.7f, 100}, {0.2f, 0}, {-1e30f, 0}, {1e30f, 100}, {nan, 0},
    };
    for (auto& c : cases) {
        p->height = c.height;
        playermenu pm(p, 1);
        EXPECT_EQ(pm.items[15].valueIndex, c.index) << "height " << c.height;
    }
}

// A hand-edited height is read as a double: it cannot wrap, and what is not a finite number
// gives the default 1.8 m.
TEST_F(PlayerMenuTest, StoredHeightsOutsideTheRangeAreClamped)
{
    struct { const char* stored; float height; int index; } cases[] = {
        {"2.0", 2.0f, 50}, {"4294967296", 2.5f, 100}, {"-4294967297", 1.5f, 0},
        {"1e999", 1.8f, 30}, {"-1e999", 1.8f, 30}, {"nan", 1.8f, 30}, {"inf", 1.8f, 30},
        {"-inf", 1.8f, 30}, {"1e300", 2.5f, 100}, {"tall", 1.8f, 30},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.stored);
        g_config->Write("pl1/height", wxString(c.stored));
        player q(0, 1);
        EXPECT_FLOAT_EQ(q.height, c.height);
        playermenu pm(&q, 1);
        EXPECT_EQ(pm.items[15].valueIndex, c.index);
    }
}

TEST_F(PlayerMenuTest, HeightWrapsFromShortestToTallest)
{
    p->height = 1.5f;
    open();
    press(0, 15);
    EXPECT_EQ(m->items[15].valueStr(), wxString("2.50 m"));
    EXPECT_FLOAT_EQ(p->height, 2.5f);
    double stored = 0;
    g_config->Read("pl1/height", &stored);
    EXPECT_NEAR(stored, 2.5, 1e-6);
    press(1, 15);
    EXPECT_FLOAT_EQ(p->height, 1.5f);
}

TEST_F(PlayerMenuTest, PreviewChangesStateEveryOneAndAHalfSeconds)
{
    open();
    for (int i = 0; i < 160; i++)
        below.step(0.02f);
    EXPECT_EQ(p->steps, 160);
    EXPECT_EQ(p->changedAt, std::vector<int>({76, 152}));
    EXPECT_FLOAT_EQ(p->pos.x, 0);
    EXPECT_FLOAT_EQ(p->pos.z, 0);
}

TEST_F(PlayerMenuTest, OkClosesAndTheHeldButtonDoesNotActBelow)
{
    struct { int button; unsigned line; } cases[] = {{1, 0}, {0, 17}};
    for (auto& c : cases) {
        open();
        m->cursor = c.line;
        pad.button[c.button] = true;
        for (int i = 0; i < 5; i++)
            below.step(0.02f);
        EXPECT_EQ(below.subMenu, nullptr) << "line " << c.line;
        EXPECT_TRUE(below.gone.empty()) << "line " << c.line;
        pad.button[c.button] = false;
        below.step(0.02f);
    }
    m = nullptr;
}

// The match is not stepped while a player is customised: what its preview figure throws into
// the court and the match (dust, sparks, jetpack flames) must not pile up there.
class PreviewInAMatch : public matchfixture {
protected:
    PreviewInAMatch() : matchfixture(5) {}

    static int particles(gameobject* o)
    {
        int n = 0;
        for (gameobject* c : o->children)
            if (dynamic_cast<particle*>(c))
                n++;
        return n;
    }
};

TEST_F(PreviewInAMatch, LeavesNoParticlesBehind)
{
    player* p = g->players[0];
    new powerup(PU_JETPACK, p, 1000.0f);
    ASSERT_EQ(p->pup->kind, PU_JETPACK);
    const int field = particles(g->theField), match = particles(g);
    const size_t matchChildren = g->children.size();

    playermenu* m = new playermenu(p, 0);
    // a minute of preview: the figure runs, dives and charges through its states
    for (int i = 0; i < 3000; i++)
        m->step(0.02f);
    m->detachFromParent();
    delete m;

    EXPECT_EQ(particles(g->theField), field);
    EXPECT_EQ(particles(g), match);
    EXPECT_EQ(g->children.size(), matchChildren);
    EXPECT_EQ(p->pup != nullptr, true) << "the preview keeps the figure's power-up";
}

}
