#include "replaysmenu.h"

#include <algorithm>
#include <ctime>
#include <GL/gl.h>
#include <SDL/SDL_keysym.h>
#include "main.h"
#include "mainmenu.h"
#include "replay.h"
#include "videoexport.h"

enum { GO_BACK = -1 };

static const char* const KEYS_FOOTER[2] = {
    "Return watches   K keeps or un-keeps   Delete deletes",
    "E writes a video   Escape goes back",
};

// one video at a time, written on while the player goes elsewhere
static videoexport g_export;

replaysmenu::replaysmenu(mainmenu& o, const std::string& folder)
    : list(folder), confirming(false), confirmed(-1), exporting(false), owner(o)
{
    title = "Replays";
    background = o.background;
    rebuild(0);
}

void replaysmenu::rebuild(int select)
{
    items.clear();
    for (size_t i = 0; i < list.entries.size(); i++)
        addGo(describe(list.entries[i]), (int)i);
    if (!items.empty())
        addSeparator();
    addGo("Back", GO_BACK);
    const int n = (int)list.entries.size();
    cursor = n == 0 ? 0 : (unsigned)std::max(0, std::min(select, n - 1));
}

wxString replaysmenu::describe(const replaysummary& e)
{
    char when[32];
    const time_t t = (time_t)e.when;
    struct tm local;
    localtime_r(&t, &local);
    strftime(when, sizeof when, "%Y-%m-%d %H:%M", &local);
    wxString line = when;
    if (e.damaged)
        return line + "   damaged" + (e.kept ? "   (kept)" : "");
    line += "   ";
    line += e.gameMode >= 0 ? MODE_NAMES[e.gameMode] : "?";
    line += "   ";
    line += e.timeOfDay >= 0 ? DAYTIME_NAMES[e.timeOfDay] : "?";
    line += "   ";
    line += e.finished ? wxString::Format("%d-%d", e.rounds[0], e.rounds[1]) : wxString("unfinished");
    const double minutes = e.steps * STEP_SECONDS / 60.0;
    line += minutes < 0.5 ? wxString("   <1 min") : wxString::Format("   %d min", (int)(minutes + 0.5));
    if (e.kept)
        line += "   (kept)";
    return line;
}

int replaysmenu::selected() const
{
    return cursor < items.size() && items[cursor].id >= 0 ? items[cursor].id : -1;
}

void replaysmenu::step(float dt)
{
    // why the last replay stopped early, when it did
    if (!owner.watchNote.empty()) {
        status = wxString::FromUTF8(owner.watchNote.c_str());
        owner.watchNote.clear();
    }
    if (g_export.running() || exporting) {
        const std::string line = g_export.poll();
        if (!line.empty())
            status = wxString::FromUTF8(line.c_str());
        exporting = g_export.running();
    }
    menu::step(dt);   // may close and delete this screen
}

void replaysmenu::onGo(int id)
{
    if (id == GO_BACK) {
        close();
        return;
    }
    if (confirming) {
        // Return on the line asked about deletes it; the cursor moved away keeps it
        confirming = false;
        std::string error;
        if (id != confirmed)
            status = "Not deleted.";
        else if (list.remove((size_t)id, error))
            status = "Deleted.";
        else
            status = wxString::FromUTF8(error.c_str());
        rebuild(id);
        return;
    }
    watch(id);
}

void replaysmenu::watch(int i)
{
    const replaysummary& e = list.entries[(size_t)i];
    if (e.damaged) {
        status = "This replay is damaged and cannot be played.";
        return;
    }
    replayplayer* p = new replayplayer();
    std::string error;
    const std::string path = list.pathOf(e);
    if (!p->load(path, error)) {
        delete p;
        status = wxString::FromUTF8(error.c_str());
        return;
    }
    delete owner.watch;
    owner.watch = p;
    owner.watchName = path;
    owner.result = 2;
    status.clear();
}

void replaysmenu::toggleKept(int i)
{
    const bool keep = !list.entries[(size_t)i].kept;
    std::string error;
    if (!list.setKept((size_t)i, keep, error)) {
        status = wxString::FromUTF8(error.c_str());
        return;
    }
    items[cursor].label = describe(list.entries[(size_t)i]);
    status = keep ? "Kept: never removed to make room for new replays."
                  : "No longer kept: removed once 20 newer replays follow it.";
}

