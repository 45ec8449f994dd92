// The three title pictures and the main menu background: beach scenes drawn from gradients,
// noise and shapes, with text set in the game font.
//
// Every picture is 1024 x 1024 but is shown stretched over a 4:3 window, so shapes are drawn in
// "view" units in which the picture is 1024 wide and 768 high: a circle there is round on screen.

#include "image.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

namespace {

const int SIZE = 1024;
const float VIEW_H = 768.0f;         // view units from top to bottom
const float ROW = VIEW_H / SIZE;     // view units per pixel row
const float STRETCH = SIZE / VIEW_H; // pixel rows per view unit

float fract01(float v) { return v - std::floor(v); }

// a gradient through colour stops at positions 0 ... 1
struct stop {
    float at;
    rgb colour;
};

rgb gradient(const std::vector<stop>& stops, float t)
{
    if (t <= stops.front().at)
        return stops.front().colour;
    for (size_t i = 1; i < stops.size(); ++i)
        if (t <= stops[i].at)
            return mix(stops[i - 1].colour, stops[i].colour, (t - stops[i - 1].at) / (stops[i].at - stops[i - 1].at));
    return stops.back().colour;
}

// fills every pixel from a function of its view position
void paintView(canvas& c, const std::function<rgb(float, float)>& f)
{
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x)
            c.set(x, y, f(float(x) + 0.5f, (float(y) + 0.5f) * ROW));
}

// Adds a tapered stroke from a to b (view units, radii ra and rb) to a coverage mask.
void stroke(mask& m, float ax, float ay, float bx, float by, float ra, float rb)
{
    float r = std::max(ra, rb) + 1.5f;
    int x0 = std::max(0, int(std::min(ax, bx) - r)), x1 = std::min(m.width - 1, int(std::max(ax, bx) + r));
    int y0 = std::max(0, int((std::min(ay, by) - r) * STRETCH));
    int y1 = std::min(m.height - 1, int((std::max(ay, by) + r) * STRETCH));
    float dx = bx - ax, dy = by - ay, len2 = dx * dx + dy * dy;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            float px = float(x) + 0.5f, py = (float(y) + 0.5f) * ROW;
            float t = len2 > 0 ? clamp01(((px - ax) * dx + (py - ay) * dy) / len2) : 0.0f;
            float d = std::hypot(px - ax - dx * t, py - ay - dy * t) - (ra + (rb - ra) * t);
            float& v = m.v[size_t(y) * m.width + x];
            v = std::max(v, coverage(d));
        }
}

void disc(mask& m, float cx, float cy, float r) { stroke(m, cx, cy, cx, cy, r, r); }

// A palm tree growing from (x, y) to the given height, leaning by lean (fraction of the height).
// Trunk and leaves go into separate masks so they can be coloured apart.
void palm(mask& trunk, mask& leaves, float x, float y, float height, float lean, uint32_t seed)
{
    randomgen rng(seed);
    float tx = x + lean * height, ty = y - height;
    float cx = x + lean * height * 0.15f, cy = y - height * 0.55f;   // bend of the trunk
    const int parts = 24;
    float px = x, py = y;
    for (int i = 1; i <= parts; ++i) {
        float t = float(i) / parts, u = 1.0f - t;
        float nx = u * u * x + 2 * u * t * cx + t * t * tx, ny = u * u * y + 2 * u * t * cy + t * t * ty;
        float r0 = height * (0.038f - 0.016f * (t - 1.0f / parts)), r1 = height * (0.038f - 0.016f * t);
        stroke(trunk, px, py, nx, ny, r0, r1);
        px = nx;
        py = ny;
    }
    const int fronds = 8;
    for (int f = 0; f < fronds; ++f) {
        float a = -3.14159f + 3.14159f * (float(f) + 0.5f) / fronds + rng.range(-0.15f, 0.15f);
        float len = height * rng.range(0.42f, 0.55f);
        float ex = tx + std::cos(a) * len, ey = ty + std::sin(a) * len * 0.55f;
        float droop = len * (0.35f + 0.25f * std::fabs(std::cos(a)));
        float lx = tx, ly = ty;
        for (int i = 1; i <= 18; ++i) {
            float t = float(i) / 18;
            float nx = tx + (ex - tx) * t, ny = ty + (ey - ty) * t + droop * t * t;
            stroke(leaves, lx, ly, nx, ny, height * 0.012f * (1.2f - t), height * 0.012f * (1.2f - t));
            // leaflets hang from the frond on both sides
            float dx = nx - lx, dy = ny - ly, dl = std::hypot(dx, dy);
            lx = nx;
            ly = ny;
            float leaf = height * 0.11f * std::sin(3.14159f * std::min(1.0f, t * 1.1f));
            if (leaf < 3.0f)
                continue;   // the bare tip of the frond
            for (int side = -1; side <= 1; side += 2) {
                float ox = -dy / dl * side, oy = dx / dl * side;
                float hx = nx + ox * leaf * 0.7f + dx / dl * leaf * 0.5f;
                float hy = ny + oy * leaf * 0.7f + leaf * 0.55f;
                stroke(leaves, nx, ny, hx, hy, std::min(height * 0.010f, leaf * 0.2f), height * 0.003f);
            }
        }
    }
    for (int k = 0; k < 3; ++k)   // coconuts
        disc(trunk, tx + (k - 1) * height * 0.03f, ty + height * 0.03f + (k % 2) * height * 0.02f, height * 0.025f);
}

