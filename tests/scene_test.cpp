// The scene on a real GL context made through the layer: the state Initial
// leaves, the viewport and projection Resize sets, and the picture Draw makes.
// Every expectation is worked out here from the formulas of gluPerspective
// and gluLookAt, in double precision; nothing is compared with a stored image.
#include <windows.h>
#include <GL/gl.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <math.h>
#include <algorithm>
#include <array>
#include <iomanip>
#include <vector>

#include "../scene/scene.h"
#include "support/gl_window.h"

namespace {

// The program's window; no frame on a bare X server, which has no Xft.dpi:
// at scale 1 (no GDK_SCALE), GL_VIEWPORT, in the screen's pixels, is the
// size Resize is given in the window's.
const int W = 600, H = 450;

typedef std::array<double, 16> Mat;   // column-major, as GL keeps it
struct V3 {
    double x, y, z;
};

Mat Translation(double x, double y, double z) { return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1}; }

Mat operator*(const Mat &a, const Mat &b)
{
    Mat r = {};
    for (int col = 0; col < 4; ++col)
        for (int row = 0; row < 4; ++row)
            for (int k = 0; k < 4; ++k)
                r[col * 4 + row] += a[k * 4 + row] * b[col * 4 + k];
    return r;
}

// gluPerspective's matrix as its manual page writes it.
Mat Perspective(double fovy, double aspect, double zNear, double zFar)
{
    double f = 1.0 / tan(fovy * M_PI / 360.0);
    return {f / aspect, 0, 0, 0, 0, f, 0, 0, 0, 0, (zFar + zNear) / (zNear - zFar), -1,
            0, 0, 2 * zFar * zNear / (zNear - zFar), 0};
}

// What the scene should set for a window: the aspect is a float quotient,
// the near plane the float 0.1 widened.
Mat SceneProjection(int width, int height) { return Perspective(45.0, (float)width / (float)height, 0.1f, 100.0); }

// gluLookAt: rows s, u, -f for the unit view direction f, s = f x up made
// unit and u = s x f; then the eye moved to the origin.
Mat LookAt(V3 eye, V3 centre, V3 up)
{
    auto unit = [](V3 v) {
        double n = sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
        return V3{v.x / n, v.y / n, v.z / n};
    };
    auto cross = [](V3 a, V3 b) { return V3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; };
    V3 f = unit({centre.x - eye.x, centre.y - eye.y, centre.z - eye.z});
    V3 s = unit(cross(f, up)), u = cross(s, f);
    Mat m = {s.x, u.x, -f.x, 0, s.y, u.y, -f.y, 0, s.z, u.z, -f.z, 0, 0, 0, 0, 1};
    return m * Translation(-eye.x, -eye.y, -eye.z);
}

// The camera and the two moves Draw makes; the band is not rotated.
Mat SceneModelview()
{
    return LookAt({0, -10, 25}, {0, 0, 0}, {0, 100, 0}) * Translation(-1.5, 0, -5) * Translation(0, 0, -5);
}

void ExpectMatrix(GLenum which, const Mat &want, double tolerance)
{
    GLdouble got[16];
    glGetDoublev(which, got);
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(got[i], want[i], tolerance * std::max(1.0, fabs(want[i]))) << "entry " << i;
}

// Something Initial and Resize must replace, not multiply onto.
void LoadJunkProjection()
{
    const GLfloat junk[16] = {3, 1, 4, 1, 5, 9, 2, 6, 5, 3, 5, 8, 9, 7, 9, 3};
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(junk);
    glMatrixMode(GL_TEXTURE);
}

struct Point {
    double x, y;
};
typedef std::array<Point, 4> Quad;

// The 200 strips in window coordinates, each a convex quadrilateral.
std::vector<Quad> ProjectedStrips()
{
    const Mat mvp = SceneProjection(W, H) * SceneModelview();
    std::vector<Quad> strips;
    for (int i = 0; i < 200; ++i) {
        double x1 = (i - 100) / 10.0, x2 = x1 + 1;
        const V3 corners[4] = {{x1, -3, 1.3 * sin(x1)}, {x1, 3, 1.3 * sin(x1)}, {x2, 3, 1.3 * sin(x2)},
                               {x2, -3, 1.3 * sin(x2)}};
        Quad quad;
        for (int k = 0; k < 4; ++k) {
            const V3 &c = corners[k];
            double clip[4];
            for (int row = 0; row < 4; ++row)
                clip[row] = mvp[row] * c.x + mvp[4 + row] * c.y + mvp[8 + row] * c.z + mvp[12 + row];
            EXPECT_GT(clip[3], 0.0) << "strip " << i << " reaches behind the eye";
            quad[k] = {(clip[0] / clip[3] + 1) * W / 2, (clip[1] / clip[3] + 1) * H / 2};
        }
        strips.push_back(quad);
    }
    return strips;
}

