#ifndef TIBREL_CONTROLSMENU_H
#define TIBREL_CONTROLSMENU_H

#include <string>
#include "menu.h"

// The keys and buttons of each device, one line per action, and the music and effects
// volumes. Return on an action line waits for the device's next key, button or stick push and
// binds it; every change is applied and stored at once.
class controlsmenu : public menu {
public:
    int device;            // the device whose lines are shown, 0 ... BIND_DEVICES - 1
    int waitingAction;     // the action waiting for its input, or -1
    std::string message;   // the word under the lines: what to press, or why a key was refused

    controlsmenu();
    ~controlsmenu() override;
    void step(float dt) override;
    void drawThis() override;
    void onSelect(int index) override;
    void onGo(int id) override;

    // line indexes
    enum { LINE_DEVICE = 0, LINE_FIRST_ACTION = 2, LINE_DEFAULTS = 9, LINE_LAPTOP = 10,
           LINE_MUSIC = 12, LINE_EFFECTS = 13, LINE_BACK = 15 };

private:
    void showDevice();
    void finishWait(int in);
    void useSet(const class bindingset& set, const char* what);
};

// Start-up: the stored bindings, volumes and mute into effect.
void loadControlSettings();
// M: mutes or unmutes everything, and stores it
void toggleMute();

#endif