// a volleyball net standing on the sand between two posts
void net(mask& m, float x0, float x1, float ground, float height)
{
    float top = ground - height;
    stroke(m, x0, ground, x0, top - 6, 5, 5);
    stroke(m, x1, ground, x1, top - 6, 5, 5);
    stroke(m, x0, top, x1, top, 4, 4);
    float bottom = top + height * 0.42f;
    stroke(m, x0, bottom, x1, bottom, 1.6f, 1.6f);
    for (float x = x0 + 12; x < x1; x += 12)
        stroke(m, x, top, x, bottom, 0.9f, 0.9f);
    for (float y = top + 10; y < bottom; y += 10)
        stroke(m, x0, y, x1, y, 0.9f, 0.9f);
}

// Text centred on (cx, cy) in view units: em is the letter size in view units. The fill runs
// from top to bottom colour, with an outline and a soft drop shadow.
void headline(canvas& c, const textface& font, const std::string& text, float cx, float cy, float em,
              rgb top, rgb bottom, rgb edge, float edgeWidth, float shadow)
{
    int margin = int(edgeWidth + shadow * 2 + 16);
    mask m = font.render(text, em, em * STRETCH, margin);
    int x0 = int(cx - m.width * 0.5f), y0 = int(cy * STRETCH - m.height * 0.5f);
    mask rim = m.grow(edgeWidth);
    if (shadow > 0)
        paintMask(c, rim.blurred(int(shadow * 0.6f) + 1).shifted(int(shadow), int(shadow * STRETCH)),
                  x0, y0, {0.02f, 0.0f, 0.05f}, 0.6f);
    if (edgeWidth > 0)
        paintMask(c, rim, x0, y0, edge, 1.0f);
    // the fill, its gradient spanning the letters' ink
    int inkTop = m.height, inkBottom = 0;
    for (int y = 0; y < m.height; ++y)
        for (int x = 0; x < m.width; ++x)
            if (m.at(x, y) > 0.5f) {
                inkTop = std::min(inkTop, y);
                inkBottom = std::max(inkBottom, y);
            }
    for (int y = 0; y < m.height; ++y) {
        rgb col = mix(top, bottom, clamp01(float(y - inkTop) / float(std::max(1, inkBottom - inkTop))));
        for (int x = 0; x < m.width; ++x)
            c.blend(x0 + x, y0 + y, col, m.at(x, y));
    }
}

