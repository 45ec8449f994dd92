// The picture at every shape of window: 4:3, 16:10, 16:9 and 21:9, all 600 pixels high, drawn
// into the lower-left corner of one 1400 x 600 window. The match keeps its vertical field of
// view (a circle stays a circle, the court stays where it was, more is seen at the sides and
// nothing is black there), the post-processing covers the whole window, and the 2D screens are
// laid out for 4:3 and centred, their background covering the window without being stretched.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <wx/filefn.h>
#include "ball.h"
#include "fixtures.h"
#include "glstuff.h"
#include "main.h"
#include "menu.h"
#include "player.h"
#include "playermenu.h"
#include "support.h"
#include "textrender.h"

namespace {

const int H = 600;
struct shape {
    const char* name;
    int w;
};
const shape shapes[] = { { "4:3", 800 }, { "16:10", 960 }, { "16:9", 1067 }, { "21:9", 1400 } };
const int MAX_W = 1400;

struct box {
    int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;   // inclusive, window rows from the top
    int width() const { return x1 - x0 + 1; }
    int height() const { return y1 - y0 + 1; }
    bool empty() const { return x1 < 0; }
};

// the pixels of the shape's corner, RGB rows from the top
std::vector<unsigned char> frame(int w)
{
    return testsupport::readFrame(w, H);
}

template <class keep>
box boxOf(const std::vector<unsigned char>& px, int w, keep wanted)
{
    box b;
    for (int y = 0; y < H; y++)
        for (int x = 0; x < w; x++) {
            const unsigned char* p = &px[(static_cast<size_t>(y) * w + x) * 3];
            if (!wanted(p))
                continue;
            b.x0 = std::min(b.x0, x);
            b.x1 = std::max(b.x1, x);
            b.y0 = std::min(b.y0, y);
            b.y1 = std::max(b.y1, y);
        }
    return b;
}

bool magenta(const unsigned char* p)
{
    return p[0] > 200 && p[1] < 60 && p[2] > 200;
}

bool nearBlack(const unsigned char* p)
{
    return p[0] + p[1] + p[2] < 24;
}

// share of the pixels on the four edges of the shape's corner that are black
float blackEdgeShare(const std::vector<unsigned char>& px, int w)
{
    int black = 0, all = 0;
    auto at = [&](int x, int y) {
        all++;
        if (nearBlack(&px[(static_cast<size_t>(y) * w + x) * 3]))
            black++;
    };
    for (int x = 0; x < w; x++) {
        at(x, 0);
        at(x, H - 1);
    }
    for (int y = 0; y < H; y++) {
        at(0, y);
        at(w - 1, y);
    }
    return static_cast<float>(black) / all;
}

class ScreenShape : public matchfixture {
protected:
    ScreenShape() : matchfixture(23) {}

    static void SetUpTestSuite()
    {
        // the widest shape first, so every one fits in the window
        testsupport::openGLContext(MAX_W, H);
    }

    void TearDown() override
    {
        if (g_buff)
            glDeleteTextures(1, &g_buff);
        g_buff = 0;
        g_feedback = g_shake = 0;
        GLDeinitFreeType();
        setScreenSize(800, 600);
        matchfixture::TearDown();
    }

    // the game's size globals and a viewport of w x H in the window's lower-left corner
    void use(const shape& s)
    {
        setScreenSize(s.w, H);
        glViewport(0, 0, s.w, H);
    }

    // a still court: figures hidden, the ball over the net, the camera at camX
    void stillCourt(float camX)
    {
        for (player* p : g->players)
            p->sizeScale = 0;
        g->theBall->pos = vector3d(0, -40, 0);
        g->camX = g->camXTarget = camX;
        g->zoom = g->zoomTarget = 0;
    }

    void drawMatch()
    {
        beginFrame();
        g->draw();
        glFinish();
    }

    // the match's projection and model-view, multiplied (column-major)
    static std::vector<double> viewMatrix()
    {
        double p[16], m[16];
        glGetDoublev(GL_PROJECTION_MATRIX, p);
        glGetDoublev(GL_MODELVIEW_MATRIX, m);
        std::vector<double> a(16, 0);
        for (int c = 0; c < 4; c++)
            for (int r = 0; r < 4; r++)
                for (int k = 0; k < 4; k++)
                    a[c * 4 + r] += p[k * 4 + r] * m[c * 4 + k];
        return a;
    }

