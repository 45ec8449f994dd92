#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <lib3ds/file.h>
#include <lib3ds/mesh.h>
#include "daytime.h"
#include "particle.h"
#include "playfield.h"
#include "random.h"
#include "support.h"
#include "tarvo3ds.h"

namespace {

const int MAP = 512;
const int CELLS = MAP * MAP;

class PlayfieldTest : public ::testing::Test {
protected:
    playfield* field = nullptr;

    void SetUp() override
    {
        ASSERT_TRUE(testsupport::openGLContext()) << "needs a display, e.g. xvfb-run";
        init_genrand(1234);
        seedDiscrete(1234);
        setDaytime(DT_DAY);
        field = new playfield();
        field->sandFill(0);
    }
    void TearDown() override { delete field; }

    int height(int c, int r) const { return field->heightMap[r * MAP + c]; }
    const unsigned char* pixel(int c, int r) const { return field->colourMap + 4 * (r * MAP + c); }
    std::vector<int> heights() const { return std::vector<int>(field->heightMap, field->heightMap + CELLS); }

    // every cell keeps its colour in step with its height
    void expectColoursFollowHeights() const
    {
        for (int i = 0; i < CELLS; i++) {
            int h = field->heightMap[i];
            const unsigned char* px = field->colourMap + 4 * i;
            int want[3] = {sand_basecol_r + h, sand_basecol_g + h, sand_basecol_b + h};
            for (int k = 0; k < 3; k++) {
                int w = std::min(255, std::max(0, want[k]));
                ASSERT_EQ(px[k], w) << "cell " << i;
            }
            ASSERT_EQ(px[3], 255);
        }
    }

    void clearParticles()
    {
        for (size_t i = field->children.size(); i-- > 0;)
            if (dynamic_cast<particle*>(field->children[i]))
                delete field->children[i];
    }

    size_t particles() const
    {
        size_t n = 0;
        for (gameobject* o : field->children)
            n += dynamic_cast<particle*>(o) != nullptr;
        return n;
    }
};

TEST_F(PlayfieldTest, CellUpdatesClipAndSaturate)
{
    struct cellCase {
        int c, r, delta, times;
        int wantHeight;
        int wantRed;
    };
    const cellCase cases[] = {
        {10, 20, 5, 1, 5, 234},
        {11, 20, -7, 2, -14, 215},
        {0, 0, 40, 1, 32, 255},          // height limited, red limited
        {511, 511, -40, 1, -32, 197},
        {300, 4, 20, 3, 32, 255},
        {300, 5, -2147483647, 1, -32, 197},
    };
    for (const cellCase& k : cases) {
        for (int i = 0; i < k.times; i++)
            field->sandPixel(k.c, k.r, k.delta);
        EXPECT_EQ(height(k.c, k.r), k.wantHeight) << k.c << "," << k.r;
        EXPECT_EQ(pixel(k.c, k.r)[0], k.wantRed) << k.c << "," << k.r;
    }
    expectColoursFollowHeights();

    // cells off the map change nothing
    std::vector<int> before = heights();
    const int offMap[][2] = {{-1, 0}, {512, 0}, {0, -1}, {0, 512}, {-100000, 7}, {7, 2000000}};
    for (const auto& o : offMap)
        field->sandPixel(o[0], o[1], 9);
    EXPECT_EQ(heights(), before);
}

TEST_F(PlayfieldTest, FillUsesTheSandOfTheTimeOfDay)
{
    struct fillCase {
        daytime dt;
        int noise;
        int r, g, b;
        int lo, hi;
    };
    const fillCase cases[] = {
        {DT_DAY, 0, 229, 200, 101, 0, 0},
        {DT_NIGHT, 0, 146, 134, 112, 0, 0},
        {DT_EVENING, 4, 216, 166, 112, -2, 1},
        {DT_MORNING, 10, 190, 166, 116, -5, 4},
    };
    for (const fillCase& f : cases) {
        SCOPED_TRACE(f.noise);
        setDaytime(f.dt);
        field->sandFill(f.noise);
        EXPECT_EQ(sand_basecol_r, f.r);
        EXPECT_EQ(sand_basecol_g, f.g);
        EXPECT_EQ(sand_basecol_b, f.b);
        std::vector<int> h = heights();
        EXPECT_EQ(*std::min_element(h.begin(), h.end()), f.lo);
        EXPECT_EQ(*std::max_element(h.begin(), h.end()), f.hi);
        expectColoursFollowHeights();

        // the texture holds the new colours
        std::vector<unsigned char> tex(CELLS * 4);
        glBindTexture(GL_TEXTURE_2D, field->sandTexture);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, tex.data());
        EXPECT_EQ(memcmp(tex.data(), field->colourMap, tex.size()), 0);
    }
}

