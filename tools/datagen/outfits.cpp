// Player outfits: for each side and body part, sprite sheets of 4 x 4 cells of 128 x 128, frames
// 0 to 7 posed (standing, running 0 and 1, jumping, diving, dive hit, air hit, bump), frames 8 to
// 15 empty. Every part of a frame is cut from one skeleton, so any choice of layers stacks into
// one figure. Pixels are either fully opaque or fully transparent, because the game stamps the
// layers with no blending.

#include "image.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

const int CELL = 128;
const int SHEET = 512;
const int FRAMES = 8;
// A cell is shown 14 units wide and 16 high, so shapes are widened by 16/14 in x to look round.
const float AX = 16.0f / 14.0f;
const float GROUND = 0.95f * CELL;   // soles rest here: the game puts the feet at 0.95 of the cell
const float TOP = 4.5f;              // highest point of a pose that reaches up
const float PI = 3.14159265f;

struct vec {
    float x, y;
};
vec operator+(vec a, vec b) { return {a.x + b.x, a.y + b.y}; }
vec operator-(vec a, vec b) { return {a.x - b.x, a.y - b.y}; }
vec operator*(vec a, float k) { return {a.x * k, a.y * k}; }
float dot(vec a, vec b) { return a.x * b.x + a.y * b.y; }
float length(vec a) { return std::sqrt(dot(a, a)); }
float rad(float degrees) { return degrees * PI / 180.0f; }
// a direction leaning forward (+x) from straight up by the angle
vec upward(float a) { return {std::sin(a), -std::cos(a)}; }
// a direction swung forward from straight down by the angle (pi points straight up)
vec downward(float a) { return {std::sin(a), std::cos(a)}; }
// local (forward, down) coordinates of a frame turned by a (positive tips forward down)
vec turn(vec local, float a)
{
    float c = std::cos(a), s = std::sin(a);
    return {local.x * c - local.y * s, local.x * s + local.y * c};
}

// ---------------------------------------------------------------- skeleton

enum side { FAR = 0, NEAR = 1 };   // the far (left) and near (right) limbs

// Joint angles of one pose, in degrees. Limb angles swing forward from straight down; the torso
// and head lean forward from upright; feet tip their toes down from flat.
struct pose {
    float torso, head;
    float thigh[2], shin[2], foot[2];
    float upper[2], fore[2], wrist[2];
    int place;   // PLACE_* below
    bool centre; // centre the figure's extent across the cell (the long dive poses)
};

enum { PLACE_GROUND, PLACE_TOP };

const pose POSES[FRAMES] = {
    // standing, ready
    {7, 2, {-3, 7}, {-7, 0}, {0, 0}, {8, 16}, {28, 38}, {8, 8}, PLACE_GROUND, false},
    // running, phase 0: near leg forward, far leg pushing off
    {16, 6, {-28, 42}, {-88, 6}, {42, -6}, {42, -38}, {105, 35}, {10, 10}, PLACE_GROUND, false},
    // running, phase 1
    {16, 6, {42, -28}, {6, -88}, {-6, 42}, {-38, 42}, {35, 105}, {10, 10}, PLACE_GROUND, false},
    // jumping, legs tucked, arms swung forward and up
    {4, -4, {72, 86}, {-48, -36}, {40, 35}, {120, 132}, {140, 150}, {5, 5}, PLACE_GROUND, false},
    // diving, body flat over the sand, arms reaching forward
    {76, -6, {-64, -54}, {-172, -160}, {-110, -105}, {52, 60}, {56, 64}, {0, 0}, PLACE_GROUND, true},
    // dive hit, arms flung forward and up at the ball
    {68, -20, {-62, -52}, {-170, -156}, {-110, -105}, {104, 116}, {112, 124}, {0, 0}, PLACE_GROUND, true},
    // air hit: arched back, near arm swinging straight up, far arm aiming
    {-10, -8, {8, 28}, {-96, -78}, {45, 40}, {105, 186}, {122, 176}, {0, 0}, PLACE_TOP, false},
    // bump: knees bent, arms forward and low, straight and joined
    {30, 12, {48, 58}, {-22, -16}, {0, 0}, {54, 60}, {56, 61}, {0, 0}, PLACE_GROUND, false},
};

// lengths and offsets in skeleton units (one unit is one pixel of cell height)
const float TORSO_LEN = 34.0f;     // hip centre to the base of the neck
const float SHOULDER_AT = 29.5f;   // shoulders along the torso
const float HEAD_REACH = 12.0f;    // base of the neck to the centre of the head
const float THIGH = 26.0f, SHIN = 25.5f;
const float UPPER = 18.0f, FORE = 16.0f, HAND = 7.5f;

struct skeleton {
    vec pelvis;
    float torso, head;             // radians
    vec up, fwd;                   // torso axis and its forward normal
    vec neck, headCentre;
    vec hip[2], knee[2], ankle[2];
    float foot[2];
    vec shoulder[2], elbow[2], wrist[2], fingers[2];
    float handAngle[2];

    // a point given along the torso (a up from the hip centre, f forward)
    vec body(float a, float f) const { return pelvis + up * a + fwd * f; }
    // a point given in the head's frame (forward, down from the head centre)
    vec face(float x, float y) const { return headCentre + turn({x, y}, head); }
};

