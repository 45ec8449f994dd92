#include "ball.h"

#include <cmath>
#include <GL/gl.h>
#include "glstuff.h"
#include "playfield.h"
#include "random.h"
#include "sound.h"

static const float SPIN_KICK = 3.0f;        // a velocity change beyond this draws a new spin
static const float LOUD_BOUNCE = 3.0f;      // slower bounces make no sound and no mark
static const float LANDING_HEIGHT = -1.0f;  // the ground-hit query stops here
// A healthy flight comes down within a few dozen 0.1 s sub-steps; a ball with a broken state
// (upward gravity, say) would fly forever, so the query gives up after 1000 s of flight.
static const int MAX_LANDING_STEPS = 10000;

ball::ball(bool withPredictor) : gameobject()
{
    predictor = nullptr;
    theField = nullptr;
    touchedGround = false;
    spinAngle = 0;
    lastVelocity = vector3d();
    spinRate = 0;
    texture = 0;

    box = box3d(vector3d(0, -0.6f, 0), vector3d(6, 6, 6));
    gravity = vector3d(0, 0.981f, 0);
    restitution = 0.7f;
    damping = vector3d(0.1f, 0.1f, 0.1f);
    weight = 3.0f;
    noAutoMove = true;

    if (withPredictor) {
        predictor = new ball(false);
        createAndLoadTexture(&texture, "data/example_ball.png", 128, 128);
    }
}

ball::~ball()
{
    delete predictor;
    if (texture)
        glDeleteTextures(1, &texture);
}

bool ball::isSortable()
{
    return true;
}

// ---------------------------------------------------------------------------------------------
// flight

void ball::step(float dt)
{
    vel.x *= 1 - damping.x * dt * 8;
    vel.y *= 1 - damping.y * dt * 8;
    vel.z *= 1 - damping.z * dt * 8;

    gameobject::step(dt);

    // a hit, a bounce or the net changed the velocity sharply: a new spin
    vector3d d = vel - lastVelocity;
    if (d.length() > SPIN_KICK) {
        float u1 = (float)(genrand_int32() % 1000) / 1000.0f;
        float u2 = (float)(genrand_int32() % 1000) / 500.0f - 1.0f;
        spinRate = (d.z + d.x * u1) * 0.01f + u2 * 0.3f;
    }
    spinAngle += spinRate;
    lastVelocity = vel;
}

void ball::onBounce(float v)
{
    // only the real ball is heard and leaves marks; the predictor has no predictor
    if (std::fabs(v) > LOUD_BOUNCE && predictor) {
        playSound(SOUND_BALL_GROUND, pos);
        if (theField) {
            theField->footStep(pos.x, pos.z, 13.0f, std::fabs(v) / 6.0f);
            theField->spawnDust(pos.x, pos.z, 20.0f);
        }
    }
    touchedGround = true;
}

void ball::reset()
{
    touchedGround = false;
    lastVelocity = vel;
    spinRate = 0;
    spinAngle = 0;
    gameobject::reset();
}

// ---------------------------------------------------------------------------------------------
// prediction: the clone is reused, so a query allocates nothing

void ball::preparePredictor()
{
    predictor->reset();
    predictor->vel = vel;
    predictor->pos = pos;
    predictor->accel = accel + predictor->accel;
}

ball* ball::getPrediction(float t)
{
    if (!predictor)
        return nullptr;
    preparePredictor();
    // the exact value of t times 10: for 0.7f that is just below 7, so six sub-steps
    double steps = (double)t * 10;
    int n = steps >= 1 ? (steps < MAX_LANDING_STEPS ? (int)steps : MAX_LANDING_STEPS) : 0;
    float sub = t / 10;
    for (int i = 0; i < n; i++)
        predictor->step(sub);
    return predictor;
}

vector3d ball::getNextGroundHitPosition()
{
    if (!predictor)
        return vector3d(0, 0, 0);
    preparePredictor();
    for (int i = 0; i < MAX_LANDING_STEPS && predictor->pos.y < LANDING_HEIGHT; i++)
        predictor->step(0.1f);
    return vector3d(predictor->pos.x, -2.0f, predictor->pos.z);
}

// ---------------------------------------------------------------------------------------------
// drawing

void ball::drawThis()
{
    if (!texture)
        return;

    // shadow: the ball image flat on the sand, shifted along z by the height
    glPushMatrix();
    glTranslatef(0, -pos.y, 0);
    glRotatef(90, 1, 0, 0);
    glScalef(1, 1, 0.5f);
    glTranslatef(0, pos.y, 0);
    glColor4f(0, 0, 0, 0.3f);
    drawSprite(texture, vector3d(0, 0, 0), vector3d(6, 6, 0), 0, 1, 1);
    glPopMatrix();

    // the ball turns in steps of 30 degrees
    glPushMatrix();
    glRotatef(std::trunc(spinAngle) * 30.0f, 0, 0, 1);
    glColor4f(1, 1, 1, 1);
    drawSprite(texture, vector3d(0, 0, 0), vector3d(5, 5, 0), 0, 1, 1);
    glPopMatrix();
}
