#include "player.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <GL/gl.h>
#include <wx/config.h>
#include "ball.h"
#include "glstuff.h"
#include "layeredplayertexture.h"
#include "main.h"
#include "playfield.h"
#include "random.h"
#include "powerup.h"
#include "sound.h"

// ---------------------------------------------------------------------------------------------
// construction and settings

static const float DEFAULT_HEIGHT = 1.8f;   // metres
static const float MIN_HEIGHT = 1.5f;       // the range the customisation screen offers
static const float MAX_HEIGHT = 2.5f;

static wxString heightKey(int index)
{
    return wxString::Format(L"pl%d/height", index);
}

// A hand-edited or damaged height must not turn the figure inside out or off the screen.
static float saneHeight(double h)
{
    if (!std::isfinite(h))
        return DEFAULT_HEIGHT;
    if (h < MIN_HEIGHT)
        return MIN_HEIGHT;
    if (h > MAX_HEIGHT)
        return MAX_HEIGHT;
    return float(h);
}

player::player(int t, int i)
    : gameobject(),
      jumpCharge(0), actionTime(0), jumpHeld(false), team(t), index(i), height(DEFAULT_HEIGHT),
      sizeScale(1), ignoreBall(false), animTime(0), runPhase(0), lastVelocity(),
      outfit(nullptr), theBall(nullptr), theField(nullptr),
      state(MOVE_STANDING), action(ACTION_NONE), aiMode(1), level(DIFF_NORMAL), reaction(0)
{
    outfit = new layeredplayertexture(t, i);
    maxSpeed = 45.0f;
    gravity = vector3d(0, 9.81f, 0);
    damping = vector3d(0.1f, 0.1f, 0.1f);
    box = box3d(vector3d(0, -5, 0), vector3d(6, 11, 6));
    weight = 1.0f;
    pup = nullptr;
    if (g_config) {
        double h = 1.8;
        g_config->Read(heightKey(index), &h, 1.8);
        height = saneHeight(h);
    }
}

player::~player()
{
    // the held power-up belongs to the player as well
    setPowerup(nullptr);
    delete outfit;
}

bool player::isSortable()
{
    return true;
}

void player::setHeight(float h)
{
    height = h;
    if (!g_config)
        return;
    g_config->Write(heightKey(index), double(h));
    g_config->Flush();
}

void player::setPowerup(powerup* p)
{
    if (p == pup)
        return;
    if (pup) {
        powerup* old = pup;
        pup = nullptr;
        old->remove();
        delete old;
    }
    pup = p;
}

void player::reset()
{
    lastVelocity = vector3d();
    state = MOVE_STANDING;
    action = ACTION_NONE;
    ignoreBall = false;
    sizeScale = 1.0f;
    jumpHeld = false;
    reaction = 0;
    setPowerup(nullptr);
    gameobject::reset();
}

// ---------------------------------------------------------------------------------------------
// rules: states, actions, jumps

void player::setAction(player_action_type a, float time)
{
    action = a;
    actionTime = time;
}

// a new movement state with the action cleared and the run animation restarted
void player::changeState(player_movement_type s)
{
    actionTime = 1.0f;
    action = ACTION_NONE;
    state = s;
    animTime = 0;
    runPhase = 0;
}

void player::setState(player_movement_type s)
{
    // the customisation screen counts up through the states and wraps
    if (int(s) < MOVE_JUMPING || int(s) > MOVE_CHARGING)
        s = MOVE_JUMPING;
    if (!(state == MOVE_JUMPING && s == MOVE_FALLING)) {
        actionTime = 1.0f;
        action = ACTION_NONE;
    }
    state = s;
    animTime = 0;
    runPhase = 0;
}

float player::jumpImpulse() const
{
    // only the speed across the court helps
    float impulse = ((std::fabs(vel.x) * 0.3f + 18.0f) + jumpCharge * 25.0f) * 4.4f;
    if (pup && pup->kind == PU_SUPERJUMP)
        impulse += 80.0f;
    return impulse;
}

void player::jump(bool)
{
    if (pos.y > -1.0f) {
        accel.y = -jumpImpulse();
        markSand(15, 5);
        changeState(MOVE_JUMPING);
        playSound(SOUND_JUMP, pos);
    }
    jumpHeld = true;
}

