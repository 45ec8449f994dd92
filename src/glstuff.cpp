#include "glstuff.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>
#include <GL/gl.h>
#include <SDL/SDL.h>
#include <SDL/SDL_image.h>
#include <sys/stat.h>

// ---- drawing ----

void drawBox(const box3d& b)
{
    const double x0 = b.center.x - b.size.x * 0.5, x1 = b.center.x + b.size.x * 0.5;
    const double y0 = b.center.y - b.size.y * 0.5, y1 = b.center.y + b.size.y * 0.5;
    const double z0 = b.center.z - b.size.z * 0.5, z1 = b.center.z + b.size.z * 0.5;

    // nine corners in one strip, then the four edges the strip misses
    glBegin(GL_LINE_STRIP);
    glVertex3d(x0, y0, z0);
    glVertex3d(x1, y0, z0);
    glVertex3d(x1, y0, z1);
    glVertex3d(x0, y0, z1);
    glVertex3d(x0, y1, z1);
    glVertex3d(x0, y1, z0);
    glVertex3d(x1, y1, z0);
    glVertex3d(x1, y1, z1);
    glVertex3d(x0, y1, z1);
    glEnd();

    glBegin(GL_LINES);
    glVertex3d(x0, y0, z0); glVertex3d(x0, y0, z1);
    glVertex3d(x1, y0, z1); glVertex3d(x1, y1, z1);
    glVertex3d(x1, y0, z0); glVertex3d(x1, y1, z0);
    glVertex3d(x0, y0, z0); glVertex3d(x0, y1, z0);
    glEnd();
}

void drawLine(float x1, float y1, float x2, float y2)
{
    glBegin(GL_LINES);
    glVertex2f(x1, y1);
    glVertex2f(x2, y2);
    glEnd();
}

void drawLine(float x1, float y1, float z1, float x2, float y2, float z2)
{
    glBegin(GL_LINES);
    glVertex3f(x1, y1, z1);
    glVertex3f(x2, y2, z2);
    glEnd();
}

// Walks `count` segments of a circle split into `segments`, from segment `start`,
// handing each segment's end points to emit(px, py, nx, ny).
template <class Emit>
static void walkArc(float cx, float cy, float r, int segments, int count, int start, Emit emit)
{
    if (segments <= 0)
        return;
    const float step = 6.283185f / segments;
    if (count == -1)
        count = segments;
    float angle = start * step;
    float px = cx + r * std::cos(angle), py = cy + r * std::sin(angle);
    for (int i = 0; i < count; i++) {
        angle += step;
        float nx = cx + r * std::cos(angle), ny = cy + r * std::sin(angle);
        emit(px, py, nx, ny);
        px = nx;
        py = ny;
    }
}

void drawCircle(float cx, float cy, float r, int segments, int count, int start)
{
    walkArc(cx, cy, r, segments, count, start, [](float px, float py, float nx, float ny) {
        glBegin(GL_LINES);
        glVertex2f(px, py);
        glVertex2f(nx, ny);
        glEnd();
    });
}

void drawCircleZ(float cx, float cz, float r, int segments, int count, int start)
{
    walkArc(cx, cz, r, segments, count, start, [](float px, float pz, float nx, float nz) {
        glBegin(GL_LINES);
        glVertex3f(px, 0, pz);
        glVertex3f(nx, 0, nz);
        glEnd();
    });
}

// concentric circles 0.1 apart, the outermost at r
template <class Circle>
static void drawDisc(Circle circle, float c1, float c2, float r, int segments, int count, int start)
{
    while (r > 0) {
        circle(c1, c2, r, segments, count, start);
        float next = r - 0.1f;
        if (next >= r) // a radius so large that 0.1 no longer counts
            break;
        r = next;
    }
}

void drawCircleF(float cx, float cy, float r, int segments, int count, int start)
{
    drawDisc(drawCircle, cx, cy, r, segments, count, start);
}

void drawCircleFZ(float cx, float cz, float r, int segments, int count, int start)
{
    drawDisc(drawCircleZ, cx, cz, r, segments, count, start);
}

void drawPlane(const vector3d& centre, const vector3d& size)
{
    const float x0 = centre.x - size.x / 2, x1 = centre.x + size.x / 2;
    const float z0 = centre.z - size.z / 2, z1 = centre.z + size.z / 2;
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0); glVertex3f(x0, centre.y, z0);
    glTexCoord2f(1, 0); glVertex3f(x1, centre.y, z0);
    glTexCoord2f(1, 1); glVertex3f(x1, centre.y, z1);
    glTexCoord2f(0, 1); glVertex3f(x0, centre.y, z1);
    glEnd();
}

