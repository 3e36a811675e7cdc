// The web backend's OpenGL side: the pixel formats WebGL can give, contexts
// and buffer swaps.
//
// The GL is WebGL under Emscripten's emulation of the fixed-function
// pipeline, which is set up only for a context that comes through its EGL.
// WebGL's drawing buffer is always double-buffered and has 8-bit colour with
// or without alpha, and a depth and a stencil buffer that are there or not:
// eight formats. Which one the canvas gets is decided when the context is
// made, so SetPixelFormat only records it. The browser presents what was
// drawn once the program lets it run: each swap does.
#include "web_host.h"

#include <EGL/egl.h>

#include <vector>

namespace compat {

static PIXELFORMATDESCRIPTOR describe(bool alpha, bool depth, bool stencil)
{
    PIXELFORMATDESCRIPTOR f = {};
    f.nSize = sizeof(f);
    f.nVersion = 1;
    f.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    f.iPixelType = PFD_TYPE_RGBA;
    // The whole pixel, as drivers report it (see glx_context.cpp).
    f.cColorBits = alpha ? 32 : 24;
    f.cRedBits = f.cGreenBits = f.cBlueBits = 8;
    f.cBlueShift = 0, f.cGreenShift = 8, f.cRedShift = 16;
    f.cAlphaBits = alpha ? 8 : 0;
    f.cAlphaShift = alpha ? 24 : 0;
    // NOTE: WebGL asks only whether there is a depth buffer; Emscripten's
    // EGL reports 24 bits for one.
    f.cDepthBits = depth ? 24 : 0;
    f.cStencilBits = stencil ? 8 : 0;
    f.iLayerType = PFD_MAIN_PLANE;
    return f;
}

const std::vector<PIXELFORMATDESCRIPTOR> &host_pixel_formats(HostWindow *)
{
    static std::vector<PIXELFORMATDESCRIPTOR> formats;
    static bool read = false;
    if (!read) {
        read = true;
        // Smallest first, so that ties in choosing go to the fewer buffers.
        if (web_webgl_available())
            for (int alpha = 0; alpha < 2; ++alpha)
                for (int depth = 1; depth >= 0; --depth)
                    for (int stencil = 0; stencil < 2; ++stencil)
                        formats.push_back(describe(alpha, depth, stencil));
    }
    return formats;
}

bool host_window_set_format(HostWindow *w, int index)
{
    w->format = index;
    return true;
}

static EGLDisplay display()
{
    static EGLDisplay d = EGL_NO_DISPLAY;
    if (d == EGL_NO_DISPLAY) {
        d = eglGetDisplay(EGL_DEFAULT_DISPLAY);
        if (d != EGL_NO_DISPLAY && !eglInitialize(d, nullptr, nullptr))
            d = EGL_NO_DISPLAY;
    }
    return d;
}

static HostContext *live = nullptr;   // the page's GL has one context at a time

HostContext *host_context_create(HostWindow *w)
{
    if (live || w->format < 0)
        return nullptr;
    EGLDisplay d = display();
    if (d == EGL_NO_DISPLAY)
        return nullptr;
    const PIXELFORMATDESCRIPTOR &f = host_pixel_formats(w)[(size_t)w->format];
    const EGLint wanted[] = {EGL_ALPHA_SIZE,   f.cAlphaBits, EGL_DEPTH_SIZE,     f.cDepthBits,
                             EGL_STENCIL_SIZE, f.cStencilBits, EGL_SAMPLE_BUFFERS, 0,
                             EGL_NONE};
    const EGLint version[] = {EGL_CONTEXT_CLIENT_VERSION, 2, EGL_NONE};
    EGLConfig config;
    EGLint count = 0;
    web_window_select_canvas(w->id);
    if (!eglChooseConfig(d, wanted, &config, 1, &count) || count < 1)
        return nullptr;
    EGLSurface surface = eglCreateWindowSurface(d, config, 0, nullptr);
    if (surface == EGL_NO_SURFACE)
        return nullptr;
    // Like WGL's, and unlike most, a new EGL context is not made current.
    EGLContext context = eglCreateContext(d, config, EGL_NO_CONTEXT, version);
    if (context == EGL_NO_CONTEXT) {
        eglDestroySurface(d, surface);
        return nullptr;
    }
    live = new HostContext{w, context, surface};
    return live;
}

bool host_context_make_current(HostWindow *w, HostContext *ctx)
{
    EGLDisplay d = display();
    if (!ctx || !w)
        return eglMakeCurrent(d, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (ctx->window != w)
        return false;   // a context draws on its own window's canvas only
    return eglMakeCurrent(d, ctx->egl_surface, ctx->egl_surface, ctx->egl_context);
}

void host_context_destroy(HostContext *ctx)
{
    if (!ctx)
        return;
    EGLDisplay d = display();
    eglDestroyContext(d, ctx->egl_context);
    eglDestroySurface(d, ctx->egl_surface);
    if (live == ctx)
        live = nullptr;
    delete ctx;
}

bool host_swap(HostWindow *)
{
    web_frame_done();
    return true;
}

}  // namespace compat
