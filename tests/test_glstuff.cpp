#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <GL/gl.h>
#include <SDL/SDL.h>
#include <gtest/gtest.h>
#include "glstuff.h"
#include "support.h"

namespace {

// ---- capturing what the helpers emit ----

struct vertex {
    float x, y, z, s, t;
};

struct primitive {
    bool line;                 // a line segment, otherwise a polygon
    std::vector<vertex> v;
};

// The fixture maps object space -10 .. 10 on each axis onto a 200 x 200 viewport.
const float extent = 10;
const int viewport = 200;

vertex toObject(const GLfloat* f)
{
    vertex v;
    v.x = f[0] * (2 * extent / viewport) - extent;
    v.y = f[1] * (2 * extent / viewport) - extent;
    v.z = (0.5f - f[2]) * 2 * extent;
    v.s = f[7];
    v.t = f[8];
    return v;
}

// runs draw in feedback mode and returns the lines and polygons it produced
std::vector<primitive> capture(const std::function<void()>& draw)
{
    std::vector<GLfloat> buf(1 << 18);
    glFeedbackBuffer(GLsizei(buf.size()), GL_3D_COLOR_TEXTURE, buf.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const int n = glRenderMode(GL_RENDER);
    EXPECT_GE(n, 0) << "feedback buffer overflow";

    const int vsize = 3 + 4 + 4; // position, RGBA colour, texture coordinate
    std::vector<primitive> out;
    for (int i = 0; i < n;) {
        const GLenum token = GLenum(buf[i++]);
        if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN) {
            primitive p{true, {toObject(&buf[i]), toObject(&buf[i + vsize])}};
            out.push_back(p);
            i += 2 * vsize;
        } else if (token == GL_POLYGON_TOKEN) {
            const int count = int(buf[i++]);
            primitive p{false, {}};
            for (int k = 0; k < count; k++, i += vsize)
                p.v.push_back(toObject(&buf[i]));
            out.push_back(p);
        } else if (token == GL_PASS_THROUGH_TOKEN) {
            i += 1;
        } else {
            i += vsize; // point, bitmap and pixel tokens carry one vertex
        }
    }
    return out;
}

bool near(const vertex& a, float x, float y, float z, float eps = 1e-3f)
{
    return std::fabs(a.x - x) < eps && std::fabs(a.y - y) < eps && std::fabs(a.z - z) < eps;
}

// unordered match of one segment
bool sameSegment(const primitive& p, const float a[3], const float b[3])
{
    return (near(p.v[0], a[0], a[1], a[2]) && near(p.v[1], b[0], b[1], b[2])) ||
           (near(p.v[0], b[0], b[1], b[2]) && near(p.v[1], a[0], a[1], a[2]));
}

// all corners of the polygons drawn, in order
std::vector<vertex> polygonCorners(const std::vector<primitive>& prims)
{
    std::vector<vertex> out;
    for (const primitive& p : prims)
        if (!p.line)
            out.insert(out.end(), p.v.begin(), p.v.end());
    return out;
}

bool hasCorner(const std::vector<vertex>& vs, float x, float y, float z, float s, float t)
{
    for (const vertex& v : vs)
        if (near(v, x, y, z) && std::fabs(v.s - s) < 1e-4f && std::fabs(v.t - t) < 1e-4f)
            return true;
    return false;
}

// The X server on the test machines now and then drops a new connection; try again.
bool openContext()
{
    for (int attempt = 0; attempt < 5; attempt++)
        if (testsupport::openGLContext(64, 64))
            return true;
    return false;
}

class glstuffTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(openContext()) << "needs a display (xvfb-run): " << SDL_GetError();
        glViewport(0, 0, viewport, viewport);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-extent, extent, -extent, extent, -extent, extent);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_TEXTURE_2D);
        glDepthMask(GL_TRUE);
    }
};

// ---- lines, boxes, circles ----

