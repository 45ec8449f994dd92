#ifndef TIBREL_NET_H
#define TIBREL_NET_H

#include "gameobject.h"

// The net across x = 0: a collision body placed by the match and a drawn mesh with posts.
class net : public gameobject {
public:
    net();
    void drawThis() override;
};

#endif