TEST_F(PlayfieldTest, FootprintPushesSandUpBehindAndDownInFront)
{
    field->footStep(0, 0, 20, 5);   // the court's centre is cell (256, 256)
    // the stamp is stretched over 20 columns and 40 rows: one cell of each extreme
    EXPECT_GE(height(256 - 7, 256 - 5), 13);   // stamp 0.3: 15 +- 1.5
    EXPECT_LE(height(256 + 5, 256), -13);      // stamp -0.3
    // the print's extent: columns 246 ... 265, rows 236 ... 275
    for (int r = 0; r < MAP; r++) {
        for (int c = 0; c < MAP; c++) {
            if (c < 246 || c > 265 || r < 236 || r > 275) {
                ASSERT_EQ(height(c, r), 0) << c << "," << r;
            }
        }
    }
    expectColoursFollowHeights();
}

// Two draws per cell of the print, wherever the print lands: the sequence of random numbers
// does not depend on the position.
TEST_F(PlayfieldTest, FootprintDrawsForEveryCellOnOrOffTheMap)
{
    struct printCase {
        float x, z, size;
        int cells;   // 2E columns x 2H rows
    };
    const printCase cases[] = {
        {0, 0, 20, 20 * 40},
        {-119, 0, 20, 20 * 40},       // partly left of the map
        {1000, 1000, 20, 20 * 40},    // entirely off it
        {0, 0, 2.5f, 2 * 4},
        {0, 0, 1.9f, 0},              // too small to stamp
        {0, 0, NAN, 0},
    };
    field->dustEnabled = false;
    for (const printCase& p : cases) {
        SCOPED_TRACE(p.x);
        init_genrand(77);
        field->footStep(p.x, p.z, p.size, 1);
        unsigned long next = genrand_int32();
        init_genrand(77);
        for (int i = 0; i < 2 * p.cells; i++)
            genrand_int32();
        EXPECT_EQ(next, genrand_int32());
    }
}

TEST_F(PlayfieldTest, PrintAtTheEdgeKeepsOnlyCellsOnTheMap)
{
    field->footStep(-119, 0, 20, 5);   // centre column trunc(1 * 2.1333334) = 2
    int touched = 0;
    for (int r = 0; r < MAP; r++) {
        for (int c = 0; c < MAP; c++) {
            if (height(c, r) != 0) {
                ASSERT_LE(c, 2 + 9);
                ASSERT_GE(r, 236);
                ASSERT_LE(r, 275);
                touched++;
            }
        }
    }
    EXPECT_GT(touched, 0);
    expectColoursFollowHeights();
}

TEST_F(PlayfieldTest, OnlyLargePrintsThrowDust)
{
    struct dustCase {
        float size;
        bool enabled;
        size_t dust;
        bool stamps;
    };
    const dustCase cases[] = {
        {1.9f, true, 0, false},
        {14, true, 0, true},
        {14.5f, true, 145, true},
        {14.5f, false, 0, true},
        {20, true, 200, true},
    };
    for (const dustCase& d : cases) {
        SCOPED_TRACE(d.size);
        field->sandFill(0);
        clearParticles();
        field->dustEnabled = d.enabled;
        std::vector<int> before = heights();
        field->footStep(10, 5, d.size, 2);
        EXPECT_EQ(particles(), d.dust);
        EXPECT_EQ(heights() != before, d.stamps);
    }
}

