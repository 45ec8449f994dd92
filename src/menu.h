#ifndef TIBREL_MENU_H
#define TIBREL_MENU_H

#include <vector>
#include <wx/string.h>
#include "gameobject.h"

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

// A screen of choice, action and separator lines driven by one controller; a screen forwards
// its step and drawing to the sub-screen it has open.
class menu : public gameobject {
public:
    wxString title;
    std::vector<menuitem> items;
    unsigned int cursor;
    int lastDir;
    int lastPrev;
    int lastNext;
    int result;               // 1 start, -1 quit (main menu)
    menu* subMenu;
    menu* parentMenu;
    unsigned int background;
    float fade;               // seconds of the opening transition left

    menu();

    void drawThis() override;
    void step(float dt) override;
    virtual void onSelect(int index);
    virtual void onGo(int id);

    void setBackground(const wxString& file);
    void addGo(const wxString& label, int id);
    void addSeparator();
    // screen row of line i: the lines are centred, screen_height / 25 apart
    float lineY(int i) const;

    // hand-over: link child below this screen and give it the edge states and controller
    void openSubMenu(menu* child);
    // the reverse: edge states back to the parent, unlink; the caller deletes this screen
    void detachFromParent();
    // the edge states of what the controller holds now: a key already down when a screen
    // opens over a match chooses nothing
    void holdEdges();

protected:
    // a picture over the whole window, first image row at the top, in the current colour
    static void drawFullScreenPicture(unsigned int tex);
};

#endif
