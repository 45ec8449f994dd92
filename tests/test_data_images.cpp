// The generated pictures in data/: they open with the game's own loader, have the sizes the game
// expects, and the outfit layers stack into one posed figure.

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <string>
#include <vector>
#include <GL/gl.h>
#include <SDL/SDL.h>
#include <SDL/SDL_image.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <gtest/gtest.h>
#include "layeredplayertexture.h"
#include "support.h"

namespace fs = std::filesystem;

namespace {

const char* const FOLDERS[] = {"FootL", "LegL", "HandL", "ArmL", "Pelvis", "Torso", "Head",
    "Eyes_and_glasses", "Hats_and_hair", "ArmR", "LegR", "FootR", "HandR"};
const char* const SIDES[] = {"left", "right"};
const char* const TIMES[] = {"Morning", "Daytime", "Evening", "Night"};
const int CELL = 128;

bool powerOfTwo(int v) { return v > 0 && (v & (v - 1)) == 0; }

// an image decoded as the game decodes it: IMG_Load, then RGBA bytes, rows from the top
struct picture {
    bool ok = false;
    int w = 0, h = 0;
    std::vector<unsigned char> px;

    int alpha(int x, int y) const { return px[(size_t(y) * w + x) * 4 + 3]; }
};

picture load(const std::string& path)
{
    picture p;
    SDL_Surface* s = IMG_Load(path.c_str());
    if (!s)
        return p;
    SDL_Surface* format = SDL_CreateRGBSurface(SDL_SWSURFACE, 4, 4, 32, 0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000);
    SDL_Surface* rgba = SDL_ConvertSurface(s, format->format, SDL_SWSURFACE);
    SDL_FreeSurface(format);
    SDL_FreeSurface(s);
    if (!rgba)
        return p;
    p.ok = true;
    p.w = rgba->w;
    p.h = rgba->h;
    p.px.resize(size_t(p.w) * p.h * 4);
    SDL_LockSurface(rgba);
    for (int y = 0; y < p.h; ++y)
        std::copy_n(static_cast<unsigned char*>(rgba->pixels) + y * rgba->pitch, p.w * 4, &p.px[size_t(y) * p.w * 4]);
    SDL_UnlockSurface(rgba);
    SDL_FreeSurface(rgba);
    return p;
}

// the opaque pixels of one frame of a 4 x 4 sheet: their box (cell coordinates) and centre
struct extent {
    int count = 0;
    int left = CELL, top = CELL, right = -1, bottom = -1;
    double cx = 0, cy = 0;
};

extent frameExtent(const std::vector<unsigned char>& rgba, int sheetWidth, int frame)
{
    extent e;
    int ox = (frame % 4) * CELL, oy = (frame / 4) * CELL;
    for (int y = 0; y < CELL; ++y)
        for (int x = 0; x < CELL; ++x)
            if (rgba[(size_t(oy + y) * sheetWidth + ox + x) * 4 + 3] != 0) {
                e.count++;
                e.left = std::min(e.left, x);
                e.right = std::max(e.right, x);
                e.top = std::min(e.top, y);
                e.bottom = std::max(e.bottom, y);
                e.cx += x;
                e.cy += y;
            }
    if (e.count) {
        e.cx /= e.count;
        e.cy /= e.count;
    }
    return e;
}

// texture names a folder offers, by its Daytime_ images, sorted
std::vector<std::string> names(const std::string& folder)
{
    std::vector<std::string> out;
    std::error_code err;
    for (const auto& entry : fs::directory_iterator(folder, err)) {
        std::string file = entry.path().filename().string();
        if (file.rfind("Daytime_", 0) == 0)
            out.push_back(file.substr(8, file.find('.') - 8));
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::string outfitFile(const std::string& side, const std::string& folder, const std::string& time, const std::string& name)
{
    return "data/" + side + "/" + folder + "/" + time + "_" + name + ".png";
}

class dataImages : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fs::is_directory("data")) << "data/ is missing: build the data target first";
    }
};

} // namespace

