#ifndef TIBREL_PLAYFIELD_H
#define TIBREL_PLAYFIELD_H

#include "gameobject.h"
#include "sandmesh.h"

class tarvo3ds;

// The drawn sand samples every eighth cell, 64 x 64 points, and may leave out points within
// 6 height units (0.3 court units, under a pixel from the camera) of the surface drawn.
static const int SAND_POINTS = 64;
static const int SAND_TOLERANCE = 6;

extern int sand_basecol_r, sand_basecol_g, sand_basecol_b;

// What lies flat on the sand: drawn after the court and its venue, before the figures that
// stand on it, whose sprites do not write depth. Not part of the court's object tree.
class sandoverlay {
public:
    virtual ~sandoverlay() {}
    virtual void drawOnSand() = 0;
};

// The deformable sand court: 512 x 512 heights (-32 ... 32) and the colours derived from them.
// Column c runs along x (-120 ... 120), row r along z (-70 ... 70).
class playfield : public gameobject {
public:
    unsigned sandTexture;
    unsigned char* colourMap;   // RGBA per cell
    int* heightMap;             // per cell
    bool dustEnabled;
    tarvo3ds* venue;            // also a child; null without a venue file
    sandoverlay* overlay;       // not owned; null draws the court alone
    sandmesh sandMesh;          // the drawn surface over every eighth cell

    playfield();
    ~playfield() override;

    void sandPixel(int c, int r, int delta);
    void sandFill(int noise);
    void footStep(float x, float z, float size, float depth);
    void spawnDust(float x, float z, float amount);
    void spawnFire(float x, float z, float amount);
    void reset() override;
    // the sand colour and the venue of the current time of day; the marks in the sand stay
    void applyDaytime();
    // replaces the venue with the one of the current time of day (none when it cannot be read)
    void loadVenue();
    void drawThis() override;
    void drawThisPost() override;
};

extern playfield* g_playfield;   // the court most recently constructed

#endif
