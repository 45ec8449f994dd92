#ifndef TIBREL_MAINMENU_H
#define TIBREL_MAINMENU_H

#include "menu.h"

// Controllers, time of day, round length, game mode, the computer's level, outfits, "Start!" and "Quit".
class mainmenu : public menu {
public:
    int controlItem;
    int optionsItem;

    mainmenu();
    void onSelect(int index) override;
    void onGo(int id) override;
    // the lines, then the keys of the two keyboard halves in a footer under them
    void drawThis() override;

    static const char* const keysFooter[2];
    // top of footer line i (0 or 1) in window pixels
    static float footerY(int i);
};

#endif
