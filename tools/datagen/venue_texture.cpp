#include "venue.h"

#include <algorithm>
#include <cmath>
#include "image.h"

namespace {

const float PI_F = 3.14159265f;

// The light of one time of day. Surfaces are coloured albedo x (ambient + direct x facing), where
// facing (0..1) says how squarely a surface turns to the light; at night the stands, crowd and
// boards are under the floodlights instead.
struct palette {
    rgb skyTop, skyHorizon, haze, cloud, island;
    rgb sea;               // water near the shore
    rgb direct, ambient, flood;
    rgb sand;              // exactly the court's sand colour of this time of day
    rgb sun;               // sun or moon disc
    float sunU, sunElev, sunRadius, sunGlow;  // position on the backdrop (u 0..1, degrees)
    float cloudCover;
    bool night;
};

rgb col(int r, int g, int b) { return {r / 255.0f, g / 255.0f, b / 255.0f}; }

palette paletteFor(venuetime t)
{
    palette p;
    switch (t) {
    case VT_MORNING:  // cool, low sun rising beyond the stands on the left
        p = {col(0, 32, 64), col(205, 182, 186), col(160, 165, 186), col(226, 196, 204), col(96, 104, 128),
             col(58, 98, 122), {0.55f, 0.58f, 0.66f}, {0.25f, 0.29f, 0.40f}, {0, 0, 0}, col(190, 166, 116),
             {1.0f, 0.93f, 0.82f}, 0.38f, 3.0f, 1.1f, 0.7f, 0.45f, false};
        break;
    case VT_EVENING:  // warm orange, the sun low over the sea on the right
        p = {col(230, 153, 76), col(255, 206, 120), col(240, 168, 104), col(255, 150, 110), col(120, 72, 88),
             col(92, 72, 84), {0.85f, 0.52f, 0.30f}, {0.28f, 0.20f, 0.26f}, {0, 0, 0}, col(216, 166, 112),
             {1.0f, 0.88f, 0.50f}, 0.62f, 2.2f, 1.9f, 1.0f, 0.40f, false};
        break;
    case VT_NIGHT:  // dark blue, a moon, floodlit stands
        p = {col(0, 0, 32), col(16, 22, 54), col(12, 18, 44), col(30, 34, 58), col(6, 8, 22),
             col(10, 18, 40), {0.10f, 0.12f, 0.20f}, {0.06f, 0.07f, 0.14f}, {0.84f, 0.86f, 0.96f}, col(146, 134, 112),
             {0.95f, 0.95f, 0.86f}, 0.60f, 8.0f, 0.8f, 0.35f, 0.25f, true};
        break;
    default:  // bright day, the sun high overhead
        p = {col(76, 153, 230), col(200, 226, 246), col(190, 216, 234), col(255, 255, 255), col(92, 132, 120),
             col(28, 150, 168), {0.80f, 0.78f, 0.72f}, {0.35f, 0.38f, 0.45f}, {0, 0, 0}, col(229, 200, 101),
             {1, 1, 1}, 0.5f, 60.0f, 1.0f, 0.0f, 0.35f, false};
        break;
    }
    if (!p.night)
        p.flood = p.direct + p.ambient;
    return p;
}

rgb lit(const rgb& albedo, const palette& p, float facing, bool floodlit = false)
{
    // floodlights from high up: what faces them is lit, what turns away falls dark quickly
    if (floodlit && p.night)
        return albedo * scale(p.flood, 0.15f + 0.85f * facing * facing);
    return albedo * (p.ambient + scale(p.direct, facing));
}

// value noise that repeats every `period` lattice cells, so tiles join without a seam
float lattice(int x, int y, uint32_t seed)
{
    uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return float(h & 0xFFFFFF) * (1.0f / 16777215.0f);
}

float tileNoise(float x, float y, int period, uint32_t seed)
{
    float fx = std::floor(x), fy = std::floor(y);
    int ix = int(fx), iy = int(fy);
    float tx = x - fx, ty = y - fy;
    tx = tx * tx * (3 - 2 * tx);
    ty = ty * ty * (3 - 2 * ty);
    auto at = [&](int a, int b) { return lattice(((a % period) + period) % period, ((b % period) + period) % period, seed); };
    float a = at(ix, iy), b = at(ix + 1, iy), c = at(ix, iy + 1), d = at(ix + 1, iy + 1);
    float top = a + (b - a) * tx, bottom = c + (d - c) * tx;
    return top + (bottom - top) * ty;
}

// octaves of tiling noise over a tile of size w x h pixels, 0..1
float tileFractal(float px, float py, int w, int h, int cells, int octaves, uint32_t seed)
{
    float sum = 0, amp = 0.5f, total = 0;
    for (int o = 0; o < octaves; o++) {
        int period = cells << o;
        sum += tileNoise(px / w * period, py / h * period, period, seed + o * 131u) * amp;
        total += amp;
        amp *= 0.5f;
    }
    return sum / total;
}

template <class F> void paint(canvas& c, const atlasrect& r, F colourAt)
{
    for (int y = 0; y < r.h; y++)
        for (int x = 0; x < r.w; x++)
            c.set(r.x + x, r.y + y, colourAt(x, y));
}

// soft-edged shapes painted straight into the atlas, clipped to a region
void disc(canvas& c, const atlasrect& r, float cx, float cy, float rad, const rgb& colour, float k = 1)
{
    for (int y = std::max(0, int(cy - rad - 1)); y < std::min(r.h, int(cy + rad + 2)); y++)
        for (int x = std::max(0, int(cx - rad - 1)); x < std::min(r.w, int(cx + rad + 2)); x++) {
            float cov = coverage(sdCircle(x + 0.5f, y + 0.5f, cx, cy, rad));
            if (cov > 0)
                c.blend(r.x + x, r.y + y, colour, cov * k);
        }
}

void capsule(canvas& c, const atlasrect& r, float ax, float ay, float bx, float by, float rad, const rgb& colour)
{
    int x0 = std::max(0, int(std::min(ax, bx) - rad - 1)), x1 = std::min(r.w, int(std::max(ax, bx) + rad + 2));
    int y0 = std::max(0, int(std::min(ay, by) - rad - 1)), y1 = std::min(r.h, int(std::max(ay, by) + rad + 2));
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++) {
            float cov = coverage(sdCapsule(x + 0.5f, y + 0.5f, ax, ay, bx, by, rad));
            if (cov > 0)
                c.blend(r.x + x, r.y + y, colour, cov);
        }
}