void drawSprite(unsigned tex, const vector3d& pos, const vector3d& size, int frame, int rows, int cols)
{
    if (rows <= 0 || cols <= 0)
        return;
    const int col = frame % cols, row = frame / cols;
    const float uL = float(col) / cols, uR = float(col + 1) / cols;
    const float vT = float(row) / rows, vB = float(row + 1) / rows;
    const float x0 = pos.x - size.x / 2, x1 = pos.x + size.x / 2;
    const float y0 = pos.y - size.y / 2, y1 = pos.y + size.y / 2;

    glBindTexture(GL_TEXTURE_2D, tex);
    glDepthMask(GL_FALSE); // sprites overlap each other; they must not hide what is drawn later
    glEnable(GL_TEXTURE_2D);
    glBegin(GL_QUADS);
    glTexCoord2f(uL, vT); glVertex3f(x0, y0, pos.z);
    glTexCoord2f(uR, vT); glVertex3f(x1, y0, pos.z);
    glTexCoord2f(uR, vB); glVertex3f(x1, y1, pos.z);
    glTexCoord2f(uL, vB); glVertex3f(x0, y1, pos.z);
    glEnd();
    glDepthMask(GL_TRUE);
    glDisable(GL_TEXTURE_2D);
}

// ---- files ----

bool isReadableFile(const char* path, size_t maxBytes)
{
    struct stat st;
    return path && *path && stat(path, &st) == 0 && S_ISREG(st.st_mode) &&
           uint64_t(st.st_size) <= maxBytes;
}

namespace {

const size_t MAX_PICTURE_BYTES = 32u << 20;
const uint32_t MAX_PICTURE_EDGE = 4096;   // pixels; the largest picture of the game is 1024

uint32_t bigEndian(const unsigned char* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

uint32_t littleEndian(const unsigned char* p)
{
    return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

bool plausibleSize(int64_t w, int64_t h)
{
    return w > 0 && h > 0 && w <= MAX_PICTURE_EDGE && h <= MAX_PICTURE_EDGE;
}

}  // namespace

bool isPlausiblePicture(const char* path)
{
    if (!isReadableFile(path, MAX_PICTURE_BYTES))
        return false;
    unsigned char head[26] = {};
    FILE* f = fopen(path, "rb");
    if (!f)
        return false;
    const size_t n = fread(head, 1, sizeof head, f);
    fclose(f);
    // PNG: the signature, then the header chunk with the size
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (n >= 24 && std::memcmp(head, signature, 8) == 0 && std::memcmp(head + 12, "IHDR", 4) == 0)
        return plausibleSize(bigEndian(head + 16), bigEndian(head + 20));
    // BMP: the file header, then an information header of 40 bytes or more (a negative
    // height is a picture stored top row first)
    if (n >= 26 && head[0] == 'B' && head[1] == 'M' && littleEndian(head + 14) >= 40) {
        const int64_t h = int32_t(littleEndian(head + 22));
        return plausibleSize(int32_t(littleEndian(head + 18)), h < 0 ? -h : h);
    }
    return false;
}

// ---- textures ----

static size_t pixelBytes(int w, int h)
{
    return (w > 0 && h > 0) ? size_t(w) * size_t(h) * 4 : 0;
}

void reserveTexture(unsigned* tex, int w, int h, bool rgb)
{
    if (!tex)
        return;
    if (w < 0) w = 0;
    if (h < 0) h = 0;
    std::vector<unsigned char> white(pixelBytes(w, h), 0xFF);
    const GLenum format = rgb ? GL_RGB : GL_RGBA;
    glGenTextures(1, tex);
    glBindTexture(GL_TEXTURE_2D, *tex);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, format, w, h, 0, format, GL_UNSIGNED_BYTE,
                 white.empty() ? nullptr : white.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
}

void updateTexture(unsigned tex, unsigned char* pixels, int w, int h)
{
    if (!pixels || w <= 0 || h <= 0)
        return;
    glBindTexture(GL_TEXTURE_2D, tex);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
}

void addTexture(unsigned char* dst, unsigned char* src, int w, int h)
{
    if (!dst || !src)
        return;
    const size_t n = pixelBytes(w, h);
    for (size_t i = 0; i < n; i += 4) {
        if (src[i + 3] == 0)
            continue;
        // any coverage counts as opaque; colours lose a step of brightness (255 -> 254)
        dst[i] = (src[i] * 255) >> 8;
        dst[i + 1] = (src[i + 1] * 255) >> 8;
        dst[i + 2] = (src[i + 2] * 255) >> 8;
        dst[i + 3] = 255;
    }
}

void outlineTexture(unsigned char* buf, int w, int h)
{
    if (!buf)
        return;
    const size_t n = pixelBytes(w, h);
    if (n == 0)
        return;
    // read the buffer as it was, write to the copy: the outline stays one pixel wide
    std::vector<unsigned char> out(buf, buf + n);
    auto alpha = [&](int x, int y) -> int {
        if (x < 0 || y < 0 || x >= w || y >= h)
            return 0;
        return buf[(size_t(y) * w + x) * 4 + 3];
    };
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            const unsigned char* p = buf + (size_t(y) * w + x) * 4;
            if (p[0] || p[1] || p[2] || p[3])
                continue;
            int around = alpha(x - 1, y) + alpha(x + 1, y) + alpha(x, y - 1) + alpha(x, y + 1);
            if (around == 0)
                continue;
            unsigned char* q = out.data() + (size_t(y) * w + x) * 4;
            q[0] = q[1] = q[2] = 0;
            q[3] = 255;
        }
    }
    std::memcpy(buf, out.data(), n);
}

