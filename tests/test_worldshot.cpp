// The court in the evening venue as the match's camera sees it: sand with prints, dust in the
// air, the ball in flight with its shadow. With TIBREL_SHOT=1 the frame is also written to
// docs/world_evening.png (through ImageMagick's convert) for a look by eye.
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>
#include <cstring>
#include <GL/gl.h>
#include <GL/glext.h>
#include <SDL/SDL.h>
#include <gtest/gtest.h>
#include <wx/filefn.h>
#include "ball.h"
#include "daytime.h"
#include "gameobject.h"
#include "particle.h"
#include "playfield.h"
#include "random.h"
#include "support.h"
#include "tarvo3ds.h"

namespace {

const int W = 800, H = 600;

// the match's frame set-up: the shell's state, then the camera behind team 0's side, panned
// to camX and zoomed in around the ball by zoom (0 ... 1) as in slow motion
void setUpCamera(const vector3d& ball, float camX = 15, float zoom = 0)
{
    glViewport(0, 0, W, H);
    glClearColor(getBaseCol(BC_SKY, CC_RED) / 256.0f, getBaseCol(BC_SKY, CC_GREEN) / 256.0f,
                 getBaseCol(BC_SKY, CC_BLUE) / 256.0f, 1);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLineWidth(1.25f);
    glEnable(GL_BLEND);
    glDisable(GL_CULL_FACE);
    glEnable(GL_ALPHA_TEST);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDepthFunc(GL_LESS);
    glEnable(GL_DEPTH_TEST);
    glShadeModel(GL_FLAT);
    glDisable(GL_TEXTURE_2D);

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(-1, 1, 1, -1, 1.2000000476837158, 10000);
    glTranslatef(camX, 65 * (1 - 0.5f * zoom), 10);
    glTranslatef(-0.5f * ball.x, 0, -0.5f * ball.z);
    glRotatef(-33, 1, 0, 0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(0, 0, -100);
    glScalef(1 + zoom, 1 + zoom, 1 + 0.4f * zoom);
    glTranslatef(-zoom * ball.x, -zoom * ball.y, -zoom * ball.z);
}

TEST(worldshot, EveningCourtWithPrintsDustAndBall)
{
    ASSERT_TRUE(testsupport::openGLContext(W, H)) << "needs a display, e.g. xvfb-run";
    const bool shot = testsupport::shotWanted();
    const bool haveVenue = wxFileExists("data/venues/Evening_venue.3ds");
    if (shot) {
        ASSERT_TRUE(haveVenue) << "the picture wants the generated data/ tree";
    }

    init_genrand(2006);
    seedDiscrete(2006);
    setDaytime(DT_EVENING);

    gameobject scene;   // stands in for the match
    scene.noAutoMove = true;
    playfield* field = new playfield();
    scene.adopt(field);
    ball* b = new ball(true);
    scene.adopt(b);
    b->bounds = box3d(vector3d(0, -200, 0), vector3d(240, 400, 100));
    b->bounded = true;
    b->theField = field;
    EXPECT_EQ(field->venue != nullptr, haveVenue);

    // a rally's traces: a run of prints, a landing, a dive and the ball's last bounce
    for (int i = 0; i < 8; i++)
        field->footStep(-45 + 4.0f * i, -8 + (i % 2) * 3.0f, 8, 3);
    field->footStep(-14, 6, 20, 5);
    field->footStep(20, -12, 16, 2);
    field->spawnDust(20, -12, 16);
    field->footStep(30, 14, 13, 40 / 6.0f);
    field->spawnDust(30, 14, 20);

    b->pos = vector3d(-10, -16, 2);
    b->vel = vector3d(25, -10, 0);
    for (int i = 0; i < 6; i++)
        scene.step(0.02f);   // the dust rises, the ball flies on
    ASSERT_LT(b->pos.y, -10.0f);
    ASSERT_GT(field->children.size(), 100u);

    setUpCamera(b->pos);
    scene.draw();
    glFinish();
    std::vector<unsigned char> rgb = testsupport::readFrame(W, H);

    // far from a flat colour: many colours, most of the frame not the sky
    std::set<unsigned> colours;
    size_t sky = 0;
    const int skyR = getBaseCol(BC_SKY, CC_RED), skyG = getBaseCol(BC_SKY, CC_GREEN), skyB = getBaseCol(BC_SKY, CC_BLUE);
    for (size_t i = 0; i < rgb.size(); i += 3) {
        colours.insert(rgb[i] << 16 | rgb[i + 1] << 8 | rgb[i + 2]);
        if (std::abs(rgb[i] - skyR) <= 2 && std::abs(rgb[i + 1] - skyG) <= 2 && std::abs(rgb[i + 2] - skyB) <= 2)
            sky++;
    }
    EXPECT_GT(colours.size(), 200u);
    EXPECT_LT(sky, rgb.size() / 3 / 2);

    // the sand fills the bottom middle of the frame in its evening colour (216, 166, 112), an
    // orange beige: green well under red, blue well above half of red (not olive)
    const unsigned char* mid = &rgb[((H * 4 / 5) * W + W / 2) * 3];
    EXPECT_NEAR(mid[0], 216, 40);
    EXPECT_NEAR(mid[1], 166, 40);
    EXPECT_NEAR(mid[2], 112, 40);
    EXPECT_LT(mid[1], mid[0] * 0.85);
    EXPECT_GT(mid[2], mid[0] * 0.4);

    if (shot) {
        ASSERT_TRUE(testsupport::savePicture(rgb, W, H, "docs/world_evening.png"));
    }
}

}  // namespace

namespace {

// GL_ARB_occlusion_query, which Mesa offers: the samples that pass the depth test between begin
// and end
struct sampleCounter {
    PFNGLGENQUERIESARBPROC gen = nullptr;
    PFNGLBEGINQUERYARBPROC begin = nullptr;
    PFNGLENDQUERYARBPROC end = nullptr;
    PFNGLGETQUERYOBJECTUIVARBPROC result = nullptr;
    GLuint query = 0;

