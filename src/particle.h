#ifndef TIBREL_PARTICLE_H
#define TIBREL_PARTICLE_H

#include "gameobject.h"

// A dot or streak under a weak gravity that dies at its first bounce and may release debris.
class particle : public gameobject {
public:
    float colour[3];
    particle* debris;         // template released at death; owned
    int debrisCount;
    bool dead;
    float alpha;
    vector3d baseVelocity;
    vector3d spread;

    particle(gameobject* parent, const vector3d& position, const vector3d& velocity,
             const vector3d& spread, const vector3d& colour, float alpha);
    ~particle() override;

    void step(float dt) override;
    void onBounce(float v) override;
    void drawThis() override;
    // this particle and the plain particles right after it, in their order, in as few
    // begin / end pairs as their kinds and point sizes allow
    size_t drawWith(gameobject* const* next, size_t count) override;
    virtual void setDestructionParticle(particle* p, int count);
};

#endif