TEST_F(glstuffTest, BoxDrawsEachOfTheTwelveEdgesOnce)
{
    const box3d b(vector3d(1, 2, 3), vector3d(2, 4, 6)); // spans 0..2, 0..4, 0..6
    std::vector<primitive> prims = capture([&] { drawBox(b); });
    ASSERT_EQ(prims.size(), 12u);

    const float lo[3] = {0, 0, 0}, hi[3] = {2, 4, 6};
    int edges = 0;
    for (int axis = 0; axis < 3; axis++) {
        for (int corner = 0; corner < 4; corner++) {
            float a[3], c[3];
            int bit = 0;
            for (int k = 0; k < 3; k++) {
                if (k == axis) {
                    a[k] = lo[k];
                    c[k] = hi[k];
                } else {
                    a[k] = c[k] = ((corner >> bit++) & 1) ? hi[k] : lo[k];
                }
            }
            int found = 0;
            for (const primitive& p : prims)
                found += sameSegment(p, a, c);
            EXPECT_EQ(found, 1) << "edge along axis " << axis << " corner " << corner;
            edges++;
        }
    }
    EXPECT_EQ(edges, 12);
}

TEST_F(glstuffTest, LinesIn2DAnd3D)
{
    std::vector<primitive> prims = capture([] {
        drawLine(1, 2, 3, 4);
        drawLine(-1, -2, -3, 4, 5, 6);
    });
    ASSERT_EQ(prims.size(), 2u);
    EXPECT_TRUE(near(prims[0].v[0], 1, 2, 0) && near(prims[0].v[1], 3, 4, 0));
    EXPECT_TRUE(near(prims[1].v[0], -1, -2, -3) && near(prims[1].v[1], 4, 5, 6));
}

struct arcCase {
    int segments, count, start;
    int lines;          // segments expected
    float fromDegrees;  // first point
    float toDegrees;    // last point
};

TEST_F(glstuffTest, CircleArcsFollowStartAndCount)
{
    const arcCase cases[] = {
        {8, -1, 0, 8, 0, 360},   // closed circle
        {8, 0, 0, 0, 0, 0},      // nothing
        {8, 3, 2, 3, 90, 225},   // arc from the third segment
        {12, 1, 11, 1, 330, 360},
        {0, -1, 0, 0, 0, 0},     // no segments: nothing, no division by zero
    };
    const float cx = 1, cy = -2, r = 3;
    for (const arcCase& c : cases) {
        for (bool flat : {true, false}) {
            SCOPED_TRACE(testing::Message() << c.segments << "/" << c.count << "/" << c.start
                                            << (flat ? " x-y" : " x-z"));
            std::vector<primitive> prims = capture([&] {
                if (flat)
                    drawCircle(cx, cy, r, c.segments, c.count, c.start);
                else
                    drawCircleZ(cx, cy, r, c.segments, c.count, c.start);
            });
            ASSERT_EQ(int(prims.size()), c.lines);
            auto at = [&](const vertex& v, float deg) {
                const float a = deg * 3.14159265f / 180;
                const float px = cx + r * std::cos(a), py = cy + r * std::sin(a);
                return flat ? near(v, px, py, 0) : near(v, px, 0, py);
            };
            for (size_t i = 0; i < prims.size(); i++) {
                ASSERT_TRUE(prims[i].line);
                const float step = 360.0f / c.segments;
                EXPECT_TRUE(at(prims[i].v[0], c.fromDegrees + step * i)) << "segment " << i;
                EXPECT_TRUE(at(prims[i].v[1], c.fromDegrees + step * (i + 1))) << "segment " << i;
            }
            if (!prims.empty()) {
                EXPECT_TRUE(at(prims.back().v[1], c.toDegrees));
            }
        }
    }
}

// radius of every segment start, relative to the centre
std::vector<float> radii(const std::vector<primitive>& prims, float cx, float cy, bool flat)
{
    std::vector<float> out;
    for (const primitive& p : prims) {
        const float dx = p.v[0].x - cx, dy = (flat ? p.v[0].y : p.v[0].z) - cy;
        out.push_back(std::sqrt(dx * dx + dy * dy));
    }
    return out;
}

