// Pixel formats and rendering contexts on the SDL host and Mesa: what
// DescribePixelFormat offers, what ChoosePixelFormat picks, and the rules
// SetPixelFormat, wglCreateContext, wglMakeCurrent, wglDeleteContext and
// SwapBuffers keep on Windows. Windows are also looked at from outside, over
// an X connection of the test's own.
#include <windows.h>
#include <EGL/egl.h>
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <wayland-client.h>
// After GoogleTest, whose names Xlib's macros (None, Bool) would replace.
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "run.h"

#include <string.h>
#include <unistd.h>
#include <algorithm>
#include <set>
#include <vector>

#include "support/gl_window.h"

namespace {

// NOTE: the layer names all its X windows after the class of the first
// window the process makes (WM_CLASS is fixed when SDL connects), so every
// window here is of this one class.
const char kClass[] = "SinebandWgl";

// The top-level X window with this title, mapped or not, as any X client
// finds it (support/run.h).
Window FindXWindow(Display *dpy, const char *title)
{
    Window found = 0;
    outside::wait_for([&] {
        std::vector<Window> all = outside::find_windows(dpy, title, -1, false);
        found = all.empty() ? 0 : all.front();
        return found != 0;
    }, 2000);
    return found;
}

// The colour X shows in the middle of the window, as 0xRRGGBB.
unsigned long ShownColour(Display *dpy, Window w)
{
    XWindowAttributes a;
    XImage *image = XGetWindowAttributes(dpy, w, &a) ? XGetImage(dpy, w, a.width / 2, a.height / 2, 1, 1,
                                                                 AllPlanes, ZPixmap) : NULL;
    if (!image)
        return ~0UL;
    unsigned long pixel = XGetPixel(image, 0, 0), rgb = 0;
    XDestroyImage(image);
    for (unsigned long mask : {a.visual->red_mask, a.visual->green_mask, a.visual->blue_mask})
        rgb = rgb << 8 | (pixel & mask) * 255 / mask;
    return rgb;
}

// A format's buffers: colour, alpha and accumulation bits channel by
// channel, depth, stencil and auxiliary buffers, and 1 if double-buffered.
std::vector<int> Buffers(const PIXELFORMATDESCRIPTOR &f)
{
    return {f.cRedBits,        f.cGreenBits,     f.cBlueBits,       f.cAlphaBits, f.cAccumRedBits, f.cAccumGreenBits,
            f.cAccumBlueBits, f.cAccumAlphaBits, f.cDepthBits, f.cStencilBits, f.cAuxBuffers,
            (f.dwFlags & PFD_DOUBLEBUFFER) != 0};
}

void ClearTo(float r, float g, float b, float a = 1)
{
    glClearColor(r, g, b, a);
    glClear(GL_COLOR_BUFFER_BIT);
}

}   // namespace

// Each test makes its own windows and contexts; all go at its end.
class Wgl : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        WNDCLASSA wc = {};
        wc.style = CS_OWNDC;
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = kClass;
        RegisterClassA(&wc);
    }

    void TearDown() override
    {
        if (wglGetCurrentContext())
            wglMakeCurrent(NULL, NULL);
        for (HGLRC rc : contexts)
            wglDeleteContext(rc);   // FALSE for those a test deleted itself
        for (HWND w : windows)
            DestroyWindow(w);
        if (dpy)
            XCloseDisplay(dpy);
    }

    HWND NewWindow(const char *title)
    {
        HWND w = CreateWindowExA(0, kClass, title, WS_OVERLAPPEDWINDOW, 50, 50, 200, 150, NULL, NULL, NULL, NULL);
        EXPECT_NE(w, nullptr) << "no window on this display";
        windows.push_back(w);
        return w;
    }

    HGLRC NewContext(HDC dc)
    {
        HGLRC rc = wglCreateContext(dc);
        EXPECT_NE(rc, nullptr);
        contexts.push_back(rc);
        return rc;
    }

    Display *X() { return dpy ? dpy : (dpy = XOpenDisplay(NULL)); }

    std::vector<HWND> windows;
    std::vector<HGLRC> contexts;
    Display *dpy = nullptr;
};

