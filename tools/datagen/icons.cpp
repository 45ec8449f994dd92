// The ball picture and the eight power-up icons.

#include "image.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

const float PI = 3.14159265f;

struct vec3 {
    float x, y, z;
};

vec3 rotateX(vec3 v, float a)
{
    float c = std::cos(a), s = std::sin(a);
    return {v.x, v.y * c - v.z * s, v.y * s + v.z * c};
}

vec3 rotateY(vec3 v, float a)
{
    float c = std::cos(a), s = std::sin(a);
    return {v.x * c + v.z * s, v.y, -v.x * s + v.z * c};
}

vec3 rotateZ(vec3 v, float a)
{
    float c = std::cos(a), s = std::sin(a);
    return {v.x * c - v.y * s, v.x * s + v.y * c, v.z};
}

const rgb BALL_YELLOW = {1.0f, 0.80f, 0.08f};
const rgb BALL_BLUE = {0.08f, 0.28f, 0.80f};
const rgb BALL_WHITE = {0.97f, 0.97f, 0.94f};

// Colour of the ball's skin at a point of the unit sphere. The panels follow the faces of a cube
// projected onto the sphere, three strips to a face, the strips of neighbouring faces crossed:
// this gives the curved seams of a volleyball.
rgb panelColour(vec3 n, float seam)
{
    float ax = std::fabs(n.x), ay = std::fabs(n.y), az = std::fabs(n.z);
    float big, second, along;
    int face;
    if (ax >= ay && ax >= az) {
        face = 0;
        big = ax;
        second = std::max(ay, az);
        along = n.y / ax;
    } else if (ay >= az) {
        face = 1;
        big = ay;
        second = std::max(ax, az);
        along = n.z / ay;
    } else {
        face = 2;
        big = az;
        second = std::max(ax, ay);
        along = n.x / az;
    }
    int strip = along < -0.36f ? 0 : (along > 0.36f ? 2 : 1);
    static const rgb colours[3][3] = {
        {BALL_YELLOW, BALL_WHITE, BALL_BLUE},
        {BALL_BLUE, BALL_YELLOW, BALL_WHITE},
        {BALL_WHITE, BALL_BLUE, BALL_YELLOW},
    };
    // seams between faces and between strips, with a soft edge one seam wide
    float toFace = (big - second) / big / 1.4f;
    float toStrip = std::fabs(std::fabs(along) - 0.36f);
    float line = 1.0f - smoothstep(0.5f * seam, 1.5f * seam, std::min(toFace, toStrip));
    return mix(colours[face][strip], {0.25f, 0.25f, 0.30f}, line);
}

} // namespace

void drawVolleyball(canvas& c, float cx, float cy, float r, float sy, float turn)
{
    int x0 = std::max(0, int(cx - r - 2)), x1 = std::min(c.width - 1, int(cx + r + 2));
    int y0 = std::max(0, int(cy - r * sy - 2)), y1 = std::min(c.height - 1, int(cy + r * sy + 2));
    const vec3 light = {-0.48f, -0.62f, 0.62f};
    const vec3 half = {-0.24f, -0.31f, 0.92f};   // between the light and the viewer
    float hl = std::sqrt(half.x * half.x + half.y * half.y + half.z * half.z);
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            float dx = (float(x) + 0.5f - cx) / r, dy = (float(y) + 0.5f - cy) / (r * sy);
            float d = std::sqrt(dx * dx + dy * dy);
            float k = coverage((d - 1.0f) * r);
            if (k <= 0.0f)
                continue;
            float dd = std::min(d, 0.999f);
            vec3 n = {dd > 0 ? dx * dd / d : 0.0f, dd > 0 ? dy * dd / d : 0.0f, std::sqrt(1.0f - dd * dd)};
            vec3 m = rotateY(rotateX(rotateZ(n, turn), 0.55f), 0.65f);
            rgb base = panelColour(m, 1.3f / r);
            float diffuse = std::max(0.0f, n.x * light.x + n.y * light.y + n.z * light.z);
            float shine = std::pow(std::max(0.0f, (n.x * half.x + n.y * half.y + n.z * half.z) / hl), 60.0f);
            rgb col = scale(base, 0.30f + 0.78f * diffuse) + rgb{shine * 0.55f, shine * 0.55f, shine * 0.55f};
            // a dark rim keeps the edge clean against any background
            float rim = clamp01(((1.0f - d) * r - 0.6f) / 1.4f);
            col = mix({0.10f, 0.10f, 0.16f}, col, rim);
            c.blend(x, y, col, k);
        }
}

