#include "game.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <GL/gl.h>
#include "ball.h"
#include "bindings.h"
#include "controller.h"
#include "daytime.h"
#include "glstuff.h"
#include "main.h"
#include "net.h"
#include "particle.h"
#include "player.h"
#include "playfield.h"
#include "powerup.h"
#include "random.h"
#include "sound.h"
#include "textrender.h"

int WINSCORE = 8;

const vector3d starting_position[4] = {
    vector3d(-35, 0, -10), vector3d(-20, 0, 10), vector3d(35, 0, 10), vector3d(20, 0, -10)
};
const vector3d passing_position[4] = {
    vector3d(-7, 0, -10), vector3d(-7, 0, 10), vector3d(7, 0, 10), vector3d(7, 0, -10)
};
const vector3d secondary_position[4] = {
    vector3d(-20, 0, 0), vector3d(-20, 0, -5), vector3d(20, 0, 0), vector3d(20, 0, 5)
};

const char* const game::eventTexts[11] = {
    "none", "Begin", "Side change", "Hit the net!", "Out!", "In!", "Too many hits!",
    "Match over!", "Round over", "", ""
};

static const int ROUNDS_TO_WIN = 2;
static const float SLOW_MOTION = 0.17f;
static const float OUT_DELAY = 2.0f;          // seconds the "Out!" / "In!" call stays up
static const float TOO_MANY_DELAY = 2.5f;
static const float ROUND_DELAY = 4.0f;
static const float POWERUP_LIFETIME = 10.0f;  // seconds a pickup lies on the sand
static const float POWERUP_DURATION = 30.0f;  // seconds a taken power-up lasts
static const int SPARKLES = 300;

// -5 ... 4.9 in steps of 0.1
static float jitter()
{
    return (genrand_int32() % 100) / 10.0f - 5.0f;
}

// -1 ... 0.998
static float unitJitter()
{
    return (genrand_int32() % 1000) / 500.0f - 1.0f;
}

static gameobject* marker(const vector3d& p, float weight)
{
    gameobject* m = new gameobject();
    m->pos = p;
    m->weight = weight;
    return m;
}

static bool validPlayer(int i)
{
    return i >= 0 && i < 4;
}

int game::mateOf(int i)
{
    return 2 * (i / 2) - (i % 2) + 1;
}

game::game()
{
    theNet = new net();
    adopt(theNet);
    theNet->pos = vector3d(0, 0, 0);
    theNet->box = box3d(vector3d(0, -9, 0), vector3d(1, 18, 60));
    theNet->weight = 0.4f;

    theField = new playfield();
    adopt(theField);
    theField->pos = vector3d(0, 0, 0);
    theField->box = box3d(vector3d(0, 0, 0), vector3d(120, 0, 50));
    theField->overlay = this;

    theBall = new ball(true);
    adopt(theBall);
    theBall->bounds = box3d(vector3d(0, -200, 0), vector3d(240, 400, 100));
    theBall->bounded = true;
    theBall->theField = theField;

    pendingEvent = EV_NONE;
    pendingDelay = 0;

    for (int i = 0; i < 4; i++) {
        homeMarkers[i] = marker(starting_position[i], 2.0f);
        passMarkers[i] = marker(passing_position[i], 1.5f);
        supportMarkers[i] = marker(secondary_position[i], 1.5f);
        players[i] = new player(i / 2, i);
        adopt(players[i]);
        players[i]->theBall = theBall;
        players[i]->theField = theField;
    }

    // each team stays on its own half, up to 80 above the sand and within z +-37.5
    for (int i = 0; i < 4; i++) {
        players[i]->bounds = box3d(vector3d(i < 2 ? -60.0f : 60.0f, -40, 0), vector3d(120, 80, 75));
        players[i]->bounded = true;
    }

    camX = camXTarget = 15.0f;
    debugParticles = 0;
    servingTeam = 0;
    ballSide = 0;
    lastHitter = nullptr;
    clock = 0;
    zoom = zoomTarget = 0;
    lastHitterIndex = -1;
    possessionTeam = 0;
    score[0] = score[1] = 0;
    slowMotion = false;
    // set again by the begin event and the main menu; here so nothing is ever read unset
    roundsWon[0] = roundsWon[1] = 0;
    touches = 0;
    serveTimer = 0;
    gameMode = 0;
    difficulty = DIFF_NORMAL;

    event(EV_NEWRALLY, 0);
}

game::~game()
{
    for (int i = 0; i < 4; i++) {
        delete homeMarkers[i];
        delete passMarkers[i];
        delete supportMarkers[i];
    }
}

void game::setState(gamestate s)
{
    state = s;
}

// ---------------------------------------------------------------------------------------------
// Rules and events

