#include "menu.h"

#include <algorithm>
#include <GL/gl.h>
#include "controller.h"
#include "glstuff.h"
#include "main.h"
#include "sound.h"
#include "textrender.h"

// ---- lines ----

menuitem::menuitem(const wxString& l, int i)
    : label(l), valueIndex(0), id(i), kind(ITEM_SELECT)
{
}

static bool inList(const menuitem& it)
{
    return it.valueIndex >= 0 && (size_t)it.valueIndex < it.values.size();
}

// A value outside the list (a damaged or unknown stored number) is shown as a number, like
// a line without values, and never indexes outside the list.
wxString menuitem::valueStr() const
{
    if (!inList(*this))
        return wxString::Format("unknown value %d", valueIndex);
    return values[(size_t)valueIndex];
}

// One value forward (+1) or backward (-1), wrapping around the list or, without wrap, staying
// at its end; from outside the list forward enters it at the first value and backward at the
// last. An empty list just counts, so its line keeps showing the number. False when nothing
// changed.
static bool stepValue(menuitem& it, int d, bool wrap = true)
{
    int n = (int)it.values.size();
    if (n == 0) {
        it.valueIndex += d;
        return true;
    }
    int v = inList(it) ? it.valueIndex + d : (d > 0 ? 0 : n - 1);
    if (v < 0)
        v = wrap ? n - 1 : 0;
    else if (v >= n)
        v = wrap ? 0 : n - 1;
    const bool changed = v != it.valueIndex;
    it.valueIndex = v;
    return changed;
}

// ---- screen ----

menu::menu()
    : cursor(0), lastDir(0), lastPrev(0), lastNext(0), lastSide(0), lastBack(0), heldDir(0),
      heldSide(0), backId(NO_BACK_LINE), result(0), subMenu(nullptr), parentMenu(nullptr),
      background(0), fade(0.0f)
{
}

void menu::setBackground(const wxString& file)
{
    createAndLoadTexture(&background, file.utf8_str());
}

void menu::addGo(const wxString& l, int i)
{
    menuitem it(l, 0);
    it.kind = ITEM_GO;
    it.id = i;
    items.push_back(it);
}

void menu::addSeparator()
{
    menuitem it("empty", 0);
    it.kind = ITEM_SEPARATOR;
    items.push_back(it);
}

// what a held key or button has done so far goes with it to the screen shown next, so it
// neither acts again there nor starts its repeat afresh
static void handOverEdges(const menu& from, menu& to)
{
    to.lastDir = from.lastDir;
    to.lastPrev = from.lastPrev;
    to.lastNext = from.lastNext;
    to.lastSide = from.lastSide;
    to.lastBack = from.lastBack;
    to.heldDir = from.heldDir;
    to.heldSide = from.heldSide;
}

void menu::openSubMenu(menu* child)
{
    subMenu = child;
    child->parentMenu = this;
    handOverEdges(*this, *child);
    child->setController(ctrl);
    child->fade = 1.0f;
}

void menu::detachFromParent()
{
    if (!parentMenu)
        return;
    handOverEdges(*this, *parentMenu);
    if (parentMenu->subMenu == this)
        parentMenu->subMenu = nullptr;
    parentMenu = nullptr;
}

menu* menu::shown()
{
    menu* m = this;
    while (m->subMenu)
        m = m->subMenu;
    return m;
}

void stepScreens(menu& top, float dt)
{
    g_feedback = std::min(top.shown()->fade, 10.0f);
    top.step(dt);
    g_mix = top.shown()->fade;
}

void menu::onSelect(int)
{
}

void menu::onGo(int)
{
}

bool menu::onKey(int)
{
    return false;
}

