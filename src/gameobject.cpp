#include "gameobject.h"

#include <algorithm>
#include <GL/gl.h>
#include "textrender.h"

// accelerations are integrated with this factor; velocities and positions without it
static const float ACCEL_SCALE = 90.0f;

gameobject::gameobject()
{
    defaults();
    parent = nullptr;
}

gameobject::gameobject(gameobject* p)
{
    defaults();
    parent = nullptr;
    if (p)
        p->adopt(this);
}

gameobject::~gameobject()
{
    // a child being destroyed takes itself out of our list, so always delete the last one
    while (!children.empty()) {
        gameobject* child = children.back();
        delete child;
    }
    if (parent)
        parent->release(this);
}

void gameobject::defaults()
{
    pos = vector3d();
    vel = vector3d();
    maxSpeed = 1000.0f;
    restitution = 0.0f;
    accel = vector3d();
    gravity = vector3d();
    box = box3d(vector3d(0, 0, 0), vector3d(1, 1, 1));
    ctrl = &ownCtrl;
    ownCtrl = controller();
    bounds = box3d(vector3d(0, 0, 0), vector3d(1, 1, 1));
    bounded = false;
    noAutoMove = false;
    label = wxEmptyString;
    damping = vector3d();
    weight = 1.0f;
    pup = nullptr;
}

void gameobject::adopt(gameobject* child)
{
    if (!child || child->parent == this)
        return;
    if (child->parent)
        child->parent->release(child);
    children.push_back(child);
    child->parent = this;
    adopted(child);
}

void gameobject::release(gameobject* child)
{
    if (steppedSlot >= 0 && (size_t)steppedSlot < children.size() && child &&
        children[steppedSlot] == child) {
        children[steppedSlot] = nullptr;
        holes = true;
        child->parent = nullptr;
        released(child);
        return;
    }
    std::vector<gameobject*>::iterator it = std::find(children.begin(), children.end(), child);
    const bool found = it != children.end();
    if (found)
        children.erase(it);
    if (child && child->parent == this)
        child->parent = nullptr;
    if (found)
        released(child);
}

void gameobject::adopted(gameobject*)
{
}

void gameobject::released(gameobject*)
{
}

void gameobject::setController(controller* c)
{
    if (c) {
        ctrl = c;
        return;
    }
    ownCtrl.reset_state();
    ctrl = &ownCtrl;
}

bool gameobject::isSortable()
{
    return false;
}

void gameobject::draw()
{
    glPushMatrix();
    glTranslatef(pos.x, pos.y, pos.z);
    drawThis();
    if (!label.empty()) {
        int w = GLTextWidth(0, L"%ls", label.wc_str());
        glColor4f(0, 0, 0, 1);
        GLTextA(0, -w * 0.5f, (box.center.y - box.size.y * 0.5f) * 12.0f, L"%ls",
                label.wc_str());
    }
    for (size_t i = 0; i < children.size(); i++)
        i += children[i]->drawWith(children.data() + i + 1, children.size() - i - 1);
    drawThisPost();
    glPopMatrix();
}

size_t gameobject::drawWith(gameobject* const*, size_t)
{
    draw();
    return 0;
}

void gameobject::drawThis()
{
}

void gameobject::drawThisPost()
{
}

void gameobject::control(float, int, int, unsigned int)
{
}

// One bounds axis: high side first, then the low side with the box as it now stands.
static void bounceAxis(gameobject* o, float& p, float& v, float boxCenter, float boxSize,
                       float boundCenter, float boundSize)
{
    float hi = p + boxCenter + boxSize * 0.5f;
    float bhi = boundCenter + boundSize * 0.5f;
    if (hi > bhi) {
        p = bhi - boxSize * 0.5f - boxCenter;
        v = -std::fabs(v) * o->restitution;
        o->onBounce(v);
    }
    float lo = p + boxCenter - boxSize * 0.5f;
    float blo = boundCenter - boundSize * 0.5f;
    if (lo < blo) {
        p = blo + boxSize * 0.5f - boxCenter;
        v = std::fabs(v) * o->restitution;
        o->onBounce(v);
    }
}

