#include "tarvo3ds.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>
#include <GL/gl.h>
#include <lib3ds/file.h>
#include <lib3ds/material.h>
#include <lib3ds/matrix.h>
#include <lib3ds/mesh.h>
#include <lib3ds/node.h>
#include <lib3ds/vector.h>
#include <wx/filefn.h>
#include "glstuff.h"

// ---------------------------------------------------------------------------------------------
// Checking a 3DS file before lib3ds reads it.
//
// lib3ds follows chunk lengths and counts blindly: a zero length spins forever, a length past
// its parent reads neighbouring data, a face naming a missing point reads outside the point list
// while loading, a material group writes outside the face list, and a node that is its own
// ancestor recurses until the stack runs out. The checker walks the chunk tree the way lib3ds
// will and refuses anything it could not read safely.

namespace {

const size_t MAX_FILE_BYTES = 64u << 20;   // far beyond any venue
const int MAX_NESTING = 32;                 // real files nest 6 deep
const int MAX_NODE_CHAIN = 256;             // lib3ds recurses once per hierarchy level
const uint16_t NO_PARENT = 0xFFFF;
// Keyframes: lib3ds inserts each key by walking its track from the front (quadratic time), and
// compares frames as floats, which tell integers apart only below 2^24
const int32_t MAX_FRAME = 1 << 20;          // venues run a few hundred frames
const uint32_t MAX_TRACK_KEYS = 4096;
const uint32_t MAX_FILE_KEYS = 65536;
const uint16_t TRACK_REPEAT = 0x0001;
const uint16_t KEY_SPLINE_FLOATS = 0x001F;  // tension, continuity, bias, ease to, ease from

enum chunkKind {
    CK_CONTAINER,   // `skip` bytes of data, then sub-chunks
    CK_NAMED,       // a name, then sub-chunks
    CK_MESH,        // sub-chunks; faces checked against points at its end
    CK_POINTS,      // count, 12 bytes each
    CK_FLAGS,       // count, 2 bytes each
    CK_TEXELS,      // count, 8 bytes each
    CK_FACES,       // count, 8 bytes each, then sub-chunks
    CK_MATGROUP,    // name, count, face indices
    CK_NODE,        // keyframer node: sub-chunks
    CK_NODE_ID,
    CK_NODE_HDR,    // name, two flag words, parent id
    CK_TRACK,       // flags, 8 bytes, key count, keys of at least 6 bytes
    CK_KF_HEADER    // revision, name, key-frame count
};

struct chunkRule {
    uint16_t id;
    chunkKind kind;
    uint32_t skip;
};

// chunks lib3ds descends into or reads counts from; everything else it skips by length
const chunkRule RULES[] = {
    {0x4D4D, CK_CONTAINER, 0},   // main
    {0x3D3D, CK_CONTAINER, 0},   // editor data
    {0x2100, CK_CONTAINER, 0},   // ambient light
    {0x1200, CK_CONTAINER, 0},   // solid background
    {0x1300, CK_CONTAINER, 4},   // gradient background
    {0x2200, CK_CONTAINER, 16},  // fog
    {0x2302, CK_CONTAINER, 16},  // layer fog
    {0x2300, CK_CONTAINER, 16},  // distance cue
    {0x3000, CK_CONTAINER, 0},   // default view
    {0x7001, CK_CONTAINER, 14},  // viewport layout
    {0xAFFF, CK_CONTAINER, 0},   // material
    {0xA010, CK_CONTAINER, 0},   // material colours
    {0xA020, CK_CONTAINER, 0},
    {0xA030, CK_CONTAINER, 0},
    {0xA040, CK_CONTAINER, 0},   // material percentages
    {0xA041, CK_CONTAINER, 0},
    {0xA050, CK_CONTAINER, 0},
    {0xA052, CK_CONTAINER, 0},
    {0xA053, CK_CONTAINER, 0},
    {0xA084, CK_CONTAINER, 0},
    {0xA200, CK_CONTAINER, 0},   // texture maps and masks
    {0xA204, CK_CONTAINER, 0},
    {0xA210, CK_CONTAINER, 0},
    {0xA220, CK_CONTAINER, 0},
    {0xA230, CK_CONTAINER, 0},
    {0xA33A, CK_CONTAINER, 0},
    {0xA33C, CK_CONTAINER, 0},
    {0xA33D, CK_CONTAINER, 0},
    {0xA33E, CK_CONTAINER, 0},
    {0xA340, CK_CONTAINER, 0},
    {0xA342, CK_CONTAINER, 0},
    {0xA344, CK_CONTAINER, 0},
    {0xA346, CK_CONTAINER, 0},
    {0xA348, CK_CONTAINER, 0},
    {0xA34A, CK_CONTAINER, 0},
    {0xA34C, CK_CONTAINER, 0},
    {0x4000, CK_NAMED, 0},       // named object
    {0x4100, CK_MESH, 0},
    {0x4110, CK_POINTS, 0},
    {0x4111, CK_FLAGS, 0},
    {0x4140, CK_TEXELS, 0},
    {0x4120, CK_FACES, 0},
    {0x4130, CK_MATGROUP, 0},
    {0x4600, CK_CONTAINER, 12},  // light: position
    {0x4610, CK_CONTAINER, 20},  // spotlight: target, hotspot, falloff
    {0x4700, CK_CONTAINER, 32},  // camera: position, target, roll, lens
    {0xB000, CK_CONTAINER, 0},   // keyframer
    {0xB00A, CK_KF_HEADER, 0},
    {0xB001, CK_NODE, 0},
    {0xB002, CK_NODE, 0},
    {0xB003, CK_NODE, 0},
    {0xB004, CK_NODE, 0},
    {0xB005, CK_NODE, 0},
    {0xB006, CK_NODE, 0},
    {0xB007, CK_NODE, 0},
    {0xB030, CK_NODE_ID, 0},
    {0xB010, CK_NODE_HDR, 0},
    {0xB020, CK_TRACK, 0},
    {0xB021, CK_TRACK, 0},
    {0xB022, CK_TRACK, 0},
    {0xB023, CK_TRACK, 0},
    {0xB024, CK_TRACK, 0},
    {0xB025, CK_TRACK, 0},
    {0xB026, CK_TRACK, 0},
    {0xB027, CK_TRACK, 0},
    {0xB028, CK_TRACK, 0},
    {0xB029, CK_TRACK, 0},
};

const chunkRule* ruleFor(uint16_t id)
{
    for (const chunkRule& r : RULES)
        if (r.id == id)
            return &r;
    return nullptr;
}

class chunkChecker {
public:
    chunkChecker(const unsigned char* d) : data(d) {}

