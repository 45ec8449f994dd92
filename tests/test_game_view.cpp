// Camera easing, score board layout, round labels, debug particles, the net's mesh and a
// rendered frame of the match.
#include <cstdlib>
#include <set>
#include <vector>
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <wx/filefn.h>
#include "ball.h"
#include "game.h"
#include "main.h"
#include "net.h"
#include "particle.h"
#include "player.h"
#include "random.h"
#include "fixtures.h"
#include "support.h"
#include "textrender.h"

namespace {

const int W = 800;
const int H = 600;

class MatchView : public matchfixture {
protected:
    MatchView() : matchfixture(5) {}

    static void SetUpTestSuite()
    {
        // the window first, so every test draws at the game's own size
        if (testsupport::openGLContext(W, H)) {
            screen_width = W;
            screen_height = H;
            GLInitFreeType();
        }
    }

    static void TearDownTestSuite()
    {
        GLDeinitFreeType();
    }

    // what the main loop does around the match's draw
    void drawFrame()
    {
        glViewport(0, 0, W, H);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glEnable(GL_BLEND);
        glDisable(GL_CULL_FACE);
        glEnable(GL_ALPHA_TEST);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glTranslatef(0, 0, -100);
        g->draw();
        glFinish();
    }

    // bright red pixels inside a window rectangle given top-left and size
    int redPixels(int x0, int y0, int w, int h)
    {
        std::vector<unsigned char> px(static_cast<size_t>(w) * h * 4);
        glReadPixels(x0, H - y0 - h, w, h, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
        int n = 0;
        for (size_t i = 0; i < px.size(); i += 4)
            if (px[i] > 230 && px[i + 1] < 40 && px[i + 2] < 40)
                n++;
        return n;
    }
};

TEST_F(MatchView, CameraPanEasesOnlyWhenFarFromItsTarget)
{
    struct panCase {
        float camX, target, expected;
    } cases[] = {
        { 14.7f, 15, 14.7f },     // 0.3 away: stays
        { -15, 15, -14.7f },
        { 15, -15, 14.7f },
        { 14.5f, 15, 14.505f },   // 0.5 away: moves
    };
    for (const panCase& c : cases) {
        g->camX = c.camX;
        g->camXTarget = c.target;
        g->easePan();
        EXPECT_NEAR(g->camX, c.expected, 1e-5f) << c.camX << " toward " << c.target;
    }
}

TEST_F(MatchView, ZoomEasesTowardItsTarget)
{
    g->zoom = 0;
    g->zoomTarget = 1;
    g->easeZoom();
    EXPECT_NEAR(g->zoom, 0.06f, 1e-6f);
    for (int i = 0; i < 200; i++)
        g->easeZoom();
    EXPECT_GT(g->zoom, 0.997f);
    EXPECT_LE(g->zoom, 1.0f);
    const float settled = g->zoom;
    g->easeZoom();
    EXPECT_FLOAT_EQ(g->zoom, settled) << "within 0.002 of the target it stays";
}

TEST_F(MatchView, ScoreBoardLayout)
{
    struct layoutCase {
        int w, h;
        float x[4], y[4];
    } cases[] = {
        { 800, 600, { 200, 600, 300, 500 }, { 50, 50, 25, 25 } },
        // integer divisions, three times the width taken first
        { 1366, 766, { 341, 1024, 512, 853 }, { 63, 63, 31, 31 } },
    };
    for (const layoutCase& c : cases) {
        float x[4], y[4];
        game::scoreLayout(c.w, c.h, x, y);
        for (int i = 0; i < 4; i++) {
            EXPECT_FLOAT_EQ(x[i], c.x[i]) << c.w << " item " << i;
            EXPECT_FLOAT_EQ(y[i], c.y[i]) << c.h << " item " << i;
        }
    }
    float mx, my;
    game::messageOrigin(800, 600, 101, mx, my);
    EXPECT_FLOAT_EQ(mx, 350.0f);
    EXPECT_FLOAT_EQ(my, 300.0f);
}

TEST_F(MatchView, RoundLabels)
{
    EXPECT_STREQ(game::roundLabel(0), "");
    EXPECT_STREQ(game::roundLabel(1), "X");
    EXPECT_STREQ(game::roundLabel(2), "WINNER");
    EXPECT_STREQ(game::roundLabel(3), "WINNER");
    EXPECT_STREQ(game::roundLabel(-1), "");
    EXPECT_STREQ(game::eventTexts[game::EV_TOOMANYHITS], "Too many hits!");
    EXPECT_STREQ(game::eventTexts[game::EV_MATCHOVER], "Match over!");
}

TEST_F(MatchView, DebugParticlesFallAsChildrenOfTheMatch)
{
    const size_t before = g->children.size();
    g->step(0.02f);
    EXPECT_EQ(g->children.size(), before) << "none asked for, none made";

    // thrown by the step (they land on the sand), never by drawing
    g->debugParticles = 5;
    drawFrame();
    EXPECT_EQ(g->children.size(), before);
    g->step(0.02f);
    ASSERT_EQ(g->children.size(), before + 5);
    for (size_t i = before; i < g->children.size(); i++) {
        particle* drop = dynamic_cast<particle*>(g->children[i]);
        ASSERT_NE(drop, nullptr);
        EXPECT_FLOAT_EQ(drop->pos.y, -90.0f);
        EXPECT_LE(std::fabs(drop->pos.x), 130.0f);
        EXPECT_LE(std::fabs(drop->pos.z), 100.0f);
        ASSERT_NE(drop->debris, nullptr);
        EXPECT_GE(drop->debrisCount, 1);
        EXPECT_LE(drop->debrisCount, 10);
    }
}

TEST_F(MatchView, DrawingSetsTheFeedbackFromTheZoom)
{
    g->zoom = 0.5f;
    g->zoomTarget = 0.5f;
    g_feedback = 0;
    drawFrame();
    EXPECT_FLOAT_EQ(g_feedback, 0.5f);
}

TEST_F(MatchView, NetMeshHasItsStrandsCablesAndPosts)
{
    std::vector<GLfloat> fb(20000);
    glViewport(0, 0, W, H);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-40, 40, -30, 30, -100, 100);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glRotatef(90, 0, 1, 0);   // look along x, so every line of the net has a length on screen
    glFeedbackBuffer(static_cast<GLsizei>(fb.size()), GL_3D, fb.data());
    glRenderMode(GL_FEEDBACK);
    g->theNet->drawThis();
    const GLint n = glRenderMode(GL_RENDER);
    ASSERT_GT(n, 0);