// Decodes a PNG or BMP picture into a 32-bit surface whose bytes are R, G, B, A; null when the file
// cannot be read. The caller frees the surface.
static SDL_Surface* decodeRGBA(const char* file)
{
    if (!isPlausiblePicture(file))
        return nullptr;
    SDL_Surface* img = IMG_Load(file);
    if (!img)
        return nullptr;
    SDL_Surface* fmt = SDL_CreateRGBSurface(SDL_SWSURFACE, 4, 4, 32,
                                            0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000);
    SDL_Surface* conv = nullptr;
    if (fmt) {
        conv = SDL_ConvertSurface(img, fmt->format, SDL_SWSURFACE);
        SDL_FreeSurface(fmt);
    }
    SDL_FreeSurface(img);
    return conv;
}

// Copies the part of the surface that overlaps a w x h buffer, row by row along the
// surface's own pitch; buffer pixels outside the image keep their value.
static void copyOverlap(SDL_Surface* s, unsigned char* dst, int w, int h)
{
    const int cw = s->w < w ? s->w : w;
    const int ch = s->h < h ? s->h : h;
    if (cw <= 0 || ch <= 0)
        return;
    if (SDL_MUSTLOCK(s) && SDL_LockSurface(s) != 0)
        return;
    const unsigned char* src = static_cast<const unsigned char*>(s->pixels);
    for (int y = 0; y < ch; y++)
        std::memcpy(dst + size_t(y) * w * 4, src + size_t(y) * s->pitch, size_t(cw) * 4);
    if (SDL_MUSTLOCK(s))
        SDL_UnlockSurface(s);
}

void loadTexture(const char* file, unsigned char* dst, int w, int h)
{
    if (!dst)
        return;
    SDL_Surface* s = decodeRGBA(file);
    if (!s)
        return;
    copyOverlap(s, dst, w, h);
    SDL_FreeSurface(s);
}

void createAndLoadTexture(unsigned* tex, const char* file, int w, int h)
{
    if (!tex)
        return;
    // white where the file gives nothing (unreadable, or smaller than w x h)
    std::vector<unsigned char> pixels(pixelBytes(w, h), 0xFF);
    reserveTexture(tex, w, h, false);
    loadTexture(file, pixels.data(), w, h);
    updateTexture(*tex, pixels.data(), w, h);
}

void createAndLoadTexture(unsigned* tex, const char* file)
{
    if (!tex)
        return;
    SDL_Surface* s = decodeRGBA(file);
    if (!s)
        return;
    const int w = s->w, h = s->h;
    std::vector<unsigned char> pixels(pixelBytes(w, h), 0xFF);
    copyOverlap(s, pixels.data(), w, h);
    SDL_FreeSurface(s);
    reserveTexture(tex, w, h, false);
    updateTexture(*tex, pixels.data(), w, h);
}