skeleton buildSkeleton(const pose& p, vec pelvis)
{
    skeleton s;
    s.pelvis = pelvis;
    s.torso = rad(p.torso);
    s.head = rad(p.head);
    s.up = upward(s.torso);
    s.fwd = {-s.up.y, s.up.x};
    s.neck = s.body(TORSO_LEN, 0.5f);
    s.headCentre = s.neck + upward(0.5f * (s.torso + s.head)) * HEAD_REACH;
    for (int i = 0; i < 2; ++i) {
        // the far limbs sit a little behind and above the near ones
        vec back = i == FAR ? vec{-1.6f, -0.6f} : vec{0.4f, 0.0f};
        s.hip[i] = pelvis + back;
        s.knee[i] = s.hip[i] + downward(rad(p.thigh[i])) * THIGH;
        s.ankle[i] = s.knee[i] + downward(rad(p.shin[i])) * SHIN;
        s.foot[i] = rad(p.foot[i]);
        s.shoulder[i] = s.body(SHOULDER_AT, i == FAR ? -2.2f : 0.3f);
        s.elbow[i] = s.shoulder[i] + downward(rad(p.upper[i])) * UPPER;
        s.wrist[i] = s.elbow[i] + downward(rad(p.fore[i])) * FORE;
        s.handAngle[i] = rad(p.fore[i] + p.wrist[i]);
        s.fingers[i] = s.wrist[i] + downward(s.handAngle[i]) * HAND;
    }
    return s;
}

// ---------------------------------------------------------------- shapes

enum primkind { CAPSULE, ELLIPSE, RING };

// One solid piece of a body part. Later pieces of a part cover earlier ones; the union is the part.
struct prim {
    primkind kind = CAPSULE;
    vec a{0, 0}, b{0, 0};
    float ra = 1, rb = 1;          // capsule radii at a and b; ellipse radii; ring radius, width
    bool roundA = true, roundB = true;
    float angle = 0;               // ellipse turn
    int clips = 0;                 // keep only where dot(p - clipAt[i], clipOut[i]) <= 0
    vec clipAt[2]{}, clipOut[2]{};
    int region = 0;
};

prim capsule(vec a, vec b, float ra, float rb, int region, bool roundA = true, bool roundB = true)
{
    prim p;
    p.kind = CAPSULE;
    p.a = a;
    p.b = b;
    p.ra = ra;
    p.rb = rb;
    p.roundA = roundA;
    p.roundB = roundB;
    p.region = region;
    return p;
}

prim ellipse(vec c, float rx, float ry, float angle, int region)
{
    prim p;
    p.kind = ELLIPSE;
    p.a = c;
    p.ra = rx;
    p.rb = ry;
    p.angle = angle;
    p.region = region;
    return p;
}

prim ring(vec c, float r, float width, int region)
{
    prim p;
    p.kind = RING;
    p.a = c;
    p.ra = r;
    p.rb = width;
    p.region = region;
    return p;
}

prim clipped(prim p, vec at, vec out)
{
    float n = length(out);
    p.clipAt[p.clips] = at;
    p.clipOut[p.clips] = out * (1.0f / n);
    ++p.clips;
    return p;
}

// What a pixel of a part knows for its colouring.
struct sample {
    bool in = false;
    int region = 0;
    float u = 0, v = 0;     // along and across the covering piece (0..1, -1..1), or its ellipse frame
    float depth = 0;        // distance to the part's rounded outline (flat cuts excluded)
    float own = 0;          // distance to the covering piece's own outline
    float nx = 0, ny = 0, nz = 1;
    vec at{0, 0};           // the point, in skeleton units
};

// signed distance of a piece at point q; fills the piece-local values when inside
float evaluate(const prim& p, vec q, sample& s, float& rimDistance)
{
    float sd;
    if (p.kind == CAPSULE) {
        vec ab = p.b - p.a;
        float len = length(ab);
        vec dir = ab * (1.0f / len);
        vec across = {-dir.y, dir.x};
        float t = dot(q - p.a, dir) / len;
        float tc = std::min(std::max(t, 0.0f), 1.0f);
        float r = p.ra + (p.rb - p.ra) * tc;
        vec axis = p.a + ab * tc;
        vec off = q - axis;
        float side = dot(q - p.a, across);
        float dist = length(off);
        sd = dist - r;
        rimDistance = sd;
        if ((t < 0 && !p.roundA) || (t > 1 && !p.roundB)) {
            float beyond = t < 0 ? -t * len : (t - 1) * len;
            rimDistance = std::fabs(side) - r;
            sd = std::max(rimDistance, beyond);
        }
        s.u = t;
        s.v = side / r;
        s.nx = off.x / r;
        s.ny = off.y / r;
    } else if (p.kind == ELLIPSE) {
        vec local = turn(q - p.a, -p.angle);
        vec n = {local.x / p.ra, local.y / p.rb};
        float k = length(n);
        float scaleBack = k > 1e-4f ? length(local) / k : std::min(p.ra, p.rb);
        sd = (k - 1.0f) * scaleBack;
        rimDistance = sd;
        s.u = n.x;
        s.v = n.y;
        vec world = turn(n, p.angle);
        s.nx = world.x;
        s.ny = world.y;
    } else {
        vec off = q - p.a;
        float d = length(off);
        sd = std::fabs(d - p.ra) - p.rb;
        rimDistance = sd;
        s.u = off.x;
        s.v = off.y;
        s.nx = d > 0 ? off.x / d * (d - p.ra) / p.rb : 0;
        s.ny = d > 0 ? off.y / d * (d - p.ra) / p.rb : 0;
    }
    for (int i = 0; i < p.clips; ++i) {
        float c = dot(q - p.clipAt[i], p.clipOut[i]);
        sd = std::max(sd, c);
        rimDistance = std::max(rimDistance, c);
    }
    float n2 = s.nx * s.nx + s.ny * s.ny;
    if (n2 > 1.0f) {
        float k = 1.0f / std::sqrt(n2);
        s.nx *= k;
        s.ny *= k;
        n2 = 1.0f;
    }
    s.nz = std::sqrt(1.0f - n2);
    return sd;
}