void player::hit()
{
    if (action != ACTION_NONE)
        return;
    switch (state) {
    case MOVE_RUNNING: setAction(ACTION_BUMP, 0.5f); break;
    case MOVE_STANDING: setAction(ACTION_BUMP, 1.0f); break;
    case MOVE_DIVING: setAction(ACTION_DIVE_HIT, 1.5f); break;
    default: setAction(ACTION_AIR_HIT, 0.7f); break;
    }
    // high in the air only an air hit reaches
    if (pos.y < -2.0f)
        setAction(ACTION_AIR_HIT, 0.7f);
}

void player::control(float dt)
{
    controller* c = ctrl;
    if (state == MOVE_CHARGING)
        jumpCharge = std::min(jumpCharge + dt, 2.0f);
    else
        jumpCharge = 0;

    float ix = c->horizontal();
    float iz = c->vertical();
    float factor = 4.0f;   // steering in the air

    switch (state) {
    case MOVE_RUNNING:
        factor = 50.0f;
        if (c->button[0])
            jump(true);
        break;
    case MOVE_STANDING:
        factor = 50.0f;
        if (c->button[0] && c->button[1]) {
            changeState(MOVE_CHARGING);
            // hit is held, so the charge goes on
        } else if (c->button[0]) {
            jump(true);
        }
        break;
    case MOVE_CHARGING:
        if (!c->button[1])
            jump(true);
        break;
    case MOVE_FALLING:
        if (c->button[0] && !jumpHeld) {
            changeState(MOVE_DIVING);
            vel *= 3.0f;
        }
        break;
    default:
        break;
    }
    // a human cuts a jump short by letting go; the computer never does
    if (state == MOVE_JUMPING && c != &ownCtrl && !c->button[0])
        state = MOVE_FALLING;

    // a computer player's level speeds up or slows down its run (its top speed follows)
    if (skilled())
        factor *= skillOf(level).speedScale;
    if (state != MOVE_FALLING && state != MOVE_DIVING) {
        accel.x = ix != 0 ? accel.x + ix * factor * dt : 0.0f;
        accel.z = iz != 0 ? accel.z + iz * factor * dt : 0.0f;
    }
    jumpHeld = c->button[0];
    if (c->button[1])
        hit();
}

// ---------------------------------------------------------------------------------------------
// physics

static float sumAbs(const vector3d& v)
{
    return std::fabs(v.x) + std::fabs(v.y) + std::fabs(v.z);
}

// per-axis damping factor 1 - damping * dt * n
static vector3d dampFactor(const vector3d& damping, float dt, float n)
{
    return vector3d(1.0f - damping.x * dt * n, 1.0f - damping.y * dt * n, 1.0f - damping.z * dt * n);
}

static void scaleAxes(vector3d& v, const vector3d& f)
{
    v.x *= f.x;
    v.y *= f.y;
    v.z *= f.z;
}

void player::markSand(float size, float depth)
{
    if (theField)
        theField->footStep(pos.x, pos.z, size, depth);
}

void player::applyStateRules(float dt)
{
    switch (state) {
    case MOVE_JUMPING:
        // fast on the way down: the jump turns into a dive
        if (vel.length() > 28.0f && vel.y > 0) {
            changeState(MOVE_DIVING);
            vel *= 1.5f;
        }
        scaleAxes(accel, dampFactor(damping, dt, 100));
        if (vel.y > 1.0f) {
            if (state != MOVE_JUMPING) {
                actionTime = 1.0f;
                action = ACTION_NONE;
            }
            animTime = 0;
            state = MOVE_FALLING;
            runPhase = 0;
        }
        break;
    case MOVE_RUNNING: {
        vector3d k = dampFactor(damping, dt, 100);
        scaleAxes(accel, k);
        scaleAxes(vel, k);
        if (sumAbs(vel) < 1.0f)
            changeState(MOVE_STANDING);
        break;
    }
    case MOVE_FALLING:
        scaleAxes(vel, dampFactor(damping, dt, 10));
        accel = vector3d();
        break;
    case MOVE_DIVING:
        if (pos.y > -1.0f)
            scaleAxes(vel, dampFactor(damping, dt, 24));   // the slide in the sand
        accel = vector3d();
        if (sumAbs(vel) < 3.0f) {
            animTime = 0;
            runPhase = 0;
            state = MOVE_RUNNING;
        }
        setAction(ACTION_DIVE_HIT, 0.5f);
        break;
    case MOVE_STANDING:
    case MOVE_CHARGING: {
        if (state == MOVE_STANDING && sumAbs(vel) > 1.0f)
            changeState(MOVE_RUNNING);
        vector3d k = dampFactor(damping, dt, 200);
        scaleAxes(accel, k);
        scaleAxes(vel, k);
        break;
    }
    }
}