TEST_F(glstuffTest, DiscsAreConcentricCirclesATenthApart)
{
    for (bool flat : {true, false}) {
        SCOPED_TRACE(flat ? "x-y" : "x-z");
        auto disc = [&](float r) {
            return capture([&] {
                if (flat)
                    drawCircleF(2, 1, r, 6, -1, 0);
                else
                    drawCircleFZ(2, 1, r, 6, -1, 0);
            });
        };
        std::vector<float> rs = radii(disc(0.25f), 2, 1, flat);
        ASSERT_EQ(rs.size(), 18u); // three circles of six segments
        for (int i = 0; i < 6; i++) {
            EXPECT_NEAR(rs[i], 0.25f, 1e-3);
            EXPECT_NEAR(rs[6 + i], 0.15f, 1e-3);
            EXPECT_NEAR(rs[12 + i], 0.05f, 1e-3);
        }
        EXPECT_TRUE(disc(0).empty());
        EXPECT_TRUE(disc(-1).empty());
    }
}

TEST_F(glstuffTest, DiscOfHugeRadiusEnds)
{
    // 0.1 no longer changes a float this large; the disc must still finish
    std::vector<primitive> prims = capture([] { drawCircleF(0, 0, 1e9f, 4, 0, 0); });
    EXPECT_TRUE(prims.empty());
}

// ---- textured quads ----

TEST_F(glstuffTest, PlaneIsAHorizontalTexturedQuad)
{
    std::vector<vertex> vs = polygonCorners(capture([] {
        drawPlane(vector3d(1, -2, 3), vector3d(4, 100, 2));
    }));
    ASSERT_FALSE(vs.empty());
    for (const vertex& v : vs)
        EXPECT_NEAR(v.y, -2, 1e-3);
    EXPECT_TRUE(hasCorner(vs, -1, -2, 2, 0, 0));
    EXPECT_TRUE(hasCorner(vs, 3, -2, 2, 1, 0));
    EXPECT_TRUE(hasCorner(vs, 3, -2, 4, 1, 1));
    EXPECT_TRUE(hasCorner(vs, -1, -2, 4, 0, 1));
}

TEST_F(glstuffTest, SpriteShowsTheFrameCellAndRestoresState)
{
    unsigned tex = 0;
    reserveTexture(&tex, 4, 4, false);
    std::vector<vertex> vs = polygonCorners(capture([&] {
        drawSprite(tex, vector3d(1, 2, 3), vector3d(4, 2, 99), 7, 4, 4);
    }));
    ASSERT_FALSE(vs.empty());
    // frame 7 of 4 x 4: column 3, row 1
    EXPECT_TRUE(hasCorner(vs, -1, 1, 3, 0.75f, 0.25f));
    EXPECT_TRUE(hasCorner(vs, 3, 1, 3, 1.0f, 0.25f));
    EXPECT_TRUE(hasCorner(vs, 3, 3, 3, 1.0f, 0.5f));
    EXPECT_TRUE(hasCorner(vs, -1, 3, 3, 0.75f, 0.5f));

    GLboolean depthWrites = GL_FALSE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &depthWrites);
    EXPECT_EQ(depthWrites, GL_TRUE);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));

    // a negative width mirrors the frame: the left edge now shows the right of the cell
    vs = polygonCorners(capture([&] {
        drawSprite(tex, vector3d(0, 0, 0), vector3d(-2, 2, 0), 0, 2, 2);
    }));
    EXPECT_TRUE(hasCorner(vs, 1, -1, 0, 0, 0));
    EXPECT_TRUE(hasCorner(vs, -1, -1, 0, 0.5f, 0));

    // an empty grid draws nothing
    EXPECT_TRUE(capture([&] { drawSprite(tex, vector3d(), vector3d(1, 1, 1), 0, 0, 4); }).empty());
    glDeleteTextures(1, &tex);
}