// Read back the slow way, one attribute at a time over the test's own
// connection: the formats are the server's RGBA window configs that have a
// visual and are not non-conformant, single-view, in the server's order,
// each with its config's buffers. Colour and accumulation bits count every
// channel, alpha too.
TEST_F(Wgl, FormatsAreTheServersWindowConfigsInOrder)
{
    HDC dc = GetDC(NewWindow("configs"));
    Display *x = X();
    ASSERT_NE(x, nullptr);
    int all_count = 0;
    GLXFBConfig *all = glXGetFBConfigs(x, DefaultScreen(x), &all_count);
    const int sizes[] = {GLX_RED_SIZE, GLX_GREEN_SIZE, GLX_BLUE_SIZE, GLX_ALPHA_SIZE, GLX_ACCUM_RED_SIZE,
                         GLX_ACCUM_GREEN_SIZE, GLX_ACCUM_BLUE_SIZE, GLX_ACCUM_ALPHA_SIZE, GLX_DEPTH_SIZE,
                         GLX_STENCIL_SIZE, GLX_AUX_BUFFERS, GLX_DOUBLEBUFFER};
    std::vector<std::vector<int>> expected;   // as Buffers() lists them, for each usable config
    for (int i = 0; i < all_count; ++i) {
        auto get = [&](int attribute) {
            int value = 0;
            glXGetFBConfigAttrib(x, all[i], attribute, &value);
            return value;
        };
        if (!(get(GLX_RENDER_TYPE) & GLX_RGBA_BIT) || !(get(GLX_DRAWABLE_TYPE) & GLX_WINDOW_BIT) ||
            !get(GLX_X_RENDERABLE) || !get(GLX_VISUAL_ID) || get(GLX_LEVEL) != 0 || get(GLX_STEREO) ||
            get(GLX_CONFIG_CAVEAT) == GLX_NON_CONFORMANT_CONFIG)
            continue;
        expected.emplace_back();
        for (int attribute : sizes)
            expected.back().push_back(get(attribute));
    }
    XFree(all);
    ASSERT_FALSE(expected.empty()) << "the server has no RGBA window configs";
    ASSERT_EQ(DescribePixelFormat(dc, 1, 0, NULL), (int)expected.size());
    PIXELFORMATDESCRIPTOR f;
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "format " << i + 1);
        memset(&f, 0xAB, sizeof(f));
        EXPECT_EQ(DescribePixelFormat(dc, (int)i + 1, sizeof(f), &f), (int)expected.size());
        EXPECT_TRUE(f.nSize == 40 && f.nVersion == 1 && f.iPixelType == PFD_TYPE_RGBA);
        EXPECT_EQ(Buffers(f), expected[i]);
        EXPECT_EQ(f.dwFlags & ~PFD_DOUBLEBUFFER, (DWORD)(PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL));
        EXPECT_EQ(f.cColorBits, f.cRedBits + f.cGreenBits + f.cBlueBits + f.cAlphaBits);
        EXPECT_EQ(f.cAccumBits, f.cAccumRedBits + f.cAccumGreenBits + f.cAccumBlueBits + f.cAccumAlphaBits);
    }
    EXPECT_EQ(DescribePixelFormat(dc, (int)expected.size() + 1, sizeof(f), &f), 0);
}