// copies a picture with a blur of the given radius on each colour channel (the border darkens,
// as the blur reads black beyond the edges)
canvas blurred(const canvas& src, int radius)
{
    canvas out = src;
    for (int ch = 0; ch < 3; ++ch) {
        mask m(src.width, src.height);
        for (size_t i = 0; i < m.v.size(); ++i)
            m.v[i] = src.px[i * 4 + ch];
        mask b = m.blurred(radius);
        for (size_t i = 0; i < m.v.size(); ++i)
            out.px[i * 4 + ch] = b.v[i];
    }
    return out;
}

// ---------------------------------------------------------------- scenery pieces

// sea between the horizon and the shore: colour from the horizon to the shore, with bands of
// waves and a column of sparkle under a light at lightX
rgb sea(float x, float y, float horizon, float shore, rgb far, rgb nearby, rgb sparkle, float lightX, uint32_t seed)
{
    float t = (y - horizon) / (shore - horizon);
    rgb c = mix(far, nearby, t);
    float wave = valueNoise(x / (40.0f + 160.0f * t), y / (1.5f + 5.0f * t), seed);
    c = mix(c, scale(c, 0.8f), smoothstep(0.55f, 0.8f, wave) * 0.6f);
    float spread = 40.0f + 260.0f * t;
    float column = std::exp(-std::pow((x - lightX) / spread, 2.0f));
    float glint = smoothstep(0.58f, 0.78f, valueNoise(x / 22.0f, y / (1.2f + 3.0f * t), seed + 7));
    return mix(c, sparkle, clamp01(column * glint * 1.3f + column * 0.18f));
}

rgb sand(float x, float y, float shore, rgb wet, rgb dry, rgb dark, uint32_t seed)
{
    float t = clamp01((y - shore) / (VIEW_H - shore));
    rgb c = mix(dry, dark, t * 0.7f);
    float dune = fractalNoise(x / 180.0f, y / 40.0f, 3, seed);
    c = mix(c, scale(c, 0.86f), smoothstep(0.45f, 0.7f, dune));
    float grain = valueNoise(x * 0.9f, y * 1.2f, seed + 3) - 0.5f;
    c = scale(c, 1.0f + grain * 0.08f);
    float wetness = 1.0f - smoothstep(0.0f, 22.0f, y - shore - 6.0f * std::sin(x / 60.0f));
    return mix(c, wet, wetness * 0.8f);
}

// a wavy line of foam along the shore
float foam(float x, float y, float shore, uint32_t seed)
{
    float line = shore + 4.0f * std::sin(x / 45.0f) + 6.0f * (valueNoise(x / 70.0f, 0.5f, seed) - 0.5f);
    return clamp01(1.0f - std::fabs(y - line) / 2.5f) * smoothstep(0.3f, 0.6f, valueNoise(x / 12.0f, 2.0f, seed + 1));
}

// ---------------------------------------------------------------- the pictures

