// What a new player sees: markers in their own colours over the sand at every time of day, the
// court following the stored time of day, the line at the end of a match, the serve hint for
// a human server and the keys under the main menu.
#include <cmath>
#include <cstdio>
#include <strings.h>
#include <string>
#include <vector>
#include <GL/gl.h>
#include <SDL/SDL.h>
#include <gtest/gtest.h>
#include <wx/config.h>
#include <wx/filefn.h>
#include <SDL/SDL_keysym.h>
#include "ball.h"
#include "bindings.h"
#include "controller.h"
#include "daytime.h"
#include "game.h"
#include "layeredplayertexture.h"
#include "main.h"
#include "mainmenu.h"
#include "player.h"
#include "playfield.h"
#include "fixtures.h"
#include "support.h"
#include "textrender.h"

namespace {

const int W = 800;
const int H = 600;

struct rgb {
    float r, g, b;
};

rgb pixel(const std::vector<unsigned char>& f, size_t i)
{
    return { (float)f[i], (float)f[i + 1], (float)f[i + 2] };
}

// How far `seen` is from a blend of `colour` over `under` (any strength from minT up): the
// strength is fitted by least squares, the distance is what is left, in 0 ... 255 units.
float blendMiss(rgb seen, rgb under, rgb colour, float minT)
{
    const float dr = colour.r - under.r, dg = colour.g - under.g, db = colour.b - under.b;
    const float sr = seen.r - under.r, sg = seen.g - under.g, sb = seen.b - under.b;
    const float len2 = dr * dr + dg * dg + db * db;
    if (len2 < 1)
        return std::sqrt(sr * sr + sg * sg + sb * sb);
    float t = (sr * dr + sg * dg + sb * db) / len2;
    if (t < minT)
        t = minT;
    if (t > 1)
        t = 1;
    const float er = sr - t * dr, eg = sg - t * dg, eb = sb - t * db;
    return std::sqrt(er * er + eg * eg + eb * eb);
}

class NewPlayer : public matchfixture {
protected:
    controller devices[6];
    controller* oldKeys[2];
    controller* oldJoys[4];

    NewPlayer() : matchfixture(14) {}

    static void SetUpTestSuite()
    {
        if (testsupport::openGLContext(W, H)) {
            screen_width = W;
            screen_height = H;
            GLInitFreeType();
        }
    }
    static void TearDownTestSuite()
    {
        GLDeinitFreeType();
        setDaytime(DT_DAY);
    }

    void SetUp() override
    {
        matchfixture::SetUp();
        for (int i = 0; i < 2; i++) {
            oldKeys[i] = g_keys[i];
            g_keys[i] = &devices[i];
        }
        for (int i = 0; i < 4; i++) {
            oldJoys[i] = g_joys[i];
            g_joys[i] = &devices[2 + i];
        }
    }
    void TearDown() override
    {
        for (int i = 0; i < 2; i++)
            g_keys[i] = oldKeys[i];
        for (int i = 0; i < 4; i++)
            g_joys[i] = oldJoys[i];
        matchfixture::TearDown();
        setDaytime(DT_DAY);
    }

    // what the main loop does around the match's draw
    std::vector<unsigned char> drawFrame()
    {
        glViewport(0, 0, W, H);
        glMatrixMode(GL_MODELVIEW);
        beginFrame();
        g->draw();
        glFinish();
        return testsupport::readFrame(W, H);
    }

    // pixels that differ between two frames within rows y0 ... y1 and columns x0 ... x1
    static int changedRows(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b, int y0,
                           int y1, int x0 = 0, int x1 = W)
    {
        int n = 0;
        for (int y = y0; y < y1; y++)
            for (int x = x0; x < x1; x++) {
                size_t i = (static_cast<size_t>(y) * W + x) * 3;
                if (a[i] != b[i] || a[i + 1] != b[i + 1] || a[i + 2] != b[i + 2])
                    n++;
            }
        return n;
    }

