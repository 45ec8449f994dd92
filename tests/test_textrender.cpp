#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>
#include <GL/gl.h>
#include <SDL/SDL.h>
#include <gtest/gtest.h>
#include "main.h"
#include "support.h"
#include "textrender.h"

namespace {

const char* const tuffy = "/usr/share/fonts/truetype/tuffy/Tuffy_Bold.ttf";

std::string readFile(const char* path)
{
    std::string out;
    FILE* f = fopen(path, "rb");
    if (!f)
        return out;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    fclose(f);
    return out;
}

// a folder whose data/Tuffy_Bold.ttf holds the given bytes (none: no font file)
std::string fontFolder(const std::string* bytes)
{
    std::string dir = testsupport::makeTempDir();
    if (bytes)
        testsupport::writeFile(dir + "/data/Tuffy_Bold.ttf", *bytes);
    return dir;
}

// GLInitFreeType reads the font relative to the working directory
void initFontsIn(const std::string& dir)
{
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(dir.c_str()), 0);
    GLInitFreeType();
    ASSERT_EQ(chdir(cwd), 0);
}

// The X server on the test machines now and then drops a new connection; try again.
bool openContext()
{
    for (int attempt = 0; attempt < 5; attempt++)
        if (testsupport::openGLContext(800, 600))
            return true;
    return false;
}

// Window-space bounds of every polygon drawn by draw (feedback mode); empty when none.
struct bounds {
    int polygons = 0;
    float x0 = 1e9f, y0 = 1e9f, x1 = -1e9f, y1 = -1e9f;
};

bounds capture(const std::function<void()>& draw)
{
    std::vector<GLfloat> buf(1 << 20);
    glFeedbackBuffer(GLsizei(buf.size()), GL_2D, buf.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const int n = glRenderMode(GL_RENDER);
    EXPECT_GE(n, 0) << "feedback buffer overflow";
    bounds b;
    for (int i = 0; i < n;) {
        const GLenum token = GLenum(buf[i++]);
        int count = 1;
        if (token == GL_POLYGON_TOKEN) {
            count = int(buf[i++]);
            b.polygons++;
        } else if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN) {
            count = 2;
        } else if (token == GL_PASS_THROUGH_TOKEN) {
            i++;
            continue;
        }
        for (int k = 0; k < count; k++, i += 2) {
            if (token != GL_POLYGON_TOKEN)
                continue;
            b.x0 = std::min(b.x0, buf[i]);
            b.x1 = std::max(b.x1, buf[i]);
            b.y0 = std::min(b.y0, buf[i + 1]);
            b.y1 = std::max(b.y1, buf[i + 1]);
        }
    }
    return b;
}

class textrenderTest : public ::testing::Test {
protected:
    static std::string goodFonts;

    static void SetUpTestSuite()
    {
        if (!openContext())
            return;
        screen_width = 800;
        screen_height = 600;
        const std::string font = readFile(tuffy);
        goodFonts = fontFolder(&font);
        initFontsIn(goodFonts);
    }

    static void TearDownTestSuite() { GLDeinitFreeType(); }

    void SetUp() override
    {
        ASSERT_TRUE(openContext()) << "needs a display (xvfb-run): " << SDL_GetError();
        ASSERT_TRUE(GLFont(0)->open) << "the font in " << tuffy << " did not load";
        screen_width = 800;
        screen_height = 600;
        g_mix = 0;
        glViewport(0, 0, 800, 600);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glColor4f(1, 1, 1, 1);
    }

    void TearDown() override { g_mix = 0; }

    static int adv(int c) { return GLFont(0)->advance[c]; }
};

std::string textrenderTest::goodFonts;

// ---- decoding ----

// decodes a copy that ends exactly at its NUL, so a read past the end is caught
std::u32string decode(const std::string& bytes)
{
    std::unique_ptr<char[]> exact(new char[bytes.size() + 1]);
    std::memcpy(exact.get(), bytes.c_str(), bytes.size() + 1);
    return convertString(exact.get());
}