// the skeleton point at the centre of pixel (x, y) of a cell
vec pixelPoint(int x, int y) { return {(float(x) + 0.5f - CELL / 2) / AX, float(y) + 0.5f}; }

void rasterise(const std::vector<prim>& prims, std::vector<sample>& cell)
{
    cell.assign(CELL * CELL, sample());
    for (int y = 0; y < CELL; ++y)
        for (int x = 0; x < CELL; ++x) {
            vec q = pixelPoint(x, y);
            sample& out = cell[y * CELL + x];
            float deepest = -1e9f;
            for (const prim& p : prims) {
                sample s;
                float rim;
                float sd = evaluate(p, q, s, rim);
                if (sd >= 0)
                    continue;
                deepest = std::max(deepest, -rim);
                s.in = true;
                s.region = p.region;
                s.own = -sd;
                out = s;
            }
            if (out.in) {
                out.depth = deepest;
                out.at = q;
            }
        }
}

// extent of a piece (skeleton units): x0, y0, x1, y1
void extend(const prim& p, float box[4])
{
    auto add = [&](vec c, float r) {
        box[0] = std::min(box[0], c.x - r);
        box[1] = std::min(box[1], c.y - r);
        box[2] = std::max(box[2], c.x + r);
        box[3] = std::max(box[3], c.y + r);
    };
    if (p.kind == CAPSULE) {
        add(p.a, p.ra);
        add(p.b, p.rb);
    } else if (p.kind == ELLIPSE) {
        add(p.a, std::max(p.ra, p.rb));
    } else {
        add(p.a, p.ra + p.rb);
    }
}

// ---------------------------------------------------------------- body parts and their looks

enum bodypart {
    FOOT_L, LEG_L, HAND_L, ARM_L, PELVIS, TORSO, HEAD, EYES, HAIR, ARM_R, LEG_R, FOOT_R, HAND_R,
    PART_COUNT
};

const char* const FOLDERS[PART_COUNT] = {"FootL", "LegL", "HandL", "ArmL", "Pelvis", "Torso", "Head",
    "Eyes_and_glasses", "Hats_and_hair", "ArmR", "LegR", "FootR", "HandR"};

// which limb a part belongs to
int limbOf(int part)
{
    return (part == FOOT_L || part == LEG_L || part == HAND_L || part == ARM_L) ? FAR : NEAR;
}

enum look {
    // feet
    BAREFOOT, SNEAKERS, SANDALS, SOCKS,
    // legs
    BARE_LEG, KNEEPAD, TIGHTS, LEG_TATTOO,
    // hands
    BARE_HAND, TAPE, GLOVES, CUFFS,
    // arms
    BARE_ARM, SLEEVE, WRISTBAND, ARM_TATTOO,
    // lower body
    SHORTS_MAIN, SHORTS_SECOND, SHORTS_WHITE, BIKINI_BRIEF,
    // upper body
    TANK_MAIN, TANK_SECOND, STRIPES, BIKINI_TOP,
    // head
    SMILE, FRECKLES, BEARD, SUNBURN,
    // eyes
    PLAIN_EYES, SUNGLASSES, GLASSES, SHADES,
    // hair and hats
    SHORT_HAIR, CAP, PONYTAIL, BANDANA
};

struct choice {
    const char* left;    // name in the left team's folders
    const char* right;   // name in the right team's folders
    look style;
};

struct folderlooks {
    std::vector<choice> choices;
};

folderlooks looksOf(int part)
{
    switch (part) {
    case FOOT_L:
    case FOOT_R:
        return {{{"bare", "bare", BAREFOOT}, {"sneakers", "sneakers", SNEAKERS},
                 {"sandals", "sandals", SANDALS}, {"socks", "socks", SOCKS}}};
    case LEG_L:
    case LEG_R:
        return {{{"bare", "bare", BARE_LEG}, {"kneepad", "kneepad", KNEEPAD},
                 {"tights", "tights", TIGHTS}, {"tattoo", "tattoo", LEG_TATTOO}}};
    case HAND_L:
    case HAND_R:
        return {{{"bare", "bare", BARE_HAND}, {"tape", "tape", TAPE}, {"gloves", "gloves", GLOVES},
                 {"cuffs", "cuffs", CUFFS}}};
    case ARM_L:
    case ARM_R:
        return {{{"bare", "bare", BARE_ARM}, {"sleeve", "sleeve", SLEEVE},
                 {"wristband", "wristband", WRISTBAND}, {"tattoo", "tattoo", ARM_TATTOO}}};
    case PELVIS:
        return {{{"red", "blue", SHORTS_MAIN}, {"orange", "teal", SHORTS_SECOND},
                 {"white", "white", SHORTS_WHITE}, {"bikini", "bikini", BIKINI_BRIEF}}};
    case TORSO:
        return {{{"red", "blue", TANK_MAIN}, {"orange", "teal", TANK_SECOND},
                 {"stripes", "stripes", STRIPES}, {"bikini", "bikini", BIKINI_TOP}}};
    case HEAD:
        return {{{"smile", "smile", SMILE}, {"freckles", "freckles", FRECKLES},
                 {"beard", "beard", BEARD}, {"sunburn", "sunburn", SUNBURN}}};
    case EYES:
        return {{{"plain", "plain", PLAIN_EYES}, {"sunglasses", "sunglasses", SUNGLASSES},
                 {"glasses", "glasses", GLASSES}, {"shades", "shades", SHADES}}};
    default:
        return {{{"plain", "plain", SHORT_HAIR}, {"cap", "cap", CAP},
                 {"ponytail", "ponytail", PONYTAIL}, {"bandana", "bandana", BANDANA}}};
    }
}