TEST_F(PlayfieldTest, DustAndFireParticles)
{
    struct spawnCase {
        bool fire;
        float amount;
        size_t count;
        float reach;          // from the spot, along x and z
        float rise, spread;   // base velocity y, spread per axis
        float red, green;     // colour before the shift of -0.25 ... 0.245
    };
    const spawnCase cases[] = {
        {false, 20, 200, 2, -3, 8, 0.8f, 0.6f},
        {false, 0.15f, 1, 2, -3, 8, 0.8f, 0.6f},
        {true, 16, 160, 1, -8, 16, 1.3f, 0.9f},
        {false, 0.05f, 0, 0, 0, 0, 0, 0},
        {true, -3, 0, 0, 0, 0, 0, 0},
    };
    for (const spawnCase& s : cases) {
        SCOPED_TRACE(std::string(s.fire ? "fire " : "dust ") + std::to_string(s.amount));
        clearParticles();
        if (s.fire)
            field->spawnFire(30, -10, s.amount);
        else
            field->spawnDust(30, -10, s.amount);
        ASSERT_EQ(particles(), s.count);
        for (gameobject* o : field->children) {
            particle* p = dynamic_cast<particle*>(o);
            if (!p)
                continue;   // the venue
            EXPECT_EQ(p->parent, field);
            EXPECT_LE(std::fabs(p->pos.x - 30), s.reach);
            EXPECT_LE(std::fabs(p->pos.z + 10), s.reach);
            EXPECT_EQ(p->pos.y, 0.0f);
            EXPECT_EQ(p->baseVelocity.y, s.rise);
            EXPECT_EQ(p->spread.x, s.spread);
            float e = s.red - p->colour[0];
            EXPECT_GE(e, -0.25f - 1e-6f);
            EXPECT_LE(e, 0.245f + 1e-6f);
            EXPECT_NEAR(s.green - p->colour[1], e, 1e-6);
            EXPECT_EQ(p->alpha, 0.3f);
        }
    }
}

TEST_F(PlayfieldTest, ResetMarksTheCourtAnewWithoutDust)
{
    field->reset();
    EXPECT_TRUE(field->dustEnabled);
    EXPECT_EQ(particles(), 0u);
    std::vector<int> first = heights();
    EXPECT_GE(*std::min_element(first.begin(), first.end()), -32);
    EXPECT_LE(*std::max_element(first.begin(), first.end()), 32);
    // prints reach beyond the noise of -2 ... 1
    EXPECT_LT(*std::min_element(first.begin(), first.end()), -2);
    EXPECT_GT(*std::max_element(first.begin(), first.end()), 1);
    expectColoursFollowHeights();

    field->reset();
    EXPECT_NE(heights(), first);
    EXPECT_EQ(field->pos.y, 0.0f);
}

// A raked court from the same seed, laid by hand: noise of 4, then 3 000 prints up to 19 wide
// over the court (x within 60, z within 25) and 3 000 up to 49 wide around it (x -150 ... 149,
// z -125 ... 124), each print taking its size, z and x in that order.
TEST_F(PlayfieldTest, ResetLaysItsPrintsWhereAndAsManyAsItShould)
{
    playfield* byHand = new playfield();
    auto unit = [] { return (float)(genrand_int32() % 1000) / 500.0f - 1.0f; };
    for (unsigned long seed : {7ul, 20061ul}) {
        SCOPED_TRACE(seed);
        init_genrand(seed);
        field->reset();

        init_genrand(seed);
        byHand->dustEnabled = false;
        byHand->sandFill(4);
        for (int i = 0; i < 3000; i++) {
            float size = (float)(genrand_int32() % 20);
            float z = unit() * 25;
            float x = unit() * 60;
            byHand->footStep(x, z, size, 1);
        }
        for (int i = 0; i < 3000; i++) {
            float size = (float)(genrand_int32() % 50);
            float z = (float)((long)(genrand_int32() % 250) - 125);
            float x = (float)((long)(genrand_int32() % 300) - 150);
            byHand->footStep(x, z, size, 1);
        }
        const unsigned long nextByHand = genrand_int32();
        const std::vector<int> want(byHand->heightMap, byHand->heightMap + CELLS);
        const std::vector<int> got = heights();
        int differ = 0;
        for (int i = 0; i < CELLS; i++)
            differ += got[i] != want[i];
        EXPECT_EQ(differ, 0) << "cells unlike the court raked by hand";
        init_genrand(seed);
        field->reset();
        EXPECT_EQ(genrand_int32(), nextByHand) << "the reset draws as many numbers as its prints";
    }
    delete byHand;
}

