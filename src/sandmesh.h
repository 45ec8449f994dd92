#ifndef TIBREL_SANDMESH_H
#define TIBREL_SANDMESH_H

#include <cstddef>
#include <vector>

// The triangles that draw a square grid of heights, fewer of them where the surface is flat.
// Rows whose heights lie within the tolerance of the rows around them are left out, and so are
// points of a kept row that lie within it of their neighbours along the row; the strips
// between kept rows are zipped across. Both strips beside a kept row use the same points of
// it, so the surface has no cracks. Every grid point, kept or not, lies within the tolerance
// of the surface drawn. Drawing only: the heights themselves are not changed.
class sandmesh {
public:
    sandmesh(int n, int tolerance);
    virtual ~sandmesh() {}

    // heights: n x n, row by row; rebuilds only when they differ from the last call's
    virtual void update(const int* heights);
    // three grid indices (row * n + column) a triangle, wound as the quads (r, c), (r, c + 1),
    // (r + 1, c) and (r, c + 1), (r + 1, c + 1), (r + 1, c) of the full grid are
    const std::vector<unsigned short>& triangles() const { return tris; }

private:
    const int n, tol;
    std::vector<int> last;
    std::vector<unsigned short> tris;
    std::vector<std::vector<int> > columns;   // kept columns of each row, built when needed

    int at(int r, int c) const { return last[r * n + c]; }
    bool rowsBetweenFit(int a, int b) const;
    const std::vector<int>& rowColumns(int r);
    void zip(int a, int b, std::vector<unsigned short>& out);
    bool stripFits(int a, int b, const unsigned short* t, size_t count) const;
    void strip(int a, int b);
};

#endif