    bool open()
    {
        const char* ext = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
        if (!ext || !strstr(ext, "GL_ARB_occlusion_query"))
            return false;
        gen = reinterpret_cast<PFNGLGENQUERIESARBPROC>(SDL_GL_GetProcAddress("glGenQueriesARB"));
        begin = reinterpret_cast<PFNGLBEGINQUERYARBPROC>(SDL_GL_GetProcAddress("glBeginQueryARB"));
        end = reinterpret_cast<PFNGLENDQUERYARBPROC>(SDL_GL_GetProcAddress("glEndQueryARB"));
        result = reinterpret_cast<PFNGLGETQUERYOBJECTUIVARBPROC>(
            SDL_GL_GetProcAddress("glGetQueryObjectuivARB"));
        if (!gen || !begin || !end || !result)
            return false;
        gen(1, &query);
        return true;
    }

    template <class F> unsigned count(F draw)
    {
        begin(GL_SAMPLES_PASSED_ARB, query);
        draw();
        end(GL_SAMPLES_PASSED_ARB);
        GLuint n = 0;
        result(query, GL_QUERY_RESULT_ARB, &n);
        return n;
    }
};

}  // namespace

// The venue's opaque meshes are drawn nearest-first, so a fragment that passes the depth test is
// seldom covered later by a nearer mesh of the venue: the fragments shaded while the venue is
// drawn over the sand are compared with those that stay in the picture (drawn once more with
// the depth test letting through only the equal depth). By day there are no blended halos, so
// the surplus is overdraw alone: 6 to 11 % nearest-first, 17 to 29 % in the file's order (the
// sky, the ground and the sea before the stand and the crowd), 66 to 114 % ordered by the
// boxes' nearest corners.
TEST(worldshot, VenueShadesLittleMoreThanItShows)
{
    ASSERT_TRUE(testsupport::openGLContext(W, H)) << "needs a display, e.g. xvfb-run";
    sampleCounter samples;
    if (!samples.open())
        GTEST_SKIP() << "no GL_ARB_occlusion_query";
    ASSERT_TRUE(wxFileExists("data/venues/Daytime_venue.3ds")) << "wants the generated data/ tree";

    struct view {
        vector3d ball;
        float camX, zoom;
    };
    // the camera pans between the sides, follows the ball and zooms in at the net
    const view views[] = {
        { vector3d(0, -10, 0), 15, 0 },     { vector3d(0, -10, 0), -15, 0 },
        { vector3d(-90, -30, 40), 15, 0 },  { vector3d(90, -5, -45), -15, 0 },
        { vector3d(-20, -40, 10), 15, 1 },  { vector3d(25, -35, -20), -15, 0.5f },
    };
    setDaytime(DT_DAY);
    playfield field;
    ASSERT_NE(field.venue, nullptr);
    for (const view& v : views) {
        SCOPED_TRACE(testing::Message() << "ball " << v.ball.x << " " << v.ball.z << ", camera "
                                        << v.camX << ", zoom " << v.zoom);
        setUpCamera(v.ball, v.camX, v.zoom);
        field.drawThis();   // the sand lies under the venue's fragments
        const unsigned shaded = samples.count([&] { field.venue->draw(); });
        glDepthFunc(GL_EQUAL);
        glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
        glDepthMask(GL_FALSE);
        const unsigned shown = samples.count([&] { field.venue->draw(); });
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glDepthMask(GL_TRUE);
        glDepthFunc(GL_LESS);
        std::printf("venue fragments: %u shaded, %u shown (%.3f)\n", shaded, shown,
                    (double)shaded / shown);
        EXPECT_GT(shown, (unsigned)(W * H / 4));
        EXPECT_LT(shaded, shown * 1.13);
    }
}
