#ifndef TIBREL_BALL_H
#define TIBREL_BALL_H

#include "gameobject.h"

class playfield;

// The volleyball: flight under gravity and damping, bounce, spin, marks, and its own prediction.
class ball : public gameobject {
public:
    ball* predictor;          // private clone; null in the clone
    playfield* theField;
    bool touchedGround;       // set by every bounds bounce, cleared by reset
    float spinAngle;
    vector3d lastVelocity;
    float spinRate;
    unsigned texture;

    explicit ball(bool withPredictor);
    ~ball() override;

    bool isSortable() override;
    void step(float dt) override;
    void onBounce(float v) override;
    void reset() override;
    void drawThis() override;

    // the predictor after trunc(10 t) sub-steps of t / 10; null without one
    ball* getPrediction(float t);
    // where free flight next reaches y = -1, reported with y = -2
    vector3d getNextGroundHitPosition();

private:
    void preparePredictor();
};

#endif