void game::event(gameevent e, float delay)
{
    if (delay > 0) {
        // only the first fault of a rally counts; later reports wait for the reset
        if (pendingDelay > 0)
            return;
        int scorer = -1;
        if (e == EV_OUT) {
            playSound(SOUND_WHISTLE, vector3d());
            const vector3d& b = theBall->pos;
            if (b.x < 0) {
                scorer = 1;
                if (theBall->touchedGround) {
                    if (b.x > -60 && b.z > -25 && b.z < 25)
                        e = EV_IN;
                    else
                        scorer = possessionTeam == 0 ? 1 : 0;
                }
            } else if (b.x > 0) {
                scorer = 0;
                if (theBall->touchedGround) {
                    if (b.x < 60 && b.z > -25 && b.z < 25)
                        e = EV_IN;
                    else
                        scorer = possessionTeam != 1 ? 1 : 0;
                }
            }
        }
        if (e == EV_NET || e == EV_TOOMANYHITS)
            scorer = 1 - possessionTeam;
        pendingDelay = delay;
        pendingEvent = e;
        if (scorer != -1)
            teamScore(scorer);
        return;
    }

    switch (e) {
    case EV_BEGIN: {
        playAmbience();
        score[0] = score[1] = 0;
        roundsWon[0] = roundsWon[1] = 0;
        // a match left with Escape during slow motion must not start the next one zoomed in
        zoomTarget = 0;
        theField->reset();
        rallyReset();
        break;
    }
    case EV_NET:
    case EV_OUT:
    case EV_IN:
    case EV_TOOMANYHITS:
    case EV_NEWRALLY:
        rallyReset();
        break;
    case EV_SIDECHANGE:
        sideChange();
        break;
    case EV_MATCHOVER:
        pendingDelay = 0;
        // the step no longer runs the slow-motion test: end it here, or the "Match over!"
        // screen stays slowed and the next match starts zoomed in
        slowMotion = false;
        zoomTarget = 0;
        for (player* p : players) {
            p->ignoreBall = true;
            p->wanted.clear();
        }
        playMusic("data/music/win.xm");
        state = STATE_MATCHOVER;
        break;
    case EV_ROUNDOVER:
        score[0] = score[1] = 0;
        pendingDelay = 0;
        event(EV_NEWRALLY, 0);
        break;
    default:
        break;
    }
}

void game::teamScore(int team)
{
    if (team != 0 && team != 1)
        return;
    score[team]++;
    servingTeam = team;

    const int leader = score[0] > score[1] ? 0 : 1;
    if (score[leader] >= WINSCORE && score[leader] - score[1 - leader] >= 2) {
        roundsWon[leader]++;
        pendingEvent = roundsWon[leader] < ROUNDS_TO_WIN ? EV_ROUNDOVER : EV_MATCHOVER;
        pendingDelay = ROUND_DELAY;
        return;
    }

    g_shake = 3.0f;
    if (score[team] < score[1 - team])
        playSound(SOUND_OOH, vector3d());
    else
        playSound(static_cast<gamesound>(SOUND_CHEER1 + randDiscrete() % 6), vector3d());
}

const char* game::pointCall(int team) const
{
    if (team != 0 && team != 1)
        return "";
    if (roundsWon[team] >= ROUNDS_TO_WIN)
        return "Winner!";
    // nothing is at stake while a round's end is being called, or once the match is over
    const bool roundEnding = pendingDelay > 0 && (pendingEvent == EV_ROUNDOVER || pendingEvent == EV_MATCHOVER);
    if (state == STATE_MATCHOVER || roundEnding)
        return "";
    const int next = score[team] + 1;
    if (next < WINSCORE || next - score[1 - team] < 2)
        return "";
    return roundsWon[team] + 1 >= ROUNDS_TO_WIN ? "Match point" : "Round point";
}

void game::rallyReset()
{
    for (int i = 0; i < 4; i++) {
        player* p = players[i];
        p->reset();
        p->pos = starting_position[i];
        p->removeWanted(theBall);
        p->removeWanted(homeMarkers[i]);
        p->aiMode = 1;
    }
    theBall->reset();
    theBall->pos = starting_position[0] + vector3d(0, -40, 0);

    touches = 0;
    serveTimer = 1.0f;
    lastHitter = nullptr;
    lastHitterIndex = -1;
    pendingDelay = 0;
    slowMotion = false;
    ballSide = 0;
    camXTarget = servingTeam != 0 ? -15.0f : 15.0f;
    possessionTeam = servingTeam;
    state = STATE_SERVING;
}

void game::sideChange()
{
    for (player* p : players) {
        p->ignoreBall = false;
        p->wanted.clear();
    }
    const vector3d& b = theBall->pos;
    // the receiving player nearer to the ball along the net goes for it; ties go to the second
    const int receiving = b.x > 0 ? 1 : 0;
    const int first = 2 * receiving, other = 2 * (1 - receiving);
    const bool second =
        std::fabs(players[first + 1]->pos.z - b.z) <= std::fabs(players[first]->pos.z - b.z);
    setPlayerAI(second ? first + 1 : first, AI_BALL);
    setPlayerAI(second ? first : first + 1, AI_HOME);
    setPlayerAI(other, AI_HOME);
    setPlayerAI(other + 1, AI_HOME);
    ballSide = receiving;
    players[other]->aiMode = players[other + 1]->aiMode = 1;
    camXTarget = receiving ? -15.0f : 15.0f;
    touches = 0;
}

