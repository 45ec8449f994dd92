#ifndef TIBREL_DATAGEN_VENUE_H
#define TIBREL_DATAGEN_VENUE_H

#include <string>
#include "venue_atlas.h"

class canvas;
struct Lib3dsFile;

// Venue model, authored z up in court units: x along the court (lines at -60..60), y = minus the
// court's z (the net runs along y, -25..25), z up with the sand at z = 1 (the game places the
// model 3 units below the court's origin). The camera sits near y = -56 at a height of about 52,
// looking towards +y, so the stands, the sea and the sky lie on the +y side.

const int VENUE_FRAMES = 100;  // one loop of the animation (the game plays it in 10 s)

// paints the 1024 x 1024 atlas for a time of day into c (which must be that size)
void paintVenueAtlas(canvas& c, venuetime t);
// builds the model of a time of day; the caller frees it with lib3ds_file_free
Lib3dsFile* buildVenue(venuetime t);
// file-name prefix of a time of day, as the game builds its venue and ambience names
const char* venuePrefix(venuetime t);

#endif
