#include "pausemenu.h"

#include <GL/gl.h>
#include "main.h"
#include "textrender.h"

pausemenu::pausemenu(bool restart, bool leave) : chosen(CHOICE_NONE), leaveOnly(leave)
{
    if (!leaveOnly) {
        addGo("Resume", CHOICE_RESUME);
        if (restart)
            addGo("Restart Match", CHOICE_RESTART);
    }
    addGo("Leave Match", CHOICE_LEAVE);
}

void pausemenu::onGo(int id)
{
    chosen = static_cast<choice>(id);
}

void pausemenu::drawThis()
{
    // the match picture below, dimmed to half
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 1, 1, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    glColor4f(0, 0, 0, 0.55f);
    glBegin(GL_QUADS);
    glVertex2f(0, 0);
    glVertex2f(1, 0);
    glVertex2f(1, 1);
    glVertex2f(0, 1);
    glEnd();

    const char* const word = "Paused";
    glColor4f(1, 1, 0, 1);
    GLText(0, (screen_width - GLTextWidth(0, "%s", word)) / 2.0f, lineY(-2), "%s", word);
    menu::drawThis();
    glColor4f(1, 1, 1, 1);
}