TEST_F(glstuffTest, SpriteDoesNotHideWhatIsDrawnBehindItLater)
{
    GLint depthBits = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depthBits);
    if (depthBits == 0)
        GTEST_SKIP() << "no depth buffer";
    unsigned tex = 0;
    reserveTexture(&tex, 1, 1, false);
    glViewport(0, 0, 64, 64);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glColor3f(1, 0, 0);
    drawSprite(tex, vector3d(0, 0, 5), vector3d(20, 20, 0), 0, 1, 1); // near the viewer
    glColor3f(0, 1, 0);
    glBegin(GL_QUADS); // behind the sprite
    glVertex3f(-10, -10, -5); glVertex3f(10, -10, -5); glVertex3f(10, 10, -5); glVertex3f(-10, 10, -5);
    glEnd();
    glDisable(GL_DEPTH_TEST);
    unsigned char px[4] = {};
    glReadPixels(32, 32, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, px);
    EXPECT_EQ(px[0], 0);
    EXPECT_EQ(px[1], 255);
    glColor3f(1, 1, 1);
    glDeleteTextures(1, &tex);
}

// ---- textures ----

std::vector<unsigned char> readTexture(unsigned tex, int w, int h)
{
    std::vector<unsigned char> px(size_t(w) * h * 4);
    glBindTexture(GL_TEXTURE_2D, tex);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
    return px;
}

GLint texLevel(unsigned tex, GLenum what)
{
    GLint v = 0;
    glBindTexture(GL_TEXTURE_2D, tex);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, what, &v);
    return v;
}

TEST_F(glstuffTest, ReservedTexturesAreOpaqueWhite)
{
    for (bool rgb : {true, false}) {
        unsigned tex = 0;
        reserveTexture(&tex, 5, 3, rgb);
        ASSERT_NE(tex, 0u);
        EXPECT_EQ(texLevel(tex, GL_TEXTURE_INTERNAL_FORMAT), rgb ? GL_RGB : GL_RGBA);
        EXPECT_EQ(texLevel(tex, GL_TEXTURE_WIDTH), 5);
        EXPECT_EQ(texLevel(tex, GL_TEXTURE_HEIGHT), 3);
        GLint minF = 0, magF = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minF);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &magF);
        EXPECT_EQ(minF, GL_LINEAR);
        EXPECT_EQ(magF, GL_LINEAR);
        for (unsigned char b : readTexture(tex, 5, 3))
            ASSERT_EQ(b, 255);
        glDeleteTextures(1, &tex);
    }
}

TEST_F(glstuffTest, UpdateReplacesTheContent)
{
    unsigned tex = 0;
    reserveTexture(&tex, 3, 3, false); // odd row length: 12 bytes, needs unpack alignment 1
    std::vector<unsigned char> px(3 * 3 * 4);
    for (size_t i = 0; i < px.size(); i++)
        px[i] = static_cast<unsigned char>(i * 7);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    updateTexture(tex, px.data(), 3, 3);
    EXPECT_EQ(readTexture(tex, 3, 3), px);
    glDeleteTextures(1, &tex);
}

TEST(glstuffPixels, StampCopiesAnyCoveredPixelOpaque)
{
    struct { unsigned char src[4], dst[4], want[4]; } cases[] = {
        {{255, 128, 0, 1}, {9, 9, 9, 9}, {254, 127, 0, 255}},
        {{10, 20, 30, 255}, {0, 0, 0, 0}, {9, 19, 29, 255}},
        {{255, 255, 255, 0}, {1, 2, 3, 4}, {1, 2, 3, 4}}, // transparent: untouched
    };
    std::vector<unsigned char> src, dst, want;
    for (const auto& c : cases) {
        src.insert(src.end(), c.src, c.src + 4);
        dst.insert(dst.end(), c.dst, c.dst + 4);
        want.insert(want.end(), c.want, c.want + 4);
    }
    addTexture(dst.data(), src.data(), 3, 1);
    EXPECT_EQ(dst, want);
}