bool replaysmenu::onKey(int key)
{
    const int i = selected();
    if (confirming && key != SDLK_RETURN) {
        // anything but Return keeps the replay; Escape leaves the screen as well, as on
        // every screen
        confirming = false;
        status = "Not deleted.";
        return key == SDLK_DELETE;
    }
    if (i < 0)
        return false;
    if (key == SDLK_k) {
        toggleKept(i);
        return true;
    }
    if (key == SDLK_e) {
        const replaysummary& e = list.entries[(size_t)i];
        std::string error;
        if (e.damaged)
            status = "This replay is damaged and cannot be played.";
        else if (g_export.start(list.pathOf(e), e.steps, error))
            exporting = true;
        else
            status = wxString::FromUTF8(error.c_str());
        return true;
    }
    if (key == SDLK_DELETE) {
        confirming = true;
        confirmed = i;
        status = "Delete " + describe(list.entries[(size_t)i]) + "?  Return deletes, any other key keeps it.";
        return true;
    }
    return false;
}

void replaysmenu::close()
{
    detachFromParent();
    delete this;
}

wxString replaysmenu::fitted(const wxString& text, int width)
{
    if (textWidth(text) <= width)
        return text;
    // the head ("Video written: ") stays, the start of the rest goes: a path keeps its file name
    const int colon = text.Find(": ");
    const wxString head = colon == wxNOT_FOUND ? wxString() : text.Left(colon + 2) + "...";
    wxString tail = text.Mid(colon == wxNOT_FOUND ? 0 : colon + 2);
    while (!tail.empty() && textWidth(head + tail) > width)
        tail.Remove(0, 1);
    return head + tail;
}

int replaysmenu::firstShown(int c, int n)
{
    return std::max(0, std::min(c - VISIBLE_ROWS / 2, n - VISIBLE_ROWS));
}

void replaysmenu::drawThis()
{
    glClearColor(0, 0, 0, 1);
    if (subMenu) {
        subMenu->drawThis();
        return;
    }
    drawBackground();
    // laid out in the 4:3 rectangle, as every menu
    const layoutrect layout = screenLayout();
    const float lineHeight = layout.h / 25.0f;
    const int half = static_cast<int>(layout.w) / 2;
    glColor4f(1, 1, 1, 1);
    drawText(half - textWidth(title) / 2, 32, title);

    // the list, scrolled so the cursor stays in view
    const int n = (int)list.entries.size();
    // a line lower than other menus: the long lines would run under the ball at the top right
    const float top = 32 + 3 * lineHeight;
    if (n == 0)
        drawText(half - textWidth("No replays yet") / 2, top, "No replays yet");
    const int first = firstShown((int)cursor, n);
    for (int r = 0; r < VISIBLE_ROWS && first + r < n; r++) {
        const int i = first + r;
        if ((unsigned)i == cursor)
            glColor4f(1, 0, 0, 1);
        else if (list.entries[(size_t)i].damaged)
            glColor4f(0.6f, 0.6f, 0.6f, 1);
        else
            glColor4f(1, 1, 1, 1);
        drawText(half - textWidth(items[(size_t)i].label) / 2, top + r * lineHeight, items[(size_t)i].label);
    }
    glColor4f(0.75f, 0.85f, 1.0f, 1);
    if (first > 0)
        drawText(half - textWidth("...") / 2, top - lineHeight, "...");
    if (first + VISIBLE_ROWS < n)
        drawText(half - textWidth("...") / 2, top + VISIBLE_ROWS * lineHeight, "...");

    // "Back", the status and the keys
    const menuitem& back = items.back();
    if (cursor + 1 == items.size())
        glColor4f(1, 0, 0, 1);
    else
        glColor4f(1, 1, 1, 1);
    drawText(half - textWidth(back.label) / 2, top + (VISIBLE_ROWS + 1.5f) * lineHeight, back.label);
    glColor4f(1, 1, 0, 1);
    if (!status.empty()) {
        const wxString line = fitted(status, static_cast<int>(layout.w) - 20);
        drawText(half - textWidth(line) / 2, top + (VISIBLE_ROWS + 3) * lineHeight, line);
    }
    glColor4f(0.75f, 0.85f, 1.0f, 1);
    for (int k = 0; k < 2; k++)
        drawText(half - textWidth(KEYS_FOOTER[k]) / 2, layout.h - (2.5f - k) * lineHeight,
                 KEYS_FOOTER[k]);
    glColor4f(1, 1, 1, 1);
}
