#ifndef TIBREL_MAINMENU_H
#define TIBREL_MAINMENU_H

#include <string>
#include "menu.h"

class replayplayer;

extern const char* const DAYTIME_NAMES[4];
extern const char* const MODE_NAMES[3];

// A stored choice read into 0 ... count-1 (def when missing or not a number); a damaged value
// is clamped and the repaired value written back.
int readChoice(const wxString& key, int def, int count);

// Controllers, time of day, round length, game mode, the computer's level, outfits, controls,
// replays, online play, "Start!" and "Quit".
class mainmenu : public menu {
public:
    int controlItem;
    int optionsItem;
    // a replay chosen to be watched (result 2), loaded and handed over to the shell
    replayplayer* watch;
    std::string watchName;
    std::string watchNote;   // why the last replay stopped early, for the Replays screen

    mainmenu();
    ~mainmenu() override;
    // the controllers and options from the store, applied to the match (g_thegame)
    void readStored();
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
