#include <vector>
#include <gtest/gtest.h>
#include "gameobject.h"

namespace {

// records every bounce it is told of
class bouncer : public gameobject {
public:
    std::vector<float> bounces;
    void onBounce(float v) override { bounces.push_back(v); }
};

class sortable : public gameobject {
public:
    explicit sortable(gameobject* p, float z) : gameobject(p) { pos.z = z; }
    bool isSortable() override { return true; }
};

// deletes itself during its own step, as a dying particle does
class selfDeleting : public gameobject {
public:
    int* steps;
    selfDeleting(gameobject* p, int* counter) : gameobject(p), steps(counter) {}
    void step(float) override
    {
        (*steps)++;
        delete this;
    }
};

class counting : public gameobject {
public:
    int* steps;
    counting(gameobject* p, int* counter) : gameobject(p), steps(counter) {}
    void step(float dt) override
    {
        (*steps)++;
        gameobject::step(dt);
    }
};

}

TEST(gameobject, integratesVelocityThenPositionWithFactor90)
{
    gameobject o;
    o.noAutoMove = true;
    o.gravity = vector3d(0, 0.981f, 0);
    o.step(0.02f);
    EXPECT_NEAR(o.vel.y, 1.7658f, 1e-5);
    EXPECT_NEAR(o.pos.y, 0.035316f, 1e-6);
}

TEST(gameobject, unboundedObjectIsNeverMovedBack)
{
    gameobject o;
    o.pos = vector3d(100, 0, 0);
    o.vel = vector3d(50, 0, 0);
    o.bounds = box3d(vector3d(0, 0, 0), vector3d(1, 1, 1));
    o.step(0.02f);
    EXPECT_FLOAT_EQ(o.pos.x, 101.0f);
    EXPECT_FLOAT_EQ(o.vel.x, 50.0f);
}

TEST(gameobject, bounceStopsAtTheBoundWithZeroRestitution)
{
    bouncer o;
    o.bounded = true;
    o.bounds = box3d(vector3d(0, -50, 0), vector3d(100, 100, 100));
    o.pos = vector3d(0, -0.2f, 0);
    o.vel = vector3d(0, 30, 0);
    o.step(0.02f);
    EXPECT_FLOAT_EQ(o.pos.y, -0.5f);   // box bottom on the floor y = 0
    EXPECT_EQ(o.vel.y, 0.0f);
    ASSERT_EQ(o.bounces.size(), 1u);
    EXPECT_EQ(o.bounces[0], 0.0f);
}

TEST(gameobject, boxLargerThanBoundsBouncesTwice)
{
    bouncer o;
    o.bounded = true;
    o.restitution = 0.5f;
    o.box = box3d(vector3d(0, 0, 0), vector3d(4, 1, 1));
    o.bounds = box3d(vector3d(0, 0, 0), vector3d(2, 10, 10));
    o.vel = vector3d(10, 0, 0);
    o.step(0.02f);
    ASSERT_EQ(o.bounces.size(), 2u);
    EXPECT_FLOAT_EQ(o.bounces[0], -5.0f);
    EXPECT_FLOAT_EQ(o.vel.x, 2.5f);
    EXPECT_FLOAT_EQ(o.pos.x - 2.0f, -1.0f);   // low face on the low bound
}

TEST(gameobject, unsortableChildrenKeepTheirOrder)
{
    gameobject root;
    root.noAutoMove = true;
    gameobject* a = new gameobject(&root);
    gameobject* b = new gameobject(&root);
    a->pos.z = 5;
    b->pos.z = 1;
    a->noAutoMove = b->noAutoMove = true;
    root.step(0.02f);
    EXPECT_EQ(root.children[0], a);
    EXPECT_EQ(root.children[1], b);
}

TEST(gameobject, oneBubblePassPerStep)
{
    gameobject root;
    root.noAutoMove = true;
    sortable* big = new sortable(&root, 9);
    new sortable(&root, 2);
    new sortable(&root, 3);
    sortable* small = new sortable(&root, 1);
    for (gameobject* c : root.children)
        c->noAutoMove = true;
    root.step(0);
    EXPECT_EQ(root.children.back(), big);      // largest z reaches the end in one step
    EXPECT_EQ(root.children[2], small);        // smallest z moves forward one place
    root.step(0);
    EXPECT_EQ(root.children[1], small);
    root.step(0);
    EXPECT_EQ(root.children[0], small);
}

