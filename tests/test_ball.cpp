#include <cmath>
#include <cstdint>
#include <string>
#include <vector>
#include <GL/gl.h>
#include <SDL/SDL_mixer.h>
#include <gtest/gtest.h>
#include "ball.h"
#include "daytime.h"
#include "particle.h"
#include "playfield.h"
#include "random.h"
#include "sound.h"
#include "support.h"

namespace {

// the match's walls: x -120 ... 120, y -400 ... 0, z -50 ... 50
void boundLikeTheMatch(ball& b)
{
    b.bounds = box3d(vector3d(0, -200, 0), vector3d(240, 400, 100));
    b.bounded = true;
}

TEST(ball, RestingInTheAirStartsToFall)
{
    ball b(false);
    b.pos = vector3d(0, -30, 0);
    b.spinRate = 0.25f;
    b.step(0.02f);
    EXPECT_NEAR(b.vel.y, 1.7658f, 1e-5);
    EXPECT_NEAR(b.pos.y, -30 + 0.035316f, 1e-5);
    EXPECT_EQ(b.spinRate, 0.25f);   // a change of 1.77 is no kick
    EXPECT_EQ(b.spinAngle, 0.25f);
    EXPECT_FALSE(b.touchedGround);
}

TEST(ball, DampingSlowsEveryAxis)
{
    ball b(false);
    b.gravity = vector3d(0, 0, 0);
    b.pos = vector3d(0, -30, 0);
    b.vel = vector3d(50, -20, 10);
    b.lastVelocity = b.vel;
    b.step(0.02f);
    EXPECT_FLOAT_EQ(b.vel.x, 50 * 0.984f);
    EXPECT_FLOAT_EQ(b.vel.y, -20 * 0.984f);
    EXPECT_FLOAT_EQ(b.vel.z, 10 * 0.984f);
    EXPECT_FLOAT_EQ(b.pos.x, 50 * 0.984f * 0.02f);
}

TEST(ball, SharpVelocityChangeDrawsANewSpin)
{
    init_genrand(3);
    ball b(false);
    b.gravity = vector3d(0, 0, 0);
    b.pos = vector3d(0, -30, 0);
    b.vel = vector3d(0, 0, 100);   // just hit along z
    b.step(0.02f);
    // (d.z + d.x u1) / 100 + u2 0.3 with d = (0, 0, 98.4) and u2 in -1 ... 0.998
    EXPECT_GE(b.spinRate, 0.984f - 0.3f);
    EXPECT_LE(b.spinRate, 0.984f + 0.3f);
    float rate = b.spinRate;
    EXPECT_EQ(b.spinAngle, rate);
    b.step(0.02f);   // damping alone changes it by 1.6: no new spin
    EXPECT_EQ(b.spinRate, rate);
    EXPECT_FLOAT_EQ(b.spinAngle, 2 * rate);
}

TEST(ball, ResetKeepsTheOldVelocityForTheSpin)
{
    ball b(false);
    b.pos = vector3d(3, -4, 5);
    b.vel = vector3d(50, 0, 0);
    b.accel = vector3d(1, 2, 3);
    b.touchedGround = true;
    b.spinRate = 2;
    b.spinAngle = 7;
    b.reset();
    EXPECT_EQ(b.lastVelocity.x, 50.0f);
    EXPECT_EQ(b.vel.x, 0.0f);
    EXPECT_EQ(b.pos.x, 0.0f);
    EXPECT_EQ(b.accel.y, 0.0f);
    EXPECT_FLOAT_EQ(b.gravity.y, 0.981f);
    EXPECT_FALSE(b.touchedGround);
    EXPECT_EQ(b.spinRate, 0.0f);
    EXPECT_EQ(b.spinAngle, 0.0f);
}

// ---------------------------------------------------------------------------------------------
// bounces: sound, marks and dust for the real ball only

class BallOnCourtTest : public ::testing::Test {
protected:
    playfield* field = nullptr;
    ball* real = nullptr;
    std::string thud;

