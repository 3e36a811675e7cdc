// The SDL2 backend's OpenGL side: the pixel formats the X server offers
// (its GLX framebuffer configs), giving a window one of them, contexts and
// buffer swaps.
//
// NOTE: SDL fixes a window's visual when it creates the window, so giving it
// a pixel format re-creates the native window with exactly that format's
// visual (and shows the new one if the old one was shown).
#include "sdl_host.h"

#include <GL/glx.h>

#include <stdio.h>
#include <vector>

static std::vector<PIXELFORMATDESCRIPTOR> formats;
static std::vector<VisualID> visuals;   // the X visual of each format, 0 = SDL's choice
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
    int count = 0;
    GLXFBConfig *configs = glXGetFBConfigs(dpy, DefaultScreen(dpy), &count);
    for (int i = 0; i < count; ++i) {
        auto get = [&](int attribute) {
            int value = 0;
            glXGetFBConfigAttrib(dpy, configs[i], attribute, &value);
            return value;
        };
        XVisualInfo *vi = glXGetVisualFromFBConfig(dpy, configs[i]);
        if (!vi)
            continue;
        VisualID visual = vi->visualid;
        XFree(vi);
        if (!(get(GLX_RENDER_TYPE) & GLX_RGBA_BIT) || !(get(GLX_DRAWABLE_TYPE) & GLX_WINDOW_BIT) ||
            get(GLX_LEVEL) != 0 || get(GLX_CONFIG_CAVEAT) == GLX_NON_CONFORMANT_CONFIG)
            continue;
        const BYTE accum[4] = {(BYTE)get(GLX_ACCUM_RED_SIZE), (BYTE)get(GLX_ACCUM_GREEN_SIZE),
                               (BYTE)get(GLX_ACCUM_BLUE_SIZE), (BYTE)get(GLX_ACCUM_ALPHA_SIZE)};
        formats.push_back(describe((BYTE)get(GLX_RED_SIZE), (BYTE)get(GLX_GREEN_SIZE), (BYTE)get(GLX_BLUE_SIZE),
                                   (BYTE)get(GLX_ALPHA_SIZE), (BYTE)get(GLX_DEPTH_SIZE), (BYTE)get(GLX_STENCIL_SIZE),
                                   (BYTE)get(GLX_AUX_BUFFERS), accum, get(GLX_DOUBLEBUFFER) != 0,
                                   get(GLX_STEREO) != 0));
        visuals.push_back(visual);
    }
    if (configs)
        XFree(configs);
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
        }
    }
    return formats;
}

bool host_window_set_format(HostWindow *w, int index)
{
    const PIXELFORMATDESCRIPTOR &f = formats[(size_t)index];
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

    char visual[32] = "";
    if (visuals[(size_t)index])
        snprintf(visual, sizeof visual, "0x%lx", (unsigned long)visuals[(size_t)index]);
    SDL_SetHint(SDL_HINT_VIDEO_X11_WINDOW_VISUALID, visual);

    SDL_Window *old = w->window;
    bool shown = (SDL_GetWindowFlags(old) & SDL_WINDOW_SHOWN) != 0;
    std::string why;
    bool made = sdl_make_window(w, SDL_WINDOW_OPENGL, why) != nullptr;
    SDL_SetHint(SDL_HINT_VIDEO_X11_WINDOW_VISUALID, "");
    if (!made) {
        w->window = old;
        w->id = SDL_GetWindowID(old);
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
    SDL_Window *prev_window = SDL_GL_GetCurrentWindow();
    SDL_GLContext prev = SDL_GL_GetCurrentContext();
    SDL_GLContext gl = SDL_GL_CreateContext(w->window);
    // SDL makes a new context current; WGL does not.
    SDL_GL_MakeCurrent(prev ? prev_window : nullptr, prev);
    return gl ? new HostContext{gl} : nullptr;
}

bool host_context_make_current(HostWindow *w, HostContext *ctx)
{
    return SDL_GL_MakeCurrent(w ? w->window : nullptr, ctx ? ctx->gl : nullptr) == 0;
}

void host_context_destroy(HostContext *ctx)
{
    if (!ctx)
        return;
    SDL_GL_DeleteContext(ctx->gl);
    delete ctx;
}

bool host_swap(HostWindow *w)
{
    // NOTE: SDL only swaps the window whose context is current; GLX, like
    // WGL, takes any window with a back buffer (though Mesa's software
    // driver does nothing while the thread has no context).
    if (w->x_display) {
        glXSwapBuffers(static_cast<Display *>(w->x_display), w->x_window);
        return true;
    }
    if (SDL_GL_GetCurrentWindow() != w->window)
        return false;   // SDL swaps only the current window
    SDL_GL_SwapWindow(w->window);
    return true;
}