    // window column of a world point under viewMatrix() in a w-pixel-wide view
    static double column(const std::vector<double>& a, const vector3d& p, int w)
    {
        const double x = a[0] * p.x + a[4] * p.y + a[8] * p.z + a[12];
        const double q = a[3] * p.x + a[7] * p.y + a[11] * p.z + a[15];
        return (x / q + 1) * w / 2;
    }
};

// A disc on the sand facing the camera is as wide as it is high on the screen, and the same
// size at every shape: the pixels are square and the vertical field of view fixed.
TEST_F(ScreenShape, CircleOnTheSandStaysACircle)
{
    int firstHeight = 0;
    for (const shape& s : shapes) {
        SCOPED_TRACE(s.name);
        use(s);
        stillCourt(15);
        drawMatch();
        // the camera's right and down directions in the world: the first two rows of the
        // view's turn (its frustum is symmetric, so they carry nothing else)
        const std::vector<double> a = viewMatrix();
        double right[3], down[3];
        for (int i = 0; i < 3; i++) {
            right[i] = a[i * 4 + 0];
            down[i] = a[i * 4 + 1];
        }
        const double rl = std::sqrt(right[0] * right[0] + right[1] * right[1] + right[2] * right[2]);
        const double dl = std::sqrt(down[0] * down[0] + down[1] * down[1] + down[2] * down[2]);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_TEXTURE_2D);
        glColor4f(1, 0, 1, 1);
        const vector3d centre(-30, 0, 5);
        const float r = 8;
        glBegin(GL_TRIANGLE_FAN);
        for (int k = 0; k < 64; k++) {
            const double t = k * 2 * M_PI / 64;
            const double u = std::cos(t) * r, v = std::sin(t) * r;
            glVertex3d(centre.x + u * right[0] / rl + v * down[0] / dl,
                       centre.y + u * right[1] / rl + v * down[1] / dl,
                       centre.z + u * right[2] / rl + v * down[2] / dl);
        }
        glEnd();
        glFinish();
        const box b = boxOf(frame(s.w), s.w, magenta);
        ASSERT_FALSE(b.empty()) << "the disc is in view";
        EXPECT_GT(b.height(), 20);
        EXPECT_NEAR(b.width(), b.height(), 2) << "a circle, not an ellipse";
        if (!firstHeight)
            firstHeight = b.height();
        EXPECT_NEAR(b.height(), firstHeight, 1) << "the same size at every shape";
    }
}

// The court's centre line stays in the middle: with the camera over the net it is at the
// window's centre, and panned it stays the same number of pixels from the centre at every
// shape (the wider window only adds to the sides).
TEST_F(ScreenShape, CentreLineStaysInTheMiddle)
{
    for (float camX : { 0.0f, 15.0f }) {
        double firstOffset = 0;
        for (const shape& s : shapes) {
            SCOPED_TRACE(testing::Message() << s.name << ", camX " << camX);
            use(s);
            stillCourt(camX);
            drawMatch();
            const std::vector<double> a = viewMatrix();
            const double near = column(a, vector3d(0, 0, 25), s.w);
            const double middle = column(a, vector3d(0, 0, 0), s.w);
            const double offset = middle - s.w / 2.0;
            if (camX == 0) {
                EXPECT_NEAR(middle, s.w / 2.0, 1);
                EXPECT_NEAR(near, s.w / 2.0, 1);
            }
            if (&s == &shapes[0])
                firstOffset = offset;
            EXPECT_NEAR(offset, firstOffset, 1);
        }
    }
}

// Sky, venue and sand reach every edge of the match view, and the zoom trails and the shake
// blur made from the kept frame cover the whole window too.
TEST_F(ScreenShape, NothingBlackAtTheEdges)
{
    for (const shape& s : shapes) {
        SCOPED_TRACE(s.name);
        use(s);
        stillCourt(15);
        drawMatch();
        const std::vector<unsigned char> plain = frame(s.w);
        EXPECT_LT(blackEdgeShare(plain, s.w), 0.02f);

        ASSERT_GE(bufsize, s.w);
        if (g_buff)
            glDeleteTextures(1, &g_buff);
        g_buff = 0;
        reserveTexture(&g_buff, bufsize, bufsize, true);
        keepFrame();
        for (int effect = 0; effect < 2; effect++) {
            SCOPED_TRACE(effect ? "shake" : "zoom trails");
            glClearColor(0, 0, 0, 1);
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            g_feedback = effect ? 0 : 1.0f;
            g_shake = effect ? 0.2f : 0;
            postprocess();
            glFinish();
            const std::vector<unsigned char> px = frame(s.w);
            // a turned copy leaves the very corners; the middle of every edge must be covered
            const int points[4][2] = { { 0, H / 2 }, { s.w - 1, H / 2 }, { s.w / 2, 0 }, { s.w / 2, H - 1 } };
            for (const auto& p : points) {
                const size_t i = (static_cast<size_t>(p[1]) * s.w + p[0]) * 3;
                EXPECT_FALSE(nearBlack(&px[i])) << "at " << p[0] << ", " << p[1];
            }
        }
        g_feedback = g_shake = 0;
    }
}

