// The SDL2 backend's OpenGL side: the pixel formats the X server offers
// (its GLX framebuffer configs), giving a window one of them, contexts and
// buffer swaps.
//
// On X11 the GL goes through GLX directly: SDL's own GL windows would cost a
// throwaway context at every window made. The X visual is fixed when a
// window is made, so giving a window a format whose visual is not the
// window's re-creates the native window with that visual (and shows the new
// one if the old one was shown). Other window systems go through SDL's GL.
#include "sdl_host.h"

#include <GL/glx.h>

#include <stdio.h>
#include <unordered_set>
#include <vector>

static std::vector<PIXELFORMATDESCRIPTOR> formats;
static std::vector<VisualID> visuals;   // the X visual of each format, 0 = SDL's choice
static std::vector<GLXFBConfig> configs_of;   // GLX's config of each format (X11 only)
static bool formats_read = false;

static PIXELFORMATDESCRIPTOR describe(BYTE r, BYTE g, BYTE b, BYTE a, BYTE depth, BYTE stencil, BYTE aux,
                                      const BYTE accum[4], bool doublebuffer, bool stereo)
{
    PIXELFORMATDESCRIPTOR f = {};
    f.nSize = sizeof(f);
    f.nVersion = 1;
    f.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | (doublebuffer ? PFD_DOUBLEBUFFER : 0) |
                (stereo ? PFD_STEREO : 0);
    f.iPixelType = PFD_TYPE_RGBA;
    // NOTE: the documentation counts colour without alpha, but drivers (and
    // Wine) report the whole pixel, so an RGBA8 format is 32 bits and a
    // 16-bit request prefers the format without alpha, as it does there.
    f.cColorBits = (BYTE)(r + g + b + a);
    f.cRedBits = r, f.cGreenBits = g, f.cBlueBits = b, f.cAlphaBits = a;
    f.cBlueShift = 0, f.cGreenShift = b, f.cRedShift = (BYTE)(b + g), f.cAlphaShift = a ? (BYTE)(r + g + b) : 0;
    f.cAccumRedBits = accum[0], f.cAccumGreenBits = accum[1], f.cAccumBlueBits = accum[2];
    f.cAccumAlphaBits = accum[3];
    f.cAccumBits = (BYTE)(accum[0] + accum[1] + accum[2] + accum[3]);
    f.cDepthBits = depth;
    f.cStencilBits = stencil;
    f.cAuxBuffers = aux;
    f.iLayerType = PFD_MAIN_PLANE;
    return f;
}

static void read_glx_formats(Display *dpy)
{
    int error_base, event_base;
    if (!glXQueryExtension(dpy, &error_base, &event_base))
        return;   // no GLX on this display: no formats at all
    // NOTE: each attribute lookup costs GLX a walk of the whole config list,
    // so GLX first narrows the list to RGBA window configs with a visual;
    // the formats keep the server's order, which decides ties in choosing.
    const int usable[] = {GLX_RENDER_TYPE, GLX_RGBA_BIT, GLX_DRAWABLE_TYPE, GLX_WINDOW_BIT,
                          GLX_X_RENDERABLE, True, GLX_LEVEL, 0, GLX_CONFIG_CAVEAT, (int)GLX_DONT_CARE, None};
    int all_count = 0, usable_count = 0;
    GLXFBConfig *all = glXGetFBConfigs(dpy, DefaultScreen(dpy), &all_count);
    GLXFBConfig *chosen = glXChooseFBConfig(dpy, DefaultScreen(dpy), usable, &usable_count);
    std::unordered_set<GLXFBConfig> keep(chosen, chosen + usable_count);
    for (int i = 0; i < all_count; ++i) {
        GLXFBConfig config = all[i];
        if (!keep.count(config))
            continue;
        auto get = [&](int attribute) {
            int value = 0;
            glXGetFBConfigAttrib(dpy, config, attribute, &value);
            return value;
        };
        VisualID visual = (VisualID)get(GLX_VISUAL_ID);
        if (!visual || get(GLX_CONFIG_CAVEAT) == GLX_NON_CONFORMANT_CONFIG)
            continue;
        const BYTE accum[4] = {(BYTE)get(GLX_ACCUM_RED_SIZE), (BYTE)get(GLX_ACCUM_GREEN_SIZE),
                               (BYTE)get(GLX_ACCUM_BLUE_SIZE), (BYTE)get(GLX_ACCUM_ALPHA_SIZE)};
        formats.push_back(describe((BYTE)get(GLX_RED_SIZE), (BYTE)get(GLX_GREEN_SIZE), (BYTE)get(GLX_BLUE_SIZE),
                                   (BYTE)get(GLX_ALPHA_SIZE), (BYTE)get(GLX_DEPTH_SIZE), (BYTE)get(GLX_STENCIL_SIZE),
                                   (BYTE)get(GLX_AUX_BUFFERS), accum, get(GLX_DOUBLEBUFFER) != 0,
                                   get(GLX_STEREO) != 0));
        visuals.push_back(visual);
        configs_of.push_back(config);
    }
    if (chosen)
        XFree(chosen);
    if (all)
        XFree(all);
}