// ---------------------------------------------------------------------------------------------
// The step: serve, rally contacts, net, faults, roles, slow motion, power-ups

void game::step(float dt)
{
    if (slowMotion)
        dt *= SLOW_MOTION;
    clock += dt;
    if (g_shake > 0)
        g_shake -= 0.1f;

    gameobject::step(dt);
    // the F1 / F2 test particles are thrown here, not while drawing: they land on the sand
    // and draw from the generators, so they belong to the simulation
    emitDebugParticles();

    if (state == STATE_SERVING)
        serveStep(dt);
    else if (state == STATE_PLAYING)
        rallyStep(dt);
    stepView();
}

void game::serveStep(float dt)
{
    serveTimer -= dt;
    player* server = players[2 * servingTeam];
    server->ignoreBall = serveTimer > 0;
    server->wanted.clear();
    possessionTeam = servingTeam;

    // the ball hangs 10 above the server, on its side toward the net
    theBall->reset();
    theBall->pos = server->pos + vector3d(servingTeam == 0 ? 3.0f : -3.0f, -10, 0.1f);

    // serves are made from behind the baseline
    if (servingTeam == 0 && server->pos.x > -65)
        server->pos.x = -65;
    if (servingTeam == 1 && server->pos.x < 65)
        server->pos.x = 65;

    switch (server->action) {
    case player::ACTION_NONE:
        break;
    case player::ACTION_AIR_HIT:
        // a toss: the server may strike it itself
        theBall->vel = vector3d(0, -30, 0);
        touches = 2;
        state = STATE_PLAYING;
        break;
    default: {
        float r1 = jitter();
        float r2 = jitter();
        float r3 = (genrand_int32() % 60) / 10.0f - 3.0f;
        theBall->vel = vector3d(servingTeam == 0 ? 85 + r1 : -85 + r1, -85 + r2, r3);
        lastHitter = server;
        lastHitterIndex = 2 * servingTeam;
        // a further touch by the serving team before the ball crosses is a fault
        touches = 3;
        state = STATE_PLAYING;
        break;
    }
    }
}

void game::rallyStep(float dt)
{
    const vector3d b = theBall->pos;
    const float jx = jitter();
    const float jy = jitter();
    const float jz = jitter();
    const vector3d j(jx, jy, jz);

    int hitter = -1;
    for (int i = 0; i < 4; i++)
        if (playContact(i, b, j))
            hitter = i;
    if (hitter >= 0)
        ballIsHit(hitter);

    netBounce();

    if (touches > 3)
        event(EV_TOOMANYHITS, TOO_MANY_DELAY);
    if (theBall->touchedGround)
        event(EV_OUT, OUT_DELAY);

    if (pendingDelay > 0) {
        pendingDelay -= dt;
        if (pendingDelay <= 0)
            event(pendingEvent, 0);
    }
    // a finished match releases its players from the ball; re-targeting now would send them
    // after it again. After a rally reset the step goes on: the receivers are sent toward the
    // new serve and the slow-motion test ends any slow motion and zoom of the last rally.
    if (state == STATE_MATCHOVER)
        return;

    retarget();

    if (gameAtNet()) {
        if (!slowMotion)
            playSound(SOUND_OOH, vector3d());
        slowMotion = true;
        zoomTarget = 1.0f;
    } else {
        slowMotion = false;
        zoomTarget = 0.0f;
    }

    overNetCheck();
    powerupPhase();
}

bool game::playContact(int i, const vector3d& b, const vector3d& j)
{
    player* p = players[i];
    player* mate = players[mateOf(i)];
    const int team = i / 2;

    // stick direction plus the player's own run, limited to 35
    vector3d run = p->vel;
    if (run.length() > 35.0f)
        run = run.normalized() * 35.0f;
    vector3d h = vector3d(15.0f * p->ctrl->horizontal(), 0, 15.0f * p->ctrl->vertical()) + run;

    // close to the net with the ball high up: a spike, driven down
    float lift = -6.0f;
    if (std::fabs(p->pos.x) < 10 && b.y < -12) {
        lift = 45.0f;
        h.y = 0;
    }
    const float dir = team == 0 ? 1.0f : -1.0f;
    const vector3d smash(dir * 55 - 0.7f * b.x, lift, jitter() - 0.3f * b.z);
    float passZ = jitter();
    if (genrand_int32() & 1)
        passZ -= 0.3f * b.z;
    const vector3d pass(dir * 25 - 1.3f * b.x, -13, passZ);
    // the third touch must go over the net
    const vector3d set = touches == 2 ? pass : vector3d();

    if (!p->doesCollide(theBall) || p == lastHitter)
        return false;

    bool attack = false;
    switch (p->action) {
    case player::ACTION_BUMP: {
        vector3d toMate(j.x + mate->pos.x - p->pos.x, 0, j.z + mate->pos.z - p->pos.z);
        float up = touches == 1 ? 140.0f : 100.0f;
        if (touches != 2 && (genrand_int32() & 7) != 0)
            theBall->vel = toMate + h * 0.3f;
        else
            theBall->vel = set + h * 0.3f;
        theBall->vel.y -= (genrand_int32() % 100) / 30.0f + up;
        if (touches == 2)
            setPlayerAI(getClosestPlayer(1 - team), AI_BALL);
        attack = touches == 2;
        break;
    }
    case player::ACTION_AIR_HIT:
        theBall->vel = smash + h;
        setPlayerAI(getClosestPlayer(1 - team), AI_BALL);
        attack = true;
        break;
    case player::ACTION_DIVE_HIT:
        theBall->vel = set - h * 0.3f;
        theBall->vel.y += -70.0f - (genrand_int32() % 100) / 30.0f;
        attack = touches == 2;
        break;
    default:
        return false;
    }
    skilledAim(i, attack);
    return true;
}