// w x h buffer from a picture: '#' opaque red, 'c' transparent with colour, '.' all zero
std::vector<unsigned char> picture(const std::vector<std::string>& rows)
{
    std::vector<unsigned char> out;
    for (const std::string& r : rows) {
        for (char ch : r) {
            const unsigned char px[3][4] = {{200, 0, 0, 255}, {5, 5, 5, 0}, {0, 0, 0, 0}};
            const unsigned char* p = px[ch == '#' ? 0 : ch == 'c' ? 1 : 2];
            out.insert(out.end(), p, p + 4);
        }
    }
    return out;
}

// the same with 'o' for the outline's opaque black
std::vector<unsigned char> outlined(const std::vector<std::string>& rows)
{
    std::vector<unsigned char> out = picture(rows);
    size_t i = 0;
    for (const std::string& r : rows)
        for (char ch : r) {
            if (ch == 'o') {
                out[i] = out[i + 1] = out[i + 2] = 0;
                out[i + 3] = 255;
            }
            i += 4;
        }
    return out;
}

TEST(glstuffPixels, OutlineIsOnePixelAroundOpaqueShapes)
{
    struct { std::vector<std::string> before, after; } cases[] = {
        {{"...", ".#.", "..."}, {".o.", "o#o", ".o."}},
        // the image border counts as transparent; a coloured transparent pixel is not outlined
        {{"#c..", "....", "...."}, {"#c..", "o...", "...."}},
        // one pass only: the new outline does not grow itself, opaque pixels stay
        {{"##...", "##...", "....."}, {"##o..", "##o..", "oo..."}},
    };
    for (const auto& c : cases) {
        const int w = int(c.before[0].size()), h = int(c.before.size());
        std::vector<unsigned char> buf = picture(c.before);
        outlineTexture(buf.data(), w, h);
        EXPECT_EQ(buf, outlined(c.after)) << c.before[0] << "/" << c.before[1];
    }
}

// ---- image files ----

