#ifndef TIBREL_DATAGEN_VENUE_ATLAS_H
#define TIBREL_DATAGEN_VENUE_ATLAS_H

// The venue's single texture: a 1024 x 1024 atlas whose regions are painted for the time of day
// (the light is baked into the colours, since the game draws the venue unlit).

const int ATLAS_SIZE = 1024;

enum venuetime { VT_MORNING, VT_DAY, VT_EVENING, VT_NIGHT, VT_COUNT };

// a rectangle of the atlas in pixels, rows from the top
struct atlasrect {
    int x, y, w, h;
};

namespace atlas {
const atlasrect SKY = {0, 0, 1024, 256};       // backdrop: horizon near the bottom, zenith at the top
const atlasrect SEA = {0, 256, 256, 256};      // tiling water
const atlasrect SAND = {256, 256, 256, 256};   // tiling sand, the court's own colour
const atlasrect GRASS = {512, 256, 128, 128};  // tiling dune grass
const atlasrect SHORE = {512, 384, 128, 128};  // sand (bottom) to wet sand, foam and shallows (top)
const atlasrect BARK = {640, 256, 64, 256};    // palm trunk, u around it with the front at u = 0.5
const atlasrect LEAF = {704, 256, 128, 256};   // palm frond, base at the bottom, midrib at u = 0.5
const atlasrect LAMP = {832, 256, 128, 128};   // floodlight panel face
const atlasrect METAL = {960, 256, 64, 128};   // poles, u around them with the front at u = 0.5
const atlasrect GLOW = {832, 384, 128, 128};   // the halo around a lit floodlight (alpha)
const atlasrect SHADE = {960, 384, 64, 128};   // backs and undersides in shadow
const atlasrect RISER = {0, 512, 256, 64};     // the front faces of the tiers
const atlasrect SEAT = {0, 576, 256, 64};      // rows of seats seen from above
const atlasrect CROWD_A = {256, 512, 768, 64}; // a row of spectators, their seat at the bottom
const atlasrect CROWD_B = {256, 576, 768, 64};
const atlasrect WALL = {0, 640, 256, 128};     // the stand's painted side and back walls
const atlasrect CANOPY = {256, 640, 256, 128}; // striped awning
const atlasrect BOARDS = {512, 640, 512, 128}; // four advertising boards of 256 x 64
const atlasrect FLAGS = {0, 768, 256, 256};    // four flags of 128 x 128
const atlasrect PARASOL = {256, 768, 128, 256};// beach umbrella cloth, u around, tip at the top
const atlasrect BOAT = {384, 768, 128, 256};   // sail (top half) and hull (bottom half)
}

// the board (0..3) and flag (0..3) sub-rectangles
atlasrect boardRect(int k);
atlasrect flagRect(int k);

#endif
