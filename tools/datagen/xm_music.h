#ifndef TIBREL_DATAGEN_XM_MUSIC_H
#define TIBREL_DATAGEN_XM_MUSIC_H

#include "xm_writer.h"

// The game's two tunes, with their instruments synthesised into the module's samples.
xmmodule composeMenuTune();   // an upbeat beach tune of about a minute that loops from its end to its start
xmmodule composeWinTune();    // a short victory fanfare

#endif
