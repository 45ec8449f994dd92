#ifndef TIBREL_PLAYER_H
#define TIBREL_PLAYER_H

#include "gameobject.h"

class layeredplayertexture;
class ball;
class playfield;
class powerup;

// One of the four figures: reads its controller into running, jumps, dives, charged jumps and
// ball actions; a computer player writes its own controller in autoMove.
class player : public gameobject {
public:
    enum player_movement_type {
        MOVE_JUMPING = 0,
        MOVE_RUNNING = 1,
        MOVE_FALLING = 2,
        MOVE_DIVING = 3,
        MOVE_STANDING = 4,
        MOVE_CHARGING = 5
    };
    enum player_action_type {
        ACTION_NONE = 0,
        ACTION_DIVE_HIT = 1,
        ACTION_AIR_HIT = 2,
        ACTION_BUMP = 3
    };

    float jumpCharge;         // seconds, 0 ... 2
    float actionTime;         // seconds left of the action
    bool jumpHeld;            // button[0] at the previous control step
    int team;                 // 0 or 1
    int index;                // 0 ... 3
    float height;             // metres, "pl%d/height"
    float sizeScale;          // drawn size factor
    bool ignoreBall;          // set by the match
    float animTime;           // seconds since the run phase changed
    int runPhase;             // 0 or 1
    vector3d lastVelocity;
    layeredplayertexture* outfit;   // owned
    ball* theBall;
    playfield* theField;
    player_movement_type state;
    player_action_type action;
    int aiMode;               // 0 steer only, 1 hit on contact, 2 also jump for high balls

    player(int team, int index);
    ~player() override;

    bool isSortable() override;
    void step(float dt) override;
    void reset() override;
    void drawThis() override;
    void autoMove() override;
    virtual void control(float dt);
    using gameobject::control;

    void jump(bool unused);
    void hit();
    void setAction(player_action_type a, float time);
    void setState(player_movement_type s);
    void setHeight(float h);
    void setPowerup(powerup* p);

    // jump impulse for the present speed, charge and power-up
    float jumpImpulse() const;
    // collision box of a movement state, standing on the feet
    static box3d stateBox(player_movement_type s);
    // drawing: sheet frame, +1 or -1 (mirrored), figure width (signed) and height
    int spriteFrame() const;
    float facing() const;
    vector3d figureSize() const;

private:
    void changeState(player_movement_type s);
    void applyStateRules(float dt);
    void applySpeedLimits();
    void markSand(float size, float depth);
    void playBall();
};

#endif
