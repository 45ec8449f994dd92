#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>
#include <GL/gl.h>
#include <SDL/SDL.h>
#include <gtest/gtest.h>
#include <lib3ds/file.h>
#include <lib3ds/matrix.h>
#include <lib3ds/material.h>
#include <lib3ds/mesh.h>
#include <lib3ds/node.h>
#include "support.h"
#include "tarvo3ds.h"

namespace {

const int NO_PARENT = LIB3DS_NO_PARENT;

// Builds small 3DS files through lib3ds itself, so the bytes are what the library writes.
class modelBuilder {
public:
    modelBuilder() : f(lib3ds_file_new()) {}
    ~modelBuilder() { lib3ds_file_free(f); }

    modelBuilder& frames(int n)
    {
        f->frames = n;
        return *this;
    }

    modelBuilder& material(const char* name, float shininess)
    {
        Lib3dsMaterial* m = lib3ds_material_new();
        strcpy(m->name, name);
        const float red[4] = {1, 0, 0, 1};
        memcpy(m->diffuse, red, sizeof red);
        m->shininess = shininess;
        lib3ds_file_insert_material(f, m);
        return *this;
    }

    // count separate triangles standing in the model's x-z plane (z is up in the file)
    modelBuilder& mesh(const char* name, int count, const char* material)
    {
        Lib3dsMesh* m = lib3ds_mesh_new(name);
        lib3ds_mesh_new_point_list(m, 3 * count);
        lib3ds_mesh_new_texel_list(m, 3 * count);
        lib3ds_mesh_new_face_list(m, count);
        for (int i = 0; i < count; i++) {
            float x = 2.0f * i;
            float corners[3][3] = {{x, 0, 0}, {x + 1, 0, 0}, {x, 0, 1}};
            for (int k = 0; k < 3; k++) {
                memcpy(m->pointL[3 * i + k].pos, corners[k], sizeof corners[k]);
                m->texelL[3 * i + k][0] = corners[k][0];
                m->texelL[3 * i + k][1] = corners[k][2];
                m->faceL[i].points[k] = (Lib3dsWord)(3 * i + k);
            }
            strcpy(m->faceL[i].material, material);
        }
        lib3ds_file_insert_mesh(f, m);
        return *this;
    }

    // an object node at rest: position 0, no rotation, scale 1
    modelBuilder& node(const char* name, int id, int parent = NO_PARENT)
    {
        Lib3dsNode* n = lib3ds_node_new_object();
        strcpy(n->name, name);
        n->node_id = (Lib3dsWord)id;
        n->parent_id = (Lib3dsWord)parent;
        Lib3dsLin3Key* p = lib3ds_lin3_key_new();
        lib3ds_lin3_track_insert(&n->data.object.pos_track, p);
        Lib3dsQuatKey* r = lib3ds_quat_key_new();
        r->axis[2] = 1;
        lib3ds_quat_track_insert(&n->data.object.rot_track, r);
        Lib3dsLin3Key* s = lib3ds_lin3_key_new();
        s->value[0] = s->value[1] = s->value[2] = 1;
        lib3ds_lin3_track_insert(&n->data.object.scl_track, s);
        lib3ds_file_insert_node(f, n);
        return *this;
    }

    // one triangle with the given points (file space, z up) and texels, in a mesh whose own
    // matrix is a shift (3DS keeps mesh points in world space; the matrix says where the
    // object stood when they were written)
    modelBuilder& triangle(const char* name, const float points[3][3], const float texels[3][2],
                           const float shift[3])
    {
        Lib3dsMesh* m = lib3ds_mesh_new(name);
        lib3ds_mesh_new_point_list(m, 3);
        lib3ds_mesh_new_texel_list(m, 3);
        lib3ds_mesh_new_face_list(m, 1);
        for (int k = 0; k < 3; k++) {
            memcpy(m->pointL[k].pos, points[k], 3 * sizeof(float));
            m->texelL[k][0] = texels[k][0];
            m->texelL[k][1] = texels[k][1];
            m->faceL[0].points[k] = (Lib3dsWord)k;
        }
        lib3ds_matrix_identity(m->matrix);
        for (int a = 0; a < 3; a++)
            m->matrix[3][a] = shift[a];
        lib3ds_file_insert_mesh(f, m);
        return *this;
    }

