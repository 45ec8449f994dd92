// The generated venue models and their textures, read back with lib3ds and SDL_image the way the
// game reads them.

#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>
#include <SDL/SDL.h>
#include <SDL/SDL_image.h>
#include <lib3ds/file.h>
#include <lib3ds/matrix.h>
#include <lib3ds/mesh.h>
#include <lib3ds/node.h>
#include <lib3ds/vector.h>
#include <gtest/gtest.h>

namespace {

const char* const PREFIXES[] = {"Morning", "Daytime", "Evening", "Night"};

std::string modelPath(const char* prefix) { return std::string("data/venues/") + prefix + "_venue.3ds"; }
std::string texturePath(const char* prefix) { return std::string("data/venues/") + prefix + "_venue.png"; }

struct model {
    Lib3dsFile* file;
    explicit model(const std::string& path) : file(lib3ds_file_load(path.c_str())) {}
    ~model()
    {
        if (file)
            lib3ds_file_free(file);
    }
};

void objectNodes(Lib3dsNode* n, std::vector<Lib3dsNode*>& out)
{
    for (; n; n = n->next) {
        if (n->type == LIB3DS_OBJECT_NODE && strcmp(n->name, "$$$DUMMY") != 0)
            out.push_back(n);
        objectNodes(n->childs, out);
    }
}

// every mesh point where the game draws it at the frame last evaluated, in model space
std::vector<std::array<float, 3>> placedPoints(Lib3dsFile* f)
{
    std::vector<Lib3dsNode*> nodes;
    objectNodes(f->nodes, nodes);
    std::vector<std::array<float, 3>> out;
    for (Lib3dsNode* n : nodes) {
        Lib3dsMesh* m = lib3ds_file_mesh_by_name(f, n->name);
        if (!m)
            continue;
        Lib3dsMatrix inv, full;
        lib3ds_matrix_copy(inv, m->matrix);
        lib3ds_matrix_inv(inv);
        lib3ds_matrix_copy(full, n->matrix);
        Lib3dsVector back = {-n->data.object.pivot[0], -n->data.object.pivot[1], -n->data.object.pivot[2]};
        lib3ds_matrix_translate_xyz(full, back[0], back[1], back[2]);
        lib3ds_matrix_mult(full, inv);
        for (Lib3dsDword i = 0; i < m->points; i++) {
            Lib3dsVector p;
            lib3ds_vector_transform(p, full, m->pointL[i].pos);
            out.push_back({p[0], p[1], p[2]});
        }
    }
    return out;
}

std::vector<std::vector<float>> nodeMatrices(Lib3dsFile* f)
{
    std::vector<Lib3dsNode*> nodes;
    objectNodes(f->nodes, nodes);
    std::vector<std::vector<float>> out;
    for (Lib3dsNode* n : nodes)
        out.push_back(std::vector<float>(&n->matrix[0][0], &n->matrix[0][0] + 16));
    return out;
}

float largestDifference(const std::vector<std::vector<float>>& a, const std::vector<std::vector<float>>& b)
{
    float d = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); i++)
        for (size_t k = 0; k < 16; k++)
            d = std::max(d, std::fabs(a[i][k] - b[i][k]));
    return d;
}

bool powerOfTwo(int n) { return n > 0 && (n & (n - 1)) == 0; }

}

