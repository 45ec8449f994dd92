#ifndef TIBREL_PAUSEMENU_H
#define TIBREL_PAUSEMENU_H

#include "menu.h"

// The screen over a paused match: the picture dimmed, "Paused" and its lines. It only
// chooses; the shell holds the match and acts on the choice.
class pausemenu : public menu {
public:
    enum choice { CHOICE_NONE = 0, CHOICE_RESUME = 1, CHOICE_RESTART = 2, CHOICE_LEAVE = 3 };
    choice chosen;
    bool leaveOnly;   // only "Leave Match": a match this game does not hold (an online client's)

    // "Resume", "Restart Match" (when restart) and "Leave Match"; with leaveOnly the last alone
    pausemenu(bool restart, bool leaveOnly);
    void onGo(int id) override;
    void drawThis() override;
};

#endif
