#include "venue.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <lib3ds/file.h>
#include <lib3ds/material.h>
#include "datagen.h"
#include "image.h"
#include "venue_mesh.h"

namespace {

const float PI_F = 3.14159265f;
const char* MATERIAL = "venue";

const float GROUND = 0.9f;    // just under the court's sand mesh, which lies at z = 1
const float SHORE_Y = 200;    // where the beach meets the water
const float SEA_Z = 0.5f;
// the court's sand mesh covers x -120..116, y -68..70: the ground leaves a hole a little smaller
const float HOLE_X0 = -119, HOLE_X1 = 115, HOLE_Y0 = -67, HOLE_Y1 = 69;

// stands behind the far side of the court
const float STAND_X = 96, STAND_Y = 80, TIER_DEPTH = 9, TIER_RISE = 5;
const int TIERS = 7;
float tierFront(int k) { return STAND_Y + TIER_DEPTH * k; }
float tierSeat(int k) { return 1 + TIER_RISE * (k + 1); }
const float STAND_BACK = STAND_Y + TIER_DEPTH * TIERS;

vec3 v(float x, float y, float z) { return {x, y, z}; }

// a loop of keyframes every `step` frames of value(f); the last key repeats the first
template <class F> std::vector<std::pair<int, float>> loopAngles(int step, F value)
{
    std::vector<std::pair<int, float>> keys;
    for (int f = 0; f <= VENUE_FRAMES; f += step)
        keys.push_back({f, value(f == VENUE_FRAMES ? 0.0f : (float)f)});
    return keys;
}

template <class F> std::vector<std::pair<int, vec3>> loopOffsets(int step, F value)
{
    std::vector<std::pair<int, vec3>> keys;
    for (int f = 0; f <= VENUE_FRAMES; f += step)
        keys.push_back({f, value(f == VENUE_FRAMES ? 0.0f : (float)f)});
    return keys;
}

// phase of frame f in a loop that runs `cycles` times per animation
float phase(float f, int cycles) { return 2 * PI_F * cycles * f / VENUE_FRAMES; }

void addStatic(Lib3dsFile* file, const meshbuilder& m, const std::string& name)
{
    addObject(file, m, name, MATERIAL, v(0, 0, 0), -1, v(0, 0, 0), nodekeys());
}

// ---- the ground, the beach and the sea ------------------------------------------------------------

void buildGround(Lib3dsFile* file)
{
    meshbuilder m;
    uvrect sand(atlas::SAND);
    auto rect = [&](float x0, float y0, float x1, float y1) {
        int nu = std::max(1, (int)std::lround((x1 - x0) / 70)), nv = std::max(1, (int)std::lround((y1 - y0) / 70));
        m.tiledQuad(v(x0, y0, GROUND), v(x1, y0, GROUND), v(x1, y1, GROUND), v(x0, y1, GROUND), sand, nu, nv);
    };
    rect(-700, -260, 700, HOLE_Y0);
    rect(-700, HOLE_Y1, 700, SHORE_Y);
    rect(-700, HOLE_Y0, HOLE_X0, HOLE_Y1);
    rect(HOLE_X1, HOLE_Y0, 700, HOLE_Y1);
    addStatic(file, m, "ground");

    meshbuilder dunes;  // patches of beach grass around the palms
    uvrect grass(atlas::GRASS);
    const float z = GROUND + 0.05f;
    dunes.tiledQuad(v(-300, 40, z), v(-170, 40, z), v(-170, 150, z), v(-300, 150, z), grass, 3, 3);
    dunes.tiledQuad(v(170, 50, z), v(300, 50, z), v(300, 160, z), v(170, 160, z), grass, 3, 3);
    addStatic(file, dunes, "dunes");

    // the waterline: foam that runs up the beach and back
    meshbuilder shore;
    shore.tiledQuad(v(-900, SHORE_Y - 14, 1.0f), v(900, SHORE_Y - 14, 1.0f), v(900, SHORE_Y + 10, 1.0f),
                    v(-900, SHORE_Y + 10, 1.0f), uvrect(atlas::SHORE), 18, 1);
    nodekeys wash;
    wash.offset = loopOffsets(10, [](float f) { return v(0, 3.0f * std::sin(phase(f, 2)), 0); });
    addObject(file, shore, "shore", MATERIAL, v(0, SHORE_Y, 1.0f), -1, v(0, 0, 0), wash);

    meshbuilder sea;
    uvrect water(atlas::SEA);
    auto seaRect = [&](float x0, float y0, float x1, float y1, float tile) {
        int nu = std::max(1, (int)std::lround((x1 - x0) / tile)), nv = std::max(1, (int)std::lround((y1 - y0) / tile));
        sea.tiledQuad(v(x0, y0, SEA_Z), v(x1, y0, SEA_Z), v(x1, y1, SEA_Z), v(x0, y1, SEA_Z), water, nu, nv);
    };
    seaRect(-900, SHORE_Y, 900, 800, 100);
    seaRect(-3200, SHORE_Y, -900, 800, 400);
    seaRect(900, SHORE_Y, 3200, 800, 400);
    seaRect(-3200, 800, 3200, 3200, 600);
    addStatic(file, sea, "sea");
}

// the backdrop: a tall band of sky around the camera, far beyond the sea
void buildSky(Lib3dsFile* file)
{
    const float radius = 2900, cy = -56, z0 = -60, z1 = 900;
    const int segments = 52;
    meshbuilder m;
    uvrect sky(atlas::SKY);
    for (int i = 0; i < segments; i++) {
        float a0 = (-130 + 260.0f * i / segments) * PI_F / 180, a1 = (-130 + 260.0f * (i + 1) / segments) * PI_F / 180;
        vec3 p0 = v(radius * std::sin(a0), cy + radius * std::cos(a0), 0);
        vec3 p1 = v(radius * std::sin(a1), cy + radius * std::cos(a1), 0);
        uvrect part = sky.sub((float)i / segments, 0, (float)(i + 1) / segments, 1);
        m.quad(v(p0.x, p0.y, z0), v(p1.x, p1.y, z0), v(p1.x, p1.y, z1), v(p0.x, p0.y, z1), part);
    }
    addStatic(file, m, "sky");
}

// ---- the stands ---------------------------------------------------------------------------------

void buildStands(Lib3dsFile* file)
{
    meshbuilder m;
    uvrect riser(atlas::RISER), seat(atlas::SEAT), wall(atlas::WALL), shade(atlas::SHADE), metal(atlas::METAL);
    const float wallTop = tierSeat(TIERS - 1) + 10;
    for (int k = 0; k < TIERS; k++) {
        float y0 = tierFront(k), y1 = y0 + TIER_DEPTH, zb = k ? tierSeat(k - 1) : GROUND, zt = tierSeat(k);
        m.tiledQuad(v(-STAND_X, y0, zb), v(STAND_X, y0, zb), v(STAND_X, y0, zt), v(-STAND_X, y0, zt), riser, 8, 1);
        m.tiledQuad(v(-STAND_X, y0, zt), v(STAND_X, y0, zt), v(STAND_X, y1, zt), v(-STAND_X, y1, zt), seat, 8, 1);
        // the stepped side walls
        uvrect side = wall.sub(0, GROUND / wallTop, 1, zt / wallTop);
        m.quad(v(-STAND_X, y1, GROUND), v(-STAND_X, y0, GROUND), v(-STAND_X, y0, zt), v(-STAND_X, y1, zt), side);
        m.quad(v(STAND_X, y0, GROUND), v(STAND_X, y1, GROUND), v(STAND_X, y1, zt), v(STAND_X, y0, zt), side);
    }
    float top = tierSeat(TIERS - 1);
    m.tiledQuad(v(-STAND_X, STAND_BACK, top), v(STAND_X, STAND_BACK, top), v(STAND_X, STAND_BACK, wallTop),
                v(-STAND_X, STAND_BACK, wallTop), wall.sub(0, top / wallTop, 1, 1), 4, 1);
    m.tiledQuad(v(-STAND_X, STAND_BACK + 1, GROUND), v(STAND_X, STAND_BACK + 1, GROUND),
                v(STAND_X, STAND_BACK + 1, wallTop), v(-STAND_X, STAND_BACK + 1, wallTop), shade, 4, 1);
    // the awning over the upper tiers, on poles
    const float front = tierFront(3) - 4, low = 62, high = 68;
    uvrect canopy(atlas::CANOPY);
    m.tiledQuad(v(-STAND_X - 4, front, low), v(STAND_X + 4, front, low), v(STAND_X + 4, STAND_BACK + 2, high),
                v(-STAND_X - 4, STAND_BACK + 2, high), canopy.sub(0, 0, 1, 0.5f), 6, 1);
    m.tiledQuad(v(-STAND_X - 4, front, low - 6), v(STAND_X + 4, front, low - 6), v(STAND_X + 4, front, low),
                v(-STAND_X - 4, front, low), canopy.sub(0, 0.5f, 1, 1), 6, 1);
    for (float x : {-STAND_X, -STAND_X / 3, STAND_X / 3, STAND_X}) {
        m.pole(v(x, front + 1, tierSeat(2)), v(x, front + 1, low), 0.6f, 0.6f, 4, metal);
        m.pole(v(x, STAND_BACK, wallTop), v(x, STAND_BACK, high), 0.6f, 0.6f, 4, metal);
    }
    addStatic(file, m, "stand");

    // the spectators, in three groups that bounce a little out of step with each other
    for (int g = 0; g < 3; g++) {
        meshbuilder crowd;
        for (int k = g; k < TIERS; k += 3) {
            float y = tierFront(k) + 4, z0 = tierSeat(k) - 0.3f, z1 = tierSeat(k) + 8.5f;
            uvrect row((k % 2) ? atlas::CROWD_B : atlas::CROWD_A);
            const int sections = 6;
            for (int s = 0; s < sections; s++) {
                float x0 = -STAND_X + 1 + (2 * STAND_X - 2) * s / sections;
                float x1 = -STAND_X + 1 + (2 * STAND_X - 2) * (s + 1) / sections;
                int third = (s + k) % 3;
                crowd.quad(v(x0, y, z0), v(x1, y, z0), v(x1, y, z1), v(x0, y, z1),
                           row.sub(third / 3.0f, 0, (third + 1) / 3.0f, 1));
            }
        }
        nodekeys bounce;
        bounce.offset = loopOffsets(5, [g](float f) {
            return v(0, 0, 0.6f * std::fabs(std::sin(phase(f, 3) / 2 + g * 1.1f)));
        });
        char name[16];
        snprintf(name, sizeof(name), "crowd%d", g + 1);
        addObject(file, crowd, name, MATERIAL, v(0, STAND_Y, 0), -1, v(0, 0, 0), bounce);
    }
}

// advertising boards round the back and the sides of the sand
void buildBoards(Lib3dsFile* file)
{
    meshbuilder m;
    const float z0 = GROUND, z1 = 6.5f;
    for (int i = 0; i < 8; i++) {
        float x0 = -112 + 28 * i, x1 = x0 + 28;
        m.quad(v(x0, 74, z0), v(x1, 74, z0), v(x1, 74, z1), v(x0, 74, z1), uvrect(boardRect(i % 4)));
    }
    for (int i = 0; i < 4; i++) {
        float y0 = -50 + 30 * i, y1 = y0 + 30;
        // each side reads left to right as seen from the court
        m.quad(v(-124, y0, z0), v(-124, y1, z0), v(-124, y1, z1), v(-124, y0, z1), uvrect(boardRect((i + 1) % 4)));
        m.quad(v(120, y1, z0), v(120, y0, z0), v(120, y0, z1), v(120, y1, z1), uvrect(boardRect((i + 3) % 4)));
    }
    addStatic(file, m, "boards");
}

// ---- palms --------------------------------------------------------------------------------------

struct palmplace {
    float x, y, height, lean, leanDir;  // lean: how far the top drifts sideways, towards leanDir (radians)
};

// the camera sees about 75 units high over the far side, so the crowns stay below that
const palmplace PALMS[] = {
    {-118, 110, 50, 6, 2.6f},  {-150, 88, 44, 7, 3.5f},   {-140, 150, 56, 8, 2.0f},  {-205, 125, 50, 9, 2.9f},
    {-250, 160, 54, 8, 3.3f},  {-300, 118, 46, 10, 3.0f}, {120, 112, 50, 7, 0.4f},   {152, 86, 42, 6, -0.3f},
    {138, 152, 56, 8, 1.1f},   {210, 128, 50, 9, 0.2f},   {255, 165, 54, 8, 0.6f},   {305, 118, 46, 10, 0.0f},
};

void buildPalm(Lib3dsFile* file, int index, const palmplace& p, randomgen& g)
{
    const int segments = 6, sides = 5;
    uvrect bark(atlas::BARK), leaf(atlas::LEAF);
    meshbuilder trunk;
    vec3 base = v(p.x, p.y, GROUND);
    auto along = [&](float s) {  // the trunk curves away as it rises
        return base + v(std::cos(p.leanDir), std::sin(p.leanDir), 0) * (p.lean * s * s) + v(0, 0, p.height * s);
    };
    for (int k = 0; k < segments; k++) {
        float s0 = (float)k / segments, s1 = (float)(k + 1) / segments;
        trunk.pole(along(s0), along(s1), 2.3f - 0.9f * s0, 2.3f - 0.9f * s1, sides,
                   bark.sub(0, s0, 1, s1));
    }
    vec3 top = along(1);

    meshbuilder crown;
    const int fronds = 8, steps = 4;
    for (int j = 0; j < fronds; j++) {
        float az = 2 * PI_F * j / fronds + g.range(-0.25f, 0.25f);
        float len = p.height * g.range(0.38f, 0.48f), lift = g.range(0.25f, 0.45f), droop = g.range(0.7f, 0.9f);
        vec3 out = v(std::cos(az), std::sin(az), 0), across = v(-std::sin(az), std::cos(az), 0);
        int prevL = -1, prevR = -1;
        for (int k = 0; k <= steps; k++) {
            float s = (float)k / steps;
            float width = 5.0f * std::pow(std::sin(PI_F * std::min(1.0f, 0.15f + s * 0.95f)), 0.8f) + 0.4f;
            vec3 c = top + out * (len * s) + v(0, 0, len * (lift * s - droop * s * s));
            int l = crown.vertex(c - across * (width / 2), leaf, 0, s);
            int r = crown.vertex(c + across * (width / 2), leaf, 1, s);
            if (k > 0) {
                crown.triangle(prevL, prevR, r);
                crown.triangle(prevL, r, l);
            }
            prevL = l;
            prevR = r;
        }
    }
    // coconuts under the fronds
    for (int k = 0; k < 3; k++) {
        float a = 2 * PI_F * k / 3;
        vec3 c = top + v(1.6f * std::cos(a), 1.6f * std::sin(a), -1.5f);
        crown.box(c - v(1, 1, 1), c + v(1, 1, 1), uvrect(atlas::BARK).sub(0.3f, 0, 0.7f, 0.1f),
                  uvrect(atlas::BARK).sub(0.3f, 0, 0.7f, 0.1f));
    }

    // the wind rocks the trunk gently and the crown more, a little behind it
    float ph = g.range(0, 2 * PI_F);
    nodekeys sway;
    sway.axis = v(0, 1, 0);
    sway.angle = loopAngles(10, [ph](float f) { return 0.018f * std::sin(phase(f, 1) + ph); });
    char name[16];
    snprintf(name, sizeof(name), "palm%02dt", index);
    int trunkId = addObject(file, trunk, name, MATERIAL, base, -1, v(0, 0, 0), sway);
    nodekeys rock;
    rock.axis = v(std::sin(ph), std::cos(ph), 0);
    rock.angle = loopAngles(5, [ph](float f) { return 0.06f * std::sin(phase(f, 2) + ph - 0.8f); });
    snprintf(name, sizeof(name), "palm%02dc", index);
    addObject(file, crown, name, MATERIAL, top, trunkId, base, rock);
}

// ---- flags, floodlights, parasols and boats ----------------------------------------------------

struct flagplace {
    float x, y, height;
    int design;
};

const flagplace FLAGS[] = {
    {-104, 78, 48, 0}, {104, 78, 48, 2}, {-150, 192, 40, 1}, {160, 188, 40, 3}, {-114, 140, 66, 2}, {114, 140, 66, 1},
};

void buildFlag(Lib3dsFile* file, int index, const flagplace& s)
{
    const int segments = 4;
    const float segW = 4.5f, h = 9;
    meshbuilder pole;
    pole.pole(v(s.x, s.y, GROUND), v(s.x, s.y, s.height + 1), 0.5f, 0.35f, 4, uvrect(atlas::METAL));
    char name[16];
    snprintf(name, sizeof(name), "fpole%d", index);
    addStatic(file, pole, name);

    // the cloth is a chain of strips, each hinged on the one before, so a wave runs along it
    uvrect cloth(flagRect(s.design));
    float zt = s.height, zb = zt - h;
    int parent = -1;
    vec3 parentPivot = v(0, 0, 0);
    for (int k = 0; k < segments; k++) {
        float x0 = s.x + segW * k, x1 = x0 + segW;
        meshbuilder m;
        m.quad(v(x0, s.y, zb), v(x1, s.y, zb), v(x1, s.y, zt), v(x0, s.y, zt),
               cloth.sub((float)k / segments, 0, (float)(k + 1) / segments, 1));
        nodekeys wave;
        float amp = k == 0 ? 0.25f : 0.38f, lag = 1.1f * k + index;
        wave.angle = loopAngles(5, [amp, lag](float f) { return amp * std::sin(phase(f, 4) - lag); });
        vec3 pivot = v(x0, s.y, zt);
        snprintf(name, sizeof(name), "flag%d%c", index, 'a' + k);
        parent = addObject(file, m, name, MATERIAL, pivot, parent, parentPivot, wave);
        parentPivot = pivot;
    }
}

struct lightplace {
    float x, y, height;
};

// two at the far corners of the sand, two behind the stands peering over the awning
const lightplace LIGHTS[] = {{-124, 78, 62}, {124, 78, 62}, {-74, 152, 76}, {74, 152, 76}};

void buildFloodlight(Lib3dsFile* file, int index, const lightplace& s, bool lit)
{
    meshbuilder m;
    uvrect metal(atlas::METAL), lamp(atlas::LAMP), shade(atlas::SHADE);
    m.pole(v(s.x, s.y, GROUND), v(s.x, s.y, s.height - 6), 1.6f, 1.0f, 4, metal);
    // the lamp panel turns to the middle of the court and tips down towards it
    float a = std::atan2(-s.y, -s.x) + PI_F / 2;
    auto place = [&](float lx, float ly, float lz) {
        return v(s.x + lx * std::cos(a) - ly * std::sin(a), s.y + lx * std::sin(a) + ly * std::cos(a), s.height + lz);
    };
    vec3 fbl = place(-12, -1.5f, -12), fbr = place(12, -1.5f, -12), ftr = place(12, 2.5f, 2), ftl = place(-12, 2.5f, 2);
    vec3 bbl = place(-12, 1.5f, -12), bbr = place(12, 1.5f, -12), btr = place(12, 5.5f, 2), btl = place(-12, 5.5f, 2);
    m.quad(fbl, fbr, ftr, ftl, lamp);
    m.quad(bbr, bbl, btl, btr, shade);
    m.quad(fbr, bbr, btr, ftr, shade);
    m.quad(bbl, fbl, ftl, btl, shade);
    m.quad(ftl, ftr, btr, btl, shade);
    m.quad(bbl, bbr, fbr, fbl, shade);
    char name[16];
    snprintf(name, sizeof(name), "lamp%d", index);
    addStatic(file, m, name);
    if (!lit)
        return;
    // at night a halo hangs in front of the lamps, turned to the camera; its name sorts last so it
    // is drawn over everything behind it
    meshbuilder glow;
    vec3 c = place(0, -4, -5), toCam = v(0, -56, 52) - c;
    float hlen = std::sqrt(toCam.x * toCam.x + toCam.y * toCam.y);
    vec3 right = v(-toCam.y / hlen, toCam.x / hlen, 0) * 30, up = v(0, 0, 22);
    glow.quad(c - right - up, c + right - up, c + right + up, c - right + up, uvrect(atlas::GLOW));
    snprintf(name, sizeof(name), "zglow%d", index);
    addStatic(file, glow, name);
}

void buildParasols(Lib3dsFile* file)
{
    const float spots[][2] = {{-192, 150}, {-236, 176}, {-302, 158}, {202, 162}, {244, 186}, {312, 150}};
    meshbuilder m;
    uvrect cloth(atlas::PARASOL), metal(atlas::METAL);
    const int sides = 8;
    for (const auto& s : spots) {
        vec3 foot = v(s[0], s[1], GROUND), apex = foot + v(0, 0, 18);
        m.pole(foot, apex, 0.3f, 0.3f, 4, metal);
        for (int i = 0; i < sides; i++) {
            float a0 = PI_F / 2 + 2 * PI_F * i / sides, a1 = PI_F / 2 + 2 * PI_F * (i + 1) / sides;
            vec3 r0 = foot + v(10 * std::cos(a0), 10 * std::sin(a0), 13.5f);
            vec3 r1 = foot + v(10 * std::cos(a1), 10 * std::sin(a1), 13.5f);
            uvrect part = cloth.sub((float)i / sides, 0, (float)(i + 1) / sides, 1);
            int p0 = m.vertex(r0, part, 0, 0), p1 = m.vertex(r1, part, 1, 0), pa = m.vertex(apex, part, 0.5f, 1);
            m.triangle(p0, p1, pa);
        }
    }
    addStatic(file, m, "parasols");
}

void buildBoat(Lib3dsFile* file, int index, float x, float y, float sailSide)
{
    meshbuilder m;
    uvrect boat(atlas::BOAT);
    uvrect hull = boat.sub(0, 0, 1, 0.5f), sail = boat.sub(0, 0.5f, 1, 1);
    m.box(v(x - 13, y - 3, SEA_Z - 1), v(x + 13, y + 3, SEA_Z + 3), hull, hull);
    int a = m.vertex(v(x - 9 * sailSide, y, SEA_Z + 4), sail, 0, 0);
    int b = m.vertex(v(x + 8 * sailSide, y, SEA_Z + 4), sail, 1, 0);
    int c = m.vertex(v(x + 8 * sailSide, y, SEA_Z + 34), sail, 1, 1);
    m.triangle(a, b, c);
    nodekeys roll;
    roll.axis = v(1, 0, 0);
    roll.angle = loopAngles(10, [index](float f) { return 0.07f * std::sin(phase(f, 1) + index * 2.0f); });
    char name[16];
    snprintf(name, sizeof(name), "boat%d", index);
    addObject(file, m, name, MATERIAL, v(x, y, SEA_Z), -1, v(0, 0, 0), roll);
}

}

