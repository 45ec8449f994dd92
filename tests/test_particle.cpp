#include <cmath>
#include <cstring>
#include <vector>
#include <GL/gl.h>
#include <gtest/gtest.h>
#include "daytime.h"
#include "particle.h"
#include "playfield.h"
#include "random.h"
#include "support.h"

namespace {

// counts how often particles of this kind are destroyed
class countedParticle : public particle {
public:
    static int destroyed;
    countedParticle(gameobject* parent, const vector3d& at, const vector3d& v)
        : particle(parent, at, v, vector3d(0, 0, 0), vector3d(0.1f, 0.2f, 0.3f), 0.4f) {}
    ~countedParticle() override { destroyed++; }
};
int countedParticle::destroyed = 0;

const vector3d NO_SPREAD(0, 0, 0);
const vector3d WHITE(1, 1, 1);

particle* still(gameobject* parent, const vector3d& at, const vector3d& v = vector3d(0, 0, 0))
{
    return new particle(parent, at, v, NO_SPREAD, WHITE, 1);
}

TEST(particle, velocityStaysWithinBaseAndSpread)
{
    init_genrand(11);
    const vector3d base(0, -10, 0), spread(3, 3, 3);
    const float limit = std::sqrt(3.0f * 3 + 7 * 7 + 3 * 3);   // |base + spread| = 8.185
    int clamped = 0, free = 0;
    for (int i = 0; i < 2000; i++) {
        particle p(nullptr, vector3d(1, 2, 3), base, spread, WHITE, 1);
        float len = p.vel.length();
        ASSERT_LE(len, limit + 1e-4f);
        if (std::fabs(len - limit) < 1e-4f)
            clamped++;
        else
            free++;
        // each axis within base -+ spread
        ASSERT_GE(p.vel.x, -3.0f);
        ASSERT_LE(p.vel.x, 3.0f);
        ASSERT_GE(p.vel.y, -13.0f);
        ASSERT_LE(p.vel.y, -7.0f + 1e-4f);
    }
    EXPECT_GT(clamped, 0);
    EXPECT_GT(free, 0);

    particle exact(nullptr, vector3d(1, 2, 3), vector3d(4, -5, 6), NO_SPREAD, vector3d(0.5f, 0.6f, 0.7f), 0.3f);
    EXPECT_EQ(exact.vel.x, 4.0f);
    EXPECT_EQ(exact.vel.y, -5.0f);
    EXPECT_EQ(exact.vel.z, 6.0f);
    EXPECT_EQ(exact.pos.y, 2.0f);
    EXPECT_EQ(exact.colour[2], 0.7f);
    EXPECT_EQ(exact.alpha, 0.3f);
    EXPECT_TRUE(exact.bounded);
    EXPECT_FALSE(exact.dead);
}

TEST(particle, speedIsCappedAt40BeforeIntegration)
{
    particle* p = still(nullptr, vector3d(0, -100, 0), vector3d(50, 0, 0));
    p->step(0.02f);
    EXPECT_FLOAT_EQ(p->vel.x, 40.0f);
    EXPECT_FLOAT_EQ(p->pos.x, 0.8f);
    EXPECT_NEAR(p->vel.y, 1.7658f, 1e-5);   // a tenth of a player's gravity, times 90 dt
    EXPECT_FALSE(p->dead);
    delete p;
}

// particles that land leave their parent's list during the parent's own child loop
TEST(particle, landingParticlesLeaveDuringTheParentsStep)
{
    struct layout {
        const char* order;   // 'l' lands in the first step, 'f' flies on
    };
    const layout layouts[] = {{"llf"}, {"fll"}, {"lfl"}, {"lll"}, {"flflf"}};
    for (const layout& l : layouts) {
        SCOPED_TRACE(l.order);
        gameobject parent;
        parent.noAutoMove = true;
        std::vector<particle*> flyers;
        for (const char* c = l.order; *c; c++) {
            if (*c == 'l') {
                // on the sand, too slow to rise 0.1 in one step
                still(&parent, vector3d(0, 0, 0), vector3d(0, -1, 0));
            } else {
                flyers.push_back(still(&parent, vector3d(0, -50, 0)));
            }
        }
        parent.step(0.02f);
        ASSERT_EQ(parent.children.size(), flyers.size());
        for (size_t i = 0; i < flyers.size(); i++) {
            EXPECT_EQ(parent.children[i], flyers[i]);
            EXPECT_NEAR(flyers[i]->pos.y, -50 + 0.035316f, 1e-5);   // stepped exactly once
        }
    }
}

TEST(particle, dustFromTheSandThatCannotRiseDiesInItsFirstStep)
{
    init_genrand(5);
    int diedAtOnce = 0, rose = 0;
    for (int i = 0; i < 200; i++) {
        gameobject parent;
        parent.noAutoMove = true;
        particle* p = new particle(&parent, vector3d(0, 0, 0), vector3d(0, -3, 0), vector3d(8, 8, 8), WHITE, 0.3f);
        // the top of its box rises above the sand only if the first step lifts it 0.1
        float riseInFirstStep = -(p->vel.y + 1.7658f) * 0.02f;
        parent.step(0.02f);
        if (riseInFirstStep < 0.1f) {
            EXPECT_TRUE(parent.children.empty());
            diedAtOnce++;
        } else {
            EXPECT_EQ(parent.children.size(), 1u);
            rose++;
        }
    }
    EXPECT_GT(diedAtOnce, 0);
    EXPECT_GT(rose, 0);
}

TEST(particle, landingReleasesDebrisWhereItLanded)
{
    countedParticle::destroyed = 0;
    gameobject parent;
    particle* drop = still(&parent, vector3d(7, -0.05f, -3), vector3d(0, 30, 0));
    drop->setDestructionParticle(new countedParticle(nullptr, vector3d(0, 0, 0), vector3d(0, -10, 0)), 5);
    drop->step(0.02f);   // lands and goes

    EXPECT_EQ(countedParticle::destroyed, 1);   // the template, once
    ASSERT_EQ(parent.children.size(), 5u);
    for (gameobject* o : parent.children) {
        particle* d = static_cast<particle*>(o);
        EXPECT_EQ(d->pos.x, 7.0f);
        EXPECT_EQ(d->pos.y, -0.1f);
        EXPECT_EQ(d->pos.z, -3.0f);
        EXPECT_EQ(d->vel.y, -10.0f);            // the template's velocity, no spread
        EXPECT_EQ(d->colour[1], 0.2f);
        EXPECT_EQ(d->alpha, 0.4f);
        EXPECT_EQ(d->debris, nullptr);
    }

    // landing inside the parent's step: the splash is stepped in the same pass
    gameobject owner;
    owner.noAutoMove = true;
    particle* second = still(&owner, vector3d(1, -0.05f, 1), vector3d(0, 30, 0));
    second->setDestructionParticle(new countedParticle(nullptr, vector3d(0, 0, 0), vector3d(0, -10, 0)), 3);
    owner.step(0.02f);
    ASSERT_EQ(owner.children.size(), 3u);
    for (gameobject* o : owner.children)
        EXPECT_NEAR(o->pos.y, -0.1f + (-10 + 1.7658f) * 0.02f, 1e-5);
}

// taken away rather than landed: the template goes, but nothing splashes
TEST(particle, removedParticleReleasesNoDebris)
{
    countedParticle::destroyed = 0;
    gameobject parent;
    particle* drop = still(&parent, vector3d(0, -40, 0), vector3d(0, 5, 0));
    drop->setDestructionParticle(new countedParticle(nullptr, vector3d(0, 0, 0), vector3d(0, -10, 0)), 5);
    delete drop;
    EXPECT_TRUE(parent.children.empty());
    EXPECT_EQ(countedParticle::destroyed, 1);

    // and with its parent
    gameobject* owner = new gameobject();
    particle* other = still(owner, vector3d(0, -40, 0));
    other->setDestructionParticle(new countedParticle(nullptr, vector3d(0, 0, 0), vector3d(0, -10, 0)), 5);
    delete owner;
    EXPECT_EQ(countedParticle::destroyed, 2);
}

TEST(particle, fastFallingParticleDentsTheSand)
{
    ASSERT_TRUE(testsupport::openGLContext()) << "needs a display, e.g. xvfb-run";
    setDaytime(DT_DAY);
    playfield* field = new playfield();
    ASSERT_EQ(g_playfield, field);
    field->sandFill(0);
    const size_t cells = 512 * 512;
    std::vector<int> flat(field->heightMap, field->heightMap + cells);

    delete still(nullptr, vector3d(0, -30, 0), vector3d(0, 12, 0));   // not fast enough
    EXPECT_TRUE(std::equal(flat.begin(), flat.end(), field->heightMap));

    delete still(nullptr, vector3d(0, -30, 0), vector3d(0, 20, 0));
    EXPECT_FALSE(std::equal(flat.begin(), flat.end(), field->heightMap));
    for (size_t i = 0; i < cells; i++) {
        if (field->heightMap[i] == 0)
            continue;
        // a print of size 2 at the court's centre: columns 255-256, rows 254-257
        EXPECT_TRUE(i % 512 >= 255 && i % 512 <= 256 && i / 512 >= 254 && i / 512 <= 257) << i;
    }

    delete field;
    EXPECT_EQ(g_playfield, nullptr);
    delete still(nullptr, vector3d(0, -30, 0), vector3d(0, 20, 0));   // no court: nothing to dent
}

// ---------------------------------------------------------------------------------------------
// drawing, read back through GL feedback

struct drawnPrimitive {
    int points = 0, lines = 0;
    float lineLength = 0;   // in court units
};

class ParticleDrawTest : public ::testing::Test {
protected:
    static const int VIEW = 64;
    void SetUp() override
    {
        ASSERT_TRUE(testsupport::openGLContext()) << "needs a display, e.g. xvfb-run";
        glViewport(0, 0, VIEW, VIEW);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-1, 1, -1, 1, -1, 1);   // one unit is VIEW / 2 pixels
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
    }

