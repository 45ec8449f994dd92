#include "venue_mesh.h"

#include <cmath>
#include <cstring>
#include <lib3ds/file.h>
#include <lib3ds/matrix.h>
#include <lib3ds/mesh.h>
#include <lib3ds/node.h>

uvrect::uvrect(const atlasrect& r)
{
    const float inset = 1.5f, n = (float)ATLAS_SIZE;
    u0 = (r.x + inset) / n;
    u1 = (r.x + r.w - inset) / n;
    v0 = 1 - (r.y + r.h - inset) / n;
    v1 = 1 - (r.y + inset) / n;
}

uvrect uvrect::sub(float s0, float t0, float s1, float t1) const
{
    return {u0 + (u1 - u0) * s0, v0 + (v1 - v0) * t0, u0 + (u1 - u0) * s1, v0 + (v1 - v0) * t1};
}

int meshbuilder::vertex(const vec3& p, const uvrect& r, float s, float t)
{
    points.push_back(p);
    uvs.push_back({r.u0 + (r.u1 - r.u0) * s, r.v0 + (r.v1 - r.v0) * t});
    return (int)points.size() - 1;
}

void meshbuilder::quad(const vec3& a, const vec3& b, const vec3& c, const vec3& d, const uvrect& r)
{
    int ia = vertex(a, r, 0, 0), ib = vertex(b, r, 1, 0), ic = vertex(c, r, 1, 1), id = vertex(d, r, 0, 1);
    triangle(ia, ib, ic);
    triangle(ia, ic, id);
}

void meshbuilder::tiledQuad(const vec3& a, const vec3& b, const vec3& c, const vec3& d, const uvrect& r, int nu,
                            int nv)
{
    auto at = [&](float s, float t) {
        vec3 bottom = a + (b - a) * s, top = d + (c - d) * s;
        return bottom + (top - bottom) * t;
    };
    for (int j = 0; j < nv; j++)
        for (int i = 0; i < nu; i++) {
            float s0 = (float)i / nu, s1 = (float)(i + 1) / nu, t0 = (float)j / nv, t1 = (float)(j + 1) / nv;
            quad(at(s0, t0), at(s1, t0), at(s1, t1), at(s0, t1), r);
        }
}

void meshbuilder::box(const vec3& lo, const vec3& hi, const uvrect& sides, const uvrect& top)
{
    vec3 p[8] = {{lo.x, lo.y, lo.z}, {hi.x, lo.y, lo.z}, {hi.x, hi.y, lo.z}, {lo.x, hi.y, lo.z},
                 {lo.x, lo.y, hi.z}, {hi.x, lo.y, hi.z}, {hi.x, hi.y, hi.z}, {lo.x, hi.y, hi.z}};
    quad(p[0], p[1], p[5], p[4], sides);  // front (-y)
    quad(p[1], p[2], p[6], p[5], sides);  // +x
    quad(p[2], p[3], p[7], p[6], sides);  // back
    quad(p[3], p[0], p[4], p[7], sides);  // -x
    quad(p[4], p[5], p[6], p[7], top);
}

void meshbuilder::pole(const vec3& base, const vec3& tip, float r0, float r1, int sides, const uvrect& r)
{
    const float PI_F = 3.14159265f;
    int first = (int)points.size();
    for (int i = 0; i <= sides; i++) {
        // u = 0 at the back (+y), 0.5 at the front that faces the camera
        float a = PI_F / 2 + 2 * PI_F * i / sides, s = (float)i / sides;
        vec3 out = {std::cos(a), std::sin(a), 0};
        vertex(base + out * r0, r, s, 0);
        vertex(tip + out * r1, r, s, 1);
    }
    for (int i = 0; i < sides; i++) {
        int a = first + 2 * i;
        triangle(a, a + 2, a + 3);
        triangle(a, a + 3, a + 1);
    }
}

namespace {

int countNodes(Lib3dsNode* n)
{
    int c = 0;
    for (; n; n = n->next)
        c += 1 + countNodes(n->childs);
    return c;
}

void setVector(Lib3dsVector v, const vec3& p)
{
    v[0] = p.x;
    v[1] = p.y;
    v[2] = p.z;
}

}

int addObject(Lib3dsFile* f, const meshbuilder& m, const std::string& name, const std::string& material,
              const vec3& pivot, int parent, const vec3& parentPivot, const nodekeys& keys)
{
    Lib3dsMesh* mesh = lib3ds_mesh_new(name.c_str());
    lib3ds_matrix_identity(mesh->matrix);  // points are stored in model space
    lib3ds_mesh_new_point_list(mesh, (Lib3dsDword)m.points.size());
    lib3ds_mesh_new_texel_list(mesh, (Lib3dsDword)m.points.size());
    lib3ds_mesh_new_face_list(mesh, (Lib3dsDword)m.faces.size());
    for (size_t i = 0; i < m.points.size(); i++) {
        setVector(mesh->pointL[i].pos, m.points[i]);
        mesh->texelL[i][0] = m.uvs[i][0];
        mesh->texelL[i][1] = m.uvs[i][1];
    }
    for (size_t i = 0; i < m.faces.size(); i++) {
        Lib3dsFace& face = mesh->faceL[i];
        strncpy(face.material, material.c_str(), sizeof(face.material) - 1);
        for (int k = 0; k < 3; k++)
            face.points[k] = (Lib3dsWord)m.faces[i][k];
        face.flags = LIB3DS_FACE_FLAG_VIS_AB | LIB3DS_FACE_FLAG_VIS_BC | LIB3DS_FACE_FLAG_VIS_AC;
        face.smoothing = 1;
    }
    lib3ds_file_insert_mesh(f, mesh);

    int id = countNodes(f->nodes);
    Lib3dsNode* node = lib3ds_node_new_object();
    strncpy(node->name, name.c_str(), sizeof(node->name) - 1);
    node->node_id = (Lib3dsWord)id;
    node->parent_id = parent < 0 ? LIB3DS_NO_PARENT : (Lib3dsWord)parent;
    Lib3dsObjectData& d = node->data.object;
    setVector(d.pivot, pivot);
    // the node's frame sits at its pivot, relative to the parent's pivot
    vec3 rest = parent < 0 ? pivot : pivot - parentPivot;
    std::vector<std::pair<int, vec3>> offsets = keys.offset;
    if (offsets.empty())
        offsets.push_back({0, {0, 0, 0}});
    for (const auto& k : offsets) {
        Lib3dsLin3Key* key = lib3ds_lin3_key_new();
        key->tcb.frame = k.first;
        setVector(key->value, rest + k.second);
        lib3ds_lin3_track_insert(&d.pos_track, key);
    }
    // rotation keys are stored as turns relative to the previous key
    std::vector<std::pair<int, float>> angles = keys.angle;
    if (angles.empty())
        angles.push_back({0, 0.0f});
    float previous = 0;
    for (const auto& k : angles) {
        Lib3dsQuatKey* key = lib3ds_quat_key_new();
        key->tcb.frame = k.first;
        setVector(key->axis, keys.axis);
        key->angle = k.second - previous;
        previous = k.second;
        lib3ds_quat_track_insert(&d.rot_track, key);
    }
    Lib3dsLin3Key* scale = lib3ds_lin3_key_new();
    scale->tcb.frame = 0;
    setVector(scale->value, {1, 1, 1});
    lib3ds_lin3_track_insert(&d.scl_track, scale);
    lib3ds_file_insert_node(f, node);
    return id;
}
