#ifndef TIBREL_DATAGEN_VENUE_MESH_H
#define TIBREL_DATAGEN_VENUE_MESH_H

#include <array>
#include <string>
#include <vector>
#include "venue_atlas.h"

struct Lib3dsFile;

struct vec3 {
    float x, y, z;
};
inline vec3 operator+(const vec3& a, const vec3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline vec3 operator-(const vec3& a, const vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline vec3 operator*(const vec3& a, float k) { return {a.x * k, a.y * k, a.z * k}; }

// texture coordinates of an atlas rectangle, inset by a pixel and a half so linear filtering never
// reaches the neighbouring region; v runs upwards (the game draws v as 1 - v)
struct uvrect {
    float u0, v0, u1, v1;  // left, bottom, right, top
    explicit uvrect(const atlasrect& r);
    uvrect(float u0_, float v0_, float u1_, float v1_) : u0(u0_), v0(v0_), u1(u1_), v1(v1_) {}
    // the part of this rectangle between fractions s0..s1 across and t0..t1 upwards
    uvrect sub(float s0, float t0, float s1, float t1) const;
};

// Collects the triangles of one mesh with their texture coordinates.
class meshbuilder {
public:
    std::vector<vec3> points;
    std::vector<std::array<float, 2>> uvs;
    std::vector<std::array<int, 3>> faces;

    // a point at fraction (s, t) of a texture rectangle
    int vertex(const vec3& p, const uvrect& r, float s, float t);
    void triangle(int a, int b, int c) { faces.push_back({a, b, c}); }
    // a four-cornered face a-b-c-d (counter-clockwise seen from its front) showing r stretched
    // over it: a at the bottom left, b bottom right, c top right, d top left of the texture
    void quad(const vec3& a, const vec3& b, const vec3& c, const vec3& d, const uvrect& r);
    // a quad split into nu x nv quads, each showing the whole of r (for tiled ground and water)
    void tiledQuad(const vec3& a, const vec3& b, const vec3& c, const vec3& d, const uvrect& r, int nu, int nv);
    // a box between two corners; every side shows r
    void box(const vec3& lo, const vec3& hi, const uvrect& sides, const uvrect& top);
    // a tapered round pole from base to tip with the given number of sides; u runs around it
    // with its front (facing -y) at the middle of r
    void pole(const vec3& base, const vec3& tip, float r0, float r1, int sides, const uvrect& r);
    size_t triangleCount() const { return faces.size(); }
};

// keyframes of one object node; an empty track leaves that part of the node at rest
struct nodekeys {
    std::vector<std::pair<int, vec3>> offset;  // added to the node's rest position
    vec3 axis = {0, 0, 1};                      // rotation axis of the angle track
    std::vector<std::pair<int, float>> angle;   // absolute angles in radians about axis
};

// Adds a mesh (named `name`, all faces with material `material`) and its object node to the
// file. The mesh's points stay in model space; the node turns it about `pivot`. parent is the id
// of the parent node (-1: none) and parentPivot that node's pivot. Returns the new node's id.
int addObject(Lib3dsFile* f, const meshbuilder& m, const std::string& name, const std::string& material,
              const vec3& pivot, int parent, const vec3& parentPivot, const nodekeys& keys);

#endif