    bool walk(size_t pos, size_t end, int depth);
    bool hierarchyIsSound() const;

private:
    struct nodeLink {
        uint16_t id;
        uint16_t parent;
    };

    const unsigned char* data;
    // the mesh being read: lib3ds keeps the last point and face arrays of an object
    uint32_t points = 0;
    uint32_t faces = 0;
    uint32_t highestIndex = 0;
    bool inFaces = false;
    // the keyframer node being read; lib3ds starts a node with id 0 and parent 0
    nodeLink node = {0, 0};
    std::vector<nodeLink> nodes;

    uint16_t word(size_t at) const { return (uint16_t)(data[at] | (data[at + 1] << 8)); }
    uint32_t dword(size_t at) const
    {
        return (uint32_t)data[at] | ((uint32_t)data[at + 1] << 8) |
               ((uint32_t)data[at + 2] << 16) | ((uint32_t)data[at + 3] << 24);
    }
    // position after a zero-terminated name inside [pos, end), or 0 when it is not terminated
    size_t afterName(size_t pos, size_t end) const
    {
        for (size_t i = pos; i < end; i++)
            if (data[i] == 0)
                return i + 1;
        return 0;
    }
    bool chunk(const chunkRule& rule, size_t body, size_t end, int depth);
    bool faceArray(size_t body, size_t end, int depth);
    bool materialGroup(size_t body, size_t end) const;
    bool track(uint16_t id, size_t body, size_t end);
    uint32_t keysSeen = 0;
};

bool chunkChecker::walk(size_t pos, size_t end, int depth)
{
    if (depth > MAX_NESTING)
        return false;
    while (pos < end) {
        if (end - pos < 6)
            return false;
        uint16_t id = word(pos);
        uint32_t length = dword(pos + 2);
        if (length < 6 || length > end - pos)
            return false;
        const chunkRule* rule = ruleFor(id);
        if (rule && !chunk(*rule, pos + 6, pos + length, depth))
            return false;
        pos += length;
    }
    return true;
}

bool chunkChecker::chunk(const chunkRule& rule, size_t body, size_t end, int depth)
{
    size_t size = end - body;
    switch (rule.kind) {
    case CK_CONTAINER:
        return rule.skip <= size && walk(body + rule.skip, end, depth + 1);
    case CK_NAMED: {
        size_t next = afterName(body, end);
        return next != 0 && walk(next, end, depth + 1);
    }
    case CK_MESH: {
        uint32_t outerPoints = points, outerFaces = faces, outerHighest = highestIndex;
        points = faces = highestIndex = 0;
        bool ok = walk(body, end, depth + 1) && (faces == 0 || highestIndex < points);
        points = outerPoints;
        faces = outerFaces;
        highestIndex = outerHighest;
        return ok;
    }
    case CK_POINTS:
        if (size < 2 || 2 + (uint64_t)word(body) * 12 > size)
            return false;
        points = word(body);
        return true;
    case CK_FLAGS:
        return size >= 2 && 2 + (uint64_t)word(body) * 2 <= size;
    case CK_TEXELS:
        return size >= 2 && 2 + (uint64_t)word(body) * 8 <= size;
    case CK_FACES:
        return faceArray(body, end, depth);
    case CK_MATGROUP:
        return !inFaces || materialGroup(body, end);
    case CK_NODE: {
        nodeLink outer = node;
        node = {0, 0};
        bool ok = walk(body, end, depth + 1);
        nodes.push_back(node);
        node = outer;
        return ok;
    }
    case CK_NODE_ID:
        if (size < 2)
            return false;
        node.id = word(body);
        return true;
    case CK_NODE_HDR: {
        size_t next = afterName(body, end);
        if (next == 0 || end - next < 6)
            return false;
        node.parent = word(next + 4);
        return true;
    }
    case CK_TRACK:
        return track(rule.id, body, end);
    case CK_KF_HEADER: {
        size_t next = size >= 2 ? afterName(body + 2, end) : 0;
        if (next == 0 || end - next < 4)
            return false;
        int32_t frames = (int32_t)dword(next);
        return frames >= 0 && frames <= MAX_FRAME;
    }
    }
    return false;
}

// Every key must lie inside the chunk, at a frame of 0 ... MAX_FRAME. A repeating track of
// several keys is refused: lib3ds's evaluation of one past its last key can find no key to
// interpolate from (frames too close for a float, or a loop that does not start at 0) and
// then follows a null pointer.
bool chunkChecker::track(uint16_t id, size_t body, size_t end)
{
    // bytes of value after each key's frame, flags and spline floats
    static const int valueBytes[10] = {12, 16, 12, 4, 4, 12, -1, 4, 4, 0};
    const int value = valueBytes[id - 0xB020];
    if (end - body < 14)
        return false;
    const uint16_t flags = word(body);
    const int32_t keys = (int32_t)dword(body + 10);
    if (keys <= 0)
        return true;
    if ((uint32_t)keys > MAX_TRACK_KEYS || (uint32_t)keys > MAX_FILE_KEYS - keysSeen)
        return false;
    if ((flags & TRACK_REPEAT) && keys > 1)
        return false;
    keysSeen += (uint32_t)keys;
    size_t at = body + 14;
    for (int32_t k = 0; k < keys; k++) {
        if (end - at < 6)
            return false;
        const int32_t frame = (int32_t)dword(at);
        if (frame < 0 || frame > MAX_FRAME)
            return false;
        const unsigned splineFloats = __builtin_popcount(word(at + 4) & KEY_SPLINE_FLOATS);
        at += 6;
        if (end - at < splineFloats * 4)
            return false;
        at += splineFloats * 4;
        if (value < 0) {
            // a morph key names its mesh, in at most 64 bytes with the terminator
            size_t next = afterName(at, end < at + 64 ? end : at + 64);
            if (next == 0)
                return false;
            at = next;
        } else {
            if (end - at < (size_t)value)
                return false;
            at += (size_t)value;
        }
    }
    return true;
}

// lib3ds computes each face's normal from its points while it reads the faces
bool chunkChecker::faceArray(size_t body, size_t end, int depth)
{
    size_t size = end - body;
    if (size < 2)
        return false;
    uint32_t count = word(body);
    if (2 + (uint64_t)count * 8 > size)
        return false;
    uint32_t highest = 0;
    for (uint32_t f = 0; f < count; f++) {
        size_t at = body + 2 + (size_t)f * 8;
        for (int k = 0; k < 3; k++) {
            uint32_t index = word(at + 2 * k);
            if (index >= points)
                return false;
            if (index > highest)
                highest = index;
        }
    }
    faces = count;
    highestIndex = highest;
    bool outer = inFaces;
    inFaces = true;
    bool ok = walk(body + 2 + (size_t)count * 8, end, depth + 1);
    inFaces = outer;
    return ok;
}

bool chunkChecker::materialGroup(size_t body, size_t end) const
{
    size_t next = afterName(body, end);
    if (next == 0 || end - next < 2)
        return false;
    uint32_t count = word(next);
    if (2 + (uint64_t)count * 2 > end - next)
        return false;
    for (uint32_t i = 0; i < count; i++)
        if (word(next + 2 + 2 * (size_t)i) >= faces)
            return false;
    return true;
}

// No node may be its own ancestor, and the chains stay short enough for lib3ds's recursion.
// Ids may repeat, so the links are taken between ids: longest chains in topological order.
bool chunkChecker::hierarchyIsSound() const
{
    if (nodes.empty())
        return true;
    std::vector<char> present(65536, 0);
    for (const nodeLink& n : nodes)
        present[n.id] = 1;
    std::vector<int> pendingParents(65536, 0);
    std::vector<std::vector<uint16_t>> childrenOf(65536);
    for (const nodeLink& n : nodes) {
        if (n.parent == NO_PARENT || !present[n.parent])
            continue;
        childrenOf[n.parent].push_back(n.id);
        pendingParents[n.id]++;
    }
    std::vector<uint16_t> ready;
    std::vector<int> level(65536, 0);
    size_t distinct = 0;
    for (int id = 0; id < 65536; id++) {
        if (!present[id])
            continue;
        distinct++;
        if (pendingParents[id] == 0)
            ready.push_back((uint16_t)id);
    }
    size_t done = 0;
    while (!ready.empty()) {
        uint16_t id = ready.back();
        ready.pop_back();
        done++;
        if (level[id] > MAX_NODE_CHAIN)
            return false;
        for (uint16_t child : childrenOf[id]) {
            if (level[id] + 1 > level[child])
                level[child] = level[id] + 1;
            if (--pendingParents[child] == 0)
                ready.push_back(child);
        }
    }
    return done == distinct;
}

bool readWholeFile(const char* path, std::vector<unsigned char>& bytes)
{
    if (!isReadableFile(path, MAX_FILE_BYTES))
        return false;
    FILE* f = fopen(path, "rb");
    if (!f)
        return false;
    bool ok = fseek(f, 0, SEEK_END) == 0;
    long size = ok ? ftell(f) : -1;
    ok = ok && size >= 0 && (size_t)size <= MAX_FILE_BYTES && fseek(f, 0, SEEK_SET) == 0;
    if (ok) {
        bytes.resize((size_t)size);
        ok = size == 0 || fread(bytes.data(), 1, (size_t)size, f) == (size_t)size;
    }
    fclose(f);
    return ok;
}

// the model's texture: the same name with ".png" in place of the extension
wxString texturePath(const wxString& model)
{
    int dot = model.Find('.', true);
    int slash = model.Find('/', true);
    wxString stem = (dot != wxNOT_FOUND && dot > slash) ? model.Left(dot) : model;
    return stem + ".png";
}

void freeDisplayLists(Lib3dsNode* node)
{
    for (; node; node = node->next) {
        freeDisplayLists(node->childs);
        if (node->user.d) {
            glDeleteLists(node->user.d, 1);
            node->user.d = 0;
        }
    }
}

void setMaterial(Lib3dsFile* file, const Lib3dsFace& face)
{
    Lib3dsMaterial* mat = face.material[0] ? lib3ds_file_material_by_name(file, face.material)
                                           : nullptr;
    if (mat) {
        static const float black[4] = {0, 0, 0, 1};
        float shininess = std::pow(2.0f, 10.0f * mat->shininess);
        if (!(shininess <= 128.0f))
            shininess = 128.0f;
        glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, black);
        glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, mat->diffuse);
        glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, mat->specular);
        glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, shininess);
    } else {
        static const float ambient[4] = {0.2f, 0.2f, 0.2f, 1};
        static const float diffuse[4] = {0.8f, 0.8f, 0.8f, 1};
        static const float specular[4] = {0, 0, 0, 1};
        glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
        glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
        glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
    }
}