void generateBall(const std::string& root)
{
    canvas ball(128, 128);
    drawVolleyball(ball, 64.0f, 64.0f, 61.0f, 1.0f, 0.3f);
    ball.save(root + "/example_ball.png", true);
}

namespace {

const int ICON = 128;

// the pictogram of an icon as a signed distance, centre of the icon at (64, 64)
using picture = std::function<float(float, float)>;

float sdUnion(float a, float b) { return std::min(a, b); }

// a chevron pointing right with its tip at (x, y)
float chevron(float px, float py, float x, float y, float size, float width)
{
    return sdUnion(sdCapsule(px, py, x - size, y - size, x, y, width),
                   sdCapsule(px, py, x - size, y + size, x, y, width));
}

// a simple figure standing on (x, y) with the given height
float figure(float px, float py, float x, float y, float h)
{
    float head = sdCircle(px, py, x, y - h * 0.86f, h * 0.13f);
    float body = sdCapsule(px, py, x, y - h * 0.68f, x, y - h * 0.38f, h * 0.09f);
    float arms = sdUnion(sdCapsule(px, py, x, y - h * 0.64f, x - h * 0.25f, y - h * 0.42f, h * 0.055f),
                         sdCapsule(px, py, x, y - h * 0.64f, x + h * 0.25f, y - h * 0.42f, h * 0.055f));
    float legs = sdUnion(sdCapsule(px, py, x, y - h * 0.40f, x - h * 0.14f, y - h * 0.04f, h * 0.065f),
                         sdCapsule(px, py, x, y - h * 0.40f, x + h * 0.14f, y - h * 0.04f, h * 0.065f));
    return sdUnion(sdUnion(head, body), sdUnion(arms, legs));
}

// an arrow from (ax, ay) to its tip (bx, by)
float arrow(float px, float py, float ax, float ay, float bx, float by, float width, float headSize)
{
    float dx = bx - ax, dy = by - ay, l = std::hypot(dx, dy);
    dx /= l;
    dy /= l;
    float shaft = sdCapsule(px, py, ax, ay, bx - dx * width, by - dy * width, width);
    float hx = bx - dx * headSize, hy = by - dy * headSize;
    float h1 = sdCapsule(px, py, bx, by, hx - dy * headSize * 0.8f, hy + dx * headSize * 0.8f, width);
    float h2 = sdCapsule(px, py, bx, by, hx + dy * headSize * 0.8f, hy - dx * headSize * 0.8f, width);
    return sdUnion(shaft, sdUnion(h1, h2));
}

float spiral(float px, float py)
{
    float dx = px - 64.0f, dy = py - 64.0f;
    float r = std::hypot(dx, dy), a = std::atan2(dy, dx);
    const float start = 6.0f, grow = 13.0f / (2.0f * PI);   // 13 pixels per turn
    float best = 1e9f;
    for (int k = 0; k < 4; ++k) {
        float t = a + PI + 2.0f * PI * k;   // angle travelled along the spiral
        if (t > 2.0f * PI * 3.4f)
            break;
        best = std::min(best, std::fabs(r - (start + grow * t)));
    }
    return std::min(best - 3.6f, sdCircle(px, py, 64.0f, 64.0f, 6.0f));
}

float turtle(float px, float py)
{
    // the shell: the top half of an ellipse
    float sx = (px - 60.0f) / 34.0f, sy = (py - 76.0f) / 28.0f;
    float shell = (std::sqrt(sx * sx + sy * sy) - 1.0f) * 28.0f;
    shell = std::max(shell, py - 78.0f);
    float head = sdCircle(px, py, 100.0f, 68.0f, 9.5f);
    float neck = sdCapsule(px, py, 88.0f, 74.0f, 98.0f, 69.0f, 6.0f);
    float legs = sdUnion(sdCapsule(px, py, 40.0f, 78.0f, 36.0f, 90.0f, 6.0f),
                         sdCapsule(px, py, 78.0f, 78.0f, 82.0f, 90.0f, 6.0f));
    float tail = sdCapsule(px, py, 26.0f, 76.0f, 20.0f, 80.0f, 3.5f);
    return sdUnion(sdUnion(shell, sdUnion(head, neck)), sdUnion(legs, tail));
}

// the pattern cut into the turtle's shell
float turtleLines(float px, float py)
{
    float ring = std::fabs(std::hypot((px - 60.0f) / 34.0f, (py - 76.0f) / 28.0f) * 28.0f - 16.0f) - 1.6f;
    ring = std::max(ring, py - 78.0f);
    float l1 = sdCapsule(px, py, 50.0f, 60.0f, 46.0f, 76.0f, 1.6f);
    float l2 = sdCapsule(px, py, 70.0f, 60.0f, 74.0f, 76.0f, 1.6f);
    float eye = sdCircle(px, py, 103.0f, 66.0f, 2.2f);
    return std::min(std::min(ring, eye), std::min(l1, l2));
}

float spring(float px, float py)
{
    // a coil of four zigzags under an arrow
    float d = 1e9f;
    const float left = 42.0f, right = 86.0f, top = 70.0f, step = 9.0f;
    for (int i = 0; i < 4; ++i) {
        float y = top + step * i;
        float xa = i % 2 ? right : left, xb = i % 2 ? left : right;
        d = std::min(d, sdCapsule(px, py, xa, y, xb, y + step, 4.0f));
    }
    d = std::min(d, sdCapsule(px, py, 38.0f, top + 4 * step + 2.0f, 90.0f, top + 4 * step + 2.0f, 4.5f));
    return std::min(d, arrow(px, py, 64.0f, 62.0f, 64.0f, 16.0f, 6.0f, 16.0f));
}

float giant(float px, float py)
{
    float d = figure(px, py, 64.0f, 116.0f, 104.0f);
    d = std::min(d, arrow(px, py, 30.0f, 40.0f, 14.0f, 22.0f, 3.5f, 9.0f));
    return std::min(d, arrow(px, py, 98.0f, 40.0f, 114.0f, 22.0f, 3.5f, 9.0f));
}

float small(float px, float py)
{
    float d = figure(px, py, 64.0f, 110.0f, 44.0f);
    d = std::min(d, arrow(px, py, 16.0f, 20.0f, 40.0f, 44.0f, 4.0f, 11.0f));
    return std::min(d, arrow(px, py, 112.0f, 20.0f, 88.0f, 44.0f, 4.0f, 11.0f));
}

// the rocket, leaning to the upper right; its flame is drawn apart, in colour
float rocket(float px, float py)
{
    // rocket frame: u along the body towards the nose, v across
    const float c = std::cos(-PI / 4), s = std::sin(-PI / 4);
    float dx = px - 60.0f, dy = py - 68.0f;
    float u = dx * c + dy * s, v = -dx * s + dy * c;
    float body = sdCapsule(u, v, -22.0f, 0.0f, 14.0f, 0.0f, 12.0f);
    // the nose: a cone from u = 14 to u = 40
    float t = clamp01((u - 14.0f) / 26.0f);
    float nose = std::max(std::fabs(v) - 12.0f * (1.0f - t) * (1.0f - t * 0.2f), std::max(14.0f - u, u - 40.0f));
    float fins = sdUnion(sdCapsule(u, v, -14.0f, 12.0f, -30.0f, 24.0f, 4.5f),
                         sdCapsule(u, v, -14.0f, -12.0f, -30.0f, -24.0f, 4.5f));
    return sdUnion(sdUnion(body, nose), fins);
}

float rocketWindow(float px, float py) { return sdCircle(px, py, 68.0f, 60.0f, 6.0f); }

float flame(float px, float py)
{
    const float c = std::cos(-PI / 4), s = std::sin(-PI / 4);
    float dx = px - 60.0f, dy = py - 68.0f;
    float u = dx * c + dy * s, v = -dx * s + dy * c;
    float t = clamp01((-u - 26.0f) / 30.0f);
    return std::max(std::fabs(v) - 9.0f * (1.0f - t) - 1.0f, std::max(-u - 58.0f, u + 24.0f));
}

struct icon {
    const char* file;
    rgb colour;
    picture shape;
    picture detail;   // cut into the pictogram in the icon's colour, or empty
    picture fire;     // drawn in flame colours behind the pictogram, or empty
};

void drawIcon(const std::string& path, const icon& ic, const textface* font, const char* text)
{
    canvas c(ICON, ICON);
    // the plate: a rounded square, lighter at the top, with a bevelled border
    mask plate = shapeMask(ICON, ICON, [](float x, float y) { return sdRoundBox(x - 64, y - 64, 61, 61, 20); });
    for (int y = 0; y < ICON; ++y)
        for (int x = 0; x < ICON; ++x) {
            float k = plate.at(x, y);
            if (k <= 0)
                continue;
            float inner = -sdRoundBox(x + 0.5f - 64, y + 0.5f - 64, 61, 61, 20);
            float t = float(y) / ICON;
            rgb col = mix(mix(ic.colour, {1, 1, 1}, 0.35f), scale(ic.colour, 0.62f), t);
            if (inner < 6.0f)   // border: light at the top left, dark at the bottom right
                col = mix(scale(ic.colour, 0.45f), mix(ic.colour, {1, 1, 1}, 0.6f), clamp01(1.0f - (x + y) / 200.0f));
            if (inner < 1.5f)
                col = scale(ic.colour, 0.3f);
            c.blend(x, y, col, k);
        }
    // a gloss over the upper half
    for (int y = 6; y < 60; ++y)
        for (int x = 6; x < 122; ++x) {
            float d = sdRoundBox(x + 0.5f - 64, y + 0.5f - 34, 52, 24, 18);
            c.blend(x, y, {1, 1, 1}, coverage(d) * 0.16f * (1.0f - (y - 6) / 60.0f));
        }

    mask pic(ICON, ICON);
    if (text) {
        mask glyph = font->render(text, 104, 104, 0);
        pic = mask(ICON, ICON);
        int ox = (ICON - glyph.width) / 2, oy = (ICON - glyph.height) / 2 + 4;
        for (int y = 0; y < glyph.height; ++y)
            for (int x = 0; x < glyph.width; ++x)
                if (ox + x >= 0 && oy + y >= 0 && ox + x < ICON && oy + y < ICON)
                    pic.v[size_t(oy + y) * ICON + ox + x] = glyph.at(x, y);
    } else {
        pic = shapeMask(ICON, ICON, ic.shape);
    }
    // shadow, dark outline, then the white pictogram
    paintMask(c, pic.grow(2.0f).blurred(2).shifted(3, 4), 0, 0, {0, 0, 0}, 0.55f);
    if (ic.fire) {
        mask f = shapeMask(ICON, ICON, ic.fire);
        paintMask(c, f.grow(3.0f).blurred(2), 0, 0, {1.0f, 0.35f, 0.05f}, 1.0f);
        paintMask(c, f, 0, 0, {1.0f, 0.85f, 0.25f}, 1.0f);
    }
    paintMask(c, pic.grow(2.5f), 0, 0, scale(ic.colour, 0.25f), 1.0f);
    paintMask(c, pic, 0, 0, {1, 1, 1}, 1.0f);
    if (ic.detail)
        paintMask(c, shapeMask(ICON, ICON, ic.detail), 0, 0, scale(ic.colour, 0.5f), 1.0f);
    c.save(path, true);
}

} // namespace