void player::applySpeedLimits()
{
    float limit = maxSpeed;
    if (skilled())
        limit *= skillOf(level).speedScale;
    if (state == MOVE_JUMPING || state == MOVE_FALLING)
        limit *= 0.8f;
    float h = std::sqrt(vel.x * vel.x + vel.z * vel.z);
    if (h > limit) {
        float f = limit / h;
        vel.x *= f;
        vel.z *= f;
    }
    if (vel.y > maxSpeed)
        vel.y = maxSpeed;
    if (vel.y < -maxSpeed)
        vel.y = -maxSpeed;
}

box3d player::stateBox(player_movement_type s)
{
    vector3d size(5, 10, 5);
    switch (s) {
    case MOVE_JUMPING: size = vector3d(4, 12, 4); break;
    case MOVE_DIVING: size = vector3d(10, 5, 10); break;
    case MOVE_CHARGING: size = vector3d(5, 6, 5); break;
    default: break;
    }
    // standing on the feet
    return box3d(vector3d(0, -size.y / 2, 0), size);
}

void player::step(float dt)
{
    if (ctrl)
        control(dt);

    // landing
    if (state == MOVE_FALLING && pos.y > -1.0f) {
        changeState(MOVE_RUNNING);
        markSand(20, 5);
    }

    vector3d f = dampFactor(damping, dt, 1);
    scaleAxes(accel, f);
    scaleAxes(vel, f);

    applyStateRules(dt);
    applySpeedLimits();
    box = stateBox(state);

    if (reaction > 0)
        reaction -= dt;
    if (actionTime > 0) {
        actionTime -= dt;
        if (actionTime < 0)
            actionTime = 0;
        if (actionTime == 0 && action != ACTION_NONE)
            action = ACTION_NONE;
    }

    float t = animTime + dt;
    if (t > 0.15f) {
        animTime = 0;
        runPhase = 1 - runPhase;
    } else {
        animTime = t;
    }

    // marks in the sand where the speed changes, a little to the side
    float dx = vel.x - lastVelocity.x;
    float dz = vel.z - lastVelocity.z;
    float d = std::sqrt(dx * dx + dz * dz);
    if (d > 0.1f) {
        int k = randDiscrete() % 3 - 1;
        if (theField)
            theField->footStep(pos.x, pos.z + 2.0f * k, d + 2.0f, 2.0f);
    }
    if (state == MOVE_DIVING && pos.y > -1.0f && theField) {
        theField->footStep(pos.x, pos.z, 16, 2);
        vector3d u = vel.normalized();
        theField->spawnDust(pos.x + 3 * u.x, pos.z + 3 * u.z, 16);
    }
    if (state == MOVE_CHARGING && jumpCharge > 1.0f && theField)
        theField->spawnFire(pos.x, pos.z, 16);

    lastVelocity = vel;
    if (pup)
        pup->step(dt);   // may end and delete the power-up
    gameobject::step(dt);
}

// ---------------------------------------------------------------------------------------------
// computer player

const skill& skillOf(int level)
{
    static const skill levels[3] = {
        { 0.25f, 0.6f, 0.8f, 14.0f, 0.0f },   // Easy
        { 0.0f, 0.0f, 1.0f, 0.0f, 0.0f },     // Normal
        { 0.0f, 0.0f, 2.5f, 0.0f, 6.0f },     // Hard
    };
    return levels[level >= DIFF_EASY && level <= DIFF_HARD ? level : DIFF_NORMAL];
}

bool player::skilled() const
{
    return level != DIFF_NORMAL && ctrl == &ownCtrl;
}

void player::turnToBall()
{
    if (!skilled())
        return;
    const skill& s = skillOf(level);
    reaction = s.reactionMin + float(genrand_res53()) * (s.reactionMax - s.reactionMin);
}

