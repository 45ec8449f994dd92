#ifndef TIBREL_MAINMENU_H
#define TIBREL_MAINMENU_H

#include <string>
#include "menu.h"

// A stored choice read into 0 ... count-1 (def when missing or not a number); a damaged value
// is clamped and the repaired value written back.
int readChoice(const wxString& key, int def, int count);

// Controllers, time of day, round length, game mode, the computer's level, outfits, controls,
// "Start!" and "Quit".
class mainmenu : public menu {
public:
    int controlItem;
    int optionsItem;

    mainmenu();
    void onSelect(int index) override;
    void onGo(int id) override;
    // the lines, then the keys of the two keyboard halves in a footer under them
    void drawThis() override;

    // footer line i: the keys keyboard i + 1 is bound to now
    static std::string keysFooter(int i);
    // top of footer line i (0 or 1) in window pixels
    static float footerY(int i);
};

#endif