    // an object node placed at pos, scaled, with a pivot
    modelBuilder& placedNode(const char* name, int id, const float pos[3], const float scale[3],
                             const float pivot[3], int parent = NO_PARENT)
    {
        node(name, id, parent);
        Lib3dsNode* n = lib3ds_file_node_by_id(f, (Lib3dsWord)id);
        memcpy(n->data.object.pos_track.keyL->value, pos, 3 * sizeof(float));
        memcpy(n->data.object.scl_track.keyL->value, scale, 3 * sizeof(float));
        memcpy(n->data.object.pivot, pivot, 3 * sizeof(float));
        return *this;
    }

    std::string save(const std::string& path)
    {
        EXPECT_TRUE(lib3ds_file_save(f, path.c_str()));
        std::ifstream in(path, std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }

private:
    Lib3dsFile* f;
};

// The venue used by most tests: a stand of two triangles (one face with an unknown material),
// a "$$$DUMMY" group node over a palm, and a mesh named like the dummy so drawing it would show.
std::string saveVenue(const std::string& path, int frames = 100)
{
    return modelBuilder()
        .frames(frames)
        .material("shiny", 0.8f)
        .mesh("stand", 2, "nosuch")
        .mesh("palm", 1, "shiny")
        .mesh("$$$DUMMY", 1, "shiny")
        .node("$$$DUMMY", 0)
        .node("palm", 1, 0)
        .node("stand", 2)
        .save(path);
}

// offset of the chunk reached by following ids down from the main chunk
const size_t NOT_FOUND = std::string::npos;
size_t chunkOffset(const std::string& b, const std::vector<uint16_t>& path)
{
    auto word = [&](size_t at) { return (uint16_t)((uint8_t)b[at] | ((uint8_t)b[at + 1] << 8)); };
    auto dword = [&](size_t at) { return (uint32_t)word(at) | ((uint32_t)word(at + 2) << 16); };
    size_t pos = 0, end = b.size(), found = NOT_FOUND;
    for (uint16_t id : path) {
        found = NOT_FOUND;
        while (pos + 6 <= end) {
            uint32_t len = dword(pos + 2);
            if (word(pos) == id) {
                found = pos;
                break;
            }
            if (len < 6)
                return NOT_FOUND;
            pos += len;
        }
        if (found == NOT_FOUND)
            return NOT_FOUND;
        end = found + dword(found + 2);
        pos = found + 6;
        if (id == 0x4000)
            pos += strlen(b.c_str() + pos) + 1;   // object name
        if (id == 0x4120)
            pos += 2 + 8 * word(pos);             // the faces before their sub-chunks
    }
    return found;
}

void putWord(std::string& b, size_t at, uint16_t v)
{
    b[at] = (char)(v & 0xff);
    b[at + 1] = (char)(v >> 8);
}

void putDword(std::string& b, size_t at, uint32_t v)
{
    putWord(b, at, (uint16_t)(v & 0xffff));
    putWord(b, at + 2, (uint16_t)(v >> 16));
}

// replaces the chunk at `path` by `chunk` (header included), fixing the lengths of its parents
void spliceChunk(std::string& b, const std::vector<uint16_t>& path, const std::string& chunk)
{
    size_t at = chunkOffset(b, path);
    ASSERT_NE(at, NOT_FOUND);
    const uint32_t oldLength = (uint8_t)b[at + 2] | ((uint8_t)b[at + 3] << 8) |
                               ((uint8_t)b[at + 4] << 16) | ((uint32_t)(uint8_t)b[at + 5] << 24);
    const int64_t delta = (int64_t)chunk.size() - oldLength;
    for (size_t depth = 1; depth < path.size(); depth++) {
        size_t parent = chunkOffset(b, std::vector<uint16_t>(path.begin(), path.begin() + depth));
        uint32_t len = (uint8_t)b[parent + 2] | ((uint8_t)b[parent + 3] << 8) |
                       ((uint8_t)b[parent + 4] << 16) | ((uint32_t)(uint8_t)b[parent + 5] << 24);
        putDword(b, parent + 2, (uint32_t)(len + delta));
    }
    b.replace(at, oldLength, chunk);
}

// a keyframe track chunk: flags, 8 unused bytes, the keys (frame, no spline floats, value bytes)
std::string trackChunk(uint16_t id, uint16_t flags, const std::vector<int32_t>& frames, size_t value)
{
    std::string c(6 + 14, '\0');
    putWord(c, 0, id);
    putWord(c, 6, flags);
    putDword(c, 6 + 10, (uint32_t)frames.size());
    for (int32_t f : frames) {
        std::string key(6 + value, '\0');
        putDword(key, 0, (uint32_t)f);
        c += key;
    }
    putDword(c, 2, (uint32_t)c.size());
    return c;
}

const std::vector<uint16_t> FIRST_POSITION = {0x4D4D, 0xB000, 0xB002, 0xB020};
const std::vector<uint16_t> FIRST_ROTATION = {0x4D4D, 0xB000, 0xB002, 0xB021};

const std::vector<uint16_t> STAND_FACES = {0x4D4D, 0x3D3D, 0x4000, 0x4100, 0x4120};

// triangles that reach the screen while draw() runs
int countTriangles(const std::function<void()>& draw)
{
    std::vector<GLfloat> buf(1 << 16);
    glFeedbackBuffer((GLsizei)buf.size(), GL_3D, buf.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    int n = glRenderMode(GL_RENDER);
    int triangles = 0;
    for (int i = 0; i < n;) {
        int token = (int)buf[i++];
        if (token == GL_POLYGON_TOKEN) {
            int vertices = (int)buf[i++];
            triangles += vertices == 3;
            i += 3 * vertices;
        } else if (token == GL_POINT_TOKEN || token == GL_BITMAP_TOKEN ||
                   token == GL_DRAW_PIXEL_TOKEN || token == GL_COPY_PIXEL_TOKEN) {
            i += 3;
        } else if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN) {
            i += 6;
        } else {
            i += 1;   // pass-through value
        }
    }
    return triangles;
}

class VenueModelTest : public ::testing::Test {
protected:
    std::string dir;

