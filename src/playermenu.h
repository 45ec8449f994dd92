#ifndef TIBREL_PLAYERMENU_H
#define TIBREL_PLAYERMENU_H

#include <vector>
#include "menu.h"

class player;
class texlayer;
class layeredplayertexture;

// One player's outfit layers and height with a live preview of the figure.
class playermenu : public menu {
public:
    float previewTime;
    player* thePlayer;
    int playerIndex;
    int firstLayerItem;
    int lastLayerItem;
    std::vector<texlayer>* layers;
    layeredplayertexture* outfit;

    playermenu(player* p, int index);
    void step(float dt) override;
    void drawThis() override;
    void onSelect(int index) override;
    void onGo(int id) override;

private:
    // one step of the preview figure; what it throws into the scene goes at once
    void stepPreview(float dt);
};

#endif