    drawnPrimitive drawn(particle& p)
    {
        std::vector<GLfloat> buf(4096);
        glFeedbackBuffer((GLsizei)buf.size(), GL_3D, buf.data());
        glRenderMode(GL_FEEDBACK);
        p.drawThis();
        int n = glRenderMode(GL_RENDER);
        drawnPrimitive d;
        for (int i = 0; i < n;) {
            int token = (int)buf[i++];
            if (token == GL_POINT_TOKEN) {
                d.points++;
                i += 3;
            } else if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN) {
                d.lines++;
                float dx = buf[i + 3] - buf[i], dy = buf[i + 4] - buf[i + 1];
                d.lineLength = std::sqrt(dx * dx + dy * dy) / (VIEW / 2);
                i += 6;
            } else {
                ADD_FAILURE() << "unexpected feedback token " << token;
                break;
            }
        }
        return d;
    }
};

TEST_F(ParticleDrawTest, PointWhenSlowStreakWhenFast)
{
    struct drawCase {
        vector3d vel;
        int points, lines;
        float length;
        float pointSize;
    };
    const drawCase cases[] = {
        {vector3d(10, 0, 0), 1, 0, 0, 10.0f / 3},
        {vector3d(10.1f, 0, 0), 0, 1, 0.303f, 10.1f / 3},
        {vector3d(0, -20, 0), 0, 1, 0.6f, 2},        // straight up: the smallest point size
        {vector3d(30, 0, 30), 0, 1, 0.0f, 16},       // the largest; the streak runs into z
        {vector3d(0, 0, 0), 1, 0, 0, 2},
    };
    for (const drawCase& c : cases) {
        SCOPED_TRACE(c.vel.x);
        particle p(nullptr, vector3d(0, 0, 0), c.vel, NO_SPREAD, vector3d(0.2f, 0.4f, 0.6f), 0.5f);
        glEnable(GL_TEXTURE_2D);
        drawnPrimitive d = drawn(p);
        EXPECT_EQ(d.points, c.points);
        EXPECT_EQ(d.lines, c.lines);
        if (c.lines && c.length > 0) {
            EXPECT_NEAR(d.lineLength, c.length, 1e-3);
        }
        float size = 0, colour[4] = {0, 0, 0, 0};
        glGetFloatv(GL_POINT_SIZE, &size);
        glGetFloatv(GL_CURRENT_COLOR, colour);
        EXPECT_NEAR(size, c.pointSize, 1e-4);
        EXPECT_FLOAT_EQ(colour[1], 0.4f);
        EXPECT_FLOAT_EQ(colour[3], 0.5f);
        EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));   // its own colour, not the court's texture
    }
}

