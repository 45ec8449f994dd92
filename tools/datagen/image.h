#ifndef TIBREL_DATAGEN_IMAGE_H
#define TIBREL_DATAGEN_IMAGE_H

// Raster drawing helpers of the data generator: a float RGBA canvas, coverage masks, a PNG
// writer, a seeded random generator, value noise and FreeType text.

#include <cstdint>
#include <string>
#include <vector>

struct rgb {
    float r, g, b;
};

rgb mix(const rgb& a, const rgb& b, float t);
rgb scale(const rgb& a, float k);
rgb operator*(const rgb& a, const rgb& b);
rgb operator+(const rgb& a, const rgb& b);
float clamp01(float v);
float smoothstep(float e0, float e1, float x);
// coverage of a signed distance in pixels (negative inside): a one-pixel soft edge
float coverage(float sd);

// A picture with straight (not premultiplied) alpha, channels 0 ... 1, rows from the top.
class canvas {
public:
    int width, height;
    std::vector<float> px;   // r, g, b, a per pixel

    canvas(int w, int h);
    void fill(const rgb& c, float a = 1.0f);
    rgb get(int x, int y) const;
    float alpha(int x, int y) const;
    void set(int x, int y, const rgb& c, float a = 1.0f);
    // paints c with opacity k over the pixel (source over)
    void blend(int x, int y, const rgb& c, float k);
    // writes an 8-bit PNG; RGBA when withAlpha, else RGB. Ends the program when it cannot.
    void save(const std::string& path, bool withAlpha) const;
};

// Per-pixel coverage 0 ... 1.
class mask {
public:
    int width, height;
    std::vector<float> v;

    mask(int w, int h);
    float at(int x, int y) const;   // 0 outside
    // largest value within a disc of the given radius (pixels): a thick outline of a shape
    mask grow(float radius) const;
    // box blur, three passes, approximately Gaussian
    mask blurred(int radius) const;
    // copy moved by (dx, dy) pixels
    mask shifted(int dx, int dy) const;
};

// signed distances (negative inside) of simple shapes, in pixels
float sdCircle(float px, float py, float cx, float cy, float r);
float sdCapsule(float px, float py, float ax, float ay, float bx, float by, float r);
// a box centred on the origin with half sizes hx, hy and corners rounded by r
float sdRoundBox(float px, float py, float hx, float hy, float r);
// coverage of a shape given by its signed distance, sampled at pixel centres
template <class F> mask shapeMask(int w, int h, F sd)
{
    mask m(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            m.v[size_t(y) * w + x] = coverage(sd(float(x) + 0.5f, float(y) + 0.5f));
    return m;
}

// A shaded volleyball with curved yellow, blue and white panels, painted over the canvas:
// centre and radius in pixels, sy stretches it vertically (for pictures shown squeezed),
// turn rotates its panels (radians).
void drawVolleyball(canvas& c, float cx, float cy, float r, float sy, float turn);

// paints colour c through mask m placed with its top-left at (x, y), opacity k
void paintMask(canvas& c, const mask& m, int x, int y, const rgb& colour, float k = 1.0f);

// Writes 8-bit RGBA or RGB rows at a fixed compression level and with no time stamp.
// Returns false when the file cannot be written.
bool writePng(const std::string& path, const uint8_t* pixels, int w, int h, bool withAlpha);

// creates a folder and its parents; ends the program when it cannot
void makeFolder(const std::string& path);
// reports a fault the generator cannot go on from and ends the program with status 1
[[noreturn]] void fail(const std::string& message);

// A small deterministic generator (SplitMix64), so the data never depends on the C library.
class randomgen {
public:
    explicit randomgen(uint64_t seed);
    uint32_t next();
    float uniform();                 // 0 ... 1
    float range(float a, float b);   // a ... b
private:
    uint64_t state;
};

// Smooth value noise, 0 ... 1, period-free, fixed by its seed.
float valueNoise(float x, float y, uint32_t seed);
// sum of octaves of value noise, 0 ... 1
float fractalNoise(float x, float y, int octaves, uint32_t seed);

// The bold game font, rendered with FreeType into coverage masks.
class textface {
public:
    textface();
    ~textface();
    bool open(const std::string& path);
    // the text in one line; em sizes in pixels, horizontal and vertical (they differ for
    // pictures that are stretched on screen). The mask holds the text with a margin around it.
    mask render(const std::string& text, float emWidth, float emHeight, int margin) const;
private:
    void* library;
    void* face;
};

// where the generator finds the game font
const char* fontSource();

// the picture sets, each drawn by its own file; root is the data/ folder
void generateTitles(const std::string& root);
void generateBall(const std::string& root);
void generateIcons(const std::string& root);
void generateOutfits(const std::string& root);
// the desktop icon, icons/tibrel_<size>.png at several sizes (installed, never read by the game)
void generateAppIcons(const std::string& root);

#endif