// What GL itself reports of a context's buffers, for the first format of
// each kind: a window given format i draws with format i's visual and
// config, not a neighbour's.
TEST_F(Wgl, EachFormatsContextHasTheBuffersItDescribes)
{
    HDC probe = GetDC(NewWindow("describe"));
    const int count = DescribePixelFormat(probe, 1, 0, NULL);
    ASSERT_GT(count, 0);
    std::set<std::vector<int>> seen;
    for (int i = 1; i <= count; ++i) {
        SCOPED_TRACE(testing::Message() << "format " << i);
        PIXELFORMATDESCRIPTOR f;
        DescribePixelFormat(probe, i, sizeof(f), &f);
        if (!seen.insert(Buffers(f)).second)
            continue;
        HWND w = NewWindow("format");
        HDC dc = GetDC(w);
        ASSERT_TRUE(SetPixelFormat(dc, i, &f));
        HGLRC rc = NewContext(dc);
        ASSERT_TRUE(wglMakeCurrent(dc, rc));
        // As Buffers() lists them.
        const GLenum names[] = {GL_RED_BITS, GL_GREEN_BITS, GL_BLUE_BITS, GL_ALPHA_BITS, GL_ACCUM_RED_BITS,
                                GL_ACCUM_GREEN_BITS, GL_ACCUM_BLUE_BITS, GL_ACCUM_ALPHA_BITS, GL_DEPTH_BITS,
                                GL_STENCIL_BITS, GL_AUX_BUFFERS, GL_DOUBLEBUFFER};
        std::vector<int> got;
        for (GLenum name : names) {
            GLint value = -1;
            glGetIntegerv(name, &value);
            got.push_back(value);
        }
        EXPECT_EQ(got, Buffers(f));
        wglMakeCurrent(NULL, NULL);
        wglDeleteContext(rc);
        DestroyWindow(w);
    }
}

// For each size asked for Windows takes the smallest format that is large
// enough, colour before depth buffer, and on a tie the lower index.
TEST_F(Wgl, ChoosePixelFormatTakesTheSmallestFormatThatIsLargeEnough)
{
    HDC dc = GetDC(NewWindow("choose"));
    std::vector<PIXELFORMATDESCRIPTOR> formats(DescribePixelFormat(dc, 0, 0, NULL));
    for (size_t i = 0; i < formats.size(); ++i)
        DescribePixelFormat(dc, (int)i + 1, sizeof(formats[i]), &formats[i]);
    for (BYTE depth : {16, 24}) {
        SCOPED_TRACE(testing::Message() << "depth " << (int)depth << " asked for");
        PIXELFORMATDESCRIPTOR want = ProgramRequest();
        want.cDepthBits = depth;
        int chosen = ChoosePixelFormat(dc, &want);
        ASSERT_TRUE(chosen >= 1 && chosen <= (int)formats.size()) << chosen;
        const PIXELFORMATDESCRIPTOR &c = formats[chosen - 1];
        EXPECT_EQ(c.dwFlags & (PFD_DOUBLEBUFFER | PFD_STEREO), (DWORD)PFD_DOUBLEBUFFER);
        EXPECT_GE(c.cColorBits, 16);
        EXPECT_GE(c.cDepthBits, depth);
        for (size_t i = 0; i < formats.size(); ++i) {
            const PIXELFORMATDESCRIPTOR &f = formats[i];
            if ((f.dwFlags & (PFD_DOUBLEBUFFER | PFD_STEREO)) != PFD_DOUBLEBUFFER || f.cColorBits < 16)
                continue;
            EXPECT_GE(f.cColorBits, c.cColorBits) << "format " << i + 1 << " has less colour";
            if (f.cColorBits != c.cColorBits || f.cDepthBits < depth)
                continue;
            EXPECT_GE(f.cDepthBits, c.cDepthBits) << "format " << i + 1 << " has a smaller depth buffer";
            EXPECT_TRUE(f.cDepthBits != c.cDepthBits || (int)i + 1 >= chosen) << "format " << i + 1 << " ties";
        }
    }
}

TEST_F(Wgl, SetPixelFormatFixesTheWindowsFormat)
{
    HDC dc = GetDC(NewWindow("set format"));
    ASSERT_GE(DescribePixelFormat(dc, 0, 0, NULL), 2);
    EXPECT_EQ(GetPixelFormat(dc), 0);
    PIXELFORMATDESCRIPTOR want = ProgramRequest();
    int chosen = ChoosePixelFormat(dc, &want);
    EXPECT_TRUE(SetPixelFormat(dc, chosen, &want));
    EXPECT_EQ(GetPixelFormat(dc), chosen);
    EXPECT_TRUE(SetPixelFormat(dc, chosen, &want));   // the same one again is accepted
    EXPECT_FALSE(SetPixelFormat(dc, chosen == 1 ? 2 : 1, &want));
    EXPECT_EQ(GetPixelFormat(dc), chosen);
}