// stick value of one steering component: 20000 per unit, pointing against the sum
static int steerAxis(const controller& c, float s)
{
    float v = s * -20000.0f;
    if (!(v == v))
        return 0;
    // keep the conversion to an integer defined; storeAxis clamps to the stick range anyway
    if (v > 1e9f)
        v = 1e9f;
    if (v < -1e9f)
        v = -1e9f;
    return c.storeAxis(long(v));
}

void player::playBall()
{
    if (!theBall || ignoreBall)
        return;
    if ((aiMode == 1 || aiMode == 2) && doesCollide(theBall))
        hit();
    // still reacting: it has not seen where the ball goes
    if (aiMode != 2 || reaction > 0)
        return;
    ball* future = theBall->getPrediction(0.7f);
    if (!future)
        return;
    vector3d soon = pos + vel * 0.2f;
    vector3d d = future->pos - soon;
    if (d.length() < 12.0f && d.y < -10.0f)
        jump(true);
}

void player::autoMove()
{
    playBall();

    float rx = 0, rz = 0;
    for (gameobject* o : repelled) {
        vector3d e = (pos - o->pos) * o->weight;
        if (std::sqrt(e.x * e.x + e.z * e.z) < 8.0f) {
            rx += e.x;
            rz += e.z;
        }
    }
    vector3d a;
    for (gameobject* o : wanted) {
        vector3d e;
        if (theBall && o == static_cast<gameobject*>(theBall)) {
            if (reaction > 0)
                continue;
            e = theBall->getNextGroundHitPosition() - pos;   // where it comes down, unweighted
        } else
            e = (o->pos + o->vel * 0.2f - pos) * o->weight;
        if (e.length() > 1.0f)
            a += e * 0.4f;
    }
    float sx = (0 - rx) - a.x;
    float sz = (0 - rz) - a.z;
    if (std::sqrt(sx * sx + sz * sz) <= 1.0f) {
        ownCtrl.axisX = 0;
        ownCtrl.axisY = 0;
        return;
    }
    ownCtrl.axisX = steerAxis(ownCtrl, sx);
    ownCtrl.axisY = steerAxis(ownCtrl, sz);
}

// ---------------------------------------------------------------------------------------------
// drawing

int player::spriteFrame() const
{
    int frame = 0;   // standing, falling, charging
    if (state == MOVE_RUNNING)
        frame = 1 + runPhase;
    else if (state == MOVE_JUMPING)
        frame = 3;
    else if (state == MOVE_DIVING)
        frame = 4;
    switch (action) {
    case ACTION_DIVE_HIT: frame = 5; break;
    case ACTION_AIR_HIT: frame = 6; break;
    case ACTION_BUMP: frame = 7; break;
    default: break;
    }
    return frame;
}

float player::facing() const
{
    if ((pos.x > 0 && vel.x >= 10.0f) || (pos.x <= 0 && vel.x < -10.0f))
        return -1.0f;
    return 1.0f;
}

vector3d player::figureSize() const
{
    float g = height - 0.8f;
    float fh = g * 16.0f * sizeScale;
    float fw = facing() * sizeScale * (g * 0.6f + 0.4f) * 14.0f;
    return vector3d(fw, fh, 0);
}

void player::drawThis()
{
    if (state == MOVE_CHARGING) {
        glColor4f(1, 0, 0, 1);
        drawBox(box3d(vector3d(team == 0 ? -4.0f : 4.0f, 0, 0), vector3d(0.5f, 13.0f * jumpCharge, 0.5f)));
    }
    vector3d size = figureSize();
    vector3d centre(0, -0.45f * size.y, 0);
    int frame = spriteFrame();
    unsigned tex = outfit ? outfit->texture : 0;

    // the shadow: the same frame laid flat on the sand, drifting away while in the air
    glPushMatrix();
    glTranslatef(0, -pos.y, 0);
    glRotatef(90, 1, 0, 0);
    glScalef(1, 1, 0.5f);
    glTranslatef(0, pos.y, 0);
    glColor4f(0, 0, 0, 0.3f);
    drawSprite(tex, centre, size, frame, 4, 4);
    glPopMatrix();

    glColor4f(1, 1, 1, 1);
    drawSprite(tex, centre, size, frame, 4, 4);
}
