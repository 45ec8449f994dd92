#include "image.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <png.h>
#include <ft2build.h>
#include FT_FREETYPE_H

// zlib level of every PNG: the sheets are mostly empty, so a low level is both small and quick
static const int PNG_LEVEL = 3;

rgb mix(const rgb& a, const rgb& b, float t)
{
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

rgb scale(const rgb& a, float k) { return {a.r * k, a.g * k, a.b * k}; }
rgb operator*(const rgb& a, const rgb& b) { return {a.r * b.r, a.g * b.g, a.b * b.b}; }
rgb operator+(const rgb& a, const rgb& b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
float clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }

float smoothstep(float e0, float e1, float x)
{
    float t = clamp01((x - e0) / (e1 - e0));
    return t * t * (3.0f - 2.0f * t);
}

float coverage(float sd) { return clamp01(0.5f - sd); }

canvas::canvas(int w, int h) : width(w), height(h), px(size_t(w) * h * 4, 0.0f) {}

void canvas::fill(const rgb& c, float a)
{
    for (size_t i = 0; i < px.size(); i += 4) {
        px[i] = c.r;
        px[i + 1] = c.g;
        px[i + 2] = c.b;
        px[i + 3] = a;
    }
}

rgb canvas::get(int x, int y) const
{
    const float* p = &px[(size_t(y) * width + x) * 4];
    return {p[0], p[1], p[2]};
}

float canvas::alpha(int x, int y) const { return px[(size_t(y) * width + x) * 4 + 3]; }

void canvas::set(int x, int y, const rgb& c, float a)
{
    float* p = &px[(size_t(y) * width + x) * 4];
    p[0] = c.r;
    p[1] = c.g;
    p[2] = c.b;
    p[3] = a;
}

void canvas::blend(int x, int y, const rgb& c, float k)
{
    if (x < 0 || y < 0 || x >= width || y >= height || k <= 0.0f)
        return;
    k = std::min(k, 1.0f);
    float* p = &px[(size_t(y) * width + x) * 4];
    float a = k + p[3] * (1.0f - k);
    if (a <= 0.0f)
        return;
    float keep = p[3] * (1.0f - k);
    p[0] = (c.r * k + p[0] * keep) / a;
    p[1] = (c.g * k + p[1] * keep) / a;
    p[2] = (c.b * k + p[2] * keep) / a;
    p[3] = a;
}

void canvas::save(const std::string& path, bool withAlpha) const
{
    int n = withAlpha ? 4 : 3;
    std::vector<uint8_t> out(size_t(width) * height * n);
    for (size_t i = 0, o = 0; i < px.size(); i += 4, o += n)
        for (int c = 0; c < n; ++c)
            out[o + c] = uint8_t(std::lround(clamp01(px[i + c]) * 255.0f));
    if (!writePng(path, out.data(), width, height, withAlpha))
        fail("cannot write " + path);
}

mask::mask(int w, int h) : width(w), height(h), v(size_t(w) * h, 0.0f) {}

float mask::at(int x, int y) const
{
    if (x < 0 || y < 0 || x >= width || y >= height)
        return 0.0f;
    return v[size_t(y) * width + x];
}

// squared distances along one line to the nearest zero of f (lower envelope of parabolas)
static void distanceLine(const std::vector<float>& f, std::vector<float>& d, std::vector<int>& v,
                         std::vector<float>& z, int n)
{
    int k = 0;
    v[0] = 0;
    z[0] = -1e20f;
    z[1] = 1e20f;
    for (int q = 1; q < n; ++q) {
        float s;
        while (true) {
            int p = v[k];
            s = ((f[q] + float(q) * q) - (f[p] + float(p) * p)) / (2.0f * (q - p));
            if (s > z[k] || k == 0)
                break;
            --k;
        }
        if (s <= z[k]) {   // only when k is 0 and the new parabola wins everywhere
            v[0] = q;
            z[0] = -1e20f;
            z[1] = 1e20f;
            continue;
        }
        ++k;
        v[k] = q;
        z[k] = s;
        z[k + 1] = 1e20f;
    }
    k = 0;
    for (int q = 0; q < n; ++q) {
        while (z[k + 1] < float(q))
            ++k;
        float dq = float(q - v[k]);
        d[q] = dq * dq + f[v[k]];
    }
}

mask mask::grow(float radius) const
{
    // exact Euclidean distance to the shape (pixels at least half covered), then a soft edge
    const float far = 1e12f;
    int n = std::max(width, height);
    std::vector<float> f(n), d(n), z(n + 1);
    std::vector<int> idx(n);
    std::vector<float> dist(v.size());
    for (int x = 0; x < width; ++x) {
        for (int y = 0; y < height; ++y)
            f[y] = v[size_t(y) * width + x] >= 0.5f ? 0.0f : far;
        distanceLine(f, d, idx, z, height);
        for (int y = 0; y < height; ++y)
            dist[size_t(y) * width + x] = d[y];
    }
    mask out(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            f[x] = dist[size_t(y) * width + x];
        distanceLine(f, d, idx, z, width);
        for (int x = 0; x < width; ++x) {
            float e = std::sqrt(d[x]);
            float grown = coverage(e - radius);
            out.v[size_t(y) * width + x] = std::max(grown, v[size_t(y) * width + x]);
        }
    }
    return out;
}

mask mask::blurred(int radius) const
{
    mask a = *this;
    mask b(width, height);
    float inv = 1.0f / float(2 * radius + 1);
    for (int pass = 0; pass < 3; ++pass) {
        for (int y = 0; y < height; ++y) {   // rows
            float sum = 0.0f;
            for (int i = -radius; i <= radius; ++i)
                sum += a.at(i, y);
            for (int x = 0; x < width; ++x) {
                b.v[size_t(y) * width + x] = sum * inv;
                sum += a.at(x + radius + 1, y) - a.at(x - radius, y);
            }
        }
        for (int x = 0; x < width; ++x) {   // columns
            float sum = 0.0f;
            for (int i = -radius; i <= radius; ++i)
                sum += b.at(x, i);
            for (int y = 0; y < height; ++y) {
                a.v[size_t(y) * width + x] = sum * inv;
                sum += b.at(x, y + radius + 1) - b.at(x, y - radius);
            }
        }
    }
    return a;
}

mask mask::shifted(int dx, int dy) const
{
    mask out(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            out.v[size_t(y) * width + x] = at(x - dx, y - dy);
    return out;
}

float sdCircle(float px, float py, float cx, float cy, float r)
{
    return std::hypot(px - cx, py - cy) - r;
}

float sdCapsule(float px, float py, float ax, float ay, float bx, float by, float r)
{
    float abx = bx - ax, aby = by - ay;
    float t = ((px - ax) * abx + (py - ay) * aby) / (abx * abx + aby * aby);
    t = std::min(std::max(t, 0.0f), 1.0f);
    return std::hypot(px - ax - abx * t, py - ay - aby * t) - r;
}

float sdRoundBox(float px, float py, float hx, float hy, float r)
{
    float qx = std::fabs(px) - hx + r, qy = std::fabs(py) - hy + r;
    return std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f)) + std::min(std::max(qx, qy), 0.0f) - r;
}

