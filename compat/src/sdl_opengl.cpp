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
#include <X11/Xutil.h>

#include <stdio.h>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace compat {

static std::vector<PIXELFORMATDESCRIPTOR> formats;
static std::vector<VisualID> visuals;   // the X visual of each format, 0 = SDL's choice
static std::vector<GLXFBConfig> configs_of;   // GLX's config of each format (X11 only)
static bool formats_read = false;

static PIXELFORMATDESCRIPTOR describe(BYTE r, BYTE g, BYTE b, BYTE a, BYTE depth, BYTE stencil, BYTE aux,
                                      const BYTE accum[4], bool doublebuffer)
{
    PIXELFORMATDESCRIPTOR f = {};
    f.nSize = sizeof(f);
    f.nVersion = 1;
    f.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | (doublebuffer ? PFD_DOUBLEBUFFER : 0);
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

using ConfigSet = std::unordered_set<GLXFBConfig>;

// The RGBA window configs with a visual and a single view that also have
// attribute at value (glXChooseFBConfig's matching: at least that size, or
// exactly that setting); with attribute None, all of them.
static ConfigSet usable_configs(Display *dpy, int attribute = None, int value = 0)
{
    // NOTE: a later setting of an attribute overrides an earlier one, so the
    // caveat can be narrowed; GLX's default for stereo leaves out stereo
    // configs.
    const int attributes[] = {GLX_RENDER_TYPE, GLX_RGBA_BIT, GLX_DRAWABLE_TYPE, GLX_WINDOW_BIT,
                              GLX_X_RENDERABLE, True, GLX_LEVEL, 0, GLX_CONFIG_CAVEAT, (int)GLX_DONT_CARE,
                              GLX_STEREO, False, attribute, value, None};
    int count = 0;
    GLXFBConfig *chosen = glXChooseFBConfig(dpy, DefaultScreen(dpy), attributes, &count);
    ConfigSet set(chosen, chosen + count);
    if (chosen)
        XFree(chosen);
    return set;
}

static BYTE mask_bits(unsigned long mask)
{
    return (BYTE)__builtin_popcountl(mask);
}

static void read_glx_formats(Display *dpy)
{
    int error_base, event_base;
    if (!glXQueryExtension(dpy, &error_base, &event_base))
        return;   // no GLX on this display: no formats at all
    // NOTE: GLX answers for one config and one attribute at a time, at a few
    // microseconds each, which over hundreds of configs was most of the
    // start-up. So the whole list is asked at once what it can be:
    // glXChooseFBConfig tells which configs are double-buffered, which are
    // non-conformant and which have any alpha, depth, stencil, auxiliary or
    // accumulation buffer at all; the colour sizes are the visual's masks.
    // Only the sizes of buffers that are there are asked one by one. The
    // formats keep the server's order, which decides ties in choosing.
    const ConfigSet usable = usable_configs(dpy);
    const ConfigSet non_conformant = usable_configs(dpy, GLX_CONFIG_CAVEAT, GLX_NON_CONFORMANT_CONFIG);
    const ConfigSet doublebuffered = usable_configs(dpy, GLX_DOUBLEBUFFER, True);
    const int optional[] = {GLX_ALPHA_SIZE, GLX_DEPTH_SIZE, GLX_STENCIL_SIZE, GLX_AUX_BUFFERS,
                            GLX_ACCUM_RED_SIZE, GLX_ACCUM_GREEN_SIZE, GLX_ACCUM_BLUE_SIZE, GLX_ACCUM_ALPHA_SIZE};
    std::unordered_map<int, ConfigSet> having;
    for (int attribute : optional)
        having[attribute] = usable_configs(dpy, attribute, 1);

    XVisualInfo pattern = {};
    pattern.screen = DefaultScreen(dpy);
    int visual_count = 0;
    XVisualInfo *visual_info = XGetVisualInfo(dpy, VisualScreenMask, &pattern, &visual_count);
    std::unordered_map<VisualID, const XVisualInfo *> visual_of;
    for (int i = 0; i < visual_count; ++i)
        visual_of[visual_info[i].visualid] = &visual_info[i];

    int all_count = 0;
    GLXFBConfig *all = glXGetFBConfigs(dpy, DefaultScreen(dpy), &all_count);
    for (int i = 0; i < all_count; ++i) {
        GLXFBConfig config = all[i];
        if (!usable.count(config) || non_conformant.count(config))
            continue;
        auto size = [&](int attribute) {
            int value = 0;
            if (having[attribute].count(config))
                glXGetFBConfigAttrib(dpy, config, attribute, &value);
            return (BYTE)value;
        };
        int visual_id = 0;
        glXGetFBConfigAttrib(dpy, config, GLX_VISUAL_ID, &visual_id);
        auto visual = visual_of.find((VisualID)visual_id);
        if (!visual_id || visual == visual_of.end())
            continue;
        const XVisualInfo &v = *visual->second;
        const BYTE accum[4] = {size(GLX_ACCUM_RED_SIZE), size(GLX_ACCUM_GREEN_SIZE), size(GLX_ACCUM_BLUE_SIZE),
                               size(GLX_ACCUM_ALPHA_SIZE)};
        formats.push_back(describe(mask_bits(v.red_mask), mask_bits(v.green_mask), mask_bits(v.blue_mask),
                                   size(GLX_ALPHA_SIZE), size(GLX_DEPTH_SIZE), size(GLX_STENCIL_SIZE),
                                   size(GLX_AUX_BUFFERS), accum, doublebuffered.count(config) != 0));
        visuals.push_back((VisualID)visual_id);
        configs_of.push_back(config);
    }
    if (all)
        XFree(all);
    if (visual_info)
        XFree(visual_info);
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
            formats.push_back(describe(8, 8, 8, 8, 24, 8, 0, no_accum, true));
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

}  // namespace compat