void box(canvas& c, const atlasrect& r, float cx, float cy, float hx, float hy, float round, const rgb& colour)
{
    int x0 = std::max(0, int(cx - hx - 1)), x1 = std::min(r.w, int(cx + hx + 2));
    int y0 = std::max(0, int(cy - hy - 1)), y1 = std::min(r.h, int(cy + hy + 2));
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++) {
            float cov = coverage(sdRoundBox(x + 0.5f - cx, y + 0.5f - cy, hx, hy, round));
            if (cov > 0)
                c.blend(r.x + x, r.y + y, colour, cov);
        }
}

// brightness of a round pole or trunk at u around it (front at 0.5), sun slightly to one side
float roundShade(float u, float sunSide)
{
    float a = 2 * PI_F * (u - 0.5f) - sunSide;
    return 0.25f + 0.75f * std::max(0.0f, std::cos(a));
}

// ---- regions ------------------------------------------------------------------------------------

const float SKY_RADIUS = 2900, EYE = 52, SKY_BOTTOM = -60, SKY_TOP = 900;

float skyElevation(int row)  // degrees above the eye's horizon at a row of the sky region
{
    float z = SKY_TOP - (row + 0.5f) * (SKY_TOP - SKY_BOTTOM) / atlas::SKY.h;
    return std::atan2(z - EYE, SKY_RADIUS) * 180 / PI_F;
}