// How far p lies inside the quad (negative outside), and its distance from
// the quad (zero inside).
void Measure(const Quad &q, Point p, double *depth, double *distance)
{
    double area = 0;
    for (int k = 0; k < 4; ++k)
        area += q[k].x * q[(k + 1) % 4].y - q[(k + 1) % 4].x * q[k].y;
    *depth = *distance = 1e9;
    for (int k = 0; k < 4; ++k) {
        Point a = q[k], b = q[(k + 1) % 4];
        double ex = b.x - a.x, ey = b.y - a.y, len = hypot(ex, ey);
        double side = (ex * (p.y - a.y) - ey * (p.x - a.x)) / len;
        *depth = std::min(*depth, area > 0 ? side : -side);
        double t = std::clamp(((p.x - a.x) * ex + (p.y - a.y) * ey) / (len * len), 0.0, 1.0);
        *distance = std::min(*distance, hypot(p.x - a.x - t * ex, p.y - a.y - t * ey));
    }
    if (*depth >= 0)
        *distance = 0;
}

// Each pixel centre against the projected band: well inside a strip, well
// clear of every strip, or too near an edge to tell.
enum Cover : char { Edge, Inside, Outside };
struct Band {
    std::vector<Cover> cover;                                    // W x H, bottom row first
    double left = 1e9, right = -1e9, bottom = 1e9, top = -1e9;   // its outline
};

const double kMargin = 1.5;   // pixels, far above any rounding in the rasteriser

const Band &ProjectedBand()
{
    static Band band;
    if (!band.cover.empty())
        return band;
    std::vector<double> depth((size_t)W * H, -1e9), distance((size_t)W * H, 1e9);
    for (const Quad &quad : ProjectedStrips()) {
        double x0 = 1e9, x1 = -1e9, y0 = 1e9, y1 = -1e9;
        for (const Point &p : quad)
            x0 = std::min(x0, p.x), x1 = std::max(x1, p.x), y0 = std::min(y0, p.y), y1 = std::max(y1, p.y);
        band.left = std::min(band.left, x0), band.right = std::max(band.right, x1);
        band.bottom = std::min(band.bottom, y0), band.top = std::max(band.top, y1);
        for (int y = std::max(0, (int)(y0 - kMargin) - 1); y < std::min(H, (int)(y1 + kMargin) + 2); ++y)
            for (int x = std::max(0, (int)(x0 - kMargin) - 1); x < std::min(W, (int)(x1 + kMargin) + 2); ++x) {
                double d, gap;
                Measure(quad, {x + 0.5, y + 0.5}, &d, &gap);
                size_t i = (size_t)y * W + x;
                depth[i] = std::max(depth[i], d);
                distance[i] = std::min(distance[i], gap);
            }
    }
    band.cover.resize((size_t)W * H);
    for (size_t i = 0; i < band.cover.size(); ++i)
        band.cover[i] = depth[i] >= kMargin ? Inside : distance[i] >= kMargin ? Outside : Edge;
    return band;
}

// The back buffer as RGB rows, bottom row first, read before any swap.
std::vector<unsigned char> ReadBack()
{
    std::vector<unsigned char> rgb((size_t)W * H * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, W, H, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    return rgb;
}

bool Is(const unsigned char *p, int r, int g, int b) { return p[0] == r && p[1] == g && p[2] == b; }

// A frame of the band as it must look: white well inside the projected
// strips, black well clear of them, nothing else anywhere, and lit out to
// the projected outline.
void ExpectTheBand(const std::vector<unsigned char> &rgb)
{
    const Band &band = ProjectedBand();
    // The whole band is in the window, so its outline is a fair test.
    ASSERT_TRUE(band.left > 10 && band.right < W - 10 && band.bottom > 10 && band.top < H - 10);
    int inside = 0, outside = 0, not_white = 0, not_black = 0, other = 0;
    int lit_left = W, lit_right = -1, lit_bottom = H, lit_top = -1;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            size_t i = (size_t)y * W + x;
            bool white = Is(&rgb[i * 3], 255, 255, 255), black = Is(&rgb[i * 3], 0, 0, 0);
            other += !white && !black;
            if (white) {
                lit_left = std::min(lit_left, x), lit_right = std::max(lit_right, x);
                lit_bottom = std::min(lit_bottom, y), lit_top = std::max(lit_top, y);
            }
            if (band.cover[i] == Inside)
                ++inside, not_white += !white;
            else if (band.cover[i] == Outside)
                ++outside, not_black += !black;
        }
    EXPECT_EQ(other, 0) << "pixels neither white nor black";
    EXPECT_EQ(not_white, 0) << "of " << inside << " pixels well inside the band";
    EXPECT_EQ(not_black, 0) << "of " << outside << " pixels well outside it";
    EXPECT_GT(inside, W * H / 20) << "the band should cover a fair part of the window";
    // A pixel is lit when its centre is inside, hence the half pixel.
    EXPECT_NEAR(lit_left, band.left - 0.5, 2.0);
    EXPECT_NEAR(lit_right, band.right - 0.5, 2.0);
    EXPECT_NEAR(lit_bottom, band.bottom - 0.5, 2.0);
    EXPECT_NEAR(lit_top, band.top - 0.5, 2.0);
}