TEST_F(Wgl, CreateContextNeedsAFormatAndBindsNothing)
{
    HDC dc = FormattedDC(NewWindow("with a format"));
    EXPECT_EQ(wglCreateContext(GetDC(NewWindow("without a format"))), nullptr);

    HGLRC first = NewContext(dc);
    EXPECT_EQ(wglGetCurrentContext(), nullptr);
    EXPECT_EQ(glGetString(GL_RENDERER), nullptr) << "a GL context is bound";

    ASSERT_TRUE(wglMakeCurrent(dc, first));
    glClearColor(0.25f, 0.5f, 0.75f, 1.0f);
    NewContext(dc);
    EXPECT_EQ(wglGetCurrentContext(), first);
    EXPECT_EQ(wglGetCurrentDC(), dc);
    // GL calls still reach the first context, not the new one's defaults.
    GLfloat clear[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_TRUE(clear[0] == 0.25f && clear[2] == 0.75f) << clear[0] << ", " << clear[2];
}

TEST_F(Wgl, MakeCurrentBindsAndReleases)
{
    HDC dc = FormattedDC(NewWindow("make current"));
    HGLRC rc = NewContext(dc);
    EXPECT_TRUE(wglMakeCurrent(dc, rc));
    EXPECT_EQ(wglGetCurrentContext(), rc);
    EXPECT_EQ(wglGetCurrentDC(), dc);
    EXPECT_NE(glGetString(GL_RENDERER), nullptr);
    EXPECT_TRUE(wglMakeCurrent(dc, rc));

    // (hdc, NULL) releases whatever is current and ignores the DC.
    EXPECT_TRUE(wglMakeCurrent(dc, NULL));
    EXPECT_EQ(wglGetCurrentContext(), nullptr);
    EXPECT_EQ(wglGetCurrentDC(), nullptr);
    EXPECT_EQ(glGetString(GL_RENDERER), nullptr) << "the GL context is still bound";
    EXPECT_TRUE(wglMakeCurrent(dc, NULL));

    ASSERT_TRUE(wglMakeCurrent(dc, rc));
    EXPECT_TRUE(wglMakeCurrent(NULL, NULL));
    EXPECT_EQ(wglGetCurrentContext(), nullptr);
}

TEST_F(Wgl, DeleteContextReleasesTheCurrentOne)
{
    HDC dc = FormattedDC(NewWindow("delete"));
    HGLRC rc = NewContext(dc);
    ASSERT_TRUE(wglMakeCurrent(dc, rc));
    EXPECT_TRUE(wglDeleteContext(rc));
    EXPECT_EQ(wglGetCurrentContext(), nullptr);
    EXPECT_EQ(glGetString(GL_RENDERER), nullptr) << "the deleted context is still bound";
    EXPECT_FALSE(wglMakeCurrent(dc, rc));

    // The DC outlives the context.
    EXPECT_TRUE(wglMakeCurrent(dc, NewContext(dc)));
}

// Looked at on the screen, where a swap that only returns TRUE shows nothing.
// The window is shown before it has a format, which Windows allows.
TEST_F(Wgl, SwapBuffersShowsTheBackBuffer)
{
    HWND w = NewWindow("swap");
    ShowWindow(w, SW_SHOW);
    HDC dc = FormattedDC(w);
    HGLRC rc = NewContext(dc);
    EXPECT_TRUE(IsWindowVisible(w));
    Window x = FindXWindow(X(), "swap");
    ASSERT_NE(x, 0UL);
    XWindowAttributes a;
    ASSERT_TRUE(XGetWindowAttributes(X(), x, &a));
    ASSERT_EQ(a.map_state, IsViewable) << "the window went off the screen";

    ASSERT_TRUE(wglMakeCurrent(dc, rc));
    ClearTo(1, 0, 0);
    EXPECT_TRUE(SwapBuffers(dc));
    EXPECT_EQ(ShownColour(X(), x), 0xFF0000UL);

    // Windows swaps on the DC alone, with no context current.
    ClearTo(0, 0, 1);
    ASSERT_TRUE(wglMakeCurrent(NULL, NULL));
    EXPECT_TRUE(SwapBuffers(dc));
    // KNOWN DIFFERENCE: Mesa's software driver, the only one on Xvfb, drops
    // a glXSwapBuffers made while no context is current, so the last frame
    // stays up where Windows would show the blue one.
    EXPECT_EQ(ShownColour(X(), x), 0xFF0000UL);
}

TEST_F(Wgl, TheXWindowIsOfTheWindowsClass)
{
    NewWindow("class hint");
    Window x = FindXWindow(X(), "class hint");
    ASSERT_NE(x, 0UL);
    XClassHint hint = {};
    ASSERT_TRUE(XGetClassHint(X(), x, &hint));
    EXPECT_STREQ(hint.res_class, kClass);
    XFree(hint.res_name);
    XFree(hint.res_class);
}

// Run on a display scaled by 2 (wgl_scaled_*): the window keeps its own pixels while
// the screen has WGL_SCALE times as many (2, or 1 where GDK_SCALE=1 or
// SINEBAND_NO_SCALING=1 overrules the display), across and down, in X and in GL alike.
class WglScaled : public Wgl {};

TEST_F(WglScaled, TheWindowKeepsItsPixelsAndTheScreensFollowTheScale)
{
    const int s = getenv("WGL_SCALE") ? atoi(getenv("WGL_SCALE")) : 2;
    auto times = [s](std::vector<GLint> v) {
        for (GLint &n : v)
            n *= s;
        return v;
    };
    HWND w = NewWindow("scaled");
    ShowWindow(w, SW_SHOW);
    HDC dc = FormattedDC(w);
    ASSERT_NE(dc, nullptr);
    RECT client, outer;
    GetClientRect(w, &client);
    GetWindowRect(w, &outer);
    EXPECT_EQ(client.right, 200);
    EXPECT_EQ(client.bottom, 150);
    EXPECT_EQ(outer.left, 50);
    EXPECT_EQ(outer.top, 50);

    Window x = FindXWindow(X(), "scaled");
    ASSERT_NE(x, 0UL);
    XWindowAttributes a;
    ASSERT_TRUE(XGetWindowAttributes(X(), x, &a));
    EXPECT_EQ(a.width, 200 * s);
    EXPECT_EQ(a.height, 150 * s);
    EXPECT_EQ(a.x, 50 * s);   // no window manager: the root is its parent
    EXPECT_EQ(a.y, 50 * s);

    HGLRC rc = NewContext(dc);
    ASSERT_TRUE(wglMakeCurrent(dc, rc));
    auto box = [](GLenum which) {
        GLint v[4];
        glGetIntegerv(which, v);
        return std::vector<GLint>(v, v + 4);
    };
    EXPECT_EQ(box(GL_VIEWPORT), times({0, 0, 200, 150})) << "the whole buffer";
    glViewport(10, 20, 30, 40);
    EXPECT_EQ(box(GL_VIEWPORT), times({10, 20, 30, 40}));
    glScissor(1, 2, 3, 4);
    EXPECT_EQ(box(GL_SCISSOR_BOX), times({1, 2, 3, 4}));
    GLfloat size = 0;
    glPointSize(3);
    glGetFloatv(GL_POINT_SIZE, &size);
    EXPECT_EQ(size, 3 * s);
    glLineWidth(2);
    glGetFloatv(GL_LINE_WIDTH, &size);
    EXPECT_EQ(size, 2 * s);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);

    // A refused call changes nothing, and is still GL's to refuse.
    glViewport(0, 0, -1, 5);
    EXPECT_EQ(glGetError(), (GLenum)GL_INVALID_VALUE);
    EXPECT_EQ(box(GL_VIEWPORT), times({10, 20, 30, 40}));
}

