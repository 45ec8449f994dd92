#ifndef TIBREL_GLSTUFF_H
#define TIBREL_GLSTUFF_H

#include <cstddef>
#include "vector3d.h"

// files: a regular file (no folder, named pipe or device, which could block or never end) of
// at most maxBytes
bool isReadableFile(const char* path, size_t maxBytes);
// a readable PNG or BMP file whose header gives 1 ... 4096 pixels on each edge
bool isPlausiblePicture(const char* path);

// Immediate-mode drawing helpers; they use the caller's colour, blending and matrices.
// Pixel buffers are RGBA, 4 bytes per pixel, rows from the top.
void drawBox(const box3d& b);
void drawLine(float x1, float y1, float x2, float y2);
void drawLine(float x1, float y1, float z1, float x2, float y2, float z2);
// circle or arc in the x-y plane: count segments from segment start (count -1 = all)
void drawCircle(float cx, float cy, float r, int segments, int count, int start);
void drawCircleF(float cx, float cy, float r, int segments, int count, int start);
// the same in the x-z plane at y = 0
void drawCircleZ(float cx, float cz, float r, int segments, int count, int start);
void drawCircleFZ(float cx, float cz, float r, int segments, int count, int start);
void drawPlane(const vector3d& centre, const vector3d& size);
// one frame of a rows x cols sprite sheet as a quad in the local x-y plane
void drawSprite(unsigned tex, const vector3d& pos, const vector3d& size, int frame, int rows, int cols);

// textures: 2D, linear filtering, no mipmaps; the caller owns the name
void reserveTexture(unsigned* tex, int w, int h, bool rgb);
void updateTexture(unsigned tex, unsigned char* pixels, int w, int h);
void addTexture(unsigned char* dst, unsigned char* src, int w, int h);
void outlineTexture(unsigned char* buf, int w, int h);
void loadTexture(const char* file, unsigned char* dst, int w, int h);
void createAndLoadTexture(unsigned* tex, const char* file, int w, int h);
void createAndLoadTexture(unsigned* tex, const char* file);

#endif