    void SetUp() override
    {
        ASSERT_TRUE(testsupport::openGLContext()) << "needs a display, e.g. xvfb-run";
        init_genrand(21);
        seedDiscrete(21);
        setDaytime(DT_DAY);
        field = new playfield();
        field->sandFill(0);
        real = new ball(true);
        boundLikeTheMatch(*real);
        real->theField = field;

        // a second of quiet sound as the thud, so that playing it can be seen on a channel
        initSound();
        thud = testsupport::makeTempDir() + "/thud.wav";
        testsupport::writeFile(thud, silentWav(44100));
        loadSound(SOUND_BALL_GROUND, thud.c_str());
    }

    void TearDown() override
    {
        Mix_HaltChannel(-1);
        loadSound(SOUND_BALL_GROUND, nullptr);
        deinitSound();
        delete real;
        delete field;
    }

    static std::string silentWav(uint32_t frames)
    {
        auto u32 = [](uint32_t v) { return std::string{(char)v, (char)(v >> 8), (char)(v >> 16), (char)(v >> 24)}; };
        auto u16 = [](uint16_t v) { return std::string{(char)v, (char)(v >> 8)}; };
        uint32_t data = frames * 4;
        return "RIFF" + u32(36 + data) + "WAVEfmt " + u32(16) + u16(1) + u16(2) + u32(44100) +
               u32(44100 * 4) + u16(4) + u16(16) + "data" + u32(data) + std::string(data, '\0');
    }

    size_t dust() const
    {
        size_t n = 0;
        for (gameobject* o : field->children)
            n += dynamic_cast<particle*>(o) != nullptr;
        return n;
    }

