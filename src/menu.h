#ifndef TIBREL_MENU_H
#define TIBREL_MENU_H

#include <vector>
#include <wx/string.h>
#include "gameobject.h"

// an action line with values shows its first value beside its label, as a choice line does
enum { ITEM_SELECT = 0, ITEM_SEPARATOR = 1, ITEM_GO = 2 };

class menuitem {
public:
    wxString label;
    std::vector<wxString> values;
    int valueIndex;
    int id;
    int kind;

    menuitem(const wxString& label, int id);
    wxString valueStr() const;
};

// A held direction acts again after REPEAT_DELAY seconds, then every REPEAT_PERIOD.
static const float REPEAT_DELAY = 0.4f;
static const float REPEAT_PERIOD = 0.08f;
// how many repeats fall after heldBefore and no later than heldAfter (seconds held)
int repeatsDue(float heldBefore, float heldAfter);

// A screen of choice, action and separator lines driven by one controller; a screen forwards
// its step and drawing to the sub-screen it has open. Up and Down move, Left and Right step
// the value of a choice line, the two action buttons step it or act; a held direction
// repeats. On a sub-screen the back button (Escape) acts as its back line, or closes it.
class menu : public gameobject {
public:
    wxString title;
    std::vector<menuitem> items;
    unsigned int cursor;
    int lastDir;
    int lastPrev;
    int lastNext;
    int lastSide;             // horizontal direction at the previous step, -1, 0, +1
    int lastBack;
    float heldDir;            // seconds the vertical direction has been held
    float heldSide;
    int backId;               // the line the back button acts as; NO_BACK_LINE closes the screen
    int result;               // 1 start, 2 watch a replay, -1 quit (main menu)
    menu* subMenu;
    menu* parentMenu;
    unsigned int background;
    float fade;               // seconds of the opening transition left

    static const int NO_BACK_LINE = -1;

    menu();

    void drawThis() override;
    void step(float dt) override;
    virtual void onSelect(int index);
    virtual void onGo(int id);
    // a key the screen reads itself beyond its controller (an SDL key symbol, e.g. Escape);
    // true when it used it. The shell offers each key press to the screen shown.
    virtual bool onKey(int key);
    // what the controller holds now counts as seen: it acts only when pressed again
    void ignoreHeldInput();
    // the back button on a sub-screen: its back line, or closing it; deletes the screen
    void goBack();

    void setBackground(const wxString& file);
    void addGo(const wxString& label, int id);
    void addSeparator();
    // row of line i in the 4:3 layout: the lines are centred, a 25th of its height apart
    float lineY(int i) const;

    // hand-over: link child below this screen and give it the edge states and controller
    void openSubMenu(menu* child);
    // the reverse: edge states back to the parent, unlink; the caller deletes this screen
    void detachFromParent();
    // the deepest open screen below this one (this one when none is open): the one shown
    menu* shown();
    // the edge states of what the controller holds now: a key already down when a screen
    // opens over a match chooses nothing
    void holdEdges();

protected:
    // The game's pictures are made for a 4:3 screen, first image row at the top; both draw in
    // the current colour. This one covers the whole window, scaled to its width or height
    // and cropped, never stretched.
    static void drawFullScreenPicture(unsigned int tex);
    // the whole picture in the 4:3 layout rectangle
    static void drawLayoutPicture(unsigned int tex);
    // the background picture over the whole window, the start of every screen
    void drawBackground();
    // texts are drawn as they stand: a "%" in a label is not a format
    static void drawText(int x, float y, const wxString& s);
    static int textWidth(const wxString& s);
};

// One step of the screens below top, which the shown one takes. Each transition shows as a zoom
// blur dying away with the shown screen's fade; g_mix publishes the fade after the step.
void stepScreens(menu& top, float dt);

#endif