TEST(textDecoding, DecodesUpToThreeByteSequences)
{
    struct { std::string bytes; std::u32string want; } cases[] = {
        {"Az", U"Az"},
        {"\xC3\xA9", {233}},
        {"\xE2\x82\xAC!", {0x20AC, '!'}},
        {"\xF0\x9F\x98\x80" "ABC", {0, 0, 'C'}},  // four-byte lead and stray byte eat three each
        {"\x80xyz", {0, 'z'}},
        // cut short by the end of the text: one code point 0, nothing read beyond
        {"\xC3", {0}},
        {"A\xE2\x82", {'A', 0}},
        {"\xF0\x9F", {0}},
        {"", {}},
    };
    for (const auto& c : cases) {
        std::u32string got = decode(c.bytes);
        EXPECT_EQ(got, c.want) << "bytes of length " << c.bytes.size();
    }
    EXPECT_TRUE(convertString(nullptr).empty());
}

// ---- fonts and glyphs ----

// a thirtieth of the height of the 4:3 layout: the window's height, or three quarters of its
// width when it is narrower than 4:3
TEST_F(textrenderTest, FontSizeFollowsTheLayoutHeight)
{
    const struct { int width, height; float size; } cases[] = {
        {800, 600, 20}, {640, 480, 16}, {1024, 768, 25}, {1280, 1024, 32}, {1920, 1080, 36}};
    int previous = 0;
    for (const auto& c : cases) {
        screen_width = c.width;
        screen_height = c.height;
        initFontsIn(goodFonts);
        EXPECT_EQ(GLFont(0)->size, c.size);
        EXPECT_EQ(GLFont(1)->size, c.size);
        EXPECT_NE(adv('M'), previous) << "glyphs are not rendered at the new size";
        previous = adv('M');
    }
    screen_width = 800;
    screen_height = 600;
    initFontsIn(goodFonts);
}

TEST_F(textrenderTest, AsciiIsMadeAtStartOthersOnFirstUse)
{
    font_data* f = GLFont(0);
    EXPECT_EQ(f->slot['A'], 'A');
    EXPECT_GT(adv('A'), 0);
    const int before = f->used;
    ASSERT_GE(before, 128);

    const int e = 0x00E8; // è, not drawn by any other test
    EXPECT_EQ(f->slot[e], -1);
    EXPECT_EQ(GLTextWidth(0, "\xC3\xA8"), 0); // measuring makes no glyph
    GLText(0, 10, 10, "\xC3\xA8");
    EXPECT_EQ(f->slot[e], before);
    EXPECT_EQ(f->used, before + 1);
    EXPECT_GT(adv(e), 0);
    GLText(0, 10, 10, L"%ls", L"\u00E8\u00E8"); // reused, also from wide text
    EXPECT_EQ(f->used, before + 1);
    EXPECT_EQ(GLTextWidth(0, "\xC3\xA8"), adv(e));

    const int missing = 0x4E00; // a CJK ideograph: not in the font
    GLText(0, 10, 10, L"\u4E00");
    EXPECT_EQ(f->slot[missing], -2);
    EXPECT_EQ(f->used, before + 1);
    EXPECT_EQ(capture([] { GLText(0, 10, 10, L"\u4E00"); }).polygons, 0);
}

TEST_F(textrenderTest, FullFontMakesNoMoreGlyphs)
{
    font_data f;
    f.init((goodFonts + "/data/Tuffy_Bold.ttf").c_str(), 20);
    ASSERT_TRUE(f.open);
    f.used = 4096;
    f.needCharacter(0xE9);
    EXPECT_EQ(f.slot[0xE9], -1);
    f.used = 128;
    f.needCharacter(-1);       // out of the tables: ignored
    f.needCharacter(0x20000);
    EXPECT_EQ(f.used, 128);
    f.needCharacter(0xE9);
    EXPECT_EQ(f.slot[0xE9], 128);
    f.clean();
}

