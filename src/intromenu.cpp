#include "intromenu.h"

#include <GL/gl.h>
#include "glstuff.h"
#include "main.h"
#include "sound.h"

enum { GO_EXIT = 99 };

intromenu::intromenu(const wxString& img, float shown, float in, float out)
    : displayTime(shown), fadeIn(in), fadeOut(out), elapsed(0), alpha(0), image(img), texture(0)
{
    addGo("exit", GO_EXIT);
    backId = GO_EXIT;
    createAndLoadTexture(&texture, image.utf8_str());
}

intromenu::~intromenu()
{
    if (texture)
        glDeleteTextures(1, &texture);
}

void intromenu::reset()
{
    elapsed = 0;
}

// hands the edge states back, calms the screen effects and goes away
static void finish(intromenu* m)
{
    m->detachFromParent();
    g_feedback = 0;
    g_shake = 0;
    delete m;
}

void intromenu::step(float dt)
{
    if (subMenu) {
        subMenu->step(dt);
        return;
    }
    elapsed += dt;
    // a fade of zero length is skipped rather than divided by
    if (fadeIn > 0 && elapsed < fadeIn)
        alpha = elapsed / fadeIn;
    else if (fadeOut > 0 && elapsed > displayTime - fadeOut)
        alpha = 1 - (elapsed - (displayTime - fadeOut)) / fadeOut;
    else
        alpha = 1;

    // the picture pulses with the music and blurs while it fades
    g_feedback = g_shake = g_voltage + (1 - alpha);

    if (elapsed > displayTime) {
        finish(this);
        return;
    }
    menu::step(dt);   // a button on the one "exit" line skips the picture
}

void intromenu::onGo(int)
{
    finish(this);
}

void intromenu::drawThis()
{
    if (subMenu) {
        subMenu->drawThis();
        return;
    }
    glClearColor(0, 0, 0, 0);
    glDisable(GL_DEPTH_TEST);
    glShadeModel(GL_FLAT);
    glEnable(GL_TEXTURE_2D);
    glColor4f(1, 1, 1, alpha);
    // a picture that did not load shows nothing (not a white square)
    if (!texture)
        return;
    // the whole picture in the 4:3 layout, over a dimmed copy that covers the rest of a
    // wider or taller window
    const layoutrect layout = screenLayout();
    if (layout.w < screen_width || layout.h < screen_height) {
        glColor4f(0.4f, 0.4f, 0.4f, alpha);
        drawFullScreenPicture(texture);
    }
    glColor4f(1, 1, 1, alpha);
    drawLayoutPicture(texture);
}