TEST_F(dataImages, picturesOpenWithPowerOfTwoSizes)
{
    struct expected {
        const char* path;
        int size;   // required width and height, 0 for any power of two
    } files[] = {
        {"data/titles/name.png", 0}, {"data/titles/presents.png", 0}, {"data/titles/team.png", 0},
        {"data/titles/mainmenu_bg.png", 0}, {"data/example_ball.png", 128},
        {"data/powerups/random.png", 0}, {"data/powerups/dizzy.png", 0}, {"data/powerups/speedup.png", 0},
        {"data/powerups/slowdown.png", 0}, {"data/powerups/superjump.png", 0}, {"data/powerups/giant.png", 0},
        {"data/powerups/small.png", 0}, {"data/powerups/jetpack.png", 0},
    };
    for (const expected& f : files) {
        picture p = load(f.path);
        ASSERT_TRUE(p.ok) << f.path;
        EXPECT_TRUE(powerOfTwo(p.w) && powerOfTwo(p.h)) << f.path << " is " << p.w << " x " << p.h;
        if (f.size) {
            EXPECT_TRUE(p.w == f.size && p.h == f.size) << f.path;
        }
    }
    // the ball is round on a clear background: corners transparent, centre opaque
    picture ball = load("data/example_ball.png");
    EXPECT_EQ(ball.alpha(0, 0), 0);
    EXPECT_EQ(ball.alpha(127, 127), 0);
    EXPECT_EQ(ball.alpha(64, 64), 255);
}

TEST_F(dataImages, fontOpensWithFreeType)
{
    FT_Library lib;
    ASSERT_EQ(FT_Init_FreeType(&lib), 0);
    FT_Face face;
    ASSERT_EQ(FT_New_Face(lib, "data/Tuffy_Bold.ttf", 0, &face), 0);
    EXPECT_NE(FT_Get_Char_Index(face, 'T'), 0u);
    EXPECT_NE(FT_Get_Char_Index(face, 0xE9), 0u);   // é, which the menus may show
    FT_Done_Face(face);
    FT_Done_FreeType(lib);
}

TEST_F(dataImages, everyOutfitFolderOffersNamesAtEveryTimeOfDay)
{
    for (const char* side : SIDES)
        for (const char* folder : FOLDERS) {
            std::vector<std::string> offered = names(std::string("data/") + side + "/" + folder);
            EXPECT_GE(offered.size(), 4u) << side << "/" << folder;
            for (const std::string& n : offered)
                for (const char* time : TIMES)
                    EXPECT_TRUE(fs::is_regular_file(outfitFile(side, folder, time, n))) << outfitFile(side, folder, time, n);
        }
    for (const char* side : SIDES)
        for (const char* folder : {"Eyes_and_glasses", "Hats_and_hair"}) {
            std::vector<std::string> offered = names(std::string("data/") + side + "/" + folder);
            EXPECT_NE(std::find(offered.begin(), offered.end(), "plain"), offered.end()) << side << "/" << folder;
        }
}

// The game stamps layers with no blending and outlines the result: every sheet must be 512 x 512,
// hold only fully opaque or fully clear pixels, leave frames 8 to 15 and a two-pixel border of
// every cell clear (or the outline and the texture filter would bleed into the next frame), and
// show its part in every posed frame.
TEST_F(dataImages, outfitSheetsHaveHardEdgesAndEmptySpareFrames)
{
    int sheets = 0;
    for (const char* side : SIDES)
        for (const char* folder : FOLDERS)
            for (const std::string& n : names(std::string("data/") + side + "/" + folder))
                for (const char* time : TIMES) {
                    std::string path = outfitFile(side, folder, time, n);
                    picture p = load(path);
                    ASSERT_TRUE(p.ok) << path;
                    ASSERT_TRUE(p.w == 512 && p.h == 512) << path;
                    ++sheets;
                    int partial = 0, border = 0;
                    for (int y = 0; y < 512; ++y)
                        for (int x = 0; x < 512; ++x) {
                            int a = p.alpha(x, y);
                            partial += a != 0 && a != 255;
                            int cx = x % CELL, cy = y % CELL;
                            bool edge = cx < 2 || cy < 2 || cx >= CELL - 2 || cy >= CELL - 2;
                            border += edge && a != 0;
                        }
                    EXPECT_EQ(partial, 0) << path;
                    EXPECT_EQ(border, 0) << path;
                    for (int f = 0; f < 16; ++f) {
                        int count = frameExtent(p.px, 512, f).count;
                        if (f < 8) {
                            EXPECT_GT(count, 0) << path << " frame " << f;
                        } else {
                            EXPECT_EQ(count, 0) << path << " frame " << f;
                        }
                    }
                }
    EXPECT_GE(sheets, 2 * 13 * 4 * 4);
}