// the triangles GL hands back from one draw of the court, seen from above over x and y
static int drawnTriangles(playfield* field, float* lowest, float* highest)
{
    glViewport(0, 0, 64, 64);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-128, 128, -8, 8, -128, 128);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    std::vector<GLfloat> buf(200000);
    glFeedbackBuffer((GLsizei)buf.size(), GL_3D, buf.data());
    glRenderMode(GL_FEEDBACK);
    field->drawThis();
    int n = glRenderMode(GL_RENDER);

    int triangles = 0;   // GL may hand quads back split in two
    *lowest = 100;
    *highest = -100;
    for (int i = 0; i < n;) {
        EXPECT_EQ((int)buf[i], GL_POLYGON_TOKEN);
        int vertices = (int)buf[i + 1];
        EXPECT_GE(vertices, 3);
        for (int v = 0; v < vertices; v++) {
            // window y back to court y: 64 pixels over -8 ... 8
            float y = buf[i + 2 + 3 * v + 1] / 64 * 16 - 8;
            *lowest = std::min(*lowest, y);
            *highest = std::max(*highest, y);
        }
        triangles += vertices - 2;
        i += 2 + 3 * vertices;
    }
    return triangles;
}

TEST_F(PlayfieldTest, DrawsTheCoarseMeshWithTheColourMap)
{
    field->sandPixel(8, 8, -20);          // sampled: row block 1, column block 1
    field->sandPixel(9, 9, 30);           // not sampled
    field->colourMap[0] = 17;             // shows in the texture at the next draw

    float lowest, highest;
    const int triangles = drawnTriangles(field, &lowest, &highest);
    EXPECT_GT(triangles, 2);                // the dent needs its own triangles
    EXPECT_LT(triangles, 40);               // the flat rest does not
    EXPECT_NEAR(highest, 2.0f, 1e-3);   // flat sand
    EXPECT_NEAR(lowest, 1.0f, 1e-3);    // the dent, lifted by 0.05 x 20

    unsigned char texel[4];
    std::vector<unsigned char> tex(CELLS * 4);
    glBindTexture(GL_TEXTURE_2D, field->sandTexture);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, tex.data());
    memcpy(texel, tex.data(), 4);
    EXPECT_EQ(texel[0], 17);

    // the dent filled in again: the mesh follows the heights of this draw
    field->sandPixel(8, 8, 20);
    EXPECT_EQ(drawnTriangles(field, &lowest, &highest), 2);
    EXPECT_NEAR(lowest, 2.0f, 1e-3);
}

// a freshly raked court keeps every dent and heap of its prints, in far fewer triangles than
// the 7 938 of the full grid
TEST_F(PlayfieldTest, RakedCourtDrawsWithFewTriangles)
{
    field->reset();
    float lowest, highest;
    const int triangles = drawnTriangles(field, &lowest, &highest);
    int deepest = 0;
    for (int r = 0; r < MAP; r += 8)
        for (int c = 0; c < MAP; c += 8)
            deepest = std::max(deepest, std::abs(height(c, r)));
    EXPECT_NEAR(lowest, 2.0f - 0.05f * deepest, 1e-3);
    EXPECT_LT(triangles, 2 * 63 * 63 / 2);
    std::cout << "[          ] raked court: " << triangles << " triangles\n";
}