TEST_F(ParticleDrawTest, ARunOfParticlesDrawsAsEachOnItsOwn)
{
    // the court's scale: one unit is a pixel, so points of 2 ... 16 pixels stay apart
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, VIEW, 0, VIEW, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    gameobject court;
    // slow points of several sizes, streaks between them, a size repeated after a streak,
    // and overlaps, so the order of blending shows
    const vector3d vels[] = { vector3d(0, 0, 0), vector3d(9, 0, 0), vector3d(0, 0, 6),
                              vector3d(0, -200, 0), vector3d(6, 0, 0), vector3d(0, 0, 6),
                              vector3d(300, 0, 0), vector3d(-3, 0, 0), vector3d(0, 0, 0) };
    int k = 0;
    for (const vector3d& v : vels) {
        const float x = 8 + 6.0f * k, y = 10 + 5.0f * (k % 4);
        new particle(&court, vector3d(x, y, 0), v, NO_SPREAD,
                     vector3d(0.2f * (k % 5), 1 - 0.1f * k, 0.5f), 0.6f);
        k++;
    }
    ASSERT_EQ(court.children.size(), 9u);
    auto frame = [&] {
        std::vector<unsigned char> px(VIEW * VIEW * 4);
        glReadPixels(0, 0, VIEW, VIEW, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
        return px;
    };

    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    for (gameobject* c : court.children)
        c->draw();
    const std::vector<unsigned char> single = frame();
    float sizeSingle = 0;
    glGetFloatv(GL_POINT_SIZE, &sizeSingle);

    glClear(GL_COLOR_BUFFER_BIT);
    glPointSize(1);
    court.draw();   // the run in one go
    const std::vector<unsigned char> run = frame();
    float sizeRun = 0;
    glGetFloatv(GL_POINT_SIZE, &sizeRun);

    int lit = 0, differ = 0;
    for (size_t i = 0; i < single.size(); i += 4) {
        lit += single[i + 1] > 0;
        differ += memcmp(&single[i], &run[i], 3) != 0;
    }
    EXPECT_GT(lit, 30);
    EXPECT_EQ(differ, 0);
    EXPECT_EQ(sizeRun, sizeSingle) << "the point size the last one leaves";
}

}  // namespace