// ---- measuring ----

TEST_F(textrenderTest, WidthIsTheSumOfAdvancesOfTheFormattedText)
{
    GLText(0, 0, 0, "\xC3\xA9"); // make é
    struct { int got, want; const char* what; } cases[] = {
        {GLTextWidth(0, "%d", 42), adv('4') + adv('2'), "%d"},
        {GLTextWidth(0, L"%d", 42), adv('4') + adv('2'), "wide %d"},
        {GLTextWidth(0, "%s%%", "5"), adv('5') + adv('%'), "a percent sign"},
        {GLTextWidth(0, L"%ls", L"\u00E9x"), adv(0xE9) + adv('x'), "wide é"},
        {GLTextWidth(0, "\xC0\x01"), adv(' '), "a code beyond the tables counts as a space"},
        {GLTextWidth(0, (const char*)nullptr), 0, "no format"},
        {GLTextWidth(0, (const wchar_t*)nullptr), 0, "no wide format"},
        {GLTextWidth(1, "ab"), adv('a') + adv('b'), "font 1 is the same face"},
    };
    EXPECT_GT(adv('4'), 0);
    for (const auto& c : cases)
        EXPECT_EQ(c.got, c.want) << c.what;
}

TEST_F(textrenderTest, OverLongTextIsCutToTheWorkingBuffer)
{
    GLText(0, 0, 0, "\xC3\xA9"); // make é
    const std::string narrow(10000, 'a');
    const std::wstring wide(10000, L'a');
    const std::wstring accents(3000, L'\u00E9'); // two bytes each in UTF-8
    EXPECT_EQ(GLTextWidth(0, "%s", narrow.c_str()), 4095 * adv('a'));
    EXPECT_EQ(GLTextWidth(0, L"%ls", wide.c_str()), 4095 * adv('a'));
    EXPECT_EQ(GLTextWidth(0, L"%ls", accents.c_str()), 2047 * adv(0xE9)); // whole characters only
    EXPECT_EQ(GLTextWidth(0, L"x%lsy", accents.c_str()), adv('x') + 2047 * adv(0xE9));
    // drawing them stays inside the buffers too
    EXPECT_GT(capture([&] { GLText(0, 0, 0, "%s", narrow.c_str()); }).polygons, 0);
    EXPECT_GT(capture([&] { GLTextA(0, 0, 0, L"%ls", accents.c_str()); }).polygons, 0);
}

// ---- drawing ----

TEST_F(textrenderTest, TextIsPlacedAtItsTopLeftInScreenPixels)
{
    bounds a = capture([] { GLText(0, 100, 100, "H"); });
    bounds b = capture([] { GLText(0, 150, 130, "H"); });
    ASSERT_GT(a.polygons, 0); // one quad, possibly split into triangles
    // y grows downward on the screen, upward in window space
    EXPECT_NEAR(b.x0 - a.x0, 50, 1e-3);
    EXPECT_NEAR(b.y1 - a.y1, -30, 1e-3);
    // the glyph hangs below the line top and ends above the baseline at y + size
    EXPECT_GT(600 - a.y1, 100);
    EXPECT_LE(600 - a.y0, 100 + GLFont(0)->size + 1);

    bounds two = capture([] { GLText(0, 100, 100, "HH"); });
    EXPECT_EQ(two.polygons, 2 * a.polygons);
    EXPECT_NEAR(two.x1 - a.x1, adv('H'), 1e-3);
    // "%" survives formatting and is drawn
    EXPECT_EQ(capture([] { GLText(0, 100, 100, "%s", "%"); }).polygons, a.polygons);
}