    void SetUp() override
    {
        ASSERT_TRUE(testsupport::openGLContext()) << "needs a display, e.g. xvfb-run";
        dir = testsupport::makeTempDir();
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-100, 100, -100, 100, -100, 100);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
    }

    static unsigned listOf(tarvo3ds& t, const char* name)
    {
        Lib3dsNode* n = lib3ds_file_node_by_name(t.file, name, LIB3DS_OBJECT_NODE);
        return n ? n->user.d : 0;
    }
};

TEST_F(VenueModelTest, DrawsObjectNodesButNotTheDummy)
{
    std::string path = dir + "/Night_venue.3ds";
    saveVenue(path);
    tarvo3ds t(wxString::FromUTF8(path.c_str()), 0, 10);
    ASSERT_NE(t.file, nullptr);
    EXPECT_EQ(t.file->frames, 100);
    EXPECT_EQ(t.texture, 0u);   // no picture next to it

    // the stand's two triangles and the palm under the dummy; the dummy's own mesh never
    EXPECT_EQ(countTriangles([&] { t.draw(); }), 3);
    EXPECT_NE(listOf(t, "stand"), 0u);
    EXPECT_NE(listOf(t, "palm"), 0u);
    EXPECT_EQ(listOf(t, "$$$DUMMY"), 0u);

    // compiled once, reused afterwards
    unsigned stand = listOf(t, "stand");
    t.draw();
    EXPECT_EQ(listOf(t, "stand"), stand);
}

// Where a triangle of the file lands on the court: the file's z is up and the court's y is
// down, so file (x, y, z) is drawn at (x, -z, -y); a node moves and scales its mesh about the
// pivot, the mesh's own matrix is taken back out, and picture rows run from the top (v flipped).
TEST_F(VenueModelTest, TrianglesLandWhereTheFilePlacesThem)
{
    struct placement {
        const char* what;
        float pos[3], scale[3], pivot[3], shift[3], parentPos[3];
        bool child;
    } cases[] = {
        {"at rest", {0, 0, 0}, {1, 1, 1}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, false},
        {"moved", {10, 20, 5}, {1, 1, 1}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, false},
        {"moved about a pivot", {10, 20, 5}, {1, 1, 1}, {1, 2, 3}, {0, 0, 0}, {0, 0, 0}, false},
        {"scaled about a pivot", {-4, 6, 2}, {2, 3, 0.5f}, {1, -2, 4}, {0, 0, 0}, {0, 0, 0}, false},
        {"mesh written shifted", {10, 20, 5}, {1, 1, 1}, {0, 0, 0}, {7, -3, 2}, {0, 0, 0}, false},
        {"under a moved parent", {3, 4, 5}, {1, 1, 1}, {0, 0, 0}, {0, 0, 0}, {-20, 10, 1}, true},
    };
    const float points[3][3] = {{4, 5, 6}, {-8, 2, 1}, {3, -7, 9}};
    const float texels[3][2] = {{0.25f, 0.1f}, {0.75f, 0.6f}, {0.5f, 0.9f}};
    glViewport(0, 0, 200, 200);   // with the test's projection: one pixel per unit
    for (const placement& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = dir + "/placed.3ds";
        modelBuilder b;
        b.frames(10).triangle("tri", points, texels, c.shift);
        const float one[3] = {1, 1, 1}, zero[3] = {0, 0, 0};
        if (c.child)
            b.placedNode("$$$DUMMY", 0, c.parentPos, one, zero).placedNode("tri", 1, c.pos, c.scale, c.pivot, 0);
        else
            b.placedNode("tri", 1, c.pos, c.scale, c.pivot);
        b.save(path);
        tarvo3ds t(wxString::FromUTF8(path.c_str()), 0, 10);
        ASSERT_NE(t.file, nullptr);

        std::vector<GLfloat> buf(4096);
        glFeedbackBuffer((GLsizei)buf.size(), GL_3D_COLOR_TEXTURE, buf.data());
        glRenderMode(GL_FEEDBACK);
        t.draw();
        const int n = glRenderMode(GL_RENDER);
        ASSERT_GE(n, 2);
        ASSERT_EQ((int)buf[0], GL_POLYGON_TOKEN);
        ASSERT_EQ((int)buf[1], 3);
        for (int k = 0; k < 3; k++) {
            SCOPED_TRACE(testing::Message() << "corner " << k);
            // in the file: node position + scale x (point - mesh shift - pivot), parent added
            float file[3];
            for (int a = 0; a < 3; a++)
                file[a] = c.parentPos[a] + c.pos[a] + c.scale[a] * (points[k][a] - c.shift[a] - c.pivot[a]);
            const GLfloat* v = &buf[2 + 11 * k];   // x, y, z, colour (4), texture (4)
            EXPECT_NEAR(v[0] - 100, file[0], 1e-3);
            EXPECT_NEAR(v[1] - 100, -file[2], 1e-3) << "the file's z is up, the court's y down";
            EXPECT_NEAR(100 * (1 - 2 * v[2]), -file[1], 1e-2) << "the file's y runs along -z";
            EXPECT_NEAR(v[7], texels[k][0], 1e-6);
            EXPECT_NEAR(v[8], 1 - texels[k][1], 1e-6) << "picture rows from the top";
        }
    }
    glViewport(0, 0, 64, 64);
}

TEST_F(VenueModelTest, LoadsThePictureOfTheSameName)
{
    std::string path = dir + "/Night_venue.3ds";
    saveVenue(path);
    SDL_Surface* s = SDL_CreateRGBSurface(SDL_SWSURFACE, 8, 4, 32, 0xff, 0xff00, 0xff0000,
                                          0xff000000);
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(SDL_SaveBMP(s, (dir + "/Night_venue.png").c_str()), 0);   // any format loads
    SDL_FreeSurface(s);

    tarvo3ds t(wxString::FromUTF8(path.c_str()), 0, 10);
    EXPECT_NE(t.texture, 0u);
    EXPECT_TRUE(glIsTexture(t.texture));
}

TEST_F(VenueModelTest, ReleasesTextureAndDisplayListsWhenDeleted)
{
    std::string path = dir + "/v.3ds";
    saveVenue(path);
    SDL_Surface* s = SDL_CreateRGBSurface(SDL_SWSURFACE, 4, 4, 32, 0xff, 0xff00, 0xff0000,
                                          0xff000000);
    SDL_SaveBMP(s, (dir + "/v.png").c_str());
    SDL_FreeSurface(s);

    tarvo3ds* t = new tarvo3ds(wxString::FromUTF8(path.c_str()), 0, 10);
    t->draw();
    unsigned stand = listOf(*t, "stand"), palm = listOf(*t, "palm"), tex = t->texture;
    ASSERT_TRUE(glIsList(stand) && glIsList(palm));
    ASSERT_TRUE(glIsTexture(tex));
    delete t;
    EXPECT_FALSE(glIsList(stand));
    EXPECT_FALSE(glIsList(palm));
    EXPECT_FALSE(glIsTexture(tex));
}

TEST_F(VenueModelTest, MaterialsOfTheFaces)
{
    struct materialCase {
        const char* material;    // of the only face
        float shininess;         // of the material in the file
        float wantShininess;     // GL's after drawing
        float wantAmbient;
        float wantDiffuseGreen;
    };
    const materialCase cases[] = {
        {"shiny", 0.8f, 128.0f, 0.0f, 0.0f},     // 2^8 = 256, limited
        {"shiny", 0.5f, 32.0f, 0.0f, 0.0f},      // 2^5
        {"nosuch", 0.8f, 0.0f, 0.2f, 0.8f},      // a grey default, shininess untouched
    };
    for (const materialCase& c : cases) {
        SCOPED_TRACE(std::string(c.material) + " " + std::to_string(c.shininess));
        std::string path = dir + "/m.3ds";
        modelBuilder().material("shiny", c.shininess).mesh("box", 1, c.material).node("box", 0).save(path);
        tarvo3ds t(wxString::FromUTF8(path.c_str()), 0, 10);
        ASSERT_NE(t.file, nullptr);
        glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 0);
        t.draw();
        float shininess = -1, ambient[4] = {-1, -1, -1, -1}, diffuse[4] = {-1, -1, -1, -1};
        glGetMaterialfv(GL_FRONT, GL_SHININESS, &shininess);
        glGetMaterialfv(GL_FRONT, GL_AMBIENT, ambient);
        glGetMaterialfv(GL_BACK, GL_DIFFUSE, diffuse);
        EXPECT_NEAR(shininess, c.wantShininess, 1e-3);
        EXPECT_NEAR(ambient[0], c.wantAmbient, 1e-6);
        EXPECT_NEAR(diffuse[1], c.wantDiffuseGreen, 1e-6);
    }
}

