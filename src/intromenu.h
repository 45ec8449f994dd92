#ifndef TIBREL_INTROMENU_H
#define TIBREL_INTROMENU_H

#include "menu.h"

// A title picture that fades in and out, pulses with the music and can be skipped.
class intromenu : public menu {
public:
    float displayTime;
    float fadeIn;
    float fadeOut;
    float elapsed;
    float alpha;
    wxString image;
    unsigned int texture;

    intromenu(const wxString& image, float displayTime, float fadeIn, float fadeOut);
    ~intromenu() override;

    void step(float dt) override;
    void drawThis() override;
    void reset() override;
    void onGo(int id) override;
};

#endif
