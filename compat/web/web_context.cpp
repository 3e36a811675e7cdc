// The web backend's OpenGL side: the pixel formats WebGL can give, contexts
// and buffer swaps.
//
// A context is a WebGL 1 context on the window's canvas, with the layer's
// own OpenGL 1.1 (web_gl.cpp) drawing on it. WebGL's drawing buffer is
// always double-buffered and has 8-bit colour with or without alpha, and a
// depth and a stencil buffer that are there or not: eight formats. Which one
// the canvas gets is decided when the context is made, so SetPixelFormat only
// records it. The browser presents what was drawn once the program lets it
// run: each swap does.
#include "web_host.h"

#include <vector>

namespace compat {

const std::vector<PIXELFORMATDESCRIPTOR> &host_pixel_formats(HostWindow *)
{
    static std::vector<PIXELFORMATDESCRIPTOR> formats;
    static bool read = false;
    if (!read) {
        read = true;
        // Smallest first, so that ties in choosing go to the fewer buffers.
        // NOTE: WebGL asks only whether there is a depth buffer; browsers
        // give 24 bits for one.
        if (web_webgl_available())
            for (int alpha = 0; alpha < 2; ++alpha)
                for (int depth = 1; depth >= 0; --depth)
                    for (int stencil = 0; stencil < 2; ++stencil)
                        formats.push_back(describe_format(8, 8, 8, alpha ? 8 : 0, depth ? 24 : 0, stencil ? 8 : 0));
    }
    return formats;
}

bool host_window_set_format(HostWindow *w, int index)
{
    w->format = index;
    return true;
}

static HostContext *live = nullptr;   // the page's GL has one context at a time

HostContext *host_context_create(HostWindow *w)
{
    if (live || w->format < 0)
        return nullptr;
    const PIXELFORMATDESCRIPTOR &f = host_pixel_formats(w)[(size_t)w->format];
    int handle = web_context_create(w->id, f.cAlphaBits > 0, f.cDepthBits > 0, f.cStencilBits > 0);
    if (!handle)
        return nullptr;
    // Like WGL's, and unlike most, a new context is not made current.
    int width, height;
    web_window_client_size(w->id, &width, &height);
    live = new HostContext{w, handle, web_gl_create(width, height)};
    return live;
}

bool host_context_make_current(HostWindow *w, HostContext *ctx)
{
    if (!ctx || !w) {
        web_gl_make_current(nullptr);
        return web_context_make_current(0);
    }
    if (ctx->window != w)
        return false;   // a context draws on its own window's canvas only
    if (!web_context_make_current(ctx->handle))
        return false;
    web_gl_make_current(ctx->gl);
    return true;
}

void host_context_destroy(HostContext *ctx)
{
    if (!ctx)
        return;
    web_gl_destroy(ctx->gl);
    web_context_destroy(ctx->handle);
    if (live == ctx)
        live = nullptr;
    delete ctx;
}

bool host_swap(HostWindow *)
{
    web_gl_flush_frame();
    web_frame_done();
    web_gl_follow_context();
    return true;
}

}  // namespace compat