// The poses read as meant, measured on the separate part layers of each side.
TEST_F(dataImages, partsShowTheirPoses)
{
    for (int s = 0; s < 2; ++s) {
        const std::string side = SIDES[s];
        std::map<std::string, picture> part;
        for (const char* folder : FOLDERS) {
            std::vector<std::string> offered = names("data/" + side + "/" + folder);
            ASSERT_FALSE(offered.empty()) << folder;
            part[folder] = load(outfitFile(side, folder, "Daytime", offered[0]));
            ASSERT_TRUE(part[folder].ok) << folder;
        }
        auto at = [&](const char* folder, int frame) { return frameExtent(part[folder].px, 512, frame); };
        const double facing = s == 0 ? 1.0 : -1.0;   // left looks to +x, right to -x

        // standing: soles at 95 % of the cell, the top of the head near 5 %
        EXPECT_NEAR(std::max(at("FootL", 0).bottom, at("FootR", 0).bottom), 0.95 * CELL, 2.0) << side;
        int top = std::min(at("Head", 0).top, at("Hats_and_hair", 0).top);
        EXPECT_NEAR(top, 0.05 * CELL, 3.0) << side;
        // the eyes are in front of the head's centre
        EXPECT_GT((at("Eyes_and_glasses", 0).cx - at("Head", 0).cx) * facing, 2.0) << side;
        // running: the feet swap from one phase to the other
        double phase0 = at("FootR", 1).cx - at("FootL", 1).cx, phase1 = at("FootR", 2).cx - at("FootL", 2).cx;
        EXPECT_LT(phase0 * phase1, 0.0) << side;
        EXPECT_GT(std::fabs(phase0), 15.0) << side;
        // jumping: the legs are tucked up, the soles much closer to the hips than when standing
        auto reach = [&](int f) { return std::max(at("FootL", f).bottom, at("FootR", f).bottom) - at("Pelvis", f).cy; };
        EXPECT_LT(reach(3), 0.75 * reach(0)) << side;
        // diving and the dive hit: the body lies flat
        for (int f : {4, 5}) {
            extent torso = at("Torso", f);
            EXPECT_GT(torso.right - torso.left, torso.bottom - torso.top) << side << " frame " << f;
        }
        // air hit: the hitting hand is above the head
        EXPECT_LT(at("HandR", 6).top, at("Hats_and_hair", 6).top) << side;
        // bump: both hands low in front of the body, together
        extent torso = at("Torso", 7);
        for (const char* hand : {"HandL", "HandR"}) {
            EXPECT_GT((at(hand, 7).cx - torso.cx) * facing, 15.0) << side << " " << hand;
            EXPECT_GT(at(hand, 7).cy, torso.cy) << side << " " << hand;
        }
        EXPECT_LT(std::fabs(at("HandL", 7).cx - at("HandR", 7).cx), 8.0) << side;
    }
}

// The default outfit of each side, composed by the game's own layered texture, is one figure
// per posed frame, standing with its feet at 95 % and its head near 5 % of the cell.
TEST_F(dataImages, defaultOutfitComposesIntoOneFigure)
{
    ASSERT_TRUE(testsupport::openGLContext()) << "needs a display, e.g. xvfb-run";
    testsupport::openConfig();
    for (int team = 0; team < 2; ++team) {
        layeredplayertexture outfit(team, team * 2);
        for (const texlayer& l : outfit.layers)
            EXPECT_TRUE(fs::is_regular_file(std::string(l.file.utf8_str()))) << l.name;
        ASSERT_NE(outfit.texture, 0u);
        std::vector<unsigned char> rgba(512 * 512 * 4, 0);
        glBindTexture(GL_TEXTURE_2D, outfit.texture);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));
        for (int f = 0; f < 16; ++f) {
            extent e = frameExtent(rgba, 512, f);
            if (f >= 8) {
                EXPECT_EQ(e.count, 0) << "team " << team << " frame " << f;
                continue;
            }
            // a figure: a solid body of pixels, well inside its cell
            EXPECT_GT(e.count, 1200) << "team " << team << " frame " << f;
            EXPECT_GT(e.left, 0);
            EXPECT_LT(e.right, CELL - 1);
            EXPECT_GT(e.top, 0);
            EXPECT_LT(e.bottom, CELL - 1);
        }
        extent standing = frameExtent(rgba, 512, 0);
        // the outline adds one pixel below the soles
        EXPECT_NEAR(standing.bottom, 0.95 * CELL, 2.5) << "team " << team;
        EXPECT_NEAR(standing.top, 0.05 * CELL, 3.5) << "team " << team;
        EXPECT_GT(standing.bottom - standing.top, 0.85 * CELL) << "team " << team;
    }
    testsupport::closeConfig();
}