// regions: which piece of a part a pixel belongs to
enum region {
    R_FOOT, R_ANKLE, R_THIGH, R_SHIN, R_CALF, R_KNEE, R_PALM, R_THUMB, R_UPPER, R_FORE, R_HIPS, R_STUB,
    R_BODY, R_NECK, R_SKULL, R_JAW, R_NOSE, R_EAR, R_EYE, R_PUPIL, R_BROW, R_LENS, R_FRAME,
    R_HAIR, R_CROWN, R_PEAK, R_TAIL, R_TIE, R_BAND
};

void footPieces(const skeleton& s, int i, look l, std::vector<prim>& out)
{
    float a = s.foot[i];
    auto at = [&](float x, float y) { return s.ankle[i] + turn({x, y}, a); };
    bool shoe = l == SNEAKERS;
    out.push_back(ellipse(s.ankle[i] + turn({-0.3f, 0.6f}, a), shoe ? 3.9f : 3.4f, shoe ? 3.9f : 3.6f,
                          a, R_ANKLE));
    out.push_back(capsule(at(-2.8f, 2.6f), at(9.0f, 2.9f), shoe ? 3.3f : 2.7f, shoe ? 2.9f : 2.1f, R_FOOT));
}

void legPieces(const skeleton& s, int i, std::vector<prim>& out)
{
    // the top of the thigh belongs to the lower body (the legs of the shorts)
    vec start = s.hip[i] + (s.knee[i] - s.hip[i]) * 0.46f;
    out.push_back(capsule(start, s.knee[i], 6.1f, 4.9f, R_THIGH, false, true));
    out.push_back(capsule(s.knee[i], s.ankle[i], 4.9f, 3.0f, R_SHIN, true, false));
    // the calf
    vec calf = s.knee[i] + (s.ankle[i] - s.knee[i]) * 0.33f;
    vec dir = (s.ankle[i] - s.knee[i]) * (1.0f / SHIN);
    vec back = {-dir.y, dir.x};
    if (dot(back, s.fwd) > 0)
        back = back * -1.0f;
    out.push_back(ellipse(calf + back * 1.3f, 4.7f, 8.5f, std::atan2(-dir.x, dir.y), R_CALF));
    out.push_back(ellipse(s.knee[i], 5.0f, 5.0f, 0, R_KNEE));
}

void handPieces(const skeleton& s, int i, std::vector<prim>& out)
{
    float a = s.handAngle[i];
    vec d = downward(a);
    vec front = {std::cos(a), -std::sin(a)};   // the thumb side: forward for a hanging hand
    out.push_back(capsule(s.wrist[i] + front * 1.4f + d * 3.0f, s.wrist[i] + front * 2.6f + d * 5.6f, 1.5f,
                          1.2f, R_THUMB));
    out.push_back(capsule(s.wrist[i] + d * 0.5f, s.fingers[i], 2.9f, 2.4f, R_PALM));
}

void armPieces(const skeleton& s, int i, std::vector<prim>& out)
{
    out.push_back(capsule(s.elbow[i], s.wrist[i], 3.4f, 2.6f, R_FORE));
    out.push_back(capsule(s.shoulder[i], s.elbow[i], 4.6f, 3.5f, R_UPPER));
}

void pelvisPieces(const skeleton& s, std::vector<prim>& out)
{
    for (int i = 0; i < 2; ++i) {
        vec end = s.hip[i] + (s.knee[i] - s.hip[i]) * 0.48f;
        out.push_back(capsule(s.hip[i], end, 6.8f, 6.3f, R_STUB, true, false));
    }
    out.push_back(capsule(s.body(11.0f, -0.2f), s.body(1.5f, -0.4f), 8.6f, 8.0f, R_HIPS, false, true));
}

void torsoPieces(const skeleton& s, std::vector<prim>& out)
{
    out.push_back(capsule(s.body(10.0f, -0.4f), s.body(22.0f, 0.4f), 8.2f, 9.8f, R_BODY, false, true));
    out.push_back(capsule(s.body(22.0f, 0.4f), s.body(TORSO_LEN - 5.0f, -0.4f), 9.8f, 7.6f, R_BODY));
    // the chest
    out.push_back(ellipse(s.body(21.0f, 2.2f), 8.6f, 7.8f, s.torso, R_BODY));
}

void headPieces(const skeleton& s, std::vector<prim>& out)
{
    out.push_back(capsule(s.body(TORSO_LEN - 5.5f, 0.2f), s.face(-1.2f, 4.5f), 4.3f, 4.1f, R_NECK, false, true));
    out.push_back(ellipse(s.face(-0.6f, -0.6f), 10.4f, 10.4f, s.head, R_SKULL));
    out.push_back(ellipse(s.face(3.6f, 4.0f), 7.2f, 5.7f, s.head + 0.22f, R_JAW));
    out.push_back(ellipse(s.face(10.1f, 0.6f), 1.9f, 2.2f, s.head, R_NOSE));
    out.push_back(ellipse(s.face(-2.3f, 0.9f), 2.3f, 3.1f, s.head + 0.15f, R_EAR));
}