TEST_F(VenueModelTest, LeavesOutFacesWithMissingPoints)
{
    std::string path = dir + "/v.3ds";
    saveVenue(path);
    tarvo3ds t(wxString::FromUTF8(path.c_str()), 0, 10);
    ASSERT_NE(t.file, nullptr);
    Lib3dsMesh* stand = lib3ds_file_mesh_by_name(t.file, "stand");
    ASSERT_NE(stand, nullptr);
    stand->faceL[1].points[2] = 999;   // the stand has 6 points
    EXPECT_EQ(countTriangles([&] { t.draw(); }), 2);
    EXPECT_NE(listOf(t, "stand"), 0u);
}

TEST_F(VenueModelTest, AnimationLoops)
{
    std::string path = dir + "/v.3ds";
    saveVenue(path, 100);
    tarvo3ds t(wxString::FromUTF8(path.c_str()), 0, 10);
    ASSERT_NE(t.file, nullptr);

    for (int i = 0; i < 125; i++)
        t.step(0.02f);
    EXPECT_NEAR(t.frame, 25.0f, 1e-3);

    // just past 10 s the loop starts over at frame 0, from that moment on
    float before = t.frame;
    while (t.frame >= before) {
        before = t.frame;
        t.step(0.02f);
        ASSERT_LT(t.clock, 10.1f);
    }
    EXPECT_GT(t.clock, 10.0f);
    EXPECT_GT(before, 99.0f);
    EXPECT_EQ(t.frame, 0.0f);
    EXPECT_EQ(t.animStart, t.clock);
    for (int i = 0; i < 25; i++)
        t.step(0.02f);
    EXPECT_NEAR(t.frame, 5.0f, 1e-3);
}