TEST(gameobject, childDeletingItselfDuringItsStepKeepsTheLoopWhole)
{
    gameobject root;
    root.noAutoMove = true;
    int before = 0, gone = 0, after = 0;
    (new counting(&root, &before))->noAutoMove = true;
    new selfDeleting(&root, &gone);
    new selfDeleting(&root, &gone);
    (new counting(&root, &after))->noAutoMove = true;
    root.step(0.02f);
    EXPECT_EQ(before, 1);
    EXPECT_EQ(gone, 2);
    EXPECT_EQ(after, 1);
    EXPECT_EQ(root.children.size(), 2u);
}

TEST(gameobject, childrenLeavingInTheirOwnStepLeaveTheOthersInOrder)
{
    // a thousand children, every third leaving in its step, as landing particles do
    gameobject root;
    root.noAutoMove = true;
    int steps = 0, gone = 0;
    std::vector<gameobject*> kept;
    for (int i = 0; i < 1000; i++) {
        if (i % 3 == 1) {
            new selfDeleting(&root, &gone);
        } else {
            gameobject* c = new counting(&root, &steps);
            c->noAutoMove = true;
            kept.push_back(c);
        }
    }
    root.step(0.02f);
    EXPECT_EQ(gone, 333);
    EXPECT_EQ(steps, 667);
    EXPECT_EQ(root.children, kept);
    // taken out outside a step, and a later step, still leave the order as it was
    delete kept[10];
    kept.erase(kept.begin() + 10);
    root.step(0.02f);
    EXPECT_EQ(root.children, kept);
    EXPECT_EQ(steps, 667 + 666);
}

TEST(gameobject, setControllerNullClearsAndSteersItselfAgain)
{
    gameobject o;
    controller outside;
    o.ownCtrl.button[1] = true;
    o.ownCtrl.deadZone = 100;
    o.setController(&outside);
    EXPECT_EQ(o.ctrl, &outside);
    o.setController(nullptr);
    EXPECT_EQ(o.ctrl, &o.ownCtrl);
    EXPECT_FALSE(o.ownCtrl.button[1]);
    EXPECT_EQ(o.ownCtrl.deadZone, 100);
}

TEST(gameobject, wantedAndRepelledListsHoldAnObjectOnce)
{
    gameobject o, t;
    o.setWanted(&t);
    o.setWanted(&t);
    o.setRepelled(&t);
    o.setRepelled(&t);
    EXPECT_EQ(o.wanted.size(), 1u);
    EXPECT_EQ(o.repelled.size(), 1u);
    o.removeWanted(&t);
    o.removeRepelled(&t);
    EXPECT_TRUE(o.wanted.empty());
    EXPECT_TRUE(o.repelled.empty());
}

TEST(gameobject, collisionIsStrictOverlap)
{
    gameobject a, b;
    b.pos = vector3d(1.0f, 0, 0);
    EXPECT_FALSE(a.doesCollide(&b));
    b.pos = vector3d(0.99f, 0.5f, -0.5f);
    EXPECT_TRUE(a.doesCollide(&b));
    b.box.center = vector3d(0, 0.6f, 0);   // box centres are offsets from pos
    EXPECT_FALSE(a.doesCollide(&b));
}

TEST(gameobject, autoMoveSteering)
{
    struct steerCase {
        float targetX;
        int axisX;
    } cases[] = {{10, 32768}, {2, 0}, {-10, -32768}};
    for (const steerCase& c : cases) {
        gameobject o, target;
        target.pos = vector3d(c.targetX, 0, 0);
        o.setWanted(&target);
        o.autoMove();
        EXPECT_EQ(o.ownCtrl.axisX, c.axisX) << "target at x " << c.targetX;
        EXPECT_EQ(o.ownCtrl.axisY, 0);
    }
}

