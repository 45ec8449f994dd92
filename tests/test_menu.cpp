#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>
#include <SDL/SDL_mixer.h>
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <wx/filefn.h>
#include "controller.h"
#include "main.h"
#include "menu.h"
#include "sound.h"
#include "support.h"
#include "textrender.h"

namespace {

// A screen that records what its hooks were told.
class recordingmenu : public menu {
public:
    std::vector<int> selected;   // indexes handed to onSelect
    std::vector<int> gone;       // ids handed to onGo
    void onSelect(int index) override { selected.push_back(index); }
    void onGo(int id) override { gone.push_back(id); }
};

menuitem choice(const char* label, int count)
{
    menuitem it(label, 0);
    for (int i = 0; i < count; i++)
        it.values.push_back(wxString::Format("v%d", i));
    return it;
}

class MenuTest : public ::testing::Test {
protected:
    controller pad;
    recordingmenu m;

    void SetUp() override { m.setController(&pad); }

    void step(int times = 1)
    {
        for (int i = 0; i < times; i++)
            m.step(0.02f);
    }
    // held for one step, then released for one
    void pressDown() { pad.down = true; step(); pad.down = false; step(); }
    void pressUp() { pad.up = true; step(); pad.up = false; step(); }
    void pressNext() { pad.button[1] = true; step(); pad.button[1] = false; step(); }
    void pressPrev() { pad.button[0] = true; step(); pad.button[0] = false; step(); }

