#ifndef TIBREL_REPLAYSMENU_H
#define TIBREL_REPLAYSMENU_H

#include <string>
#include "menu.h"
#include "replaylist.h"

class mainmenu;

// The recorded matches, newest first: Return watches one, K keeps or un-keeps it, Delete
// removes it after a confirmation, E writes it as a video next to it (with ffmpeg), Escape
// (or "Back") goes back.
class replaysmenu : public menu {
public:
    replaylist list;
    wxString status;        // the line under the list: a question, a reason, a note
    bool confirming;        // Delete was pressed: Return deletes, anything else keeps
    int confirmed;          // the entry Delete was pressed on
    bool exporting;         // a video of this screen's is being written

    replaysmenu(mainmenu& owner, const std::string& folder);
    void step(float dt) override;
    void drawThis() override;
    void onGo(int id) override;
    bool onKey(int key) override;

    // one line of the list: date and time, mode, time of day, score, length, kept
    static wxString describe(const replaysummary& e);
    // text cut to width pixels: what follows its first ": " loses its start ("...replays/x.mp4")
    static wxString fitted(const wxString& text, int width);
    // the list entry under the cursor, or -1 (on "Back")
    int selected() const;
    // rows of the list shown at once; the list scrolls with the cursor
    static const int VISIBLE_ROWS = 13;
    // the first row shown for a cursor on entry c of n
    static int firstShown(int c, int n);

private:
    mainmenu& owner;
    void rebuild(int select);
    void watch(int i);
    void toggleKept(int i);
    void close();
};

#endif