// Figures on the same spot must not trade places every step, or their drawing would flicker.
TEST(gameobject, childrenAtEqualDepthKeepTheirOrder)
{
    gameobject root;
    root.noAutoMove = true;
    sortable* a = new sortable(&root, 4);
    sortable* b = new sortable(&root, 4);
    sortable* far = new sortable(&root, 7);
    sortable* c = new sortable(&root, 4);
    for (gameobject* o : root.children)
        o->noAutoMove = true;
    for (int i = 0; i < 5; i++) {
        root.step(0.02f);
        ASSERT_EQ(root.children.size(), 4u);
        EXPECT_EQ(root.children[0], a) << "step " << i;
        EXPECT_EQ(root.children[1], b) << "step " << i;
        EXPECT_EQ(root.children[2], c) << "step " << i;
        EXPECT_EQ(root.children[3], far) << "step " << i;
    }
}

// The stick points at where a wanted object will be in 0.2 s, scaled by its weight; a pull
// of 3 units or less (after the weight) counts for nothing. Targets lie mostly along z, so
// the x deflection (32768 per unit of pull) stays below full scale and shows the amounts.
TEST(gameobject, autoMoveLeadsMovingTargetsAndWeighsThem)
{
    struct { float x, z, vx, vz, weight; int axisX, axisY; } cases[] = {
        {0.25f, 10, 0, 0, 1, 8192, 32768},          // standing: pull 0.25
        {0.25f, 10, 1, 0, 1, 14746, 32768},         // 0.2 s ahead: 0.45
        {0.25f, 10, -2, 0, 1, -4915, 32768},        // 0.25 - 0.4 = -0.15
        {0.25f, 10, 1, 0, 1.5f, 22118, 32768},      // 0.45 x 1.5
        {0.2f, 10, 0, 0, 0.5f, 3276, 32768},        // 0.1
        {0, 2.5f, 0, 0, 1, 0, 0},                   // 2.5 away: too near to count
        {0, 2.5f, 0, 0, 1.5f, 0, 32768},            // 3.75 after the weight
        {0, 2.5f, 0, 5, 1, 0, 32768},               // will be 3.5 away
        {0, -2.5f, 0, 5, 1, 0, 0},                  // will be 1.5 away
    };
    for (auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "target (" << c.x << ", " << c.z << ") moving ("
                                        << c.vx << ", " << c.vz << ") weight " << c.weight);
        gameobject o, target;
        o.ownCtrl.deadZone = 0;
        target.pos = vector3d(c.x, 0, c.z);
        target.vel = vector3d(c.vx, 0, c.vz);
        target.weight = c.weight;
        o.setWanted(&target);
        o.autoMove();
        EXPECT_NEAR(o.ownCtrl.axisX, c.axisX, 2);
        EXPECT_EQ(o.ownCtrl.axisY, c.axisY);
    }
}

TEST(gameobject, autoMoveWithEmptyListsRestsTheStick)
{
    gameobject o;
    o.ownCtrl.axisX = 1234;
    o.ownCtrl.axisY = -9999;
    o.step(0.02f);
    EXPECT_EQ(o.ownCtrl.axisX, 0);
    EXPECT_EQ(o.ownCtrl.axisY, 0);
}

TEST(gameobject, autoMoveIsPushedAwayFromNearRepelledObjects)
{
    gameobject o, near, far;
    near.pos = vector3d(-7.9f, 0, 0);
    far.pos = vector3d(0, 0, 8.0f);
    o.setRepelled(&near);
    o.setRepelled(&far);
    o.autoMove();
    EXPECT_EQ(o.ownCtrl.axisX, 32768);    // pushed away from the object on its -x side
    EXPECT_EQ(o.ownCtrl.axisY, 0);        // 8 units away: ignored
}

TEST(gameobject, destroyingAnObjectDestroysItsChildrenAndLeavesItsParent)
{
    gameobject root;
    gameobject* mid = new gameobject(&root);
    int steps = 0;
    new counting(mid, &steps);
    new counting(mid, &steps);
    new counting(mid, &steps);
    gameobject* sibling = new gameobject(&root);
    delete mid;
    ASSERT_EQ(root.children.size(), 1u);
    EXPECT_EQ(root.children[0], sibling);
    EXPECT_EQ(sibling->parent, &root);
}