// Run on a Wayland compositor with no X server (tools/with-wayland.sh).
class WglWayland : public Wgl {};

// Over the test's own connection: each format is the buffers of one of the
// compositor's EGL configs for desktop GL windows, taken in EGL's order (so
// the formats are a subsequence of EGL's list), double-buffered, and, as
// this compositor has 8-8-8 configs, of 8 bits a channel only.
TEST_F(WglWayland, FormatsAreEglWindowConfigsInEglsOrder)
{
    HDC dc = GetDC(NewWindow("configs"));
    wl_display *wl = wl_display_connect(NULL);
    EGLDisplay egl = eglGetDisplay((EGLNativeDisplayType)wl);
    EGLint count = 0;
    ASSERT_TRUE(wl && eglInitialize(egl, NULL, NULL) && eglGetConfigs(egl, NULL, 0, &count));
    std::vector<EGLConfig> all((size_t)count);
    eglGetConfigs(egl, all.data(), count, &count);
    std::vector<std::vector<int>> listed, offered;   // as Buffers() lists them
    for (EGLConfig c : all) {
        auto get = [&](EGLint attribute) { EGLint v = 0; return eglGetConfigAttrib(egl, c, attribute, &v), (int)v; };
        if ((get(EGL_SURFACE_TYPE) & EGL_WINDOW_BIT) && (get(EGL_RENDERABLE_TYPE) & EGL_OPENGL_BIT))
            listed.push_back({get(EGL_RED_SIZE), get(EGL_GREEN_SIZE), get(EGL_BLUE_SIZE), get(EGL_ALPHA_SIZE), 0, 0,
                              0, 0, get(EGL_DEPTH_SIZE), get(EGL_STENCIL_SIZE), 0, 1});
    }
    eglTerminate(egl);
    wl_display_disconnect(wl);
    PIXELFORMATDESCRIPTOR f;
    for (int i = 1; DescribePixelFormat(dc, i, sizeof(f), &f) >= i; ++i)
        offered.push_back(Buffers(f));
    auto eight = [](const std::vector<int> &b) { return b[0] == 8 && b[1] == 8 && b[2] == 8; };
    ASSERT_TRUE(std::any_of(listed.begin(), listed.end(), eight) && !offered.empty());
    auto next = listed.begin();
    for (size_t i = 0; i < offered.size(); ++i, ++next) {
        EXPECT_TRUE(eight(offered[i])) << "format " << i + 1;
        next = std::find(next, listed.end(), offered[i]);
        ASSERT_TRUE(next != listed.end()) << "format " << i + 1 << " is no config's, or out of EGL's order";
    }
}