// A quad over the whole window at depth z in normalised device coordinates,
// red at its left edge and blue at its right, over what is already drawn.
void CoverWindow(float z)
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    glBegin(GL_QUADS);
    for (const float *c : corners) {
        glColor3f(c[0] < 0, 0, c[0] > 0);
        glVertex3f(c[0], c[1], z);
    }
    glEnd();
    glColor3f(1, 1, 1);   // the band is drawn in the default colour
}

struct Vertex {
    float x, y, z;
};
std::vector<Vertex> *vertex_log;   // while set, glVertex3f calls are noted here

}   // namespace

// The scene's glVertex3f calls come here, ahead of Mesa's (the executable's
// own definition is the one they bind to), and go on to Mesa unchanged.
extern "C" void GLAPIENTRY glVertex3f(GLfloat x, GLfloat y, GLfloat z)
{
    static auto mesa = reinterpret_cast<void(GLAPIENTRY *)(GLfloat, GLfloat, GLfloat)>(dlsym(RTLD_NEXT, "glVertex3f"));
    if (vertex_log)
        vertex_log->push_back({x, y, z});
    mesa(x, y, z);
}

// One window and context for the suite, made as the program makes them;
// each test starts from the program's first frame: Initial, then Resize.
class Scene : public ::testing::Test {
protected:
    static HWND window;
    static HGLRC rc;

    static void SetUpTestSuite()
    {
        WNDCLASSA wc = {};
        wc.style = CS_OWNDC;
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "SceneTest";
        RegisterClassA(&wc);
        window = CreateWindowExA(0, "SceneTest", "scene", WS_OVERLAPPEDWINDOW, 50, 50, W, H, NULL, NULL, NULL, NULL);
        HDC dc = FormattedDC(window);
        if (!dc || !(rc = wglCreateContext(dc)))
            return;
        if (!wglMakeCurrent(dc, rc)) {
            wglDeleteContext(rc);
            rc = NULL;
        }
        ShowWindow(window, SW_SHOW);
    }

    static void TearDownTestSuite()
    {
        wglMakeCurrent(NULL, NULL);
        wglDeleteContext(rc);
        DestroyWindow(window);
    }

    void SetUp() override
    {
        ASSERT_NE(rc, nullptr) << "no GL context on this display";
        RECT client;
        ASSERT_TRUE(GetClientRect(window, &client));
        ASSERT_TRUE(client.right == W && client.bottom == H) << "the GL window is not " << W << " x " << H;
        Xrot = Yrot = Zrot = 0;
        Initial(W, H);
        Resize(W, H);
    }
};

HWND Scene::window;
HGLRC Scene::rc;

// Whatever state came before, Initial leaves what the band needs: a black
// background, the projection replaced rather than multiplied onto, the
// modelview matrix current for Draw, and a depth buffer cleared to the far
// plane in which only nearer fragments pass. The last is seen by drawing
// over the band: at the far plane itself nothing passes, just in front of
// it a quad shows only where the band is not, shaded smoothly across.
TEST_F(Scene, FromAnyStateInitialThenDrawPaintTheBandInDepth)
{
    glClearColor(0.25f, 0.5f, 0.75f, 1.0f);
    glClearDepth(0.5);
    glDepthFunc(GL_ALWAYS);
    glDisable(GL_DEPTH_TEST);
    glShadeModel(GL_FLAT);
    LoadJunkProjection();

    Initial(W, H);
    Draw();
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    const std::vector<unsigned char> band = ReadBack();
    ExpectTheBand(band);

    CoverWindow(1.0f);
    EXPECT_TRUE(ReadBack() == band) << "a quad at the far plane passed the depth test";

    // The band lies between 0.9980 and 0.9985 in window depth; this is 0.9995.
    CoverWindow(0.999f);
    const std::vector<unsigned char> covered = ReadBack();
    const Band &where = ProjectedBand();
    int hidden = 0, wrong = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            size_t i = (size_t)y * W + x;
            const unsigned char *p = &covered[i * 3];
            if (where.cover[i] == Inside)
                hidden += !Is(p, 255, 255, 255);
            else if (where.cover[i] == Outside) {
                double blue = 255 * (x + 0.5) / W;
                wrong += p[1] != 0 || fabs(p[2] - blue) > 2 || fabs(p[0] - (255 - blue)) > 2;
            }
        }
    EXPECT_EQ(hidden, 0) << "band pixels the quad behind it covered";
    EXPECT_EQ(wrong, 0) << "pixels beside the band not shaded smoothly from red to blue";

    LoadJunkProjection();
    Initial(W, 0);   // taken as height 1
    ExpectMatrix(GL_PROJECTION_MATRIX, SceneProjection(W, 1), 1e-6);
}

