#ifndef TIBREL_DATAGEN_H
#define TIBREL_DATAGEN_H

#include <string>

// The data generator writes the whole data/ tree from source, deterministically.
// root is the data/ folder (created when missing).

// titles, ball, power-up icons, outfits, the font copy
void generateImages(const std::string& root);
// sound effects, ambiences (OGG) and music (XM)
void generateAudio(const std::string& root);
// the four venue models (3DS) and their textures
void generateVenues(const std::string& root);

#endif
