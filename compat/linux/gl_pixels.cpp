// The GL calls that take window pixels: glViewport, glScissor, glPointSize
// and glLineWidth, scaled from the window's pixels to the drawing buffer's.
//
// The program works in its window's pixels whatever the screen's scale, as
// Windows has a program that declares no DPI awareness do, while its window
// covers the screen's pixels and its drawing buffer has them all, so the
// picture is as sharp as the screen. OpenGL is the system's, called by the
// program directly; of its calls only these four take window pixels. The
// layer defines them here: an executable's own definition wins over a
// library's when it is linked, so the program's calls come here, and each
// passes its values on scaled to the next definition in the process, the
// system's libGL (dlsym RTLD_NEXT). Every other GL call reaches the system's
// GL untouched. At scale 1 the values pass on as given.
//
// Left out: glGetIntegerv(GL_VIEWPORT) and GL_SCISSOR_BOX answer in the
// drawing buffer's pixels, and glDrawPixels, glBitmap, glReadPixels and
// glCopyPixels stay in them; the program calls none of them.
#include "sdl_host.h"

#include <GL/gl.h>
#include <algorithm>
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>

namespace compat {

namespace {

HostWindow *bound_window;
HostContext *bound_context;

template <typename F> F next_gl(const char *name)
{
    auto f = reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
    if (!f) {
        fprintf(stderr, "sineband: the system's OpenGL has no %s\n", name);
        abort();
    }
    return f;
}

#define NEXT_GL(name) static const auto real = next_gl<decltype(&::name)>(#name)

// The drawing buffer's pixels a window pixel, across and down: the buffer
// over the client area, so the whole client area is the whole buffer.
void scale_of(HostWindow *w, float k[2])
{
    int width = 0, height = 0, pixels_w = 0, pixels_h = 0;
    host_window_client_size(w, &width, &height);
    sdl_window_pixels(w, &pixels_w, &pixels_h);
    k[0] = width > 0 && pixels_w > 0 ? (float)pixels_w / (float)width : 1;
    k[1] = height > 0 && pixels_h > 0 ? (float)pixels_h / (float)height : 1;
}

void send_viewport(const int *v, const float *k)
{
    NEXT_GL(glViewport);
    real(scaled_pixels(v[0], k[0]), scaled_pixels(v[1], k[1]), scaled_pixels(v[2], k[0]), scaled_pixels(v[3], k[1]));
}

void send_scissor(const int *v, const float *k)
{
    NEXT_GL(glScissor);
    real(scaled_pixels(v[0], k[0]), scaled_pixels(v[1], k[1]), scaled_pixels(v[2], k[0]), scaled_pixels(v[3], k[1]));
}

// A point or a line is as wide as the two scales' mean.
void send_point(float size, const float *k)
{
    NEXT_GL(glPointSize);
    real(size * (k[0] + k[1]) / 2);
}

void send_line(float width, const float *k)
{
    NEXT_GL(glLineWidth);
    real(width * (k[0] + k[1]) / 2);
}

// Passes everything on again where the scale has changed since it was.
void resend(HostContext *ctx, HostWindow *w)
{
    GlPixels &p = ctx->pixels;
    float k[2];
    scale_of(w, k);
    if (k[0] == p.sent[0] && k[1] == p.sent[1])
        return;
    p.sent[0] = k[0], p.sent[1] = k[1];
    send_viewport(p.viewport, k);
    send_scissor(p.scissor, k);
    send_point(p.point, k);
    send_line(p.line, k);
}

// The scale to pass values on at now; 1 when the layer bound no context.
const float *current_scale()
{
    static const float one[2] = {1, 1};
    if (!bound_context)
        return one;
    resend(bound_context, bound_window);
    return bound_context->pixels.sent;
}

}  // namespace

void gl_pixels_bind(HostWindow *w, HostContext *ctx)
{
    bound_window = w, bound_context = ctx;
    if (!ctx)
        return;
    GlPixels &p = ctx->pixels;
    if (!p.known) {
        // GL sets a context's viewport and scissor box to the whole buffer
        // the first time it is bound: the whole client area, in window pixels.
        p.known = true;
        host_window_client_size(w, &p.viewport[2], &p.viewport[3]);
        p.scissor[2] = p.viewport[2], p.scissor[3] = p.viewport[3];
    }
    resend(ctx, w);
}

void gl_pixels_follow(HostWindow *w)
{
    if (bound_context && bound_window == w)
        resend(bound_context, w);
}

void gl_pixels_forget(HostContext *ctx)
{
    if (bound_context == ctx)
        bound_window = nullptr, bound_context = nullptr;
}

}  // namespace compat

using namespace compat;

extern "C" {

void GLAPIENTRY glViewport(GLint x, GLint y, GLsizei width, GLsizei height)
{
    // A refused call (GL_INVALID_VALUE) changes nothing, here as in GL.
    const int v[4] = {x, y, width, height};
    if (bound_context && width >= 0 && height >= 0)
        std::copy(v, v + 4, bound_context->pixels.viewport);
    send_viewport(v, current_scale());
}

void GLAPIENTRY glScissor(GLint x, GLint y, GLsizei width, GLsizei height)
{
    const int v[4] = {x, y, width, height};
    if (bound_context && width >= 0 && height >= 0)
        std::copy(v, v + 4, bound_context->pixels.scissor);
    send_scissor(v, current_scale());
}

void GLAPIENTRY glPointSize(GLfloat size)
{
    if (bound_context && size > 0)
        bound_context->pixels.point = size;
    send_point(size, current_scale());
}

void GLAPIENTRY glLineWidth(GLfloat width)
{
    if (bound_context && width > 0)
        bound_context->pixels.line = width;
    send_line(width, current_scale());
}

}