void generateIcons(const std::string& root)
{
    std::string folder = root + "/powerups";
    makeFolder(folder);
    textface font;
    if (!font.open(fontSource()))
        fail(std::string("cannot open the font ") + fontSource());
    const icon icons[] = {
        {"random", {0.58f, 0.26f, 0.86f}, nullptr, nullptr, nullptr},
        {"dizzy", {0.93f, 0.28f, 0.64f}, spiral, nullptr, nullptr},
        {"speedup", {0.18f, 0.74f, 0.22f},
         [](float x, float y) { return std::min(chevron(x, y, 62, 64, 24, 7), chevron(x, y, 98, 64, 24, 7)); },
         nullptr, nullptr},
        {"slowdown", {0.80f, 0.42f, 0.16f}, turtle, turtleLines, nullptr},
        {"superjump", {0.08f, 0.66f, 0.90f}, spring, nullptr, nullptr},
        {"giant", {0.98f, 0.56f, 0.08f}, giant, nullptr, nullptr},
        {"small", {0.10f, 0.60f, 0.56f}, small, nullptr, nullptr},
        {"jetpack", {0.22f, 0.30f, 0.78f}, rocket, rocketWindow, flame},
    };
    // the random icon is a question mark in the font; the others are drawn shapes
    for (const icon& ic : icons)
        drawIcon(folder + "/" + ic.file + ".png", ic, &font, ic.shape ? nullptr : "?");
}