void drawName(const std::string& path, const textface& font)
{
    canvas c(SIZE, SIZE);
    const float horizon = 470, shore = 575, sunX = 512, sunY = 430, sunR = 105;
    const std::vector<stop> sky = {{0.0f, {0.09f, 0.05f, 0.24f}},
                                   {0.40f, {0.40f, 0.12f, 0.42f}},
                                   {0.72f, {0.92f, 0.36f, 0.30f}},
                                   {1.0f, {1.0f, 0.74f, 0.38f}}};
    paintView(c, [&](float x, float y) -> rgb {
        if (y < horizon) {
            rgb col = gradient(sky, y / horizon);
            float glow = std::exp(-std::hypot(x - sunX, (y - sunY) * 1.6f) / 210.0f);
            col = col + scale({1.0f, 0.55f, 0.25f}, glow * 0.55f);
            // streaks of cloud lit from below
            float n = fractalNoise(x / 300.0f, y / 22.0f, 4, 11);
            float cloud = smoothstep(0.55f, 0.72f, n) * smoothstep(60.0f, 160.0f, y) * (1.0f - smoothstep(360.0f, 440.0f, y));
            col = mix(col, mix({0.32f, 0.10f, 0.30f}, {1.0f, 0.55f, 0.38f}, clamp01(y / horizon * 1.2f - 0.2f)), cloud * 0.85f);
            // the sun, with the gaps of a setting sun through haze
            float d = std::hypot(x - sunX, y - sunY);
            float k = coverage(d - sunR);
            if (k > 0) {
                float gapAt = (y - (sunY - 10.0f)) / 17.0f;
                float gap = y > sunY - 10.0f ? clamp01((fract01(gapAt) - (0.78f - 0.06f * gapAt)) * 12.0f) : 0.0f;
                rgb sun = mix({1.0f, 0.96f, 0.62f}, {1.0f, 0.50f, 0.18f}, clamp01((y - (sunY - sunR)) / (sunR * 1.6f)));
                col = mix(col, sun, k * (1.0f - gap));
            }
            return col;
        }
        if (y < shore) {
            rgb s = sea(x, y, horizon, shore, {0.38f, 0.13f, 0.36f}, {0.14f, 0.05f, 0.22f}, {1.0f, 0.72f, 0.36f}, sunX, 21);
            return mix(s, {1.0f, 0.7f, 0.6f}, foam(x, y, shore - 3, 5) * 0.7f);
        }
        return sand(x, y, shore, {0.36f, 0.17f, 0.26f}, {0.66f, 0.38f, 0.30f}, {0.36f, 0.17f, 0.20f}, 31);
    });
    mask shadowShapes(SIZE, SIZE), leaves(SIZE, SIZE);
    palm(shadowShapes, leaves, 110, 790, 470, 0.22f, 1);
    palm(shadowShapes, leaves, 960, 800, 420, -0.28f, 2);
    palm(shadowShapes, leaves, 880, 760, 250, -0.12f, 3);
    net(shadowShapes, 560, 780, 700, 120);
    const rgb silhouette = {0.08f, 0.02f, 0.08f};
    paintMask(c, shadowShapes, 0, 0, silhouette);
    paintMask(c, leaves, 0, 0, silhouette);

    headline(c, font, "Tibrel", 512, 205, 250, {1.0f, 0.96f, 0.60f}, {1.0f, 0.42f, 0.12f}, {0.20f, 0.03f, 0.18f}, 11, 10);
    headline(c, font, "2006", 512, 335, 110, {1.0f, 1.0f, 1.0f}, {0.55f, 0.90f, 1.0f}, {0.20f, 0.03f, 0.18f}, 7, 6);
    c.save(path, false);
}