const char* venuePrefix(venuetime t)
{
    static const char* names[VT_COUNT] = {"Morning", "Daytime", "Evening", "Night"};
    return t >= 0 && t < VT_COUNT ? names[t] : "Unknown";
}

Lib3dsFile* buildVenue(venuetime t)
{
    Lib3dsFile* file = lib3ds_file_new();
    file->frames = VENUE_FRAMES;
    file->segment_from = 0;
    file->segment_to = VENUE_FRAMES;

    // a single white material: the atlas carries all the colour
    Lib3dsMaterial* mat = lib3ds_material_new();
    strncpy(mat->name, MATERIAL, sizeof(mat->name) - 1);
    for (int k = 0; k < 3; k++) {
        mat->ambient[k] = 0;
        mat->diffuse[k] = 1;
        mat->specular[k] = 0;
    }
    mat->ambient[3] = mat->diffuse[3] = mat->specular[3] = 1;
    mat->shininess = 0;
    lib3ds_file_insert_material(file, mat);

    buildGround(file);
    buildSky(file);
    buildStands(file);
    buildBoards(file);
    randomgen g(500);
    int n = 0;
    for (const palmplace& p : PALMS)
        buildPalm(file, ++n, p, g);
    n = 0;
    for (const flagplace& s : FLAGS)
        buildFlag(file, ++n, s);
    n = 0;
    for (const lightplace& s : LIGHTS)
        buildFloodlight(file, ++n, s, t == VT_NIGHT);
    buildParasols(file);
    buildBoat(file, 1, -420, 950, 1);
    buildBoat(file, 2, 380, 1300, -1);
    return file;
}

void generateVenues(const std::string& root)
{
    std::string dir = root + "/venues/";
    makeFolder(dir);
    canvas atlasImage(ATLAS_SIZE, ATLAS_SIZE);
    for (int k = 0; k < VT_COUNT; k++) {
        venuetime t = (venuetime)k;
        std::string base = dir + venuePrefix(t) + "_venue";
        Lib3dsFile* file = buildVenue(t);
        bool saved = lib3ds_file_save(file, (base + ".3ds").c_str());
        lib3ds_file_free(file);
        if (!saved)
            fail("cannot write " + base + ".3ds");
        paintVenueAtlas(atlasImage, t);
        atlasImage.save(base + ".png", true);
    }
}