void eyePieces(const skeleton& s, look l, std::vector<prim>& out)
{
    vec temple0 = s.face(3.0f, -2.2f), temple1 = s.face(-2.4f, -1.4f);
    if (l == PLAIN_EYES || l == GLASSES) {
        out.push_back(ellipse(s.face(6.3f, -1.1f), 1.8f, 2.2f, s.head, R_EYE));
        out.push_back(ellipse(s.face(7.2f, -1.0f), 1.0f, 1.3f, s.head, R_PUPIL));
        out.push_back(capsule(s.face(4.4f, -4.6f), s.face(7.9f, -4.9f), 0.85f, 0.7f, R_BROW));
    }
    if (l == GLASSES) {
        out.push_back(capsule(temple0, temple1, 0.7f, 0.7f, R_FRAME));
        out.push_back(ring(s.face(6.8f, -1.1f), 3.1f, 0.75f, R_FRAME));
    } else if (l == SUNGLASSES) {
        out.push_back(capsule(temple0, temple1, 0.8f, 0.8f, R_FRAME));
        out.push_back(ellipse(s.face(7.0f, -1.1f), 3.6f, 2.5f, s.head + 0.08f, R_LENS));
    } else if (l == SHADES) {
        out.push_back(capsule(temple0, temple1, 0.8f, 0.8f, R_FRAME));
        out.push_back(capsule(s.face(4.0f, -1.7f), s.face(9.8f, -1.0f), 2.2f, 2.0f, R_LENS));
    }
}

// the short hair that covers the top and back of the head, with the ear left free
prim hairCap(const skeleton& s, float grow)
{
    prim hair = ellipse(s.face(-0.9f, -0.8f), 11.3f + grow, 11.3f + grow, s.head, R_HAIR);
    return clipped(hair, s.face(9.5f, -6.3f), turn({9.0f, 17.0f}, s.head));
}

void hairPieces(const skeleton& s, look l, std::vector<prim>& out)
{
    if (l == PONYTAIL) {
        out.push_back(capsule(s.face(-9.8f, -4.0f), s.face(-16.0f, 5.5f), 3.3f, 1.9f, R_TAIL));
        out.push_back(capsule(s.face(-16.0f, 5.5f), s.face(-15.2f, 8.6f), 1.9f, 1.2f, R_TAIL));
    }
    if (l == BANDANA) {
        out.push_back(capsule(s.face(-10.5f, -2.2f), s.face(-15.5f, 2.0f), 1.5f, 0.9f, R_BAND));
        out.push_back(capsule(s.face(-10.5f, -2.2f), s.face(-14.0f, 4.2f), 1.4f, 0.9f, R_BAND));
    }
    out.push_back(hairCap(s, l == SHORT_HAIR ? 0.0f : 0.2f));
    if (l == CAP) {
        prim crown = ellipse(s.face(-0.4f, -1.2f), 11.6f, 11.6f, s.head, R_CROWN);
        out.push_back(clipped(crown, s.face(0.0f, -2.6f), turn({0.22f, 1.0f}, s.head)));
        out.push_back(ellipse(s.face(10.6f, -3.9f), 6.8f, 1.7f, s.head + 0.1f, R_PEAK));
    } else if (l == PONYTAIL) {
        out.push_back(ellipse(s.face(-10.0f, -3.6f), 2.3f, 2.3f, 0, R_TIE));
    } else if (l == BANDANA) {
        prim band = ellipse(s.face(-0.8f, -0.8f), 11.7f, 11.7f, s.head, R_BAND);
        band = clipped(band, s.face(0.0f, -2.2f), turn({0.25f, 1.0f}, s.head));
        out.push_back(clipped(band, s.face(0.0f, -5.8f), turn({-0.25f, -1.0f}, s.head)));
    }
}

void partPieces(int part, look l, const skeleton& s, std::vector<prim>& out)
{
    out.clear();
    int i = limbOf(part);
    switch (part) {
    case FOOT_L: case FOOT_R: footPieces(s, i, l, out); break;
    case LEG_L: case LEG_R: legPieces(s, i, out); break;
    case HAND_L: case HAND_R: handPieces(s, i, out); break;
    case ARM_L: case ARM_R: armPieces(s, i, out); break;
    case PELVIS: pelvisPieces(s, out); break;
    case TORSO: torsoPieces(s, out); break;
    case HEAD: headPieces(s, out); break;
    case EYES: eyePieces(s, l, out); break;
    default: hairPieces(s, l, out); break;
    }
}

// Places a pose in its cell: its lowest point on the ground, or its highest point at the top for
// a pose that reaches up; the long dive poses are centred across the cell.
skeleton placePose(const pose& p)
{
    skeleton s = buildSkeleton(p, {0, 0});
    float box[4] = {1e9f, 1e9f, -1e9f, -1e9f};
    std::vector<prim> pieces;
    for (int part = 0; part < PART_COUNT; ++part)
        for (const choice& c : looksOf(part).choices) {
            partPieces(part, c.style, s, pieces);
            for (const prim& q : pieces)
                extend(q, box);
        }
    vec shift = {0, p.place == PLACE_TOP ? TOP - box[1] : GROUND - (box[3] - 0.6f)};
    if (p.centre)
        shift.x = -0.5f * (box[0] + box[2]);
    return buildSkeleton(p, shift);
}

// ---------------------------------------------------------------- colours

struct teamcolours {
    rgb main, second, trim;
};

const teamcolours TEAMS[2] = {
    {{0.86f, 0.13f, 0.12f}, {0.98f, 0.52f, 0.10f}, {1.0f, 0.86f, 0.25f}},   // left: red, orange, gold
    {{0.12f, 0.34f, 0.86f}, {0.05f, 0.66f, 0.66f}, {0.80f, 0.95f, 1.00f}},  // right: blue, teal, ice
};

const rgb SKIN = {0.91f, 0.67f, 0.49f};
const rgb WHITE = {0.95f, 0.95f, 0.92f};
const rgb INK = {0.10f, 0.10f, 0.13f};
const rgb BROWN_HAIR = {0.36f, 0.21f, 0.10f};
const rgb BLOND_HAIR = {0.95f, 0.78f, 0.38f};
const rgb BLACK_HAIR = {0.13f, 0.10f, 0.09f};
const rgb TATTOO = {0.14f, 0.20f, 0.36f};