TEST(DataVenues, ModelsLoadWithEveryMeshDrawnByANodeOfItsName)
{
    for (const char* prefix : PREFIXES) {
        SCOPED_TRACE(prefix);
        model v(modelPath(prefix));
        ASSERT_NE(v.file, nullptr);
        EXPECT_GT(v.file->frames, 0);
        std::vector<Lib3dsNode*> nodes;
        objectNodes(v.file->nodes, nodes);
        for (Lib3dsNode* n : nodes)
            EXPECT_NE(lib3ds_file_mesh_by_name(v.file, n->name), nullptr) << n->name;
        long faces = 0;
        for (Lib3dsMesh* m = v.file->meshes; m; m = m->next) {
            // the game only draws meshes reached through a node of the same name
            EXPECT_NE(lib3ds_file_node_by_name(v.file, m->name, LIB3DS_OBJECT_NODE), nullptr) << m->name;
            EXPECT_EQ(m->texels, m->points) << m->name;
            for (Lib3dsDword i = 0; i < m->texels; i++) {
                EXPECT_TRUE(m->texelL[i][0] >= 0 && m->texelL[i][0] <= 1 && m->texelL[i][1] >= 0 &&
                            m->texelL[i][1] <= 1)
                    << m->name << " point " << i;
            }
            faces += m->faces;
        }
        EXPECT_GT(faces, 0);
        EXPECT_LT(faces, 10000);  // drawn by a software renderer every frame
    }
}

TEST(DataVenues, AnimationMovesAndClosesItsLoop)
{
    for (const char* prefix : PREFIXES) {
        SCOPED_TRACE(prefix);
        model v(modelPath(prefix));
        ASSERT_NE(v.file, nullptr);
        float frames = (float)v.file->frames;
        lib3ds_file_eval(v.file, 0);
        auto start = nodeMatrices(v.file);
        lib3ds_file_eval(v.file, frames * 0.25f + 0.5f);  // between keys too
        auto quarter = nodeMatrices(v.file);
        for (const auto& m : quarter)
            for (float x : m)
                ASSERT_TRUE(std::isfinite(x));
        EXPECT_GT(largestDifference(start, quarter), 0.01f);
        // the last frame shows the first one again, so the game's wrap to frame 0 is not seen
        lib3ds_file_eval(v.file, frames);
        EXPECT_LT(largestDifference(start, nodeMatrices(v.file)), 1e-3f);
    }
}

TEST(DataVenues, NothingStandsOnTheSand)
{
    // the court's sand, in model coordinates: x -120..116 and y = -(court z) from -68 to 70
    for (const char* prefix : PREFIXES) {
        SCOPED_TRACE(prefix);
        model v(modelPath(prefix));
        ASSERT_NE(v.file, nullptr);
        for (float frame : {0.0f, 25.0f, 50.0f, 75.0f}) {
            lib3ds_file_eval(v.file, frame);
            int intruders = 0;
            for (const auto& p : placedPoints(v.file))
                if (p[0] > -120 && p[0] < 116 && p[1] > -68 && p[1] < 70 && p[2] > 1.5f)
                    intruders++;
            EXPECT_EQ(intruders, 0) << "frame " << frame;
        }
    }
}

TEST(DataVenues, TexturesArePowerOfTwoAndDarkestAtNight)
{
    double brightness[4];
    for (int k = 0; k < 4; k++) {
        SCOPED_TRACE(PREFIXES[k]);
        SDL_Surface* s = IMG_Load(texturePath(PREFIXES[k]).c_str());
        ASSERT_NE(s, nullptr);
        EXPECT_TRUE(powerOfTwo(s->w)) << s->w;
        EXPECT_TRUE(powerOfTwo(s->h)) << s->h;
        double sum = 0;
        SDL_LockSurface(s);
        for (int y = 0; y < s->h; y += 4)
            for (int x = 0; x < s->w; x += 4) {
                Uint8* p = (Uint8*)s->pixels + y * s->pitch + x * s->format->BytesPerPixel;
                Uint32 pixel = 0;
                memcpy(&pixel, p, s->format->BytesPerPixel);
                Uint8 r, g, b;
                SDL_GetRGB(pixel, s->format, &r, &g, &b);
                sum += r + g + b;
            }
        SDL_UnlockSurface(s);
        brightness[k] = sum / ((s->w / 4) * (s->h / 4));
        SDL_FreeSurface(s);
    }
    for (int k = 0; k < 3; k++)
        EXPECT_LT(brightness[3], brightness[k] * 0.8) << PREFIXES[k];
}
