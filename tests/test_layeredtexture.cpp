#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>
#include <GL/gl.h>
#include <gtest/gtest.h>
#include "layeredtexture.h"
#include "support.h"

namespace {

// An RGBA picture, rows from the top.
struct image {
    int w, h;
    std::vector<unsigned char> px;
    image(int aw, int ah) : w(aw), h(ah), px(size_t(aw) * ah * 4, 0) {}
    void set(int x, int y, unsigned char r, unsigned char g, unsigned char b, unsigned char a)
    {
        unsigned char* p = &px[(size_t(y) * w + x) * 4];
        p[0] = r; p[1] = g; p[2] = b; p[3] = a;
    }
    void fill(int x0, int y0, int x1, int y1, unsigned char r, unsigned char g, unsigned char b)
    {
        for (int y = y0; y < y1; y++)
            for (int x = x0; x < x1; x++)
                set(x, y, r, g, b, 255);
    }
};

uint32_t crc32(const std::string& bytes)
{
    uint32_t c = 0xFFFFFFFFu;
    for (unsigned char b : bytes) {
        c ^= b;
        for (int k = 0; k < 8; k++)
            c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return c ^ 0xFFFFFFFFu;
}

void put32(std::string& s, uint32_t v)
{
    s += char(v >> 24); s += char(v >> 16); s += char(v >> 8); s += char(v);
}

void chunk(std::string& png, const char* type, const std::string& data)
{
    put32(png, uint32_t(data.size()));
    std::string body = std::string(type, 4) + data;
    png += body;
    put32(png, crc32(body));
}

// A PNG with alpha, deflate in stored blocks: enough for the image loader, no zlib needed.
std::string encodePNG(const image& img)
{
    std::string raw;
    for (int y = 0; y < img.h; y++) {
        raw += '\0';   // no row filter
        raw.append(reinterpret_cast<const char*>(&img.px[size_t(y) * img.w * 4]), size_t(img.w) * 4);
    }
    std::string z = "\x78\x01";
    for (size_t at = 0; at < raw.size() || at == 0; ) {
        size_t n = std::min<size_t>(65535, raw.size() - at);
        bool last = at + n >= raw.size();
        z += char(last ? 1 : 0);
        z += char(n & 0xFF); z += char(n >> 8);
        z += char(~n & 0xFF); z += char((~n >> 8) & 0xFF);
        z.append(raw, at, n);
        at += n;
        if (last)
            break;
    }
    uint32_t a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    put32(z, (b << 16) | a);

    std::string ihdr;
    put32(ihdr, uint32_t(img.w));
    put32(ihdr, uint32_t(img.h));
    ihdr += std::string("\x08\x06\x00\x00\x00", 5);   // 8 bits, RGBA
    std::string png = "\x89PNG\r\n\x1a\n";
    chunk(png, "IHDR", ihdr);
    chunk(png, "IDAT", z);
    chunk(png, "IEND", "");
    return png;
}

std::vector<unsigned char> readBack(unsigned tex, int w, int h)
{
    std::vector<unsigned char> px(size_t(w) * h * 4, 0xCD);
    glBindTexture(GL_TEXTURE_2D, tex);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
    return px;
}

struct rgba {
    int r, g, b, a;
};

rgba pixelAt(const std::vector<unsigned char>& px, int w, int x, int y)
{
    const unsigned char* p = &px[(size_t(y) * w + x) * 4];
    return { p[0], p[1], p[2], p[3] };
}

#define EXPECT_PIXEL(px, w, x, y, R, G, B, A)                              \
    do {                                                                  \
        rgba p_ = pixelAt(px, w, x, y);                                   \
        EXPECT_EQ(p_.r, R) << "at " << (x) << "," << (y);                 \
        EXPECT_EQ(p_.g, G) << "at " << (x) << "," << (y);                 \
        EXPECT_EQ(p_.b, B) << "at " << (x) << "," << (y);                 \
        EXPECT_EQ(p_.a, A) << "at " << (x) << "," << (y);                 \
    } while (0)

class LayeredTextureTest : public ::testing::Test {
protected:
    std::string dir;

    void SetUp() override
    {
        ASSERT_TRUE(testsupport::openGLContext());
        dir = testsupport::makeTempDir();
    }

    wxString save(const std::string& name, const image& img)
    {
        std::string path = dir + "/" + name;
        testsupport::writeFile(path, encodePNG(img));
        return wxString::FromUTF8(path.c_str());
    }

    image solid(int w, int h, unsigned char r, unsigned char g, unsigned char b)
    {
        image img(w, h);
        img.fill(0, 0, w, h, r, g, b);
        return img;
    }
};

TEST_F(LayeredTextureTest, LaterLayersCoverEarlierOnesAsOpaque)
{
    image square(32, 32);
    square.fill(5, 5, 15, 15, 0, 0, 255);
    square.set(20, 20, 0, 255, 0, 1);   // barely visible still counts as opaque
    layeredtexture t(32, 32);
    t.addLayer("bottom", "", save("red.png", solid(32, 32, 255, 0, 0)));
    t.addLayer("top", "", save("square.png", square));
    t.construct();
    ASSERT_NE(t.texture, 0u);

    std::vector<unsigned char> px = readBack(t.texture, 32, 32);
    for (int y = 0; y < 32; y++) {
        for (int x = 0; x < 32; x++) {
            bool inSquare = x >= 5 && x < 15 && y >= 5 && y < 15;
            if (x == 20 && y == 20)
                EXPECT_PIXEL(px, 32, x, y, 0, 254, 0, 255);
            else if (inSquare)
                EXPECT_PIXEL(px, 32, x, y, 0, 0, 254, 255);
            else
                EXPECT_PIXEL(px, 32, x, y, 254, 0, 0, 255);   // nothing transparent: no outline
        }
    }
}

TEST_F(LayeredTextureTest, ShapesGetOneBlackPixelOfOutline)
{
    image dot(9, 9);
    dot.set(4, 4, 255, 255, 255, 255);
    layeredtexture t(9, 9);
    t.addLayer("dot", "", save("dot.png", dot));
    t.construct();

    std::vector<unsigned char> px = readBack(t.texture, 9, 9);
    for (int y = 0; y < 9; y++) {
        for (int x = 0; x < 9; x++) {
            int dist = std::abs(x - 4) + std::abs(y - 4);
            if (dist == 0)
                EXPECT_PIXEL(px, 9, x, y, 254, 254, 254, 255);
            else if (dist == 1)
                EXPECT_PIXEL(px, 9, x, y, 0, 0, 0, 255);
            else
                EXPECT_PIXEL(px, 9, x, y, 0, 0, 0, 0);
        }
    }
}

// A layer that cannot be decoded leaves the scratch image as it was, so the layer below is
// stamped once more from the same pixels (which changes nothing); before any readable layer
// nothing is stamped.
TEST_F(LayeredTextureTest, UnreadableLayersRepeatThePreviousImage)
{
    wxString red = save("red.png", solid(4, 4, 255, 0, 0));
    wxString missing = wxString::FromUTF8((dir + "/missing.png").c_str());
    testsupport::writeFile(dir + "/broken.png", "not an image");
    wxString broken = wxString::FromUTF8((dir + "/broken.png").c_str());
    struct row {
        std::vector<wxString> files;
        rgba expected;
    } rows[] = {
        { {}, { 0, 0, 0, 0 } },
        { { missing }, { 0, 0, 0, 0 } },
        { { red }, { 254, 0, 0, 255 } },
        { { red, missing }, { 254, 0, 0, 255 } },
        { { red, "" }, { 254, 0, 0, 255 } },
        { { red, broken, missing }, { 254, 0, 0, 255 } },
        { { missing, red }, { 254, 0, 0, 255 } },
    };
    for (const row& r : rows) {
        layeredtexture t(4, 4);
        for (size_t i = 0; i < r.files.size(); i++)
            t.addLayer(wxString::Format("l%d", int(i)), "", r.files[i]);
        t.construct();
        std::vector<unsigned char> px = readBack(t.texture, 4, 4);
        SCOPED_TRACE(testing::Message() << r.files.size() << " layers");
        for (int y = 0; y < 4; y++)
            for (int x = 0; x < 4; x++)
                EXPECT_PIXEL(px, 4, x, y, r.expected.r, r.expected.g, r.expected.b, r.expected.a);
    }
}

// Images of another size are used where they overlap the texture and never read past.
TEST_F(LayeredTextureTest, ImagesOfAnotherSizeAreCroppedOrPartial)
{
    layeredtexture small(32, 32);
    small.addLayer("red", "", save("small.png", solid(8, 8, 255, 0, 0)));
    small.construct();
    std::vector<unsigned char> px = readBack(small.texture, 32, 32);
    EXPECT_PIXEL(px, 32, 0, 0, 254, 0, 0, 255);
    EXPECT_PIXEL(px, 32, 7, 7, 254, 0, 0, 255);
    EXPECT_PIXEL(px, 32, 8, 3, 0, 0, 0, 255);   // outline beside the image
    EXPECT_PIXEL(px, 32, 3, 8, 0, 0, 0, 255);
    EXPECT_PIXEL(px, 32, 20, 20, 0, 0, 0, 0);

    image big = solid(64, 40, 0, 255, 0);
    big.fill(16, 0, 64, 40, 255, 0, 255);   // only outside the texture's 16 columns
    layeredtexture crop(16, 16);
    crop.addLayer("green", "", save("big.png", big));
    crop.construct();
    px = readBack(crop.texture, 16, 16);
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 16; x++)
            EXPECT_PIXEL(px, 16, x, y, 0, 254, 0, 255);
}

TEST_F(LayeredTextureTest, SetLayerRebuildsOnlyWhenAsked)
{
    wxString red = save("red.png", solid(4, 4, 255, 0, 0));
    wxString blue = save("blue.png", solid(4, 4, 0, 0, 255));
    layeredtexture t(4, 4);
    t.addLayer("body", "", red);
    t.construct();
    ASSERT_EQ(t.builds, 1);

    t.setLayer("body", blue);
    EXPECT_EQ(t.getLayer("body")->file, blue);
    EXPECT_EQ(t.builds, 1);
    EXPECT_PIXEL(readBack(t.texture, 4, 4), 4, 1, 1, 254, 0, 0, 255);   // still the old picture
    t.construct();
    EXPECT_PIXEL(readBack(t.texture, 4, 4), 4, 1, 1, 0, 0, 254, 255);

    t.autoRebuild = true;
    t.setLayer("body", red);
    EXPECT_EQ(t.builds, 3);
    EXPECT_PIXEL(readBack(t.texture, 4, 4), 4, 1, 1, 254, 0, 0, 255);

    t.setLayer("nobody", blue);
    EXPECT_EQ(t.builds, 3);
    EXPECT_EQ(t.getLayer("body")->file, red);
}

// records how addLayer hands values to the overridable setLayer
class recordingtexture : public layeredtexture {
public:
    std::vector<wxString> calls;
    recordingtexture() : layeredtexture(2, 2) {}
    void setLayer(const wxString& name, const wxString& file) override
    {
        calls.push_back(name + "=" + file);
        layeredtexture::setLayer(name, "resolved/" + file);
    }
};

TEST_F(LayeredTextureTest, AddLayerResolvesValuesAndGetLayerFindsTheFirst)
{
    recordingtexture t;
    t.addLayer("hat", "Hats", "straw");
    t.addLayer("hat", "Caps", "cap");
    t.addLayer("bare", "Skin", "");
    EXPECT_EQ(t.calls, (std::vector<wxString>{ "hat=straw", "hat=cap" }));

    ASSERT_EQ(t.layers.size(), 3u);
    // both calls found the first "hat"; the second layer keeps its value as its file
    EXPECT_EQ(t.getLayer("hat"), &t.layers[0]);
    EXPECT_EQ(t.layers[0].file, "resolved/cap");
    EXPECT_EQ(t.layers[1].file, "cap");
    EXPECT_EQ(t.layers[1].folder, "Caps");
    EXPECT_EQ(t.layers[1].value, "cap");
    EXPECT_EQ(t.getLayer("bare")->file, "");
    EXPECT_EQ(t.getLayer("Hat"), nullptr);
    EXPECT_EQ(t.texture, 0u);
    EXPECT_EQ(t.builds, 0);
}

TEST_F(LayeredTextureTest, DestroyingDeletesTheTexture)
{
    layeredtexture* t = new layeredtexture(4, 4);
    t->construct();
    GLuint name = t->texture;
    ASSERT_TRUE(glIsTexture(name));
    delete t;
    EXPECT_FALSE(glIsTexture(name));
}

}