// One display list for a mesh, in the space of the node that places it. Faces naming a point
// the mesh does not have are left out (lib3ds would read past the point list for them).
// *opaque tells whether every face shows only opaque texels of the venue's texture; a face
// without texture coordinates takes whatever coordinate was set last, so it does not count.
// low and high receive the box around the points drawn, in the node's space.
unsigned compileMesh(Lib3dsFile* file, Lib3dsMesh* mesh, const tarvo3ds& venue, bool* opaque,
                     float low[3], float high[3])
{
    unsigned list = glGenLists(1);
    if (!list)
        return 0;

    std::vector<Lib3dsFace> faces;
    faces.reserve(mesh->faces);
    for (Lib3dsDword f = 0; f < mesh->faces; f++) {
        const Lib3dsFace& face = mesh->faceL[f];
        if (face.points[0] < mesh->points && face.points[1] < mesh->points &&
            face.points[2] < mesh->points)
            faces.push_back(face);
    }
    Lib3dsMesh valid = *mesh;
    valid.faces = (Lib3dsDword)faces.size();
    valid.faceL = faces.data();
    std::vector<float> normals(9 * faces.size());
    if (!faces.empty())
        lib3ds_mesh_calculate_normals(&valid, reinterpret_cast<Lib3dsVector*>(normals.data()));

    // 3DS keeps mesh points in world space; the inverse brings them back to the node
    Lib3dsMatrix inverse;
    lib3ds_matrix_copy(inverse, mesh->matrix);
    if (!lib3ds_matrix_inv(inverse))
        lib3ds_matrix_identity(inverse);

    *opaque = true;
    for (int a = 0; a < 3; a++)
        low[a] = INFINITY, high[a] = -INFINITY;
    glNewList(list, GL_COMPILE);
    glColor4f(1, 1, 1, 1);
    glEnable(GL_TEXTURE_2D);
    glMultMatrixf(&inverse[0][0]);
    // one run of triangles per material: a material change between begin and end is not
    // allowed, and every end starts a new draw when the list is played
    for (size_t f = 0; f < faces.size(); f++) {
        const Lib3dsFace& face = faces[f];
        const bool newRun = f == 0 || strncmp(face.material, faces[f - 1].material, sizeof(face.material)) != 0;
        if (newRun) {
            if (f > 0)
                glEnd();
            setMaterial(file, face);
            glBegin(GL_TRIANGLES);
        }
        float cover[4] = { INFINITY, INFINITY, -INFINITY, -INFINITY };   // s0, t0, s1, t1
        for (int k = 0; k < 3; k++) {
            Lib3dsWord p = face.points[k];
            glNormal3fv(&normals[9 * f + 3 * k]);
            if (p < mesh->texels) {
                const float st[2] = { mesh->texelL[p][0], 1.0f - mesh->texelL[p][1] };
                glTexCoord2fv(st);
                for (int a = 0; a < 2; a++) {
                    cover[a] = std::min(cover[a], st[a]);
                    cover[2 + a] = std::max(cover[2 + a], st[a]);
                }
            } else {
                *opaque = false;
            }
            glVertex3fv(mesh->pointL[p].pos);
            Lib3dsVector at;
            lib3ds_vector_transform(at, inverse, mesh->pointL[p].pos);
            for (int a = 0; a < 3; a++) {
                low[a] = std::min(low[a], at[a]);
                high[a] = std::max(high[a], at[a]);
            }
        }
        if (*opaque)
            *opaque = venue.opaqueTexels(cover[0], cover[1], cover[2], cover[3]);
    }
    if (!faces.empty())
        glEnd();
    glEndList();
    if (faces.empty())
        for (int a = 0; a < 3; a++)
            low[a] = high[a] = 0;
    return list;
}

}  // namespace