TEST_F(textrenderTest, SceneTextIsDrawnAtATenthScale)
{
    bounds screen = capture([] { GLText(0, 120, 80, "Hg"); });
    // ten screen pixels to a unit: GLTextA's tenth brings it back to one pixel per glyph pixel
    glMatrixMode(GL_PROJECTION);
    glOrtho(0, 80, 60, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    bounds scene = capture([] { GLTextA(0, 120, 80, "Hg"); });
    ASSERT_GT(screen.polygons, 0);
    EXPECT_EQ(scene.polygons, screen.polygons);
    EXPECT_NEAR(scene.x0, screen.x0, 1e-2);
    EXPECT_NEAR(scene.y0, screen.y0, 1e-2);
    EXPECT_NEAR(scene.x1, screen.x1, 1e-2);
    EXPECT_NEAR(scene.y1, screen.y1, 1e-2);
}

TEST_F(textrenderTest, MenuTransitionWobblesText)
{
    const float W = 800, H = 600;
    bounds still = capture([] { GLText(0, 400, 400, "H"); });
    g_mix = 0.01f;
    bounds barely = capture([] { GLText(0, 400, 400, "H"); });
    EXPECT_EQ(barely.x0, still.x0);
    EXPECT_EQ(barely.y0, still.y0);

    g_mix = 1; // x = y = W / 2: only the cos / sin term moves it
    bounds moved = capture([] { GLText(0, 400, 400, "H"); });
    EXPECT_NEAR(moved.x0 - still.x0, std::cos(5.0f) * W * 0.1f, 1e-2);
    EXPECT_NEAR(moved.y1 - still.y1, -std::sin(5.0f) * H * 0.1f, 1e-2);
}

// Away from the centre the first-order term pushes text outward along both axes (both
// fractions are of the width) and the wave's phase depends on the other axis.
TEST_F(textrenderTest, WobblePushesTextOutwardAlongItsOwnAxes)
{
    const float W = 800, H = 600;
    struct { float x, y, mix; } cases[] = {
        {150, 200, 1.0f}, {600, 450, 1.0f}, {650, 120, 0.6f}, {60, 560, 0.35f}, {400, 300, 0.8f},
        {120, 150, 0.9f},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << ", " << c.y << " at " << c.mix);
        g_mix = 0;
        bounds still = capture([&] { GLText(0, c.x, c.y, "H"); });
        g_mix = c.mix;
        bounds moved = capture([&] { GLText(0, c.x, c.y, "H"); });
        ASSERT_GT(moved.polygons, 0) << "still on the screen";
        const float m = c.mix;
        const float ax = (c.x / W - 0.5f) * m, ay = (c.y / W - 0.5f) * m;
        const float dx = ax * m * W * 0.25f + std::cos(ay + 5 * m) * m * m * W * 0.1f;
        const float dy = ay * m * H * 0.25f + std::sin(ax + 5 * m) * m * m * H * 0.1f;
        EXPECT_NEAR(moved.x0 - still.x0, dx, 1e-2);
        EXPECT_NEAR(moved.y1 - still.y1, -dy, 1e-2) << "screen y grows downward";
    }
}

