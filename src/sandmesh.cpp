#include "sandmesh.h"

#include <cstdlib>
#include <cstring>

sandmesh::sandmesh(int n, int tolerance) : n(n), tol(tolerance), columns(n) {}

void sandmesh::update(const int* heights)
{
    const size_t size = (size_t)n * n;
    if (!tris.empty() && last.size() == size && !memcmp(last.data(), heights, size * sizeof(int)))
        return;
    last.assign(heights, heights + size);
    for (std::vector<int>& c : columns)
        c.clear();
    tris.clear();
    for (int a = 0; a < n - 1;) {
        int b = a + 1;
        while (b + 1 < n && rowsBetweenFit(a, b + 1))
            b++;
        strip(a, b);
        a = b;
    }
}

// every row strictly between a and b lies within the tolerance of the straight line from row a
// to row b at each column (scaled by b - a, so in whole numbers)
bool sandmesh::rowsBetweenFit(int a, int b) const
{
    for (int i = a + 1; i < b; i++)
        for (int c = 0; c < n; c++)
            if (std::abs(at(i, c) * (b - a) - at(a, c) * (b - i) - at(b, c) * (i - a)) > tol * (b - a))
                return false;
    return true;
}

// the points of row r that a drawn row needs: the ends, and each point where the row leaves the
// tolerance of the straight line from the last point kept
const std::vector<int>& sandmesh::rowColumns(int r)
{
    std::vector<int>& kept = columns[r];
    if (!kept.empty())
        return kept;
    kept.push_back(0);
    for (int p = 0; p < n - 1;) {
        int q = p + 1;
        for (; q + 1 < n; q++) {
            const int e = q + 1;
            bool fits = true;
            for (int k = p + 1; k < e && fits; k++)
                fits = std::abs(at(r, k) * (e - p) - at(r, p) * (e - k) - at(r, e) * (k - p)) <= tol * (e - p);
            if (!fits)
                break;
        }
        kept.push_back(q);
        p = q;
    }
    return kept;
}

// the triangles between the kept points of rows a and b, taking the nearer next point of
// either row each time; over two full rows this splits each quad as the full grid does
void sandmesh::zip(int a, int b, std::vector<unsigned short>& out)
{
    const std::vector<int>& top = rowColumns(a);
    const std::vector<int>& bottom = rowColumns(b);
    size_t p = 0, q = 0;
    while (p + 1 < top.size() || q + 1 < bottom.size()) {
        const bool alongTop = q + 1 >= bottom.size() || (p + 1 < top.size() && top[p + 1] <= bottom[q + 1]);
        const unsigned short here = (unsigned short)(a * n + top[p]), below = (unsigned short)(b * n + bottom[q]);
        const unsigned short next = alongTop ? (unsigned short)(a * n + top[++p]) : (unsigned short)(b * n + bottom[++q]);
        out.insert(out.end(), { here, next, below });
    }
}

// every grid point of the rows left out between a and b lies within the tolerance of the
// triangle above it (edge functions in whole grid units, so exact)
bool sandmesh::stripFits(int a, int b, const unsigned short* t, size_t count) const
{
    for (size_t k = 0; k + 2 < count; k += 3) {
        int r[3], c[3], y[3];
        for (int v = 0; v < 3; v++) {
            r[v] = t[k + v] / n;
            c[v] = t[k + v] % n;
            y[v] = last[t[k + v]];
        }
        const long area = (long)(c[1] - c[0]) * (r[2] - r[0]) - (long)(r[1] - r[0]) * (c[2] - c[0]);
        if (area == 0)
            continue;
        int cLo = c[0], cHi = c[0];
        for (int v = 1; v < 3; v++) {
            cLo = c[v] < cLo ? c[v] : cLo;
            cHi = c[v] > cHi ? c[v] : cHi;
        }
        for (int i = a + 1; i < b; i++) {
            for (int j = cLo; j <= cHi; j++) {
                long w[3];   // the weight of each corner, times the area
                bool inside = true;
                for (int v = 0; v < 3; v++) {
                    const int s = (v + 1) % 3, e = (v + 2) % 3;
                    w[v] = (long)(c[e] - c[s]) * (i - r[s]) - (long)(r[e] - r[s]) * (j - c[s]);
                    inside = inside && (area > 0 ? w[v] >= 0 : w[v] <= 0);
                }
                if (!inside)
                    continue;
                const long off = area * at(i, j) - (w[0] * y[0] + w[1] * y[1] + w[2] * y[2]);
                if (std::labs(off) > tol * std::labs(area))
                    return false;
            }
        }
    }
    return true;
}

// rows a and b drawn with nothing between them, or split in half until the rows left out fit
void sandmesh::strip(int a, int b)
{
    std::vector<unsigned short> zipped;
    zip(a, b, zipped);
    if (b - a > 1 && !stripFits(a, b, zipped.data(), zipped.size())) {
        const int m = (a + b) / 2;
        strip(a, m);
        strip(m, b);
        return;
    }
    tris.insert(tris.end(), zipped.begin(), zipped.end());
}