void paintSky(canvas& c, const palette& p, venuetime t)
{
    const atlasrect& r = atlas::SKY;
    // distant islands: centre u, half width, height in degrees
    const float islands[4][3] = {{0.405f, 0.035f, 1.3f}, {0.452f, 0.02f, 0.7f}, {0.575f, 0.045f, 1.0f}, {0.80f, 0.06f, 1.6f}};
    float degPerU = 260.0f;  // the backdrop spans 260 degrees
    paint(c, r, [&](int x, int y) {
        float u = (x + 0.5f) / r.w, e = skyElevation(y);
        rgb out;
        if (e < 0) {
            // the far sea up to the horizon, paling into the haze
            float streak = 0.9f + 0.1f * valueNoise(u * 300, e * 8, 7);
            out = mix(scale(p.sea, streak), p.haze, smoothstep(-1.3f, 0.0f, e) * 0.75f);
            float du = (u - p.sunU) * degPerU;
            if (p.sunGlow > 0) {  // the sun's (or moon's) path on the water
                float path = std::exp(-du * du / (2.0f + 6.0f * (-e))) * p.sunGlow * (0.6f + 0.4f * valueNoise(u * 400, e * 30, 9));
                out = mix(out, p.sun, clamp01(path * 0.8f));
            }
        } else {
            float h = clamp01(e / 16.0f);
            out = mix(p.skyHorizon, p.skyTop, std::pow(h, 0.55f));
            float n = fractalNoise(u * 18, e * 0.5f, 4, 11);
            float cloud = smoothstep(0.56f, 0.74f, n + p.cloudCover - 0.35f) * smoothstep(0.3f, 2.0f, e);
            rgb cl = mix(p.cloud, scale(p.cloud, 0.75f), clamp01((n - 0.6f) * 3));
            out = mix(out, cl, cloud * 0.85f);
        }
        float du = (u - p.sunU) * degPerU, de = e - p.sunElev;
        float d = std::sqrt(du * du + de * de);
        if (p.sunGlow > 0) {
            out = out + scale(p.sun, p.sunGlow * 0.5f * std::exp(-d / 5.0f));
            out = mix(out, p.sun, coverage((d - p.sunRadius) * 8));
        }
        for (auto& is : islands) {
            float s = (u - is[0]) / is[1];
            if (std::fabs(s) < 1) {
                float top = is[2] * std::pow(1 - s * s, 0.7f) * (0.8f + 0.3f * valueNoise(u * 200, 1, 5));
                if (e >= -0.05f && e < top)
                    out = mix(p.island, p.haze, 0.35f + 0.2f * (1 - e / std::max(top, 0.01f)));
            }
        }
        return out;
    });
    if (t == VT_NIGHT) {
        randomgen g(77);
        for (int k = 0; k < 420; k++) {
            float x = g.uniform() * r.w, y = g.uniform() * r.h;
            if (skyElevation(int(y)) < 1.5f)
                continue;
            float b = 0.3f + 0.7f * g.uniform() * g.uniform();
            disc(c, r, x, y, 0.6f + b * 0.6f, {0.9f, 0.92f, 1.0f}, b);
        }
    }
}

void paintWater(canvas& c, const palette& p, venuetime t)
{
    const atlasrect& r = atlas::SEA;
    paint(c, r, [&](int x, int y) {
        float n = tileFractal(x, y, r.w, r.h, 4, 3, 21);
        // swell lines running along the shore, broken up by the noise
        float ripple = std::sin((y / (float)r.h * 8 + n * 1.5f) * 2 * PI_F);
        rgb w = scale(p.sea, 0.88f + 0.12f * ripple + 0.15f * (n - 0.5f));
        float glint = smoothstep(0.82f, 0.95f, ripple * 0.5f + 0.5f) * smoothstep(0.55f, 0.75f, n);
        rgb spark = t == VT_NIGHT ? scale(p.sun, 0.5f) : p.sun;
        return mix(w, spark, glint * (t == VT_NIGHT ? 0.3f : 0.55f));
    });
}

void paintSand(canvas& c, const palette& p)
{
    const atlasrect& r = atlas::SAND;
    paint(c, r, [&](int x, int y) {
        float n = tileFractal(x, y, r.w, r.h, 8, 3, 31);
        return scale(p.sand, 0.97f + 0.06f * n);
    });
}

