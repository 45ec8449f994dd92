#include <cstdlib>
#include <iostream>
#include <map>
#include <utility>
#include <vector>
#include <gtest/gtest.h>
#include "sandmesh.h"

namespace {

typedef std::vector<unsigned short> tris;

// twice the signed area of a triangle in grid units (column right, row down counts positive)
long twiceArea(int n, unsigned short a, unsigned short b, unsigned short c)
{
    const long ra = a / n, ca = a % n, rb = b / n, cb = b % n, rc = c / n, cc = c % n;
    return (cb - ca) * (rc - ra) - (rb - ra) * (cc - ca);
}

// the surface's height over grid point (r, c), times twice the area of the triangle found there
// (the area itself in *area); false when no triangle covers the point
bool surfaceAt(int n, const tris& t, const std::vector<int>& h, int r, int c, long* value, long* area)
{
    for (size_t k = 0; k + 2 < t.size(); k += 3) {
        const long a = twiceArea(n, t[k], t[k + 1], t[k + 2]);
        long w[3];
        bool inside = a != 0;
        for (int v = 0; v < 3 && inside; v++) {
            const int s = t[k + (v + 1) % 3], e = t[k + (v + 2) % 3];
            w[v] = (long)(e % n - s % n) * (r - s / n) - (long)(e / n - s / n) * (c - s % n);
            inside = a > 0 ? w[v] >= 0 : w[v] <= 0;
        }
        if (inside) {
            *value = w[0] * h[t[k]] + w[1] * h[t[k + 1]] + w[2] * h[t[k + 2]];
            *area = a;
            return true;
        }
    }
    return false;
}

// sand as the court has it: noise of -2 ... 0 everywhere, dents and heaps here and there
std::vector<int> courtLike(int n, unsigned seed, int marks)
{
    srand(seed);
    std::vector<int> h(n * n);
    for (int& v : h)
        v = -(rand() % 3);
    for (int m = 0; m < marks; m++) {
        const int r = rand() % n, c = rand() % n, depth = 3 + rand() % 20;
        for (int dr = -1; dr <= 1; dr++)
            for (int dc = -1; dc <= 1; dc++)
                if (r + dr >= 0 && r + dr < n && c + dc >= 0 && c + dc < n)
                    h[(r + dr) * n + c + dc] = -depth + 2 * (std::abs(dr) + std::abs(dc));
    }
    return h;
}

} // namespace

TEST(SandMesh, FlatSandIsTwoTrianglesAndFullDetailIsTheFullGrid)
{
    const int n = 9;
    sandmesh flat(n, 0);
    flat.update(std::vector<int>(n * n, -3).data());
    EXPECT_EQ(flat.triangles(), (tris{ 0, 8, 72, 8, 80, 72 }));

    // no two neighbours on one line: every point is kept, and the quads split as the full grid
    std::vector<int> h(n * n);
    for (int i = 0; i < n * n; i++)
        h[i] = (i / n + i % n) % 2 ? -5 : (i % 3) - 1;
    sandmesh full(n, 0);
    full.update(h.data());
    tris grid;
    for (int r = 0; r < n - 1; r++)
        for (int c = 0; c < n - 1; c++) {
            const unsigned short a = (unsigned short)(r * n + c), b = a + 1, d = a + n, e = d + 1;
            grid.insert(grid.end(), { a, b, d, b, e, d });
        }
    EXPECT_EQ(full.triangles(), grid);
}

// for court-like sand at several tolerances: the triangles cover the square once, wound alike,
// meet edge to edge (no point of one triangle lies on the side of another, which would crack),
// and every grid point lies within the tolerance of the surface over it
TEST(SandMesh, CoversTheGridWithoutCracksAndStaysWithinTheTolerance)
{
    const int n = 64;
    struct cas { unsigned seed; int marks, tol; };
    const cas cases[] = { { 1, 0, 2 }, { 2, 40, 0 }, { 3, 40, 1 }, { 4, 40, 2 }, { 5, 200, 2 }, { 6, 40, 5 } };
    for (const cas& k : cases) {
        SCOPED_TRACE(testing::Message() << "seed " << k.seed << ", tolerance " << k.tol);
        const std::vector<int> h = courtLike(n, k.seed, k.marks);
        sandmesh mesh(n, k.tol);
        mesh.update(h.data());
        const tris& t = mesh.triangles();
        ASSERT_EQ(t.size() % 3, 0u);
        ASSERT_LT(t.size(), 2u * 3 * (n - 1) * (n - 1) + 1);

        long total = 0;
        std::map<std::pair<int, int>, int> edges;   // directed edges
        for (size_t i = 0; i < t.size(); i += 3) {
            const long a = twiceArea(n, t[i], t[i + 1], t[i + 2]);
            ASSERT_GT(a, 0) << "triangle " << i / 3;
            total += a;
            for (int v = 0; v < 3; v++)
                edges[{ t[i + v], t[i + (v + 1) % 3] }]++;
        }
        EXPECT_EQ(total, 2L * (n - 1) * (n - 1));
        for (const auto& e : edges) {
            ASSERT_EQ(e.second, 1);
            const int a = e.first.first, b = e.first.second;
            const bool border = (a / n == b / n && (a / n == 0 || a / n == n - 1)) ||
                                (a % n == b % n && (a % n == 0 || a % n == n - 1));
            if (!border) {
                ASSERT_EQ(edges.count({ b, a }), 1u) << "edge " << a << " - " << b << " has one side only";
            }
        }

        for (int r = 0; r < n; r++)
            for (int c = 0; c < n; c++) {
                long value = 0, area = 0;
                ASSERT_TRUE(surfaceAt(n, t, h, r, c, &value, &area)) << r << ", " << c;
                ASSERT_LE(std::labs(area * h[r * n + c] - value), k.tol * std::labs(area)) << r << ", " << c;
            }
        if (k.tol >= 2 && k.marks <= 40) {   // the point of it: far fewer than the full grid's 7 938
            EXPECT_LT(t.size() / 3, 2u * (n - 1) * (n - 1) / 3);
        }
        std::cout << "[          ] seed " << k.seed << " tolerance " << k.tol << ": " << t.size() / 3 << " triangles\n";
    }
}

TEST(SandMesh, FollowsNewHeights)
{
    const int n = 16;
    std::vector<int> h(n * n, 0);
    sandmesh mesh(n, 2);
    mesh.update(h.data());
    EXPECT_EQ(mesh.triangles().size(), 6u);
    h[5 * n + 7] = -20;   // a dent: its point is drawn
    mesh.update(h.data());
    bool found = false;
    for (unsigned short v : mesh.triangles())
        found = found || v == 5 * n + 7;
    EXPECT_TRUE(found);
    h[5 * n + 7] = 0;
    mesh.update(h.data());
    EXPECT_EQ(mesh.triangles().size(), 6u);
}