TEST_F(VenueModelTest, WithoutKeyframesStaysAtTheFirst)
{
    std::string path = dir + "/v.3ds";
    saveVenue(path, 0);
    tarvo3ds t(wxString::FromUTF8(path.c_str()), 2, 10);
    ASSERT_NE(t.file, nullptr);
    for (int i = 0; i < 700; i++) {
        t.step(0.02f);
        ASSERT_EQ(t.frame, 0.0f);
    }
    EXPECT_EQ(t.animStart, 2.0f);
}

// Damaged venue files: each is refused before lib3ds sees it, and the model draws nothing.
TEST_F(VenueModelTest, DamagedFilesGiveNoModel)
{
    std::string good = saveVenue(dir + "/good.3ds");
    ASSERT_TRUE(tarvo3ds::chunksAreSound((const unsigned char*)good.data(), good.size()));

    struct damage {
        std::string what;
        std::function<void(std::string&)> apply;
    };
    std::vector<damage> cases = {
        {"empty", [](std::string& b) { b.clear(); }},
        {"only the main header", [](std::string& b) { b.resize(6); }},
        {"cut to a quarter", [](std::string& b) { b.resize(b.size() / 4); }},
        {"cut in half", [](std::string& b) { b.resize(b.size() / 2); }},
        {"last byte missing", [](std::string& b) { b.resize(b.size() - 1); }},
        {"not a 3DS file", [](std::string& b) { putWord(b, 0, 0x4D4E); }},
        {"main chunk past the end", [](std::string& b) { putDword(b, 2, (uint32_t)b.size() + 10); }},
        {"chunk past its parent",
         [](std::string& b) { putDword(b, chunkOffset(b, {0x4D4D, 0x3D3D, 0x4000, 0x4100, 0x4110}) + 2, 0x7fffffff); }},
        {"chunk of length zero",
         [](std::string& b) { putDword(b, chunkOffset(b, {0x4D4D, 0x3D3D, 0x3D3E}) + 2, 0); }},
        {"face naming a missing point",
         [](std::string& b) { putWord(b, chunkOffset(b, STAND_FACES) + 6 + 2, 60000); }},
        {"point count beyond its chunk",
         [](std::string& b) { putWord(b, chunkOffset(b, {0x4D4D, 0x3D3D, 0x4000, 0x4100, 0x4110}) + 6, 5000); }},
        {"material group naming a missing face",
         [](std::string& b) {
             size_t g = chunkOffset(b, {0x4D4D, 0x3D3D, 0x4000, 0x4100, 0x4120, 0x4130});
             size_t name = strlen(b.c_str() + g + 6) + 1;
             putWord(b, g + 6 + name + 2, 500);
         }},
        {"node that is its own parent",
         [](std::string& b) {
             size_t hdr = chunkOffset(b, {0x4D4D, 0xB000, 0xB002, 0xB010});
             size_t id = chunkOffset(b, {0x4D4D, 0xB000, 0xB002, 0xB030});
             size_t name = strlen(b.c_str() + hdr + 6) + 1;
             b[hdr + 6 + name + 4] = b[id + 6];
             b[hdr + 6 + name + 5] = b[id + 7];
         }},
        {"track with more keys than bytes",
         [](std::string& b) { putDword(b, chunkOffset(b, {0x4D4D, 0xB000, 0xB002, 0xB020}) + 6 + 10, 0x7fffffff); }},
        {"track one key short",
         [](std::string& b) {
             std::string track = trackChunk(0xB020, 0, {0, 10}, 12);
             track.pop_back();
             putDword(track, 2, (uint32_t)track.size());
             spliceChunk(b, FIRST_POSITION, track);
         }},
        {"repeating position track, frames a float cannot tell apart",
         [](std::string& b) {
             spliceChunk(b, FIRST_POSITION, trackChunk(0xB020, 1, {16777216, 16777217}, 12));
             putDword(b, chunkOffset(b, {0x4D4D, 0xB000, 0xB00A}) + 6 + 2 + 1, 1u << 30);
         }},
        {"repeating rotation track", [](std::string& b) { spliceChunk(b, FIRST_ROTATION, trackChunk(0xB021, 1, {5, 50}, 16)); }},
        {"key beyond the frames a float holds",
         [](std::string& b) { spliceChunk(b, FIRST_POSITION, trackChunk(0xB020, 0, {0, 16777217}, 12)); }},
        {"negative key frame", [](std::string& b) { spliceChunk(b, FIRST_POSITION, trackChunk(0xB020, 0, {-5, 10}, 12)); }},
        {"key-frame count of 2^30",
         [](std::string& b) { putDword(b, chunkOffset(b, {0x4D4D, 0xB000, 0xB00A}) + 6 + 2 + 1, 1u << 30); }},
        {"track of 5000 keys",
         [](std::string& b) {
             std::vector<int32_t> frames(5000);
             for (int i = 0; i < 5000; i++)
                 frames[i] = i;
             spliceChunk(b, FIRST_POSITION, trackChunk(0xB020, 0, frames, 12));
         }},
    };

    for (const damage& d : cases) {
        SCOPED_TRACE(d.what);
        std::string bytes = good;
        d.apply(bytes);
        EXPECT_FALSE(tarvo3ds::chunksAreSound((const unsigned char*)bytes.data(), bytes.size()));
        std::string path = dir + "/damaged.3ds";
        testsupport::writeFile(path, bytes);
        tarvo3ds t(wxString::FromUTF8(path.c_str()), 0, 10);
        EXPECT_EQ(t.file, nullptr);
        for (int i = 0; i < 50; i++)   // a second of the match
            t.step(0.02f);
        EXPECT_EQ(countTriangles([&] { t.draw(); }), 0);
    }
}

