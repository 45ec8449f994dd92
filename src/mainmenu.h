#ifndef TIBREL_MAINMENU_H
#define TIBREL_MAINMENU_H

#include "menu.h"

// Controllers, time of day, round length, game mode, outfits, "Start!" and "Quit".
class mainmenu : public menu {
public:
    int controlItem;
    int optionsItem;

    mainmenu();
    void onSelect(int index) override;
    void onGo(int id) override;
};

#endif