void drawPresents(const std::string& path, const textface& font)
{
    canvas c(SIZE, SIZE);
    const float horizon = 500, shore = 600, moonX = 770, moonY = 170, moonR = 52;
    const std::vector<stop> sky = {{0.0f, {0.01f, 0.02f, 0.08f}}, {0.7f, {0.05f, 0.08f, 0.22f}}, {1.0f, {0.14f, 0.17f, 0.36f}}};
    paintView(c, [&](float x, float y) -> rgb {
        if (y < horizon) {
            rgb col = gradient(sky, y / horizon);
            float glow = std::exp(-std::hypot(x - moonX, y - moonY) / 120.0f);
            col = col + scale({0.5f, 0.6f, 0.8f}, glow * 0.45f);
            float k = coverage(std::hypot(x - moonX, y - moonY) - moonR);
            if (k > 0) {
                float crater = smoothstep(0.55f, 0.7f, fractalNoise(x / 18.0f, y / 18.0f, 3, 41));
                rgb moon = mix({0.96f, 0.95f, 0.86f}, {0.72f, 0.72f, 0.70f}, crater * 0.7f);
                col = mix(col, moon, k);
            }
            return col;
        }
        if (y < shore) {
            rgb s = sea(x, y, horizon, shore, {0.08f, 0.12f, 0.28f}, {0.03f, 0.05f, 0.14f}, {0.85f, 0.88f, 0.95f}, moonX, 23);
            return mix(s, {0.6f, 0.7f, 0.85f}, foam(x, y, shore - 3, 6) * 0.6f);
        }
        return sand(x, y, shore, {0.07f, 0.08f, 0.16f}, {0.22f, 0.20f, 0.28f}, {0.08f, 0.08f, 0.14f}, 33);
    });
    // stars, fewer and fainter near the horizon
    randomgen rng(77);
    for (int i = 0; i < 420; ++i) {
        float x = rng.range(0, SIZE), y = rng.range(0, horizon - 20);
        float bright = rng.range(0.3f, 1.0f) * (1.0f - y / horizon);
        float r = rng.uniform() < 0.08f ? 2.2f : 1.2f;
        if (std::hypot(x - moonX, y - moonY) < moonR * 2.2f)
            continue;
        mask star(12, 16);
        for (int yy = 0; yy < 16; ++yy)
            for (int xx = 0; xx < 12; ++xx)
                star.v[size_t(yy) * 12 + xx] = coverage(std::hypot(xx + 0.5f - 6.0f, (yy + 0.5f - 8.0f) * ROW) - r);
        paintMask(c, star, int(x) - 6, int(y * STRETCH) - 8, {0.9f, 0.93f, 1.0f}, bright);
    }
    mask trunk(SIZE, SIZE), leaves(SIZE, SIZE);
    palm(trunk, leaves, 120, 800, 440, 0.25f, 4);
    paintMask(c, trunk, 0, 0, {0.01f, 0.01f, 0.04f});
    paintMask(c, leaves, 0, 0, {0.01f, 0.01f, 0.04f});
    headline(c, font, "the Tibrel team", 512, 300, 64, {0.75f, 0.88f, 1.0f}, {0.55f, 0.70f, 0.95f}, {0.02f, 0.03f, 0.10f}, 4, 4);
    headline(c, font, "presents", 512, 395, 132, {1.0f, 1.0f, 1.0f}, {0.78f, 0.88f, 1.0f}, {0.05f, 0.08f, 0.25f}, 7, 7);
    c.save(path, false);
}

void drawTeam(const std::string& path, const textface& font)
{
    canvas c(SIZE, SIZE);
    const float horizon = 450, shore = 560, sunX = 180, sunY = 120;
    const std::vector<stop> sky = {{0.0f, {0.30f, 0.58f, 0.92f}}, {0.75f, {0.62f, 0.82f, 0.97f}}, {1.0f, {0.90f, 0.94f, 0.96f}}};
    paintView(c, [&](float x, float y) -> rgb {
        if (y < horizon) {
            rgb col = gradient(sky, y / horizon);
            float glow = std::exp(-std::hypot(x - sunX, y - sunY) / 150.0f);
            col = mix(col, {1.0f, 0.98f, 0.85f}, glow * 0.7f);
            col = mix(col, {1.0f, 1.0f, 0.94f}, coverage(std::hypot(x - sunX, y - sunY) - 48));
            float n = fractalNoise(x / 220.0f, y / 60.0f, 5, 13);
            float cloud = smoothstep(0.56f, 0.72f, n) * (1.0f - smoothstep(300.0f, 430.0f, y));
            return mix(col, mix({1, 1, 1}, {0.78f, 0.84f, 0.92f}, clamp01((n - 0.6f) * 4)), cloud * 0.9f);
        }
        if (y < shore) {
            rgb s = sea(x, y, horizon, shore, {0.10f, 0.45f, 0.70f}, {0.20f, 0.75f, 0.78f}, {1.0f, 1.0f, 0.95f}, sunX, 25);
            return mix(s, {1, 1, 1}, foam(x, y, shore - 3, 7) * 0.9f);
        }
        return sand(x, y, shore, {0.78f, 0.68f, 0.52f}, {0.98f, 0.88f, 0.64f}, {0.88f, 0.72f, 0.48f}, 35);
    });
    mask trunk(SIZE, SIZE), leaves(SIZE, SIZE);
    palm(trunk, leaves, 930, 790, 480, -0.22f, 5);
    palm(trunk, leaves, 70, 770, 330, 0.18f, 6);
    paintMask(c, trunk, 0, 0, {0.45f, 0.30f, 0.16f});
    paintMask(c, leaves, 0, 0, {0.16f, 0.50f, 0.18f});
    mask poles(SIZE, SIZE);
    net(poles, 330, 700, 690, 130);
    paintMask(c, poles, 0, 0, {0.18f, 0.16f, 0.20f});
    drawVolleyball(c, 760, 170 * STRETCH, 46, STRETCH, 1.9f);

    headline(c, font, "a game by", 512, 250, 70, {0.10f, 0.25f, 0.50f}, {0.05f, 0.15f, 0.38f}, {1, 1, 1}, 5, 0);
    headline(c, font, "the Tibrel team", 512, 350, 120, {1.0f, 0.92f, 0.35f}, {1.0f, 0.55f, 0.12f}, {0.08f, 0.16f, 0.38f}, 8, 7);
    c.save(path, false);
}