void paintGrass(canvas& c, const palette& p)
{
    const atlasrect& r = atlas::GRASS;
    paint(c, r, [&](int x, int y) {
        float n = tileFractal(x, y, r.w, r.h, 8, 3, 41);
        float blades = 0.5f + 0.5f * std::sin((x * 0.9f + n * 20) * 1.3f);
        rgb g = mix(rgb{0.30f, 0.42f, 0.14f}, rgb{0.55f, 0.55f, 0.25f}, n * 0.7f + blades * 0.3f);
        return lit(g, p, 0.85f);
    });
}

void paintShore(canvas& c, const palette& p)
{
    const atlasrect& r = atlas::SHORE;
    paint(c, r, [&](int x, int y) {
        float v = 1 - (y + 0.5f) / r.h;  // 0 at the sand, 1 towards the sea
        float n = tileFractal(x, y, r.w, r.h, 8, 3, 51);
        rgb wet = scale(p.sand, 0.72f);
        rgb foam = lit({0.95f, 0.97f, 1.0f}, p, 0.9f);
        rgb out = mix(p.sand, wet, smoothstep(0.25f, 0.4f, v + (n - 0.5f) * 0.1f));
        float lace = smoothstep(0.45f, 0.62f, v + (n - 0.5f) * 0.25f) * (1 - smoothstep(0.62f, 0.85f, v + (n - 0.5f) * 0.3f));
        out = mix(out, foam, lace * (0.6f + 0.4f * n));
        float water = smoothstep(0.6f, 0.9f, v + (n - 0.5f) * 0.2f);
        return mix(out, p.sea, water);
    });
}

void paintBark(canvas& c, const palette& p)
{
    const atlasrect& r = atlas::BARK;
    paint(c, r, [&](int x, int y) {
        float u = (x + 0.5f) / r.w;
        float ring = std::fmod(y + 3 * std::sin(u * 2 * PI_F * 3), 18.0f) / 18.0f;
        float n = tileFractal(x, y, r.w, r.h, 4, 3, 61);
        rgb bark = mix(rgb{0.48f, 0.40f, 0.30f}, rgb{0.30f, 0.24f, 0.18f}, smoothstep(0.75f, 0.95f, ring) + 0.3f * n);
        return lit(bark, p, roundShade(u, 0.5f));
    });
}

void paintLeaf(canvas& c, const palette& p)
{
    const atlasrect& r = atlas::LEAF;
    paint(c, r, [&](int x, int y) {
        float s = (x + 0.5f) / r.w - 0.5f, v = 1 - (y + 0.5f) / r.h;
        float vein = std::fabs(std::fmod(v * 14 + std::fabs(s) * 5, 1.0f) - 0.5f) * 2;  // leaflets angled to the tip
        rgb leaf = mix(rgb{0.12f, 0.36f, 0.10f}, rgb{0.30f, 0.55f, 0.16f}, vein);
        leaf = mix(leaf, rgb{0.50f, 0.55f, 0.22f}, smoothstep(0.75f, 1.0f, v) * 0.5f);  // sun-dried tips
        leaf = mix(leaf, rgb{0.62f, 0.66f, 0.30f}, coverage((std::fabs(s) - 0.025f) * r.w));  // midrib
        leaf = scale(leaf, 1 - 0.35f * smoothstep(0.3f, 0.5f, std::fabs(s)));
        return lit(leaf, p, 0.8f);
    });
}

void paintMetal(canvas& c, const palette& p)
{
    const atlasrect& r = atlas::METAL;
    paint(c, r, [&](int x, int y) {
        float u = (x + 0.5f) / r.w;
        float n = valueNoise(x * 0.2f, y * 0.05f, 71);
        return lit(scale({0.62f, 0.64f, 0.66f}, 0.9f + 0.1f * n), p, roundShade(u, 0.4f), true);
    });
    const atlasrect& s = atlas::SHADE;
    paint(c, s, [&](int x, int y) {
        float n = valueNoise(x * 0.2f, y * 0.2f, 72);
        return lit(scale({0.40f, 0.40f, 0.42f}, 0.9f + 0.1f * n), p, 0.1f, true);
    });
}