void game::skilledAim(int i, bool attack)
{
    const player* p = players[i];
    if (!p->skilled())
        return;
    const skill& s = skillOf(p->level);
    vector3d& v = theBall->vel;
    v.x += s.aimError * static_cast<float>(2 * genrand_res53() - 1);
    v.z += s.aimError * static_cast<float>(2 * genrand_res53() - 1);
    if (!attack || s.placement == 0)
        return;
    // away from the opponent nearer to where the ball goes along the net, about a second on
    const float goingZ = theBall->pos.z + v.z;
    const int other = 2 * (1 - i / 2);
    const float za = players[other]->pos.z, zb = players[other + 1]->pos.z;
    const float guardZ = std::fabs(za - goingZ) < std::fabs(zb - goingZ) ? za : zb;
    v.z += goingZ > guardZ ? s.placement : -s.placement;
    // and kept inside the lines: a landing beyond them is pulled back, a few times at most
    for (int k = 0; k < 4; k++) {
        const vector3d q = theBall->getNextGroundHitPosition();
        const bool wide = std::fabs(q.z) > 22, long_ = std::fabs(q.x) > 56;
        if (!wide && !long_)
            break;
        if (wide)
            v.z *= 0.6f;
        if (long_)
            v.x *= 0.85f;
    }
}

void game::netBounce()
{
    if (!theBall->doesCollide(theNet))
        return;
    vector3d& v = theBall->vel;
    if (theBall->pos.y < -17) {
        // over the top of the net: it rolls over or off
        v.y = -std::fabs(0.4f * v.y);
    } else {
        // into the mesh: it drops back toward the side that played it
        v.x = possessionTeam == 0 ? -std::fabs(0.6f * v.x) : std::fabs(0.6f * v.x);
    }
}

void game::retarget()
{
    const vector3d q = theBall->getNextGroundHitPosition();
    const vector3d b = theBall->pos;
    if (q.x > 0 && possessionTeam == 0)
        setPlayerAI(getClosestPlayer(1), AI_BALL);
    if (q.x < 0 && possessionTeam == 1)
        setPlayerAI(getClosestPlayer(0), AI_BALL);
    if (b.x > 0 && possessionTeam == 0)
        setPlayerAI(getClosestPlayer(1), AI_BALL);
    if (b.x < 0 && possessionTeam == 1)
        setPlayerAI(getClosestPlayer(0), AI_BALL);
}

void game::ballIsHit(int i)
{
    if (!validPlayer(i))
        return;
    int t = touches;
    const int team = i / 2;
    const int m = mateOf(i);
    player* mate = players[m];

    lastHitterIndex = i;
    lastHitter = players[i];
    if (team != possessionTeam) {
        touches = 0;
        t = 0;
    }
    possessionTeam = team;
    mate->ignoreBall = false;
    mate->wanted.clear();

    if (t == 0) {
        setPlayerAI(i, genrand_int32() % 3 == 0 ? AI_HOME : AI_SUPPORT);
        setPlayerAI(m, AI_BALL);
    } else if (t == 1) {
        setPlayerAI(i, AI_HOME);
        setPlayerAI(m, AI_BALL);
    } else {
        setPlayerAI(i, AI_HOME);
        setPlayerAI(m, AI_HOME);
        if (t == 2) {
            setPlayerAI(2 * (1 - team), AI_BALL);
            setPlayerAI(2 * (1 - team) + 1, AI_BALL);
        }
    }

    // the toucher only steers now; the mate attacks when the third touch is up to it
    players[i]->aiMode = 0;
    if (t == 1)
        mate->aiMode = 2;
    else
        mate->aiMode = genrand_int32() % 6 == 0 ? 2 : 1;

    touches = t + 1;
    playSound(SOUND_HIT, players[i]->pos);
}

void game::overNetCheck()
{
    const vector3d b = theBall->pos;
    if (b.x > 0 && ballSide == 0)
        event(EV_SIDECHANGE, 0);
    if (b.x < 0 && ballSide == 1)
        event(EV_SIDECHANGE, 0);

    const vector3d q = theBall->getNextGroundHitPosition();
    const bool wide = q.z < -29 || q.z > 29;
    // a ball that will come down outside a side's area is let go by that side
    if ((q.x < -64 || (q.x < 0 && wide)) && possessionTeam == 1) {
        for (int i = 0; i < 2; i++) {
            players[i]->ignoreBall = true;
            players[i]->wanted.clear();
        }
    }
    if ((q.x > 64 || (q.x > 0 && wide)) && possessionTeam == 0) {
        for (int i = 2; i < 4; i++) {
            players[i]->ignoreBall = true;
            players[i]->wanted.clear();
        }
    }
    // coming down beyond the walls: called out before it lands
    if (q.x < -120 || q.x > 120 || q.z < -50 || q.z > 50)
        event(EV_OUT, OUT_DELAY);
}