bool tarvo3ds::chunksAreSound(const unsigned char* data, size_t size)
{
    if (!data || size < 6)
        return false;
    chunkChecker checker(data);
    // one main chunk filling the whole file
    if ((data[0] | (data[1] << 8)) != 0x4D4D)
        return false;
    uint32_t length = (uint32_t)data[2] | ((uint32_t)data[3] << 8) | ((uint32_t)data[4] << 16) |
                      ((uint32_t)data[5] << 24);
    if (length != size)
        return false;
    return checker.walk(0, size, 0) && checker.hierarchyIsSound();
}

// ---------------------------------------------------------------------------------------------

tarvo3ds::tarvo3ds(const wxString& filename, float start, float length)
    : gameobject(), file(nullptr), frame(0), animStart(start), animLength(length), clock(0),
      texture(0)
{
    wxCharBuffer path = filename.utf8_str();
    std::vector<unsigned char> bytes;
    if (readWholeFile(path.data(), bytes) && chunksAreSound(bytes.data(), bytes.size()))
        file = lib3ds_file_load(path.data());
    if (file)
        lib3ds_file_eval(file, 0);

    wxString image = texturePath(filename);
    if (wxFileExists(image))
        createAndLoadTexture(&texture, image.utf8_str().data());
    textureW = textureH = 0;
    if (texture) {
        glBindTexture(GL_TEXTURE_2D, texture);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &textureW);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &textureH);
        std::vector<unsigned char> alpha(static_cast<size_t>(textureW) * textureH);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_ALPHA, GL_UNSIGNED_BYTE, alpha.data());
        // a summed-area table: any rectangle's count in four reads
        const size_t stride = static_cast<size_t>(textureW) + 1;
        seeThrough.assign(stride * (textureH + 1), 0);
        for (int y = 0; y < textureH; y++)
            for (int x = 0; x < textureW; x++)
                seeThrough[(y + 1) * stride + x + 1] = (alpha[y * textureW + x] != 255) +
                                                       seeThrough[y * stride + x + 1] +
                                                       seeThrough[(y + 1) * stride + x] -
                                                       seeThrough[y * stride + x];
    }
}