int repeatsDue(float heldBefore, float heldAfter)
{
    // instants reached by t seconds of holding; the margin keeps sums of 0.02 s steps that
    // fall a rounding short of an instant from missing it
    auto reached = [](float t) {
        const float margin = 1e-4f;
        if (t + margin < REPEAT_DELAY)
            return 0;
        return (int)((t - REPEAT_DELAY + margin) / REPEAT_PERIOD) + 1;
    };
    return std::max(0, reached(heldAfter) - reached(heldBefore));
}

// -1, +1, or 0 for none or both; any stick deflection wins over the keys
static int direction(float value)
{
    return value < 0 ? -1 : (value > 0 ? 1 : 0);
}

// -1 up, +1 down
static int verticalDirection(const controller* c)
{
    return direction(c->vertical());
}

// -1 left, +1 right
static int sideDirection(const controller* c)
{
    return direction(c->horizontal());
}

// True when a direction acts in this step: when it has just changed to a direction, or has
// been held into a repeat. held counts the seconds of the present direction.
static bool directionActs(int dir, int& last, float& held, float dt)
{
    if (dir != last) {
        last = dir;
        held = 0;
        return dir != 0;
    }
    if (dir == 0)
        return false;
    const float before = held;
    held += dt;
    return repeatsDue(before, held) > 0;
}

void menu::holdEdges()
{
    if (!ctrl)
        return;
    lastDir = verticalDirection(ctrl);
    lastPrev = ctrl->button[0] ? 1 : 0;
    lastNext = ctrl->button[1] ? 1 : 0;
}

// One line in direction dir, wrapping, then on past separators. At most one lap, so a screen
// made only of separators cannot hang the step.
static unsigned int moveCursor(const std::vector<menuitem>& items, unsigned int cursor, int dir)
{
    int n = (int)items.size();
    if (n == 0)
        return cursor;
    int c = (int)cursor < n ? (int)cursor : 0;
    for (int moved = 0; moved < n; moved++) {
        c += dir;
        if (c < 0)
            c = n - 1;
        else if (c > n - 1)
            c = 0;
        if (items[c].kind != ITEM_SEPARATOR)
            break;
    }
    return (unsigned int)c;
}

void menu::step(float dt)
{
    if (subMenu) {
        subMenu->step(dt);
        return;
    }
    if (fade > 0)
        fade -= dt;
    else
        fade = 0;
    if (!ctrl)
        return;

    const int dir = verticalDirection(ctrl);
    if (directionActs(dir, lastDir, heldDir, dt)) {
        cursor = moveCursor(items, cursor, dir);
        playSound(SOUND_JUMP, vector3d(0, 0, 0));
    }

    // An action may delete this screen: nothing here touches it after onSelect or onGo.
    // Left and Right stop at the ends of a list, where the buttons wrap around.
    const int side = sideDirection(ctrl);
    if (directionActs(side, lastSide, heldSide, dt) && cursor < items.size() &&
        items[cursor].kind == ITEM_SELECT && stepValue(items[cursor], side, false)) {
        playSound(SOUND_HIT, vector3d(0, 0, 0));
        onSelect((int)cursor);
        return;
    }

    int next = ctrl->button[1] ? 1 : 0;
    if (next != lastNext) {
        lastNext = next;
        if (next) {
            playSound(SOUND_HIT, vector3d(0, 0, 0));
            if (cursor < items.size()) {
                menuitem& it = items[cursor];
                if (it.kind == ITEM_SELECT) {
                    stepValue(it, 1);
                    onSelect((int)cursor);
                    return;
                }
                if (it.kind == ITEM_GO) {
                    onGo(it.id);
                    return;
                }
            }
        }
    }

    int prev = ctrl->button[0] ? 1 : 0;
    if (prev != lastPrev) {
        lastPrev = prev;
        if (prev) {
            playSound(SOUND_HIT, vector3d(0, 0, 0));
            if (cursor < items.size()) {
                menuitem& it = items[cursor];
                if (it.kind == ITEM_SELECT) {
                    stepValue(it, -1);
                    onSelect((int)cursor);
                    return;
                } else if (it.kind == ITEM_GO) {
                    onGo(it.id);
                    return;
                }
            }
        }
    }

    int back = ctrl->button[BUTTON_BACK] ? 1 : 0;
    if (back != lastBack) {
        lastBack = back;
        if (back && parentMenu)
            goBack();
    }
}

