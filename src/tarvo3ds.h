#ifndef TIBREL_TARVO3DS_H
#define TIBREL_TARVO3DS_H

#include <cstddef>
#include <set>
#include <vector>
#include <wx/string.h>
#include "gameobject.h"

struct Lib3dsFile;
struct Lib3dsNode;

// The venue around the court, drawn from a 3DS file with one texture and a looping animation.
class tarvo3ds : public gameobject {
public:
    Lib3dsFile* file;       // null when the model could not be loaded
    float frame;            // keyframe evaluated now
    float animStart;        // clock at which the current loop began
    float animLength;       // seconds per pass through all keyframes
    float clock;            // seconds stepped since construction
    unsigned texture;       // 0 when there is none
    // texels with some see-through above and left of each texel corner, (W + 1) x (H + 1)
    std::vector<int> seeThrough;
    int textureW, textureH;                     // the texture's size in texels, 0 without one
    std::set<unsigned> blendedLists;            // meshes that show texels with some see-through

    // one drawn mesh: its node, its display list and the box around its points in the space
    // the node's matrix places (the pivot taken out)
    struct part {
        Lib3dsNode* node;
        unsigned list;
        bool blended;
        float low[3], high[3];
        float depth;           // view depth of its farthest corner in the frame drawn last
    };
    // every mesh node, children before their parent; compiled on the first draw
    std::vector<part> parts;
    // the opaque parts nearest-first, then the blended ones, as the last frame drew them
    std::vector<const part*> drawOrder;

    tarvo3ds(const wxString& filename, float animStart, float animLength);
    ~tarvo3ds() override;

    void step(float dt) override;
    void drawThis() override;
    // compiles the meshes of the nodes and their children into parts
    void collectParts(Lib3dsNode* node);
    // orders the parts for the view given by the current projection and model-view matrices
    void sortParts();
    // true when a face with texture coordinates within s0 ... s1, t0 ... t1 (texture space) can
    // only show opaque texels; a mesh of such faces is drawn without blending, which is
    // cheaper and gives the same picture
    bool opaqueTexels(float s0, float t0, float s1, float t1) const;

    // true when the bytes of a 3DS file are safe to hand to lib3ds: every chunk lies inside its
    // parent, the known containers add up, counts fit their chunks, faces name existing points
    // and the keyframe hierarchy has no cycle. lib3ds itself trusts all of these.
    static bool chunksAreSound(const unsigned char* data, size_t size);
};

#endif
