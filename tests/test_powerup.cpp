#include <cmath>
#include <cstdlib>
#include <set>
#include <gtest/gtest.h>
#include "game.h"
#include "main.h"
#include "particle.h"
#include "player.h"
#include "powerup.h"
#include "random.h"
#include "support.h"

namespace {

class PowerupTest : public ::testing::Test {
protected:
    player* p = nullptr;

    void SetUp() override
    {
        if (!testsupport::openGLContext())
            GTEST_SKIP() << "no display";
        testsupport::openConfig();
        p = new player(0, 0);
    }
    void TearDown() override
    {
        delete p;
        testsupport::closeConfig();
    }
};

void expectBox(const box3d& b, const box3d& want)
{
    EXPECT_FLOAT_EQ(b.center.x, want.center.x);
    EXPECT_FLOAT_EQ(b.center.y, want.center.y);
    EXPECT_FLOAT_EQ(b.center.z, want.center.z);
    EXPECT_FLOAT_EQ(b.size.x, want.size.x);
    EXPECT_FLOAT_EQ(b.size.y, want.size.y);
    EXPECT_FLOAT_EQ(b.size.z, want.size.z);
}

box3d scaled(const box3d& b, float f)
{
    return box3d(b.center * f, b.size * f);
}

TEST_F(PowerupTest, RandomBecomesEveryRealKindButNeverRandom)
{
    seedDiscrete(1234);
    std::set<int> seen;
    for (int i = 0; i < 300; i++) {
        powerup* u = new powerup(PU_RANDOM, p, 30);
        ASSERT_EQ(p->pup, u);
        seen.insert(u->kind);
    }
    EXPECT_EQ(seen, std::set<int>({1, 2, 3, 4, 5, 6, 7}));
}

TEST_F(PowerupTest, EachKindActsOnItsOwnValues)
{
    struct {
        poweruptype kind;
        float maxSpeed;
        float sizeScale;
        bool velocityChanged;
    } cases[] = {
        {PU_SPEEDUP, 90, 1, false},
        {PU_SLOWDOWN, 11.25f, 1, false},
        {PU_SUPERJUMP, 45, 1, false},
        {PU_DIZZY, 45, 1, true},
        {PU_GIANT, 45, 2.5f, false},
        {PU_SMALL, 45, 0.25f, false},
    };
    const box3d normal = p->box;
    ASSERT_FLOAT_EQ(p->maxSpeed, 45);
    for (auto& c : cases) {
        p->vel = vector3d(0, 0, 0);
        powerup* u = new powerup(c.kind, p, 30);
        u->step(0.02f);
        EXPECT_FLOAT_EQ(p->maxSpeed, c.maxSpeed) << "kind " << c.kind;
        EXPECT_FLOAT_EQ(p->sizeScale, c.sizeScale) << "kind " << c.kind;
        EXPECT_EQ(p->vel.length() > 0, c.velocityChanged) << "kind " << c.kind;
        if (c.kind == PU_DIZZY) {
            EXPECT_FLOAT_EQ(p->vel.x, 5 * std::sin(3 * 0.02f));
            EXPECT_FLOAT_EQ(p->vel.z, 5 * std::cos(3 * 0.02f));
        }
        // dropping it gives the player its own values back
        p->setPowerup(nullptr);
        EXPECT_FLOAT_EQ(p->maxSpeed, 45);
        EXPECT_FLOAT_EQ(p->sizeScale, 1);
        expectBox(p->box, normal);
    }
}

TEST_F(PowerupTest, GiantThenSmallEndsAtAQuarterOfTheNormalSize)
{
    const box3d normal = p->box;
    powerup* giant = new powerup(PU_GIANT, p, 30);
    giant->step(0.02f);
    expectBox(p->box, scaled(normal, 2.5f));

    powerup* small = new powerup(PU_SMALL, p, 30);   // drops the giant first
    EXPECT_EQ(p->pup, small);
    expectBox(small->savedBox, normal);
    small->step(0.02f);
    expectBox(p->box, scaled(normal, 0.25f));
    EXPECT_FLOAT_EQ(p->sizeScale, 0.25f);
}

TEST_F(PowerupTest, SpeedupExpiresAndRestoresTheSpeedLimit)
{
    new powerup(PU_SPEEDUP, p, 1.0f);
    float elapsed = 0;
    int steps = 0;
    while (p->pup && steps < 100) {
        p->pup->step(0.02f);
        elapsed += 0.02f;
        steps++;
        if (p->pup) {
            EXPECT_FLOAT_EQ(p->maxSpeed, 90);
        }
        // alive exactly while its time has not run past the duration
        EXPECT_EQ(p->pup != nullptr, elapsed <= 1.0f) << "step " << steps;
    }
    EXPECT_GE(steps, 50);
    EXPECT_LE(steps, 51);
    EXPECT_FLOAT_EQ(p->maxSpeed, 45);
}

TEST_F(PowerupTest, JetpackLiftsTheOwnerTowardTwentyUnitsOnFlames)
{
    game match;   // owns the flames
    g_thegame = &match;
    p->pos = vector3d(7, 0, -3);
    p->vel = vector3d(4, 0, 1);
    powerup* u = new powerup(PU_JETPACK, p, 30);
    size_t before = match.children.size();
    u->step(0.02f);
    const float y = -0.1f * (20 + 5 * std::sin(2 * 0.02f));
    EXPECT_FLOAT_EQ(p->pos.y, y);
    ASSERT_EQ(match.children.size(), before + 30);
    for (size_t i = before; i < match.children.size(); i++) {
        const gameobject* f = match.children[i];
        ASSERT_NE(dynamic_cast<const particle*>(f), nullptr);
        EXPECT_LE(std::fabs(f->pos.x - 7), 2.0f);
        EXPECT_LE(std::fabs(f->pos.z + 3), 2.0f);
        EXPECT_FLOAT_EQ(f->pos.y, y);
    }
    for (int i = 0; i < 300; i++)
        u->step(0.02f);
    EXPECT_LT(p->pos.y, -14.0f);
    EXPECT_GT(p->pos.y, -26.0f);
    EXPECT_FLOAT_EQ(p->pos.x, 7);
    EXPECT_FLOAT_EQ(p->pos.z, -3);
    g_thegame = nullptr;
}

TEST(Pickup, VanishesInTheStepItsAgeFirstExceedsItsLifetime)
{
    if (!testsupport::openGLContext())
        GTEST_SKIP() << "no display";
    gameobject court;
    powerupobject* first = new powerupobject(vector3d(5, 0, 2), PU_GIANT, 10.0f);
    court.adopt(first);
    powerupobject* second = new powerupobject(vector3d(-5, 0, 2), PU_SMALL, 20.0f);
    court.adopt(second);
    EXPECT_TRUE(g_pups_inited);
    EXPECT_EQ(first->texture, g_pups[PU_GIANT]);
    EXPECT_TRUE(first->isSortable());

    float age = 0;
    for (int i = 0; i < 600; i++) {
        court.step(0.02f);
        age += 0.02f;
        bool alive = court.children.size() == 2;
        ASSERT_EQ(alive, age <= 10.0f) << "step " << i + 1;
        if (!alive)
            break;
    }
    ASSERT_EQ(court.children.size(), 1u);
    EXPECT_EQ(court.children[0], second);
    // the next pickup in the list was still stepped in the step the first one vanished
    EXPECT_FLOAT_EQ(second->age, age);
    EXPECT_FLOAT_EQ(second->pos.x, -5);
}

}
