#include "playfield.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>
#include <GL/gl.h>
#include <wx/filefn.h>
#include "daytime.h"
#include "glstuff.h"
#include "particle.h"
#include "random.h"
#include "tarvo3ds.h"

int sand_basecol_r = 229, sand_basecol_g = 200, sand_basecol_b = 101;
playfield* g_playfield = nullptr;

static const int MAP = 512;                      // cells per side
static const int MIN_HEIGHT = -32, MAX_HEIGHT = 32;
static const float CELLS_PER_X = 2.1333334f;     // 512 cells over x -120 ... 120
static const float CELLS_PER_Z = 3.6571429f;     // 512 cells over z -70 ... 70
static const float MAX_PRINT = 1024.0f;          // a larger print covers the map anyway

// The footprint stamp, 8 rows along z by 8 along x: sand pushed up towards low x and z,
// pressed down towards high x and z.
static const float step_tab[64] = {
    0,    0,    0,    0.1f,  0.1f,  0,     0,     0,
    0,    0,    0.2f, 0.3f,  0.3f,  0.1f,  0,     0,
    0,    0.2f, 0.3f, 0.2f,  0.1f,  0,     -0.1f, 0,
    0.1f, 0.3f, 0.2f, 0,     0,     -0.1f, -0.3f, -0.1f,
    0.1f, 0.3f, 0.1f, 0,     0,     -0.2f, -0.3f, -0.1f,
    0,    0.1f, 0,    -0.1f, -0.2f, -0.3f, -0.2f, 0,
    0,    0,    -0.1f, -0.3f, -0.3f, -0.2f, 0,    0,
    0,    0,    0,    -0.1f, -0.1f, 0,     0,     0,
};

// Truncation toward zero that stays defined for any float: values far off the map (and NaN)
// become a cell far off the map.
static int toCell(float v)
{
    if (!(v > -1e6f))
        return -1000000;
    if (v > 1e6f)
        return 1000000;
    return (int)v;
}

// ten particles per unit of amount; nothing for a negative or undefined amount
static int particleCount(float amount)
{
    float n = amount * 10.0f;
    if (!(n >= 1.0f))
        return 0;
    if (n > 100000.0f)
        n = 100000.0f;
    return (int)n;
}

static unsigned char clampColour(int v)
{
    return (unsigned char)(v < 0 ? 0 : v > 255 ? 255 : v);
}

// -1 ... 0.998
static float jitter()
{
    return (float)(genrand_int32() % 1000) / 500.0f - 1.0f;
}

// colour shift of one dust or fire particle, -0.25 ... 0.245
static float colourShift()
{
    return (float)(randDiscrete() % 100) / 200.0f - 0.25f;
}

static void setCellColour(unsigned char* px, int h)
{
    px[0] = clampColour(h + sand_basecol_r);
    px[1] = clampColour(h + sand_basecol_g);
    px[2] = clampColour(h + sand_basecol_b);
    px[3] = 255;
}

playfield::playfield() : gameobject(), sandMesh(SAND_POINTS, SAND_TOLERANCE)
{
    dustEnabled = false;
    venue = nullptr;
    overlay = nullptr;
    colourMap = new unsigned char[MAP * MAP * 4];
    heightMap = new int[MAP * MAP];
    sandTexture = 0;
    reserveTexture(&sandTexture, MAP, MAP, false);
    reset();
    g_playfield = this;
}

playfield::~playfield()
{
    if (g_playfield == this)
        g_playfield = nullptr;
    // children (the venue, particles still in flight) go while the maps still exist
    while (!children.empty())
        delete children.back();
    venue = nullptr;
    if (sandTexture)
        glDeleteTextures(1, &sandTexture);
    delete[] colourMap;
    delete[] heightMap;
}

// ---------------------------------------------------------------------------------------------
// the maps

void playfield::sandPixel(int c, int r, int delta)
{
    if (c > MAP - 1 || c < 0 || r < 0 || r > MAP - 1)
        return;
    int i = r * MAP + c;
    long h = (long)heightMap[i] + delta;
    h = h < MIN_HEIGHT ? MIN_HEIGHT : h > MAX_HEIGHT ? MAX_HEIGHT : h;
    heightMap[i] = (int)h;
    setCellColour(colourMap + 4 * i, (int)h);
}