void paintLamp(canvas& c, const palette& p)
{
    const atlasrect& r = atlas::LAMP;
    paint(c, r, [&](int, int) { return lit({0.25f, 0.26f, 0.28f}, p, 0.6f, true); });
    for (int row = 0; row < 3; row++)
        for (int k = 0; k < 4; k++) {
            float cx = 16 + k * 32, cy = 22 + row * 42;
            if (p.night) {
                disc(c, r, cx, cy, 15, {1.0f, 0.92f, 0.6f}, 0.8f);
                disc(c, r, cx, cy, 12, {1.0f, 1.0f, 0.95f});
            } else {
                disc(c, r, cx, cy, 13, lit({0.45f, 0.46f, 0.48f}, p, 0.7f));
                disc(c, r, cx, cy, 11, lit({0.82f, 0.84f, 0.86f}, p, 0.7f));
                disc(c, r, cx - 3, cy - 3, 4, lit({1, 1, 1}, p, 1.0f), 0.7f);
            }
        }
    const atlasrect& g = atlas::GLOW;
    for (int y = 0; y < g.h; y++)
        for (int x = 0; x < g.w; x++) {
            float dx = (x + 0.5f) / g.w * 2 - 1, dy = (y + 0.5f) / g.h * 2 - 1;
            float d = std::min(1.0f, std::sqrt(dx * dx + dy * dy));
            float a = p.night ? 0.85f * std::pow(1 - d, 2.2f) : 0.0f;
            c.set(g.x + x, g.y + y, {1.0f, 0.96f, 0.82f}, a);
        }
}

void paintStands(canvas& c, const palette& p)
{
    paint(c, atlas::RISER, [&](int x, int y) {
        float n = tileFractal(x, y, atlas::RISER.w, atlas::RISER.h, 8, 3, 81);
        rgb concrete = scale({0.78f, 0.76f, 0.72f}, 0.9f + 0.15f * n);
        if (y > atlas::RISER.h - 8)
            concrete = scale(concrete, 0.7f);  // the shadow under each seat edge
        return lit(concrete, p, 0.75f, true);
    });
    paint(c, atlas::SEAT, [&](int x, int y) {
        bool gap = x % 16 < 2 || y < 6 || y > atlas::SEAT.h - 6;
        rgb seat = gap ? rgb{0.35f, 0.35f, 0.37f} : rgb{0.10f, 0.38f, 0.70f};
        return lit(seat, p, 1.0f, true);
    });
    paint(c, atlas::WALL, [&](int x, int y) {
        float n = tileFractal(x, y, atlas::WALL.w, atlas::WALL.h, 8, 3, 82);
        rgb wall = y > 84 && y < 104 ? rgb{0.05f, 0.55f, 0.60f} : rgb{0.90f, 0.89f, 0.84f};
        return lit(scale(wall, 0.92f + 0.1f * n), p, 0.5f, true);
    });
    const atlasrect& a = atlas::CANOPY;
    paint(c, a, [&](int x, int y) {
        bool under = y >= a.h / 2;
        int yy = y % (a.h / 2);
        rgb stripe = (x / 16) % 2 ? rgb{0.95f, 0.95f, 0.92f} : rgb{0.85f, 0.15f, 0.12f};
        if (yy > a.h / 2 - 8)
            stripe = scale(stripe, 0.6f);  // hem
        return lit(stripe, p, under ? 0.15f : 0.8f, true);
    });
}

