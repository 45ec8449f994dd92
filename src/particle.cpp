#include "particle.h"

#include <GL/gl.h>
#include "glstuff.h"
#include "playfield.h"
#include "random.h"

static const float MAX_SPEED = 40.0f;        // units per second
static const float MARK_FALL_SPEED = 12.0f;  // falling faster than this dents the sand

// -1 ... 0.998
static float jitter()
{
    return (float)(genrand_int32() % 1000) / 500.0f - 1.0f;
}

particle::particle(gameobject* parent, const vector3d& position, const vector3d& velocity,
                   const vector3d& spreadBy, const vector3d& col, float a)
    : gameobject(parent)
{
    pos = position;
    baseVelocity = velocity;
    spread = spreadBy;

    float ux = jitter();
    float uy = jitter();
    float uz = jitter();
    vel = baseVelocity + vector3d(ux * spread.x, uy * spread.y, uz * spread.z);
    // never faster than base velocity and spread pointing the same way
    float limit = (baseVelocity + spread).length();
    float speed = vel.length();
    if (speed > limit)
        vel = vel * (limit / speed);

    colour[0] = col.x;
    colour[1] = col.y;
    colour[2] = col.z;
    alpha = a;
    debris = nullptr;
    debrisCount = 0;
    dead = false;

    gravity = vector3d(0, 0.981f, 0);
    box = box3d(vector3d(0.05f, 0.05f, 0.05f), vector3d(0.1f, 0.1f, 0.1f));
    // the floor of this box is the sand plane
    bounds = box3d(vector3d(0, -500, 0), vector3d(1000, 1000, 1000));
    bounded = true;
    noAutoMove = true;
}

particle::~particle()
{
    if (debris) {
        // only a particle that landed splashes; one taken away with its parent does not add
        // children to a parent that is going away
        if (dead && parent) {
            vector3d at(pos.x, -0.1f, pos.z);
            vector3d col(debris->colour[0], debris->colour[1], debris->colour[2]);
            for (int i = 0; i < debrisCount; i++)
                new particle(parent, at, debris->baseVelocity, debris->spread, col, debris->alpha);
        }
        delete debris;
        debris = nullptr;
    }
    if (std::fabs(vel.y) > MARK_FALL_SPEED && g_playfield)
        g_playfield->footStep(pos.x, pos.z, 2, 3);
}

void particle::setDestructionParticle(particle* p, int count)
{
    debris = p;
    debrisCount = count;
}

void particle::step(float dt)
{
    float speed = vel.length();
    if (speed > MAX_SPEED)
        vel = vel * (MAX_SPEED / speed);
    gameobject::step(dt);
    // the parent's child loop copes with a child that leaves during its own step
    if (dead)
        delete this;
}

void particle::onBounce(float)
{
    dead = true;
}

// point size in pixels from the speed across the sand, 2 ... 16
static float pointSize(const vector3d& vel)
{
    float size = (std::fabs(vel.x) + std::fabs(vel.z)) / 3.0f;
    if (size < 2)
        size = 2;
    if (size > 16)
        size = 16;
    return size;
}

// a fast particle is a streak along its velocity, a slow one a point
static bool isStreak(const vector3d& vel)
{
    return vel.length() > 10.0f;
}

void particle::drawThis()
{
    // a particle carries its own colour, whatever texture the court left bound
    glDisable(GL_TEXTURE_2D);
    glColor4f(colour[0], colour[1], colour[2], alpha);
    glPointSize(pointSize(vel));
    if (isStreak(vel)) {
        vector3d tail = vel * 0.03f;
        drawLine(0, 0, 0, tail.x, tail.y, tail.z);
    } else {
        glBegin(GL_POINTS);
        glVertex3f(0, 0, 0);
        glEnd();
    }
}

// One that draws exactly as drawThis at its position does: no children, no label.
static particle* plainParticle(gameobject* o)
{
    particle* p = dynamic_cast<particle*>(o);
    return p && p->children.empty() && p->label.empty() ? p : nullptr;
}

size_t particle::drawWith(gameobject* const* next, size_t count)
{
    if (!plainParticle(this))
        return gameobject::drawWith(next, count);
    size_t run = 0;
    while (run < count && plainParticle(next[run]))
        run++;

    glDisable(GL_TEXTURE_2D);
    bool begun = false;
    GLenum open = GL_POINTS;         // the primitive begun, once begun
    float glSize = pointSize(vel);   // the point size set in GL
    glPointSize(glSize);
    float last = glSize;
    for (size_t i = 0; i <= run; i++) {
        const particle* p = i == 0 ? this : static_cast<particle*>(next[i - 1]);
        const GLenum kind = isStreak(p->vel) ? GL_LINES : GL_POINTS;
        last = pointSize(p->vel);
        // the size may only change outside a begin / end pair; only points use it
        const bool resize = kind == GL_POINTS && last != glSize;
        if (!begun || open != kind || resize) {
            if (begun)
                glEnd();
            if (resize)
                glPointSize(glSize = last);
            glBegin(open = kind);
            begun = true;
        }
        glColor4f(p->colour[0], p->colour[1], p->colour[2], p->alpha);
        glVertex3f(p->pos.x, p->pos.y, p->pos.z);
        if (kind == GL_LINES) {
            const vector3d tail = p->pos + p->vel * 0.03f;
            glVertex3f(tail.x, tail.y, tail.z);
        }
    }
    glEnd();
    // the size drawing them one by one would have left set
    if (last != glSize)
        glPointSize(last);
    return run;
}