// The limits leave room for what real venues hold
TEST_F(VenueModelTest, KeyframeTracksWithinTheLimitsAreRead)
{
    std::string good = saveVenue(dir + "/good.3ds");
    std::vector<int32_t> frames(4096);
    for (int i = 0; i < 4096; i++)
        frames[i] = 4095 - i;   // out of order: lib3ds sorts them
    struct accepted {
        std::string what;
        std::string track;
        std::vector<uint16_t> path;
    } cases[] = {
        {"4096 keys", trackChunk(0xB020, 0, frames, 12), FIRST_POSITION},
        {"repeating track of one key", trackChunk(0xB021, 1, {7}, 16), FIRST_ROTATION},
        {"keys up to frame 2^20", trackChunk(0xB020, 0, {0, 1 << 20}, 12), FIRST_POSITION},
    };
    for (const accepted& a : cases) {
        SCOPED_TRACE(a.what);
        std::string bytes = good;
        spliceChunk(bytes, a.path, a.track);
        std::string path = dir + "/tracks.3ds";
        testsupport::writeFile(path, bytes);
        tarvo3ds t(wxString::FromUTF8(path.c_str()), 0, 10);
        ASSERT_NE(t.file, nullptr);
        for (int i = 0; i < 600; i++)
            t.step(0.02f);
        EXPECT_EQ(countTriangles([&] { t.draw(); }), 3);
    }
}