void paintCrowd(canvas& c, const palette& p, const atlasrect& r, uint32_t seed)
{
    const rgb shirts[] = {{0.90f, 0.15f, 0.12f}, {0.98f, 0.85f, 0.15f}, {0.95f, 0.95f, 0.95f}, {0.15f, 0.35f, 0.85f},
                          {0.15f, 0.70f, 0.30f}, {0.98f, 0.55f, 0.10f}, {0.95f, 0.45f, 0.70f}, {0.10f, 0.65f, 0.70f},
                          {0.20f, 0.20f, 0.25f}};
    const rgb skins[] = {{0.96f, 0.80f, 0.68f}, {0.88f, 0.68f, 0.52f}, {0.72f, 0.52f, 0.36f},
                         {0.52f, 0.36f, 0.24f}, {0.36f, 0.24f, 0.16f}};
    const rgb hairs[] = {{0.10f, 0.08f, 0.06f}, {0.35f, 0.22f, 0.12f}, {0.85f, 0.72f, 0.40f}, {0.60f, 0.60f, 0.60f}};
    // behind the people: the next tier's wall above, their own seats below
    paint(c, r, [&](int, int y) { return y < 34 ? rgb{0.42f, 0.41f, 0.40f} : rgb{0.10f, 0.30f, 0.55f}; });
    randomgen g(seed);
    for (float cx = 12; cx < r.w - 8; cx += g.range(28, 38)) {
        if (g.uniform() < 0.06f)
            continue;  // an empty seat
        rgb shirt = shirts[g.next() % 9], skin = skins[g.next() % 5], hair = hairs[g.next() % 4];
        float head = g.range(15, 21), rad = g.range(8.0f, 9.5f);
        bool cheering = g.uniform() < 0.35f;
        if (cheering) {
            float lift = g.range(1, 6);
            capsule(c, r, cx - 11, head + 18, cx - 15, lift, 3.2f, skin);
            capsule(c, r, cx + 11, head + 18, cx + 15, lift + g.range(-2, 2), 3.2f, skin);
        }
        box(c, r, cx, head + 30, 13.5f, 18, 6, shirt);
        disc(c, r, cx, head, rad, skin);
        float hat = g.uniform();
        if (hat < 0.2f) {  // a cap
            box(c, r, cx, head - rad * 0.55f, rad, rad * 0.45f, 3, shirts[g.next() % 9]);
        } else if (hat < 0.3f) {  // a straw hat
            box(c, r, cx, head - rad * 0.35f, rad * 1.6f, 1.6f, 1, {0.85f, 0.75f, 0.45f});
            box(c, r, cx, head - rad * 0.75f, rad * 0.9f, rad * 0.4f, 3, {0.85f, 0.75f, 0.45f});
        } else {
            box(c, r, cx, head - rad * 0.55f, rad * 0.95f, rad * 0.45f, rad * 0.45f, hair);
        }
    }
    for (int y = 0; y < r.h; y++)
        for (int x = 0; x < r.w; x++)
            c.set(r.x + x, r.y + y, lit(c.get(r.x + x, r.y + y), p, 0.85f, true));
}

void paintBoards(canvas& c, const palette& p)
{
    struct design {
        rgb back, stripe, text;
        const char* words;
    };
    const design designs[4] = {
        {{0.85f, 0.12f, 0.10f}, {0.98f, 0.82f, 0.10f}, {1, 1, 1}, "TIBREL"},
        {{0.98f, 0.82f, 0.12f}, {0.95f, 0.45f, 0.05f}, {0.08f, 0.15f, 0.45f}, "SUN & SAND"},
        {{0.08f, 0.35f, 0.80f}, {0.20f, 0.75f, 0.90f}, {1, 1, 1}, "BEACH CUP"},
        {{0.97f, 0.97f, 0.95f}, {0.10f, 0.60f, 0.65f}, {0.95f, 0.40f, 0.05f}, "SPLASH!"},
    };
    textface font;
    bool haveFont = font.open(fontSource());
    for (int k = 0; k < 4; k++) {
        const design& d = designs[k];
        atlasrect r = boardRect(k);
        paint(c, r, [&](int, int y) { return y < 6 || y > r.h - 7 ? d.stripe : d.back; });
        if (haveFont) {
            mask m = font.render(d.words, 34, 40, 2);
            int x0 = (r.w - m.width) / 2, y0 = (r.h - m.height) / 2;
            for (int y = 0; y < m.height; y++)
                for (int x = 0; x < m.width; x++) {
                    int px = x0 + x, py = y0 + y;
                    if (px >= 0 && px < r.w && py >= 0 && py < r.h && m.at(x, y) > 0)
                        c.blend(r.x + px, r.y + py, d.text, m.at(x, y));
                }
        }
        for (int y = 0; y < r.h; y++)
            for (int x = 0; x < r.w; x++)
                c.set(r.x + x, r.y + y, lit(c.get(r.x + x, r.y + y), p, 0.9f, true));
    }
}