// A window cleared to black with alpha 0 shows black on the compositor, never
// its grey background: a GL window on Windows is opaque whatever its alpha.
// For the program's format (8-8-8 and a 16-bit depth, as on X11) and one with alpha.
TEST_F(WglWayland, AWindowIsOpaqueWhateverItsAlpha)
{
    PIXELFORMATDESCRIPTOR program = ProgramRequest(), alpha = ProgramRequest(), f;
    alpha.cColorBits = 32, alpha.cAlphaBits = 8;
    for (const PIXELFORMATDESCRIPTOR *want : {&program, &alpha}) {
        // "OpenGL" in the title: the compositor floats the window at its size.
        const std::string kind = want == &alpha ? "alpha" : "program", title = "OpenGL " + kind;
        HWND w = NewWindow(title.c_str());
        HDC dc = GetDC(w);
        int format = ChoosePixelFormat(dc, want);
        ASSERT_TRUE(DescribePixelFormat(dc, format, sizeof(f), &f));
        EXPECT_EQ(Buffers(f), (std::vector<int>{8, 8, 8, want->cAlphaBits, 0, 0, 0, 0, 16, 0, 0, 1})) << title;
        ASSERT_TRUE(SetPixelFormat(dc, format, &f) && wglMakeCurrent(dc, NewContext(dc)));
        ShowWindow(w, SW_SHOW);
        for (int frame = 0; frame < 15; ++frame, outside::pause_ms(20)) {
            ClearTo(0, 0, 0, 0);
            SwapBuffers(dc);
        }
        RECT r;
        GetClientRect(w, &r);
        outside::Image shot = outside::screenshot(outside::wait_for_sway_window(title, -1, 5000), kind + ".png");
        EXPECT_TRUE(shot.width == r.right && shot.height == r.bottom &&
                    std::count(shot.rgb.begin(), shot.rgb.end(), 0) == (long)shot.rgb.size())
            << title << ": not all black, see " << kind << ".png";
        DestroyWindow(w);
    }
}
