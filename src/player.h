#ifndef TIBREL_PLAYER_H
#define TIBREL_PLAYER_H

#include "gameobject.h"

class layeredplayertexture;
class ball;
class playfield;
class powerup;

// How well a computer player plays (the main menu's "Computer:" line). Normal is the computer
// player as it always was; the others change its reaction, top speed and aim.
enum difficulty { DIFF_EASY = 0, DIFF_NORMAL = 1, DIFF_HARD = 2 };
struct skill {
    float reactionMin, reactionMax;   // seconds before it turns to a new ball
    float speedScale;                 // factor on its top running speed
    float aimError;                   // largest error added to a hit's velocity along x and z
    float placement;                  // velocity along z that sends its attacks away from the
                                      // nearer opponent
};
// the figures of a level; an unknown level gives Normal's
const skill& skillOf(int level);

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
    int level;                // difficulty of this player when the computer drives it
    float reaction;           // seconds left before it turns to the ball it was sent to

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
    // true when the computer drives the player at a level other than Normal
    bool skilled() const;
    // sent to a new ball: a computer player off Normal waits its reaction time first
    void turnToBall();

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
