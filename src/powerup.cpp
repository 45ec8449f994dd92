#include "powerup.h"

#include <cmath>
#include <cstdlib>
#include <GL/gl.h>
#include "game.h"
#include "glstuff.h"
#include "main.h"
#include "particle.h"
#include "player.h"
#include "random.h"

unsigned g_pups[8] = { 0, 0, 0, 0, 0, 0, 0, 0 };
bool g_pups_inited = false;

static const char* const ICON_FILES[8] = {
    "data/powerups/random.png",    "data/powerups/dizzy.png",
    "data/powerups/speedup.png",   "data/powerups/slowdown.png",
    "data/powerups/superjump.png", "data/powerups/giant.png",
    "data/powerups/small.png",     "data/powerups/jetpack.png"
};

static const float GIANT_FACTOR = 2.5f;
static const float SMALL_FACTOR = 0.25f;
static const int JETPACK_FLAMES = 30;   // particles per step

// -1 ... 1 in steps of 1/500 from the shared generator
static float jitter()
{
    return (genrand_int32() % 1000) / 500.0f - 1.0f;
}

static bool validKind(int k)
{
    return k >= PU_RANDOM && k <= PU_JETPACK;
}

// ---- the pickup on the sand ----

powerupobject::powerupobject(const vector3d& p, poweruptype k, float life)
    : kind(k), texture(0), lifetime(life), age(0)
{
    pos = p;
    box = box3d(vector3d(0, -2, 0), vector3d(4, 4, 4));
    // the icons are shared by every pickup and loaded by the first one
    if (!g_pups_inited) {
        g_pups_inited = true;
        for (int i = 0; i < 8; i++)
            createAndLoadTexture(&g_pups[i], ICON_FILES[i]);
    }
    if (validKind(kind))
        texture = g_pups[kind];
}

bool powerupobject::isSortable()
{
    return true;
}

void powerupobject::step(float dt)
{
    age += dt;
    if (age > lifetime)
        delete this;   // leaves the parent's children
}

void powerupobject::drawThis()
{
    glColor4f(1, 1, 1, 1);
    glRotatef(std::sin(3 * age) * 13, 0, 1, 0);
    glRotatef(std::sin(4 * age) * 8, 1, 0, 0);

    // four sides of a cube around the centre
    glPushMatrix();
    for (int i = 0; i < 4; i++) {
        glTranslatef(0, 0, -2.7f);
        drawSprite(texture, vector3d(0, -2, 0), vector3d(6, 6, 1), 0, 1, 1);
        glTranslatef(0, 0, 2.7f);
        glRotatef(90, 0, 1, 0);
    }
    glPopMatrix();

    // and its top
    glTranslatef(0, -4.7f, 0);
    glRotatef(-90, 1, 0, 0);
    drawSprite(texture, vector3d(0, 0, 0), vector3d(6, 6, 1), 0, 1, 1);
}

// ---- the effect a player holds ----

powerup::powerup(poweruptype k, player* o, float d)
    : kind(k), owner(o), duration(0), elapsed(0), savedMaxSpeed(0), savedSizeScale(1)
{
    workBox = box3d();
    savedBox = box3d();
    if (kind == PU_RANDOM)
        kind = (poweruptype)(randDiscrete() % 7 + 1);
    // taking it first drops any effect held, which restores the player's own values
    owner->setPowerup(this);
    duration = d;
    savedMaxSpeed = owner->maxSpeed;
    savedBox = owner->box;
    savedSizeScale = owner->sizeScale;
}

powerup::~powerup()
{
}

// box and figure scaled by factor from the values saved at the pickup
static void scaleOwner(player* owner, box3d& work, const box3d& saved, float savedScale, float factor)
{
    work.center = saved.center * factor;
    work.size = saved.size * factor;
    owner->box = work;
    owner->sizeScale = factor * savedScale;
}

// the player rises toward 20 +- 5 units above the sand on a trail of flames
static void jetpack(player* owner, float elapsed)
{
    vector3d p = owner->pos;
    vector3d v = owner->vel;
    p.y = 0.9f * p.y - 0.1f * (20 + 5 * std::sin(2 * elapsed));
    owner->pos = p;
    if (!g_thegame)
        return;   // no match to own the flames
    for (int i = 0; i < JETPACK_FLAMES; i++) {
        float u1 = jitter();
        float u2 = jitter();
        float u3 = jitter();
        new particle(g_thegame, vector3d(p.x + 2 * u1, p.y, p.z + 2 * u2),
                     vector3d(-v.x, 3 * u3, -v.z), vector3d(3, 3, 3), vector3d(1, 0.4f, 0.2f),
                     0.5f);
    }
}

void powerup::step(float dt)
{
    elapsed += dt;
    if (elapsed > duration) {
        owner->setPowerup(nullptr);   // deletes this
        return;
    }
    switch (kind) {
    case PU_DIZZY:
        owner->vel.x += 5 * std::sin(3 * elapsed);
        owner->vel.z += 5 * std::cos(3 * elapsed);
        break;
    case PU_SPEEDUP:
        owner->maxSpeed = 2 * savedMaxSpeed;
        break;
    case PU_SLOWDOWN:
        owner->maxSpeed = 0.25f * savedMaxSpeed;
        break;
    case PU_GIANT:
        scaleOwner(owner, workBox, savedBox, savedSizeScale, GIANT_FACTOR);
        break;
    case PU_SMALL:
        scaleOwner(owner, workBox, savedBox, savedSizeScale, SMALL_FACTOR);
        break;
    case PU_JETPACK:
        jetpack(owner, elapsed);
        break;
    default:   // PU_SUPERJUMP: the player's jump adds the bonus
        break;
    }
}

void powerup::remove()
{
    owner->sizeScale = savedSizeScale;
    owner->maxSpeed = savedMaxSpeed;
    owner->box = savedBox;
}