// Each track may hold 4096 keys, and a file 65536 in all: many full tracks are refused by
// their total, though each one alone is within its limit.
TEST_F(VenueModelTest, KeysAreCountedOverTheWholeFile)
{
    const std::string good = saveVenue(dir + "/good.3ds");
    std::vector<int32_t> frames(4096);
    for (int i = 0; i < 4096; i++)
        frames[i] = i;
    const std::string full = trackChunk(0xB020, 0, frames, 12);
    struct row {
        int tracks;
        bool sound;
    } rows[] = { { 1, true }, { 15, true }, { 17, false }, { 40, false } };
    for (const row& r : rows) {
        SCOPED_TRACE(r.tracks);
        std::string tracks;
        for (int i = 0; i < r.tracks; i++)
            tracks += full;
        std::string bytes = good;
        spliceChunk(bytes, FIRST_POSITION, tracks);
        EXPECT_EQ(tarvo3ds::chunksAreSound((const unsigned char*)bytes.data(), bytes.size()), r.sound);
    }
}

TEST_F(VenueModelTest, RandomBytesAreRefused)
{
    std::mt19937 gen(7);
    for (int round = 0; round < 200; round++) {
        std::string bytes(64 + gen() % 4096, '\0');
        for (char& c : bytes)
            c = (char)gen();
        if (round % 2) {
            // a believable main chunk around the noise
            putWord(bytes, 0, 0x4D4D);
            putDword(bytes, 2, (uint32_t)bytes.size());
        }
        SCOPED_TRACE(round);
        ASSERT_FALSE(tarvo3ds::chunksAreSound((const unsigned char*)bytes.data(), bytes.size()));
    }
    std::string path = dir + "/noise.3ds";
    testsupport::writeFile(path, std::string(1000, '\x4d'));
    tarvo3ds t(wxString::FromUTF8(path.c_str()), 0, 10);
    EXPECT_EQ(t.file, nullptr);
}