    bool sandTouched() const
    {
        for (int i = 0; i < 512 * 512; i++)
            if (field->heightMap[i] != 0)
                return true;
        return false;
    }
};

TEST_F(BallOnCourtTest, BouncesReactByTheirSpeed)
{
    struct bounceCase {
        float v;            // reflected component handed to onBounce
        bool loud;          // sound, print and dust
    };
    const bounceCase cases[] = {
        {-28, true},
        {28, true},
        {-3.0f, false},     // exactly 3: silent and no mark
        {-3.01f, true},
        {0, false},
    };
    for (const bounceCase& c : cases) {
        SCOPED_TRACE(c.v);
        field->sandFill(0);
        Mix_HaltChannel(-1);
        for (size_t i = field->children.size(); i-- > 0;)
            if (dynamic_cast<particle*>(field->children[i]))
                delete field->children[i];
        real->reset();
        real->pos = vector3d(20, -2.4f, 10);

        real->onBounce(c.v);
        EXPECT_TRUE(real->touchedGround);
        EXPECT_EQ(Mix_Playing(-1), c.loud ? 1 : 0);
        EXPECT_EQ(sandTouched(), c.loud);
        EXPECT_EQ(dust(), c.loud ? 200u : 0u);
    }
}

TEST_F(BallOnCourtTest, FallingOntoTheSandBouncesWithSeventyPercent)
{
    real->pos = vector3d(-30, -3, 0);
    real->vel = vector3d(0, 40, 0);
    real->lastVelocity = real->vel;
    float before = 40 * 0.984f + 1.7658f;
    real->step(0.02f);
    EXPECT_NEAR(real->vel.y, -0.7f * before, 1e-4);
    EXPECT_NEAR(real->pos.y, -2.4f, 1e-5);   // the bottom of its box on the sand
    EXPECT_TRUE(real->touchedGround);
    EXPECT_TRUE(sandTouched());
    EXPECT_EQ(dust(), 200u);
    EXPECT_EQ(Mix_Playing(-1), 1);
}

TEST_F(BallOnCourtTest, WallsCountAsGroundToo)
{
    struct wallCase {
        vector3d pos, vel;
    };
    const wallCase cases[] = {
        {vector3d(116, -50, 0), vector3d(100, 0, 0)},
        {vector3d(-116, -50, 0), vector3d(-100, 0, 0)},
        {vector3d(0, -50, 46), vector3d(0, 0, 100)},
        {vector3d(0, -50, -46), vector3d(0, 0, -100)},
    };
    for (const wallCase& w : cases) {
        real->reset();
        real->pos = w.pos;
        real->vel = w.vel;
        real->step(0.02f);
        EXPECT_TRUE(real->touchedGround);
        // sent back inwards
        EXPECT_LT(real->vel.x * w.vel.x + real->vel.z * w.vel.z, 0.0f);
    }
}

TEST_F(BallOnCourtTest, PredictionsNeverSoundOrMarkTheSand)
{
    real->pos = vector3d(10, -40, 0);
    real->vel = vector3d(20, 60, 0);
    vector3d hit = real->getNextGroundHitPosition();
    ball* p = real->getPrediction(3.0f);   // well through the sand
    EXPECT_GT(p->pos.y, 0.0f);
    EXPECT_FALSE(p->touchedGround);
    EXPECT_FALSE(real->touchedGround);
    EXPECT_EQ(Mix_Playing(-1), 0);
    EXPECT_FALSE(sandTouched());
    EXPECT_EQ(dust(), 0u);
    EXPECT_EQ(hit.y, -2.0f);
    // and the real ball is where it was
    EXPECT_EQ(real->pos.y, -40.0f);
    EXPECT_EQ(real->vel.x, 20.0f);
}

// ---------------------------------------------------------------------------------------------
// prediction

TEST(ballPrediction, PredictorIsAPrivateCloneReusedByEveryQuery)
{
    ball lone(false);
    EXPECT_EQ(lone.predictor, nullptr);
    EXPECT_EQ(lone.getPrediction(0.7f), nullptr);
    vector3d none = lone.getNextGroundHitPosition();
    EXPECT_EQ(none.x, 0.0f);
    EXPECT_EQ(none.y, 0.0f);

    ball b(false);
    b.predictor = new ball(false);   // as ball(true) makes it, without needing a texture
    EXPECT_TRUE(b.children.empty());
    EXPECT_EQ(b.predictor->parent, nullptr);
    EXPECT_EQ(b.predictor->predictor, nullptr);
    EXPECT_FALSE(b.predictor->bounded);
    b.pos = vector3d(0, -30, 0);
    ball* first = b.getPrediction(0.7f);
    EXPECT_EQ(first, b.predictor);
    EXPECT_EQ(b.getPrediction(0.3f), first);
    b.getNextGroundHitPosition();
    EXPECT_EQ(b.getPrediction(0.1f), first);
}

TEST(ballPrediction, RunsTruncatedTenthSubSteps)
{
    struct predictionCase {
        float t;
        int steps;
        float sub;
    };
    const predictionCase cases[] = {
        {0.7f, 6, 0.07f},    // 0.7f x 10 lies just below 7
        {0.05f, 0, 0},
        {1.0f, 10, 0.1f},
        {2.5f, 25, 0.25f},
        {-1.0f, 0, 0},
    };
    for (const predictionCase& c : cases) {
        SCOPED_TRACE(c.t);
        init_genrand(8);
        ball b(false);
        b.predictor = new ball(false);
        b.pos = vector3d(-35, -50, -10);
        b.vel = vector3d(85, -85, 4);
        b.accel = vector3d(0.5f, 0, 0);
        ball* p = b.getPrediction(c.t);

        ball by(false);   // the same flight stepped by hand
        by.pos = b.pos;
        by.vel = b.vel;
        by.accel = b.accel;
        for (int i = 0; i < c.steps; i++)
            by.step(c.sub);
        EXPECT_EQ(p->pos.x, by.pos.x);
        EXPECT_EQ(p->pos.y, by.pos.y);
        EXPECT_EQ(p->vel.z, by.vel.z);
    }
}

TEST(ballPrediction, GroundHitPosition)
{
    ball b(false);
    b.predictor = new ball(false);

    // resting on the sand: passes -1.52, then 0.18
    b.pos = vector3d(12, -2.4f, -7);
    vector3d at = b.getNextGroundHitPosition();
    EXPECT_EQ(at.x, 12.0f);
    EXPECT_EQ(at.y, -2.0f);
    EXPECT_EQ(at.z, -7.0f);
    EXPECT_NEAR(b.predictor->pos.y, 0.1781f, 1e-4);

    // already low: at once
    b.pos = vector3d(5, -0.5f, 3);
    b.vel = vector3d(40, 0, 0);
    at = b.getNextGroundHitPosition();
    EXPECT_EQ(at.x, 5.0f);
    EXPECT_EQ(b.predictor->pos.y, -0.5f);

    // right after a serve: the flight stepped by hand in 0.1 s comes down at the same spot
    b.pos = vector3d(-35, -50, -10);
    b.vel = vector3d(85, -85, 0);
    at = b.getNextGroundHitPosition();
    ball by(false);
    by.pos = b.pos;
    by.vel = b.vel;
    int steps = 0;
    while (by.pos.y < -1) {
        by.step(0.1f);
        steps++;
    }
    EXPECT_EQ(at.x, by.pos.x);
    EXPECT_EQ(at.z, by.pos.z);
    EXPECT_GT(steps, 10);
    EXPECT_GT(at.x, 0.0f);   // over the net
}

// a ball in a broken state must not hang the game
TEST(ballPrediction, GroundHitQueryEndsForBrokenFlights)
{
    ball b(false);
    b.predictor = new ball(false);
    b.pos = vector3d(0, -30, 0);
    b.accel = vector3d(0, -2, 0);   // stronger than gravity, upwards
    vector3d at = b.getNextGroundHitPosition();
    EXPECT_EQ(at.y, -2.0f);
    EXPECT_LT(b.predictor->pos.y, -1.0f);   // it never came down

    b.accel = vector3d(0, 0, 0);
    b.pos = vector3d(NAN, NAN, 0);
    at = b.getNextGroundHitPosition();
    EXPECT_TRUE(std::isnan(at.x));
}

// ---------------------------------------------------------------------------------------------

TEST(ballDrawing, RealBallHasItsTextureAndDrawsBallAndShadow)
{
    ASSERT_TRUE(testsupport::openGLContext()) << "needs a display, e.g. xvfb-run";
    ball b(true);
    ASSERT_NE(b.predictor, nullptr);
    EXPECT_NE(b.texture, 0u);
    EXPECT_TRUE(glIsTexture(b.texture));
    EXPECT_TRUE(b.isSortable());
    EXPECT_TRUE(b.noAutoMove);
    EXPECT_FALSE(b.bounded);
    EXPECT_EQ(b.restitution, 0.7f);
    EXPECT_EQ(b.weight, 3.0f);
    EXPECT_EQ(b.box.size.x, 6.0f);
    EXPECT_EQ(b.box.center.y, -0.6f);

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-20, 20, -20, 20, -20, 20);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glRotatef(45, 1, 0, 0);   // the upright ball and its flat shadow both face the view
    std::vector<GLfloat> buf(1024);
    auto polygons = [&](ball& which) {
        glFeedbackBuffer((GLsizei)buf.size(), GL_3D, buf.data());
        glRenderMode(GL_FEEDBACK);
        which.drawThis();
        int n = glRenderMode(GL_RENDER), triangles = 0;
        for (int i = 0; i < n; i += 2 + 3 * (int)buf[i + 1]) {
            EXPECT_EQ((int)buf[i], GL_POLYGON_TOKEN);
            triangles += (int)buf[i + 1] - 2;
        }
        return triangles;
    };
    b.pos = vector3d(0, -5, 0);
    EXPECT_EQ(polygons(b), 4);   // shadow and ball, two quads

    ball lone(false);
    EXPECT_EQ(polygons(lone), 0);   // no texture: nothing

    unsigned tex = b.texture;
    {
        ball gone(true);
        tex = gone.texture;
    }
    EXPECT_FALSE(glIsTexture(tex));
}

}  // namespace