void paintFlags(canvas& c, const palette& p)
{
    for (int k = 0; k < 4; k++) {
        atlasrect r = flagRect(k);
        paint(c, r, [&](int x, int y) {
            float u = (x + 0.5f) / r.w, v = (y + 0.5f) / r.h;
            switch (k) {
            case 0:  // lifeguard red over yellow
                return v < 0.5f ? rgb{0.90f, 0.12f, 0.10f} : rgb{0.98f, 0.85f, 0.10f};
            case 1: {  // a sun on blue
                float d = std::sqrt((u - 0.5f) * (u - 0.5f) + (v - 0.5f) * (v - 0.5f));
                return mix(rgb{0.10f, 0.30f, 0.80f}, rgb{0.99f, 0.85f, 0.15f}, coverage((d - 0.22f) * r.w));
            }
            case 2: {  // a white wave across green
                float wave = 0.5f + 0.12f * std::sin(u * 2 * PI_F * 1.5f);
                return std::fabs(v - wave) < 0.1f ? rgb{0.97f, 0.97f, 0.97f} : rgb{0.10f, 0.60f, 0.30f};
            }
            default:  // orange diagonal on white
                return std::fabs(u - v) < 0.18f ? rgb{0.98f, 0.50f, 0.08f} : rgb{0.97f, 0.97f, 0.95f};
            }
        });
        for (int y = 0; y < r.h; y++)
            for (int x = 0; x < r.w; x++)
                c.set(r.x + x, r.y + y, lit(c.get(r.x + x, r.y + y), p, 0.85f, true));
    }
}

void paintParasolAndBoat(canvas& c, const palette& p)
{
    const atlasrect& r = atlas::PARASOL;
    paint(c, r, [&](int x, int y) {
        float u = (x + 0.5f) / r.w, v = 1 - (y + 0.5f) / r.h;
        rgb cloth = int(u * 8) % 2 ? rgb{0.97f, 0.97f, 0.95f} : rgb{0.10f, 0.55f, 0.85f};
        return lit(cloth, p, 0.5f + 0.45f * v * roundShade(u, 0));
    });
    const atlasrect& b = atlas::BOAT;
    paint(c, b, [&](int x, int y) {
        (void)x;
        if (y < b.h / 2)  // sail, with a coloured band
            return lit(y > 90 && y < 104 ? rgb{0.90f, 0.30f, 0.15f} : rgb{0.96f, 0.95f, 0.90f}, p, 0.8f);
        return lit(y < b.h / 2 + 12 ? rgb{0.95f, 0.95f, 0.95f} : rgb{0.08f, 0.15f, 0.35f}, p, 0.6f);
    });
}

}

atlasrect boardRect(int k) { return {atlas::BOARDS.x + (k % 2) * 256, atlas::BOARDS.y + (k / 2) * 64, 256, 64}; }

atlasrect flagRect(int k) { return {atlas::FLAGS.x + (k % 2) * 128, atlas::FLAGS.y + (k / 2) * 128, 128, 128}; }

void paintVenueAtlas(canvas& c, venuetime t)
{
    palette p = paletteFor(t);
    c.fill({0.5f, 0.5f, 0.5f}, 1.0f);
    paintSky(c, p, t);
    paintWater(c, p, t);
    paintSand(c, p);
    paintGrass(c, p);
    paintShore(c, p);
    paintBark(c, p);
    paintLeaf(c, p);
    paintMetal(c, p);
    paintLamp(c, p);
    paintStands(c, p);
    paintCrowd(c, p, atlas::CROWD_A, 91);
    paintCrowd(c, p, atlas::CROWD_B, 191);
    paintBoards(c, p);
    paintFlags(c, p);
    paintParasolAndBoat(c, p);
}