// The texels i0 ... i1 of an edge of n texels, as the texture repeats: one or two runs of
// whole texels, first and last of each in run[]. Returns the number of runs.
static int wrappedRuns(int i0, int i1, int n, int run[4])
{
    if (i1 - i0 + 1 >= n) {
        run[0] = 0, run[1] = n - 1;
        return 1;
    }
    const int first = ((i0 % n) + n) % n, last = first + (i1 - i0);
    run[0] = first, run[1] = std::min(last, n - 1);
    if (last < n)
        return 1;
    run[2] = 0, run[3] = last - n;
    return 2;
}

bool tarvo3ds::opaqueTexels(float s0, float t0, float s1, float t1) const
{
    if (!texture)
        return true;   // drawn untextured in opaque white
    if (textureW <= 0 || textureH <= 0 || !(s0 <= s1 && t0 <= t1) ||
        !(s1 - s0 < 1e6f && t1 - t0 < 1e6f && std::fabs(s0) < 1e6f && std::fabs(t0) < 1e6f))
        return false;
    // linear filtering mixes the texels whose centres are nearest on either side
    int xs[4], ys[4];
    const int nx = wrappedRuns(static_cast<int>(std::floor(s0 * textureW - 0.5f)),
                               static_cast<int>(std::ceil(s1 * textureW - 0.5f)), textureW, xs);
    const int ny = wrappedRuns(static_cast<int>(std::floor(t0 * textureH - 0.5f)),
                               static_cast<int>(std::ceil(t1 * textureH - 0.5f)), textureH, ys);
    const size_t stride = static_cast<size_t>(textureW) + 1;
    const auto at = [&](int x, int y) { return seeThrough[y * stride + x]; };
    for (int i = 0; i < nx; i++)
        for (int j = 0; j < ny; j++) {
            const int x0 = xs[2 * i], x1 = xs[2 * i + 1], y0 = ys[2 * j], y1 = ys[2 * j + 1];
            if (at(x1 + 1, y1 + 1) - at(x0, y1 + 1) - at(x1 + 1, y0) + at(x0, y0) != 0)
                return false;
        }
    return true;
}