TEST_F(textrenderTest, GlyphsCoverPixelsAndStateIsRestored)
{
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glOrtho(-1, 1, -1, 1, -1, 1);
    GLfloat projBefore[16], projAfter[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projBefore);
    glMatrixMode(GL_MODELVIEW);

    GLText(0, 10, 10, "WWW");

    std::vector<unsigned char> px(200 * 60 * 4);
    glReadPixels(0, 600 - 60, 200, 60, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
    int lit = 0, bright = 0;
    for (size_t i = 0; i < px.size(); i += 4) {
        lit += px[i] > 0;
        bright += px[i] > 200;
    }
    EXPECT_GT(bright, 50);
    EXPECT_LT(lit, 200 * 60 / 2);

    glGetFloatv(GL_PROJECTION_MATRIX, projAfter);
    EXPECT_EQ(std::memcmp(projBefore, projAfter, sizeof projBefore), 0);
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
}

// ---- damaged fonts ----

// A 1-bit bitmap font of 27 px (the size 20 points come to at 96 dpi) holding "A" and "B",
// 13 px wide, so a row is 2 bytes: "A" lights only its left column, "B" its top row.
std::string bitmapFont()
{
    std::string bdf =
        "STARTFONT 2.1\nFONT -test-mono-medium-r-normal--27-200-96-96-c-130-iso10646-1\n"
        "SIZE 20 96 96\nFONTBOUNDINGBOX 13 27 0 -5\n"
        "STARTPROPERTIES 4\nPIXEL_SIZE 27\nFONT_ASCENT 22\nFONT_DESCENT 5\nDEFAULT_CHAR 65\n"
        "ENDPROPERTIES\nCHARS 2\n";
    for (char c : {'A', 'B'}) {
        bdf += std::string("STARTCHAR ") + c + "\nENCODING " + std::to_string(int(c)) +
               "\nSWIDTH 650 0\nDWIDTH 14 0\nBBX 13 27 0 -5\nBITMAP\n";
        for (int row = 0; row < 27; row++)
            bdf += c == 'A' ? "8000\n" : row == 0 ? "FFF8\n" : "0000\n";
        bdf += "ENDCHAR\n";
    }
    return bdf + "ENDFONT\n";
}

// coverage (alpha) of a glyph's texture, texW x texH from the top row
std::vector<unsigned char> glyphAlpha(unsigned texture, int& texW, int& texH)
{
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &texW);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &texH);
    std::vector<unsigned char> alpha(size_t(texW) * texH);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_ALPHA, GL_UNSIGNED_BYTE, alpha.data());
    return alpha;
}

TEST_F(textrenderTest, OneBitFontGivesWholeGlyphs)
{
    const std::string bdf = bitmapFont();
    initFontsIn(fontFolder(&bdf));
    font_data* f = GLFont(0);
    ASSERT_TRUE(f->open);
    ASSERT_EQ(f->slot['A'], 'A') << "the bitmap font gave no glyph";
    ASSERT_EQ(f->slot['B'], 'B');
    EXPECT_EQ(adv('A'), 14);
    for (char c : {'A', 'B'}) {
        SCOPED_TRACE(c);
        int texW = 0, texH = 0;
        std::vector<unsigned char> alpha = glyphAlpha(f->textures[int(c)], texW, texH);
        ASSERT_EQ(texW, 16);
        ASSERT_EQ(texH, 32);
        int wrong = 0;
        for (int y = 0; y < texH; y++) {
            for (int x = 0; x < texW; x++) {
                const bool lit = c == 'A' ? (x == 0 && y < 27) : (y == 0 && x < 13);
                wrong += alpha[size_t(y) * texW + x] != (lit ? 255 : 0);
            }
        }
        EXPECT_EQ(wrong, 0);
    }
    EXPECT_GT(capture([] { GLText(0, 10, 10, "AB"); }).polygons, 0);
    initFontsIn(goodFonts);
}

TEST_F(textrenderTest, MissingOrDamagedFontDrawsNothing)
{
    const std::string font = readFile(tuffy);
    const std::string empty, cut = font.substr(0, 1000), text = "not a font at all\n";
    const struct { const char* what; const std::string* bytes; } cases[] = {
        {"missing", nullptr}, {"empty", &empty}, {"truncated", &cut}, {"not a font", &text},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        initFontsIn(fontFolder(c.bytes));
        EXPECT_EQ(GLTextWidth(0, "Hello"), 0);
        EXPECT_EQ(GLTextWidth(1, L"W\u00E9"), 0);
        EXPECT_EQ(capture([] {
            GLText(0, 10, 10, "Hello \xC3\xA9");
            GLTextA(1, 0, 0, L"%ls", L"W\u00E9");
        }).polygons, 0);
    }
    GLDeinitFreeType();
    EXPECT_EQ(GLTextWidth(0, "Hello"), 0); // no fonts at all
    EXPECT_EQ(capture([] { GLText(0, 10, 10, "Hello"); }).polygons, 0);
    initFontsIn(goodFonts);
}

}