void menu::ignoreHeldInput()
{
    if (!ctrl)
        return;
    lastDir = verticalDirection(ctrl);
    lastSide = sideDirection(ctrl);
    heldDir = heldSide = 0;
    lastNext = ctrl->button[1] ? 1 : 0;
    lastPrev = ctrl->button[0] ? 1 : 0;
    lastBack = ctrl->button[BUTTON_BACK] ? 1 : 0;
}

void menu::goBack()
{
    playSound(SOUND_HIT, vector3d(0, 0, 0));
    if (backId != NO_BACK_LINE) {
        onGo(backId);
        return;
    }
    detachFromParent();
    delete this;
}

// ---- drawing ----

// tex over r, in window pixels with y growing downward like the picture's rows
static void drawPicture(unsigned int tex, const layoutrect& r)
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, screen_width, screen_height, 0, -100, 100);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    drawSprite(tex, vector3d(r.x + r.w / 2, r.y + r.h / 2, 0), vector3d(r.w, r.h, 1), 0, 1, 1);
}

void menu::drawFullScreenPicture(unsigned int tex)
{
    drawPicture(tex, coverLayout());
}

void menu::drawLayoutPicture(unsigned int tex)
{
    drawPicture(tex, screenLayout());
}

int menu::textWidth(const wxString& s)
{
    return GLTextWidth(0, L"%ls", (const wchar_t*)s.wc_str());
}

void menu::drawText(int x, float y, const wxString& s)
{
    GLText(0, (float)x, y, L"%ls", (const wchar_t*)s.wc_str());
}

float menu::lineY(int i) const
{
    const float height = screenLayout().h;
    // a 25th of the height per line; a menu of more than 18 lines packs them closer and keeps
    // the height of 18, so that the main menu's key footer stays under its last line
    const float n = static_cast<float>(items.size());
    const float lineHeight = height / 25.0f * (n > 18 ? 18 / n : 1.0f);
    int top = (int)((height - items.size() * lineHeight) * 0.5f + 20);
    return top + i * lineHeight;
}

void menu::drawBackground()
{
    if (!background)
        return;
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glShadeModel(GL_FLAT);
    glEnable(GL_TEXTURE_2D);
    glColor4f(1, 1, 1, 1);
    drawFullScreenPicture(background);
    glDepthMask(GL_TRUE);
}

void menu::drawThis()
{
    glClearColor(0, 0, 0, 1);
    if (subMenu) {
        subMenu->drawThis();
        return;
    }
    drawBackground();

    int n = (int)items.size();
    const int width = (int)screenLayout().w;
    int half = width / 2;

    glColor4f(1, 1, 1, 1);
    drawText((width - textWidth(title)) / 2, 32, title);

    for (int i = 0; i < n; i++) {
        const menuitem& it = items[i];
        float y = lineY(i);
        bool here = (unsigned int)i == cursor;
        if (it.kind == ITEM_GO && it.values.empty()) {
            if (here)
                glColor4f(1, 0, 0, 1);
            else
                glColor4f(1, 1, 1, 1);
            drawText(half - textWidth(it.label) / 2, y, it.label);
        } else if (it.kind != ITEM_SEPARATOR) {
            // a choice, or an action that shows a value
            wxString caption = it.label + ": ";
            wxString value = " " + it.valueStr();
            glColor4f(1, 1, 1, 1);
            drawText(half - textWidth(caption), y, caption);
            if (here) {
                glColor4f(0, 1, 1, 1);
                drawText(half, y, "________________");
            } else {
                glColor4f(1, 1, 0, 1);
            }
            drawText(half, y, value);
        }
    }
}
