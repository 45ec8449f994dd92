#include "net.h"

#include <GL/gl.h>
#include "glstuff.h"

net::net()
{
}

// Mesh between 7 and 20 units above the sand, 5 units short of each post; cables and posts
// over the full width. Everything is sized from the collision body the match gives the net.
void net::drawThis()
{
    const float w = box.size.z;

    glColor4f(1.0f, 1.0f, 0.96f, 1.0f);
    for (float z = -w / 2 + 5; z <= w / 2 - 5; z += 2)
        drawLine(0, -7, z, 0, -20, z);
    for (float y = -8; y > -20; y -= 2)
        drawLine(0, y, -w / 2 + 5, 0, y, w / 2 - 5);

    glColor4f(0.3f, 0.3f, 0.3f, 1.0f);
    drawLine(0, -20, -w / 2, 0, -20, w / 2);
    drawLine(0, -7, -w / 2, 0, -7, w / 2);
    drawBox(box3d(vector3d(0, -10, -w / 2), vector3d(0.5f, 20, 0.5f)));
    drawBox(box3d(vector3d(0, -10, w / 2), vector3d(0.5f, 20, 0.5f)));
}