// A minimal RGBA PNG writer: stored (uncompressed) deflate blocks.
uint32_t crc32(const unsigned char* p, size_t n, uint32_t crc = 0)
{
    crc = ~crc;
    for (size_t i = 0; i < n; i++) {
        crc ^= p[i];
        for (int k = 0; k < 8; k++)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

void put32(std::string& s, uint32_t v)
{
    for (int k = 3; k >= 0; k--)
        s.push_back(char((v >> (8 * k)) & 0xFF));
}

void chunk(std::string& png, const char* type, const std::string& data)
{
    put32(png, uint32_t(data.size()));
    std::string body = std::string(type, 4) + data;
    png += body;
    put32(png, crc32(reinterpret_cast<const unsigned char*>(body.data()), body.size()));
}

// a PNG of any header: bit depth, colour type and the rest of IHDR in `format`, the filtered
// rows in `raw`
std::string pngFile(uint32_t w, uint32_t h, const std::string& format, const std::string& raw)
{
    std::string z = "\x78\x01";
    for (size_t off = 0;; off += 65535) { // stored blocks of at most 65535 bytes
        const size_t len = std::min<size_t>(65535, raw.size() - off);
        const bool last = off + len >= raw.size();
        z.push_back(last ? 1 : 0);
        z.push_back(char(len & 0xFF));
        z.push_back(char(len >> 8));
        z.push_back(char(~len & 0xFF));
        z.push_back(char((~len >> 8) & 0xFF));
        z.append(raw, off, len);
        if (last)
            break;
    }
    uint32_t a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    put32(z, (b << 16) | a);

    std::string png = "\x89PNG\r\n\x1a\n";
    std::string ihdr;
    put32(ihdr, w);
    put32(ihdr, h);
    ihdr += format;
    chunk(png, "IHDR", ihdr);
    chunk(png, "IDAT", z);
    chunk(png, "IEND", "");
    return png;
}

std::string makePNG(int w, int h, const std::vector<unsigned char>& rgba)
{
    std::string raw;
    for (int y = 0; y < h; y++) {
        raw.push_back(0); // no filter
        raw.append(reinterpret_cast<const char*>(&rgba[size_t(y) * w * 4]), size_t(w) * 4);
    }
    return pngFile(uint32_t(w), uint32_t(h), std::string("\x08\x06\x00\x00\x00", 5), raw);
}

// a black 1-bit grey picture: a few megabytes for a picture of tens of millions of pixels
std::string blackPNG(uint32_t w, uint32_t h)
{
    return pngFile(w, h, std::string("\x01\x00\x00\x00\x00", 5),
                   std::string(size_t(h) * (1 + (w + 7) / 8), '\0'));
}

// pixel (x, y) of a test image: every byte tells where it came from
std::vector<unsigned char> pattern(int w, int h)
{
    std::vector<unsigned char> px;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            const unsigned char p[4] = {static_cast<unsigned char>(10 + x),
                                        static_cast<unsigned char>(100 + y), 7,
                                        static_cast<unsigned char>(200 + x + y)};
            px.insert(px.end(), p, p + 4);
        }
    return px;
}

class glstuffFiles : public glstuffTest {
protected:
    std::string dir;
    void SetUp() override
    {
        glstuffTest::SetUp();
        dir = testsupport::makeTempDir();
    }
    std::string file(const std::string& name, const std::string& bytes)
    {
        testsupport::writeFile(dir + "/" + name, bytes);
        return dir + "/" + name;
    }
};

TEST_F(glstuffFiles, LoadDecodesToRGBARowsFromTheTop)
{
    const std::string path = file("a.png", makePNG(3, 2, pattern(3, 2)));
    std::vector<unsigned char> buf(3 * 2 * 4, 0);
    loadTexture(path.c_str(), buf.data(), 3, 2);
    EXPECT_EQ(buf, pattern(3, 2));

    unsigned tex = 0;
    createAndLoadTexture(&tex, path.c_str());
    ASSERT_NE(tex, 0u);
    EXPECT_EQ(texLevel(tex, GL_TEXTURE_WIDTH), 3);
    EXPECT_EQ(texLevel(tex, GL_TEXTURE_HEIGHT), 2);
    EXPECT_EQ(readTexture(tex, 3, 2), pattern(3, 2));
    glDeleteTextures(1, &tex);
}

// Expected buffer when an iw x ih image lands in a w x h buffer that held `fill`.
std::vector<unsigned char> overlap(int iw, int ih, int w, int h, unsigned char fill)
{
    std::vector<unsigned char> img = pattern(iw, ih), out(size_t(w) * h * 4, fill);
    for (int y = 0; y < std::min(ih, h); y++)
        for (int x = 0; x < std::min(iw, w); x++)
            for (int k = 0; k < 4; k++)
                out[(size_t(y) * w + x) * 4 + k] = img[(size_t(y) * iw + x) * 4 + k];
    return out;
}

TEST_F(glstuffFiles, ImageOfAnotherSizeFillsOnlyTheOverlap)
{
    struct { int iw, ih, w, h; } cases[] = {
        {2, 2, 4, 3}, // smaller: the rest of the buffer stays as it was
        {5, 4, 3, 2}, // larger: cut to the buffer
        {2, 5, 4, 3}, // narrower but taller
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.iw << "x" << c.ih << " into " << c.w << "x" << c.h);
        const std::string path = file("s.png", makePNG(c.iw, c.ih, pattern(c.iw, c.ih)));
        std::vector<unsigned char> buf(size_t(c.w) * c.h * 4, 0x5A);
        loadTexture(path.c_str(), buf.data(), c.w, c.h);
        EXPECT_EQ(buf, overlap(c.iw, c.ih, c.w, c.h, 0x5A));

        unsigned tex = 0;
        createAndLoadTexture(&tex, path.c_str(), c.w, c.h);
        EXPECT_EQ(texLevel(tex, GL_TEXTURE_WIDTH), c.w);
        EXPECT_EQ(readTexture(tex, c.w, c.h), overlap(c.iw, c.ih, c.w, c.h, 0xFF));
        glDeleteTextures(1, &tex);
    }
}