// the sand base colour of the current time of day
static void takeSandColour()
{
    sand_basecol_r = getBaseCol(BC_SAND, CC_RED);
    sand_basecol_g = getBaseCol(BC_SAND, CC_GREEN);
    sand_basecol_b = getBaseCol(BC_SAND, CC_BLUE);
}

void playfield::sandFill(int noise)
{
    takeSandColour();
    for (int i = 0; i < MAP * MAP; i++) {
        int n = 0;
        if (noise > 0)
            n = (int)(genrand_int31() % noise) - noise / 2;
        heightMap[i] = n;
        setCellColour(colourMap + 4 * i, n);
    }
    updateTexture(sandTexture, colourMap, MAP, MAP);
}

void playfield::footStep(float x, float z, float size, float depth)
{
    if (size > 14 && dustEnabled)
        spawnDust(x, z, size);
    if (!(size >= 2))
        return;
    if (size > MAX_PRINT)
        size = MAX_PRINT;

    int e = (int)(size * 0.5f);   // half width in columns
    int h = (int)size;            // half length in rows
    int c0 = toCell((x + 120) * CELLS_PER_X);
    int r0 = toCell((z + 70) * CELLS_PER_Z);
    // the part of the print on the map: columns c0 + i for iLo <= i < iHi, rows likewise
    const int iLo = std::max(-e, -c0), iHi = std::min(e, MAP - c0);
    const int vLo = std::max(-h, -r0), vHi = std::min(h, MAP - r0);
    for (int i = -e; i < e; i++) {
        // both draws for every cell, on the map or not, keep the sequence independent of
        // where the print lands
        if (i < iLo || i >= iHi || vLo >= vHi) {
            for (int v = -h; v < h; v++) {
                genrand_int32();
                genrand_int31();
            }
            continue;
        }
        const int tc = (i + e) * 8 / (2 * e);
        const int c = c0 + i;
        for (int v = -h; v < h; v++) {
            unsigned long a = genrand_int32();
            long b = genrand_int31();
            if (v < vLo || v >= vHi)
                continue;
            int tr = (v + h) * 8 / (2 * h);
            float s = step_tab[tr * 8 + tc];
            float t = ((float)(a % 1000) / 500.0f - 1.0f) * 0.5f + depth * s * 10.0f;
            float d = (float)(b % 3 - 1) + t;
            const int k = (r0 + v) * MAP + c;
            long height = (long)heightMap[k] + toCell(d);
            height = height < MIN_HEIGHT ? MIN_HEIGHT : height > MAX_HEIGHT ? MAX_HEIGHT : height;
            heightMap[k] = (int)height;
            setCellColour(colourMap + 4 * k, (int)height);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// dust and fire

void playfield::spawnDust(float x, float z, float amount)
{
    int n = particleCount(amount);
    for (int i = 0; i < n; i++) {
        float e = colourShift();
        float px = x + jitter() * 2;
        float pz = z + jitter() * 2;
        new particle(this, vector3d(px, 0, pz), vector3d(0, -3, 0), vector3d(8, 8, 8),
                     vector3d(0.8f - e, 0.6f - e, 0.2f - e), 0.3f);
    }
}

void playfield::spawnFire(float x, float z, float amount)
{
    int n = particleCount(amount);
    for (int i = 0; i < n; i++) {
        float e = colourShift();
        float px = x + (float)(genrand_int32() % 100) / 50.0f - 1.0f;
        float pz = z + (float)(genrand_int32() % 100) / 50.0f - 1.0f;
        new particle(this, vector3d(px, 0, pz), vector3d(0, -8, 0), vector3d(16, 16, 16),
                     vector3d(1.3f - e, 0.9f - e, 0.3f - e), 0.3f);
    }
}

// ---------------------------------------------------------------------------------------------
// a fresh court

void playfield::reset()
{
    dustEnabled = false;
    sandFill(4);
    // old prints on the court
    for (int i = 0; i < 3000; i++) {
        float size = (float)(genrand_int32() % 20);
        float z = jitter() * 25;
        float x = jitter() * 60;
        footStep(x, z, size, 1);
    }
    // and around it, partly beyond the map
    for (int i = 0; i < 3000; i++) {
        float size = (float)(genrand_int32() % 50);
        float z = (float)((long)(genrand_int32() % 250) - 125);
        float x = (float)((long)(genrand_int32() % 300) - 150);
        footStep(x, z, size, 1);
    }
    dustEnabled = true;

    loadVenue();
    gameobject::reset();
}

void playfield::loadVenue()
{
    delete venue;
    venue = nullptr;
    wxString name = wxString::Format("data/venues/%s_venue.3ds", getDTPrefix());
    if (wxFileExists(name)) {
        tarvo3ds* model = new tarvo3ds(name, 0, 10);
        if (model->file) {
            model->pos = vector3d(0, 3, 0);
            adopt(model);
            venue = model;
        } else {
            // a damaged file: the court stands without a venue
            delete model;
        }
    }
}

void playfield::applyDaytime()
{
    takeSandColour();
    for (int i = 0; i < MAP * MAP; i++)
        setCellColour(colourMap + 4 * i, heightMap[i]);
    updateTexture(sandTexture, colourMap, MAP, MAP);
    loadVenue();
}

// ---------------------------------------------------------------------------------------------
// drawing

// The sand surface: 64 x 64 points sampling every eighth cell. Where it is flat it is drawn
// with few large triangles (sandmesh), which costs far less to set up than the 63 x 63 quads
// of the full grid; a triangle whose three corners all lie beyond one side of the view cannot
// show and is left out.
void playfield::drawThis()
{
    static const int N = SAND_POINTS;
    static float points[N * N * 3];
    static float texels[N * N * 2];
    static int lift[N * N];
    static unsigned char outside[N * N];   // one bit per side of the view the point lies beyond
    static std::vector<unsigned short> indices;

    glPushMatrix();
    updateTexture(sandTexture, colourMap, MAP, MAP);
    glBindTexture(GL_TEXTURE_2D, sandTexture);
    glEnable(GL_TEXTURE_2D);
    glColor4f(1, 1, 1, 1);
    glTranslatef(0, 2, 0);
    glScalef(1, 0.05f, 1);

    float mv[16], pr[16], m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, mv);
    glGetFloatv(GL_PROJECTION_MATRIX, pr);
    for (int c = 0; c < 4; c++)
        for (int r = 0; r < 4; r++)
            m[c * 4 + r] = pr[r] * mv[c * 4] + pr[4 + r] * mv[c * 4 + 1] + pr[8 + r] * mv[c * 4 + 2] +
                           pr[12 + r] * mv[c * 4 + 3];

    // any dent or bump lifts the surface a little
    const float cw = 3.75f, rh = 2.1875f;
    for (int i = 0; i < N; i++) {
        const int* row = heightMap + (8 * i) * MAP;
        for (int j = 0; j < N; j++) {
            const int k = i * N + j;
            lift[k] = -std::abs(row[8 * j]);
            const float x = j * cw - 120, y = (float)lift[k], z = i * rh - 70;
            points[3 * k] = x;
            points[3 * k + 1] = y;
            points[3 * k + 2] = z;
            texels[2 * k] = j / 64.0f;
            texels[2 * k + 1] = i / 64.0f;
            const float cx = m[0] * x + m[4] * y + m[8] * z + m[12];
            const float cy = m[1] * x + m[5] * y + m[9] * z + m[13];
            const float cz = m[2] * x + m[6] * y + m[10] * z + m[14];
            const float cw4 = m[3] * x + m[7] * y + m[11] * z + m[15];
            outside[k] = (unsigned char)((cx < -cw4) | (cx > cw4) << 1 | (cy < -cw4) << 2 |
                                         (cy > cw4) << 3 | (cz < -cw4) << 4 | (cz > cw4) << 5);
        }
    }
    sandMesh.update(lift);
    const std::vector<unsigned short>& all = sandMesh.triangles();
    indices.clear();
    for (size_t t = 0; t + 2 < all.size(); t += 3)
        if (!(outside[all[t]] & outside[all[t + 1]] & outside[all[t + 2]]))
            indices.insert(indices.end(), all.begin() + t, all.begin() + t + 3);

    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, points);
    glTexCoordPointer(2, GL_FLOAT, 0, texels);
    // the sand is opaque: blending would change nothing and cost a read of every pixel
    glDisable(GL_BLEND);
    glDrawElements(GL_TRIANGLES, (GLsizei)indices.size(), GL_UNSIGNED_SHORT, indices.data());
    glEnable(GL_BLEND);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    glPopMatrix();
}

void playfield::drawThisPost()
{
    if (overlay)
        overlay->drawOnSand();
}