bool game::gameAtNet()
{
    int jumpers[2] = { 0, 0 };
    for (int i = 0; i < 4; i++) {
        const player* p = players[i];
        if (std::fabs(p->pos.x) < 15 && p->state == player::MOVE_JUMPING)
            jumpers[i / 2]++;
    }
    int level = jumpers[0] > 0 && jumpers[1] > 0 ? 2 : 0;
    if (std::fabs(theBall->pos.x) < 10)
        level += 10;
    return level >= 12;
}

void game::powerupPhase()
{
    if (gameMode > 0 && randDiscrete() % 500 < gameMode) {
        float x = unitJitter() * 60.0f;
        float z = unitJitter() * 25.0f;
        poweruptype kind = static_cast<poweruptype>(randDiscrete() % 8);
        adopt(new powerupobject(vector3d(x, 0, z), kind, POWERUP_LIFETIME));
    }

    // at most one pickup per step; the lower player index is served first, and of two
    // pickups the player touches, the one first among the children
    for (int j = 0; j < 4; j++) {
        player* p = players[j];
        powerupobject* pickup = nullptr;
        for (powerupobject* q : pickups) {
            if (!q->doesCollide(p))
                continue;
            if (pickup && std::find(children.begin(), children.end(), pickup) <
                              std::find(children.begin(), children.end(), q))
                continue;
            pickup = q;
        }
        if (pickup) {
            const poweruptype kind = pickup->kind;
            release(pickup);
            delete pickup;
            new powerup(kind, p, POWERUP_DURATION);   // attaches itself to the player

            for (int n = 0; n < SPARKLES; n++) {
                float u1 = unitJitter();
                float u2 = unitJitter();
                float u3 = unitJitter();
                float u4 = unitJitter();
                new particle(this,
                             vector3d(p->pos.x + 4 * u1, (p->pos.y - p->height) - 10 * u2,
                                      p->pos.z + 4 * u3),
                             vector3d(0, 3 * u4 - 5, 0), vector3d(3, 3, 3),
                             vector3d(1.4f, 1.0f, 0.7f), 0.5f);
            }
            playSound(SOUND_POWERUP, vector3d());
            return;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Team formation and computer roles

void game::adopted(gameobject* child)
{
    if (powerupobject* pickup = dynamic_cast<powerupobject*>(child))
        pickups.push_back(pickup);
}

// also while the child is being destroyed: compared, never cast
void game::released(gameobject* child)
{
    for (size_t k = 0; k < pickups.size(); k++) {
        if (pickups[k] == child) {
            pickups.erase(pickups.begin() + k);
            return;
        }
    }
}

void game::setPlayerAI(int i, aitype role)
{
    if (!validPlayer(i))
        return;
    player* p = players[i];
    player* mate = players[mateOf(i)];
    const bool newBall =
        std::find(p->wanted.begin(), p->wanted.end(), theBall) == p->wanted.end();
    p->wanted.clear();
    p->repelled.clear();
    switch (role) {
    case AI_BALL:
        if (newBall)
            p->turnToBall();
        p->setWanted(theBall);
        mate->removeWanted(theBall);
        mate->setRepelled(p);
        break;
    case AI_HOME:
        p->setWanted(homeMarkers[i]);
        p->setRepelled(mate);
        break;
    case AI_SUPPORT:
        p->setWanted(randDiscrete() % 3 > 0 ? passMarkers[i] : supportMarkers[i]);
        break;
    default:
        break;
    }
}

int game::getClosestPlayer(int team)
{
    if (team != 0 && team != 1)
        return -1;
    float d0 = (players[2 * team]->pos - theBall->pos).length();
    float d1 = (players[2 * team + 1]->pos - theBall->pos).length();
    return d1 > d0 ? 2 * team : 2 * team + 1;
}

player* game::getOtherPlayer(player* p)
{
    for (int i = 0; i < 4; i++)
        if (players[i] == p)
            return players[mateOf(i)];
    return players[0];
}

void game::setController(int i, controller* c)
{
    if (!validPlayer(i))
        return;
    players[i]->setController(c);
    applyDifficulty();
}

void game::setDifficulty(int level)
{
    difficulty = level >= DIFF_EASY && level <= DIFF_HARD ? level : DIFF_NORMAL;
    applyDifficulty();
}

void game::applyDifficulty()
{
    for (int t = 0; t < 2; t++) {
        const bool human = players[2 * t]->ctrl != &players[2 * t]->ownCtrl ||
                           players[2 * t + 1]->ctrl != &players[2 * t + 1]->ownCtrl;
        players[2 * t]->level = players[2 * t + 1]->level = human ? DIFF_NORMAL : difficulty;
    }
}

// ---------------------------------------------------------------------------------------------
// Presentation

void game::easePan()
{
    if (std::fabs(camXTarget - camX) > 0.4f)
        camX = 0.99f * camX + 0.01f * camXTarget;
}

void game::easeZoom()
{
    if (std::fabs(zoomTarget - zoom) > 0.002f)
        zoom = 0.94f * zoom + 0.06f * zoomTarget;
}

void game::stepView()
{
    easePan();
    easeZoom();
    g_feedback = zoom;
}

void game::scoreLayout(int w, int h, float x[4], float y[4])
{
    x[0] = static_cast<float>(w / 4);
    y[0] = static_cast<float>(h / 12);
    x[1] = static_cast<float>(3 * w / 4);
    y[1] = static_cast<float>(h / 12);
    x[2] = static_cast<float>(3 * w / 8);
    y[2] = static_cast<float>(h / 24);
    x[3] = static_cast<float>(5 * w / 8);
    y[3] = static_cast<float>(h / 24);
}

void game::messageOrigin(int w, int h, int textWidth, float& x, float& y)
{
    x = static_cast<float>(w / 2 - textWidth / 2);
    y = static_cast<float>(h / 2);
}


void game::draw()
{
    glClearColor(getBaseCol(BC_SKY, CC_RED) / 256.0f, getBaseCol(BC_SKY, CC_GREEN) / 256.0f,
                 getBaseCol(BC_SKY, CC_BLUE) / 256.0f, 1.0f);
    glClearDepth(1.0);
    glDepthFunc(GL_LESS);
    glEnable(GL_DEPTH_TEST);
    glShadeModel(GL_FLAT);
    glDisable(GL_TEXTURE_2D);

    // a fixed view from behind team 0, y flipped so the y-down world stands upright; the
    // vertical field of view is fixed and a wider window shows more to the sides
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    const double side = screenAspect();
    glFrustum(-side, side, 1, -1, 1.2000000476837158, 10000);
    const vector3d& b = theBall->pos;
    glTranslatef(camX, 65.0f * (1.0f - 0.5f * zoom), 10.0f);
    glTranslatef(-0.5f * b.x, 0, -0.5f * b.z);
    glRotatef(-33.0f, 1, 0, 0);
    glMatrixMode(GL_MODELVIEW);

    // slow motion zooms in around the ball, up to twice the size
    glPushMatrix();
    glScalef(1 + zoom, 1 + zoom, 1 + 0.4f * zoom);
    glTranslatef(-zoom * b.x, -zoom * b.y, -zoom * b.z);

    gameobject::draw();
    glPopMatrix();
}

void game::emitDebugParticles()
{
    const int count = debugParticles < 1024 ? debugParticles : 1024;
    for (int n = 0; n < count; n++) {
        float x = unitJitter() * 130.0f;
        float z = unitJitter() * 100.0f;
        particle* drop = new particle(this, vector3d(x, -90, z), vector3d(), vector3d(),
                                      vector3d(0, 0, 1), 0.5f);
        particle* splash = new particle(nullptr, vector3d(), vector3d(0, -10, 0),
                                        vector3d(3, 3, 3), vector3d(0, 0, 1), 0.3f);
        drop->setDestructionParticle(splash, genrand_int32() % 10 + 1);
    }
}

void game::drawThis()
{
    // court lines; they are opaque, so the sand drawn later leaves them as they are
    glColor4f(0.7f, 0, 0, 1);
    drawBox(box3d(vector3d(0, 0, 0), vector3d(120, -0.1f, 50)));
    glColor4f(1, 1, 1, 1);
}

void game::drawOnSand()
{
    static const float humanColours[4][4] = {
        { 1, 0, 0, 0.3f }, { 0, 0, 1, 0.3f }, { 0, 1, 0, 0.3f }, { 1, 1, 0, 0.3f }
    };
    // the court draws them after its sand and venue, so the translucent markers blend with the
    // sand under them (not with the sky cleared behind it), and before the figures, whose
    // sprites do not write depth and so could not hide them
    glDisable(GL_TEXTURE_2D);

    // a pulsing ring under the ball
    glColor4f(0.4f, 0.4f, 0.4f, 0.6f);
    drawCircleZ(theBall->pos.x, theBall->pos.z, std::sin(10 * clock) + 3, 16, 16, 0);

    for (int i = 0; i < 4; i++) {
        const player* p = players[i];
        glColor4f(0.4f, 0.4f, 0.4f, 0.6f);
        if (i != lastHitterIndex) {
            glColor4f(1, 1, 1, 1);
            drawCircleZ(p->pos.x, p->pos.z, 3.8f, 16, 16, 0);
        }
        if (p->ctrl != &p->ownCtrl) {
            glColor4fv(humanColours[i]);
            glTranslatef(0, -0.1f, 0);
            drawCircleFZ(p->pos.x, p->pos.z, 3.5f, 16, 16, 0);
            glTranslatef(0, 0.1f, 0);
        }
    }
    glColor4f(1, 1, 1, 1);
}

const float game::teamColours[2][3] = { { 1.0f, 0.38f, 0.3f }, { 0.4f, 0.68f, 1.0f } };

// a disc (filled) or ring of radius r about (x, y) in window pixels, with a black rim
static void boardMark(float x, float y, float r, bool filled, const float* colour)
{
    glPushAttrib(GL_TRANSFORM_BIT | GL_ENABLE_BIT | GL_LINE_BIT);
    glDisable(GL_TEXTURE_2D);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    // the score board's coordinates, as the text's, start at the 4:3 layout rectangle
    const layoutrect layout = screenLayout();
    glOrtho(-layout.x, screen_width - layout.x, screen_height - layout.y, -layout.y, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    const int n = 20;
    auto circle = [&](GLenum mode, float radius) {
        glBegin(mode);
        for (int k = 0; k < n; k++) {
            const float a = 6.2831853f * k / n;
            glVertex2f(x + radius * std::cos(a), y + radius * std::sin(a));
        }
        glEnd();
    };
    glColor4f(0, 0, 0, 1);
    circle(GL_POLYGON, r + 2);
    glColor4f(colour[0], colour[1], colour[2], 1);
    if (filled) {
        circle(GL_POLYGON, r);
    } else {
        glLineWidth(2.0f);
        circle(GL_LINE_LOOP, r - 1);
        glColor4f(0, 0, 0, 1);
        circle(GL_POLYGON, r - 2.5f);
    }
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glPopAttrib();
}

// Each team's score in its colour; its rounds as two marks on the side toward the middle
// (filled when won); a ball at the outer side of the serving team; under the score the point
// that could decide.
void game::drawScoreBoard()
{
    float x[4], y[4];
    const layoutrect layout = screenLayout();
    scoreLayout(static_cast<int>(layout.w), static_cast<int>(layout.h), x, y);
    static const float ballColour[3] = { 1.0f, 0.95f, 0.6f };
    const float line = layout.h / 25.0f;
    const float r = line * 0.3f;
    for (int t = 0; t < 2; t++) {
        char text[16];
        snprintf(text, sizeof text, "%d", score[t]);
        const float w = static_cast<float>(GLTextWidth(0, "%s", text));
        const float* c = teamColours[t];
        drawOutlined(text, x[t] - w / 2, y[t], c[0], c[1], c[2]);
        const float mid = y[t] + line * 0.5f;
        // toward the middle: right of team 0's score, left of team 1's
        const float inward = t == 0 ? 1.0f : -1.0f;
        for (int k = 0; k < ROUNDS_TO_WIN; k++)
            boardMark(x[t] + inward * (w / 2 + line * 0.75f + k * line * 0.85f), mid, r,
                      roundsWon[t] > k, c);
        if (servingTeam == t)
            boardMark(x[t] - inward * (w / 2 + line * 0.85f), mid, r * 1.2f, true, ballColour);
        const char* call = pointCall(t);
        if (call[0]) {
            const float cw = static_cast<float>(GLTextWidth(0, "%s", call));
            drawOutlined(call, x[t] - cw / 2, y[t] + line * 1.2f, c[0], c[1], c[2]);
        }
    }
}

void game::drawOutlined(const char* text, float x, float y, float r, float g, float b)
{
    glColor4f(0, 0, 0, 1);
    GLText(0, x - 2, y, "%s", text);
    GLText(0, x + 2, y, "%s", text);
    GLText(0, x, y - 2, "%s", text);
    GLText(0, x, y + 2, "%s", text);
    glColor4f(r, g, b, 1);
    GLText(0, x, y, "%s", text);
}

void game::drawCentred(const char* text, float y, float r, float g, float b)
{
    float x0, y0;
    const layoutrect layout = screenLayout();
    messageOrigin(static_cast<int>(layout.w), static_cast<int>(layout.h), GLTextWidth(0, "%s", text),
                  x0, y0);
    drawOutlined(text, x0, y, r, g, b);
}

const char* const game::matchOverHint = "Press Escape for the menu";

std::string game::serveHint() const
{
    if (!replayLabel.empty())
        return std::string();
    if (state != STATE_SERVING || pendingDelay > 0 || (servingTeam != 0 && servingTeam != 1))
        return std::string();
    const player* server = players[2 * servingTeam];
    const controller* c = server->ctrl;
    if (c == &server->ownCtrl)
        return std::string();
    // the hit key serves; a jump and then the hit key in the air tosses the ball up. The
    // words follow the bindings; a controller that is none of the devices reads as joystick 1.
    int device = bindDeviceOf(c);
    if (device < 0)
        device = 2;
    const std::string hit = inputName(device, g_bindings[device].first(ACT_HIT));
    const std::string jump = inputName(device, g_bindings[device].first(ACT_JUMP));
    return "Press " + hit + " to serve, or " + jump + " then " + hit + " to toss";
}

void game::drawThisPost()
{
    glDisable(GL_DEPTH_TEST);

    drawScoreBoard();

    const int layoutHeight = static_cast<int>(screenLayout().h);
    const float messageY = static_cast<float>(layoutHeight / 2);
    if (state != STATE_MATCHOVER && pendingDelay > 0) {
        // the call of the referee, red with a black outline, while its delay runs
        const int e = static_cast<int>(pendingEvent) >= 0 && pendingEvent <= EV_NEWRALLY ? pendingEvent : 0;
        drawCentred(eventTexts[e], messageY, 1, 0, 0);
    } else if (state == STATE_MATCHOVER && replayLabel.empty()) {
        // the winner's label stays on the board; this line says how to go on
        drawCentred(matchOverHint, messageY, 1, 1, 1);
    }
    const std::string hint = serveHint();
    if (!hint.empty())
        drawCentred(hint.c_str(), static_cast<float>(layoutHeight * 5 / 6), 1, 1, 0);

    glColor4f(1, 1, 1, 1);
    glEnable(GL_DEPTH_TEST);
}

void game::drawReplayLabel()
{
    if (replayLabel.empty())
        return;
    glDisable(GL_DEPTH_TEST);
    drawCentred(replayLabel.c_str(), screenLayout().h * 11 / 12, 1, 0.6f, 0.2f);
    glColor4f(1, 1, 1, 1);
    glEnable(GL_DEPTH_TEST);
}

void game::playAmbience()
{
    std::string prefix(getDTPrefix().mb_str());
    char path[256];
    snprintf(path, sizeof path, "data/sounds/%s_ambience.ogg", prefix.c_str());
    playMusic(path);
}

void game::applyDaytime()
{
    theField->applyDaytime();
    playAmbience();
}

// ---------------------------------------------------------------------------------------------
// State hash (replays check it once per rally)

namespace {
// FNV-1a over the bytes of plain values
struct statehasher {
    unsigned long long h = 0xcbf29ce484222325ULL;
    void bytes(const void* p, size_t n)
    {
        const unsigned char* b = static_cast<const unsigned char*>(p);
        for (size_t i = 0; i < n; i++)
            h = (h ^ b[i]) * 0x100000001b3ULL;
    }
    // a large block a 64-bit word at a time: eight times fewer rounds than bytes
    void block(const void* p, size_t n)
    {
        const unsigned char* b = static_cast<const unsigned char*>(p);
        size_t i = 0;
        for (; i + 8 <= n; i += 8) {
            unsigned long long w;
            memcpy(&w, b + i, 8);
            h = (h ^ w) * 0x100000001b3ULL;
            h ^= h >> 29;
        }
        bytes(b + i, n - i);
    }
    template <class T> void add(const T& v) { bytes(&v, sizeof v); }
    void add(const vector3d& v) { add(v.x); add(v.y); add(v.z); }
    void add(const box3d& b) { add(b.center); add(b.size); }
    void add(const controller& c)
    {
        add(c.left); add(c.right); add(c.up); add(c.down);
        for (bool b : c.button)
            add(b);
        add(c.axisX); add(c.axisY);
    }
};

void hashObject(statehasher& s, const gameobject* o)
{
    s.add(o->pos); s.add(o->vel); s.add(o->accel); s.add(o->gravity); s.add(o->box);
    s.add(o->bounds); s.add(o->bounded); s.add(o->maxSpeed); s.add(o->restitution);
    s.add(o->damping); s.add(o->weight); s.add(o->ownCtrl); s.add(o->pup != nullptr);
    s.add(o->wanted.size()); s.add(o->repelled.size()); s.add(o->children.size());
    for (const gameobject* c : o->children)
        hashObject(s, c);
}

void hashPlayer(statehasher& s, const player* p)
{
    s.add(p->jumpCharge); s.add(p->actionTime); s.add(p->jumpHeld); s.add(p->height);
    s.add(p->sizeScale); s.add(p->ignoreBall); s.add(p->animTime); s.add(p->runPhase);
    s.add(p->lastVelocity); s.add(p->state); s.add(p->action); s.add(p->aiMode);
}
}

unsigned long long game::stateHash()
{
    statehasher s;
    hashObject(s, this);
    for (const player* p : players)
        hashPlayer(s, p);
    s.add(theBall->touchedGround); s.add(theBall->spinAngle); s.add(theBall->spinRate);
    s.add(theBall->lastVelocity);
    s.block(theField->heightMap, sizeof(int) * 512 * 512);   // the court's 512 x 512 cells
    s.add(score[0]); s.add(score[1]); s.add(roundsWon[0]); s.add(roundsWon[1]);
    s.add(touches); s.add(gameMode); s.add(lastHitterIndex); s.add(servingTeam);
    s.add(possessionTeam); s.add(ballSide); s.add(slowMotion); s.add(state); s.add(clock);
    s.add(pendingDelay); s.add(pendingEvent); s.add(serveTimer); s.add(camXTarget);
    s.add(zoomTarget); s.add(debugParticles); s.add(WINSCORE);
    // a level's own state only when one is in play, so a Normal match hashes as it always did
    bool levels = false;
    for (const player* p : players)
        levels = levels || p->level != DIFF_NORMAL;
    if (levels)
        for (const player* p : players) {
            s.add(p->level);
            s.add(p->reaction);
        }
    randomstate r;
    saveRandomState(r);
    s.block(r.mt, sizeof r.mt);
    s.add(r.mti); s.add(r.discrete);
    return s.h;
}