TEST_F(glstuffFiles, UnreadableFilesGiveNoTexture)
{
    const std::string png = makePNG(4, 4, pattern(4, 4));
    const std::string paths[] = {
        file("empty.png", ""),
        file("truncated.png", png.substr(0, png.size() / 2)),
        file("text.png", "this is not an image at all\n"),
        file("header-only.png", png.substr(0, 8)),
        dir + "/missing.png",
        dir, // a folder
    };
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        std::vector<unsigned char> buf(4 * 4 * 4, 0x33);
        loadTexture(path.c_str(), buf.data(), 4, 4);
        EXPECT_EQ(buf, std::vector<unsigned char>(4 * 4 * 4, 0x33));

        unsigned tex = 4242;
        createAndLoadTexture(&tex, path.c_str());
        EXPECT_EQ(tex, 4242u);

        createAndLoadTexture(&tex, path.c_str(), 4, 2); // always made, white
        ASSERT_NE(tex, 4242u);
        EXPECT_EQ(texLevel(tex, GL_TEXTURE_HEIGHT), 2);
        EXPECT_EQ(readTexture(tex, 4, 2), std::vector<unsigned char>(4 * 2 * 4, 0xFF));
        glDeleteTextures(1, &tex);
    }

    std::vector<unsigned char> buf(16, 1);
    loadTexture(nullptr, buf.data(), 2, 2);
    EXPECT_EQ(buf, std::vector<unsigned char>(16, 1));
    unsigned tex = 77;
    createAndLoadTexture(&tex, nullptr);
    EXPECT_EQ(tex, 77u);
}

// Pictures far larger than any of the game's are refused before they are decoded; up to
// 4096 pixels an edge they load.
TEST_F(glstuffFiles, HugePicturesAreRefused)
{
    unsigned tex = 0;
    createAndLoadTexture(&tex, file("wide.png", blackPNG(4096, 2)).c_str());
    ASSERT_NE(tex, 0u);
    EXPECT_EQ(texLevel(tex, GL_TEXTURE_WIDTH), 4096);
    glDeleteTextures(1, &tex);

    const std::string paths[] = {file("huge.png", blackPNG(8192, 8192)),
                                 file("long.png", blackPNG(1, 4097))};
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(isPlausiblePicture(path.c_str()));
        tex = 4242;
        createAndLoadTexture(&tex, path.c_str());
        EXPECT_EQ(tex, 4242u);
        std::vector<unsigned char> buf(16, 1);
        loadTexture(path.c_str(), buf.data(), 2, 2);
        EXPECT_EQ(buf, std::vector<unsigned char>(16, 1));
    }
}

// A named pipe in place of a picture: opening it would wait for a writer for ever. A helper
// thread plays the writer after a while; the loader must not have been waiting for it.
TEST_F(glstuffFiles, NamedPipeIsNotOpened)
{
    const std::string pipe = dir + "/pipe.png";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    std::atomic<bool> done(false), blocked(false);
    std::thread writer([&] {
        for (int i = 0; i < 50 && !done; i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        int fd = open(pipe.c_str(), O_WRONLY | O_NONBLOCK);   // succeeds only with a reader
        if (fd >= 0) {
            blocked = true;
            close(fd);
        }
    });
    unsigned tex = 4242;
    createAndLoadTexture(&tex, pipe.c_str());
    done = true;
    writer.join();
    EXPECT_FALSE(blocked) << "the loader opened the pipe and waited for a writer";
    EXPECT_EQ(tex, 4242u);
    EXPECT_FALSE(isReadableFile(pipe.c_str(), 1 << 20));
    EXPECT_FALSE(isReadableFile(dir.c_str(), 1 << 20));
    EXPECT_TRUE(isReadableFile(file("small", "12345").c_str(), 5));
    EXPECT_FALSE(isReadableFile(file("small", "123456").c_str(), 5));
}

}