    // a still court: figures hidden, the ball high over team 0's side
    void stillCourt()
    {
        for (player* p : g->players)
            p->sizeScale = 0;
        g->theBall->pos = vector3d(-20, -40, 5);
        g->state = game::STATE_PLAYING;
        g->zoom = g->zoomTarget = 0;
    }
};

// Whether pixel i of `with` shows a figure that `without` lacks: changed by more than a
// blend's rounding, and not merely darkened evenly (a shadow on the sand).
bool figurePixel(const std::vector<unsigned char>& with, const std::vector<unsigned char>& without, size_t i)
{
    const int r = with[i], g = with[i + 1], b = with[i + 2];
    if (std::abs(r - without[i]) + std::abs(g - without[i + 1]) + std::abs(b - without[i + 2]) < 60)
        return false;
    const float kr = r / (without[i] + 1.0f), kg = g / (without[i + 1] + 1.0f), kb = b / (without[i + 2] + 1.0f);
    return !(std::fabs(kr - kg) < 0.12f && std::fabs(kg - kb) < 0.12f && std::fabs(kr - kb) < 0.12f);
}

// Every changed pixel of `with` against `without` must be `colour` blended over what was there.
// Returns the share of changed pixels that are; counts them in `changed`.
float blendedShare(const std::vector<unsigned char>& with, const std::vector<unsigned char>& without, rgb colour,
                   float minT, int& changed)
{
    changed = 0;
    int good = 0;
    for (size_t i = 0; i < with.size(); i += 3) {
        if (with[i] == without[i] && with[i + 1] == without[i + 1] && with[i + 2] == without[i + 2])
            continue;
        changed++;
        if (blendMiss(pixel(with, i), pixel(without, i), colour, minT) < 10)
            good++;
    }
    return changed ? (float)good / changed : 0.0f;
}

// A human player's disc and the ball's ring are blended with the sand under them, whatever the
// time of day (drawn before the sand they took the colour of the sky instead).
TEST_F(NewPlayer, MarkersShowTheirOwnColourOverTheSandAtEveryTimeOfDay)
{
    static const char* const names[4] = { "Morning", "Day", "Evening", "Night" };
    struct disc {
        int player;
        vector3d at;
        rgb colour;
    } discs[2] = { { 0, vector3d(-40, 0, -12), { 255, 0, 0 } }, { 1, vector3d(-15, 0, 12), { 0, 0, 255 } } };
    controller human;
    for (int d = DT_MORNING; d <= DT_NIGHT; d++) {
        setDaytime(static_cast<daytime>(d));
        g->theField->applyDaytime();
        stillCourt();
        for (const disc& k : discs) {
            SCOPED_TRACE(std::string(names[d]) + ", player " + std::to_string(k.player));
            g->players[k.player]->pos = k.at;
            g->setController(k.player, nullptr);
            const std::vector<unsigned char> without = drawFrame();
            g->setController(k.player, &human);
            const std::vector<unsigned char> with = drawFrame();
            g->setController(k.player, nullptr);
            int changed = 0;
            EXPECT_GT(blendedShare(with, without, k.colour, 0.25f, changed), 0.95f);
            EXPECT_GT(changed, 60) << "the disc shows";
        }

        // the ball's ring pulses between radius 2 and 4: each frame has a ring where the other
        // has sand, so either frame is grey over the other
        SCOPED_TRACE(std::string(names[d]) + ", the ball's ring");
        g->clock = -0.15707963f;   // sin(10 t) = -1
        const std::vector<unsigned char> small = drawFrame();
        g->clock = 0.15707963f;
        const std::vector<unsigned char> large = drawFrame();
        int changed = 0, good = 0;
        const rgb grey = { 102, 102, 102 };
        for (size_t i = 0; i < small.size(); i += 3) {
            if (small[i] == large[i] && small[i + 1] == large[i + 1] && small[i + 2] == large[i + 2])
                continue;
            changed++;
            if (blendMiss(pixel(small, i), pixel(large, i), grey, 0.5f) < 10 ||
                blendMiss(pixel(large, i), pixel(small, i), grey, 0.5f) < 10)
                good++;
        }
        EXPECT_GT(changed, 40);
        EXPECT_GT(good, changed * 95 / 100);
    }
}

// A figure standing on its own ring and disc hides them: the markers lie on the sand, under
// the legs (the figures' sprites do not write depth, so markers drawn after them cross them).
TEST_F(NewPlayer, MarkersLieUnderTheFigures)
{
    stillCourt();
    g->lastHitterIndex = -1;
    player* p = g->players[0];
    p->pos = vector3d(-40, 0, -12);
    p->vel = vector3d();
    p->state = player::MOVE_STANDING;
    controller human;
    auto frame = [&](bool figure, bool disc) {
        p->sizeScale = figure ? 1.0f : 0.0f;
        g->setController(0, disc ? &human : nullptr);
        return drawFrame();
    };
    const std::vector<unsigned char> bare = frame(false, false), marked = frame(false, true);
    const std::vector<unsigned char> figure = frame(true, false), both = frame(true, true);

    // figure pixels over the disc: the disc must not change them
    int over = 0, crossed = 0;
    for (size_t i = 0; i < bare.size(); i += 3) {
        const bool underDisc = bare[i] != marked[i] || bare[i + 1] != marked[i + 1] || bare[i + 2] != marked[i + 2];
        if (!underDisc || !figurePixel(figure, bare, i))
            continue;
        over++;
        if (std::abs(both[i] - figure[i]) + std::abs(both[i + 1] - figure[i + 1]) + std::abs(both[i + 2] - figure[i + 2]) > 30)
            crossed++;
    }
    EXPECT_GT(over, 40) << "the figure stands on its disc";
    EXPECT_LT(crossed, over / 10) << crossed << " of " << over << " figure pixels crossed by the disc";
}

// The four times of day side by side with a rally on the court: both teams keep their own
// colours (team 0 red, team 1 blue) bright enough to tell apart, at Night under floodlights as
// well. With TIBREL_SHOT=1 the four frames go to docs/daytimes.png for a look by eye.
TEST_F(NewPlayer, TeamsKeepTheirColoursAtEveryTimeOfDay)
{
    if (!wxFileExists("data/venues/Night_venue.3ds"))
        GTEST_SKIP() << "data/venues not generated";
    static const char* const names[4] = { "Morning", "Day", "Evening", "Night" };
    const vector3d spots[4] = { vector3d(-40, 0, -10), vector3d(-14, -8, 9), vector3d(10, -12, 5),
                                vector3d(35, 0, -8) };
    const player::player_movement_type states[4] = { player::MOVE_STANDING, player::MOVE_JUMPING,
                                                     player::MOVE_JUMPING, player::MOVE_STANDING };
    std::vector<unsigned char> sheet(static_cast<size_t>(W) * H * 3);
    float dayLuma[2] = { 0, 0 };
    for (int d = DT_MORNING; d <= DT_NIGHT; d++) {
        SCOPED_TRACE(names[d]);
        setDaytime(static_cast<daytime>(d));
        g->theField->applyDaytime();
        for (player* p : g->players)
            p->outfit->reLayer();
        stillCourt();
        g->theBall->pos = vector3d(2, -30, 0);
        for (int i = 0; i < 4; i++) {
            player* p = g->players[i];
            p->pos = spots[i];
            p->vel = vector3d();
            p->state = states[i];
            p->sizeScale = 1;
        }
        const std::vector<unsigned char> with = drawFrame();
        for (player* p : g->players)
            p->sizeScale = 0;
        const std::vector<unsigned char> without = drawFrame();

        // the figure pixels of each team (those that differ, on the team's side of the net),
        // how many of them show the team's own colour, and how bright the figures are
        int count[2] = { 0, 0 }, own[2] = { 0, 0 };
        double luma[2] = { 0, 0 };
        for (int y = 0; y < H; y++)
            for (int x = 0; x < W; x++) {
                size_t i = (static_cast<size_t>(y) * W + x) * 3;
                if (!figurePixel(with, without, i))
                    continue;
                const int r = with[i], gr = with[i + 1], b = with[i + 2];
                const int team = x < W / 2 ? 0 : 1;
                count[team]++;
                luma[team] += 0.3 * r + 0.59 * gr + 0.11 * b;
                if (team == 0 ? (r > b + 60 && r > gr + 30) : (b > r + 60))
                    own[team]++;
            }
        for (int t = 0; t < 2; t++) {
            ASSERT_GT(count[t], 300) << "team " << t << " shows";
            const float share = static_cast<float>(own[t]) / count[t];
            const float bright = static_cast<float>(luma[t] / count[t]);
            EXPECT_GT(share, 0.1f) << "team " << t << " shows its colour";
            if (d == DT_DAY)
                dayLuma[t] = bright;
            if (d == DT_NIGHT) {
                EXPECT_GT(bright, 0.6f * dayLuma[t]) << "team " << t << " is lit, not a silhouette";
            }
        }

        // a quarter of the sheet: every second pixel of every second row
        const int ox = (d % 2) * (W / 2), oy = (d / 2) * (H / 2);
        for (int y = 0; y < H / 2; y++)
            for (int x = 0; x < W / 2; x++)
                for (int c = 0; c < 3; c++)
                    sheet[(static_cast<size_t>(oy + y) * W + ox + x) * 3 + c] =
                        with[(static_cast<size_t>(2 * y) * W + 2 * x) * 3 + c];
    }
    if (testsupport::shotWanted()) {
        EXPECT_TRUE(testsupport::savePicture(sheet, W, H, "docs/daytimes.png"));
    }
}

// Started without the begin event (as "-play" does) after the menu has set a stored Night, the
// match shows the Night venue and sand, not the Day ones it was built with.
TEST_F(NewPlayer, AMatchStartedInPlaceFollowsTheStoredTimeOfDay)
{
    if (!wxFileExists("data/venues/Night_venue.3ds") || !wxFileExists("data/venues/Daytime_venue.3ds"))
        GTEST_SKIP() << "data/venues not generated";
    g_config->Write("game/timeofday", 3);
    {
        mainmenu menuReadsTheStore;
    }
    ASSERT_EQ(g_dt, DT_NIGHT);
    stillCourt();

    // the upper half: the venue and its sky; the bottom middle: the sand
    auto upperBrightness = [](const std::vector<unsigned char>& f) {
        double sum = 0;
        for (size_t i = 0; i < f.size() / 2; i++)
            sum += f[i];
        return sum / (f.size() / 2);
    };
    const std::vector<unsigned char> built = drawFrame();
    g->applyDaytime();
    const std::vector<unsigned char> night = drawFrame();
    EXPECT_LT(upperBrightness(night), 0.6 * upperBrightness(built)) << "the Night venue, not the Day one";

    const unsigned char* sand = &night[(static_cast<size_t>(H * 4 / 5) * W + W / 2) * 3];
    EXPECT_NEAR(sand[0], 146, 30);
    EXPECT_NEAR(sand[1], 134, 30);
    EXPECT_NEAR(sand[2], 112, 30);
    EXPECT_EQ(sand_basecol_r, 146);
    EXPECT_EQ(sand_basecol_b, 112);

    // the same frame as a match begun from the menu shows (the sand marks aside)
    g->event(game::EV_BEGIN, 0);
    stillCourt();
    const std::vector<unsigned char> begun = drawFrame();
    EXPECT_NEAR(upperBrightness(begun), upperBrightness(night), 0.05 * upperBrightness(night) + 1);
}

// Once the match is over the board keeps "Winner!" and a line in the middle says how to go on.
// With TIBREL_SHOT=1 the frame, figures shown, goes to docs/match_over.png.
TEST_F(NewPlayer, TheEndOfAMatchSaysHowToGoOn)
{
    if (!wxFileExists("data/Tuffy_Bold.ttf"))
        GTEST_SKIP() << "data/Tuffy_Bold.ttf not generated";
    stillCourt();
    g->roundsWon[0] = 2;
    g->roundsWon[1] = 1;
    g->pendingDelay = 0;
    const std::vector<unsigned char> playing = drawFrame();
    g->state = game::STATE_MATCHOVER;
    const std::vector<unsigned char> over = drawFrame();

    EXPECT_STREQ(g->pointCall(0), "Winner!");
    const int band = changedRows(playing, over, H / 2 - 4, H / 2 + 34);
    EXPECT_GT(band, 400) << "the line in the middle";
    EXPECT_EQ(changedRows(playing, over, 0, H / 2 - 4) + changedRows(playing, over, H / 2 + 34, H), 0)
        << "nothing else changes: the board with its Winner! stays";
    // the line fits the window and is centred
    const int w = GLTextWidth(0, "%s", game::matchOverHint);
    EXPECT_GT(w, 100);
    EXPECT_LT(w, W - 40);

    if (testsupport::shotWanted()) {
        const vector3d spots[4] = { vector3d(-40, 0, -10), vector3d(-20, 0, 10), vector3d(35, 0, 10),
                                    vector3d(20, 0, -10) };
        for (int i = 0; i < 4; i++) {
            g->players[i]->pos = spots[i];
            g->players[i]->sizeScale = 1;
        }
        EXPECT_TRUE(testsupport::savePicture(drawFrame(), W, H, "docs/match_over.png"));
    }
}

// A human server is told its own keys until the serve is made; a computer server is not.
TEST_F(NewPlayer, AHumanServerIsToldItsKeysUntilTheServe)
{
    if (!wxFileExists("data/Tuffy_Bold.ttf"))
        GTEST_SKIP() << "data/Tuffy_Bold.ttf not generated";
    struct device {
        int index;
        const char* serveKey;
        const char* tossKey;
    } table[3] = { { 0, "X", "Z" }, { 1, "Page Down", "End" }, { 2, "button 1", "button 2" } };
    const int hintTop = H * 5 / 6 - 4, hintBottom = H * 5 / 6 + 34;

    ASSERT_EQ(g->state, game::STATE_SERVING);
    ASSERT_EQ(g->servingTeam, 0);
    EXPECT_EQ(g->serveHint(), "") << "the computer serves";
    for (player* p : g->players)
        p->sizeScale = 0;
    const std::vector<unsigned char> computer = drawFrame();

    for (const device& d : table) {
        SCOPED_TRACE(d.serveKey);
        g->setController(0, &devices[d.index]);
        const std::string text = g->serveHint();
        ASSERT_NE(text, "");
        const char* hint = text.c_str();
        EXPECT_NE(text.find(d.serveKey), std::string::npos) << text;
        EXPECT_NE(text.find(d.tossKey), std::string::npos) << text;
        EXPECT_LT(text.find(d.serveKey), text.find(d.tossKey)) << "the serve comes first";
        const std::vector<unsigned char> human = drawFrame();
        // the columns of the centred hint: the server's disc lies far to the left
        const int w = GLTextWidth(0, "%s", hint);
        EXPECT_LT(w, W - 40) << "the hint fits the window";
        const int x0 = W / 2 - w / 2 - 3, x1 = W / 2 + w / 2 + 3;
        EXPECT_GT(changedRows(computer, human, hintTop, hintBottom, x0, x1), 300) << "the hint is shown";
        EXPECT_EQ(changedRows(computer, human, hintBottom, H, x0, x1), 0);
    }

    // team 1 serves with player 3 (index 2): a computer there gives no hint, whoever else is
    // human; a human there is told its own keys, whoever else is not
    g->servingTeam = 1;
    EXPECT_EQ(g->serveHint(), "") << "player 1 of team 0 is human, team 1's server is not";
    g->setController(0, nullptr);
    g->setController(1, &devices[0]);
    g->setController(3, &devices[0]);
    EXPECT_EQ(g->serveHint(), "") << "team 1's server is the computer";
    g->setController(2, &devices[1]);
    const std::string hint = g->serveHint();
    ASSERT_NE(hint, "") << "team 1's server is human";
    EXPECT_NE(hint.find("Page Down"), std::string::npos) << hint;
    for (int i = 1; i < 4; i++)
        g->setController(i, nullptr);
    g->servingTeam = 0;

    // the human on keyboard 1 serves with the hit key: the hint goes
    controller& keys = devices[0];
    g->setController(0, &keys);
    g->serveTimer = 0;
    keys.button[1] = true;
    for (int n = 0; n < 50 && g->state == game::STATE_SERVING; n++)
        g->step(0.02f);
    keys.button[1] = false;
    EXPECT_EQ(g->state, game::STATE_PLAYING) << "the hit key served";
    EXPECT_EQ(g->serveHint(), "");
}

// The words before `action` in a footer line, back to the comma before them ("Page Down").
std::string keyBefore(const std::string& line, const char* action)
{
    const size_t end = line.find(action);
    if (end == std::string::npos)
        return std::string();
    const size_t comma = line.rfind(", ", end);
    const size_t start = comma == std::string::npos ? 0 : comma + 2;
    return line.substr(start, end - start);
}

// The SDL key symbol whose name is `name`, case aside (0 when none is)
int keyNamed(const std::string& name)
{
    for (int k = SDLK_FIRST + 1; k < SDLK_LAST; k++)
        if (strcasecmp(SDL_GetKeyName(static_cast<SDLKey>(k)), name.c_str()) == 0)
            return k;
    return 0;
}

// The keys of both keyboard halves stand under the main menu's lines, which keep their places.
TEST_F(NewPlayer, TheMainMenuShowsTheKeysUnderItsLines)
{
    if (!wxFileExists("data/Tuffy_Bold.ttf"))
        GTEST_SKIP() << "data/Tuffy_Bold.ttf not generated";
    mainmenu m;
    const int last = static_cast<int>(m.items.size()) - 1;
    const float lineHeight = H / 25.0f;
    EXPECT_GT(mainmenu::footerY(0), m.lineY(last) + lineHeight) << "under the last line";
    EXPECT_LE(mainmenu::footerY(1) + lineHeight, static_cast<float>(H)) << "inside the window";
    for (int i = 0; i < 2; i++)
        EXPECT_LT(GLTextWidth(0, "%s", mainmenu::keysFooter(i).c_str()), W - 40)
            << mainmenu::keysFooter(i);
    EXPECT_EQ(mainmenu::keysFooter(0), "Keyboard 1: arrows run, Z jumps, X hits");
    EXPECT_EQ(mainmenu::keysFooter(1), "Keyboard 2: keypad 8 4 5 6 run, End jumps, Page Down hits");
    // the footer names the keys bound now
    g_bindings[1] = laptopBindings();
    g_bindings[0].assign(ACT_UP, SDLK_e);
    EXPECT_EQ(mainmenu::keysFooter(1), "Keyboard 2: I J K L run, U jumps, O hits");
    EXPECT_EQ(mainmenu::keysFooter(0), "Keyboard 1: E Left Down Right run, Z jumps, X hits");
    g_bindings[0] = defaultBindings(0);
    g_bindings[1] = defaultBindings(1);

    // the keys the footer names for jumping and hitting, pressed through the controllers'
    // own mapping, drive that half's jump (button 0) and hit (button 1)
    static const char* const actions[2] = { " jumps", " hits" };
    for (int half = 0; half < 2; half++)
        for (int b = 0; b < 2; b++) {
            const std::string name = keyBefore(mainmenu::keysFooter(half), actions[b]);
            SCOPED_TRACE(std::string(mainmenu::keysFooter(half)) + ": " + name);
            const int key = keyNamed(name);
            ASSERT_NE(key, 0) << "a key of that name";
            controllerKey(key, true);
            EXPECT_TRUE(g_keys[half]->button[b]);
            EXPECT_FALSE(g_keys[half]->button[1 - b]);
            EXPECT_FALSE(g_keys[1 - half]->button[0] || g_keys[1 - half]->button[1]);
            controllerKey(key, false);
        }

    auto footerPixels = [&](gameobject& screen) {
        glViewport(0, 0, W, H);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        screen.draw();
        glFinish();
        const std::vector<unsigned char> f = testsupport::readFrame(W, H);
        int n = 0;
        for (int y = static_cast<int>(mainmenu::footerY(0)); y < H; y++)
            for (int x = 0; x < W; x++)
                if (f[(static_cast<size_t>(y) * W + x) * 3 + 2] > 100)
                    n++;
        return n;
    };
    m.fade = 0;
    EXPECT_GT(footerPixels(m), 500);

    // with a screen of its own open, that screen is shown and no footer
    menu* sub = new menu();
    m.openSubMenu(sub);
    sub->fade = 0;
    EXPECT_EQ(footerPixels(m), 0);
    sub->detachFromParent();
    delete sub;
}

}