    // 0 go, 1 separator, 2 choice(3), 3 go, 4 separator
    void buildMixed()
    {
        m.addGo("first", 7);
        m.addSeparator();
        m.items.push_back(choice("colour", 3));
        m.addGo("last", 8);
        m.addSeparator();
    }
};

TEST(MenuItem, ValueTextAndDamagedIndexes)
{
    menuitem it = choice("c", 3);
    struct { int index; const char* shown; } cases[] = {
        {0, "v0"}, {1, "v1"}, {2, "v2"}, {3, "unknown value 3"}, {99, "unknown value 99"},
        {-1, "unknown value -1"}, {-100000, "unknown value -100000"},
    };
    for (auto& c : cases) {
        it.valueIndex = c.index;
        EXPECT_EQ(it.valueStr(), wxString(c.shown)) << "index " << c.index;
    }
    menuitem empty("e", 0);
    empty.valueIndex = -4;
    EXPECT_EQ(empty.valueStr(), wxString("unknown value -4"));
}

TEST(MenuItem, AddedLinesHaveTheirKinds)
{
    menu m;
    m.addGo("Go", 12);
    m.addSeparator();
    ASSERT_EQ(m.items.size(), 2u);
    EXPECT_EQ(m.items[0].kind, ITEM_GO);
    EXPECT_EQ(m.items[0].id, 12);
    EXPECT_EQ(m.items[0].label, wxString("Go"));
    EXPECT_EQ(m.items[1].kind, ITEM_SEPARATOR);
}

TEST_F(MenuTest, CursorWrapsAndSkipsSeparators)
{
    buildMixed();
    struct { unsigned start; bool down; unsigned end; } cases[] = {
        {0, false, 3},   // wraps to the last line, a separator, and goes on up
        {3, true, 0},    // onto the separator, wraps to 0
        {0, true, 2},    // skips the separator below
        {2, false, 0},
    };
    for (auto& c : cases) {
        m.cursor = c.start;
        if (c.down)
            pressDown();
        else
            pressUp();
        EXPECT_EQ(m.cursor, c.end) << "from " << c.start << (c.down ? " down" : " up");
    }
}

TEST_F(MenuTest, DirectionHeldUnderTheRepeatDelayMovesOnce)
{
    buildMixed();
    pad.down = true;
    step(10);
    EXPECT_EQ(m.cursor, 2u);
    pad.down = false;
    step();
    pad.down = true;
    step();
    EXPECT_EQ(m.cursor, 3u);
}

TEST_F(MenuTest, UpAndDownTogetherIsNoDirection)
{
    buildMixed();
    pad.up = pad.down = true;
    step(3);
    EXPECT_EQ(m.cursor, 0u);
    EXPECT_EQ(m.lastDir, 0);
}

TEST_F(MenuTest, SmallStickDeflectionActsLikeTheKey)
{
    buildMixed();
    pad.axisY = -5000;
    step(5);
    EXPECT_EQ(m.cursor, 3u);
    pad.axisY = 0;
    step();
    pad.axisY = 5000;
    pad.up = true;   // the stick wins over the keys
    step();
    EXPECT_EQ(m.cursor, 0u);
}

TEST_F(MenuTest, ButtonsStepValuesWithWrapAndTellTheScreen)
{
    buildMixed();
    m.cursor = 2;
    pressNext();
    pressNext();
    EXPECT_EQ(m.items[2].valueIndex, 2);
    pressNext();
    EXPECT_EQ(m.items[2].valueIndex, 0);
    pressPrev();
    EXPECT_EQ(m.items[2].valueIndex, 2);
    EXPECT_EQ(m.selected, std::vector<int>({2, 2, 2, 2}));
    EXPECT_TRUE(m.gone.empty());

    // held buttons act once
    pad.button[1] = true;
    step(5);
    EXPECT_EQ(m.items[2].valueIndex, 0);
    EXPECT_EQ(m.selected.size(), 5u);
}

TEST_F(MenuTest, BothButtonsInOneStepActNextThenPrevious)
{
    buildMixed();
    m.cursor = 2;
    pad.button[0] = pad.button[1] = true;
    step();
    EXPECT_EQ(m.items[2].valueIndex, 1);
    EXPECT_EQ(m.lastPrev, 0);
    step();
    EXPECT_EQ(m.items[2].valueIndex, 0);
    EXPECT_EQ(m.selected, std::vector<int>({2, 2}));
}

TEST_F(MenuTest, EitherButtonActivatesAnActionLine)
{
    buildMixed();
    pressPrev();
    m.cursor = 3;
    pressNext();
    EXPECT_EQ(m.gone, std::vector<int>({7, 8}));
    EXPECT_TRUE(m.selected.empty());
}

TEST_F(MenuTest, DamagedValuesStepInsideTheList)
{
    buildMixed();
    m.cursor = 2;
    // from outside the list, forward enters at the first value and backward at the last
    struct { int from; bool next; int to; } cases[] = {
        {40, true, 0}, {40, false, 2}, {-7, true, 0}, {-7, false, 2}, {3, true, 0},
    };
    for (auto& c : cases) {
        m.items[2].valueIndex = c.from;
        if (c.next)
            pressNext();
        else
            pressPrev();
        EXPECT_EQ(m.items[2].valueIndex, c.to) << c.from << (c.next ? " next" : " previous");
    }

    // a line without values just counts
    m.items[2].values.clear();
    m.items[2].valueIndex = 0;
    pressPrev();
    pressPrev();
    EXPECT_EQ(m.items[2].valueIndex, -2);
    EXPECT_EQ(m.items[2].valueStr(), wxString("unknown value -2"));
}

TEST_F(MenuTest, OnlySeparatorsDoNotHang)
{
    m.addSeparator();
    m.addSeparator();
    pressDown();
    pressUp();
    pressNext();
    pressPrev();
    EXPECT_LT(m.cursor, 2u);
    EXPECT_TRUE(m.selected.empty());
    EXPECT_TRUE(m.gone.empty());

    recordingmenu none;
    none.setController(&pad);
    pad.down = true;
    pad.button[1] = true;
    none.step(0.02f);
    EXPECT_EQ(none.cursor, 0u);
}

TEST_F(MenuTest, SubScreenHidesTheOneBelow)
{
    buildMixed();
    pad.button[1] = true;      // held while the child opens
    step();
    ASSERT_EQ(m.gone.size(), 1u);
    m.fade = 0.5f;

    recordingmenu* child = new recordingmenu;
    child->addGo("back", 3);
    child->addGo("other", 4);
    m.openSubMenu(child);
    EXPECT_EQ(m.subMenu, child);
    EXPECT_EQ(child->parentMenu, &m);
    EXPECT_EQ(child->ctrl, &pad);
    EXPECT_EQ(child->lastNext, 1);
    EXPECT_FLOAT_EQ(child->fade, 1.0f);

    step(3);                   // the held button does not act on the child
    EXPECT_TRUE(child->gone.empty());
    pad.button[1] = false;
    pad.down = true;
    step();
    EXPECT_EQ(child->cursor, 1u);
    EXPECT_EQ(m.cursor, 0u);
    EXPECT_FLOAT_EQ(m.fade, 0.5f);
    EXPECT_NEAR(child->fade, 1.0f - 4 * 0.02f, 1e-5);

    // closing hands the edge states back: the held direction does not move the parent
    child->detachFromParent();
    delete child;
    EXPECT_EQ(m.subMenu, nullptr);
    EXPECT_EQ(m.lastDir, 1);
    step();
    EXPECT_EQ(m.cursor, 0u);
    EXPECT_EQ(m.gone.size(), 1u);
}

TEST(MenuRepeat, HeldDirectionsRepeatAfterFourTenthsThenEveryEightHundredths)
{
    struct { float before, after; int want; } cases[] = {
        {0.00f, 0.38f, 0}, {0.38f, 0.40f, 1}, {0.40f, 0.42f, 0}, {0.46f, 0.48f, 1},
        {0.48f, 0.54f, 0}, {0.54f, 0.56f, 1}, {0.00f, 1.00f, 8}, {0.70f, 0.70f, 0},
        {0.39f, 0.41f, 1}, {0.00f, 0.399f, 0}, {2.00f, 2.08f, 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(repeatsDue(c.before, c.after), c.want) << c.before << " -> " << c.after;

    // held in steps of 0.02 s as the menus are stepped, the sums' rounding loses no repeat
    std::vector<int> firing;
    float held = 0;
    for (int n = 1; n <= 50; n++) {
        const float before = held;
        held += 0.02f;
        if (repeatsDue(before, held) > 0)
            firing.push_back(n);
    }
    EXPECT_EQ(firing, std::vector<int>({20, 24, 28, 32, 36, 40, 44, 48}));
}

TEST_F(MenuTest, HeldDirectionsRepeatOnLinesAndValues)
{
    for (int i = 0; i < 6; i++)
        m.addGo("line", i);
    m.items.push_back(choice("colour", 5));   // line 6
    pad.down = true;
    step();
    EXPECT_EQ(m.cursor, 1u);
    step(19);
    EXPECT_EQ(m.cursor, 1u) << "held 0.38 s";
    step();
    EXPECT_EQ(m.cursor, 2u) << "held 0.40 s";
    step(4);
    EXPECT_EQ(m.cursor, 3u);
    pad.down = false;
    step();

    // Right and Left step the value of a choice line, and repeat as well; on an action line
    // they do nothing
    m.cursor = 6;
    pad.right = true;
    step(21);
    EXPECT_EQ(m.items[6].valueIndex, 2);
    EXPECT_EQ(m.selected, std::vector<int>({6, 6}));
    pad.right = false;
    pad.left = true;
    step();
    EXPECT_EQ(m.items[6].valueIndex, 1);
    pad.left = false;
    step();
    pad.right = true;   // Right stops at the last value
    step(60);
    EXPECT_EQ(m.items[6].valueIndex, 4);
    pad.right = false;
    step();
    m.cursor = 0;
    pad.axisX = 20000;   // a stick to the right, as a joystick gives
    step(30);
    EXPECT_TRUE(m.gone.empty());
    EXPECT_EQ(m.cursor, 0u);
}

TEST_F(MenuTest, EscapeLeavesASubScreenAsItsBackLineDoes)
{
    buildMixed();
    // no back line: the screen closes
    recordingmenu* plain = new recordingmenu;
    plain->addGo("a", 1);
    m.openSubMenu(plain);
    pad.button[BUTTON_BACK] = true;
    step();
    EXPECT_EQ(m.subMenu, nullptr);
    step(3);   // held on: the screen below, a top screen, is not left
    EXPECT_EQ(m.lastBack, 1);
    pad.button[BUTTON_BACK] = false;
    step();

    // a back line: Escape acts as that line
    recordingmenu* withBack = new recordingmenu;
    withBack->addGo("a", 1);
    withBack->addGo("Back", 9);
    withBack->backId = 9;
    m.openSubMenu(withBack);
    pad.button[BUTTON_BACK] = true;
    step();
    EXPECT_EQ(withBack->gone, std::vector<int>({9}));
    EXPECT_EQ(m.subMenu, withBack);   // this screen's own back line leaves it open
    withBack->detachFromParent();
    delete withBack;
    EXPECT_TRUE(m.gone.empty());
}

TEST_F(MenuTest, FadeCountsDownToZero)
{
    buildMixed();
    m.fade = 1.0f;
    int steps = 0;
    while (m.fade > 0 && steps < 100) {
        step();
        steps++;
    }
    // about one second; the last subtraction may leave it a little below zero
    EXPECT_GE(steps, 50);
    EXPECT_LE(steps, 51);
    EXPECT_GT(m.fade, -0.02f);
    step();
    EXPECT_EQ(m.fade, 0.0f);
}

// a second of 16-bit mono silence at 22050 Hz: still playing when looked at
std::string silentWav()
{
    const uint32_t rate = 22050, bytes = rate * 2;
    std::string w;
    auto u32 = [&w](uint32_t v) { for (int i = 0; i < 4; i++) w += char((v >> (8 * i)) & 0xff); };
    auto u16 = [&w](uint16_t v) { w += char(v & 0xff); w += char(v >> 8); };
    w += "RIFF"; u32(36 + bytes); w += "WAVEfmt "; u32(16);
    u16(1); u16(1); u32(rate); u32(rate * 2); u16(2); u16(16);
    w += "data"; u32(bytes);
    w += std::string(bytes, '\0');
    return w;
}

TEST_F(MenuTest, MovingAndActingPlayTheirSounds)
{
    initSound();
    int freq = 0, channels = 0;
    Uint16 format = 0;
    if (!Mix_QuerySpec(&freq, &format, &channels)) {
        deinitSound();
        GTEST_SKIP() << "no audio device";
    }
    std::string wav = testsupport::makeTempDir() + "/effect.wav";
    testsupport::writeFile(wav, silentWav());
    buildMixed();

    // with only one of the two effects loaded, exactly its own action is heard
    struct { gamesound loaded; bool onMove; bool onButton; } cases[] = {
        {SOUND_JUMP, true, false},
        {SOUND_HIT, false, true},
    };
    for (auto& c : cases) {
        loadSound(SOUND_JUMP, nullptr);
        loadSound(SOUND_HIT, nullptr);
        loadSound(c.loaded, wav.c_str());
        m.cursor = 0;
        pressDown();   // onto the choice line
        EXPECT_EQ(Mix_Playing(-1) > 0, c.onMove) << "sound " << c.loaded;
        Mix_HaltChannel(-1);
        pressNext();
        EXPECT_EQ(Mix_Playing(-1) > 0, c.onButton) << "sound " << c.loaded;
        Mix_HaltChannel(-1);
    }
    deinitSound();
}

TEST(MenuLayout, SixteenLinesAtSixHundred)
{
    int savedH = screen_height;
    screen_height = 600;
    menu m;
    for (int i = 0; i < 16; i++)
        m.addGo("x", i);
    EXPECT_FLOAT_EQ(m.lineY(0), 128.0f);
    EXPECT_FLOAT_EQ(m.lineY(1), 152.0f);
    EXPECT_FLOAT_EQ(m.lineY(15), 488.0f);
    screen_height = savedH;
}

// Every glyph a drawing puts on the screen: its corners in window pixels and its colour,
// sorted, so two drawings compare by what they show and not by the order of their calls.
std::vector<std::vector<long>> glyphsOf(const std::function<void()>& draw)
{
    std::vector<GLfloat> buf(1 << 18);
    glFeedbackBuffer((GLsizei)buf.size(), GL_3D_COLOR, buf.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const int n = glRenderMode(GL_RENDER);
    EXPECT_GE(n, 0) << "feedback buffer overflow";
    std::vector<std::vector<long>> glyphs;
    for (int i = 0; i < n;) {
        const int token = (int)buf[i++];
        if (token == GL_POLYGON_TOKEN) {
            const int count = (int)buf[i++];
            std::vector<long> g;
            for (int k = 0; k < count; k++, i += 7) {
                g.push_back(std::lround(buf[i] * 100));       // x
                g.push_back(std::lround(buf[i + 1] * 100));   // y
                for (int c = 3; c < 7; c++)
                    g.push_back(std::lround(buf[i + c] * 100));   // colour
            }
            glyphs.push_back(g);
        } else if (token == GL_PASS_THROUGH_TOKEN) {
            i += 1;
        } else if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN) {
            i += 14;
        } else {
            i += 7;   // a point, bitmap or pixel rectangle
        }
    }
    std::sort(glyphs.begin(), glyphs.end());
    return glyphs;
}

// The title centred at the top in white; an action line centred, red under the cursor and
// white elsewhere; a choice line's label and ": " in white, ending at the centre, its value
// from the centre in yellow, or in cyan over sixteen cyan underscores under the cursor.
TEST(MenuDrawing, TitleLinesAndCursorInTheirPlacesAndColours)
{
    if (!testsupport::openGLContext() || !wxFileExists("data/Tuffy_Bold.ttf"))
        GTEST_SKIP() << "needs a display and data/Tuffy_Bold.ttf";
    const int savedW = screen_width, savedH = screen_height;
    screen_width = 800;
    screen_height = 600;
    GLInitFreeType();
    ASSERT_TRUE(GLFont(0)->open);
    glViewport(0, 0, 800, 600);

    menu m;
    m.title = "Beach Volley";
    m.addGo("Serve", 1);
    m.items.push_back(choice("Colour", 3));
    m.items[1].valueIndex = 2;
    m.addSeparator();
    m.addGo("Leave", 2);
    auto width = [](const wxString& t) { return GLTextWidth(0, L"%ls", (const wchar_t*)t.wc_str()); };
    auto text = [](float x, float y, const wxString& t, float r, float g, float b) {
        glColor4f(r, g, b, 1);
        GLText(0, x, y, L"%ls", (const wchar_t*)t.wc_str());
    };

    for (unsigned cursor : {0u, 1u, 3u}) {
        SCOPED_TRACE(testing::Message() << "cursor on line " << cursor);
        m.cursor = cursor;
        const std::vector<std::vector<long>> shown = glyphsOf([&] { m.drawThis(); });
        const std::vector<std::vector<long>> want = glyphsOf([&] {
            // four lines of 24 pixels: the first at (600 - 4 x 24) / 2 + 20 = 272
            text((800 - width("Beach Volley")) / 2, 32, "Beach Volley", 1, 1, 1);
            const bool serve = cursor == 0, colour = cursor == 1, leave = cursor == 3;
            text(400 - width("Serve") / 2, 272, "Serve", 1, serve ? 0 : 1, serve ? 0 : 1);
            text(400 - width("Colour: "), 296, "Colour: ", 1, 1, 1);
            if (colour)
                text(400, 296, "________________", 0, 1, 1);
            text(400, 296, " v2", colour ? 0 : 1, 1, colour ? 1 : 0);
            text(400 - width("Leave") / 2, 344, "Leave", 1, leave ? 0 : 1, leave ? 0 : 1);
        });
        ASSERT_FALSE(want.empty());
        EXPECT_EQ(shown.size(), want.size());
        EXPECT_TRUE(shown == want) << "glyphs in other places or colours";
    }
    GLDeinitFreeType();
    screen_width = savedW;
    screen_height = savedH;
}

// The shown screen's transition runs down per step: the zoom blur takes the fade the step
// starts from, g_mix the fade it leaves, whether a frame is drawn in between or not.
TEST(MenuSteps, ShownScreenPublishesItsFade)
{
    menu parent;
    parent.addGo("a", 1);
    parent.fade = 0.25f;
    stepScreens(parent, 0.05f);
    EXPECT_FLOAT_EQ(g_feedback, 0.25f);
    EXPECT_FLOAT_EQ(g_mix, 0.2f);

    menu* child = new menu;
    child->addGo("b", 1);
    parent.openSubMenu(child);
    EXPECT_EQ(parent.shown(), child);
    stepScreens(parent, 0.05f);
    EXPECT_FLOAT_EQ(g_feedback, 1.0f);
    EXPECT_FLOAT_EQ(g_mix, 0.95f);
    EXPECT_FLOAT_EQ(parent.fade, 0.2f) << "the screen below waits";
    child->detachFromParent();
    delete child;
    g_mix = g_feedback = 0;
}

}
