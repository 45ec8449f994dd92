// The application icon for the desktop's menus: the ball in front of an evening sky over the
// sand and the net, on a rounded plate. Drawn afresh at every size, so the small ones stay
// sharp rather than scaled down.

#include "image.h"

#include <algorithm>
#include <cmath>

namespace {

// edge lengths in pixels, the hicolor theme's usual application sizes
const int APP_ICON_SIZES[] = {16, 24, 32, 48, 64, 128, 256};

const rgb SKY_TOP = {0.16f, 0.30f, 0.72f};
const rgb SKY_LOW = {0.98f, 0.62f, 0.30f};
const rgb SAND = {0.93f, 0.80f, 0.52f};
const rgb SAND_DARK = {0.78f, 0.62f, 0.36f};
const rgb NET = {0.12f, 0.12f, 0.16f};

// everything is laid out on a 256-unit square; u is the size of one unit in pixels
void drawAppIcon(canvas& c, float u)
{
    const float mid = 128.0f * u;
    const float horizon = 170.0f * u;
    // the plate: a rounded square with a one-unit margin on small sizes
    const float half = 124.0f * u - (u < 0.25f ? 0.5f : 0.0f);
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) {
            float px = x + 0.5f, py = y + 0.5f;
            float k = coverage(sdRoundBox(px - mid, py - mid, half, half, 44.0f * u));
            if (k <= 0)
                continue;
            rgb col = py < horizon ? mix(SKY_TOP, SKY_LOW, smoothstep(20.0f * u, horizon, py))
                                   : mix(SAND, SAND_DARK, (py - horizon) / (c.height - horizon));
            c.blend(x, y, col, k);
        }
    // the net: a dark band on two posts, left of the ball
    mask net = shapeMask(c.width, c.height, [u](float px, float py) {
        float band = sdCapsule(px, py, 30 * u, 112 * u, 150 * u, 112 * u, std::max(7.0f * u, 0.7f));
        float post1 = sdCapsule(px, py, 30 * u, 104 * u, 30 * u, 186 * u, std::max(5.0f * u, 0.6f));
        float post2 = sdCapsule(px, py, 150 * u, 104 * u, 150 * u, 186 * u, std::max(5.0f * u, 0.6f));
        return std::min(band, std::min(post1, post2));
    });
    paintMask(c, net, 0, 0, NET, 0.85f);
    // its mesh, a square grid below the band, only where the lines can stay apart
    if (u >= 0.18f) {
        mask mesh = shapeMask(c.width, c.height, [u](float px, float py) {
            const float cell = 12 * u, w = std::max(1.2f * u, 0.5f);
            float x = px - 30 * u, y = py - 112 * u;
            float gx = std::fabs(x - cell * std::round(x / cell)), gy = std::fabs(y - cell * std::round(y / cell));
            float inside = std::max(std::max(-x, x - 120 * u), std::max(-y, y - 44 * u));
            return std::max(std::min(gx, gy) - w, inside);
        });
        paintMask(c, mesh, 0, 0, {0.95f, 0.95f, 0.95f}, 0.8f);
    }
    // the ball's shadow on the sand, then the ball
    mask shadow = shapeMask(c.width, c.height, [u](float px, float py) {
        float dx = (px - 150 * u) / (62 * u), dy = (py - 214 * u) / (12 * u);
        return (std::sqrt(dx * dx + dy * dy) - 1.0f) * 12 * u;
    });
    paintMask(c, shadow, 0, 0, {0, 0, 0}, 0.35f);
    drawVolleyball(c, 156.0f * u, 130.0f * u, 76.0f * u, 1.0f, 0.3f);
}

} // namespace

void generateAppIcons(const std::string& root)
{
    std::string folder = root + "/icons";
    makeFolder(folder);
    for (int size : APP_ICON_SIZES) {
        canvas c(size, size);
        drawAppIcon(c, size / 256.0f);
        c.save(folder + "/tibrel_" + std::to_string(size) + ".png", true);
    }
}