// The light of the four times of day: lit colours are multiplied, then lifted.
struct daylight {
    const char* prefix;
    rgb multiply, lift;
};

const daylight DAYLIGHTS[4] = {
    {"Morning", {0.86f, 0.93f, 1.04f}, {0.02f, 0.03f, 0.07f}},   // cool
    {"Daytime", {1.05f, 1.03f, 0.99f}, {0.0f, 0.0f, 0.0f}},     // bright
    // warm, but blue still reads as blue
    {"Evening", {1.06f, 0.90f, 0.80f}, {0.04f, 0.01f, 0.0f}},
    // under the floodlights: a little dimmer and cooler than by day, team colours kept
    {"Night", {0.86f, 0.88f, 0.98f}, {0.02f, 0.02f, 0.05f}},
};

float fract(float x) { return x - std::floor(x); }

float segmentDistance(vec p, vec a, vec b)
{
    vec ab = b - a;
    float t = std::min(std::max(dot(p - a, ab) / dot(ab, ab), 0.0f), 1.0f);
    return length(p - (a + ab * t));
}

// point in the head's frame
vec headLocal(const skeleton& s, vec p) { return turn(p - s.headCentre, -s.head); }
// height above the hip centre along the torso, and distance forward of its axis
vec torsoLocal(const skeleton& s, vec p) { return {dot(p - s.pelvis, s.fwd), dot(p - s.pelvis, s.up)}; }

struct paint {
    rgb colour;
    float gloss;   // strength of a specular highlight
};

paint colourFoot(look l, const sample& q, const teamcolours& t)
{
    bool ankle = q.region == R_ANKLE;
    switch (l) {
    case SNEAKERS:
        if (!ankle && q.v > 0.45f)
            return {{0.55f, 0.55f, 0.58f}, 0.0f};   // rubber sole
        if (!ankle && q.u > 0.30f && q.u < 0.62f && q.v < 0.2f && q.v > -0.8f &&
            std::fabs(q.v + 0.3f - (q.u - 0.46f) * 3.0f) < 0.45f)
            return {t.main, 0.2f};
        return {WHITE, 0.25f};
    case SANDALS:
        if (!ankle && q.v > 0.55f)
            return {scale(t.main, 0.55f), 0.0f};
        if (!ankle && std::fabs(q.u - 0.45f) < 0.09f)
            return {t.main, 0.2f};
        return {SKIN, 0.0f};
    case SOCKS:
        if (ankle || q.u < 0.28f)
            return {q.region == R_ANKLE && q.v < -0.45f ? t.main : WHITE, 0.0f};
        return {SKIN, 0.0f};
    default:
        return {SKIN, 0.0f};
    }
}

paint colourLeg(look l, const sample& q, const teamcolours& t)
{
    switch (l) {
    case KNEEPAD:
        if (q.region == R_KNEE || (q.region == R_SHIN && q.u < 0.2f) || (q.region == R_THIGH && q.u > 0.86f)) {
            bool stripe = q.region == R_KNEE ? std::fabs(q.v) < 0.22f : false;
            return {stripe ? t.main : rgb{0.17f, 0.17f, 0.20f}, 0.3f};
        }
        return {SKIN, 0.0f};
    case TIGHTS:
        if (q.region == R_CALF ? q.v < 0.3f : (q.region != R_SHIN || q.u < 0.55f)) {
            if (std::fabs(q.v) < 0.12f && q.region != R_KNEE && q.region != R_CALF)
                return {t.trim, 0.2f};
            return {t.main, 0.2f};
        }
        return {SKIN, 0.0f};
    case LEG_TATTOO:
        if (q.region == R_THIGH && q.u > 0.25f && q.u < 0.65f) {
            float zig = std::fabs(fract(q.v * 1.6f) - 0.5f) * 0.16f;
            if (std::fabs(q.u - 0.45f) < 0.06f + zig)
                return {TATTOO, 0.0f};
        }
        return {SKIN, 0.0f};
    default:
        return {SKIN, 0.0f};
    }
}

paint colourHand(look l, const sample& q, const teamcolours& t)
{
    switch (l) {
    case TAPE:
        if ((q.region == R_PALM && q.u > 0.5f) || q.region == R_THUMB)
            return {fract(q.u * 5.0f) < 0.15f ? rgb{0.75f, 0.75f, 0.72f} : WHITE, 0.0f};
        return {SKIN, 0.0f};
    case GLOVES:
        if (q.region == R_PALM && q.u < 0.22f)
            return {scale(t.main, 0.5f), 0.1f};
        return {t.main, 0.3f};
    case CUFFS:
        if (q.region == R_PALM && q.u < 0.3f)
            return {q.u > 0.12f && q.u < 0.19f ? t.main : WHITE, 0.0f};
        return {SKIN, 0.0f};
    default:
        return {SKIN, 0.0f};
    }
}

paint colourArm(look l, const sample& q, const teamcolours& t)
{
    switch (l) {
    case SLEEVE:
        if (q.region == R_UPPER && q.u < 0.55f)
            return {q.u > 0.47f ? t.trim : t.main, 0.15f};
        return {SKIN, 0.0f};
    case WRISTBAND:
        if (q.region == R_FORE && q.u > 0.68f && q.u < 0.96f)
            return {q.u > 0.79f && q.u < 0.85f ? WHITE : t.main, 0.0f};
        return {SKIN, 0.0f};
    case ARM_TATTOO:
        if (q.region == R_UPPER && q.u > 0.42f && q.u < 0.68f) {
            float zig = std::fabs(fract(q.v * 1.5f + 0.25f) - 0.5f) * 0.16f;
            if (std::fabs(q.u - 0.55f) < 0.045f + zig)
                return {TATTOO, 0.0f};
        }
        return {SKIN, 0.0f};
    default:
        return {SKIN, 0.0f};
    }
}

