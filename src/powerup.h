#ifndef TIBREL_POWERUP_H
#define TIBREL_POWERUP_H

#include "gameobject.h"

class player;

enum poweruptype {
    PU_RANDOM = 0,
    PU_DIZZY = 1,
    PU_SPEEDUP = 2,
    PU_SLOWDOWN = 3,
    PU_SUPERJUMP = 4,
    PU_GIANT = 5,
    PU_SMALL = 6,
    PU_JETPACK = 7
};

extern unsigned g_pups[8];      // icon textures by kind
extern bool g_pups_inited;

// A pickup on the sand: a spinning cube with the icon, gone after lifetime seconds.
class powerupobject : public gameobject {
public:
    poweruptype kind;
    unsigned texture;
    float lifetime;
    float age;

    powerupobject(const vector3d& pos, poweruptype kind, float lifetime);
    bool isSortable() override;
    void step(float dt) override;
    void drawThis() override;
};

// The effect a player holds for duration seconds.
class powerup {
public:
    poweruptype kind;         // never PU_RANDOM
    player* owner;
    float duration;
    float elapsed;
    float savedMaxSpeed;
    box3d savedBox;
    float savedSizeScale;
    box3d workBox;

    powerup(poweruptype kind, player* owner, float duration);
    virtual ~powerup();
    // may delete this
    void step(float dt);
    void remove();
};

#endif