    int lines = 0, strandsUpright = 0, strandsAlong = 0;
    for (GLint i = 0; i < n;) {
        const GLfloat token = fb[i];
        if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN) {
            const float x1 = fb[i + 1], y1 = fb[i + 2], x2 = fb[i + 4], y2 = fb[i + 5];
            lines++;
            // 10 pixels per unit on both axes
            if (std::fabs(x1 - x2) < 0.5f && std::fabs(std::fabs(y1 - y2) - 130.0f) < 1.0f)
                strandsUpright++;
            if (std::fabs(y1 - y2) < 0.5f && std::fabs(std::fabs(x1 - x2) - 500.0f) < 1.0f)
                strandsAlong++;
            i += 7;
        } else {
            ADD_FAILURE() << "unexpected feedback token " << token;
            break;
        }
    }
    EXPECT_EQ(strandsUpright, 26);
    EXPECT_EQ(strandsAlong, 6);
    EXPECT_EQ(lines, 26 + 6 + 2 + 2 * 12) << "strands, two cables and two posts of twelve edges";
}

TEST_F(MatchView, RefereesCallIsShownInRedWhileItsDelayRuns)
{
    if (!wxFileExists("data/Tuffy_Bold.ttf"))
        GTEST_SKIP() << "data/Tuffy_Bold.ttf not generated";
    drawFrame();   // sets the sky as the clear colour
    const int centreX = W / 2 - 150, centreY = H / 2 - 10, boxW = 300, boxH = 60;
    drawFrame();
    const int scene = redPixels(centreX, centreY, boxW, boxH);

    g->state = game::STATE_PLAYING;
    g->theBall->pos = vector3d(30, -2.4f, 0);
    g->theBall->touchedGround = true;
    g->event(game::EV_OUT, 2.0f);
    drawFrame();
    EXPECT_GT(redPixels(centreX, centreY, boxW, boxH), scene + 30) << "\"In!\" in red";

    g->event(g->pendingEvent, 0);   // the rally is reset: no more message
    drawFrame();
    EXPECT_EQ(redPixels(centreX, centreY, boxW, boxH), scene);
}

}

namespace {

// Four figures in four movement states on the court: each shows its own frame of the sheet.
// With TIBREL_SHOT=1 the frame is also written to docs/players.png for a look by eye.
TEST_F(MatchView, FourFiguresInTheirStates)
{
    struct pose {
        vector3d pos;
        vector3d vel;
        player::player_movement_type state;
    } poses[4] = {
        {vector3d(-35, 0, -8), vector3d(), player::MOVE_STANDING},
        {vector3d(-15, 0, 8), vector3d(-20, 0, 5), player::MOVE_RUNNING},
        {vector3d(8, -14, 6), vector3d(0, -5, 0), player::MOVE_JUMPING},
        {vector3d(25, -1, -6), vector3d(-30, 0, 0), player::MOVE_DIVING},
    };
    g->theBall->pos = vector3d(3, -30, 0);
    std::set<int> frames;
    for (int i = 0; i < 4; i++) {
        player* p = g->players[i];
        p->pos = poses[i].pos;
        p->vel = poses[i].vel;
        p->state = poses[i].state;
        frames.insert(p->spriteFrame());
    }
    EXPECT_EQ(frames.size(), 4u) << "every state shows its own frame";

    drawFrame();
    drawFrame();
    std::vector<unsigned char> withFigures = testsupport::readFrame(W, H);
    for (player* p : g->players)
        p->sizeScale = 0;   // no figure, no shadow
    drawFrame();
    std::vector<unsigned char> without = testsupport::readFrame(W, H);
    size_t changed = 0;
    for (size_t i = 0; i < withFigures.size(); i += 3)
        if (withFigures[i] != without[i] || withFigures[i + 1] != without[i + 1])
            changed++;
    EXPECT_GT(changed, 2000u) << "the four figures and their shadows cover the sand";

    if (testsupport::shotWanted()) {
        EXPECT_TRUE(testsupport::savePicture(withFigures, W, H, "docs/players.png"));
    }
}

}
