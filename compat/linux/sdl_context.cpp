// The host's GL side, as host.h asks for it: the pixel formats, giving a
// window one of them, contexts and buffer swaps, each through the window's
// backend (sdl_host.h); and the backend of drivers other than X11 and
// Wayland, SDL's own GL.
//
// NOTE: on X11, SDL's GL windows would cost a throwaway context at every
// window made, so the windows are plain SDL windows and GLX draws into them.
#include "sdl_host.h"

namespace compat {

// The backend whose context was bound last: the one to let go of when the
// thread is to be left with no context.
static const Backend *bound;

const std::vector<PIXELFORMATDESCRIPTOR> &host_pixel_formats(HostWindow *w) { return w->backend->formats(w); }

bool host_window_set_format(HostWindow *w, int index) { return w->backend->set_format(w, index); }

HostContext *host_context_create(HostWindow *w)
{
    void *gl = w->backend->context_create(w);
    return gl ? new HostContext{w->backend, gl, {}} : nullptr;
}

bool host_context_make_current(HostWindow *w, HostContext *ctx)
{
    if (!w || !ctx) {
        gl_pixels_bind(nullptr, nullptr);
        return !bound || bound->make_current(nullptr, nullptr);
    }
    bound = ctx->backend;
    if (!bound->make_current(w, ctx->gl))
        return false;
    gl_pixels_bind(w, ctx);
    return true;
}

void host_context_destroy(HostContext *ctx)
{
    if (!ctx)
        return;
    gl_pixels_forget(ctx);
    ctx->backend->context_destroy(ctx->gl);
    delete ctx;
}

bool host_swap(HostWindow *w)
{
    if (!w->backend->swap(w))
        return false;
    w->presented |= (SDL_GetWindowFlags(w->window) & SDL_WINDOW_HIDDEN) == 0;
    return true;
}

// --- SDL's own GL ----------------------------------------------------------

// Other window systems cannot list their formats through SDL; this is the
// one every desktop GL driver has.
static const std::vector<PIXELFORMATDESCRIPTOR> &sdl_formats(HostWindow *)
{
    static const std::vector<PIXELFORMATDESCRIPTOR> formats = {describe_format(8, 8, 8, 8, 24, 8)};
    return formats;
}

static bool sdl_set_format(HostWindow *w, int index)
{
    const PIXELFORMATDESCRIPTOR &f = sdl_formats(w)[(size_t)index];
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, f.cRedBits);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, f.cGreenBits);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, f.cBlueBits);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, f.cAlphaBits);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, f.cDepthBits);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, f.cStencilBits);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_RED_SIZE, f.cAccumRedBits);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_GREEN_SIZE, f.cAccumGreenBits);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_BLUE_SIZE, f.cAccumBlueBits);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_ALPHA_SIZE, f.cAccumAlphaBits);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, (f.dwFlags & PFD_DOUBLEBUFFER) ? 1 : 0);
    SDL_GL_SetAttribute(SDL_GL_STEREO, (f.dwFlags & PFD_STEREO) ? 1 : 0);
    return sdl_remake_window(w, SDL_WINDOW_OPENGL, 0);
}

static void *sdl_context_create(HostWindow *w)
{
    SDL_Window *prev_window = SDL_GL_GetCurrentWindow();
    SDL_GLContext prev = SDL_GL_GetCurrentContext();
    SDL_GLContext gl = SDL_GL_CreateContext(w->window);
    // SDL makes a new context current; WGL does not.
    SDL_GL_MakeCurrent(prev ? prev_window : nullptr, prev);
    return gl;
}

static bool sdl_make_current(HostWindow *w, void *gl)
{
    return SDL_GL_MakeCurrent(w ? w->window : nullptr, gl) == 0;
}

static bool sdl_swap(HostWindow *w)
{
    if (SDL_GL_GetCurrentWindow() != w->window)
        return false;   // SDL swaps only the current window
    SDL_GL_SwapWindow(w->window);
    return true;
}

const Backend sdl_gl_backend = {sdl_formats, sdl_set_format, sdl_context_create, sdl_make_current,
                                SDL_GL_DeleteContext, sdl_swap, sdl_window_frame, nullptr, nullptr, nullptr};

}  // namespace compat
