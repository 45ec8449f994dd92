#ifndef TIBREL_TARVO3DS_H
#define TIBREL_TARVO3DS_H

#include <cstddef>
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

    tarvo3ds(const wxString& filename, float animStart, float animLength);
    ~tarvo3ds() override;

    void step(float dt) override;
    void drawThis() override;
    void render_node(Lib3dsNode* node);

    // true when the bytes of a 3DS file are safe to hand to lib3ds: every chunk lies inside its
    // parent, the known containers add up, counts fit their chunks, faces name existing points
    // and the keyframe hierarchy has no cycle. lib3ds itself trusts all of these.
    static bool chunksAreSound(const unsigned char* data, size_t size);
};

#endif
