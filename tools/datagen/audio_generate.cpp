#include "datagen.h"

#include "audio_effects.h"
#include "audio_ogg.h"
#include "image.h"
#include "xm_music.h"

namespace {

void report(bool ok, const std::string& path)
{
    if (!ok)
        fail("cannot write " + path);
}

void mono(const std::string& path, const dsp::buffer& b) { report(writeOgg(path, b), path); }

void both(const std::string& path, const stereo& s) { report(writeOgg(path, s.left, &s.right), path); }

}

void generateAudio(const std::string& root)
{
    std::string sounds = root + "/sounds/", music = root + "/music/";
    makeFolder(sounds);
    makeFolder(music);

    mono(sounds + "hit.ogg", synthHit());
    mono(sounds + "jump.ogg", synthJump());
    mono(sounds + "whistle.ogg", synthWhistle());
    mono(sounds + "ball_ground.ogg", synthBallGround());
    for (int k = 1; k <= 6; k++)
        both(sounds + "cheer" + std::to_string(k) + ".ogg", synthCheer(k));
    both(sounds + "ooh1.ogg", synthOoh());
    both(sounds + "powerup.ogg", synthPowerup());

    const char* prefixes[4] = {"Morning", "Daytime", "Evening", "Night"};
    for (int k = 0; k < 4; k++)
        both(sounds + prefixes[k] + "_ambience.ogg", synthAmbience((ambiencekind)k));

    std::string menu = music + "menu_01.xm", win = music + "win.xm";
    report(writeXm(menu, composeMenuTune()), menu);
    report(writeXm(win, composeWinTune()), win);
}