tarvo3ds::~tarvo3ds()
{
    if (texture)
        glDeleteTextures(1, &texture);
    if (file) {
        freeDisplayLists(file->nodes);
        lib3ds_file_free(file);
    }
}

// ---------------------------------------------------------------------------------------------
// animation

void tarvo3ds::step(float dt)
{
    clock += dt;
    if (file) {
        float frames = (float)file->frames;
        float f = animLength > 0 ? frames * (clock - animStart) / animLength : 0.0f;
        if (!(f >= 0))
            f = 0;
        frame = f;
        if (frame > frames) {
            // the loop starts over at this moment
            frame = 0;
            if (file->frames > 0)
                animStart = clock;
        }
        lib3ds_file_eval(file, frame);
    }
    gameobject::step(dt);
}

// ---------------------------------------------------------------------------------------------
// drawing

// The opaque meshes are drawn nearest-first, so that the depth test rejects the hidden parts
// of the farther ones (most of the stand lies behind its crowd and boards) before they are
// textured and lit. A mesh counts by the view depth of its box's farthest corner: the ground,
// the sea and the stand's steps, which everything in front of them stands on or in, come after
// what stands there. The blended halos come last in the file's order, over everything.
void tarvo3ds::drawThis()
{
    if (!file)
        return;
    if (parts.empty())
        collectParts(file->nodes);
    glPushMatrix();
    glEnable(GL_DEPTH_TEST);
    // the model is authored with z up; the court has y down
    glScalef(1, -1, 1);
    glRotatef(-90, 1, 0, 0);
    glColor4f(1, 1, 1, 1);
    if (texture) {
        glBindTexture(GL_TEXTURE_2D, texture);
        glEnable(GL_TEXTURE_2D);
    } else {
        glDisable(GL_TEXTURE_2D);
    }
    sortParts();
    glDisable(GL_BLEND);
    for (const part* p : drawOrder) {
        if (p->blended)
            glEnable(GL_BLEND);
        const float* pivot = p->node->data.object.pivot;
        glPushMatrix();
        glMultMatrixf(&p->node->matrix[0][0]);
        glTranslatef(-pivot[0], -pivot[1], -pivot[2]);
        glCallList(p->list);
        glPopMatrix();
    }
    glEnable(GL_BLEND);   // as the frame has it
    glPopMatrix();
}