paint colourPelvis(look l, const sample& q, const skeleton& s, const teamcolours& t)
{
    vec lp = torsoLocal(s, q.at);   // x forward, y up the torso
    rgb cloth = l == SHORTS_MAIN ? t.main : l == SHORTS_SECOND ? t.second : WHITE;
    rgb band = l == SHORTS_WHITE ? t.main : WHITE;
    if (l == BIKINI_BRIEF) {
        bool brief = (q.region == R_HIPS && lp.y < 2.8f - 0.25f * lp.x) || (q.region == R_STUB && q.u < 0.12f);
        if (brief)
            return {t.main, 0.25f};
        return {SKIN, 0.0f};
    }
    if (q.region == R_HIPS && lp.y > 7.0f)
        return {band, 0.1f};   // waistband
    if (q.region == R_STUB && q.u > 0.86f)
        return {scale(cloth, 0.8f), 0.1f};   // hem
    if (q.region == R_STUB && std::fabs(q.v) < 0.22f)
        return {band, 0.1f};   // side stripe
    return {cloth, 0.1f};
}

paint colourTorso(look l, const sample& q, const skeleton& s, const teamcolours& t)
{
    vec lp = torsoLocal(s, q.at);
    float toShoulder = length(q.at - s.shoulder[NEAR]);
    if (l == BIKINI_TOP) {
        bool top = lp.y > 18.5f && lp.y < 24.5f + 0.15f * lp.x;
        bool strap = segmentDistance(q.at, s.body(24.0f, 4.5f), s.body(TORSO_LEN - 1.0f, -2.0f)) < 0.9f;
        if (top || strap)
            return {t.main, 0.3f};
        return {SKIN, 0.0f};
    }
    // the arm hole of the tank top, with a trim
    if (toShoulder < 6.2f && lp.y > 20.0f)
        return {SKIN, 0.0f};
    if (toShoulder < 7.4f && lp.y > 19.0f)
        return {WHITE, 0.0f};
    if (lp.y > TORSO_LEN - 5.5f)
        return {WHITE, 0.0f};   // collar trim
    if (l == STRIPES)
        return {fract(lp.y / 8.0f) < 0.5f ? t.main : WHITE, 0.1f};
    rgb cloth = l == TANK_MAIN ? t.main : t.second;
    // a number-like panel: a lighter band round the chest
    if (lp.y > 15.5f && lp.y < 18.0f)
        return {mix(cloth, WHITE, 0.75f), 0.1f};
    return {cloth, 0.1f};
}

paint colourHead(look l, const sample& q, const skeleton& s, const teamcolours&)
{
    vec h = headLocal(s, q.at);
    rgb skin = SKIN;
    if (q.region == R_EAR && q.own < 0.9f)
        skin = scale(SKIN, 0.72f);
    // the mouth: a short line under the nose, curving up at its back for a smile
    float lip = segmentDistance(h, {8.7f, 6.5f}, {6.6f, 6.1f});
    bool mouth = lip < 0.62f || (l == SMILE && segmentDistance(h, {6.6f, 6.1f}, {5.7f, 5.2f}) < 0.55f);
    if (mouth && q.region != R_NECK && q.region != R_EAR)
        return {{0.50f, 0.17f, 0.14f}, 0.0f};
    switch (l) {
    case FRECKLES: {
        static const vec dots[] = {{4.8f, 1.8f}, {6.4f, 2.6f}, {5.3f, 3.6f}, {7.3f, 1.6f}, {3.6f, 2.9f}};
        for (const vec& d : dots)
            if (length(h - d) < 0.62f && q.region != R_EAR)
                return {{0.68f, 0.40f, 0.25f}, 0.0f};
        break;
    }
    case BEARD:
        if ((q.region == R_JAW || q.region == R_SKULL) && h.y > 3.4f - 0.15f * h.x && h.x > -1.0f &&
            q.region != R_NOSE)
            return {{0.33f, 0.20f, 0.11f}, 0.0f};
        if (q.region == R_SKULL && h.x > 0.0f && h.x < 1.8f && h.y > -1.0f)
            return {{0.33f, 0.20f, 0.11f}, 0.0f};   // sideburn
        break;
    case SUNBURN:
        if (q.region == R_NOSE)
            return {{0.96f, 0.46f, 0.40f}, 0.2f};
        if (length(h - vec{5.8f, 2.8f}) < 2.4f && q.region != R_EAR)
            return {mix(SKIN, {0.95f, 0.45f, 0.42f}, 0.6f), 0.0f};
        break;
    default:
        break;
    }
    return {skin, q.region == R_NOSE ? 0.2f : 0.0f};
}

paint colourEyes(look l, const sample& q, const skeleton& s, const teamcolours& t)
{
    switch (q.region) {
    case R_EYE: return {{0.97f, 0.97f, 0.95f}, 0.0f};
    case R_PUPIL: return {{0.16f, 0.10f, 0.06f}, 0.3f};
    case R_BROW: return {{0.28f, 0.17f, 0.09f}, 0.0f};
    case R_FRAME: return {l == GLASSES ? rgb{0.55f, 0.12f, 0.10f} : INK, 0.3f};
    default: break;
    }
    // lenses
    if (l == SHADES) {
        vec h = headLocal(s, q.at);
        return {mix(t.trim, t.main, clamp01((h.y + 3.0f) / 4.0f)), 0.9f};
    }
    return {{0.08f, 0.08f, 0.10f}, 0.9f};
}