void drawMenuBackground(const std::string& path)
{
    canvas c(SIZE, SIZE);
    const float horizon = 400, shore = 520;
    const std::vector<stop> sky = {{0.0f, {0.16f, 0.40f, 0.82f}}, {0.8f, {0.52f, 0.76f, 0.96f}}, {1.0f, {0.82f, 0.92f, 0.98f}}};
    paintView(c, [&](float x, float y) -> rgb {
        if (y < horizon) {
            rgb col = gradient(sky, y / horizon);
            float n = fractalNoise(x / 260.0f, y / 70.0f, 5, 17);
            float cloud = smoothstep(0.55f, 0.7f, n) * (1.0f - smoothstep(280.0f, 390.0f, y));
            return mix(col, {0.97f, 0.98f, 1.0f}, cloud * 0.9f);
        }
        if (y < shore) {
            rgb s = sea(x, y, horizon, shore, {0.06f, 0.38f, 0.66f}, {0.16f, 0.70f, 0.74f}, {1.0f, 1.0f, 0.95f}, 700, 27);
            return mix(s, {1, 1, 1}, foam(x, y, shore - 3, 8) * 0.9f);
        }
        return sand(x, y, shore, {0.76f, 0.64f, 0.48f}, {0.98f, 0.86f, 0.60f}, {0.86f, 0.68f, 0.44f}, 37);
    });
    mask trunk(SIZE, SIZE), leaves(SIZE, SIZE), poles(SIZE, SIZE);
    palm(trunk, leaves, 60, 780, 560, 0.20f, 7);
    palm(trunk, leaves, 980, 790, 520, -0.24f, 8);
    palm(trunk, leaves, 900, 700, 300, -0.10f, 9);
    net(poles, 250, 780, 650, 150);
    paintMask(c, poles, 0, 0, {0.20f, 0.18f, 0.22f});
    paintMask(c, trunk, 0, 0, {0.45f, 0.30f, 0.16f});
    paintMask(c, leaves, 0, 0, {0.14f, 0.48f, 0.16f});
    drawVolleyball(c, 860, 90 * STRETCH, 36, STRETCH, 0.4f);

    // The menu's white, yellow and cyan text sits in the middle: calm that part down with a blur
    // and a dark veil that fades out towards the edges.
    canvas soft = blurred(c, 10);
    for (int y = 0; y < SIZE; ++y)
        for (int x = 0; x < SIZE; ++x) {
            float vx = float(x) + 0.5f - 512.0f, vy = (float(y) + 0.5f) * ROW - 384.0f;
            float d = sdRoundBox(vx, vy + 24.0f, 330, 400, 80);
            float veil = 1.0f - smoothstep(-90.0f, 70.0f, d);
            rgb calm = scale(soft.get(x, y), 0.34f) + rgb{0.01f, 0.02f, 0.06f};
            c.set(x, y, mix(c.get(x, y), calm, veil));
        }
    c.save(path, false);
}

} // namespace

void generateTitles(const std::string& root)
{
    std::string folder = root + "/titles";
    makeFolder(folder);
    textface font;
    if (!font.open(fontSource()))
        fail(std::string("cannot open the font ") + fontSource());
    drawName(folder + "/name.png", font);
    drawPresents(folder + "/presents.png", font);
    drawTeam(folder + "/team.png", font);
    drawMenuBackground(folder + "/mainmenu_bg.png");
}