// Menu text: the same height in pixels at every shape of the same height, centred in the window.
TEST_F(ScreenShape, MenuTextKeepsItsSizeAndStaysCentred)
{
    if (!wxFileExists("data/Tuffy_Bold.ttf"))
        GTEST_SKIP() << "needs data/Tuffy_Bold.ttf";
    menu m;
    m.title = "Tibrel";
    m.addGo("Start!", 1);
    int firstHeight = 0, firstWidth = 0;
    for (const shape& s : shapes) {
        SCOPED_TRACE(s.name);
        use(s);
        GLInitFreeType();
        glClearColor(0, 0, 0, 1);
        beginFrame();
        m.cursor = 1;   // no line is red: every glyph is white
        m.drawThis();
        glFinish();
        const std::vector<unsigned char> px = frame(s.w);
        const box b = boxOf(px, s.w, [](const unsigned char* p) { return p[0] > 128 && p[1] > 128; });
        ASSERT_FALSE(b.empty());
        if (!firstHeight) {
            firstHeight = b.height();
            firstWidth = b.width();
        }
        EXPECT_EQ(b.height(), firstHeight) << "title to the last line";
        EXPECT_EQ(b.width(), firstWidth);
        EXPECT_NEAR((b.x0 + b.x1) / 2.0, s.w / 2.0, 2) << "centred";
        GLDeinitFreeType();
    }
}

// The customisation screen's figure keeps its size and its place in the 4:3 layout beside the
// lines: as wide and as high at every shape, as far from the layout's left edge.
TEST_F(ScreenShape, CustomisationPreviewKeepsItsShapeAndPlace)
{
    player* figure = g->players[1];
    figure->pos = vector3d(0, 0, 0);   // where the screen's step puts it
    box first;
    for (const shape& s : shapes) {
        SCOPED_TRACE(s.name);
        use(s);
        playermenu preview(figure, 1);
        auto draw = [&](float scale) {
            figure->sizeScale = scale;
            glClearColor(0, 0, 0, 1);
            beginFrame();
            preview.drawThis();
            glFinish();
            return frame(s.w);
        };
        const std::vector<unsigned char> with = draw(1), without = draw(0);
        const box b = boxOf(with, s.w, [&](const unsigned char* p) {
            const unsigned char* q = &without[p - &with[0]];
            return std::abs(p[0] - q[0]) + std::abs(p[1] - q[1]) + std::abs(p[2] - q[2]) > 30;
        });
        ASSERT_FALSE(b.empty()) << "the figure shows";
        const float left = screenLayout().x;
        if (first.empty())
            first = b;
        EXPECT_NEAR(b.width(), first.width(), 2) << "not stretched";
        EXPECT_NEAR(b.height(), first.height(), 2);
        EXPECT_NEAR(b.x0 - left, first.x0, 2) << "in its place in the 4:3 layout";
        EXPECT_NEAR(b.y0, first.y0, 2);
    }
}

// A background picture (made for 4:3) covers the whole window, keeps its proportions and is
// cropped at the top and bottom of a wider window.
TEST_F(ScreenShape, BackgroundCoversTheWindowUnstretched)
{
    // a 4:3 picture stored square: black, with magenta lines at a quarter and three quarters
    // across and at 0.4 and 0.6 down
    const int T = 256;
    std::vector<unsigned char> pic(T * T * 4, 0);
    for (int y = 0; y < T; y++)
        for (int x = 0; x < T; x++) {
            unsigned char* p = &pic[(y * T + x) * 4];
            p[3] = 255;
            const bool line = x == T / 4 || x == 3 * T / 4 || y == T * 2 / 5 || y == T * 3 / 5;
            if (line)
                p[0] = p[2] = 255;
            else
                p[1] = 100;   // dark green: not black, so the cover is seen at the edges
        }
    menu m;
    reserveTexture(&m.background, T, T, false);
    updateTexture(m.background, pic.data(), T, T);
    for (const shape& s : shapes) {
        SCOPED_TRACE(s.name);
        use(s);
        glClearColor(0, 0, 0, 1);
        beginFrame();
        m.drawThis();
        glFinish();
        const std::vector<unsigned char> px = frame(s.w);
        EXPECT_LT(blackEdgeShare(px, s.w), 0.01f);
        // the picture is as wide as the window: its lines at a quarter and three quarters
        const int row = H / 2 + 20;
        std::vector<int> lines;
        for (int x = 0; x < s.w; x++)
            if (magenta(&px[(static_cast<size_t>(row) * s.w + x) * 3]) && (lines.empty() || x > lines.back() + 3))
                lines.push_back(x);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_NEAR(lines[0], s.w / 4.0, 3);
        EXPECT_NEAR(lines[1], s.w * 3 / 4.0, 3);
        // and as high as three quarters of its width, centred: 0.2 of that between the rows
        std::vector<int> rows;
        const int col = s.w / 8;
        for (int y = 0; y < H; y++)
            if (magenta(&px[(static_cast<size_t>(y) * s.w + col) * 3]) && (rows.empty() || y > rows.back() + 3))
                rows.push_back(y);
        ASSERT_EQ(rows.size(), 2u);
        const double pictureHeight = s.w * 0.75;
        EXPECT_NEAR(rows[1] - rows[0], 0.2 * pictureHeight, 3) << "not stretched";
        EXPECT_NEAR((rows[0] + rows[1]) / 2.0, H / 2.0, 3) << "centred";
    }
    glDeleteTextures(1, &m.background);
    m.background = 0;
}

}
