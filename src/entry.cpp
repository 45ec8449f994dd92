#include "main.h"

#include <algorithm>
#include <cstdlib>
#include <SDL/SDL.h>
#include <GL/gl.h>
#include "controller.h"
#include "game.h"
#include "glstuff.h"
#include "intromenu.h"
#include "mainmenu.h"
#include "random.h"
#include "sound.h"
#include "textrender.h"

// The start-up, the frame loop and the shutdown. They live apart from the shell's pieces in
// main.cpp because they pull in the whole game, which the pieces' tests do not need.

static const float STEP = 0.02f;   // seconds of game time per frame
static const char* const MENU_MUSIC = "data/music/menu_01.xm";

int SDL_main(int argc, char** argv)
{
    SDL_Init(SDL_INIT_AUDIO | SDL_INIT_VIDEO);
    const shellswitches switches = readSwitches(argc, argv);
    reserveCaptureBuffer();
    openWindow(switches.windowed);
    openConfigStore();
    greyScreen(0.5f);

    init_genrand(SDL_GetTicks());
    srand(SDL_GetTicks());
    initSound();
    greyScreen(0.4f);
    GLInitFreeType();
    SDL_InitSubSystem(SDL_INIT_JOYSTICK);
    greyScreen(0.3f);
    openJoysticks();

    game* match = new game();
    greyScreen(0.2f);
    g_thegame = match;
    controller* keys[2] = { new controller(), new controller() };
    controller* joys[4] = { new controller(), new controller(), new controller(), new controller() };
    std::copy(keys, keys + 2, g_keys);
    std::copy(joys, joys + 4, g_joys);
    mainmenu* mainMenu = new mainmenu();
    greyScreen(0.1f);

    // the title pictures: the deepest screen shows first, so team, presents, name, menu
    intromenu* name = new intromenu("data/titles/name.png", 5.0f, 1.0f, 1.0f);
    intromenu* presents = new intromenu("data/titles/presents.png", 3.0f, 1.0f, 1.0f);
    intromenu* team = new intromenu("data/titles/team.png", 4.0f, 1.0f, 1.0f);
    mainMenu->setController(g_keys[0]);
    mainMenu->openSubMenu(name);
    name->openSubMenu(presents);
    presents->openSubMenu(team);
    mainMenu->setBackground("data/titles/mainmenu_bg.png");

    if (switches.capture)
        startCapture("video.out");
    playMusic(MENU_MUSIC);
    bool inMatch = switches.play;
    greyScreen(0.0f);
    reserveTexture(&g_buff, bufsize, bufsize, true);
    SDL_JoystickEventState(SDL_ENABLE);

    for (;;) {
        const unsigned t0 = SDL_GetTicks();
        SDL_JoystickUpdate();
        beginFrame();
        if (inMatch)
            match->draw();
        else
            mainMenu->draw();
        postprocess();
        glFlush();
        keepFrame();
        captureFrame();
        SDL_GL_SwapBuffers();

        pollEvents(inMatch, match->debugParticles);

        if (inMatch) {
            match->step(STEP);
        } else {
            // each menu transition shows as a zoom blur dying away with the screen's fade
            g_feedback = std::min(g_mix, 10.0f);
            mainMenu->step(STEP);
            if (mainMenu->result == 1) {
                inMatch = true;
                match->event(game::EV_BEGIN, 0.0f);
                mainMenu->result = 0;
            }
            if (mainMenu->result == -1)
                break;
        }
        paceFrame(t0);
    }

    stopMusic();
    deinitSound();
    stopCapture();
    releaseCaptureBuffer();
    closeConfigStore();
    delete mainMenu;
    for (int i = 3; i >= 0; i--) {
        g_joys[i] = nullptr;
        delete joys[i];
    }
    for (int i = 1; i >= 0; i--) {
        g_keys[i] = nullptr;
        delete keys[i];
    }
    g_thegame = nullptr;
    delete match;
    GLDeinitFreeType();
    return 0;
}

// SDL 1.2 does not wrap main on this platform, so the process entry hands over directly.
int main(int argc, char** argv)
{
    return SDL_main(argc, argv);
}
