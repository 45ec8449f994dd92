#ifndef TIBREL_VECTOR3D_H
#define TIBREL_VECTOR3D_H

#include <cmath>

// A point or direction in court units; y points down (the sand is y = 0).
class vector3d {
public:
    float x, y, z;

    vector3d() : x(0), y(0), z(0) {}
    vector3d(float ax, float ay, float az) : x(ax), y(ay), z(az) {}

    vector3d operator+(const vector3d& o) const { return vector3d(x + o.x, y + o.y, z + o.z); }
    vector3d operator-(const vector3d& o) const { return vector3d(x - o.x, y - o.y, z - o.z); }
    vector3d operator-() const { return vector3d(-x, -y, -z); }
    vector3d operator*(float s) const { return vector3d(x * s, y * s, z * s); }
    vector3d operator/(float s) const { return vector3d(x / s, y / s, z / s); }
    vector3d& operator+=(const vector3d& o) { x += o.x; y += o.y; z += o.z; return *this; }
    vector3d& operator-=(const vector3d& o) { x -= o.x; y -= o.y; z -= o.z; return *this; }
    vector3d& operator*=(float s) { x *= s; y *= s; z *= s; return *this; }
    vector3d& operator/=(float s) { x /= s; y /= s; z /= s; return *this; }

    float length() const { return std::sqrt(x * x + y * y + z * z); }
    // unit copy; a zero vector stays zero
    vector3d normalized() const {
        float l = length();
        return l > 0 ? vector3d(x / l, y / l, z / l) : vector3d();
    }
};

// Axis-aligned box: spans center +- size / 2 on each axis (size holds full edge lengths).
class box3d {
public:
    vector3d center;
    vector3d size;

    box3d() : center(0, 0, 0), size(1, 1, 1) {}
    box3d(const vector3d& c, const vector3d& s) : center(c), size(s) {}
};

#endif