TEST_F(VenueModelTest, MissingFileGivesNoModelAndNoTexture)
{
    tarvo3ds t(wxString::FromUTF8((dir + "/absent.3ds").c_str()), 0, 10);
    EXPECT_EQ(t.file, nullptr);
    EXPECT_EQ(t.texture, 0u);
    t.step(0.02f);
    EXPECT_EQ(t.frame, 0.0f);
    EXPECT_EQ(countTriangles([&] { t.draw(); }), 0);
}

}  // namespace

// Only meshes that show see-through texels (the floodlights' halos at night) are blended, after
// all the others; the rest of the venue is drawn opaque, which gives the same picture for less
// work.
TEST_F(VenueModelTest, OnlyMeshesWithSeeThroughTexelsAreBlended)
{
    // seen as the match sees it, where the sky and the sea lie far behind the halos
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(-1, 1, 1, -1, 1.2, 10000);
    glTranslatef(15, 65, 10);
    glRotatef(-33, 1, 0, 0);
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(0, 0, -100);
    for (const char* prefix : { "Night", "Daytime" }) {
        SCOPED_TRACE(prefix);
        tarvo3ds t(wxString::Format("data/venues/%s_venue.3ds", prefix), 0, 10);
        ASSERT_NE(t.file, nullptr) << "run from the source tree after the data is built";
        ASSERT_NE(t.texture, 0u);
        t.draw();
        EXPECT_TRUE(glIsEnabled(GL_BLEND)) << "the frame's blending is left on";
        std::set<unsigned> halos;
        for (Lib3dsNode* n = t.file->nodes; n; n = n->next)
            if (strncmp(n->name, "zglow", 5) == 0)
                halos.insert(n->user.d);
        EXPECT_EQ(halos.empty(), strcmp(prefix, "Night") != 0);
        EXPECT_EQ(t.blendedLists, halos);
        // the halos go over what lies behind them, so they come after every opaque mesh
        ASSERT_EQ(t.drawOrder.size(), t.parts.size());
        size_t opaque = t.parts.size() - halos.size();
        for (size_t i = 0; i < t.drawOrder.size(); i++)
            EXPECT_EQ(halos.count(t.drawOrder[i]->list) != 0, i >= opaque) << t.drawOrder[i]->node->name;
    }
    // without a texture everything is opaque white
    std::string path = dir + "/v.3ds";
    saveVenue(path);
    tarvo3ds bare(wxString::FromUTF8(path.c_str()), 0, 10);
    bare.draw();
    EXPECT_TRUE(bare.blendedLists.empty());
}