void gameobject::step(float dt)
{
    // physics: velocity first, then position with the new velocity
    vel += (gravity + accel) * (dt * ACCEL_SCALE);
    pos += vel * dt;

    if (bounded) {
        bounceAxis(this, pos.x, vel.x, box.center.x, box.size.x, bounds.center.x, bounds.size.x);
        bounceAxis(this, pos.y, vel.y, box.center.y, box.size.y, bounds.center.y, bounds.size.y);
        bounceAxis(this, pos.z, vel.z, box.center.z, box.size.z, bounds.center.z, bounds.size.z);
    }

    // depth order: one bubble pass per step among sortable neighbours
    if (children.size() >= 2) {
        for (size_t i = 0; i + 1 < children.size(); i++) {
            gameobject* a = children[i];
            gameobject* b = children[i + 1];
            if (a->pos.z > b->pos.z && a->isSortable() && b->isSortable()) {
                children[i] = b;
                children[i + 1] = a;
            }
        }
    }

    // a child that deletes itself during its own step leaves a hole (see release); one taken
    // out otherwise lets the next child slide into slot i
    for (size_t i = 0; i < children.size(); i++) {
        gameobject* child = children[i];
        if (!child)
            continue;
        steppedSlot = (long)i;
        child->step(dt);
        steppedSlot = -1;
        if (i < children.size() && children[i] != child && children[i])
            i--;
    }
    if (holes) {
        children.erase(std::remove(children.begin(), children.end(), nullptr), children.end());
        holes = false;
    }

    if (ctrl == &ownCtrl && !noAutoMove)
        autoMove();
}

void gameobject::reset()
{
    pos = vector3d();
    accel = vector3d();
    vel = vector3d();
}

void gameobject::autoMove()
{
    vector3d r;
    for (gameobject* o : repelled) {
        vector3d d((pos.x - o->pos.x) * o->weight, 0, (pos.z - o->pos.z) * o->weight);
        if (d.length() < 8.0f)
            r += d;
    }
    vector3d w;
    for (gameobject* o : wanted) {
        vector3d target = o->pos + o->vel * 0.2f;
        vector3d d = (target - pos) * o->weight;
        if (d.length() > 3.0f)
            w += d;
    }
    vector3d d(-r.x - w.x, 0, -r.z - w.z);
    if (d.length() <= 3.0f) {
        ownCtrl.axisX = 0;
        ownCtrl.axisY = 0;
        return;
    }
    ownCtrl.axisX = ownCtrl.storeAxis((long)(-32768.0f * d.x));
    ownCtrl.axisY = ownCtrl.storeAxis((long)(-32768.0f * d.z));
}

void gameobject::onBounce(float)
{
}

void gameobject::setWanted(gameobject* o)
{
    if (std::find(wanted.begin(), wanted.end(), o) == wanted.end())
        wanted.push_back(o);
}

void gameobject::setRepelled(gameobject* o)
{
    if (std::find(repelled.begin(), repelled.end(), o) == repelled.end())
        repelled.push_back(o);
}

void gameobject::removeWanted(gameobject* o)
{
    std::vector<gameobject*>::iterator it = std::find(wanted.begin(), wanted.end(), o);
    if (it != wanted.end())
        wanted.erase(it);
}

void gameobject::removeRepelled(gameobject* o)
{
    std::vector<gameobject*>::iterator it = std::find(repelled.begin(), repelled.end(), o);
    if (it != repelled.end())
        repelled.erase(it);
}

bool gameobject::doesCollide(gameobject* other)
{
    const vector3d a = pos + box.center;
    const vector3d b = other->pos + other->box.center;
    return std::fabs(a.x - b.x) < (box.size.x + other->box.size.x) * 0.5f &&
           std::fabs(a.y - b.y) < (box.size.y + other->box.size.y) * 0.5f &&
           std::fabs(a.z - b.z) < (box.size.z + other->box.size.z) * 0.5f;
}