// ---------------------------------------------------------------------------------------------
// the venue of the time of day, read from data/venues under the working directory

class VenueLoadingTest : public PlayfieldTest {
protected:
    std::string oldDir;

    void SetUp() override
    {
        char buf[4096];
        ASSERT_NE(getcwd(buf, sizeof buf), nullptr);
        oldDir = buf;
        std::string dir = testsupport::makeTempDir();
        ASSERT_EQ(chdir(dir.c_str()), 0);
        ASSERT_EQ(system("mkdir -p data/venues"), 0);
        saveModel("data/venues/Evening_venue.3ds");
        testsupport::writeFile("data/venues/Morning_venue.3ds", std::string(300, '\x4d'));
        PlayfieldTest::SetUp();
    }
    void TearDown() override
    {
        PlayfieldTest::TearDown();
        ASSERT_EQ(chdir(oldDir.c_str()), 0);
    }

    static void saveModel(const char* path)
    {
        Lib3dsFile* f = lib3ds_file_new();
        Lib3dsMesh* m = lib3ds_mesh_new("stand");
        lib3ds_mesh_new_point_list(m, 3);
        lib3ds_mesh_new_face_list(m, 1);
        for (int k = 0; k < 3; k++)
            m->faceL[0].points[k] = (Lib3dsWord)k;
        m->pointL[1].pos[0] = 1;
        m->pointL[2].pos[2] = 1;
        lib3ds_file_insert_mesh(f, m);
        ASSERT_TRUE(lib3ds_file_save(f, path));
        lib3ds_file_free(f);
    }

    int venuesAmongChildren() const
    {
        int n = 0;
        for (gameobject* o : field->children)
            n += dynamic_cast<tarvo3ds*>(o) != nullptr;
        return n;
    }
};

TEST_F(VenueLoadingTest, ResetLoadsTheVenueOfTheTimeOfDay)
{
    struct venueCase {
        daytime dt;
        bool loaded;
    };
    const venueCase cases[] = {
        {DT_EVENING, true},
        {DT_EVENING, true},    // again: the old one replaced, not added
        {DT_NIGHT, false},     // no file
        {DT_MORNING, false},   // a damaged file
        {DT_EVENING, true},
    };
    for (const venueCase& v : cases) {
        SCOPED_TRACE(getDTPrefix().ToStdString());
        setDaytime(v.dt);
        field->reset();
        if (v.loaded) {
            ASSERT_NE(field->venue, nullptr);
            EXPECT_NE(field->venue->file, nullptr);
            EXPECT_EQ(field->venue->parent, field);
            EXPECT_EQ(field->venue->pos.x, 0.0f);
            EXPECT_EQ(field->venue->pos.y, 3.0f);
            EXPECT_EQ(field->venue->pos.z, 0.0f);
            EXPECT_EQ(venuesAmongChildren(), 1);
        } else {
            EXPECT_EQ(field->venue, nullptr);
            EXPECT_EQ(venuesAmongChildren(), 0);
        }
        field->step(0.02f);
        field->draw();
    }
}

// ---------------------------------------------------------------------------------------------

TEST(playfieldGlobal, PointsAtTheNewestCourtAndNeverDangles)
{
    ASSERT_TRUE(testsupport::openGLContext()) << "needs a display, e.g. xvfb-run";
    playfield* a = new playfield();
    EXPECT_EQ(g_playfield, a);
    playfield* b = new playfield();
    EXPECT_EQ(g_playfield, b);
    delete a;
    EXPECT_EQ(g_playfield, b);

    // particles still falling fast when their court goes: they must not mark freed sand
    for (int i = 0; i < 20; i++)
        new particle(b, vector3d(0, -20, 0), vector3d(0, 30, 0), vector3d(0, 0, 0), vector3d(1, 1, 1), 1);
    delete b;
    EXPECT_EQ(g_playfield, nullptr);
}

}  // namespace
