#include "playermenu.h"

#include <cmath>
#include <cstdlib>
#include <GL/gl.h>
#include "game.h"
#include "layeredplayertexture.h"
#include "main.h"
#include "particle.h"
#include "player.h"
#include "playfield.h"
#include "random.h"

enum { GO_OK = 100, GO_RANDOM = 101, HEIGHT_ID = 199 };

// the height line: 1.50 m ... 2.50 m in centimetre steps
static const int MIN_CM = 150;
static const int MAX_CM = 250;
// seconds between the preview figure's movement states
static const float PREVIEW_PERIOD = 1.5f;

// line index of a height; one outside the list (a damaged setting) is clamped into it
static int heightIndex(float h)
{
    if (!(h > 1.5f))   // also a NaN
        return 0;
    if (h >= 2.5f)
        return MAX_CM - MIN_CM;
    return (int)std::lround((h - 1.5f) * 100.0f);
}

playermenu::playermenu(player* p, int index)
    : previewTime(0), thePlayer(p), playerIndex(index), firstLayerItem(0), lastLayerItem(-1),
      layers(nullptr), outfit(p->outfit)
{
    title = wxString::Format("Customize Player %d", index + 1);
    backId = GO_OK;
    addGo("OK!", GO_OK);
    addGo("Random!", GO_RANDOM);

    firstLayerItem = (int)items.size();
    if (outfit) {
        layers = &outfit->layers;
        for (const texlayer& l : *layers) {
            menuitem it(l.name, 0);
            it.values = outfit->findTextureNames(l.name);
            it.valueIndex = outfit->findCurrentTextureIndex(l.name);
            items.push_back(it);
        }
    }
    lastLayerItem = (int)items.size() - 1;

    menuitem h("Height", HEIGHT_ID);
    for (int cm = MIN_CM; cm <= MAX_CM; cm++)
        h.values.push_back(wxString::Format("%d.%02d m", cm / 100, cm % 100));
    h.valueIndex = heightIndex(p->height);
    items.push_back(h);

    addSeparator();
    addGo("OK!", GO_OK);
}

void playermenu::step(float dt)
{
    // the preview figure stands at the origin and runs through its movement states
    previewTime += dt;
    thePlayer->pos = vector3d(0, 0, 0);
    if (previewTime > PREVIEW_PERIOD) {
        previewTime = 0;
        thePlayer->setState((player::player_movement_type)(thePlayer->state + 1));
    }
    stepPreview(dt);
    menu::step(dt);   // may close and delete this screen
}

// The match is not stepped while this screen is open, so dust, sparks and jetpack flames the
// preview figure throws into the court or the match would pile up there and all fly at once
// when the next match starts. Nobody sees them here: they go as soon as they are made.
void playermenu::stepPreview(float dt)
{
    gameobject* owners[2] = { thePlayer->theField, g_thegame };
    size_t before[2];
    for (int k = 0; k < 2; k++)
        before[k] = owners[k] ? owners[k]->children.size() : 0;
    thePlayer->step(dt);
    for (int k = 0; k < 2; k++) {
        if (!owners[k] || (k == 1 && owners[1] == owners[0]))
            continue;
        std::vector<gameobject*>& list = owners[k]->children;
        for (size_t i = list.size(); i > before[k]; i--)
            if (dynamic_cast<particle*>(list[i - 1]))
                delete list[i - 1];   // takes itself out of the list
    }
}

// A perspective in which the 4:3 layout rectangle spans -4/3 ... 4/3 across and 1 ... -1 down
// (y down) at the near plane 1.2, so the figure stands at the same place beside the lines and
// keeps its proportions whatever the window's shape.
static void layoutFrustum()
{
    const layoutrect l = screenLayout();
    const double across = 8.0 / 3 / l.w, down = 2.0 / l.h;   // frustum units per pixel
    glFrustum(-4.0 / 3 - l.x * across, 4.0 / 3 + (screen_width - l.x - l.w) * across,
              1 + (screen_height - l.y - l.h) * down, -1 - l.y * down, 1.2f, 800);
}

void playermenu::drawThis()
{
    menu::drawThis();

    // the preview figure, in front of the lines with a depth buffer of its own
    glClearColor(0, 0, 0, 0);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glShadeModel(GL_FLAT);
    glDisable(GL_TEXTURE_2D);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    layoutFrustum();
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(0, 65, 20);
    glTranslatef(-40, -40, 35);
    glClear(GL_DEPTH_BUFFER_BIT);
    thePlayer->draw();
}

void playermenu::onSelect(int index)
{
    if (index < 0 || index >= (int)items.size())
        return;
    const menuitem& it = items[index];
    if (outfit && index >= firstLayerItem && index <= lastLayerItem) {
        outfit->autoRebuild = true;
        outfit->setLayer((*layers)[index - firstLayerItem].name, it.valueStr());
        outfit->saveconfig();
    }
    if (it.id == HEIGHT_ID) {
        int i = it.valueIndex < 0 ? 0 : (it.valueIndex > MAX_CM - MIN_CM ? MAX_CM - MIN_CM
                                                                           : it.valueIndex);
        thePlayer->setHeight(i * 0.01f + 1.5f);
    }
}

void playermenu::onGo(int id)
{
    if (id == GO_OK) {
        // every change was stored when it was made
        detachFromParent();
        delete this;
        return;
    }
    if (id == GO_RANDOM && outfit) {
        // one rebuild and one save for the whole outfit
        outfit->autoRebuild = false;
        for (int i = firstLayerItem; i <= lastLayerItem; i++) {
            menuitem& it = items[i];
            if (!it.values.empty())
                it.valueIndex = randDiscrete() % (int)it.values.size();
            outfit->setLayer((*layers)[i - firstLayerItem].name, it.valueStr());
        }
        outfit->autoRebuild = true;
        outfit->construct();
        outfit->saveconfig();
    }
}