TEST_F(Scene, ResizeSetsViewportAndProjection)
{
    struct Case {
        int width, height;   // passed to Resize
        GLint viewport_w, viewport_h;
        Mat projection;
    };
    // NOTE: for width 0 the formula would divide by a zero aspect. GLU's
    // reference code (Mesa's GLU is that code) returns without touching the
    // matrix, which leaves the identity Resize has just loaded.
    const Case cases[] = {
        {W, H, W, H, SceneProjection(W, H)},
        {320, 240, 320, 240, SceneProjection(320, 240)},
        {W, 0, W, 1, SceneProjection(W, 1)},
        {0, H, 0, H, Translation(0, 0, 0)},   // the identity
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "Resize(" << c.width << ", " << c.height << ")");
        LoadJunkProjection();
        Resize(c.width, c.height);
        GLint viewport[4];
        glGetIntegerv(GL_VIEWPORT, viewport);
        EXPECT_TRUE(viewport[0] == 0 && viewport[1] == 0) << viewport[0] << ", " << viewport[1];
        EXPECT_EQ(viewport[2], c.viewport_w);
        EXPECT_EQ(viewport[3], c.viewport_h);
        ExpectMatrix(GL_PROJECTION_MATRIX, c.projection, 1e-6);
    }
}

TEST_F(Scene, DrawLoadsTheCamera)
{
    Draw();
    ExpectMatrix(GL_MODELVIEW_MATRIX, SceneModelview(), 1e-5);   // GLU's look-at is single precision
}

// Every vertex of a frame against the band worked out from the strip number:
// x1 = (i - 100) / 10 and x2 = x1 + 1, each rounded to single precision, and
// z = 1.3 sin(x) taken in double precision from that single x, then rounded.
// After the frame the strip variables hold the last strip's values.
TEST_F(Scene, DrawPassesTheBandsVertices)
{
    std::vector<Vertex> calls;
    vertex_log = &calls;
    Draw();
    vertex_log = nullptr;
    ASSERT_EQ(calls.size(), 800u);

    int wrong = 0;
    Vertex want[4];
    for (int i = 0; i < 200; ++i) {
        const float x1 = (float)((i - 100) / 10.0), x2 = (float)((double)x1 + 1.0);
        const float z1 = (float)(1.3 * sin((double)x1)), z2 = (float)(1.3 * sin((double)x2));
        const Vertex strip[4] = {{x1, -3, z1}, {x1, 3, z1}, {x2, 3, z2}, {x2, -3, z2}};
        std::copy(strip, strip + 4, want);
        for (int k = 0; k < 4; ++k) {
            const Vertex &got = calls[i * 4 + k];
            if (got.x != want[k].x || got.y != want[k].y || got.z != want[k].z) {
                if (++wrong <= 5)
                    ADD_FAILURE() << std::setprecision(9) << "strip " << i << " vertex " << k << ": (" << got.x
                                  << ", " << got.y << ", " << got.z << "), not (" << want[k].x << ", "
                                  << want[k].y << ", " << want[k].z << ")";
            }
        }
    }
    EXPECT_EQ(wrong, 0) << "of the 800 vertices differ";

    EXPECT_EQ(Px, 100.0f);
    EXPECT_EQ(Px1, 9.9f);
    EXPECT_TRUE(Px1 == want[0].x && Py1 == want[0].y && Pz1 == want[0].z) << Px1 << ", " << Py1 << ", " << Pz1;
    EXPECT_TRUE(Px2 == want[2].x && Py2 == want[2].y && Pz2 == want[2].z) << Px2 << ", " << Py2 << ", " << Pz2;
}

// Nothing a frame or a resize leaves behind reaches the next frame: the strip
// variables' last values, another size and back, so every frame at one size
// is the same picture, and the band never turns.
TEST_F(Scene, EveryFrameAtOneSizeIsTheSamePicture)
{
    Draw();
    const std::vector<unsigned char> first = ReadBack();
    Px = Px1 = Px2 = Py1 = Py2 = Pz1 = Pz2 = -42.0f;
    Resize(320, 240);
    Draw();
    Resize(W, H);
    Draw();
    const std::vector<unsigned char> again = ReadBack();
    EXPECT_TRUE(again == first);
    ExpectTheBand(again);
    EXPECT_TRUE(Xrot == 0 && Yrot == 0 && Zrot == 0) << Xrot << ", " << Yrot << ", " << Zrot;
}
