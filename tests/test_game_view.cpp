// Camera easing, score board layout, round labels, debug particles, the net's mesh and a
// rendered frame of the match.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>
#include <vector>
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <wx/filefn.h>
#include "ball.h"
#include "daytime.h"
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

TEST_F(MatchView, EventTexts)
{
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

// The camera eases once per step, not per drawn frame: frames left undrawn while the loop
// catches up do not slow it, and drawing leaves it where it is.
TEST_F(MatchView, StepEasesTheCameraAndSetsTheFeedbackFromTheZoom)
{
    g->camX = -15;
    g->camXTarget = 15;
    g->zoom = 0.5f;
    g->zoomTarget = 0;
    g_feedback = 0;
    drawFrame();
    EXPECT_FLOAT_EQ(g->camX, -15.0f) << "drawing does not ease";
    EXPECT_FLOAT_EQ(g->zoom, 0.5f);
    EXPECT_EQ(g_feedback, 0.0f);
    g->step(0.02f);
    EXPECT_NEAR(g->camX, -14.7f, 1e-5f);
    EXPECT_NEAR(g->zoom, 0.47f, 1e-6f);
    EXPECT_FLOAT_EQ(g_feedback, g->zoom);
}

// A child of the match that draws nothing and notes the matrices it is drawn with, so a test
// can tell where a point of the world lands in the window.
class probe : public gameobject {
public:
    double proj[16] = {}, model[16] = {};
    bool drawn = false;
    explicit probe(gameobject* parent, const vector3d& at) : gameobject(parent) { pos = at; }
    void drawThis() override
    {
        glGetDoublev(GL_PROJECTION_MATRIX, proj);
        glGetDoublev(GL_MODELVIEW_MATRIX, model);
        drawn = true;
    }
    // normalised device coordinates of the probe's position (x right, y up, z into the screen)
    vector3d ndc() const
    {
        double eye[4], clip[4];
        for (int r = 0; r < 4; r++)
            eye[r] = model[12 + r];   // the origin of the probe's frame
        for (int r = 0; r < 4; r++)
            clip[r] = proj[r] * eye[0] + proj[4 + r] * eye[1] + proj[8 + r] * eye[2] +
                      proj[12 + r] * eye[3];
        return vector3d(float(clip[0] / clip[3]), float(clip[1] / clip[3]), float(clip[2] / clip[3]));
    }
};

// 4 x 4 matrices, column-major as OpenGL keeps them
struct mat4 {
    double m[16];
    static mat4 identity()
    {
        mat4 a{};
        a.m[0] = a.m[5] = a.m[10] = a.m[15] = 1;
        return a;
    }
    mat4 operator*(const mat4& b) const
    {
        mat4 c{};
        for (int col = 0; col < 4; col++)
            for (int row = 0; row < 4; row++)
                for (int k = 0; k < 4; k++)
                    c.m[col * 4 + row] += m[k * 4 + row] * b.m[col * 4 + k];
        return c;
    }
    static mat4 translate(double x, double y, double z)
    {
        mat4 a = identity();
        a.m[12] = x;
        a.m[13] = y;
        a.m[14] = z;
        return a;
    }
    static mat4 scale(double x, double y, double z)
    {
        mat4 a = identity();
        a.m[0] = x;
        a.m[5] = y;
        a.m[10] = z;
        return a;
    }
    static mat4 turnX(double degrees)
    {
        const double t = degrees * 3.14159265358979 / 180;
        mat4 a = identity();
        a.m[5] = std::cos(t);
        a.m[6] = std::sin(t);
        a.m[9] = -std::sin(t);
        a.m[10] = std::cos(t);
        return a;
    }
    static mat4 frustum(double l, double r, double b, double t, double n, double f)
    {
        mat4 a{};
        a.m[0] = 2 * n / (r - l);
        a.m[5] = 2 * n / (t - b);
        a.m[8] = (r + l) / (r - l);
        a.m[9] = (t + b) / (t - b);
        a.m[10] = -(f + n) / (f - n);
        a.m[11] = -1;
        a.m[14] = -2 * f * n / (f - n);
        return a;
    }
    vector3d project(const vector3d& p) const
    {
        double c[4];
        for (int r = 0; r < 4; r++)
            c[r] = m[r] * p.x + m[4 + r] * p.y + m[8 + r] * p.z + m[12 + r];
        return vector3d(float(c[0] / c[3]), float(c[1] / c[3]), float(c[2] / c[3]));
    }
};

// The camera as the player sees it: a view from behind team 0, 65 above (half of it at full
// zoom), panned by camX and by half the ball's run, tilted down 33 degrees; slow motion
// enlarges the scene around the ball, twice across and 1.4 times in depth.
TEST_F(MatchView, CameraPutsTheWorldWhereThePlayerSeesIt)
{
    struct view { float camX, zoom; vector3d ball; } views[] = {
        {15, 0, vector3d(-35, -40, -10)}, {-15, 0, vector3d(20, -5, 12)},
        {15, 1, vector3d(3, -30, 4)},     {-6, 0.5f, vector3d(-10, -60, -20)},
    };
    const vector3d points[] = {vector3d(0, 0, 0), vector3d(-60, 0, -25), vector3d(60, 0, 25),
                               vector3d(-50, -30, 20), vector3d(40, -18, -30)};
    for (const view& v : views) {
        SCOPED_TRACE(testing::Message() << "camX " << v.camX << " zoom " << v.zoom);
        g->camX = g->camXTarget = v.camX;
        g->zoom = g->zoomTarget = v.zoom;
        g->theBall->pos = v.ball;
        std::vector<probe*> probes;
        for (const vector3d& p : points)
            probes.push_back(new probe(g, p));
        drawFrame();

        const float z = v.zoom;
        const vector3d& b = v.ball;
        // the vertical field of view is fixed, the sides follow the window's shape
        const double side = double(W) / H;
        const mat4 camera = mat4::frustum(-side, side, 1, -1, 1.2000000476837158, 10000) *
                            mat4::translate(v.camX, 65 * (1 - 0.5 * z), 10) *
                            mat4::translate(-0.5 * b.x, 0, -0.5 * b.z) * mat4::turnX(-33);
        const mat4 world = mat4::translate(0, 0, -100) * mat4::scale(1 + z, 1 + z, 1 + 0.4 * z) *
                           mat4::translate(-z * b.x, -z * b.y, -z * b.z);
        const mat4 all = camera * world;
        for (probe* p : probes) {
            SCOPED_TRACE(testing::Message() << "point " << p->pos.x << ", " << p->pos.y << ", "
                                            << p->pos.z);
            ASSERT_TRUE(p->drawn);
            const vector3d want = all.project(p->pos);
            const vector3d got = p->ndc();
            EXPECT_NEAR(got.x, want.x, 1e-4);
            EXPECT_NEAR(got.y, want.y, 1e-4);
            EXPECT_NEAR(got.z, want.z, 1e-5);
            delete p;
        }
    }
    // team 0's half is on the left of the screen, team 1's on the right
    g->camX = g->camXTarget = 15;
    g->zoom = g->zoomTarget = 0;
    g->theBall->pos = vector3d();
    probe* left = new probe(g, vector3d(-60, 0, 0));
    probe* right = new probe(g, vector3d(60, 0, 0));
    drawFrame();
    EXPECT_LT(left->ndc().x, -0.3f);
    EXPECT_GT(right->ndc().x, 0.3f);
    delete left;
    delete right;
}

// Top-down on the sand, 5 pixels to a unit: white rings under every player but the last
// hitter, and a disc in the player's own colour under every human.
TEST_F(MatchView, RingsAndHumanDiscsUnderThePlayers)
{
    controller pads[4];
    const struct { float x, z; bool human; int colour[3]; } who[4] = {
        {-30, 12, true, {1, 0, 0}}, {-30, -12, false, {0, 0, 0}},
        {30, 12, true, {0, 1, 0}},  {30, -12, true, {1, 1, 0}},
    };
    for (int i = 0; i < 4; i++) {
        g->players[i]->pos = vector3d(who[i].x, 0, who[i].z);
        g->setController(i, who[i].human ? &pads[i] : nullptr);
    }
    g->theBall->pos = vector3d(0, -20, 0);
    g->lastHitterIndex = 2;

    glViewport(0, 0, W, H);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glLineWidth(1.25f);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-80, 80, -60, 60, -100, 100);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glRotatef(90, 1, 0, 0);   // world z to the window's -y, the sand faces the viewer
    g->drawOnSand();
    glFinish();
    std::vector<unsigned char> px(W * H * 4);
    glReadPixels(0, 0, W, H, GL_RGBA, GL_UNSIGNED_BYTE, px.data());

    for (int i = 0; i < 4; i++) {
        SCOPED_TRACE(testing::Message() << "player " << i);
        const float cx = (who[i].x + 80) * 5, cy = (60 - who[i].z) * 5;
        int white = 0;
        double sum[3] = {0, 0, 0};
        int inner = 0;
        for (int y = int(cy) - 25; y <= int(cy) + 25; y++)
            for (int x = int(cx) - 25; x <= int(cx) + 25; x++) {
                const unsigned char* p = &px[(y * W + x) * 4];
                const float r = std::hypot(x + 0.5f - cx, y + 0.5f - cy);
                if (r > 18 && r < 20.5f && p[0] > 200 && p[1] > 200 && p[2] > 200)
                    white++;
                if (r < 12) {
                    for (int c = 0; c < 3; c++)
                        sum[c] += p[c];
                    inner++;
                }
            }
        if (i == g->lastHitterIndex) {
            EXPECT_EQ(white, 0) << "no ring under the last hitter";
        } else {
            EXPECT_GT(white, 60) << "a ring of radius 3.8";
        }
        for (int c = 0; c < 3; c++) {
            const double mean = sum[c] / inner;
            if (who[i].colour[c]) {
                EXPECT_GT(mean, 60) << "channel " << c;
            } else {
                EXPECT_LT(mean, 3) << "channel " << c;
            }
        }
    }
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

// The net in the world: every line brought back from the window to world units. The mesh
// hangs 7 to 20 units above the sand (y negative) in the plane x = 0, its strands 2 apart;
// the cables run over the full width; the posts stand from the sand to 20 units up at z +-30.
TEST_F(MatchView, NetHangsAboveTheSandInItsPlace)
{
    struct segment { float y0, z0, y1, z1; bool mesh; };
    std::vector<segment> want;
    for (int k = 0; k < 26; k++)
        want.push_back({-7, -25.0f + 2 * k, -20, -25.0f + 2 * k, true});
    for (int j = 0; j < 6; j++)
        want.push_back({-8.0f - 2 * j, -25, -8.0f - 2 * j, 25, true});
    want.push_back({-20, -30, -20, 30, false});
    want.push_back({-7, -30, -7, 30, false});

    std::vector<GLfloat> fb(40000);
    glViewport(0, 0, W, H);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-40, 40, -30, 30, -100, 100);   // 10 pixels to a unit
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glRotatef(90, 0, 1, 0);   // world (x, y, z) to eye (z, y, -x)
    glFeedbackBuffer(static_cast<GLsizei>(fb.size()), GL_3D_COLOR, fb.data());
    glRenderMode(GL_FEEDBACK);
    g->theNet->drawThis();
    const GLint n = glRenderMode(GL_RENDER);
    ASSERT_GT(n, 0);

    std::vector<bool> found(want.size(), false);
    int postLines = 0;
    float postLow = -100, postHigh = 100;   // the lowest and highest points of the posts
    for (GLint i = 0; i + 15 <= n; i += 15) {
        ASSERT_TRUE(fb[i] == GL_LINE_TOKEN || fb[i] == GL_LINE_RESET_TOKEN);
        float y[2], z[2], x[2];
        for (int e = 0; e < 2; e++) {
            const GLfloat* v = &fb[i + 1 + 7 * e];
            z[e] = v[0] / 10 - 40;
            y[e] = v[1] / 10 - 30;
            x[e] = (2 * v[2] - 1) * 100;
        }
        const GLfloat* colour = &fb[i + 4];
        const bool meshColour = colour[0] > 0.99f && colour[1] > 0.99f && std::fabs(colour[2] - 0.96f) < 0.01f;
        const bool grey = std::fabs(colour[0] - 0.3f) < 0.01f && std::fabs(colour[1] - 0.3f) < 0.01f;
        ASSERT_TRUE(meshColour || grey) << "a line of another colour";
        bool matched = false;
        for (size_t k = 0; k < want.size() && !matched; k++) {
            const segment& s = want[k];
            auto near = [](float a, float b) { return std::fabs(a - b) < 0.05f; };
            const bool same = (near(y[0], s.y0) && near(z[0], s.z0) && near(y[1], s.y1) && near(z[1], s.z1)) ||
                              (near(y[1], s.y0) && near(z[1], s.z0) && near(y[0], s.y1) && near(z[0], s.z1));
            if (same && s.mesh == meshColour && !found[k]) {
                found[k] = matched = true;
                EXPECT_NEAR(x[0], 0, 0.05f);
                EXPECT_NEAR(x[1], 0, 0.05f);
            }
        }
        if (matched)
            continue;
        // a post edge
        ASSERT_TRUE(grey) << "a mesh line out of place: y " << y[0] << " ... " << y[1] << ", z "
                          << z[0] << " ... " << z[1];
        postLines++;
        for (int e = 0; e < 2; e++) {
            EXPECT_LE(std::fabs(x[e]), 0.26f);
            EXPECT_NEAR(std::fabs(z[e]), 30, 0.26f);
            postLow = std::max(postLow, y[e]);
            postHigh = std::min(postHigh, y[e]);
        }
    }
    for (size_t k = 0; k < want.size(); k++)
        EXPECT_TRUE(found[k]) << "missing line " << k << " at y " << want[k].y0 << ", z " << want[k].z0;
    EXPECT_EQ(postLines, 24) << "two posts of twelve edges";
    EXPECT_NEAR(postLow, 0, 0.05f) << "the posts stand on the sand";
    EXPECT_NEAR(postHigh, -20, 0.05f) << "and reach 20 units up";
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

namespace {

// The board at every time of day: team 0 at 7 with a round won and the serve, team 1 at 5.
// Each score in its team colour, the won round as a filled mark, the serve as a ball on team
// 0's outer side, "Match point" under team 0 alone. With TIBREL_SHOT=1 the tops of the four
// frames go, one under the other, to docs/scoreboard.png.
TEST_F(MatchView, ScoreBoardAtEveryTimeOfDay)
{
    if (!wxFileExists("data/Tuffy_Bold.ttf"))
        GTEST_SKIP() << "data/Tuffy_Bold.ttf not generated";
    const int saved = WINSCORE;
    WINSCORE = 8;
    g->score[0] = 7;
    g->score[1] = 5;
    g->roundsWon[0] = 1;
    g->servingTeam = 0;
    float x[4], y[4];
    game::scoreLayout(W, H, x, y);
    const int line = H / 25;
    const int strip = H / 5;
    std::vector<unsigned char> shot;
    for (int d = DT_MORNING; d <= DT_NIGHT; d++) {
        SCOPED_TRACE(d);
        setDaytime(static_cast<daytime>(d));
        g->applyDaytime();
        g->servingTeam = 1;
        drawFrame();
        const std::vector<unsigned char> other = testsupport::readFrame(W, H);
        g->servingTeam = 0;
        drawFrame();
        const std::vector<unsigned char> px = testsupport::readFrame(W, H);
        // pixels of a frame close to a colour in a box given by its top-left corner and size
        auto nearIn = [&](const std::vector<unsigned char>& f, const float* c, float x0, int y0,
                          int w, int h) {
            int n = 0;
            for (int yy = y0; yy < y0 + h; yy++)
                for (int xx = static_cast<int>(x0); xx < x0 + w; xx++) {
                    const unsigned char* p = &f[(static_cast<size_t>(yy) * W + xx) * 3];
                    n += std::abs(p[0] - c[0] * 255) < 30 && std::abs(p[1] - c[1] * 255) < 30 &&
                         std::abs(p[2] - c[2] * 255) < 30;
                }
            return n;
        };
        auto near = [&](const float* c, float x0, int y0, int w, int h) {
            return nearIn(px, c, x0, y0, w, h);
        };
        // pixels that differ from the frame where team 1 serves
        auto moved = [&](float x0, int y0, int w, int h) {
            int n = 0;
            for (int yy = y0; yy < y0 + h; yy++)
                for (int xx = static_cast<int>(x0); xx < x0 + w; xx++) {
                    const size_t i = (static_cast<size_t>(yy) * W + xx) * 3;
                    n += px[i] != other[i] || px[i + 1] != other[i + 1] || px[i + 2] != other[i + 2];
                }
            return n;
        };
        const float* red = game::teamColours[0];
        const float* blue = game::teamColours[1];
        const int top = static_cast<int>(y[0]);
        // the digits, each in its own colour
        EXPECT_GT(near(red, x[0] - 20, top, 40, line), 30);
        EXPECT_GT(near(blue, x[1] - 20, top, 40, line), 30);
        // rounds toward the middle: team 0's won round a filled mark, more red than a ring
        const int won = near(red, x[0] + 15, top, line, line);
        const int open = near(red, x[0] + 15 + line * 0.85f, top, line, line);
        EXPECT_GT(won, open + 30);
        // the serve: a ball at the outer side of the serving team's score, and only there
        EXPECT_GT(moved(x[0] - 3 * line, top, 3 * line - 12, line), 40);
        EXPECT_GT(moved(x[1] + 12, top, 3 * line - 12, line), 40);
        EXPECT_EQ(moved(x[0] - 12, top, 24, line), 0) << "the digits stay";
        // and it is the ball's pale yellow beside the team that serves, not the other
        static const float ball[3] = { 1.0f, 0.95f, 0.6f };
        EXPECT_GT(near(ball, x[0] - 3 * line, top, 3 * line - 12, line),
                  nearIn(other, ball, x[0] - 3 * line, top, 3 * line - 12, line) + 20);
        // "Match point" under team 0 only
        EXPECT_GT(near(red, x[0] - 80, top + line, 160, line + 8), 100);
        EXPECT_LT(near(blue, x[1] - 80, top + line, 160, line + 8), 20);
        shot.insert(shot.end(), px.begin(), px.begin() + static_cast<size_t>(W) * strip * 3);
    }
    if (testsupport::shotWanted())
        testsupport::savePicture(shot, W, 4 * strip, "docs/scoreboard.png");
    setDaytime(DT_DAY);
    WINSCORE = saved;
}

}