void tarvo3ds::collectParts(Lib3dsNode* node)
{
    for (; node; node = node->next) {
        collectParts(node->childs);
        if (node->type != LIB3DS_OBJECT_NODE || strcmp(node->name, "$$$DUMMY") == 0)
            continue;
        Lib3dsMesh* mesh = lib3ds_file_mesh_by_name(file, node->name);
        if (!mesh)
            continue;
        part p = {};
        bool opaque = true;
        p.node = node;
        p.list = compileMesh(file, mesh, *this, &opaque, p.low, p.high);
        if (!p.list)
            continue;
        node->user.d = p.list;
        p.blended = !opaque;
        if (p.blended)
            blendedLists.insert(p.list);
        const float* pivot = node->data.object.pivot;
        for (int a = 0; a < 3; a++) {
            p.low[a] -= pivot[a];
            p.high[a] -= pivot[a];
        }
        parts.push_back(p);
    }
}

void tarvo3ds::sortParts()
{
    // the clip w of a point is its depth along the view; only that row of projection x model-view
    float mv[16], pr[16], view[4];
    glGetFloatv(GL_MODELVIEW_MATRIX, mv);
    glGetFloatv(GL_PROJECTION_MATRIX, pr);
    for (int c = 0; c < 4; c++)
        view[c] = pr[3] * mv[4 * c] + pr[7] * mv[4 * c + 1] + pr[11] * mv[4 * c + 2] +
                  pr[15] * mv[4 * c + 3];
    drawOrder.clear();
    for (part& p : parts) {
        const Lib3dsMatrix& m = p.node->matrix;   // columns
        float row[4];
        for (int c = 0; c < 4; c++)
            row[c] = view[0] * m[c][0] + view[1] * m[c][1] + view[2] * m[c][2] + view[3] * m[c][3];
        // the farthest corner takes the larger end of the box along each axis the row grows on
        p.depth = row[3];
        for (int a = 0; a < 3; a++)
            p.depth += row[a] * (row[a] > 0 ? p.high[a] : p.low[a]);
        drawOrder.push_back(&p);
    }
    std::stable_sort(drawOrder.begin(), drawOrder.end(), [](const part* a, const part* b) {
        if (a->blended != b->blended)
            return b->blended;
        return !a->blended && a->depth < b->depth;
    });
}