paint colourHair(look l, const sample& q, const skeleton& s, const teamcolours& t)
{
    vec h = headLocal(s, q.at);
    rgb hair = l == PONYTAIL ? BLOND_HAIR : l == BANDANA ? BLACK_HAIR : BROWN_HAIR;
    switch (q.region) {
    case R_HAIR:
    case R_TAIL: {
        // strands combed back
        float strand = fract((h.x * 0.35f + h.y) * 0.6f + 0.3f * std::sin(h.x * 0.7f));
        return {strand < 0.2f ? scale(hair, 0.78f) : hair, 0.25f};
    }
    case R_CROWN:
        if (segmentDistance(h, {-0.5f, -12.0f}, {4.0f, -3.0f}) < 0.6f)
            return {scale(t.main, 0.7f), 0.1f};   // seam
        return {t.main, 0.15f};
    case R_PEAK: return {scale(t.main, 0.62f), 0.15f};
    case R_TIE: return {t.second, 0.3f};
    case R_BAND:
        if (length(h - vec{3.0f, -4.2f}) < 0.9f || length(h - vec{-4.0f, -5.0f}) < 0.9f)
            return {WHITE, 0.0f};   // dots on the cloth
        return {t.main, 0.1f};
    default: return {hair, 0.2f};
    }
}

paint colourOf(int part, look l, const sample& q, const skeleton& s, const teamcolours& t)
{
    switch (part) {
    case FOOT_L: case FOOT_R: return colourFoot(l, q, t);
    case LEG_L: case LEG_R: return colourLeg(l, q, t);
    case HAND_L: case HAND_R: return colourHand(l, q, t);
    case ARM_L: case ARM_R: return colourArm(l, q, t);
    case PELVIS: return colourPelvis(l, q, s, t);
    case TORSO: return colourTorso(l, q, s, t);
    case HEAD: return colourHead(l, q, s, t);
    case EYES: return colourEyes(l, q, s, t);
    default: return colourHair(l, q, s, t);
    }
}

// Lighting of a sample: a sun from above and in front of the figure, and a dark line along the
// part's outline so parts stay apart where they overlap.
rgb light(const paint& p, const sample& q, int part)
{
    const float lx = 0.30f, ly = -0.62f, lz = 0.72f;
    float diffuse = std::max(0.0f, q.nx * lx + q.ny * ly + q.nz * lz);
    float shade = 0.50f + 0.62f * diffuse;
    float shine = std::pow(std::max(0.0f, diffuse), 12.0f) * p.gloss * 0.55f;
    rgb c = scale(p.colour, shade) + rgb{shine, shine, shine};
    // the far limbs stand in shadow
    if (limbOf(part) == FAR)
        c = scale(c, 0.82f);
    if (q.depth < 1.05f)
        c = scale(c, 0.42f);
    return c;
}

uint8_t toByte(float v) { return uint8_t(std::lround(clamp01(v) * 255.0f)); }

} // namespace

void generateOutfits(const std::string& root)
{
    skeleton poses[FRAMES];
    for (int f = 0; f < FRAMES; ++f)
        poses[f] = placePose(POSES[f]);

    std::vector<uint8_t> sheet(SHEET * SHEET * 4);
    std::vector<sample> cells[FRAMES];
    std::vector<prim> pieces;
    const char* sides[2] = {"left", "right"};
    for (int part = 0; part < PART_COUNT; ++part) {
        for (int team = 0; team < 2; ++team)
            makeFolder(root + "/" + sides[team] + "/" + FOLDERS[part]);
        for (const choice& c : looksOf(part).choices) {
            for (int f = 0; f < FRAMES; ++f) {
                partPieces(part, c.style, poses[f], pieces);
                rasterise(pieces, cells[f]);
            }
            for (int team = 0; team < 2; ++team) {
                // lit colours of every frame, before the light of the time of day
                std::vector<rgb> lit(FRAMES * CELL * CELL);
                for (int f = 0; f < FRAMES; ++f)
                    for (int i = 0; i < CELL * CELL; ++i) {
                        const sample& q = cells[f][i];
                        if (q.in)
                            lit[f * CELL * CELL + i] =
                                light(colourOf(part, c.style, q, poses[f], TEAMS[team]), q, part);
                    }
                for (const daylight& d : DAYLIGHTS) {
                    std::fill(sheet.begin(), sheet.end(), 0);
                    for (int f = 0; f < FRAMES; ++f) {
                        int ox = (f % 4) * CELL, oy = (f / 4) * CELL;
                        for (int y = 0; y < CELL; ++y)
                            for (int x = 0; x < CELL; ++x) {
                                int i = y * CELL + x;
                                if (!cells[f][i].in)
                                    continue;
                                rgb v = lit[f * CELL * CELL + i] * d.multiply + d.lift;
                                // the right team faces the other way: its cells are mirrored
                                int sx = team == 0 ? x : CELL - 1 - x;
                                uint8_t* o = &sheet[((oy + y) * SHEET + ox + sx) * 4];
                                o[0] = toByte(v.r);
                                o[1] = toByte(v.g);
                                o[2] = toByte(v.b);
                                o[3] = 255;
                            }
                    }
                    std::string path = root + "/" + sides[team] + "/" + FOLDERS[part] + "/" + d.prefix + "_" +
                                       (team == 0 ? c.left : c.right) + ".png";
                    if (!writePng(path, sheet.data(), SHEET, SHEET, true))
                        fail("cannot write " + path);
                }
            }
        }
    }
}