namespace {

// Slow motion at the net: how many frames of play it covers with a scripted human on team 0
// who runs to the net and jumps whenever the ball comes near it, and with computer players
// only. TIBREL_SLOWMO_MINUTES sets the minutes of play of each (default 1); the rates are
// printed. The rule wants a jumper of each team within 15 of the net while the ball is within
// 10 of it, all in the same step.
struct slowMotionCount {
    int frames = 0;       // steps played (one per frame)
    int slow = 0;         // steps in slow motion
    int episodes = 0;     // times it began
    int ballAtNet = 0;    // steps with the ball within 10 of the net
    int jumpers[2] = { 0, 0 };   // steps with a jumper of that team within 15 of the net
    int bothJump = 0;     // steps with jumpers of both teams there
};

void countStep(const game* g, slowMotionCount& c, bool& wasSlow)
{
    c.frames++;
    int j[2] = { 0, 0 };
    for (int i = 0; i < 4; i++)
        if (std::fabs(g->players[i]->pos.x) < 15 && g->players[i]->state == player::MOVE_JUMPING)
            j[i / 2]++;
    c.jumpers[0] += j[0] > 0;
    c.jumpers[1] += j[1] > 0;
    c.bothJump += j[0] > 0 && j[1] > 0;
    c.ballAtNet += std::fabs(g->theBall->pos.x) < 10;
    c.slow += g->slowMotion;
    c.episodes += g->slowMotion && !wasSlow;
    wasSlow = g->slowMotion;
}

// The scripted human: to the net in line with the ball, jump when the ball is close to the
// net and high, hit whenever it is within reach.
void scriptHuman(const game* g, controller& c)
{
    const player* p = g->players[0];
    const vector3d& b = g->theBall->pos;
    const float tx = -6.0f, tz = b.z;
    c.left = p->pos.x > tx + 1;
    c.right = p->pos.x < tx - 1;
    c.up = p->pos.z > tz + 1;
    c.down = p->pos.z < tz - 1;
    const bool near = std::fabs(b.x) < 20 && b.y < -12;
    // hold jump up to the top of the jump; let go to be able to jump again
    c.button[0] = near && (p->state != player::MOVE_FALLING) && !(p->state == player::MOVE_STANDING && c.button[0]);
    c.button[1] = (p->pos - b).length() < 12 || g->state == game::STATE_SERVING;
}

slowMotionCount playMinutes(game* g, float minutes, controller* human)
{
    slowMotionCount c;
    bool wasSlow = false;
    const int steps = static_cast<int>(minutes * 60 / 0.02f);
    g->event(game::EV_BEGIN, 0);
    for (int n = 0; n < steps; n++) {
        if (g->state == game::STATE_MATCHOVER)
            g->event(game::EV_BEGIN, 0);
        if (human)
            scriptHuman(g, *human);
        g->step(0.02f);
        countStep(g, c, wasSlow);
    }
    return c;
}

void report(const char* who, const slowMotionCount& c)
{
    std::printf("%s: %d frames, %d in slow motion (%.2f%%), %d times; ball at the net %d, jumper of "
                "team 0 %d, of team 1 %d, of both %d\n",
                who, c.frames, c.slow, 100.0 * c.slow / c.frames, c.episodes, c.ballAtNet, c.jumpers[0],
                c.jumpers[1], c.bothJump);
}

class SlowMotion : public matchfixture {
protected:
    SlowMotion() : matchfixture(2006) {}
    static float minutes()
    {
        const char* m = std::getenv("TIBREL_SLOWMO_MINUTES");
        const float v = m ? static_cast<float>(std::atof(m)) : 1.0f;
        return v > 0 ? v : 1.0f;
    }
};

TEST_F(SlowMotion, AHumanJumpingAtTheNetSetsItOffComputersRarely)
{
    WINSCORE = 8;
    controller human;
    g->setController(0, &human);
    const slowMotionCount withHuman = playMinutes(g, minutes(), &human);
    report("scripted human at the net", withHuman);
    EXPECT_GT(withHuman.jumpers[0], 0) << "the script jumps at the net";
    EXPECT_GT(withHuman.episodes, 0) << "slow motion happens";
    EXPECT_EQ(withHuman.slow > 0, withHuman.episodes > 0);

    g->setController(0, nullptr);
    const slowMotionCount computers = playMinutes(g, minutes(), nullptr);
    report("computer players only", computers);
    // slow motion only ever with jumpers of both teams at the net
    EXPECT_LE(computers.slow, computers.bothJump);
    EXPECT_LE(withHuman.slow, withHuman.bothJump);
}

}