void paintMask(canvas& c, const mask& m, int x, int y, const rgb& colour, float k)
{
    for (int j = 0; j < m.height; ++j)
        for (int i = 0; i < m.width; ++i) {
            float a = m.v[size_t(j) * m.width + i];
            if (a > 0.0f)
                c.blend(x + i, y + j, colour, a * k);
        }
}

bool writePng(const std::string& path, const uint8_t* pixels, int w, int h, bool withAlpha)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_compression_level(png, PNG_LEVEL);
    // one fixed filter keeps the output independent of libpng's heuristics and is quick
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_set_IHDR(png, info, w, h, 8, withAlpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    png_write_info(png, info);
    size_t stride = size_t(w) * (withAlpha ? 4 : 3);
    for (int y = 0; y < h; ++y)
        png_write_row(png, const_cast<png_bytep>(pixels + stride * y));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

void makeFolder(const std::string& path)
{
    std::error_code err;
    std::filesystem::create_directories(path, err);
    if (err)
        fail("cannot create " + path + ": " + err.message());
}

void fail(const std::string& message)
{
    std::fprintf(stderr, "tibrel_datagen: %s\n", message.c_str());
    std::exit(1);
}

randomgen::randomgen(uint64_t seed) : state(seed) {}

uint32_t randomgen::next()
{
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return uint32_t((z ^ (z >> 31)) >> 32);
}

float randomgen::uniform() { return float(next() >> 8) * (1.0f / 16777216.0f); }

float randomgen::range(float a, float b) { return a + (b - a) * uniform(); }

static float latticeValue(int x, int y, uint32_t seed)
{
    uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return float(h & 0xFFFFFF) * (1.0f / 16777215.0f);
}

float valueNoise(float x, float y, uint32_t seed)
{
    float fx = std::floor(x), fy = std::floor(y);
    int ix = int(fx), iy = int(fy);
    float tx = x - fx, ty = y - fy;
    tx = tx * tx * (3.0f - 2.0f * tx);
    ty = ty * ty * (3.0f - 2.0f * ty);
    float a = latticeValue(ix, iy, seed), b = latticeValue(ix + 1, iy, seed);
    float c = latticeValue(ix, iy + 1, seed), d = latticeValue(ix + 1, iy + 1, seed);
    return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty;
}

float fractalNoise(float x, float y, int octaves, uint32_t seed)
{
    float sum = 0.0f, amp = 0.5f, total = 0.0f;
    for (int i = 0; i < octaves; ++i) {
        sum += valueNoise(x, y, seed + uint32_t(i) * 101u) * amp;
        total += amp;
        x *= 2.03f;
        y *= 2.03f;
        amp *= 0.5f;
    }
    return sum / total;
}

const char* fontSource() { return "/usr/share/fonts/truetype/tuffy/Tuffy_Bold.ttf"; }

textface::textface() : library(nullptr), face(nullptr) {}

textface::~textface()
{
    if (face)
        FT_Done_Face(FT_Face(face));
    if (library)
        FT_Done_FreeType(FT_Library(library));
}

bool textface::open(const std::string& path)
{
    FT_Library lib;
    if (FT_Init_FreeType(&lib))
        return false;
    library = lib;
    FT_Face f;
    if (FT_New_Face(lib, path.c_str(), 0, &f))
        return false;
    face = f;
    return true;
}

mask textface::render(const std::string& text, float emWidth, float emHeight, int margin) const
{
    FT_Face f = FT_Face(face);
    FT_Set_Char_Size(f, FT_F26Dot6(emWidth * 64.0f), FT_F26Dot6(emHeight * 64.0f), 72, 72);
    int ascent = int(f->size->metrics.ascender >> 6);
    int descent = int(-f->size->metrics.descender >> 6);

    struct placed {
        std::vector<uint8_t> bits;
        int x, y, w, h;
    };
    std::vector<placed> glyphs;
    long pen = 0;   // 26.6
    FT_UInt previous = 0;
    int minX = 0, maxX = 0;
    for (unsigned char ch : text) {
        FT_UInt index = FT_Get_Char_Index(f, ch);
        if (previous && index && FT_HAS_KERNING(f)) {
            FT_Vector k;
            FT_Get_Kerning(f, previous, index, FT_KERNING_DEFAULT, &k);
            pen += k.x;
        }
        previous = index;
        if (FT_Load_Glyph(f, index, FT_LOAD_RENDER))
            continue;
        FT_GlyphSlot g = f->glyph;
        placed p;
        p.w = int(g->bitmap.width);
        p.h = int(g->bitmap.rows);
        p.x = int(pen >> 6) + g->bitmap_left;
        p.y = ascent - g->bitmap_top;
        p.bits.resize(size_t(p.w) * p.h);
        for (int r = 0; r < p.h; ++r)
            for (int c = 0; c < p.w; ++c)
                p.bits[size_t(r) * p.w + c] = g->bitmap.buffer[r * g->bitmap.pitch + c];
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x + p.w);
        glyphs.push_back(std::move(p));
        pen += g->advance.x;
    }
    maxX = std::max(maxX, int(pen >> 6));
    mask out(maxX - minX + 2 * margin, ascent + descent + 2 * margin);
    for (const placed& p : glyphs)
        for (int r = 0; r < p.h; ++r)
            for (int c = 0; c < p.w; ++c) {
                int x = p.x - minX + margin + c, y = p.y + margin + r;
                if (x >= 0 && y >= 0 && x < out.width && y < out.height) {
                    float& d = out.v[size_t(y) * out.width + x];
                    d = std::max(d, p.bits[size_t(r) * p.w + c] / 255.0f);
                }
            }
    return out;
}
