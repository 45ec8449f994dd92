#ifndef TIBREL_GAMEOBJECT_H
#define TIBREL_GAMEOBJECT_H

#include <vector>
#include <wx/string.h>
#include "vector3d.h"
#include "controller.h"

class powerup;

// Base of everything simulated or drawn: an owned tree of children, integration with the
// acceleration factor 90, a bounds bounce, depth ordering and steering by wanted / repelled.
class gameobject {
public:
    vector3d pos;
    vector3d vel;             // units per second
    float maxSpeed;           // used by players
    float restitution;        // factor on a reflected component at a bounds bounce
    vector3d accel;           // own acceleration, cleared by reset
    vector3d gravity;         // constant acceleration, kept by reset
    box3d box;                // collision box, center relative to pos
    controller* ctrl;         // never null: ownCtrl or an outside controller
    controller ownCtrl;       // written by autoMove
    box3d bounds;             // region the box stays inside when bounded
    bool bounded;
    bool noAutoMove;
    wxString label;
    vector3d damping;         // used by ball and players
    float weight;             // steering weight as a target of others
    gameobject* parent;
    powerup* pup;             // held power-up (players)
    std::vector<gameobject*> children;   // owned
    std::vector<gameobject*> repelled;   // not owned
    std::vector<gameobject*> wanted;     // not owned

    gameobject();
    explicit gameobject(gameobject* parent);
    virtual ~gameobject();

    void defaults();

    virtual void setController(controller* c);
    virtual bool isSortable();
    virtual void draw();
    // draws this object and perhaps the siblings that follow it in one go; `next` points at
    // the `count` siblings after this one. Returns how many of them it drew as well.
    virtual size_t drawWith(gameobject* const* next, size_t count);
    virtual void drawThis();
    virtual void drawThisPost();
    virtual void control(float dt, int a, int b, unsigned int c);
    virtual void step(float dt);
    virtual void reset();
    virtual void autoMove();
    virtual void onBounce(float v);

    void setWanted(gameobject* o);
    void setRepelled(gameobject* o);
    void removeWanted(gameobject* o);
    void removeRepelled(gameobject* o);
    bool doesCollide(gameobject* other);

    // append to children and set its parent
    void adopt(gameobject* child);
    // take out of children without deleting it
    void release(gameobject* child);
    // told after a child joined or left children (left: perhaps while it is being destroyed)
    virtual void adopted(gameobject* child);
    virtual void released(gameobject* child);

private:
    // during the child loop of step: the slot of the child being stepped, or -1. A child that
    // leaves in its own step (a particle that lands) leaves a hole there, closed after the
    // loop in one pass, so thousands of children leave in linear time and keep their order.
    long steppedSlot = -1;
    bool holes = false;
};

#endif