const std::vector<PIXELFORMATDESCRIPTOR> &host_pixel_formats(HostWindow *w)
{
    if (!formats_read) {
        formats_read = true;
        if (Display *dpy = static_cast<Display *>(w->x_display)) {
            read_glx_formats(dpy);
        } else {
            // Other window systems cannot list their formats through SDL;
            // offer the one every desktop GL driver has.
            const BYTE no_accum[4] = {0, 0, 0, 0};
            formats.push_back(describe(8, 8, 8, 8, 24, 8, 0, no_accum, true, false));
            visuals.push_back(0);
            configs_of.push_back(nullptr);
        }
    }
    return formats;
}

static VisualID window_visual(HostWindow *w)
{
    XWindowAttributes a;
    if (!XGetWindowAttributes(static_cast<Display *>(w->x_display), w->x_window, &a) || !a.visual)
        return 0;
    return XVisualIDFromVisual(a.visual);
}

bool host_window_set_format(HostWindow *w, int index)
{
    const PIXELFORMATDESCRIPTOR &f = formats[(size_t)index];
    VisualID visual_id = visuals[(size_t)index];
    Uint32 gl_flag = 0;
    if (w->x_display) {
        w->glx_config = configs_of[(size_t)index];
        if (window_visual(w) == visual_id)
            return true;   // the window already has the format's visual
    } else {
        gl_flag = SDL_WINDOW_OPENGL;
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
    }

    char visual[32] = "";
    if (visual_id)
        snprintf(visual, sizeof visual, "0x%lx", (unsigned long)visual_id);
    SDL_SetHint(SDL_HINT_VIDEO_X11_WINDOW_VISUALID, visual);

    SDL_Window *old = w->window;
    bool shown = (SDL_GetWindowFlags(old) & SDL_WINDOW_SHOWN) != 0;
    std::string why;
    bool made = sdl_make_window(w, gl_flag, why) != nullptr;
    SDL_SetHint(SDL_HINT_VIDEO_X11_WINDOW_VISUALID, "");
    if (!made || (w->x_display && window_visual(w) != visual_id)) {
        if (made)
            SDL_DestroyWindow(w->window);
        sdl_adopt_window(w, old);
        w->glx_config = nullptr;
        return false;
    }
    SDL_DestroyWindow(old);
    // Windows lets a shown window be given its format; the new one is made hidden.
    if (shown)
        SDL_ShowWindow(w->window);
    return true;
}

HostContext *host_context_create(HostWindow *w)
{
    if (w->x_display) {
        // Unlike SDL's, a new GLX context is not made current, as with WGL.
        Display *dpy = static_cast<Display *>(w->x_display);
        GLXContext glx = w->glx_config ? glXCreateNewContext(dpy, static_cast<GLXFBConfig>(w->glx_config),
                                                             GLX_RGBA_TYPE, nullptr, True)
                                       : nullptr;
        return glx ? new HostContext{nullptr, glx, dpy} : nullptr;
    }
    SDL_Window *prev_window = SDL_GL_GetCurrentWindow();
    SDL_GLContext prev = SDL_GL_GetCurrentContext();
    SDL_GLContext gl = SDL_GL_CreateContext(w->window);
    // SDL makes a new context current; WGL does not.
    SDL_GL_MakeCurrent(prev ? prev_window : nullptr, prev);
    return gl ? new HostContext{gl, nullptr, nullptr} : nullptr;
}

bool host_context_make_current(HostWindow *w, HostContext *ctx)
{
    if (ctx ? ctx->glx != nullptr : glXGetCurrentContext() != nullptr) {
        Display *dpy = ctx ? static_cast<Display *>(ctx->x_display) : glXGetCurrentDisplay();
        if (!ctx || !w)
            return glXMakeCurrent(dpy, None, nullptr);
        return glXMakeCurrent(dpy, w->x_window, static_cast<GLXContext>(ctx->glx));
    }
    return SDL_GL_MakeCurrent(w ? w->window : nullptr, ctx ? ctx->gl : nullptr) == 0;
}

void host_context_destroy(HostContext *ctx)
{
    if (!ctx)
        return;
    if (ctx->glx) {
        Display *dpy = static_cast<Display *>(ctx->x_display);
        if (glXGetCurrentContext() == ctx->glx)
            glXMakeCurrent(dpy, None, nullptr);
        glXDestroyContext(dpy, static_cast<GLXContext>(ctx->glx));
    } else {
        SDL_GL_DeleteContext(ctx->gl);
    }
    delete ctx;
}

bool host_swap(HostWindow *w)
{
    // NOTE: GLX, like WGL, swaps any window with a back buffer (though
    // Mesa's software driver does nothing while the thread has no context).
    if (w->x_display) {
        glXSwapBuffers(static_cast<Display *>(w->x_display), w->x_window);
        return true;
    }
    if (SDL_GL_GetCurrentWindow() != w->window)
        return false;   // SDL swaps only the current window
    SDL_GL_SwapWindow(w->window);
    return true;
}
